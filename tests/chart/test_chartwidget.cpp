// The chart component as the main window uses it: tick texts, label callbacks, series, axis
// orientation, plotting rectangle, back image and the after-draw signal, checked on the real widget
// rendered offscreen.
#include "chart/chartwidget.h"

#include "chart/chartgrid.h"
#include "chart/chartseries.h"

#include "core/numberformat.h"

#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using namespace orvalis;
using Axis = ChartWidget::Axis;

Q_DECLARE_METATYPE(ChartWidget::Axis)

namespace {

QImage grabbed(ChartWidget &chart)
{
    return chart.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool containsColor(const QImage &image, const QRect &area, QRgb color)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == color)
                return true;
    return false;
}

// The top and bottom axes of the 1D chart and the defocus map: distances at the top, frequencies at
// the bottom, each axis naming itself at its origin.
void frequencyLabels(Axis axis, QString &text)
{
    if (axis == Axis::Top)
        text = text == QLatin1String("0") ? QStringLiteral("d,(nm)") : formatFixed(1.0 / strToFloat(text), 3);
    else if (axis == Axis::Bottom && text == QLatin1String("0"))
        text = QStringLiteral("k,(nm-1)");
}

// The 1D chart's size and fixed ranges.
void setUpCurveChart(ChartWidget &chart)
{
    chart.resize(560, 300);
    for (Axis side : {Axis::Left, Axis::Right})
        chart.setAxisRange(side, -1.1, 1.1);
    for (Axis side : {Axis::Top, Axis::Bottom})
        chart.setAxisRange(side, 0, 10);
}

// Counts the events of one type that reach the object it filters.
class ChartEventCounter : public QObject {
public:
    ChartEventCounter(QEvent::Type type, int &count) : m_type(type), m_count(count) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == m_type)
            ++m_count;
        return false;
    }

private:
    QEvent::Type m_type;
    int &m_count;
};

// A chart painted as QCustomPlot paints: its own pixmap buffer, cleared whole before every replot,
// and its own paint, the panel colour under the whole buffer blended over it.
class StockPaintChart : public ChartWidget {
public:
    StockPaintChart() { mPaintBuffers.clear(); } // QCustomPlot makes its own at the first replot

protected:
    void paintEvent(QPaintEvent *event) override { QCustomPlot::paintEvent(event); }
};

// QCustomPlot's own thinned points of a series, for comparison.
class SeriesProbe : public ChartSeries {
public:
    using ChartSeries::ChartSeries;
    QVector<QPointF> stockLines() const
    {
        QVector<QPointF> lines;
        getLines(&lines, QCPDataRange(0, dataCount()).adjusted(-1, 1));
        return lines;
    }
};

bool sameDoubles(const QVector<QPointF> &a, const QVector<QPointF> &b)
{
    const auto same = [](double u, double v) { return u == v || (std::isnan(u) && std::isnan(v)); };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](const QPointF &p, const QPointF &q) {
               return same(p.x(), q.x()) && same(p.y(), q.y());
           });
}

} // namespace

class TestChartWidget : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void defaultText_data();
    void defaultText();
    void drawnTicksFitAndUseIncrement_data();
    void drawnTicksFitAndUseIncrement();
    void callbackReplacesDrawnTexts_data();
    void callbackReplacesDrawnTexts();
    void multiLineLabelsTakeTheirHeight();
    void seriesVisibilityAndClearing_data();
    void seriesVisibilityAndClearing();
    void refilledSeriesDrawsAsAppended_data();
    void refilledSeriesDrawsAsAppended();
    void batchedLinesDrawAsQCustomPlot_data();
    void batchedLinesDrawAsQCustomPlot();
    void gridDrawsAsQCustomPlot_data();
    void gridDrawsAsQCustomPlot();
    void invertedAxisOrientation_data();
    void invertedAxisOrientation();
    void plotLeftRightAlignsTwoCharts();
    void backImageFillsPlotRect_data();
    void backImageFillsPlotRect();
    void afterDrawFollowsEveryPaint();
    void queuedReplotsShareOneRepaint();
    void paintedAsQCustomPlotPaints_data();
    void thinnedAsQCustomPlotThins_data();
    void thinnedAsQCustomPlotThins();
    void paintedAsQCustomPlotPaints();
    void keptLinesFollowEveryChange_data();
    void keptLinesFollowEveryChange();

private:
    // Rows run per data-driven test, so that a table that lost its rows fails instead of passing.
    void countRow() { ++m_rowsRun[QString::fromLatin1(QTest::currentTestFunction())]; }
    QHash<QString, int> m_rowsRun;
};

void TestChartWidget::initTestCase()
{
    // Tick texts must keep "." whatever the user's locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestChartWidget::cleanupTestCase()
{
    const QStringList tables = {"defaultText",
                                "drawnTicksFitAndUseIncrement",
                                "callbackReplacesDrawnTexts",
                                "seriesVisibilityAndClearing",
                                "refilledSeriesDrawsAsAppended",
                                "batchedLinesDrawAsQCustomPlot",
                                "invertedAxisOrientation",
                                "backImageFillsPlotRect",
                                "paintedAsQCustomPlotPaints",
                                "thinnedAsQCustomPlotThins",
                                "keptLinesFollowEveryChange"};
    for (const QString &name : tables)
        QVERIFY2(m_rowsRun.value(name) > 0, qPrintable(name + " ran no rows"));
}

void TestChartWidget::defaultText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << 3 << "0";
    QTest::newRow("a needless point goes") << 2.0 << 3 << "2";
    QTest::newRow("trailing zeros go") << 2.5 << 3 << "2.5";
    QTest::newRow("increment") << 0.1 << 3 << "0.1";
    QTest::newRow("negative side-axis value") << -50.0 << 3 << "-50";
    QTest::newRow("tick computed as 25 * 0.1") << 25 * 0.1 << 3 << "2.5";
    QTest::newRow("tick computed as 3 * 0.1") << 3 * 0.1 << 3 << "0.3";
    QTest::newRow("three decimals kept") << 1.0 / 3.0 << 3 << "0.333";
    QTest::newRow("rounded up to a whole") << 1.9996 << 3 << "2";
    QTest::newRow("noise around zero is not -0") << -1e-12 << 3 << "0";
    QTest::newRow("thousands without separator") << 12000.0 << 3 << "12000";
    QTest::newRow("fewer decimals") << 0.125 << 1 << "0.1";
    QTest::newRow("no decimals") << -1.1 << 0 << "-1";
}

