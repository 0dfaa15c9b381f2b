#include "scrollbar.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace orvalis {

ScrollBar::ScrollBar(QWidget *parent) : QScrollBar(Qt::Horizontal, parent)
{
    setSingleStep(1);
    setPageStep(1);
    // A scroll bar inverts its keys by default (Right would step down); here Right steps up.
    setInvertedControls(false);
    // QAbstractSlider emits actionTriggered before it applies the new value, so the scroll event
    // comes first and the change event after it, for every step.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        m_stepped = true;
        emit scrolled(false);
    });
}

void ScrollBar::mouseReleaseEvent(QMouseEvent *event)
{
    QScrollBar::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && m_stepped) {
        m_stepped = false;
        emit scrolled(true);
    }
}

void ScrollBar::keyReleaseEvent(QKeyEvent *event)
{
    QScrollBar::keyReleaseEvent(event);
    if (!event->isAutoRepeat() && m_stepped) {
        m_stepped = false;
        emit scrolled(true);
    }
}

} // namespace orvalis
