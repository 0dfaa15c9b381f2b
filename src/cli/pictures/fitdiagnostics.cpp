#include "cli/pictures/fitdiagnostics.h"

#include "chart/chartexport.h"
#include "chart/figure.h"
#include "micrograph/ctffit.h"
#include "micrograph/spectrumfile.h"
#include "session/micrographviews.h"

#include <QImage>

namespace orvalis::cli {

void writeFitDiagnostics(const QString &dir, const FitRecord &record, const CtfFitOptions &options)
{
    const PowerSpectrum &spectrum = *record.spectrum;
    const DiagnosticsPaths paths = diagnosticsPaths(dir, record.file);
    // One picture pixel a spectrum pixel, the last column at the spectrum's Nyquist frequency.
    const int centre = spectrum.size / 2;
    const double range = (centre - 1) * spectrum.frequencyStep;
    const double lowest = 1 / options.lowResolution;
    CompositeGrid grid = measuredGrid(spectrum, centre, range, lowest);
    std::optional<CtfModel> model;
    if (record.result.values) {
        model = fittedModel(options, *record.result.values);
        drawModelHalf(grid, *model, 0.0, 1);
    }
    QImage image(grid.side(), grid.side(), QImage::Format_Grayscale8);
    for (int y = 0; y < grid.side(); ++y)
        std::copy_n(grid.grey.data() + static_cast<std::size_t>(y) * grid.side(), grid.side(), image.scanLine(y));
    saveImage(image, paths.spectrumPng, "PNG");
    writeFloatMrc(paths.spectrumMrc, grid.side(), std::vector<float>(grid.grey.begin(), grid.grey.end()),
                  record.pixelSizeNm);
    if (!model)
        return;

    const RingProfile p = ringProfile(spectrum, *model, lowest);
    ProfileValues values;
    values.frequencyStep = p.frequencyStep;
    values.average = p.average;
    values.model = p.model;
    values.envelope = p.envelope;
    values.agreement = p.agreement;
    values.scale = p.scale;
    values.offset = p.offset;
    // The resolution the fit reports, where the table says the rings end.
    values.agreedUpTo = record.result.values->resolution > 0 ? 1 / record.result.values->resolution : 0.0;
    values.lowestFrequency = lowest;
    values.upTo = p.frequency(p.bins() - 1);
    FigureStyle style;
    style.widthMm = 160;
    style.heightMm = 100;
    style.dpi = 150;
    style.fontPt = 9;
    const Figure figure = profileFigure(values);
    saveFigure(figure, style, paths.profilePng, FigureFormat::Png);
    saveFigure(figure, style, paths.profileSvg, FigureFormat::Svg);
}

} // namespace orvalis::cli
