// The 2D pattern, its ruler, readout and direction probe, and the defocus map with its marker line,
// checked on the pixels and texts the window shows.
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/numberformat.h"
#include "core/scopedata.h"
#include "ui/widgets/pixelimage.h"

#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace orvalis;
using namespace orvalis::test;

class TestPattern : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showPattern();
    void patternMatchesDirectEvaluation();
    void zeroRangeIsUniform();
    void coarseWhileDragging();
    void progressBarClimbsTwice();
    void mirrorSymmetry_data();
    void mirrorSymmetry();
    void twoFoldMakesEllipsesAlongAxes();
    void ruler();
    void readout_data();
    void readout();
    void probe_data();
    void probe();
    void probeCentreChangesNothing();
    void switchesInterplay();
    void liveOffKeepsPicture();
    void mapRowsAndColumns();
    void mapAxesAndAlignment();
    void markerFollowsDefocus_data();
    void markerFollowsDefocus();
    void typedDefocusRebuildsMap();
    void fastOscillationWarning();

private:
    QImage pattern() { return child<PixelImage>(m_form.get(), "Image1")->image(); }
    ChartWidget *chart(const char *name) { return child<ChartWidget>(m_form.get(), name); }
    void showMap();
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TForm1> m_form;
};

namespace {

int grey(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    if (qRed(p) != qGreen(p) || qGreen(p) != qBlue(p))
        return -1;
    return qRed(p);
}

} // namespace

void TestPattern::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestPattern::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

void TestPattern::showMap()
{
    action(m_form.get(), "N3D1")->trigger();
    QVERIFY(child<QWidget>(m_form.get(), "pa3dCTF")->isVisible());
    chart("Chart2")->redraw();
}

void TestPattern::showPattern()
{
    QTest::mouseClick(child<QToolButton>(m_form.get(), "btnShow2D"), Qt::LeftButton);
    QVERIFY(action(m_form.get(), "Show2DCTF1")->isChecked());
    QVERIFY(child<QWidget>(m_form.get(), "pa2Dctf")->isVisible());
    QVERIFY(child<QToolButton>(m_form.get(), "btnUpdate2D")->isEnabled());
    QVERIFY(action(m_form.get(), "Save2D")->isEnabled());
    const QImage image = pattern();
    QCOMPARE(image.size(), QSize(208, 208));
    QCOMPARE(m_form->body().pattern()->centre(), 104);
    QCOMPARE(grey(image, 104, 104), 94);
    for (int x = 0; x < 208; ++x)
        QCOMPARE(image.pixel(x, 0), qRgb(0, 0, 0));
    QCOMPARE(m_form->body().map()->image().size(), QSize(416, 416));
    QVERIFY(!child<QProgressBar>(m_form.get(), "ProgressBar1")->isVisible());
}

void TestPattern::patternMatchesDirectEvaluation()
{
    const OpticsState &s = m_form->state();
    m_form->session().setA2(35, false);
    m_form->session().setA3(1500, false);
    action(m_form.get(), "Show2DCTF1")->trigger();
    const QImage image = pattern();
    const int n = 104;
    const double step = s.UpTo / (n - 1);
    int compared = 0;
    for (int y = 1; y < 208; ++y) {
        for (int x = n; x < 208; ++x) {
            const int expected = referencePatternGrey(s, (x - n) * step, (y - n) * step, s.Defocus);
            QCOMPARE(grey(image, x, y), expected);
            ++compared;
        }
    }
    QCOMPARE(compared, 207 * 104);
}

void TestPattern::zeroRangeIsUniform()
{
    m_form->session().setUpTo(0);
    action(m_form.get(), "Show2DCTF1")->trigger();
    const QImage image = pattern();
    for (int y = 1; y < 208; ++y)
        for (int x = 0; x < 208; ++x)
            QCOMPARE(grey(image, x, y), 94);
    QCOMPARE(child<QLabel>(m_form.get(), "laTick1")->text(), QStringLiteral("-0"));
}

