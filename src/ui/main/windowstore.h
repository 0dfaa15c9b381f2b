#pragma once
// What the main window keeps of itself in the settings store besides its panes: where it stood, how
// often the program ran, the values it could not read (rewritten or removed at close) and what the
// user must be told about the store once the window is shown.
#include <QMap>
#include <QMargins>
#include <QRect>
#include <QSize>
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

    // The stored place, size and state. Wherever they were stored (another screen, another scale),
    // the window opens whole on the available area of its screen, and again when it is first shown,
    // once its panes have grown for this screen's fonts.
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

// The inside geometry of a window that asks for `wanted` (its inside), decorated by `frame`, so that
// its frame lies on `available`: a size that fits is kept, a larger one shrinks to the area (never
// below `minimum`); a place that fits is kept, else the window moves just enough to come whole on the
// area, its title bar first when even that cannot be.
QRect fitOnScreen(const QRect &wanted, const QMargins &frame, const QRect &available, QSize minimum);

// The decoration a window manager puts around a window whose frame is not yet known: a title bar of
// `titleHeight` and thin borders, rather too much than too little.
QMargins assumedFrame(int titleHeight);

// Moves and sizes a window that is not maximised by fitOnScreen on the screen under its middle, with
// its own frame once the window manager has told it, else an assumed one.
void fitWindowOnScreen(QWidget *window);

} // namespace orvalis
