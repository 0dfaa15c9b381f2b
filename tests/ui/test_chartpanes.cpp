// The 1D chart's pane and the defocus map's pane on their own: the eight series as the user knows
// them (order, names, titles, colours), a series refilled without touching the others, the frequency
// under the pointer, and the map's picture and marker line.
#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "core/ctfcurves.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/scopedata.h"
#include "session/ctfsession.h"
#include "ui/main/curvepane.h"
#include "ui/main/mappane.h"
#include "ui/widgets/shape.h"

#include <QLabel>
#include <QSet>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

using namespace orvalis;

namespace {

CtfCurves someCurves(int n)
{
    CtfCurves c;
    for (int i = 0; i < n; ++i) {
        const double k = i * 0.1;
        c.k << k;
        c.ctf << std::sin(k);
        c.temporal << 1 - k / 100;
        c.spatial << 1 - k / 50;
        c.combined << 1 - k / 30;
        c.temporalNeg << k / 100 - 1;
        c.spatialNeg << k / 50 - 1;
        c.combinedNeg << k / 30 - 1;
    }
    return c;
}

} // namespace

class TestChartPanes : public QObject {
    Q_OBJECT
private slots:
    void seriesAsTheUserKnowsThem_data();
    void seriesAsTheUserKnowsThem();
    void seriesTakesItsPointsAlone_data();
    void seriesTakesItsPointsAlone();
    void visibilityKeepsThePoints();
    void frequencyUnderThePointer_data();
    void frequencyUnderThePointer();
    void mapPictureIsTheGrid();
    void markerAtTheDefocusRow_data();
    void markerAtTheDefocusRow();
    void plotterTellsTheInstrumentsApart_data();
    void plotterTellsTheInstrumentsApart();
    void mapReadoutIsTheCoreCtf_data();
    void mapReadoutIsTheCoreCtf();
    void mapLabelsBesideThePlot_data();
    void mapLabelsBesideThePlot();
    void intensityShowsZeroToOne();
    void titleNamesTheDirection_data();
    void titleNamesTheDirection();
};

void TestChartPanes::seriesAsTheUserKnowsThem_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("1") << 0 << "Series1"
                       << "CTF" << QColor(0x00, 0x00, 0x80);
    QTest::newRow("2") << 1 << "Series2"
                       << "Temporal Envelope" << QColor(0x40, 0x80, 0x80);
    QTest::newRow("3") << 2 << "Series3"
                       << "Spatial Envelope" << QColor(0x00, 0x80, 0x00);
    QTest::newRow("4") << 3 << "Series4"
                       << "Combined Envelope" << QColor(0xFF, 0x80, 0x40);
    QTest::newRow("5") << 4 << "Series5"
                       << "Temporal Envelope 2" << QColor(0x40, 0x80, 0x80);
    QTest::newRow("6") << 5 << "Series6"
                       << "Spatial Envelope 2" << QColor(0x00, 0x80, 0x00);
    QTest::newRow("7") << 6 << "Series7"
                       << "Combined Envelope 2" << QColor(0xFF, 0x80, 0x00);
    QTest::newRow("8") << 7 << "Series8"
                       << "CTF 2" << QColor(0x00, 0x00, 0xFF);
}

void TestChartPanes::seriesAsTheUserKnowsThem()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QColor, colour);
    CurvePane pane;
    ChartWidget *chart = pane.chart();
    QCOMPARE(chart->objectName(), QStringLiteral("Chart1"));
    QCOMPARE(chart->seriesCount(), 8);
    QCOMPARE(chart->seriesIndex(name), index);
    QCOMPARE(chart->seriesTitle(index), title);
    QCOMPARE(chart->seriesColor(index), colour);
    QCOMPARE(pane.title()->objectName(), QStringLiteral("pa1dCTFHeader"));
}

void TestChartPanes::seriesTakesItsPointsAlone_data()
{
    QTest::addColumn<int>("series");
    QTest::newRow("Series1") << int(S1Ctf);
    QTest::newRow("Series4") << int(S4Combined);
    QTest::newRow("Series7") << int(S7CombinedNeg);
    QTest::newRow("Series8") << int(S8Ctf2);
}

