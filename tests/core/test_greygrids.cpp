// What the window relies on when it paints the grey grids: where each level sits in the grid, the
// symmetries that its mirror copy and the astigmatism display depend on, the guarded inputs, and
// the lookup that replaces the exponential of CtfGrey. (A test function whose table is empty aborts
// at its first QFETCH, so no table here can pass by checking nothing.)
#include "core/ctfgrey.h"
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/fastmath.h"
#include "core/greylevellookup.h"
#include "core/instrumentload.h"

#include <QtTest>
#include <cmath>
#include <limits>
#include <random>

using namespace orvalis;

namespace {

OpticsState startupState(double a2 = 0, double a3 = 0)
{
    OpticsState s;
    s.UpTo = 10;
    loadInstrument(s, defaultScope());
    s.A2 = a2;
    s.A3 = a3;
    return s;
}

bool transposeSymmetric(const PatternHalves &h)
{
    for (int r = 0; r <= h.n; ++r)
        for (int e = 0; e < r; ++e)
            if (h.lowerAt(r, e) != h.lowerAt(e, r))
                return false;
    return true;
}

QString firstDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    if (a.size() != b.size())
        return QStringLiteral("sizes %1 and %2").arg(a.size()).arg(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return QStringLiteral("index %1: %2 instead of %3").arg(i).arg(a[i]).arg(b[i]);
    return {};
}

constexpr double kMargin = GreyLevelLookup::kStepMargin;

} // namespace

class TestGreyGrids : public QObject {
    Q_OBJECT
private slots:
    void sinSquared_data();
    void sinSquared();
    void lookupAroundSteps_data();
    void lookupAroundSteps();
    void lookupAwayFromSteps();

    void patternMirrorFacts_data();
    void patternMirrorFacts();
    void patternCentreRowShared();
    void patternZeroRange();
    void patternProgress_data();
    void patternProgress();
    void exactAtLargePhases_data();
    void exactAtLargePhases();
    void unusableInputs_data();
    void unusableInputs();

    void mapScales_data();
    void mapScales();
    void mapOrientation();
    void mapIgnoresAstigmatism();
    void mapZeroRange();
    void mapWidths_data();
    void mapWidths();
    void mapRangeCorrected_data();
    void mapRangeCorrected();
};

// The grids use sin^2 only; its odd quadrants come from 1 - sin^2, so the boundaries between
// quadrants are where a fault would show.
void TestGreyGrids::sinSquared_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("small phases") << -1e-3 << 1e-3;
    QTest::newRow("one turn") << -7.0 << 7.0;
    QTest::newRow("map phases") << -2.0e3 << 2.0e3;
    QTest::newRow("large phases") << -4.0e5 << 4.0e5;
    QTest::newRow("near the limit") << -fastmath::kSinArgumentLimit << -1.0e6;
}

void TestGreyGrids::sinSquared()
{
    QFETCH(double, from);
    QFETCH(double, to);
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> x(from, to);
    double worst = 0;
    double worstAt = 0;
    auto check = [&](double v) {
        const double s = std::sin(v);
        const double error = std::fabs(fastmath::sinSquared(v) - s * s);
        if (error > worst) {
            worst = error;
            worstAt = v;
        }
    };
    for (int i = 0; i < 200000; ++i)
        check(x(random));
    // Just either side of multiples of pi/2 inside the range.
    const double quarter = 1.5707963267948966;
    for (double j = std::ceil(from / quarter); j * quarter <= to && j < std::ceil(from / quarter) + 2000; ++j)
        for (double d : {-1e-9, -1e-3, 1e-9, 1e-3})
            check(j * quarter + d);
    QVERIFY2(worst < 1e-15, qPrintable(QStringLiteral("error %1 at %2").arg(worst).arg(worstAt, 0, 'g', 17)));
}

// Every step of CtfGrey: two margins away the lookup is certain and agrees with CtfGrey; within the
// margin it must ask for the exact level.
void TestGreyGrids::lookupAroundSteps_data()
{
    QTest::addColumn<double>("offset");
    QTest::addColumn<bool>("near");
    QTest::addColumn<int>("above"); // 1 when the value lies above the step
    QTest::newRow("two margins below") << -2 * kMargin << false << 0;
    QTest::newRow("two margins above") << 2 * kMargin << false << 1;
    QTest::newRow("half a margin below") << -kMargin / 2 << true << 0;
    QTest::newRow("half a margin above") << kMargin / 2 << true << 1;
    QTest::newRow("on the step") << 0.0 << true << 1;
}

