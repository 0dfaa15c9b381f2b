// The window as a program the user starts again and again: what closing keeps and the next start
// restores, what a start does with settings it cannot use, the two modes, titles and tool bar.
#include "../support/specialfiles.h"
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "core/instrumentload.h"
#include "core/optionranges.h"
#include "store/registry.h"
#include "store/scopelibrary.h"
#include "store/settingskeys.h"
#include "store/windowsettings.h"
#include "ui/widgets/bandtoolbar.h"
#include "ui/widgets/pixelimage.h"

#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QToolButton>

#include <sqlite3.h>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

std::unique_ptr<TForm1> startForm()
{
    auto form = std::make_unique<TForm1>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("window not exposed");
    return form;
}

QSplitter *splitter(QObject *form, const char *name)
{
    return child<QSplitter>(form, name);
}

QStringList bandOrder(TForm1 *form)
{
    QList<QToolBar *> bands{child<QToolBar>(form, "ToolBar1"), child<QToolBar>(form, "ToolBar2")};
    std::sort(bands.begin(), bands.end(), [](QToolBar *a, QToolBar *b) { return a->x() < b->x(); });
    return {bands[0]->objectName(), bands[1]->objectName()};
}

QImage pattern(TForm1 *form)
{
    return child<PixelImage>(form, "Image1")->image();
}

void writeValue(const QString &subKey, const std::function<void(Registry &)> &write)
{
    Registry r;
    QVERIFY(r.OpenKey(settingsKey(subKey), true));
    write(r);
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void init() { m_settings = std::make_unique<FreshSettingsFolder>(); }
    void cleanup() { m_settings.reset(); }

    void firstRunDefaults();
    void secondStartRestores();
    void reachablePlacement_data();
    void reachablePlacement();
    void sizeFitsTheScreen_data();
    void sizeFitsTheScreen();
    void maximisedCloseKeepsOlderBounds();
    void plotModeStored();
    void selectedInstrument_data();
    void selectedInstrument();
    void unreadableViewChoice();
    void unusableRanges();
    void storedExtremesStart_data();
    void storedExtremesStart();
    void storedPaneWidths_data();
    void storedPaneWidths();
    void patternPaneDragged();
    void damagedStoreNoticeAfterShow();
    void storeTroubleToldAtStart_data();
    void storeTroubleToldAtStart();
    void unreadableValueToldOnce();
    void unwritableKeyAtClose();
    void modeSwitchWithFrozenPattern();
    void modeButtonsAndMenu();
    void plotterGreysViewMenusOnly();
    void envelopeSwitchesOfEachMode();
    void titlesAndToolbarToggle();
    void toolButtonsAreTheMenuActions();
    void firstActivationOnce();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestShell::firstRunDefaults()
{
    auto form = startForm();
    QCOMPARE(form->pos(), QPoint(259, 117));
    QCOMPARE(form->size(), QSize(759, 612));
    QCOMPARE(form->store().useCount(), 1);
    QVERIFY(!form->session().viewChoices().monochrome);
    QCOMPARE(form->saver().saveDir(), QString());
    QCOMPARE(form->ScopeRecord1.Company, QStringLiteral("Default"));
    QCOMPARE(child<QLabel>(form.get(), "StatusPanel0")->text(), QStringLiteral("Orvalis"));
    QVERIFY(!child<QWidget>(form.get(), "pa1dCTFHeader")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "ToolBar1")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "ToolBar2")->isVisible());
    QVERIFY(!Registry().KeyExists(settingsKey(DefaultKeyName))); // nothing is written before the close

    form->close();
    const WindowSettings stored = ReadWindowSettings();
    QCOMPARE(stored.Uses, std::optional<int>(1));
    QCOMPARE(stored.ScopeManuf, std::optional<QString>(QStringLiteral("Default")));
    QCOMPARE(stored.PlotMode, std::optional<bool>(false));
    QVERIFY(!stored.SaveDir);           // no save dialog was used
    QCOMPARE(stored.dvv, std::nullopt); // written, never read back
    QCOMPARE(stored.Bands[0].Control, std::optional<QString>(QStringLiteral("ToolBar1")));
    QCOMPARE(stored.Bands[0].Width, std::optional<int>(172));
}