void TestChartWidget::defaultText()
{
    countRow();
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(ChartWidget::defaultLabelText(value, decimals), text);
}

void TestChartWidget::drawnTicksFitAndUseIncrement_data()
{
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("increment");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1D bottom, UpTo 10") << Axis::Bottom << 0.0 << 10.0 << 0.1 << QSize(560, 300);
    QTest::newRow("1D bottom, narrow") << Axis::Bottom << 0.0 << 10.0 << 0.1 << QSize(200, 300);
    QTest::newRow("1D bottom, wide") << Axis::Bottom << 0.0 << 10.0 << 0.1 << QSize(1600, 300);
    QTest::newRow("1D bottom, UpTo 12.5") << Axis::Bottom << 0.0 << 12.5 << 0.1 << QSize(560, 300);
    // 0.7 / 0.1 is 6.999999999999999 in doubles: the last tick is easily lost.
    QTest::newRow("1D bottom, UpTo 0.7") << Axis::Bottom << 0.0 << 0.7 << 0.1 << QSize(560, 300);
    QTest::newRow("1D top, UpTo 2") << Axis::Top << 0.0 << 2.0 << 0.1 << QSize(560, 300);
    QTest::newRow("1D left") << Axis::Left << -1.1 << 1.1 << 0.0 << QSize(560, 300);
    QTest::newRow("map left, short") << Axis::Left << -50.0 << 200.0 << 0.0 << QSize(560, 140);
    QTest::newRow("map right, tall") << Axis::Right << -50.0 << 300.0 << 0.0 << QSize(560, 700);
}

// The labels the axis draws stand at multiples of its increment, do not overlap one another, reach
// both ends of the range when those are multiples, and come from the default texts.
void TestChartWidget::drawnTicksFitAndUseIncrement()
{
    countRow();
    QFETCH(Axis, axis);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(double, increment);
    QFETCH(QSize, size);

    ChartWidget chart;
    chart.resize(size);
    chart.setAxisRange(axis, minimum, maximum);
    chart.setAxisIncrement(axis, increment);
    chart.redraw();

    const QVector<double> ticks = chart.tickValues(axis);
    const QVector<QString> labels = chart.tickLabels(axis);
    QCOMPARE(labels.size(), ticks.size());
    QVERIFY2(ticks.size() >= 3, qPrintable(QString("only %1 labels").arg(ticks.size())));

    QCPAxis *a = chart.chartAxis(axis);
    const bool horizontal = a->orientation() == Qt::Horizontal;
    const QFontMetrics metrics(a->tickLabelFont());
    double previousCentre = 0, previousHalf = 0;
    for (int i = 0; i < ticks.size(); ++i) {
        QCOMPARE(labels[i], ChartWidget::defaultLabelText(ticks[i]));
        QVERIFY(ticks[i] >= minimum && ticks[i] <= maximum);
        if (increment > 0) {
            const double multiple = ticks[i] / increment;
            QVERIFY2(std::fabs(multiple - std::round(multiple)) < 1e-6, qPrintable(labels[i]));
        }
        const QRect box = metrics.boundingRect(labels[i]);
        const double half = (horizontal ? box.width() : box.height()) / 2.0;
        const double centre = a->coordToPixel(ticks[i]);
        if (i > 0)
            QVERIFY2(std::fabs(centre - previousCentre) >= previousHalf + half,
                     qPrintable(QString("labels %1 and %2 overlap").arg(labels[i - 1], labels[i])));
        previousCentre = centre;
        previousHalf = half;
    }
    if (increment > 0) {
        QCOMPARE(ticks.first(), minimum);
        const double last = maximum / (ticks[1] - ticks[0]);
        if (std::fabs(last - std::round(last)) < 1e-9) // the maximum is a tick: it must not be lost to rounding
            QCOMPARE(ticks.last(), maximum);
    }
}

void TestChartWidget::callbackReplacesDrawnTexts_data()
{
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<double>("tick");
    QTest::addColumn<QString>("text");
    QTest::newRow("top origin names the axis") << Axis::Top << 0.0 << "d,(nm)";
    QTest::newRow("top k=2.5 reads the distance") << Axis::Top << 2.5 << "0.400";
    QTest::newRow("top k=2") << Axis::Top << 2.0 << "0.500";
    QTest::newRow("top k=5") << Axis::Top << 5.0 << "0.200";
    QTest::newRow("bottom origin names the axis") << Axis::Bottom << 0.0 << "k,(nm-1)";
    QTest::newRow("bottom k=2.5 stays") << Axis::Bottom << 2.5 << "2.5";
    QTest::newRow("left unchanged") << Axis::Left << -1.0 << "-1";
    QTest::newRow("right unchanged") << Axis::Right << 0.4 << "0.4";
}

