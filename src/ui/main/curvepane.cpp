#include "curvepane.h"

#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "ui/main/paneparts.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace orvalis {

CurvePane::CurvePane(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("paChart1"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_title = paneTitle("pa1dCTFHeader", QStringLiteral("1D CTF"), 20);
    m_chart = new ChartWidget;
    m_chart->setObjectName(QStringLiteral("Chart1"));
    setUpCurveChart(*m_chart);
    column->addWidget(m_title);
    column->addWidget(m_chart, 1);

    // A chart squeezed below a few label heights has no room left to label its axes.
    m_chart->setMinimumSize(220, 150);

    m_chart->setMouseTracking(true);
    connect(m_chart, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        const QPoint at = event->position().toPoint();
        emit pointerMoved(at.x(), at.y());
    });
    connect(m_chart, &ChartWidget::afterDraw, this, &CurvePane::drawn);
    m_chart->installEventFilter(this); // the pointer leaving
}

CurvePane::~CurvePane()
{
    // The chart outlives this part of the pane while the base class deletes it.
    m_chart->removeEventFilter(this);
}

void CurvePane::setFrequencyEnd(double upTo, bool bothAxes)
{
    if (!bothAxes) {
        m_chart->setAxisRange(ChartWidget::Axis::Bottom, 0, upTo);
        return;
    }
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        m_chart->setAxisRange(across, m_chart->axisMinimum(across), upTo);
}

void CurvePane::showSeries(Chart1Series series, const QVector<double> &x, const QVector<double> &y)
{
    m_chart->setPoints(series, x, y);
}

void CurvePane::setSeriesVisible(Chart1Series series, bool visible)
{
    m_chart->setSeriesVisible(series, visible);
}

void CurvePane::clearSeries(Chart1Series series)
{
    m_chart->clearSeries(series);
}

void CurvePane::clearAll()
{
    for (int i = 0; i < m_chart->seriesCount(); ++i)
        m_chart->clearSeries(i);
}

bool CurvePane::hasPoints(Chart1Series series) const
{
    return m_chart->pointCount(series) > 0;
}

std::optional<double> CurvePane::frequencyAt(int x) const
{
    const QRect plot = m_chart->plotRect();
    if (x < plot.left() || x > plot.right() + 1)
        return std::nullopt;
    const ChartWidget::Axis bottom = ChartWidget::Axis::Bottom;
    return std::clamp(m_chart->chartAxis(bottom)->pixelToCoord(x), m_chart->axisMinimum(bottom),
                      m_chart->axisMaximum(bottom));
}

void CurvePane::replotSoon()
{
    m_chart->replot(QCustomPlot::rpQueuedReplot);
}

bool CurvePane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_chart && event->type() == QEvent::Leave)
        emit pointerLeft();
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalis
