#pragma once
// A line series of ChartWidget: a QCPGraph that thins its points into storage kept between redraws
// and hands its segments to the painter in one batch instead of one call per segment, which is most
// of a redraw's cost with thousands of points.
#include <qcustomplot.h>

#include <QLine>
#include <QRect>
#include <QVector>

namespace orvalis {

class ChartSeries : public QCPGraph {
    Q_OBJECT

public:
    ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // The pixel points of the line as QCustomPlot's getLines makes them (its adaptive sampling
    // included), into `lines`, whose storage is reused. Only for a plain line (see draw).
    void thinnedLines(QVector<QPointF> &lines) const;
    // The points were changed in place (ChartWidget's setters tell it): the next draw thins them again.
    void pointsChanged() { m_linesValid = false; }

protected:
    void draw(QCPPainter *painter) override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    // A solid line without fill, scatters or selection on a linear horizontal key axis: the drawing
    // thinnedLines and draw reproduce; anything else is QCustomPlot's own.
    bool isPlainLine() const;

    // What the thinned lines were made from: the points (their container, its size and whether they
    // changed in place) and the axes' ranges and pixels. A draw with the same takes them as they are:
    // a curve that stays while others move (an envelope the defocus does not touch) is not thinned
    // and cut into segments again at every step.
    struct LinesKey {
        const void *points = nullptr;
        int count = -1;
        double keyLower = 0, keyUpper = 0, valueLower = 0, valueUpper = 0;
        QRect keyRect, valueRect;
        bool keyReversed = false, valueReversed = false, adaptive = false, valueLinear = false;
        bool operator==(const LinesKey &o) const;
    };
    LinesKey linesKey() const;

    mutable QVector<QPointF> m_lines;
    mutable LinesKey m_linesKey;
    mutable bool m_linesValid = false;
    // The segments are those of m_lines as they are: exact (antialiased) or whole pixels, or none.
    enum class Cut { None, Exact, Whole };
    mutable Cut m_cut = Cut::None;
    // Kept between redraws so that their storage is reused: whole pixels when aliased, else exact.
    mutable QVector<QLine> m_segments;
    mutable QVector<QLineF> m_exactSegments;
};

} // namespace orvalis
