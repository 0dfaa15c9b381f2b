// Construction and layout of the main window: FormCreate and the functions building its parts.
#include "form1.h"

#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "core/curvereadout.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/patterngeometry.h"
#include "session/ctfsession.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/curvepane.h"
#include "ui/main/infopanel.h"
#include "ui/main/mappane.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/paneparts.h"
#include "ui/main/patternpane.h"
#include "ui/main/sliderpanel.h"
#include "ui/main/statuspanels.h"
#include "ui/main/windowactions.h"
#include "ui/options/fmoptions.h"
#include "ui/widgets/bandtoolbar.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/glyphs.h"
#include "ui/widgets/pixelimage.h"
#include "ui/widgets/scrollbar.h"
#include "ui/widgets/shape.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <climits>
#include <iterator>

namespace orvalis {
namespace {

QWidget *named(QWidget *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

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

TScopeData &TForm1::activeScopeRecord()
{
    return m_session->activeScopeRecord();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Orvalis"));
    setMinimumSize(300, 300);
    move(259, 117); // the outer frame's corner, as stored
    resize(759, 612);
    // Every number is formatted and parsed by our own functions with "."; nothing consults the locale.
    QLocale::setDefault(QLocale::c());

    // Both bars belong to the window; the one not docked waits hidden.
    m_bar2d = new TfmBtnBar2dCTF(this);
    m_bar1d = new TfmBtnBar1dCTF(this);
    m_bar2d->hide();
    m_bar1d->hide();
    m_actions = new WindowActions(this);
    m_actions->attachBar(m_bar2d);
    m_actions->attachBar(m_bar1d);
    m_options = std::make_unique<TfmOptions>();
    buildMenus();
    buildToolBars();
    buildBody();
    buildStatusBar();
    m_sliders->setTabOrder();
    connectControls();
    buildSaveDialog();
    buildDialogItems();
    m_micrographs = new MicrographController(this, *m_session, m_pattern, m_curves, [this] { redraw(); });

    DockButtonBar(m_bar2d);
    LoadSettings();
    ApplyViewState();
    if (m_useCount < INT_MAX)
        ++m_useCount;
    BuildScopeTreeNodes();
    // The first load shows its instrument while the run is not yet under way: the sliders' moves
    // change nothing then.
    m_session->beginRun();

    layoutForScreenDensity();
    m_pattern->hideProgress();
    const int centre = m_pattern->centre();
    placeDirectionMarker(
        directionMarkerCorner(m_state.Direction, directionRingRadius(centre), centre, m_pattern->markerWidth()));

    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    Draw3DCTF();
    enterMode(m_session->storedPlotterMode());
}

// ---- building the window ------------------------------------------------------------------------

void TForm1::buildMenus()
{
    m_actions->buildMenus(menuBar());
}

void TForm1::buildToolBars()
{
    placeToolBarBands(m_actions->buildToolBars(this), {false, false});
}

QWidget *TForm1::buildChartArea()
{
    m_curves = new CurvePane;
    m_map = new MapPane(m_curves->chart());
    Splitter1 = new QSplitter(Qt::Vertical);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(m_curves);
    Splitter1->addWidget(m_map);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);

    paLeft = named(new QWidget, "paLeft");
    auto *dock = new QVBoxLayout(paLeft);
    dock->setContentsMargins(0, 0, 0, 0);
    Splitter5 = new QSplitter(Qt::Horizontal);
    Splitter5->setObjectName(QStringLiteral("Splitter5"));
    Splitter5->setChildrenCollapsible(false);
    Splitter5->addWidget(Splitter1);
    Splitter5->addWidget(paLeft);
    Splitter5->setStretchFactor(0, 1);
    Splitter5->setStretchFactor(1, 0);

    auto *pa1Dctf = named(new QWidget, "pa1Dctf");
    auto *l = new QVBoxLayout(pa1Dctf);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(Splitter5);
    return pa1Dctf;
}

void TForm1::buildBody()
{
    auto *paBody = named(new QWidget, "paBody");
    auto *body = new QVBoxLayout(paBody);
    body->setContentsMargins(0, 0, 0, 0);

    auto *paCTFhost = named(new QWidget, "paCTFhost");
    auto *host = new QHBoxLayout(paCTFhost);
    host->setContentsMargins(0, 0, 0, 0);
    Splitter2 = new QSplitter(Qt::Horizontal);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setHandleWidth(2);
    Splitter2->setChildrenCollapsible(false);
    m_pattern = new PatternPane;
    Splitter2->addWidget(m_pattern);
    Splitter2->addWidget(buildChartArea());
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    host->addWidget(Splitter2);

    auto *paStatus = named(new QWidget, "paStatus");
    auto *status = new QHBoxLayout(paStatus);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(0);
    m_sliders = new SliderPanel;
    status->addWidget(m_sliders);
    m_infoPanel = new InfoPanel;
    status->addWidget(m_infoPanel, 1);

    Splitter4 = new QSplitter(Qt::Vertical);
    Splitter4->setObjectName(QStringLiteral("Splitter4"));
    Splitter4->setHandleWidth(2);
    Splitter4->setChildrenCollapsible(false);
    Splitter4->addWidget(paCTFhost);
    Splitter4->addWidget(paStatus);
    Splitter4->setStretchFactor(0, 1);
    Splitter4->setStretchFactor(1, 0);
    Splitter4->setSizes({400, 160});
    body->addWidget(Splitter4);

    // Below the size its panes need, the body scrolls instead of squeezing them over one another.
    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("paBodyScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(paBody);
    setCentralWidget(scroll);
}

void TForm1::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(true);
    m_status = new StatusPanels;
    bar->addWidget(m_status, 1);
}

void TForm1::connectControls()
{
    connect(m_session, &CtfSession::instrumentChanged, this, &TForm1::showInstrument);
    connectReported(m_actions->Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connectReported(m_actions->Options1, &QAction::triggered, this, &TForm1::Options1Click);
    connect(m_options.get(), &TfmOptions::monochromeChanged, this, [this](bool on) {
        m_monochrome = on;
        m_chartLook.apply(m_curves->chart(), on);
    });
    connectReported(this, &TForm1::firstActivation, this, &TForm1::askAboutUsage);
    connectReported(m_actions->Contents1, &QAction::triggered, this, &TForm1::Contents1Click);
    connectReported(m_actions->About1, &QAction::triggered, this, &TForm1::About1Click);
    connectToggleItem(m_actions->Intensity1, this, &TForm1::Intensity1Click);
    connectToggleItem(m_actions->Symmetr1, this, &TForm1::Symmetr1Click);
    connectToggleItem(m_actions->Temporal1, this, &TForm1::Temporal1Click);
    connectToggleItem(m_actions->Spatial1, this, &TForm1::Spatial1Click);
    connectToggleItem(m_actions->Combined1, this, &TForm1::Combined1Click);
    connectToggleItem(m_actions->Show2DCTF1, this, &TForm1::Show2DCTF1Click);
    connectToggleItem(m_actions->Enable2DUpdate1, this, &TForm1::Enable2DUpdate1Click);
    connectToggleItem(m_actions->N3D1, this, &TForm1::N3D1Click);
    connectToggleItem(m_actions->N1DCTFPlotMode1, this, &TForm1::N1DCTFPlotMode1Click);
    connectToggleItem(m_actions->actShowTitles, this, &TForm1::actShowTitlesExecute);
    connectToggleItem(m_actions->ShowToolbar1, this, &TForm1::ShowToolbar1Click);

    const WindowActions &a = *m_actions;
    connectReported(a.toPlotterMode, &QAction::triggered, this, &TForm1::ChangeMode);
    connectReported(a.toAnalysisMode, &QAction::triggered, this, &TForm1::ChangeMode);
    // The live button leaves the check to its handler, as the menu items do.
    connectToggleItem(a.liveUpdate, this, &TForm1::Enable2DUpdate1Click);
    connectReported(a.firstCtf, &QAction::triggered, this, &TForm1::btn1stCTFClick);
    connectReported(a.secondCtf, &QAction::triggered, this, &TForm1::btn2ndCTFClick);
    connectReported(a.showEnvelopes, &QAction::triggered, this, &TForm1::btnEnvelopesClick);
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
    connectReported(m_sliders, &SliderPanel::changed, this, [](TForm1 *f, int row) { (f->*changes[row])(); });
    connectReported(m_sliders, &SliderPanel::scrolled, this,
                    [](TForm1 *f, int row, bool end) { (f->*scrolls[row])(end); });
    connectReported(m_sliders, &SliderPanel::entered, this, [](TForm1 *f, int row) { (f->*entries[row])(); });
    connectReported(m_sliders, &SliderPanel::jumped, this, [](TForm1 *f, int row) { (f->*jumps[row])(); });

    connectReported(m_pattern, &PatternPane::pointerMoved, this, &TForm1::Image1MouseMove);
    connectReported(m_pattern, &PatternPane::released, this, &TForm1::Image1MouseUp);
    // Its width is kept for the next start, also while it is hidden.
    connect(m_pattern, &PatternPane::widthShown, this, [this](int px) { m_patternPaneWidth = px; });
    connectReported(m_curves, &CurvePane::drawn, this, &TForm1::Chart1AfterDraw);
    connectReported(m_map, &MapPane::drawn, this, &TForm1::Chart2AfterDraw);
    connectReported(m_curves, &CurvePane::pointerMoved, this, &TForm1::Chart1MouseMove);
    connectReported(m_curves, &CurvePane::pointerLeft, this, &TForm1::Chart1MouseLeave);
    connectReported(m_status, &StatusPanels::warningClicked, this, &TForm1::Image2Click);
}

// The pattern, its ruler and the map image follow the screen's density: 256 pixels on a screen of
// 120 pixels per inch, 208 on any other.
void TForm1::layoutForScreenDensity()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const bool dense = screen && qRound(screen->logicalDotsPerInch()) == 120;
    const int patternWidth = dense ? 256 : 208;
    paLeft->setFixedWidth(dense ? 171 : 138);
    m_map->setImageSide(roundToInt(patternWidth / 0.5));
    m_pattern->layOut(patternWidth, m_state.UpTo);
    m_status->fitToScreen(dense);
}

void TForm1::placeDirectionMarker(QPoint corner)
{
    m_pattern->placeMarker(corner);
}

// ---- lifecycle and events -----------------------------------------------------------------------

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    applySplitters();
    // Told once the window is on the screen, so the user sees what the message is about.
    if (!m_startupNotices.isEmpty())
        QMetaObject::invokeMethod(this, &TForm1::showStartupNotices, Qt::QueuedConnection);
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
