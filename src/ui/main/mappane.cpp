#include "mappane.h"

#include "chart/chartwidget.h"
#include "core/axislabels.h"
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
    m_chart->setBackColor(QColor::fromRgb(0xC0, 0xDC, 0xC0)); // 12639424 as a colour reference
    m_chart->addSeries(QStringLiteral("Series9"), QStringLiteral("CTF"), Qt::black);
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        m_chart->setAxisRange(side, -50, 200);
        m_chart->setAxisInverted(side, true);
        m_chart->setLabelSeparation(side, 20);
    }
    setUpFrequencyAxes(m_chart);
    // The map itself is the picture: no axis lines or grid over it.
    for (ChartWidget::Axis axis :
         {ChartWidget::Axis::Left, ChartWidget::Axis::Right, ChartWidget::Axis::Bottom, ChartWidget::Axis::Top}) {
        m_chart->chartAxis(axis)->setBasePen(Qt::NoPen);
        m_chart->chartAxis(axis)->grid()->setVisible(false);
        m_chart->chartAxis(axis)->setTickLength(0, 4);
        m_chart->chartAxis(axis)->setSubTickLength(0, 2);
    }
    m_chart->setLabelSeparation(ChartWidget::Axis::Bottom, 20);
    m_chart->setLabelSeparation(ChartWidget::Axis::Top, 40);
    m_chart->setLabelCallback([](ChartWidget::Axis axis, QString &text) {
        if (!labelFrequencyAxis(axis, text))
            text = defocusAxisLabel(text);
    });
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        curveChart->shareTicks(across, m_chart);
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
    for (int y = 0; y < grid.width; ++y) {
        const std::uint8_t *source = grid.grey.data() + static_cast<std::size_t>(y) * grid.width;
        auto *line = reinterpret_cast<QRgb *>(m_image.scanLine(y));
        for (int c = 0; c < grid.width; ++c)
            line[c] = qRgb(source[c], source[c], source[c]);
    }
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
