#pragma once
// Setup > Specimen and Detector: the amplitude contrast, a phase plate's shift, the B-factor and the
// detector's pixel size at the specimen. It edits a copy; OK gives it back only when every field
// holds a value its rule accepts, and otherwise names the field in a message and stays open.
#include "core/specimenterms.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace orvalis {

class SpecimenDialog : public QDialog {
    Q_OBJECT
public:
    explicit SpecimenDialog(QWidget *parent = nullptr);

    // Shown in the fields at once.
    void setTerms(const SpecimenDetector &terms);
    // After OK the values typed, otherwise those given.
    const SpecimenDetector &terms() const { return m_terms; }

    QLineEdit *edAmplitudeContrast = nullptr, *edPhaseShift = nullptr, *edBFactor = nullptr, *edPixelSize = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr;

public slots:
    void done(int result) override;

private:
    QLineEdit *field(SpecimenField f) const;

    SpecimenDetector m_terms;
};

} // namespace orvalis
