#pragma once
// The result of a fit, shown at once and before anything is applied: the defocus and astigmatism in
// this program's terms (Defocus, A2, azimuth) and in the cryo-EM programs' (defocus U and V, angle),
// the phase shift, the specimen's tilt and thickness when asked for, the score and the resolution to
// which the fit holds; or, for a spectrum without rings, that no reliable result was found, with its
// score. Apply asks for the fit to be applied, Local Defocus for the patches' map of a fit with
// values; the panel changes nothing itself.
#include "micrograph/ctffit.h"

#include <QDialog>

class QFormLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace orvalis {

class FitResultPanel : public QDialog {
    Q_OBJECT
public:
    explicit FitResultPanel(QWidget *parent = nullptr);

    // `phaseFitted`: the shift was fitted, not taken as known. The specimen's rows (tilt, thickness)
    // show when they were asked for (`options`), and why one is not reported when so.
    void showResult(const CtfFitResult &result, bool phaseFitted);
    void showResult(const CtfFitResult &result, const CtfFitOptions &options);
    // No values: none yet, a failure, a cancelled fit. Apply waits.
    void showMessage(const QString &text);
    // A fit under way, with its progress (0 .. 1) and Cancel.
    void showRunning(const QString &text);
    void showProgress(double fraction);
    // Applied: Apply stays, to come back to the fit after the sliders have moved.
    void showApplied();
    // The instrument, amplitude contrast and pixel size the result shown was fitted with.
    void showFittedWith(const QString &text);

    QLabel *laDefocus = nullptr, *laA2 = nullptr, *laAzimuth = nullptr;
    QLabel *laDefocusU = nullptr, *laDefocusV = nullptr, *laAngle = nullptr;
    QLabel *laPhaseShift = nullptr, *laScore = nullptr, *laResolution = nullptr;
    QLabel *laTilt = nullptr, *laThickness = nullptr; // shown for fits that asked for them
    QLabel *laStatus = nullptr;
    QLabel *laFittedWith = nullptr;
    QProgressBar *pbFit = nullptr;
    QPushButton *CancelFitBtn = nullptr;
    QPushButton *ApplyBtn = nullptr, *FitAgainBtn = nullptr, *CloseBtn = nullptr;
    QPushButton *LocalDefocusBtn = nullptr;

signals:
    void applyClicked();
    void fitAgainClicked();
    void cancelClicked();
    void localDefocusClicked();

private:
    void clearValues();
    void showValues(const CtfFitResult &result, bool phaseFitted);
    void showSpecimen(const CtfFitResult &result, bool tilt, bool thickness);
    QFormLayout *m_common = nullptr;
    void fitHeight();
    void setRunning(bool running);
};

} // namespace orvalis