void TestChartWidget::callbackReplacesDrawnTexts()
{
    countRow();
    QFETCH(Axis, axis);
    QFETCH(double, tick);
    QFETCH(QString, text);

    ChartWidget chart;
    chart.resize(1000, 400); // room for a label at every increment
    for (Axis side : {Axis::Left, Axis::Right})
        chart.setAxisRange(side, -1.1, 1.1);
    for (Axis side : {Axis::Top, Axis::Bottom}) {
        chart.setAxisRange(side, 0, 5);
        chart.setAxisIncrement(side, 0.5);
    }
    chart.setLabelCallback(frequencyLabels);
    chart.redraw();

    const QVector<double> ticks = chart.tickValues(axis);
    const QVector<QString> labels = chart.tickLabels(axis);
    int found = -1;
    for (int i = 0; i < ticks.size(); ++i)
        if (std::fabs(ticks[i] - tick) < 1e-9)
            found = i;
    QVERIFY2(found >= 0, qPrintable(QStringList(labels.begin(), labels.end()).join(" | ")));
    QCOMPARE(labels[found], text);
}

// The defocus map's top axis carries two-line labels; the layout must make room for both lines.
void TestChartWidget::multiLineLabelsTakeTheirHeight()
{
    auto topWith = [](const QString &name) {
        ChartWidget chart;
        chart.resize(560, 200);
        chart.setAxisRange(Axis::Top, 0, 10);
        chart.setAxisIncrement(Axis::Top, 0.1);
        chart.setLabelCallback([name](Axis axis, QString &text) {
            if (axis == Axis::Top && text == QLatin1String("0"))
                text = name;
        });
        chart.redraw();
        return chart.plotRect().top();
    };
    const int oneLine = topWith("d (nm)");
    const int twoLines = topWith("d\n(nm)");
    const int lineHeight = QFontMetrics(ChartWidget().chartAxis(Axis::Top)->tickLabelFont()).lineSpacing();
    QVERIFY2(twoLines - oneLine >= lineHeight - 1, qPrintable(QString("%1 vs %2").arg(oneLine).arg(twoLines)));
}

void TestChartWidget::seriesVisibilityAndClearing_data()
{
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("shown with points") << true << false;
    QTest::newRow("hidden") << false << false;
    QTest::newRow("cleared but shown") << true << true;
}

void TestChartWidget::seriesVisibilityAndClearing()
{
    countRow();
    QFETCH(bool, visible);
    QFETCH(bool, cleared);

    const QColor navy(0x00, 0x00, 0x80), orange(0xFF, 0x80, 0x40);
    ChartWidget chart;
    chart.resize(400, 250);
    for (Axis side : {Axis::Left, Axis::Right})
        chart.setAxisRange(side, -1.1, 1.1);
    for (Axis side : {Axis::Top, Axis::Bottom})
        chart.setAxisRange(side, 0, 10);
    const int ctf = chart.addSeries("Series1", "CTF", navy);
    const int envelope = chart.addSeries("Series4", "Combined Envelope", orange);
    QCOMPARE(chart.findChild<QCPGraph *>("Series4"), chart.series(envelope));
    for (int i = 0; i <= 100; ++i) {
        const double k = i * 0.1;
        chart.appendPoint(ctf, k, std::sin(k));
        chart.appendPoint(envelope, k, std::exp(-0.05 * k * k));
    }
    QCOMPARE(chart.pointCount(envelope), 101);
    QCOMPARE(chart.xValue(envelope, 100), 10.0);
    QCOMPARE(chart.yValue(envelope, 0), 1.0);
    QCOMPARE(chart.seriesTitle(envelope), QString("Combined Envelope"));

    chart.setSeriesVisible(envelope, false);
    chart.setSeriesVisible(envelope, visible);
    if (cleared)
        chart.clearSeries(envelope);
    chart.redraw();

    QCOMPARE(chart.isSeriesVisible(envelope), visible);
    QCOMPARE(chart.pointCount(envelope), cleared ? 0 : 101);
    const QImage image = grabbed(chart);
    QCOMPARE(containsColor(image, chart.plotRect(), orange.rgb()), visible && !cleared);
    QVERIFY2(containsColor(image, chart.plotRect(), navy.rgb()), "the other series must stay drawn");
}

// A series refilled in place (the 1D chart on every slider step) must hold and draw exactly what
// a series cleared and appended to point by point does, whatever it held before.
void TestChartWidget::refilledSeriesDrawsAsAppended_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("values"); // fewer values than frequencies leave the rest out
    QTest::newRow("same length, overwritten") << 4097 << 4097 << 4097;
    QTest::newRow("drag step after full") << 4097 << 257 << 257;
    QTest::newRow("full after drag step") << 257 << 4097 << 4097;
    QTest::newRow("from empty") << 0 << 513 << 513;
    QTest::newRow("emptied") << 4097 << 4097 << 0;
    QTest::newRow("shorter values") << 300 << 300 << 120;
}

void TestChartWidget::refilledSeriesDrawsAsAppended()
{
    countRow();
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, values);
    const auto curve = [](int points, double phase, QVector<double> &k, QVector<double> &y) {
        k.clear();
        y.clear();
        for (int i = 0; i < points; ++i) {
            k << i * 10.0 / std::max(points - 1, 1);
            y << std::sin(0.2 * k.last() * k.last() * k.last() + phase) * std::exp(-0.02 * k.last() * k.last());
        }
    };
    const auto makeChart = [](ChartWidget &chart) {
        setUpCurveChart(chart);
        return chart.addSeries("Series1", "CTF", QColor(0x00, 0x00, 0x80));
    };
    QVector<double> k, y;
    ChartWidget refilled;
    const int series = makeChart(refilled);
    curve(before, 1.0, k, y);
    refilled.setPoints(series, k, y);
    refilled.redraw();
    curve(after, 0.0, k, y);
    y.resize(values);
    refilled.setPoints(series, k, y);
    refilled.redraw();

    ChartWidget appended;
    makeChart(appended);
    for (int i = 0; i < values; ++i)
        appended.appendPoint(series, k[i], y[i]);
    appended.redraw();

    QCOMPARE(refilled.pointCount(series), values);
    for (int i = 0; i < values; i += 37) {
        QCOMPARE(refilled.xValue(series, i), k[i]);
        QCOMPARE(refilled.yValue(series, i), y[i]);
    }
    QVERIFY(grabbed(refilled) == grabbed(appended));
}

