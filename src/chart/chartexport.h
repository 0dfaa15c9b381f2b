#pragma once
// Files of what the charts and pictures show. Every file is written through QSaveFile: it appears
// complete or not at all, and a failure leaves an earlier file of that name as it was.
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <optional>

namespace orvalis {

class ChartWidget;

enum class ChartFileFormat { Bmp, Png, Svg, Pdf, Emf, Wmf };

// The whole chart at its size on screen (axes, labels, series, back image). With `panelColor` the
// chart's own background is that colour in the file only: the colour on screen is put back before
// this returns, also when writing fails.
// Throws OrvalisError "Cannot create file <path>" with the system's reason on a second line.
void saveChart(ChartWidget &chart, const QString &path, ChartFileFormat format,
               const std::optional<QColor> &panelColor = std::nullopt);

// The chart drawn into an image of its size, as saveChart draws it for bitmaps.
QImage renderChart(ChartWidget &chart);

// The chart as the bytes of a metafile (.emf or .wmf).
QByteArray chartMetafile(ChartWidget &chart, ChartFileFormat format);

// A picture in the given image format ("BMP", "PNG"); throws as saveChart.
void saveImage(const QImage &image, const QString &path, const char *format);

// Bytes as they stand; throws as saveChart.
void saveBytes(const QByteArray &bytes, const QString &path);

} // namespace orvalis
