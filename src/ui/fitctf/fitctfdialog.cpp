#include "ui/fitctf/fitctfdialog.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "ui/widgets/dialogmessage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

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

// One field in a row: "[a] unit".
QWidget *single(QWidget *parent, QLineEdit *edit, const QString &unit)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit, 1);
    layout->addWidget(new QLabel(unit, row));
    return row;
}

struct OpticsField {
    const char *label; // with its unit, as messages name it
    double FitOptics::*value;
    double minimum, maximum;
    bool minimumIncluded;
    int decimals; // shown
};

// Voltages of every electron microscope; Cs of uncorrected (up to a few mm) and corrected (near 0,
// either sign) lenses; the amplitude contrast of any specimen (1 would leave no phase contrast);
// pixels the micrograph reader takes.
const OpticsField kOpticsFields[] = {
    {"Voltage (kV)", &FitOptics::voltage, kFitMinVoltage, kFitMaxVoltage, true, 3},
    {"Cs (mm)", &FitOptics::cs, -kFitDialogMaxCs, kFitDialogMaxCs, true, 3},
    {"Amplitude contrast", &FitOptics::amplitudeContrast, 0, 1, true, 3},
    {"Pixel size (Å)", &FitOptics::pixelSize, kFitMinPixelSize, kFitMaxPixelSize, true, 4},
};

// The amplitude contrasts most specimens take: vitreous ice and the proteins in it about 0.07, a
// negative stain about 0.1. The last choice is whatever the field holds.
const struct {
    const char *text;
    double value;
} kContrastChoices[] = {{"Cryo-EM (0.07)", 0.07}, {"Negative stain (0.1)", 0.1}};

// The request holds the defocus in Å; the dialog shows it in µm.
double shownUnderfocus(double angstrom)
{
    return nmToUm(angstromToNm(angstrom));
}

double typedUnderfocus(double um)
{
    return nmToAngstrom(umToNm(um));
}

QString opticsRule(const OpticsField &f, double v)
{
    const bool below1 = f.value == &FitOptics::amplitudeContrast;
    if (std::isfinite(v) && v >= f.minimum && (below1 ? v < f.maximum : v <= f.maximum))
        return QString();
    return QStringLiteral("%1 cannot be %2: it must be from %3 to %4%5.")
        .arg(QString::fromUtf8(f.label), formatGeneral(v), formatGeneral(f.minimum),
             below1 ? QStringLiteral("below ") : QString(), formatGeneral(f.maximum));
}

} // namespace

QString fitOpticsProblem(const FitOptics &optics)
{
    for (const OpticsField &f : kOpticsFields) {
        const QString rule = opticsRule(f, optics.*f.value);
        if (!rule.isEmpty())
            return rule;
    }
    return QString();
}

