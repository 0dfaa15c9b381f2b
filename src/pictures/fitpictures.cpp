#include "pictures/fitpictures.h"

#include "chart/chartexport.h"
#include "chart/figure.h"
#include "micrograph/spectrumfile.h"

#include <QImage>

#include <algorithm>

namespace orvalis {

void writeFitPictures(const FitPictureFiles &files, const PowerSpectrum &spectrum, const CtfModel *model,
                      double lowestFrequency, double resolution, double pixelSizeNm)
{
    // One picture pixel a spectrum pixel, the last column at the spectrum's Nyquist frequency, the
    // model in the lower half.
    const int centre = spectrum.size / 2;
    CompositeGrid grid = measuredGrid(spectrum, centre, (centre - 1) * spectrum.frequencyStep, lowestFrequency);
    if (model)
        drawModelHalf(grid, *model, 0.0, 1);
    QImage image(grid.side(), grid.side(), QImage::Format_Grayscale8);
    for (int y = 0; y < grid.side(); ++y)
        std::copy_n(grid.grey.data() + static_cast<std::size_t>(y) * grid.side(), grid.side(), image.scanLine(y));
    saveImage(image, files.spectrumPng, "PNG");
    writeFloatMrc(files.spectrumMrc, grid.side(), std::vector<float>(grid.grey.begin(), grid.grey.end()), pixelSizeNm);
    if (!model)
        return;

    const RingProfile p = ringProfile(spectrum, *model, lowestFrequency);
    ProfileValues values;
    values.frequencyStep = p.frequencyStep;
    values.average = p.average;
    values.model = p.model;
    values.envelope = p.envelope;
    values.agreement = p.agreement;
    values.scale = p.scale;
    values.offset = p.offset;
    const RingProfile::Shown shown = p.shownScale(lowestFrequency);
    values.averageScale = shown.scale;
    values.averageOffset = shown.offset;
    // The resolution the fit reports, where the table says the rings end.
    values.agreedUpTo = resolution > 0 ? 1 / resolution : 0.0;
    values.lowestFrequency = lowestFrequency;
    values.upTo = p.frequency(p.bins() - 1);
    FigureStyle style;
    style.widthMm = 160;
    style.heightMm = 100;
    style.dpi = 150;
    style.fontPt = 9;
    const Figure figure = profileFigure(values);
    saveFigure(figure, style, files.profilePng, FigureFormat::Png);
    saveFigure(figure, style, files.profileSvg, FigureFormat::Svg);
}

} // namespace orvalis