void TestChartPanes::seriesTakesItsPointsAlone()
{
    QFETCH(int, series);
    const auto s = static_cast<Chart1Series>(series);
    CurvePane pane;
    ChartWidget *chart = pane.chart();
    const CtfCurves c = someCurves(20);
    pane.showSeries(S2Temporal, c.k, c.temporal); // a neighbour that must stay as it is
    pane.showSeries(s, c.k, c.ctf);
    QCOMPARE(chart->pointCount(s), 20);
    QCOMPARE(chart->yValue(s, 7), c.ctf[7]);
    QVERIFY(pane.hasPoints(s));
    // Fewer points replace more: nothing of the longer curve is left at its end.
    const CtfCurves shorter = someCurves(5);
    pane.showSeries(s, shorter.k, shorter.combined);
    QCOMPARE(chart->pointCount(s), 5);
    QCOMPARE(chart->yValue(s, 4), shorter.combined[4]);
    for (int other = 0; other < chart->seriesCount(); ++other)
        if (other != series && other != S2Temporal)
            QCOMPARE(chart->pointCount(other), 0);
    QCOMPARE(chart->pointCount(S2Temporal), 20);
    pane.clearSeries(s);
    QVERIFY(!pane.hasPoints(s));
    QCOMPARE(chart->pointCount(S2Temporal), 20);
    pane.clearAll();
    QVERIFY(!pane.hasPoints(S2Temporal));
}

void TestChartPanes::visibilityKeepsThePoints()
{
    CurvePane pane;
    const CtfCurves c = someCurves(10);
    pane.showSeries(S3Spatial, c.k, c.spatial);
    pane.setSeriesVisible(S3Spatial, false);
    QVERIFY(!pane.chart()->isSeriesVisible(S3Spatial));
    QCOMPARE(pane.chart()->pointCount(S3Spatial), 10); // emptying is the caller's choice
    pane.setSeriesVisible(S3Spatial, true);
    QVERIFY(pane.chart()->isSeriesVisible(S3Spatial));
}

void TestChartPanes::frequencyUnderThePointer_data()
{
    QTest::addColumn<double>("upTo");
    QTest::newRow("10") << 10.0;
    QTest::newRow("3.5") << 3.5;
}

