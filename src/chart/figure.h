#pragma once
// Figures for papers: a chart or a picture with its axes drawn at a size in millimetres (or pixels)
// and a resolution, fonts in points, on white or nothing, in colour or in black with dash patterns,
// axis titles written out, the legend outside the data or in a corner. Vector files keep text as
// text. The window's charts are not changed by any of this: a figure is drawn on a plot of its own.
#include "core/ctfpattern.h"
#include "core/defocusmap.h"

#include <QColor>
#include <QImage>
#include <QPen>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QVector>

#include <optional>
#include <vector>

namespace orvalis {

class ChartWidget;

enum class FigureLegend { Outside, TopLeft, TopRight, BottomLeft, BottomRight, None };
enum class FigureFormat { Png, Tiff, Svg, Pdf };

// The written-out axis titles.
QString frequencyTitle();  // "Spatial frequency (nm⁻¹)"
QString resolutionTitle(); // "Resolution (nm)"
QString ctfTitle();        // "CTF"

struct FigureStyle {
    // The size: in millimetres, or in pixels when widthPx and heightPx are above 0. The dpi turns
    // either into the other: a raster file has the pixels, a vector file the millimetres.
    double widthMm = 85, heightMm = 60;
    int widthPx = 0, heightPx = 0;
    int dpi = 300;
    QString fontFamily = QStringLiteral("DejaVu Sans");
    double fontPt = 8;
    bool transparent = false; // no background at all, else white
    bool monochrome = false;  // black curves told apart by their dash patterns
    bool grid = false;
    FigureLegend legend = FigureLegend::Outside;

    QSize rasterSize() const; // pixels
    QSizeF sizeMm() const;
};

// What is wrong with a style, naming the option ("--size-mm", "--dpi", ...) as the shell calls it;
// empty when it can be drawn. The limits: 10 to 1000 mm, 50 to 20000 pixels a side, 50 to 2400 dpi,
// 4 to 72 pt, and a raster of at most 200 million pixels.
QString figureStyleProblem(const FigureStyle &style);

struct FigureCurve {
    QString name; // the legend's text; empty: not in the legend
    QVector<double> x, y;
    QColor colour = Qt::black;
    Qt::PenStyle style = Qt::SolidLine;     // in colour
    Qt::PenStyle monoStyle = Qt::SolidLine; // in monochrome, where the colour is black
    QVector<qreal> monoDash;                // in monochrome, a dash pattern in its place (in line widths)
    double widthPt = 0.8;
};

// A picture under the axes (the 2D pattern, the defocus map), stretched over its ranges, and the
// colour bar that reads its grey levels.
struct FigurePicture {
    QImage image;
    // The values on the axes at the image's edges (its left and right columns, top and bottom rows).
    double left = 0, right = 1, top = 1, bottom = 0;
    bool square = false; // one unit the same length on both axes
    QString barTitle;    // empty: no colour bar
    double barMin = 0, barMax = 1;
    // The grey level of a value between barMin and barMax, at evenly spaced points from barMin to
    // barMax (at least two).
    QVector<QColor> barColours;
};

struct Figure {
    QString xTitle, yTitle;
    // A top axis of resolution 1/x with this title; empty: the top edge without ticks.
    QString topTitle;
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
    bool yInverted = false;
    QVector<FigureCurve> curves;
    std::optional<FigurePicture> picture;
};

// The figure of a 1D chart as it stands: its visible series with their names and colours, its
// ranges, the written-out titles. The instruments' names, when given, name the two CTFs of plotter
// mode in the legend.
Figure curveFigure(const ChartWidget &chart, const QString &yTitle = ctfTitle(), const QString &firstInstrument = {},
                   const QString &secondInstrument = {});

// A micrograph's profile as the window's chart draws it: the spectrum's average along the model's
// rings, the model's CTF^2 and envelope, their agreement and where they agree up to; plain values,
// bin b at k = b * frequencyStep (nm^-1).
struct ProfileValues {
    double frequencyStep = 0;
    std::vector<double> average, model, envelope, agreement; // NaN where none
    double scale = 0, offset = 0;                            // average ~ scale * model + offset where they agree
    double averageScale = 1, averageOffset = 0;              // the average drawn as (average - offset) / scale
    double agreedUpTo = 0;                                   // nm^-1, 0: nowhere
    double lowestFrequency = 0;                              // nm^-1: nothing is drawn below it
    double upTo = 0;                                         // nm^-1: nor above it
};
// The four curves and the marker on the model's scale (0 .. 1): the average put there by the fit of
// the model to it where they agree, or by its own 2nd to 98th percentile where they agree nowhere.
QVector<FigureCurve> profileCurves(const ProfileValues &profile);
// Its figure: the curves over 0 .. upTo, the value axis from -0.1 to 1.1.
Figure profileFigure(const ProfileValues &profile);

// The 2D pattern as a figure: kx and ky (nm^-1) on equal scales, ky upwards, and a colour bar of
// the grey levels' CTF.
Figure patternFigure(const PatternHalves &halves);
// The defocus map: frequency across, defocus (nm) upwards, and the same colour bar.
Figure defocusMapFigure(const DefocusMapGrid &grid, double upTo);

// The figure drawn into an image of style.rasterSize() (transparent or white), its dpi recorded.
QImage renderFigure(const Figure &figure, const FigureStyle &style);
// The file's bytes.
QByteArray figureBytes(const Figure &figure, const FigureStyle &style, FigureFormat format);
// Written whole or not at all; throws OrvalisError "Cannot create file <path>" with the reason.
void saveFigure(const Figure &figure, const FigureStyle &style, const QString &path, FigureFormat format);
// The format a file name asks for (.png, .tif/.tiff, .svg, .pdf), none for others.
std::optional<FigureFormat> figureFormatOf(const QString &path);

// A baseline TIFF (RGBA, 8 bits, uncompressed) with the image's dpi, which Qt does not write itself
// without its image-format plugins.
QByteArray tiffBytes(const QImage &image);

} // namespace orvalis
