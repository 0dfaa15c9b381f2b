#include "chart/chartbackimage.h"

#include <QPainter>
#include <QVector>
#include <cstring>

namespace orvalis {

ChartBackImage::ChartBackImage(QCustomPlot *plot, QCPAxisRect *rect, const QString &layerName)
    : QCPLayerable(plot, layerName), m_rect(rect)
{
}

void ChartBackImage::setImage(const QImage &image)
{
    m_image = image;
    m_stretched = QImage();
}

int ChartBackImage::sourceIndex(int target, int targetSize, int sourceSize)
{
    if (targetSize >= sourceSize) // pixel centres: the bands follow the axis exactly
        return static_cast<int>((2LL * target + 1) * sourceSize / (2LL * targetSize));
    if (targetSize == 1)
        return 0;
    // Fewer pixels than picture lines: the ends must still show the first and the last line.
    return static_cast<int>((2LL * target * (sourceSize - 1) + (targetSize - 1)) / (2LL * (targetSize - 1)));
}

QImage ChartBackImage::stretched(const QImage &image, const QSize &size)
{
    if (image.isNull() || size.isEmpty())
        return QImage();
    const QImage source = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                        : QImage::Format_RGB32);
    const int width = size.width(), height = size.height();
    const int sourceWidth = source.width(), sourceHeight = source.height();
    QVector<int> column(width);
    for (int x = 0; x < width; ++x)
        column[x] = sourceIndex(x, width, sourceWidth);
    QImage result(size, source.format());
    int previousRow = -1;
    for (int y = 0; y < height; ++y) {
        const int row = sourceIndex(y, height, sourceHeight);
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        if (row == previousRow) { // stretched rows repeat: copy the line just made
            std::memcpy(out, result.constScanLine(y - 1), sizeof(QRgb) * width);
            continue;
        }
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(row));
        for (int x = 0; x < width; ++x)
            out[x] = in[column[x]];
        previousRow = row;
    }
    return result;
}

void ChartBackImage::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void ChartBackImage::draw(QCPPainter *painter)
{
    const QRect target = m_rect->rect();
    if (m_image.isNull() || target.isEmpty())
        return;
    // Stretched to the device pixels of a scaled screen as well, so no painter blends picture pixels.
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize device(qRound(target.width() * ratio), qRound(target.height() * ratio));
    if (m_stretched.size() != device) {
        m_stretched = stretched(m_image, device);
        m_stretched.setDevicePixelRatio(ratio);
    }
    painter->drawImage(QPointF(target.topLeft()), m_stretched);
}

} // namespace orvalis
