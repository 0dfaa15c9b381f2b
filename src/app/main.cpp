// Program entry: one application, the main window and its dialogs, the event loop.
#include "ui/main/form1.h"
#include "ui/main/formset.h"
#include "ui/widgets/errorreport.h"

#include <QLocale>

int main(int argc, char *argv[])
{
    orvalis::ErrorReportingApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvalis"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orvalis"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QLocale::setDefault(QLocale::c());
    orvalis::FormSet forms;
    forms.form().show();
    return app.exec();
}
