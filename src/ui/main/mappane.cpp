#include "mappane.h"

#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "chart/gridimage.h"
#include "core/defocusmap.h"
#include "core/numberformat.h"
#include "ui/main/paneparts.h"
#include "ui/widgets/shape.h"

#include <QLabel>
#include <QVBoxLayout>

namespace orvalis {

MapPane::MapPane(ChartWidget *curveChart, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pa3dCTF"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_title = paneTitle("pa3DCTFHeader", QStringLiteral("Defocus Map"), 20);
    m_chart = new ChartWidget;
    m_chart->setObjectName(QStringLiteral("Chart2"));
    column->addWidget(m_title);
    column->addWidget(m_chart, 1);
    setUpDefocusMapChart(*m_chart, *curveChart);
    m_marker = new Shape(Shape::Rectangle, Qt::red, QColor(), m_chart);
    m_marker->setObjectName(QStringLiteral("Shape2"));
    m_marker->resize(10, 2);
    m_chart->setMinimumSize(220, 90);
    connect(m_chart, &ChartWidget::afterDraw, this, &MapPane::drawn);
}

void MapPane::setImageSide(int px)
{
    m_image = QImage(px, px, QImage::Format_RGB32);
    m_image.fill(Qt::black);
}

void MapPane::showMap(const DefocusMapGrid &grid, double kMin, double kMax)
{
    drawDefocusMapImage(m_image, grid);
    m_chart->setBackImage(m_image);
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right})
        m_chart->setAxisRange(side, grid.minimum, grid.maximum);
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        m_chart->setAxisRange(across, kMin, kMax);
}

void MapPane::setPlotEdges(int left, int right)
{
    m_chart->setPlotLeftRight(left, right);
}

void MapPane::spanMarker()
{
    const QRect plot = m_chart->plotRect();
    m_marker->setGeometry(plot.left(), m_marker->y(), plot.right() - plot.left() + 2, 2);
}

void MapPane::placeMarker(double defocus, int minimum, int maximum)
{
    const QRect plot = m_chart->plotRect();
    // The slider never has an empty range, but a zero span must not divide here.
    const double span = maximum > minimum ? static_cast<double>(maximum) - minimum : 1.0;
    const int offset = roundToInt(-(minimum + defocus) * (plot.bottom() - plot.top() - 1) / span);
    m_marker->move(m_marker->x(), plot.top() + offset);
    m_marker->raise();
}

void MapPane::replotSoon()
{
    m_chart->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace orvalis
