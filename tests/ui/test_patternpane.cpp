// The pattern's pane on its own: its size for each screen density, the grey levels of a pass where
// they belong (the left half a mirror of the right), the progress bar of a full pass only, and the
// width it reports for the next start.
#include "core/ctfpattern.h"
#include "core/curvereadout.h"
#include "ui/main/patternpane.h"
#include "ui/widgets/pixelimage.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSignalSpy>
#include <QtTest>

using namespace orvalis;

namespace {

// Grey levels that tell every computed point from its neighbours.
PatternHalves numberedHalves(int centre, int step)
{
    PatternHalves h;
    h.n = patternSteps(centre, step);
    h.centre = centre;
    h.stepFactor = step;
    const std::size_t count = static_cast<std::size_t>(h.n + 1) * static_cast<std::size_t>(h.n + 1);
    for (std::size_t i = 0; i < count; ++i) {
        h.lower.push_back(static_cast<std::uint8_t>(1 + i % 200));
        h.upper.push_back(static_cast<std::uint8_t>(201 + i % 50));
    }
    for (int r = 0; r <= h.n; ++r) // row ky = 0 is in both halves
        h.upper[h.index(r, 0)] = h.lower[h.index(r, 0)];
    return h;
}

int greyAt(const QImage &image, int x, int y)
{
    return qRed(image.pixel(x, y));
}

} // namespace

class TestPatternPane : public QObject {
    Q_OBJECT
private slots:
    void sizedForTheScreen_data();
    void sizedForTheScreen();
    void passLandsWhereItBelongs_data();
    void passLandsWhereItBelongs();
    void reportsItsShownWidth();
    void enlargedByWholeFactors_data();
    void enlargedByWholeFactors();
};

void TestPatternPane::sizedForTheScreen_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("centre");
    QTest::newRow("96 dpi") << 208 << 104;
    QTest::newRow("120 dpi") << 256 << 128;
}

void TestPatternPane::sizedForTheScreen()
{
    QFETCH(int, side);
    QFETCH(int, centre);
    PatternPane pane;
    pane.layOut(side, 10);
    QCOMPARE(pane.centre(), centre);
    QCOMPARE(pane.image()->image().size(), QSize(side, side));
    QVERIFY(pane.minimumWidth() >= side + 2 * 6);
    // The readout at its widest fits, inside the pane's least width.
    auto *readout = pane.findChild<QLabel *>(QStringLiteral("Label11"));
    for (const QString &text : {patternReadoutText(0), patternReadoutText(141.4)})
        QVERIFY2(readout->fontMetrics().horizontalAdvance(text) <= readout->width(), qPrintable(text));
    QVERIFY(readout->geometry().right() < pane.minimumWidth());
    // The ruler says the range at both ends, and nothing of it is cut off.
    auto *end = pane.findChild<QLabel *>(QStringLiteral("laTick3"));
    QCOMPARE(end->text(), QStringLiteral("10"));
    QCOMPARE(pane.findChild<QLabel *>(QStringLiteral("laTick1"))->text(), QStringLiteral("-10"));
    QVERIFY(end->parentWidget()->rect().contains(end->geometry()));
    pane.layOutRuler(2.5);
    QCOMPARE(end->text(), QStringLiteral("2.5"));
}

void TestPatternPane::passLandsWhereItBelongs_data()
{
    QTest::addColumn<int>("step");
    QTest::newRow("full") << 1;
    QTest::newRow("coarse") << 4;
}