void TestShell::secondStartRestores()
{
    QList<int> splitters[4];
    int band0Width = 0;
    QRect bounds;
    {
        auto form = startForm();
        action(form.get(), "ShowToolbar1")->trigger();
        action(form.get(), "actShowTitles")->trigger();
        action(form.get(), "Show2DCTF1")->trigger();
        action(form.get(), "N3D1")->trigger();
        action(form.get(), "Temporal1")->trigger();                    // off
        action(form.get(), "Intensity1")->trigger();                   // on
        action(form.get(), "Enable2DUpdate1")->trigger();              // off
        typeAndEnter(form.get(), "edDefocus", QStringLiteral("-700")); // widens the slider's range
        typeAndEnter(form.get(), "edAstigm", QStringLiteral("450"));
        form->session().setUpTo(6.5);
        form->setup().setMonochrome(true);
        form->saver().setSaveDir(QStringLiteral("/data/ctf/"));
        // The user moves the second band in front of the first and resizes the window and panes.
        auto *toolBar1 = child<BandToolBar>(form.get(), "ToolBar1");
        form->removeToolBar(toolBar1);
        form->addToolBar(Qt::TopToolBarArea, toolBar1);
        toolBar1->show();
        // Bounds whose frame, title bar included, lies whole on the screen come back as they were.
        form->setGeometry(60, 40, 720, 650);
        QTRY_COMPARE(form->geometry(), QRect(60, 40, 720, 650));
        splitter(form.get(), "Splitter1")->setSizes({300, 180});
        splitter(form.get(), "Splitter4")->setSizes({450, 190});
        splitter(form.get(), "Splitter3")->setSizes({300, 330});
        QApplication::processEvents();
        QCOMPARE(bandOrder(form.get()), QStringList({"ToolBar2", "ToolBar1"}));
        for (int i = 0; i < 4; ++i)
            splitters[i] = splitter(form.get(), qPrintable(QStringLiteral("Splitter%1").arg(i + 1)))->sizes();
        band0Width = child<QToolBar>(form.get(), "ToolBar2")->width();
        bounds = form->geometry();
        QTest::mouseClick(child<QToolButton>(form.get(), "SpeedButton8"), Qt::LeftButton); // plotter mode
        QTest::mouseClick(child<QToolButton>(form.get(), "btnEnvelopes"), Qt::LeftButton);
        form->close();
    }
    auto form = startForm();
    QCOMPARE(form->geometry(), bounds);
    QCOMPARE(splitter(form.get(), "Splitter1")->sizes(), splitters[0]);
    QCOMPARE(splitter(form.get(), "Splitter3")->sizes(), splitters[2]);
    QCOMPARE(splitter(form.get(), "Splitter4")->sizes(), splitters[3]);
    QCOMPARE(bandOrder(form.get()), QStringList({"ToolBar2", "ToolBar1"}));
    QCOMPARE(child<QToolBar>(form.get(), "ToolBar2")->width(), band0Width);
    QCOMPARE(form->store().useCount(), 2);
    QVERIFY(form->session().viewChoices().monochrome);
    QCOMPARE(form->saver().saveDir(), QStringLiteral("/data/ctf/"));
    QCOMPARE(form->state().UpTo, 6.5);
    QCOMPARE(child<QScrollBar>(form.get(), "ScrollBar1")->maximum(), 700);
    QCOMPARE(child<QScrollBar>(form.get(), "ScrollBar1")->minimum(), -50);
    QCOMPARE(child<QScrollBar>(form.get(), "ScrollBar2")->maximum(), 450);
    QCOMPARE(child<QScrollBar>(form.get(), "ScrollBar3")->maximum(), 10000);

    QVERIFY(form->state().PlotterMode);
    QCOMPARE(child<QLabel>(form.get(), "StatusPanel0")->text(), QStringLiteral("CTF Plotter"));
    QVERIFY(form->state().ShowEnvelopes);
    QVERIFY(child<QToolButton>(form.get(), "btnEnvelopes")->isChecked());
    const struct {
        const char *item;
        bool checked;
    } checks[] = {{"Show2DCTF1", true},   {"N3D1", true},          {"Temporal1", false},     {"Spatial1", true},
                  {"Combined1", true},    {"Intensity1", true},    {"Symmetr1", false},      {"Enable2DUpdate1", false},
                  {"ShowToolbar1", true}, {"actShowTitles", true}, {"N1DCTFPlotMode1", true}};
    for (const auto &c : checks)
        QVERIFY2(action(form.get(), c.item)->isChecked() == c.checked, c.item);
    QVERIFY(child<QWidget>(form.get(), "pa3dCTF")->isVisible());
    QVERIFY(child<QWidget>(form.get(), "pa3DCTFHeader")->isVisible());
    QVERIFY(child<QWidget>(form.get(), "ToolBar1")->isVisible());
    QVERIFY(child<QToolButton>(form.get(), "btnShow3D")->isChecked());
}

namespace {

// A window manager's frame around the window: title bar and borders, which must lie on the area too.
constexpr int frameAllowance = 60; // px, more than any frame the window assumes

// The window lies whole on the screen's available area, its frame with it.
bool wholeOnTheArea(const QWidget &form)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return area.contains(QRect(form.pos(), form.size()));
}

} // namespace

// A window stored off the screen comes back whole on it, moved no more than its frame needs.
void TestShell::reachablePlacement_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<QPoint>("expected"); // -1: the window's far edge at the area's right or bottom
    QTest::addRow("far right") << 5000 << 100 << QPoint(-1, 100);
    QTest::addRow("above the screen") << 200 << -30 << QPoint(200, 0);
    QTest::addRow("left of the screen") << -400 << 50 << QPoint(0, 50);
    QTest::addRow("below the screen") << 10 << 9000 << QPoint(10, -1);
    QTest::addRow("partly beyond the bottom right") << 1000 << 500 << QPoint(-1, -1);
    QTest::addRow("on the screen") << 40 << 30 << QPoint(40, 30);
}

