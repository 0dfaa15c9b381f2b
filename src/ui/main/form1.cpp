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
#include "ui/main/paneparts.h"
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

QLabel *label(const char *name, const QString &text, QWidget *parent = nullptr)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QToolButton *toolButton(const char *name, const QString &caption, const QString &hint, const QIcon &icon)
{
    auto *b = new QToolButton;
    b->setObjectName(QString::fromLatin1(name));
    b->setText(caption);
    b->setToolTip(hint);
    b->setIcon(icon);
    b->setAutoRaise(true);
    return b;
}

ScrollBar *slider(const char *name, int minimum, int maximum, int position, const QString &hint)
{
    auto *s = new ScrollBar;
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(minimum, maximum);
    s->setValue(position);
    s->setToolTip(hint);
    return s;
}

QLineEdit *edit(const char *name, const QString &text)
{
    auto *e = new QLineEdit(text);
    e->setObjectName(QString::fromLatin1(name));
    e->setFixedWidth(54);
    return e;
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

TForm1::~TForm1()
{
    // The children outlive this part of the window while the base class deletes them; their events
    // must not reach a filter that is half destroyed.
    for (QObject *watched :
         {static_cast<QObject *>(pa2Dctf), static_cast<QObject *>(edDefocus), static_cast<QObject *>(edAstigm),
          static_cast<QObject *>(edAstigm3), static_cast<QObject *>(edMagn)})
        if (watched)
            watched->removeEventFilter(this);
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
    setSliderTabOrder();
    connectControls();
    buildSaveDialog();
    buildDialogItems();

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
    ProgressBar1->hide();
    placeDirectionMarker(directionMarkerCorner(m_state.Direction, directionRingRadius(m_patternCentre), m_patternCentre,
                                               Shape1->width()));

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

QWidget *TForm1::buildPatternPane()
{
    pa2Dctf = named(new QWidget, "pa2Dctf");
    auto *column = new QVBoxLayout(pa2Dctf);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    pa2dCTFheader = paneTitle("pa2dCTFheader", QStringLiteral("2D CTF"), 21);
    column->addWidget(pa2dCTFheader);
    auto *panel7 = named(new QWidget, "Panel7");
    panel7->setFixedHeight(268);
    column->addWidget(panel7);
    column->addStretch(1);

    // Children of Panel7 are placed in pixels by layoutForScreenDensity().
    paImage1 = named(new QWidget(panel7), "paImage1");
    Image1 = new PixelImage(paImage1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(
        QStringLiteral("Click to change the direction of 1D CTF plotted (only useful when astigmatism present)"));
    Shape1 = new Shape(Shape::Circle, Qt::red, Qt::black, paImage1);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setToolTip(QStringLiteral("Shows the direction of 1D CTF plotted"));
    Shape1->resize(6, 6);
    pa2DRuler = named(new QWidget(panel7), "pa2DRuler");
    // One point below the window's font: small, yet readable at a glance at any density.
    QFont small = font();
    small.setPointSizeF(std::max(7.0, font().pointSizeF() - 1));
    shTick1 = new Shape(Shape::Rectangle, Qt::black, QColor(), pa2DRuler);
    shTick2 = new Shape(Shape::Rectangle, Qt::black, QColor(), pa2DRuler);
    shTick3 = new Shape(Shape::Rectangle, Qt::black, QColor(), pa2DRuler);
    shTick1->setObjectName(QStringLiteral("shTick1"));
    shTick2->setObjectName(QStringLiteral("shTick2"));
    shTick3->setObjectName(QStringLiteral("shTick3"));
    for (Shape *tick : {shTick1, shTick2, shTick3})
        tick->resize(1, 4);
    laTick1 = label("laTick1", QStringLiteral("-10"), pa2DRuler);
    laTick2 = label("laTick2", QStringLiteral("0"), pa2DRuler);
    laTick3 = label("laTick3", QStringLiteral("10"), pa2DRuler);
    for (QLabel *l : {laTick1, laTick2, laTick3})
        l->setFont(small);
    Label11 = label("Label11", QStringLiteral("Current k, (d):"), panel7);
    ProgressBar1 = new QProgressBar(panel7);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setFormat(QString()); // no text to compose at every step of a pass
    ProgressBar1->resize(208, 8);
    return pa2Dctf;
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

QWidget *TForm1::buildSliderPanel()
{
    paSliders = named(new QWidget, "paSliders");
    paSliders->setFixedWidth(250); // room for the convergence beside "Magnification"
    auto *grid = new QGridLayout(paSliders);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(1);

    ScrollBar1 = slider("ScrollBar1", -50, 200, 0, QStringLiteral("Adjust defocus"));
    ScrollBar2 = slider("ScrollBar2", 0, 200, 0, QStringLiteral("Adjust 2-fold astigmatism"));
    ScrollBar3 = slider("ScrollBar3", 0, 10000, 0, QStringLiteral("Adjust 3-fold astigmatism"));
    ScrollBar4 = slider("ScrollBar4", 14, 39, 22, QStringLiteral("Change Magnification/Convergence"));
    edDefocus = edit("edDefocus", QStringLiteral("-100"));
    edAstigm = edit("edAstigm", QStringLiteral("200"));
    edAstigm3 = edit("edAstigm3", QStringLiteral("1"));
    edMagn = edit("edMagn", QStringLiteral("1"));
    edMagn->setFixedWidth(70);
    SpeedButton1 = toolButton("SpeedButton1", QString(), QStringLiteral("Scherzer"), QIcon());
    SpeedButton1->setText(QStringLiteral("S"));
    SpeedButton2 = toolButton("SpeedButton2", QStringLiteral("0"), QStringLiteral("Zero"), QIcon());
    SpeedButton3 = toolButton("SpeedButton3", QStringLiteral("0"), QStringLiteral("Zero"), QIcon());
    for (QToolButton *b : {SpeedButton1, SpeedButton2, SpeedButton3})
        b->setAutoRaise(false); // a one-letter button must look like a button before it is hovered
    Label3 = label("Label3", QStringLiteral("(Convergence: 0.1000 mrad)"));

    const struct {
        QLabel *title;
        ScrollBar *bar;
        QLineEdit *field;
        const char *unitName;
        QToolButton *button;
    } rows[] = {
        {label("Label1", QStringLiteral("Defocus:")), ScrollBar1, edDefocus, "Label7", SpeedButton1},
        {label("Label4", QStringLiteral("Astigmatism:")), ScrollBar2, edAstigm, "Label8", SpeedButton2},
        {label("Label5", QStringLiteral("3-fold Astigmatism")), ScrollBar3, edAstigm3, "Label9", SpeedButton3},
    };
    int row = 0;
    for (const auto &r : rows) {
        grid->addWidget(r.title, row, 0, 1, 4);
        grid->addWidget(r.bar, row + 1, 0);
        grid->addWidget(r.field, row + 1, 1);
        grid->addWidget(label(r.unitName, QStringLiteral("nm")), row + 1, 2);
        r.button->setFixedSize(20, 20);
        grid->addWidget(r.button, row + 1, 3);
        row += 2;
    }
    auto *magnTitle = new QHBoxLayout;
    magnTitle->setSpacing(4);
    magnTitle->addWidget(label("Label2", QStringLiteral("Magnification")));
    QFont small = Label3->font();
    small.setPixelSize(10);
    Label3->setFont(small);
    magnTitle->addWidget(Label3, 1);
    grid->addLayout(magnTitle, row, 0, 1, 4);
    grid->addWidget(ScrollBar4, row + 1, 0);
    grid->addWidget(edMagn, row + 1, 1, 1, 3);
    grid->setColumnStretch(0, 1);

    for (QWidget *w : {static_cast<QWidget *>(ScrollBar1), static_cast<QWidget *>(ScrollBar2),
                       static_cast<QWidget *>(ScrollBar3), static_cast<QWidget *>(ScrollBar4)})
        w->setFocusPolicy(Qt::StrongFocus);
    // The jump buttons stay out of the Tab chain: the sliders and fields are the panel's keyboard path.
    for (QToolButton *b : {SpeedButton1, SpeedButton2, SpeedButton3})
        b->setFocusPolicy(Qt::NoFocus);
    return paSliders;
}

// The sliders first, then the fields. Set once the panel sits in the window: moving a built panel
// into another parent rebuilds its part of the focus chain in creation order.
void TForm1::setSliderTabOrder()
{
    QWidget *const chain[] = {ScrollBar1, ScrollBar2, ScrollBar3, ScrollBar4, edDefocus, edAstigm, edAstigm3, edMagn};
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
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
    Splitter2->addWidget(buildPatternPane());
    Splitter2->addWidget(buildChartArea());
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    host->addWidget(Splitter2);

    auto *paStatus = named(new QWidget, "paStatus");
    auto *status = new QHBoxLayout(paStatus);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(0);
    status->addWidget(buildSliderPanel());
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

    connectReported(ScrollBar1, &QScrollBar::valueChanged, this, &TForm1::ScrollBar1Change);
    connectReported(ScrollBar2, &QScrollBar::valueChanged, this, &TForm1::ScrollBar2Change);
    connectReported(ScrollBar3, &QScrollBar::valueChanged, this, &TForm1::ScrollBar3Change);
    connectReported(ScrollBar4, &QScrollBar::valueChanged, this, &TForm1::ScrollBar4Change);
    connectReported(ScrollBar1, &ScrollBar::scrolled, this, &TForm1::ScrollBar1Scroll);
    connectReported(ScrollBar2, &ScrollBar::scrolled, this, &TForm1::ScrollBar2Scroll);
    connectReported(ScrollBar3, &ScrollBar::scrolled, this, &TForm1::ScrollBar3Scroll);
    connectReported(ScrollBar4, &ScrollBar::scrolled, this, &TForm1::ScrollBar4Scroll);
    for (QLineEdit *e : {edDefocus, edAstigm, edAstigm3, edMagn})
        e->installEventFilter(this);
    connectReported(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connectReported(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
    connectReported(SpeedButton3, &QToolButton::clicked, this, &TForm1::SpeedButton3Click);

    connectReported(Image1, &PixelImage::mouseMoved, this, &TForm1::Image1MouseMove);
    connectReported(Image1, &PixelImage::mouseReleased, this, &TForm1::Image1MouseUp);
    connectReported(m_curves, &CurvePane::drawn, this, &TForm1::Chart1AfterDraw);
    connectReported(m_map, &MapPane::drawn, this, &TForm1::Chart2AfterDraw);
    connectReported(m_curves, &CurvePane::pointerMoved, this, &TForm1::Chart1MouseMove);
    connectReported(m_curves, &CurvePane::pointerLeft, this, &TForm1::Chart1MouseLeave);
    pa2Dctf->installEventFilter(this); // its width is kept for the next start, also while it is hidden
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
    Image1->setImageSize(patternWidth, patternWidth);
    // The least the pattern, its ruler and readout need; the user may drag the pane wider (Splitter2).
    pa2Dctf->setMinimumWidth(std::max(225, patternWidth + 2 * m_rulerMargin + 5));

    m_rulerMargin = 6;
    paImage1->setGeometry(m_rulerMargin, m_rulerMargin, patternWidth, patternWidth);
    pa2DRuler->setGeometry(paImage1->x() - 1, paImage1->height() + paImage1->y(), paImage1->width() + 2, 16);
    LayoutRuler();
    Label11->setGeometry(paImage1->x(), pa2DRuler->geometry().bottom() + 2, patternWidth + 10, 16);
    ProgressBar1->setGeometry(paImage1->x(), Label11->geometry().bottom() + 2, patternWidth, 8);
    m_patternCentre = roundToInt(patternWidth / 2.0);
    fitReadouts();
    m_status->fitToScreen(dense);
}

// The readouts and the warning are shown whole in the window's font at this screen's density: their
// panes grow to the widest text they can show, never shrink below their defined sizes.
void TForm1::fitReadouts()
{
    const auto widest = [](const QWidget *w, std::initializer_list<QString> texts) {
        int width = 0;
        for (const QString &text : texts)
            width = std::max(width, w->fontMetrics().horizontalAdvance(text));
        return width + 8; // frame and a little air
    };
    const int readout = widest(Label11, {patternReadoutText(0), patternReadoutText(141.4)});
    Label11->resize(std::max(Label11->width(), readout), std::max(Label11->height(), Label11->fontMetrics().height()));
    ProgressBar1->move(ProgressBar1->x(), Label11->geometry().bottom() + 2);
    pa2Dctf->setMinimumWidth(std::max(pa2Dctf->minimumWidth(), Label11->geometry().right() + m_rulerMargin));
    QWidget *panel7 = paImage1->parentWidget();
    panel7->setFixedHeight(std::max(268, ProgressBar1->geometry().bottom() + m_rulerMargin));
}

void TForm1::placeDirectionMarker(QPoint corner)
{
    Shape1->move(corner);
    Shape1->raise();
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

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            void (TForm1::*handler)() = nullptr;
            if (watched == edDefocus)
                handler = &TForm1::edDefocusKeyDown;
            else if (watched == edAstigm)
                handler = &TForm1::edAstigmKeyDown;
            else if (watched == edAstigm3 || watched == edMagn)
                handler = &TForm1::edAstigm3KeyDown;
            else
                return QMainWindow::eventFilter(watched, event);
            runReported([this, handler] { (this->*handler)(); });
            return true;
        }
    } else if (watched == pa2Dctf && (event->type() == QEvent::Resize || event->type() == QEvent::Show)
               && pa2Dctf->isVisible()) {
        m_patternPaneWidth = pa2Dctf->width();
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace orvalis
