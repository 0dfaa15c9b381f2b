#include "ui/microedit/fmscopeedit.h"

#include "ui/widgets/dialogmessage.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

namespace orvalis {

TfmScopeEdit::TfmScopeEdit(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmScopeEdit"));
    setWindowTitle(QStringLiteral("Microscope Edit"));

    const ScopeData initial = initialTexts();
    auto *form = new QFormLayout;
    const auto field = [this, form](QLineEdit *&edit, const char *name, const QString &label, const QString &text) {
        edit = new QLineEdit(text, this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setMinimumWidth(180);
        form->addRow(label, edit);
    };
    field(Edit8, "Edit8", QStringLiteral("Company:"), QStringLiteral("Some Name"));
    field(Edit9, "Edit9", QStringLiteral("Model:"), QStringLiteral("Some Model"));
    field(Edit1, "Edit1", QStringLiteral("Voltage (kV):"), initial.Voltage);
    field(Edit2, "Edit2", QStringLiteral("Cs (mm):"), initial.Cs);
    field(Edit3, "Edit3", QStringLiteral("Cc (mm):"), initial.Cc);
    field(Edit4, "Edit4", QStringLiteral("Energy Spread (eV):"), initial.dE);
    field(Edit6, "Edit6", QStringLiteral("HT Ripple (ppm):"), initial.dvv);
    field(Edit7, "Edit7", QStringLiteral("Obj Lens Instab. (ppm):"), initial.dii);
    field(Edit5, "Edit5", QStringLiteral("Convergence (mrad):"), initial.Convergence);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch(1);
    auto *row = new QHBoxLayout(this);
    row->addLayout(form, 1);
    row->addLayout(buttons);
    setFixedSize(sizeHint());

    // The buttons first, then the values, the names last.
    QWidget *order[] = {OKBtn, CancelBtn, Edit1, Edit2, Edit3, Edit4, Edit6, Edit7, Edit5, Edit8, Edit9};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    connect(OKBtn, &QPushButton::clicked, this, &TfmScopeEdit::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

ScopeData TfmScopeEdit::initialTexts()
{
    ScopeData d;
    d.Voltage = QStringLiteral("200");
    d.Cs = QStringLiteral("1.2");
    d.Cc = QStringLiteral("1.2");
    d.dE = QStringLiteral("0.6");
    d.dvv = QStringLiteral("0.25");
    d.dii = QStringLiteral("0.5");
    d.Convergence = QStringLiteral("0.3");
    return d;
}

void TfmScopeEdit::FormActivate(const QString &company, const QString &model, const ScopeData &entry)
{
    Edit8->setText(company);
    Edit9->setText(model);
    Edit1->setText(entry.Voltage);
    Edit2->setText(entry.Cs);
    Edit3->setText(entry.Cc);
    Edit4->setText(entry.dE);
    Edit5->setText(entry.Convergence);
    Edit6->setText(entry.dvv);
    Edit7->setText(entry.dii);
    OKBtn->setFocus();
}

QString TfmScopeEdit::company() const
{
    return Edit8->text();
}

QString TfmScopeEdit::model() const
{
    return Edit9->text();
}

ScopeData TfmScopeEdit::values() const
{
    ScopeData d;
    d.Voltage = Edit1->text();
    d.Cs = Edit2->text();
    d.Cc = Edit3->text();
    d.dE = Edit4->text();
    d.Convergence = Edit5->text();
    d.dvv = Edit6->text();
    d.dii = Edit7->text();
    return d;
}

void TfmScopeEdit::OKBtnClick()
{
    if (succeeds(this, [this] { WriteScopeEntry(company(), model(), values()); }))
        accept();
}

} // namespace orvalis
