#pragma once
// The program's default error report: a failure that no handler dealt with itself is shown to the
// user in one message box, and the event loop goes on.
#include <QApplication>
#include <QObject>
#include <QString>

#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

namespace orvalis {

// Shows `text` in the error report's message box (title "Orvalis", object name "ErrorReport"),
// modal over `parent`, or over the active window when none is given; "\r\n" breaks the line.
void showErrorReport(const QString &text, QWidget *parent = nullptr);

// Inside a catch block: shows the exception being handled (an OrvalisError's text, any other
// exception's message) by showErrorReport.
void reportCurrentException() noexcept;

// Runs a handler; an exception leaving it is shown by showErrorReport. Nothing escapes: the event
// loop that called the handler goes on.
template <class Handler> void runReported(Handler &&handler) noexcept
{
    try {
        handler();
    } catch (...) {
        reportCurrentException();
    }
}

// Calls a member slot with the signal's arguments, or with none when it takes none.
template <class Slot, class Receiver, class... Args> void invokeSlot(Slot slot, Receiver *receiver, Args &&...args)
{
    if constexpr (std::is_invocable_v<Slot, Receiver *, Args...>)
        std::invoke(slot, receiver, std::forward<Args>(args)...);
    else
        std::invoke(slot, receiver);
}

// QObject::connect for a handler of the program: the slot runs through runReported, so a failure is
// reported where it leaves our code and never unwinds through the toolkit's event delivery (which
// does not clean up after exceptions). The slot takes either all of the signal's arguments or none.
template <class Sender, class Signal, class Receiver, class Slot>
QMetaObject::Connection connectReported(Sender *sender, Signal signal, Receiver *receiver, Slot slot)
{
    return QObject::connect(sender, signal, receiver, [receiver, slot](auto &&...args) {
        runReported([&] { invokeSlot(slot, receiver, std::forward<decltype(args)>(args)...); });
    });
}

// The application object of the program and of the window tests. The last resort: an exception
// that still leaves an event handler (one not connected through connectReported) is reported here
// instead of ending the program.
class ErrorReportingApplication : public QApplication {
    Q_OBJECT
public:
    ErrorReportingApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace orvalis
