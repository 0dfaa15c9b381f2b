#include "ui/microsetup/fmmicrosetup.h"

#include "core/orvaliserror.h"
#include "store/regexport.h"
#include "store/regfiles.h"
#include "store/regimporter.h"
#include "ui/microedit/fmscopeedit.h"
#include "ui/microsetup/librarytree.h"
#include "ui/widgets/dialogmessage.h"
#include "ui/widgets/dialogplacement.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/scopefields.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvalis {
namespace {

enum NodeType { CompanyNode = QTreeWidgetItem::UserType, ModelNode };

// A model node owns its entry's seven texts, as stored.
class ModelItem : public QTreeWidgetItem {
public:
    ModelItem(QTreeWidgetItem *company, const QString &name, const ScopeData &data)
        : QTreeWidgetItem(company, QStringList{name}, ModelNode), Data(data)
    {
    }
    ScopeData Data;
};

bool isModel(const QTreeWidgetItem *node)
{
    return node && node->type() == ModelNode;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0; // as the library's key names compare
}

std::optional<TfmMicroSetup::TreePlace> placeOf(const QTreeWidgetItem *node)
{
    if (!node)
        return std::nullopt;
    if (isModel(node))
        return TfmMicroSetup::TreePlace{node->parent()->text(0), node->text(0)};
    return TfmMicroSetup::TreePlace{node->text(0), QString()};
}

// The pictures of ImageList1, 16 x 16: a folder for a company, a book for a model, each drawn open
// while its node is selected.
QPixmap folderPicture(bool open)
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setPen(QColor(0x80, 0x60, 0x00));
    g.setBrush(QColor(0xE8, 0xC0, 0x40));
    g.drawRect(1, 3, 6, 2); // tab
    g.drawRect(1, 4, 13, 10);
    if (open) {
        g.setBrush(QColor(0xF8, 0xE0, 0x80));
        g.drawPolygon(QPolygon({QPoint(1, 14), QPoint(4, 7), QPoint(15, 7), QPoint(14, 14)}));
    }
    return p;
}

QPixmap bookPicture(bool open)
{
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setPen(QColor(0x00, 0x00, 0x60));
    if (open) {
        g.setBrush(Qt::white);
        g.drawRect(0, 3, 7, 10);
        g.drawRect(8, 3, 7, 10);
        g.drawLine(2, 6, 5, 6);
        g.drawLine(2, 9, 5, 9);
        g.drawLine(10, 6, 13, 6);
        g.drawLine(10, 9, 13, 9);
    } else {
        g.setBrush(QColor(0x20, 0x40, 0xA0));
        g.drawRect(3, 1, 10, 14);
        g.setPen(Qt::white);
        g.drawLine(5, 4, 11, 4);
    }
    return p;
}

QIcon nodeIcon(const QPixmap &closed, const QPixmap &open)
{
    QIcon icon(closed);
    icon.addPixmap(open, QIcon::Selected);
    return icon;
}

} // namespace

TfmMicroSetup::TfmMicroSetup(QWidget *parent) : QDialog(parent)
{
    FormCreate();
}

