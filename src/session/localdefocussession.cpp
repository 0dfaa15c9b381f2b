#include "session/localdefocussession.h"

#include "session/fitsession.h"
#include "session/micrographsession.h"

#include <QThread>

#include <algorithm>
#include <functional>

namespace orvalis {

namespace {

QString outOfMemory()
{
    return QStringLiteral("There is not enough memory to fit the local defocus of this micrograph.");
}

} // namespace

LocalDefocusSession::LocalDefocusSession(FitSession &fit, MicrographSession &micrograph, QObject *parent)
    : QObject(parent), m_fit(fit), m_micrograph(micrograph),
      m_work(
          this, [this](double f) { emit progress(f); },
          [this](const WorkOutcome<std::shared_ptr<const LocalDefocus>> &outcome) {
              if (outcome.cancelled)
                  emit cancelled();
              else if (!outcome.error.isEmpty())
                  emit failed(outcome.error);
              else {
                  m_result = outcome.value;
                  emit finished();
              }
          })
{
    // The patches start from the fit: a new fit, or none, makes them stale.
    connect(&m_fit, &FitSession::finished, this, &LocalDefocusSession::clear);
    connect(&m_fit, &FitSession::resultCleared, this, &LocalDefocusSession::clear);
}

LocalDefocusSession::~LocalDefocusSession() = default;

QString LocalDefocusSession::problem() const
{
    if (m_fit.busy())
        return QStringLiteral("The fit is still under way.");
    if (!m_fit.result() || !m_fit.result()->values)
        return QStringLiteral("Fit the CTF first: the patches start from the whole micrograph's fit.");
    if (!m_micrograph.sharedImage())
        return QStringLiteral("Open a micrograph to fit the CTF to.");
    return {};
}

std::function<std::shared_ptr<const LocalDefocus>(const ProgressCallback &)> LocalDefocusSession::prepare()
{
    clear();
    LocalDefocusOptions o;
    o.threads = std::clamp(QThread::idealThreadCount(), 1, 16);
    o.keepSpectra = true;
    const CtfFitValues values = *m_fit.result()->values;
    m_fittedTilt = values.tilt;
    m_fittedCentre = 0.5 * (values.cryoEm.defocusU + values.cryoEm.defocusV);
    return [image = m_micrograph.sharedImage(), options = m_fit.resultOptions(), values,
            pixel = m_micrograph.pixelSize(), o](const ProgressCallback &report) {
        return std::make_shared<const LocalDefocus>(fitLocalDefocus(*image, options, values, pixel, o, report));
    };
}

bool LocalDefocusSession::start(QString *error)
{
    const QString refused = problem();
    if (!refused.isEmpty()) {
        if (error)
            *error = refused;
        return false;
    }
    m_work.start(prepare(), outOfMemory());
    return true;
}

bool LocalDefocusSession::computeNow(QString *error)
{
    QString refused = problem();
    if (refused.isEmpty()) {
        const auto outcome = m_work.runHere(prepare(), outOfMemory());
        if (outcome.error.isEmpty()) {
            m_result = outcome.value;
            emit finished();
            return true;
        }
        refused = outcome.error;
    }
    if (error)
        *error = refused;
    return false;
}

void LocalDefocusSession::cancel()
{
    m_work.cancel();
}

void LocalDefocusSession::clear()
{
    cancel();
    if (!m_result)
        return;
    m_result.reset();
    emit cleared();
}

} // namespace orvalis
