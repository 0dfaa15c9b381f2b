#include "cli/pictures/figureoptions.h"

#include "cli/ctfcli.h"

#include <QFileInfo>

#include <cmath>

namespace orvalis::cli {
namespace {

const char *const figureOnly[] = {"size-mm", "dpi", "font-size", "font", "legend", "background", "grid"};

// "W x H" with any spaces, "x" or "X" between the two numbers.
std::optional<QSizeF> twoNumbers(const QString &text)
{
    const QStringList parts = text.toLower().remove(QLatin1Char(' ')).split(QLatin1Char('x'));
    if (parts.size() != 2)
        return std::nullopt;
    bool okW = false, okH = false;
    const double w = parts[0].toDouble(&okW), h = parts[1].toDouble(&okH);
    if (!okW || !okH || !std::isfinite(w) || !std::isfinite(h))
        return std::nullopt;
    return QSizeF(w, h);
}

} // namespace

void addFigureOptions(QCommandLineParser &parser)
{
    const auto add = [&parser](const char *name, const char *value, const QString &text) {
        QCommandLineOption o(QString::fromLatin1(name), text);
        if (value)
            o.setValueName(QString::fromLatin1(value));
        parser.addOption(o);
    };
    add("figure", nullptr,
        QStringLiteral("a figure for a paper instead of the window's picture: axes with their titles written out, "
                       "the size in mm (or --size in pixels) at --dpi, white or transparent, .png, .tif, .svg or "
                       ".pdf (vector files keep their text as text)"));
    add("size-mm", "WxH",
        QStringLiteral("with --figure: the figure's size in mm, each side 10 to 1000 (default "
                       "85x60 for the chart, 100x85 for the pattern and the map)"));
    add("dpi", "N",
        QStringLiteral("with --figure: dots per inch, 50 to 2400 (default 300); written into PNG and "
                       "TIFF files, and what turns --size pixels into the size of an SVG or PDF"));
    add("font-size", "PT", QStringLiteral("with --figure: the text's size in points, 4 to 72 (default 8)"));
    add("font", "FAMILY", QStringLiteral("with --figure: the text's font family (default \"DejaVu Sans\")"));
    add("legend", "PLACE",
        QStringLiteral("with --figure: outside (above the data, the default), top-left, top-right, bottom-left, "
                       "bottom-right or none"));
    add("background", "white|transparent", QStringLiteral("with --figure: the figure's background (default white)"));
    add("grid", nullptr, QStringLiteral("with --figure: grid lines at the ticks"));
}

std::optional<FigureStyle> figureStyleOf(const QCommandLineParser &parser, QSizeF defaultMm)
{
    if (!parser.isSet(QStringLiteral("figure"))) {
        for (const char *name : figureOnly)
            if (parser.isSet(QString::fromLatin1(name)))
                usageFailure(QStringLiteral("--%1: only with --figure").arg(QString::fromLatin1(name)));
        return std::nullopt;
    }
    FigureStyle style;
    style.widthMm = defaultMm.width();
    style.heightMm = defaultMm.height();
    const bool pixels = parser.isSet(QStringLiteral("size"));
    if (pixels && parser.isSet(QStringLiteral("size-mm")))
        usageFailure(QStringLiteral("--size and --size-mm: give the size one way, in pixels or in mm"));
    if (parser.isSet(QStringLiteral("size-mm"))) {
        const std::optional<QSizeF> mm = twoNumbers(parser.value(QStringLiteral("size-mm")));
        if (!mm)
            usageFailure(QStringLiteral("%1: give width x height in mm, as 85x60")
                             .arg(optionAndValue(parser, QStringLiteral("size-mm"))));
        style.widthMm = mm->width();
        style.heightMm = mm->height();
    }
    if (pixels) {
        const std::optional<QSizeF> px = twoNumbers(parser.value(QStringLiteral("size")));
        if (!px || px->width() != std::floor(px->width()) || px->height() != std::floor(px->height()))
            usageFailure(QStringLiteral("%1: give width x height in pixels, as 1000x700")
                             .arg(optionAndValue(parser, QStringLiteral("size"))));
        style.widthPx = static_cast<int>(std::clamp(px->width(), -1.0, 1e6));
        style.heightPx = static_cast<int>(std::clamp(px->height(), -1.0, 1e6));
        if (style.widthPx <= 0 || style.heightPx <= 0)
            usageFailure(QStringLiteral("%1: each side from 50 to 20000 pixels")
                             .arg(optionAndValue(parser, QStringLiteral("size"))));
    }
    if (parser.isSet(QStringLiteral("dpi"))) {
        bool ok = false;
        const int dpi = parser.value(QStringLiteral("dpi")).trimmed().toInt(&ok);
        if (!ok)
            usageFailure(QStringLiteral("%1: give a whole number of dots per inch, as 300")
                             .arg(optionAndValue(parser, QStringLiteral("dpi"))));
        style.dpi = dpi;
    }
    if (parser.isSet(QStringLiteral("font-size"))) {
        bool ok = false;
        style.fontPt = parser.value(QStringLiteral("font-size")).trimmed().toDouble(&ok);
        if (!ok)
            usageFailure(QStringLiteral("%1: give the size in points, as 8")
                             .arg(optionAndValue(parser, QStringLiteral("font-size"))));
    }
    if (parser.isSet(QStringLiteral("font")))
        style.fontFamily = parser.value(QStringLiteral("font"));
    if (parser.isSet(QStringLiteral("legend"))) {
        static const QPair<const char *, FigureLegend> places[] = {
            {"outside", FigureLegend::Outside},          {"top-left", FigureLegend::TopLeft},
            {"top-right", FigureLegend::TopRight},       {"bottom-left", FigureLegend::BottomLeft},
            {"bottom-right", FigureLegend::BottomRight}, {"none", FigureLegend::None}};
        const QString value = parser.value(QStringLiteral("legend"));
        bool found = false;
        for (const auto &[name, place] : places)
            if (value == QLatin1String(name)) {
                style.legend = place;
                found = true;
            }
        if (!found)
            usageFailure(QStringLiteral("%1: give outside, top-left, top-right, bottom-left, bottom-right or none")
                             .arg(optionAndValue(parser, QStringLiteral("legend"))));
    }
    if (parser.isSet(QStringLiteral("background"))) {
        const QString value = parser.value(QStringLiteral("background"));
        if (value != QLatin1String("white") && value != QLatin1String("transparent"))
            usageFailure(QStringLiteral("%1: give white or transparent")
                             .arg(optionAndValue(parser, QStringLiteral("background"))));
        style.transparent = value == QLatin1String("transparent");
    }
    style.grid = parser.isSet(QStringLiteral("grid"));
    style.monochrome = parser.optionNames().contains(QStringLiteral("monochrome"));
    QString problem = figureStyleProblem(style);
    if (!problem.isEmpty()) {
        // The option as the user gave it, with its value.
        const int colon = problem.indexOf(QStringLiteral(": "));
        const QString option = problem.left(colon).mid(2);
        if (parser.isSet(option))
            problem = optionAndValue(parser, option) + problem.mid(colon);
        usageFailure(problem);
    }
    return style;
}

QString figureOutPath(const QCommandLineParser &parser)
{
    const QString extensions = QStringLiteral(".png, .tif, .tiff, .svg, .pdf");
    if (!parser.isSet(QStringLiteral("out")))
        usageFailure(QStringLiteral("--out: give the file to write (%1)").arg(extensions));
    const QString path = parser.value(QStringLiteral("out"));
    if (!figureFormatOf(path))
        usageFailure(QStringLiteral("--out \"%1\": a figure's name must end in %2").arg(path, extensions));
    return path;
}

} // namespace orvalis::cli
