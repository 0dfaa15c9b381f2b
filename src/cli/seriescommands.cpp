#include "cli/seriescommands.h"

#include "cli/ctfcli.h"
#include "cli/fitoutputs.h"
#include "cli/micrographcommands.h"

#include "core/buildinfo.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"
#include "micrograph/framereader.h"

#include <QDateTime>
#include <QFileInfo>

#include <atomic>
#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace orvalis::cli {

namespace {

QByteArray fixed(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

// Å: U - V of the series' shared astigmatism.
double sharedDifference(const SeriesFit &fit)
{
    TwoFoldDefocus d = *fit.sharedAstigmatism;
    d.Defocus = -1000; // any underfocus: U - V does not depend on it
    const CryoEmDefocus c = toCryoEmDefocus(d);
    return c.defocusU - c.defocusV;
}

QString filledViews(const SeriesFit &fit)
{
    QStringList views;
    for (const TiltFit &t : fit.tilts)
        if (t.filled)
            views << QString::number(t.index + 1);
    return views.join(QStringLiteral(", "));
}

} // namespace

bool seriesWritten(const TiltFit &tilt)
{
    return tilt.result.values && (tilt.reliable || tilt.filled);
}

QByteArray seriesTable(const SeriesRecord &record)
{
    QByteArray out("section\ttilt_deg\tdefocus_u_A\tdefocus_v_A\tangle_deg\tdefocus_A\tscore\tresolution_A\t"
                   "significance\treliable\tfilled\tdoubts\n");
    for (const TiltFit &t : record.fit.tilts) {
        QByteArrayList cells{QByteArray::number(t.index + 1), fixed(t.angle, 2)};
        const CtfFitResult &f = t.result;
        if (f.values) {
            const CtfFitValues &v = *f.values;
            cells << fixed(v.cryoEm.defocusU, 2) << fixed(v.cryoEm.defocusV, 2) << fixed(v.cryoEm.angle, 2)
                  << fixed(-nmToAngstrom(v.program.Defocus), 2);
        } else {
            cells << ""
                  << ""
                  << ""
                  << "";
        }
        const double resolution = f.values && !t.filled ? f.values->resolution : 0.0;
        cells << fixed(f.score, 6) << (resolution > 0 ? fixed(nmToAngstrom(resolution), 2) : QByteArray())
              << fixed(f.significance, 1) << (t.reliable ? "yes" : "no") << (t.filled ? "yes" : "no")
              << (f.doubts ? fitDoubtKeys(f.doubts).join(QLatin1Char(',')).toUtf8()
                           : (f.values ? QByteArray("none") : QByteArray("noise")));
        out += cells.join('\t') + '\n';
    }
    return out;
}

QByteArray seriesImodDefocus(const SeriesRecord &record)
{
    QByteArray out("1\t0\t0.0\t0.0\t0.0\t3\n");
    for (const TiltFit &t : record.fit.tilts) {
        if (!seriesWritten(t))
            continue;
        const CryoEmDefocus &d = t.result.values->cryoEm;
        const QByteArray view = QByteArray::number(t.index + 1), angle = fixed(t.angle, 2);
        out += view + '\t' + view + '\t' + angle + '\t' + angle + '\t' + fixed(angstromToNm(d.defocusU), 1) + '\t'
            + fixed(angstromToNm(d.defocusV), 1) + '\t' + fixed(d.angle, 2) + '\n';
    }
    return out;
}

QByteArray seriesStar(const SeriesRecord &record)
{
    const QFileInfo stack(record.stack);
    QByteArray block = stack.completeBaseName().toUtf8();
    block.replace(' ', '_');
    QByteArray name = stack.fileName().toUtf8();
    if (name.contains(' ') || name.contains('\t'))
        name = '"' + name + '"';
    QByteArray out("\n# version 50001\n\ndata_" + block
                   + "\n\nloop_\n_rlnMicrographName #1\n_rlnTomoNominalStageTiltAngle #2\n"
                     "_rlnTomoNominalTiltAxisAngle #3\n_rlnDefocusU #4\n_rlnDefocusV #5\n_rlnCtfAstigmatism #6\n"
                     "_rlnDefocusAngle #7\n_rlnCtfFigureOfMerit #8\n_rlnCtfMaxResolution #9\n");
    for (const TiltFit &t : record.fit.tilts) {
        if (!seriesWritten(t))
            continue;
        const CtfFitValues &v = *t.result.values;
        // A filled tilt's resolution is the band's low end: nothing of its own was fitted.
        const double resolution = !t.filled && v.resolution > 0 ? v.resolution : record.options.lowResolution;
        out += QByteArray::number(t.index + 1).rightJustified(6, '0') + '@' + name + ' ' + fixed(t.angle, 6) + ' '
            + fixed(record.fit.axis, 6) + ' ' + fixed(v.cryoEm.defocusU, 6) + ' ' + fixed(v.cryoEm.defocusV, 6) + ' '
            + fixed(v.cryoEm.defocusU - v.cryoEm.defocusV, 6) + ' ' + fixed(v.cryoEm.angle, 6) + ' '
            + fixed(t.filled ? 0.0 : t.result.score, 6) + ' ' + fixed(nmToAngstrom(resolution), 6) + '\n';
    }
    return out + '\n';
}

QByteArray seriesCtffindText(const SeriesRecord &record, const QString &version, const QString &date)
{
    FitSettings settings;
    settings.options = record.options;
    settings.options.fitTilt = true; // every tilt's specimen tilt: columns 8 and 9
    settings.version = version;
    settings.date = date;
    QVector<FitRecord> records;
    for (const TiltFit &t : record.fit.tilts) {
        FitRecord r;
        r.file = record.stack;
        r.pixelSizeNm = record.pixelSizeNm;
        r.result = t.result;
        if (!seriesWritten(t))
            r.result.values.reset();
        if (t.filled && r.result.values) {
            // Nothing of its own was fitted: no score, and the band's low end as its resolution.
            r.result.score = 0;
            r.result.values->resolution = 0;
        }
        records << r;
    }
    const QString filled = filledViews(record.fit);
    return ctffindText(
        records, settings,
        filled.isEmpty()
            ? QByteArray()
            : QStringLiteral("Filled from the series' trend, not fitted: micrographs %1").arg(filled).toUtf8());
}

int runFitSeries(const QStringList &arguments)
{
    QCommandLineParser parser;
    addImageOptions(parser);
    addFitOptions(parser);
    addOption(parser, "tilts", "FILE",
              "the tilt angles: IMOD's .tlt or .rawtlt, one angle a line (degrees), one for each section");
    addOption(parser, "mdoc", "FILE",
              "SerialEM's .mdoc of the stack: the tilt angles, the pixel size, the voltage and the tilt axis where it "
              "records them (--pixel, --kv and --tilt-axis take precedence)");
    addOption(parser, "tilt-axis", "DEG",
              "the tilt axis, degrees from the image's +x towards +y (the row index growing); its sense is found from "
              "the series (default: the mdoc's, else fitted once for the series from its high tilts)");
    addOption(parser, "astigmatism", "MODE",
              "shared (default: the low tilts' mean, every tilt's defocus refitted with it) or per-tilt");
    addOption(parser, "fill", nullptr,
              "give each tilt without a reliable fit the defocus of the series' trend (linear in the tilt between the "
              "nearest reliable tilts), marked filled");
    addOption(parser, "threads", "N", "tilts fitted at once (default: every processor)");
    addOption(parser, "imod", "FILE", "also write IMOD's defocus file (version 3, with astigmatism; nm)");
    addOption(parser, "ctffind-txt", "FILE", "also write CTFFIND's text, a row a tilt");
    addOption(parser, "star", "FILE", "also write RELION 5's tilt series STAR file with the per-tilt CTF columns");
    parseCommand(
        parser, QStringLiteral("fit-series"),
        QStringLiteral(
            "Fits the CTF to every tilt of a tomographic tilt series (one stack, MRC or TIFF, a section a tilt) at "
            "its known tilt angle: the defocus gradient across the tilt axis is modelled, not searched, and each "
            "tilt's defocus is the one at the image's centre. Prints a line a tilt: section, tilt_deg, "
            "defocus_u_A, defocus_v_A, angle_deg, defocus_A, score, resolution_A, significance, reliable, filled, "
            "doubts; the series' axis and the shared astigmatism on the standard error. The files for other "
            "programs hold the reliable tilts and, with --fill, the filled ones (the IMOD file has no room to mark "
            "them; the CTFFIND text names them in a comment).\nExit status: 0 every tilt reliable, 1 a file could "
            "not be read or written, 2 the command line was refused, 3 one or more tilts not reliable, 130 or 143 "
            "interrupted by SIGINT or SIGTERM (nothing is written)."),
        arguments, QStringLiteral("STACK"));
    const QStringList words = parser.positionalArguments();
    if (words.size() != 1)
        usageFailure(QStringLiteral("fit-series: give one stack"));
    const QString stack = words.front();
    const bool tiltsGiven = parser.isSet(QStringLiteral("tilts")), mdocGiven = parser.isSet(QStringLiteral("mdoc"));
    if (tiltsGiven == mdocGiven)
        usageFailure(QStringLiteral("fit-series: give the tilt angles with --tilts FILE or --mdoc FILE (one of them)"));
    SeriesAstigmatism astigmatism = SeriesAstigmatism::Shared;
    if (parser.isSet(QStringLiteral("astigmatism"))) {
        const QString mode = parser.value(QStringLiteral("astigmatism"));
        if (mode == QLatin1String("per-tilt"))
            astigmatism = SeriesAstigmatism::PerTilt;
        else if (mode != QLatin1String("shared"))
            usageFailure(QStringLiteral("%1: give shared or per-tilt")
                             .arg(optionAndValue(parser, QStringLiteral("astigmatism"))));
    }
    std::optional<double> axis;
    if (parser.isSet(QStringLiteral("tilt-axis"))) {
        const double a = numberOption(parser, QStringLiteral("tilt-axis"));
        if (!(std::fabs(a) <= 360))
            usageFailure(QStringLiteral("%1: degrees from -360 to 360")
                             .arg(optionAndValue(parser, QStringLiteral("tilt-axis"))));
        axis = a;
    }
    FitRequest request = requestOf(parser);
    // The fit's own choices that would do nothing here are refused rather than ignored.
    if (request.fitTilt)
        usageFailure(QStringLiteral("fit-series: --fit-tilt is not taken: a series' tilts are known, from --tilts or "
                                    "--mdoc, and its axis is given with --tilt-axis or fitted"));
    if (request.fitThickness)
        usageFailure(QStringLiteral("fit-series: --fit-thickness is not taken: a series' tilts are fitted without a "
                                    "thickness"));
    const int threads = threadsOption(parser);
    // Nothing is written over the stack itself.
    for (const char *option : {"imod", "ctffind-txt", "star"}) {
        const QString name = QString::fromLatin1(option);
        if (!parser.isSet(name))
            continue;
        const QString path = parser.value(name);
        if (path.isEmpty())
            usageFailure(QStringLiteral("--%1: give the file to write").arg(name));
        if (QFileInfo::exists(path) && QFileInfo(path).canonicalFilePath() == QFileInfo(stack).canonicalFilePath())
            usageFailure(QStringLiteral("%1: it would replace the stack itself").arg(optionAndValue(parser, name)));
    }

    std::unique_ptr<FrameReader> reader;
    SeriesDescription description;
    try {
        reader = openFrames(stack);
        if (mdocGiven)
            description = readMdoc(parser.value(QStringLiteral("mdoc")), stack, reader->frames());
        else
            description.angles = readTiltAngles(parser.value(QStringLiteral("tilts")), reader->frames());
    } catch (const OrvalisError &e) {
        ioFailure(e.text());
    }
    if (!axis)
        axis = description.tiltAxis;
    if (!parser.isSet(QStringLiteral("kv")) && description.voltage > 0)
        request.voltage = description.voltage;
    CtfFitOptions options = checkedFitOptions(parser, request);
    double pixel = pixelOption(parser);
    if (!(pixel > 0))
        pixel = description.pixelSizeAngstrom > 0 ? angstromToNm(description.pixelSizeAngstrom) : reader->pixelSizeNm();
    if (!(pixel > 0))
        ioFailure(
            QStringLiteral("%1: neither the stack nor an mdoc gives a pixel size; give it with --pixel Å").arg(stack));
    {
        const QString problem = fitRequestProblem(request, {FitVoice::Shell, pixel, false}).text;
        if (!problem.isEmpty())
            ioFailure(QStringLiteral("%1: %2").arg(stack, problem));
    }

    SeriesFitOptions o;
    o.fit = options;
    o.pixelSizeNm = pixel;
    o.angles = description.angles;
    o.tiltAxis = axis;
    o.astigmatism = astigmatism;
    o.fill = parser.isSet(QStringLiteral("fill"));
    o.threads = threads;
    o.openReader = [stack] { return openFrames(stack); };

    SeriesRecord record;
    record.stack = stack;
    record.pixelSizeNm = pixel;
    record.options = options;
    const QString date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    TerminalLine line;
    const int tilts = reader->frames();
    {
        const InterruptionHandler handler;
        try {
            record.fit = fitTiltSeries(*reader, o, [&line, tilts](double f) {
                line.show(
                    QStringLiteral("orvalis-ctf fit-series: %1 % of %2 tilts").arg(100 * f, 0, 'f', 0).arg(tilts));
                return !interrupted();
            });
        } catch (const Cancelled &) {
            line.clear();
            const int signal = interruptionSignal();
            printFailure({128 + signal,
                          QStringLiteral("fit-series: interrupted by %1; nothing was written")
                              .arg(QString::fromLatin1(signal == SIGINT ? "SIGINT" : "SIGTERM"))});
            return 128 + signal;
        } catch (const OrvalisError &e) {
            line.clear();
            ioFailure(e.text().contains(stack) ? e.text() : QStringLiteral("%1: %2").arg(stack, e.text()));
        }
    }
    line.clear();

    int unreliable = 0;
    for (const TiltFit &t : record.fit.tilts) {
        if (t.reliable)
            continue;
        ++unreliable;
        const QString why = !t.result.values ? t.result.message : fitDoubtText(t.result, shellFitLimitNames());
        printFailure({ExitNoReliableFit,
                      QStringLiteral("%1, section %2 (%3°): %4%5")
                          .arg(stack)
                          .arg(t.index + 1)
                          .arg(formatGeneral(t.angle), why,
                               t.filled ? QStringLiteral(" Its defocus is filled from the "
                                                         "series' trend.")
                                        : QString())});
    }
    printFailure(
        {ExitOk,
         QStringLiteral("%1: tilt axis %2° (%3)%4")
             .arg(stack, formatGeneral(std::round(record.fit.axis * 100) / 100),
                  record.fit.axisFitted ? QStringLiteral("fitted from the high tilts")
                                        : QStringLiteral("given; its sense found from the high tilts"),
                  record.fit.sharedAstigmatism
                      ? QStringLiteral("; shared astigmatism U - V %1 Å at %2°")
                            .arg(formatGeneral(std::round(sharedDifference(record.fit))),
                                 formatGeneral(std::round(toCryoEmDefocus(*record.fit.sharedAstigmatism).angle)))
                      : QString())});
    writeOut(seriesTable(record));
    // Every file made before any is written: a failure leaves them all as they were.
    std::vector<std::pair<QString, QByteArray>> files;
    if (parser.isSet(QStringLiteral("imod")))
        files.emplace_back(parser.value(QStringLiteral("imod")), seriesImodDefocus(record));
    if (parser.isSet(QStringLiteral("ctffind-txt")))
        files.emplace_back(parser.value(QStringLiteral("ctffind-txt")),
                           seriesCtffindText(record, QString::fromLatin1(buildinfo::Version), date));
    if (parser.isSet(QStringLiteral("star")))
        files.emplace_back(parser.value(QStringLiteral("star")), seriesStar(record));
    for (const auto &[path, bytes] : files)
        try {
            saveWholeFile(path, bytes);
        } catch (const OrvalisError &e) {
            ioFailure(e.text());
        }
    return unreliable > 0 ? ExitNoReliableFit : ExitOk;
}

} // namespace orvalis::cli
