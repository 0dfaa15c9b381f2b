#pragma once
// Setup > Fit CTF: the defocus range searched, the band of resolutions fitted and whether a phase
// plate's shift is fitted too, with what else the fit takes from the session (instrument, amplitude
// contrast, pixel size) shown beside them. It edits a copy; Fit gives it back only when the range and
// band can be fitted to the micrograph, and otherwise says what is wrong and stays open.
#include "session/fitsession.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvalis {

class FitCtfDialog : public QDialog {
    Q_OBJECT
public:
    explicit FitCtfDialog(QWidget *parent = nullptr);

    // Shown in the fields at once; `pixelSizeNm` is the micrograph's, for its Nyquist limit.
    void setRequest(const FitRequest &request, double pixelSizeNm);
    // After Fit the values typed, otherwise those given.
    const FitRequest &request() const { return m_request; }
    // The values the fit takes from elsewhere, one line.
    void setContext(const QString &text);

    QLineEdit *edMinUnderfocus = nullptr, *edMaxUnderfocus = nullptr;
    QLineEdit *edLowResolution = nullptr, *edHighResolution = nullptr;
    QCheckBox *cbFitPhaseShift = nullptr;
    QLabel *laContext = nullptr;
    QLabel *laProblem = nullptr; // what keeps Fit from starting
    QPushButton *FitBtn = nullptr, *CancelBtn = nullptr, *DefaultsBtn = nullptr;

public slots:
    void done(int result) override;

private:
    void showRequest(const FitRequest &request);

    FitRequest m_request;
    double m_pixelSizeNm = 0;
};

} // namespace orvalis