void TestGreyGrids::lookupAroundSteps()
{
    QFETCH(double, offset);
    QFETCH(bool, near);
    QFETCH(int, above);
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();
    for (int g = kGreyLevelMin; g < kGreyLevelMax; ++g) {
        const double c2 = GreyLevelLookup::stepAt(g) + offset;
        bool nearStep = false;
        const int level = lookup.level(c2, nearStep);
        QVERIFY2(nearStep == near, qPrintable(QStringLiteral("step %1").arg(g)));
        if (!near) {
            QCOMPARE(level, g + above);
            QCOMPARE(CtfGrey(std::sqrt(c2)), g + above);
        }
    }
}

void TestGreyGrids::lookupAwayFromSteps()
{
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();
    int nearCount = 0;
    const int samples = 1 << 20;
    for (int i = 0; i <= samples; ++i) {
        const double c = static_cast<double>(i) / samples;
        bool nearStep = false;
        const int level = lookup.level(c * c, nearStep);
        if (nearStep) {
            ++nearCount;
            continue;
        }
        if (level != CtfGrey(c))
            QFAIL(qPrintable(QStringLiteral("c = %1: %2 instead of %3").arg(c, 0, 'g', 17).arg(level).arg(CtfGrey(c))));
    }
    QVERIFY2(nearCount < 200, qPrintable(QStringLiteral("%1 values sent back for exact evaluation").arg(nearCount)));
    bool nearStep = false;
    lookup.level(std::nan(""), nearStep);
    QVERIFY(nearStep);
}

// The window mirrors the right half, so a level must not depend on the sign of kx; a two-fold
// astigmatism draws ellipses with their axes on the image axes (symmetric about the centre row,
// but no longer about the diagonal); the three-fold one breaks the up/down symmetry.
void TestGreyGrids::patternMirrorFacts_data()
{
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("a3");
    QTest::addColumn<bool>("upDown");
    QTest::addColumn<bool>("diagonal");
    QTest::newRow("round rings") << 0.0 << 0.0 << true << true;
    QTest::newRow("two-fold") << 50.0 << 0.0 << true << false;
    QTest::newRow("three-fold") << 0.0 << 2000.0 << false << false;
    QTest::newRow("both") << 50.0 << 2000.0 << false << false;
}

void TestGreyGrids::patternMirrorFacts()
{
    QFETCH(double, a2);
    QFETCH(double, a3);
    QFETCH(bool, upDown);
    QFETCH(bool, diagonal);
    const OpticsState s = startupState(a2, a3);
    const PatternHalves h = computePatternHalves(s, s.Defocus, 104, 1, 10);
    QCOMPARE(h.n, 103);
    QCOMPARE(h.lower == h.upper, upDown);
    QCOMPARE(transposeSymmetric(h), diagonal);
    for (int r = 0; r <= h.n; r += 3)
        for (int e = -h.n; e <= h.n; e += 5) {
            const double kx = patternFrequency(r, 1, 10, 104);
            const double ky = patternFrequency(e, 1, 10, 104);
            QCOMPARE(referencePatternGrey(s, -kx, ky, s.Defocus), referencePatternGrey(s, kx, ky, s.Defocus));
        }
}

void TestGreyGrids::patternCentreRowShared()
{
    const OpticsState s = startupState(50, 2000);
    const PatternHalves h = computePatternHalves(s, s.Defocus, 104, 1, 10);
    QCOMPARE(h.lowerAt(0, 0), 94);
    QCOMPARE(h.upperAt(0, 0), 94);
    for (int r = 0; r <= h.n; ++r)
        QCOMPARE(h.upperAt(r, 0), h.lowerAt(r, 0));
    // ky grows downwards: the lower grid is the half below the centre row.
    QCOMPARE(h.lowerAt(10, 40),
             referencePatternGrey(s, patternFrequency(10, 1, 10, 104), patternFrequency(40, 1, 10, 104), s.Defocus));
}

void TestGreyGrids::patternZeroRange()
{
    const OpticsState s = startupState(50, 2000);
    for (int step : {1, 4}) {
        const PatternHalves h = computePatternHalves(s, -300, 104, step, 0);
        QVERIFY(!h.lower.empty());
        for (std::uint8_t g : h.lower)
            QCOMPARE(int(g), 94);
        for (std::uint8_t g : h.upper)
            QCOMPARE(int(g), 94);
    }
}

void TestGreyGrids::patternProgress_data()
{
    QTest::addColumn<int>("centre");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("n");
    QTest::newRow("coarse") << 104 << 4 << 25;
    QTest::newRow("dense screen") << 128 << 1 << 127;
    QTest::newRow("tie rounds to even") << 106 << 4 << 26; // 106 / 4 - 1 = 25.5
    QTest::newRow("smallest centre") << 2 << 1 << 1;
    QTest::newRow("centre 1 refused") << 1 << 1 << -1;
}

