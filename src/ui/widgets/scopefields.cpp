#include "ui/widgets/scopefields.h"

#include "core/instrumentload.h"

#include <QFormLayout>
#include <QLineEdit>

namespace orvalis {

void ScopeFields::addTo(QFormLayout *form, QWidget *parent)
{
    const auto field = [form, parent](QLineEdit *&edit, const char *name, const QString &label) {
        edit = new QLineEdit(parent);
        edit->setObjectName(QString::fromLatin1(name));
        form->addRow(label, edit);
    };
    field(Edit1, "Edit1", QStringLiteral("Voltage (kV):"));
    field(Edit2, "Edit2", QStringLiteral("Cs (mm):"));
    field(Edit3, "Edit3", QStringLiteral("Cc (mm):"));
    field(Edit4, "Edit4", QStringLiteral("Energy Spread (eV):"));
    field(Edit6, "Edit6", QStringLiteral("HT Ripple (ppm):"));
    field(Edit7, "Edit7", QStringLiteral("Obj Lens Instab. (ppm):"));
    field(Edit5, "Edit5", QStringLiteral("Convergence (mrad):"));
    field(edC5, "edC5", c5Label() + QLatin1Char(':'));
    edC5->setToolTip(QStringLiteral("Fifth-order spherical aberration; empty or 0 for an instrument without it"));
}

ScopeData ScopeFields::texts() const
{
    ScopeData d;
    d.Voltage = Edit1->text();
    d.Cs = Edit2->text();
    d.Cc = Edit3->text();
    d.dE = Edit4->text();
    d.Convergence = Edit5->text();
    d.dvv = Edit6->text();
    d.dii = Edit7->text();
    d.C5 = edC5->text().trimmed();
    return d;
}

void ScopeFields::setTexts(const ScopeData &texts)
{
    Edit1->setText(texts.Voltage);
    Edit2->setText(texts.Cs);
    Edit3->setText(texts.Cc);
    Edit4->setText(texts.dE);
    Edit5->setText(texts.Convergence);
    Edit6->setText(texts.dvv);
    Edit7->setText(texts.dii);
    edC5->setText(texts.C5);
}

} // namespace orvalis
