#include "ui/quicksetup/fmquickedit.h"

#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "store/scopelibrary.h"
#include "ui/widgets/dialogmessage.h"
#include "ui/widgets/dialogplacement.h"
#include "ui/widgets/errorreport.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis {
namespace {

QLabel *navyNote(const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setStyleSheet(QStringLiteral("color: navy;"));
    l->setWordWrap(true);
    return l;
}

// A field with its unit right beside it.
QHBoxLayout *withUnit(QLineEdit *edit, const QString &unit)
{
    auto *label = new QLabel(unit, edit->parentWidget());
    label->setObjectName(QStringLiteral("laUnit") + edit->objectName());
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(edit);
    row->addWidget(label);
    row->addStretch(1);
    return row;
}

} // namespace

TfmQuickEdit::TfmQuickEdit(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmQuickEdit"));
    setWindowTitle(QStringLiteral("Quick Set Up"));
    openCentredOnMainWindow(this);

    const auto field = [this](QLineEdit *&edit, const char *name, int width) {
        edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        edit->setFixedWidth(width);
    };
    field(Edit1, "Edit1", 80);
    field(Edit2, "Edit2", 80);
    field(Edit3, "Edit3", 80);
    field(edC5, "edC5", 80); // the left column's last: the keyboard reaches it after Cc
    field(Edit4, "Edit4", 80);
    field(Edit7, "Edit7", 50);
    field(Edit8, "Edit8", 50);
    field(Edit5, "Edit5", 80);
    field(Edit6, "Edit6", 80);
    Edit6->setText(QStringLiteral("10"));

    auto *scope = new QGroupBox(this);
    scope->setObjectName(QStringLiteral("GroupBox1"));
    auto *upper = new QVBoxLayout(scope);
    upper->addWidget(navyNote(QStringLiteral("Here you can quickly edit the current scope parameters.\n"
                                             "These parameters will not be saved for the next session."),
                              scope));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Voltage:"), scope), 0, 0);
    grid->addLayout(withUnit(Edit1, QStringLiteral("kV")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Cs:"), scope), 1, 0);
    grid->addLayout(withUnit(Edit2, QStringLiteral("mm")), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Cc:"), scope), 2, 0);
    grid->addLayout(withUnit(Edit3, QStringLiteral("mm")), 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("C5:"), scope), 3, 0);
    grid->addLayout(withUnit(edC5, QStringLiteral("mm")), 3, 1);
    grid->setColumnMinimumWidth(2, 16);
    grid->addWidget(new QLabel(QStringLiteral("Energy Spread:"), scope), 0, 3);
    grid->addLayout(withUnit(Edit4, QStringLiteral("eV")), 0, 4, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("dV/V:"), scope), 1, 3);
    grid->addLayout(withUnit(Edit7, QStringLiteral("ppm")), 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("dI/I:"), scope), 1, 5);
    grid->addLayout(withUnit(Edit8, QStringLiteral("ppm")), 1, 6);
    grid->addWidget(new QLabel(QStringLiteral("Convergence:"), scope), 2, 3);
    grid->addLayout(withUnit(Edit5, QStringLiteral("mrad")), 2, 4, 1, 3);
    upper->addLayout(grid);

    auto *range = new QGroupBox(this);
    range->setObjectName(QStringLiteral("GroupBox2"));
    auto *lower = new QVBoxLayout(range);
    lower->addWidget(navyNote(QStringLiteral("Here you can change the highest frequency shown in the graphs. "
                                             "Default value is 10 (nm-1)."),
                              range));
    auto *upToRow = new QHBoxLayout;
    upToRow->addWidget(new QLabel(QStringLiteral("Up To:"), range));
    upToRow->addLayout(withUnit(Edit6, QStringLiteral("nm\u207B\u00B9")), 1);
    lower->addLayout(upToRow);

    addOkCancel(this, OKBtn, CancelBtn);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch(1);

    auto *groups = new QVBoxLayout;
    groups->addWidget(scope);
    groups->addWidget(range);
    auto *row = new QHBoxLayout(this);
    row->addLayout(groups, 1);
    row->addLayout(buttons);
    setFixedSize(sizeHint());

    connectReported(OKBtn, &QPushButton::clicked, this, &TfmQuickEdit::OKBtnClick);
}

void TfmQuickEdit::FormActivate(const OpticsState &state, const TScopeData &record)
{
    m_record = record;
    m_upTo = state.UpTo;
    m_failed = false;
    Edit1->setText(formatGeneral(state.Voltage));
    Edit2->setText(formatGeneral(nmToMmByProduct(state.Cs)));
    Edit3->setText(formatGeneral(nmToMmByProduct(state.Cc)));
    Edit4->setText(formatGeneral(state.dE));
    Edit7->setText(formatGeneral(fractionToPpm(state.dvv)));
    Edit8->setText(formatGeneral(fractionToPpm(state.dii)));
    Edit5->setText(formatGeneral(radToMrad(state.Convergence)));
    Edit6->setText(formatGeneral(state.UpTo));
    edC5->setText(formatGeneral(nmToMmByProduct(state.C5)));
    for (QLineEdit *e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, edC5})
        e->setModified(false);
    Edit1->setFocus();
    Edit1->selectAll();
}

bool TfmQuickEdit::modified() const
{
    for (const QLineEdit *e : {Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, Edit7, Edit8, edC5})
        if (e->isModified())
            return true;
    return false;
}

void TfmQuickEdit::OKBtnClick()
{
    // Field by field in this order, each scaled as the library's texts are; an empty field keeps
    // its quantity.
    const auto store = [this](QLineEdit *edit, QString ScopeData::*text) {
        ScopeData one;
        one.*text = edit->text();
        ApplyScopeData(one, m_record);
    };
    try {
        store(Edit1, &ScopeData::Voltage);
        store(Edit2, &ScopeData::Cs);
        store(Edit3, &ScopeData::Cc);
        store(Edit4, &ScopeData::dE);
        store(Edit5, &ScopeData::Convergence);
        if (!Edit6->text().isEmpty()) {
            const double upTo = strToFloat(Edit6->text());
            checkUpTo(upTo);
            m_upTo = upTo;
        }
        store(Edit7, &ScopeData::dvv);
        store(Edit8, &ScopeData::dii);
        store(edC5, &ScopeData::C5);
    } catch (const OrvalisError &e) {
        m_failed = true;
        showDialogMessage(this, QMessageBox::NoIcon, QStringLiteral("Sorry,\r\n") + e.text());
    }
    accept();
}

} // namespace orvalis
