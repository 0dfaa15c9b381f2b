#pragma once
// The CTF fitted to the open micrograph of a session: the range and band the user asks for, the fit
// run off the event loop with progress and Cancel, its result kept until it is applied or no longer
// belongs to the micrograph shown, and Apply, which gives the session's optics the fitted values.
// The instrument, the amplitude contrast and (when it is not fitted) the phase shift are the
// session's, as Setup gives them; the spectrum is computed for the fit as `orvalis-ctf fit` computes
// it, so that the window and the shell give the same result for the same micrograph.
#include "micrograph/ctffit.h"
#include "micrograph/fitrequest.h"
#include "micrograph/micrographpipeline.h"
#include "session/backgroundwork.h"

#include <QObject>
#include <QString>

#include <optional>

namespace orvalis {

class CtfSession;
class MicrographSession;
struct OpticsState;

// The fit engine's options for `request` (fitOptionsOf) with the instrument and specimen terms of
// `state` in place of the request's.
CtfFitOptions fitOptionsFor(const FitRequest &request, const OpticsState &state);

class FitSession : public QObject {
    Q_OBJECT
public:
    FitSession(CtfSession &session, MicrographSession &micrograph, QObject *parent = nullptr);
    ~FitSession() override;

    FitRequest request() const { return m_request; }
    void setRequest(const FitRequest &request) { m_request = request; }
    // Empty when a fit can start now, else why not (no micrograph, a refused request).
    QString problem() const;

    // Starts the fit off the event loop; it ends in finished(), failed() or cancelled(). False, and
    // nothing started, when problem() says why. A fit under way is cancelled first.
    bool start(QString *error = nullptr);
    // The same on this thread; false with `error` for a refusal or a failure.
    bool fitNow(QString *error = nullptr);
    void cancel();
    bool busy() const { return m_work.busy(); }

    // The latest fit of the micrograph as it is shown; none before a fit, after a failure, and once
    // the micrograph is closed or its spectrum computed again.
    const std::optional<CtfFitResult> &result() const { return m_result; }
    const CtfFitOptions &resultOptions() const { return m_resultOptions; }
    // The spectrum the result was refined on when it was corrected for a fitted tilt (the regions'
    // spectra rescaled to the centre's defocus); none for a plain fit, whose spectrum is the
    // micrograph's. The micrograph's views show it from the fit's end (MicrographSession::
    // showCorrected) until the micrograph's spectrum goes or a fit without a tilt replaces it.
    const std::optional<PowerSpectrum> &correctedSpectrum() const { return m_spectrum; }
    // A result with values is there to apply, a doubted one too (CtfFitResult::reliable false): the
    // rings drawn at its values are how the user judges it; the panel says why it is doubted.
    bool canApply() const { return m_result && m_result->values; }

    // The session's optics take the result: the defocus and A2 at the controls' whole nanometres
    // (the working ranges widened to hold them, as typed values widen them), the azimuth, and the
    // phase shift when it was fitted; with a fitted tilt the defocus is the centre's, and the tilt and
    // the thickness, which the optics have no place for, stay the result's. False, and nothing
    // changed, without values.
    bool apply();
    // The resolution (nm) the applied fit holds to, while the optics are still those Apply set and the
    // result stands; 0 otherwise. The chart's marker shows it then, so that it sits where the fit's
    // text says and not where the shown spectrum's own tile would put it.
    double appliedResolution() const;

signals:
    void progress(double fraction); // on the session's thread
    void finished();                // result() holds the fit, reliable or not
    void failed(const QString &message);
    void cancelled();
    void resultCleared();
    void applied();

private:
    void done(const WorkOutcome<MicrographFit> &outcome);
    void clear();
    void dropIfOpticsChanged();
    static bool fittedUnder(const CtfFitOptions &options, const OpticsState &state);
    void take(const MicrographFit &fit, const CtfFitOptions &options);

    CtfSession &m_session;
    MicrographSession &m_micrograph;
    FitRequest m_request;
    std::optional<CtfFitResult> m_result;
    std::optional<PowerSpectrum> m_spectrum;
    CtfFitOptions m_resultOptions;
    CtfFitOptions m_runningOptions;
    // What Apply set (nm, nm, rad, rad), to tell whether the optics still are the applied fit's.
    struct Applied {
        double defocus, a2, azimuth, phaseShift;
    };
    std::optional<Applied> m_applied;

    BackgroundWork<MicrographFit> m_work;
};

} // namespace orvalis
