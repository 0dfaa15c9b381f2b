#include "ui/widgets/dialogmessage.h"

namespace orvalis {

QMessageBox::StandardButton showDialogMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                              QMessageBox::StandardButtons buttons)
{
    QString title;
    switch (icon) {
    case QMessageBox::Warning:
        title = QStringLiteral("Warning");
        break;
    case QMessageBox::Information:
        title = QStringLiteral("Information");
        break;
    case QMessageBox::Critical:
        title = QStringLiteral("Error");
        break;
    default:
        title = QStringLiteral("Orvalis");
        break;
    }
    QMessageBox box(icon, title, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), buttons, parent);
    box.setObjectName(QStringLiteral("DialogMessage"));
    if (buttons.testFlag(QMessageBox::Cancel))
        box.setEscapeButton(QMessageBox::Cancel);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool confirmed(QMessageBox::StandardButton answer)
{
    return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
}

} // namespace orvalis
