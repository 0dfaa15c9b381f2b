// On a screen of 120 pixels per inch the pattern is 256 pixels wide, the map 512 and the panels wider.
// The test process describes such a screen to the offscreen platform before the application starts.
#include "formdriver.h"

#include "core/ctfpattern.h"
#include "core/curvereadout.h"
#include "ui/widgets/pixelimage.h"

#include <QTemporaryDir>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

class TestDenseScreen : public QObject {
    Q_OBJECT
private slots:
    void init() { m_settings = std::make_unique<FreshSettingsFolder>(); }
    void cleanup() { m_settings.reset(); }
    void layout();
    void pattern();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestDenseScreen::layout()
{
    QCOMPARE(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()), 120);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(child<PixelImage>(&form, "Image1")->image().size(), QSize(256, 256));
    QCOMPARE(form.body().map()->image().size(), QSize(512, 512));
    QCOMPARE(form.body().pattern()->centre(), 128);
    QCOMPARE(child<QWidget>(&form, "paLeft")->width(), 171);
    QVERIFY(child<QWidget>(&form, "StatusPanel1")->width() >= 128); // wider when the warning needs it
    child<QWidget>(&form, "Panel1")->show();
    QApplication::processEvents();
    const QString cut = readoutsCutOff(&form, {patternReadoutText(0), patternReadoutText(14.1)});
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
    QCOMPARE(child<QWidget>(&form, "Shape1")->pos(), QPoint(247, 125)); // 6 pixels inside the right edge
    QCOMPARE(child<QWidget>(&form, "shTick3")->x(), 256);
    QCOMPARE(child<QWidget>(&form, "laTick2")->x(), 126);
}

void TestDenseScreen::pattern()
{
    TForm1 form;
    form.show();
    action(&form, "Show2DCTF1")->trigger();
    const QImage image = child<PixelImage>(&form, "Image1")->image();
    const OpticsState &s = form.state();
    const double step = s.UpTo / 127;
    for (int y = 1; y < 256; y += 3)
        for (int x = 128; x < 256; x += 3) {
            const int g = referencePatternGrey(s, (x - 128) * step, (y - 128) * step, s.Defocus);
            QCOMPARE(image.pixel(x, y), qRgb(g, g, g));
            if (x > 128)
                QCOMPARE(image.pixel(256 - x, y), image.pixel(x, y)); // the mirrored left half
        }
}

int main(int argc, char **argv)
{
    // Without scaling the platform's own density reaches the program, as on a desktop set to 120.
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    return runOnDescribedScreen<TestDenseScreen>(argc, argv, R"({"screens": [{"name": "dense", "x": 0, "y": 0,
        "width": 1280, "height": 800, "logicalDpi": 120, "logicalBaseDpi": 96, "dpr": 1}]})");
}

#include "test_densescreen.moc"
