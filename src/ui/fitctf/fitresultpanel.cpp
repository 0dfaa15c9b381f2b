#include "ui/fitctf/fitresultpanel.h"

#include "core/numberformat.h"
#include "core/units.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalis {
namespace {

QLabel *value(QWidget *parent, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QString fixed(double v, int decimals, const QString &unit)
{
    return QStringLiteral("%1 %2").arg(formatFixed(v, decimals), unit);
}

} // namespace

FitResultPanel::FitResultPanel(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FitResultPanel"));
    setWindowTitle(QStringLiteral("CTF Fit"));
    setModal(false);

    auto *program = new QGroupBox(QStringLiteral("This program"), this);
    auto *programForm = new QFormLayout(program);
    laDefocus = value(program, "laDefocus");
    laA2 = value(program, "laA2");
    laAzimuth = value(program, "laAzimuth");
    programForm->addRow(QStringLiteral("Defocus:"), laDefocus);
    programForm->addRow(QStringLiteral("Astigmatism A2:"), laA2);
    programForm->addRow(QStringLiteral("Azimuth:"), laAzimuth);

    auto *cryoEm = new QGroupBox(QStringLiteral("Cryo-EM (RELION, CTFFIND)"), this);
    auto *cryoForm = new QFormLayout(cryoEm);
    laDefocusU = value(cryoEm, "laDefocusU");
    laDefocusV = value(cryoEm, "laDefocusV");
    laAngle = value(cryoEm, "laAngle");
    cryoForm->addRow(QStringLiteral("Defocus U:"), laDefocusU);
    cryoForm->addRow(QStringLiteral("Defocus V:"), laDefocusV);
    cryoForm->addRow(QStringLiteral("Angle:"), laAngle);

    auto *both = new QHBoxLayout;
    both->addWidget(program);
    both->addWidget(cryoEm);

    auto *common = new QFormLayout;
    m_common = common;
    laPhaseShift = value(this, "laPhaseShift");
    laTilt = value(this, "laTilt");
    laThickness = value(this, "laThickness");
    laScore = value(this, "laScore");
    laResolution = value(this, "laResolution");
    common->addRow(QStringLiteral("Phase shift:"), laPhaseShift);
    common->addRow(QStringLiteral("Tilt:"), laTilt);
    common->addRow(QStringLiteral("Thickness:"), laThickness);
    common->setRowVisible(laTilt, false);
    common->setRowVisible(laThickness, false);
    common->addRow(QStringLiteral("Score:"), laScore);
    common->addRow(QStringLiteral("Fit holds to:"), laResolution);
    laFittedWith = value(this, "laFittedWith");
    common->addRow(QStringLiteral("Fitted with:"), laFittedWith);

    laStatus = new QLabel(this);
    laStatus->setObjectName(QStringLiteral("laStatus"));
    laStatus->setWordWrap(true);

    pbFit = new QProgressBar(this);
    pbFit->setObjectName(QStringLiteral("pbFit"));
    pbFit->setRange(0, 1000);
    pbFit->setTextVisible(false);
    CancelFitBtn = new QPushButton(QStringLiteral("Ca&ncel"), this);
    CancelFitBtn->setObjectName(QStringLiteral("CancelFitBtn"));
    connect(CancelFitBtn, &QPushButton::clicked, this, &FitResultPanel::cancelClicked);
    auto *running = new QHBoxLayout;
    running->addWidget(pbFit, 1);
    running->addWidget(CancelFitBtn);

    auto *buttons = new QDialogButtonBox(this);
    ApplyBtn = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
    ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
    ApplyBtn->setToolTip(QStringLiteral("Move the defocus and astigmatism sliders to the fit"));
    FitAgainBtn = buttons->addButton(QStringLiteral("&Fit Again..."), QDialogButtonBox::ActionRole);
    FitAgainBtn->setObjectName(QStringLiteral("FitAgainBtn"));
    LocalDefocusBtn = buttons->addButton(QStringLiteral("&Local Defocus..."), QDialogButtonBox::ActionRole);
    LocalDefocusBtn->setObjectName(QStringLiteral("LocalDefocusBtn"));
    LocalDefocusBtn->setToolTip(QStringLiteral("Fit each patch of the micrograph and map its defocus"));
    LocalDefocusBtn->setEnabled(false);
    connect(LocalDefocusBtn, &QPushButton::clicked, this, &FitResultPanel::localDefocusClicked);
    CloseBtn = buttons->addButton(QDialogButtonBox::Close);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    connect(ApplyBtn, &QPushButton::clicked, this, &FitResultPanel::applyClicked);
    connect(FitAgainBtn, &QPushButton::clicked, this, &FitResultPanel::fitAgainClicked);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(both);
    layout->addLayout(common);
    layout->addWidget(laStatus);
    layout->addLayout(running);
    layout->addWidget(buttons);
    showMessage(QStringLiteral("No fit yet."));
}

void FitResultPanel::clearValues()
{
    for (QLabel *l : {laDefocus, laA2, laAzimuth, laDefocusU, laDefocusV, laAngle, laPhaseShift, laScore, laResolution,
                      laFittedWith, laTilt, laThickness})
        l->setText(QStringLiteral("–"));
}

void FitResultPanel::setRunning(bool running)
{
    pbFit->setVisible(running);
    CancelFitBtn->setVisible(running);
    FitAgainBtn->setEnabled(!running);
    if (running)
        LocalDefocusBtn->setEnabled(false);
    if (running) {
        pbFit->setValue(0);
        CancelFitBtn->setFocus();
    }
}

void FitResultPanel::showRunning(const QString &text)
{
    showMessage(text);
    setRunning(true);
}

void FitResultPanel::showProgress(double fraction)
{
    pbFit->setValue(static_cast<int>(fraction * 1000 + 0.5));
}

void FitResultPanel::showMessage(const QString &text)
{
    setRunning(false);
    clearValues();
    laStatus->setText(text);
    ApplyBtn->setEnabled(false);
    LocalDefocusBtn->setEnabled(false);
    fitHeight();
}

void FitResultPanel::showResult(const CtfFitResult &r, bool phaseFitted)
{
    showValues(r, phaseFitted);
    showSpecimen(r, false, false);
    fitHeight();
}

void FitResultPanel::showResult(const CtfFitResult &r, const CtfFitOptions &options)
{
    showValues(r, options.fitPhaseShift);
    showSpecimen(r, options.fitTilt, options.fitThickness);
    fitHeight();
}

void FitResultPanel::showSpecimen(const CtfFitResult &r, bool tilt, bool thickness)
{
    m_common->setRowVisible(laTilt, tilt);
    m_common->setRowVisible(laThickness, thickness);
    if (!r.values)
        return;
    const CtfFitValues &v = *r.values;
    laTilt->setText(
        v.tilt ? QStringLiteral("%1 about an axis at %2 (the defocus is the centre's)")
                     .arg(fixed(v.tilt->angle, 1, QStringLiteral("°")), fixed(v.tilt->axis, 1, QStringLiteral("°")))
               : QStringLiteral("none reported"));
    laThickness->setText(v.thickness ? fixed(*v.thickness, 0, QStringLiteral("Å")) : QStringLiteral("none reported"));
    if (v.tilt)
        laStatus->setText(laStatus->text()
                          + QStringLiteral(" The fit holds to its resolution on the spectrum corrected for the tilt, "
                                           "which the window now shows."));
    if (!r.specimenNote.isEmpty())
        laStatus->setText(laStatus->text() + QLatin1Char(' ') + r.specimenNote.toHtmlEscaped());
}

void FitResultPanel::showValues(const CtfFitResult &r, bool phaseFitted)
{
    setRunning(false);
    clearValues();
    laScore->setText(QStringLiteral("%1 (%2 σ of noise)").arg(formatFixed(r.score, 4), formatFixed(r.significance, 1)));
    if (!r.values) {
        laStatus->setText(r.message + QStringLiteral(" Nothing is applied."));
        ApplyBtn->setEnabled(false);
        LocalDefocusBtn->setEnabled(false);
        return;
    }
    const CtfFitValues &v = *r.values;
    LocalDefocusBtn->setEnabled(true);
    laDefocus->setText(fixed(v.program.Defocus, 1, QStringLiteral("nm")));
    laA2->setText(fixed(v.program.A2, 1, QStringLiteral("nm")));
    laAzimuth->setText(fixed(v.program.azimuth, 1, QStringLiteral("°")));
    laDefocusU->setText(fixed(v.cryoEm.defocusU, 0, QStringLiteral("Å")));
    laDefocusV->setText(fixed(v.cryoEm.defocusV, 0, QStringLiteral("Å")));
    laAngle->setText(fixed(v.cryoEm.angle, 1, QStringLiteral("°")));
    laPhaseShift->setText(fixed(v.phaseShift, 1, QStringLiteral("°"))
                          + (phaseFitted ? QString() : QStringLiteral(" (given)")));
    laResolution->setText(v.resolution > 0 ? fixed(nmToAngstrom(v.resolution), 1, QStringLiteral("Å"))
                                           : QStringLiteral("the rings never agree"));
    // A doubted fit can still be applied: the rings and the agreement drawn at its values are how
    // the user sees whether to believe it, and Fit Again is one click away.
    if (!r.reliable()) {
        laStatus->setText(QStringLiteral("<b style=\"color:#b00000\">%1</b> Apply moves the sliders there all the "
                                         "same.")
                              .arg(fitDoubtText(r, fitLimitNames(FitVoice::Window)).toHtmlEscaped()));
        ApplyBtn->setEnabled(true);
        return;
    }
    laStatus->setText(
        QStringLiteral("Fitted on a spectrum of %1 px tiles. Apply moves the sliders there.").arg(r.tileSize));
    ApplyBtn->setEnabled(true);
    ApplyBtn->setFocus();
}

void FitResultPanel::showFittedWith(const QString &text)
{
    laFittedWith->setText(text);
    fitHeight();
}

void FitResultPanel::showApplied()
{
    laStatus->setText(QStringLiteral("Applied: drag the sliders to watch the agreement."));
    fitHeight();
}

void FitResultPanel::fitHeight()
{
    // A longer text wraps to more lines: the panel grows to show them rather than squeeze every row
    // (it never shrinks what the user made larger).
    QLayout *l = layout();
    l->activate();
    const int needed = l->hasHeightForWidth() ? l->totalHeightForWidth(width()) : l->totalSizeHint().height();
    if (height() < needed)
        resize(width(), needed);
}

} // namespace orvalis
