#pragma once
// The chart the main window draws its 1D curves and its defocus map with.
#include <qcustomplot.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <array>
#include <functional>
#include <memory>

namespace orvalis {

class ChartBackImage;
class ChartGrid;
class ChartTicker;

// A QCustomPlot with four axes, line series addressed by index (creation order, which is also the
// order of QCustomPlot::graph()), per-label text callbacks, a stretched back image and a signal after
// every paint. Users cannot zoom, pan or select anything: the program sets every range.
//
// Layout happens inside every replot (redraw(), a resize, any QCustomPlot::replot()) and in layOut();
// tick texts are generated, and the label callback runs, during that layout.
//
// Pixel rectangle of the plotting area: plotRect() has QRect semantics. left() and top() are the first
// pixel column and row inside the axes, right() and bottom() the last ones (inclusive), so width() is
// right() - left() + 1. An axis minimum maps to the left edge of column left(), its maximum to the
// right edge of column right() (coordinate right() + 1). Axis lines, when shown, lie on column left()
// (left axis) and row bottom() (bottom axis), inside, but on column right() + 1 (right axis) and row
// top() - 1 (top axis), outside; back colour and back image cover the whole rectangle.
class ChartWidget : public QCustomPlot {
    Q_OBJECT

public:
    enum class Axis { Left, Right, Top, Bottom };
    Q_ENUM(Axis)

    // Given the axis and the text the chart made for a tick (see defaultLabelText), may replace the text;
    // what it leaves is drawn ("\n" makes a multi-line label).
    using LabelCallback = std::function<void(Axis axis, QString &text)>;

    explicit ChartWidget(QWidget *parent = nullptr);
    ~ChartWidget() override;

    // The default tick text: the value rounded to `decimals` (3 unless set) decimals, trailing zeros and
    // a needless point dropped, always with ".": "0", "2.5", "0.1", "-50".
    static QString defaultLabelText(double value, int decimals = 3);

    // --- axes --------------------------------------------------------------------------------------
    QCPAxis *chartAxis(Axis axis) const;
    void setAxisVisible(Axis axis, bool visible);
    bool isAxisVisible(Axis axis) const;

    // Automatic axes fit the visible series on them before every replot (all axes start automatic).
    void setAxisAutomatic(Axis axis, bool automatic);
    bool isAxisAutomatic(Axis axis) const;
    // Switches automatic off and fixes the range.
    void setAxisRange(Axis axis, double minimum, double maximum);
    double axisMinimum(Axis axis) const;
    double axisMaximum(Axis axis) const;
    // Inverted: the minimum at the right (top/bottom axes) or at the top (left/right axes).
    void setAxisInverted(Axis axis, bool inverted);
    bool isAxisInverted(Axis axis) const;

    // Labels at multiples of `increment`, thinned by 1-2-5 multiples until they fit; 0 = a 1-2-5 step.
    void setAxisIncrement(Axis axis, double increment);
    double axisIncrement(Axis axis) const;
    // Most decimals of the default tick texts of the axis (the value format).
    void setLabelDecimals(Axis axis, int decimals);
    int labelDecimals(Axis axis) const;
    // Least free space between neighbouring labels, percent of the label extent along the axis.
    void setLabelSeparation(Axis axis, int percent);
    int labelSeparation(Axis axis) const;
    void setLabelFontSize(Axis axis, int pointSize);
    int labelFontSize(Axis axis) const;

    // The axis shows the same ticks as the same axis of `other` (both ways): the wider step either
    // chart needs decides. Meant for charts whose plotting areas have the same width.
    void shareTicks(Axis axis, ChartWidget *other);

    void setLabelCallback(LabelCallback callback);
    // Makes the next layout choose ticks afresh; needed only when the callback's texts changed while
    // ranges, sizes and fonts stayed the same (the tick spacing is otherwise reused).
    void refreshLabels();
    // Tick values and the texts drawn at them, as of the last layout.
    QVector<double> tickValues(Axis axis) const;
    QVector<QString> tickLabels(Axis axis) const;

