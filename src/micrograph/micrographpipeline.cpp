#include "micrograph/micrographpipeline.h"

#include "core/orvaliserror.h"
#include "micrograph/ctfmodel.h"
#include "micrograph/micrographreader.h"
#include "micrograph/specimenfit.h"

#include <cmath>

namespace orvalis {

MicrographJob MicrographJob::read(const QString &path, const ProgressCallback &progress)
{
    return MicrographJob(path, std::make_shared<const MicrographImage>(readMicrograph(path, progress)));
}

PowerSpectrum micrographSpectrum(const MicrographImage &image, const SpectrumRequest &request,
                                 const ProgressCallback &progress)
{
    SpectrumOptions options;
    options.pixelSizeNm = request.pixelSizeNm;
    options.threads = request.threads;
    options.tileSize = request.tileSize > 0 ? request.tileSize
        : request.fit                       ? fitTileSize(*request.fit, image, request.pixelSizeNm)
                                            : kDefaultTileSize;
    // Inside the band's low end the rings are 0: the fit's band starts where the background leaves them.
    if (request.fit) {
        options.backgroundFrequency = 1 / request.fit->lowResolution;
        options.tileStep = fitTileStep(options.tileSize);
    }
    return computePowerSpectrum(image, options, progress);
}

MicrographFit fitMicrograph(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm,
                            const ProgressCallback &progress)
{
    const double pixel = pixelSizeNm > 0 ? pixelSizeNm : image.pixelSizeNm;
    const bool known = pixel > 0 && std::isfinite(pixel);
    checkFitOptions(options, known ? pixel : 0.0);
    if (!known)
        throw OrvalisError(QStringLiteral("The fit needs the pixel size of the micrograph at the specimen; the file "
                                          "gives none."));
    (void)CtfModel(options.instrument, options.amplitudeContrast); // its values are checked before the long work

    if (options.fitTilt || options.fitThickness)
        return fitSpecimen(image, options, pixel, progress);
    const ProgressCallback half = [&progress](double f) { return !progress || progress(0.5 * f); };
    MicrographFit fit;
    fit.spectrum = micrographSpectrum(image, {pixel, options.tileSize, &options, options.threads}, half);
    const ProgressCallback rest = [&progress](double f) { return !progress || progress(0.5 + 0.5 * f); };
    fit.result = fitCtf(fit.spectrum, options, rest);
    return fit;
}

CtfFitResult fitMicrographCtf(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm,
                              const ProgressCallback &progress)
{
    return fitMicrograph(image, options, pixelSizeNm, progress).result;
}

} // namespace orvalis
