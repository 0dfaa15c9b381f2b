// The pattern's picture from its computed grids: each computed point where it belongs, the left half
// mirrored or computed, and while sampling coarsely each point filling its block, without gaps.
#include "../support/startupstate.h"
#include "chart/gridimage.h"

#include <QtTest>

using namespace orvalis;

class TestGridImage : public QObject {
    Q_OBJECT
private slots:
    void blocksWithoutGaps_data();
    void blocksWithoutGaps();
};

void TestGridImage::blocksWithoutGaps_data()
{
    QTest::addColumn<double>("azimuth"); // rad of the two-fold astigmatism; non-zero: the whole grid is computed
    QTest::addColumn<int>("step");
    QTest::newRow("mirrored, full") << 0.0 << 1;
    QTest::newRow("mirrored, coarse") << 0.0 << 4;
    QTest::newRow("turned, full") << 0.6 << 1;
    QTest::newRow("turned, coarse") << 0.6 << 4;
    QTest::newRow("turned, coarser") << 0.6 << 3;
}

void TestGridImage::blocksWithoutGaps()
{
    QFETCH(double, azimuth);
    QFETCH(int, step);
    OpticsState state = startupState();
    state.A2 = 40;
    state.A2Azimuth = azimuth;
    const int centre = 104;
    const PatternHalves halves = computePatternHalves(state, state.Defocus, centre, step, 10);
    QCOMPARE(halves.wholeGrid(), azimuth != 0);
    const QImage image = patternImage(halves);
    QCOMPARE(image.size(), QSize(2 * centre, 2 * centre));
    const auto grey = [&image](int x, int y) { return qRed(image.pixel(x, y)); };
    // The computed points, and every pixel of their blocks, below and right of the centre.
    for (int r = 0; r <= halves.n; ++r)
        for (int e = 0; e <= halves.n; ++e)
            for (int dy = 0; dy < step && centre + e * step + dy < image.height(); ++dy)
                for (int dx = 0; dx < step && centre + r * step + dx < image.width(); ++dx)
                    if (grey(centre + r * step + dx, centre + e * step + dy) != halves.lowerAt(r, e))
                        QFAIL(qPrintable(QStringLiteral("block of point %1,%2").arg(r).arg(e)));
    // Below the band one step above the highest computed row, nothing is left black.
    const int top = centre - halves.n * step;
    for (int y = top; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(0, 0, 0))
                QFAIL(qPrintable(QStringLiteral("black at %1,%2").arg(x).arg(y)));
    for (int y = 0; y < top; ++y)
        QCOMPARE(image.pixel(centre, y), qRgb(0, 0, 0));
}

QTEST_MAIN(TestGridImage)
#include "test_gridimage.moc"
