#pragma once
// What the main window keeps of itself in the settings store besides its panes: where it stood, how
// often the program ran, the values it could not read (rewritten or removed at close) and what the
// user must be told about the store once the window is shown.
#include <QMap>
#include <QString>
#include <QStringList>

class QMainWindow;
class QWidget;

namespace orvalis {

struct WindowSettings;

class WindowStore {
public:
    // The stored settings, fitted into what the program accepts; what was refused or unreadable
    // becomes a notice.
    WindowSettings read();
    // After every value is applied: the unreadable ones are kept, problems of the store are told.
    void finishRead(const WindowSettings &settings);
    void addNotices(const QStringList &lines) { m_notices << lines; }
    bool hasNotices() const { return !m_notices.isEmpty(); }
    // Tells the notices once, in one box over `window`.
    void showNotices(QWidget *window);

    static void applyPlacement(QMainWindow *window, const WindowSettings &settings);
    void capture(const QMainWindow *window, WindowSettings &settings) const;

    int useCount() const { return m_useCount; } // program starts, this one included
    void setUseCount(int uses) { m_useCount = uses; }
    void countUse();

private:
    QMap<QString, QStringList> m_unreadable; // by sub-key
    int m_useCount = 0;
    QStringList m_notices; // told once, after the window is shown
};

} // namespace orvalis
