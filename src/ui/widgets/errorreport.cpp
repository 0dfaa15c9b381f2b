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

void reportCurrentException() noexcept
{
    try {
        throw;
    } catch (const OrvalisError &e) {
        showErrorReport(e.text());
    } catch (const std::exception &e) {
        showErrorReport(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("An unexpected error stopped the last action."));
    }
}

ErrorReportingApplication::ErrorReportingApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool ErrorReportingApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return true;
    }
}

} // namespace orvalis