void TfmMicroSetup::FormCreate()
{
    setObjectName(QStringLiteral("fmMicroSetup"));
    setWindowTitle(QStringLiteral("Microscope Setup"));
    openCentredOnMainWindow(this);
    m_companyIcon = nodeIcon(folderPicture(false), folderPicture(true));
    m_modelIcon = nodeIcon(bookPicture(false), bookPicture(true));
    m_defaultList = DefaultListFile();
    m_backup = BackupFile();

    auto *note = new QLabel(QStringLiteral("Select a microscope from the list. \n"
                                           "You can customize settings for the any microscope"),
                            this);
    note->setObjectName(QStringLiteral("laNote"));
    note->setStyleSheet(QStringLiteral("color: navy;"));

    TreeView1 = new LibraryTree(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    TreeView1->setAllColumnsShowFocus(true);
    TreeView1->setMouseTracking(true); // hot tracking
    TreeView1->setMinimumSize(280, 260);
    // The selection stays visible while a button has the focus.
    QPalette palette = TreeView1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    TreeView1->setPalette(palette);

    auto *fields = new QFormLayout;
    m_fields.addTo(fields, this);
    for (QLineEdit *edit : {m_fields.Edit1, m_fields.Edit2, m_fields.Edit3, m_fields.Edit4, m_fields.Edit5,
                            m_fields.Edit6, m_fields.Edit7, m_fields.edC5}) {
        edit->setFixedWidth(90);
        edit->setEnabled(false); // display only
    }

    const auto button = [this](QPushButton *&b, const char *name, const QString &caption, const QString &hint) {
        b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(hint);
        b->setAutoDefault(false);
    };
    addOkCancel(this, OKBtn, CancelBtn);
    OKBtn->setAutoDefault(false);
    CancelBtn->setAutoDefault(false);
    button(btnEdit, "btnEdit", QStringLiteral("Edit"), QStringLiteral("Edit Microscope"));
    button(btnDelete, "btnDelete", QStringLiteral("Delete"), QStringLiteral("Delete Microscope or Company"));
    button(btnBackup, "btnBackup", QStringLiteral("Backup"), QString());
    button(btnRetore, "btnRetore", QStringLiteral("Restore"), QString());
    button(btnDefault, "btnDefault", QStringLiteral("Default List"),
           QStringLiteral("Restore Default List from sc.reg"));
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {OKBtn, CancelBtn})
        buttons->addWidget(b);
    buttons->addSpacing(16);
    for (QPushButton *b : {btnEdit, btnDelete})
        buttons->addWidget(b);
    buttons->addSpacing(16);
    for (QPushButton *b : {btnBackup, btnRetore, btnDefault})
        buttons->addWidget(b);
    buttons->addStretch(1);

    auto *fieldColumn = new QVBoxLayout;
    fieldColumn->addLayout(fields);
    fieldColumn->addStretch(1);
    auto *row = new QHBoxLayout;
    row->addWidget(TreeView1, 1);
    row->addLayout(fieldColumn);
    row->addLayout(buttons);
    auto *page = new QVBoxLayout(this);
    page->addWidget(note);
    page->addLayout(row, 1);

    connectReported(TreeView1, &QTreeWidget::currentItemChanged, this, &TfmMicroSetup::TreeView1Change);
    connectReported(OKBtn, &QPushButton::clicked, this, &TfmMicroSetup::OKBtnClick);
    connectReported(TreeView1, &QTreeWidget::itemDoubleClicked, this, &TfmMicroSetup::TreeView1DblClick);
    connectReported(btnEdit, &QPushButton::clicked, this, &TfmMicroSetup::btnEditClick);
    connectReported(btnDelete, &QPushButton::clicked, this, &TfmMicroSetup::btnDeleteClick);
    connectReported(btnBackup, &QPushButton::clicked, this, &TfmMicroSetup::btnBackupClick);
    connectReported(btnRetore, &QPushButton::clicked, this, &TfmMicroSetup::btnRetoreClick);
    connectReported(btnDefault, &QPushButton::clicked, this, &TfmMicroSetup::btnDefaultClick);

    LoadScopeTree();
    TreeView1Change();
    resize(sizeHint().expandedTo(QSize(600, 380)));
}

void TfmMicroSetup::setRegFiles(const QString &defaultList, const QString &backup)
{
    m_defaultList = defaultList;
    m_backup = backup;
}

void TfmMicroSetup::setActiveRecord(const TScopeData &record)
{
    m_active = record;
}

int TfmMicroSetup::exec()
{
    m_chosen.reset();
    TreeView1->setFocus();
    return QDialog::exec();
}

// ---- the tree -----------------------------------------------------------------------------------

