// The About box, the usage dialog and the help window as the window opens them.
#include "form1.h"

#include "core/usagetexts.h"
#include "ui/about/aboutbox.h"
#include "ui/help/fmhelp.h"
#include "ui/used/fmused.h"
#include "ui/widgets/errorreport.h"

#include <QTimer>

namespace orvalis {

void TForm1::setAboutDialogs(TAboutBox *aboutBox, TfmUsed *usedDialog)
{
    m_aboutBox = aboutBox;
    m_usedDialog = usedDialog;
}

void TForm1::About1Click()
{
    if (m_aboutBox)
        m_aboutBox->exec();
}

void TForm1::Contents1Click()
{
    if (!m_help)
        m_help = new TfmHelp(m_helpFolder.isEmpty() ? installedHelpFolder() : m_helpFolder, this);
    m_help->showContents();
}

void TForm1::closeHelp()
{
    if (m_help)
        m_help->close();
}

// At the first activation of a run (FormActivate).
void TForm1::askAboutUsage()
{
    if (m_usedDialog && usageDialogDue(m_useCount))
        // After the activation has been handled: a modal dialog inside it would nest its event loop
        // in the middle of the window system's activation.
        QTimer::singleShot(0, this, [this] { runReported([this] { showUsageDialog(); }); });
}

void TForm1::showUsageDialog()
{
    m_usedDialog->exec(); // closing it opens the About box
}

} // namespace orvalis