    // --- series ------------------------------------------------------------------------------------
    // A line series on the given axis pair; its QCPGraph carries objectName (findChild finds it) and
    // title as its name. Returns the index of the series.
    int addSeries(const QString &objectName, const QString &title, const QColor &color, Axis keyAxis = Axis::Bottom,
                  Axis valueAxis = Axis::Left);
    int seriesCount() const;
    QCPGraph *series(int index) const;                // nullptr for an index out of range
    int seriesIndex(const QString &objectName) const; // -1 if there is none

    void clearSeries(int index);
    // Points must come in increasing x.
    void appendPoint(int index, double x, double y);
    void appendPoints(int index, const QVector<double> &x, const QVector<double> &y);
    // Replaces the points of a series by (x[i], y[i]) for i below the shorter length, in increasing x.
    // A series that already holds as many points is overwritten in place, so refilling it on every
    // step of a slider drag allocates nothing.
    void setPoints(int index, const QVector<double> &x, const QVector<double> &y);
    void setSeriesVisible(int index, bool visible);
    bool isSeriesVisible(int index) const;
    int pointCount(int index) const;
    double xValue(int index, int point) const;
    double yValue(int index, int point) const;
    QString seriesTitle(int index) const;
    void setSeriesColor(int index, const QColor &color);
    QColor seriesColor(int index) const;

    // --- colours and back image --------------------------------------------------------------------
    // Back colour: the plotting area inside the axes. Panel colour: the chart's own background around it.
    void setBackColor(const QColor &color);
    QColor backColor() const;
    void setPanelColor(const QColor &color);
    QColor panelColor() const;

    // Shown stretched over exactly plotRect(), above the back colour and below grid and series (see
    // ChartBackImage for which picture pixel lands where). A null image removes it.
    void setBackImage(const QImage &image);
    QImage backImage() const;

    // --- plotting rectangle ------------------------------------------------------------------------
    QRect plotRect() const; // as of the last layout; see the class comment for the pixel meaning
    ChartGrid &gridLines() const { return *m_grid; }
    // Fixes the plotting rectangle's left() and right() columns (same meaning as plotRect()) and lays out
    // at once, so plotRect() reads them back. The chart then keeps the left column and the distance of
    // the right column from its own right edge until releasePlotLeftRight(); two charts of equal width
    // aligned this way stay aligned when both are resized by the same amount.
    void setPlotLeftRight(int left, int right);
    void releasePlotLeftRight();
    bool isPlotLeftRightFixed() const { return m_leftRightFixed; }

    // --- drawing -----------------------------------------------------------------------------------
    // Lays out, draws and, when the widget is shown, repaints synchronously (afterDraw is emitted
    // before this returns).
    void redraw();
    // Lays out without drawing, e.g. to read plotRect() or tick texts of a widget not yet shown.
    void layOut();

signals:
    // After every paint of the widget, layout and drawing done: the place to move child widgets that
    // follow plotRect().
    void afterDraw();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static void pointsChanged(QCPGraph *series); // its thinned lines are made again
    ChartTicker &ticker(Axis axis) const;
    void prepareLayout();
    void chooseRefresh();
    void fitAutomaticAxes();
    bool ticksStale() const;
    void keepCornerLabelsApart();
    void syncViewport();
    QRect coveredPlotRect() const;

    std::array<QSharedPointer<ChartTicker>, 4> m_tickers;
    std::unique_ptr<ChartGrid> m_grid;
    std::array<bool, 4> m_automatic{{true, true, true, true}};
    std::unique_ptr<ChartBackImage> m_backImage;
    LabelCallback m_labelCallback;
    bool m_leftRightFixed = false;
    bool m_laidOut = false;
    QSize m_laidOutSize; // viewport size of the last layout
};

} // namespace orvalis