void TfmMicroSetup::LoadScopeTree()
{
    QVector<ScopeCompany> library;
    QString problem;
    try {
        ReadScopeLibrary(library);
    } catch (const OrvalisError &e) {
        problem = e.text(); // what was read before it is still shown
    }
    QList<QTreeWidgetItem *> companies;
    companies.reserve(library.size());
    for (const ScopeCompany &c : library) {
        auto *company = new QTreeWidgetItem(QStringList{c.Company}, CompanyNode);
        company->setIcon(0, m_companyIcon);
        for (const ScopeModel &m : c.Models)
            (new ModelItem(company, m.Model, m.Data))->setIcon(0, m_modelIcon);
        companies.append(company);
    }
    TreeView1->addTopLevelItems(companies);
    if (!problem.isEmpty())
        showDialogMessage(this, QMessageBox::Critical, problem);
}

void TfmMicroSetup::ReloadScopeTree(const std::optional<TreePlace> &select)
{
    const std::optional<TreePlace> selected = placeOf(TreeView1->currentItem());
    QStringList open;
    for (int c = 0; c < TreeView1->topLevelItemCount(); ++c)
        if (TreeView1->topLevelItem(c)->isExpanded())
            open << TreeView1->topLevelItem(c)->text(0);
    TreeView1->setUpdatesEnabled(false);
    TreeView1->clear();
    LoadScopeTree();
    for (int c = 0; c < TreeView1->topLevelItemCount(); ++c)
        if (open.contains(TreeView1->topLevelItem(c)->text(0), Qt::CaseInsensitive))
            TreeView1->topLevelItem(c)->setExpanded(true);
    TreeView1->setUpdatesEnabled(true);
    QTreeWidgetItem *node = select ? nodeNamed(*select) : nullptr;
    if (!node && selected)
        node = nodeNamed(*selected);
    if (node) {
        TreeView1->setCurrentItem(node);
        TreeView1->scrollToItem(node);
    } else {
        selectFirstModel();
    }
    TreeView1Change();
}

QTreeWidgetItem *TfmMicroSetup::nodeNamed(const TreePlace &place) const
{
    for (int c = 0; c < TreeView1->topLevelItemCount(); ++c) {
        QTreeWidgetItem *company = TreeView1->topLevelItem(c);
        if (!sameName(company->text(0), place.company))
            continue;
        if (place.model.isEmpty())
            return company;
        for (int m = 0; m < company->childCount(); ++m)
            if (sameName(company->child(m)->text(0), place.model))
                return company->child(m);
    }
    return nullptr;
}

void TfmMicroSetup::selectFirstModel()
{
    QTreeWidgetItem *first = TreeView1->topLevelItem(0);
    if (first && first->childCount() > 0) {
        TreeView1->setCurrentItem(first->child(0));
        TreeView1->scrollToItem(first->child(0));
    }
}

void TfmMicroSetup::TreeView1Change()
{
    const QTreeWidgetItem *node = TreeView1->currentItem();
    const ScopeData shown = isModel(node) ? static_cast<const ModelItem *>(node)->Data : ScopeData();
    m_fields.setTexts(shown);
    btnDelete->setEnabled(node != nullptr);
}

// ---- the buttons --------------------------------------------------------------------------------

// A model is chosen as by OK; a company opens or closes, as the tree does by itself.
void TfmMicroSetup::TreeView1DblClick(QTreeWidgetItem *node, int)
{
    if (isModel(node))
        OKBtnClick();
}

void TfmMicroSetup::OKBtnClick()
{
    ApplySelectedScope();
    accept();
}

void TfmMicroSetup::ApplySelectedScope()
{
    if (TreeView1->topLevelItemCount() == 0) {
        showDialogMessage(this, QMessageBox::Information,
                          QStringLiteral("Use the file sc.reg /double click/\r\n"
                                         "if provided to fill-up the microscope list"));
        return;
    }
    const QTreeWidgetItem *node = TreeView1->currentItem();
    if (!isModel(node))
        return;
    TScopeData record = m_active;
    record.C5 = 0; // the entry's own, or none: never the C5 of the instrument it replaces
    // All seven or none: a record half loaded would be an instrument nobody chose.
    if (!succeeds(this, [&] { ApplyScopeData(m_fields.texts(), record); }))
        return;
    record.Company = node->parent()->text(0);
    record.Model = node->text(0);
    m_chosen = record;
}

