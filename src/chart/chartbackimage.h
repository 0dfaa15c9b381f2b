#pragma once
// A picture filling the plotting rectangle of a chart, drawn behind grid and series.
#include <qcustomplot.h>

#include <QImage>

namespace orvalis {

// Nearest-neighbour stretched so that every picture pixel lands on predictable screen pixels (see
// sourceIndex): a picture column c starts where the axis coordinate c / W of the axis length lies, and
// the first and last picture columns and rows always touch the rectangle's edges.
class ChartBackImage : public QCPLayerable {
public:
    ChartBackImage(QCustomPlot *plot, QCPAxisRect *rect, const QString &layerName);

    void setImage(const QImage &image);
    const QImage &image() const { return m_image; }

    // The picture line shown on screen line `target` of `targetSize` lines for a picture of `sourceSize`
    // lines: the line under the pixel centre, floor((target + 0.5) * sourceSize / targetSize), when the
    // picture is enlarged; when it is reduced, round(target * (sourceSize - 1) / (targetSize - 1)), which
    // keeps both end lines.
    static int sourceIndex(int target, int targetSize, int sourceSize);

    // The picture at the given size, as it is drawn.
    static QImage stretched(const QImage &image, const QSize &size);

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    QCPAxisRect *m_rect;
    QImage m_image;
    QImage m_stretched; // cache: m_image at the size of the last draw
};

} // namespace orvalis
