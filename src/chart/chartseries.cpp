#include "chart/chartseries.h"

#include <cmath>

namespace orvalis {

ChartSeries::ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis) : QCPGraph(keyAxis, valueAxis) {}

// The segments are the ones QCustomPlot's fast polyline draws one QCPPainter::drawLine at a time:
// between neighbouring points, none touching a NaN, rounded to whole pixels when aliased and exact
// when antialiased, with a 1-pixel pen made cosmetic. The raster engine strokes every line of a batch
// on its own, exactly as it strokes single lines, so the pixels are the same. Any other case keeps
// QCustomPlot's drawing.
void ChartSeries::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    const bool batch = mParentPlot->plottingHints().testFlag(QCP::phFastPolylines)
        && painter->pen().style() == Qt::SolidLine && !painter->modes().testFlag(QCPPainter::pmVectorized)
        && !painter->modes().testFlag(QCPPainter::pmNoCaching) && painter->pen().color().alpha() != 0;
    applyDefaultAntialiasingHint(painter);
    if (!batch) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }
    if (qFuzzyCompare(painter->pen().widthF(), 1.0)) {
        QPen cosmetic = painter->pen();
        cosmetic.setWidth(0);
        painter->setPen(cosmetic);
    }
    const auto isNan = [](const QPointF &p) { return std::isnan(p.x()) || std::isnan(p.y()); };
    const bool exact = painter->antialiasing();
    m_segments.clear();
    m_exactSegments.clear();
    for (int i = 1; i < lines.size(); ++i) {
        if (isNan(lines[i - 1]) || isNan(lines[i]))
            continue;
        const QLineF segment(lines[i - 1], lines[i]);
        if (exact)
            m_exactSegments.append(segment);
        else
            m_segments.append(segment.toLine());
    }
    if (exact)
        painter->drawLines(m_exactSegments.constData(), static_cast<int>(m_exactSegments.size()));
    else
        painter->drawLines(m_segments.constData(), static_cast<int>(m_segments.size()));
}

} // namespace orvalis
