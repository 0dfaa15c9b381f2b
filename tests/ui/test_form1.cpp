// The main window as a user meets it: start-up values, the aberration controls, the curve options.
#include "formdriver.h"

#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "core/scopedata.h"

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QToolButton>
#include <QTreeWidget>
#include <QWheelEvent>

#include <cmath>
#include <memory>

using namespace orvalis;
using namespace orvalis::test;

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startupWindow();
    void startupTree();
    void startupCurves();
    void arrowClickRedrawsCoarseThenFull();
    void keyboardStepRedrawsCoarseThenFull();
    void stepsWithoutHeldButtonEndInFull_data();
    void stepsWithoutHeldButtonEndInFull();
    void sliderPanelTabOrder();
    void typedValues_data();
    void typedValues();
    void typedValueAtPositionRaisesNoChange();
    void enterInMagnificationCommitsThreeFold();
    void magnificationAfterLoad();
    void convergenceOfSliderPosition_data();
    void convergenceOfSliderPosition();
    void resolutionNotFoundShowsDash_data();
    void resolutionNotFoundShowsDash();
    void badText_data();
    void badText();
    void jumpButtons();
    void envelopeToggles_data();
    void envelopeToggles();
    void intensityAndSymmetric();
    void axisLabels();
    void unusableInstrumentRefused();
    void plotterKeepsEachCtfsDefocus();
    void plotterEnvelopesOff();
    void exitCloses();
    void keptCurvesFollowTheirTerms_data();
    void keptCurvesFollowTheirTerms();

private:
    ChartWidget *chart1() { return child<ChartWidget>(m_form.get(), "Chart1"); }
    QScrollBar *bar(const char *name) { return child<QScrollBar>(m_form.get(), name); }
    QString text(const char *field) { return child<QLineEdit>(m_form.get(), field)->text(); }
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TForm1> m_form;
};

void TestForm1::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestForm1::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

void TestForm1::startupWindow()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Orvalis"));
    QCOMPARE(m_form->size(), QSize(759, 612));
    QCOMPARE(text("edDefocus"), QStringLiteral("-67"));
    QCOMPARE(bar("ScrollBar1")->value(), 67);
    QCOMPARE(text("edMagn"), QStringLiteral("x 518 k"));
    QCOMPARE(child<QLabel>(m_form.get(), "Label3")->text(), QStringLiteral("(Convergence: 0.3000 mrad)"));
    QCOMPARE(chart1()->seriesCount(), 8);
    QVERIFY(!child<QWidget>(m_form.get(), "pa2Dctf")->isVisible());
    QVERIFY(!child<QWidget>(m_form.get(), "pa3dCTF")->isVisible());
    QVERIFY(child<QWidget>(m_form.get(), "fmBtnBar2dCTF")->isVisible());
    QVERIFY(action(m_form.get(), "Enable2DUpdate1")->isChecked());
    QVERIFY(!action(m_form.get(), "N1DCTFPlotMode1")->isChecked()); // analysis mode after start-up
    QVERIFY(!m_form->state().PlotterMode);
    QVERIFY(!m_form->painter().markerPending()); // the first paint of the chart placed the map's marker
    QCOMPARE(m_form->state().Defocus, m_form->state().ExtScherzer);
}

void TestForm1::startupTree()
{
    auto *tree = child<QTreeWidget>(m_form.get(), "TreeView1");
    QCOMPARE(tree->topLevelItemCount(), 3);
    const QStringList expected[] = {
        {"Voltage:  200 keV", "Wavelength:  0.00251 nm", "Cs:  1.2 mm", "Cc:  1.2 mm", "Energy Spread:  0.6 eV",
         "HT Ripple:  0.25 ppm", "Obj Lens Instabilities:  0.5 ppm", "Focal Spread:  1.97 nm",
         "Convergence:  0.30 mrad"},
        {"Point-to-Point:  0.25/0.24 nm", "Info Limit:  0.10/0.15 nm"},
        {"Scherzer:  -54.9 nm", "Extended Scherzer:  -67.2 nm", "2nd Passband:  -102.6 nm", "Lichte:  -566.0 nm"},
    };
    for (int g = 0; g < 3; ++g) {
        QStringList lines;
        for (int c = 0; c < tree->topLevelItem(g)->childCount(); ++c)
            lines << tree->topLevelItem(g)->child(c)->text(0);
        QCOMPARE(lines, expected[g]);
    }
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Microscope: Default/Use SetUp Menu to change"));
    auto *list = child<QListWidget>(m_form.get(), "ListView1");
    QCOMPARE(list->count(), 9);
    tree->setCurrentItem(tree->topLevelItem(1)->child(0)); // a line selects its group
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QStringLiteral("Info Limit:  0.10/0.15 nm"));
}

