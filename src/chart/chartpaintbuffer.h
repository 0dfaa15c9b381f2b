#pragma once
// The paint buffer of a ChartWidget: QCustomPlot's pixmap buffer, told which rectangle the next
// replot covers with opaque pixels anyway (the plotting area under an opaque back colour), so that
// neither the clearing before a replot nor the paint after it spends time on that area's old pixels.
#include <qcustomplot.h>

#include <QPixmap>
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

    // Opaque after the last replot: a paint may copy these pixels instead of blending them over the
    // chart's background, which they hide entirely. Empty before the first replot.
    const QRect &opaqueRect() const { return m_opaque; }
    // Paints the buffer as draw() does, the opaque rectangle copied and the rest blended over what
    // the painter's device holds there.
    void drawOver(QPainter *painter) const;

protected:
    void reallocateBuffer() override;

private:
    QPixmap m_pixmap;
    std::function<QRect()> m_coveredRect;
    QRect m_opaque;
    bool m_fresh = true; // never cleared since it was allocated: every pixel must be cleared once
};

} // namespace orvalis
