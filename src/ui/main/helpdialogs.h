#pragma once
// The About box, the usage dialog and the help window as the main window opens them.
#include <QObject>
#include <QString>

class QWidget;

namespace orvalis {

class TAboutBox;
class TfmHelp;
class TfmUsed;

class HelpDialogs : public QObject {
public:
    explicit HelpDialogs(QWidget *window);

    // Created after the window; until then their commands do nothing.
    void setAboutDialogs(TAboutBox *aboutBox, TfmUsed *usedDialog);
    // Where Help > Contents finds its pages; by default the folder installed with the program.
    void setHelpFolder(const QString &folder) { m_helpFolder = folder; }
    void About1Click();
    void Contents1Click(); // the help window is created at the first use, a child of the window
    void closeHelp();
    // At the first activation of a run: the usage dialog, when `useCount` makes it due.
    void askAboutUsage(int useCount);

private:
    QWidget *m_window;
    TAboutBox *m_aboutBox = nullptr;
    TfmUsed *m_usedDialog = nullptr;
    TfmHelp *m_help = nullptr;
    QString m_helpFolder;
};

} // namespace orvalis
