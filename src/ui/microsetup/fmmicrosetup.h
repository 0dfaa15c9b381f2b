#pragma once
// The microscope setup dialog: the library as a tree of companies and models, the chosen model's
// seven values, and the buttons that edit, delete, seed, back up and restore the library. It is
// given the active scope record and gives back that record with the chosen entry applied.
#include "core/scopedata.h"
#include "store/scopelibrary.h"
#include "ui/widgets/scopefields.h"

#include <QDialog>
#include <QIcon>

#include <optional>

class QPushButton;
class QTreeWidgetItem;

namespace orvalis {

class LibraryTree;
class TfmScopeEdit;

class TfmMicroSetup : public QDialog {
    Q_OBJECT
public:
    // Builds the tree from the library at once (FormCreate).
    explicit TfmMicroSetup(QWidget *parent = nullptr);

    // The dialog that Edit opens; created separately, after this one.
    void setEditDialog(TfmScopeEdit *edit) { m_edit = edit; }
    // The registry files of Default List, Backup and Restore.
    void setRegFiles(const QString &defaultList, const QString &backup);

    // Before exec(): the record OK fills. After exec(): that record with the chosen entry's values,
    // company and model, or nothing when OK had nothing to apply (or the dialog was cancelled).
    void setActiveRecord(const TScopeData &record);
    const std::optional<TScopeData> &chosenRecord() const { return m_chosen; }

    int exec() override;

    // A node by the names it shows: a model, or with an empty model its company.
    struct TreePlace {
        QString company;
        QString model;
    };

    void LoadScopeTree();
    // Rebuilds the tree from the library, keeping the companies that were open. The selection goes to
    // `select`, else stays on the entry that was selected, else (when that is gone) to the first
    // model of the first company.
    void ReloadScopeTree(const std::optional<TreePlace> &select = std::nullopt);

signals:
    // A short note for the main window's status bar (where a backup went).
    void statusMessage(const QString &text);

public slots:
    void TreeView1Change();
    void TreeView1DblClick(QTreeWidgetItem *node, int column);
    void OKBtnClick();
    void btnEditClick();
    void btnDeleteClick();
    void btnBackupClick();
    void btnRetoreClick();
    void btnDefaultClick();

private:
    void FormCreate();
    void ApplySelectedScope();
    void importRegFile(const QString &fileName);
    void selectFirstModel();
    QTreeWidgetItem *nodeNamed(const TreePlace &place) const;

    LibraryTree *TreeView1 = nullptr;
    ScopeFields m_fields; // Edit1 to Edit7 and edC5, display only
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr, *btnEdit = nullptr, *btnDelete = nullptr, *btnBackup = nullptr,
                *btnRetore = nullptr, *btnDefault = nullptr;
    QIcon m_companyIcon; // closed folder, open while selected
    QIcon m_modelIcon;   // closed book, open while selected

    TfmScopeEdit *m_edit = nullptr;
    QString m_defaultList;
    QString m_backup;
    TScopeData m_active;
    std::optional<TScopeData> m_chosen;
};

} // namespace orvalis
