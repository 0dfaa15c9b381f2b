#pragma once
// The help window: the HTML pages installed with the program, with their links, back and forward.
#include <QString>
#include <QWidget>

class QTextBrowser;
class QToolButton;

namespace orvalis {

// The folder of the help pages, as the shipped data files are found (dataFilePath). Empty when no
// folder holds the index page.
QString installedHelpFolder();

class TfmHelp : public QWidget {
    Q_OBJECT
public:
    explicit TfmHelp(const QString &folder, QWidget *parent = nullptr);

    // Shows the index page in front of the other windows.
    void showContents();

    QTextBrowser *HelpBrowser = nullptr;
    QToolButton *btnContents = nullptr, *btnBack = nullptr, *btnForward = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_folder;
};

} // namespace orvalis