void TestGreyGrids::patternProgress()
{
    QFETCH(int, centre);
    QFETCH(int, step);
    QFETCH(int, n);
    QList<int> columns;
    const PatternHalves h = computePatternHalves(startupState(), -60, centre, step, 10, [&](int r) { columns << r; });
    QCOMPARE(h.n, n);
    QList<int> expected;
    for (int half = 0; half < 2; ++half)
        for (int r = 0; r <= n; ++r)
            expected << r;
    QCOMPARE(columns, expected);
    QCOMPARE(h.lower.size(), n < 0 ? std::size_t(0) : std::size_t(n + 1) * std::size_t(n + 1));
}

// Phases of several 1e5 rad stress the reduction and the error bound of the fast path; past
// 2^20 rad the grids fall back to direct evaluation.
void TestGreyGrids::exactAtLargePhases_data()
{
    QTest::addColumn<double>("upTo");
    QTest::addColumn<double>("defocus");
    QTest::addColumn<int>("mapMinimum");
    QTest::addColumn<int>("mapMaximum");
    QTest::newRow("phases to 4e5 rad") << 40.0 << -5000.0 << -5000 << 5000;
    QTest::newRow("overfocus") << 25.0 << 3000.0 << -3000 << 0;
    QTest::newRow("beyond the fast range") << 200.0 << -1.0e5 << -100000 << 100000;
}

void TestGreyGrids::exactAtLargePhases()
{
    QFETCH(double, upTo);
    QFETCH(double, defocus);
    QFETCH(int, mapMinimum);
    QFETCH(int, mapMaximum);
    const OpticsState s = startupState(30, 800);
    const PatternHalves fast = computePatternHalves(s, defocus, 104, 1, upTo);
    const PatternHalves direct = referencePatternHalves(s, defocus, 104, 1, upTo);
    QVERIFY2(fast.lower == direct.lower, qPrintable(firstDifference(fast.lower, direct.lower)));
    QVERIFY2(fast.upper == direct.upper, qPrintable(firstDifference(fast.upper, direct.upper)));
    const DefocusMapGrid map = computeDefocusMap(s, 256, mapMinimum, mapMaximum, upTo);
    const DefocusMapGrid mapDirect = referenceDefocusMap(s, 256, mapMinimum, mapMaximum, upTo);
    QVERIFY2(map.grey == mapDirect.grey, qPrintable(firstDifference(map.grey, mapDirect.grey)));
}

// Values no dialog lets through must still give colours, not undefined behaviour.
void TestGreyGrids::unusableInputs_data()
{
    QTest::addColumn<double>("defocus");
    QTest::addColumn<double>("range");
    QTest::newRow("nan defocus") << std::nan("") << 10.0;
    QTest::newRow("infinite range") << -60.0 << std::numeric_limits<double>::infinity();
    QTest::newRow("huge range") << -60.0 << 1e200;
    QTest::newRow("negative range") << -60.0 << -10.0;
}

void TestGreyGrids::unusableInputs()
{
    QFETCH(double, defocus);
    QFETCH(double, range);
    const OpticsState s = startupState(50, 2000);
    const PatternHalves h = computePatternHalves(s, defocus, 104, 4, range);
    QVERIFY(h.lower == referencePatternHalves(s, defocus, 104, 4, range).lower);
    for (std::uint8_t g : h.lower)
        QVERIFY(g >= kGreyLevelMin);
    const DefocusMapGrid map = computeDefocusMap(s, 64, -50, 200, range);
    QVERIFY(map.grey == referenceDefocusMap(s, 64, -50, 200, range).grey);
}

void TestGreyGrids::mapScales_data()
{
    QTest::addColumn<bool>("isColumn");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<double>("expected");
    QTest::newRow("column 208 is half of UpTo 10") << true << 208 << 416 << 10.0 << 5.0;
    QTest::newRow("last column stops short") << true << 415 << 416 << 10.0 << 10.0 * 415 / 416;
    QTest::newRow("column 208 of UpTo 12.5") << true << 208 << 416 << 12.5 << 6.25;
    QTest::newRow("column 0") << true << 0 << 512 << 10.0 << 0.0;
    QTest::newRow("row 0 is -Min") << false << 0 << 416 << 0.0 << 50.0;
    QTest::newRow("last row is -Max") << false << 415 << 416 << 0.0 << -200.0;
    QTest::newRow("middle row of 417") << false << 208 << 417 << 0.0 << -75.0;
    QTest::newRow("a one-row map has the top row") << false << 0 << 1 << 0.0 << 50.0;
}

