#include "micrograph/spectrumcheck.h"

#include "core/orvaliserror.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace orvalis {

namespace {

constexpr int kLargestSide = 512; // the central square judged, pixels: 260 000 of them tell apart

// The mean of the 3 x 3 block about (x, y), which must lie inside the image by a pixel.
double blockMean(const MicrographImage &image, int x, int y)
{
    double sum = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            sum += image.at(x + dx, y + dy);
    return sum / 9;
}

} // namespace

double centralSymmetry(const MicrographImage &image)
{
    const int w = image.width, h = image.height;
    if (w < 8 || h < 8 || image.data.size() != static_cast<std::size_t>(w) * static_cast<std::size_t>(h))
        return 0;
    // The square about the centre (w/2, h/2) whose mirror (w - x, h - y) stays inside, a pixel from
    // the edges for the neighbours.
    const int cx = w / 2, cy = h / 2;
    const int half = std::min({kLargestSide / 2, cx - 2, cy - 2, w - cx - 2, h - cy - 2});
    if (half < 2)
        return 0;
    double s = 0, ss = 0, sm = 0, mm = 0, m = 0, count = 0;
    for (int y = cy - half; y <= cy + half; ++y)
        for (int x = cx - half; x <= cx + half; ++x) {
            const double a = image.at(x, y) - blockMean(image, x, y);
            const int mx = 2 * cx - x, my = 2 * cy - y;
            const double b = image.at(mx, my) - blockMean(image, mx, my);
            if (!std::isfinite(a) || !std::isfinite(b))
                return 0;
            s += a;
            ss += a * a;
            m += b;
            mm += b * b;
            sm += a * b;
            count += 1;
        }
    const double va = ss - s * s / count, vb = mm - m * m / count;
    return va > 0 && vb > 0 ? (sm - s * m / count) / std::sqrt(va * vb) : 0.0;
}

bool looksLikePowerSpectrum(const MicrographImage &image)
{
    if (!(centralSymmetry(image) >= kSpectrumSymmetry))
        return false;
    // Spectra fall away from the centre, their logarithms too: the central disc (a sixteenth of the
    // side in radius) stands above the whole image's mean. Its very centre is not asked for, since
    // the zero frequency is often removed and the axes carry the tiles' edges.
    const int w = image.width, h = image.height, cx = w / 2, cy = h / 2;
    const int radius = std::max(2, std::min(w, h) / 16);
    double all = 0, centre = 0, inside = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double v = image.at(x, y);
            all += v;
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) {
                centre += v;
                inside += 1;
            }
        }
    return inside > 0 && centre / inside > all / (static_cast<double>(w) * h);
}

void checkNotPowerSpectrum(const MicrographImage &image)
{
    if (looksLikePowerSpectrum(image))
        throw OrvalisError(QStringLiteral("The image looks like a power spectrum already, not a micrograph: it is "
                                          "symmetric about its centre and largest there. Give the micrograph itself."));
}

} // namespace orvalis
