#include "windowstore.h"

#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/windowsettings.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>

#include <climits>

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

WindowSettings WindowStore::read()
{
    WindowSettings settings;
    try {
        settings = ReadWindowSettings();
    } catch (const OrvalisError &e) {
        m_notices << e.text(); // a store that cannot be read: every value takes its default
    }
    const QStringList fitted = FitToAcceptedRanges(settings);
    if (!fitted.isEmpty())
        m_notices << QStringLiteral("These stored settings lay outside what Orvalis accepts:\r\n")
                + fitted.join(QStringLiteral("\r\n"));
    return settings;
}

void WindowStore::finishRead(const WindowSettings &settings)
{
    if (!settings.Problems.isEmpty())
        m_notices << QStringLiteral("These settings could not be read; their defaults are used:\r\n")
                + settings.Problems.join(QStringLiteral("\r\n"));
    m_unreadable = settings.Unreadable;
    // Told now, once: at close it would come too late to keep anything of the run.
    QString storeProblem = Registry::TakeStoreProblem();
    if (storeProblem.isEmpty())
        storeProblem = Registry::StoreWriteProblem();
    if (!storeProblem.isEmpty())
        m_notices.prepend(storeProblem);
}

void WindowStore::showNotices(QWidget *window)
{
    if (m_notices.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvalis"),
                    m_notices.join(QStringLiteral("\r\n\r\n")).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                    QMessageBox::Ok, window);
    box.setObjectName(QStringLiteral("StartupNotice"));
    m_notices.clear();
    box.exec();
}

void WindowStore::applyPlacement(QMainWindow *window, const WindowSettings &s)
{
    if (s.Left || s.Top)
        window->move(reachable(s.Left.value_or(window->x()), s.Top.value_or(window->y())));
    // A size stored on a larger screen comes back no larger than this one's work area, where the
    // window still shows its edges and title bar; the user may maximise it.
    QSize size(s.Width.value_or(window->width()), s.Height.value_or(window->height()));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    window->resize(size);
    // The bounds first: a maximised window keeps them as the ones it returns to.
    if (s.WindowState == 1)
        window->setWindowState(Qt::WindowMinimized);
    else if (s.WindowState == 2)
        window->setWindowState(Qt::WindowMaximized);
}

void WindowStore::capture(const QMainWindow *window, WindowSettings &s) const
{
    s.Uses = m_useCount;
    s.Unreadable = m_unreadable;
    s.WindowState = windowStateNumber(window->windowState());
    if (s.WindowState == 0) {
        s.Top = window->y();
        s.Left = window->x();
        s.Width = window->width();
        s.Height = window->height();
    }
}

void WindowStore::countUse()
{
    if (m_useCount < INT_MAX)
        ++m_useCount;
}

} // namespace orvalis