void TestForm1::startupCurves()
{
    ChartWidget *c = chart1();
    for (int s = 0; s < 4; ++s)
        QCOMPARE(c->pointCount(s), 4097);
    QCOMPARE(c->pointCount(7), 0);
    QCOMPARE(c->xValue(0, 0), 0.0);
    QCOMPARE(c->yValue(0, 0), 0.0);
    QCOMPARE(c->yValue(3, 0), 1.0);
    QCOMPARE(c->xValue(0, 4096), 10.0);
    QVERIFY(m_form->state().PointRes && std::fabs(*m_form->state().PointRes - 0.237) < 5e-4);
    QVERIFY(m_form->state().InfoLimit && std::fabs(*m_form->state().InfoLimit - 0.154) < 5e-4);
    QVERIFY(!child<QWidget>(m_form.get(), "Panel1")->isVisible());
}

void TestForm1::arrowClickRedrawsCoarseThenFull()
{
    QScrollBar *astigmatism = bar("ScrollBar2");
    const QPoint arrow(astigmatism->width() - 3, astigmatism->height() / 2);
    QTest::mousePress(astigmatism, Qt::LeftButton, {}, arrow);
    QCOMPARE(astigmatism->value(), 1);
    QCOMPARE(m_form->state().A2, 1.0);
    QCOMPARE(text("edAstigm"), QStringLiteral("1"));
    QCOMPARE(chart1()->pointCount(0), 257); // coarse while the button is held
    QCOMPARE(m_form->state().StepFactor, 4);
    QTest::mouseRelease(astigmatism, Qt::LeftButton, {}, arrow);
    QCOMPARE(chart1()->pointCount(0), 4097); // full at the end of the scroll
    QCOMPARE(m_form->state().StepFactor, 1);
}

void TestForm1::keyboardStepRedrawsCoarseThenFull()
{
    QScrollBar *defocus = bar("ScrollBar1");
    defocus->setFocus();
    QTest::keyPress(defocus, Qt::Key_Right);
    QCOMPARE(defocus->value(), 68);
    QCOMPARE(m_form->state().Defocus, -68.0);
    QCOMPARE(text("edDefocus"), QStringLiteral("-68"));
    QCOMPARE(chart1()->pointCount(0), 257);
    QTest::keyRelease(defocus, Qt::Key_Right);
    QCOMPARE(chart1()->pointCount(0), 4097);
}

namespace {

void turnWheel(QScrollBar *bar, int notches)
{
    const QPoint at(bar->width() / 2, bar->height() / 2);
    QWheelEvent wheel(at, bar->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &wheel);
}

// Opens the bar's own context menu and picks the named entry, as a user does with the keyboard.
void pickFromContextMenu(QScrollBar *bar, const QString &entry)
{
    QString missing;
    QTimer::singleShot(0, bar, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) {
            missing = QStringLiteral("no menu");
            return;
        }
        for (QAction *a : menu->actions()) {
            if (a->text() == entry) {
                menu->setActiveAction(a);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        missing = entry;
        menu->close();
    });
    const QPoint at(bar->width() / 2, bar->height() / 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, bar->mapToGlobal(at));
    QApplication::sendEvent(bar, &event);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

} // namespace

void TestForm1::stepsWithoutHeldButtonEndInFull_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<QString>("entry"); // empty: one wheel notch
    for (const char *slider : {"ScrollBar1", "ScrollBar2", "ScrollBar3", "ScrollBar4"})
        QTest::addRow("wheel on %s", slider) << slider << QString();
    for (const char *entry : {"Page right", "Right edge", "Scroll left", "Left edge"})
        QTest::addRow("menu '%s'", entry) << "ScrollBar1" << entry;
    QTest::newRow("menu 'Scroll right' on the three-fold slider") << "ScrollBar3"
                                                                  << "Scroll right";
}

