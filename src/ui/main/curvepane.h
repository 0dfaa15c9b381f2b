#pragma once
// The 1D chart's pane (paChart1): its title and Chart1 with its eight series. It shows the curves it
// is given and tells where the pointer is; what the curves are is decided elsewhere.
#include "chart/chart1series.h"
#include "chart/micrographseries.h"

#include <QVector>
#include <QWidget>

#include <optional>

class QLabel;

namespace orvalis {

class ChartWidget;
struct CurveLook;
class CtfSession;

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

    // The look of the curves: each instrument its own colour in plotter mode, dash patterns in
    // monochrome; in plotter mode a legend names both instruments (manufacturer and model).
    void setPlotterMode(bool on);
    void setMonochrome(bool on);
    // The legend follows the session's two instruments; the side axes its intensity view: 0 to 1
    // while the squared curves are shown, -1 to 1 otherwise; the title names the profile's direction
    // while astigmatism makes it matter.
    void followSession(const CtfSession *session);
    bool plotterMode() const { return m_plotter; }
    bool monochrome() const { return m_monochrome; }
    // The micrograph's curves the legend lists, each with whether it is drawn; empty: no micrograph.
    void listMicrographCurves(const QVector<QPair<MicrographCurve, bool>> &curves);

signals:
    void pointerMoved(int x, int y);
    void pointerLeft();
    void drawn(); // after every paint of the chart
    // A click on a micrograph curve's legend entry: the user switches it on or off.
    void micrographCurveClicked(MicrographCurve curve);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CurveLook look() const;
    void applyLook();
    void showLegend();
    void fitValueAxes();
    void nameDirection();

    QLabel *m_title;
    ChartWidget *m_chart;
    const CtfSession *m_session = nullptr;
    bool m_plotter = false;
    bool m_monochrome = false;
    QVector<QPair<MicrographCurve, bool>> m_micrographCurves;
};

} // namespace orvalis
