#include "session/micrographsession.h"

#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/fitrequest.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/ringaverage.h"
#include "session/ctfsession.h"
#include "session/recentmicrographs.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace orvalis {
namespace {

// The part of the progress reading takes when the spectrum follows it: the spectrum's tiles take
// the most time by far.
constexpr double kReadShare = 0.3;

ProgressCallback part(const ProgressCallback &progress, double from, double to)
{
    if (!progress)
        return {};
    return [progress, from, to](double f) { return progress(from + f * (to - from)); };
}

int spectrumThreads()
{
    return std::clamp(QThread::idealThreadCount(), 1, 16);
}

} // namespace

LoadedMicrograph loadMicrograph(const QString &path, std::shared_ptr<const MicrographImage> image, int tileSize,
                                double pixelSizeNm, double fallbackPixelNm, const ProgressCallback &progress)
{
    const bool read = image == nullptr;
    const MicrographJob job = read ? MicrographJob::read(path, part(progress, 0, kReadShare))
                                   : MicrographJob(path, std::move(image));
    image = job.sharedImage();
    const QString name = QFileInfo(path).fileName();
    LoadedMicrograph out;
    out.path = path;
    out.image = image;
    const double own = job.pixelSize(pixelSizeNm);
    out.pixelSizeNm = own > 0 ? own : fallbackPixelNm;
    // A micrograph smaller than the tile asked for is still shown, with the largest tile it holds.
    const int fits = std::min(image->width, image->height) / 2 * 2;
    out.tileSize = std::min(tileSize, fits);
    if (out.tileSize < kMinTileSize)
        throw OrvalisError(QStringLiteral("Cannot open the micrograph %1: it has only %2 x %3 pixels; a spectrum "
                                          "needs at least %4 x %4.")
                               .arg(name)
                               .arg(image->width)
                               .arg(image->height)
                               .arg(kMinTileSize));
    try {
        out.spectrum = std::make_shared<const PowerSpectrum>(job.spectrum(
            {out.pixelSizeNm, out.tileSize, nullptr, spectrumThreads()}, part(progress, read ? kReadShare : 0, 1)));
    } catch (const OrvalisError &e) {
        throw OrvalisError(QStringLiteral("Cannot open the micrograph %1: %2").arg(name, e.text()));
    }
    return out;
}

MicrographSession::MicrographSession(CtfSession &session, QObject *parent)
    : QObject(parent), m_session(session), m_recent(readRecentMicrographs()),
      m_work(
          this, [this](double f) { emit progress(f); },
          [this](const WorkOutcome<LoadedMicrograph> &outcome) { finished(outcome); })
{
    connect(&m_session, &CtfSession::specimenChanged, this, &MicrographSession::followSpecimen);
}

MicrographSession::~MicrographSession() = default;

// ---- opening ------------------------------------------------------------------------------------

void MicrographSession::start(const QString &path, std::shared_ptr<const MicrographImage> image)
{
    m_pendingNewFile = image == nullptr;
    // A new file takes its own pixel size when it gives one; the same image keeps the one in use.
    const double pixel = image ? pixelSize() : 0.0;
    const double fallback = fallbackPixelSize();
    m_work.start(
        [path, image, tile = m_tileSize, pixel, fallback](const ProgressCallback &report) {
            return loadMicrograph(path, image, tile, pixel, fallback, report);
        },
        QStringLiteral("Cannot open the micrograph %1: there is not enough memory.").arg(QFileInfo(path).fileName()));
}

void MicrographSession::open(const QString &path)
{
    start(path, nullptr);
}

bool MicrographSession::openNow(const QString &path, QString *error)
{
    const WorkOutcome<LoadedMicrograph> outcome = m_work.runHere(
        [&](const ProgressCallback &) { return loadMicrograph(path, nullptr, m_tileSize, 0, fallbackPixelSize()); },
        QStringLiteral("Cannot open the micrograph %1: there is not enough memory.").arg(QFileInfo(path).fileName()));
    if (!outcome.error.isEmpty()) {
        if (error)
            *error = outcome.error;
        return false;
    }
    take(outcome.value, true);
    return true;
}

void MicrographSession::cancel()
{
    m_work.cancel();
}

void MicrographSession::finished(const WorkOutcome<LoadedMicrograph> &outcome)
{
    if (outcome.cancelled)
        emit cancelled();
    else if (!outcome.error.isEmpty())
        emit failed(outcome.error);
    else if (outcome.value.spectrum)
        take(outcome.value, m_pendingNewFile);
}

