// The main window's commands on their own: a window with the menus, the tool bar and both button
// bars, no TForm1. A button that shows another command's action, a bar button that loses its caption
// or hint to the menu's, or a state set on one control only would show here.
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/bandtoolbar.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace orvalis;

namespace {

struct Window {
    QMainWindow window;
    WindowActions *actions = nullptr;
    TfmBtnBar2dCTF *analysisBar = nullptr;
    TfmBtnBar1dCTF *plotterBar = nullptr;

    Window()
    {
        actions = new WindowActions(&window);
        actions->buildMenus(window.menuBar());
        for (BandToolBar *band : actions->buildToolBars(&window))
            window.addToolBar(Qt::TopToolBarArea, band);
        analysisBar = new TfmBtnBar2dCTF(&window);
        plotterBar = new TfmBtnBar1dCTF(&window);
        actions->attachBar(analysisBar);
        actions->attachBar(plotterBar);
    }
    template <class T> T *named(QWidget *root, const QString &name) const
    {
        T *found = root->findChild<T *>(name);
        if (!found)
            qFatal("no child named %s", qPrintable(name));
        return found;
    }
    QAction *action(const QString &name) const { return named<QAction>(const_cast<QMainWindow *>(&window), name); }
};

} // namespace

class TestWindowActions : public QObject {
    Q_OBJECT
private slots:
    void barButtonShowsItsCommand_data();
    void barButtonShowsItsCommand();
    void menusHoldTheirItems_data();
    void menusHoldTheirItems();
    void checkReachesEveryButtonOfTheCommand();
    void activeCtfChosenAgainRunsAgain();
    void paneStatesSetTogether_data();
    void paneStatesSetTogether();
    void plotterModeGreysTheAnalysisMenus();
};

void TestWindowActions::barButtonShowsItsCommand_data()
{
    QTest::addColumn<bool>("plotterBar");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("action"); // empty: a command of the bar alone
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("menuText"); // what the menu item keeps
    QTest::addColumn<bool>("checkable");

    QTest::newRow("btnTemporal") << false << "btnTemporal"
                                 << "Temporal1"
                                 << "Temporal"
                                 << "Show Temporal Envelopes Toggle"
                                 << "Temporal" << true;
    QTest::newRow("btnSpatial") << false << "btnSpatial"
                                << "Spatial1"
                                << "Spatial"
                                << "Show Spatial Envelopes Toggle"
                                << "Spatial" << true;
    QTest::newRow("btnCombined") << false << "btnCombined"
                                 << "Combined1"
                                 << "Combined"
                                 << "Show Combined Envelopes Toggle"
                                 << "Combined" << true;
    QTest::newRow("btnShow2D") << false << "btnShow2D"
                               << "Show2DCTF1"
                               << "On/Off"
                               << "2D CTF On/Off Toggle"
                               << "Show 2D CTF" << true;
    QTest::newRow("btnShow3D 2D bar") << false << "btnShow3D"
                                      << "N3D1"
                                      << "On/Off"
                                      << "Show Defocus Map Toggle"
                                      << "Show Defocus Map" << true;
    QTest::newRow("btnShow3D 1D bar") << true << "btnShow3D"
                                      << "N3D1"
                                      << "On/Off"
                                      << "Show Defocus Map Toggle"
                                      << "Show Defocus Map" << true;
    QTest::newRow("btnUpdate2D") << false << "btnUpdate2D"
                                 << ""
                                 << "Live"
                                 << "2D CTF Live Update Toggle"
                                 << "" << true;
    QTest::newRow("SpeedButton8") << false << "SpeedButton8"
                                  << ""
                                  << "CTF Plotter"
                                  << "Go to CTF Plotter Mode"
                                  << "" << false;
    QTest::newRow("btn1stCTF") << true << "btn1stCTF"
                               << ""
                               << "1st CTF"
                               << "Switch To 1st CTF"
                               << "" << true;
    QTest::newRow("btn2ndCTF") << true << "btn2ndCTF"
                               << ""
                               << "2nd CTF"
                               << "Switch To 2nd CTF"
                               << "" << true;
    QTest::newRow("btnEnvelopes") << true << "btnEnvelopes"
                                  << ""
                                  << "Envelopes"
                                  << "Show Envelopes Toggle"
                                  << "" << true;
    QTest::newRow("btnOrvalis") << true << "btnOrvalis"
                                << ""
                                << "Orvalis"
                                << "Go to Orvalis Mode"
                                << "" << false;
}

void TestWindowActions::barButtonShowsItsCommand()
{
    QFETCH(bool, plotterBar);
    QFETCH(QString, button);
    QFETCH(QString, action);
    QFETCH(QString, caption);
    QFETCH(QString, hint);
    QFETCH(QString, menuText);
    QFETCH(bool, checkable);
    Window w;
    QWidget *bar = plotterBar ? static_cast<QWidget *>(w.plotterBar) : w.analysisBar;
    auto *b = w.named<QToolButton>(bar, button);
    QVERIFY2(b->defaultAction(), "the button shows no action");
    if (!action.isEmpty()) {
        QCOMPARE(b->defaultAction(), w.action(action));
        QCOMPARE(b->defaultAction()->text(), menuText);
    }
    QCOMPARE(b->text(), caption);
    QCOMPARE(b->toolTip(), hint);
    QVERIFY(!b->icon().isNull());
    QCOMPARE(b->isCheckable(), checkable);
    QVERIFY(!b->defaultAction()->isIconVisibleInMenu());
}

