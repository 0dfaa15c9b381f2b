// The window's settings: read and applied at start-up, captured and written at close. What is stored
// and how lives in WindowSettings; here the window only maps it onto its widgets and back.
#include "form1.h"

#include "core/instrumentload.h"
#include "store/registry.h"
#include "store/scopelibrary.h"
#include "store/windowsettings.h"
#include "ui/main/infopanel.h"
#include "ui/main/mappane.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/bandtoolbar.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/scrollbar.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

namespace orvalis {
namespace {

// A window stored beyond the right or bottom edge keeps this much of itself on the screen.
constexpr int reachableMargin = 60; // px

const QString defaultManufacturer = QStringLiteral("Default");

// A window stored off the screen comes back where the user can reach it.
QPoint reachable(int left, int top)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize extent = screen ? screen->geometry().size() : QSize(1366, 768);
    if (left > extent.width())
        left = extent.width() - reachableMargin;
    if (left < 0)
        left = 0;
    if (top > extent.height())
        top = extent.height() - reachableMargin;
    if (top < 0)
        top = 0;
    return QPoint(left, top);
}

int windowStateNumber(Qt::WindowStates state)
{
    if (state & Qt::WindowMinimized)
        return 1;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return 2;
    return 0;
}

} // namespace

void TForm1::LoadSettings()
{
    WindowSettings settings;
    try {
        settings = ReadWindowSettings();
    } catch (const OrvalisError &e) {
        m_startupNotices << e.text(); // a store that cannot be read: every value takes its default
    }
    const QStringList fitted = FitToAcceptedRanges(settings);
    if (!fitted.isEmpty())
        m_startupNotices << QStringLiteral("These stored settings lay outside what Orvalis accepts:\r\n")
                + fitted.join(QStringLiteral("\r\n"));
    applyPlacement(settings);
    applyCoolBar(settings);
    applyMainValues(settings);
    readSelectedScope();
    applyViewChoices(settings);
    if (!settings.Problems.isEmpty())
        m_startupNotices << QStringLiteral("These settings could not be read; their defaults are used:\r\n")
                + settings.Problems.join(QStringLiteral("\r\n"));
    m_unreadableSettings = settings.Unreadable;
    // Told now, once: at close it would come too late to keep anything of the run.
    QString storeProblem = Registry::TakeStoreProblem();
    if (storeProblem.isEmpty())
        storeProblem = Registry::StoreWriteProblem();
    if (!storeProblem.isEmpty())
        m_startupNotices.prepend(storeProblem);
}

void TForm1::applyPlacement(const WindowSettings &s)
{
    if (s.Left || s.Top)
        move(reachable(s.Left.value_or(x()), s.Top.value_or(y())));
    // A size stored on a larger screen comes back no larger than this one's work area, where the
    // window still shows its edges and title bar; the user may maximise it.
    QSize size(s.Width.value_or(width()), s.Height.value_or(height()));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
    // The bounds first: a maximised window keeps them as the ones it returns to.
    if (s.WindowState == 1)
        setWindowState(Qt::WindowMinimized);
    else if (s.WindowState == 2)
        setWindowState(Qt::WindowMaximized);
    if (s.Splitter[0])
        m_mapHeight = *s.Splitter[0];
    m_patternPaneWidth = s.Splitter[1];
    for (int i = 1; i < 4; ++i)
        m_storedSplitters[i] = s.Splitter[i];
}

// Gives one pane of a two-pane splitter `px` pixels; the other takes the rest of what the splitter has.
void TForm1::setPaneSize(QSplitter *splitter, int pane, int px)
{
    QList<int> sizes = splitter->sizes();
    if (sizes.size() != 2)
        return;
    const int total = sizes[0] + sizes[1];
    sizes[pane] = std::clamp(px, 0, total);
    sizes[1 - pane] = total - sizes[pane];
    splitter->setSizes(sizes);
}

// A splitter's pixels mean something only once the window has its size, at the first show. The
// defocus map's pane takes its height when it is shown.
void TForm1::applySplitters()
{
    if (!m_map->isHidden())
        setPaneSize(Splitter1, 1, m_mapHeight);
    // Not Splitter5: the docked bar's panel keeps the width the start-up layout gave it, whatever was
    // stored; any other width would leave an empty band beside the bar.
    const std::pair<QSplitter *, int> panes[3] = {{Splitter2, 0}, {m_infoPanel->splitter(), 0}, {Splitter4, 1}};
    for (int i = 0; i < 3; ++i)
        if (m_storedSplitters[i + 1])
            setPaneSize(panes[i].first, panes[i].second, *m_storedSplitters[i + 1]);
}

