#pragma once
// The monochrome look of the 1D chart: white with black curves, and back to the window's colours with
// each curve's own colour again.
#include <QColor>
#include <QVector>

namespace orvalis {

class ChartWidget;

class ChartMonochrome {
public:
    // The colours of the chart in colour, as the window defines them.
    static QColor colourBack() { return QColor(0xC0, 0xDC, 0xC0); }  // 12639424, pale green
    static QColor colourPanel() { return QColor(0xC0, 0xC0, 0xC0); } // 12632256, silver

    void apply(ChartWidget *chart, bool monochrome);

private:
    QVector<QColor> m_seriesColours; // as they were when monochrome was last switched on
};

} // namespace orvalis
