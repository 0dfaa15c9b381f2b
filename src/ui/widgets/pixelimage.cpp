#include "pixelimage.h"

#include <QMouseEvent>
#include <QPainter>

namespace orvalis {

PixelImage::PixelImage(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PixelImage::setImageSize(int width, int height)
{
    m_image = QImage(width, height, QImage::Format_RGB32);
    m_image.fill(Qt::black);
    setFixedSize(width, height);
    update();
}

void PixelImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const qreal ratio = devicePixelRatioF();
    if (ratio == 1.0) {
        p.drawImage(0, 0, m_image);
        return;
    }
    // On a scaled screen the picture is enlarged here, each computed pixel to a block of screen pixels,
    // rather than left to a painter that may blend neighbours and soften it.
    QImage enlarged = m_image.scaled(qRound(m_image.width() * ratio), qRound(m_image.height() * ratio),
                                     Qt::IgnoreAspectRatio, Qt::FastTransformation);
    enlarged.setDevicePixelRatio(ratio);
    p.drawImage(QPointF(0, 0), enlarged);
}

void PixelImage::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseMoved(pos.x(), pos.y());
}

void PixelImage::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseReleased(event->button(), pos.x(), pos.y());
}

} // namespace orvalis