// The series draw their segments in one batch; every pixel must be the one QCustomPlot's own graph
// draws, for curves that its adaptive sampling thins, curves it draws point by point, gaps and
// lines running off the plotting area.
void TestChartWidget::batchedLinesDrawAsQCustomPlot_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("speed"); // how fast the curve oscillates
    QTest::addColumn<double>("scale"); // > 1.1 runs off the plotting area
    QTest::addColumn<int>("gapAt");    // a NaN point, -1 for none
    QTest::addColumn<bool>("antialiased");
    for (bool antialiased : {false, true}) {
        const char *mode = antialiased ? ", antialiased" : ", aliased";
        QTest::addRow("full curve, thinned%s", mode) << 4097 << 0.2 << 1.0 << -1 << antialiased;
        QTest::addRow("drag step, every point%s", mode) << 257 << 0.2 << 1.0 << -1 << antialiased;
        QTest::addRow("slow envelope%s", mode) << 4097 << 0.0 << 1.0 << -1 << antialiased;
        QTest::addRow("gap%s", mode) << 600 << 0.05 << 1.0 << 300 << antialiased;
        QTest::addRow("off the area%s", mode) << 1000 << 0.1 << 3.0 << -1 << antialiased;
    }
}

void TestChartWidget::batchedLinesDrawAsQCustomPlot()
{
    countRow();
    QFETCH(int, points);
    QFETCH(double, speed);
    QFETCH(double, scale);
    QFETCH(int, gapAt);
    QFETCH(bool, antialiased);
    const QColor navy(0x00, 0x00, 0x80);
    ChartWidget ours;
    setUpCurveChart(ours);
    const int series = ours.addSeries("Series1", "CTF", navy);
    ours.series(series)->setAntialiased(antialiased);
    ChartWidget stock;
    setUpCurveChart(stock);
    QCPGraph *graph = stock.addGraph(stock.xAxis, stock.yAxis); // QCustomPlot's own graph, set up alike
    graph->setPen(QPen(navy, 1));
    graph->setLineStyle(QCPGraph::lsLine);
    graph->setAntialiased(antialiased);
    graph->setAdaptiveSampling(true);
    QVERIFY(qobject_cast<QCPGraph *>(ours.series(series))->metaObject() != graph->metaObject());
    for (int i = 0; i < points; ++i) {
        const double k = i * 10.0 / (points - 1);
        const double y = i == gapAt ? std::nan("") : scale * std::cos(speed * k * k * k * k) * std::exp(-0.01 * k * k);
        ours.appendPoint(series, k, y);
        graph->addData(k, y);
    }
    ours.redraw();
    stock.redraw();
    const QImage drawn = grabbed(ours);
    if (!antialiased)
        QVERIFY(containsColor(drawn, ours.plotRect(), navy.rgb()));
    QVERIFY(drawn == grabbed(stock));
}

// The grid's kept lines set the pixels QCustomPlot's own grids set, on the first redraw and the next,
// for its dotted default, other pens, a zero line or none, inverted axes and charts of other sizes;
// antialiased grids are left to QCustomPlot.
void TestChartWidget::gridDrawsAsQCustomPlot_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRectF>("ranges"); // x: left .. right, y: top .. bottom
    QTest::addColumn<int>("penStyle");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<bool>("antialiased");
    const QColor grey(200, 200, 200);
    QTest::newRow("curve chart, dotted, zero line")
        << QSize(560, 300) << QRectF(0, -1.1, 10, 2.2) << int(Qt::DotLine) << grey << false << false;
    QTest::newRow("no zero in range") << QSize(560, 300) << QRectF(3, 0.2, 14, 3.5) << int(Qt::DotLine) << grey << false
                                      << false;
    QTest::newRow("dashed, inverted") << QSize(430, 270) << QRectF(-20000, -4, 21000, 6) << int(Qt::DashLine)
                                      << QColor(0, 0, 200) << true << false;
    QTest::newRow("solid, small") << QSize(200, 150) << QRectF(-5, -1, 10, 3) << int(Qt::SolidLine) << QColor(Qt::black)
                                  << false << false;
    QTest::newRow("maximised") << QSize(1900, 640) << QRectF(0, -1.1, 7.3, 2.2) << int(Qt::DotLine) << grey << false
                               << false;
    QTest::newRow("antialiased") << QSize(560, 300) << QRectF(0, -1.1, 10, 2.2) << int(Qt::DotLine) << grey << false
                                 << true;
}

void TestChartWidget::gridDrawsAsQCustomPlot()
{
    countRow();
    QFETCH(QSize, size);
    QFETCH(QRectF, ranges);
    QFETCH(int, penStyle);
    QFETCH(QColor, colour);
    QFETCH(bool, inverted);
    QFETCH(bool, antialiased);
    ChartWidget chart;
    chart.resize(size);
    for (Axis side : {Axis::Left, Axis::Right}) {
        chart.setAxisRange(side, ranges.top(), ranges.bottom());
        chart.setAxisInverted(side, inverted);
    }
    for (Axis side : {Axis::Top, Axis::Bottom})
        chart.setAxisRange(side, ranges.left(), ranges.right());
    for (Axis side : {Axis::Left, Axis::Bottom}) {
        QCPGrid *grid = chart.chartAxis(side)->grid();
        grid->setPen(QPen(colour, 0, Qt::PenStyle(penStyle)));
        grid->setAntialiased(antialiased);
        if (antialiased)
            chart.setNotAntialiasedElements(QCP::AntialiasedElements());
    }
    chart.redraw();
    const QImage first = grabbed(chart);
    if (!antialiased) // (an aliased zero line is kept even then)
        QVERIFY(chart.gridLines().keptLines() > 0);
    chart.redraw();
    const QImage again = grabbed(chart);
    chart.gridLines().setEnabled(false);
    chart.redraw();
    const QImage stock = grabbed(chart);
    QVERIFY(first != QImage() && first.size() == stock.size());
    QVERIFY(first == stock);
    QVERIFY(again == stock);
}