void TForm1::applyCoolBar(const WindowSettings &s)
{
    QList<BandToolBar *> bands = toolBarBands();
    QList<bool> breaks;
    for (BandToolBar *band : bands)
        breaks << toolBarBreak(band);
    const auto named = [&bands](const QString &name) {
        for (int j = 0; j < bands.size(); ++j)
            if (bands[j]->objectName() == name)
                return j;
        return -1;
    };
    for (int i = 0; i < bands.size(); ++i) {
        const auto group = s.Bands.find(i);
        if (group == s.Bands.end() || !group->Control)
            continue;
        const int j = named(*group->Control);
        if (j >= 0) {
            bands.move(j, i);
            breaks.move(j, i);
        }
    }
    for (int i = 0; i < bands.size(); ++i) {
        const auto group = s.Bands.find(i);
        if (group == s.Bands.end() || !group->Control)
            continue;
        const int j = named(*group->Control);
        if (j < 0)
            continue;
        if (group->ControlWidth)
            bands[j]->setBandWidth(*group->ControlWidth);
        if (group->Break)
            breaks[j] = *group->Break;
        if (group->Width)
            bands[j]->setBandWidth(*group->Width);
    }
    placeToolBarBands(bands, breaks);
}

void TForm1::applyMainValues(const WindowSettings &s)
{
    if (s.SaveDir)
        m_saveDir = *s.SaveDir;
    m_storedManuf = s.ScopeManuf.value_or(QString());
    m_storedModel = s.ScopeModel.value_or(QString());
    if (m_storedManuf.isEmpty())
        m_storedManuf = defaultManufacturer;
    m_state.UpTo = s.UpTo.value_or(10.0);
    setMonochrome(s.Monochrome.value_or(false)); // the chart takes its look before it is first shown
    setDefocusRange(s.Overfocus.value_or(ScrollBar1->minimum()), s.Underfocus.value_or(ScrollBar1->maximum()));
    if (s.a2max)
        ScrollBar2->setMaximum(*s.a2max);
    if (s.a3max)
        ScrollBar3->setMaximum(*s.a3max);
    m_useCount = s.Uses.value_or(0);
}

// Scope record 1 from the library entry chosen last time. An entry that is gone or cannot be
// loaded leaves the built-in instrument to start-up, and the user is told which entry and why:
// starting silently with another instrument would mislead.
void TForm1::readSelectedScope()
{
    m_scopeFromLibrary = false;
    if (m_storedManuf == defaultManufacturer)
        return;
    const QString entry = m_storedManuf + QLatin1Char(' ') + m_storedModel;
    const QString fallback = QStringLiteral("\r\nOrvalis starts with its built-in instrument instead.");
    try {
        TScopeData scope = ScopeRecord1;
        QStringList builtInValues;
        if (!ReadSelectedScope(m_storedManuf, m_storedModel, scope, &builtInValues)) {
            m_startupNotices
                << QStringLiteral("The microscope \"%1\" used last time is no longer in the library.").arg(entry)
                    + fallback;
            return;
        }
        OpticsState trial = m_state; // refuses what the formulas cannot use, before anything changes
        loadInstrument(trial, scope);
        ScopeRecord1 = scope;
        m_state.Alpha = scope.Convergence;
        m_scopeFromLibrary = true;
        // The information limit and the envelopes depend on them: a value taken silently from
        // elsewhere would change the instrument without a word.
        if (!builtInValues.isEmpty())
            m_startupNotices << QStringLiteral("The library entry of the microscope \"%1\" used last time lacks "
                                               "some values; the built-in ones are used for them: %2.")
                                    .arg(entry, builtInValues.join(QStringLiteral(", ")));
    } catch (const OrvalisError &e) {
        m_startupNotices
            << QStringLiteral("The microscope \"%1\" used last time cannot be loaded: %2").arg(entry, e.text())
                + fallback;
    }
}

