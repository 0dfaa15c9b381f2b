// The library dialogs as the main window opens them, the information tree's pop-up menu, and the
// one function through which a dialog's instrument reaches the window.
#include "form1.h"

#include "core/infotext.h"
#include "session/ctfsession.h"
#include "ui/info/fminfo.h"
#include "ui/main/infopanel.h"
#include "ui/main/windowactions.h"
#include "ui/microsetup/fmmicrosetup.h"
#include "ui/quicksetup/fmquickedit.h"
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
    m_info->FormActivate(infoTextLines(m_state, ScopeRecord1, ScopeRecord2));
    m_info->exec();
}

} // namespace orvalis
