// Loading an instrument, the 1D curves, the aberration controls, the curve options and the
// information tree of the main window.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/curvereadout.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "ui/main/chart1series.h"
#include "ui/main/curvepane.h"
#include "ui/main/infopanel.h"
#include "ui/main/mappane.h"
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
#include <climits>
#include <cmath>

namespace orvalis {
namespace {

// The curves of the latest DrawCTF, kept so that every later one refills the same storage (the
// values are copied into the chart's series at once; nothing reads them afterwards).
CtfCurves &curveBuffers()
{
    static CtfCurves kept;
    return kept;
}

} // namespace

// ---- loading an instrument ----------------------------------------------------------------------

bool TForm1::ScopeInit(TScopeData scope)
{
    try {
        loadInstrument(m_state, scope);
    } catch (const OrvalisError &e) {
        showErrorReport(e.text(), this);
        return false;
    }
    m_state.StepFactor = 4;
    m_state.ProgrammaticChange = true;
    m_curves->setFrequencyEnd(m_state.UpTo, false);

    // Each move raises the slider's change event at once, which (once start-up is over) recomputes
    // its value from the new position and redraws coarsely.
    ScrollBar1->setValue(-roundToInt(m_state.Defocus));
    edDefocus->setText(formatFixed(m_state.Defocus, 0));
    ScrollBar2->setValue(0);
    edAstigm->setText(QStringLiteral("0"));
    ScrollBar3->setValue(roundToInt(m_state.A3));
    edAstigm3->setText(formatFixed(m_state.A3, 0));
    ScrollBar4->setValue(MagnificationLoadPosition);
    edMagn->setText(magnificationText(magnificationAt(ScrollBar4->value())));
    Label3->setText(convergenceLabelText(m_state.Alpha));
    m_state.StepFactor = 1;

    m_infoPanel->setTexts(scopeTreeTexts(m_state));
    if (!m_state.MarkerPending)
        Draw3DCTF();
    return true;
}

// ---- the 1D curves ------------------------------------------------------------------------------

void TForm1::DrawCTF(double Defocus, double /*A2*/, double /*A3*/, double /*Alpha*/, double Direction)
{
    // The astigmatism and the convergence reach the computation through the optics state, which every
    // caller passes here as well.
    CtfCurves &curves = curveBuffers();
    if (!m_state.PlotterMode) {
        m_curves->setFrequencyEnd(m_state.UpTo, true);
        m_status->setFastOscillation(false);
        CurveOptions options;
        options.intensity = m_actions->Intensity1->isChecked();
        options.symmetric = m_actions->Symmetr1->isChecked();
        options.temporal = m_actions->Temporal1->isChecked();
        options.spatial = m_actions->Spatial1->isChecked();
        options.combined = m_actions->Combined1->isChecked();
        sampleAnalysisCurves(m_state, Defocus, Direction, options, curves);
        m_curves->showAnalysisCurves(curves);
        if (curves.fastOscillation)
            m_status->setFastOscillation(true);
    } else {
        const bool second = m_state.SecondCTF;
        const bool down = second ? m_actions->secondCtf->isChecked() : m_actions->firstCtf->isChecked();
        samplePlotterCurves(m_state, Defocus, down, m_state.ShowEnvelopes, curves);
        m_curves->showPlotterCurves(second, curves);
    }
    // A limit this curve did not find is unknown now, not the one of an earlier state.
    m_state.InfoLimit = curves.infoLimit;
    m_state.PointRes = curves.pointRes;
    writeResolutionTexts();
    m_curves->replotSoon();
}

void TForm1::writeResolutionTexts()
{
    m_infoPanel->writeLine(1, 1, infoLimitText(m_state));
    m_infoPanel->writeLine(1, 0, pointResolutionText(m_state));
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
            analysisCurveAt(m_state, m_state.Defocus, m_state.Direction, m_actions->Intensity1->isChecked(), k));
    // Only the active CTF's instrument is loaded; the other curve's values are not known here.
    const bool second = m_state.SecondCTF;
    if (!m_curves->hasPoints(second ? S8Ctf2 : S1Ctf))
        return QString();
    return pointerCurveText(second ? QStringLiteral("CTF 2") : QStringLiteral("CTF"),
                            plotterCurveAt(m_state, m_state.Defocus, k));
}

// ---- aberration controls ------------------------------------------------------------------------

