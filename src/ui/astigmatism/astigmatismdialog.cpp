#include "ui/astigmatism/astigmatismdialog.h"

#include "core/cryoemdefocus.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "ui/widgets/dialogmessage.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orvalis {
namespace {

// A field's value, or the reason it has none.
struct Typed {
    double value = 0;
    QString problem;
};

Typed typedNumber(const QLineEdit *edit)
{
    Typed t;
    try {
        t.value = strToFloat(edit->text().trimmed());
        if (!std::isfinite(t.value))
            t.problem = QStringLiteral("it must be a number");
    } catch (const OrvalisError &e) {
        t.problem = e.text();
    }
    return t;
}

// degrees in [0, 120): a three-fold direction and its turns by 120 degrees are one.
double threeFoldAngle(double degrees)
{
    return directionWithin(degrees, 120.0);
}

QString label(const QLineEdit *edit)
{
    return edit->property("label").toString();
}

} // namespace

AstigmatismDialog::AstigmatismDialog(int defocusLimit, int astigmatismLimit, QWidget *parent)
    : QDialog(parent), m_defocusLimit(defocusLimit), m_astigmatismLimit(astigmatismLimit)
{
    setObjectName(QStringLiteral("AstigmatismDialog"));
    setWindowTitle(QStringLiteral("Astigmatism and Cryo-EM Defocus"));
    const auto addField = [this](QFormLayout *form, QLineEdit *&edit, const char *name, const QString &text) {
        edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setProperty("label", text);
        edit->setMinimumWidth(170); // 15 significant digits whole
        form->addRow(text + QLatin1Char(':'), edit);
    };

    auto *program = new QGroupBox(QStringLiteral("As this program writes them"), this);
    auto *programForm = new QFormLayout(program);
    addField(programForm, edDefocusNm, "edDefocusNm", QStringLiteral("Defocus (nm, negative underfocus)"));
    addField(programForm, edA2, "edA2", QStringLiteral("Two-fold astigmatism A2 (nm)"));
    addField(programForm, edA2Azimuth, "edA2Azimuth", QStringLiteral("Azimuth of A2 (deg)"));
    addField(programForm, edA3Azimuth, "edA3Azimuth", QStringLiteral("Azimuth of A3 (deg)"));

    auto *cryoEm = new QGroupBox(QStringLiteral("As the cryo-EM programs write them (RELION, CTFFIND)"), this);
    auto *cryoEmForm = new QFormLayout(cryoEm);
    addField(cryoEmForm, edDefocusU, "edDefocusU", QStringLiteral("Defocus U (Å, positive underfocus)"));
    addField(cryoEmForm, edDefocusV, "edDefocusV", QStringLiteral("Defocus V (Å)"));
    addField(cryoEmForm, edDefocusAngle, "edDefocusAngle", QStringLiteral("Astigmatism angle (deg)"));

    auto *note = new QLabel(QStringLiteral("Defocus = -(U + V) / 20 nm and A2 = \u03C0 (U - V) / 10 nm, U along the "
                                           "azimuth. Angles are measured from the kx axis towards +ky (downwards "
                                           "on the pattern). The CTF's sign is chosen in the View menu."),
                            this);
    note->setWordWrap(true);

    QDialogButtonBox *buttons = okCancelBox(this, OKBtn, CancelBtn);
    ApplyBtn = buttons->addButton(QDialogButtonBox::Apply);
    ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
    connect(ApplyBtn, &QPushButton::clicked, this, [this] {
        if (take())
            emit applied();
    });

    for (QLineEdit *e : {edDefocusNm, edA2, edA2Azimuth})
        connect(e, &QLineEdit::textEdited, this, &AstigmatismDialog::programTyped);
    for (QLineEdit *e : {edDefocusU, edDefocusV, edDefocusAngle})
        connect(e, &QLineEdit::textEdited, this, &AstigmatismDialog::cryoEmTyped);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(program);
    layout->addWidget(cryoEm);
    layout->addWidget(note);
    layout->addWidget(buttons);
    setValues(m_values);
}

void AstigmatismDialog::setValues(const AstigmatismValues &values)
{
    m_values = values;
    m_cryoEmTyped = false;
    showProgram(values);
    edA3Azimuth->setText(formatRounded(values.a3Azimuth, 2));
    showCryoEm(values);
}

void AstigmatismDialog::showProgram(const AstigmatismValues &v)
{
    // nm to hundredths (a thousandth of the rings' spacing), degrees to hundredths: a fit's last
    // digits say nothing a reader can use.
    edDefocusNm->setText(formatRounded(v.defocus, 2));
    edA2->setText(formatRounded(v.a2, 2));
    edA2Azimuth->setText(formatRounded(v.a2Azimuth, 2));
}

