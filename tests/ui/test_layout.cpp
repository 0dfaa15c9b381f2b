// The main window at the sizes users give it: chart labels that never collide, the same frequency
// ticks on both charts, panes that never lie over one another, texts shown whole.
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "core/ctffunctions.h"
#include "core/curvereadout.h"

#include <QFontMetrics>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

#include <cmath>
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
        case ChartWidget::Axis::Right: corner = QPointF(plot.right() + distance, at - size.height() / 2.0); break;
        case ChartWidget::Axis::Top:
            corner = QPointF(at - size.width() / 2.0, plot.top() - distance - size.height());
            break;
        case ChartWidget::Axis::Bottom: corner = QPointF(at - size.width() / 2.0, plot.bottom() + distance); break;
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
    for (ChartWidget::Axis id :
         {ChartWidget::Axis::Left, ChartWidget::Axis::Right, ChartWidget::Axis::Top, ChartWidget::Axis::Bottom})
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

// Layout requests travel up the widget tree one event round at a time.
void settle()
{
    for (int round = 0; round < 4; ++round)
        QApplication::processEvents();
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
    void panesWholeOrScrolled_data();
    void panesWholeOrScrolled();
    void readoutsShownWhole();
    void chartReadout_data();
    void chartReadout();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestLayout::chartLabels_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("pattern");
    const QSize sizes[] = {{300, 300}, {600, 450}, {759, 612}, {1024, 600}, {1366, 768}, {1366, 1000}, {1920, 1080}};
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
    settle();
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
    settle();
    const QVector<double> large = chart1->tickValues(ChartWidget::Axis::Bottom);
    QVERIFY2(large.size() > small.size(),
             qPrintable(QStringLiteral("%1 ticks, then %2").arg(small.size()).arg(large.size())));

    form.resize(759, 612);
    settle();
    showPane(&form, "Show2DCTF1", true);
    settle();
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

void TestLayout::panesWholeOrScrolled_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("plotter");
    const QSize sizes[] = {{300, 300}, {450, 350}, {600, 450}, {759, 612}, {1366, 768}, {1920, 1080}};
    for (const QSize &s : sizes) {
        QTest::addRow("%dx%d", s.width(), s.height()) << s << false;
        QTest::addRow("%dx%d plotter", s.width(), s.height()) << s << true;
    }
}

// Every pane keeps at least the size its contents need and none lies over another; what the window
// cannot show at once it scrolls.
void TestLayout::panesWholeOrScrolled()
{
    QFETCH(QSize, size);
    QFETCH(bool, plotter);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    showPane(&form, "N3D1", true);
    showPane(&form, "Show2DCTF1", true);
    if (plotter)
        form.views().ChangeMode();
    form.resize(size);
    settle();
    QCOMPARE(form.size(), size);

    QWidget *body = child<QWidget>(&form, "paBody");
    QVector<QWidget *> panes;
    for (const char *name : {"pa2Dctf", "paChart1", "pa3dCTF", "paSliders", "Panel2"})
        panes << child<QWidget>(&form, name);
    panes << child<QWidget>(&form, plotter ? "fmBtnBar1dCTF" : "fmBtnBar2dCTF");
    QVector<QRect> placed;
    for (QWidget *pane : panes) {
        // The plotter has no pattern; every other pane is shown in both modes.
        const bool shown = !(plotter && pane->objectName() == QLatin1String("pa2Dctf"));
        QVERIFY2(pane->isVisible() == shown, qPrintable(pane->objectName() + (shown ? " is hidden" : " is shown")));
        if (!shown)
            continue;
        const QSize need = pane->minimumSizeHint().expandedTo(pane->minimumSize());
        QVERIFY2(pane->width() >= need.width() && pane->height() >= need.height(),
                 qPrintable(QStringLiteral("%1 is %2x%3, needs %4x%5")
                                .arg(pane->objectName())
                                .arg(pane->width())
                                .arg(pane->height())
                                .arg(need.width())
                                .arg(need.height())));
        const QRect rect(pane->mapTo(body, QPoint(0, 0)), pane->size());
        QVERIFY2(body->rect().contains(rect), qPrintable(pane->objectName()));
        for (int i = 0; i < placed.size(); ++i)
            QVERIFY2(!placed[i].intersects(rect), qPrintable(pane->objectName() + " overlaps another pane"));
        placed << rect;
    }
    QCOMPARE(placed.size(), plotter ? 5 : 6);
    const int minimumBarButtons = plotter ? 4 : 7; // the 1D bar: 1st, 2nd, envelopes, mode
    // Every button of the docked bar is there whole.
    QWidget *bar = panes.last();
    const QList<QToolButton *> buttons = bar->findChildren<QToolButton *>();
    QVERIFY2(buttons.size() >= minimumBarButtons, qPrintable(QString::number(buttons.size())));
    for (QToolButton *button : buttons) {
        const QRect rect(button->mapTo(bar, QPoint(0, 0)), button->size());
        QVERIFY2(button->isVisible() && bar->rect().contains(rect) && button->height() >= button->sizeHint().height(),
                 qPrintable(button->objectName()));
    }
    // Whatever does not fit is reachable by scrolling the window's body.
    auto *scroll = qobject_cast<QScrollArea *>(body->parentWidget()->parentWidget());
    QVERIFY(scroll);
    const QSize visible = scroll->viewport()->size();
    if (body->width() > visible.width())
        QVERIFY(scroll->horizontalScrollBar()->isVisible());
    if (body->height() > visible.height())
        QVERIFY(scroll->verticalScrollBar()->isVisible());
}

