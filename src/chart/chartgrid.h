#pragma once
// The grid lines of a chart, drawn as QCustomPlot's own grids draw them, pixel for pixel, but without
// the raster engine's dotted stroking on every redraw: a slider step redraws the same grid over and
// over, so the pixels each aliased grid line sets are kept and set again while the line and its pen
// stay the same. The grids keep their settings (pens, visibility); they are moved to a layer that is
// never drawn.
#include <qcustomplot.h>

#include <QLine>
#include <QPen>
#include <QPointer>
#include <QRect>

#include <vector>

namespace orvalis {

class ChartGrid : public QCPLayerable {
public:
    // Takes over the grids now on the layer `layerName` of `plot`, and moves them to the hidden layer
    // `stockLayerName`, which it makes. Axes made afterwards keep QCustomPlot's own grid.
    ChartGrid(QCustomPlot *plot, const QString &layerName, const QString &stockLayerName);

    // Off: the grids draw themselves again, as QCustomPlot draws them.
    void setEnabled(bool on);
    std::size_t keptLines() const { return m_kept.size(); }

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    void drawGridLines(QCPPainter *painter, const QCPGrid &grid, const QCPAxis &axis);
    void drawLine(QCPPainter *painter, const QLineF &line);

    struct Kept {
        QLine line;
        QPointF offset; // the painter's translation
        QPen pen;
        std::vector<QPoint> pixels;
    };
    static QRect surroundings(const QLine &line, const QPointF &offset);
    const Kept &kept(const QLine &line, const QPointF &offset, const QRect &around, const QPen &pen);

    QString m_layerName, m_stockLayerName;
    std::vector<QPointer<QCPGrid>> m_grids; // in the order their layer drew them
    std::vector<Kept> m_kept;
    bool m_enabled = true;
};

} // namespace orvalis
