#pragma once
// The 2D pattern as a detector records it. A detector of pixel size p samples the image every p, so
// its spectrum repeats with the sampling frequency ks = 1/p in kx and in ky: what the optics pass
// beyond the Nyquist frequency ks/2 is folded back inside it and adds to what lies there. An ideal
// detector integrates over square pixels, which weights the power at frequency k by
// W(k) = sinc^2(pi k p) in each direction; over all the aliases of a point these weights add up to 1.
// For a specimen of flat spectrum the detector's power at (kx, ky) is therefore
//     P(kx, ky) = sum over the integers m, n of W(kx + m ks) W(ky + n ks) CTF^2(kx + m ks, ky + n ks)
// with the damped CTF and every term of the state: a weighted mean of CTF^2 that stays within 0 .. 1.
// P repeats with ks, so beyond the Nyquist square the picture shows the copies of the detector's
// spectrum, as a periodogram tiled across the plane would; inside it the rings the detector cannot
// follow come back as moire.
#include "core/ctfpattern.h"
#include "core/opticsstate.h"

namespace orvalis {

// The aliases counted on each side of a point's own frequency, in each direction. Their weights
// fall as 1/m^2: those left out hold a few percent of the weight, and the envelopes have damped
// most of what lies that far out.
inline constexpr int SampledAliasCells = 3;

// nm^-1. Aliases beyond this frequency add nothing visible and are skipped: there the temporal
// envelope with the B-factor, which bounds the damped CTF whatever the defocus, has fallen below
// 1e-3 (its square below 1e-6). Infinite when neither damps at all.
double aliasCutoff(const OpticsState &state);

// The detector's power P at (kx, ky) (nm^-1, ky positive below the centre) at `defocus` (nm), for a
// state whose PixelSize is above 0. Evaluated directly with the C library.
double sampledPower(const OpticsState &state, double kx, double ky, double defocus);

// The grey level of a power: that of a CTF whose square it is.
int sampledGrey(double power);

// The pattern's grids (laid out as computePatternHalves lays them out) of the detector's power, for
// a state with a pixel size; without one, the plain pattern of computePatternHalves. The left half
// is computed only when an azimuth turns the phase: the aliases lie mirror-symmetric themselves.
PatternHalves computeSampledPattern(const OpticsState &state, double defocus, int centre, int stepFactor, double range,
                                    const PatternProgress &progress = {});

} // namespace orvalis