void TestLayout::readoutsShownWhole()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    showPane(&form, "Show2DCTF1", true);
    child<QWidget>(&form, "Panel1")->show();
    settle();
    const QString cut = readoutsCutOff(&form, {patternReadoutText(0), patternReadoutText(14.1)});
    QVERIFY2(cut.isEmpty(), qPrintable(cut));
}

namespace {

// The CTF along a direction as the textbook writes it, in polar form: chi = pi lambda D k^2
// + pi Cs lambda^3 k^4 / 2 - A2 lambda k^2 cos(2 phi) / 2 - lambda^2 A3 k^3 sin(3 phi) / 3, damped by
// exp(-(pi lambda Delta)^2 k^4 / 2) and exp(-(pi alpha)^2 k^2 (Cs lambda^2 k^2 + D)^2).
struct Expected {
    double ctf;
    double envelope;
};

Expected textbookCtf(const OpticsState &s, double k, double phi, bool astigmatism, bool intensity)
{
    const double l = s.Wavelength, d = s.Defocus;
    double chi = Pi * l * d * k * k + Pi * s.Cs * l * l * l * std::pow(k, 4) / 2;
    if (astigmatism)
        chi += -s.A2 * l * k * k * std::cos(2 * phi) / 2 - l * l * s.A3 * std::pow(k, 3) * std::sin(3 * phi) / 3;
    const double et = std::exp(-0.5 * std::pow(Pi * l * s.FocalSpread * k * k, 2));
    const double es = std::exp(-std::pow(Pi * s.Alpha * k * (s.Cs * l * l * k * k + d), 2));
    const double p = intensity ? 2 : 1;
    return {std::pow(std::sin(chi), p) * std::pow(et * es, p), std::pow(et * es, p)};
}

// The numbers of a readout text, in their order: "k 2.50 nm-1, d 0.400 nm" gives 2.5 and 0.4.
QVector<double> numbersIn(const QString &text)
{
    QVector<double> numbers;
    static const QRegularExpression number(QStringLiteral("-?[0-9]+\\.[0-9]+"));
    for (QRegularExpressionMatchIterator m = number.globalMatch(text); m.hasNext();)
        numbers << m.next().captured().toDouble();
    return numbers;
}

} // namespace

