#include "chart/gridimage.h"

#include <algorithm>

namespace orvalis {
namespace {

// While sampling coarsely each computed point stands for the s x s block of which it is the corner:
// its row, written up to the block's width, is repeated over the block's other rows.
void repeatRows(QRgb *pixels, int stride, int height, const PatternHalves &halves)
{
    const int s = halves.stepFactor;
    if (s <= 1)
        return;
    const int centre = halves.centre;
    const auto repeat = [&](int y) {
        const QRgb *source = pixels + static_cast<std::size_t>(y) * stride;
        for (int dy = 1; dy < s && y + dy < height; ++dy)
            std::copy_n(source, stride, pixels + static_cast<std::size_t>(y + dy) * stride);
    };
    for (int e = 0; e <= halves.n; ++e) {
        if (centre + e * s < height)
            repeat(centre + e * s);
        if (e > 0 && centre - e * s >= 0)
            repeat(centre - e * s);
    }
}

// The computed left half of a turned phase, and left of its outermost column that column again (as
// the mirrored picture fills column 0).
void drawLeftHalf(QRgb *pixels, int stride, int height, const PatternHalves &halves)
{
    const int centre = halves.centre;
    const int s = halves.stepFactor;
    const std::size_t column = static_cast<std::size_t>(halves.n) + 1;
    const auto writeRow = [&](int y, const std::uint8_t *__restrict levels) {
        QRgb *__restrict line = pixels + static_cast<std::size_t>(y) * stride;
        for (int r = 1; r <= halves.n && centre - r * s >= 0; ++r) {
            const int grey = levels[r * column];
            std::fill_n(line + centre - r * s, s, qRgb(grey, grey, grey));
        }
    };
    for (int e = 0; e <= halves.n; ++e) {
        writeRow(centre + e * s, halves.leftLower.data() + e);
        if (centre - e * s >= 0)
            writeRow(centre - e * s, halves.leftUpper.data() + e);
    }
    repeatRows(pixels, stride, height, halves);
    const int outermost = std::max(0, centre - halves.n * s);
    for (int y = 0; y < height; ++y) {
        QRgb *line = pixels + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < outermost; ++x)
            line[x] = line[outermost];
    }
}

} // namespace

void drawPatternImage(QImage &image, const PatternHalves &halves)
{
    image.fill(Qt::black);
    if (halves.n < 0)
        return;
    const int centre = halves.centre;
    const int s = halves.stepFactor;
    // The pixels and the stride (in pixels) are taken from the image once per pass, since asking the
    // image for a line checks whether it must be detached.
    auto *pixels = reinterpret_cast<QRgb *>(image.bits());
    const int stride = image.bytesPerLine() / static_cast<int>(sizeof(QRgb));
    // Row by row, so that the picture is written along its lines; the halves hold columns.
    const std::size_t column = static_cast<std::size_t>(halves.n) + 1;
    const int right = image.width() - centre; // columns from the centre to the picture's edge
    const auto writeRow = [&](int y, const std::uint8_t *__restrict levels) {
        QRgb *__restrict line = pixels + static_cast<std::size_t>(y) * stride + centre;
        if (s == 1) {
            for (int r = 0; r <= halves.n; ++r) {
                const int grey = levels[r * column];
                line[r] = qRgb(grey, grey, grey);
            }
            return;
        }
        for (int r = 0; r <= halves.n && r * s < right; ++r) {
            const int grey = levels[r * column];
            std::fill_n(line + r * s, std::min(s, right - r * s), qRgb(grey, grey, grey));
        }
    };
    for (int e = 0; e <= halves.n; ++e) {
        writeRow(centre + e * s, halves.lower.data() + e);
        // Row 0 of the image lies one step above the highest computed row and stays black.
        if (centre - e * s >= 0)
            writeRow(centre - e * s, halves.upper.data() + e);
    }
    if (halves.wholeGrid()) {
        drawLeftHalf(pixels, stride, image.height(), halves);
        return;
    }

    repeatRows(pixels, stride, image.height(), halves);
    // The left half is the right half mirrored about the centre column: the phase depends on kx^2 only.
    // Column 0 has no partner inside the picture (the right half ends at column 2N - 1); it takes the
    // outermost computed column, so that the picture has no black edge on the left.
    const int last = image.width() - 1;
    const int mirrored = std::min(centre, last - centre);
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = pixels + static_cast<std::size_t>(y) * stride;
        for (int x = 1; x <= mirrored; ++x)
            line[centre - x] = line[centre + x];
        for (int x = mirrored + 1; x <= centre; ++x)
            line[centre - x] = line[last];
    }
}

QImage patternImage(const PatternHalves &halves)
{
    QImage image(2 * halves.centre, 2 * halves.centre, QImage::Format_RGB32);
    drawPatternImage(image, halves);
    return image;
}

void drawDefocusMapImage(QImage &image, const DefocusMapGrid &grid)
{
    // The image's sizes are out-of-line calls: asked once, not at every pixel.
    const int rows = std::min(grid.width, image.height()), columns = std::min(grid.width, image.width());
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t *source = grid.grey.data() + static_cast<std::size_t>(y) * grid.width;
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int c = 0; c < columns; ++c)
            line[c] = qRgb(source[c], source[c], source[c]);
    }
}

QImage defocusMapImage(const DefocusMapGrid &grid)
{
    QImage image(grid.width, grid.width, QImage::Format_RGB32);
    image.fill(Qt::black);
    drawDefocusMapImage(image, grid);
    return image;
}

} // namespace orvalis