void TestGreyGrids::mapScales()
{
    QFETCH(bool, isColumn);
    QFETCH(int, index);
    QFETCH(int, width);
    QFETCH(double, upTo);
    QFETCH(double, expected);
    const double value = isColumn ? defocusMapFrequency(index, width, upTo) : defocusMapDefocus(index, width, -50, 200);
    QVERIFY2(std::fabs(value - expected) < 1e-12,
             qPrintable(QStringLiteral("%1 instead of %2").arg(value).arg(expected)));
}

// Row-major with the overfocus at the top: checked against direct evaluation at explicit defoci and
// frequencies, independently of the map's own scale helpers.
void TestGreyGrids::mapOrientation()
{
    const OpticsState s = startupState();
    const DefocusMapGrid map = computeDefocusMap(s, 416, -50, 200, 10);
    QCOMPARE(map.width, 416);
    QCOMPARE(map.grey.size(), std::size_t(416 * 416));
    for (int c = 0; c < 416; ++c) {
        const double k = c * 10.0 / 416;
        QCOMPARE(map.at(c, 0), referenceMapGrey(s, k, 50.0));
        QCOMPARE(int(map.grey[std::size_t(415) * 416 + c]), referenceMapGrey(s, k, -200.0));
    }
    for (int y = 0; y < 416; ++y) {
        QCOMPARE(map.at(0, y), 94);
        QCOMPARE(map.at(208, y), referenceMapGrey(s, 5.0, 50.0 - y * 250.0 / 415));
    }
}

void TestGreyGrids::mapIgnoresAstigmatism()
{
    const DefocusMapGrid plain = computeDefocusMap(startupState(), 128, -50, 200, 10);
    const DefocusMapGrid astigmatic = computeDefocusMap(startupState(50, 2000), 128, -50, 200, 10);
    QVERIFY(plain.grey == astigmatic.grey);
}

void TestGreyGrids::mapZeroRange()
{
    const DefocusMapGrid map = computeDefocusMap(startupState(), 416, -50, 200, 0);
    QCOMPARE(map.grey.size(), std::size_t(416 * 416));
    for (std::uint8_t g : map.grey)
        QCOMPARE(int(g), 94);
}

void TestGreyGrids::mapWidths_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("computed");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("negative") << -416 << 0;
    QTest::newRow("one pixel") << 1 << 1;
    QTest::newRow("two pixels") << 2 << 2;
    QTest::newRow("widest") << kMaxDefocusMapWidth << kMaxDefocusMapWidth;
    QTest::newRow("too wide") << kMaxDefocusMapWidth + 1 << 0;
}

void TestGreyGrids::mapWidths()
{
    QFETCH(int, width);
    QFETCH(int, computed);
    const DefocusMapGrid map = computeDefocusMap(startupState(), width, -50, 200, 10);
    QCOMPARE(map.width, computed);
    QCOMPARE(map.grey.size(), std::size_t(computed) * std::size_t(computed));
    if (computed > 0) {
        QCOMPARE(map.at(0, 0), 94);
        QCOMPARE(map.at(computed - 1, computed - 1),
                 referenceMapGrey(startupState(), defocusMapFrequency(computed - 1, computed, 10),
                                  defocusMapDefocus(computed - 1, computed, -50, 200)));
    }
}

void TestGreyGrids::mapRangeCorrected_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("usedMinimum");
    QTest::addColumn<int>("usedMaximum");
    const int most = std::numeric_limits<int>::max();
    const int least = std::numeric_limits<int>::min();
    QTest::newRow("window range kept") << -50 << 200 << -50 << 200;
    QTest::newRow("empty") << -50 << -50 << -50 << -49;
    QTest::newRow("reversed") << 200 << -50 << 200 << 201;
    QTest::newRow("empty at the top of int") << most << most << most - 1 << most;
    QTest::newRow("whole int range") << least << most << least << most;
}

void TestGreyGrids::mapRangeCorrected()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, usedMinimum);
    QFETCH(int, usedMaximum);
    const OpticsState s = startupState();
    const DefocusMapGrid map = computeDefocusMap(s, 32, minimum, maximum, 10);
    QCOMPARE(map.minimum, usedMinimum);
    QCOMPARE(map.maximum, usedMaximum);
    QCOMPARE(map.at(31, 0), referenceMapGrey(s, 10.0 * 31 / 32, -static_cast<double>(usedMinimum)));
    QCOMPARE(map.at(31, 31), referenceMapGrey(s, 10.0 * 31 / 32, -static_cast<double>(usedMaximum)));
}

QTEST_APPLESS_MAIN(TestGreyGrids)
#include "test_greygrids.moc"
