#include "ui/fitctf/fitctfdialog.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis {
namespace {

QLineEdit *field(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// Two fields in one row: "from [a] to [b] unit".
QWidget *pair(QWidget *parent, QLineEdit *from, QLineEdit *to, const QString &unit)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(from, 1);
    layout->addWidget(new QLabel(QStringLiteral("to"), row));
    layout->addWidget(to, 1);
    layout->addWidget(new QLabel(unit, row));
    return row;
}

} // namespace

FitCtfDialog::FitCtfDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FitCtfDialog"));
    setWindowTitle(QStringLiteral("Fit CTF"));
    edMinUnderfocus = field(this, "edMinUnderfocus");
    edMaxUnderfocus = field(this, "edMaxUnderfocus");
    edLowResolution = field(this, "edLowResolution");
    edHighResolution = field(this, "edHighResolution");
    cbFitPhaseShift = new QCheckBox(QStringLiteral("Fit a phase plate's &shift"), this);
    cbFitPhaseShift->setObjectName(QStringLiteral("cbFitPhaseShift"));

    auto *form = new QFormLayout;
    auto *defocus = new QLabel(QStringLiteral("&Underfocus from"), this);
    defocus->setBuddy(edMinUnderfocus);
    form->addRow(defocus, pair(this, edMinUnderfocus, edMaxUnderfocus, QStringLiteral("µm")));
    auto *band = new QLabel(QStringLiteral("&Band from"), this);
    band->setBuddy(edLowResolution);
    form->addRow(band, pair(this, edLowResolution, edHighResolution, QStringLiteral("Å")));
    form->addRow(QString(), cbFitPhaseShift);

    laContext = new QLabel(this);
    laContext->setObjectName(QStringLiteral("laContext"));
    laContext->setWordWrap(true);
    laProblem = new QLabel(this);
    laProblem->setObjectName(QStringLiteral("laProblem"));
    laProblem->setWordWrap(true);
    laProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    laProblem->hide();

    auto *buttons = new QDialogButtonBox(this);
    FitBtn = buttons->addButton(QStringLiteral("&Fit"), QDialogButtonBox::AcceptRole);
    FitBtn->setObjectName(QStringLiteral("FitBtn"));
    FitBtn->setDefault(true);
    DefaultsBtn = buttons->addButton(QStringLiteral("&Defaults"), QDialogButtonBox::ResetRole);
    DefaultsBtn->setObjectName(QStringLiteral("DefaultsBtn"));
    CancelBtn = buttons->addButton(QDialogButtonBox::Cancel);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(DefaultsBtn, &QPushButton::clicked, this, [this] { showRequest(FitRequest()); });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(laContext);
    layout->addWidget(laProblem);
    layout->addWidget(buttons);
    showRequest(m_request);
}

void FitCtfDialog::showRequest(const FitRequest &r)
{
    edMinUnderfocus->setText(formatGeneral(r.minUnderfocus));
    edMaxUnderfocus->setText(formatGeneral(r.maxUnderfocus));
    edLowResolution->setText(formatGeneral(r.lowResolution));
    edHighResolution->setText(formatGeneral(r.highResolution));
    cbFitPhaseShift->setChecked(r.fitPhaseShift);
}

void FitCtfDialog::setRequest(const FitRequest &request, double pixelSizeNm)
{
    m_request = request;
    m_pixelSizeNm = pixelSizeNm;
    laProblem->hide();
    showRequest(request);
    adjustSize(); // without the room a refusal took last time
    edMinUnderfocus->setFocus();
}

void FitCtfDialog::setContext(const QString &text)
{
    laContext->setText(text);
}

void FitCtfDialog::done(int result)
{
    if (result != QDialog::Accepted) {
        QDialog::done(result);
        return;
    }
    FitRequest typed;
    QString problem;
    const std::pair<QLineEdit *, double FitRequest::*> fields[] = {{edMinUnderfocus, &FitRequest::minUnderfocus},
                                                                   {edMaxUnderfocus, &FitRequest::maxUnderfocus},
                                                                   {edLowResolution, &FitRequest::lowResolution},
                                                                   {edHighResolution, &FitRequest::highResolution}};
    QLineEdit *wrong = nullptr;
    for (const auto &f : fields) {
        try {
            typed.*f.second = strToFloat(f.first->text().trimmed());
        } catch (const OrvalisError &e) {
            problem = e.text();
            wrong = f.first;
            break;
        }
    }
    typed.fitPhaseShift = cbFitPhaseShift->isChecked();
    if (problem.isEmpty()) {
        problem = fitRequestProblem(typed, m_pixelSizeNm);
        wrong = problem.contains(QStringLiteral("Nyquist"))  ? edHighResolution
            : problem.startsWith(QStringLiteral("The band")) ? edLowResolution
                                                             : edMinUnderfocus;
    }
    if (!problem.isEmpty()) {
        // The dialog stays open with what was typed.
        laProblem->setText(problem);
        laProblem->show();
        adjustSize(); // the message takes room of its own
        wrong->setFocus();
        wrong->selectAll();
        return;
    }
    laProblem->hide();
    m_request = typed;
    QDialog::done(result);
}

} // namespace orvalis
