#pragma once
// A fit's pictures, as the shell's fit --diagnostics and the window's Fit Pictures write them: the
// spectrum beside the fitted model (PNG and MRC) and the spectrum's average along the model's rings
// against the model (PNG and SVG). Above both the session's views and the chart's figures, so that
// the two programs draw them with the same code.
#include "micrograph/ctfmodel.h"
#include "micrograph/powerspectrum.h"
#include "session/micrographviews.h"

namespace orvalis {

// Writes `files` for `spectrum`; without a model (a fit that found nothing) the spectrum alone. The
// profile is judged from `lowestFrequency` (nm^-1) and marks where the fit holds to (`resolution`,
// nm; 0: nowhere). Throws OrvalisError naming a file it cannot write.
void writeFitPictures(const FitPictureFiles &files, const PowerSpectrum &spectrum, const CtfModel *model,
                      double lowestFrequency, double resolution, double pixelSizeNm);

} // namespace orvalis
