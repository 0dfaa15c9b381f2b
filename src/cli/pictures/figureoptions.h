#pragma once
// The options of a figure for a paper (--figure and its size, resolution, font, legend, background,
// grid), shared by the chart, the pattern and the map.
#include "chart/figure.h"

#include <QCommandLineParser>
#include <QSize>
#include <QString>

#include <optional>

namespace orvalis::cli {

void addFigureOptions(QCommandLineParser &parser);

// The style the options ask for with --figure (the size `defaultMm` when none is given); none
// without --figure, which then refuses the figure's options, naming the first one given.
std::optional<FigureStyle> figureStyleOf(const QCommandLineParser &parser, QSizeF defaultMm);

// --out for a figure: .png, .tif, .tiff, .svg or .pdf.
QString figureOutPath(const QCommandLineParser &parser);

} // namespace orvalis::cli
