#include "chart/chartseries.h"

#include "chart/cosmeticstroke.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace orvalis {

ChartSeries::ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis) : QCPGraph(keyAxis, valueAxis) {}

bool ChartSeries::isPlainLine() const
{
    return mKeyAxis && mValueAxis && mLineStyle == lsLine && mScatterStyle.isNone() && mBrush.style() == Qt::NoBrush
        && selection().isEmpty() && mKeyAxis->orientation() == Qt::Horizontal
        && mKeyAxis->scaleType() == QCPAxis::stLinear && mValueAxis->orientation() == Qt::Vertical;
}

// QCustomPlot's graph gathers the thinned data points in a vector made anew on every draw and maps
// them to pixels in a second one; here the same points, computed by the same axis functions in the
// same order, go straight to pixels in storage kept between draws.
void ChartSeries::thinnedLines(QVector<QPointF> &lines) const
{
    lines.clear();
    const QCPAxis *keyAxis = mKeyAxis.data();
    const QCPAxis *valueAxis = mValueAxis.data();
    const auto begin = mDataContainer->findBegin(keyAxis->range().lower);
    const auto end = mDataContainer->findEnd(keyAxis->range().upper);
    if (begin == end)
        return;
    // QCPAxis::coordToPixel of a linear axis, spelt out so that it inlines; the same operations in
    // the same order give the same doubles.
    const QCPRange keys = keyAxis->range();
    const double keySpan = keys.size();
    const double keyWidth = keyAxis->axisRect()->width(), keyLeft = keyAxis->axisRect()->left();
    const bool keysReversed = keyAxis->rangeReversed();
    const auto keyPixel = [&](double key) {
        return keysReversed ? (keys.upper - key) / keySpan * keyWidth + keyLeft
                            : (key - keys.lower) / keySpan * keyWidth + keyLeft;
    };
    const QCPRange values = valueAxis->range();
    const double valueSpan = values.size();
    const double valueHeight = valueAxis->axisRect()->height(), valueBottom = valueAxis->axisRect()->bottom();
    const bool valuesLinear = valueAxis->scaleType() == QCPAxis::stLinear, valuesReversed = valueAxis->rangeReversed();
    const auto valuePixel = [&](double value) {
        if (!valuesLinear)
            return valueAxis->coordToPixel(value);
        return valuesReversed ? valueBottom - (values.upper - value) / valueSpan * valueHeight
                              : valueBottom - (value - values.lower) / valueSpan * valueHeight;
    };
    const auto put = [&](double key, double value) { lines.append(QPointF(keyPixel(key), valuePixel(value))); };
    const int count = static_cast<int>(end - begin);
    int enough = INT_MAX; // points from which on a pixel column is drawn as its extremes
    if (mAdaptiveSampling) {
        const double span = qAbs(keyPixel(begin->key) - keyPixel((end - 1)->key));
        if (2 * span + 2 < static_cast<double>(INT_MAX))
            enough = static_cast<int>(2 * span + 2);
    }
    if (!mAdaptiveSampling || count < enough) {
        for (auto it = begin; it != end; ++it)
            put(it->key, it->value);
    } else {
        // Columns one pixel wide, floored (ceiled on a reversed axis) to whole pixels. A column of
        // several points becomes its minimum and maximum at a quarter and three quarters of it, with
        // its first and last points kept where the neighbouring column is not adjacent.
        const int direction = keyAxis->pixelOrientation();
        const int ceil = direction == -1 ? 1 : 0;
        const auto columnStart = [&](double key) {
            return keyAxis->pixelToCoord(static_cast<int>(keyPixel(key) + ceil));
        };
        double start = columnStart(begin->key);
        const double width = qAbs(start - keyAxis->pixelToCoord(keyPixel(start) + 1.0 * direction));
        double previousEnd = start;
        auto first = begin;
        double lowest = first->value, highest = first->value;
        int inColumn = 1;
        const auto closeColumn = [&](auto next, bool atEnd) {
            if (inColumn >= 2) {
                if (previousEnd < start - width)
                    put(start + width * 0.2, first->value);
                put(start + width * 0.25, lowest);
                put(start + width * 0.75, highest);
                if (!atEnd && next->key > start + width * 2)
                    put(start + width * 0.8, (next - 1)->value);
            } else {
                put(first->key, first->value);
            }
        };
        for (auto it = begin + 1; it != end; ++it) {
            if (it->key < start + width) {
                if (it->value < lowest)
                    lowest = it->value;
                else if (it->value > highest)
                    highest = it->value;
                ++inColumn;
                continue;
            }
            closeColumn(it, false);
            previousEnd = (it - 1)->key;
            lowest = highest = it->value;
            first = it;
            start = columnStart(it->key);
            inColumn = 1;
        }
        closeColumn(end, true);
    }
    if (keyAxis->rangeReversed())
        std::reverse(lines.begin(), lines.end());
}

