#include "session/fitcatalogue.h"

#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"
#include "session/backgroundwork.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"
#include "session/micrographviews.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>

namespace orvalis {
namespace {

const QStringList &micrographSuffixes()
{
    static const QStringList suffixes{QStringLiteral("mrc"), QStringLiteral("mrcs"), QStringLiteral("st"),
                                      QStringLiteral("ali"), QStringLiteral("tif"),  QStringLiteral("tiff"),
                                      QStringLiteral("png")};
    return suffixes;
}

const QStringList &tableSuffixes()
{
    static const QStringList suffixes{QStringLiteral("star"), QStringLiteral("json"), QStringLiteral("tsv"),
                                      QStringLiteral("txt"), QStringLiteral("log")};
    return suffixes;
}

// Where a table's micrograph lies: as named when absolute, else beside the table or in a folder
// above it (RELION names micrographs from its project's folder, two levels above a job's STAR
// file), else by its file name beside the table.
QString locate(const QString &name, const QDir &tableFolder, bool *found)
{
    *found = true;
    if (QFileInfo(name).isAbsolute()) {
        if (QFileInfo::exists(name))
            return QDir::cleanPath(name);
    } else {
        QDir dir = tableFolder;
        for (int up = 0; up < 4; ++up) {
            const QString candidate = dir.absoluteFilePath(name);
            if (QFileInfo::exists(candidate))
                return QDir::cleanPath(candidate);
            if (!dir.cdUp())
                break;
        }
    }
    const QString beside = tableFolder.absoluteFilePath(QFileInfo(name).fileName());
    if (QFileInfo::exists(beside))
        return QDir::cleanPath(beside);
    *found = false;
    return QFileInfo(name).isAbsolute() ? name : QDir::cleanPath(tableFolder.absoluteFilePath(name));
}

QString shownName(const QString &path, const QDir &base, int number)
{
    QString name = base.relativeFilePath(path);
    if (name.startsWith(QLatin1String("..")))
        name = QFileInfo(path).fileName();
    if (number > 0)
        name += QStringLiteral(" [%1]").arg(number);
    return name;
}

QString sourceOf(const FitTable &table)
{
    if (!table.program.isEmpty())
        return table.program;
    return QFileInfo(table.path).fileName();
}

// How much a table says: the richer of two tables of one program keeps the entry.
int richness(FitTableFormat format)
{
    switch (format) {
    case FitTableFormat::OurJson: return 3;
    case FitTableFormat::OurTable: return 2;
    case FitTableFormat::CtffindText: return 1;
    case FitTableFormat::Star: return 0;
    }
    return 0;
}

// Two tables' rows of one micrograph that give the same fit (within the rounding of the coarsest
// table, two decimals) are one fit written twice, as `fit --star --ctffind-txt` writes it.
bool sameFit(const FitTableRow &a, const FitTableRow &b)
{
    if (!a.defocus || !b.defocus)
        return !a.defocus && !b.defocus;
    return std::fabs(a.defocus->defocusU - b.defocus->defocusU) < 0.01
        && std::fabs(a.defocus->defocusV - b.defocus->defocusV) < 0.01
        && std::fabs(a.defocus->angle - b.defocus->angle) < 0.01;
}

struct Found {
    CatalogueEntry entry;
    int richness = 0;
};

void addTable(const FitTable &table, const QDir &base, QVector<Found> &found, QHash<QString, QVector<int>> &byPath)
{
    const QDir folder = QFileInfo(table.path).absoluteDir();
    for (const FitTableRow &row : table.rows) {
        CatalogueEntry e;
        e.path = locate(row.micrograph, folder, &e.found);
        e.name = shownName(e.path, base, row.number);
        e.fit = row;
        e.source = sourceOf(table);
        e.table = table.path;
        const int rich = richness(table.format);
        bool merged = false;
        for (const int i : byPath.value(e.path)) {
            Found &f = found[i];
            if (f.entry.fit && f.entry.fit->number == row.number && sameFit(*f.entry.fit, row)) {
                // The richer table's row stands; the optics and pixel size only the other gives (our
                // JSON has none, the STAR and CTFFIND files written with it have them) join it.
                FitTableRow other = *f.entry.fit;
                if (rich > f.richness) {
                    f.entry = e;
                    f.richness = rich;
                } else {
                    other = row;
                }
                FitTableRow &kept = *f.entry.fit;
                if (!kept.optics)
                    kept.optics = other.optics;
                if (!(kept.pixelSize > 0))
                    kept.pixelSize = other.pixelSize;
                merged = true;
                break;
            }
        }
        if (!merged) {
            byPath[e.path] << static_cast<int>(found.size());
            found.append(Found{e, rich});
        }
    }
}

QVector<CatalogueEntry> sorted(const QVector<Found> &found)
{
    QVector<CatalogueEntry> entries;
    entries.reserve(found.size());
    for (const Found &f : found)
        entries << f.entry;
    std::stable_sort(entries.begin(), entries.end(), [](const CatalogueEntry &a, const CatalogueEntry &b) {
        const int byName = QString::localeAwareCompare(a.name, b.name);
        return byName != 0 ? byName < 0 : a.source < b.source;
    });
    return entries;
}

FitCatalogue openFolder(const QString &path)
{
    const QDir dir(path);
    const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    QVector<Found> found;
    QStringList micrographs;
    QSet<QString> diagnostics; // CTFFIND's spectra beside their text: no micrographs
    QVector<FitTable> tables;
    for (const QFileInfo &file : files) {
        const QString suffix = file.suffix().toLower();
        if (micrographSuffixes().contains(suffix)) {
            micrographs << QDir::cleanPath(file.absoluteFilePath());
            continue;
        }
        if (!tableSuffixes().contains(suffix))
            continue;
        QFile f(file.absoluteFilePath());
        if (!openIfRegular(f).isEmpty())
            continue;
        const QByteArray head = f.read(65536);
        const std::optional<FitTableFormat> format = fitTableFormatOf(head);
        if (!format)
            continue; // a text file of another kind
        // A RELION project's folders hold other STAR files too (job.star, particles with their own
        // defocus): only one of micrographs' fits is read.
        if (*format == FitTableFormat::Star
            && (!head.contains("_rlnMicrographName") || !head.contains("_rlnDefocusU")
                || head.contains("_rlnImageName")))
            continue;
        f.close();
        tables << readFitTable(file.absoluteFilePath());
    }
    QHash<QString, QVector<int>> byPath;
    for (const FitTable &t : tables) {
        addTable(t, dir, found, byPath);
        // CTFFIND writes its diagnostic spectrum as NAME.mrc beside NAME.txt: where the text fits
        // another file, that spectrum is no micrograph of the folder.
        if (t.format == FitTableFormat::CtffindText) {
            const QFileInfo text(t.path);
            const QString spectrum = QDir::cleanPath(
                text.absoluteDir().absoluteFilePath(text.completeBaseName() + QStringLiteral(".mrc")));
            bool located = false;
            const QString input = locate(t.inputFile, text.absoluteDir(), &located);
            if (located && input != spectrum)
                diagnostics.insert(spectrum);
        }
    }
    // A fit's own pictures (fit --diagnostics, Fit Pictures) saved beside its micrograph are none either.
    for (const QString &m : micrographs) {
        const FitPictureFiles pictures = fitPictureFiles(dir.absolutePath(), m);
        for (const QString &picture : {pictures.spectrumPng, pictures.spectrumMrc, pictures.profilePng})
            diagnostics.insert(QDir::cleanPath(picture));
    }
    QSet<QString> fitted;
    for (const Found &f : found)
        fitted.insert(f.entry.path);
    for (const QString &m : micrographs)
        if (!fitted.contains(m) && !diagnostics.contains(m)) {
            CatalogueEntry e;
            e.path = m;
            e.name = shownName(m, dir, 0);
            e.found = true;
            found.append(Found{e, 0});
        }
    if (found.isEmpty())
        throw OrvalisError(QStringLiteral("%1: no micrographs (MRC, TIFF, PNG) and no fit tables (STAR, CTFFIND "
                                          "text, orvalis-ctf fit's table or JSON) in this folder")
                               .arg(QDir::toNativeSeparators(path)));
    return FitCatalogue{QDir::cleanPath(dir.absolutePath()), sorted(found)};
}

QString cell(const std::optional<double> &v, int decimals)
{
    return v ? formatFixed(*v, decimals) : QString();
}

} // namespace

FitCatalogue openFitCatalogue(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return openFolder(path);
    if (!info.exists())
        throw OrvalisError(QStringLiteral("%1: no such file or folder").arg(QDir::toNativeSeparators(path)));
    const FitTable table = readFitTable(path);
    if (table.rows.isEmpty())
        throw OrvalisError(QStringLiteral("%1: the table holds no micrographs").arg(QDir::toNativeSeparators(path)));
    QVector<Found> found;
    QHash<QString, QVector<int>> byPath;
    addTable(table, info.absoluteDir(), found, byPath);
    return FitCatalogue{QDir::cleanPath(info.absoluteFilePath()), sorted(found)};
}

bool catalogueAccepts(const CatalogueEntry &e, const CatalogueFilter &filter)
{
    if (!filter.text.isEmpty() && !e.name.contains(filter.text, Qt::CaseInsensitive)
        && !e.source.contains(filter.text, Qt::CaseInsensitive))
        return false;
    if (filter.reliableOnly && (!e.fit || !e.fit->defocus || e.fit->reliable == std::optional<bool>(false)))
        return false;
    if (filter.holdsToBetter > 0 && !(e.fit && e.fit->resolution && *e.fit->resolution <= filter.holdsToBetter))
        return false;
    return true;
}

// ---- the table ----------------------------------------------------------------------------------

FitCatalogueModel::FitCatalogueModel(QObject *parent) : QAbstractTableModel(parent) {}

void FitCatalogueModel::setCatalogue(FitCatalogue catalogue)
{
    beginResetModel();
    m_catalogue = std::move(catalogue);
    endResetModel();
}

int FitCatalogueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_catalogue.entries.size());
}

int FitCatalogueModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FitCatalogueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    // Two lines where a unit follows: the columns stay narrow enough for all of them on a small screen.
    static const char *const titles[ColumnCount] = {
        "Spectrum",   "Micrograph",       "Source",    "Defocus U\n(Å)", "Defocus V\n(Å)",
        "Angle\n(°)", "Phase\nshift (°)", "Tilt\n(°)", "Tilt axis\n(°)", "Thickness\n(Å)",
        "Score",      "Holds to\n(Å)",    "Reliable"};
    static const char *const tips[ColumnCount] = {
        "The spectrum above, the fit's model below",
        "The micrograph's file",
        "Who fitted it: the program that wrote the table, or the STAR file's name",
        "Underfocus along the angle",
        "Underfocus across it",
        "Of defocus U from the x axis",
        "A phase plate's shift",
        "The specimen's tilt, where fitted",
        "The direction of the tilt's axis",
        "The specimen's thickness, where fitted",
        "Our score, CTFFIND's cross-correlation or RELION's figure of merit: each program's own measure",
        "The resolution up to which the rings follow the fit",
        "Only our own tables judge it; \u2014 where the table does not say"};
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(titles[section]);
    if (role == Qt::ToolTipRole)
        return QString::fromUtf8(tips[section]);
    return {};
}

