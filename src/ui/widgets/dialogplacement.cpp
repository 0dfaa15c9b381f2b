#include "ui/widgets/dialogplacement.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMainWindow>
#include <QScreen>

namespace orvalis {
namespace {

QWidget *mainWindowOf(const QDialog *dialog)
{
    if (QWidget *parent = dialog->parentWidget())
        return parent->window();
    for (QWidget *top : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow *>(top) && top->isVisible())
            return top;
    return nullptr;
}

// The frame the window manager puts around a window, as far as one is known yet: the dialog's own
// once it has been shown, else the main window's.
QMargins frameOf(const QWidget *window)
{
    const QRect inside = window->geometry();
    const QRect frame = window->frameGeometry();
    return QMargins(inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
                    frame.bottom() - inside.bottom());
}

// Places the dialog before the window system maps it: the show event comes first. Setting the
// inside's geometry (not the frame's position) makes the window manager keep the inside where it is
// asked, whatever it decorates it with.
class Placement : public QObject {
public:
    explicit Placement(QDialog *dialog) : QObject(dialog), m_dialog(dialog) { dialog->installEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Show && !m_dialog->isMaximized())
            place();
        return false;
    }

private:
    void place()
    {
        QWidget *main = mainWindowOf(m_dialog);
        QScreen *screen = main ? main->screen() : m_dialog->screen();
        if (!screen)
            return;
        QMargins frame = frameOf(m_dialog);
        if (frame.isNull() && main)
            frame = frameOf(main);
        const QRect anchor = main ? main->frameGeometry() : screen->availableGeometry();
        m_dialog->setGeometry(centredInside(anchor, m_dialog->size(), frame, screen->availableGeometry()));
    }

    QDialog *m_dialog;
};

} // namespace

void openCentredOnMainWindow(QDialog *dialog)
{
    new Placement(dialog);
}

QRect centredInside(const QRect &anchor, QSize size, const QMargins &frame, const QRect &available)
{
    QRect outer(QPoint(0, 0), size.grownBy(frame));
    outer.moveCenter(anchor.center());
    // Right and bottom first, so that a dialog larger than the screen keeps its title bar on it.
    outer.moveRight(std::min(outer.right(), available.right()));
    outer.moveBottom(std::min(outer.bottom(), available.bottom()));
    outer.moveLeft(std::max(outer.left(), available.left()));
    outer.moveTop(std::max(outer.top(), available.top()));
    return outer.marginsRemoved(frame);
}

} // namespace orvalis
