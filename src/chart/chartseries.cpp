#include "chart/chartseries.h"

#include "chart/cosmeticstroke.h"

#include <cmath>

namespace orvalis {

ChartSeries::ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis) : QCPGraph(keyAxis, valueAxis) {}

// The segments are the ones QCustomPlot's fast polyline draws one QCPPainter::drawLine at a time:
// between neighbouring points, none touching a NaN, rounded to whole pixels when aliased and exact
// when antialiased, with a 1-pixel pen made cosmetic. The raster engine strokes every line of a batch
// on its own, exactly as it strokes single lines, so the pixels are the same; antialiased segments on
// the chart's own buffer are written into it directly, the same pixels again. Any other case keeps
// QCustomPlot's drawing.
void ChartSeries::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    const bool batch = mParentPlot->plottingHints().testFlag(QCP::phFastPolylines)
        && painter->pen().style() == Qt::SolidLine && !painter->modes().testFlag(QCPPainter::pmVectorized)
        && !painter->modes().testFlag(QCPPainter::pmNoCaching) && painter->pen().color().alpha() != 0;
    applyDefaultAntialiasingHint(painter);
    if (painter->pen().style() != Qt::SolidLine && painter->pen().style() != Qt::NoPen) {
        // A dash pattern runs on along a polyline; over separate segments it would start afresh at every
        // point and a dense curve would look solid.
        const auto isNan = [](const QPointF &p) { return std::isnan(p.x()) || std::isnan(p.y()); };
        int start = 0;
        for (int i = 0; i <= lines.size(); ++i)
            if (i == lines.size() || isNan(lines[i])) {
                if (i - start > 1)
                    painter->drawPolyline(lines.constData() + start, i - start);
                start = i + 1;
            }
        return;
    }
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
    const auto collect = [&](auto &segments, auto toSegment) {
        segments.clear();
        for (int i = 1; i < lines.size(); ++i)
            if (!isNan(lines[i - 1]) && !isNan(lines[i]))
                segments.append(toSegment(QLineF(lines[i - 1], lines[i])));
    };
    if (painter->antialiasing()) {
        collect(m_exactSegments, [](const QLineF &segment) { return segment; });
        const int count = static_cast<int>(m_exactSegments.size());
        if (const CosmeticTarget target = cosmeticTarget(painter); target.image)
            strokeCosmeticSegments(target, m_exactSegments.constData(), count);
        else
            painter->drawLines(m_exactSegments.constData(), count);
    } else {
        collect(m_segments, [](const QLineF &segment) { return segment.toLine(); });
        painter->drawLines(m_segments.constData(), static_cast<int>(m_segments.size()));
    }
}

} // namespace orvalis
