#pragma once
// The 1D chart as both programs draw it: its eight series with their colours, its axes and labels.
// The window shows it; the shell program draws the same chart into files.
#include "chart/chartwidget.h"
#include "chart/micrographseries.h"
#include "core/scopedata.h"

#include <QColor>
#include <QPair>
#include <QPen>
#include <QString>
#include <QVector>

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

// The side axes' padding of the 1D chart, so that its plot keeps its edges whatever its value labels
// (a range from 0 has no minus signs) and leaves `mapRoom` px (0: none) beside the plot for the labels
// and title of a defocus map lying under it.
void keepPlotEdges(ChartWidget &curves, ChartWidget::Axis side, int mapRoom);
// Again with the room last asked for.
void keepPlotEdges(ChartWidget &curves);

// How the 1D chart is drawn besides its points, as the window shows it and the shell program saves it.
struct CurveLook {
    bool plotter = false;                      // plotter mode: each instrument its colour, a legend naming both
    bool monochrome = false;                   // black curves told apart by their dash patterns
    bool intensity = false;                    // analysis mode's squared curves: the value axes run from 0
    QString firstInstrument, secondInstrument; // the legend's names, instrumentName()
    QString direction; // analysis mode's profile direction (profileDirectionText); empty: none shown
    // Analysis mode with a micrograph shown: the legend names its curves, each with whether it is
    // drawn (a hidden one is listed faded, to be switched back on). Empty: no micrograph.
    QVector<QPair<MicrographCurve, bool>> micrographCurves;
};

// The legend's name of an instrument: its manufacturer and model.
QString instrumentName(const TScopeData &scope);

// The pens, the colours of the plotting area and panel, the value axes and the legend for `look`.
void applyCurveLook(ChartWidget &chart, const CurveLook &look);

// The series take their pens for the mode and look (curvePen), the plotting area and panel its colours.
void applyCurvePens(ChartWidget &chart, bool plotter, bool monochrome);

// The side axes from -1.1 to 1.1, or from 0 while squared curves are shown, the plot keeping its edges.
void fitCurveValueAxes(ChartWidget &chart, bool squared);

// A legend in the plot's bottom right corner: each entry a line in its pen and its text. No entries: none.
void showCurveLegend(ChartWidget &chart, const QVector<QPair<QPen, QString>> &entries);

// The profile's direction in the plot's top right corner, where the envelopes have fallen away; empty:
// none. True when the chart's text changed.
bool showDirectionNote(ChartWidget &chart, const QString &direction);

// Plotter mode's legend, "CTF 1: <first>" and "CTF 2: <second>" in their curves' pens; in analysis
// mode the micrograph's curves by their names (each legend item's objectName is its series'); none
// otherwise.
void showInstrumentLegend(ChartWidget &chart, const CurveLook &look);

// The series of a micrograph curve on the chart, made with its name and pen at the first call.
int micrographSeries(ChartWidget &chart, MicrographCurve curve, bool monochrome);

} // namespace orvalis
