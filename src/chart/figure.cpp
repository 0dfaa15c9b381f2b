#include "chart/figure.h"

#include "chart/chart1series.h"
#include "chart/chartexport.h"
#include "chart/chartwidget.h"
#include "chart/gridimage.h"
#include "chart/micrographseries.h"
#include "core/ctfgrey.h"
#include "core/orvaliserror.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPageSize>
#include <QPdfWriter>
#include <QPixmap>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QtEndian>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace orvalis {
namespace {

constexpr double kMinMm = 10, kMaxMm = 1000;
constexpr int kMinPx = 50, kMaxPx = 20000, kMinDpi = 50, kMaxDpi = 2400;
constexpr double kMinPt = 4, kMaxPt = 72;
constexpr double kMaxRasterPixels = 200e6;

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

// Device pixels a point takes at the style's resolution: everything drawn is sized in points, so a
// figure looks the same at any dpi, only finer.
struct Scale {
    double perPt;
    int px(double pt) const { return std::max(1, static_cast<int>(std::lround(pt * perPt))); }
    double f(double pt) const { return pt * perPt; }
};

QString tickText(double d)
{
    return QString::number(d, 'g', 3);
}

void styleAxis(QCPAxis *axis, const QFont &font, const Scale &s, bool grid)
{
    const QPen line(Qt::black, s.f(0.6), Qt::SolidLine, Qt::FlatCap);
    axis->setBasePen(line);
    axis->setTickPen(line);
    axis->setSubTickPen(QPen(Qt::black, s.f(0.5), Qt::SolidLine, Qt::FlatCap));
    axis->setTickLength(s.px(3), 0);
    axis->setSubTickLength(s.px(1.5), 0);
    axis->setTickLabelFont(font);
    axis->setLabelFont(font);
    axis->setTickLabelColor(Qt::black);
    axis->setLabelColor(Qt::black);
    axis->setTickLabelPadding(s.px(2));
    axis->setLabelPadding(s.px(2));
    axis->setPadding(s.px(1));
    axis->grid()->setVisible(grid);
    axis->grid()->setPen(QPen(QColor(0xB0, 0xB0, 0xB0), s.f(0.4), Qt::DotLine));
    axis->grid()->setZeroLinePen(Qt::NoPen);
    axis->grid()->setSubGridVisible(false);
}

// The resolutions marked on a top axis: round ones, as many as fit side by side, the finer ones first.
QSharedPointer<QCPAxisTickerText> resolutionTicker(double kMin, double kMax, double axisPx, const QFont &font,
                                                   const Scale &s)
{
    static const double nice[] = {0.05, 0.1, 0.12, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5, 0.6, 0.8, 1,
                                  1.5,  2,   3,    5,    10,  20,   50,  100, 200, 500, 1000};
    const QFontMetrics metrics(font);
    QVector<double> ks;
    QVector<QString> texts;
    QVector<double> placed; // pixel positions taken, with their half widths
    QVector<double> halves;
    for (double d : nice) {
        const double k = 1 / d;
        if (k <= kMin || k > kMax * (1 + 1e-9))
            continue;
        const double x = (k - kMin) / (kMax - kMin) * axisPx;
        const double half = metrics.horizontalAdvance(tickText(d)) / 2.0 + s.f(3);
        bool free = x - half >= -s.f(2) && x + half <= axisPx + s.f(6);
        for (int i = 0; i < placed.size() && free; ++i)
            free = std::fabs(placed[i] - x) >= half + halves[i];
        if (!free)
            continue;
        placed << x;
        halves << half;
        ks << k;
        texts << tickText(d);
    }
    auto ticker = QSharedPointer<QCPAxisTickerText>::create();
    ticker->setTicks(ks, texts);
    ticker->setSubTickCount(0);
    return ticker;
}

QCPLayoutInset::InsetPlacement placement()
{
    return QCPLayoutInset::ipBorderAligned;
}

// Lays the figure out on `plot`, whose viewport is the raster.
void build(QCustomPlot &plot, const Figure &figure, const FigureStyle &style)
{
    const QSize raster = style.rasterSize();
    const Scale s{style.dpi / 72.0};
    QFont font(style.fontFamily);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(style.fontPt * s.perPt))));
    font.setStyleStrategy(QFont::PreferAntialias);
    plot.setViewport(QRect(QPoint(0, 0), raster));
    plot.setBackground(style.transparent ? QBrush(Qt::NoBrush) : QBrush(Qt::white));
    plot.axisRect()->setBackground(Qt::NoBrush);
    plot.plotLayout()->setMargins(QMargins(s.px(2), s.px(2), s.px(4), s.px(2)));
    plot.plotLayout()->setRowSpacing(s.px(2));
    plot.plotLayout()->setColumnSpacing(s.px(3));

    QCPAxis *bottom = plot.xAxis, *left = plot.yAxis, *top = plot.xAxis2, *right = plot.yAxis2;
    for (QCPAxis *a : {bottom, left, top, right}) {
        styleAxis(a, font, s, style.grid && (a == bottom || a == left));
        a->setVisible(true);
    }
    bottom->setLabel(figure.xTitle);
    left->setLabel(figure.yTitle);
    bottom->setRange(figure.xMin, figure.xMax);
    top->setRange(figure.xMin, figure.xMax);
    left->setRange(figure.yMin, figure.yMax);
    right->setRange(figure.yMin, figure.yMax);
    left->setRangeReversed(figure.yInverted);
    right->setRangeReversed(figure.yInverted);
    bottom->ticker()->setTickCount(6);
    left->ticker()->setTickCount(5);
    right->setTickLabels(false);
    right->setTicks(false);
    if (figure.topTitle.isEmpty()) {
        top->setTickLabels(false);
        top->setTicks(false);
    } else {
        top->setLabel(figure.topTitle);
        top->setTicker(resolutionTicker(figure.xMin, figure.xMax, raster.width() * 0.8, font, s));
        top->setTickLabels(true);
        top->setTicks(true);
    }

    plot.legend->setFont(font);
    plot.legend->setTextColor(Qt::black);
    plot.legend->setIconSize(s.px(16), s.px(style.fontPt));
    plot.legend->setIconTextPadding(s.px(3));
    plot.legend->setColumnSpacing(s.px(8));
    plot.legend->setRowSpacing(0);
    plot.legend->setMargins(QMargins(s.px(3), s.px(2), s.px(3), s.px(2)));
    plot.legend->setBorderPen(QPen(Qt::black, s.f(0.5)));
    plot.legend->setBrush(style.transparent ? QBrush(Qt::NoBrush) : QBrush(Qt::white));

    for (const FigureCurve &c : figure.curves) {
        if (c.x.isEmpty())
            continue;
        QCPGraph *graph = plot.addGraph(bottom, left);
        QPen pen(style.monochrome ? QColor(Qt::black) : c.colour, s.f(c.widthPt),
                 style.monochrome ? c.monoStyle : c.style, Qt::FlatCap, Qt::RoundJoin);
        if (style.monochrome && !c.monoDash.isEmpty())
            pen.setDashPattern(c.monoDash);
        graph->setPen(pen);
        graph->setAntialiased(true);
        graph->setData(c.x, c.y, true);
        graph->setName(c.name);
        if (c.name.isEmpty())
            graph->removeFromLegend();
    }

    if (figure.picture) {
        const FigurePicture &p = *figure.picture;
        auto *item = new QCPItemPixmap(&plot);
        item->setPixmap(QPixmap::fromImage(p.image));
        item->setScaled(true, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        item->topLeft->setCoords(p.left, p.top);
        item->bottomRight->setCoords(p.right, p.bottom);
        item->setLayer(QStringLiteral("background"));
        item->setClipToAxisRect(true);
        if (!p.barTitle.isEmpty() && p.barColours.size() >= 2) {
            auto *bar = new QCPColorScale(&plot);
            plot.plotLayout()->addElement(0, 1, bar);
            plot.plotLayout()->setColumnStretchFactor(1, 0.01);
            bar->setType(QCPAxis::atRight);
            QCPColorGradient gradient;
            gradient.clearColorStops();
            for (int i = 0; i < p.barColours.size(); ++i)
                gradient.setColorStopAt(double(i) / (p.barColours.size() - 1), p.barColours[i]);
            gradient.setColorInterpolation(QCPColorGradient::ciRGB);
            bar->setGradient(gradient);
            bar->setDataRange(QCPRange(p.barMin, p.barMax));
            bar->setBarWidth(s.px(6));
            bar->setLabel(p.barTitle);
            styleAxis(bar->axis(), font, s, false);
            bar->axis()->ticker()->setTickCount(5);
            auto *edges = new QCPMarginGroup(&plot);
            plot.axisRect()->setMarginGroup(QCP::msTop | QCP::msBottom, edges);
            bar->setMarginGroup(QCP::msTop | QCP::msBottom, edges);
        }
    }

    const bool anyEntry = plot.legend->itemCount() > 0;
    if (style.legend == FigureLegend::None || !anyEntry) {
        plot.legend->setVisible(false);
    } else if (style.legend == FigureLegend::Outside) {
        // Above the plot, in rows that fill the width: beside it the legend would narrow the data.
        plot.axisRect()->insetLayout()->take(plot.legend);
        plot.axisRect()->insetLayout()->simplify();
        plot.plotLayout()->insertRow(0);
        plot.plotLayout()->addElement(0, 0, plot.legend);
        plot.plotLayout()->setRowStretchFactor(0, 0.001);
        plot.legend->setBorderPen(Qt::NoPen);
        plot.legend->setBrush(Qt::NoBrush);
        plot.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        int columns = 0;
        double width = 0;
        const double room = raster.width() * 0.95;
        for (int i = 0; i < plot.legend->itemCount(); ++i) {
            width += plot.legend->item(i)->minimumOuterSizeHint().width() + s.f(8);
            if (width > room && columns > 0)
                break;
            ++columns;
        }
        plot.legend->setWrap(columns >= plot.legend->itemCount() ? 0 : columns);
        plot.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
        plot.legend->setVisible(true);
    } else {
        Qt::Alignment align;
        switch (style.legend) {
        case FigureLegend::TopLeft: align = Qt::AlignTop | Qt::AlignLeft; break;
        case FigureLegend::TopRight: align = Qt::AlignTop | Qt::AlignRight; break;
        case FigureLegend::BottomLeft: align = Qt::AlignBottom | Qt::AlignLeft; break;
        default: align = Qt::AlignBottom | Qt::AlignRight; break;
        }
        plot.axisRect()->insetLayout()->setInsetPlacement(0, placement());
        plot.axisRect()->insetLayout()->setInsetAlignment(0, align);
        plot.axisRect()->insetLayout()->setMargins(QMargins(s.px(3), s.px(3), s.px(3), s.px(3)));
        plot.legend->setVisible(true);
    }

    plot.replot(QCustomPlot::rpImmediateRefresh);
    if (figure.picture && figure.picture->square) {
        // The plot shrinks along one side until one unit is as long on both axes; the margins taken
        // are shared on both sides, so the plot stays centred.
        const QRect r = plot.axisRect()->rect();
        const double xUnits = std::fabs(figure.xMax - figure.xMin), yUnits = std::fabs(figure.yMax - figure.yMin);
        if (r.width() > 0 && r.height() > 0 && xUnits > 0 && yUnits > 0) {
            const double perUnit = std::min(r.width() / xUnits, r.height() / yUnits);
            const int dx = r.width() - static_cast<int>(std::lround(perUnit * xUnits));
            const int dy = r.height() - static_cast<int>(std::lround(perUnit * yUnits));
            QMargins m = plot.plotLayout()->margins();
            m += QMargins(dx / 2, dy / 2, dx - dx / 2, dy - dy / 2);
            plot.plotLayout()->setMargins(m);
            plot.replot(QCustomPlot::rpImmediateRefresh);
        }
    }
}

