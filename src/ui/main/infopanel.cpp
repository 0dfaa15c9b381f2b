#include "infopanel.h"

#include "core/instrumentload.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvalis {

InfoPanel::InfoPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Panel2"));
    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    m_tree = new QTreeWidget;
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setToolTip(QStringLiteral("Right Click!"));
    m_tree->setHeaderHidden(true);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list = new QListWidget;
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setObjectName(QStringLiteral("Splitter3"));
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(m_list);
    m_splitter->setSizes({241, 250});
    l->addWidget(m_splitter);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("popmTree"));
    m_microscope = m_menu->addAction(QStringLiteral("Select/Edit Microscope"));
    m_microscope->setObjectName(QStringLiteral("SelectMicroscope1"));
    m_quickSetup = m_menu->addAction(QStringLiteral("Quick Setup"));
    m_quickSetup->setObjectName(QStringLiteral("QuickSetup2"));
    setDialogsAvailable(false, false);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { m_menu->popup(m_tree->viewport()->mapToGlobal(at)); });
    connect(m_microscope, &QAction::triggered, this, &InfoPanel::microscopeRequested);
    connect(m_quickSetup, &QAction::triggered, this, &InfoPanel::quickSetupRequested);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &InfoPanel::TreeView1Change);
}

void InfoPanel::buildNodes()
{
    m_tree->clear();
    for (int lines : {9, 2, 4}) {
        auto *group = new QTreeWidgetItem(m_tree);
        for (int i = 0; i < lines; ++i)
            new QTreeWidgetItem(group);
    }
    m_tree->expandAll();
}

void InfoPanel::setTexts(const ScopeTreeTexts &texts)
{
    const int group = m_selectedGroup;
    const QString groups[] = {texts.microscope, texts.resolution, texts.defocus};
    const QStringList *lines[] = {&texts.microscopeChildren, &texts.resolutionChildren, &texts.defocusChildren};
    for (int g = 0; g < m_tree->topLevelItemCount() && g < 3; ++g) {
        QTreeWidgetItem *node = m_tree->topLevelItem(g);
        node->setText(0, groups[g]);
        // A line cut off by a narrow pane is read whole in its tooltip: the instrument's full name too.
        node->setToolTip(0, groups[g]);
        for (int c = 0; c < node->childCount() && c < lines[g]->size(); ++c) {
            node->child(c)->setText(0, lines[g]->at(c));
            node->child(c)->setToolTip(0, lines[g]->at(c));
        }
    }
    selectGroup(group);
}

void InfoPanel::writeLine(int group, int line, const QString &text)
{
    QTreeWidgetItem *node = m_tree->topLevelItem(group);
    if (!node || line >= node->childCount())
        return;
    node->child(line)->setText(0, text);
    node->child(line)->setToolTip(0, text);
    if (m_selectedGroup == group && line < m_list->count())
        m_list->item(line)->setText(text);
}

void InfoPanel::TreeView1Change()
{
    m_list->clear();
    QTreeWidgetItem *node = m_tree->currentItem();
    if (!node)
        return;
    if (node->parent())
        node = node->parent();
    for (int i = 0; i < node->childCount(); ++i)
        m_list->addItem(node->child(i)->text(0));
    m_selectedGroup = m_tree->indexOfTopLevelItem(node);
}

void InfoPanel::selectGroup(int index)
{
    QTreeWidgetItem *group = m_tree->topLevelItem(index);
    if (!group)
        return;
    const QSignalBlocker quiet(m_tree);
    m_tree->setCurrentItem(group);
    TreeView1Change();
}

void InfoPanel::setDialogsAvailable(bool microscope, bool quickSetup)
{
    m_microscope->setEnabled(microscope);
    m_quickSetup->setEnabled(quickSetup);
}

int InfoPanel::treeWidth() const
{
    return m_tree->width();
}

} // namespace orvalis
