#include "pixelimage.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace orvalis {

namespace {

template <int Factor> void widenBy(const QRgb *source, int width, QRgb *target)
{
    for (int x = 0; x < width; ++x)
        for (int i = 0; i < Factor; ++i)
            target[x * Factor + i] = source[x];
}

// Each pixel of the row `factor` times side by side. The usual factors have loops of their own, which
// the compiler turns into vector shuffles; a row is widened once per repaint of a new picture.
void widenRow(const QRgb *source, int width, int factor, QRgb *target)
{
    switch (factor) {
    case 2: widenBy<2>(source, width, target); return;
    case 3: widenBy<3>(source, width, target); return;
    case 4: widenBy<4>(source, width, target); return;
    default: break;
    }
    for (int x = 0; x < width; ++x)
        std::fill_n(target + x * factor, factor, source[x]);
}

} // namespace

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

void PixelImage::updateImageRect(const QRect &rect)
{
    update(QRect(rect.topLeft() * m_zoom, rect.size() * m_zoom));
}

void PixelImage::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const qreal ratio = devicePixelRatioF();
    if (ratio == 1.0 && m_zoom == 1) {
        p.drawImage(0, 0, m_image);
        return;
    }
    // Enlarged here, each computed pixel to a block of screen pixels, rather than by a painter that
    // may blend neighbours and soften it; the painter then only copies.
    p.drawImage(QPointF(0, 0), shown(ratio));
}

const QImage &PixelImage::shown(qreal ratio)
{
    const qreal factor = ratio * m_zoom;
    const QSize size(qRound(m_image.width() * factor), qRound(m_image.height() * factor));
    if (!m_shown.isNull() && m_shownKey == m_image.cacheKey() && m_shown.size() == size
        && m_shown.devicePixelRatio() == ratio)
        return m_shown;
    const int whole = qRound(factor);
    if (qFuzzyCompare(factor, static_cast<qreal>(whole)) && m_image.format() == QImage::Format_RGB32) {
        // A whole factor: each row is widened once and copied down its block.
        if (m_shown.size() != size || m_shown.format() != QImage::Format_RGB32)
            m_shown = QImage(size, QImage::Format_RGB32);
        const int width = m_image.width();
        for (int y = 0; y < m_image.height(); ++y) {
            const auto *source = reinterpret_cast<const QRgb *>(m_image.constScanLine(y));
            auto *first = reinterpret_cast<QRgb *>(m_shown.scanLine(y * whole));
            widenRow(source, width, whole, first);
            for (int copy = 1; copy < whole; ++copy)
                std::copy_n(first, size.width(), reinterpret_cast<QRgb *>(m_shown.scanLine(y * whole + copy)));
        }
    } else {
        m_shown = m_image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    m_shown.setDevicePixelRatio(ratio);
    m_shownKey = m_image.cacheKey();
    return m_shown;
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