void TestLayout::chartReadout_data()
{
    QTest::addColumn<double>("fraction"); // of the plot's width
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("frequencyText"); // as shown, at the window's usual size
    QTest::newRow("left edge") << 0.0 << ""
                               << "k 0.00 nm-1";
    QTest::newRow("middle, astigmatism and a direction") << 0.47 << "astigmatism"
                                                         << "k 4.69 nm-1, d 0.213 nm";
    QTest::newRow("intensity") << 0.3 << "intensity"
                               << "k 3.00 nm-1, d 0.333 nm";
    QTest::newRow("plotter, second CTF") << 0.62 << "plotter"
                                         << "k 6.19 nm-1, d 0.162 nm";
}

// Status panels 2 and 3 read the frequency under the pointer - the chart's pixels divide the axis
// evenly from the left edge of its first column to the right edge of its last - and the curve and its
// envelope there, as the textbook formula gives them; both are empty when the pointer leaves.
void TestLayout::chartReadout()
{
    QFETCH(double, fraction);
    QFETCH(QString, setup);
    QFETCH(QString, frequencyText);
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    if (setup == "astigmatism") {
        typeAndEnter(&form, "edAstigm", QStringLiteral("60"));
        typeAndEnter(&form, "edAstigm3", QStringLiteral("2000"));
        QWidget *image = child<QWidget>(&form, "Image1");
        form.painter().Image1MouseUp(Qt::LeftButton, image->width() - 10, image->height() - 40);
    } else if (setup == "intensity") {
        action(&form, "Intensity1")->trigger();
    } else if (setup == "plotter") {
        form.views().ChangeMode();
        QTest::mouseClick(child<QToolButton>(&form, "btn2ndCTF"), Qt::LeftButton);
    }
    auto *chart = child<ChartWidget>(&form, "Chart1");
    const QRect plot = chart->plotRect();
    const QPoint at(plot.left() + qRound(fraction * (plot.width() - 1)), plot.center().y());
    QTest::mouseMove(chart, at);
    const OpticsState &s = form.state();
    QCOMPARE(s.UpTo, 10.0);
    const double k = (at.x() - plot.left()) * s.UpTo / plot.width();
    const QString frequency = child<QLabel>(&form, "StatusPanel2")->text();
    QCOMPARE(frequency, frequencyText);
    const QVector<double> shown = numbersIn(frequency);
    QVERIFY(std::fabs(shown[0] - k) <= 0.005 + 1e-9);
    if (k > 0)
        QVERIFY(std::fabs(shown[1] - 1 / k) <= 0.0005 + 1e-9);

    const QString curve = child<QLabel>(&form, "StatusPanel3")->text();
    QVERIFY2(curve.startsWith(setup == "plotter" ? QStringLiteral("CTF 2 ") : QStringLiteral("CTF ")),
             qPrintable(curve));
    const QVector<double> values = numbersIn(curve);
    QCOMPARE(values.size(), 2);
    // The textbook values at the pointer's k are the texts to within half their last digit.
    const double phi = s.PlotterMode ? 0 : s.Direction;
    const Expected expected = textbookCtf(s, k, phi, !s.PlotterMode, setup == "intensity");
    QVERIFY2(std::fabs(values[0] - expected.ctf) <= 0.0005 + 1e-9,
             qPrintable(QStringLiteral("%1, textbook %2").arg(curve).arg(expected.ctf)));
    QVERIFY2(std::fabs(values[1] - expected.envelope) <= 0.0005 + 1e-9,
             qPrintable(QStringLiteral("%1, textbook envelope %2").arg(curve).arg(expected.envelope)));
    for (const char *panel : {"StatusPanel2", "StatusPanel3"}) {
        auto *label = child<QLabel>(&form, panel);
        QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(), panel);
    }
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(chart, &leave);
    QVERIFY(child<QLabel>(&form, "StatusPanel2")->text().isEmpty());
    QVERIFY(child<QLabel>(&form, "StatusPanel3")->text().isEmpty());
}

ORVALIS_UI_TEST_MAIN(TestLayout)
#include "test_layout.moc"
