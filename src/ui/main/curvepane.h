#pragma once
// The 1D chart's pane (paChart1): its title and Chart1 with its eight series. It shows the curves it
// is given and tells where the pointer is; what the curves are is decided elsewhere.
#include "chart/chart1series.h"

#include <QVector>
#include <QWidget>

#include <optional>

class QLabel;

namespace orvalis {

class ChartWidget;

class CurvePane : public QWidget {
    Q_OBJECT
public:
    explicit CurvePane(QWidget *parent = nullptr);
    ~CurvePane() override;

    ChartWidget *chart() const { return m_chart; }
    QLabel *title() const { return m_title; }

    // The frequency axes run from 0 to upTo (nm^-1); the bottom one alone when a new instrument is
    // loaded, both before a curve is drawn.
    void setFrequencyEnd(double upTo, bool bothAxes);
    // A series takes the points (x in nm^-1) it is given, replacing what it had.
    void showSeries(Chart1Series series, const QVector<double> &x, const QVector<double> &y);
    void setSeriesVisible(Chart1Series series, bool visible);
    void clearSeries(Chart1Series series);
    void clearAll();
    bool hasPoints(Chart1Series series) const;
    // The frequency (nm^-1) under a pointer at x (px), within the axis; none outside the plot.
    std::optional<double> frequencyAt(int x) const;
    void replotSoon();

signals:
    void pointerMoved(int x, int y);
    void pointerLeft();
    void drawn(); // after every paint of the chart

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_title;
    ChartWidget *m_chart;
};

} // namespace orvalis
