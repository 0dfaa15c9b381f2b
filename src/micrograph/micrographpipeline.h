#pragma once
// One micrograph's way from its file to its fit, the same for the window and the shell:
//
//   MicrographJob::read   the image and the pixel size its file states (readMicrograph)
//   micrographSpectrum    its power spectrum: the one place one is computed for a micrograph
//   fitMicrograph         the spectrum the fit judges and the fit on it (fitCtf)
//   then fitAgreement and fitDoubtText (ctffit.h) for what is shown or written of a fit.
//
// What is asked of a fit is a FitRequest (fitrequest.h), refused by fitRequestProblem alone and
// turned into the engine's options by fitOptionsOf alone.
//
// Who owns what. A MicrographJob owns nothing but its path and a shared, immutable image; what it
// computes it hands back, and any number of jobs run on any threads at once. In the window,
// MicrographSession (session/) owns the open micrograph's image and the spectrum it shows, read and
// computed by a job off the event loop; FitSession owns the request the Fit dialog edits and the
// latest result, and fits a job on that same image off the event loop, with progress and Cancel.
// The shell's commands (cli/micrographcommands.cpp) own their options as one FitRequest and one job
// a file, fitted on worker threads of their own, with a progress line and SIGINT.
#include "micrograph/ctffit.h"
#include "micrograph/micrographimage.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/progress.h"

#include <QString>

#include <memory>
#include <utility>

namespace orvalis {

// The spectrum asked of a micrograph.
struct SpectrumRequest {
    double pixelSizeNm = 0; // > 0
    // Pixels a side; 0: kDefaultTileSize, or with `fit` the tile that fit takes (fitTileSize).
    int tileSize = 0;
    // The spectrum a fit judges: its background removed from the band's low end, not from the
    // default background frequency. None for the spectrum shown or saved.
    const CtfFitOptions *fit = nullptr;
    int threads = 1; // 1 .. 16
};

// Throws OrvalisError as computePowerSpectrum does (and for a fit's options the fit refuses);
// Cancelled when `progress` asks to stop.
PowerSpectrum micrographSpectrum(const MicrographImage &image, const SpectrumRequest &request,
                                 const ProgressCallback &progress = {});

struct MicrographFit {
    PowerSpectrum spectrum; // the one fitted
    CtfFitResult result;
};

// The spectrum of `image` (pixel size from the image, or `pixelSizeNm` when above 0; options.tileSize
// and options.threads) and its fit, the spectrum taking the first half of the progress. The options
// and the band against the micrograph's Nyquist limit are checked before any work. Throws
// OrvalisError as checkFitOptions, micrographSpectrum and fitCtf do, and for a micrograph without a
// pixel size; Cancelled when `progress` asks to stop.
MicrographFit fitMicrograph(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm = 0,
                            const ProgressCallback &progress = {});

// One micrograph: the name it was opened by and its image, shared with whatever else shows it.
class MicrographJob {
public:
    MicrographJob(QString path, std::shared_ptr<const MicrographImage> image)
        : m_path(std::move(path)), m_image(std::move(image))
    {
    }
    // Reads `path` (MRC, TIFF or PNG). Throws OrvalisError naming the file, and Cancelled.
    static MicrographJob read(const QString &path, const ProgressCallback &progress = {});

    const QString &path() const { return m_path; }
    const MicrographImage &image() const { return *m_image; }
    const std::shared_ptr<const MicrographImage> &sharedImage() const { return m_image; }
    // nm at the specimen: `given` when above 0, else the file's; 0 when neither gives one.
    double pixelSize(double given = 0) const { return given > 0 ? given : m_image->pixelSizeNm; }

    PowerSpectrum spectrum(const SpectrumRequest &request, const ProgressCallback &progress = {}) const
    {
        return micrographSpectrum(*m_image, request, progress);
    }
    MicrographFit fit(const CtfFitOptions &options, double pixelSizeNm, const ProgressCallback &progress = {}) const
    {
        return fitMicrograph(*m_image, options, pixelSizeNm, progress);
    }

private:
    QString m_path;
    std::shared_ptr<const MicrographImage> m_image;
};

// fitMicrograph's result alone.
CtfFitResult fitMicrographCtf(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm = 0,
                              const ProgressCallback &progress = {});

} // namespace orvalis
