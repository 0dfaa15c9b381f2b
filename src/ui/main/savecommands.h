#pragma once
// Saving the 1D chart, the 2D pattern and the defocus map to files the user names, through one kept
// save dialog, so that its folder and last name survive between uses.
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QFileDialog;
class QWidget;

namespace orvalis {

class CtfSession;
class MainBody;
class WindowActions;
struct WindowSettings;

class SaveCommands : public QObject {
public:
    // A failed save is reported over `window`, where it happened.
    SaveCommands(QWidget *window, CtfSession *session, const MainBody *body, WindowActions *actions);

    void Save1DClick();
    void Save2DClick();
    void SaveDefocusMap1Click();

    // The folder the dialog opens in, with its trailing separator; empty: the dialog's default. Set
    // it only from a dialog whose file name is not empty; until then the stored one stays.
    QString saveDir() const { return m_saveDir.value_or(QString()); }
    void setSaveDir(const QString &folder) { m_saveDir = folder; }
    void applyStored(const WindowSettings &settings);
    void capture(WindowSettings &settings) const;

private:
    bool runDialog(const QString &proposed, const QString &what, const QStringList &extensions, QString &path,
                   QString &ext);

    QWidget *m_window;
    CtfSession *m_session;
    const MainBody *m_body;
    QFileDialog *SavePictureDialog1 = nullptr;
    bool m_dialogUsed = false; // it opens in the stored folder the first time only
    std::optional<QString> m_saveDir;
};

} // namespace orvalis