void TestChartWidget::invertedAxisOrientation_data()
{
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<double>("fractionFromStart"); // of the line at value 0, from the top or the left
    // Range -50 ... 200, line at 0: 20 % of the range from the minimum.
    QTest::newRow("left upright: minimum at the bottom") << Axis::Left << false << 0.8;
    QTest::newRow("left inverted: minimum at the top") << Axis::Left << true << 0.2;
    QTest::newRow("bottom upright: minimum at the left") << Axis::Bottom << false << 0.2;
    QTest::newRow("bottom inverted: minimum at the right") << Axis::Bottom << true << 0.8;
}

void TestChartWidget::invertedAxisOrientation()
{
    countRow();
    QFETCH(Axis, axis);
    QFETCH(bool, inverted);
    QFETCH(double, fractionFromStart);

    const QColor red(0xFF, 0x00, 0x00);
    ChartWidget chart;
    chart.resize(500, 400);
    const bool vertical = axis == Axis::Left;
    const Axis other = vertical ? Axis::Bottom : Axis::Left;
    chart.setAxisRange(axis, -50, 200);
    chart.setAxisRange(other, 0, 10);
    chart.setAxisInverted(axis, inverted);
    for (Axis side : {Axis::Left, Axis::Bottom})
        chart.chartAxis(side)->grid()->setVisible(false);
    const int s = chart.addSeries("Series1", "CTF", red);
    // A line at value 0 of the axis under test, across the whole other axis.
    if (vertical) {
        chart.appendPoint(s, 0, 0);
        chart.appendPoint(s, 10, 0);
    } else {
        chart.appendPoint(s, 0, 0);
        chart.appendPoint(s, 0, 10);
    }
    chart.redraw();

    QCOMPARE(chart.isAxisInverted(axis), inverted);
    QCOMPARE(chart.axisMinimum(axis), -50.0);
    QCOMPARE(chart.axisMaximum(axis), 200.0);
    const QRect plot = chart.plotRect();
    const QImage image = grabbed(chart);
    const int length = vertical ? plot.height() : plot.width();
    const int expected = (vertical ? plot.top() : plot.left()) + qRound(fractionFromStart * length);
    // Curves are antialiased: the line is where the probe is reddest.
    int found = -1;
    int reddest = 60;
    for (int p = vertical ? plot.top() : plot.left(); p <= (vertical ? plot.bottom() : plot.right()); ++p) {
        const QPoint probe = vertical ? QPoint(plot.center().x(), p) : QPoint(p, plot.center().y());
        const QColor c = image.pixelColor(probe);
        const int redness = c.red() - (c.green() + c.blue()) / 2;
        if (redness > reddest) {
            reddest = redness;
            found = p;
        }
    }
    QVERIFY2(std::abs(found - expected) <= 1, qPrintable(QString("line at %1, expected %2").arg(found).arg(expected)));
}

// The defocus map is aligned column for column with the 1D chart above it, whose side labels are of
// another width.
void TestChartWidget::plotLeftRightAlignsTwoCharts()
{
    ChartWidget upper, lower;
    for (ChartWidget *chart : {&upper, &lower})
        chart->resize(560, 220);
    upper.setAxisRange(Axis::Left, -1.1, 1.1);
    upper.setAxisRange(Axis::Right, -1.1, 1.1);
    lower.setAxisRange(Axis::Left, -50000, 200000);
    lower.setAxisRange(Axis::Right, -50000, 200000);
    lower.setLabelFontSize(Axis::Left, 14);
    for (ChartWidget *chart : {&upper, &lower})
        chart->redraw();
    const QRect automatic = lower.plotRect();
    QVERIFY2(automatic.left() != upper.plotRect().left(),
             "the labels must differ in width for this test to mean anything");

    lower.setPlotLeftRight(upper.plotRect().left(), upper.plotRect().right());
    QVERIFY(lower.isPlotLeftRightFixed());
    QCOMPARE(lower.plotRect().left(), upper.plotRect().left()); // readable at once, before any paint
    QCOMPARE(lower.plotRect().right(), upper.plotRect().right());
    lower.redraw();
    QCOMPARE(lower.plotRect().left(), upper.plotRect().left());
    QCOMPARE(lower.plotRect().right(), upper.plotRect().right());
    // The data follow the rectangle: the axis minimum at the first column, the maximum just past the last.
    QCOMPARE(qRound(lower.chartAxis(Axis::Bottom)->coordToPixel(lower.axisMinimum(Axis::Bottom))),
             upper.plotRect().left());
    QCOMPARE(qRound(lower.chartAxis(Axis::Bottom)->coordToPixel(lower.axisMaximum(Axis::Bottom))),
             upper.plotRect().right() + 1);

    for (ChartWidget *chart : {&upper, &lower}) {
        chart->resize(700, 260);
        chart->redraw();
    }
    QCOMPARE(lower.plotRect().left(), upper.plotRect().left());
    QCOMPARE(lower.plotRect().right(), upper.plotRect().right());

    lower.releasePlotLeftRight();
    lower.resize(560, 220);
    lower.redraw();
    QCOMPARE(lower.plotRect(), automatic);
}

