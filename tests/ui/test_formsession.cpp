// The window shows its session: after every step a user takes, each series of the 1D chart holds the
// session's points, each menu tick and bar button shows the session's choice, the sliders span the
// session's ranges, and what the window stores at close is what its bars showed.
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "session/ctfsession.h"
#include "store/windowsettings.h"

#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

class TestFormSession : public QObject {
    Q_OBJECT
private slots:
    void agreesAfterEveryStep_data();
    void agreesAfterEveryStep();
};

namespace {

void takeStep(TForm1 &form, const QString &step)
{
    const QStringList parts = step.split(QLatin1Char(' '));
    const QString what = parts.first();
    if (what == "menu") {
        action(&form, qPrintable(parts.at(1)))->trigger();
    } else if (what == "click") {
        auto *button = child<QToolButton>(&form, qPrintable(parts.at(1)));
        QVERIFY2(button->isVisible(), qPrintable(step)); // only what the user can reach
        QTest::mouseClick(button, Qt::LeftButton);
    } else if (what == "type") {
        typeAndEnter(&form, qPrintable(parts.at(1)), parts.at(2));
    } else if (what == "drag") {
        // One step of a drag: coarse on the change, full at the release.
        auto *bar = child<QScrollBar>(&form, qPrintable(parts.at(1)));
        bar->setFocus();
        QTest::keyClick(bar, parts.at(2) == "right" ? Qt::Key_Right : Qt::Key_Left);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

// Where the window and its session could drift apart.
void checkAgreement(TForm1 &form, const QString &after)
{
    CtfSession &session = form.session();
    auto *chart = child<ChartWidget>(&form, "Chart1");
    QCOMPARE(chart->seriesCount(), int(CurveSeriesCount));
    for (int j = 0; j < CurveSeriesCount; ++j) {
        const QVector<double> &x = session.seriesX(j);
        const QVector<double> &y = session.seriesY(j);
        QVERIFY2(chart->pointCount(j) == y.size(),
                 qPrintable(QStringLiteral("after %1: series %2 has %3 points, the session %4")
                                .arg(after)
                                .arg(j + 1)
                                .arg(chart->pointCount(j))
                                .arg(y.size())));
        for (int i = 0; i < y.size(); i += std::max<qsizetype>(1, y.size() / 64))
            QVERIFY2(chart->xValue(j, i) == x[i] && chart->yValue(j, i) == y[i],
                     qPrintable(QStringLiteral("after %1: series %2, point %3").arg(after).arg(j + 1).arg(i)));
    }
    const ViewChoices v = session.viewChoices();
    const std::pair<const char *, bool> ticks[] = {{"Intensity1", v.intensity}, {"Symmetr1", v.symmetric},
                                                   {"Temporal1", v.temporal},   {"Spatial1", v.spatial},
                                                   {"Combined1", v.combined},   {"Show2DCTF1", v.show2D},
                                                   {"N3D1", v.mapShown},        {"N1DCTFPlotMode1", v.plotterMode}};
    for (const auto &tick : ticks)
        QVERIFY2(action(&form, tick.first)->isChecked() == tick.second,
                 qPrintable(QStringLiteral("after %1: %2").arg(after, QLatin1String(tick.first))));
    const std::pair<const char *, bool> buttons[] = {{"btnShow2D", v.show2D},       {"btnUpdate2D", v.live2D},
                                                     {"btnTemporal", v.temporal},   {"btnSpatial", v.spatial},
                                                     {"btnCombined", v.combined},   {"btnEnvelopes", v.showEnvelopes},
                                                     {"btnIntensity", v.intensity}, {"btnSymmetr", v.symmetric}};
    for (const auto &button : buttons)
        QVERIFY2(child<QToolButton>(&form, button.first)->isChecked() == button.second,
                 qPrintable(QStringLiteral("after %1: %2").arg(after, QLatin1String(button.first))));
    // A curve switched off is empty, whichever mode switched it.
    const std::pair<bool, QVector<int>> offs[] = {
        {v.plotterMode && !v.showEnvelopes, {CurveCombined, CurveCombinedNeg}},
        {!v.plotterMode && !v.temporal, {CurveTemporal, CurveTemporalNeg}},
        {!v.plotterMode && !v.spatial, {CurveSpatial, CurveSpatialNeg}},
        {!v.plotterMode && !v.combined, {CurveCombined, CurveCombinedNeg}},
        {!v.plotterMode && (v.intensity || !v.symmetric), {CurveTemporalNeg, CurveSpatialNeg, CurveCombinedNeg}},
        {!v.plotterMode, {CurveCtf2}},
        {v.plotterMode, {CurveTemporal, CurveSpatial, CurveTemporalNeg, CurveSpatialNeg}}};
    for (const auto &off : offs)
        if (off.first)
            for (int j : off.second)
                QVERIFY2(chart->pointCount(j) == 0,
                         qPrintable(QStringLiteral("after %1: series %2 should be empty").arg(after).arg(j + 1)));
    const OptionRanges r = session.ranges();
    QCOMPARE(child<QScrollBar>(&form, "ScrollBar1")->minimum(), r.defocusMin);
    QCOMPARE(child<QScrollBar>(&form, "ScrollBar1")->maximum(), r.defocusMax);
    QCOMPARE(child<QScrollBar>(&form, "ScrollBar2")->maximum(), r.a2Max);
    QCOMPARE(child<QScrollBar>(&form, "ScrollBar3")->maximum(), r.a3Max);
    auto *tree = child<QTreeWidget>(&form, "TreeView1");
    QCOMPARE(tree->topLevelItem(1)->child(0)->text(0), session.pointResolutionText());
    QCOMPARE(tree->topLevelItem(1)->child(1)->text(0), session.infoLimitText());
    // The record keeps the start-up defocus unrounded until the slider moves.
    QCOMPARE(qRound(session.activeScopeRecord().Defocus), -child<QScrollBar>(&form, "ScrollBar1")->value());
}

} // namespace

void TestFormSession::agreesAfterEveryStep_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("analysis curves") << QStringList{"drag ScrollBar1 right", "menu Temporal1",   "menu Symmetr1",
                                                    "menu Intensity1",       "menu Intensity1",  "menu Combined1",
                                                    "click btnSpatial",      "click btnTemporal"};
    QTest::newRow("pattern and map") << QStringList{
        "menu Show2DCTF1", "menu Enable2DUpdate1", "menu Show2DCTF1", "click btnShow2D", "click btnUpdate2D",
        "menu N3D1",       "drag ScrollBar1 left", "menu N3D1"};
    QTest::newRow("plotter, both CTFs") << QStringList{
        "menu N1DCTFPlotMode1",  "click btnEnvelopes",   "click btn2ndCTF",     "drag ScrollBar1 right",
        "drag ScrollBar1 right", "click btnEnvelopes",   "click btn1stCTF",     "click btnEnvelopes",
        "click btn2ndCTF",       "menu N1DCTFPlotMode1", "menu N1DCTFPlotMode1"};
    QTest::newRow("ranges widened by typing")
        << QStringList{"type edDefocus 300", "type edDefocus -900", "type edAstigm -500", "type edAstigm3 20000"};
}

void TestFormSession::agreesAfterEveryStep()
{
    QFETCH(QStringList, steps);
    QVERIFY(!steps.isEmpty());
    FreshSettingsFolder settings;
    auto form = std::make_unique<TForm1>();
    form->resize(1000, 720);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    checkAgreement(*form, QStringLiteral("start-up"));
    for (const QString &step : steps) {
        takeStep(*form, step);
        QApplication::processEvents();
        checkAgreement(*form, step);
    }

    // What is stored is what the bars and menus show.
    const bool shown2D = child<QToolButton>(form.get(), "btnShow2D")->isChecked();
    const bool live = child<QToolButton>(form.get(), "btnUpdate2D")->isChecked();
    const bool envelopes = child<QToolButton>(form.get(), "btnEnvelopes")->isChecked();
    const bool map = child<QToolButton>(form.get(), "btnShow3D")->isChecked();
    const bool plotter = action(form.get(), "N1DCTFPlotMode1")->isChecked();
    const int underfocus = child<QScrollBar>(form.get(), "ScrollBar1")->maximum();
    const int a3max = child<QScrollBar>(form.get(), "ScrollBar3")->maximum();
    form->close();
    const WindowSettings stored = ReadWindowSettings();
    QCOMPARE(stored.Show2d, std::optional<bool>(shown2D));
    QCOMPARE(stored.Update2D, std::optional<bool>(live));
    QCOMPARE(stored.Envelopes, std::optional<bool>(envelopes));
    QCOMPARE(stored.Show3D, std::optional<bool>(map));
    QCOMPARE(stored.PlotMode, std::optional<bool>(plotter));
    QCOMPARE(stored.Underfocus, std::optional<int>(underfocus));
    QCOMPARE(stored.a3max, std::optional<int>(a3max));
}

QTEST_MAIN(TestFormSession)
#include "test_formsession.moc"