void draw(const Figure &figure, const FigureStyle &style, QPaintDevice &device, bool vector)
{
    QCustomPlot plot;
    build(plot, figure, style);
    QCPPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (vector)
        painter.setMode(QCPPainter::pmVectorized);
    const QSize raster = style.rasterSize();
    plot.toPainter(&painter, raster.width(), raster.height());
    painter.end();
}

QByteArray intoBuffer(const std::function<void(QIODevice &)> &write)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    write(buffer);
    return buffer.data();
}

QString plainSeriesName(QString title)
{
    // The table's column titles capitalise every word; a figure's legend writes a phrase.
    const int space = title.indexOf(QLatin1Char(' '));
    if (space > 0)
        title = title.left(space + 1) + title.mid(space + 1).toLower();
    return title;
}

} // namespace

QString frequencyTitle()
{
    return QStringLiteral("Spatial frequency (nm\u207B\u00B9)");
}

QString resolutionTitle()
{
    return QStringLiteral("Resolution (nm)");
}

QString ctfTitle()
{
    return QStringLiteral("CTF");
}

QSize FigureStyle::rasterSize() const
{
    if (widthPx > 0 && heightPx > 0)
        return QSize(widthPx, heightPx);
    return QSize(static_cast<int>(std::lround(widthMm / 25.4 * dpi)),
                 static_cast<int>(std::lround(heightMm / 25.4 * dpi)));
}

