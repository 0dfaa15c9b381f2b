#include "setupdialogs.h"

#include "core/cryoemdefocus.h"
#include "core/ctffunctions.h"
#include "core/optionranges.h"
#include "core/units.h"
#include "session/ctfsession.h"
#include "ui/astigmatism/astigmatismdialog.h"
#include "ui/info/fminfo.h"
#include "ui/main/infopanel.h"
#include "ui/main/windowactions.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/options/fmoptions.h"
#include "ui/quicksetup/fmquickedit.h"
#include "ui/specimen/specimendialog.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

namespace orvalis {

SetupDialogs::SetupDialogs(QMainWindow *window, const Parts &parts)
    : QObject(window), m_window(window), m_parts(parts), m_options(std::make_unique<TfmOptions>())
{
    connect(m_options.get(), &TfmOptions::monochromeChanged, this, [this](bool on) {
        m_parts.session->setMonochrome(on); // the chart follows it
        m_parts.actions->setCurveLook(on);
    });
    for (QAction *item : {parts.actions->Microscope1, parts.actions->QuickSetup1, parts.actions->ShowInfo1})
        item->setEnabled(false);
    connectReported(parts.actions->Astigmatism1, &QAction::triggered, this, &SetupDialogs::editAstigmatism);
}

SetupDialogs::~SetupDialogs() = default;

void SetupDialogs::setDialogs(TfmMicroSetup *microSetup, TfmQuickEdit *quickEdit, TfmInfo *info)
{
    m_microSetup = microSetup;
    m_quickEdit = quickEdit;
    m_info = info;
    connect(m_microSetup, &TfmMicroSetup::statusMessage, this,
            [this](const QString &text) { m_window->statusBar()->showMessage(text, 15000); });
    m_parts.actions->Microscope1->setEnabled(m_microSetup != nullptr);
    m_parts.actions->QuickSetup1->setEnabled(m_quickEdit != nullptr);
    m_parts.info->setDialogsAvailable(m_microSetup != nullptr, m_quickEdit != nullptr);
    m_parts.actions->ShowInfo1->setEnabled(m_info != nullptr);
}

bool SetupDialogs::ApplyScopeRecord(const TScopeData &record)
{
    QString refused;
    if (!m_parts.session->applyRecord(record, &refused)) {
        showErrorReport(refused, m_window);
        return false;
    }
    // The load is drawn with the controls' defocus; the window has always shown a record applied at
    // the record's own defocus where that differs (the controls keep theirs until they move).
    const double defocus = m_parts.session->activeScopeRecord().Defocus;
    if (defocus != m_parts.session->state().Defocus)
        emit recordDefocusShown(defocus);
    return true;
}

void SetupDialogs::Microscope1Click()
{
    m_microSetup->setActiveRecord(m_parts.session->activeScopeRecord());
    if (m_microSetup->exec() == QDialog::Accepted && m_microSetup->chosenRecord())
        ApplyScopeRecord(*m_microSetup->chosenRecord());
}

void SetupDialogs::QuickSetup1Click()
{
    CtfSession &session = *m_parts.session;
    m_quickEdit->FormActivate(session.state(), session.activeScopeRecord());
    if (m_quickEdit->exec() != QDialog::Accepted)
        return;
    if (m_quickEdit->conversionFailed() || !m_quickEdit->modified()) {
        // Stored without loading: the fields up to a bad one, or the values the dialog showed.
        session.activeScopeRecord() = m_quickEdit->record();
        session.setUpTo(m_quickEdit->upTo());
        return;
    }
    const double upTo = session.upTo();
    session.setUpTo(m_quickEdit->upTo());
    if (!ApplyScopeRecord(m_quickEdit->record()))
        session.setUpTo(upTo);
}

void SetupDialogs::ShowInfo1Click()
{
    m_info->FormActivate(m_parts.session->infoTexts());
    m_info->exec();
}

void SetupDialogs::setMonochrome(bool on)
{
    m_parts.session->setMonochrome(on);
    showMonochrome();
}

void SetupDialogs::showMonochrome()
{
    m_options->setMonochrome(
        m_parts.session->viewChoices().monochrome); // a change reaches the chart through the dialog's signal
}

void SetupDialogs::Options1Click()
{
    m_options->setRanges(m_parts.session->ranges());
    m_options->setConventions(m_parts.session->conventions());
    if (m_options->exec() != QDialog::Accepted)
        return;
    m_parts.session->setConventions(m_options->conventions());
    emit workingRangesChosen(m_options->ranges(), m_options->reloadNeeded());
}

// The specimen's terms leave the instrument as it is: their change draws the views again.
void SetupDialogs::SpecimenDetector1Click()
{
    const OpticsState &state = m_parts.session->state();
    SpecimenDialog dialog(m_window);
    dialog.setTerms(specimenOf(state));
    if (dialog.exec() != QDialog::Accepted || dialog.terms() == specimenOf(state))
        return;
    m_parts.session->setSpecimen(dialog.terms()); // the map shows them too, and the Nyquist frequency
    m_parts.actions->setDetectorSet(state.PixelSize > 0);
}

void SetupDialogs::editAstigmatism()
{
    const OpticsState &state = m_parts.session->state();
    AstigmatismDialog dialog(defocusLimit(m_parts.session->ranges()), MaxAstigmatism, m_window);
    dialog.setValues(
        {state.Defocus, state.A2, twoFoldAngle(radiansToDegrees(state.A2Azimuth)), radiansToDegrees(state.A3Azimuth)});
    const auto show = [&dialog](SetupDialogs *self) {
        const AstigmatismValues v = dialog.values();
        emit self->aberrationsChosen(v.defocus, v.a2, degreesToRadians(v.a2Azimuth), degreesToRadians(v.a3Azimuth));
    };
    connectReported(&dialog, &AstigmatismDialog::applied, this, show);
    if (dialog.exec() == QDialog::Accepted)
        show(this);
}

void SetupDialogs::Image2Click()
{
    const QString text = QStringLiteral("Strange patterns may appear in  2D CTF and Defocus Map\r\n"
                                        "due to the Moire effect. Usually this happens at large\r\n"
                                        "defocus values.\r\n"
                                        "Please disregard those.\r\n"
                                        "If possible, use defocusi less than 300 nm.");
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"),
                    QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), QMessageBox::Ok, m_window);
    box.setObjectName(QStringLiteral("FastOscillationInfo"));
    box.exec();
}

} // namespace orvalis