void TestPattern::coarseWhileDragging()
{
    action(m_form.get(), "Show2DCTF1")->trigger();
    QScrollBar *defocus = child<QScrollBar>(m_form.get(), "ScrollBar1");
    const QPoint arrow(defocus->width() - 3, defocus->height() / 2);
    QTest::mousePress(defocus, Qt::LeftButton, {}, arrow);
    const QImage coarse = pattern();
    QVERIFY(!child<QProgressBar>(m_form.get(), "ProgressBar1")->isVisible());
    // Every fourth point is computed and fills its 4 x 4 block: the pattern coarsens instead of
    // turning into dots on black.
    for (int x = 104; x <= 204; x += 4) {
        QVERIFY(grey(coarse, x, 108) >= 94);
        QVERIFY(grey(coarse, x, 4) >= 94);
        for (int d = 1; d < 4; ++d) {
            QCOMPARE(coarse.pixel(x + d, 108 + d), coarse.pixel(x, 108));
            QCOMPARE(coarse.pixel(x + d, 4), coarse.pixel(x, 4));
        }
        QVERIFY(grey(coarse, 208 - x, 108) == grey(coarse, x, 108)); // mirrored blocks
    }
    int black = 0;
    for (int y = 4; y < 208; ++y) // rows 0 .. 3 lie one step above the highest computed row
        for (int x = 0; x < 208; ++x)
            black += coarse.pixel(x, y) == qRgb(0, 0, 0);
    QCOMPARE(black, 0);
    QCOMPARE(coarse.pixel(104, 2), qRgb(0, 0, 0));
    QTest::mouseRelease(defocus, Qt::LeftButton, {}, arrow);
    QVERIFY(grey(pattern(), 105, 109) >= 94); // full again at the end of the drag
}

void TestPattern::progressBarClimbsTwice()
{
    auto *progress = child<QProgressBar>(m_form.get(), "ProgressBar1");
    QList<int> values;
    int maximum = -1;
    bool shownDuringPass = false;
    connect(progress, &QProgressBar::valueChanged, this, [&](int v) {
        values << v;
        maximum = progress->maximum();
        shownDuringPass = shownDuringPass || progress->isVisible();
    });
    action(m_form.get(), "Show2DCTF1")->trigger();
    QCOMPARE(maximum, 103);
    QVERIFY(shownDuringPass);
    QVERIFY(!progress->isVisible());
    const int climbs = int(std::count(values.begin(), values.end(), 103));
    QCOMPARE(climbs, 2);
    QCOMPARE(values.last(), 0);
}

void TestPattern::mirrorSymmetry_data()
{
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("a3");
    QTest::newRow("no astigmatism") << 0.0 << 0.0;
    QTest::newRow("two-fold") << 60.0 << 0.0;
    QTest::newRow("three-fold") << 0.0 << 3000.0;
}

void TestPattern::mirrorSymmetry()
{
    QFETCH(double, a2);
    QFETCH(double, a3);
    m_form->session().setA2(a2, false);
    m_form->session().setA3(a3, false);
    action(m_form.get(), "Show2DCTF1")->trigger();
    const QImage image = pattern();
    bool upDownDiffers = false;
    for (int y = 1; y < 208; ++y) {
        for (int x = 1; x < 104; ++x) {
            QCOMPARE(grey(image, 104 - x, y), grey(image, 104 + x, y));
            if (y < 104 && grey(image, 104 + x, y) != grey(image, 104 + x, 208 - y))
                upDownDiffers = true;
        }
    }
    QCOMPARE(upDownDiffers, a3 > 0); // three-fold breaks the up-down symmetry only
}

void TestPattern::twoFoldMakesEllipsesAlongAxes()
{
    m_form->session().setA2(80, false);
    action(m_form.get(), "Show2DCTF1")->trigger();
    const QImage image = pattern();
    int differences = 0;
    for (int d = 1; d < 104; ++d)
        differences += grey(image, 104 + d, 104) != grey(image, 104, 104 + d);
    QVERIFY(differences > 10); // the rings are no longer round...
    for (int d = 1; d < 100; ++d)
        QCOMPARE(grey(image, 104, 104 + d), grey(image, 104, 104 - d)); // ...but keep both axes of symmetry
}

