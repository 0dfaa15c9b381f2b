#include "chartmonochrome.h"

#include "chart/chartwidget.h"

namespace orvalis {

void ChartMonochrome::apply(ChartWidget *chart, bool monochrome)
{
    if (monochrome) {
        chart->setBackColor(Qt::white);
        chart->setPanelColor(Qt::white);
        m_seriesColours.resize(chart->seriesCount());
        for (int i = 0; i < chart->seriesCount(); ++i) {
            m_seriesColours[i] = chart->seriesColor(i);
            chart->setSeriesColor(i, Qt::black);
        }
    } else {
        chart->setBackColor(colourBack());
        chart->setPanelColor(colourPanel());
        // Never switched on: every curve still has its own colour.
        for (int i = 0; i < chart->seriesCount() && i < m_seriesColours.size(); ++i)
            chart->setSeriesColor(i, m_seriesColours[i]);
    }
    chart->redraw();
}

} // namespace orvalis