void TForm1::applyViewChoices(const WindowSettings &s)
{
    const std::pair<const std::optional<bool> *, QAction *> checks[] = {
        {&s.Show2d, m_actions->Show2DCTF1},    {&s.Update2D, m_actions->Enable2DUpdate1},
        {&s.Combined, m_actions->Combined1},   {&s.Spatial, m_actions->Spatial1},
        {&s.Temporal, m_actions->Temporal1},   {&s.Show3D, m_actions->N3D1},
        {&s.Intensity, m_actions->Intensity1}, {&s.Symmetr, m_actions->Symmetr1},
        {&s.Toolbar, m_actions->ShowToolbar1}, {&s.Headers, m_actions->actShowTitles},
    };
    for (const auto &check : checks)
        if (*check.first)
            check.second->setChecked(**check.first);
    if (s.Envelopes)
        m_state.ShowEnvelopes = *s.Envelopes;
    // The start-up ends with one toggle of the mode, which brings the stored one back.
    if (s.PlotMode)
        m_actions->N1DCTFPlotMode1->setChecked(!*s.PlotMode);
}

void TForm1::showStartupNotices()
{
    if (m_startupNotices.isEmpty())
        return;
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Orvalis"),
        m_startupNotices.join(QStringLiteral("\r\n\r\n")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
        QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("StartupNotice"));
    m_startupNotices.clear();
    box.exec();
}

// ---- close ----------------------------------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    QMainWindow::closeEvent(event);
}

// A failure is reported and the window closes all the same: what was written stays, and a window
// that could not be closed would only trap the user.
void TForm1::FormClose()
{
    runReported([this] { WriteWindowSettings(capturedSettings()); });
    // Whether or not the settings were written: a help window left open would keep the program running.
    closeHelp();
}

WindowSettings TForm1::capturedSettings() const
{
    WindowSettings s;
    s.SaveDir = m_saveDir;
    s.ScopeManuf = ScopeRecord1.Company;
    s.ScopeModel = ScopeRecord1.Model;
    s.UpTo = m_state.UpTo;
    s.dvv = m_state.dvv;
    s.dii = m_state.dii;
    s.Monochrome = m_monochrome;
    s.Underfocus = ScrollBar1->maximum();
    s.Overfocus = ScrollBar1->minimum();
    s.a2max = ScrollBar2->maximum();
    s.a3max = ScrollBar3->maximum();
    s.Uses = m_useCount;
    s.Unreadable = m_unreadableSettings;

    s.WindowState = windowStateNumber(windowState());
    if (s.WindowState == 0) {
        s.Top = y();
        s.Left = x();
        s.Width = width();
        s.Height = height();
    }
    s.Splitter[0] = m_map->isHidden() ? m_mapHeight : m_map->height();
    s.Splitter[1] = m_patternPaneWidth.value_or(pa2Dctf->width());
    s.Splitter[2] = m_infoPanel->treeWidth();
    s.Splitter[3] = Splitter4->widget(1)->height();
    s.Splitter[4] = paLeft->width();

    const QList<BandToolBar *> bands = toolBarBands();
    for (int i = 0; i < bands.size(); ++i)
        s.Bands[i] = CoolBand{bands[i]->objectName(), bands[i]->QToolBar::sizeHint().width(), toolBarBreak(bands[i]),
                              bands[i]->shownWidth()};

    // The pattern's live switch is stored as its button shows it, which showing the pattern presses.
    s.Show2d = m_actions->Show2DCTF1->isChecked();
    s.Update2D = m_actions->liveUpdate->isChecked();
    s.Combined = m_actions->Combined1->isChecked();
    s.Spatial = m_actions->Spatial1->isChecked();
    s.Temporal = m_actions->Temporal1->isChecked();
    s.Show3D = m_actions->N3D1->isChecked();
    s.Envelopes = m_actions->showEnvelopes->isChecked();
    s.Intensity = m_actions->Intensity1->isChecked();
    s.Symmetr = m_actions->Symmetr1->isChecked();
    s.PlotMode = m_actions->N1DCTFPlotMode1->isChecked();
    s.Toolbar = m_actions->ShowToolbar1->isChecked();
    s.Headers = m_actions->actShowTitles->isChecked();
    return s;
}

} // namespace orvalis