void TestShell::reachablePlacement()
{
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(QPoint, expected);
    WindowSettings s;
    s.Left = left;
    s.Top = top;
    s.Width = 700;
    s.Height = 500;
    WriteWindowSettings(s);
    auto form = startForm();
    QCOMPARE(form->size(), QSize(700, 500));
    QVERIFY(wholeOnTheArea(*form));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    if (expected.x() < 0)
        QVERIFY(form->x() + 700 + frameAllowance > area.right());
    else
        QCOMPARE(form->x(), expected.x());
    if (expected.y() < 0)
        QVERIFY(form->y() + 500 + frameAllowance > area.bottom());
    else
        QCOMPARE(form->y(), expected.y());
}

// A window stored on a larger screen must not come back larger than this one, frame included.
void TestShell::sizeFitsTheScreen_data()
{
    QTest::addColumn<QSize>("stored");
    const QSize area = QGuiApplication::primaryScreen()->availableGeometry().size();
    QTest::newRow("wider") << QSize(area.width() + 900, 500);
    QTest::newRow("taller") << QSize(700, area.height() + 700);
    QTest::newRow("both") << QSize(5000, 4000);
    QTest::newRow("fits") << QSize(700, 500);
}

void TestShell::sizeFitsTheScreen()
{
    QFETCH(QSize, stored);
    WindowSettings s;
    s.Left = 0;
    s.Top = 0;
    s.Width = stored.width();
    s.Height = stored.height();
    WriteWindowSettings(s);
    auto form = startForm();
    QVERIFY(wholeOnTheArea(*form));
    const QSize area = QGuiApplication::primaryScreen()->availableGeometry().size();
    // A length that fits is kept; a longer one takes the area less the frame.
    if (stored.width() <= area.width() - frameAllowance)
        QCOMPARE(form->width(), stored.width());
    else
        QVERIFY(form->width() > area.width() - frameAllowance);
    if (stored.height() <= area.height() - frameAllowance)
        QCOMPARE(form->height(), stored.height());
    else
        QVERIFY(form->height() > area.height() - frameAllowance);
}

void TestShell::maximisedCloseKeepsOlderBounds()
{
    {
        auto form = startForm();
        form->move(100, 90);
        form->resize(640, 520);
        form->close();
    }
    for (int start = 0; start < 2; ++start) {
        auto form = startForm();
        if (start == 0)
            form->showMaximized();
        QTRY_VERIFY(form->isMaximized()); // the second start comes back maximised
        QCOMPARE(form->normalGeometry().size(), QSize(640, 520));
        form->close();
        const WindowSettings stored = ReadWindowSettings();
        QCOMPARE(stored.WindowState, std::optional<int>(2));
        QCOMPARE(stored.Left, std::optional<int>(100));
        QCOMPARE(stored.Top, std::optional<int>(90));
        QCOMPARE(stored.Height, std::optional<int>(520));
    }
    auto form = startForm();
    form->showNormal();
    QTRY_COMPARE(form->size(), QSize(640, 520));
    QCOMPARE(form->pos(), QPoint(100, 90));
}

void TestShell::plotModeStored()
{
    WindowSettings s;
    s.PlotMode = true;
    s.Update2D = s.Combined = s.Spatial = s.Temporal = s.Envelopes = true;
    s.Intensity = s.Symmetr = s.Toolbar = s.Headers = false;
    WriteWindowSettings(s);
    {
        auto form = startForm();
        QVERIFY(form->state().PlotterMode);
        QVERIFY(action(form.get(), "N1DCTFPlotMode1")->isChecked());
        QVERIFY(child<QWidget>(form.get(), "fmBtnBar1dCTF")->isVisible());
        QVERIFY(!child<QWidget>(form.get(), "fmBtnBar2dCTF")->isVisible());
        QVERIFY(child<ChartWidget>(form.get(), "Chart1")->pointCount(3) > 0); // the stored envelopes are drawn
        form->close();
    }
    QCOMPARE(ReadWindowSettings().PlotMode, std::optional<bool>(true));
}

void TestShell::selectedInstrument_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("cs");      // the entry's Cs text
    QTest::addColumn<QString>("ripple");  // the entry's dvv and dii texts
    QTest::addColumn<QString>("company"); // of scope record 1 after start-up
    QTest::addColumn<QString>("notice");  // a part of the start-up notice, empty for none
    QTest::addRow("library entry") << "Maker"
                                   << "M 300"
                                   << "1.4"
                                   << "1"
                                   << "Maker"
                                   << "";
    QTest::addRow("Default beats a library maker of that name") << "Default"
                                                                << "M 300"
                                                                << "1.4"
                                                                << "1"
                                                                << "Default"
                                                                << "";
    QTest::addRow("no manufacturer stored") << ""
                                            << ""
                                            << "1.4"
                                            << "1"
                                            << "Default"
                                            << "";
    QTest::addRow("entry gone") << "Maker"
                                << "M 200"
                                << "1.4"
                                << "1"
                                << "Default"
                                << "The microscope \"Maker M 200\" used last time is no longer in the library.";
    QTest::addRow("value not a number") << "Maker"
                                        << "M 300"
                                        << "1,4"
                                        << "1"
                                        << "Default"
                                        << "The microscope \"Maker M 300\" used last time cannot be loaded: Cs (mm): "
                                           "'1,4' is not a valid floating point value";
    QTest::addRow("Cs lacking") << "Maker"
                                << "M 300"
                                << ""
                                << "1"
                                << "Maker"
                                << "The library entry of the microscope \"Maker M 300\" used last time lacks some "
                                   "values; the built-in ones are used for them: Cs 1.2 mm.";
    QTest::addRow("ripple and instability lacking")
        << "Maker"
        << "M 300"
        << "1.4"
        << ""
        << "Maker"
        << "the built-in ones are used for them: HT Ripple 0.25 ppm, Obj Lens Instab. 0.5 ppm.";
    // A negative Cs is a corrected microscope and loads; 1e308 mm overflows once taken to nm.
    QTest::addRow("instrument the formulas refuse") << "Maker"
                                                    << "M 300"
                                                    << "1e308"
                                                    << "1"
                                                    << "Default"
                                                    << "Cs";
}

