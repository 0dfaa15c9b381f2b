// On a scaled desktop (two device pixels per logical pixel) the pattern and the map keep their logical
// sizes and show every computed pixel as a sharp block: only grey levels that were computed appear.
// The test process describes such a screen to the offscreen platform before the application starts.
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "ui/widgets/pixelimage.h"

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
    void patternAndMapStaySharp();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestScaledScreen::patternAndMapStaySharp()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.devicePixelRatio(), 1.25);
    action(&form, "Show2DCTF1")->trigger();
    action(&form, "N3D1")->trigger();
    QApplication::processEvents();

    auto *image = child<PixelImage>(&form, "Image1");
    QCOMPARE(image->size(), QSize(208, 208)); // logical size as on any other screen
    const QImage pattern = image->grab().toImage();
    QCOMPARE(pattern.size(), QSize(260, 260));
    const QSet<QRgb> computed = coloursOf(image->image(), image->image().rect());
    const QSet<QRgb> shown = coloursOf(pattern, pattern.rect());
    QVERIFY2(strangers(shown, computed).isEmpty(), qPrintable(strangers(shown, computed)));

    auto *map = child<ChartWidget>(&form, "Chart2");
    const QImage chart = map->grab().toImage();
    const QRect plot = map->plotRect();
    const QWidget *marker = child<QWidget>(&form, "Shape2");
    // Above the marker line, inside the plotting area, in device pixels.
    const double r = form.devicePixelRatio();
    const QRect above(qCeil(r * plot.left()) + 2, qCeil(r * plot.top()) + 2, qFloor(r * plot.width()) - 4, qFloor(r * (marker->y() - plot.top())) - 4);
    QVERIFY(above.height() > 10);
    const QSet<QRgb> mapShown = coloursOf(chart, above);
    const QSet<QRgb> mapComputed = coloursOf(form.offscreenImage(), form.offscreenImage().rect());
    QVERIFY2(strangers(mapShown, mapComputed).isEmpty(), qPrintable(strangers(mapShown, mapComputed)));
}

int main(int argc, char **argv)
{
    return runOnDescribedScreen<TestScaledScreen>(argc, argv, R"({"screens": [{"name": "scaled", "x": 0, "y": 0,
        "width": 2732, "height": 1536, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1.25}]})");
}

#include "test_scaledscreen.moc"