void TestForm1::stepsWithoutHeldButtonEndInFull()
{
    QFETCH(QString, slider);
    QFETCH(QString, entry);
    QScrollBar *b = bar(slider.toLatin1().constData());
    const int before = b->value();
    auto *tree = child<QTreeWidget>(m_form.get(), "TreeView1");
    if (entry.isEmpty())
        turnWheel(b, before == b->maximum() ? -1 : 1);
    else
        pickFromContextMenu(b, entry);
    QVERIFY(b->value() != before);
    QCOMPARE(m_form->state().StepFactor, 1);
    QCOMPARE(chart1()->pointCount(0), 4097);
    // The resolution texts are those of a full computation at the new values.
    const QString shown = tree->topLevelItem(1)->child(0)->text(0) + tree->topLevelItem(1)->child(1)->text(0);
    const OpticsState &s = m_form->state();
    m_form->painter().DrawCTF(s.Defocus, s.Direction);
    QCOMPARE(shown, tree->topLevelItem(1)->child(0)->text(0) + tree->topLevelItem(1)->child(1)->text(0));

    // A later redraw that sets no step factor of its own stays full.
    action(m_form.get(), "Intensity1")->trigger();
    QCOMPARE(chart1()->pointCount(0), 4097);
}

void TestForm1::sliderPanelTabOrder()
{
    const QStringList expected = {"ScrollBar1", "ScrollBar2", "ScrollBar3", "ScrollBar4",
                                  "edDefocus",  "edAstigm",   "edAstigm3",  "edMagn"};
    m_form->activateWindow();
    bar("ScrollBar1")->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
    for (const char *button : {"SpeedButton1", "SpeedButton2", "SpeedButton3"})
        QVERIFY2(!(child<QWidget>(m_form.get(), button)->focusPolicy() & Qt::TabFocus), button);
}

void TestForm1::typedValues_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("slider");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("position");
    QTest::newRow("overfocus widens min") << "edDefocus"
                                          << "300"
                                          << "ScrollBar1" << -300 << 200 << -300;
    QTest::newRow("underfocus widens max") << "edDefocus"
                                           << "-500"
                                           << "ScrollBar1" << -50 << 500 << 500;
    QTest::newRow("defocus in range") << "edDefocus"
                                      << "-120"
                                      << "ScrollBar1" << -50 << 200 << 120;
    QTest::newRow("negative astigmatism") << "edAstigm"
                                          << "-50"
                                          << "ScrollBar2" << 0 << 200 << 50;
    QTest::newRow("astigmatism widens") << "edAstigm"
                                        << "350"
                                        << "ScrollBar2" << 0 << 350 << 350;
    QTest::newRow("underfocus of a metre") << "edDefocus"
                                           << "-1000000000"
                                           << "ScrollBar1" << -50 << 1000000000 << 1000000000;
    QTest::newRow("three-fold widens") << "edAstigm3"
                                       << "12000"
                                       << "ScrollBar3" << 0 << 12000 << 12000;
}

void TestForm1::typedValues()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, slider);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, position);
    typeAndEnter(m_form.get(), field.toLatin1().constData(), typed);
    QScrollBar *b = bar(slider.toLatin1().constData());
    QCOMPARE(b->minimum(), minimum);
    QCOMPARE(b->maximum(), maximum);
    QCOMPARE(b->value(), position);
    QCOMPARE(chart1()->pointCount(0), 4097); // typed values redraw in full
    if (field == "edDefocus") {
        QCOMPARE(m_form->state().Defocus, typed.toDouble());
        QCOMPARE(m_form->ScopeRecord1.Defocus, typed.toDouble());
    } else if (field == "edAstigm") {
        QCOMPARE(m_form->state().A2, double(position));
        QCOMPARE(text("edAstigm"), QString::number(position)); // the change event rewrites the field
    } else {
        QCOMPARE(m_form->state().A3, double(position));
    }
}

void TestForm1::typedValueAtPositionRaisesNoChange()
{
    QSignalSpy changes(bar("ScrollBar1"), &QScrollBar::valueChanged);
    const double before = m_form->state().Defocus; // unrounded extended Scherzer
    chart1()->clearSeries(0);
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-67"));
    QCOMPARE(changes.count(), 0);
    QCOMPARE(chart1()->pointCount(0), 0); // not redrawn
    QVERIFY(before != -67.0);
    QCOMPARE(m_form->state().Defocus, -67.0); // but stored
}