void TestPattern::ruler()
{
    const struct {
        const char *name;
        int left;
        int top;
    } expected[] = {{"shTick1", 1, 0}, {"shTick2", 105, 0}, {"shTick3", 208, 0},
                    {"laTick1", 1, 5}, {"laTick2", 102, 5}, {"laTick3", 198, 5}};
    for (const auto &e : expected) {
        const QWidget *w = child<QWidget>(m_form.get(), e.name);
        QCOMPARE(w->pos(), QPoint(e.left, e.top));
    }
    QCOMPARE(child<QLabel>(m_form.get(), "laTick1")->text(), QStringLiteral("-10"));
    QCOMPARE(child<QLabel>(m_form.get(), "laTick2")->text(), QStringLiteral("0"));
    QCOMPARE(child<QLabel>(m_form.get(), "laTick3")->text(), QStringLiteral("10"));
    // Placed as defined, and grown where its labels need room to be shown whole.
    QWidget *ruler = child<QWidget>(m_form.get(), "pa2DRuler");
    QCOMPARE(ruler->pos(), QPoint(5, 214));
    QVERIFY(ruler->width() >= 210 && ruler->height() >= 16);
    for (const char *name : {"laTick1", "laTick2", "laTick3"}) {
        auto *label = child<QLabel>(m_form.get(), name);
        QVERIFY2(ruler->rect().contains(label->geometry()), name);
        QVERIFY2(label->fontMetrics().height() >= 12, name); // readable at a glance, not 7-pixel digits
    }
}

void TestPattern::readout_data()
{
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QString>("text");
    QTest::newRow("centre") << QPoint(104, 104) << "Current k, (d): 0.0 nm-1,  (1000.00 nm)";
    QTest::newRow("right edge") << QPoint(207, 104) << "Current k, (d): 10.0 nm-1,  (0.10 nm)";
    QTest::newRow("corner") << QPoint(207, 207) << "Current k, (d): 14.1 nm-1,  (0.07 nm)";
}

void TestPattern::readout()
{
    QFETCH(QPoint, pointer);
    QFETCH(QString, text);
    action(m_form.get(), "Show2DCTF1")->trigger();
    QTest::mouseMove(child<QWidget>(m_form.get(), "Image1"), pointer);
    QTRY_COMPARE(child<QLabel>(m_form.get(), "Label11")->text(), text);
}

void TestPattern::probe_data()
{
    QTest::addColumn<QPoint>("click");
    QTest::addColumn<double>("direction");
    QTest::addColumn<QPoint>("marker");
    QTest::newRow("below right") << QPoint(154, 154) << M_PI / 4 << QPoint(170, 170);
    QTest::newRow("below left") << QPoint(54, 154) << M_PI / 4 << QPoint(32, 170);
    QTest::newRow("above right") << QPoint(154, 54) << -M_PI / 4 << QPoint(170, 32);
    QTest::newRow("above left") << QPoint(54, 54) << -M_PI / 4 << QPoint(32, 32);
    QTest::newRow("centre row right") << QPoint(180, 104) << 0.0 << QPoint(199, 101);
    QTest::newRow("centre row left") << QPoint(20, 104) << 0.0 << QPoint(3, 101);
    QTest::newRow("straight up") << QPoint(104, 30) << -M_PI / 2 << QPoint(101, 3);
    QTest::newRow("straight down") << QPoint(104, 190) << M_PI / 2 << QPoint(101, 199);
}

void TestPattern::probe()
{
    QFETCH(QPoint, click);
    QFETCH(double, direction);
    QFETCH(QPoint, marker);
    action(m_form.get(), "Show2DCTF1")->trigger();
    typeAndEnter(m_form.get(), "edAstigm", QStringLiteral("60"));
    ChartWidget *chart1 = chart("Chart1");
    const double before = chart1->yValue(0, 1500);
    QTest::mouseClick(child<QWidget>(m_form.get(), "Image1"), Qt::LeftButton, {}, click);
    QVERIFY(std::fabs(m_form->state().Direction - direction) < 1e-12);
    QCOMPARE(child<QWidget>(m_form.get(), "Shape1")->pos(), marker);
    if (direction != 0)
        QVERIFY(chart1->yValue(0, 1500) != before); // the curve now runs along the clicked direction
    // Later redraws keep the direction.
    child<QScrollBar>(m_form.get(), "ScrollBar1")->setValue(100);
    QVERIFY(std::fabs(m_form->state().Direction - direction) < 1e-12);
    QCOMPARE(child<QWidget>(m_form.get(), "Shape1")->pos(), marker);
}

