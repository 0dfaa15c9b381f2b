#include "ui/widgets/errorreport.h"

#include "core/orvaliserror.h"

#include <QMessageBox>

#include <exception>

namespace orvalis {

void showErrorReport(const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Orvalis"),
                    QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), QMessageBox::Ok,
                    parent ? parent : QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.exec();
}

ErrorReportingApplication::ErrorReportingApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool ErrorReportingApplication::notify(QObject *receiver, QEvent *event)
{
    // The event that failed is over: the handler has left; whatever it changed before throwing stays.
    try {
        return QApplication::notify(receiver, event);
    } catch (const OrvalisError &e) {
        showErrorReport(e.text());
    } catch (const std::exception &e) {
        showErrorReport(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("An unexpected error stopped the last action."));
    }
    return true;
}

} // namespace orvalis
