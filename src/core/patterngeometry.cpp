#include "patterngeometry.h"

#include "core/numberformat.h"

#include <cmath>

namespace orvalis {

double patternPixelFrequency(int pixel, int centre, double range)
{
    return (pixel - centre) * range / (centre - 1);
}

std::optional<double> patternFrequencyAt(QPoint pixel, int centre, double range)
{
    if (centre < 2)
        return std::nullopt;
    const double kx = patternPixelFrequency(pixel.x(), centre, range);
    const double ky = patternPixelFrequency(pixel.y(), centre, range);
    return std::sqrt(kx * kx + ky * ky);
}

QPoint directionMarkerCorner(double angle, double radius, int centre, int markerWidth)
{
    const double half = markerWidth / 2.0;
    return {roundToInt(std::cos(angle) * radius + centre - half), roundToInt(std::sin(angle) * radius + centre - half)};
}

std::optional<DirectionPick> pickDirection(QPoint click, int centre, int markerWidth)
{
    const int dx = click.x() - centre;
    const int dy = click.y() - centre;
    if (dx == 0 && dy == 0)
        return std::nullopt;
    const int radius = directionRingRadius(centre);
    if (dx == 0) {
        // Straight above the centre is -pi/2, below +pi/2; the marker sits on the ring on that side.
        const double half = markerWidth / 2.0;
        return DirectionPick{
            dy < 0 ? -M_PI / 2 : M_PI / 2,
            QPoint(roundToInt(centre - half), roundToInt((dy < 0 ? -radius : radius) + centre - half))};
    }
    const double raw = std::atan(static_cast<double>(dy) / dx);
    DirectionPick pick{raw, directionMarkerCorner(raw, dx > 0 ? radius : -radius, centre, markerWidth)};
    // Clicks mirrored across the vertical axis give the same direction, as the pattern is mirrored.
    if (pick.direction < 0 && dx < 0)
        pick.direction = -pick.direction;
    if (pick.direction > 0 && dy < 0)
        pick.direction = -pick.direction;
    return pick;
}

RulerPlaces patternRulerPlaces(int left, int width)
{
    const int middle = roundToInt(width / 2.0) + left;
    return {{left, middle, left + width - 1}, {left, middle - 3, left + width - 11}};
}

} // namespace orvalis
