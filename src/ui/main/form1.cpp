// Construction of the main window, the wiring of its parts, its settings and its events.
#include "form1.h"

#include "core/patterngeometry.h"
#include "store/windowsettings.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/curvepane.h"
#include "ui/main/fitbrowsercontroller.h"
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
template <class Receiver, class Handler> void connectToggleItem(QAction *item, Receiver *receiver, Handler handler)
{
    QObject::connect(item, &QAction::triggered, receiver, [item, receiver, handler](bool checked) {
        item->setChecked(!checked);
        runReported([receiver, handler] { (receiver->*handler)(); });
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
    m_body->setModeBars(m_bar2d, m_bar1d);
    m_body->dockModeBar(false);
    LoadSettings();
    m_views->ApplyViewState();
    m_store->countUse();
    m_body->info()->buildNodes();
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
    m_controls = new AberrationControls(this, m_session, m_body);
    m_views = new ViewCommands(this, {m_session, m_actions, m_body});
    m_help = new HelpDialogs(this);
    m_setup = new SetupDialogs(this, {m_session, m_actions, m_body->info()});
    connectControls();
    m_saver = new SaveCommands(this, m_session, m_body, m_actions);
    m_micrographs = new MicrographController(this, *m_session, m_body->pattern(), m_body->curves());
    connect(m_micrographs, &MicrographController::changed, m_actions,
            [this] { m_actions->setDetectorSet(m_session->state().PixelSize > 0); });
    m_painter->setMicrographs(m_micrographs);
    auto *fit = new FitController(this, *m_session, *m_micrographs, m_body->pattern());
    connect(fit, &FitController::aberrationsSet, m_controls, &AberrationControls::showAberrations);
    auto *fits = new FitBrowserController(this, *m_session, *m_micrographs);
    fits->setObjectName(QStringLiteral("fitBrowser"));
    connect(fits, &FitBrowserController::aberrationsSet, m_controls, &AberrationControls::showAberrations);
    new FigureCommands(this, *m_session, m_body, m_micrographs->micrograph(), fit->fit());
}

void TForm1::connectControls()
{
    connect(m_controls, &AberrationControls::defocusEntered, m_painter, &ViewPainter::defocusEntered);
    connect(m_controls, &AberrationControls::statusMessage, this,
            [this](const QString &text) { statusBar()->showMessage(text, 15000); });
    connect(m_setup, &SetupDialogs::workingRangesChosen, m_controls, &AberrationControls::applyOptions);
    connect(m_setup, &SetupDialogs::aberrationsChosen, m_controls, &AberrationControls::setAberrations);
    connect(m_setup, &SetupDialogs::recordDefocusShown, m_painter, &ViewPainter::drawAt);
    connect(m_views, &ViewCommands::ctfChosen, m_controls, &AberrationControls::switchCtf);
    connect(m_views, &ViewCommands::otherCtfWanted, m_controls, &AberrationControls::drawOtherCtf);
    connect(m_views, &ViewCommands::modeEntered, m_status, &StatusPanels::showMode);
    connect(m_views, &ViewCommands::toolBarShown, this, [this](bool shown) { m_row->setVisible(shown); });
    const WindowActions &a = *m_actions;
    connectReported(a.Exit1, &QAction::triggered, this, &TForm1::close);
    for (QAction *mode : {a.toPlotterMode, a.toAnalysisMode})
        connectReported(mode, &QAction::triggered, m_views, &ViewCommands::ChangeMode);
    connectReported(a.firstCtf, &QAction::triggered, m_views, [](ViewCommands *v) { v->chooseCtf(false); });
    connectReported(a.secondCtf, &QAction::triggered, m_views, [](ViewCommands *v) { v->chooseCtf(true); });
    connectReported(a.showEnvelopes, &QAction::triggered, m_views, &ViewCommands::btnEnvelopesClick);
    using Dialog = void (SetupDialogs::*)();
    const std::pair<QAction *, Dialog> dialogs[] = {{a.Options1, &SetupDialogs::Options1Click},
                                                    {a.SpecimenDetector1, &SetupDialogs::SpecimenDetector1Click},
                                                    {a.Microscope1, &SetupDialogs::Microscope1Click},
                                                    {a.QuickSetup1, &SetupDialogs::QuickSetup1Click},
                                                    {a.ShowInfo1, &SetupDialogs::ShowInfo1Click}};
    for (const auto &dialog : dialogs)
        connectReported(dialog.first, &QAction::triggered, m_setup, dialog.second);
    connectReported(a.Contents1, &QAction::triggered, m_help, &HelpDialogs::Contents1Click);
    connectReported(a.About1, &QAction::triggered, m_help, &HelpDialogs::About1Click);
    // The live button leaves the check to its handler, as the menu items do.
    using Toggle = void (ViewCommands::*)();
    const std::pair<QAction *, Toggle> toggles[] = {{a.Intensity1, &ViewCommands::Intensity1Click},
                                                    {a.Symmetr1, &ViewCommands::Symmetr1Click},
                                                    {a.Temporal1, &ViewCommands::Temporal1Click},
                                                    {a.Spatial1, &ViewCommands::Spatial1Click},
                                                    {a.Combined1, &ViewCommands::Combined1Click},
                                                    {a.Show2DCTF1, &ViewCommands::Show2DCTF1Click},
                                                    {a.Enable2DUpdate1, &ViewCommands::Enable2DUpdate1Click},
                                                    {a.N3D1, &ViewCommands::N3D1Click},
                                                    {a.N1DCTFPlotMode1, &ViewCommands::ChangeMode},
                                                    {a.actShowTitles, &ViewCommands::actShowTitlesExecute},
                                                    {a.ShowToolbar1, &ViewCommands::ShowToolbar1Click},
                                                    {a.liveUpdate, &ViewCommands::Enable2DUpdate1Click}};
    for (const auto &toggle : toggles)
        connectToggleItem(toggle.first, m_views, toggle.second);
    connectReported(this, &TForm1::firstActivation, this,
                    [](TForm1 *f) { f->m_help->askAboutUsage(f->m_store->useCount()); });
    connectPanels();
}

// The sliders' rows name the handlers ScrollBar1Change ... ScrollBar4Change, ScrollBar1Scroll ...,
// edDefocusKeyDown, edAstigmKeyDown, edAstigm3KeyDown (Enter in edMagn too) and SpeedButton1Click ...
// SpeedButton3Click: the aberration controls take each with its row.
void TForm1::connectPanels()
{
    SliderPanel *sliders = m_body->sliders();
    connectReported(sliders, &SliderPanel::changed, m_controls, &AberrationControls::changed);
    connectReported(sliders, &SliderPanel::scrolled, m_controls, &AberrationControls::scrolled);
    connectReported(sliders, &SliderPanel::entered, m_controls, &AberrationControls::entered);
    connectReported(sliders, &SliderPanel::jumped, m_controls, &AberrationControls::jumped);

    connectReported(m_body->pattern(), &PatternPane::pointerMoved, m_painter, &ViewPainter::Image1MouseMove);
    connectReported(m_body->pattern(), &PatternPane::released, m_painter, &ViewPainter::Image1MouseUp);
    connectReported(m_body->curves(), &CurvePane::drawn, m_painter, &ViewPainter::Chart1AfterDraw);
    connectReported(m_body->map(), &MapPane::drawn, m_painter, &ViewPainter::Chart2AfterDraw);
    connectReported(m_body->curves(), &CurvePane::pointerMoved, m_painter, &ViewPainter::Chart1MouseMove);
    connectReported(m_body->curves(), &CurvePane::pointerLeft, m_painter, &ViewPainter::Chart1MouseLeave);
    connectReported(m_status, &StatusPanels::warningClicked, m_setup, &SetupDialogs::Image2Click);
    connectReported(m_body->info(), &InfoPanel::microscopeRequested, m_setup, &SetupDialogs::Microscope1Click);
    connectReported(m_body->info(), &InfoPanel::quickSetupRequested, m_setup, &SetupDialogs::QuickSetup1Click);
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
        QMetaObject::invokeMethod(
            this, [this] { m_store->showNotices(this); }, Qt::QueuedConnection);
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
