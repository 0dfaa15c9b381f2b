#include "ui/main/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace orvalis {

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