QVariant FitCatalogueModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CatalogueEntry &e = m_catalogue.entries[index.row()];
    const std::optional<FitTableRow> &f = e.fit;
    const bool values = f && f->defocus;
    const auto numeric = [&]() -> std::optional<double> {
        if (!f)
            return std::nullopt;
        switch (index.column()) {
        case DefocusU: return values ? std::optional<double>(f->defocus->defocusU) : std::nullopt;
        case DefocusV: return values ? std::optional<double>(f->defocus->defocusV) : std::nullopt;
        case Angle: return values ? std::optional<double>(f->defocus->angle) : std::nullopt;
        case PhaseShift: return f->phaseShift;
        case Tilt: return f->tiltAngle;
        case TiltAxis: return f->tiltAxis;
        case Thickness: return f->thickness;
        case Score: return f->score;
        case HoldsTo: return f->resolution;
        default: return std::nullopt;
        }
    };
    if (role == SortRole) {
        switch (index.column()) {
        case Micrograph: return e.name;
        case Source: return e.source;
        case Reliable: return !values ? 0 : (f->reliable ? (*f->reliable ? 3 : 1) : 2);
        case Spectrum: return index.row();
        default: {
            // Unknown values after every number, whichever way it is sorted: the proxy compares doubles,
            // so they take the largest.
            const std::optional<double> v = numeric();
            return v ? *v : std::numeric_limits<double>::max();
        }
        }
    }
    if (role == Qt::TextAlignmentRole)
        return index.column() >= DefocusU && index.column() <= HoldsTo ? int(Qt::AlignRight | Qt::AlignVCenter)
                                                                       : int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole) {
        if (index.column() == Micrograph)
            return e.found ? QDir::toNativeSeparators(e.path)
                           : QStringLiteral("%1 is not there").arg(QDir::toNativeSeparators(e.path));
        if (index.column() == Source && f)
            return QStringLiteral("%1, line %2").arg(QDir::toNativeSeparators(e.table)).arg(f->line);
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Micrograph: return e.found ? e.name : e.name + QStringLiteral(" (not found)");
    case Source: return f ? e.source : QStringLiteral("not fitted");
    case DefocusU:
    case DefocusV:
    case Thickness: return cell(numeric(), 0);
    case Angle:
    case PhaseShift:
    case Tilt:
    case TiltAxis: return cell(numeric(), 1);
    case Score: return cell(numeric(), 4);
    case HoldsTo: return cell(numeric(), 2);
    case Reliable:
        if (!f)
            return QString();
        if (!values)
            return QStringLiteral("no fit");
        return f->reliable ? (*f->reliable ? QStringLiteral("yes") : QStringLiteral("no")) : QStringLiteral("\u2014");
    default: return {};
    }
}

