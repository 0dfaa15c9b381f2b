#include "cli/micrographcommands.h"

#include "cli/ctfcli.h"
#include "cli/fitoutputs.h"

#include "core/buildinfo.h"
#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "micrograph/ctffit.h"
#include "micrograph/micrographreader.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/ringaverage.h"
#include "micrograph/spectrumfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

namespace orvalis::cli {

namespace {

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString optionAndValue(const QCommandLineParser &parser, const QString &name)
{
    return QStringLiteral("--%1 %2").arg(name, quoted(parser.value(name)));
}

void addOption(QCommandLineParser &parser, const char *name, const char *valueName, const char *description)
{
    QCommandLineOption option(QString::fromLatin1(name), QString::fromUtf8(description));
    if (valueName)
        option.setValueName(QString::fromLatin1(valueName));
    parser.addOption(option);
}

bool isSet(const QCommandLineParser &parser, const char *name)
{
    return parser.isSet(QString::fromLatin1(name));
}

double number(const QCommandLineParser &parser, const char *name)
{
    return numberOption(parser, QString::fromLatin1(name));
}

double positive(const QCommandLineParser &parser, const char *name)
{
    const double v = number(parser, name);
    if (!(v > 0))
        usageFailure(QStringLiteral("%1: it must be above 0").arg(optionAndValue(parser, QString::fromLatin1(name))));
    return v;
}

// Å: the searches scan their range in steps of a tenth of a ring, so the range is kept to what
// micrographs are taken at.
constexpr double kMaxFitDefocus = 1e6;

int hardwareThreads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// ---- the options the micrograph commands share -------------------------------------------------

void addImageOptions(QCommandLineParser &parser)
{
    addOption(parser, "pixel", "A", "pixel size at the specimen, Å (default: the file's)");
    addOption(parser, "tile", "N",
              "the spectrum's tile, pixels, even, 256 .. 2048 (spectrum and average: default 512; fit: the smallest "
              "that samples the rings at the band's top)");
}

int tileOption(const QCommandLineParser &parser)
{
    if (!isSet(parser, "tile"))
        return 0;
    const double v = number(parser, "tile");
    if (v != std::floor(v) || v < kMinTileSize || v > kMaxTileSize || static_cast<int>(v) % 2 != 0)
        usageFailure(QStringLiteral("%1: the tile must be an even number of pixels from %2 to %3")
                         .arg(optionAndValue(parser, QStringLiteral("tile")))
                         .arg(kMinTileSize)
                         .arg(kMaxTileSize));
    return static_cast<int>(v);
}

// nm; 0 when the file's is to be taken
double pixelOption(const QCommandLineParser &parser)
{
    return isSet(parser, "pixel") ? positive(parser, "pixel") / 10 : 0.0;
}

MicrographImage readImage(const QString &path)
{
    try {
        return readMicrograph(path);
    } catch (const OrvalisError &e) {
        ioFailure(e.text());
    }
}

double pixelOf(const MicrographImage &image, double given, const QString &path)
{
    const double pixel = given > 0 ? given : image.pixelSizeNm;
    if (!(pixel > 0))
        throw OrvalisError(QStringLiteral("%1: the file gives no pixel size; give it with --pixel Å").arg(path));
    return pixel;
}

void addFitOptions(QCommandLineParser &parser)
{
    addOption(parser, "kv", "KV", "accelerating voltage, kV (default 300)");
    addOption(parser, "cs", "MM", "spherical aberration constant, mm (default 2.7)");
    addOption(parser, "amplitude-contrast", "Q", "amplitude contrast, 0 .. <1 (default 0.07)");
    addOption(parser, "min-defocus", "A", "smallest underfocus searched, Å (default 5000)");
    addOption(parser, "max-defocus", "A", "largest underfocus searched, Å (default 50000)");
    addOption(parser, "max-astigmatism", "A", "largest defocus U - V searched, Å (default 3000)");
    addOption(parser, "band", "LOW:HIGH", "the resolutions fitted, Å (default 30:5)");
    addOption(parser, "fit-phase-shift", nullptr, "fit a phase plate's shift too");
    addOption(parser, "phase-shift", "DEG", "the known phase shift when it is not fitted, degrees (default 0)");
}

CtfFitOptions fitOptionsOf(const QCommandLineParser &parser)
{
    CtfFitOptions o;
    if (isSet(parser, "kv"))
        o.instrument.voltage = positive(parser, "kv");
    if (isSet(parser, "cs")) {
        const double cs = number(parser, "cs");
        if (cs < 0 || cs > 100)
            usageFailure(
                QStringLiteral("%1: it must be from 0 to 100 mm").arg(optionAndValue(parser, QStringLiteral("cs"))));
        o.instrument.cs = cs * 1e6;
    }
    if (isSet(parser, "amplitude-contrast")) {
        o.amplitudeContrast = number(parser, "amplitude-contrast");
        if (o.amplitudeContrast < 0 || o.amplitudeContrast >= 1)
            usageFailure(QStringLiteral("%1: it must be from 0 up to (not including) 1")
                             .arg(optionAndValue(parser, QStringLiteral("amplitude-contrast"))));
    }
    const double minDefocus = isSet(parser, "min-defocus") ? number(parser, "min-defocus") : 5000;
    const double maxDefocus = isSet(parser, "max-defocus") ? number(parser, "max-defocus") : 50000;
    if (!(minDefocus < maxDefocus))
        usageFailure(QStringLiteral("--min-defocus %1 and --max-defocus %2: the defocus range is empty; the smallest "
                                    "underfocus must be below the largest")
                         .arg(formatGeneral(minDefocus), formatGeneral(maxDefocus)));
    if (std::max(std::fabs(minDefocus), std::fabs(maxDefocus)) > kMaxFitDefocus)
        usageFailure(QStringLiteral("--min-defocus and --max-defocus: they must lie within ±%1 Å")
                         .arg(formatGeneral(kMaxFitDefocus)));
    o.defocusFrom = -maxDefocus / 10;
    o.defocusTo = -minDefocus / 10;
    if (isSet(parser, "max-astigmatism")) {
        const double uv = number(parser, "max-astigmatism");
        if (uv < 0 || uv > kMaxFitDefocus)
            usageFailure(
                QStringLiteral("%1: it must be from 0 to %2 Å")
                    .arg(optionAndValue(parser, QStringLiteral("max-astigmatism")), formatGeneral(kMaxFitDefocus)));
        o.maxA2 = Pi * uv / 10;
    }
    if (isSet(parser, "band")) {
        const QStringList parts = parser.value(QStringLiteral("band")).split(QLatin1Char(':'));
        bool okLow = false, okHigh = false;
        const double low = parts.size() == 2 ? parts[0].toDouble(&okLow) : 0;
        const double high = parts.size() == 2 ? parts[1].toDouble(&okHigh) : 0;
        if (!okLow || !okHigh || !std::isfinite(low) || !std::isfinite(high))
            usageFailure(QStringLiteral("%1: give the band as LOW:HIGH, two resolutions in Å such as 30:5")
                             .arg(optionAndValue(parser, QStringLiteral("band"))));
        if (!(high > 0) || !(low > high))
            usageFailure(QStringLiteral("%1: the band is empty: its first resolution must be the larger, and both "
                                        "above 0")
                             .arg(optionAndValue(parser, QStringLiteral("band"))));
        o.lowResolution = low / 10;
        o.highResolution = high / 10;
    }
    o.fitPhaseShift = isSet(parser, "fit-phase-shift");
    if (isSet(parser, "phase-shift")) {
        if (o.fitPhaseShift)
            usageFailure(QStringLiteral("--phase-shift and --fit-phase-shift: give one of them"));
        o.phaseShift = number(parser, "phase-shift") * Pi / 180;
    }
    const double pixel = pixelOption(parser);
    if (pixel > 0 && o.highResolution < 2 * pixel * (1 - 1e-12))
        usageFailure(QStringLiteral("--band: its top, %1 Å, is beyond the Nyquist limit of %2 Å (twice the pixel size)")
                         .arg(formatGeneral(o.highResolution * 10), formatGeneral(pixel * 20)));
    o.tileSize = tileOption(parser);
    return o;
}

// ---- spectrum -----------------------------------------------------------------------------------

// `backgroundFrequency` 0: the spectrum's default; `fit`: the tile, unless given, is the one the fit
// of these options takes, so that the rings are judged on the spectrum `fit` judges them on.
PowerSpectrum spectrumOf(const QCommandLineParser &parser, const QString &path, const MicrographImage &image,
                         double backgroundFrequency = 0, const CtfFitOptions *fit = nullptr)
{
    SpectrumOptions so;
    if (backgroundFrequency > 0)
        so.backgroundFrequency = backgroundFrequency;
    const int tile = tileOption(parser);
    so.tileSize = tile > 0 ? tile : kDefaultTileSize;
    so.threads = std::min(16, hardwareThreads());
    try {
        so.pixelSizeNm = pixelOf(image, pixelOption(parser), path);
        if (fit && tile == 0)
            so.tileSize = fitTileSize(*fit, image, so.pixelSizeNm);
        return computePowerSpectrum(image, so);
    } catch (const OrvalisError &e) {
        ioFailure(e.text().startsWith(path) ? e.text() : QStringLiteral("%1: %2").arg(path, e.text()));
    }
}

QString onePositional(const QCommandLineParser &parser, const QString &command)
{
    const QStringList words = parser.positionalArguments();
    if (words.size() != 1)
        usageFailure(QStringLiteral("%1: give one micrograph").arg(command));
    return words.first();
}

int runSpectrum(const QStringList &arguments)
{
    QCommandLineParser parser;
    addImageOptions(parser);
    addOption(parser, "out", "FILE", "the file to write: .mrc (floats), .tif (16-bit grey) or .png (8-bit grey)");
    addOption(parser, "power", nullptr,
              "the averaged periodogram itself (its logarithm in the grey pictures) "
              "instead of the spectrum with its background removed");
    parseCommand(parser, QStringLiteral("spectrum"),
                 QStringLiteral("Saves the power spectrum of a micrograph (MRC, TIFF or PNG): the averaged periodogram "
                                "of half-overlapping tiles with its smooth background removed, the zero frequency at "
                                "the centre, kx along the image's rows."),
                 arguments, QStringLiteral("IMAGE"));
    const QString path = onePositional(parser, QStringLiteral("spectrum"));
    if (!isSet(parser, "out"))
        usageFailure(QStringLiteral("spectrum: give the file to write with --out F.mrc, F.tif or F.png"));
    const QString out = parser.value(QStringLiteral("out"));
    const std::optional<SpectrumFileFormat> format = spectrumFileFormat(out);
    if (!format)
        usageFailure(QStringLiteral("%1: the file must end in .mrc, .tif, .tiff or .png")
                         .arg(optionAndValue(parser, QStringLiteral("out"))));
    const MicrographImage image = readImage(path);
    const PowerSpectrum spectrum = spectrumOf(parser, path, image);
    SpectrumPicture picture;
    picture.size = spectrum.size;
    picture.pixelSizeNm = 1 / (spectrum.size * spectrum.frequencyStep);
    if (isSet(parser, "power")) {
        picture.values = spectrum.power;
        if (*format != SpectrumFileFormat::Mrc) // the periodogram spans decades: grey levels of its logarithm
            for (float &v : picture.values)
                v = std::log10(std::max(v, 1e-30f));
        picture.scaleFrom = SpectrumOptions().backgroundFrequency;
    } else {
        picture.values = spectrum.rings;
        picture.scaleFrom = SpectrumOptions().backgroundFrequency;
    }
    try {
        writeSpectrumFile(out, picture, *format);
    } catch (const OrvalisError &e) {
        ioFailure(e.text());
    }
    return ExitOk;
}

// ---- average ------------------------------------------------------------------------------------

void appendCell(QByteArray &out, double value)
{
    out += '\t';
    if (std::isfinite(value)) {
        char buffer[kGeneralTextMax];
        out.append(buffer, writeGeneral(buffer, value));
    }
}

int runAverage(const QStringList &arguments)
{
    QCommandLineParser parser;
    addImageOptions(parser);
    addOption(parser, "fit", nullptr,
              "fit the CTF first and average along its equal-phase rings, with the fitted CTF^2 and the "
              "ring-by-ring agreement beside the average");
    addFitOptions(parser);
    addOption(parser, "crlf", nullptr, "end lines with CR LF, as Save 1D writes them");
    parseCommand(parser, QStringLiteral("average"),
                 QStringLiteral("Prints the rotational average of a micrograph's power spectrum (background removed) "
                                "as a table like Save 1D's: the frequency k (nm^-1), then the average; with --fit, "
                                "the average along the fitted CTF's rings, the fitted CTF^2 scaled to it and their "
                                "agreement (a normalised cross-correlation in a sliding band). Cells without data "
                                "are empty."),
                 arguments, QStringLiteral("IMAGE"));
    const QString path = onePositional(parser, QStringLiteral("average"));
    const bool fit = isSet(parser, "fit");
    for (const char *option : {"kv", "cs", "amplitude-contrast", "min-defocus", "max-defocus", "max-astigmatism",
                               "band", "fit-phase-shift", "phase-shift"})
        if (isSet(parser, option) && !fit)
            usageFailure(QStringLiteral("--%1: only with --fit").arg(QString::fromLatin1(option)));
    const CtfFitOptions options = fitOptionsOf(parser);
    const MicrographImage image = readImage(path);
    // A fit's band starts where the background leaves rings, at its low end at the latest.
    const PowerSpectrum spectrum = spectrumOf(parser, path, image, fit ? 1 / options.lowResolution : 0.0,
                                              fit ? &options : nullptr);
    const int n = spectrum.size;
    const double step = spectrum.frequencyStep;

    QByteArray table;
    if (!fit) {
        const RingAverage average = rotationalAverage(spectrum.rings, n, step);
        table = QByteArray("k\t") + averageColumnTitle(AverageColumn::Average) + "\r\n";
        for (std::size_t b = 0; b < average.value.size(); ++b) {
            char buffer[kGeneralTextMax];
            table.append(buffer, writeGeneral(buffer, static_cast<double>(b) * step));
            appendCell(table, average.value[b]);
            table += "\r\n";
        }
    } else {
        CtfFitResult result;
        try {
            result = fitCtf(spectrum, options);
        } catch (const OrvalisError &e) {
            ioFailure(QStringLiteral("%1: %2").arg(path, e.text()));
        }
        if (!result.values) {
            printFailure({ExitNoReliableFit, QStringLiteral("%1: %2").arg(path, result.message)});
            return ExitNoReliableFit;
        }
        const FitAgreement fitted = fitAgreement(spectrum, fittedModel(options, *result.values),
                                                 1 / options.lowResolution);
        table = QByteArray("k\t") + averageColumnTitle(AverageColumn::Average) + '\t'
            + averageColumnTitle(AverageColumn::ModelCtf2) + '\t' + averageColumnTitle(AverageColumn::Agreement)
            + "\r\n";
        for (std::size_t b = 0; b < fitted.average.value.size(); ++b) {
            char buffer[kGeneralTextMax];
            table.append(buffer, writeGeneral(buffer, static_cast<double>(b) * step));
            appendCell(table, fitted.average.value[b]);
            appendCell(table, fitted.modelCtf2[b]);
            appendCell(table, b < fitted.agreement.correlation.size() ? fitted.agreement.correlation[b] : NAN);
            table += "\r\n";
        }
        if (!isSet(parser, "crlf"))
            table.replace("\r\n", "\n");
        writeOut(table);
        // The rings' end, as fit reports it, where a reader of the table looks for it last.
        // Where the Agreement column ends, as fit reports it.
        printFailure({ExitOk,
                      QStringLiteral("%1: the fit holds to %2")
                          .arg(path,
                               fitted.resolution > 0 ? QStringLiteral("%1 Å").arg(fitted.resolution * 10, 0, 'f', 2)
                                                     : QStringLiteral("no resolution: the rings never agree"))});
        if (!result.reliable()) {
            printFailure(
                {ExitNoReliableFit, QStringLiteral("%1: %2").arg(path, fitDoubtText(result, shellFitLimitNames()))});
            return ExitNoReliableFit;
        }
        return ExitOk;
    }
    if (!isSet(parser, "crlf"))
        table.replace("\r\n", "\n");
    writeOut(table);
    return ExitOk;
}

// ---- fit ----------------------------------------------------------------------------------------

// The progress line, redrawn in place on a terminal; nothing otherwise.
class ProgressLine {
public:
    explicit ProgressLine(int files) : m_files(files), m_shown(isatty(fileno(stderr)) == 1) {}

