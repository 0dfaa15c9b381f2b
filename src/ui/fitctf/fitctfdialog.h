#pragma once
// Setup > Fit CTF: the defocus range searched, the band of resolutions fitted, the largest
// astigmatism searched, whether a phase plate's shift, the specimen's tilt and its thickness are
// fitted too, and the instrument's voltage
// and Cs, the amplitude contrast and the micrograph's pixel size the fit takes from the session,
// editable where the user decides. It edits copies; Fit gives them back only when they can be fitted
// to the micrograph, and otherwise says what is wrong and stays open.
#include "session/fitsession.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvalis {

// What the fit takes from the session's instrument and specimen, in the units the dialog shows.
struct FitOptics {
    double voltage = FitRequest().voltage;                     // kV
    double cs = FitRequest().cs;                               // mm
    double amplitudeContrast = FitRequest().amplitudeContrast; // fraction
    double pixelSize = 1;                                      // Å at the specimen, the micrograph's

    bool operator==(const FitOptics &o) const
    {
        return voltage == o.voltage && cs == o.cs && amplitudeContrast == o.amplitudeContrast
            && pixelSize == o.pixelSize;
    }
    bool operator!=(const FitOptics &o) const { return !(*this == o); }
};

// Empty when the fit can take `optics`, else what is wrong, naming the field and its range. The
// ranges hold every microscope and detector of the field and keep the fit's work bounded.
QString fitOpticsProblem(const FitOptics &optics);

class FitCtfDialog : public QDialog {
    Q_OBJECT
public:
    explicit FitCtfDialog(QWidget *parent = nullptr);

    // Shown in the fields at once; the pixel size is the micrograph's, for its Nyquist limit.
    void setRequest(const FitRequest &request, const FitOptics &optics);
    // After Fit the values typed, otherwise those given.
    const FitRequest &request() const { return m_request; }
    const FitOptics &optics() const { return m_optics; }
    // The values the fit takes from elsewhere, one line.
    void setContext(const QString &text);

    QLineEdit *edMinUnderfocus = nullptr, *edMaxUnderfocus = nullptr;
    QLineEdit *edLowResolution = nullptr, *edHighResolution = nullptr;
    QLineEdit *edMaxAstigmatism = nullptr;
    QLineEdit *edVoltage = nullptr, *edCs = nullptr, *edAmplitudeContrast = nullptr, *edPixelSize = nullptr;
    // The usual amplitude contrasts: choosing one fills the field, a value typed there shows as its own.
    QComboBox *cbAmplitudeContrast = nullptr;
    QCheckBox *cbFitPhaseShift = nullptr, *cbFitTilt = nullptr, *cbFitThickness = nullptr;
    QLabel *laContext = nullptr;
    QLabel *laProblem = nullptr; // what keeps Fit from starting
    QPushButton *FitBtn = nullptr, *CancelBtn = nullptr, *DefaultsBtn = nullptr;

public slots:
    void done(int result) override;

private:
    void showRequest(const FitRequest &request);
    void refuse(const QString &problem, QLineEdit *wrong);
    QLineEdit *opticsEdit(double FitOptics::*value) const;
    void showContrastChoice();

    FitRequest m_request;
    FitOptics m_optics;
};

} // namespace orvalis
