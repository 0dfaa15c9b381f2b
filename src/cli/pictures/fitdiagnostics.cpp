#include "cli/pictures/fitdiagnostics.h"

#include "micrograph/ctffit.h"
#include "pictures/fitpictures.h"

#include <optional>

namespace orvalis::cli {

void writeFitDiagnostics(const QString &dir, const FitRecord &record, const CtfFitOptions &options)
{
    const std::optional<CtfModel> model = record.result.values
        ? std::optional<CtfModel>(fittedModel(options, *record.result.values))
        : std::nullopt;
    writeFitPictures(fitPictureFiles(dir, record.file), *record.spectrum, model ? &*model : nullptr,
                     1 / options.lowResolution, model ? record.result.values->resolution : 0.0, record.pixelSizeNm);
}

} // namespace orvalis::cli
