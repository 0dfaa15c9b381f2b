#include "ui/microedit/fmscopeedit.h"

#include "ui/widgets/dialogmessage.h"
#include "ui/widgets/dialogplacement.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/scopefields.h"

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
    openCentredOnMainWindow(this);

    auto *form = new QFormLayout;
    const auto name = [this, form](QLineEdit *&edit, const char *objectName, const QString &label) {
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(objectName));
        form->addRow(label, edit);
    };
    name(Edit8, "Edit8", QStringLiteral("Company:"));
    name(Edit9, "Edit9", QStringLiteral("Model:"));
    m_fields.addTo(form, this);
    Edit8->setMinimumWidth(180);

    addOkCancel(this, OKBtn, CancelBtn);
    FormActivate(QStringLiteral("Some Name"), QStringLiteral("Some Model"), initialTexts());
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch(1);
    auto *row = new QHBoxLayout(this);
    row->addLayout(form, 1);
    row->addLayout(buttons);
    setFixedSize(sizeHint());

    // The buttons first, then the values, the names last.
    const ScopeFields &f = m_fields;
    QWidget *order[] = {OKBtn,   CancelBtn, f.Edit1, f.Edit2, f.Edit3, f.Edit4,
                        f.Edit6, f.Edit7,   f.Edit5, f.edC5,  Edit8,   Edit9};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);

    connectReported(OKBtn, &QPushButton::clicked, this, &TfmScopeEdit::OKBtnClick);
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
    m_fields.setTexts(entry);
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
    return m_fields.texts();
}

void TfmScopeEdit::OKBtnClick()
{
    // An entry the program could not load would fail only when it is chosen, far from the typing.
    if (succeeds(this, [this] {
            ScopeRecordFromData(company(), model(), values());
            WriteScopeEntry(company(), model(), values());
        }))
        accept();
}

} // namespace orvalis
