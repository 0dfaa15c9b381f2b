// Loading an instrument, the 1D curves, the aberration controls, the curve options and the
// information tree of the main window.
#include "form1.h"

#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "session/ctfsession.h"
#include "ui/main/curvepane.h"
#include "ui/main/infopanel.h"
#include "ui/main/mappane.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/sliderpanel.h"
#include "ui/main/statuspanels.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/scrollbar.h"

#include <QAction>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>

namespace orvalis {

// ---- loading an instrument ----------------------------------------------------------------------

bool TForm1::ScopeInit(TScopeData scope)
{
    QString refused;
    if (m_session->loadInstrument(scope, &refused))
        return true; // shown by showInstrument
    showErrorReport(refused, this);
    return false;
}

void TForm1::showInstrument()
{
    m_state.StepFactor = 4;
    m_state.ProgrammaticChange = true;
    m_curves->setFrequencyEnd(m_state.UpTo, false);

    // Each move raises the slider's change event at once, which (once start-up is over) recomputes
    // its value from the new position and redraws coarsely.
    m_sliders->setPosition(SliderPanel::Defocus, -roundToInt(m_state.Defocus));
    m_sliders->setFieldText(SliderPanel::Defocus, formatFixed(m_state.Defocus, 0));
    m_sliders->setPosition(SliderPanel::Astigmatism, 0);
    m_sliders->setFieldText(SliderPanel::Astigmatism, QStringLiteral("0"));
    m_sliders->setPosition(SliderPanel::Astigmatism3, roundToInt(m_state.A3));
    m_sliders->setFieldText(SliderPanel::Astigmatism3, formatFixed(m_state.A3, 0));
    m_sliders->setPosition(SliderPanel::Magnification, MagnificationLoadPosition);
    m_sliders->setFieldText(SliderPanel::Magnification,
                            magnificationText(magnificationAt(m_sliders->position(SliderPanel::Magnification))));
    m_sliders->setConvergenceText(convergenceLabelText(m_state.Alpha));
    m_state.StepFactor = 1;

    m_infoPanel->setTexts(m_session->treeTexts());
    if (!m_state.MarkerPending)
        Draw3DCTF();
}

// ---- the 1D curves ------------------------------------------------------------------------------

void TForm1::DrawCTF(double Defocus, double /*A2*/, double /*A3*/, double /*Alpha*/, double Direction)
{
    // The astigmatism and the convergence reach the computation through the optics state, which every
    // caller passes here as well. What the curves show is the session's choice.
    if (!m_state.PlotterMode) {
        m_curves->setFrequencyEnd(m_state.UpTo, true);
        m_status->setFastOscillation(false);
        m_session->computeCurves(Defocus, Direction);
        for (int s = S1Ctf; s <= S7CombinedNeg; ++s)
            showSeries(s);
        if (m_session->fastOscillation())
            m_status->setFastOscillation(true);
    } else {
        m_session->computeCurves(Defocus, Direction);
        const bool second = m_state.SecondCTF;
        showSeries(second ? S8Ctf2 : S1Ctf);
        showSeries(second ? S7CombinedNeg : S4Combined);
    }
    writeResolutionTexts();
    if (m_micrographs)
        m_micrographs->drawCurves();
    m_curves->replotSoon();
}

void TForm1::showSeries(int series)
{
    m_curves->showSeries(static_cast<Chart1Series>(series), m_session->seriesX(series), m_session->seriesY(series));
}

void TForm1::writeResolutionTexts()
{
    m_infoPanel->writeLine(1, 1, m_session->infoLimitText());
    m_infoPanel->writeLine(1, 0, m_session->pointResolutionText());
}

void TForm1::redraw()
{
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// ---- readout of the 1D chart ----------------------------------------------------------------------

// Status panels 2 and 3: the frequency under the pointer and the shown curve there, computed for that
// frequency rather than read from the nearest plotted point.
void TForm1::Chart1MouseMove(int x, int /*y*/)
{
    const std::optional<double> k = m_curves->frequencyAt(x);
    if (!k) {
        Chart1MouseLeave();
        return;
    }
    m_status->showPointer(pointerFrequencyText(*k), curveReadout(*k));
}

void TForm1::Chart1MouseLeave()
{
    m_status->clearPointer();
}

QString TForm1::curveReadout(double k) const
{
    if (!m_state.PlotterMode)
        return pointerCurveText(
            QStringLiteral("CTF"),
            analysisCurveAt(m_state, m_state.Defocus, m_state.Direction, m_session->viewChoices().intensity, k));
    // Only the active CTF's instrument is loaded; the other curve's values are not known here.
    const bool second = m_state.SecondCTF;
    const int curve = second ? S8Ctf2 : S1Ctf;
    if (m_session->seriesY(curve).isEmpty())
        return QString();
    return pointerCurveText(second ? QStringLiteral("CTF 2") : QStringLiteral("CTF"),
                            plotterCurveAt(m_state, m_state.Defocus, k));
}

// ---- aberration controls ------------------------------------------------------------------------

void TForm1::edDefocusKeyDown()
{
    const int v = typedWithin(m_sliders->fieldText(SliderPanel::Defocus), MaxDefocus, QStringLiteral("Defocus"));
    const int position = -v;
    m_state.Defocus = v; // the record takes it when the slider moves
    const OptionRanges ranges = m_session->ranges();
    if (position < ranges.defocusMin)
        setDefocusRange(position, ranges.defocusMax);
    if (position > ranges.defocusMax)
        setDefocusRange(ranges.defocusMin, position);
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    m_sliders->setPosition(SliderPanel::Defocus, position);
    if (m_map->isVisibleTo(this))
        Draw3DCTF();
    m_state.ProgrammaticChange = false;
}

void TForm1::setDefocusRange(int minimum, int maximum)
{
    m_session->setDefocusRange(minimum, maximum); // never empty: the map divides by it
    const OptionRanges ranges = m_session->ranges();
    m_sliders->setRange(SliderPanel::Defocus, ranges.defocusMin, ranges.defocusMax);
    // The map spans the slider's range: one built for another range would show other defoci under
    // the line. Start-up builds its first map itself.
    if (m_state.Initialised && m_session->mapRangeDiffers())
        Draw3DCTF();
}

// The options dialog's ranges: the sliders' and the session's.
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

void TForm1::edAstigmKeyDown()
{
    const int v = std::abs(
        typedWithin(m_sliders->fieldText(SliderPanel::Astigmatism), MaxAstigmatism, QStringLiteral("Astigmatism")));
    m_state.A2 = v;
    if (v > m_session->ranges().a2Max) {
        m_session->setA2Maximum(v);
        m_sliders->setMaximum(SliderPanel::Astigmatism, v);
    }
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    m_sliders->setPosition(SliderPanel::Astigmatism, v);
    m_state.ProgrammaticChange = false;
}

// Also bound to edMagn: Enter there commits the three-fold field; the magnification is never read back.
void TForm1::edAstigm3KeyDown()
{
    const int v = std::abs(typedWithin(m_sliders->fieldText(SliderPanel::Astigmatism3), MaxAstigmatism,
                                       QStringLiteral("3-fold Astigmatism")));
    m_state.A3 = v;
    if (v > m_session->ranges().a3Max) {
        m_session->setA3Maximum(v);
        m_sliders->setMaximum(SliderPanel::Astigmatism3, v);
    }
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    m_sliders->setPosition(SliderPanel::Astigmatism3, v);
    m_state.ProgrammaticChange = false;
}

// Goes to the extended Scherzer defocus (not Scherzer's own), within the slider's range.
void TForm1::SpeedButton1Click()
{
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    m_sliders->setPosition(SliderPanel::Defocus, -roundToInt(m_state.ExtScherzer)); // the slider clamps to its range
    m_state.ProgrammaticChange = false;
}

void TForm1::SpeedButton2Click()
{
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    m_sliders->setPosition(SliderPanel::Astigmatism, 0);
    m_state.ProgrammaticChange = false;
}

void TForm1::SpeedButton3Click()
{
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    m_sliders->setPosition(SliderPanel::Astigmatism3, 0);
    m_state.ProgrammaticChange = false;
}

// A user's step arrives as a scroll event (clearing ProgrammaticChange) and then a change event that
// redraws coarsely; the end of the drag redraws once more in full.
void TForm1::scrollEvent(bool endOfScroll)
{
    if (!m_state.Initialised)
        return;
    m_state.ProgrammaticChange = false;
    if (endOfScroll) {
        m_state.StepFactor = 1;
        redraw();
        m_state.ProgrammaticChange = false;
    }
}

void TForm1::ScrollBar1Scroll(bool endOfScroll)
{
    scrollEvent(endOfScroll);
}

void TForm1::ScrollBar2Scroll(bool endOfScroll)
{
    scrollEvent(endOfScroll);
}

void TForm1::ScrollBar3Scroll(bool endOfScroll)
{
    scrollEvent(endOfScroll);
}

void TForm1::ScrollBar4Scroll(bool endOfScroll)
{
    scrollEvent(endOfScroll);
}

void TForm1::ScrollBar1Change()
{
    if (!m_state.Initialised)
        return;
    m_session->setDefocus(-m_sliders->position(SliderPanel::Defocus),
                          !m_state.ProgrammaticChange || m_session->coarse());
    m_sliders->setFieldText(SliderPanel::Defocus, formatGeneral(m_state.Defocus));
    redraw();
    if (m_map->isVisibleTo(this))
        PlaceDefocusMarker(m_state.Defocus);
    m_state.ProgrammaticChange = false;
}

void TForm1::ScrollBar2Change()
{
    if (!m_state.Initialised)
        return;
    m_session->setA2(m_sliders->position(SliderPanel::Astigmatism), !m_state.ProgrammaticChange || m_session->coarse());
    m_sliders->setFieldText(SliderPanel::Astigmatism, formatGeneral(m_state.A2));
    redraw();
    m_state.ProgrammaticChange = false;
}

void TForm1::ScrollBar3Change()
{
    if (!m_state.Initialised)
        return;
    m_session->setA3(m_sliders->position(SliderPanel::Astigmatism3),
                     !m_state.ProgrammaticChange || m_session->coarse());
    m_sliders->setFieldText(SliderPanel::Astigmatism3, formatGeneral(m_state.A3));
    redraw();
    m_state.ProgrammaticChange = false;
}

void TForm1::ScrollBar4Change()
{
    if (!m_state.Initialised)
        return;
    m_session->setMagnificationPosition(m_sliders->position(SliderPanel::Magnification),
                                        !m_state.ProgrammaticChange || m_session->coarse());
    const int magnification = magnificationAt(m_sliders->position(SliderPanel::Magnification));
    m_sliders->setFieldText(SliderPanel::Magnification, magnificationText(magnification));
    m_sliders->setConvergenceText(convergenceLabelText(m_state.Alpha));
    m_infoPanel->writeLine(0, 8, m_session->convergenceText());
    redraw();
    m_state.ProgrammaticChange = false;
}

// ---- information tree ---------------------------------------------------------------------------

void TForm1::BuildScopeTreeNodes()
{
    m_infoPanel->buildNodes();
}

void TForm1::TreeView1Change()
{
    m_infoPanel->showCurrentGroup();
}

} // namespace orvalis
