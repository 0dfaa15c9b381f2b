#include "helpdialogs.h"

#include "core/usagetexts.h"
#include "ui/about/aboutbox.h"
#include "ui/help/fmhelp.h"
#include "ui/used/fmused.h"
#include "ui/widgets/errorreport.h"

#include <QTimer>
#include <QWidget>

namespace orvalis {

HelpDialogs::HelpDialogs(QWidget *window) : QObject(window), m_window(window) {}

void HelpDialogs::setAboutDialogs(TAboutBox *aboutBox, TfmUsed *usedDialog)
{
    m_aboutBox = aboutBox;
    m_usedDialog = usedDialog;
}

void HelpDialogs::About1Click()
{
    if (m_aboutBox)
        m_aboutBox->exec();
}

void HelpDialogs::Contents1Click()
{
    if (!m_help)
        m_help = new TfmHelp(m_helpFolder.isEmpty() ? installedHelpFolder() : m_helpFolder, m_window);
    m_help->showContents();
}

void HelpDialogs::closeHelp()
{
    if (m_help)
        m_help->close();
}

void HelpDialogs::askAboutUsage(int useCount)
{
    if (m_usedDialog && usageDialogDue(useCount))
        // After the activation has been handled: a modal dialog inside it would nest its event loop
        // in the middle of the window system's activation. Closing it opens the About box.
        QTimer::singleShot(0, this, [this] { runReported([this] { m_usedDialog->exec(); }); });
}

} // namespace orvalis
