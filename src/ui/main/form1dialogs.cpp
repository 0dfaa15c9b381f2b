// The library dialogs as the main window opens them, the information tree's pop-up menu, and the
// one function through which a dialog's instrument reaches the window.
#include "form1.h"

#include "session/ctfsession.h"
#include "ui/info/fminfo.h"
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
    popmTree = new QMenu(this);
    popmTree->setObjectName(QStringLiteral("popmTree"));
    SelectMicroscope1 = popmTree->addAction(QStringLiteral("Select/Edit Microscope"));
    SelectMicroscope1->setObjectName(QStringLiteral("SelectMicroscope1"));
    QuickSetup2 = popmTree->addAction(QStringLiteral("Quick Setup"));
    QuickSetup2->setObjectName(QStringLiteral("QuickSetup2"));
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(TreeView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { popmTree->popup(TreeView1->viewport()->mapToGlobal(at)); });

    connectReported(Microscope1, &QAction::triggered, this, &TForm1::Microscope1Click);
    connectReported(SelectMicroscope1, &QAction::triggered, this, &TForm1::Microscope1Click);
    connectReported(QuickSetup1, &QAction::triggered, this, &TForm1::QuickSetup1Click);
    connectReported(QuickSetup2, &QAction::triggered, this, &TForm1::QuickSetup1Click);
    connectReported(ShowInfo1, &QAction::triggered, this, &TForm1::ShowInfo1Click);
    for (QAction *item : {Microscope1, SelectMicroscope1, QuickSetup1, QuickSetup2, ShowInfo1})
        item->setEnabled(false);
}

void TForm1::setDialogs(TfmMicroSetup *microSetup, TfmQuickEdit *quickEdit, TfmInfo *info)
{
    m_microSetup = microSetup;
    m_quickEdit = quickEdit;
    m_info = info;
    connect(m_microSetup, &TfmMicroSetup::statusMessage, this,
            [this](const QString &text) { statusBar()->showMessage(text, 15000); });
    for (QAction *item : {Microscope1, SelectMicroscope1})
        item->setEnabled(m_microSetup != nullptr);
    for (QAction *item : {QuickSetup1, QuickSetup2})
        item->setEnabled(m_quickEdit != nullptr);
    ShowInfo1->setEnabled(m_info != nullptr);
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

} // namespace orvalis
