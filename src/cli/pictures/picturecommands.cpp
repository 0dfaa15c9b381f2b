#include "cli/pictures/picturecommands.h"

#include "chart/chartexport.h"
#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "chart/figure.h"
#include "chart/gridimage.h"
#include "cli/ctfcli.h"
#include "cli/pictures/figureoptions.h"
#include "core/ctfgrey.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/orvaliserror.h"

#include <QFileInfo>

namespace orvalis::cli {
namespace {

// The extension with its dot, compared as the window's save dialog compares it: exactly.
QString extensionOf(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString outPath(const QCommandLineParser &parser, const QStringList &extensions)
{
    if (!parser.isSet(QStringLiteral("out")))
        usageFailure(QStringLiteral("--out: give the file to write (%1)").arg(extensions.join(QStringLiteral(", "))));
    const QString path = parser.value(QStringLiteral("out"));
    if (!extensions.contains(extensionOf(path)))
        usageFailure(
            QStringLiteral("--out \"%1\": the name must end in %2").arg(path, extensions.join(QStringLiteral(", "))));
    return path;
}

void addPictureOptions(QCommandLineParser &parser, const QString &sizeText)
{
    addStateOptions(parser);
    QCommandLineOption out(QStringLiteral("out"),
                           QStringLiteral("the file to write; its extension chooses the format"));
    out.setValueName(QStringLiteral("FILE"));
    QCommandLineOption size(QStringLiteral("size"), sizeText);
    size.setValueName(QStringLiteral("SIZE"));
    parser.addOption(out);
    parser.addOption(size);
    addFigureOptions(parser);
}

// Saving fails only for the file: the system's reason comes on the same line.
template <class Save> void save(Save &&write)
{
    try {
        write();
    } catch (const OrvalisError &e) {
        QString text = e.text();
        text.replace(QStringLiteral("\r\n"), QStringLiteral(": "));
        ioFailure(text);
    }
}

int runPattern(const QStringList &arguments)
{
    QCommandLineParser parser;
    addPictureOptions(parser,
                      QStringLiteral("width W of the W x W picture, an even number of pixels from 4 to 256 "
                                     "(default 208, the window's; 256 on a 120 dpi screen)"));
    parseCommand(parser, QStringLiteral("pattern"),
                 QStringLiteral("Saves the 2D pattern of the state as Save 2D does: a grey-level picture of the CTF "
                                "over the frequency plane, up to --upto along both axes."),
                 arguments);
    if (const std::optional<FigureStyle> style = figureStyleOf(parser, QSize(100, 85))) {
        const QString path = figureOutPath(parser);
        CtfSession session;
        loadState(parser, session);
        const Figure figure = patternFigure(session.computePattern(session.state().Defocus, kMaxPatternCentre));
        save([&] { saveFigure(figure, *style, path, *figureFormatOf(path)); });
        return ExitOk;
    }
    const QString path = outPath(parser, {QStringLiteral(".bmp"), QStringLiteral(".png")});
    int width = 208;
    if (parser.isSet(QStringLiteral("size"))) {
        width = sizeOption(parser, QStringLiteral("size"), 4, 2 * kMaxPatternCentre, true).width();
        if (width % 2 != 0)
            usageFailure(
                QStringLiteral("--size \"%1\": the width must be even").arg(parser.value(QStringLiteral("size"))));
    }
    CtfSession session;
    loadState(parser, session);
    const QImage image = patternImage(session.computePattern(session.state().Defocus, width / 2));
    save([&] { saveImage(image, path, extensionOf(path) == QLatin1String(".png") ? "PNG" : "BMP"); });
    return ExitOk;
}

int runMap(const QStringList &arguments)
{
    QCommandLineParser parser;
    addPictureOptions(parser,
                      QStringLiteral("width W of the W x W map, pixels from 1 to 4096 (default 416, the "
                                     "window's; 512 on a 120 dpi screen)"));
    parseCommand(parser, QStringLiteral("map"),
                 QStringLiteral("Saves the defocus map of the state as Save Defocus Map does: the CTF over frequency "
                                "(columns) and the defocus range -200 .. 50 nm (rows), as a picture, or as numbers "
                                "(.txt: the frequencies in the header, the defocus first on each line)."),
                 arguments);
    if (const std::optional<FigureStyle> style = figureStyleOf(parser, QSize(100, 85))) {
        const QString path = figureOutPath(parser);
        CtfSession session;
        loadState(parser, session);
        const Figure figure = defocusMapFigure(session.computeMap(512), session.upTo());
        save([&] { saveFigure(figure, *style, path, *figureFormatOf(path)); });
        return ExitOk;
    }
    const QString path = outPath(parser, {QStringLiteral(".bmp"), QStringLiteral(".png"), QStringLiteral(".txt")});
    const int width = parser.isSet(QStringLiteral("size"))
        ? sizeOption(parser, QStringLiteral("size"), 1, kMaxDefocusMapWidth, true).width()
        : 416;
    CtfSession session;
    loadState(parser, session);
    const DefocusMapGrid &grid = session.computeMap(width);
    const QString ext = extensionOf(path);
    if (ext == QLatin1String(".txt")) {
        save([&] { saveBytes(session.mapTableText(), path); });
        return ExitOk;
    }
    const QImage image = defocusMapImage(grid);
    save([&] { saveImage(image, path, ext == QLatin1String(".png") ? "PNG" : "BMP"); });
    return ExitOk;
}

int runChart(const QStringList &arguments)
{
    QCommandLineParser parser;
    addPictureOptions(parser,
                      QStringLiteral("WxH, the chart's size in pixels, each from 220 to 10000 (default "
                                     "800x500); with --figure each from 50 to 20000, at --dpi"));
    parser.addOption(QCommandLineOption(QStringLiteral("monochrome"),
                                        QStringLiteral("black curves told apart by their dash patterns, on a white "
                                                       "plot, as \"Monochrome 1D CTF\" draws them")));
    parseCommand(parser, QStringLiteral("chart"),
                 QStringLiteral("Saves the 1D chart of the state as Save 1D does: the curves with their axes, on a "
                                "white panel."),
                 arguments);
    const std::optional<FigureStyle> style = figureStyleOf(parser, QSize(85, 60));
    const QString path = style ? figureOutPath(parser)
                               : outPath(parser,
                                         {QStringLiteral(".png"), QStringLiteral(".svg"), QStringLiteral(".pdf"),
                                          QStringLiteral(".emf"), QStringLiteral(".wmf"), QStringLiteral(".bmp")});
    const QSize size = parser.isSet(QStringLiteral("size")) && !style
        ? sizeOption(parser, QStringLiteral("size"), 220, 10000, false)
        : QSize(800, 500);
    CtfSession session;
    loadState(parser, session);
    session.setMonochrome(parser.isSet(QStringLiteral("monochrome")));

    ChartWidget chart;
    setUpCurveChart(chart);
    // The window's map chart, never drawn here, shares the frequency ticks as in the window.
    ChartWidget map;
    setUpDefocusMapChart(map, chart);
    chart.resize(size);
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        chart.setAxisRange(across, 0, session.upTo());
    const ViewChoices view = session.viewChoices();
    const bool envelope[] = {true,          view.temporal, view.spatial,  view.combined,
                             view.temporal, view.spatial,  view.combined, true};
    for (int s = 0; s < CurveSeriesCount; ++s) {
        chart.setPoints(s, session.seriesX(s), session.seriesY(s));
        const bool plotterEnvelope = s == CurveCombined || s == CurveCombinedNeg;
        chart.setSeriesVisible(s, view.plotterMode && plotterEnvelope ? view.showEnvelopes : envelope[s]);
    }
    CurveLook look;
    look.plotter = view.plotterMode;
    look.monochrome = view.monochrome;
    look.intensity = view.intensity;
    look.firstInstrument = instrumentName(session.ScopeRecord1);
    look.secondInstrument = instrumentName(session.ScopeRecord2);
    look.direction = profileDirectionText(session.state());
    applyCurveLook(chart, look);
    if (style) {
        const Figure figure = curveFigure(
            chart, look.intensity && !look.plotter ? QStringLiteral("CTF\u00B2") : ctfTitle(),
            look.plotter ? look.firstInstrument : QString(), look.plotter ? look.secondInstrument : QString());
        save([&] { saveFigure(figure, *style, path, *figureFormatOf(path)); });
        return ExitOk;
    }
    static const QHash<QString, ChartFileFormat> formats{
        {QStringLiteral(".bmp"), ChartFileFormat::Bmp}, {QStringLiteral(".wmf"), ChartFileFormat::Wmf},
        {QStringLiteral(".emf"), ChartFileFormat::Emf}, {QStringLiteral(".png"), ChartFileFormat::Png},
        {QStringLiteral(".svg"), ChartFileFormat::Svg}, {QStringLiteral(".pdf"), ChartFileFormat::Pdf}};
    save([&] { saveChart(chart, path, formats.value(extensionOf(path)), QColor(Qt::white)); });
    return ExitOk;
}

} // namespace

int runPictureCommand(const QString &command, const QStringList &arguments)
{
    if (command == QLatin1String("pattern"))
        return runPattern(arguments);
    if (command == QLatin1String("map"))
        return runMap(arguments);
    return runChart(arguments);
}

} // namespace orvalis::cli
