// Construction of the main window, the wiring of its parts, its settings and its events.
#include "form1.h"

#include "core/patterngeometry.h"
#include "store/windowsettings.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/curvepane.h"
#include "ui/main/fitcontroller.h"
#include "ui/main/infopanel.h"
#include "ui/main/mainbody.h"
#include "ui/main/mappane.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/patternpane.h"
#include "ui/main/statuspanels.h"
#include "ui/main/toolbarrow.h"
#include "ui/main/windowactions.h"
#include "ui/main/windowstore.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QStatusBar>

namespace orvalis {
namespace {

// Menu actions toggle their own check before their handler runs; the handlers toggle it themselves
// (the bar buttons call them too), so the menu's own toggle is taken back first.
template <class Handler> void connectToggleItem(QAction *item, TForm1 *form, Handler handler)
{
    QObject::connect(item, &QAction::triggered, form, [item, form, handler](bool checked) {
        item->setChecked(!checked);
        runReported([form, handler] { (form->*handler)(); });
    });
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), m_session(new CtfSession(this)), ScopeRecord1(m_session->ScopeRecord1),
      ScopeRecord2(m_session->ScopeRecord2), m_state(m_session->state())
{
    FormCreate();
}

TForm1::~TForm1()
{
    // QWidget deletes the children after this class's part of the window is gone, and a child may
    // still signal on the way (a scroll bar ends a step it was given without a key or button): none
    // of that may reach the handlers of a window half destroyed.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void TForm1::FormCreate()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvalis"));
    setMinimumSize(300, 300);
    move(259, 117); // the outer frame's corner, as stored
    resize(759, 612);
    // Every number is formatted and parsed by our own functions with "."; nothing consults the locale.
    QLocale::setDefault(QLocale::c());

    buildParts();
    DockButtonBar(m_bar2d);
    LoadSettings();
    ApplyViewState();
    m_store->countUse();
    BuildScopeTreeNodes();
    // The first load shows its instrument while the run is not yet under way: the sliders' moves
    // change nothing then.
    m_session->beginRun();

    m_status->fitToScreen(m_body->layOutForScreen(m_state.UpTo));
    PatternPane *pattern = m_body->pattern();
    pattern->hideProgress();
    const int centre = pattern->centre();
    pattern->placeMarker(
        directionMarkerCorner(m_state.Direction, directionRingRadius(centre), centre, pattern->markerWidth()));
    m_painter->redraw();
    Draw3DCTF();
    m_views->enterMode(m_session->storedPlotterMode());
}

void TForm1::buildParts()
{
    // Both bars belong to the window; the one not docked waits hidden.
    m_bar2d = new TfmBtnBar2dCTF(this);
    m_bar1d = new TfmBtnBar1dCTF(this);
    m_bar2d->hide();
    m_bar1d->hide();
    m_actions = new WindowActions(this);
    m_actions->attachBar(m_bar2d);
    m_actions->attachBar(m_bar1d);
    m_actions->buildMenus(menuBar());
    m_row = std::make_unique<ToolBarRow>(this);
    m_row->place(m_actions->buildToolBars(this), {false, false}, m_actions->ShowToolbar1->isChecked());
    m_body = new MainBody(this);
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);
    m_status = new StatusPanels;
    statusBar()->addWidget(m_status, 1);
    m_body->sliders()->setTabOrder();