// For a file that gives no pixel size: the user's, else the detector's the model has, else 1 Å.
double MicrographSession::fallbackPixelSize() const
{
    if (m_pixelSize > 0)
        return m_pixelSize;
    if (isOpen())
        return pixelSize();
    return m_session.state().PixelSize > 0 ? m_session.state().PixelSize : DefaultPixelSizeNm;
}

void MicrographSession::take(LoadedMicrograph loaded, bool newFile)
{
    m_loaded = std::move(loaded);
    // A correction was made on the spectrum that is gone, with its tile and pixel size.
    const bool wasCorrected = m_corrected != nullptr;
    m_corrected.reset();
    m_session.setDetectorPixelSize(m_loaded.pixelSizeNm);
    averageShown();
    if (wasCorrected)
        emit correctionChanged(false);
    if (newFile) {
        m_recent = withRecentMicrograph(m_recent, m_loaded.path);
        m_recentProblem = writeRecentMicrographs(m_recent);
        emit recentFilesChanged();
        emit opened();
    }
    emit spectrumChanged();
}

void MicrographSession::close()
{
    m_work.stop();
    if (!isOpen())
        return;
    m_loaded = {};
    const bool wasCorrected = m_corrected != nullptr;
    m_corrected.reset();
    m_measured = {};
    m_composite = {};
    m_viewMeasured = {};
    m_viewGrid = {};
    m_roundAverage.clear();
    m_profile = {};
    ++m_generation;
    m_session.releaseDetectorPixelSize();
    if (wasCorrected)
        emit correctionChanged(false);
    emit closed();
}

void MicrographSession::showCorrected(std::shared_ptr<const PowerSpectrum> corrected)
{
    if (!isOpen() || corrected == m_corrected)
        return;
    m_corrected = std::move(corrected);
    averageShown();
    emit correctionChanged(m_corrected != nullptr);
}

void MicrographSession::averageShown()
{
    ++m_generation;
    const PowerSpectrum &s = *shownSpectrum();
    m_roundAverage = rotationalAverage(s.rings, s.size, s.frequencyStep).value;
}

// ---- what the spectrum is computed with ---------------------------------------------------------

void MicrographSession::setTileSize(int tile)
{
    if (tile < kMinTileSize || tile > kMaxTileSize || tile % 2 != 0 || tile == m_tileSize)
        return;
    m_tileSize = tile;
    if (isOpen())
        start(m_loaded.path, m_loaded.image);
}

// A pixel size given in Setup > Specimen and Detector is the open micrograph's; none (0) leaves
// the micrograph its own.
void MicrographSession::followSpecimen()
{
    if (!isOpen())
        return;
    const double nm = m_session.state().PixelSize;
    if (nm > 0 && nm != m_loaded.pixelSizeNm && setPixelSize(nm))
        return;
    if (nm != m_loaded.pixelSizeNm)
        m_session.setDetectorPixelSize(m_loaded.pixelSizeNm);
}

bool MicrographSession::setPixelSize(double nm)
{
    if (!(nm >= angstromToNm(kFitMinPixelSize) && nm <= angstromToNm(kFitMaxPixelSize)))
        return false;
    m_pixelSize = nm;
    if (!isOpen() || nm == m_loaded.pixelSizeNm)
        return true;
    // Only the frequencies and the background's box depend on it: the periodogram stays.
    auto spectrum = std::make_shared<PowerSpectrum>(*m_loaded.spectrum);
    spectrum->frequencyStep = 1.0 / (spectrum->size * nm);
    spectrum->rings = subtractBackground(spectrum->power, spectrum->size, spectrum->frequencyStep,
                                         SpectrumOptions().backgroundFrequency);
    LoadedMicrograph loaded = m_loaded;
    loaded.spectrum = std::move(spectrum);
    loaded.pixelSizeNm = nm;
    take(std::move(loaded), false);
    return true;
}

void MicrographSession::setShown(bool on)
{
    if (on == m_shown)
        return;
    m_shown = on;
    emit shownChanged(shown());
}

// ---- views --------------------------------------------------------------------------------------

SpectrumModel MicrographSession::model() const
{
    SpectrumModel m;
    m.state = m_session.state();
    m.defocus = m_session.state().Defocus;
    return m;
}