void TestForm1::enterInMagnificationCommitsThreeFold()
{
    child<QLineEdit>(m_form.get(), "edAstigm3")->setText(QStringLiteral("40"));
    typeAndEnter(m_form.get(), "edMagn", text("edMagn"));
    QCOMPARE(bar("ScrollBar3")->value(), 40);
    QCOMPARE(m_form->state().A3, 40.0);
}

void TestForm1::magnificationAfterLoad()
{
    bar("ScrollBar4")->setValue(14);
    QCOMPARE(text("edMagn"), QStringLiteral("x 12 k"));
    QVERIFY(m_form->controls().ScopeInit(defaultScope())); // back to 35, where the convergence is the instrument's
    QCOMPARE(text("edMagn"), QStringLiteral("x 518 k"));
    QCOMPARE(child<QLabel>(m_form.get(), "Label3")->text(), QStringLiteral("(Convergence: 0.3000 mrad)"));
    QCOMPARE(m_form->state().Alpha, m_form->state().Convergence);
    QVERIFY(m_form->controls().ScopeInit(defaultScope())); // already at 35
    QCOMPARE(m_form->state().Alpha, m_form->state().Convergence);
}

// One convergence per slider position, however the slider got there, shown alike by the label, the
// tree and the list of the microscope group.
void TestForm1::convergenceOfSliderPosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("line");
    QTest::newRow("highest") << 39 << "(Convergence: 1.2515 mrad)"
                             << "Convergence:  1.25 mrad";
    QTest::newRow("one step up") << 36 << "(Convergence: 0.4284 mrad)"
                                 << "Convergence:  0.43 mrad";
    QTest::newRow("lowest") << 14 << "(Convergence: 0.0002 mrad)"
                            << "Convergence:  0.00 mrad";
}

void TestForm1::convergenceOfSliderPosition()
{
    QFETCH(int, position);
    QFETCH(QString, label);
    QFETCH(QString, line);
    auto *tree = child<QTreeWidget>(m_form.get(), "TreeView1");
    auto *list = child<QListWidget>(m_form.get(), "ListView1");
    QCOMPARE(list->count(), 9); // the microscope group is shown at start
    const auto shows = [&](const QString &labelText, const QString &lineText) {
        QCOMPARE(child<QLabel>(m_form.get(), "Label3")->text(), labelText);
        QCOMPARE(tree->topLevelItem(0)->child(8)->text(0), lineText);
        QCOMPARE(list->item(8)->text(), lineText);
    };
    shows(QStringLiteral("(Convergence: 0.3000 mrad)"), QStringLiteral("Convergence:  0.30 mrad"));
    bar("ScrollBar4")->setFocus();
    const Qt::Key step = position > bar("ScrollBar4")->value() ? Qt::Key_Right : Qt::Key_Left;
    while (bar("ScrollBar4")->value() != position)
        QTest::keyClick(bar("ScrollBar4"), step);
    shows(label, line);
    bar("ScrollBar4")->setValue(35);
    shows(QStringLiteral("(Convergence: 0.3000 mrad)"), QStringLiteral("Convergence:  0.30 mrad"));
    QCOMPARE(m_form->state().Alpha, m_form->state().Convergence);
}

// A value the curve on screen does not give is shown as "-", never as the one of an earlier state.
void TestForm1::resolutionNotFoundShowsDash_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("overfocus typed") << "overfocus"
                                     << QStringList{"Point-to-Point:  0.25/- nm", "Info Limit:  0.10/0.18 nm"};
    QTest::newRow("corrected instrument at its Scherzer defocus")
        << "corrected" << QStringList{"Point-to-Point:  0.11/0.10 nm", "Info Limit:  0.08/- nm"};
    QTest::newRow("no Cs") << "no Cs" << QStringList{"Point-to-Point:  -/0.41 nm", "Info Limit:  0.08/- nm"};
}