void TestChartPanes::frequencyUnderThePointer()
{
    QFETCH(double, upTo);
    CurvePane pane;
    pane.resize(500, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.setFrequencyEnd(upTo, true);
    pane.chart()->replot();
    const QRect plot = pane.chart()->plotRect();
    QVERIFY(plot.width() > 100);
    QVERIFY(!pane.frequencyAt(plot.left() - 1));
    QVERIFY(!pane.frequencyAt(plot.right() + 2));
    QCOMPARE(pane.frequencyAt(plot.left()).value_or(-1), 0.0);
    const double middle = pane.frequencyAt(plot.left() + plot.width() / 2).value_or(-1);
    QVERIFY2(std::abs(middle - upTo / 2) < upTo / plot.width() * 2, qPrintable(QString::number(middle)));
    QCOMPARE(pane.frequencyAt(plot.right() + 1).value_or(-1), upTo); // within the axis, at its end
    QCOMPARE(pane.chart()->axisMaximum(ChartWidget::Axis::Top), upTo);

    QSignalSpy left(&pane, &CurvePane::pointerLeft);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(pane.chart(), &leave);
    QCOMPARE(left.count(), 1);
}

void TestChartPanes::mapPictureIsTheGrid()
{
    CurvePane curves;
    MapPane map(curves.chart());
    QCOMPARE(map.objectName(), QStringLiteral("pa3dCTF"));
    map.setImageSide(8);
    QCOMPARE(map.image().size(), QSize(8, 8));
    QCOMPARE(map.image().pixel(3, 3), qRgb(0, 0, 0));
    DefocusMapGrid grid;
    grid.width = 8;
    grid.minimum = -40;
    grid.maximum = 160;
    for (int i = 0; i < 64; ++i)
        grid.grey.push_back(static_cast<std::uint8_t>(i * 4));
    map.showMap(grid, 0, 7.5);
    for (const QPoint at : {QPoint(0, 0), QPoint(5, 2), QPoint(7, 7)}) {
        const int grey = grid.at(at.x(), at.y());
        QCOMPARE(map.image().pixel(at), qRgb(grey, grey, grey));
    }
    QCOMPARE(map.chart()->backImage(), map.image());
    QCOMPARE(map.chart()->axisMinimum(ChartWidget::Axis::Left), -40.0);
    QCOMPARE(map.chart()->axisMaximum(ChartWidget::Axis::Right), 160.0);
    QCOMPARE(map.chart()->axisMaximum(ChartWidget::Axis::Top), 7.5);
}

void TestChartPanes::markerAtTheDefocusRow_data()
{
    QTest::addColumn<double>("defocus"); // nm
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<double>("fraction"); // of the plot's height minus one, from its top
    QTest::newRow("overfocus end") << 50.0 << -50 << 200 << 0.0;
    QTest::newRow("underfocus end") << -200.0 << -50 << 200 << 1.0;
    QTest::newRow("middle") << -75.0 << -50 << 200 << 0.5;
    QTest::newRow("empty range") << 0.0 << 10 << 10 << -10.0; // divides by 1, not by 0
}

void TestChartPanes::markerAtTheDefocusRow()
{
    QFETCH(double, defocus);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(double, fraction);
    CurvePane curves;
    MapPane map(curves.chart());
    map.resize(400, 250);
    map.show();
    QVERIFY(QTest::qWaitForWindowExposed(&map));
    map.chart()->replot();
    const QRect plot = map.chart()->plotRect();
    QVERIFY(plot.height() > 50);
    auto *marker = map.findChild<Shape *>(QStringLiteral("Shape2"));
    QVERIFY(marker);
    map.spanMarker();
    QCOMPARE(marker->x(), plot.left());
    QCOMPARE(marker->width(), plot.width() + 1);
    map.placeMarker(defocus, minimum, maximum);
    QCOMPARE(marker->y(), plot.top() + qRound(fraction * (plot.bottom() - plot.top() - 1)));
}

namespace {

TScopeData instrument(const char *company, const char *model)
{
    TScopeData scope = defaultScope();
    scope.Company = QString::fromLatin1(company);
    scope.Model = QString::fromLatin1(model);
    return scope;
}

} // namespace

// Both instruments have their own colour (the envelope dashed in it) and the legend names them; in
// monochrome the curves are black and differ in their dash pattern, the legend buttons with them.
void TestChartPanes::plotterTellsTheInstrumentsApart_data()
{
    QTest::addColumn<bool>("monochrome");
    QTest::newRow("colour") << false;
    QTest::newRow("monochrome") << true;
}

void TestChartPanes::plotterTellsTheInstrumentsApart()
{
    QFETCH(bool, monochrome);
    CtfSession session;
    session.ScopeRecord1 = instrument("Akiro", "AK-200");
    session.ScopeRecord2 = instrument("Velmont", "V-300 FEG");
    CurvePane pane;
    pane.resize(600, 400);
    pane.followSession(&session);
    pane.setMonochrome(monochrome);
    ChartWidget *chart = pane.chart();
    QVERIFY(!chart->legend->visible()); // analysis mode names no instruments
    pane.setPlotterMode(true);
    QVERIFY(chart->legend->visible());
    chart->replot();
    QCOMPARE(chart->legend->itemCount(), 2);
    const QPen first = chart->series(S1Ctf)->pen(), second = chart->series(S8Ctf2)->pen();
    const QPen firstEnvelope = chart->series(S4Combined)->pen(), secondEnvelope = chart->series(S7CombinedNeg)->pen();
    if (monochrome) {
        for (const QPen &pen : {first, second, firstEnvelope, secondEnvelope})
            QCOMPARE(pen.color(), QColor(Qt::black));
        const QSet<int> styles = {first.style(), second.style(), firstEnvelope.style(), secondEnvelope.style()};
        QCOMPARE(styles.size(), 4);
    } else {
        QVERIFY(first.color() != second.color());
        // Told apart by lightness too, for eyes that do not tell the hues apart.
        QVERIFY(std::abs(first.color().lightness() - second.color().lightness()) > 20
                || std::abs(first.color().hue() - second.color().hue()) > 90);
        QCOMPARE(firstEnvelope.color(), first.color());
        QCOMPARE(secondEnvelope.color(), second.color());
        QCOMPARE(firstEnvelope.style(), Qt::DashLine);
        QCOMPARE(first.style(), Qt::SolidLine);
    }
    // The legend's texts name each instrument as a whole: manufacturer and model.
    const QFontMetrics metrics(chart->legend->font());
    for (int i = 0; i < 2; ++i) {
        const TScopeData &scope = i == 0 ? session.ScopeRecord1 : session.ScopeRecord2;
        const QString text = QStringLiteral("CTF %1: %2 %3").arg(i + 1).arg(scope.Company, scope.Model);
        QVERIFY(chart->legend->item(i)->minimumOuterSizeHint().width() >= metrics.horizontalAdvance(text));
    }
    QVERIFY(chart->legend->outerRect().width() < chart->width());
    // Above the plot, never over the curves.
    QVERIFY(chart->legend->outerRect().bottom() < chart->axisRect()->top());
    QCOMPARE(chart->legend->outerRect().right(), chart->axisRect()->right());
    // Too narrow for one line, the entries stand one under the other.
    pane.resize(260, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    chart->replot();
    chart->replot();
    QCOMPARE(chart->legend->wrap(), 1);
    QVERIFY(chart->legend->outerRect().width() <= chart->width());
    pane.setPlotterMode(false);
    QVERIFY(!chart->legend->visible());
}

void TestChartPanes::mapReadoutIsTheCoreCtf_data()
{
    QTest::addColumn<double>("xFraction"); // of the plot's width
    QTest::addColumn<double>("yFraction"); // of its height, from the top
    QTest::newRow("corner") << 0.0 << 0.0;
    QTest::newRow("middle") << 0.5 << 0.5;
    QTest::newRow("low right") << 0.9 << 0.8;
}

void TestChartPanes::mapReadoutIsTheCoreCtf()
{
    QFETCH(double, xFraction);
    QFETCH(double, yFraction);
    CtfSession session;
    CurvePane curves;
    MapPane map(curves.chart());
    map.resize(600, 200);
    map.setImageSide(16);
    const int minimum = -50, maximum = 200;
    const double upTo = 8;
    map.showMap(computeDefocusMap(session.state(), 16, minimum, maximum, upTo), 0, upTo);
    map.chart()->layOut();
    map.readOutTo(&session, nullptr);
    const QRect plot = map.chart()->plotRect();
    const QPoint at(plot.left() + qRound(xFraction * plot.width()), plot.top() + qRound(yFraction * plot.height()));
    const QStringList texts = map.readoutAt(at);
    QCOMPARE(texts.size(), 2);
    const double k = map.chart()->chartAxis(ChartWidget::Axis::Bottom)->pixelToCoord(at.x());
    const double defocus = -map.chart()->chartAxis(ChartWidget::Axis::Left)->pixelToCoord(at.y());
    QCOMPARE(texts[0], pointerFrequencyText(k));
    QCOMPARE(texts[1], pointerMapText(defocus, referenceMapCtf(session.state(), k, defocus)));
    QVERIFY(defocus <= -minimum && defocus >= -maximum);
    QVERIFY(map.readoutAt(QPoint(plot.left() - 5, at.y())).isEmpty());
}

// The map's side labels and title lie whole between the chart's edges and its plot, which the 1D
// chart above shares.
void TestChartPanes::mapLabelsBesideThePlot_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("start") << -50 << 200;
    QTest::newRow("deep underfocus") << -100 << 20000;
    QTest::newRow("both signs, wide") << -20000 << 20000;
    QTest::newRow("very far") << 0 << 1000000;
}

void TestChartPanes::mapLabelsBesideThePlot()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    CtfSession session;
    QWidget host;
    auto *column = new QVBoxLayout(&host);
    auto *curves = new CurvePane;
    auto *map = new MapPane(curves->chart());
    column->addWidget(curves);
    column->addWidget(map);
    host.resize(700, 500);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    map->setImageSide(16);
    map->showMap(computeDefocusMap(session.state(), 16, minimum, maximum, 10), 0, 10);
    curves->chart()->layOut();
    map->setPlotEdges(curves->chart()->plotRect().left(), curves->chart()->plotRect().right());
    map->chart()->layOut();
    const QRect plot = map->chart()->plotRect();
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        const QCPAxis *axis = map->chart()->chartAxis(side);
        const QFontMetrics metrics(axis->tickLabelFont());
        const int room = side == ChartWidget::Axis::Left ? plot.left() : map->chart()->width() - plot.right() - 1;
        int title = 0;
        if (!axis->label().isEmpty())
            title = QFontMetrics(axis->labelFont()).height() + axis->labelPadding();
        const QVector<QString> labels = map->chart()->tickLabels(side);
        QVERIFY(!labels.isEmpty());
        for (const QString &label : labels)
            QVERIFY2(metrics.horizontalAdvance(label) + axis->tickLabelPadding() + title <= room, qPrintable(label));
    }
    QCOMPARE(map->chart()->chartAxis(ChartWidget::Axis::Left)->label(), QStringLiteral("Defocus, (nm)"));
}

