#pragma once
// The defocus map's pane (pa3dCTF): its title, Chart2 with the map as its back image and the marker
// line (Shape2) at the current defocus. The map lies under the 1D chart on the same frequency scale.
#include <QImage>
#include <QWidget>

class QLabel;

namespace orvalis {

class ChartWidget;
class Shape;
struct DefocusMapGrid;

class MapPane : public QWidget {
    Q_OBJECT
public:
    // The map shares the bottom and top ticks of `curveChart`.
    explicit MapPane(ChartWidget *curveChart, QWidget *parent = nullptr);

    ChartWidget *chart() const { return m_chart; }
    QLabel *title() const { return m_title; }
    // The map picture as last shown (side px); black until the first map.
    const QImage &image() const { return m_image; }
    void setImageSide(int px);

    // Shows a computed map over the frequencies kMin..kMax (nm^-1).
    void showMap(const DefocusMapGrid &grid, double kMin, double kMax);
    // The plot runs between these pixel columns: the 1D chart's plot edges, once that is laid out.
    void setPlotEdges(int left, int right);
    // The marker line spans the plot (one pixel past its right column) ...
    void spanMarker();
    // ... at the row of `defocus` (nm) in the slider range minimum..maximum (negated defoci).
    void placeMarker(double defocus, int minimum, int maximum);
    void replotSoon();

signals:
    void drawn(); // after every paint of the chart

private:
    QLabel *m_title;
    ChartWidget *m_chart;
    Shape *m_marker;
    QImage m_image;
};

} // namespace orvalis