void TestForm1::resolutionNotFoundShowsDash()
{
    QFETCH(QString, change);
    QFETCH(QStringList, texts);
    auto *tree = child<QTreeWidget>(m_form.get(), "TreeView1");
    auto *list = child<QListWidget>(m_form.get(), "ListView1");
    tree->setCurrentItem(tree->topLevelItem(1));
    QCOMPARE(list->item(1)->text(), QStringLiteral("Info Limit:  0.10/0.15 nm"));
    if (change == "overfocus") {
        typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("50"));
    } else {
        // A 200 kV cold field emission instrument at the defocus in use, with Cs as a corrector sets it
        // for imaging, or none.
        TScopeData scope = defaultScope();
        scope.Defocus = m_form->state().Defocus;
        scope.Cs = change == "corrected" ? -0.04e6 : 0.0;
        scope.Cc = 1.4e6;
        scope.dE = 0.35;
        scope.dvv = 0.3e-6;
        scope.dii = 0.3e-6;
        scope.Convergence = 0.1e-3;
        QVERIFY(m_form->setup().ApplyScopeRecord(scope));
        if (change == "corrected")
            QTest::mouseClick(child<QWidget>(m_form.get(), "SpeedButton1"), Qt::LeftButton);
    }
    const QStringList shown = {tree->topLevelItem(1)->child(0)->text(0), tree->topLevelItem(1)->child(1)->text(0)};
    QCOMPARE(shown, texts);
    QCOMPARE(QStringList({list->item(0)->text(), list->item(1)->text()}), texts);
}

void TestForm1::badText_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    for (const char *field : {"edDefocus", "edAstigm", "edAstigm3"}) {
        for (const char *bad : {"abc", "", "1.5", "12x", "99999999999"})
            QTest::addRow("%s '%s'", field, bad)
                << field << bad << QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(bad));
    }
    // Beyond a metre the slider's span would no longer fit its arithmetic.
    const QString beyond = QStringLiteral(
        "'%1' is not a valid value for %2: it must be from -1000000000 to 1000000000 nm");
    QTest::newRow("edDefocus beyond a metre") << "edDefocus"
                                              << "-1000000001" << beyond.arg("-1000000001", "Defocus");
    QTest::newRow("edAstigm of the largest integer") << "edAstigm"
                                                     << "2147483647" << beyond.arg("2147483647", "Astigmatism");
    QTest::newRow("edAstigm3 of the lowest integer")
        << "edAstigm3"
        << "-2147483648" << beyond.arg("-2147483648", "3-fold Astigmatism");
}

void TestForm1::badText()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    const OpticsState before = m_form->state();
    const int positions[] = {bar("ScrollBar1")->value(), bar("ScrollBar2")->value(), bar("ScrollBar3")->value()};
    MessageBoxCatcher box;
    typeAndEnter(m_form.get(), field.toLatin1().constData(), typed);
    QTRY_VERIFY(!box.text.isEmpty());
    QCOMPARE(box.text, message);
    QCOMPARE(m_form->state().Defocus, before.Defocus);
    QCOMPARE(m_form->state().A2, before.A2);
    QCOMPARE(m_form->state().A3, before.A3);
    QCOMPARE(bar("ScrollBar1")->value(), positions[0]);
    QCOMPARE(bar("ScrollBar2")->value(), positions[1]);
    QCOMPARE(bar("ScrollBar3")->value(), positions[2]);
    QCOMPARE(bar("ScrollBar1")->minimum(), -50);
}

