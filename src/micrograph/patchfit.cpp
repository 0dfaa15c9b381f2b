#include "micrograph/patchfit.h"

#include "core/cryoemdefocus.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/ctfmodel.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/parallelfor.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace orvalis {

namespace {

MicrographImage cutPatch(const MicrographImage &image, int left, int top, int size)
{
    MicrographImage patch;
    patch.width = size;
    patch.height = size;
    patch.pixelSizeNm = image.pixelSizeNm;
    patch.data.resize(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
    for (int y = 0; y < size; ++y) {
        const float *from = &image.data[static_cast<std::size_t>(top + y) * static_cast<std::size_t>(image.width)
                                        + static_cast<std::size_t>(left)];
        std::copy(from, from + size, patch.data.begin() + static_cast<std::ptrdiff_t>(y) * size);
    }
    return patch;
}

// The options of one patch: the global ones with the defocus searched about `expected` (Å) and the
// astigmatism up to the global one and a margin.
CtfFitOptions patchOptions(const CtfFitOptions &global, const CtfFitValues &values, double expected, double margin)
{
    CtfFitOptions o = global;
    o.defocusFrom = angstromToNm(-(expected + margin));
    o.defocusTo = angstromToNm(-(expected - margin));
    o.maxA2 = a2OfDefocusDifference(values.cryoEm.defocusU - values.cryoEm.defocusV + kPatchAstigmatismMargin);
    // The whole micrograph's phase shift is the patches' too: the plate is one.
    if (o.fitPhaseShift) {
        o.fitPhaseShift = false;
        o.phaseShift = degreesToRadians(values.phaseShift);
    }
    o.start = values.program;
    o.fitTilt = false;
    o.fitThickness = false;
    o.threads = 1;
    return o;
}

} // namespace

int LocalDefocus::significantCount() const
{
    return static_cast<int>(
        std::count_if(patches.begin(), patches.end(), [](const DefocusPatch &p) { return p.significant(); }));
}

PatchGrid patchGrid(int width, int height, int tileSize)
{
    PatchGrid g;
    g.patchSize = 2 * tileSize;
    if (g.patchSize <= 0)
        return g;
    g.columns = width / g.patchSize;
    g.rows = height / g.patchSize;
    g.left = (width - g.columns * g.patchSize) / 2;
    g.top = (height - g.rows * g.patchSize) / 2;
    return g;
}

QString planeSummary(const DefocusPlane &plane)
{
    return QStringLiteral("The plane through the %1 significant patches: %2° about an axis at %3°, %4 Å at the "
                          "centre, the patches within %5 Å of it (rms).")
        .arg(plane.patches)
        .arg(formatFixed(plane.tilt.angle, 1), formatFixed(plane.tilt.axis, 1), formatFixed(plane.centreDefocus, 0),
             formatFixed(plane.rms, 0));
}

std::optional<DefocusPlane> leastSquaresPlane(const std::vector<DefocusPatch> &patches, int imageWidth, int imageHeight,
                                              double pixelSizeNm)
{
    // D = a + b x + c y over the significant patches, x and y from the image's centre (pixels).
    const double cx = 0.5 * (imageWidth - 1), cy = 0.5 * (imageHeight - 1);
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0, sd = 0, sxd = 0, syd = 0;
    for (const DefocusPatch &p : patches)
        if (p.significant()) {
            const double x = p.x - cx, y = p.y - cy, d = p.meanDefocus();
            n += 1;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
            syy += y * y;
            sd += d;
            sxd += x * d;
            syd += y * d;
        }
    if (n < 3)
        return std::nullopt;
    // The normal equations, centred on the patches' mean position.
    const double mx = sx / n, my = sy / n, md = sd / n;
    const double vxx = sxx - n * mx * mx, vxy = sxy - n * mx * my, vyy = syy - n * my * my;
    const double vxd = sxd - n * mx * md, vyd = syd - n * my * md;
    const double det = vxx * vyy - vxy * vxy;
    if (!(det > 1e-9 * (vxx * vyy)) || vxx <= 0 || vyy <= 0)
        return std::nullopt; // the patches lie on one line
    const double b = (vxd * vyy - vyd * vxy) / det, c = (vyd * vxx - vxd * vxy) / det;
    const double a = md - b * mx - c * my;
    // b = -tan(angle) p sin(axis), c = tan(angle) p cos(axis).
    const double p = nmToAngstrom(pixelSizeNm);
    DefocusPlane plane;
    plane.centreDefocus = a;
    plane.tilt.angle = radiansToDegrees(std::atan(std::hypot(b, c) / p));
    plane.tilt.axis = plane.tilt.angle > 0 ? radiansToDegrees(std::atan2(-b, c)) : 0.0;
    plane.patches = static_cast<int>(n);
    double squares = 0;
    for (const DefocusPatch &q : patches)
        if (q.significant()) {
            const double r = q.meanDefocus() - (a + b * (q.x - cx) + c * (q.y - cy));
            squares += r * r;
        }
    plane.rms = std::sqrt(squares / n);
    return plane;
}

LocalDefocus fitLocalDefocus(const MicrographImage &image, const CtfFitOptions &globalOptions,
                             const CtfFitValues &global, double pixelSizeNm, const LocalDefocusOptions &options,
                             const ProgressCallback &progress)
{
    const double pixel = pixelSizeNm > 0 ? pixelSizeNm : image.pixelSizeNm;
    if (!(pixel > 0) || !std::isfinite(pixel))
        throw OrvalisError(QStringLiteral("The local defocus needs the pixel size of the micrograph at the "
                                          "specimen; the file gives none."));
    const double centreDefocus = 0.5 * (global.cryoEm.defocusU + global.cryoEm.defocusV);
    const double pixelA = nmToAngstrom(pixel);

    // The tile for the narrowest search a patch may take decides the grid; the margin then follows
    // from the grid's extent.
    const CtfFitOptions probe = patchOptions(globalOptions, global, centreDefocus, kPatchDefocusMargin);
    const int tile = fitTileSize(probe, image, pixel);
    const PatchGrid grid = patchGrid(image.width, image.height, tile);
    if (grid.columns < kMinPatchesPerSide || grid.rows < kMinPatchesPerSide)
        throw OrvalisError(QStringLiteral("The micrograph, %1 x %2 pixels, is too small for its local defocus: "
                                          "patches of %3 pixels (twice the spectrum's tile of %4) need at least "
                                          "%5 x %5 pixels for %6 x %6 of them.")
                               .arg(image.width)
                               .arg(image.height)
                               .arg(grid.patchSize)
                               .arg(tile)
                               .arg(kMinPatchesPerSide * grid.patchSize)
                               .arg(kMinPatchesPerSide));
    const double reach = std::hypot(0.5 * (grid.columns - 1) * grid.patchSize, 0.5 * (grid.rows - 1) * grid.patchSize);
    const double margin = global.tilt
        ? kPatchDefocusMargin
        : std::max(kPatchDefocusMargin, std::tan(degreesToRadians(kPatchSearchTilt)) * pixelA * reach);

    LocalDefocus local;
    local.patchSize = grid.patchSize;
    local.tileSize = tile;
    local.columns = grid.columns;
    local.rows = grid.rows;
    local.imageWidth = image.width;
    local.imageHeight = image.height;
    local.pixelSizeNm = pixel;
    local.options = patchOptions(globalOptions, global, centreDefocus, margin);
    local.options.tileSize = tile;
    const int count = grid.columns * grid.rows;
    local.patches.resize(static_cast<std::size_t>(count));
    const double cx = 0.5 * (image.width - 1), cy = 0.5 * (image.height - 1);

    const auto fitOne = [&](int i, const std::atomic<bool> &stop) {
        const int column = i % grid.columns, row = i / grid.columns;
        const int left = grid.left + column * grid.patchSize, top = grid.top + row * grid.patchSize;
        DefocusPatch &patch = local.patches[static_cast<std::size_t>(i)];
        patch.x = left + 0.5 * (grid.patchSize - 1);
        patch.y = top + 0.5 * (grid.patchSize - 1);
        const double expected = centreDefocus
            + (global.tilt ? tiltDefocusOffset(*global.tilt, pixelA, patch.x - cx, patch.y - cy) : 0.0);
        CtfFitOptions o = patchOptions(globalOptions, global, expected, margin);
        o.tileSize = tile;
        const ProgressCallback going = [&stop](double) { return !stop.load(std::memory_order_relaxed); };
        const MicrographImage cut = cutPatch(image, left, top, grid.patchSize);
        PowerSpectrum spectrum = micrographSpectrum(cut, {pixel, tile, &o, 1}, going);
        const CtfFitResult result = fitCtf(spectrum, o, going);
        patch.score = result.score;
        patch.significance = result.significance;
        if (result.values && !(result.doubts & (FitAtNearFocusEnd | FitAtFarFocusEnd)))
            patch.values = result.values;
        if (options.keepSpectra)
            patch.spectrum = std::move(spectrum);
    };
    parallelFor(count, std::min(16, options.threads), progress, 0, 1, fitOne);
    reportProgress(progress, 1.0);

    local.plane = leastSquaresPlane(local.patches, image.width, image.height, pixel);
    return local;
}

CtfModel patchModel(const LocalDefocus &local, const DefocusPatch &patch)
{
    CtfModel model = fittedModel(local.options, patch.values.value_or(CtfFitValues{}));
    return model;
}

} // namespace orvalis
