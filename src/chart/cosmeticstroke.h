#pragma once
// Antialiased one-pixel segments written straight into a 32-bit image, pixel for pixel as Qt's raster
// engine strokes them with a cosmetic solid pen of an opaque colour under a rectangular clip. A chart
// redraw strokes thousands of short segments; the engine's own per-segment set-up and span flushing
// cost more than the few pixels each one touches.
#include <QImage>
#include <QLineF>
#include <QPointF>
#include <QRect>
#include <QRgb>

class QPainter;

namespace orvalis {

// Where segments can be written directly: the painter's image, its clip rectangle (clipped to the
// image) and the pen's colour. Null `image` when the painter's state is one the engine would stroke
// otherwise (aliased, translucent, scaled or turned, dashed, wide, clipped to a shape, another device...).
struct CosmeticTarget {
    QImage *image = nullptr;
    QRect clip;     // in image pixels
    QPointF offset; // the painter's translation (QCustomPlot moves antialiased drawing by half a pixel)
    QRgb colour = 0;
    bool caps = true; // the pen's cap style is not flat: each end reaches half a pixel further
};

CosmeticTarget cosmeticTarget(QPainter *painter);

// The image a painter draws into when whatever its pen sets may be written there directly: a 32-bit
// image under the raster engine, drawn over at full opacity, moved at most, with an opaque pen of a
// solid brush and a clip of one rectangle. Null otherwise. The pen's style, width and the
// antialiasing are the caller's to check.
QImage *directImage(QPainter *painter);

// Strokes the segments into `target.image` in order, as QPainter::drawLines would.
void strokeCosmeticSegments(const CosmeticTarget &target, const QLineF *segments, int count);

} // namespace orvalis
