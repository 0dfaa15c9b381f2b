#include "cli/micrographcommands.h"

#include "cli/ctfcli.h"
#include "cli/fitoutputs.h"

#include "core/buildinfo.h"
#include "core/cryoemdefocus.h"
#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"
#include "micrograph/ctffit.h"
#include "micrograph/micrographreader.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/ringaverage.h"
#include "micrograph/spectrumfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

#include <csignal>
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

// The limits of the options that take a number, in the units they are typed in: the fit's own
// (ctffit.h), so that the window's fit and every command here refuse the same values.
struct OptionRange {
    const char *name;
    double minimum, maximum;
    const char *unit;
};
constexpr OptionRange kOptionRanges[] = {
    {"pixel", nmToAngstrom(kFitMinPixelSize), nmToAngstrom(kFitMaxPixelSize), " Å"},
    {"kv", kFitMinVoltage, kFitMaxVoltage, " kV"},
    {"cs", 0, nmToMm(kFitMaxCs), " mm"},
    {"min-defocus", nmToAngstrom(-kFitMaxDefocus), nmToAngstrom(kFitMaxDefocus), " Å"},
    {"max-defocus", nmToAngstrom(-kFitMaxDefocus), nmToAngstrom(kFitMaxDefocus), " Å"},
    {"max-astigmatism", 0, nmToAngstrom(kFitMaxAstigmatism), " Å"},
    {"phase-shift", -kFitMaxPhaseShiftDeg, kFitMaxPhaseShiftDeg, " degrees"},
};
// Å, either resolution of --band: from the Nyquist limit of the smallest pixel up to rings far
// wider than any defocus gives.
constexpr double kMinBandResolution = nmToAngstrom(2 * kFitMinPixelSize);
constexpr double kMaxBandResolution = 10000;

// The option's value within its range, or a refusal that names the option and says the range.
double ranged(const QCommandLineParser &parser, const char *name)
{
    const QString option = QString::fromLatin1(name);
    const auto range = std::find_if(std::begin(kOptionRanges), std::end(kOptionRanges),
                                    [name](const OptionRange &r) { return std::strcmp(r.name, name) == 0; });
    Q_ASSERT(range != std::end(kOptionRanges));
    bool ok = false;
    const double v = parser.value(option).trimmed().toDouble(&ok);
    if (!ok || !(v >= range->minimum && v <= range->maximum))
        usageFailure(QStringLiteral("%1: it must be a number from %2 to %3%4")
                         .arg(optionAndValue(parser, option), formatGeneral(range->minimum),
                              formatGeneral(range->maximum), QString::fromUtf8(range->unit)));
    return v;
}

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
    return isSet(parser, "pixel") ? angstromToNm(ranged(parser, "pixel")) : 0.0;
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
        o.instrument.voltage = ranged(parser, "kv");
    if (isSet(parser, "cs"))
        o.instrument.cs = mmToNm(ranged(parser, "cs"));
    if (isSet(parser, "amplitude-contrast")) {
        o.amplitudeContrast = number(parser, "amplitude-contrast");
        if (o.amplitudeContrast < 0 || o.amplitudeContrast >= 1)
            usageFailure(QStringLiteral("%1: it must be from 0 up to (not including) 1")
                             .arg(optionAndValue(parser, QStringLiteral("amplitude-contrast"))));
    }
    const double minDefocus = isSet(parser, "min-defocus") ? ranged(parser, "min-defocus") : 5000;
    const double maxDefocus = isSet(parser, "max-defocus") ? ranged(parser, "max-defocus") : 50000;
    if (!(minDefocus < maxDefocus))
        usageFailure(QStringLiteral("--min-defocus %1 and --max-defocus %2: the defocus range is empty; the smallest "
                                    "underfocus must be below the largest")
                         .arg(formatGeneral(minDefocus), formatGeneral(maxDefocus)));
    o.defocusFrom = angstromToNm(-maxDefocus);
    o.defocusTo = angstromToNm(-minDefocus);
    if (isSet(parser, "max-astigmatism"))
        o.maxA2 = a2OfDefocusDifference(ranged(parser, "max-astigmatism"));
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
        if (high < kMinBandResolution || low > kMaxBandResolution)
            usageFailure(QStringLiteral("%1: both resolutions must be from %2 to %3 Å")
                             .arg(optionAndValue(parser, QStringLiteral("band")), formatGeneral(kMinBandResolution),
                                  formatGeneral(kMaxBandResolution)));
        o.lowResolution = angstromToNm(low);
        o.highResolution = angstromToNm(high);
    }
    o.fitPhaseShift = isSet(parser, "fit-phase-shift");
    if (isSet(parser, "phase-shift")) {
        if (o.fitPhaseShift)
            usageFailure(QStringLiteral("--phase-shift and --fit-phase-shift: give one of them"));
        o.phaseShift = degreesToRadians(ranged(parser, "phase-shift"));
    }
    // A band against the micrograph's pixel size is each file's matter (bandProblem), whether the
    // size comes from --pixel or from the file.
    const QString search = fitSearchProblem(o);
    if (!search.isEmpty())
        usageFailure(QStringLiteral("--min-defocus, --max-defocus, --band%1: %2")
                         .arg(o.fitPhaseShift ? QStringLiteral(" and --fit-phase-shift") : QString(), search));
    o.tileSize = tileOption(parser);
    return o;
}

