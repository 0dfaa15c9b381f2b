// The program's scroll bar is drawn in strips (StripStyle); it must look exactly like the style's own
// bar: at every width, position and press, pixel for pixel.
#include "ui/widgets/scrollbar.h"
#include "ui/widgets/stripstyle.h"

#include <QStyleOption>
#include <QtTest>

using Ranges = QVector<QPair<int, int>>;

using namespace orvalis;

class TestScrollBar : public QObject {
    Q_OBJECT
private slots:
    void drawsAsTheStyle_data();
    void drawsAsTheStyle();
    void stripStarts_data();
    void stripStarts();
    void keptStripsFollowEveryChange_data();
    void keptStripsFollowEveryChange();
    void keptStripsFollowTheHandle_data();
    void keptStripsFollowTheHandle();
};

void TestScrollBar::drawsAsTheStyle_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("pressed");
    for (int width : {60, 139, 250, 601})
        for (int value : {-200, -100, 0, 60, 61, 333, 400})
            QTest::addRow("%d wide at %d", width, value) << width << value << false;
    QTest::newRow("handle pressed, handle across a strip edge") << 250 << 40 << true;
    QTest::newRow("handle pressed") << 139 << 60 << true;
}

void TestScrollBar::drawsAsTheStyle()
{
    QFETCH(int, width);
    QFETCH(int, value);
    QFETCH(bool, pressed);
    ScrollBar ours;
    QScrollBar stock(Qt::Horizontal);
    stock.setPalette(ours.palette()); // the handle's colour is the bar's own
    QImage grabs[2];
    QScrollBar *bars[2] = {&ours, &stock};
    for (int i = 0; i < 2; ++i) {
        QScrollBar *bar = bars[i];
        bar->setRange(-200, 400);
        bar->resize(width, 14);
        bar->setValue(value);
        bar->show();
        QVERIFY(QTest::qWaitForWindowExposed(bar));
        if (pressed) {
            QStyleOptionSlider option;
            option.initFrom(bar);
            option.orientation = Qt::Horizontal;
            option.state |= QStyle::State_Horizontal;
            option.minimum = bar->minimum();
            option.maximum = bar->maximum();
            option.sliderPosition = option.sliderValue = bar->value();
            option.pageStep = bar->pageStep();
            option.singleStep = bar->singleStep();
            const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                                              bar);
            QTest::mousePress(bar, Qt::LeftButton, {}, handle.center());
        }
        grabs[i] = bar->grab().toImage();
        if (pressed)
            QTest::mouseRelease(bar, Qt::LeftButton);
    }
    QCOMPARE(grabs[0].size(), grabs[1].size());
    QVERIFY(grabs[0] == grabs[1]);
}

// The strips drawn last are shown again while nothing they are drawn from changed: a bar drawn once,
// changed and drawn again must look as a bar drawn once in the new state.
void TestScrollBar::keptStripsFollowEveryChange_data()
{
    QTest::addColumn<QString>("change");
    for (const char *change : {"nothing", "one step", "one step back", "far", "to the end", "range", "page step",
                               "wider", "disabled", "palette", "inverted", "empty range"})
        QTest::newRow(change) << QString::fromLatin1(change);
}

