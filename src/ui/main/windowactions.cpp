#include "windowactions.h"

#include "chart/chart1series.h"
#include "ui/widgets/bandtoolbar.h"
#include "ui/widgets/glyphs.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolButton>

#include <iterator>

namespace orvalis {
namespace {

void hiddenItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    a->setVisible(false);
    a->setEnabled(false);
}

QMenu *subMenu(QMenu *parent, const char *name, const QString &caption)
{
    QMenu *menu = parent->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

QMenu *topMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    return menu;
}

// The button shows what its action says; the action says what the bar defines for the button.
void lend(QAction *action, QToolButton *button)
{
    action->setIconText(button->text());
    action->setToolTip(button->toolTip());
    action->setIcon(button->icon());
    action->setIconVisibleInMenu(false);
    button->setDefaultAction(action);
}

QToolButton *toolButton(const char *name, QAction *action)
{
    auto *b = new QToolButton;
    b->setObjectName(QString::fromLatin1(name));
    b->setDefaultAction(action);
    b->setAutoRaise(true);
    return b;
}

void forToolBar(QAction *action, const QIcon &icon, const QString &hint)
{
    action->setIcon(icon);
    action->setIconVisibleInMenu(false);
    action->setToolTip(hint);
}

} // namespace

WindowActions::WindowActions(QWidget *window) : QObject(window), m_window(window)
{
    Save1D = command("Save1D", QStringLiteral("Save &1D"));
    Save2D = command("Save2D", QStringLiteral("Save &2D"));
    SaveDefocusMap1 = command("SaveDefocusMap1", QStringLiteral("Save &Defocus Map"));
    Exit1 = command("Exit1", QStringLiteral("E&xit"));
    OpenFits1 = command("OpenFits1", QStringLiteral("Open Fi&ts..."));
    OpenFits1->setToolTip(QStringLiteral("Look through many micrographs' fits: a folder, a STAR file or a CTFFIND "
                                         "output"));
    // The keys every desktop program answers to, shown beside their menu items.
    Save1D->setShortcut(QKeySequence::Save);
    Exit1->setShortcut(QKeySequence::Quit);
    Microscope1 = command("Microscope1", QStringLiteral("Select/Edit &Microscope"));
    QuickSetup1 = command("QuickSetup1", QStringLiteral("&Quick Setup"));
    Options1 = command("Options1", QStringLiteral("&Options"));
    SpecimenDetector1 = command("SpecimenDetector1", QStringLiteral("Specimen and &Detector"));
    Astigmatism1 = command("Astigmatism1", QStringLiteral("&Astigmatism and Cryo-EM Defocus"));
    RelionSign1 = command("RelionSign1", QStringLiteral("CTF with RELION's Sign"), true, false);
    RelionSign1->setToolTip(QStringLiteral("The chart, its readout and the saved tables show -CTF, as RELION does"));
    Sampled2D1 = command("Sampled2D1", QStringLiteral("Sampled by the Detector"), true, false);
    Sampled2D1->setToolTip(QStringLiteral("The pattern as a detector of the pixel size set in Specimen and Detector "
                                          "records it, with what lies beyond Nyquist folded back"));
    Intensity1 = command("Intensity1", QStringLiteral("&Intensity"), true, false);
    Temporal1 = command("Temporal1", QStringLiteral("Temporal"), true, true);
    Spatial1 = command("Spatial1", QStringLiteral("Spatial"), true, true);
    Combined1 = command("Combined1", QStringLiteral("Combined"), true, true);
    Symmetr1 = command("Symmetr1", QStringLiteral("Show &Symmetrical"), true, false);
    Show2DCTF1 = command("Show2DCTF1", QStringLiteral("Show 2D CTF"), true, false);
    Enable2DUpdate1 = command("Enable2DUpdate1", QStringLiteral("Enable Update"), true, true);
    N3D1 = command("N3D1", QStringLiteral("Show Defocus Map"), true, false);
    N1DCTFPlotMode1 = command("N1DCTFPlotMode1", QStringLiteral("CTF Plot Mode"), true, true);
    ShowInfo1 = command("ShowInfo1", QStringLiteral("Info"));
    actShowTitles = command("actShowTitles", QStringLiteral("Show Titles"), true, false);
    ShowToolbar1 = command("ShowToolbar1", QStringLiteral("Show Toolbar"), true, false);
    Contents1 = command("Contents1", QStringLiteral("&Contents"));
    Contents1->setShortcut(QKeySequence::HelpContents);
    About1 = command("About1", QStringLiteral("&About..."));

    liveUpdate = command("liveUpdate", QString(), true, true);
    firstCtf = command("firstCtf", QString(), true, true);
    secondCtf = command("secondCtf", QString(), true, false);
    // Exactly one of the two CTFs is active; choosing the active one again reloads it.
    auto *pair = new QActionGroup(this);
    pair->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    pair->addAction(firstCtf);
    pair->addAction(secondCtf);
    showEnvelopes = command("showEnvelopes", QString(), true, false);
    toPlotterMode = command("toPlotterMode", QString());
    toAnalysisMode = command("toAnalysisMode", QString());

    // The tool bar shows some of them: its buttons are these actions.
    forToolBar(Save2D, savePatternGlyph(), QStringLiteral("Save 2D"));
    forToolBar(SaveDefocusMap1, saveMapGlyph(), QStringLiteral("Save Defocus Map"));
    forToolBar(Save1D, window->style()->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save 1D"));
    forToolBar(Options1, window->style()->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Options"));
    forToolBar(Intensity1, legendSwatch(seriesColour(S1Ctf)), QStringLiteral("Intensity"));
    forToolBar(Symmetr1, legendSwatch(seriesColour(S2Temporal)), QStringLiteral("Symmetrical Envelopes"));
}

QAction *WindowActions::command(const char *name, const QString &caption, bool checkable, bool checked)
{
    auto *a = new QAction(caption, m_window);
    a->setObjectName(QString::fromLatin1(name));
    a->setCheckable(checkable);
    a->setChecked(checked);
    return a;
}

void WindowActions::buildMenus(QMenuBar *bar)
{
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu *file = topMenu(bar, "File1", QStringLiteral("&File"));
    file->addAction(OpenFits1);
    hiddenItem(file, "New1", QStringLiteral("&New"));
    hiddenItem(file, "Open1", QStringLiteral("&Open..."));
    hiddenItem(file, "Print1", QStringLiteral("&Print..."));
    hiddenItem(file, "PrintSetup1", QStringLiteral("P&rint Setup..."));
    QAction *separator = file->addSeparator();
    separator->setObjectName(QStringLiteral("N1"));
    separator->setVisible(false);
    subMenu(file, "Save1", QStringLiteral("Save"))->addActions({Save1D, Save2D, SaveDefocusMap1});
    file->addAction(Exit1);

    topMenu(bar, "Setup1", QStringLiteral("&Setup"))
        ->addActions({Microscope1, QuickSetup1, Options1, SpecimenDetector1, Astigmatism1});

    QMenu *view = topMenu(bar, "View1", QStringLiteral("&View"));
    m_curveMenu = subMenu(view, "N1DCTF1", QStringLiteral("1D CTF"));
    m_curveMenu->addAction(Intensity1);
    subMenu(m_curveMenu, "Envelopes1", QStringLiteral("Envelopes"))->addActions({Temporal1, Spatial1, Combined1});
    m_curveMenu->addAction(Symmetr1);
    m_patternMenu = subMenu(view, "N2DCTF1", QStringLiteral("2D CTF"));
    m_patternMenu->addActions({Show2DCTF1, Enable2DUpdate1, Sampled2D1});
    view->addActions({N3D1, N1DCTFPlotMode1, RelionSign1, ShowInfo1, actShowTitles, ShowToolbar1});

    QMenu *help = topMenu(bar, "Help1", QStringLiteral("&Help"));
    help->addAction(Contents1);
    hiddenItem(help, "SearchforHelpOn1", QStringLiteral("&Search for Help On..."));
    hiddenItem(help, "HowtoUseHelp1", QStringLiteral("&How to Use Help"));
    help->addAction(About1);
}

QList<BandToolBar *> WindowActions::buildToolBars(QWidget *window)
{
    auto *save = new BandToolBar(QStringLiteral("Save"), window);
    save->setObjectName(QStringLiteral("ToolBar1"));
    save->setBandWidth(172);
    m_patternSaveSlot = save->addWidget(toolButton("ToolButton1", Save2D));
    m_mapSaveSlot = save->addWidget(toolButton("ToolButton3", SaveDefocusMap1));
    save->addWidget(toolButton("ToolButton2", Save1D));

    auto *options = new BandToolBar(QStringLiteral("Options"), window);
    options->setObjectName(QStringLiteral("ToolBar2"));
    options->setBandWidth(573);
    options->addWidget(toolButton("ToolButton5", Options1));
    options->addSeparator();
    options->addWidget(toolButton("btnIntensity", Intensity1));
    options->addWidget(toolButton("btnSymmetr", Symmetr1));
    // The Save buttons start as their panes' check marks say.
    setPatternShown(Show2DCTF1->isChecked());
    setMapShown(N3D1->isChecked());
    return {save, options};
}

void WindowActions::attachBar(QWidget *bar)
{
    const struct {
        const char *button;
        QAction *action;
    } commands[] = {
        {"btnTemporal", Temporal1},      {"btnSpatial", Spatial1},       {"btnCombined", Combined1},
        {"btnShow2D", Show2DCTF1},       {"btnUpdate2D", liveUpdate},    {"btnShow3D", N3D1},
        {"btn1stCTF", firstCtf},         {"btn2ndCTF", secondCtf},       {"btnEnvelopes", showEnvelopes},
        {"SpeedButton8", toPlotterMode}, {"btnOrvalis", toAnalysisMode},
    };
    for (const auto &c : commands)
        if (auto *button = bar->findChild<QToolButton *>(QString::fromLatin1(c.button)))
            lend(c.action, button);
    setCurveLook(m_monochrome);
}

void WindowActions::setCurveLook(bool monochrome)
{
    m_monochrome = monochrome;
    const struct {
        const char *button;
        Chart1Series series;
        bool plotter; // on the plotter mode's bar
    } samples[] = {
        {"SpeedButton10", S1Ctf, false},    {"btnTemporal", S2Temporal, false}, {"btnSpatial", S3Spatial, false},
        {"btnCombined", S4Combined, false}, {"btn1stCTF", S1Ctf, true},         {"btn2ndCTF", S8Ctf2, true},
        {"btnEnvelopes", S4Combined, true},
    };
    for (const auto &s : samples)
        if (auto *button = m_window->findChild<QToolButton *>(QString::fromLatin1(s.button))) {
            const QIcon icon = legendLine(curvePen(s.series, s.plotter, monochrome));
            if (QAction *action = button->defaultAction())
                action->setIcon(icon);
            else
                button->setIcon(icon);
        }
    Intensity1->setIcon(legendLine(curvePen(S1Ctf, false, monochrome)));
    Symmetr1->setIcon(legendLine(curvePen(S2Temporal, false, monochrome)));
}

void WindowActions::setPatternShown(bool shown)
{
    Show2DCTF1->setChecked(shown);
    liveUpdate->setEnabled(shown);
    Save2D->setEnabled(shown);
    if (m_patternSaveSlot)
        m_patternSaveSlot->setVisible(shown);
}

void WindowActions::setMapShown(bool shown)
{
    N3D1->setChecked(shown);
    SaveDefocusMap1->setEnabled(shown);
    if (m_mapSaveSlot)
        m_mapSaveSlot->setVisible(shown);
}

void WindowActions::setPlotterMode(bool on)
{
    N1DCTFPlotMode1->setChecked(on);
    for (QMenu *menu : {m_curveMenu, m_patternMenu})
        if (menu)
            menu->setEnabled(!on);
}

void WindowActions::setDetectorSet(bool set)
{
    Sampled2D1->setEnabled(set);
}

} // namespace orvalis
