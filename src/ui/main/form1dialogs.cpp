// The library dialogs and the options dialog as the main window opens them, and the one function
// through which a dialog's instrument reaches the window.
#include "form1.h"

#include "session/ctfsession.h"
#include "ui/info/fminfo.h"
#include "ui/main/infopanel.h"
#include "ui/main/windowactions.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/options/fmoptions.h"
#include "ui/quicksetup/fmquickedit.h"
#include "ui/specimen/specimendialog.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QMenu>
#include <QStatusBar>
#include <QTreeWidget>

namespace orvalis {

void TForm1::buildDialogItems()
{
    connectReported(m_actions->Microscope1, &QAction::triggered, this, &TForm1::Microscope1Click);
    connectReported(m_infoPanel, &InfoPanel::microscopeRequested, this, &TForm1::Microscope1Click);
    connectReported(m_actions->QuickSetup1, &QAction::triggered, this, &TForm1::QuickSetup1Click);
    connectReported(m_infoPanel, &InfoPanel::quickSetupRequested, this, &TForm1::QuickSetup1Click);
    connectReported(m_actions->ShowInfo1, &QAction::triggered, this, &TForm1::ShowInfo1Click);
    for (QAction *item : {m_actions->Microscope1, m_actions->QuickSetup1, m_actions->ShowInfo1})
        item->setEnabled(false);
}

void TForm1::setDialogs(TfmMicroSetup *microSetup, TfmQuickEdit *quickEdit, TfmInfo *info)
{
    m_microSetup = microSetup;
    m_quickEdit = quickEdit;
    m_info = info;
    connect(m_microSetup, &TfmMicroSetup::statusMessage, this,
            [this](const QString &text) { statusBar()->showMessage(text, 15000); });
    m_actions->Microscope1->setEnabled(m_microSetup != nullptr);
    m_actions->QuickSetup1->setEnabled(m_quickEdit != nullptr);
    m_infoPanel->setDialogsAvailable(m_microSetup != nullptr, m_quickEdit != nullptr);
    m_actions->ShowInfo1->setEnabled(m_info != nullptr);
}

bool TForm1::ApplyScopeRecord(const TScopeData &record)
{
    QString refused;
    if (!m_session->applyRecord(record, &refused)) {
        showErrorReport(refused, this);
        return false;
    }
    const TScopeData &active = activeScopeRecord();
    DrawCTF(active.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    DrawPattern(active.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    return true;
}

void TForm1::Microscope1Click()
{
    m_microSetup->setActiveRecord(activeScopeRecord());
    if (m_microSetup->exec() == QDialog::Accepted && m_microSetup->chosenRecord())
        ApplyScopeRecord(*m_microSetup->chosenRecord());
}

void TForm1::QuickSetup1Click()
{
    m_quickEdit->FormActivate(m_state, activeScopeRecord());
    if (m_quickEdit->exec() != QDialog::Accepted)
        return;
    if (m_quickEdit->conversionFailed() || !m_quickEdit->modified()) {
        // Stored without loading: the fields up to a bad one, or the values the dialog showed.
        activeScopeRecord() = m_quickEdit->record();
        m_session->setUpTo(m_quickEdit->upTo());
        return;
    }
    const double upTo = m_state.UpTo;
    m_session->setUpTo(m_quickEdit->upTo());
    if (!ApplyScopeRecord(m_quickEdit->record()))
        m_session->setUpTo(upTo);
}

void TForm1::ShowInfo1Click()
{
    m_info->FormActivate(m_session->infoTexts());
    m_info->exec();
}

void TForm1::setMonochrome(bool on)
{
    m_monochrome = on;
    m_options->setMonochrome(on); // a change reaches the chart through the dialog's signal
}

void TForm1::Options1Click()
{
    m_options->setRanges(workingRanges());
    if (m_options->exec() != QDialog::Accepted)
        return;
    applyWorkingRanges(m_options->ranges());
    if (!m_options->reloadNeeded())
        return;
    const TScopeData record = activeScopeRecord();
    if (!ScopeInit(record))
        return;
    DrawCTF(record.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    DrawPattern(record.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// The specimen's terms leave the instrument as it is: the views are drawn again with them.
void TForm1::SpecimenDetector1Click()
{
    SpecimenDialog dialog(this);
    dialog.setTerms(specimenOf(m_state));
    if (dialog.exec() != QDialog::Accepted || dialog.terms() == specimenOf(m_state))
        return;
    applySpecimen(m_state, dialog.terms());
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

} // namespace orvalis
