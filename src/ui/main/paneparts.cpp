#include "paneparts.h"

#include <QLabel>

namespace orvalis {

QLabel *paneTitle(const char *name, const QString &caption, int height)
{
    auto *l = new QLabel(caption);
    l->setObjectName(QString::fromLatin1(name));
    l->setFixedHeight(height);
    l->setAlignment(Qt::AlignCenter);
    l->setAutoFillBackground(true);
    l->setStyleSheet(QStringLiteral("background: #c0c0c0; color: #000080; font: bold 15px 'Arial';"));
    return l;
}

} // namespace orvalis
