// The window's settings: read and applied at start-up, captured and written at close. What is stored
// and how lives in WindowSettings; the session takes and gives the model's part (ranges, view
// choices, the microscope), the window maps the rest onto its geometry and back.
#include "form1.h"

#include "session/ctfsession.h"
#include "store/registry.h"
#include "store/windowsettings.h"
#include "ui/main/infopanel.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/screenfit.h"
#include "ui/main/sliderpanel.h"
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
    readSelectedScope(settings);
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
    resize(s.Width.value_or(width()), s.Height.value_or(height()));
    // A size or place stored on another screen or at another scale comes back whole on this one's
    // work area, edges and title bar included; the user may maximise it.
    fitWindowOnScreen(this);
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
    m_session->applySettings(s);
    setMonochrome(s.Monochrome.value_or(false)); // the chart takes its look before it is first shown
    const OptionRanges ranges = m_session->ranges();
    setDefocusRange(ranges.defocusMin, ranges.defocusMax);
    m_sliders->setMaximum(SliderPanel::Astigmatism, ranges.a2Max);
    m_sliders->setMaximum(SliderPanel::Astigmatism3, ranges.a3Max);
    m_useCount = s.Uses.value_or(0);
}

// Scope record 1 from the library entry chosen last time; the user is told what could not come back.
void TForm1::readSelectedScope(const WindowSettings &settings)
{
    m_startupNotices << m_session->selectStoredScope(settings);
}

// The view choices are the session's (ApplyViewState shows them); the tool bar and the titles are
// the window's own.
void TForm1::applyViewChoices(const WindowSettings &s)
{
    if (s.Toolbar)
        m_actions->ShowToolbar1->setChecked(*s.Toolbar);
    if (s.Headers)
        m_actions->actShowTitles->setChecked(*s.Headers);
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
    m_session->captureSettings(s);
    s.SaveDir = m_saveDir;
    s.Monochrome = m_monochrome;
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
    s.Splitter[1] = m_patternPaneWidth.value_or(m_pattern->width());
    s.Splitter[2] = m_infoPanel->treeWidth();
    s.Splitter[3] = Splitter4->widget(1)->height();
    s.Splitter[4] = paLeft->width();

    const QList<BandToolBar *> bands = toolBarBands();
    for (int i = 0; i < bands.size(); ++i)
        s.Bands[i] = CoolBand{bands[i]->objectName(), bands[i]->QToolBar::sizeHint().width(), toolBarBreak(bands[i]),
                              bands[i]->shownWidth()};

    s.Toolbar = m_actions->ShowToolbar1->isChecked();
    s.Headers = m_actions->actShowTitles->isChecked();
    return s;
}

} // namespace orvalis