void TestPattern::probeCentreChangesNothing()
{
    QWidget *marker = child<QWidget>(m_form.get(), "Shape1");
    QCOMPARE(marker->pos(), QPoint(199, 101)); // start: right end of the horizontal diameter
    QTest::mouseClick(child<QWidget>(m_form.get(), "Image1"), Qt::LeftButton, {}, QPoint(54, 154));
    const QPoint placed = marker->pos();
    QTest::mouseClick(child<QWidget>(m_form.get(), "Image1"), Qt::LeftButton, {}, QPoint(104, 104));
    QCOMPARE(marker->pos(), placed);
    QVERIFY(std::fabs(m_form->state().Direction - M_PI / 4) < 1e-12);
}

void TestPattern::switchesInterplay()
{
    QAction *show = action(m_form.get(), "Show2DCTF1");
    QAction *live = action(m_form.get(), "Enable2DUpdate1");
    auto *liveButton = child<QToolButton>(m_form.get(), "btnUpdate2D");
    show->trigger();
    live->trigger(); // live update off
    QVERIFY(!live->isChecked());
    QVERIFY(!liveButton->isChecked());
    QVERIFY(!m_form->session().patternLive());
    show->trigger(); // off ...
    QVERIFY(!child<QWidget>(m_form.get(), "pa2Dctf")->isVisible());
    QVERIFY(!liveButton->isEnabled());
    m_form->session().setA2(90, false);
    show->trigger(); // ... and on: drawn once for the current values although live update is off
    QVERIFY(!live->isChecked());
    QVERIFY(liveButton->isChecked());
    const QImage image = pattern();
    QCOMPARE(grey(image, 180, 120),
             referencePatternGrey(m_form->state(), 76 * 10.0 / 103, 16 * 10.0 / 103, m_form->state().Defocus));
    QVERIFY(child<QToolButton>(m_form.get(), "btnShow2D")->isChecked());
}

void TestPattern::liveOffKeepsPicture()
{
    action(m_form.get(), "Show2DCTF1")->trigger();
    QTest::mouseClick(child<QToolButton>(m_form.get(), "btnUpdate2D"), Qt::LeftButton);
    QVERIFY(!action(m_form.get(), "Enable2DUpdate1")->isChecked());
    const QImage before = pattern();
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-150"));
    QCOMPARE(pattern(), before);
    QTest::mouseClick(child<QToolButton>(m_form.get(), "btnUpdate2D"), Qt::LeftButton); // on: redrawn at once
    QVERIFY(pattern() != before);
}

void TestPattern::mapRowsAndColumns()
{
    showMap();
    const QImage map = m_form->body().map()->image();
    const OpticsState &s = m_form->state();
    QCOMPARE(map.size(), QSize(416, 416));
    for (int y = 0; y < 416; ++y)
        QCOMPARE(grey(map, 0, y), 94);
    QCOMPARE(defocusMapDefocus(0, 416, -50, 200), 50.0);
    QCOMPARE(defocusMapDefocus(415, 416, -50, 200), -200.0);
    QCOMPARE(defocusMapFrequency(208, 416, 10), 5.0);
    const struct {
        int column;
        int row;
        double k;
        double defocus;
    } points[] = {{208, 0, 5.0, 50.0},
                  {208, 415, 5.0, -200.0},
                  {415, 200, 9.975961538461538, 50 - 200 * 250.0 / 415},
                  {100, 300, 100 * 10.0 / 416, 50 - 300 * 250.0 / 415}};
    for (const auto &p : points)
        QCOMPARE(grey(map, p.column, p.row), referenceMapGrey(s, p.k, p.defocus));
    // Every pixel as direct evaluation gives it.
    const DefocusMapGrid reference = referenceDefocusMap(s, 416, -50, 200, 10);
    for (int y = 0; y < 416; ++y)
        for (int c = 0; c < 416; ++c)
            QCOMPARE(grey(map, c, y), reference.at(c, y));
}

