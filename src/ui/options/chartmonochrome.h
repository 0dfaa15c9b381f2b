#pragma once
// The monochrome look of the 1D chart: white with black curves, and back to the window's colours with
// each curve's own colour again.
#include "chart/curvechart.h"

#include <QColor>
#include <QVector>

namespace orvalis {

class ChartWidget;

class ChartMonochrome {
public:
    // The colours of the chart in colour, as the window defines them.
    static QColor colourBack() { return curveChartBackColour(); }
    static QColor colourPanel() { return curveChartPanelColour(); }

    void apply(ChartWidget *chart, bool monochrome);

private:
    QVector<QColor> m_seriesColours; // as they were when monochrome was last switched on
};

} // namespace orvalis