// ---- thumbnails ---------------------------------------------------------------------------------

std::optional<CtfModel> entryModel(const CatalogueEntry &entry, const CtfUserValues &fallback)
{
    if (!entry.fit || !entry.fit->defocus)
        return std::nullopt;
    CtfUserValues v = fallback;
    if (entry.fit->optics) {
        v.voltage = entry.fit->optics->voltage;
        v.cs = entry.fit->optics->cs;
        v.amplitudeContrast = entry.fit->optics->amplitudeContrast;
    }
    v.defocus = *entry.fit->defocus;
    v.phaseShift = entry.fit->phaseShift.value_or(0.0);
    try {
        CtfModel model(v);
        model.thickness = angstromToNm(entry.fit->thickness.value_or(0));
        return model;
    } catch (const OrvalisError &) {
        return std::nullopt; // optics no model takes (a voltage of 0): the spectrum alone
    }
}

CompositeGrid fitThumbnail(const PowerSpectrum &spectrum, const CtfModel *model, int centre)
{
    const double nyquist = (spectrum.size / 2) * spectrum.frequencyStep;
    double range = nyquist;
    if (model) {
        // Rings dk = 1 / (2 lambda D k) apart at k, pixels range / (centre - 1) wide: 2.5 pixels a
        // ring at the edge k = range where range^2 = (centre - 1) / (5 lambda D).
        const double most = std::fabs(model->Defocus) + model->A2 / (2 * 3.14159265358979323846);
        if (most > 0 && model->wavelength() > 0)
            range = std::min(range, std::sqrt((centre - 1) / (5 * model->wavelength() * most)));
    }
    CompositeGrid grid = measuredGrid(spectrum, centre, range, SpectrumOptions().backgroundFrequency);
    if (model)
        drawModelHalf(grid, *model, 0.0, 1);
    return grid;
}

struct FitThumbnails::Run {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    FitThumbnails *owner = nullptr; // null once the owner no longer listens
};

FitThumbnails::FitThumbnails(QObject *parent) : QObject(parent) {}

FitThumbnails::~FitThumbnails()
{
    cancel();
}

void FitThumbnails::cancel()
{
    if (!m_run)
        return;
    m_busy = false;
    m_run->stop = true;
    const std::lock_guard<std::mutex> lock(m_run->mutex);
    m_run->owner = nullptr;
}

bool FitThumbnails::busy() const
{
    return m_busy;
}

