// Antialiased one-pixel segments written straight into an image against the raster engine's own
// QPainter::drawLines on the same image in the same painter state: every pixel the same, over
// backgrounds of every colour and opacity, for segments of every kind the charts draw and more.
#include "chart/cosmeticstroke.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>

using namespace orvalis;

namespace {

constexpr int kWidth = 211;
constexpr int kHeight = 157;

using Generator = std::function<QLineF(QRandomGenerator &)>;

double uniform(QRandomGenerator &random, double low, double high)
{
    return low + random.generateDouble() * (high - low);
}

// Premultiplied pixels of any colour and opacity, as a chart buffer holds before and after its
// background is filled.
QImage noise(QRandomGenerator &random)
{
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const QColor c(random.bounded(256), random.bounded(256), random.bounded(256),
                           random.bounded(3) == 0 ? random.bounded(256) : 255);
            image.setPixel(x, y, qPremultiply(c.rgba()));
        }
    return image;
}

void setUp(QPainter &painter, const QColor &colour, Qt::PenCapStyle cap, const QRect &clip, bool halfPixel)
{
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour, 0);
    pen.setCapStyle(cap);
    painter.setPen(pen);
    painter.setClipRect(clip);
    if (halfPixel)
        painter.translate(0.5, 0.5);
}

} // namespace

Q_DECLARE_METATYPE(Generator)

class TestCosmeticStroke : public QObject {
    Q_OBJECT

private slots:
    void strokedAsTheRasterEngine_data();
    void strokedAsTheRasterEngine();
    void otherPainterStatesAreLeftToTheEngine();
};

void TestCosmeticStroke::strokedAsTheRasterEngine_data()
{
    QTest::addColumn<Generator>("segment");
    QTest::addColumn<int>("cap");
    QTest::addColumn<bool>("halfPixel");
    const Generator thinned = [](QRandomGenerator &r) { // a thinned curve: a column of pixels at a time
        const double x = uniform(r, -2, kWidth + 2), y = uniform(r, -2, kHeight + 2);
        return QLineF(x, y, x + uniform(r, 0.2, 1.5), y + uniform(r, -4, 4));
    };
    const Generator steep = [](QRandomGenerator &r) {
        const double x = uniform(r, 0, kWidth), y = uniform(r, 0, kHeight);
        return QLineF(x, y, x + uniform(r, -1.5, 1.5), y + uniform(r, -120, 120));
    };
    const Generator anywhere = [](QRandomGenerator &r) { // long, crossing every edge
        return QLineF(uniform(r, -400, 600), uniform(r, -400, 600), uniform(r, -400, 600), uniform(r, -400, 600));
    };
    const Generator tiny = [](QRandomGenerator &r) { // points, and segments shorter than a 64th of a pixel
        const double x = uniform(r, -1, kWidth + 1), y = uniform(r, -1, kHeight + 1);
        const int kind = r.bounded(3);
        return QLineF(x, y, kind == 0 ? x : x + uniform(r, -0.02, 0.02), kind == 0 ? y : y + uniform(r, -0.02, 0.02));
    };
    const Generator gridded = [](QRandomGenerator &r) { // on whole and half pixels, across and along the axes
        const double x = r.bounded(kWidth * 2) / 2.0, y = r.bounded(kHeight * 2) / 2.0;
        const double length = r.bounded(-60, 60) / 2.0;
        return r.bounded(2) ? QLineF(x, y, x + length, y) : QLineF(x, y, x, y + length);
    };
    const struct {
        const char *name;
        Generator segment;
    } kinds[] = {
        {"thinned curve", thinned}, {"steep", steep}, {"anywhere", anywhere}, {"tiny", tiny}, {"gridded", gridded}};
    for (const auto &kind : kinds)
        for (const bool halfPixel : {true, false})
            for (const Qt::PenCapStyle cap : {Qt::SquareCap, Qt::FlatCap})
                QTest::addRow("%s, %s caps%s", kind.name, cap == Qt::FlatCap ? "flat" : "square",
                              halfPixel ? ", half-pixel shift" : "")
                    << kind.segment << int(cap) << halfPixel;
}

