#include "chart/chartgrid.h"

#include "chart/cosmeticstroke.h"

#include <QPainter>

#include <cmath>

namespace orvalis {

namespace {

// Lines kept at most: a chart's grid has a few dozen; beyond that the layout keeps changing and the
// kept pixels are dropped and found again.
constexpr std::size_t kMaxKept = 96;

} // namespace

ChartGrid::ChartGrid(QCustomPlot *plot, const QString &layerName, const QString &stockLayerName)
    : QCPLayerable(plot, layerName), m_layerName(layerName), m_stockLayerName(stockLayerName)
{
    QCPLayer *layer = plot->layer(layerName);
    plot->addLayer(stockLayerName, layer, QCustomPlot::limBelow);
    plot->layer(stockLayerName)->setVisible(false);
    for (QCPLayerable *child : layer->children())
        if (auto *grid = qobject_cast<QCPGrid *>(child))
            m_grids.emplace_back(grid);
    for (const QPointer<QCPGrid> &grid : m_grids)
        grid->setLayer(stockLayerName);
}

void ChartGrid::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    for (const QPointer<QCPGrid> &grid : m_grids)
        if (grid)
            grid->setLayer(on ? m_stockLayerName : m_layerName);
    setVisible(on);
}

void ChartGrid::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    applyAntialiasingHint(painter, false, QCP::aeGrid);
}

void ChartGrid::draw(QCPPainter *painter)
{
    for (const QPointer<QCPGrid> &grid : m_grids) {
        // A grid is shown with its axis; the sub-grid is not drawn, as every chart axis has its
        // sub-ticks off.
        auto *axis = grid ? qobject_cast<QCPAxis *>(grid->parentLayerable()) : nullptr;
        if (!axis || !grid->visible() || !axis->realVisibility() || !axis->axisRect())
            continue;
        painter->save();
        applyAntialiasingHint(painter, grid->antialiased(), QCP::aeGrid);
        drawGridLines(painter, *grid, *axis);
        painter->restore();
    }
}

// The lines and their order as QCPGrid draws them: the zero line first when the range holds zero,
// then every other tick's line.
void ChartGrid::drawGridLines(QCPPainter *painter, const QCPGrid &grid, const QCPAxis &axis)
{
    const QVector<double> ticks = axis.tickVector();
    const QCPAxisRect &rect = *axis.axisRect();
    const bool horizontal = axis.orientation() == Qt::Horizontal;
    const auto lineAt = [&](double value) {
        const double t = axis.coordToPixel(value);
        return horizontal ? QLineF(t, rect.bottom(), t, rect.top()) : QLineF(rect.left(), t, rect.right(), t);
    };
    int zeroLineIndex = -1;
    if (grid.zeroLinePen().style() != Qt::NoPen && axis.range().lower < 0 && axis.range().upper > 0) {
        applyAntialiasingHint(painter, grid.antialiasedZeroLine(), QCP::aeZeroLine);
        painter->setPen(grid.zeroLinePen());
        const double epsilon = axis.range().size() * 1E-6;
        for (int i = 0; i < ticks.size(); ++i)
            if (std::fabs(ticks.at(i)) < epsilon) {
                zeroLineIndex = i;
                drawLine(painter, lineAt(ticks.at(i)));
                break;
            }
    }
    applyAntialiasingHint(painter, grid.antialiased(), QCP::aeGrid);
    painter->setPen(grid.pen());
    for (int i = 0; i < ticks.size(); ++i)
        if (i != zeroLineIndex)
            drawLine(painter, lineAt(ticks.at(i)));
}

// An aliased line of an opaque pen along an axis, into an image under a rectangular clip, sets the same
// pixels wherever it lies: those are kept. Anything else is the painter's.
void ChartGrid::drawLine(QCPPainter *painter, const QLineF &line)
{
    const QPen &pen = painter->pen();
    const QLine whole = line.toLine(); // what QCPPainter draws of an aliased line
    const QPointF offset(painter->deviceTransform().dx(), painter->deviceTransform().dy());
    const QRect around = surroundings(whole, offset);
    QImage *image = !painter->antialiasing() && !painter->modes().testFlag(QCPPainter::pmVectorized)
            && pen.style() != Qt::NoPen && pen.widthF() <= 1.0 && (whole.x1() == whole.x2() || whole.y1() == whole.y2())
        ? directImage(painter)
        : nullptr;
    // Only a line well inside the clip and the image: one the clip cuts is the engine's to draw.
    if (!image || !image->rect().contains(around)
        || !painter->clipBoundingRect().translated(offset).contains(QRectF(around))) {
        painter->drawLine(line);
        return;
    }
    const uint colour = pen.color().rgba();
    const qsizetype stride = image->bytesPerLine() / 4;
    auto *pixels = reinterpret_cast<uint *>(image->bits());
    for (const QPoint &p : kept(whole, offset, around, pen).pixels)
        pixels[p.y() * stride + p.x()] = colour;
}

// The line's pixels and three more on every side: wide enough for any cap of a one-pixel pen.
QRect ChartGrid::surroundings(const QLine &line, const QPointF &offset)
{
    const QRectF ends = QRectF(QPointF(line.p1()) + offset, QPointF(line.p2()) + offset).normalized();
    return QRect(QPoint(static_cast<int>(std::floor(ends.left())) - 3, static_cast<int>(std::floor(ends.top())) - 3),
                 QPoint(static_cast<int>(std::ceil(ends.right())) + 3, static_cast<int>(std::ceil(ends.bottom())) + 3));
}

const ChartGrid::Kept &ChartGrid::kept(const QLine &line, const QPointF &offset, const QRect &around, const QPen &pen)
{
    for (const Kept &k : m_kept)
        if (k.line == line && k.offset == offset && k.pen == pen)
            return k;
    if (m_kept.size() >= kMaxKept)
        m_kept.clear();
    // Drawn by the engine into a picture of the line's surroundings only, moved by whole pixels, which
    // moves every pixel it sets alike; nothing clips it there, as nothing does in the chart.
    QImage scratch(around.size(), QImage::Format_ARGB32_Premultiplied);
    scratch.fill(0);
    {
        QPainter painter(&scratch);
        painter.setTransform(QTransform::fromTranslate(offset.x() - around.left(), offset.y() - around.top()));
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(pen);
        painter.drawLine(line);
    }
    Kept k{line, offset, pen, {}};
    for (int y = 0; y < scratch.height(); ++y) {
        const auto *row = reinterpret_cast<const uint *>(scratch.constScanLine(y));
        for (int x = 0; x < scratch.width(); ++x)
            if (qAlpha(row[x]) != 0)
                k.pixels.push_back(QPoint(x, y) + around.topLeft());
    }
    m_kept.push_back(std::move(k));
    return m_kept.back();
}

} // namespace orvalis