FitCtfDialog::FitCtfDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FitCtfDialog"));
    setWindowTitle(QStringLiteral("Fit CTF"));
    edMinUnderfocus = field(this, "edMinUnderfocus");
    edMaxUnderfocus = field(this, "edMaxUnderfocus");
    edLowResolution = field(this, "edLowResolution");
    edHighResolution = field(this, "edHighResolution");
    edMaxAstigmatism = field(this, "edMaxAstigmatism");
    cbFitPhaseShift = new QCheckBox(QStringLiteral("Fit a phase plate's &shift"), this);
    cbFitPhaseShift->setObjectName(QStringLiteral("cbFitPhaseShift"));
    cbFitTilt = new QCheckBox(QStringLiteral("Fit the specimen's &tilt (angle and axis)"), this);
    cbFitTilt->setObjectName(QStringLiteral("cbFitTilt"));
    cbFitTilt->setToolTip(QStringLiteral("The defocus is then the one at the image's centre, and the spectrum is "
                                         "corrected for the tilt before the last refinement"));
    cbFitThickness = new QCheckBox(QStringLiteral("Fit the specimen's thic&kness"), this);
    cbFitThickness->setObjectName(QStringLiteral("cbFitThickness"));
    cbFitThickness->setToolTip(QStringLiteral("None is reported for a specimen thin for the band: one whose rings' "
                                              "first node lies beyond the band's top"));

    auto *form = new QFormLayout;
    auto *defocus = new QLabel(QStringLiteral("&Underfocus from"), this);
    defocus->setBuddy(edMinUnderfocus);
    form->addRow(defocus, pair(this, edMinUnderfocus, edMaxUnderfocus, QStringLiteral("µm")));
    auto *band = new QLabel(QStringLiteral("&Band from"), this);
    band->setBuddy(edLowResolution);
    form->addRow(band, pair(this, edLowResolution, edHighResolution, QStringLiteral("Å")));
    auto *astigmatism = new QLabel(QStringLiteral("&Largest astigmatism (U − V)"), this);
    astigmatism->setBuddy(edMaxAstigmatism);
    form->addRow(astigmatism, single(this, edMaxAstigmatism, QStringLiteral("Å")));
    form->addRow(QString(), cbFitPhaseShift);
    form->addRow(QString(), cbFitTilt);
    form->addRow(QString(), cbFitThickness);

    // Changed here, they change the session's instrument and specimen as Setup's dialogs do.
    auto *optics = new QGroupBox(QStringLiteral("Instrument and micrograph"), this);
    optics->setObjectName(QStringLiteral("gbOptics"));
    auto *opticsForm = new QFormLayout(optics);
    edVoltage = field(this, "edVoltage");
    edCs = field(this, "edCs");
    edAmplitudeContrast = field(this, "edAmplitudeContrast");
    edPixelSize = field(this, "edPixelSize");
    const std::pair<const char *, QLineEdit *> rows[] = {{"&Voltage (kV):", edVoltage},
                                                         {"&Cs (mm):", edCs},
                                                         {"&Amplitude contrast:", edAmplitudeContrast},
                                                         {"Pi&xel size (Å):", edPixelSize}};
    cbAmplitudeContrast = new QComboBox(optics);
    cbAmplitudeContrast->setObjectName(QStringLiteral("cbAmplitudeContrast"));
    for (const auto &choice : kContrastChoices)
        cbAmplitudeContrast->addItem(QString::fromLatin1(choice.text), choice.value);
    cbAmplitudeContrast->addItem(QStringLiteral("Typed value"));
    for (const auto &[text, edit] : rows) {
        auto *label = new QLabel(QString::fromUtf8(text), optics);
        label->setBuddy(edit);
        if (edit != edAmplitudeContrast) {
            opticsForm->addRow(label, edit);
            continue;
        }
        auto *contrast = new QWidget(optics);
        auto *row = new QHBoxLayout(contrast);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(edit, 1);
        row->addWidget(cbAmplitudeContrast);
        opticsForm->addRow(label, contrast);
    }
    connect(cbAmplitudeContrast, QOverload<int>::of(&QComboBox::activated), this, [this](int index) {
        const QVariant value = cbAmplitudeContrast->itemData(index);
        if (value.isValid())
            edAmplitudeContrast->setText(formatGeneral(value.toDouble()));
        else
            edAmplitudeContrast->setFocus();
    });
    connect(edAmplitudeContrast, &QLineEdit::textChanged, this, &FitCtfDialog::showContrastChoice);

    laContext = new QLabel(this);
    laContext->setObjectName(QStringLiteral("laContext"));
    laContext->setWordWrap(true);
    // A wrapped label's height follows its width only within a layout that asks it: without this the
    // dialog keeps the height of one line and clips the rest.
    laContext->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
    laProblem = new QLabel(this);
    laProblem->setObjectName(QStringLiteral("laProblem"));
    laProblem->setWordWrap(true);
    laProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    laProblem->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
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
    layout->setSizeConstraint(QLayout::SetMinimumSize); // never smaller than the texts need
    layout->addLayout(form);
    layout->addWidget(optics);
    layout->addWidget(laContext);
    layout->addWidget(laProblem);
    layout->addWidget(buttons);
    showRequest(m_request);
    keepTitleWhole(this);
}

void FitCtfDialog::showRequest(const FitRequest &r)
{
    edMinUnderfocus->setText(formatGeneral(shownUnderfocus(r.minUnderfocus)));
    edMaxUnderfocus->setText(formatGeneral(shownUnderfocus(r.maxUnderfocus)));
    edLowResolution->setText(formatGeneral(r.lowResolution));
    edHighResolution->setText(formatGeneral(r.highResolution));
    edMaxAstigmatism->setText(formatGeneral(r.maxAstigmatism));
    cbFitPhaseShift->setChecked(r.fitPhaseShift);
    cbFitTilt->setChecked(r.fitTilt);
    cbFitThickness->setChecked(r.fitThickness);
}

