// The 2D pattern with its switches, ruler, pointer readout and direction probe, and the defocus map
// with its marker line.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/ctfpattern.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "session/ctfsession.h"
#include "core/patterngeometry.h"
#include "ui/main/curvepane.h"
#include "ui/main/mappane.h"
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
namespace {

inline QRgb greyPixel(int grey)
{
    return qRgb(grey, grey, grey);
}

} // namespace

// ---- the pattern --------------------------------------------------------------------------------

void TForm1::DrawPattern(double Defocus, double /*A2*/, double /*A3*/, double /*Alpha*/, double /*Direction*/)
{
    // The astigmatism and the convergence come from the optics state; the pattern covers every
    // direction, so the direction plays no part.
    if (!m_patternDrawFlag)
        return;
    QImage &image = Image1->image();
    image.fill(Qt::black);
    m_patternRange = m_state.UpTo;
    const int s = m_state.StepFactor;
    const int n = patternSteps(m_patternCentre, s);
    const bool full = s == 1;
    ProgressBar1->setEnabled(full);
    if (full) {
        ProgressBar1->setValue(0);
        ProgressBar1->setMaximum(n);
    }
    ProgressBar1->setVisible(full);
    LayoutRuler();

    // The bar climbs with the columns, but a pass is far shorter than a frame: repainting it at each
    // step would cost more than the pass itself, so it is repainted only once a pass has run for a
    // while. It takes a value only then and at the ends of each half: a value nobody sees still
    // costs its change signal and accessibility event, a tenth of a whole slider step.
    QElapsedTimer sinceRepaint;
    sinceRepaint.start();
    ProgressBar1->setUpdatesEnabled(false);
    PatternProgress progress;
    if (full) {
        progress = [this, &sinceRepaint, n](int column) {
            // The clock is read every eighth column: a column takes microseconds, a repaint is due
            // after 40 ms.
            const bool due = column % 8 == 0 && sinceRepaint.elapsed() >= 40;
            if (due || column == 0 || column == n)
                ProgressBar1->setValue(column);
            if (due) {
                ProgressBar1->setUpdatesEnabled(true);
                ProgressBar1->repaint();
                ProgressBar1->setUpdatesEnabled(false);
                sinceRepaint.restart();
            }
        };
    }
    const PatternHalves halves = m_session->computePattern(Defocus, m_patternCentre, progress);
    ProgressBar1->setUpdatesEnabled(true);
    const int centre = m_patternCentre;
    // The pixels and the stride (in pixels) are taken from the image once per pass, since asking the
    // image for a line checks whether it must be detached.
    auto *pixels = reinterpret_cast<QRgb *>(image.bits());
    const int stride = image.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    // Row by row, so that the picture is written along its lines; the halves hold columns.
    const std::size_t column = static_cast<std::size_t>(halves.n) + 1;
    const auto writeRow = [&](int y, const std::uint8_t *__restrict levels) {
        QRgb *__restrict line = pixels + static_cast<std::size_t>(y) * stride + centre;
        for (int r = 0; r <= halves.n; ++r)
            line[r * s] = greyPixel(levels[r * column]);
    };
    for (int e = 0; e <= halves.n; ++e) {
        writeRow(centre + e * s, halves.lower.data() + e);
        // Row 0 of the image lies one step above the highest computed row and stays black.
        if (centre - e * s >= 0)
            writeRow(centre - e * s, halves.upper.data() + e);
    }
    ProgressBar1->setValue(0);
    ProgressBar1->hide();

    // The left half is the right half mirrored about the centre column: the phase depends on kx^2 only.
    // Column 0 has no partner inside the picture (the right half ends at column 2N - 1); it takes the
    // outermost computed column, so that the picture has no black edge on the left.
    const int last = image.width() - 1;
    const int mirrored = std::min(centre, last - centre);
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = pixels + static_cast<std::size_t>(y) * stride;
        for (int x = 1; x <= mirrored; ++x)
            line[centre - x] = line[centre + x];
        for (int x = mirrored + 1; x <= centre; ++x)
            line[centre - x] = line[last];
    }
    Image1->update();
}

void TForm1::LayoutRuler()
{
    const RulerPlaces places = patternRulerPlaces(paImage1->x() - pa2DRuler->x(), paImage1->width());
    shTick1->move(places.tick[0], 0);
    shTick2->move(places.tick[1], 0);
    shTick3->move(places.tick[2], 0);
    const QString upTo = formatGeneral(m_state.UpTo);
    laTick1->setText(QStringLiteral("-") + upTo);
    laTick2->setText(QStringLiteral("0"));
    laTick3->setText(upTo);
    for (QLabel *label : {laTick1, laTick2, laTick3})
        label->adjustSize();
    laTick1->move(places.label[0], 5);
    laTick2->move(places.label[1], 5);
    laTick3->move(places.label[2], 5);
    // The ruler panel grows, if need be, to hold its labels whole in the window's font.
    pa2DRuler->resize(std::max(pa2DRuler->width(), laTick3->geometry().right() + 1),
                      std::max(pa2DRuler->height(), laTick3->geometry().bottom() + 1));
}

// ---- readout and direction probe ----------------------------------------------------------------

void TForm1::Image1MouseMove(int x, int y)
{
    if (const std::optional<double> k = patternFrequencyAt(QPoint(x, y), m_patternCentre, m_patternRange))
        Label11->setText(patternReadoutText(*k));
}

void TForm1::Image1MouseUp(Qt::MouseButton /*button*/, int x, int y)
{
    const std::optional<DirectionPick> pick = pickDirection(QPoint(x, y), m_patternCentre, Shape1->width());
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
