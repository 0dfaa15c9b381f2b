// The options dialog, the usage dialog and the About box, and the help window: opening them from the
// window and applying what they give back.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/optionranges.h"
#include "core/usagetexts.h"
#include "session/ctfsession.h"
#include "ui/about/aboutbox.h"
#include "ui/help/fmhelp.h"
#include "ui/main/sliderpanel.h"
#include "ui/options/fmoptions.h"
#include "ui/used/fmused.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/scrollbar.h"

#include <QTimer>

namespace orvalis {

void TForm1::setAboutDialogs(TAboutBox *aboutBox, TfmUsed *usedDialog)
{
    m_aboutBox = aboutBox;
    m_usedDialog = usedDialog;
}

void TForm1::setMonochrome(bool on)
{
    m_monochrome = on;
    m_options->setMonochrome(on); // a change reaches the chart through the dialog's signal
}

void TForm1::Options1Click()
{
    m_options->setRanges(workingRanges());
    if (m_options->exec() != QDialog::Accepted)
        return;
    applyWorkingRanges(m_options->ranges());
    if (!m_options->reloadNeeded())
        return;
    const TScopeData record = activeScopeRecord();
    if (!ScopeInit(record))
        return;
    DrawCTF(record.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    DrawPattern(record.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

OptionRanges TForm1::workingRanges() const
{
    return m_session->ranges();
}

void TForm1::applyWorkingRanges(const OptionRanges &ranges)
{
    // A slider clamped into its new range redraws through its change handler, in full like any other
    // change the program makes.
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    setDefocusRange(ranges.defocusMin, ranges.defocusMax);
    m_session->setA2Maximum(ranges.a2Max);
    m_session->setA3Maximum(ranges.a3Max);
    m_sliders->setMaximum(SliderPanel::Astigmatism, ranges.a2Max);
    m_sliders->setMaximum(SliderPanel::Astigmatism3, ranges.a3Max);
    m_state.ProgrammaticChange = false;
    m_session->setUpTo(ranges.upTo); // after the clamped sliders' redraws, which keep the range shown
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
