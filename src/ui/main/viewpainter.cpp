#include "viewpainter.h"

#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "chart/nyquistmark.h"
#include "core/curvereadout.h"
#include "core/patterngeometry.h"
#include "core/specimenterms.h"
#include "session/ctfsession.h"
#include "ui/main/curvepane.h"
#include "ui/main/infopanel.h"
#include "ui/main/mainbody.h"
#include "ui/main/mappane.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/patternpane.h"
#include "ui/main/statuspanels.h"

#include <QWidget>

namespace orvalis {

ViewPainter::ViewPainter(QWidget *window, CtfSession *session, MainBody *body, StatusPanels *status)
    : QObject(window), m_session(session), m_state(session->state()), m_body(body), m_status(status)
{
    // What the panes show beside the computed pictures (the chart's look and legend, the map's readout)
    // follows the session without a redraw of its own.
    body->curves()->followSession(session);
    body->map()->readOutTo(session, status);
    // Every change is drawn from here. Before the run is under way (the settings and the first
    // instrument coming in) nothing is drawn: the start draws its first picture once.
    connect(session, &CtfSession::changed, this, [this](CtfSession::Changes what) {
        if (m_state.Initialised)
            redrawFor(what);
    });
}

void ViewPainter::setMicrographs(MicrographController *micrographs)
{
    m_micrographs = micrographs;
    connect(micrographs, &MicrographController::changed, this, [this] {
        drawCurves(std::nullopt);
        drawPattern(std::nullopt);
    });
    connect(micrographs, &MicrographController::viewChanged, this, [this] { drawPattern(std::nullopt); });
    // The spectrum view reads out into the status bar, as the chart does; it is cleared on leaving.
    connect(m_body->pattern(), &PatternPane::pointerLeft, this, [this] {
        if (m_body->pattern()->spectrumView())
            m_status->clearPointer();
    });
}

RedrawPlan redrawPlan(CtfSession::Changes what, const PaneState &panes)
{
    using C = CtfSession::Change;
    RedrawPlan plan;
    plan.curves = bool(what & (C::Instrument | C::Aberrations | C::Direction | C::Specimen | C::CurveChoice));
    plan.series = what.testFlag(C::Series);
    plan.pattern = bool(what & (C::Instrument | C::Aberrations | C::Specimen | C::PatternChoice));
    plan.map = (panes.mapVisible && (what & (C::Specimen | C::MapChoice)))
        || (!panes.markerPending && what.testFlag(C::Instrument))
        || (panes.mapRangeDiffers && what.testFlag(C::Ranges));
    // A rebuilt map places its marker itself.
    plan.marker = panes.mapVisible && !plan.map && what.testFlag(C::Defocus);
    return plan;
}

void ViewPainter::redrawFor(CtfSession::Changes what)
{
    const RedrawPlan plan = redrawPlan(what, {mapVisible(), m_markerPending, m_session->mapRangeDiffers()});
    if (plan.series) {
        // The chart shows every series as the session holds it: those unchanged stay as they are.
        for (int s = S1Ctf; s <= S8Ctf2; ++s)
            showSeries(s);
        m_body->curves()->replotSoon();
    }
    if (plan.curves)
        drawCurves(std::nullopt);
    if (plan.pattern)
        drawPattern(std::nullopt);
    if (plan.marker)
        PlaceDefocusMarker(m_state.Defocus);
    if (plan.map)
        Draw3DCTF();
}

// ---- the 1D curves ------------------------------------------------------------------------------

void ViewPainter::DrawCTF(double defocus, double direction)
{
    drawCurves(std::pair{defocus, direction});
}

// At the given defocus and direction, or at the session's own.
void ViewPainter::drawCurves(std::optional<std::pair<double, double>> at)
{
    const auto compute = [this, at] {
        if (at)
            m_session->computeCurves(at->first, at->second);
        else
            m_session->computeCurves();
    };
    if (!m_state.PlotterMode) {
        m_body->curves()->setFrequencyEnd(m_state.UpTo, true);
        m_status->setFastOscillation(false);
        compute();
        for (int s = S1Ctf; s <= S7CombinedNeg; ++s)
            showSeries(s);
        if (m_session->fastOscillation())
            m_status->setFastOscillation(true);
    } else {
        compute();
        const bool second = m_state.SecondCTF;
        showSeries(second ? S8Ctf2 : S1Ctf);
        showSeries(second ? S7CombinedNeg : S4Combined);
    }
    writeResolutionTexts();
    showNyquistMark(*m_body->curves()->chart(), nyquistFrequency(m_state));
    if (m_micrographs)
        m_micrographs->drawCurves();
    m_body->curves()->replotSoon();
}

void ViewPainter::showSeries(int series)
{
    m_body->curves()->showSeries(static_cast<Chart1Series>(series), m_session->seriesX(series),
                                 m_session->seriesY(series));
}

void ViewPainter::writeResolutionTexts()
{
    m_body->info()->writeLine(1, 1, m_session->infoLimitText());
    m_body->info()->writeLine(1, 0, m_session->pointResolutionText());
}

// The session's own values: nothing read out of it to be handed back.
void ViewPainter::redraw()
{
    drawCurves(std::nullopt);
    drawPattern(std::nullopt);
    Draw3DCTF();
}

void ViewPainter::defocusEntered()
{
    if (mapVisible())
        Draw3DCTF();
}

// Status panels 2 and 3: the frequency under the pointer and the shown curve there, computed for that
// frequency rather than read from the nearest plotted point.
void ViewPainter::Chart1MouseMove(int x, int)
{
    const std::optional<double> k = m_body->curves()->frequencyAt(x);
    if (!k) {
        Chart1MouseLeave();
        return;
    }
    m_status->showPointer(pointerFrequencyText(*k), curveReadout(*k));
    if (m_micrographs)
        m_status->showMicrographPointer(m_micrographs->curveReadout(*k));
}

void ViewPainter::Chart1MouseLeave()
{
    m_status->clearPointer();
}

QString ViewPainter::curveReadout(double k) const
{
    // The chart's sign: squared curves have none.
    const auto shown = [this](CurveValues values, bool squared) {
        if (!squared && m_session->ctfSign() < 0)
            values.ctf = 0.0 - values.ctf;
        return values;
    };
    if (!m_state.PlotterMode) {
        const bool intensity = m_session->viewChoices().intensity;
        return pointerCurveText(
            QStringLiteral("CTF"),
            shown(analysisCurveAt(m_state, m_state.Defocus, m_state.Direction, intensity, k), intensity));
    }
    // Only the active CTF's instrument is loaded; the other curve's values are not known here.
    const bool second = m_state.SecondCTF;
    const int curve = second ? S8Ctf2 : S1Ctf;
    if (m_session->seriesY(curve).isEmpty())
        return QString();
    return pointerCurveText(second ? QStringLiteral("CTF 2") : QStringLiteral("CTF"),
                            shown(plotterCurveAt(m_state, m_state.Defocus, k), false));
}

void ViewPainter::drawAt(double defocus)
{
    DrawCTF(defocus, m_state.Direction);
    DrawPattern(defocus);
}

// ---- the pattern --------------------------------------------------------------------------------

// The pattern covers every direction, so the direction plays no part.
void ViewPainter::DrawPattern(double defocus)
{
    drawPattern(defocus);
}

void ViewPainter::drawPattern(std::optional<double> defocus)
{
    if (!m_session->patternLive())
        return;
    PatternPane *pattern = m_body->pattern();
    if (m_micrographs && m_micrographs->drawPattern()) {
        pattern->showNyquist(0); // the view ends at the micrograph's own Nyquist frequency
        return;
    }
    const int step = m_state.StepFactor;
    pattern->showNyquist(nyquistFrequency(m_state));
    layOutRuler();
    const PatternProgress progress = pattern->beginPass(m_state.UpTo, step, patternSteps(pattern->centre(), step));
    pattern->showPattern(defocus ? m_session->computePattern(*defocus, pattern->centre(), progress)
                                 : m_session->computePattern(pattern->centre(), progress));
}

void ViewPainter::layOutRuler()
{
    PatternPane *pattern = m_body->pattern();
    pattern->layOutRuler(pattern->spectrumView() ? pattern->range() : m_state.UpTo);
}

void ViewPainter::Image1MouseMove(int x, int y)
{
    PatternPane *pattern = m_body->pattern();
    if (pattern->spectrumView() && m_micrographs) {
        const MicrographController::ViewReadout r = m_micrographs->viewReadout(
            patternPixelFrequency(x, pattern->centre(), pattern->range()),
            patternPixelFrequency(y, pattern->centre(), pattern->range()));
        pattern->showReadoutText(r.where.isEmpty() ? QString() : r.where + QStringLiteral(", ") + r.what);
        if (r.where.isEmpty())
            m_status->clearPointer();
        else
            m_status->showPointer(r.where, r.what);
        return;
    }
    if (const std::optional<double> k = patternFrequencyAt(QPoint(x, y), pattern->centre(), pattern->range())) {
        pattern->showReadout(*k);
        if (m_micrographs)
            m_micrographs->showReadout(pattern, patternPixelFrequency(x, pattern->centre(), pattern->range()),
                                       patternPixelFrequency(y, pattern->centre(), pattern->range()));
    }
}

void ViewPainter::Image1MouseUp(Qt::MouseButton, int x, int y)
{
    PatternPane *pattern = m_body->pattern();
    const std::optional<DirectionPick> pick = pickDirection(QPoint(x, y), pattern->centre(), pattern->markerWidth());
    if (!pick)
        return; // the centre defines no direction
    pattern->placeMarker(pick->marker);
    m_session->setDirection(pick->direction); // the profile follows its change
}

// ---- the defocus map ----------------------------------------------------------------------------

void ViewPainter::Draw3DCTF()
{
    MapPane *map = m_body->map();
    const DefocusMapGrid &grid = m_session->computeMap(map->image().width());
    ChartWidget *curve = m_body->curves()->chart();
    map->showMap(grid, curve->axisMinimum(ChartWidget::Axis::Bottom), curve->axisMaximum(ChartWidget::Axis::Bottom));
    showNyquistMark(*map->chart(), nyquistFrequency(m_state));
    curve->layOut();
    map->setPlotEdges(curve->plotRect().left(), curve->plotRect().right());
    map->spanMarker();
    PlaceDefocusMarker(m_state.Defocus);
    map->replotSoon();
}

bool ViewPainter::mapVisible() const
{
    MapPane *map = m_body->map();
    return map->isVisibleTo(map->window());
}

void ViewPainter::PlaceDefocusMarker(double defocus)
{
    const OptionRanges ranges = m_session->ranges();
    m_body->map()->placeMarker(defocus, ranges.defocusMin, ranges.defocusMax);
}

void ViewPainter::Chart2AfterDraw()
{
    m_body->map()->spanMarker();
    if (mapVisible())
        PlaceDefocusMarker(m_state.Defocus);
}

void ViewPainter::Chart1AfterDraw()
{
    if (!m_markerPending)
        return;
    Chart2AfterDraw();
    m_markerPending = false;
}

} // namespace orvalis
