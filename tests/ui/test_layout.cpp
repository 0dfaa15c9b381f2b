// The main window at the sizes users give it: chart labels that never collide, the same frequency
// ticks on both charts, panes that never lie over one another, texts shown whole.
#include "formdriver.h"

#include "chart/chartwidget.h"

#include <QFontMetrics>
#include <QLabel>
#include <QScrollArea>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

struct PlacedLabel {
    QString text;
    QRect rect;
};

// Where the chart draws the labels of one axis: centred on their tick, beyond the outward tick marks
// and the label padding, and left out when they would stick out of the widget.
QVector<PlacedLabel> placedLabels(ChartWidget *chart, ChartWidget::Axis id)
{
    QVector<PlacedLabel> placed;
    QCPAxis *axis = chart->chartAxis(id);
    if (!axis->visible() || !axis->tickLabels())
        return placed;
    const QRect plot = chart->plotRect();
    const QFontMetrics metrics(axis->tickLabelFont());
    const int distance = std::max(0, std::max(axis->tickLengthOut(), axis->subTickLengthOut()))
                         + axis->tickLabelPadding() + axis->offset();
    const QVector<double> ticks = chart->tickValues(id);
    const QVector<QString> texts = chart->tickLabels(id);
    for (int i = 0; i < ticks.size() && i < texts.size(); ++i) {
        if (texts[i].isEmpty())
            continue;
        const QSize size = metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip | Qt::AlignHCenter, texts[i]).size();
        const double at = axis->coordToPixel(ticks[i]);
        QPointF corner;
        switch (id) {
        case ChartWidget::Axis::Left:
            corner = QPointF(plot.left() - distance - size.width(), at - size.height() / 2.0);
            break;
        case ChartWidget::Axis::Right:
            corner = QPointF(plot.right() + distance, at - size.height() / 2.0);
            break;
        case ChartWidget::Axis::Top:
            corner = QPointF(at - size.width() / 2.0, plot.top() - distance - size.height());
            break;
        case ChartWidget::Axis::Bottom:
            corner = QPointF(at - size.width() / 2.0, plot.bottom() + distance);
            break;
        }
        const QRect rect(corner.toPoint(), size);
        const QRect widget = chart->rect();
        const bool horizontal = id == ChartWidget::Axis::Top || id == ChartWidget::Axis::Bottom;
        if (horizontal ? (rect.left() < widget.left() || rect.right() > widget.right())
                       : (rect.top() < widget.top() || rect.bottom() > widget.bottom()))
            continue; // the chart leaves out a label the widget would clip
        placed.append({texts[i], rect});
    }
    return placed;
}

// The first two labels of the chart whose rectangles meet, or an empty text.
QString collision(ChartWidget *chart)
{
    QVector<PlacedLabel> all;
    for (ChartWidget::Axis id : {ChartWidget::Axis::Left, ChartWidget::Axis::Right, ChartWidget::Axis::Top,
                                 ChartWidget::Axis::Bottom})
        all += placedLabels(chart, id);
    for (int i = 0; i < all.size(); ++i)
        for (int j = i + 1; j < all.size(); ++j)
            if (all[i].rect.intersects(all[j].rect))
                return QStringLiteral("\"%1\" %2,%3 %4x%5 meets \"%6\" %7,%8 %9x%10")
                    .arg(all[i].text)
                    .arg(all[i].rect.x())
                    .arg(all[i].rect.y())
                    .arg(all[i].rect.width())
                    .arg(all[i].rect.height())
                    .arg(all[j].text)
                    .arg(all[j].rect.x())
                    .arg(all[j].rect.y())
                    .arg(all[j].rect.width())
                    .arg(all[j].rect.height());
    return QString();
}

void showPane(TForm1 *form, const char *item, bool shown)
{
    QAction *a = action(form, item);
    if (a->isChecked() != shown)
        a->trigger();
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void init() { m_settings = std::make_unique<FreshSettingsFolder>(); }
    void cleanup() { m_settings.reset(); }
    void chartLabels_data();
    void chartLabels();
    void ticksFollowResize();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestLayout::chartLabels_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("pattern");
    const QSize sizes[] = {{600, 450}, {759, 612}, {1024, 600}, {1366, 768}, {1366, 1000}, {1920, 1080}};
    for (const QSize &s : sizes) {
        QTest::addRow("%dx%d", s.width(), s.height()) << s << false;
        QTest::addRow("%dx%d with pattern", s.width(), s.height()) << s << true;
    }
}

// No two labels of a chart overlap, and the map shows the 1D chart's frequency ticks.
void TestLayout::chartLabels()
{
    QFETCH(QSize, size);
    QFETCH(bool, pattern);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    showPane(&form, "N3D1", true);
    showPane(&form, "Show2DCTF1", pattern);
    form.resize(size);
    QApplication::processEvents();
    auto *chart1 = child<ChartWidget>(&form, "Chart1");
    auto *chart2 = child<ChartWidget>(&form, "Chart2");
    for (ChartWidget *chart : {chart1, chart2}) {
        QVERIFY(chart->isVisible());
        QVERIFY(chart->tickValues(ChartWidget::Axis::Bottom).size() >= 2);
        const QString meeting = collision(chart);
        QVERIFY2(meeting.isEmpty(), qPrintable(chart->objectName() + QStringLiteral(": ") + meeting));
    }
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        QCOMPARE(chart2->tickValues(across), chart1->tickValues(across));
}

// Narrowing the chart (the pattern pane appears) and growing the window choose ticks for the new
// length at once, without waiting for the next change of the curves.
void TestLayout::ticksFollowResize()
{
    TForm1 form;
    form.resize(600, 450);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *chart1 = child<ChartWidget>(&form, "Chart1");
    const QVector<double> small = chart1->tickValues(ChartWidget::Axis::Bottom);
    form.resize(1920, 1080);
    QApplication::processEvents();
    const QVector<double> large = chart1->tickValues(ChartWidget::Axis::Bottom);
    QVERIFY2(large.size() > small.size(), qPrintable(QStringLiteral("%1 ticks, then %2").arg(small.size()).arg(large.size())));

    form.resize(759, 612);
    QApplication::processEvents();
    showPane(&form, "Show2DCTF1", true);
    QApplication::processEvents();
    // The same ticks as a window opened at this size with the pattern shown.
    TForm1 fresh;
    fresh.resize(759, 612);
    showPane(&fresh, "Show2DCTF1", true);
    fresh.show();
    QVERIFY(QTest::qWaitForWindowExposed(&fresh));
    auto *freshChart = child<ChartWidget>(&fresh, "Chart1");
    QCOMPARE(chart1->width(), freshChart->width());
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        QCOMPARE(chart1->tickValues(across), freshChart->tickValues(across));
}

ORVALIS_UI_TEST_MAIN(TestLayout)
#include "test_layout.moc"