void TestShell::selectedInstrument()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(QString, cs);
    QFETCH(QString, ripple);
    QFETCH(QString, company);
    QFETCH(QString, notice);
    for (const QString &maker : {QStringLiteral("Maker"), QStringLiteral("Default")})
        WriteScopeEntry(maker, QStringLiteral("M 300"),
                        {QStringLiteral("300"), cs, QStringLiteral("1.5"), QStringLiteral("0.8"), ripple, ripple,
                         QStringLiteral("0.25")});
    WindowSettings s;
    s.ScopeManuf = manufacturer;
    s.ScopeModel = model;
    WriteWindowSettings(s);

    MessageBoxCatcher box;
    auto form = startForm();
    QCOMPARE(form->ScopeRecord1.Company, company);
    if (company == QLatin1String("Maker")) {
        QCOMPARE(form->ScopeRecord1.Voltage, 300.0);
        QCOMPARE(form->state().Cs, cs.isEmpty() ? 1.2e6 : 1.4e6);
        // All seven values come back after a restart, or the information limit would change.
        QCOMPARE(form->state().dvv, ripple.isEmpty() ? 2.5e-7 : 1e-6);
        QCOMPARE(form->state().dii, ripple.isEmpty() ? 5e-7 : 1e-6);
    } else {
        QCOMPARE(form->state().Voltage, 200.0);
    }
    if (notice.isEmpty()) {
        QTest::qWait(50);
        QCOMPARE(box.text, QString());
        return;
    }
    QTRY_VERIFY(!box.text.isEmpty());
    QVERIFY2(box.text.contains(notice), qPrintable(box.text));
    if (company == QLatin1String("Default"))
        QVERIFY(box.text.contains(QStringLiteral("built-in instrument")));
}

void TestShell::unreadableViewChoice()
{
    WindowSettings s;
    s.Update2D = s.Combined = s.Temporal = s.Envelopes = s.Toolbar = s.Headers = true;
    s.Spatial = s.Symmetr = s.PlotMode = false;
    s.Intensity = true;
    WriteWindowSettings(s);
    writeValue(ButtonBarKeyName, [](Registry &r) { r.WriteString(QStringLiteral("Spatial"), QStringLiteral("0")); });

    MessageBoxCatcher box;
    auto form = startForm();
    QTRY_VERIFY(!box.text.isEmpty());
    QVERIFY2(box.text.contains(QStringLiteral("Invalid data type for 'Spatial'")), qPrintable(box.text));
    QVERIFY(action(form.get(), "Spatial1")->isChecked());      // the window's default
    QVERIFY(action(form.get(), "Intensity1")->isChecked());    // read before the bad one
    QVERIFY(action(form.get(), "actShowTitles")->isChecked()); // read after it
    QVERIFY(child<QWidget>(form.get(), "pa1dCTFHeader")->isVisible());
}

// Stored ranges the charts cannot divide by are not taken over as they stand.
void TestShell::unusableRanges()
{
    WindowSettings s;
    s.UpTo = -2.0;
    s.Underfocus = -80;
    s.Overfocus = -50; // above the maximum
    s.a2max = -5;
    WriteWindowSettings(s);
    MessageBoxCatcher box;
    auto form = startForm();
    QTRY_VERIFY(box.text.contains(QStringLiteral("'UpTo' (-2)")));
    QCOMPARE(form->state().UpTo, 10.0);
    auto *defocus = child<QScrollBar>(form.get(), "ScrollBar1");
    QVERIFY(defocus->maximum() > defocus->minimum());
    QCOMPARE(child<QScrollBar>(form.get(), "ScrollBar2")->minimum(), 0);
}

