#pragma once
// The defocus map's pane (pa3dCTF): its title, Chart2 with the map as its back image and the marker
// line (Shape2) at the current defocus. The map lies under the 1D chart on the same frequency scale.
#include <QImage>
#include <QPoint>
#include <QStringList>
#include <QWidget>

class QLabel;

namespace orvalis {

class ChartWidget;
class CtfSession;
class Shape;
class StatusPanels;
struct DefocusMapGrid;

class MapPane : public QWidget {
    Q_OBJECT
public:
    // The map shares the bottom and top ticks of `curveChart`.
    explicit MapPane(ChartWidget *curveChart, QWidget *parent = nullptr);
    ~MapPane() override;

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

    // The frequency, spacing, defocus and CTF (of the session's optics) under the pointer go to the
    // status panels, as over the 1D chart.
    void readOutTo(const CtfSession *session, StatusPanels *status);
    // The readout's texts for a pointer at (x, y) in the chart; empty outside the plot.
    QStringList readoutAt(QPoint at) const;

signals:
    void drawn(); // after every paint of the chart

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // The curve chart's side paddings grow so that the map's labels and title fit beside the plot
    // both charts share.
    void makeRoomForLabels();
    // When the window grows a lot (maximised), the map keeps its share of the height beside the 1D
    // chart; back at the size it had, it takes its own height again.
    void shareHeight(int oldHeight, int newHeight);

    int m_normalHeight = 0;   // the map's height before the window grew; 0 while it has not
    int m_normalSplitter = 0; // the splitter's height then
    bool m_watchingSplitter = false;

    ChartWidget *m_curveChart;
    const CtfSession *m_session = nullptr;
    StatusPanels *m_status = nullptr;
    QLabel *m_title;
    ChartWidget *m_chart;
    Shape *m_marker;
    QImage m_image;
};

} // namespace orvalis