QSizeF FigureStyle::sizeMm() const
{
    if (widthPx > 0 && heightPx > 0)
        return QSizeF(widthPx * 25.4 / dpi, heightPx * 25.4 / dpi);
    return QSizeF(widthMm, heightMm);
}

QString figureStyleProblem(const FigureStyle &style)
{
    if (!(style.dpi >= kMinDpi && style.dpi <= kMaxDpi))
        return QStringLiteral("--dpi: give a whole number from %1 to %2").arg(kMinDpi).arg(kMaxDpi);
    if (style.widthPx > 0 || style.heightPx > 0) {
        if (style.widthPx < kMinPx || style.widthPx > kMaxPx || style.heightPx < kMinPx || style.heightPx > kMaxPx)
            return QStringLiteral("--size: each side from %1 to %2 pixels").arg(kMinPx).arg(kMaxPx);
    } else if (!(style.widthMm >= kMinMm && style.widthMm <= kMaxMm && style.heightMm >= kMinMm
                 && style.heightMm <= kMaxMm)) {
        return QStringLiteral("--size-mm: each side from %1 to %2 mm").arg(number(kMinMm), number(kMaxMm));
    }
    const QSize raster = style.rasterSize();
    if (raster.width() < kMinPx || raster.height() < kMinPx)
        return QStringLiteral("--dpi: %1 dpi leaves fewer than %2 pixels a side; give more dots per inch")
            .arg(style.dpi)
            .arg(kMinPx);
    if (double(raster.width()) * raster.height() > kMaxRasterPixels || raster.width() > kMaxPx
        || raster.height() > kMaxPx)
        return QStringLiteral("--dpi: %1 x %2 mm at %3 dpi is more than %4 pixels a side or 200 million in all")
            .arg(number(style.sizeMm().width()), number(style.sizeMm().height()))
            .arg(style.dpi)
            .arg(kMaxPx);
    if (!(style.fontPt >= kMinPt && style.fontPt <= kMaxPt))
        return QStringLiteral("--font-size: give points from %1 to %2").arg(number(kMinPt), number(kMaxPt));
    if (style.fontFamily.trimmed().isEmpty())
        return QStringLiteral("--font: give a font family, as \"DejaVu Sans\"");
    return {};
}

