#pragma once
// The paint buffer of a ChartWidget: QCustomPlot's pixmap buffer as an image, which its series may
// write into directly (see cosmeticstroke.h), and told which rectangle the next replot covers with
// opaque pixels anyway (the plotting area under an opaque back colour), so that neither the clearing
// before a replot nor the background of the paint after it is spent on that area.
#include <qcustomplot.h>

#include <QImage>
#include <QRect>
#include <QRegion>
#include <functional>

namespace orvalis {

class ChartPaintBuffer : public QCPAbstractPaintBuffer {
public:
    // `coveredRect` gives, at the start of every replot, the rectangle the replot fills with opaque
    // pixels before anything else shows there; an empty rectangle when it fills none.
    ChartPaintBuffer(const QSize &size, double devicePixelRatio, std::function<QRect()> coveredRect);

    QCPPainter *startPainting() override;
    void draw(QCPPainter *painter) const override;
    void clear(const QColor &color) override;

    // Opaque after the last replot: whatever a paint puts under these pixels, they hide it. Empty
    // before the first replot.
    const QRect &opaqueRect() const { return m_opaque; }

protected:
    void reallocateBuffer() override;

private:
    QImage m_image;
    std::function<QRect()> m_coveredRect;
    QRect m_opaque;
};

} // namespace orvalis
