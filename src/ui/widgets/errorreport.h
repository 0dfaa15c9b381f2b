#pragma once
// The program's default error report: a failure that no handler dealt with itself is shown to the
// user in one message box, and the event loop goes on.
#include <QApplication>
#include <QString>

class QWidget;

namespace orvalis {

// Shows `text` in the error report's message box (title "Orvalis", object name "ErrorReport"),
// modal over `parent`, or over the active window when none is given; "\r\n" breaks the line.
void showErrorReport(const QString &text, QWidget *parent = nullptr);

// The application object of the program and of the window tests: an exception leaving any event
// handler, slot or event filter is caught here and shown by showErrorReport instead of ending the
// program.
class ErrorReportingApplication : public QApplication {
    Q_OBJECT
public:
    ErrorReportingApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace orvalis
