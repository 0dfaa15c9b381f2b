#include "cli/micrographcommands.h"

#include "cli/ctfcli.h"
#include "cli/fitoutputs.h"

#include "core/buildinfo.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"
#include "micrograph/ctffit.h"
#include "micrograph/fitrequest.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/micrographreader.h"
#include "micrograph/patchfit.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/ringaverage.h"
#include "micrograph/spectrumfile.h"
#include "session/micrographviews.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include <csignal>
#include <unistd.h>

namespace orvalis::cli {

void addOption(QCommandLineParser &parser, const char *name, const char *valueName, const QString &description)
{
    QCommandLineOption option(QString::fromLatin1(name), description);
    if (valueName)
        option.setValueName(QString::fromLatin1(valueName));
    parser.addOption(option);
}

void addOption(QCommandLineParser &parser, const char *name, const char *valueName, const char *description)
{
    addOption(parser, name, valueName, QString::fromUtf8(description));
}

namespace {

bool isSet(const QCommandLineParser &parser, const char *name)
{
    return parser.isSet(QString::fromLatin1(name));
}

double number(const QCommandLineParser &parser, const char *name)
{
    return numberOption(parser, QString::fromLatin1(name));
}

// The option's number, or NaN when it is none: the request's check then refuses it, naming the
// option and its range.
double typedNumber(const QCommandLineParser &parser, const char *name)
{
    bool ok = false;
    const double v = parser.value(QString::fromLatin1(name)).trimmed().toDouble(&ok);
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

[[noreturn]] void refuse(const QCommandLineParser &parser, const FitProblem &problem)
{
    usageFailure(problem.option.isEmpty()
                     ? problem.text
                     : QStringLiteral("%1: %2").arg(optionAndValue(parser, problem.option), problem.text));
}

int hardwareThreads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

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
    if (!isSet(parser, "pixel"))
        return 0.0;
    const double v = typedNumber(parser, "pixel");
    if (!(v >= kFitMinPixelSize && v <= kFitMaxPixelSize))
        usageFailure(QStringLiteral("%1: it must be a number from %2 to %3 Å")
                         .arg(optionAndValue(parser, QStringLiteral("pixel")), formatGeneral(kFitMinPixelSize),
                              formatGeneral(kFitMaxPixelSize)));
    return angstromToNm(v);
}

namespace {

MicrographJob readImage(const QString &path)
{
    try {
        return MicrographJob::read(path);
    } catch (const OrvalisError &e) {
        ioFailure(e.text());
    }
}

// The shell refuses a micrograph without a pixel size where the window takes one for it.
double pixelOf(const MicrographJob &job, double given)
{
    const double pixel = job.pixelSize(given);
    if (!(pixel > 0))
        throw OrvalisError(QStringLiteral("%1: the file gives no pixel size; give it with --pixel Å").arg(job.path()));
    return pixel;
}

} // namespace

void addFitOptions(QCommandLineParser &parser)
{
    const FitRequest d;
    const auto withDefault = [&parser](const char *name, const char *valueName, const char *description,
                                       const QString &value) {
        addOption(parser, name, valueName,
                  QStringLiteral("%1 (default %2)").arg(QString::fromUtf8(description), value));
    };
    withDefault("kv", "KV", "accelerating voltage, kV", formatGeneral(d.voltage));
    withDefault("cs", "MM", "spherical aberration constant, mm", formatGeneral(d.cs));
    withDefault("amplitude-contrast", "Q", "amplitude contrast, 0 .. <1", formatGeneral(d.amplitudeContrast));
    withDefault("min-defocus", "A", "smallest underfocus searched, Å", formatGeneral(d.minUnderfocus));
    withDefault("max-defocus", "A", "largest underfocus searched, Å", formatGeneral(d.maxUnderfocus));
    withDefault("max-astigmatism", "A", "largest defocus U - V searched, Å", formatGeneral(d.maxAstigmatism));
    withDefault("band", "LOW:HIGH", "the resolutions fitted, Å",
                formatGeneral(d.lowResolution) + QLatin1Char(':') + formatGeneral(d.highResolution));
    addOption(parser, "fit-phase-shift", nullptr, "fit a phase plate's shift too");
    addOption(parser, "fit-tilt", nullptr,
              "fit the specimen's tilt too: angle (0-70 degrees) and axis; the defocus is then the centre's and the "
              "spectrum is corrected for the tilt");
    addOption(parser, "fit-thickness", nullptr,
              "fit the specimen's thickness too (Å); none for a specimen thin for the band, whose rings' first node "
              "lies beyond the band's top: thinner than 1 / (wavelength x k_top^2)");
    withDefault("phase-shift", "DEG", "the known phase shift when it is not fitted, degrees",
                formatGeneral(d.phaseShift.value_or(0)));
}

// The request the options make, as typed: what is no number is NaN, for fitRequestProblem to refuse.
FitRequest requestOf(const QCommandLineParser &parser)
{
    FitRequest r;
    const std::pair<const char *, double FitRequest::*> numbers[] = {
        {"kv", &FitRequest::voltage},
        {"cs", &FitRequest::cs},
        {"amplitude-contrast", &FitRequest::amplitudeContrast},
        {"min-defocus", &FitRequest::minUnderfocus},
        {"max-defocus", &FitRequest::maxUnderfocus},
        {"max-astigmatism", &FitRequest::maxAstigmatism},
        {"pixel", &FitRequest::pixelSize}};
    for (const auto &[name, value] : numbers)
        if (isSet(parser, name))
            r.*value = typedNumber(parser, name);
    if (isSet(parser, "band")) {
        const QStringList parts = parser.value(QStringLiteral("band")).split(QLatin1Char(':'));
        bool okLow = false, okHigh = false;
        const double low = parts.size() == 2 ? parts[0].toDouble(&okLow) : 0;
        const double high = parts.size() == 2 ? parts[1].toDouble(&okHigh) : 0;
        r.lowResolution = okLow && okHigh ? low : std::numeric_limits<double>::quiet_NaN();
        r.highResolution = okLow && okHigh ? high : std::numeric_limits<double>::quiet_NaN();
    }
    r.fitPhaseShift = isSet(parser, "fit-phase-shift");
    r.fitTilt = isSet(parser, "fit-tilt");
    r.fitThickness = isSet(parser, "fit-thickness");
    if (isSet(parser, "phase-shift"))
        r.phaseShift = typedNumber(parser, "phase-shift");
    return r;
}

// The fit's options for `request`, refused as the request's check words it. A band against the
// micrograph's pixel size is each file's matter (bandProblem), whether the size comes from --pixel
// or from the file.
CtfFitOptions checkedFitOptions(const QCommandLineParser &parser, const FitRequest &request)
{
    const FitProblem problem = fitRequestProblem(request, {FitVoice::Shell});
    if (!problem.isEmpty())
        refuse(parser, problem);
    CtfFitOptions o = fitOptionsOf(request);
    o.tileSize = tileOption(parser);
    return o;
}

int threadsOption(const QCommandLineParser &parser)
{
    if (!isSet(parser, "threads"))
        return hardwareThreads();
    const double t = number(parser, "threads");
    if (t != std::floor(t) || t < 1 || t > 256)
        usageFailure(
            QStringLiteral("%1: a whole number from 1 to 256").arg(optionAndValue(parser, QStringLiteral("threads"))));
    return static_cast<int>(t);
}

namespace {

// Empty when the band fits within the Nyquist limit of `pixelNm`, else why not, saying where the
// pixel size came from.
QString bandProblem(const FitRequest &request, double pixelNm)
{
    return fitRequestProblem(request, {FitVoice::Shell, pixelNm, false}).text;
}

// ---- spectrum -----------------------------------------------------------------------------------

// The spectrum shown or saved (a fit computes its own: fitMicrograph).
PowerSpectrum spectrumOf(const QCommandLineParser &parser, const MicrographJob &job)
{
    try {
        return job.spectrum(
            {pixelOf(job, pixelOption(parser)), tileOption(parser), nullptr, std::min(16, hardwareThreads())});
    } catch (const OrvalisError &e) {
        ioFailure(e.text().startsWith(job.path()) ? e.text() : QStringLiteral("%1: %2").arg(job.path(), e.text()));
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
    const PowerSpectrum spectrum = spectrumOf(parser, readImage(path));
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
                               "band", "fit-phase-shift", "phase-shift", "fit-tilt", "fit-thickness"})
        if (isSet(parser, option) && !fit)
            usageFailure(QStringLiteral("--%1: only with --fit").arg(QString::fromLatin1(option)));
    const FitRequest request = requestOf(parser);
    CtfFitOptions options = checkedFitOptions(parser, request);
    options.threads = std::min(16, hardwareThreads());
    const MicrographJob job = readImage(path);
    if (!fit) {
        const PowerSpectrum spectrum = spectrumOf(parser, job);
        const RingAverage average = rotationalAverage(spectrum.rings, spectrum.size, spectrum.frequencyStep);
        QByteArray table = QByteArray("k\t") + averageColumnTitle(AverageColumn::Average) + "\r\n";
        for (std::size_t b = 0; b < average.value.size(); ++b) {
            char buffer[kGeneralTextMax];
            table.append(buffer, writeGeneral(buffer, static_cast<double>(b) * spectrum.frequencyStep));
            appendCell(table, average.value[b]);
            table += "\r\n";
        }
        if (!isSet(parser, "crlf"))
            table.replace("\r\n", "\n");
        writeOut(table);
        return ExitOk;
    }
    MicrographFit fitted;
    try {
        const double pixel = pixelOf(job, pixelOption(parser));
        const QString problem = bandProblem(request, pixel);
        if (!problem.isEmpty())
            ioFailure(QStringLiteral("%1: %2").arg(path, problem));
        fitted = job.fit(options, pixel);
    } catch (const OrvalisError &e) {
        ioFailure(e.text().startsWith(path) ? e.text() : QStringLiteral("%1: %2").arg(path, e.text()));
    }
    const PowerSpectrum &spectrum = fitted.spectrum;
    const CtfFitResult &result = fitted.result;
    const double step = spectrum.frequencyStep;
    if (!result.values) {
        printFailure({ExitNoReliableFit, QStringLiteral("%1: %2").arg(path, result.message)});
        return ExitNoReliableFit;
    }
    const FitAgreement agreed = fitAgreement(spectrum, fittedModel(options, *result.values), 1 / options.lowResolution);
    QByteArray table = QByteArray("k\t") + averageColumnTitle(AverageColumn::Average) + '\t'
        + averageColumnTitle(AverageColumn::ModelCtf2) + '\t' + averageColumnTitle(AverageColumn::Agreement) + "\r\n";
    for (std::size_t b = 0; b < agreed.average.value.size(); ++b) {
        char buffer[kGeneralTextMax];
        table.append(buffer, writeGeneral(buffer, static_cast<double>(b) * step));
        appendCell(table, agreed.average.value[b]);
        appendCell(table, agreed.modelCtf2[b]);
        appendCell(table, b < agreed.agreement.correlation.size() ? agreed.agreement.correlation[b] : NAN);
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
                  agreed.resolution > 0 ? QStringLiteral("%1 Å").arg(nmToAngstrom(agreed.resolution), 0, 'f', 2)
                                        : QStringLiteral("no resolution: the rings never agree"))});
    if (!result.reliable()) {
        printFailure(
            {ExitNoReliableFit, QStringLiteral("%1: %2").arg(path, fitDoubtText(result, shellFitLimitNames()))});
        return ExitNoReliableFit;
    }
    return ExitOk;
}