    m_store = std::make_unique<WindowStore>();
    m_painter = new ViewPainter(this, m_session, m_body, m_status);
    m_controls = new AberrationControls(this, m_session, m_body, m_painter);
    m_views = new ViewCommands(
        this, {m_session, m_actions, m_body, m_status, m_painter, m_controls, m_row.get(), m_bar2d, m_bar1d});
    m_help = new HelpDialogs(this);
    m_setup = new SetupDialogs(this, {m_session, m_actions, m_body->info(), m_painter, m_controls, m_body->curves()});
    connectControls();
    m_saver = new SaveCommands(this, m_session, m_body, m_actions);
    m_micrographs = new MicrographController(this, *m_session, m_body->pattern(), m_body->curves(), [this] {
        m_actions->setDetectorSet(m_session->state().PixelSize > 0);
        m_painter->redraw();
    });
    m_painter->setMicrographs(m_micrographs);
    new FitController(this, *m_session, *m_micrographs, m_body->pattern(), m_controls);
}

void TForm1::connectControls()
{
    connect(m_session, &CtfSession::instrumentChanged, m_controls, &AberrationControls::showInstrument);
    using Command = void (TForm1::*)();
    const WindowActions &a = *m_actions;
    const std::pair<QAction *, Command> commands[] = {{a.Exit1, &TForm1::Exit1Click},
                                                      {a.Options1, &TForm1::Options1Click},
                                                      {a.SpecimenDetector1, &TForm1::SpecimenDetector1Click},
                                                      {a.Contents1, &TForm1::Contents1Click},
                                                      {a.About1, &TForm1::About1Click},
                                                      {a.toPlotterMode, &TForm1::ChangeMode},
                                                      {a.toAnalysisMode, &TForm1::ChangeMode},
                                                      {a.firstCtf, &TForm1::btn1stCTFClick},
                                                      {a.secondCtf, &TForm1::btn2ndCTFClick},
                                                      {a.showEnvelopes, &TForm1::btnEnvelopesClick},
                                                      {a.Microscope1, &TForm1::Microscope1Click},
                                                      {a.QuickSetup1, &TForm1::QuickSetup1Click},
                                                      {a.ShowInfo1, &TForm1::ShowInfo1Click}};
    for (const auto &command : commands)
        connectReported(command.first, &QAction::triggered, this, command.second);
    // The live button leaves the check to its handler, as the menu items do.
    const std::pair<QAction *, Command> toggles[] = {{a.Intensity1, &TForm1::Intensity1Click},
                                                     {a.Symmetr1, &TForm1::Symmetr1Click},
                                                     {a.Temporal1, &TForm1::Temporal1Click},
                                                     {a.Spatial1, &TForm1::Spatial1Click},
                                                     {a.Combined1, &TForm1::Combined1Click},
                                                     {a.Show2DCTF1, &TForm1::Show2DCTF1Click},
                                                     {a.Enable2DUpdate1, &TForm1::Enable2DUpdate1Click},
                                                     {a.N3D1, &TForm1::N3D1Click},
                                                     {a.N1DCTFPlotMode1, &TForm1::N1DCTFPlotMode1Click},
                                                     {a.actShowTitles, &TForm1::actShowTitlesExecute},
                                                     {a.ShowToolbar1, &TForm1::ShowToolbar1Click},
                                                     {a.liveUpdate, &TForm1::Enable2DUpdate1Click}};
    for (const auto &toggle : toggles)
        connectToggleItem(toggle.first, this, toggle.second);
    connectReported(this, &TForm1::firstActivation, this, [](TForm1 *f) { f->m_help->askAboutUsage(f->useCount()); });
    connectPanels();
}

void TForm1::connectPanels()
{
    using Step = void (TForm1::*)();
    static constexpr Step changes[] = {&TForm1::ScrollBar1Change, &TForm1::ScrollBar2Change, &TForm1::ScrollBar3Change,
                                       &TForm1::ScrollBar4Change};
    using Scroll = void (TForm1::*)(bool);
    static constexpr Scroll scrolls[] = {&TForm1::ScrollBar1Scroll, &TForm1::ScrollBar2Scroll,
                                         &TForm1::ScrollBar3Scroll, &TForm1::ScrollBar4Scroll};
    // Enter in edMagn commits the three-fold field; the magnification is never read back.
    static constexpr Step entries[] = {&TForm1::edDefocusKeyDown, &TForm1::edAstigmKeyDown, &TForm1::edAstigm3KeyDown,
                                       &TForm1::edAstigm3KeyDown};
    static constexpr Step jumps[] = {&TForm1::SpeedButton1Click, &TForm1::SpeedButton2Click,
                                     &TForm1::SpeedButton3Click};
    SliderPanel *sliders = m_body->sliders();
    connectReported(sliders, &SliderPanel::changed, this, [](TForm1 *f, int row) { (f->*changes[row])(); });
    connectReported(sliders, &SliderPanel::scrolled, this,
                    [](TForm1 *f, int row, bool end) { (f->*scrolls[row])(end); });
    connectReported(sliders, &SliderPanel::entered, this, [](TForm1 *f, int row) { (f->*entries[row])(); });
    connectReported(sliders, &SliderPanel::jumped, this, [](TForm1 *f, int row) { (f->*jumps[row])(); });

    connectReported(m_body->pattern(), &PatternPane::pointerMoved, this, &TForm1::Image1MouseMove);
    connectReported(m_body->pattern(), &PatternPane::released, this, &TForm1::Image1MouseUp);
    connectReported(m_body->curves(), &CurvePane::drawn, this, &TForm1::Chart1AfterDraw);
    connectReported(m_body->map(), &MapPane::drawn, this, &TForm1::Chart2AfterDraw);
    connectReported(m_body->curves(), &CurvePane::pointerMoved, this, &TForm1::Chart1MouseMove);
    connectReported(m_body->curves(), &CurvePane::pointerLeft, this, &TForm1::Chart1MouseLeave);
    connectReported(m_status, &StatusPanels::warningClicked, this, &TForm1::Image2Click);
    connectReported(m_body->info(), &InfoPanel::microscopeRequested, this, &TForm1::Microscope1Click);
    connectReported(m_body->info(), &InfoPanel::quickSetupRequested, this, &TForm1::QuickSetup1Click);
}

void TForm1::BuildScopeTreeNodes()
{
    m_body->info()->buildNodes();
}

void TForm1::TreeView1Change()
{
    m_body->info()->showCurrentGroup();
}

void TForm1::DockButtonBar(QWidget *bar)
{
    m_body->dockBar(bar);
}

void TForm1::setMonochrome(bool on)
{
    m_session->setMonochrome(on);
    m_setup->showMonochrome();
}

int TForm1::useCount() const
{
    return m_store->useCount();
}

int TForm1::patternCentre() const
{
    return m_body->pattern()->centre();
}

const QImage &TForm1::offscreenImage() const
{
    return m_body->map()->image();
}

// ---- settings -------------------------------------------------------------------------------------

// Each part takes its own values; the session its ranges, view choices and microscope.
void TForm1::LoadSettings()
{
    const WindowSettings settings = m_store->read();
    WindowStore::applyPlacement(this, settings);
    m_body->applyStored(settings);
    m_row->applyStored(settings, m_actions->ShowToolbar1->isChecked());
    m_saver->applyStored(settings);
    m_session->applySettings(settings);
    m_setup->showMonochrome(); // the chart takes its look before it is first shown
    m_controls->showStoredRanges();
    m_store->setUseCount(settings.Uses.value_or(0));
    // Scope record 1 from the library entry chosen last time; the user is told what could not come back.
    m_store->addNotices(m_session->selectStoredScope(settings));
    m_views->applyStored(settings);
    m_store->finishRead(settings);
}

// A failure is reported and the window closes all the same: what was written stays, and a window
// that could not be closed would only trap the user.
void TForm1::FormClose()
{
    runReported([this] {
        WindowSettings s;
        m_session->captureSettings(s);
        m_saver->capture(s);
        m_store->capture(this, s);
        m_body->capture(s);
        m_row->capture(s);
        m_views->capture(s);
        WriteWindowSettings(s);
    });
    // Whether or not the settings were written: a help window left open would keep the program running.
    m_help->closeHelp();
}

// ---- lifecycle and events -----------------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    m_body->applySplitters();
    // Told once the window is on the screen, so the user sees what the message is about.
    if (m_store->hasNotices())
        QMetaObject::invokeMethod(this, &TForm1::showStartupNotices, Qt::QueuedConnection);
}

void TForm1::showStartupNotices()
{
    m_store->showNotices(this);
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

// The window becomes active again after every dialog; what is due at activation is due once a run.
void TForm1::FormActivate()
{
    if (m_activated)
        return;
    m_activated = true;
    emit firstActivation();
}

} // namespace orvalis