// A micrograph's curve as the chart names and draws it.
FigureCurve micrographFigureCurve(MicrographCurve which)
{
    const MicrographCurveLook &look = micrographCurveLook(which);
    FigureCurve c;
    c.name = QString::fromUtf8(look.name);
    c.colour = QColor::fromRgba(look.colour);
    c.style = look.style;
    c.monoDash = look.monochromeDash;
    c.widthPt = which == MicrographCurve::Average ? 0.6 : 0.8;
    return c;
}

Figure curveFigure(const ChartWidget &chart, const QString &yTitle, const QString &firstInstrument,
                   const QString &secondInstrument)
{
    Figure f;
    f.xTitle = frequencyTitle();
    f.topTitle = resolutionTitle();
    f.yTitle = yTitle;
    f.xMin = chart.axisMinimum(ChartWidget::Axis::Bottom);
    f.xMax = chart.axisMaximum(ChartWidget::Axis::Bottom);
    f.yMin = chart.axisMinimum(ChartWidget::Axis::Left);
    f.yMax = chart.axisMaximum(ChartWidget::Axis::Left);
    const bool plotter = !firstInstrument.isEmpty() || !secondInstrument.isEmpty();
    const Qt::PenStyle otherStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};
    int others = 0;
    for (int i = 0; i < chart.seriesCount(); ++i) {
        const QCPGraph *graph = chart.series(i);
        if (!graph || !graph->visible() || chart.pointCount(i) == 0)
            continue;
        FigureCurve c;
        c.colour = graph->pen().color();
        c.style = graph->pen().style() == Qt::NoPen ? Qt::SolidLine : graph->pen().style();
        for (int p = 0; p < chart.pointCount(i); ++p) {
            c.x << chart.xValue(i, p);
            c.y << chart.yValue(i, p);
        }
        const QString name = graph->objectName();
        const auto look = std::find_if(
            std::begin(micrographCurves), std::end(micrographCurves),
            [&name](const MicrographCurveLook &l) { return name == QLatin1String(l.objectName); });
        if (i < static_cast<int>(std::size(chart1Series)) && name == QLatin1String(chart1Series[i].name)) {
            const auto s = static_cast<Chart1Series>(i);
            c.monoStyle = curvePen(s, plotter, true).style();
            switch (s) {
            case S1Ctf: c.name = plotter ? QStringLiteral("CTF 1: ") + firstInstrument : ctfTitle(); break;
            case S8Ctf2:
                c.name = plotter ? QStringLiteral("CTF 2: ") + secondInstrument : plainSeriesName(chart.seriesTitle(i));
                break;
            case S4Combined:
                c.name = plotter ? QStringLiteral("Envelope 1") : plainSeriesName(chart.seriesTitle(i));
                break;
            case S7CombinedNeg: c.name = plotter ? QStringLiteral("Envelope 2") : QString(); break;
            case S2Temporal:
            case S3Spatial: c.name = plainSeriesName(chart.seriesTitle(i)); break;
            default: break; // the mirrored envelopes share their partners' entries
            }
        } else if (look != std::end(micrographCurves)) {
            const FigureCurve drawn = c;
            c = micrographFigureCurve(look->curve);
            c.colour = drawn.colour;
            c.style = drawn.style;
            if (!chart.seriesTitle(i).isEmpty())
                c.name = chart.seriesTitle(i);
        } else {
            c.monoStyle = otherStyles[others++ % std::size(otherStyles)];
            c.name = chart.seriesTitle(i);
        }
        c.name.replace(QStringLiteral("^2"), QStringLiteral("\u00B2"));
        f.curves << c;
    }
    return f;
}

