#pragma once
// --diagnostics: the pictures of one micrograph's fit, drawn as the window draws them.
#include "cli/fitoutputs.h"

#include <QString>

namespace orvalis::cli {

// Writes fitPictureFiles(dir, record.file): the spectrum beside the fitted model as PNG and MRC,
// and the profile as PNG and SVG (a record without a fit gets the spectrum alone, in both halves).
// Throws OrvalisError naming the file that cannot be written.
void writeFitDiagnostics(const QString &dir, const FitRecord &record, const CtfFitOptions &options);

} // namespace orvalis::cli
