#pragma once
// The local defocus of a micrograph: its image cut into a grid of square patches, each patch's
// spectrum computed and fitted by the one fit (micrographSpectrum, fitCtf) with a search narrowed
// about the whole micrograph's fit, and a plane fitted by least squares through the patches' mean
// defoci as a check of the specimen's tilt.
//
// The patches' size: a patch holds 3 x 3 tiles overlapping by half (twice the tile a side), the tile
// being the one the fit itself takes for the narrowed search (fitTileSize: the rings at the band's
// top sampled 2.5 pixels apart, no smaller than kDefaultTileSize). Nine periodograms over some 10^4
// pixels of the band still stand out of the noise on a camera's micrograph at 1 to 4 µm (the fit's
// significance measures every patch anyway), and the patch stays small enough that a 4096 pixel
// micrograph of 1 Å pixels gives 4 x 4 of them at the default band (512 pixel tiles, 1024 pixel
// patches). Patches do not overlap: each is an independent measurement, and the plane's least
// squares treat them as such.
#include "micrograph/ctffit.h"
#include "micrograph/micrographimage.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/progress.h"

#include <QString>

#include <optional>
#include <vector>

namespace orvalis {

// Fewer patches than this a side and a micrograph has no local defocus to show.
inline constexpr int kMinPatchesPerSide = 2;

// Å: the defocus searched about each patch's expected one is this far either way when the whole fit
// gives a tilt (what the plane leaves out: a bent or uneven specimen), else far enough to take a
// tilt of kPatchSearchTilt across the patches' grid, and never less than this.
inline constexpr double kPatchDefocusMargin = 1000;
inline constexpr double kPatchSearchTilt = 50; // degrees
// Å of U - V the patches search beyond the whole fit's astigmatism.
inline constexpr double kPatchAstigmatismMargin = 1000;

struct DefocusPatch {
    double x = 0; // pixels: the patch's centre from the image's top-left pixel's centre, along the rows
    double y = 0; // pixels, down the rows
    double score = 0;
    double significance = 0;
    // The fit's values when it stands out of the noise and not at an end of the patch's search (there
    // the value is the search's answer, not the patch's); none otherwise.
    std::optional<CtfFitValues> values;
    // The spectrum fitted, when asked for (LocalDefocusOptions::keepSpectra).
    std::optional<PowerSpectrum> spectrum;

    bool significant() const { return values.has_value(); }
    double meanDefocus() const { return values ? 0.5 * (values->cryoEm.defocusU + values->cryoEm.defocusV) : 0.0; } // Å
};

// The plane D(x, y) = D0 + tan(angle) * p * (y cos(axis) - x sin(axis)) through the significant
// patches' mean defoci (SpecimenTilt's convention; x, y pixels from the image's centre), the axis in
// (-180, 180] degrees (0 for a flat plane).
struct DefocusPlane {
    SpecimenTilt tilt;
    double centreDefocus = 0; // Å, D0
    double rms = 0;           // Å, the patches' mean defoci about the plane
    int patches = 0;          // the significant patches it was fitted through
};

struct LocalDefocus {
    int patchSize = 0; // pixels a side
    int tileSize = 0;  // of each patch's spectrum
    int columns = 0, rows = 0;
    int imageWidth = 0, imageHeight = 0;
    double pixelSizeNm = 0;
    CtfFitOptions options;             // the patches were fitted with, the defocus range that of the grid's centre
    std::vector<DefocusPatch> patches; // row after row from the top, each row from the left
    std::optional<DefocusPlane> plane; // none with fewer than 3 significant patches not on one line

    const DefocusPatch &at(int column, int row) const
    {
        return patches[static_cast<std::size_t>(row * columns + column)];
    }
    int significantCount() const;
};

struct LocalDefocusOptions {
    int threads = 1;          // patches fitted at once, 1 .. 16
    bool keepSpectra = false; // each patch keeps its spectrum (the window shows it)
};

// The patches' grid of a micrograph `width` x `height` for tiles of `tileSize`: patches of twice the
// tile, as many as fit, the grid centred on the image. Columns or rows below kMinPatchesPerSide mean
// the micrograph is too small.
struct PatchGrid {
    int patchSize = 0, columns = 0, rows = 0, left = 0, top = 0;
};
PatchGrid patchGrid(int width, int height, int tileSize);

// The local defocus of `image` about `global`, the whole micrograph's fit with `globalOptions` (its
// instrument, band, phase shift and the threads of none: `options.threads` is used). Pixel size as
// fitMicrograph takes it. Throws OrvalisError for a micrograph with fewer than kMinPatchesPerSide
// patches a side (saying how large it must be), and as micrographSpectrum and fitCtf do; Cancelled
// when `progress` asks to stop.
LocalDefocus fitLocalDefocus(const MicrographImage &image, const CtfFitOptions &globalOptions,
                             const CtfFitValues &global, double pixelSizeNm, const LocalDefocusOptions &options = {},
                             const ProgressCallback &progress = {});

// The plane through the significant patches (see DefocusPlane); none with fewer than 3 of them or all on
// one line.
std::optional<DefocusPlane> leastSquaresPlane(const std::vector<DefocusPatch> &patches, int imageWidth, int imageHeight,
                                              double pixelSizeNm);

// The plane in a sentence, as the window and the shell say it: "The plane through the 12 significant
// patches: 19.7° about an axis at 62.3°, 15012 Å at the centre, the patches within 41 Å of it (rms)."
QString planeSummary(const DefocusPlane &plane);

// The model of a patch's fit, to draw or compare with.
CtfModel patchModel(const LocalDefocus &local, const DefocusPatch &patch);

} // namespace orvalis
