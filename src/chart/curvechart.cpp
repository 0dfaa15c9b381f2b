#include "chart/curvechart.h"

#include "chart/chart1series.h"

#include "core/axislabels.h"
#include "core/curvetable.h"

namespace orvalis {

QColor curveChartBackColour()
{
    return QColor(0xC0, 0xDC, 0xC0);
}

QColor curveChartPanelColour()
{
    return QColor(0xC0, 0xC0, 0xC0);
}

void setUpFrequencyAxes(ChartWidget &chart)
{
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top}) {
        chart.setAxisRange(across, 0, 10);
        chart.setAxisIncrement(across, 0.1);
    }
}

bool labelFrequencyAxis(ChartWidget::Axis axis, QString &text)
{
    if (axis == ChartWidget::Axis::Top)
        text = distanceAxisLabel(text);
    else if (axis == ChartWidget::Axis::Bottom)
        text = frequencyAxisLabel(text);
    else
        return false;
    return true;
}

void setUpCurveChart(ChartWidget &chart)
{
    chart.setBackColor(curveChartBackColour());
    chart.setPanelColor(curveChartPanelColour());
    const QStringList &titles = curveSeriesTitles();
    for (const Chart1SeriesLook &s : chart1Series)
        chart.addSeries(QString::fromLatin1(s.name), titles[s.series], seriesColour(s.series));
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        chart.setAxisRange(side, -1.1, 1.1);
        // The defocus map below takes this chart's plot edges; leave room there for labels like "-1000".
        chart.chartAxis(side)->setPadding(12);
    }
    setUpFrequencyAxes(chart);
    chart.setLabelCallback([](ChartWidget::Axis axis, QString &text) { labelFrequencyAxis(axis, text); });
}

void setUpDefocusMapChart(ChartWidget &map, ChartWidget &curves)
{
    map.setBackColor(QColor::fromRgb(0xC0, 0xDC, 0xC0)); // 12639424 as a colour reference
    map.addSeries(QStringLiteral("Series9"), QStringLiteral("CTF"), Qt::black);
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        map.setAxisRange(side, -50, 200);
        map.setAxisInverted(side, true);
        map.setLabelSeparation(side, 20);
    }
    setUpFrequencyAxes(map);
    // The map itself is the picture: no axis lines or grid over it.
    for (ChartWidget::Axis axis :
         {ChartWidget::Axis::Left, ChartWidget::Axis::Right, ChartWidget::Axis::Bottom, ChartWidget::Axis::Top}) {
        map.chartAxis(axis)->setBasePen(Qt::NoPen);
        map.chartAxis(axis)->grid()->setVisible(false);
        map.chartAxis(axis)->setTickLength(0, 4);
        map.chartAxis(axis)->setSubTickLength(0, 2);
    }
    map.setLabelSeparation(ChartWidget::Axis::Bottom, 20);
    map.setLabelSeparation(ChartWidget::Axis::Top, 40);
    map.setLabelCallback([](ChartWidget::Axis axis, QString &text) {
        if (!labelFrequencyAxis(axis, text))
            text = defocusAxisLabel(text);
    });
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        curves.shareTicks(across, &map);
}

} // namespace orvalis
