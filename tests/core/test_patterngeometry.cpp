// The pattern's pixels and frequencies, the direction probe and its marker, and the ruler, checked
// against figures worked out by hand for the picture the window shows at its usual size (208 px,
// centre 104, a 6 px marker) and for a small odd one.
#include "core/patterngeometry.h"

#include <QtTest>
#include <cmath>

using namespace orvalis;

class TestPatternGeometry : public QObject {
    Q_OBJECT
private slots:
    void frequencyAt_data();
    void frequencyAt();
    void pick_data();
    void pick();
    void centreChoosesNothing();
    void startMarker_data();
    void startMarker();
    void ruler_data();
    void ruler();
};

void TestPatternGeometry::frequencyAt_data()
{
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<int>("centre");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("k"); // nm^-1; negative: none
    QTest::newRow("centre is k = 0") << QPoint(104, 104) << 104 << 10.0 << 0.0;
    QTest::newRow("last column is the range") << QPoint(207, 104) << 104 << 10.0 << 10.0;
    QTest::newRow("top row, one step beyond") << QPoint(104, 0) << 104 << 10.0 << 104 * 10.0 / 103;
    QTest::newRow("3-4-5 triangle") << QPoint(104 + 3, 104 - 4) << 104 << 103.0 << 5.0;
    QTest::newRow("small picture") << QPoint(0, 0) << 2 << 1.0 << std::sqrt(8.0);
    QTest::newRow("zero range") << QPoint(7, 190) << 104 << 0.0 << 0.0;
    QTest::newRow("no scale below centre 2") << QPoint(3, 3) << 1 << 10.0 << -1.0;
}

void TestPatternGeometry::frequencyAt()
{
    QFETCH(QPoint, pixel);
    QFETCH(int, centre);
    QFETCH(double, range);
    QFETCH(double, k);
    const std::optional<double> at = patternFrequencyAt(pixel, centre, range);
    QCOMPARE(at.has_value(), k >= 0);
    if (at)
        QCOMPARE(*at, k);
}

void TestPatternGeometry::pick_data()
{
    QTest::addColumn<QPoint>("click");
    QTest::addColumn<int>("centre");
    QTest::addColumn<int>("markerWidth");
    QTest::addColumn<double>("direction");
    QTest::addColumn<QPoint>("marker");
    // Ring radius 98: on a diagonal the marker's centre is 98 / sqrt(2) = 69.3 px off along each axis.
    QTest::newRow("below right") << QPoint(154, 154) << 104 << 6 << M_PI / 4 << QPoint(170, 170);
    QTest::newRow("below left") << QPoint(54, 154) << 104 << 6 << M_PI / 4 << QPoint(32, 170);
    QTest::newRow("above right") << QPoint(154, 54) << 104 << 6 << -M_PI / 4 << QPoint(170, 32);
    QTest::newRow("above left") << QPoint(54, 54) << 104 << 6 << -M_PI / 4 << QPoint(32, 32);
    QTest::newRow("centre row right") << QPoint(180, 104) << 104 << 6 << 0.0 << QPoint(199, 101);
    QTest::newRow("centre row left") << QPoint(20, 104) << 104 << 6 << 0.0 << QPoint(3, 101);
    QTest::newRow("straight up") << QPoint(104, 30) << 104 << 6 << -M_PI / 2 << QPoint(101, 3);
    QTest::newRow("straight down") << QPoint(104, 190) << 104 << 6 << M_PI / 2 << QPoint(101, 199);
    // atan(1/2) = 0.4636 rad: the marker's centre 98 (0.8944, 0.4472) = (87.65, 43.83) px off.
    QTest::newRow("shallow below right") << QPoint(124, 114) << 104 << 6 << std::atan(0.5) << QPoint(189, 145);
    QTest::newRow("shallow above left") << QPoint(84, 94) << 104 << 6 << -std::atan(0.5) << QPoint(13, 57);
    // An odd marker: half of 5 is 2.5, and the corner rounds off the half.
    QTest::newRow("odd marker, straight down") << QPoint(50, 90) << 50 << 5 << M_PI / 2 << QPoint(48, 92);
    QTest::newRow("odd marker, right") << QPoint(60, 50) << 50 << 5 << 0.0 << QPoint(92, 48);
}

void TestPatternGeometry::pick()
{
    QFETCH(QPoint, click);
    QFETCH(int, centre);
    QFETCH(int, markerWidth);
    QFETCH(double, direction);
    QFETCH(QPoint, marker);
    const std::optional<DirectionPick> p = pickDirection(click, centre, markerWidth);
    QVERIFY(p);
    QVERIFY2(std::fabs(p->direction - direction) < 1e-12, qPrintable(QString::number(p->direction, 'g', 17)));
    QCOMPARE(p->marker, marker);
}

void TestPatternGeometry::centreChoosesNothing()
{
    QVERIFY(!pickDirection(QPoint(104, 104), 104, 6));
    QVERIFY(!pickDirection(QPoint(2, 2), 2, 6));
    QVERIFY(pickDirection(QPoint(105, 104), 104, 6));
}

void TestPatternGeometry::startMarker_data()
{
    QTest::addColumn<double>("direction");
    QTest::addColumn<int>("centre");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("start-up: right end of the diameter") << 0.0 << 104 << QPoint(199, 101);
    QTest::newRow("restored below right") << M_PI / 4 << 104 << QPoint(170, 170);
    QTest::newRow("restored above right") << -M_PI / 4 << 104 << QPoint(170, 32);
    QTest::newRow("restored straight down") << M_PI / 2 << 104 << QPoint(101, 199);
    QTest::newRow("small picture") << 0.0 << 20 << QPoint(31, 17);
}

void TestPatternGeometry::startMarker()
{
    QFETCH(double, direction);
    QFETCH(int, centre);
    QFETCH(QPoint, corner);
    QCOMPARE(directionRingRadius(centre), centre - 6);
    QCOMPARE(directionMarkerCorner(direction, directionRingRadius(centre), centre, 6), corner);
}

void TestPatternGeometry::ruler_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("ticks");
    QTest::addColumn<QList<int>>("labels");
    QTest::newRow("usual picture") << 1 << 208 << QList<int>{1, 105, 208} << QList<int>{1, 102, 198};
    // The middle of an odd width lies on a half pixel, which rounds to even.
    QTest::newRow("odd width, half to even below") << 0 << 101 << QList<int>{0, 50, 100} << QList<int>{0, 47, 90};
    QTest::newRow("odd width, half to even above") << 0 << 103 << QList<int>{0, 52, 102} << QList<int>{0, 49, 92};
    QTest::newRow("wide picture, inset") << 12 << 480 << QList<int>{12, 252, 491} << QList<int>{12, 249, 481};
}

void TestPatternGeometry::ruler()
{
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(QList<int>, ticks);
    QFETCH(QList<int>, labels);
    const RulerPlaces places = patternRulerPlaces(left, width);
    QCOMPARE((QList<int>{places.tick[0], places.tick[1], places.tick[2]}), ticks);
    QCOMPARE((QList<int>{places.label[0], places.label[1], places.label[2]}), labels);
}

QTEST_GUILESS_MAIN(TestPatternGeometry)
#include "test_patterngeometry.moc"