void FitThumbnails::start(QVector<Job> jobs, int centre)
{
    cancel();
    auto run = std::make_shared<Run>();
    run->owner = this;
    m_run = run;
    m_busy = true;
    // Delivered on the owner's thread, and not once it has stopped listening.
    const auto deliver = [run](auto what) {
        const std::lock_guard<std::mutex> lock(run->mutex);
        if (run->owner)
            QMetaObject::invokeMethod(
                run->owner,
                [run, what] {
                    if (run->owner)
                        what(run->owner);
                },
                Qt::QueuedConnection);
    };
    // One micrograph at a time: the window stays responsive on a machine of two processors.
    (void)QtConcurrent::run(detail::backgroundPool(), [run, jobs = std::move(jobs), centre, deliver] {
        const int total = static_cast<int>(jobs.size());
        const ProgressCallback keepGoing = [run](double) { return !run->stop; };
        for (int i = 0; i < total && !run->stop; ++i) {
            const Job &job = jobs[i];
            std::shared_ptr<const CompositeGrid> grid;
            QString problem;
            try {
                const LoadedMicrograph loaded = loadMicrograph(job.path, nullptr, kDefaultTileSize, job.pixelSizeNm,
                                                               MicrographSession::DefaultPixelSizeNm, keepGoing);
                grid = std::make_shared<const CompositeGrid>(
                    fitThumbnail(*loaded.spectrum, job.model ? &*job.model : nullptr, centre));
            } catch (const Cancelled &) {
                break;
            } catch (const OrvalisError &e) {
                problem = e.text();
            } catch (const std::bad_alloc &) {
                problem = QStringLiteral("not enough memory to read it");
            } catch (const std::exception &e) {
                problem = QString::fromLocal8Bit(e.what());
            }
            const int row = job.row;
            deliver([row, grid, problem, i, total](FitThumbnails *owner) {
                emit owner->ready(row, grid, problem);
                emit owner->progress(i + 1, total);
            });
        }
        // Busy until the owner has had every thumbnail: this comes after them.
        deliver([](FitThumbnails *owner) {
            owner->m_busy = false;
            emit owner->finished();
        });
    });
}

// ---- into the session ---------------------------------------------------------------------------

bool applyCatalogueFit(CtfSession &session, MicrographSession &micrograph, const CatalogueEntry &entry, QString *note)
{
    if (!entry.fit || !entry.fit->defocus || !session.initialised())
        return false;
    const FitTableRow &f = *entry.fit;
    if (f.pixelSize > 0 && micrograph.isOpen()) {
        const double nm = angstromToNm(f.pixelSize);
        if (std::fabs(nm - micrograph.pixelSize()) > 1e-6 * nm)
            micrograph.setPixelSize(nm);
    }
    const TwoFoldDefocus two = fromCryoEmDefocus(*f.defocus);
    // The sliders step by whole nanometres, as Apply of a fit sets them.
    const int defocus = roundToInt(two.Defocus);
    const int a2 = roundToInt(two.A2);
    const CtfSession::Batch once(session);
    const OptionRanges ranges = session.ranges();
    if (-defocus < ranges.defocusMin || -defocus > ranges.defocusMax)
        session.setDefocusRange(std::min(ranges.defocusMin, -defocus), std::max(ranges.defocusMax, -defocus));
    if (a2 > ranges.a2Max)
        session.setA2Maximum(a2);
    session.setA2Azimuth(degreesToRadians(two.azimuth));
    if (f.phaseShift)
        session.setPhaseShift(degreesToRadians(*f.phaseShift));
    session.setA2(a2, false);
    session.setDefocus(defocus, false);
    if (note) {
        note->clear();
        const OpticsState &s = session.state();
        if (f.optics) {
            QStringList differ;
            if (std::fabs(f.optics->voltage - s.Voltage) > 0.05)
                differ << QStringLiteral("%1 kV").arg(formatRounded(f.optics->voltage, 3));
            if (std::fabs(f.optics->cs - nmToMm(s.Cs)) > 0.005)
                differ << QStringLiteral("Cs %1 mm").arg(formatRounded(f.optics->cs, 3));
            if (std::fabs(f.optics->amplitudeContrast - s.AmplitudeContrast) > 0.0005)
                differ << QStringLiteral("amplitude contrast %1").arg(formatRounded(f.optics->amplitudeContrast, 3));
            if (!differ.isEmpty())
                *note = QStringLiteral("%1 was fitted with %2; the window's microscope and specimen differ, so its "
                                       "rings lie where they give them.")
                            .arg(entry.name, differ.join(QStringLiteral(", ")));
        }
    }
    return true;
}

QByteArray catalogueStar(const QVector<CatalogueEntry> &entries, const QString &starPath, const CtfUserValues &fallback,
                         double fallbackPixel)
{
    const QDir folder = QFileInfo(starPath).absoluteDir();
    QVector<FitTableRow> rows;
    QStringList names;
    for (const CatalogueEntry &e : entries) {
        if (!e.fit || !e.fit->defocus)
            continue;
        rows << *e.fit;
        const QString relative = folder.relativeFilePath(e.path);
        names << (relative.startsWith(QLatin1String("..")) ? QDir::cleanPath(e.path) : relative);
    }
    return fitRowsStar(rows, names, TableOptics{fallback.voltage, fallback.cs, fallback.amplitudeContrast},
                       fallbackPixel);
}

} // namespace orvalis
