#pragma once
// Parts the panes of the main window share: their title panels and the frequency scale the 1D chart
// and the defocus map have in common.
#include "chart/chartwidget.h"

class QLabel;
class QString;

namespace orvalis {

// A pane's title: grey, centred, bold navy; shown or hidden with View > "Show Titles".
QLabel *paneTitle(const char *name, const QString &caption, int height);

// k at the bottom, the spacing 1/k at the top, ticks every 0.1.
void setUpFrequencyAxes(ChartWidget *chart);

// Rewrites a tick text of the top or bottom axis; false for the side axes.
bool labelFrequencyAxis(ChartWidget::Axis axis, QString &text);

} // namespace orvalis
