#pragma once
// A tilted or thick specimen's fit: fitMicrograph's way when a request asks for the tilt or the
// thickness (CtfFitOptions::fitTilt, fitThickness).
//
// The tilt. A tilted specimen's defocus changes across the image along a plane (SpecimenTilt,
// tiltDefocusOffset: the one convention), and the rings of one spectrum of the whole image blur
// where the spectra of its parts disagree. The tiles' periodograms are therefore summed by region
// (a grid of a few tiles each); the plain fit of their sum gives the mean defocus and the
// astigmatism, and then each region's rings, averaged along that model's rings, are compared with
// the model at the region's own defocus, D0 + tiltDefocusOffset at the region's centre: the tilt
// angle and axis are searched on a grid and refined (with D0) to the largest summed correlation.
// The regions' spectra are then rescaled in frequency to the centre's defocus before they are
// averaged (the frequency where a region's rings have the centre's phase at each pixel: the rings
// of every region fall on the centre's), which gives the tilt-corrected spectrum the last
// refinement uses. The resolution the fit holds to (fitAgreement) and the window's views take the
// image's tiles rescaled so one by one, each at its own defocus, on a tile chosen for the rings past
// the band (tiltCorrectedTiles): larger than the regions' (whose tiles sample the band's top alone),
// smaller than the tilt's spread of defocus within a tile allows, and interpolated cubically.
//
// The thickness. Through a specimen of thickness t the rings are CTF^2 averaged over the depth
// (CtfModel::thicknessDamping): they fade towards the first node at k^2 = 1 / (lambda t) and come
// back inverted. t is scanned on the corrected spectrum's average along the rings (with the defocus
// free by a tenth either way: the plain fit takes inverted rings for those of another defocus), along
// the plain fit's rings and along round ones (the inverted rings can lead the plain fit to an
// astigmatism that is not there), and the best few peaks of both are refined with the defocus and the
// astigmatism over the whole band. The best is reported only where it fits the rings clearly better
// than the best of another thickness (kThicknessTold): else neither it nor its defocus is sure, and
// the fit without a thickness stands, with a statement naming both. The rings' amplitudes also fall with the
// envelopes, which look just like a thickness before its first node, so both are compared with
// the spectrum's rings flattened (each divided by the rings' local strength): only where the rings
// vanish and turn over counts, and a specimen is called thin when that first node lies beyond the
// band's top, t < 1 / (lambda k_top^2) (thinLimit): none is reported for it. A tilt also spreads the
// defocus within each tile (and between the tiles of a region), which fades the rings as a
// thickness does; that part is modelled from the fitted tilt, and the thickness is what is left.
#include "micrograph/ctffit.h"
#include "micrograph/micrographimage.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/progress.h"

#include <vector>

namespace orvalis {

// The periodograms of a micrograph's tiles (side by side, or half-overlapping in a small one; tapered as
// computePowerSpectrum's), summed by region of the image: a grid of up to 8 x 8 (fewer for large tiles), one tile a
// region where it can.
struct RegionSpectra {
    int size = 0;              // n, pixels a side of a tile and of each spectrum
    double frequencyStep = 0;  // nm^-1 per pixel
    double pixelSize = 0;      // nm
    int width = 0, height = 0; // of the image, pixels
    // Per region: n x n powers centred as PowerSpectrum::power, the mean over the region's tiles; the
    // tiles summed; the centre (pixels from the image's centre, x along a row, y down the rows).
    std::vector<std::vector<float>> power;
    std::vector<int> tiles;
    std::vector<double> x, y;
    // What spreads the defocus of a tilt within a region: each tile's width as its taper weighs it
    // (pixels, the width of the even spread with the same variance), the step between tiles
    // (pixels), and the most tiles a region spans along x and y.
    double tileWidth = 0;
    int step = 0, spanX = 1, spanY = 1;
    int columns = 0, rows = 0; // the grid of regions

    int regions() const { return static_cast<int>(power.size()); }
};

// Throws OrvalisError as computePowerSpectrum does; Cancelled when `progress` asks to stop.
RegionSpectra regionSpectra(const MicrographImage &image, int tileSize, double pixelSizeNm,
                            const ProgressCallback &progress = {});

// The spectrum of all the regions' tiles, each region's rescaled in frequency to the defocus of the
// image's centre under `tilt` (none: the plain average), its background removed from
// `backgroundFrequency` (nm^-1). `centre` is the model at the centre. Only frequencies up to
// `highest` (nm^-1; 0: all) are rescaled, the rest averaged as they are.
PowerSpectrum tiltCorrectedSpectrum(const RegionSpectra &regions, const CtfModel &centre, const SpecimenTilt *tilt,
                                    double backgroundFrequency, double highest = 0);

// The spectrum of the image's tiles of n pixels (side by side, or half-overlapping where fewer than six fit
// along a side), each rescaled in frequency to the defocus of the image's centre under `tilt` from its
// own (see tiltCorrectedSpectrum), its background removed from `backgroundFrequency` (nm^-1). Throws as
// regionSpectra.
PowerSpectrum tiltCorrectedTiles(const MicrographImage &image, int n, double pixelSizeNm, const CtfModel &centre,
                                 const SpecimenTilt &tilt, double backgroundFrequency,
                                 const ProgressCallback &progress = {});

// nm: the thickness whose first node lies at frequency k (nm^-1), 1 / (lambda k^2); below it at the
// band's top a specimen is thin for that band.
double thinLimit(double wavelength, double k);

// The fit of a micrograph with its tilt and/or thickness, as fitMicrograph (whose checks are made
// before): the spectrum returned is the tilt-corrected one.
struct MicrographFit;
MicrographFit fitSpecimen(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm,
                          const ProgressCallback &progress = {});

} // namespace orvalis