void FitCtfDialog::setRequest(const FitRequest &request, const FitOptics &optics)
{
    m_request = request;
    m_optics = optics;
    laProblem->hide();
    showRequest(request);
    for (const OpticsField &f : kOpticsFields)
        opticsEdit(f.value)->setText(formatRounded(optics.*f.value, f.decimals));
    adjustSize(); // without the room a refusal took last time
    edMinUnderfocus->setFocus();
}

void FitCtfDialog::setContext(const QString &text)
{
    laContext->setText(text);
    adjustSize(); // a longer text wraps to more lines: the dialog grows to show them
}

void FitCtfDialog::done(int result)
{
    if (result != QDialog::Accepted) {
        QDialog::done(result);
        return;
    }
    FitRequest typed = m_request;
    QString problem;
    const std::pair<QLineEdit *, double FitRequest::*> fields[] = {{edMinUnderfocus, &FitRequest::minUnderfocus},
                                                                   {edMaxUnderfocus, &FitRequest::maxUnderfocus},
                                                                   {edLowResolution, &FitRequest::lowResolution},
                                                                   {edHighResolution, &FitRequest::highResolution},
                                                                   {edMaxAstigmatism, &FitRequest::maxAstigmatism}};
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
    typed.minUnderfocus = typedUnderfocus(typed.minUnderfocus);
    typed.maxUnderfocus = typedUnderfocus(typed.maxUnderfocus);
    typed.fitPhaseShift = cbFitPhaseShift->isChecked();
    typed.fitTilt = cbFitTilt->isChecked();
    typed.fitThickness = cbFitThickness->isChecked();
    if (!problem.isEmpty())
        return refuse(problem, wrong);
    // A field left as it was shown keeps the value behind it, not its rounded text.
    FitOptics optics = m_optics;
    for (const OpticsField &f : kOpticsFields) {
        QLineEdit *edit = opticsEdit(f.value);
        if (edit->text().trimmed() == formatRounded(m_optics.*f.value, f.decimals))
            continue;
        try {
            optics.*f.value = strToFloat(edit->text().trimmed());
        } catch (const OrvalisError &e) {
            return refuse(QString::fromUtf8(f.label) + QStringLiteral(": ") + e.text(), edit);
        }
        const QString rule = opticsRule(f, optics.*f.value);
        if (!rule.isEmpty())
            return refuse(rule, edit);
    }
    // The scan's size is the session's to judge, with the instrument as it stands after this dialog.
    const FitProblem refused = fitRequestProblem(typed, {FitVoice::Window, angstromToNm(optics.pixelSize), false});
    if (!refused.isEmpty())
        return refuse(refused.text,
                      refused.field == FitField::HighResolution    ? edHighResolution
                          : refused.field == FitField::Band        ? edLowResolution
                          : refused.field == FitField::Astigmatism ? edMaxAstigmatism
                                                                   : edMinUnderfocus);
    laProblem->hide();
    m_request = typed;
    m_optics = optics;
    QDialog::done(result);
}

// The dialog stays open with what was typed.
void FitCtfDialog::refuse(const QString &problem, QLineEdit *wrong)
{
    laProblem->setText(problem);
    laProblem->show();
    adjustSize(); // the message takes room of its own
    wrong->setFocus();
    wrong->selectAll();
}

void FitCtfDialog::showContrastChoice()
{
    int choice = cbAmplitudeContrast->count() - 1;
    try {
        const double typed = strToFloat(edAmplitudeContrast->text().trimmed());
        for (int i = 0; i + 1 < cbAmplitudeContrast->count(); ++i)
            if (typed == cbAmplitudeContrast->itemData(i).toDouble())
                choice = i;
    } catch (const OrvalisError &) {
    }
    cbAmplitudeContrast->setCurrentIndex(choice);
}

QLineEdit *FitCtfDialog::opticsEdit(double FitOptics::*value) const
{
    if (value == &FitOptics::voltage)
        return edVoltage;
    if (value == &FitOptics::cs)
        return edCs;
    if (value == &FitOptics::amplitudeContrast)
        return edAmplitudeContrast;
    return edPixelSize;
}

} // namespace orvalis
