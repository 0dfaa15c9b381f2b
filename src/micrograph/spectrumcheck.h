#pragma once
// A power spectrum handed in where a micrograph belongs (the _PS.mrc files that motion correction
// writes beside its sums) has rings, and a fit finds a defocus in them: one far from the
// micrograph's, as the spectrum of a spectrum. Such an image is told apart by what no micrograph
// has: its fine detail repeats itself mirrored through the centre (|F(k)|^2 = |F(-k)|^2, speckle
// included), and it is brightest about the centre.
#include "micrograph/micrographimage.h"

namespace orvalis {

// The correlation of the image's fine detail (each pixel less the mean of its 3 x 3 neighbours)
// with the same mirrored through the image's centre (pixel (i, j) against (w - i, h - j), as the
// spectra of the field centre theirs), over a central square of at most 512 pixels a side; -1 .. 1.
// About 0 for a micrograph's shot noise, 1 for a centred spectrum.
double centralSymmetry(const MicrographImage &image);

// Whether the image is a centred power spectrum rather than a micrograph: centralSymmetry at least
// kSpectrumSymmetry (micrographs, a centred beam's included, give about 0.001; spectra 1), and
// the mean over a central disc above the whole image's.
inline constexpr double kSpectrumSymmetry = 0.8;
bool looksLikePowerSpectrum(const MicrographImage &image);

// Throws OrvalisError "The image is already a power spectrum ..." when looksLikePowerSpectrum.
void checkNotPowerSpectrum(const MicrographImage &image);

} // namespace orvalis