void TestChartWidget::backImageFillsPlotRect_data()
{
    QTest::addColumn<QSize>("chartSize");
    QTest::addColumn<QSize>("imageSize");
    QTest::newRow("map 416 shrunk into a short pane") << QSize(560, 200) << QSize(416, 416);
    QTest::newRow("map 416 stretched into a tall chart") << QSize(700, 600) << QSize(416, 416);
    QTest::newRow("map 512 on a larger screen") << QSize(900, 300) << QSize(512, 512);
    QTest::newRow("odd sizes") << QSize(437, 171) << QSize(7, 5);
}

// Every pixel inside the plotting rectangle shows the picture pixel the stretch assigns to it, the
// picture's first and last columns and rows touch the rectangle's edges, and nothing spills outside.
void TestChartWidget::backImageFillsPlotRect()
{
    countRow();
    QFETCH(QSize, chartSize);
    QFETCH(QSize, imageSize);

    // Enlarged: the line under the pixel centre; reduced: both end lines kept, rounding in between.
    auto nearestLine = [](int pixel, int pixels, int lines) {
        const double exact = pixels >= lines ? (pixel + 0.5) * lines / pixels - 0.5
                                             : double(pixel) * (lines - 1) / (pixels - 1);
        return int(std::floor(exact + 0.5));
    };
    // Each pixel says where it came from: red/blue the low bits of column/row, green the high bits.
    auto code = [](int c, int y) { return qRgb(c & 255, (c >> 8) * 128 + (y >> 8) * 32, y & 255); };
    auto column = [](QRgb p) { return qRed(p) + (qGreen(p) / 128) * 256; };
    auto row = [](QRgb p) { return qBlue(p) + ((qGreen(p) % 128) / 32) * 256; };
    QImage map(imageSize, QImage::Format_RGB32);
    for (int y = 0; y < map.height(); ++y)
        for (int c = 0; c < map.width(); ++c)
            map.setPixel(c, y, code(c, y));

    const QColor panel(10, 1, 10); // green 1 is no code
    ChartWidget chart;
    chart.resize(chartSize);
    chart.setPanelColor(panel);
    chart.setBackColor(QColor(0xC0, 0xDC, 0xC0));
    for (Axis side : {Axis::Left, Axis::Right, Axis::Top, Axis::Bottom}) {
        QCPAxis *a = chart.chartAxis(side);
        a->setBasePen(Qt::NoPen);
        a->setTickPen(Qt::NoPen);
        a->grid()->setVisible(false);
    }
    chart.setAxisRange(Axis::Left, -50, 200);
    chart.setAxisInverted(Axis::Left, true);
    chart.setBackImage(map);
    chart.redraw();

    const QRect plot = chart.plotRect();
    const QImage image = grabbed(chart);
    QVERIFY(image.rect().contains(plot.adjusted(-1, -1, 1, 1)));
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
        for (int x = plot.left(); x <= plot.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int wantColumn = nearestLine(x - plot.left(), plot.width(), map.width());
            const int wantRow = nearestLine(y - plot.top(), plot.height(), map.height());
            if (column(p) != wantColumn || row(p) != wantRow)
                QFAIL(qPrintable(QString("pixel (%1,%2) shows picture (%3,%4), expected (%5,%6)")
                                     .arg(x)
                                     .arg(y)
                                     .arg(column(p))
                                     .arg(row(p))
                                     .arg(wantColumn)
                                     .arg(wantRow)));
        }
    }
    QCOMPARE(column(image.pixel(plot.left(), plot.center().y())), 0);
    QCOMPARE(column(image.pixel(plot.right(), plot.center().y())), map.width() - 1);
    QCOMPARE(row(image.pixel(plot.center().x(), plot.top())), 0);
    QCOMPARE(row(image.pixel(plot.center().x(), plot.bottom())), map.height() - 1);
    for (const QPoint outside :
         {QPoint(plot.left() - 1, plot.center().y()), QPoint(plot.right() + 1, plot.center().y()),
          QPoint(plot.center().x(), plot.top() - 1), QPoint(plot.center().x(), plot.bottom() + 1)})
        QCOMPARE(image.pixel(outside), panel.rgb());
}

// Callers move child widgets (the defocus marker) in the after-draw signal: it must come after every
// paint, with the layout of that paint already in plotRect(), and the child must then show at the
// chart coordinates it was given.
void TestChartWidget::afterDrawFollowsEveryPaint()
{
    ChartWidget chart;
    chart.resize(560, 200);
    chart.setAxisRange(Axis::Left, -50, 200);
    auto *marker = new QWidget(&chart);
    marker->setAutoFillBackground(true);
    QPalette palette = marker->palette();
    palette.setColor(QPalette::Window, Qt::red);
    marker->setPalette(palette);
    QRect seen;
    connect(&chart, &ChartWidget::afterDraw, &chart, [&] {
        seen = chart.plotRect();
        marker->setGeometry(seen.left(), seen.top() + seen.height() / 2, seen.width() + 1, 2);
    });
    QSignalSpy spy(&chart, &ChartWidget::afterDraw);

    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QTRY_VERIFY(spy.count() >= 1);

    int before = spy.count();
    chart.repaint();
    QCOMPARE(spy.count(), before + 1);
    before = spy.count();
    chart.redraw();
    QCOMPARE(spy.count(), before + 1);

    before = spy.count();
    chart.resize(700, 300);
    QTRY_VERIFY(spy.count() > before);
    QCOMPARE(seen, chart.plotRect());
    QVERIFY(seen.width() > 560 - 100);

    const QImage image = grabbed(chart);
    const QRgb red = QColor(Qt::red).rgb();
    const int row = seen.top() + seen.height() / 2;
    QCOMPARE(image.pixel(seen.left(), row), red);
    QCOMPARE(image.pixel(seen.right(), row + 1), red);
    QVERIFY(image.pixel(seen.left(), row - 1) != red);
    QVERIFY(image.pixel(seen.left() - 1, row) != red);
}

