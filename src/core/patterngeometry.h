#pragma once
// Where things lie on the 2D pattern's picture: pixel (N, N) is k = 0, N the centre, and one pixel
// is range / (N - 1) nm^-1 along either axis; the ruler under the picture; the direction probe and
// the marker on its ring.
#include <QPoint>

#include <optional>

namespace orvalis {

// px between the direction marker's ring and the picture's edge.
inline constexpr int kDirectionMarkerInset = 6;

// nm^-1 along one axis at a pixel coordinate (column or row); centre >= 2.
double patternPixelFrequency(int pixel, int centre, double range);

// The spatial frequency (nm^-1) under a pixel; none while the picture has no frequency scale
// (centre below 2).
std::optional<double> patternFrequencyAt(QPoint pixel, int centre, double range);

// The radius (px) of the ring the direction marker runs on.
inline int directionRingRadius(int centre)
{
    return centre - kDirectionMarkerInset;
}

// The top-left corner of a marker markerWidth px wide centred on the point at `angle` (rad, y down)
// and signed `radius` from the centre pixel.
QPoint directionMarkerCorner(double angle, double radius, int centre, int markerWidth);

struct DirectionPick {
    double direction; // rad, -pi/2 .. pi/2: the profile's direction, mirrored into the right half
    QPoint marker;    // the marker's top-left corner, on the ring on the side that was clicked
};

// What a click on the pattern chooses; the centre pixel chooses nothing.
std::optional<DirectionPick> pickDirection(QPoint click, int centre, int markerWidth);

// The x of the ruler's three ticks and of the left edges of their labels (-range, 0, range) under a
// picture `width` px wide whose left edge is at `left` in the ruler.
struct RulerPlaces {
    int tick[3];
    int label[3];
};
RulerPlaces patternRulerPlaces(int left, int width);

} // namespace orvalis
