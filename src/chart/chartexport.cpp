#include "chartexport.h"

#include "chart/chartwidget.h"
#include "chart/metafiledevice.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"

#include <QBuffer>
#include <QDir>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <functional>

namespace orvalis {
namespace {

[[noreturn]] void cannotCreate(const QString &path, const QString &reason)
{
    throw OrvalisError(QStringLiteral("Cannot create file %1\r\n%2").arg(QDir::toNativeSeparators(path), reason));
}

// The whole file is made in memory first: a writer that streams into the file (SVG, PDF, image
// encoders) does not notice a write that the disk took only in part, and would leave a cut-off file.
QByteArray toBytes(const std::function<bool(QIODevice &)> &write)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    return write(buffer) ? buffer.data() : QByteArray();
}

// The chart's panel colour while a file is drawn; the screen's colour comes back on every way out.
class PanelColorGuard {
public:
    PanelColorGuard(ChartWidget &chart, const std::optional<QColor> &color)
        : m_chart(chart), m_saved(chart.panelColor())
    {
        if (color)
            m_chart.setPanelColor(*color);
        m_active = color.has_value();
    }
    ~PanelColorGuard()
    {
        if (m_active)
            m_chart.setPanelColor(m_saved);
    }
    PanelColorGuard(const PanelColorGuard &) = delete;
    PanelColorGuard &operator=(const PanelColorGuard &) = delete;

private:
    ChartWidget &m_chart;
    QColor m_saved;
    bool m_active = false;
};

// Draws the whole chart onto a painter's device of the chart's size.
void drawChart(ChartWidget &chart, QPaintDevice &device, bool vector)
{
    chart.layOut();
    QCPPainter painter(&device);
    if (vector)
        painter.setMode(QCPPainter::pmVectorized);
    chart.toPainter(&painter, chart.width(), chart.height());
    painter.end();
}

} // namespace

QImage renderChart(ChartWidget &chart)
{
    QImage image(chart.size(), QImage::Format_RGB32);
    image.fill(chart.panelColor());
    drawChart(chart, image, false);
    return image;
}

QByteArray chartMetafile(ChartWidget &chart, ChartFileFormat format)
{
    MetafileDevice device(format == ChartFileFormat::Wmf ? MetafileDevice::Format::Wmf : MetafileDevice::Format::Emf,
                          chart.size());
    drawChart(chart, device, true);
    return device.data();
}

void saveChart(ChartWidget &chart, const QString &path, ChartFileFormat format, const std::optional<QColor> &panelColor)
{
    const PanelColorGuard guard(chart, panelColor);
    QByteArray bytes;
    switch (format) {
    case ChartFileFormat::Bmp: saveImage(renderChart(chart), path, "BMP"); return;
    case ChartFileFormat::Png: saveImage(renderChart(chart), path, "PNG"); return;
    case ChartFileFormat::Emf:
    case ChartFileFormat::Wmf: bytes = chartMetafile(chart, format); break;
    case ChartFileFormat::Svg:
        bytes = toBytes([&chart](QIODevice &out) {
            QSvgGenerator svg;
            svg.setOutputDevice(&out);
            svg.setSize(chart.size());
            svg.setViewBox(QRect(QPoint(0, 0), chart.size()));
            svg.setResolution(96);
            drawChart(chart, svg, true);
            return true;
        });
        break;
    case ChartFileFormat::Pdf:
        bytes = toBytes([&chart](QIODevice &out) {
            QPdfWriter pdf(&out);
            pdf.setResolution(96);
            pdf.setPageSize(QPageSize(QSizeF(chart.size()) * 72.0 / 96.0, QPageSize::Point));
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            drawChart(chart, pdf, true);
            return true;
        });
        break;
    }
    if (bytes.isEmpty())
        cannotCreate(path, QStringLiteral("The chart could not be drawn into this kind of file."));
    saveBytes(bytes, path);
}

void saveImage(const QImage &image, const QString &path, const char *format)
{
    const QByteArray bytes = toBytes([&image, format](QIODevice &out) { return image.save(&out, format); });
    if (bytes.isEmpty())
        cannotCreate(path, QStringLiteral("The picture could not be encoded."));
    saveBytes(bytes, path);
}

void saveBytes(const QByteArray &bytes, const QString &path)
{
    saveWholeFile(path, bytes);
}

} // namespace orvalis
