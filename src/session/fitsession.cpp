#include "session/fitsession.h"

#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/micrographpipeline.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"

#include <QThread>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace orvalis {

namespace {

QString outOfMemory()
{
    return QStringLiteral("There is not enough memory to fit the CTF to this micrograph.");
}

} // namespace

CtfFitOptions fitOptionsFor(const FitRequest &r, const OpticsState &state)
{
    CtfFitOptions o = fitOptionsOf(r);
    o.instrument.voltage = state.Voltage;
    o.instrument.cs = state.Cs;
    o.instrument.c5 = state.C5;
    o.amplitudeContrast = state.AmplitudeContrast;
    o.phaseShift = r.fitPhaseShift ? 0.0 : state.PhaseShift;
    o.threads = std::clamp(QThread::idealThreadCount(), 1, 16);
    return o;
}

FitSession::FitSession(CtfSession &session, MicrographSession &micrograph, QObject *parent)
    : QObject(parent), m_session(session), m_micrograph(micrograph),
      m_work(
          this, [this](double f) { emit progress(f); },
          [this](const WorkOutcome<MicrographFit> &outcome) { done(outcome); })
{
    // A result belongs to the spectrum it was fitted on: a new one, or none, makes it stale.
    connect(&m_micrograph, &MicrographSession::spectrumChanged, this, &FitSession::clear);
    connect(&m_micrograph, &MicrographSession::closed, this, &FitSession::clear);
    // So does one fitted under another instrument or specimen: its defocus would be applied to optics
    // it does not describe. The aberrations it gives are what the user goes on to change, so they do not.
    connect(&m_session, &CtfSession::instrumentChanged, this, &FitSession::dropIfOpticsChanged);
    connect(&m_session, &CtfSession::specimenChanged, this, &FitSession::dropIfOpticsChanged);
}

FitSession::~FitSession() = default;

QString FitSession::problem() const
{
    if (!m_micrograph.isOpen())
        return QStringLiteral("Open a micrograph to fit the CTF to.");
    if (m_micrograph.busy())
        return QStringLiteral("The micrograph's spectrum is still being computed.");
    // A range and band whose scan would take too long are refused before the work, as the shell does.
    const CtfFitOptions options = fitOptionsFor(m_request, m_session.state());
    return fitRequestProblem(m_request, {FitVoice::Window, m_micrograph.pixelSize(), true, &options}).text;
}

bool FitSession::start(QString *error)
{
    const QString refused = problem();
    if (!refused.isEmpty()) {
        if (error)
            *error = refused;
        return false;
    }
    m_work.stop();
    clear();
    m_runningOptions = fitOptionsFor(m_request, m_session.state());
    m_work.start(
        [job = MicrographJob(m_micrograph.path(), m_micrograph.sharedImage()), options = m_runningOptions,
         pixel = m_micrograph.pixelSize()](const ProgressCallback &report) { return job.fit(options, pixel, report); },
        outOfMemory());
    return true;
}

bool FitSession::fitNow(QString *error)
{
    QString refused = problem();
    if (refused.isEmpty()) {
        clear();
        const CtfFitOptions options = fitOptionsFor(m_request, m_session.state());
        const MicrographJob job(m_micrograph.path(), m_micrograph.sharedImage());
        const WorkOutcome<MicrographFit> outcome = m_work.runHere(
            [&](const ProgressCallback &) { return job.fit(options, m_micrograph.pixelSize()); }, outOfMemory());
        if (outcome.error.isEmpty()) {
            take(outcome.value, options);
            return true;
        }
        refused = outcome.error;
    }
    if (error)
        *error = refused;
    return false;
}

void FitSession::cancel()
{
    m_work.cancel();
}

void FitSession::done(const WorkOutcome<MicrographFit> &outcome)
{
    if (outcome.cancelled)
        emit cancelled();
    else if (!outcome.error.isEmpty())
        emit failed(outcome.error);
    else
        take(outcome.value, m_runningOptions);
}

void FitSession::take(const MicrographFit &fit, const CtfFitOptions &options)
{
    m_applied.reset();
    m_result = fit.result;
    // The spectrum corrected for the tilt is the fit's own, and the views show the rings it judged
    // until a fit without a tilt replaces it; a plain one is the micrograph's, shown already.
    m_spectrum.reset();
    std::shared_ptr<const PowerSpectrum> shown;
    if (options.fitTilt && fit.result.values && fit.result.values->tilt) {
        m_spectrum = fit.spectrum;
        shown = std::make_shared<const PowerSpectrum>(fit.spectrum);
    }
    m_resultOptions = options;
    m_micrograph.showCorrected(std::move(shown));
    emit finished();
}

bool FitSession::fittedUnder(const CtfFitOptions &o, const OpticsState &state)
{
    return o.instrument.voltage == state.Voltage && o.instrument.cs == state.Cs && o.instrument.c5 == state.C5
        && o.amplitudeContrast == state.AmplitudeContrast && (o.fitPhaseShift || o.phaseShift == state.PhaseShift);
}

void FitSession::dropIfOpticsChanged()
{
    const OpticsState &state = m_session.state();
    if (m_work.busy() && !fittedUnder(m_runningOptions, state))
        cancel();
    if (m_result && !fittedUnder(m_resultOptions, state)) {
        m_result.reset();
        m_spectrum.reset();
        emit resultCleared();
    }
}

void FitSession::clear()
{
    // A fit under way was started on what is now gone.
    cancel();
    if (!m_result)
        return;
    m_result.reset();
    m_spectrum.reset();
    emit resultCleared();
}

bool FitSession::apply()
{
    if (!canApply() || !m_session.initialised())
        return false;
    const CtfFitValues &v = *m_result->values;
    const OpticsState &state = m_session.state();
    // The sliders step by whole nanometres: the values the controls can show.
    const int defocus = roundToInt(v.program.Defocus);
    const int a2 = roundToInt(v.program.A2);
    const OptionRanges ranges = m_session.ranges();
    if (-defocus < ranges.defocusMin || -defocus > ranges.defocusMax)
        m_session.setDefocusRange(std::min(ranges.defocusMin, -defocus), std::max(ranges.defocusMax, -defocus));
    if (a2 > ranges.a2Max)
        m_session.setA2Maximum(a2);
    const double azimuth = degreesToRadians(v.program.azimuth);
    const double phaseShift = m_resultOptions.fitPhaseShift ? degreesToRadians(v.phaseShift) : state.PhaseShift;
    // A tilt and a thickness have no place in the optics: the defocus applied is the centre's, and
    // the panel keeps showing both.
    // Known before the setters, whose signals redraw the chart with its marker.
    m_applied = Applied{static_cast<double>(defocus), static_cast<double>(std::abs(a2)), azimuth, phaseShift};
    {
        const CtfSession::Batch once(m_session);
        m_session.setA2Azimuth(azimuth);
        if (m_resultOptions.fitPhaseShift)
            m_session.setPhaseShift(phaseShift);
        m_session.setA2(a2, false);
        m_session.setDefocus(defocus, false);
    }
    emit applied();
    return true;
}

double FitSession::appliedResolution() const
{
    if (!m_applied || !canApply())
        return 0;
    const OpticsState &state = m_session.state();
    const Applied now{state.Defocus, state.A2, state.A2Azimuth, state.PhaseShift};
    const bool same = now.defocus == m_applied->defocus && now.a2 == m_applied->a2 && now.azimuth == m_applied->azimuth
        && now.phaseShift == m_applied->phaseShift;
    return same ? m_result->values->resolution : 0.0;
}

} // namespace orvalis
