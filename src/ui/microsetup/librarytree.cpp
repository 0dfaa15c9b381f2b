#include "ui/microsetup/librarytree.h"

#include <QPainter>

namespace orvalis {

LibraryTree::LibraryTree(QWidget *parent) : QTreeWidget(parent) {}

QString LibraryTree::hint() const
{
    if (topLevelItemCount() > 0)
        return QString();
    return QStringLiteral("The library holds no microscope yet.\n\n"
                          "Press \"Default List\" to fill it with the microscopes that come with "
                          "the program, or \"Edit\" to enter one of your own.");
}

void LibraryTree::paintEvent(QPaintEvent *event)
{
    QTreeWidget::paintEvent(event);
    const QString text = hint();
    if (text.isEmpty())
        return;
    QPainter p(viewport());
    p.setPen(palette().color(QPalette::PlaceholderText));
    const int margin = fontMetrics().height();
    p.drawText(viewport()->rect().adjusted(margin, margin, -margin, -margin), Qt::AlignCenter | Qt::TextWordWrap, text);
}

} // namespace orvalis
