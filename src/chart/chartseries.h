#pragma once
// A line series of ChartWidget: a QCPGraph that hands its aliased segments to the painter in one
// batch instead of one call per segment, which is most of a redraw's cost with thousands of points.
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
    mutable QVector<QLine> m_segments; // kept between redraws so that its storage is reused
};

} // namespace orvalis
