// On a scaled desktop (1.25 or 2 device pixels per logical pixel) the pattern and the map keep their
// logical sizes and show every computed pixel as a sharp block: only grey levels that were computed
// appear. The test process describes two such screens to the offscreen platform before it starts.
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "ui/widgets/pixelimage.h"

#include <QScreen>
#include <QSet>
#include <QTemporaryDir>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

QSet<QRgb> coloursOf(const QImage &image, const QRect &area)
{
    QSet<QRgb> colours;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            colours.insert(image.pixel(x, y) | 0xff000000u);
    return colours;
}

QString strangers(const QSet<QRgb> &shown, const QSet<QRgb> &computed)
{
    QStringList out;
    for (QRgb c : shown)
        if (!computed.contains(c) && out.size() < 5)
            out << QString::number(c & 0xffffff, 16);
    return out.join(QLatin1Char(' '));
}

} // namespace

class TestScaledScreen : public QObject {
    Q_OBJECT
private slots:
    void init() { m_settings = std::make_unique<FreshSettingsFolder>(); }
    void cleanup() { m_settings.reset(); }
    void patternAndMapStaySharp_data();
    void patternAndMapStaySharp();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestScaledScreen::patternAndMapStaySharp_data()
{
    QTest::addColumn<QString>("screen");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<int>("devicePixels"); // of the 208-pixel pattern
    QTest::newRow("ratio 2") << "double" << 2.0 << 416;
    QTest::newRow("ratio 1.25 (120 dpi)") << "fractional" << 1.25 << 260;
}

void TestScaledScreen::patternAndMapStaySharp()
{
    QFETCH(QString, screen);
    QFETCH(double, ratio);
    QFETCH(int, devicePixels);
    QScreen *target = nullptr;
    for (QScreen *candidate : QGuiApplication::screens())
        if (candidate->name() == screen)
            target = candidate;
    QVERIFY(target);
    TForm1 form;
    form.setScreen(target);
    form.move(target->geometry().topLeft() + QPoint(10, 10));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatio(), ratio);
    action(&form, "Show2DCTF1")->trigger();
    action(&form, "N3D1")->trigger();
    QApplication::processEvents();

    auto *image = child<PixelImage>(&form, "Image1");
    QCOMPARE(image->size(), QSize(208, 208)); // logical size as on any other screen
    const QImage pattern = image->grab().toImage();
    QCOMPARE(pattern.size(), QSize(devicePixels, devicePixels));
    const QSet<QRgb> computed = coloursOf(image->image(), image->image().rect());
    const QSet<QRgb> shown = coloursOf(pattern, pattern.rect());
    QVERIFY2(strangers(shown, computed).isEmpty(), qPrintable(strangers(shown, computed)));

    auto *map = child<ChartWidget>(&form, "Chart2");
    const QImage chart = map->grab().toImage();
    const QRect plot = map->plotRect();
    const QWidget *marker = child<QWidget>(&form, "Shape2");
    // Above the marker line, inside the plotting area, in device pixels.
    const double r = ratio;
    const QRect above(qCeil(r * plot.left()) + 2, qCeil(r * plot.top()) + 2, qFloor(r * plot.width()) - 4,
                      qFloor(r * (marker->y() - plot.top())) - 4);
    QVERIFY(above.height() > 10);
    const QSet<QRgb> mapShown = coloursOf(chart, above);
    const QSet<QRgb> mapComputed = coloursOf(form.body().map()->image(), form.body().map()->image().rect());
    QVERIFY2(strangers(mapShown, mapComputed).isEmpty(), qPrintable(strangers(mapShown, mapComputed)));
}

int main(int argc, char **argv)
{
    return runOnDescribedScreen<TestScaledScreen>(argc, argv, R"({"screens": [
        {"name": "double", "x": 0, "y": 0, "width": 3840, "height": 2160, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 2},
        {"name": "fractional", "x": 3840, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96,
         "dpr": 1.25}]})");
}

#include "test_scaledscreen.moc"
