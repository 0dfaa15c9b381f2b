#include "chart/chartpaintbuffer.h"

#include <QPainter>

#include <utility>

namespace orvalis {

ChartPaintBuffer::ChartPaintBuffer(const QSize &size, double devicePixelRatio, std::function<QRect()> coveredRect)
    : QCPAbstractPaintBuffer(size, devicePixelRatio), m_coveredRect(std::move(coveredRect))
{
    ChartPaintBuffer::reallocateBuffer();
}

QCPPainter *ChartPaintBuffer::startPainting()
{
    return new QCPPainter(&m_pixmap);
}

void ChartPaintBuffer::draw(QCPPainter *painter) const
{
    if (painter && painter->isActive())
        painter->drawPixmap(0, 0, m_pixmap);
}

void ChartPaintBuffer::clear(const QColor &color)
{
    // Whole pixels only: at a fractional device pixel ratio the covered rectangle's edges would fall
    // between buffer pixels.
    const QRect covered = qFuzzyCompare(mDevicePixelRatio, 1.0) && m_coveredRect
        ? m_coveredRect() & QRect(QPoint(0, 0), m_pixmap.size())
        : QRect();
    if (m_fresh || covered.isEmpty()) {
        // The first fill also gives the pixmap its alpha channel.
        m_pixmap.fill(color);
        m_fresh = false;
    } else {
        QPainter painter(&m_pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        const QRegion rest = QRegion(m_pixmap.rect()) - QRegion(covered);
        for (const QRect &r : rest)
            painter.fillRect(r, color);
    }
    m_opaque = covered;
}

void ChartPaintBuffer::drawOver(QPainter *painter) const
{
    if (m_opaque.isEmpty()) {
        painter->drawPixmap(0, 0, m_pixmap);
        return;
    }
    for (const QRect &r : QRegion(m_pixmap.rect()) - QRegion(m_opaque))
        painter->drawPixmap(r.topLeft(), m_pixmap, r);
    // Opaque pixels blended over anything are themselves: a copy gives the same picture.
    const QPainter::CompositionMode mode = painter->compositionMode();
    painter->setCompositionMode(QPainter::CompositionMode_Source);
    painter->drawPixmap(m_opaque.topLeft(), m_pixmap, m_opaque);
    painter->setCompositionMode(mode);
}

void ChartPaintBuffer::reallocateBuffer()
{
    setInvalidated();
    if (qFuzzyCompare(mDevicePixelRatio, 1.0)) {
        m_pixmap = QPixmap(mSize);
        m_pixmap.setDevicePixelRatio(1.0);
    } else {
        m_pixmap = QPixmap(mSize * mDevicePixelRatio);
        m_pixmap.setDevicePixelRatio(mDevicePixelRatio);
    }
    m_fresh = true;
    m_opaque = QRect();
}

} // namespace orvalis
