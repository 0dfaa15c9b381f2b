#pragma once
// A line series of ChartWidget: a QCPGraph that hands its segments to the painter in one batch
// instead of one call per segment, which is most of a redraw's cost with thousands of points.
#include <qcustomplot.h>

#include <QLine>
#include <QVector>

namespace orvalis {

class ChartSeries : public QCPGraph {
    Q_OBJECT

public:
    ChartSeries(QCPAxis *keyAxis, QCPAxis *valueAxis);

protected:
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    // Kept between redraws so that their storage is reused: whole pixels when aliased, else exact.
    mutable QVector<QLine> m_segments;
    mutable QVector<QLineF> m_exactSegments;
};

} // namespace orvalis