// Empty when the band fits within the Nyquist limit of `pixelNm`, else why not, saying where the
// pixel size came from.
QString bandProblem(const CtfFitOptions &o, double pixelNm, bool fromOption)
{
    if (!bandBeyondNyquist(o.highResolution, pixelNm))
        return {};
    return QStringLiteral("the band's top, %1 Å, is beyond the Nyquist limit of %2 Å (twice the pixel size of %3 Å %4)")
        .arg(formatGeneral(nmToAngstrom(o.highResolution)), formatGeneral(nmToAngstrom(2 * pixelNm)),
             formatGeneral(nmToAngstrom(pixelNm)),
             fromOption ? QStringLiteral("given by --pixel") : QStringLiteral("the file gives"));
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
                                "the average along the fitted CTF's rings, the fitted CTF^2 itself (0 to 1) and their "
                                "agreement (a normalised cross-correlation in a sliding band), which ends where the "
                                "fit holds to, as the standard error says. Cells without data are empty."),
                 arguments, QStringLiteral("IMAGE"));
    const QString path = onePositional(parser, QStringLiteral("average"));
    const bool fit = isSet(parser, "fit");
    for (const char *option : {"kv", "cs", "amplitude-contrast", "min-defocus", "max-defocus", "max-astigmatism",
                               "band", "fit-phase-shift", "phase-shift"})
        if (isSet(parser, option) && !fit)
            usageFailure(QStringLiteral("--%1: only with --fit").arg(QString::fromLatin1(option)));
    const CtfFitOptions options = fitOptionsOf(parser);
    const MicrographImage image = readImage(path);
    if (fit) {
        QString problem;
        try {
            problem = bandProblem(options, pixelOf(image, pixelOption(parser), path), isSet(parser, "pixel"));
        } catch (const OrvalisError &e) {
            ioFailure(e.text());
        }
        if (!problem.isEmpty())
            ioFailure(QStringLiteral("%1: %2").arg(path, problem));
    }
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
        printFailure(
            {ExitOk,
             QStringLiteral("%1: the fit holds to %2")
                 .arg(path,
                      fitted.resolution > 0 ? QStringLiteral("%1 Å").arg(nmToAngstrom(fitted.resolution), 0, 'f', 2)
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

// The signal that interrupts a batch, 0 until one comes. Set in the handler and read by the
// workers' progress callbacks and the waiting thread: nothing else happens in the handler.
std::atomic<int> interruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler stores into it");

extern "C" void noteInterruption(int signal)
{
    interruption.store(signal, std::memory_order_relaxed);
}

// SIGINT and SIGTERM stop the batch at the next progress report instead of ending the program; a
// second one ends it at once (the handler is reset by the first).
class InterruptionHandler {
public:
    InterruptionHandler()
    {
        struct sigaction action {};
        action.sa_handler = noteInterruption;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &m_int);
        sigaction(SIGTERM, &action, &m_term);
    }
    ~InterruptionHandler()
    {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }
    InterruptionHandler(const InterruptionHandler &) = delete;
    InterruptionHandler &operator=(const InterruptionHandler &) = delete;

private:
    struct sigaction m_int {};
    struct sigaction m_term {};
};

// Set when the batch ends early on this side (the standard output refused a line): the workers
// stop as for an interruption, so that they can be joined.
std::atomic<bool> abandoned{false};

bool interrupted()
{
    return interruption.load(std::memory_order_relaxed) != 0 || abandoned.load(std::memory_order_relaxed);
}

// Joins the workers on every way out of the batch, stopping them first on the way of a failure.
class Workers {
public:
    ~Workers()
    {
        for (std::thread &t : m_threads)
            if (t.joinable()) {
                abandoned = true;
                t.join();
            }
    }
    template <typename Work> void start(int count, const Work &work)
    {
        for (int t = 0; t < count; ++t)
            m_threads.emplace_back(work);
    }
    void join()
    {
        for (std::thread &t : m_threads)
            t.join();
    }

private:
    std::vector<std::thread> m_threads;
};

// One micrograph's fit; nothing it throws leaves it. `interruptedOut` is set when an interruption
// stopped it: the record is then neither a fit nor a failure.
FitRecord fitFile(const QString &path, const CtfFitOptions &options, double pixel, std::atomic<double> &fraction,
                  bool &interruptedOut)
{
    FitRecord r;
    r.file = path;
    const ProgressCallback progress = [&fraction](double f) {
        fraction = f;
        return !interrupted();
    };
    const auto fail = [&r](const QString &error) {
        r.failed = true;
        r.error = error;
    };
    try {
        const MicrographImage image = readMicrograph(path, [&progress](double f) { return progress(0.1 * f); });
        r.pixelSizeNm = pixelOf(image, pixel, path);
        const QString problem = bandProblem(options, r.pixelSizeNm, pixel > 0);
        if (!problem.isEmpty())
            throw OrvalisError(problem);
        r.result = fitMicrographCtf(image, options, r.pixelSizeNm,
                                    [&progress](double f) { return progress(0.1 + 0.9 * f); });
    } catch (const Cancelled &) {
        interruptedOut = true;
    } catch (const OrvalisError &e) {
        // The readers name the file; the spectrum and the fit do not.
        fail(e.text().contains(path) ? e.text() : QStringLiteral("%1: %2").arg(path, e.text()));
    } catch (const std::bad_alloc &) {
        fail(QStringLiteral("%1: not enough memory to fit it").arg(path));
    } catch (const std::exception &e) {
        fail(
            QStringLiteral("%1: the fit stopped on an internal error: %2").arg(path, QString::fromLocal8Bit(e.what())));
    } catch (...) {
        fail(QStringLiteral("%1: the fit stopped on an internal error").arg(path));
    }
    fraction = 1;
    return r;
}

// One record's line of the table, without the header.
QByteArray tableLine(const FitRecord &record)
{
    const QByteArray table = fitTable({record});
    return table.mid(table.indexOf('\n') + 1);
}

// One record's object of the JSON array, indented as an element of it.
QByteArray jsonElement(const FitRecord &record)
{
    const QJsonArray array = QJsonDocument::fromJson(fitJson({record})).array();
    if (array.isEmpty())
        return {};
    QByteArray text = QJsonDocument(array.first().toObject()).toJson(QJsonDocument::Indented).trimmed();
    text.replace("\n", "\n    ");
    return "    " + text;
}

void saveFile(const QString &path, const QByteArray &bytes)
{
    try {
        saveWholeFile(path, bytes);
    } catch (const OrvalisError &e) {
        ioFailure(e.text());
    }
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
                       "(tab-separated, or --json) in the order the micrographs are given, each as soon as it "
                       "and every one before it are done: defocus U and V (Å), angle (degrees), phase shift "
                       "(degrees), score (normalised cross-correlation over the band), the resolution to "
                       "which the rings follow the fit (Å), the score's significance, whether the fit is "
                       "reliable, and the same astigmatism as Defocus, A2 (nm) and azimuth. A micrograph "
                       "that cannot be read or fitted is reported on the standard error and the others go "
                       "on. A fit is not reliable below the significance needed, and also at an end of the "
                       "defocus range or the astigmatism limit, or when a phase shift not fitted explains "
                       "the rings markedly better: its values are printed, \"no\" under reliable, the "
                       "doubts last, and the reason on the standard error; the STAR and CTFFIND files "
                       "leave it out.\nExit status: 0 every micrograph fitted, 1 one could not be read or "
                       "fitted (or an output could not be written), 2 the command line was refused, 3 every "
                       "micrograph read but one or more gave no reliable fit, 130 or 143 interrupted by SIGINT or "
                       "SIGTERM: the batch stops, and the table, --star and --ctffind-txt hold the micrographs that "
                       "finished (each file replaced whole, or left as it was)."),
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
    // Under `mutex`: which records are done (fitted, failed or stopped by an interruption).
    std::vector<char> done(static_cast<std::size_t>(count), 0), stopped(static_cast<std::size_t>(count), 0);
    std::atomic<int> next{0}, failed{0};
    std::mutex mutex;
    std::condition_variable changed;
    ProgressLine line(count);
    const InterruptionHandler handler;
    const auto work = [&] {
        for (int i = next++; i < count && !interrupted(); i = next++) {
            bool stop = false;
            FitRecord record = fitFile(files[i], options, pixel, fractions[static_cast<std::size_t>(i)], stop);
            if (record.failed)
                ++failed;
            {
                std::lock_guard<std::mutex> lock(mutex);
                records[i] = std::move(record);
                done[static_cast<std::size_t>(i)] = 1;
                stopped[static_cast<std::size_t>(i)] = stop;
            }
            changed.notify_one();
        }
        changed.notify_one();
    };
    Workers pool;
    pool.start(workers, work);

    // Each micrograph's line in the order the micrographs were given, as soon as it and every one
    // before it are done: the table reads the same however the threads finish.
    const bool json = isSet(parser, "json");
    writeOut(json ? QByteArray("[") : fitTable({}));
    int printed = 0, unreliable = 0, written = 0;
    QVector<FitRecord> finished; // what the other outputs hold
    const auto print = [&](const FitRecord &r) {
        line.clear();
        if (r.failed) {
            printFailure({ExitIo, r.error});
            return;
        }
        if (!r.result.values) {
            ++unreliable;
            printFailure({ExitNoReliableFit, QStringLiteral("%1: %2").arg(r.file, r.result.message)});
        } else if (!r.result.reliable()) {
            ++unreliable;
            printFailure({ExitNoReliableFit,
                          QStringLiteral("%1: %2").arg(r.file, fitDoubtText(r.result, shellFitLimitNames()))});
        }
        writeOut(json ? (written++ > 0 ? QByteArray(",\n") : QByteArray("\n")) + jsonElement(r) : tableLine(r));
    };
    for (;;) {
        std::vector<int> ready;
        bool all = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait_for(lock, std::chrono::milliseconds(200));
            while (printed < count && done[static_cast<std::size_t>(printed)]
                   && !stopped[static_cast<std::size_t>(printed)])
                ready.push_back(printed++);
            all = printed == count;
        }
        for (const int i : ready) {
            print(records[i]);
            finished << records[i];
        }
        if (all || interrupted())
            break;
        double fraction = 0;
        for (const auto &f : fractions)
            fraction += f;
        line.show(fraction, failed);
    }
    pool.join();
    // After an interruption: what finished after the first one stopped still counts, in order.
    for (; printed < count && done[static_cast<std::size_t>(printed)]; ++printed)
        if (!stopped[static_cast<std::size_t>(printed)]) {
            print(records[printed]);
            finished << records[printed];
        }
    line.clear();
    if (json)
        writeOut(written > 0 ? QByteArray("\n]\n") : QByteArray("]\n"));
    const int signal = interruption.load();

    if (isSet(parser, "star"))
        saveFile(parser.value(QStringLiteral("star")), fitStar(finished, settings));
    if (isSet(parser, "ctffind-txt"))
        for (const FitRecord &r : finished)
            if (!r.failed && r.result.reliable()) {
                const QString txt = ctffindPath(r.file);
                if (QFileInfo(txt).canonicalFilePath() == QFileInfo(r.file).canonicalFilePath())
                    ioFailure(QStringLiteral("%1: its CTFFIND text would replace the micrograph itself").arg(r.file));
                saveFile(txt, ctffindText(r, settings));
            }
    if (signal != 0) {
        printFailure({128 + signal,
                      QStringLiteral("fit: interrupted by %1 with %2 of %3 micrographs done; the outputs "
                                     "hold what those gave")
                          .arg(QString::fromLatin1(signal == SIGINT ? "SIGINT" : "SIGTERM"))
                          .arg(finished.size())
                          .arg(count)});
        return 128 + signal;
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