void TestShell::storedExtremesStart_data()
{
    QTest::addColumn<QString>("name");   // the stored value
    QTest::addColumn<double>("stored");  // written as the value's kind
    QTest::addColumn<QString>("notice"); // what the start-up notice says of it; empty: nothing
    const double intMin = std::numeric_limits<int>::min();
    const double intMax = std::numeric_limits<int>::max();
    QTest::newRow("UpTo 1e9") << "UpTo" << 1e9 << "'UpTo' (1000000000): 1000 is used";
    QTest::newRow("UpTo 1e5") << "UpTo" << 1e5 << "'UpTo' (100000): 1000 is used";
    QTest::newRow("UpTo at the limit") << "UpTo" << 1000.0 << "";
    QTest::newRow("UpTo infinite") << "UpTo" << std::numeric_limits<double>::infinity() << "'UpTo' (INF): 10 is used";
    QTest::newRow("Overfocus lowest") << "Overfocus" << intMin << "'Overfocus' (-2147483648): -1000000000 is used";
    QTest::newRow("Underfocus highest") << "Underfocus" << intMax << "'Underfocus' (2147483647): 1000000000 is used";
    QTest::newRow("a2max highest") << "a2max" << intMax << "'a2max' (2147483647): 1000000000 is used";
    QTest::newRow("a3max lowest") << "a3max" << intMin << "'a3max' (-2147483648): 0 is used";
    QTest::newRow("Uses negative") << "Uses" << -7.0 << "'Uses' (-7): 0 is used";
    QTest::newRow("Width highest") << "Width" << intMax << "";
    QTest::newRow("Height lowest") << "Height" << intMin << "";
    QTest::newRow("Splitter1 highest") << "Splitter1" << intMax << "";
    QTest::newRow("Splitter3 lowest") << "Splitter3" << intMin << "";
    QTest::newRow("Width0 highest") << "Width0" << intMax << "";
    QTest::newRow("Control Width1 highest") << "Control Width1" << intMax << "";
}

// No stored number can crash, freeze or slow the start: each comes back within what the window and
// its dialogs accept, and the user is told which ones were changed.
void TestShell::storedExtremesStart()
{
    QFETCH(QString, name);
    QFETCH(double, stored);
    QFETCH(QString, notice);
    WindowSettings s;
    s.Overfocus = -50;
    s.Underfocus = 200;
    if (name == "Overfocus")
        s.Underfocus = std::numeric_limits<int>::max(); // the widest span there is
    if (name == "Underfocus")
        s.Overfocus = std::numeric_limits<int>::min();
    s.Bands[0].Control = QStringLiteral("ToolBar1");
    s.Bands[1].Control = QStringLiteral("ToolBar2");
    WriteWindowSettings(s);
    const bool position = name.startsWith("Splitter") || name == "Width" || name == "Height";
    const bool coolBar = name.contains("Width") && name != "Width";
    writeValue(position      ? PositionKeyName
                   : coolBar ? CoolBarKeyName
                             : DefaultKeyName,
               [&](Registry &r) {
                   if (name == "UpTo")
                       r.WriteFloat(name, stored);
                   else
                       r.WriteInteger(name, static_cast<int>(stored));
               });
    MessageBoxCatcher box;
    auto form = startForm();
    form->grab(); // every bar and chart painted once
    QTest::qWait(50);
    const OpticsState &state = form->state();
    QVERIFY(state.UpTo > 0 && state.UpTo <= MaxUpTo);
    for (const char *bar : {"ScrollBar1", "ScrollBar2", "ScrollBar3"}) {
        auto *slider = child<QScrollBar>(form.get(), bar);
        QVERIFY(slider->minimum() >= -MaxDefocus && slider->maximum() <= MaxDefocus);
    }
    QVERIFY(form->store().useCount() >= 1);
    if (notice.isEmpty()) {
        QVERIFY2(box.text.isEmpty(), qPrintable(box.text));
        return;
    }
    QVERIFY2(box.text.contains(notice), qPrintable(box.text));
}

void TestShell::storedPaneWidths_data()
{
    QTest::addColumn<bool>("show2d");   // the 2D pane is on at start
    QTest::addColumn<int>("splitter2"); // stored width of the 2D pane, px
    QTest::addColumn<int>("splitter5"); // stored width of the button bar's panel, px
    QTest::addColumn<int>("expected2"); // the 2D pane's width once shown; 0: its least; -1: not shown
    QTest::newRow("2D pane 400") << true << 400 << 138 << 400;
    QTest::newRow("2D pane 400, shown later") << false << 400 << 138 << 400;
    QTest::newRow("2D pane 400, never shown") << false << 400 << 138 << -1;
    QTest::newRow("2D pane narrower than it may be") << true << 100 << 138 << 0;
    QTest::newRow("bar panel stored wider") << true << 100 << 220 << 0;
    QTest::newRow("bar panel stored narrower") << true << 300 << 60 << 300;
}

// The 2D pane comes back at its stored width; the button bar's panel always at its own, with the bar
// filling it.
void TestShell::storedPaneWidths()
{
    QFETCH(bool, show2d);
    QFETCH(int, splitter2);
    QFETCH(int, splitter5);
    QFETCH(int, expected2);
    WindowSettings s;
    s.Width = 1000;
    s.Height = 650;
    s.Splitter[1] = splitter2;
    s.Splitter[4] = splitter5;
    s.Show2d = show2d;
    s.Update2D = s.Combined = s.Spatial = s.Temporal = true;
    s.Show3D = s.Envelopes = s.Intensity = s.Symmetr = s.PlotMode = s.Toolbar = s.Headers = false;
    WriteWindowSettings(s);
    MessageBoxCatcher notice;
    auto form = startForm();
    if (expected2 < 0) {
        form->close(); // the width stored stays for the next start that shows the pane
        QCOMPARE(ReadWindowSettings().Splitter[1], std::optional<int>(splitter2));
        return;
    }
    if (!show2d)
        action(form.get(), "Show2DCTF1")->trigger();
    QApplication::processEvents();
    QWidget *pane = child<QWidget>(form.get(), "pa2Dctf");
    QVERIFY(pane->isVisible());
    QCOMPARE(pane->width(), expected2 ? expected2 : pane->minimumWidth());
    QWidget *bar = child<QWidget>(form.get(), "paLeft");
    QCOMPARE(bar->width(), 138);
    QSplitter *split = splitter(form.get(), "Splitter5");
    QCOMPARE(split->sizes().value(1), 138);
    // No band between the charts and the bar: the splitter's two panes and its handle fill it.
    QCOMPARE(split->widget(0)->width() + split->handleWidth() + bar->width(), split->width());
    form->close();
    QCOMPARE(ReadWindowSettings().Splitter[1], std::optional<int>(pane->width()));
    QVERIFY2(notice.text.isEmpty(), qPrintable(notice.text));
}

