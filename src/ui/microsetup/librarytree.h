#pragma once
// The setup dialog's tree of companies and models. While it holds nothing it says how to fill it,
// so that a first start does not show a blank box.
#include <QTreeWidget>

namespace orvalis {

class LibraryTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit LibraryTree(QWidget *parent = nullptr);

    // The text drawn in the tree while it is empty; empty while it holds a node.
    QString hint() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace orvalis
