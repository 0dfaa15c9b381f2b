#pragma once
// A line series of ChartWidget: a QCPGraph that thins its points into storage kept between redraws
// and hands its segments to the painter in one batch instead of one call per segment, which is most
// of a redraw's cost with thousands of points.
#include <qcustomplot.h>

#include <QLine>
#include <QVector>

namespace orvalis {

class ChartSeries : public QCPGraph {
    Q_OBJECT

public:
    ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // The pixel points of the line as QCustomPlot's getLines makes them (its adaptive sampling
    // included), into `lines`, whose storage is reused. Only for a plain line (see draw).
    void thinnedLines(QVector<QPointF> &lines) const;

protected:
    void draw(QCPPainter *painter) override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    // A solid line without fill, scatters or selection on a linear horizontal key axis: the drawing
    // thinnedLines and draw reproduce; anything else is QCustomPlot's own.
    bool isPlainLine() const;

    mutable QVector<QPointF> m_lines;
    // Kept between redraws so that their storage is reused: whole pixels when aliased, else exact.
    mutable QVector<QLine> m_segments;
    mutable QVector<QLineF> m_exactSegments;
};

} // namespace orvalis