void TestScrollBar::keptStripsFollowEveryChange()
{
    QFETCH(QString, change);
    ScrollBar ours;
    const auto setUp = [](QScrollBar &bar) {
        bar.setRange(-200, 400);
        bar.resize(250, 14);
        bar.setValue(60);
    };
    const auto apply = [&change](QScrollBar &bar) {
        if (change == QLatin1String("one step"))
            bar.setValue(61);
        else if (change == QLatin1String("one step back"))
            bar.setValue(59);
        else if (change == QLatin1String("far"))
            bar.setValue(300);
        else if (change == QLatin1String("to the end"))
            bar.setValue(400);
        else if (change == QLatin1String("range"))
            bar.setRange(-2000, 4000);
        else if (change == QLatin1String("page step"))
            bar.setPageStep(200);
        else if (change == QLatin1String("wider"))
            bar.resize(400, 14);
        else if (change == QLatin1String("disabled"))
            bar.setEnabled(false);
        else if (change == QLatin1String("palette")) {
            QPalette palette = bar.palette();
            palette.setColor(QPalette::Button, QColor(0x40, 0x80, 0x40));
            bar.setPalette(palette);
        } else if (change == QLatin1String("inverted"))
            bar.setInvertedAppearance(true);
        else if (change == QLatin1String("empty range"))
            bar.setRange(60, 60);
    };
    setUp(ours);
    ours.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ours));
    ours.grab(); // the strips kept
    ours.grab();
    apply(ours);
    const QImage kept = ours.grab().toImage();

    ScrollBar fresh;
    setUp(fresh);
    apply(fresh);
    if (change == QLatin1String("palette"))
        fresh.setPalette(ours.palette());
    fresh.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fresh));
    const QImage once = fresh.grab().toImage();
    QCOMPARE(kept.size(), once.size());
    QVERIFY(kept == once);
}

// The handle moved across the whole bar, step by step and in jumps: at every value the bar looks as
// one drawn once there.
void TestScrollBar::keptStripsFollowTheHandle_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("step");
    QTest::newRow("two strips, single steps") << 139 << 1;
    QTest::newRow("three strips, steps of 7") << 250 << 7;
    QTest::newRow("seven strips, steps of 13") << 601 << 13;
    QTest::newRow("three strips, back in jumps") << 250 << -97;
}

void TestScrollBar::keptStripsFollowTheHandle()
{
    QFETCH(int, width);
    QFETCH(int, step);
    ScrollBar ours;
    ours.setRange(-200, 400);
    ours.resize(width, 14);
    ours.setValue(step > 0 ? -200 : 400);
    ours.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ours));
    for (int value = ours.value(); value >= -200 && value <= 400; value += step) {
        ours.setValue(value);
        const QImage kept = ours.grab().toImage();
        ScrollBar once; // its own strips, drawn once
        once.setRange(-200, 400);
        once.resize(width, 14);
        once.setValue(value);
        once.show();
        QVERIFY(QTest::qWaitForWindowExposed(&once));
        QVERIFY2(kept == once.grab().toImage(), qPrintable(QStringLiteral("at %1").arg(value)));
    }
}

void TestScrollBar::stripStarts_data()
{
    QTest::addColumn<int>("right");
    QTest::addColumn<Ranges>("avoided");
    QTest::addColumn<QVector<int>>("starts"); // empty with `none` for no cut
    QTest::addColumn<bool>("none");
    QTest::newRow("narrow enough: one strip") << 87 << Ranges{} << QVector<int>{} << false;
    QTest::newRow("even cuts") << 199 << Ranges{} << QVector<int>{88, 176} << false;
    QTest::newRow("cut moved left of the handle") << 199 << Ranges{{80, 100}} << QVector<int>{78, 166} << false;
    QTest::newRow("out of one range into another")
        << 199 << Ranges{{80, 100}, {70, 78}} << QVector<int>{68, 156} << false;
    QTest::newRow("handle wider than a strip") << 300 << Ranges{{2, 200}} << QVector<int>{} << true;
}

void TestScrollBar::stripStarts()
{
    QFETCH(int, right);
    QFETCH(Ranges, avoided);
    QFETCH(QVector<int>, starts);
    QFETCH(bool, none);
    const std::optional<QVector<int>> cuts = StripStyle::stripStarts(0, right, avoided, StripStyle::kMaxStrip, 2);
    QCOMPARE(!cuts.has_value(), none);
    if (cuts)
        QCOMPARE(*cuts, starts);
}

QTEST_MAIN(TestScrollBar)
#include "test_scrollbar.moc"