void TestWindowActions::menusHoldTheirItems_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items"); // visible ones, in order
    QTest::newRow("Save1") << "Save1" << QStringList{"Save1D", "Save2D", "SaveDefocusMap1"};
    QTest::newRow("Setup1") << "Setup1"
                            << QStringList{"Microscope1", "QuickSetup1", "Options1", "SpecimenDetector1",
                                           "Astigmatism1"};
    QTest::newRow("Envelopes1") << "Envelopes1" << QStringList{"Temporal1", "Spatial1", "Combined1"};
    QTest::newRow("N2DCTF1") << "N2DCTF1" << QStringList{"Show2DCTF1", "Enable2DUpdate1", "Sampled2D1"};
    QTest::newRow("Help1") << "Help1" << QStringList{"Contents1", "About1"};
}

void TestWindowActions::menusHoldTheirItems()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    Window w;
    QStringList shown;
    for (QAction *a : w.named<QMenu>(&w.window, menu)->actions())
        if (a->isVisible() && !a->menu())
            shown << a->objectName();
    QCOMPARE(shown, items);
}

void TestWindowActions::checkReachesEveryButtonOfTheCommand()
{
    Window w;
    auto *analysis = w.named<QToolButton>(w.analysisBar, QStringLiteral("btnShow3D"));
    auto *plotter = w.named<QToolButton>(w.plotterBar, QStringLiteral("btnShow3D"));
    for (bool on : {true, false}) {
        w.actions->N3D1->setChecked(on);
        QCOMPARE(analysis->isChecked(), on);
        QCOMPARE(plotter->isChecked(), on);
    }
    // A click on a bar's button is the command: the menu item's check follows it.
    QSignalSpy triggered(w.actions->Temporal1, &QAction::triggered);
    const bool before = w.actions->Temporal1->isChecked();
    w.named<QToolButton>(w.analysisBar, QStringLiteral("btnTemporal"))->click();
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(w.actions->Temporal1->isChecked(), !before);
    // The tool bar's buttons are the menu's actions too.
    QCOMPARE(w.named<QToolButton>(&w.window, QStringLiteral("btnIntensity"))->defaultAction(), w.actions->Intensity1);
}

void TestWindowActions::activeCtfChosenAgainRunsAgain()
{
    Window w;
    auto *first = w.named<QToolButton>(w.plotterBar, QStringLiteral("btn1stCTF"));
    auto *second = w.named<QToolButton>(w.plotterBar, QStringLiteral("btn2ndCTF"));
    QSignalSpy firstRuns(w.actions->firstCtf, &QAction::triggered);
    QSignalSpy secondRuns(w.actions->secondCtf, &QAction::triggered);
    QVERIFY(first->isChecked());
    first->click(); // already down: stays down and runs again
    QCOMPARE(firstRuns.count(), 1);
    QVERIFY(first->isChecked());
    QVERIFY(!second->isChecked());
    second->click();
    QCOMPARE(secondRuns.count(), 1);
    QVERIFY(second->isChecked());
    QVERIFY(!first->isChecked());
    QVERIFY(!w.actions->firstCtf->isChecked());
}

void TestWindowActions::paneStatesSetTogether_data()
{
    QTest::addColumn<bool>("map"); // else the pattern
    QTest::addColumn<bool>("shown");
    QTest::newRow("pattern shown") << false << true;
    QTest::newRow("pattern hidden") << false << false;
    QTest::newRow("map shown") << true << true;
    QTest::newRow("map hidden") << true << false;
}

void TestWindowActions::paneStatesSetTogether()
{
    QFETCH(bool, map);
    QFETCH(bool, shown);
    Window w;
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    // From the other state first, so that every control has to change.
    if (map) {
        w.actions->setMapShown(!shown);
        w.actions->setMapShown(shown);
    } else {
        w.actions->setPatternShown(!shown);
        w.actions->setPatternShown(shown);
    }
    const char *item = map ? "N3D1" : "Show2DCTF1";
    const char *save = map ? "SaveDefocusMap1" : "Save2D";
    const char *toolButton = map ? "ToolButton3" : "ToolButton1";
    QCOMPARE(w.action(QString::fromLatin1(item))->isChecked(), shown);
    QCOMPARE(w.action(QString::fromLatin1(save))->isEnabled(), shown);
    QTRY_COMPARE(w.named<QToolButton>(&w.window, QString::fromLatin1(toolButton))->isVisible(), shown);
    if (!map) {
        QCOMPARE(w.named<QToolButton>(w.analysisBar, QStringLiteral("btnShow2D"))->isChecked(), shown);
        QCOMPARE(w.named<QToolButton>(w.analysisBar, QStringLiteral("btnUpdate2D"))->isEnabled(), shown);
        // The menu's own live switch is never greyed.
        QVERIFY(w.actions->Enable2DUpdate1->isEnabled());
    }
    // The pane of the other command is left alone.
    const char *other = map ? "ToolButton1" : "ToolButton3";
    QVERIFY(!w.named<QToolButton>(&w.window, QString::fromLatin1(other))->isVisible());
}

void TestWindowActions::plotterModeGreysTheAnalysisMenus()
{
    Window w;
    for (bool on : {true, false}) {
        w.actions->setPlotterMode(on);
        QCOMPARE(w.actions->N1DCTFPlotMode1->isChecked(), on);
        QCOMPARE(w.named<QMenu>(&w.window, QStringLiteral("N1DCTF1"))->isEnabled(), !on);
        QCOMPARE(w.named<QMenu>(&w.window, QStringLiteral("N2DCTF1"))->isEnabled(), !on);
        // The items stay enabled: only their menus grey, and the tool bar keeps its buttons.
        QVERIFY(w.actions->Intensity1->isEnabled());
    }
}

QTEST_MAIN(TestWindowActions)
#include "test_windowactions.moc"
