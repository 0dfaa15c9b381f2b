#pragma once
// The local defocus of the micrograph a FitSession has fitted (patchfit.h): computed off the event
// loop with progress and Cancel from the fit's result and options, each patch keeping its spectrum
// so that the window can show it against the patch's model, and kept until the fit it started from
// is gone or replaced.
#include "micrograph/patchfit.h"
#include "session/backgroundwork.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace orvalis {

class FitSession;
class MicrographSession;

class LocalDefocusSession : public QObject {
    Q_OBJECT
public:
    LocalDefocusSession(FitSession &fit, MicrographSession &micrograph, QObject *parent = nullptr);
    ~LocalDefocusSession() override;

    // Empty when the patches can be fitted now, else why not (no fit with values, a fit under way).
    QString problem() const;
    // Starts the patches off the event loop; ends in finished(), failed() or cancelled(). False with
    // `error` when problem() says why.
    bool start(QString *error = nullptr);
    // The same on this thread.
    bool computeNow(QString *error = nullptr);
    void cancel();
    bool busy() const { return m_work.busy(); }

    // The latest local defocus of the fit shown; none before one, after a failure, and once the
    // fit is gone.
    const std::shared_ptr<const LocalDefocus> &result() const { return m_result; }
    // The tilt the whole fit gave, when it gave one: the map draws its plane rather than the
    // patches' own.
    const std::optional<SpecimenTilt> &fittedTilt() const { return m_fittedTilt; }
    double fittedCentreDefocus() const { return m_fittedCentre; } // Å, the whole fit's mean defocus

signals:
    void progress(double fraction);
    void finished();
    void failed(const QString &message);
    void cancelled();
    void cleared();

private:
    void clear();
    // Clears the patches of before and records the fit they start from; the work that fits them.
    std::function<std::shared_ptr<const LocalDefocus>(const ProgressCallback &)> prepare();

    FitSession &m_fit;
    MicrographSession &m_micrograph;
    std::shared_ptr<const LocalDefocus> m_result;
    std::optional<SpecimenTilt> m_fittedTilt;
    double m_fittedCentre = 0;
    BackgroundWork<std::shared_ptr<const LocalDefocus>> m_work;
};

} // namespace orvalis
