#pragma once
// The information panel below the charts: the tree of the instrument's values (TreeView1) in three
// groups, the list (ListView1) showing the lines of the group chosen in the tree, and the tree's
// pop-up menu (popmTree) that opens the library dialogs.
#include <QWidget>

class QAction;
class QListWidget;
class QMenu;
class QSplitter;
class QTreeWidget;

namespace orvalis {

struct ScopeTreeTexts;

class InfoPanel : public QWidget {
    Q_OBJECT
public:
    explicit InfoPanel(QWidget *parent = nullptr);

    // The three groups with their empty lines (9, 2 and 4), expanded.
    void buildNodes();
    // Every group's caption and lines; the group shown in the list stays the one chosen.
    void setTexts(const ScopeTreeTexts &texts);
    // One line of a group, in the tree and in the list while that group is shown there.
    void writeLine(int group, int line, const QString &text);
    // The list shows the lines of the group the tree's current item belongs to.
    void TreeView1Change();
    int selectedGroup() const { return m_selectedGroup; } // index of the group shown in the list
    // The pop-up menu's items open the library dialogs, which exist only once they are handed over.
    void setDialogsAvailable(bool microscope, bool quickSetup);

    QSplitter *splitter() const { return m_splitter; } // Splitter3: the tree on the left
    int treeWidth() const;                             // px

signals:
    void microscopeRequested(); // "Select/Edit Microscope"
    void quickSetupRequested(); // "Quick Setup"

private:
    void selectGroup(int index);

    QTreeWidget *m_tree;
    QListWidget *m_list;
    QSplitter *m_splitter;
    QMenu *m_menu;
    QAction *m_microscope, *m_quickSetup;
    int m_selectedGroup = 0;
};

} // namespace orvalis