// ---- fit ----------------------------------------------------------------------------------------

// The batch's progress line.
class ProgressLine {
public:
    explicit ProgressLine(int files) : m_files(files) {}

    void show(double done, int failed)
    {
        m_line.show(QStringLiteral("orvalis-ctf fit: %1 %, %2 of %3 micrographs done%4")
                        .arg(100 * done / m_files, 0, 'f', 0)
                        .arg(static_cast<int>(std::floor(done + 1e-9)))
                        .arg(m_files)
                        .arg(failed ? QStringLiteral(", %1 failed").arg(failed) : QString()));
    }
    void clear() { m_line.clear(); }
    bool shown() const { return m_line.shown(); }

private:
    int m_files;
    TerminalLine m_line;
};

// The signal that interrupts a batch, 0 until one comes. Set in the handler and read by the
// workers' progress callbacks and the waiting thread: nothing else happens in the handler.
std::atomic<int> interruption{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler stores into it");

extern "C" void noteInterruption(int signal)
{
    interruption.store(signal, std::memory_order_relaxed);
}

} // namespace

// A second signal ends the program at once: the handler is reset by the first.
InterruptionHandler::InterruptionHandler()
{
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &m_int);
    sigaction(SIGTERM, &action, &m_term);
}

InterruptionHandler::~InterruptionHandler()
{
    sigaction(SIGINT, &m_int, nullptr);
    sigaction(SIGTERM, &m_term, nullptr);
}

