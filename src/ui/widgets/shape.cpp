#include "shape.h"

#include <QPainter>

namespace orvalis {

Shape::Shape(Kind kind, QColor fill, QColor outline, QWidget *parent)
    : QWidget(parent), m_kind(kind), m_fill(fill), m_outline(outline)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_kind == Rectangle) {
        p.fillRect(rect(), m_fill);
        if (m_outline.isValid()) {
            p.setPen(m_outline);
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(m_fill);
    p.setPen(m_outline.isValid() ? QPen(m_outline, 1) : Qt::NoPen);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace orvalis