bool ChartSeries::LinesKey::operator==(const LinesKey &o) const
{
    return points == o.points && count == o.count && keyLower == o.keyLower && keyUpper == o.keyUpper
        && valueLower == o.valueLower && valueUpper == o.valueUpper && keyRect == o.keyRect && valueRect == o.valueRect
        && keyReversed == o.keyReversed && valueReversed == o.valueReversed && adaptive == o.adaptive
        && valueLinear == o.valueLinear;
}

ChartSeries::LinesKey ChartSeries::linesKey() const
{
    LinesKey key;
    key.points = mDataContainer.data();
    key.count = mDataContainer->size();
    key.keyLower = mKeyAxis->range().lower;
    key.keyUpper = mKeyAxis->range().upper;
    key.valueLower = mValueAxis->range().lower;
    key.valueUpper = mValueAxis->range().upper;
    key.keyRect = mKeyAxis->axisRect()->rect();
    key.valueRect = mValueAxis->axisRect()->rect();
    key.keyReversed = mKeyAxis->rangeReversed();
    key.valueReversed = mValueAxis->rangeReversed();
    key.adaptive = mAdaptiveSampling;
    key.valueLinear = mValueAxis->scaleType() == QCPAxis::stLinear;
    return key;
}

void ChartSeries::draw(QCPPainter *painter)
{
    if (!isPlainLine()) {
        m_linesValid = false; // QCustomPlot's drawing passes other lines through drawLinePlot
        m_cut = Cut::None;
        QCPGraph::draw(painter);
        return;
    }
    if (mKeyAxis->range().size() <= 0 || mDataContainer->isEmpty())
        return;
    const LinesKey key = linesKey();
    if (!m_linesValid || !(key == m_linesKey)) {
        thinnedLines(m_lines);
        m_linesKey = key;
        m_linesValid = true;
        m_cut = Cut::None;
    }
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    drawLinePlot(painter, m_lines);
}

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
    // The kept lines cut the same way as at the last draw: their segments are still there.
    const bool own = &lines == &m_lines;
    const auto collect = [&](auto &segments, auto toSegment) {
        segments.clear();
        for (int i = 1; i < lines.size(); ++i)
            if (!isNan(lines[i - 1]) && !isNan(lines[i]))
                segments.append(toSegment(QLineF(lines[i - 1], lines[i])));
    };
    if (painter->antialiasing()) {
        if (!own || m_cut != Cut::Exact)
            collect(m_exactSegments, [](const QLineF &segment) { return segment; });
        m_cut = own ? Cut::Exact : Cut::None;
        const int count = static_cast<int>(m_exactSegments.size());
        if (const CosmeticTarget target = cosmeticTarget(painter); target.image)
            strokeCosmeticSegments(target, m_exactSegments.constData(), count);
        else
            painter->drawLines(m_exactSegments.constData(), count);
    } else {
        if (!own || m_cut != Cut::Whole)
            collect(m_segments, [](const QLineF &segment) { return segment.toLine(); });
        m_cut = own ? Cut::Whole : Cut::None;
        painter->drawLines(m_segments.constData(), static_cast<int>(m_segments.size()));
    }
}

} // namespace orvalis