void TestPattern::mapAxesAndAlignment()
{
    showMap();
    ChartWidget *map = chart("Chart2");
    ChartWidget *curves = chart("Chart1");
    QCOMPARE(map->plotRect().left(), curves->plotRect().left());
    QCOMPARE(map->plotRect().right(), curves->plotRect().right());
    QVERIFY(map->isAxisInverted(ChartWidget::Axis::Left));
    const QVector<QString> left = map->tickLabels(ChartWidget::Axis::Left);
    const QVector<double> values = map->tickValues(ChartWidget::Axis::Left);
    QVERIFY(!left.isEmpty());
    QCOMPARE(values.first(), -50.0);
    QCOMPARE(left.first(), QStringLiteral("50"));
    QCOMPARE(values.last(), 200.0);
    QCOMPARE(left.last(), QStringLiteral("-200"));
    const QVector<QString> top = map->tickLabels(ChartWidget::Axis::Top);
    QCOMPARE(top.first(), QStringLiteral("d,(nm)"));
    QCOMPARE(map->tickLabels(ChartWidget::Axis::Bottom).first(), QStringLiteral("k,(nm-1)"));
    QCOMPARE(map->axisMaximum(ChartWidget::Axis::Bottom), 10.0);
    // The map fills exactly the plotting rectangle.
    const QImage shown = map->grab().toImage();
    const QRect plot = map->plotRect();
    QCOMPARE(grey(shown, plot.left(), plot.center().y()), 94);
    QCOMPARE(grey(shown, plot.left(), plot.top() + 3), 94);
}

void TestPattern::markerFollowsDefocus_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("edge");
    QTest::newRow("top for -Min") << -50 << "top";
    QTest::newRow("one above bottom for -Max") << 200 << "bottom";
    QTest::newRow("middle") << 75 << "middle";
}

void TestPattern::markerFollowsDefocus()
{
    QFETCH(int, position);
    QFETCH(QString, edge);
    showMap();
    const QImage before = m_form->body().map()->image();
    child<QScrollBar>(m_form.get(), "ScrollBar1")->setValue(position);
    const QRect plot = chart("Chart2")->plotRect();
    const QWidget *line = child<QWidget>(m_form.get(), "Shape2");
    QCOMPARE(line->height(), 2);
    QCOMPARE(line->x(), plot.left());
    QCOMPARE(line->width(), plot.width() + 1);
    const int expected = edge == "top" ? plot.top()
        : edge == "bottom"             ? plot.bottom() - 1
                                       : plot.top() + roundToInt(125.0 * (plot.height() - 2) / 250);
    QCOMPARE(line->y(), expected);
    QCOMPARE(m_form->body().map()->image(), before); // the map itself is not recomputed
}

void TestPattern::typedDefocusRebuildsMap()
{
    showMap();
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-300"));
    QCOMPARE(child<QScrollBar>(m_form.get(), "ScrollBar1")->maximum(), 300);
    const QImage map = m_form->body().map()->image();
    QCOMPARE(grey(map, 300, 415), referenceMapGrey(m_form->state(), 300 * 10.0 / 416, -300));
    QCOMPARE(chart("Chart2")->axisMaximum(ChartWidget::Axis::Left), 300.0);
    const QRect plot = chart("Chart2")->plotRect();
    QCOMPARE(child<QWidget>(m_form.get(), "Shape2")->y(), plot.bottom() - 1);
}

void TestPattern::fastOscillationWarning()
{
    TScopeData narrow = defaultScope();
    narrow.Convergence = 0.05e-3;
    QVERIFY(m_form->controls().ScopeInit(narrow));
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-300"));
    QWidget *panel = child<QWidget>(m_form.get(), "Panel1");
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->geometry(), child<QWidget>(m_form.get(), "StatusPanel1")->rect());
    MessageBoxCatcher box;
    QTest::mouseClick(panel, Qt::LeftButton);
    QTRY_VERIFY(!box.text.isEmpty());
    QCOMPARE(box.title, QStringLiteral("Information"));
    QCOMPARE(box.text,
             QStringLiteral("Strange patterns may appear in  2D CTF and Defocus Map\n"
                            "due to the Moire effect. Usually this happens at large\n"
                            "defocus values.\n"
                            "Please disregard those.\n"
                            "If possible, use defocusi less than 300 nm."));
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-60"));
    QVERIFY(!panel->isVisible());
}

ORVALIS_UI_TEST_MAIN(TestPattern)
#include "test_pattern.moc"