QVector<FigureCurve> profileCurves(const ProfileValues &p)
{
    const int bins = static_cast<int>(p.average.size());
    const auto at = [](const std::vector<double> &v, int b) {
        return b < static_cast<int>(v.size()) ? v[std::size_t(b)] : std::numeric_limits<double>::quiet_NaN();
    };
    const double scale = p.averageScale, offset = p.averageOffset;
    const double modelScale = p.scale != 0 ? p.scale : 1.0;
    QVector<FigureCurve> curves(4);
    for (int i = 0; i < 4; ++i)
        curves[i] = micrographFigureCurve(static_cast<MicrographCurve>(i));
    for (int b = 0; b < bins; ++b) {
        const double k = b * p.frequencyStep;
        const double y = p.average[std::size_t(b)];
        if (k > p.upTo)
            break;
        if (!std::isfinite(y) || k < p.lowestFrequency)
            continue;
        const double a = at(p.agreement, b);
        const double values[] = {(y - offset) / scale, (at(p.model, b) - p.offset) / modelScale,
                                 (at(p.envelope, b) - p.offset) / modelScale, std::isfinite(a) ? a : 0.0};
        for (int i = 0; i < 4; ++i) {
            curves[i].x << k;
            curves[i].y << values[i];
        }
    }
    if (p.agreedUpTo > 0) {
        FigureCurve marker = micrographFigureCurve(MicrographCurve::HeldTo);
        marker.name = QStringLiteral("%1 (%2 nm)").arg(marker.name).arg(1 / p.agreedUpTo, 0, 'f', 2);
        marker.x = {p.agreedUpTo, p.agreedUpTo};
        marker.y = {-10.0, 10.0};
        curves << marker;
    }
    return curves;
}

