// The main window's frame lies on the available area of its screen for every screen size and scale:
// a stored or first-start size that fits is kept, a place that fits is kept, anything else comes whole
// onto the area.
#include "ui/main/windowstore.h"

#include <QtTest>

using namespace orvalis;

class TestScreenFit : public QObject {
    Q_OBJECT
private slots:
    void frameOnTheAvailableArea_data();
    void frameOnTheAvailableArea();
};

void TestScreenFit::frameOnTheAvailableArea_data()
{
    QTest::addColumn<QSize>("screen"); // device pixels
    QTest::addColumn<double>("scale");
    QTest::addColumn<QRect>("wanted"); // the inside, in logical pixels
    const QRect firstStart(259, 117, 759, 612);
    const struct {
        const char *name;
        QRect wanted;
    } places[] = {
        {"first start", firstStart},
        {"stored on a larger screen", QRect(300, 200, 1900, 1040)},
        {"stored beyond the bottom right", QRect(1700, 1000, 759, 612)},
        {"stored above the top left", QRect(-500, -300, 759, 612)},
    };
    const QSize screens[] = {QSize(1366, 768), QSize(1920, 1080), QSize(1280, 720), QSize(3840, 2160)};
    for (const QSize screen : screens)
        for (const double scale : {1.0, 1.25, 1.5, 2.0})
            for (const auto &place : places)
                QTest::addRow("%dx%d at %g, %s", screen.width(), screen.height(), scale, place.name)
                    << screen << scale << place.wanted;
}

void TestScreenFit::frameOnTheAvailableArea()
{
    QFETCH(QSize, screen);
    QFETCH(double, scale);
    QFETCH(QRect, wanted);
    // A panel of 30 device pixels along the bottom; the area in logical pixels, as Qt gives it.
    const QRect available(0, 0, qFloor(screen.width() / scale), qFloor((screen.height() - 30) / scale));
    const QMargins frame = assumedFrame(qCeil(24 / scale));
    const QSize minimum(300, 300);
    const QRect inside = fitOnScreen(wanted, frame, available, minimum);
    const QRect outer = inside.marginsAdded(frame);
    QVERIFY2(
        available.contains(outer),
        qPrintable(
            QStringLiteral("frame %1,%2 %3x%4").arg(outer.x()).arg(outer.y()).arg(outer.width()).arg(outer.height())));
    const QSize room = available.size().shrunkBy(frame);
    // Sizes that fit are kept; larger ones take the whole area in that direction.
    QCOMPARE(inside.width(), std::min(wanted.width(), room.width()));
    QCOMPARE(inside.height(), std::min(wanted.height(), room.height()));
    // A frame that fits where it was stays there.
    if (available.contains(QRect(wanted.topLeft(), inside.size()).marginsAdded(frame)))
        QCOMPARE(inside.topLeft(), wanted.topLeft());
    QVERIFY(inside.width() >= minimum.width() && inside.height() >= minimum.height());
}

QTEST_MAIN(TestScreenFit)
#include "test_screenfit.moc"
