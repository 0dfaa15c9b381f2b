#pragma once
// Grey levels of the 2D CTF pattern. Only the right half of the picture is computed, as two
// quarters meeting on the centre row; the window plots them and mirrors the right half into the
// left one, which is exact because the phase depends on kx^2 only. An azimuth of the astigmatism
// turns the phase off that symmetry: then the left quarters are computed too.
#include "core/opticsstate.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace orvalis {

namespace kernels {
struct KernelSet;
}

// Largest pattern centre N (half the picture width in pixels) that the grids accept.
inline constexpr int kMaxPatternCentre = 128;

struct PatternHalves {
    int n = -1;         // last step index of both grids; -1 when nothing was computed
    int centre = 0;     // N, pixels
    int stepFactor = 0; // s, pixels between computed points
    double range = 0;   // nm^-1, the frequency of pixel column 2N - 1

    // (n + 1) x (n + 1) grey levels each, stored column by column: index r * (n + 1) + e.
    // lower: kx = +r * step, ky = +e * step, drawn at pixel (N + r * s, N + e * s) (below the centre).
    // upper: kx = +r * step, ky = -e * step, drawn at pixel (N + r * s, N - e * s); e = -i.
    // step = s * range / (N - 1). Row e = 0 (ky = 0) is in both.
    std::vector<std::uint8_t> lower;
    std::vector<std::uint8_t> upper;
    // Empty unless an azimuth is set; then the left half, at kx = -r * step, drawn at pixel
    // (N - r * s, N + e * s) and (N - r * s, N - e * s).
    std::vector<std::uint8_t> leftLower;
    std::vector<std::uint8_t> leftUpper;
    bool wholeGrid() const { return !leftLower.empty(); }

    int lowerAt(int r, int e) const { return lower[index(r, e)]; }
    int upperAt(int r, int e) const { return upper[index(r, e)]; }
    std::size_t index(int r, int e) const
    {
        return static_cast<std::size_t>(r) * static_cast<std::size_t>(n + 1) + static_cast<std::size_t>(e);
    }
};

// n = round(N / s - 1), ties to even; -1 (nothing to compute) when N is outside 2 .. kMaxPatternCentre
// or s < 1. N = 1 would put every point at step / 0.
int patternSteps(int centre, int stepFactor);

// nm^-1; the frequency of step `index` (negative above or left of the centre): index * s * range / (N - 1).
double patternFrequency(int index, int stepFactor, double range, int centre);

// The grey level of frequency point (kx, ky) (nm^-1, ky positive below the centre) at `defocus` (nm),
// evaluated directly with the C library: the two-fold term along the image axes, the three-fold
// term odd in ky.
int referencePatternGrey(const OpticsState &state, double kx, double ky, double defocus);

// Called with the column r after each column of each grid: 0 .. n for the lower grid, then
// 0 .. n for the upper one (and for a whole grid then 0 .. n for each left one).
using PatternProgress = std::function<void(int column)>;

// The two grids for the state's instrument, astigmatism and convergence at `defocus` (nm). The
// levels are exactly those of referencePatternGrey at every point; arithmetic of its own makes it
// about twenty times faster. An invalid centre or step factor gives n = -1 and empty grids.
PatternHalves computePatternHalves(const OpticsState &state, double defocus, int centre, int stepFactor, double range,
                                   const PatternProgress &progress = {});
// The same with the inner loops of one instruction set (every set gives the same levels).
PatternHalves computePatternHalves(const kernels::KernelSet &loops, const OpticsState &state, double defocus,
                                   int centre, int stepFactor, double range, const PatternProgress &progress = {});

// The same grids, point by point with referencePatternGrey (for comparison and measurement).
PatternHalves referencePatternHalves(const OpticsState &state, double defocus, int centre, int stepFactor, double range,
                                     const PatternProgress &progress = {});

} // namespace orvalis