void TestChartPanes::intensityShowsZeroToOne()
{
    CtfSession session;
    CurvePane pane;
    pane.followSession(&session);
    const ChartWidget::Axis left = ChartWidget::Axis::Left;
    QCOMPARE(pane.chart()->axisMinimum(left), -1.1);
    session.setIntensity(true);
    QCOMPARE(pane.chart()->axisMinimum(left), 0.0);
    QCOMPARE(pane.chart()->axisMaximum(ChartWidget::Axis::Right), 1.1);
    pane.setPlotterMode(true); // plotter mode draws no squared curves
    QCOMPARE(pane.chart()->axisMinimum(left), -1.1);
    pane.setPlotterMode(false);
    session.setIntensity(false);
    QCOMPARE(pane.chart()->axisMinimum(ChartWidget::Axis::Right), -1.1);
}

void TestChartPanes::titleNamesTheDirection_data()
{
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("a3");
    QTest::addColumn<double>("direction"); // rad, positive below the pattern's centre
    QTest::addColumn<QString>("title");
    QTest::newRow("no astigmatism") << 0.0 << 0.0 << 0.7 << "1D CTF";
    QTest::newRow("three-fold at the start") << 0.0 << 500.0 << 0.0 << "1D CTF along 0\u00B0";
    QTest::newRow("two-fold, up right") << 20.0 << 0.0 << -M_PI / 4 << "1D CTF along 45\u00B0";
    QTest::newRow("below") << 20.0 << 5000.0 << M_PI / 2 << "1D CTF along -90\u00B0";
    QTest::newRow("left") << 0.0 << 5000.0 << M_PI << "1D CTF along 180\u00B0";
}

void TestChartPanes::titleNamesTheDirection()
{
    QFETCH(double, a2);
    QFETCH(double, a3);
    QFETCH(double, direction);
    QFETCH(QString, title);
    CtfSession session;
    CurvePane pane;
    session.beginRun(); // aberrations are taken once a run is under way
    pane.followSession(&session);
    session.setDirection(direction);
    session.setA2(a2, false);
    session.setA3(a3, false);
    QCOMPARE(pane.title()->text(), title);
    // The chart names it as well, for the pane's title is hidden unless the user shows titles.
    const auto shownNote = [&pane]() -> QString {
        for (int i = 0; i < pane.chart()->itemCount(); ++i)
            if (auto *note = qobject_cast<QCPItemText *>(pane.chart()->item(i)); note && note->visible())
                return note->text();
        return QString();
    };
    QCOMPARE(shownNote(), title.mid(QStringLiteral("1D CTF ").size()));
    pane.setPlotterMode(true); // plotter curves have no direction
    QCOMPARE(pane.title()->text(), QStringLiteral("1D CTF"));
    QCOMPARE(shownNote(), QString());
}

QTEST_MAIN(TestChartPanes)
#include "test_chartpanes.moc"