// The user drags the 2D pane wider; the next start gives it that width again.
void TestShell::patternPaneDragged()
{
    int dragged = 0;
    {
        auto form = startForm();
        action(form.get(), "Show2DCTF1")->trigger();
        QApplication::processEvents();
        QWidget *pane = child<QWidget>(form.get(), "pa2Dctf");
        const int before = pane->width();
        QWidget *handle = splitter(form.get(), "Splitter2")->handle(1);
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        QTest::mouseMove(handle, grip + QPoint(60, 0));
        QTest::mouseMove(handle, grip + QPoint(120, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, grip + QPoint(120, 0));
        QApplication::processEvents();
        dragged = pane->width();
        QVERIFY2(dragged >= before + 100, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(dragged)));
        form->close();
    }
    auto form = startForm();
    QCOMPARE(child<QWidget>(form.get(), "pa2Dctf")->width(), dragged);
}

void TestShell::damagedStoreNoticeAfterShow()
{
    const QString path = Registry::StorePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(8192, 'x'));
    file.close();

    MessageBoxCatcher box;
    auto form = startForm();
    QTRY_VERIFY(!box.text.isEmpty());
    QVERIFY2(box.text.contains(QDir::toNativeSeparators(path) + QStringLiteral(".damaged")), qPrintable(box.text));
    QCOMPARE(box.name, QStringLiteral("StartupNotice"));
    QCOMPARE(form->store().useCount(), 1);
}

void TestShell::storeTroubleToldAtStart_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<QString>("remedy"); // a part of the notice
    QTest::newRow("store is a folder") << "folder"
                                       << "Move it out of the way";
    QTest::newRow("store is a link to a device") << "device"
                                                 << "Move it out of the way";
    QTest::newRow("a file where its folder belongs") << "file"
                                                     << "Move %1 out of the way";
    QTest::newRow("read-only folder") << "read-only"
                                      << "Make the folder %1 writable for you";
    QTest::newRow("store in a read-only folder") << "read-only store"
                                                 << "and its folder %1 writable for you";
}

// A store that can take nothing is told at start, with its path and what to do: told only at close,
// the whole run would be lost.
void TestShell::storeTroubleToldAtStart()
{
    QFETCH(QString, trouble);
    QFETCH(QString, remedy);
    QString store = Registry::StorePath();
    const QString config = QFileInfo(store).dir().absoluteFilePath(QStringLiteral("../.."));
    const QString vantrel = QDir::cleanPath(config + QStringLiteral("/Vantrel"));
    QString locked; // a folder made read-only, given its permissions back at the end
    QVERIFY(QDir().mkpath(QFileInfo(vantrel).path()));
    if (trouble == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(store));
    } else if (trouble == QLatin1String("device")) {
        QVERIFY(QDir().mkpath(QFileInfo(store).path()));
        if (!makeSpecialFile(SpecialFile::LinkToDevice, store))
            QSKIP("this system does not let the test make a device node");
    } else if (trouble == QLatin1String("file")) {
        QFile file(vantrel);
        QVERIFY(file.open(QIODevice::WriteOnly));
        remedy = remedy.arg(QDir::toNativeSeparators(vantrel));
    } else {
        if (::geteuid() == 0)
            QSKIP("the superuser writes into read-only folders");
        // With a store: its folder, where the store keeps its log while it is open. The store is
        // made elsewhere and copied whole, as a closed program leaves it (this process keeps its
        // own store open).
        if (trouble == QLatin1String("read-only store")) {
            QVERIFY(Registry().CreateKey(settingsKey(QStringLiteral("Other"))));
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(store.toUtf8().constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_settings->path() + QStringLiteral("/closed")));
            const QString copy = Registry::StorePath();
            QVERIFY(QDir().mkpath(QFileInfo(copy).path()) && QFile::copy(store, copy));
            store = copy;
        }
        locked = trouble == QLatin1String("read-only store") ? QFileInfo(store).path() : QDir::cleanPath(config);
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
        remedy = remedy.arg(QDir::toNativeSeparators(locked));
    }
    {
        MessageBoxCatcher box;
        auto form = startForm();
        QTRY_VERIFY(!box.text.isEmpty());
        QCOMPARE(box.name, QStringLiteral("StartupNotice"));
        QVERIFY2(box.text.contains(QDir::toNativeSeparators(store)) && box.text.contains(remedy), qPrintable(box.text));
        MessageBoxCatcher atClose; // the failed save is reported again, and the window still closes
        form.reset();
    }
    if (!locked.isEmpty())
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A wrongly typed value is named at one start only: the close writes it anew.
void TestShell::unreadableValueToldOnce()
{
    writeValue(DefaultKeyName, [](Registry &r) { r.WriteInteger(QStringLiteral("SaveDir"), 7); });
    {
        MessageBoxCatcher box;
        auto form = startForm();
        QTRY_VERIFY(box.text.contains(QStringLiteral("Invalid data type for 'SaveDir'")));
        form->close();
    }
    MessageBoxCatcher box;
    auto form = startForm();
    QTest::qWait(100);
    QCOMPARE(box.text, QString());
}

