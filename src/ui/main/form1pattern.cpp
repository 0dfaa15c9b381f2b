// The 2D pattern with its switches, ruler, pointer readout and direction probe, and the defocus map
// with its marker line.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/ctfpattern.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/patterngeometry.h"
#include "session/ctfsession.h"
#include "ui/main/curvepane.h"
#include "ui/main/mappane.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/patternpane.h"
#include "ui/widgets/pixelimage.h"
#include "ui/widgets/scrollbar.h"
#include "ui/widgets/shape.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace orvalis {
// ---- the pattern --------------------------------------------------------------------------------

void TForm1::DrawPattern(double Defocus, double /*A2*/, double /*A3*/, double /*Alpha*/, double /*Direction*/)
{
    // The astigmatism and the convergence come from the optics state; the pattern covers every
    // direction, so the direction plays no part.
    if (!m_patternDrawFlag)
        return;
    if (m_micrographs && m_micrographs->drawPattern()) {
        LayoutRuler();
        return;
    }
    const int step = m_state.StepFactor;
    LayoutRuler();
    const PatternProgress progress = m_pattern->beginPass(m_state.UpTo, step, patternSteps(m_pattern->centre(), step));
    m_pattern->showPattern(m_session->computePattern(Defocus, m_pattern->centre(), progress));
}

void TForm1::LayoutRuler()
{
    m_pattern->layOutRuler(m_state.UpTo);
}

// ---- readout and direction probe ----------------------------------------------------------------

void TForm1::Image1MouseMove(int x, int y)
{
    if (const std::optional<double> k = patternFrequencyAt(QPoint(x, y), m_pattern->centre(), m_pattern->range())) {
        m_pattern->showReadout(*k);
        if (m_micrographs)
            m_micrographs->showReadout(m_pattern, patternPixelFrequency(x, m_pattern->centre(), m_pattern->range()),
                                       patternPixelFrequency(y, m_pattern->centre(), m_pattern->range()));
    }
}

void TForm1::Image1MouseUp(Qt::MouseButton /*button*/, int x, int y)
{
    const std::optional<DirectionPick> pick = pickDirection(QPoint(x, y), m_pattern->centre(),
                                                            m_pattern->markerWidth());
    if (!pick)
        return; // the centre defines no direction
    placeDirectionMarker(pick->marker);
    m_session->setDirection(pick->direction);
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// ---- the defocus map ----------------------------------------------------------------------------

void TForm1::Draw3DCTF()
{
    const DefocusMapGrid &grid = m_session->computeMap(m_map->image().width());
    ChartWidget *curve = m_curves->chart();
    m_map->showMap(grid, curve->axisMinimum(ChartWidget::Axis::Bottom), curve->axisMaximum(ChartWidget::Axis::Bottom));
    curve->layOut();
    m_map->setPlotEdges(curve->plotRect().left(), curve->plotRect().right());
    m_map->spanMarker();
    PlaceDefocusMarker(m_state.Defocus);
    m_map->replotSoon();
}

int TForm1::patternCentre() const
{
    return m_pattern->centre();
}

const QImage &TForm1::offscreenImage() const
{
    return m_map->image();
}

void TForm1::PlaceDefocusMarker(double defocus)
{
    const OptionRanges ranges = m_session->ranges();
    m_map->placeMarker(defocus, ranges.defocusMin, ranges.defocusMax);
}

void TForm1::Chart2AfterDraw()
{
    m_map->spanMarker();
    if (m_map->isVisibleTo(this))
        PlaceDefocusMarker(m_state.Defocus);
}

void TForm1::Chart1AfterDraw()
{
    if (!m_state.MarkerPending)
        return;
    Chart2AfterDraw();
    m_state.MarkerPending = false;
}

} // namespace orvalis