    void show(double done, int failed)
    {
        if (!m_shown)
            return;
        const QByteArray line = QStringLiteral("\rorvalis-ctf fit: %1 %, %2 of %3 micrographs done%4\033[K")
                                    .arg(100 * done / m_files, 0, 'f', 0)
                                    .arg(static_cast<int>(std::floor(done + 1e-9)))
                                    .arg(m_files)
                                    .arg(failed ? QStringLiteral(", %1 failed").arg(failed) : QString())
                                    .toUtf8();
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
        std::fflush(stderr);
    }
    void clear()
    {
        if (m_shown) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
        }
    }
    bool shown() const { return m_shown; }

private:
    int m_files;
    bool m_shown;
};

FitRecord fitFile(const QString &path, const CtfFitOptions &options, double pixel, std::atomic<double> &fraction)
{
    FitRecord r;
    r.file = path;
    const ProgressCallback progress = [&fraction](double f) {
        fraction = f;
        return true;
    };
    try {
        const MicrographImage image = readMicrograph(path, [&fraction](double f) {
            fraction = 0.1 * f;
            return true;
        });
        r.pixelSizeNm = pixelOf(image, pixel, path);
        r.result = fitMicrographCtf(image, options, r.pixelSizeNm,
                                    [&progress](double f) { return progress(0.1 + 0.9 * f); });
    } catch (const OrvalisError &e) {
        r.failed = true;
        // The readers name the file; the spectrum and the fit do not.
        r.error = e.text().contains(path) ? e.text() : QStringLiteral("%1: %2").arg(path, e.text());
    } catch (const std::bad_alloc &) {
        r.failed = true;
        r.error = QStringLiteral("%1: not enough memory to fit it").arg(path);
    }
    fraction = 1;
    return r;
}

void saveFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        ioFailure(QStringLiteral("cannot write %1: %2").arg(quoted(path), file.errorString()));
}

