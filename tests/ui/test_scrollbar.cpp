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
