#include "pixelimage.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

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
    setFixedSize(width * m_zoom, height * m_zoom);
    update();
}

void PixelImage::setZoom(int factor)
{
    factor = std::max(1, factor);
    if (factor == m_zoom)
        return;
    m_zoom = factor;
    setFixedSize(m_image.width() * m_zoom, m_image.height() * m_zoom);
    update();
}

void PixelImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const qreal ratio = devicePixelRatioF();
    if (ratio == 1.0 && m_zoom == 1) {
        p.drawImage(0, 0, m_image);
        return;
    }
    if (ratio == 1.0) {
        // Untransformed by smoothing, the painter repeats each pixel over its block.
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(QRect(0, 0, m_image.width() * m_zoom, m_image.height() * m_zoom), m_image);
        return;
    }
    // On a scaled screen the picture is enlarged here, each computed pixel to a block of screen pixels,
    // rather than left to a painter that may blend neighbours and soften it.
    const qreal factor = ratio * m_zoom;
    QImage enlarged = m_image.scaled(qRound(m_image.width() * factor), qRound(m_image.height() * factor),
                                     Qt::IgnoreAspectRatio, Qt::FastTransformation);
    enlarged.setDevicePixelRatio(ratio);
    p.drawImage(QPointF(0, 0), enlarged);
}

int PixelImage::unzoomed(int px) const
{
    return static_cast<int>(std::floor(static_cast<double>(px) / m_zoom));
}

void PixelImage::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseMoved(unzoomed(pos.x()), unzoomed(pos.y()));
}

void PixelImage::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    emit mouseReleased(event->button(), unzoomed(pos.x()), unzoomed(pos.y()));
}

} // namespace orvalis