void TestCosmeticStroke::strokedAsTheRasterEngine()
{
    QFETCH(Generator, segment);
    QFETCH(int, cap);
    QFETCH(bool, halfPixel);
    QRandomGenerator random(20261209u + static_cast<quint32>(cap) * 7u + (halfPixel ? 1u : 0u));
    for (int round = 0; round < 20; ++round) {
        QVector<QLineF> segments;
        for (int i = 0; i < 400; ++i)
            segments.append(segment(random));
        const QColor colour = QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256));
        const QRect clip = round % 4 == 0
            ? QRect(-10, -10, kWidth + 20, kHeight + 20)
            : QRect(random.bounded(40), random.bounded(40), random.bounded(60, kWidth), random.bounded(40, kHeight));
        QImage expected = noise(random);
        QImage drawn = expected.copy();
        {
            QPainter painter(&expected);
            setUp(painter, colour, Qt::PenCapStyle(cap), clip, halfPixel);
            painter.drawLines(segments);
        }
        {
            QPainter painter(&drawn);
            setUp(painter, colour, Qt::PenCapStyle(cap), clip, halfPixel);
            const CosmeticTarget target = cosmeticTarget(&painter);
            QVERIFY(target.image == &drawn);
            strokeCosmeticSegments(target, segments.constData(), static_cast<int>(segments.size()));
        }
        if (drawn != expected) {
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    if (drawn.pixel(x, y) != expected.pixel(x, y))
                        QFAIL(qPrintable(QStringLiteral("round %1: pixel (%2, %3) is %4, the engine's %5")
                                             .arg(round)
                                             .arg(x)
                                             .arg(y)
                                             .arg(drawn.pixel(x, y), 8, 16)
                                             .arg(expected.pixel(x, y), 8, 16)));
        }
    }
}

// Whatever the direct path does not reproduce stays with the engine.
void TestCosmeticStroke::otherPainterStatesAreLeftToTheEngine()
{
    const struct {
        const char *name;
        std::function<void(QPainter &)> change;
    } states[] = {
        {"aliased", [](QPainter &p) { p.setRenderHint(QPainter::Antialiasing, false); }},
        {"translucent pen", [](QPainter &p) { p.setPen(QPen(QColor(0, 0, 255, 128), 0)); }},
        {"wide pen", [](QPainter &p) { p.setPen(QPen(Qt::blue, 2)); }},
        {"dashed pen", [](QPainter &p) { p.setPen(QPen(Qt::blue, 0, Qt::DashLine)); }},
        {"gradient pen", [](QPainter &p) { p.setPen(QPen(QBrush(QLinearGradient(0, 0, 10, 10)), 0)); }},
        {"scaled", [](QPainter &p) { p.scale(2, 2); }},
        {"half opaque", [](QPainter &p) { p.setOpacity(0.5); }},
        {"other composition", [](QPainter &p) { p.setCompositionMode(QPainter::CompositionMode_Plus); }},
        {"clipped to a shape", [](QPainter &p) { p.setClipRegion(QRegion(10, 10, 50, 50, QRegion::Ellipse)); }},
        {"not clipped", [](QPainter &p) { p.setClipping(false); }},
    };
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    for (const auto &state : states) {
        QPainter painter(&image);
        setUp(painter, Qt::blue, Qt::SquareCap, QRect(0, 0, 64, 64), true);
        QVERIFY(cosmeticTarget(&painter).image == &image);
        state.change(painter);
        QVERIFY2(!cosmeticTarget(&painter).image, state.name);
    }
    QImage indexed(64, 64, QImage::Format_RGB16);
    QPainter painter(&indexed);
    setUp(painter, Qt::blue, Qt::SquareCap, QRect(0, 0, 64, 64), true);
    QVERIFY(!cosmeticTarget(&painter).image);
}

QTEST_MAIN(TestCosmeticStroke)
#include "test_cosmeticstroke.moc"