Figure profileFigure(const ProfileValues &profile)
{
    Figure f;
    f.xTitle = frequencyTitle();
    f.topTitle = resolutionTitle();
    f.yTitle = QStringLiteral("CTF\u00B2, agreement");
    f.xMin = 0;
    f.xMax = profile.upTo;
    f.yMin = -0.3;
    f.yMax = 1.1;
    f.curves = profileCurves(profile);
    return f;
}

namespace {

FigurePicture greyPicture(const QImage &image)
{
    FigurePicture p;
    p.image = image;
    p.barTitle = ctfTitle();
    p.barMin = -1;
    p.barMax = 1;
    for (int i = 0; i <= 40; ++i) {
        const int g = CtfGrey(-1 + i / 20.0);
        p.barColours << QColor(g, g, g);
    }
    return p;
}

} // namespace

Figure patternFigure(const PatternHalves &halves)
{
    Figure f;
    const int n = halves.centre;
    const double step = n > 1 ? halves.range / (n - 1) : 1.0;
    f.xTitle = QStringLiteral("kx (nm\u207B\u00B9)");
    f.yTitle = QStringLiteral("ky (nm\u207B\u00B9)");
    f.xMin = f.yMin = -halves.range;
    f.xMax = f.yMax = halves.range;
    FigurePicture p = greyPicture(patternImage(halves));
    // Pixel (N, N) is k = 0; rows run downwards in ky, which the figure turns upwards.
    p.left = -(n + 0.5) * step;
    p.right = (n - 0.5) * step;
    p.top = (n + 0.5) * step;
    p.bottom = -(n - 0.5) * step;
    p.square = true;
    f.picture = p;
    return f;
}

Figure defocusMapFigure(const DefocusMapGrid &grid, double upTo)
{
    Figure f;
    f.xTitle = frequencyTitle();
    f.topTitle = resolutionTitle();
    f.yTitle = QStringLiteral("Defocus (nm)");
    const int w = std::max(1, grid.width);
    const double column = upTo / w;
    const double row = w > 1 ? double(grid.maximum - grid.minimum) / (w - 1) : 1.0;
    f.xMin = 0;
    f.xMax = upTo;
    f.yMin = -grid.maximum;
    f.yMax = -grid.minimum;
    FigurePicture p = greyPicture(defocusMapImage(grid));
    p.left = -column / 2;
    p.right = upTo - column / 2;
    p.top = -grid.minimum + row / 2;
    p.bottom = -grid.maximum - row / 2;
    f.picture = p;
    return f;
}

