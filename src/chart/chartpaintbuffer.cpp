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
    return new QCPPainter(&m_image);
}

void ChartPaintBuffer::draw(QCPPainter *painter) const
{
    if (painter && painter->isActive())
        painter->drawImage(0, 0, m_image);
}

void ChartPaintBuffer::clear(const QColor &color)
{
    // Whole pixels only: at a fractional device pixel ratio the covered rectangle's edges would fall
    // between buffer pixels.
    const QRect covered = qFuzzyCompare(mDevicePixelRatio, 1.0) && m_coveredRect ? m_coveredRect() & m_image.rect()
                                                                                 : QRect();
    if (covered.isEmpty()) {
        m_image.fill(color);
    } else {
        QPainter painter(&m_image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect &r : QRegion(m_image.rect()) - QRegion(covered))
            painter.fillRect(r, color);
    }
    m_opaque = covered;
}

void ChartPaintBuffer::reallocateBuffer()
{
    setInvalidated();
    // Premultiplied with alpha, the format QCustomPlot's pixmap takes once it is cleared transparent.
    const bool whole = qFuzzyCompare(mDevicePixelRatio, 1.0);
    m_image = QImage(whole ? mSize : mSize * mDevicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    m_image.setDevicePixelRatio(whole ? 1.0 : mDevicePixelRatio);
    m_opaque = QRect();
}

} // namespace orvalis
