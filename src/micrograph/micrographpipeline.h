#pragma once
// One micrograph's way from its file to its fit, the same for the window and the shell:
//
//   readMicrograph (micrographreader.h)  the image and the pixel size its file states
//   micrographSpectrum                   its power spectrum: the one place one is computed
//   fitMicrograph                        the spectrum the fit judges and the fit on it (fitCtf)
//   fitAgreement, fitDoubtText (ctffit.h), cli/fitoutputs.h   what is shown or written of a fit
//
// What is asked of a fit is a FitRequest (fitrequest.h), refused by fitRequestProblem alone and
// turned into the engine's options by fitOptionsOf alone.
//
// Who owns what. These functions own nothing between calls and may run on any thread at once.
// The window's MicrographSession (session/) owns the open image and the spectrum it shows,
// computed here off the event loop; its FitSession owns the request the Fit dialog edits and the
// latest result, and fits here off the event loop with progress and Cancel. The shell's commands
// (cli/micrographcommands.cpp) own their options as one FitRequest and run each file through
// here on worker threads of their own, with progress and SIGINT.
#include "micrograph/ctffit.h"
#include "micrograph/micrographimage.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/progress.h"

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

// fitMicrograph's result alone.
CtfFitResult fitMicrographCtf(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm = 0,
                              const ProgressCallback &progress = {});

} // namespace orvalis