void TfmMicroSetup::btnEditClick()
{
    if (!m_edit)
        return;
    if (!isModel(TreeView1->currentItem()))
        selectFirstModel();
    const QTreeWidgetItem *node = TreeView1->currentItem();
    if (isModel(node)) {
        m_edit->FormActivate(node->parent()->text(0), node->text(0), m_fields.texts());
    } else {
        // No model to start from (an empty library): the form's own texts make a first entry.
        m_edit->FormActivate(node ? node->text(0) : QStringLiteral("Some Name"), QStringLiteral("Some Model"),
                             TfmScopeEdit::initialTexts());
    }
    // The entry as saved, which may be a new one; after Cancel the one opened stays selected.
    std::optional<TreePlace> edited;
    if (m_edit->exec() == QDialog::Accepted)
        edited = TreePlace{m_edit->company(), m_edit->model()};
    ReloadScopeTree(edited);
}

void TfmMicroSetup::btnDeleteClick()
{
    const QTreeWidgetItem *node = TreeView1->currentItem();
    if (!node)
        return;
    const QString name = node->text(0);
    // The selection moves to the row above the deleted one (the first row when it was the first).
    TreeView1->scrollToItem(node); // rows are counted as shown
    const QTreeWidgetItem *above = TreeView1->itemAbove(node);
    const std::optional<TreePlace> next = placeOf(above ? above : TreeView1->itemBelow(node));
    if (isModel(node)) {
        const QString company = node->parent()->text(0);
        if (!confirmWarning(this, QStringLiteral("Do you really want to delete this microscope?"))
            || !succeeds(this, [&] { DeleteScopeEntry(company, name); }))
            return;
        ReloadScopeTree(next);
        return;
    }
    if (node->childCount() > 0) {
        showDialogMessage(this, QMessageBox::Information,
                          QStringLiteral("First delete microscope(s) and then you can delete company"));
        return;
    }
    if (!confirmWarning(this, QStringLiteral("Do you really want to delete this company?"))
        || !succeeds(this, [&] { DeleteScopeCompany(name); }))
        return;
    ReloadScopeTree(next);
}

void TfmMicroSetup::btnBackupClick()
{
    if (!confirmInformation(this, QStringLiteral("This backs-up your custom settings")))
        return;
    QDir().mkpath(QFileInfo(m_backup).absolutePath()); // a failure shows as the file not created
    if (succeeds(this, [this] { ExportKeyToRegFile(HKEY_CURRENT_USER, BackupKeyPath(), m_backup); }))
        emit statusMessage(QStringLiteral("Settings backed up to %1").arg(QDir::toNativeSeparators(m_backup)));
}

void TfmMicroSetup::btnRetoreClick()
{
    if (!confirmInformation(this, QStringLiteral("This restores backed-up settings")))
        return;
    if (!QFileInfo::exists(m_backup)) {
        showDialogMessage(this, QMessageBox::Information,
                          QStringLiteral("No backup exists at %1").arg(QDir::toNativeSeparators(m_backup)));
        return;
    }
    importRegFile(m_backup);
}

void TfmMicroSetup::btnDefaultClick()
{
    if (confirmWarning(this, QStringLiteral("Are you sure? This restores default settings form sc.reg file.")))
        importRegFile(m_defaultList);
}

// The import runs to its end (all or nothing) before the tree is rebuilt; a file that cannot be
// imported is reported and changes nothing.
void TfmMicroSetup::importRegFile(const QString &fileName)
{
    if (succeeds(this, [&] { RegImporter::importFile(fileName); }))
        ReloadScopeTree();
}

} // namespace orvalis
