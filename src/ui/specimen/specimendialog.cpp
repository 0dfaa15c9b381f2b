#include "ui/specimen/specimendialog.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "ui/widgets/dialogmessage.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis {

SpecimenDialog::SpecimenDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SpecimenDialog"));
    setWindowTitle(QStringLiteral("Specimen and Detector"));
    auto *form = new QFormLayout;
    const auto addField = [&](QLineEdit *&edit, const char *name, SpecimenField f) {
        edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        form->addRow(specimenFieldLabel(f), edit);
    };
    addField(edAmplitudeContrast, "edAmplitudeContrast", SpecimenField::AmplitudeContrast);
    addField(edPhaseShift, "edPhaseShift", SpecimenField::PhaseShift);
    addField(edBFactor, "edBFactor", SpecimenField::BFactor);
    addField(edPixelSize, "edPixelSize", SpecimenField::PixelSize);
    auto *note = new QLabel(QStringLiteral("0 leaves a term out; a pixel size of 0 means no detector."), this);
    note->setWordWrap(true);
    QDialogButtonBox *buttons = okCancelBox(this, OKBtn, CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setTerms(m_terms);
    keepTitleWhole(this);
}

QLineEdit *SpecimenDialog::field(SpecimenField f) const
{
    switch (f) {
    case SpecimenField::AmplitudeContrast: return edAmplitudeContrast;
    case SpecimenField::PhaseShift: return edPhaseShift;
    case SpecimenField::BFactor: return edBFactor;
    case SpecimenField::PixelSize: return edPixelSize;
    }
    return nullptr;
}

void SpecimenDialog::setTerms(const SpecimenDetector &terms)
{
    m_terms = terms;
    for (SpecimenField f : AllSpecimenFields)
        field(f)->setText(formatRounded(specimenValue(terms, f), 6));
}

void SpecimenDialog::done(int result)
{
    if (result != QDialog::Accepted) {
        QDialog::done(result);
        return;
    }
    SpecimenDetector typed;
    for (SpecimenField f : AllSpecimenFields) {
        QString problem;
        double value = 0;
        try {
            value = strToFloat(field(f)->text().trimmed());
            problem = specimenRule(f, value);
        } catch (const OrvalisError &e) {
            problem = e.text();
        }
        if (!problem.isEmpty()) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvalis"),
                            QStringLiteral("Sorry,\n%1: %2").arg(specimenFieldLabel(f), problem), QMessageBox::Ok,
                            this);
            box.setObjectName(QStringLiteral("SpecimenError"));
            box.exec();
            field(f)->setFocus();
            field(f)->selectAll();
            return; // the dialog stays open with what was typed
        }
        setSpecimenValue(typed, f, value);
    }
    m_terms = typed;
    QDialog::done(result);
}

} // namespace orvalis