int interruptionSignal()
{
    return interruption.load(std::memory_order_relaxed);
}

namespace {

// Set when the batch ends early on this side (the standard output refused a line): the workers
// stop as for an interruption, so that they can be joined.
std::atomic<bool> abandoned{false};

} // namespace

TerminalLine::TerminalLine() : m_shown(isatty(fileno(stderr)) == 1) {}

void TerminalLine::show(const QString &text)
{
    if (!m_shown)
        return;
    const QByteArray line = ("\r" + text + "\033[K").toUtf8();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

void TerminalLine::clear()
{
    if (m_shown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

bool interrupted()
{
    return interruption.load(std::memory_order_relaxed) != 0 || abandoned.load(std::memory_order_relaxed);
}

namespace {

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
FitRecord fitFile(const QString &path, const FitRequest &request, const CtfFitOptions &options, double pixel,
                  bool patches, bool keepSpectrum, std::atomic<double> &fraction, bool &interruptedOut)
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
        const MicrographJob job = MicrographJob::read(path, [&progress](double f) { return progress(0.1 * f); });
        r.pixelSizeNm = pixelOf(job, pixel);
        const QString problem = bandProblem(request, r.pixelSizeNm);
        if (!problem.isEmpty())
            throw OrvalisError(problem);
        const double fitShare = patches ? 0.5 : 0.9;
        MicrographFit fitted = job.fit(options, r.pixelSizeNm, [&](double f) { return progress(0.1 + fitShare * f); });
        r.result = fitted.result;
        if (keepSpectrum)
            r.spectrum = std::make_shared<const PowerSpectrum>(std::move(fitted.spectrum));
        if (patches) {
            if (!r.result.reliable())
                r.localProblem = QStringLiteral("the whole micrograph has no reliable fit to start the patches from");
            else
                try {
                    r.local = fitLocalDefocus(job.image(), options, *r.result.values, r.pixelSizeNm, {options.threads},
                                              [&](double f) { return progress(0.6 + 0.4 * f); });
                } catch (const OrvalisError &e) {
                    r.localProblem = e.text();
                }
        }
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
QByteArray tableLine(const FitRecord &record, const CtfFitOptions &asked)
{
    const QByteArray table = fitTable({record}, asked);
    return table.mid(table.indexOf('\n') + 1);
}

// One record's object of the JSON array, indented as an element of it.
QByteArray jsonElement(const FitRecord &record, const CtfFitOptions &asked)
{
    const QJsonArray array = QJsonDocument::fromJson(fitJson({record}, asked)).array();
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

// Why files cannot be written into `dir` (made when missing), or an empty text: the folder is made
// and a file tried in it, which finds what permissions alone do not (a read-only disk).
QString writableFolderProblem(const QString &dir)
{
    const QFileInfo info(dir);
    if (info.exists() && !info.isDir())
        return QStringLiteral("not a folder");
    if (!QDir().mkpath(dir))
        return QStringLiteral("the folder cannot be made");
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".orvalis-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("no file can be written into it: %1").arg(probe.errorString());
    return {};
}

int runFit(const QStringList &arguments)
{
    QCommandLineParser parser;
    addImageOptions(parser);
    addFitOptions(parser);
    addOption(parser, "threads", "N", "micrographs fitted at once, one a thread (default: every processor)");
    addOption(parser, "json", nullptr, "the table as a JSON array instead of tab-separated lines");
    addOption(parser, "star", "FILE",
              "also write a STAR file of the reliable fits in RELION's columns (with --fit-tilt its "
              "_rlnMicrographTiltAngle and _rlnMicrographTiltAxisDirection too, 0 where none is reported; RELION has "
              "no label for the thickness)");
    addOption(parser, "ctffind-txt", nullptr,
              "also write CTFFIND4's text file of each reliable fit beside its micrograph (NAME.txt); with --fit-tilt "
              "or --fit-thickness CTFFIND5's, whose columns 8 to 10 are the tilt axis, the tilt angle (degrees) and "
              "the thickness (Å), 0 where one is not reported");
    addOption(parser, "patches", "FILE.tsv",
              "also fit the local defocus, patch by patch, and write it as a table: x_px, y_px (the patch's "
              "centre from the top-left pixel), defocus_u_A, defocus_v_A, angle_deg, score, significant "
              "(values empty where \"no\"); with several micrographs FILE_NAME.tsv for each NAME.mrc");
    addOption(parser, "diagnostics", "DIR",
              "also write each fit's pictures into DIR (made if missing): NAME_fit.png and NAME_fit.mrc (float32), "
              "the spectrum up to Nyquist with the fitted model in its lower half, and NAME_profile.png and "
              "NAME_profile.svg, the spectrum's average along the model's rings against the model with their "
              "agreement");
    parseCommand(
        parser, QStringLiteral("fit"),
        QStringLiteral("Fits the CTF to each micrograph's power spectrum: defocus U and V, the angle of U, and "
                       "with --fit-phase-shift a phase plate's shift, with --fit-tilt the specimen's tilt and with "
                       "--fit-thickness its thickness. Prints one line per micrograph "
                       "(tab-separated, or --json) in the order the micrographs are given, each as soon as it "
                       "and every one before it are done: defocus U and V (Å), angle (degrees), phase shift "
                       "(degrees), with --fit-tilt the tilt and its axis (tilt_deg, tilt_axis_deg: the mean "
                       "defocus at pixel (x, y) from the image's centre, x the column and y the row, is D0 + "
                       "tan(tilt) p (y cos(axis) - x sin(axis)) for pixels of p Å, D0 the centre's, which U and V "
                       "are), with --fit-thickness the thickness (thickness_A, Å), either cell empty where the "
                       "band cannot see it (a tilt changing the defocus across the image by less than a tenth of a "
                       "ring at the band's top; a thickness whose rings' first node lies beyond the band's top, or "
                       "below its low end) and why on the standard error, score (normalised cross-correlation over the "
                       "band), the resolution to "
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
    const FitRequest request = requestOf(parser);
    CtfFitOptions options = checkedFitOptions(parser, request);
    const double pixel = pixelOption(parser);
    const int threads = threadsOption(parser);
    const int count = static_cast<int>(files.size());
    const bool patches = isSet(parser, "patches");
    if (patches) {
        const QString given = parser.value(QStringLiteral("patches"));
        if (given.isEmpty())
            usageFailure(QStringLiteral("--patches: give the file to write the local defocus to"));
        QMap<QString, QString> taken; // table -> micrograph
        for (const QString &f : files) {
            const QString table = QFileInfo(patchesPath(given, f, count > 1)).absoluteFilePath();
            if (taken.contains(table))
                usageFailure(QStringLiteral("--patches: %1 and %2 would both write %3; fit micrographs of the same "
                                            "name apart")
                                 .arg(taken.value(table), f, patchesPath(given, f, count > 1)));
            if (QFileInfo(table).canonicalFilePath() == QFileInfo(f).canonicalFilePath() && QFileInfo::exists(table))
                usageFailure(QStringLiteral("--patches: the table would replace the micrograph %1 itself").arg(f));
            taken.insert(table, f);
        }
    }
    const bool diagnostics = isSet(parser, "diagnostics");
    const QString diagnosticsDir = parser.value(QStringLiteral("diagnostics"));
    if (diagnostics) {
        if (diagnosticsDir.isEmpty())
            usageFailure(QStringLiteral("--diagnostics: give the folder to write the fits' pictures into"));
        if (!diagnosticsWriter())
            usageFailure(QStringLiteral("--diagnostics: this program cannot draw; run orvalis-ctf"));
        QMap<QString, QString> taken; // picture -> micrograph
        for (const QString &f : files) {
            const QString picture = QFileInfo(fitPictureFiles(diagnosticsDir, f).spectrumPng).absoluteFilePath();
            if (taken.contains(picture))
                usageFailure(QStringLiteral("--diagnostics: %1 and %2 would both write %3; fit micrographs of the "
                                            "same name apart")
                                 .arg(taken.value(picture), f, fitPictureFiles(diagnosticsDir, f).spectrumPng));
            taken.insert(picture, f);
        }
        // Refused before any micrograph is fitted: a batch's pictures are not lost at its end.
        const QString problem = writableFolderProblem(diagnosticsDir);
        if (!problem.isEmpty())
            ioFailure(QStringLiteral("--diagnostics %1: %2").arg(quoted(diagnosticsDir), problem));
    }
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
            FitRecord record = fitFile(files[i], request, options, pixel, patches, diagnostics,
                                       fractions[static_cast<std::size_t>(i)], stop);
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
    writeOut(json ? QByteArray("[") : fitTable({}, options));
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
        // Why a tilt or a thickness asked for is not reported: a statement, not a failure.
        if (r.result.values && !r.result.specimenNote.isEmpty())
            printFailure({ExitOk, QStringLiteral("%1: %2").arg(r.file, r.result.specimenNote)});
        writeOut(json ? (written++ > 0 ? QByteArray(",\n") : QByteArray("\n")) + jsonElement(r, options)
                      : tableLine(r, options));
    };
    // On this thread: the pictures draw with the toolkit, which draws on one thread only.
    const auto picture = [&](FitRecord &r) {
        if (!diagnostics || r.failed || !r.spectrum)
            return;
        try {
            diagnosticsWriter()(diagnosticsDir, r, options);
        } catch (const OrvalisError &e) {
            ++failed;
            printFailure({ExitIo, e.text()});
        }
        r.spectrum.reset();
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
            picture(records[i]);
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
            picture(records[printed]);
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
    if (patches)
        for (const FitRecord &r : finished) {
            if (r.failed)
                continue;
            if (!r.local) {
                ++failed;
                printFailure({ExitIo, QStringLiteral("%1: no local defocus: %2").arg(r.file, r.localProblem)});
                continue;
            }
            saveFile(patchesPath(parser.value(QStringLiteral("patches")), r.file, count > 1), patchTable(*r.local));
            // The table has no room for it, and a user checking a tilt wants it at once.
            if (r.local->plane)
                printFailure({ExitOk, QStringLiteral("%1: %2").arg(r.file, planeSummary(*r.local->plane))});
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
