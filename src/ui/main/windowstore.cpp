#include "windowstore.h"

#include "core/orvaliserror.h"
#include "store/registry.h"
#include "store/windowsettings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <climits>

namespace orvalis {
namespace {

// The window's panes take their sizes for this screen's fonts only while it is built and shown; the
// first show fits it once more, as large as it has grown.
class FitWhenShown : public QObject {
public:
    explicit FitWhenShown(QWidget *window) : QObject(window)
    {
        setObjectName(QString::fromLatin1(kName));
        window->installEventFilter(this);
    }
    // Found by its name: a class without its own meta-object cannot be told apart by findChild.
    static constexpr const char *kName = "fitWhenShown";

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            watched->removeEventFilter(this);
            fitWindowOnScreen(static_cast<QWidget *>(watched));
            deleteLater();
        }
        return false;
    }
};

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
        window->move(s.Left.value_or(window->x()), s.Top.value_or(window->y()));
    window->resize(s.Width.value_or(window->width()), s.Height.value_or(window->height()));
    // A size or place stored on another screen or at another scale comes back whole on this one's
    // work area, edges and title bar included; the user may maximise it.
    fitWindowOnScreen(window);
    if (!window->findChild<QObject *>(QString::fromLatin1(FitWhenShown::kName), Qt::FindDirectChildrenOnly))
        new FitWhenShown(window);
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

QRect fitOnScreen(const QRect &wanted, const QMargins &frame, const QRect &available, QSize minimum)
{
    const QSize room = available.size().shrunkBy(frame);
    const QSize size = wanted.size().boundedTo(room).expandedTo(minimum);
    QRect outer(wanted.topLeft() - QPoint(frame.left(), frame.top()), size.grownBy(frame));
    // Right and bottom first, so that a frame larger than the area keeps its title bar on it.
    outer.moveRight(std::min(outer.right(), available.right()));
    outer.moveBottom(std::min(outer.bottom(), available.bottom()));
    outer.moveLeft(std::max(outer.left(), available.left()));
    outer.moveTop(std::max(outer.top(), available.top()));
    return outer.marginsRemoved(frame);
}

QMargins assumedFrame(int titleHeight)
{
    constexpr int border = 4; // px
    return QMargins(border, std::max(titleHeight, 0) + border, border, border);
}

void fitWindowOnScreen(QWidget *window)
{
    if (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    const QRect inside = window->geometry();
    const QRect outer = window->frameGeometry();
    QMargins frame(inside.left() - outer.left(), inside.top() - outer.top(), outer.right() - inside.right(),
                   outer.bottom() - inside.bottom());
    if (frame.isNull()) {
        const int title = std::max(window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window),
                                   window->fontMetrics().height() + 10);
        frame = assumedFrame(title);
    }
    const QPoint corner = window->pos(); // the frame's
    QScreen *screen = QGuiApplication::screenAt(QRect(corner, window->size()).center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect wanted(corner + QPoint(frame.left(), frame.top()), window->size());
    const QRect fitted = fitOnScreen(wanted, frame, screen->availableGeometry(), window->minimumSize());
    if (fitted.size() != window->size())
        window->resize(fitted.size());
    const QPoint place = fitted.topLeft() - QPoint(frame.left(), frame.top());
    if (place != corner)
        window->move(place);
}

} // namespace orvalis
