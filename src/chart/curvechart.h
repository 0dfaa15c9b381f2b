#pragma once
// The 1D chart as both programs draw it: its eight series with their colours, its axes and labels.
// The window shows it; the shell program draws the same chart into files.
#include "chart/chartwidget.h"

#include <QColor>
#include <QString>

namespace orvalis {

// The colours of the 1D chart in colour: the plotting area and the panel around it.
QColor curveChartBackColour();  // 12639424, pale green
QColor curveChartPanelColour(); // 12632256, silver

// Both charts share the frequency scale: k at the bottom, the spacing 1/k at the top, ticks every 0.1.
void setUpFrequencyAxes(ChartWidget &chart);

// Rewrites a tick text of the top or bottom axis; false for the side axes.
bool labelFrequencyAxis(ChartWidget::Axis axis, QString &text);

// A new chart made the 1D chart: the series "Series1" .. "Series8" with their titles and colours,
// both side axes from -1.1 to 1.1, the frequency axes from 0 to 10 and their labels.
void setUpCurveChart(ChartWidget &chart);

// A new chart made the defocus map's, lying below `curves` on its frequency scale: both share the
// frequency ticks, the wider step either needs deciding, so the 1D chart's labels follow the map's
// rules too. Defocus on the side axes, no axis lines or grid over the map.
void setUpDefocusMapChart(ChartWidget &map, ChartWidget &curves);

} // namespace orvalis