QImage renderFigure(const Figure &figure, const FigureStyle &style)
{
    QImage image(style.rasterSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(style.transparent ? QColor(Qt::transparent) : QColor(Qt::white));
    const int dotsPerMetre = static_cast<int>(std::lround(style.dpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
    draw(figure, style, image, false);
    return image;
}

QByteArray figureBytes(const Figure &figure, const FigureStyle &style, FigureFormat format)
{
    const QSize raster = style.rasterSize();
    switch (format) {
    case FigureFormat::Png: {
        const QImage image = renderFigure(figure, style);
        return intoBuffer([&image](QIODevice &out) { image.save(&out, "PNG"); });
    }
    case FigureFormat::Tiff: return tiffBytes(renderFigure(figure, style));
    case FigureFormat::Svg: {
        const QByteArray bytes = intoBuffer([&](QIODevice &out) {
            QSvgGenerator svg;
            svg.setOutputDevice(&out);
            // The size in millimetres comes from the pixels and the resolution.
            svg.setSize(raster);
            svg.setViewBox(QRect(QPoint(0, 0), raster));
            svg.setResolution(style.dpi);
            svg.setTitle(figure.yTitle);
            svg.setDescription(QStringLiteral("Drawn by Orvalis"));
            draw(figure, style, svg, true);
        });
        // The size asked for, not that of the whole pixels nearest to it.
        const QString size = QStringLiteral("<svg width=\"%1mm\" height=\"%2mm\"")
                                 .arg(number(style.sizeMm().width()), number(style.sizeMm().height()));
        return QString::fromUtf8(bytes)
            .replace(QRegularExpression(QStringLiteral("<svg width=\"[^\"]*\" height=\"[^\"]*\"")), size)
            .toUtf8();
    }
    case FigureFormat::Pdf:
        return intoBuffer([&](QIODevice &out) {
            QPdfWriter pdf(&out);
            pdf.setCreator(QStringLiteral("Orvalis"));
            pdf.setResolution(style.dpi);
            pdf.setPageSize(QPageSize(style.sizeMm(), QPageSize::Millimeter));
            pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
            draw(figure, style, pdf, true);
        });
    }
    return {};
}

void saveFigure(const Figure &figure, const FigureStyle &style, const QString &path, FigureFormat format)
{
    const QByteArray bytes = figureBytes(figure, style, format);
    if (bytes.isEmpty())
        throw OrvalisError(
            QStringLiteral("Cannot create file %1\r\nThe figure could not be drawn into this kind of file.")
                .arg(QDir::toNativeSeparators(path)));
    saveBytes(bytes, path);
}

std::optional<FigureFormat> figureFormatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return FigureFormat::Png;
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return FigureFormat::Tiff;
    if (suffix == QLatin1String("svg"))
        return FigureFormat::Svg;
    if (suffix == QLatin1String("pdf"))
        return FigureFormat::Pdf;
    return std::nullopt;
}

QByteArray tiffBytes(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGBA8888);
    const quint32 w = static_cast<quint32>(image.width()), h = static_cast<quint32>(image.height());
    const double dpi = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 : 96.0;
    constexpr int entries = 14;
    constexpr quint32 ifd = 8, bits = ifd + 2 + entries * 12 + 4, xres = bits + 8, yres = xres + 8, data = yres + 8;
    QByteArray out;
    out.reserve(static_cast<int>(data + w * h * 4));
    const auto u16 = [&out](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    const auto u32 = [&out](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    // type 3 SHORT, 4 LONG, 5 RATIONAL
    const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3 && count == 1) {
            u16(static_cast<quint16>(value));
            u16(0);
        } else {
            u32(value);
        }
    };
    out.append("II", 2);
    u16(42);
    u32(ifd);
    u16(entries);
    entry(256, 4, 1, w);
    entry(257, 4, 1, h);
    entry(258, 3, 4, bits);
    entry(259, 3, 1, 1); // no compression
    entry(262, 3, 1, 2); // RGB
    entry(273, 4, 1, data);
    entry(277, 3, 1, 4);
    entry(278, 4, 1, h);
    entry(279, 4, 1, w * h * 4);
    entry(282, 5, 1, xres);
    entry(283, 5, 1, yres);
    entry(284, 3, 1, 1); // chunky
    entry(296, 3, 1, 2); // inches
    entry(338, 3, 1, 2); // the fourth sample is alpha, not premultiplied
    u32(0);
    for (int i = 0; i < 4; ++i)
        u16(8);
    const quint32 denominator = 100;
    for (int i = 0; i < 2; ++i) {
        u32(static_cast<quint32>(std::lround(dpi * denominator)));
        u32(denominator);
    }
    for (int y = 0; y < image.height(); ++y)
        out.append(reinterpret_cast<const char *>(image.constScanLine(y)), static_cast<int>(w * 4));
    return out;
}

} // namespace orvalis