// A key that cannot be created at close: the message comes once, what was written before stays,
// and the window still closes.
void TestShell::unwritableKeyAtClose()
{
    auto form = startForm();
    {
        Registry r; // the store file must exist before it can be locked down
        QVERIFY(r.OpenKey(settingsKey(QStringLiteral("Other")), true));
    }
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(Registry::StorePath().toUtf8().constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db,
                          "CREATE TRIGGER refuse BEFORE INSERT ON keys WHEN NEW.name = 'CoolBar' "
                          "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);
    sqlite3_close(db);

    MessageBoxCatcher box;
    action(form.get(), "Exit1")->trigger();
    QTRY_COMPARE(box.text, QStringLiteral("Cannot access registry"));
    QVERIFY(!form->isVisible());
    const WindowSettings stored = ReadWindowSettings();
    QCOMPARE(stored.Uses, std::optional<int>(1));
    QCOMPARE(stored.Width, std::optional<int>(759));
    QVERIFY(!Registry().KeyExists(settingsKey(ButtonBarKeyName)));
}

// Back from plotter mode with the pattern shown and live update off: the pattern is drawn once for
// the current values, and later slider moves leave it alone.
void TestShell::modeSwitchWithFrozenPattern()
{
    auto form = startForm();
    action(form.get(), "Show2DCTF1")->trigger();
    action(form.get(), "Enable2DUpdate1")->trigger(); // off
    QVERIFY(!form->session().patternLive());
    form->views().ChangeMode();
    QVERIFY(!child<QWidget>(form.get(), "pa2Dctf")->isVisible());
    QVERIFY(!form->session().patternLive());
    typeAndEnter(form.get(), "edDefocus", QStringLiteral("-150"));
    const QImage stale = pattern(form.get());
    form->views().ChangeMode();
    QVERIFY(child<QWidget>(form.get(), "pa2Dctf")->isVisible());
    const QImage fresh = pattern(form.get());
    QVERIFY(fresh != stale); // drawn for -150 nm
    QVERIFY(!form->session().patternLive());
    typeAndEnter(form.get(), "edDefocus", QStringLiteral("-20"));
    QCOMPARE(pattern(form.get()), fresh);
}

void TestShell::modeButtonsAndMenu()
{
    auto form = startForm();
    auto *chart = child<ChartWidget>(form.get(), "Chart1");
    const int temporalPoints = chart->pointCount(1);
    QVERIFY(temporalPoints > 0);
    QTest::mouseClick(child<QToolButton>(form.get(), "SpeedButton8"), Qt::LeftButton);
    QVERIFY(form->state().PlotterMode);
    QCOMPARE(child<QLabel>(form.get(), "StatusPanel0")->text(), QStringLiteral("CTF Plotter"));
    QCOMPARE(chart->pointCount(1), 0);
    QTest::mouseClick(child<QToolButton>(form.get(), "btnOrvalis"), Qt::LeftButton);
    QVERIFY(!form->state().PlotterMode);
    QCOMPARE(child<QLabel>(form.get(), "StatusPanel0")->text(), QStringLiteral("Orvalis"));
    QCOMPARE(chart->pointCount(1), temporalPoints);
    QVERIFY(child<QWidget>(form.get(), "fmBtnBar2dCTF")->isVisible());

    action(form.get(), "N1DCTFPlotMode1")->trigger();
    QVERIFY(form->state().PlotterMode);
    QVERIFY(action(form.get(), "N1DCTFPlotMode1")->isChecked());
    // The plotter bar's map switch follows the menu item.
    action(form.get(), "N3D1")->trigger();
    QVERIFY(child<QToolButton>(child<QWidget>(form.get(), "fmBtnBar1dCTF"), "btnShow3D")->isChecked());
    action(form.get(), "N1DCTFPlotMode1")->trigger();
    QVERIFY(!form->state().PlotterMode);
    QVERIFY(!action(form.get(), "N1DCTFPlotMode1")->isChecked());
}

void TestShell::plotterGreysViewMenusOnly()
{
    auto form = startForm();
    action(form.get(), "ShowToolbar1")->trigger();
    form->views().ChangeMode();
    QVERIFY(!child<QMenu>(form.get(), "N1DCTF1")->menuAction()->isEnabled());
    QVERIFY(!child<QMenu>(form.get(), "N2DCTF1")->menuAction()->isEnabled());
    auto *intensity = child<QToolButton>(form.get(), "btnIntensity");
    QVERIFY(intensity->isEnabled());
    QTest::mouseClick(intensity, Qt::LeftButton);
    QVERIFY(action(form.get(), "Intensity1")->isChecked());
    QVERIFY(intensity->isChecked());
    QTest::mouseClick(child<QToolButton>(form.get(), "btnSymmetr"), Qt::LeftButton);
    QVERIFY(action(form.get(), "Symmetr1")->isChecked());
    form->views().ChangeMode();
    QVERIFY(child<QMenu>(form.get(), "N1DCTF1")->menuAction()->isEnabled());
}

// The combined envelope is drawn by the same series in both modes; each mode shows it as its own
// switch says, whatever the other mode did to it.
void TestShell::envelopeSwitchesOfEachMode()
{
    auto form = startForm();
    auto *chart = child<ChartWidget>(form.get(), "Chart1");
    auto *envelopes = child<QToolButton>(form.get(), "btnEnvelopes");
    form->views().ChangeMode();
    QTest::mouseClick(envelopes, Qt::LeftButton); // on ...
    QTest::mouseClick(envelopes, Qt::LeftButton); // ... and off in plotter mode
    QVERIFY(!chart->isSeriesVisible(3));
    form->views().ChangeMode();
    QVERIFY(action(form.get(), "Combined1")->isChecked());
    QVERIFY(chart->isSeriesVisible(3));
    QVERIFY(chart->isSeriesVisible(6));
    QVERIFY(chart->pointCount(3) > 0);

    form->views().ChangeMode();
    QTest::mouseClick(envelopes, Qt::LeftButton); // on in plotter mode
    form->views().ChangeMode();
    action(form.get(), "Combined1")->trigger(); // off in analysis mode
    QVERIFY(!chart->isSeriesVisible(3));
    form->views().ChangeMode();
    QVERIFY(envelopes->isChecked());
    QVERIFY(chart->isSeriesVisible(3));
    QVERIFY(chart->pointCount(3) > 0);
}

void TestShell::titlesAndToolbarToggle()
{
    auto form = startForm();
    const char *titles[] = {"pa1dCTFHeader", "pa2dCTFheader", "pa3DCTFHeader"};
    QAction *showTitles = action(form.get(), "actShowTitles");
    showTitles->trigger();
    QVERIFY(showTitles->isChecked());
    for (const char *t : titles)
        QVERIFY(!child<QWidget>(form.get(), t)->isHidden());
    showTitles->trigger();
    QVERIFY(!showTitles->isChecked());
    for (const char *t : titles)
        QVERIFY(child<QWidget>(form.get(), t)->isHidden());

    QAction *showToolbar = action(form.get(), "ShowToolbar1");
    showToolbar->trigger();
    QVERIFY(showToolbar->isChecked());
    QVERIFY(child<QWidget>(form.get(), "ToolBar1")->isVisible());
    QVERIFY(child<QWidget>(form.get(), "ToolBar2")->isVisible());
    showToolbar->trigger();
    QVERIFY(!child<QWidget>(form.get(), "ToolBar2")->isVisible());
}

void TestShell::toolButtonsAreTheMenuActions()
{
    auto form = startForm();
    action(form.get(), "ShowToolbar1")->trigger();
    const struct {
        const char *button;
        const char *item;
    } pairs[] = {{"ToolButton1", "Save2D"},   {"ToolButton2", "Save1D"},      {"ToolButton3", "SaveDefocusMap1"},
                 {"ToolButton5", "Options1"}, {"btnIntensity", "Intensity1"}, {"btnSymmetr", "Symmetr1"}};
    for (const auto &p : pairs)
        QCOMPARE(child<QToolButton>(form.get(), p.button)->defaultAction(), action(form.get(), p.item));
    // The Save buttons come with their panes.
    QVERIFY(!child<QToolButton>(form.get(), "ToolButton1")->isVisible());
    QVERIFY(!action(form.get(), "Save2D")->isEnabled());
    action(form.get(), "Show2DCTF1")->trigger();
    QTRY_VERIFY(child<QToolButton>(form.get(), "ToolButton1")->isVisible()); // once the bar is laid out again
    QVERIFY(child<QToolButton>(form.get(), "ToolButton1")->isEnabled());
    QVERIFY(!child<QToolButton>(form.get(), "ToolButton3")->isVisible());
    QTest::mouseClick(child<QToolButton>(form.get(), "btnShow3D"), Qt::LeftButton);
    QTRY_VERIFY(child<QToolButton>(form.get(), "ToolButton3")->isVisible());
    QCOMPARE(child<QToolButton>(form.get(), "btnSymmetr")->toolTip(), QStringLiteral("Symmetrical Envelopes"));
}

void TestShell::firstActivationOnce()
{
    TForm1 form;
    QSignalSpy spy(&form, &TForm1::firstActivation);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QApplication::setActiveWindow(&form);
    QTRY_COMPARE(spy.count(), 1);
    // Every dialog makes the window active again when it closes.
    for (int i = 0; i < 2; ++i) {
        MessageBoxCatcher box;
        QMessageBox::information(&form, QStringLiteral("t"), QStringLiteral("x"));
        QApplication::setActiveWindow(&form);
        QTRY_VERIFY(form.isActiveWindow());
    }
    QCOMPARE(spy.count(), 1);
}

ORVALIS_UI_TEST_MAIN(TestShell)
#include "test_shell.moc"