void TestPatternPane::passLandsWhereItBelongs()
{
    QFETCH(int, step);
    PatternPane pane;
    pane.layOut(208, 10);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const int n = pane.centre();
    auto *bar = pane.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    const PatternHalves halves = numberedHalves(n, step);
    const PatternProgress progress = pane.beginPass(7.5, step, halves.n);
    QCOMPARE(pane.range(), 7.5);
    QCOMPARE(bool(progress), step == 1); // only a full pass shows its progress
    QCOMPARE(bar->isVisible(), step == 1);
    if (progress) {
        progress(halves.n);
        QCOMPARE(bar->value(), halves.n);
    }
    pane.showPattern(halves);
    QVERIFY(!bar->isVisible());
    const QImage &image = pane.image()->image();
    for (int r : {0, 1, halves.n}) {
        for (int e : {0, 2, halves.n}) {
            QCOMPARE(greyAt(image, n + r * step, n + e * step), halves.lowerAt(r, e));
            if (n - e * step >= 0 && e > 0)
                QCOMPARE(greyAt(image, n + r * step, n - e * step), halves.upperAt(r, e));
            // The left half mirrors the right about the centre column.
            if (r > 0)
                QCOMPARE(greyAt(image, n - r * step, n + e * step), halves.lowerAt(r, e));
        }
    }
    // Column 0 has no partner: it takes the outermost column, never stays black.
    QCOMPARE(image.pixel(0, n), image.pixel(image.width() - 1, n));
    QVERIFY(greyAt(image, 0, n) != 0 || greyAt(image, image.width() - 1, n) == 0);
}

void TestPatternPane::reportsItsShownWidth()
{
    PatternPane pane;
    QSignalSpy shown(&pane, &PatternPane::widthShown);
    pane.resize(300, 400); // hidden: nothing to keep
    QCOMPARE(shown.count(), 0);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QVERIFY(shown.count() >= 1);
    pane.resize(340, 400);
    QTRY_COMPARE(shown.last().at(0).toInt(), 340);
}

// A larger pane shows the computed picture enlarged by the largest whole factor that fits, each
// computed pixel a sharp block; pointer positions and the direction marker stay the picture's.
void TestPatternPane::enlargedByWholeFactors_data()
{
    QTest::addColumn<QSize>("paneSize");
    QTest::addColumn<int>("zoom");
    QTest::newRow("least") << QSize(230, 520) << 1;
    QTest::newRow("wide, not high") << QSize(900, 400) << 1;
    QTest::newRow("twice") << QSize(450, 560) << 2;
    QTest::newRow("three times, high limits") << QSize(1000, 760) << 3;
}

void TestPatternPane::enlargedByWholeFactors()
{
    QFETCH(QSize, paneSize);
    QFETCH(int, zoom);
    const int side = 208;
    PatternPane pane;
    pane.layOut(side, 10);
    pane.resize(paneSize);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QCOMPARE(pane.zoom(), zoom);
    const PatternHalves halves = numberedHalves(pane.centre(), 1);
    pane.beginPass(10, 1, halves.n);
    pane.showPattern(halves);
    PixelImage *image = pane.image();
    QCOMPARE(image->size(), QSize(side * zoom, side * zoom));
    QCOMPARE(image->image().size(), QSize(side, side)); // what Save 2D writes stays the computed picture
    const QImage shown = image->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), image->size());
    for (int y = 0; y < side; y += 7)
        for (int x = 0; x < side; x += 5) {
            const QRgb computed = image->image().pixel(x, y);
            for (const QPoint corner : {QPoint(0, 0), QPoint(zoom - 1, zoom - 1)})
                if (shown.pixel(x * zoom + corner.x(), y * zoom + corner.y()) != computed)
                    QFAIL(qPrintable(QStringLiteral("block of pixel %1,%2").arg(x).arg(y)));
        }
    QSignalSpy moved(image, &PixelImage::mouseMoved);
    const QPointF at(50 * zoom + zoom - 1, 80 * zoom);
    QMouseEvent move(QEvent::MouseMove, at, image->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(image, &move);
    QCOMPARE(moved.size(), 1);
    QCOMPARE(moved.last().value(0).toInt(), 50);
    QCOMPARE(moved.last().value(1).toInt(), 80);
    // The whole picture and its ruler lie inside the pane.
    QVERIFY(pane.rect().contains(image->mapTo(&pane, image->rect().bottomRight())));
}

QTEST_MAIN(TestPatternPane)
#include "test_patternpane.moc"
