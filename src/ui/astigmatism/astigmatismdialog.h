#pragma once
// Setup > Astigmatism and Cryo-EM Defocus: the defocus, the two-fold astigmatism and the azimuths of
// the two- and three-fold astigmatism, in this program's terms or in the cryo-EM programs' (defocus U
// and V in Å, positive underfocus, and the angle of U), each set kept in step with the other as the
// user types. It edits a copy: OK and Apply give the values back only when the set last typed in
// holds numbers within their limits, and otherwise name the field in a message.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvalis {

struct AstigmatismValues {
    double defocus = 0;   // nm, negative underfocus
    double a2 = 0;        // nm, two-fold astigmatism, never negative
    double a2Azimuth = 0; // degrees, 0 <= azimuth < 180: the direction of the most underfocus
    double a3Azimuth = 0; // degrees, 0 <= azimuth < 120
};

class AstigmatismDialog : public QDialog {
    Q_OBJECT
public:
    // The largest defocus magnitude and two-fold astigmatism (nm) the controls accept.
    AstigmatismDialog(int defocusLimit, int astigmatismLimit, QWidget *parent = nullptr);

    void setValues(const AstigmatismValues &values);
    // After OK or Apply the values typed, otherwise those given.
    const AstigmatismValues &values() const { return m_values; }

    QLineEdit *edDefocusNm = nullptr, *edA2 = nullptr, *edA2Azimuth = nullptr, *edA3Azimuth = nullptr;
    QLineEdit *edDefocusU = nullptr, *edDefocusV = nullptr, *edDefocusAngle = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr, *ApplyBtn = nullptr;

signals:
    void applied(); // Apply took the values: the window shows them, the dialog stays open

public slots:
    void done(int result) override;

private:
    void programTyped();
    void cryoEmTyped();
    // The values of the set last typed in; false after a message naming the field.
    bool take();
    void showCryoEm(const AstigmatismValues &v);
    void showProgram(const AstigmatismValues &v);

    int m_defocusLimit;
    int m_astigmatismLimit;
    bool m_cryoEmTyped = false; // the cryo-EM fields were typed in last
    AstigmatismValues m_values;
};

} // namespace orvalis