void TForm1::edDefocusKeyDown()
{
    const int v = typedWithin(edDefocus->text(), MaxDefocus, QStringLiteral("Defocus"));
    const int position = -v;
    m_state.Defocus = v;
    if (position < ScrollBar1->minimum())
        setDefocusRange(position, ScrollBar1->maximum());
    if (position > ScrollBar1->maximum())
        setDefocusRange(ScrollBar1->minimum(), position);
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    ScrollBar1->setValue(position);
    if (m_map->isVisibleTo(this))
        Draw3DCTF();
    m_state.ProgrammaticChange = false;
}

void TForm1::setDefocusRange(int minimum, int maximum)
{
    // The map divides by the range: it must never be empty.
    if (maximum <= minimum) {
        if (minimum == INT_MAX)
            --minimum;
        maximum = minimum + 1;
    }
    ScrollBar1->setRange(minimum, maximum);
    // The map spans the slider's range: one built for another range would show other defoci under
    // the line. Start-up builds its first map itself.
    if (m_state.Initialised && (minimum != m_mapMinimum || maximum != m_mapMaximum))
        Draw3DCTF();
}

void TForm1::edAstigmKeyDown()
{
    const int v = std::abs(typedWithin(edAstigm->text(), MaxAstigmatism, QStringLiteral("Astigmatism")));
    m_state.A2 = v;
    if (v > ScrollBar2->maximum())
        ScrollBar2->setMaximum(v);
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    ScrollBar2->setValue(v);
    m_state.ProgrammaticChange = false;
}

// Also bound to edMagn: Enter there commits the three-fold field; the magnification is never read back.
void TForm1::edAstigm3KeyDown()
{
    const int v = std::abs(typedWithin(edAstigm3->text(), MaxAstigmatism, QStringLiteral("3-fold Astigmatism")));
    m_state.A3 = v;
    if (v > ScrollBar3->maximum())
        ScrollBar3->setMaximum(v);
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    ScrollBar3->setValue(v);
    m_state.ProgrammaticChange = false;
}

// Goes to the extended Scherzer defocus (not Scherzer's own), within the slider's range.
void TForm1::SpeedButton1Click()
{
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    ScrollBar1->setValue(-roundToInt(m_state.ExtScherzer)); // the slider clamps to its range
    m_state.ProgrammaticChange = false;
}

void TForm1::SpeedButton2Click()
{
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    ScrollBar2->setValue(0);
    m_state.ProgrammaticChange = false;
}

void TForm1::SpeedButton3Click()
{
    m_state.StepFactor = 1;
    m_state.ProgrammaticChange = true;
    ScrollBar3->setValue(0);
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
    if (!m_state.ProgrammaticChange)
        m_state.StepFactor = 4;
    m_state.Defocus = -ScrollBar1->value();
    activeScopeRecord().Defocus = m_state.Defocus;
    edDefocus->setText(formatGeneral(m_state.Defocus));
    redraw();
    if (m_map->isVisibleTo(this))
        PlaceDefocusMarker(m_state.Defocus);
    m_state.ProgrammaticChange = false;
}

void TForm1::ScrollBar2Change()
{
    if (!m_state.Initialised)
        return;
    if (!m_state.ProgrammaticChange)
        m_state.StepFactor = 4;
    m_state.A2 = ScrollBar2->value();
    edAstigm->setText(formatGeneral(m_state.A2));
    redraw();
    m_state.ProgrammaticChange = false;
}

void TForm1::ScrollBar3Change()
{
    if (!m_state.Initialised)
        return;
    if (!m_state.ProgrammaticChange)
        m_state.StepFactor = 4;
    m_state.A3 = ScrollBar3->value();
    edAstigm3->setText(formatGeneral(m_state.A3));
    redraw();
    m_state.ProgrammaticChange = false;
}

void TForm1::ScrollBar4Change()
{
    if (!m_state.Initialised)
        return;
    if (!m_state.ProgrammaticChange)
        m_state.StepFactor = 4;
    const int magnification = magnificationAt(ScrollBar4->value());
    m_state.Alpha = alphaAtMagnification(m_state.Convergence, magnification);
    edMagn->setText(magnificationText(magnification));
    Label3->setText(convergenceLabelText(m_state.Alpha));
    m_infoPanel->writeLine(0, 8, convergenceText(m_state));
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
