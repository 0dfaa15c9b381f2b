#pragma once
// The detector's Nyquist frequency on a chart whose bottom axis is the spatial frequency: a dashed
// vertical line across the plot with the word "Nyquist" at its top.
#include "chart/chartwidget.h"

namespace orvalis {

// At k (nm^-1); none when k is not above 0 (no detector set). Replaces the chart's earlier mark;
// the chart is drawn again by its caller.
void showNyquistMark(ChartWidget &chart, double k);

// The mark's line and label, found by their names "NyquistMark" and "NyquistLabel"; nullptr while
// the chart has none.
QCPItemStraightLine *nyquistLine(const ChartWidget &chart);
QCPItemText *nyquistLabel(const ChartWidget &chart);

} // namespace orvalis
