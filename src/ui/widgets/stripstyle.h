#pragma once
// The application's style for horizontal scroll bars, drawn in strips narrower than the span count at
// which Qt's raster engine hands a blend to its thread pool.
//
// The style draws the groove's edge of a horizontal bar with a translucent pen, one span per pixel;
// from 96 spans on, the raster engine splits such a blend over its worker threads, and on a small
// machine the round trip to them costs more than all of the bar's drawing (70 of 100 us, and the
// bar is repainted at every step of a slider). Each strip is the whole control drawn by the same
// style into an image of its own, so nothing runs on another thread, and the pixels stay the same:
// - the edges between strips keep clear of the handle and the arrow buttons, whose antialiased
//   outlines depend on where a path is cut;
// - a strip is used only when the style covered it all opaquely, so nothing under the bar shows
//   through, else the bar is drawn directly;
// - only on painters that merely translate at a device pixel ratio of 1, where image pixels are
//   device pixels.
// A strip is drawn again only when something it is drawn from changed: the bar's and its parts'
// rectangles, its state, palette and direction, and the handle where it comes near the strip. A step
// of a slider moves the handle, and the strips away from it are shown as they were.
#include <QImage>
#include <QProxyStyle>
#include <QVector>

#include <optional>

namespace orvalis {

class StripStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Narrower than the 96 spans; one horizontal edge pixel makes one span.
    static constexpr int kMaxStrip = 88;

    // A copy of the application's current style (by its key) with the strips.
    StripStyle();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;

    // The first column of each strip after the first, for columns left .. right, each strip at most
    // maxWidth wide and no edge within `keepClear` of an avoided column range (inclusive pairs);
    // nothing when no such cut exists.
    static std::optional<QVector<int>> stripStarts(int left, int right, const QVector<QPair<int, int>> &avoided,
                                                   int maxWidth, int keepClear);

private:
    bool drawInStrips(const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const;

    // What one strip was drawn from, as the style sees the bar; equal keys draw equal pixels.
    struct StripKey {
        QRect strip, bar, groove, addLine, subLine;
        QRect handle; // only where it comes near the strip
        int state = 0, active = 0, parts = 0, direction = 0, orientation = 0;
        qint64 palette = 0;
        bool empty = false; // minimum == maximum
        bool operator==(const StripKey &o) const;
    };
    struct Strip {
        QImage image; // kept between repaints, and its storage reused
        StripKey key;
        bool drawn = false; // the image shows the key
    };

    mutable QVector<Strip> m_strips;
};

} // namespace orvalis