// Two charts of one window replotted on the same step (the curves and the map): each is drawn and
// painted once, by the time the queued replots have run, in one pass over the window; a chart
// replotted alone still paints at once.
void TestChartWidget::queuedReplotsShareOneRepaint()
{
    QWidget window;
    window.resize(600, 420);
    auto *first = new ChartWidget(&window);
    auto *second = new ChartWidget(&window);
    first->setGeometry(0, 0, 600, 200);
    second->setGeometry(0, 210, 600, 200);
    QSignalSpy firstDrawn(first, &ChartWidget::afterDraw);
    QSignalSpy secondDrawn(second, &ChartWidget::afterDraw);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(firstDrawn.count() >= 1 && secondDrawn.count() >= 1);
    QTest::qWait(50); // the first show's queued work is done

    firstDrawn.clear();
    secondDrawn.clear();
    first->setAxisRange(Axis::Left, -1, 1);
    second->setAxisRange(Axis::Left, -2, 2);
    first->replot(QCustomPlot::rpQueuedReplot);
    second->replot(QCustomPlot::rpQueuedReplot);
    QCOMPARE(firstDrawn.count() + secondDrawn.count(), 0);
    int passes = 0; // the window's repaints: each paints what waits and flushes it to the screen
    ChartEventCounter counter(QEvent::UpdateRequest, passes);
    window.installEventFilter(&counter);
    QCoreApplication::sendPostedEvents(); // the queued replots, not yet the window's own update
    window.removeEventFilter(&counter);
    QCOMPARE(passes, 1);
    QCOMPARE(firstDrawn.count(), 1);
    QCOMPARE(secondDrawn.count(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(firstDrawn.count(), 1);
    QCOMPARE(secondDrawn.count(), 1);

    first->setAxisRange(Axis::Left, -3, 3);
    first->replot(QCustomPlot::rpQueuedReplot);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(firstDrawn.count(), 2);
    QCOMPARE(secondDrawn.count(), 1);
}

QTEST_MAIN(TestChartWidget)
#include "test_chartwidget.moc"

void TestChartWidget::paintedAsQCustomPlotPaints_data()
{
    QTest::addColumn<QColor>("back");
    QTest::addColumn<bool>("backImage");
    QTest::addColumn<QSize>("resizedTo"); // before the second replot; the same size keeps it
    const QColor green(0xC0, 0xDC, 0xC0);
    QTest::newRow("opaque back colour") << green << false << QSize(560, 300);
    QTest::newRow("opaque back colour, grown") << green << false << QSize(900, 420);
    QTest::newRow("opaque back colour, shrunk") << green << false << QSize(300, 200);
    QTest::newRow("back image over it") << green << true << QSize(560, 300);
    QTest::newRow("translucent back colour") << QColor(0, 128, 0, 100) << false << QSize(560, 300);
    QTest::newRow("no back colour") << QColor() << false << QSize(560, 300);
}

// Every replot draws other curves over what the one before left: no pixel of the last one may show
// through, and the picture is QCustomPlot's own, however the chart's buffer was cleared and painted.
void TestChartWidget::paintedAsQCustomPlotPaints()
{
    countRow();
    QFETCH(QColor, back);
    QFETCH(bool, backImage);
    QFETCH(QSize, resizedTo);
    QImage picture(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 32, y * 32, 128));
    ChartWidget ours;
    StockPaintChart stock;
    for (ChartWidget *chart : {&ours, static_cast<ChartWidget *>(&stock)}) {
        setUpCurveChart(*chart);
        chart->setPanelColor(QColor(0xF0, 0xF0, 0xF0));
        if (back.isValid())
            chart->setBackColor(back);
        if (backImage)
            chart->setBackImage(picture);
        chart->addSeries("Series1", "CTF", Qt::darkBlue);
        chart->addSeries("Series2", "Envelope", QColor(0xFF, 0x80, 0x00));
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (ChartWidget *chart : {&ours, static_cast<ChartWidget *>(&stock)}) {
            if (pass == 1)
                chart->resize(resizedTo);
            for (int s = 0; s < 2; ++s) {
                chart->clearSeries(s);
                for (int i = 0; i < 2000; ++i) {
                    const double k = i * 10.0 / 1999;
                    chart->appendPoint(s, k, std::cos((0.1 + pass) * k * k + s) * std::exp(-0.02 * k * k));
                }
            }
            chart->redraw();
        }
        QVERIFY2(grabbed(ours) == grabbed(stock), qPrintable(QStringLiteral("replot %1").arg(pass + 1)));
    }
}

void TestChartWidget::thinnedAsQCustomPlotThins_data()
{
    QTest::addColumn<int>("points");
    QTest::addColumn<double>("speed");
    QTest::addColumn<double>("from"); // the bottom axis range; the curve runs over 0 ... 10
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<int>("gapAt");
    QTest::addColumn<bool>("uneven"); // ever sparser towards high frequencies, and no points for a while
    QTest::newRow("full curve, normal window") << 4097 << 0.2 << 0.0 << 10.0 << 560 << false << -1 << false;
    QTest::newRow("full curve, maximised") << 4097 << 0.2 << 0.0 << 10.0 << 1300 << false << -1 << false;
    QTest::newRow("flat envelope") << 4097 << 0.0 << 0.0 << 10.0 << 700 << false << -1 << false;
    QTest::newRow("fewer points than pixels") << 257 << 0.2 << 0.0 << 10.0 << 560 << false << -1 << false;
    QTest::newRow("range inside the data") << 4097 << 0.2 << 2.5 << 7.25 << 560 << false << -1 << false;
    QTest::newRow("range beyond the data") << 4097 << 0.2 << -3.0 << 14.0 << 560 << false << -1 << false;
    QTest::newRow("inverted axes") << 4097 << 0.2 << 0.0 << 10.0 << 560 << true << -1 << false;
    QTest::newRow("gap") << 4097 << 0.05 << 0.0 << 10.0 << 560 << false << 2000 << false;
    QTest::newRow("one point") << 1 << 0.0 << 0.0 << 10.0 << 560 << false << -1 << false;
    QTest::newRow("range beside the data") << 4097 << 0.2 << 11.0 << 12.0 << 560 << false << -1 << false;
    QTest::newRow("uneven spacing, hole") << 4097 << 0.2 << 0.0 << 10.0 << 560 << false << -1 << true;
    QTest::newRow("uneven spacing, hole, inverted") << 4097 << 0.2 << 0.0 << 10.0 << 560 << true << -1 << true;
}

// The points a series draws are QCustomPlot's adaptive sampling's, to the last bit.
void TestChartWidget::thinnedAsQCustomPlotThins()
{
    countRow();
    QFETCH(int, points);
    QFETCH(double, speed);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, width);
    QFETCH(bool, inverted);
    QFETCH(int, gapAt);
    QFETCH(bool, uneven);
    ChartWidget chart;
    chart.resize(width, 300);
    chart.setAxisRange(Axis::Left, -1.1, 1.1);
    chart.setAxisRange(Axis::Bottom, from, to);
    chart.setAxisInverted(Axis::Bottom, inverted);
    chart.setAxisInverted(Axis::Left, inverted);
    auto *probe = new SeriesProbe(chart.xAxis, chart.yAxis);
    probe->setAdaptiveSampling(true);
    for (int i = 0; i < points; ++i) {
        const double t = points > 1 ? double(i) / (points - 1) : 0.5;
        const double k = 10.0 * (uneven ? t * t : t);
        if (uneven && k > 4.5 && k < 6.0)
            continue;
        probe->addData(k, i == gapAt ? std::nan("") : std::cos(speed * k * k * k * k) * std::exp(-0.01 * k * k));
    }
    chart.layOut();
    QVector<QPointF> ours;
    probe->thinnedLines(ours);
    const QVector<QPointF> stock = probe->stockLines();
    QVERIFY(!stock.isEmpty() || from > 10);
    QVERIFY2(sameDoubles(ours, stock),
             qPrintable(QStringLiteral("%1 points, QCustomPlot's %2").arg(ours.size()).arg(stock.size())));
}