// CTFFIND's name for a micrograph's text: the image's, its extension replaced by .txt.
QString ctffindPath(const QString &image)
{
    const QFileInfo info(image);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".txt"));
}

int runFit(const QStringList &arguments)
{
    QCommandLineParser parser;
    addImageOptions(parser);
    addFitOptions(parser);
    addOption(parser, "threads", "N", "micrographs fitted at once, one a thread (default: every processor)");
    addOption(parser, "json", nullptr, "the table as a JSON array instead of tab-separated lines");
    addOption(parser, "star", "FILE", "also write a STAR file of the reliable fits in RELION's columns");
    addOption(parser, "ctffind-txt", nullptr,
              "also write CTFFIND4's text file of each reliable fit beside its micrograph (NAME.txt)");
    parseCommand(
        parser, QStringLiteral("fit"),
        QStringLiteral("Fits the CTF to each micrograph's power spectrum: defocus U and V, the angle of U, and "
                       "with --fit-phase-shift a phase plate's shift. Prints one line per micrograph "
                       "(tab-separated, or --json): defocus U and V (Å), angle (degrees), phase shift "
                       "(degrees), score (normalised cross-correlation over the band), the resolution to "
                       "which the rings follow the fit (Å), the score's significance, whether the fit is "
                       "reliable, and the same astigmatism as Defocus, A2 (nm) and azimuth. A micrograph "
                       "that cannot be read or fitted is reported on the standard error and the others go "
                       "on. A fit is not reliable below the significance needed, and also at an end of the "
                       "defocus range or the astigmatism limit, or when a phase shift not fitted explains "
                       "the rings markedly better: its values are printed, \"no\" under reliable, the "
                       "doubts last, and the reason on the standard error; the STAR and CTFFIND files "
                       "leave it out.\nExit status: 0 every micrograph fitted, 1 one could not be read "
                       "or fitted (or an output could not be written), 2 the command line was refused, 3 "
                       "every micrograph read but one or more gave no reliable fit."),
        arguments, QStringLiteral("IMAGE..."));
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        usageFailure(QStringLiteral("fit: give one or more micrographs"));
    CtfFitOptions options = fitOptionsOf(parser);
    const double pixel = pixelOption(parser);
    int threads = hardwareThreads();
    if (isSet(parser, "threads")) {
        const double t = number(parser, "threads");
        if (t != std::floor(t) || t < 1 || t > 256)
            usageFailure(QStringLiteral("%1: a whole number from 1 to 256")
                             .arg(optionAndValue(parser, QStringLiteral("threads"))));
        threads = static_cast<int>(t);
    }
    const int count = static_cast<int>(files.size());
    const int workers = std::min(threads, count);
    // Threads beyond one a file go to the spectrum's tiles.
    options.threads = std::clamp(threads / workers, 1, 16);

    FitSettings settings;
    settings.options = options;
    settings.version = QString::fromLatin1(buildinfo::Version);
    settings.date = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));

    QVector<FitRecord> records(count);
    std::vector<std::atomic<double>> fractions(static_cast<std::size_t>(count));
    for (auto &f : fractions)
        f = 0;
    std::atomic<int> next{0}, finished{0}, failed{0};
    std::mutex mutex;
    std::condition_variable changed;
    ProgressLine line(count);
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) {
            records[i] = fitFile(files[i], options, pixel, fractions[static_cast<std::size_t>(i)]);
            if (records[i].failed)
                ++failed;
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++finished;
            }
            changed.notify_one();
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < workers; ++t)
        pool.emplace_back(work);
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (finished < count) {
            changed.wait_for(lock, std::chrono::milliseconds(200));
            double done = 0;
            for (const auto &f : fractions)
                done += f;
            line.show(done, failed);
        }
    }
    for (std::thread &t : pool)
        t.join();
    line.clear();

    int unreliable = 0;
    for (const FitRecord &r : records) {
        if (r.failed)
            printFailure({ExitIo, r.error});
        else if (!r.result.values) {
            ++unreliable;
            printFailure({ExitNoReliableFit, QStringLiteral("%1: %2").arg(r.file, r.result.message)});
        } else if (!r.result.reliable()) {
            ++unreliable;
            printFailure({ExitNoReliableFit,
                          QStringLiteral("%1: %2").arg(r.file, fitDoubtText(r.result, shellFitLimitNames()))});
        }
    }
    writeOut(isSet(parser, "json") ? fitJson(records) : fitTable(records));
    if (isSet(parser, "star"))
        saveFile(parser.value(QStringLiteral("star")), fitStar(records, settings));
    if (isSet(parser, "ctffind-txt"))
        for (const FitRecord &r : records)
            if (!r.failed && r.result.reliable()) {
                const QString txt = ctffindPath(r.file);
                if (QFileInfo(txt).canonicalFilePath() == QFileInfo(r.file).canonicalFilePath())
                    ioFailure(QStringLiteral("%1: its CTFFIND text would replace the micrograph itself").arg(r.file));
                saveFile(txt, ctffindText(r, settings));
            }
    if (failed > 0)
        return ExitIo;
    return unreliable > 0 ? ExitNoReliableFit : ExitOk;
}

} // namespace

bool isMicrographCommand(const QString &name)
{
    return name == QLatin1String("spectrum") || name == QLatin1String("average") || name == QLatin1String("fit");
}

int runMicrographCommand(const QString &command, const QStringList &arguments)
{
    if (command == QLatin1String("spectrum"))
        return runSpectrum(arguments);
    if (command == QLatin1String("average"))
        return runAverage(arguments);
    return runFit(arguments);
}

} // namespace orvalis::cli