void AstigmatismDialog::showCryoEm(const AstigmatismValues &v)
{
    const CryoEmDefocus c = toCryoEmDefocus({v.defocus, v.a2, v.a2Azimuth});
    edDefocusU->setText(formatRounded(c.defocusU, 1)); // Å
    edDefocusV->setText(formatRounded(c.defocusV, 1));
    edDefocusAngle->setText(formatRounded(c.angle, 2));
}

// The other set follows while what is typed is a number; it keeps its texts otherwise.
void AstigmatismDialog::programTyped()
{
    m_cryoEmTyped = false;
    const Typed d = typedNumber(edDefocusNm), a2 = typedNumber(edA2), az = typedNumber(edA2Azimuth);
    if (d.problem.isEmpty() && a2.problem.isEmpty() && az.problem.isEmpty())
        showCryoEm({d.value, a2.value, az.value, 0});
}

void AstigmatismDialog::cryoEmTyped()
{
    m_cryoEmTyped = true;
    const Typed u = typedNumber(edDefocusU), v = typedNumber(edDefocusV), angle = typedNumber(edDefocusAngle);
    if (!u.problem.isEmpty() || !v.problem.isEmpty() || !angle.problem.isEmpty())
        return;
    const TwoFoldDefocus d = fromCryoEmDefocus({u.value, v.value, angle.value});
    showProgram({d.Defocus, d.A2, d.azimuth, 0});
}

bool AstigmatismDialog::take()
{
    // The texts are rounded: with nothing typed they stand for the exact values behind them.
    const QLineEdit *fields[] = {edDefocusNm, edA2, edA2Azimuth, edA3Azimuth, edDefocusU, edDefocusV, edDefocusAngle};
    if (std::none_of(std::begin(fields), std::end(fields), [](const QLineEdit *e) { return e->isModified(); }))
        return true;
    const auto refuse = [this](QLineEdit *edit, const QString &problem) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Orvalis"),
                        QStringLiteral("Sorry,\n%1: %2").arg(label(edit), problem), QMessageBox::Ok, this);
        box.setObjectName(QStringLiteral("AstigmatismError"));
        box.exec();
        edit->setFocus();
        edit->selectAll();
        return false; // the dialog stays open with what was typed
    };
    const auto number = [&](QLineEdit *edit, double &into) {
        const Typed t = typedNumber(edit);
        if (!t.problem.isEmpty())
            return refuse(edit, t.problem);
        into = t.value;
        return true;
    };

    AstigmatismValues v;
    QLineEdit *defocusField = edDefocusNm, *a2Field = edA2;
    if (m_cryoEmTyped) {
        CryoEmDefocus c;
        if (!number(edDefocusU, c.defocusU) || !number(edDefocusV, c.defocusV) || !number(edDefocusAngle, c.angle))
            return false;
        const TwoFoldDefocus d = fromCryoEmDefocus(c);
        v.defocus = d.Defocus;
        v.a2 = d.A2;
        v.a2Azimuth = d.azimuth;
        defocusField = edDefocusU;
        a2Field = edDefocusV;
    } else if (!number(edDefocusNm, v.defocus) || !number(edA2, v.a2) || !number(edA2Azimuth, v.a2Azimuth)) {
        return false;
    }
    if (!number(edA3Azimuth, v.a3Azimuth))
        return false;
    // From U and V the limits apply to what they give, and the message says so.
    const auto gives = [this](const QString &what, double value) {
        return m_cryoEmTyped ? QStringLiteral("they give %1 of %2 nm; ").arg(what, formatGeneral(value)) : QString();
    };
    if (!(std::fabs(v.defocus) <= m_defocusLimit))
        return refuse(defocusField,
                      gives(QStringLiteral("a defocus"), v.defocus)
                          + QStringLiteral("it must be from %1 to %2 nm").arg(-m_defocusLimit).arg(m_defocusLimit));
    if (!(v.a2 >= 0 && v.a2 <= m_astigmatismLimit))
        return refuse(a2Field,
                      gives(QStringLiteral("a two-fold astigmatism"), v.a2)
                          + QStringLiteral("it must be from 0 to %1 nm").arg(m_astigmatismLimit));
    v.a2Azimuth = twoFoldAngle(v.a2Azimuth);
    v.a3Azimuth = threeFoldAngle(v.a3Azimuth);
    setValues(v);
    return true;
}

void AstigmatismDialog::done(int result)
{
    if (result == QDialog::Accepted && !take())
        return;
    QDialog::done(result);
}

} // namespace orvalis