// A series keeps its thinned lines and segments between redraws while its points and axes stay: a
// chart changed after a redraw must show exactly what a chart drawn once in the new state shows.
void TestChartWidget::keptLinesFollowEveryChange_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("antialiased");
    for (const bool aa : {true, false}) {
        const char *look = aa ? "antialiased" : "aliased";
        for (const char *change :
             {"nothing", "same points", "last point moved", "first point moved", "one value in the middle",
              "frequency axis", "value axis", "size", "cleared", "appended"})
            QTest::addRow("%s, %s", change, look) << QString::fromLatin1(change) << aa;
    }
}

void TestChartWidget::keptLinesFollowEveryChange()
{
    countRow();
    QFETCH(QString, change);
    QFETCH(bool, antialiased);
    // Dense enough to be thinned into pixel columns, as the window's curves are.
    QVector<double> k, y, y2;
    for (int i = 0; i < 4097; ++i) {
        k << i * 10.0 / 4096;
        y << std::sin(0.2 * k.last() * k.last() * k.last()) * std::exp(-0.02 * k.last() * k.last());
        y2 << std::exp(-0.01 * k.last() * k.last());
    }
    const auto makeChart = [antialiased](ChartWidget &chart) {
        setUpCurveChart(chart);
        const int first = chart.addSeries("Series1", "CTF", QColor(0x00, 0x00, 0x80));
        chart.addSeries("Series2", "Envelope", QColor(0x80, 0x00, 0x00));
        for (int s : {first, first + 1})
            chart.series(s)->setAntialiased(antialiased);
        return first;
    };
    ChartWidget kept;
    const int series = makeChart(kept);
    kept.setPoints(series, k, y);
    kept.setPoints(series + 1, k, y2);
    kept.redraw();
    kept.redraw(); // the lines kept once

    QVector<double> k2 = k, y3 = y;
    QSize size(560, 300);
    double kEnd = 10, valueEnd = 1.1;
    if (change == QLatin1String("last point moved"))
        y3.last() += 0.5;
    else if (change == QLatin1String("first point moved"))
        y3.first() -= 0.5;
    else if (change == QLatin1String("one value in the middle"))
        y3[2048] = 0.9;
    else if (change == QLatin1String("frequency axis"))
        kEnd = 7;
    else if (change == QLatin1String("value axis"))
        valueEnd = 0.8;
    else if (change == QLatin1String("size"))
        size = QSize(500, 320);
    const auto apply = [&](ChartWidget &chart) {
        chart.resize(size);
        for (Axis side : {Axis::Top, Axis::Bottom})
            chart.setAxisRange(side, 0, kEnd);
        for (Axis side : {Axis::Left, Axis::Right})
            chart.setAxisRange(side, -valueEnd, valueEnd);
        if (change == QLatin1String("cleared")) {
            chart.clearSeries(series);
            for (int i = 0; i < k2.size(); i += 2)
                chart.appendPoint(series, k2[i], y3[i]);
        } else if (change == QLatin1String("appended")) {
            chart.appendPoints(series + 1, {10.5}, {0.5});
        } else if (change != QLatin1String("nothing")) {
            chart.setPoints(series, k2, y3);
        }
    };
    apply(kept);
    kept.redraw();

    ChartWidget fresh;
    makeChart(fresh);
    if (change != QLatin1String("cleared"))
        fresh.setPoints(series, k2, y3);
    fresh.setPoints(series + 1, k, y2);
    apply(fresh);
    fresh.redraw();
    QCOMPARE(kept.pointCount(series), fresh.pointCount(series));
    QVERIFY(grabbed(kept) == grabbed(fresh));
}
