// The grey-level grids must be exactly what direct evaluation of the formulas gives, for every pixel;
// the fast arithmetic behind them is checked against the C library first.
#include "core/ctfgrey.h"
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/fastmath.h"
#include "core/instrumentload.h"

#include <QtTest>
#include <cmath>
#include <random>

using namespace orvalis;

namespace {

OpticsState state(double a2 = 0, double a3 = 0, double upTo = 10, double alpha = 3e-4)
{
    OpticsState s;
    s.UpTo = upTo;
    loadInstrument(s, defaultScope());
    s.A2 = a2;
    s.A3 = a3;
    s.Alpha = alpha;
    return s;
}

} // namespace

class TestGrey : public QObject {
    Q_OBJECT
private slots:
    void fastSineAndExp_data();
    void fastSineAndExp();
    void greyLevels_data();
    void greyLevels();
    void patternExact_data();
    void patternExact();
    void patternSteps_data();
    void patternSteps();
    void mapExact_data();
    void mapExact();
};

void TestGrey::fastSineAndExp_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("one turn") << -7.0 << 7.0;
    QTest::newRow("large phases") << -2.0e4 << 2.0e4;
    QTest::newRow("near the limit") << 1.0e6 << 1.048e6;
}

void TestGrey::fastSineAndExp()
{
    QFETCH(double, from);
    QFETCH(double, to);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> x(from, to);
    std::uniform_real_distribution<double> e(-700, 700);
    double worstSine = 0;
    double worstExp = 0;
    for (int i = 0; i < 200000; ++i) {
        const double v = x(random);
        worstSine = std::max(worstSine, std::fabs(fastmath::sine(v) - std::sin(v)));
        const double w = e(random);
        worstExp = std::max(worstExp, std::fabs(fastmath::exponential(w) / std::exp(w) - 1));
    }
    QVERIFY2(worstSine < 1e-15, qPrintable(QString::number(worstSine)));
    QVERIFY2(worstExp < 2e-15, qPrintable(QString::number(worstExp)));
}

void TestGrey::greyLevels_data()
{
    QTest::addColumn<double>("c");
    QTest::addColumn<int>("level");
    QTest::newRow("zero") << 0.0 << 94;
    QTest::newRow("one") << 1.0 << 255;
    QTest::newRow("minus one") << -1.0 << 255;
    QTest::newRow("half") << 0.5 << 120; // 255 * exp(0.25) / e = 120.7
    QTest::newRow("nan stays a colour") << std::nan("") << 94;
}

void TestGrey::greyLevels()
{
    QFETCH(double, c);
    QFETCH(int, level);
    QCOMPARE(CtfGrey(c), level);
}

void TestGrey::patternExact_data()
{
    QTest::addColumn<double>("defocus");
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("a3");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<int>("centre");
    QTest::addColumn<int>("step");
    const double scherzer = state().ExtScherzer;
    QTest::newRow("start-up") << scherzer << 0.0 << 0.0 << 10.0 << 104 << 1;
    QTest::newRow("focus") << 0.0 << 0.0 << 0.0 << 10.0 << 104 << 1;
    QTest::newRow("astigmatic") << scherzer << 50.0 << 2000.0 << 10.0 << 104 << 1;
    QTest::newRow("far underfocus") << -2000.0 << 0.0 << 0.0 << 10.0 << 104 << 1;
    QTest::newRow("wide range") << -300.0 << 20.0 << 500.0 << 25.0 << 104 << 1;
    QTest::newRow("coarse") << scherzer << 50.0 << 2000.0 << 10.0 << 104 << 4;
    QTest::newRow("dense screen") << scherzer << 10.0 << 100.0 << 10.0 << 128 << 1;
}

void TestGrey::patternExact()
{
    QFETCH(double, defocus);
    QFETCH(double, a2);
    QFETCH(double, a3);
    QFETCH(double, upTo);
    QFETCH(int, centre);
    QFETCH(int, step);
    const OpticsState s = state(a2, a3, upTo);
    const PatternHalves fast = computePatternHalves(s, defocus, centre, step, upTo);
    const PatternHalves direct = referencePatternHalves(s, defocus, centre, step, upTo);
    QVERIFY(fast.n > 0);
    QCOMPARE(fast.lower.size(), std::size_t(fast.n + 1) * std::size_t(fast.n + 1));
    QVERIFY(fast.lower == direct.lower);
    QVERIFY(fast.upper == direct.upper);
    QCOMPARE(fast.lowerAt(0, 0), 94);
    // The reference itself follows the formula at a sample point.
    const double k = patternFrequency(7, step, upTo, centre);
    QCOMPARE(direct.upperAt(7, 3), referencePatternGrey(s, k, -patternFrequency(3, step, upTo, centre), defocus));
}

void TestGrey::patternSteps_data()
{
    QTest::addColumn<int>("centre");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("n");
    QTest::newRow("full") << 104 << 1 << 103;
    QTest::newRow("coarse") << 104 << 4 << 25;
    QTest::newRow("dense full") << 128 << 1 << 127;
    QTest::newRow("dense coarse") << 128 << 4 << 31;
    QTest::newRow("centre 1 would divide by zero") << 1 << 1 << -1;
    QTest::newRow("beyond the buffer") << 129 << 1 << -1;
    QTest::newRow("no step") << 104 << 0 << -1;
}

void TestGrey::patternSteps()
{
    QFETCH(int, centre);
    QFETCH(int, step);
    QFETCH(int, n);
    QCOMPARE(orvalis::patternSteps(centre, step), n);
    if (n < 0)
        QVERIFY(computePatternHalves(state(), 0, centre, step, 10).lower.empty());
}

void TestGrey::mapExact_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<double>("alpha");
    QTest::addColumn<int>("width");
    QTest::newRow("window range") << -50 << 200 << 10.0 << 3e-4 << 416;
    QTest::newRow("widened") << -300 << 500 << 10.0 << 3e-4 << 416;
    QTest::newRow("other range") << -50 << 200 << 12.5 << 3e-4 << 416;
    QTest::newRow("wide convergence") << -50 << 200 << 10.0 << 2e-3 << 416;
    QTest::newRow("dense screen") << -50 << 200 << 10.0 << 3e-4 << 512;
}

void TestGrey::mapExact()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(double, upTo);
    QFETCH(double, alpha);
    QFETCH(int, width);
    const OpticsState s = state(0, 0, upTo, alpha);
    const DefocusMapGrid fast = computeDefocusMap(s, width, minimum, maximum, upTo);
    const DefocusMapGrid direct = referenceDefocusMap(s, width, minimum, maximum, upTo);
    QCOMPARE(fast.width, width);
    QVERIFY(fast.grey == direct.grey);
    for (int y = 0; y < width; y += 37)
        QCOMPARE(fast.at(0, y), 94);
    QCOMPARE(defocusMapDefocus(0, width, minimum, maximum), double(-minimum));
    QCOMPARE(defocusMapDefocus(width - 1, width, minimum, maximum), double(-maximum));
    QCOMPARE(fast.at(width / 2, width - 1), referenceMapGrey(s, upTo / 2, -maximum));
}

QTEST_APPLESS_MAIN(TestGrey)
#include "test_grey.moc"
