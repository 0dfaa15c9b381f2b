#include "scrollbar.h"

#include "stripstyle.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace orvalis {

ScrollBar::ScrollBar(QWidget *parent) : QScrollBar(Qt::Horizontal, parent)
{
    // Drawn in strips that Qt paints on this thread (see StripStyle): the bar is repainted at every step.
    auto *style = new StripStyle;
    style->setParent(this);
    setStyle(style);
    setSingleStep(1);
    setPageStep(1);
    // A scroll bar inverts its keys by default (Right would step down); here Right steps up.
    setInvertedControls(false);
    // The handle is drawn in the button colour, the groove in nearly the same window colour; the
    // palette's own mid tone sets it apart, light or dark theme alike.
    QPalette handle = palette();
    handle.setColor(QPalette::Button, handle.color(QPalette::Mid));
    setPalette(handle);
    // QAbstractSlider emits actionTriggered before it applies the new value, so the scroll event
    // comes first and the change event after it, for every step.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        m_stepped = true;
        emit scrolled(false);
    });
}

// A step that no held button or key continues (a wheel notch, an action of the bar's own context
// menu) is over as soon as the event that made it has been handled: it ends like a drag does, or the
// coarse drawing of its step would stay on screen and in the step factor.
bool ScrollBar::event(QEvent *event)
{
    const bool handled = QScrollBar::event(event);
    endScrollUnlessHeld();
    return handled;
}

void ScrollBar::endScrollUnlessHeld()
{
    if (m_stepped && !m_mouseHeld && !m_keyHeld) {
        m_stepped = false;
        emit scrolled(true);
    }
}

void ScrollBar::mousePressEvent(QMouseEvent *event)
{
    m_mouseHeld = true;
    QScrollBar::mousePressEvent(event);
}

void ScrollBar::mouseReleaseEvent(QMouseEvent *event)
{
    QScrollBar::mouseReleaseEvent(event);
    m_mouseHeld = event->buttons() != Qt::NoButton;
}

void ScrollBar::keyPressEvent(QKeyEvent *event)
{
    const bool before = m_stepped;
    m_stepped = false;
    QScrollBar::keyPressEvent(event);
    if (m_stepped)
        m_keyHeld = true; // auto-repeat steps follow until the key is released
    m_stepped = m_stepped || before;
}

void ScrollBar::keyReleaseEvent(QKeyEvent *event)
{
    QScrollBar::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        m_keyHeld = false;
}

void ScrollBar::focusOutEvent(QFocusEvent *event)
{
    // A key still down when focus moves away never reaches this bar again.
    m_keyHeld = false;
    QScrollBar::focusOutEvent(event);
}

} // namespace orvalis