void TestForm1::jumpButtons()
{
    bar("ScrollBar1")->setValue(150);
    bar("ScrollBar2")->setValue(30);
    bar("ScrollBar3")->setValue(300);
    QTest::mouseClick(child<QToolButton>(m_form.get(), "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(bar("ScrollBar1")->value(), 67); // extended Scherzer, not Scherzer (55)
    QCOMPARE(chart1()->pointCount(0), 4097);
    QTest::mouseClick(child<QToolButton>(m_form.get(), "SpeedButton2"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(m_form.get(), "SpeedButton3"), Qt::LeftButton);
    QCOMPARE(m_form->state().A2, 0.0);
    QCOMPARE(m_form->state().A3, 0.0);

    // Beyond the slider's range the button lands on its end.
    TScopeData large = defaultScope();
    large.Cs = 1e8;
    QVERIFY(m_form->controls().ScopeInit(large));
    QTest::mouseClick(child<QToolButton>(m_form.get(), "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(bar("ScrollBar1")->value(), 200);
}

void TestForm1::envelopeToggles_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("mirror");
    QTest::newRow("temporal") << "Temporal1"
                              << "btnTemporal" << 1 << 4;
    QTest::newRow("spatial") << "Spatial1"
                             << "btnSpatial" << 2 << 5;
    QTest::newRow("combined") << "Combined1"
                              << "btnCombined" << 3 << 6;
}

void TestForm1::envelopeToggles()
{
    QFETCH(QString, item);
    QFETCH(QString, button);
    QFETCH(int, series);
    QFETCH(int, mirror);
    QAction *menu = action(m_form.get(), item.toLatin1().constData());
    auto *barButton = child<QToolButton>(m_form.get(), button.toLatin1().constData());
    action(m_form.get(), "Symmetr1")->trigger();
    QCOMPARE(chart1()->pointCount(mirror), 4097);
    QVERIFY(barButton->isChecked());

    menu->trigger(); // off from the menu
    QVERIFY(!menu->isChecked());
    QVERIFY(!barButton->isChecked());
    QCOMPARE(chart1()->pointCount(series), 0);
    QCOMPARE(chart1()->pointCount(mirror), 0);
    QVERIFY(!chart1()->isSeriesVisible(series));
    QVERIFY(!chart1()->isSeriesVisible(mirror));

    QTest::mouseClick(barButton, Qt::LeftButton); // on again from the bar
    QVERIFY(menu->isChecked());
    QVERIFY(barButton->isChecked());
    QCOMPARE(chart1()->pointCount(series), 4097);
    QCOMPARE(chart1()->pointCount(mirror), 4097);
    QVERIFY(chart1()->isSeriesVisible(series));
}

void TestForm1::intensityAndSymmetric()
{
    auto *symmetric = child<QToolButton>(m_form.get(), "btnSymmetr");
    QTest::mouseClick(symmetric, Qt::LeftButton);
    QVERIFY(action(m_form.get(), "Symmetr1")->isChecked());
    QVERIFY(symmetric->isChecked());
    QCOMPARE(chart1()->yValue(6, 0), -1.0);
    action(m_form.get(), "Intensity1")->trigger();
    QVERIFY(child<QToolButton>(m_form.get(), "btnIntensity")->isChecked());
    for (int s = 4; s < 7; ++s)
        QCOMPARE(chart1()->pointCount(s), 0);
    for (int s = 0; s < 4; ++s)
        for (int i = 0; i < chart1()->pointCount(s); i += 7)
            QVERIFY(chart1()->yValue(s, i) >= 0);
}

void TestForm1::axisLabels()
{
    ChartWidget *c = chart1();
    c->layOut();
    const auto labelAt = [c](ChartWidget::Axis axis, double value) {
        const QVector<double> ticks = c->tickValues(axis);
        for (int i = 0; i < ticks.size(); ++i)
            if (std::fabs(ticks[i] - value) < 1e-9)
                return c->tickLabels(axis).at(i);
        return QStringLiteral("<no tick>");
    };
    QCOMPARE(labelAt(ChartWidget::Axis::Top, 0), QStringLiteral("d,(nm)"));
    QCOMPARE(labelAt(ChartWidget::Axis::Bottom, 0), QStringLiteral("k,(nm-1)"));
    QCOMPARE(labelAt(ChartWidget::Axis::Bottom, 2), QStringLiteral("2"));
    QCOMPARE(labelAt(ChartWidget::Axis::Top, 2), QStringLiteral("0.500"));
    QCOMPARE(c->axisMinimum(ChartWidget::Axis::Left), -1.1);
    QCOMPARE(c->axisMaximum(ChartWidget::Axis::Right), 1.1);
    QCOMPARE(c->axisMaximum(ChartWidget::Axis::Top), 10.0);
}

void TestForm1::unusableInstrumentRefused()
{
    const OpticsState before = m_form->state();
    TScopeData broken = defaultScope();
    broken.Voltage = 0;
    MessageBoxCatcher box;
    QVERIFY(!m_form->controls().ScopeInit(broken));
    QVERIFY2(box.text.contains(QStringLiteral("Voltage (kV) is 0; it must be from 0.001")), qPrintable(box.text));
    QCOMPARE(m_form->state().Wavelength, before.Wavelength);
    QCOMPARE(m_form->state().Voltage, 200.0);
    const QString tree = child<QTreeWidget>(m_form.get(), "TreeView1")->topLevelItem(0)->child(1)->text(0);
    QCOMPARE(tree, QStringLiteral("Wavelength:  0.00251 nm"));
}

void TestForm1::plotterKeepsEachCtfsDefocus()
{
    const double firstDefocus = m_form->state().Defocus; // the extended Scherzer defocus of the start
    m_form->views().ChangeMode();
    QVERIFY(m_form->state().PlotterMode);
    QVERIFY(child<QWidget>(m_form.get(), "fmBtnBar1dCTF")->isVisible());
    QCOMPARE(chart1()->pointCount(0), 4097);
    QCOMPARE(chart1()->pointCount(1), 0); // no temporal envelope in plotter mode

    QTest::mouseClick(child<QToolButton>(m_form.get(), "btn2ndCTF"), Qt::LeftButton);
    QVERIFY(m_form->state().SecondCTF);
    bar("ScrollBar1")->setValue(150);
    QCOMPARE(m_form->ScopeRecord2.Defocus, -150.0);
    QCOMPARE(chart1()->pointCount(7), 4097);

    QTest::mouseClick(child<QToolButton>(m_form.get(), "btn1stCTF"), Qt::LeftButton);
    QVERIFY(!m_form->state().SecondCTF);
    QCOMPARE(bar("ScrollBar1")->value(), 67);
    QCOMPARE(m_form->state().Defocus, firstDefocus); // as it was, not rounded to the slider's step
    QCOMPARE(chart1()->pointCount(7), 4097);         // the second CTF stays on the chart

    m_form->views().ChangeMode();
    QVERIFY(!m_form->state().PlotterMode);
    QCOMPARE(chart1()->pointCount(7), 0); // entering analysis mode starts from empty series
}

void TestForm1::plotterEnvelopesOff()
{
    m_form->views().ChangeMode();
    auto *envelopes = child<QToolButton>(m_form.get(), "btnEnvelopes");
    QVERIFY(!envelopes->isChecked());
    QCOMPARE(chart1()->pointCount(3), 0);
    QTest::mouseClick(envelopes, Qt::LeftButton);
    QVERIFY(m_form->state().ShowEnvelopes);
    QCOMPARE(chart1()->pointCount(3), 4097);
    QTest::mouseClick(envelopes, Qt::LeftButton);
    QCOMPARE(chart1()->pointCount(3), 0);
    QVERIFY(!chart1()->isSeriesVisible(3));
}

void TestForm1::exitCloses()
{
    action(m_form.get(), "Exit1")->trigger();
    QVERIFY(!m_form->isVisible());
}

ORVALIS_UI_TEST_MAIN(TestForm1)
// The chart keeps a curve's thinned lines while its points stay (the temporal envelope under a defocus
// step): a change of what a curve is computed from must reach the picture, exactly as if it were
// drawn afresh.
void TestForm1::keptCurvesFollowTheirTerms_data()
{
    QTest::addColumn<QString>("term");
    QTest::addColumn<bool>("temporalMoves");
    QTest::newRow("energy spread") << "dE" << true;
    QTest::newRow("chromatic aberration") << "Cc" << true;
    QTest::newRow("defocus") << "defocus" << false;
}

void TestForm1::keptCurvesFollowTheirTerms()
{
    QFETCH(QString, term);
    QFETCH(bool, temporalMoves);
    CtfSession &session = m_form->session();
    QVERIFY(session.viewChoices().temporal);
    ChartWidget *chart = chart1();
    const auto picture = [chart] {
        QApplication::processEvents(); // the queued replot
        return chart->grab().toImage();
    };
    const QImage before = picture();
    const int last = chart->pointCount(S2Temporal) - 1;
    const double temporalBefore = chart->yValue(S2Temporal, last / 4);

    if (term == QLatin1String("defocus")) {
        bar("ScrollBar1")->setValue(bar("ScrollBar1")->value() + 40);
    } else {
        TScopeData record = session.activeScopeRecord();
        (term == QLatin1String("dE") ? record.dE : record.Cc) *= 2;
        QVERIFY(session.applyRecord(record));
    }
    const QImage after = picture();
    QVERIFY(after != before);
    QCOMPARE(chart->yValue(S2Temporal, last / 4) != temporalBefore, temporalMoves);

    // Drawn afresh: a range changed and back thins every curve again.
    const double top = chart->axisMaximum(ChartWidget::Axis::Left);
    const double bottom = chart->axisMinimum(ChartWidget::Axis::Left);
    chart->setAxisRange(ChartWidget::Axis::Left, bottom, top * 2);
    chart->redraw();
    chart->setAxisRange(ChartWidget::Axis::Left, bottom, top);
    chart->redraw();
    QVERIFY(picture() == after);
}

#include "test_form1.moc"
