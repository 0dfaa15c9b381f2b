#pragma once
// The power spectrum of a micrograph as the estimators of the field make it: the periodograms of
// overlapping tiles averaged (Welch's method), each tile's mean removed and its edges tapered, and
// then the smooth background taken away so that the Thon rings stand out.
#include "micrograph/micrographimage.h"
#include "micrograph/progress.h"

#include <cstddef>
#include <vector>

namespace orvalis {

inline constexpr int kMinTileSize = 256;
inline constexpr int kMaxTileSize = 2048;
inline constexpr int kDefaultTileSize = 512;

struct SpectrumOptions {
    int tileSize = kDefaultTileSize; // pixels, even, kMinTileSize .. kMaxTileSize
    int tileStep = 0;                // pixels from one tile to the next, up to tileSize; 0: half a tile
    double pixelSizeNm = 0;          // nm per pixel at the specimen (the image's own, or one the user gives); > 0
    // nm^-1: the lowest frequency the rings are looked for at, 1/3 nm^-1 (30 Å) as the estimators use.
    // Inside it there is no background to remove; the background is the mean over a box of sqrt(2)
    // times this frequency, wide enough to span a few rings.
    double backgroundFrequency = 1.0 / 3.0;
    int threads = 1; // threads that transform tiles (1 .. 16)
};

struct PowerSpectrum {
    int size = 0;             // n = the tile size: both images are n x n
    double frequencyStep = 0; // nm^-1 per pixel of the spectrum: 1 / (n * pixel size)
    int tiles = 0;            // periodograms averaged

    // n * n values, row after row. Pixel (column i, row j) is the frequency kx = (i - n/2) * step,
    // ky = (j - n/2) * step: kx along the image's rows (x), ky along its columns (y, the row index
    // growing), the zero frequency at (n/2, n/2). Both are centrosymmetric.
    // power: the averaged periodogram, in the image's units squared per pixel (white noise of
    // variance s^2 gives s^2 everywhere).
    std::vector<float> power;
    // rings: sqrt(power) less its box-filtered background (see SpectrumOptions); 0 inside the
    // background frequency.
    std::vector<float> rings;

    double frequencyX(int column) const { return (column - size / 2) * frequencyStep; } // nm^-1
    double frequencyY(int row) const { return (row - size / 2) * frequencyStep; }       // nm^-1
    float ringsAt(int column, int row) const { return rings[index(column, row)]; }
    float powerAt(int column, int row) const { return power[index(column, row)]; }
    std::size_t index(int column, int row) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(size) + static_cast<std::size_t>(column);
    }
};

// Throws OrvalisError, saying why, for a tile size out of range (even, kMinTileSize .. kMaxTileSize)
// or an image smaller than one tile.
void checkTiles(const MicrographImage &image, int tileSize);

// A tile's weights along each side: 1 in the middle, falling as a half cosine to 0 over the outer
// eighth, so that the jump where a tile's opposite edges meet puts no bright cross through the spectrum.
std::vector<float> edgeTaper(int n);

// The spectrum of `image`. Throws OrvalisError for a tile size out of range, a pixel size that is
// none, or an image smaller than one tile; Cancelled when `progress` asks to stop.
PowerSpectrum computePowerSpectrum(const MicrographImage &image, const SpectrumOptions &options,
                                   const ProgressCallback &progress = {});

// rings from power (n x n, centred as above, frequencyStep in nm^-1): sqrt(power) less its mean over
// a box of sqrt(2) * backgroundFrequency (pixels of the central cross, where the tiles' edges leak,
// left out of the mean), 0 within backgroundFrequency of the centre.
std::vector<float> subtractBackground(const std::vector<float> &power, int n, double frequencyStep,
                                      double backgroundFrequency);

// The background subtractBackground takes away, of any amplitudes (n x n, centred as above): their
// mean over the same box, the central cross left out.
std::vector<double> boxBackground(const std::vector<double> &amplitude, int n, double frequencyStep,
                                  double backgroundFrequency);

// Tile origins along one side of `length` pixels: tiles of n, `step` apart, the whole grid centred
// so that the margins left over are even on both sides.
std::vector<int> tileOrigins(int length, int n, int step);

} // namespace orvalis