const CompositeGrid &MicrographSession::composite(int centre)
{
    if (!isOpen()) {
        m_composite = {};
        return m_composite;
    }
    const double range = m_session.upTo();
    if (m_measuredGeneration != m_generation || m_measured.centre != centre || m_measured.range != range) {
        m_measured = measuredGrid(*shownSpectrum(), centre, range, lowestFrequency());
        m_measuredGeneration = m_generation;
    }
    m_composite.centre = m_measured.centre;
    m_composite.range = m_measured.range;
    m_composite.grey = m_measured.grey; // same size: no allocation after the first
    drawModelHalf(m_composite, model(), m_session.state().Direction, std::max(1, m_session.state().StepFactor));
    return m_composite;
}

void MicrographSession::setViewChoices(ViewChoices choices)
{
    choices.zoom = std::clamp(std::isfinite(choices.zoom) ? choices.zoom : 1.0, kMinViewZoom, kMaxViewZoom);
    choices.contrast.clipPercent = std::clamp(
        std::isfinite(choices.contrast.clipPercent) ? choices.contrast.clipPercent : 2.0, 0.0, 49.0);
    if (choices.zoom == m_view.zoom && choices.contrast == m_view.contrast && choices.rings == m_view.rings)
        return;
    m_view = choices;
    emit viewChanged();
}

double MicrographSession::viewRange() const
{
    return isOpen() ? spectrumViewRange(*shownSpectrum(), m_view.zoom) : 0.0;
}

const CompositeGrid &MicrographSession::spectrumView(int centre)
{
    if (!isOpen()) {
        m_viewGrid = {};
        return m_viewGrid;
    }
    const double range = viewRange();
    // The measured half is taken again only when the spectrum, the size, the zoom or the contrast
    // changed: a slider's step redraws the model's half alone.
    if (m_viewGeneration != m_generation || m_viewMeasured.centre != centre || m_viewMeasured.range != range
        || !(m_viewContrast == m_view.contrast)) {
        m_viewMeasured = measuredGrid(*shownSpectrum(), centre, range, lowestFrequency(), m_view.contrast);
        m_viewGeneration = m_generation;
        m_viewContrast = m_view.contrast;
        ++m_viewMeasuredVersion;
    }
    // drawModelHalf writes the pixels on the model's side of the direction alone, whatever its
    // step: the other side still holds the measured half it was copied from while that half and
    // the direction are the same, and a step copies nothing.
    const double direction = m_session.state().Direction;
    if (m_viewGridFrom != m_viewMeasuredVersion || !(m_viewGridDirection == direction)
        || m_viewGrid.grey.size() != m_viewMeasured.grey.size()) {
        m_viewGrid.centre = m_viewMeasured.centre;
        m_viewGrid.range = m_viewMeasured.range;
        m_viewGrid.grey = m_viewMeasured.grey;
        m_viewGridFrom = m_viewMeasuredVersion;
        m_viewGridDirection = direction;
    }
    drawModelHalf(m_viewGrid, model(), m_session.state().Direction, std::max(1, m_session.state().StepFactor));
    return m_viewGrid;
}

std::vector<ZeroLine> MicrographSession::zeroLines(int centre) const
{
    if (!isOpen() || !m_view.rings || centre < 2)
        return {};
    // Out to the corners, a sample per pixel along a ray; a direction every 2 degrees leaves the
    // straight pieces between them less than a tenth of a pixel off the ring at the corners of a
    // picture 1000 pixels wide.
    const double upTo = viewRange() * std::sqrt(2.0);
    const int samples = std::max(64, static_cast<int>(1.5 * centre));
    const int directions = 180;
    // Rings closer than 6 pixels are left out: they would colour the whole of the outer spectrum.
    return modelZeroLines(model(), upTo, directions, samples, 6 * viewRange() / (centre - 1));
}

double MicrographSession::modelValueAt(double kx, double ky) const
{
    const double c = model().ctf(kx, ky);
    return c * c;
}

const RingProfile &MicrographSession::profile()
{
    if (!isOpen()) {
        m_profile = {};
        return m_profile;
    }
    m_profile = ringProfile(*shownSpectrum(), model(), lowestFrequency(), std::max(1, m_session.state().StepFactor),
                            &m_roundAverage);
    return m_profile;
}

std::optional<SpectrumSample> MicrographSession::sampleAt(double kx, double ky) const
{
    if (!isOpen())
        return std::nullopt;
    return sampleSpectrum(*shownSpectrum(), kx, ky);
}

} // namespace orvalis
