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
    p.drawImage(0, 0, m_image);
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
