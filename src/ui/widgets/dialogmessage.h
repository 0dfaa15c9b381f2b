#pragma once
// Parts every dialog shares: its message boxes ("\r\n" in a text is a line break, the title follows
// the kind) and its OK and Cancel pair.
#include <QMessageBox>

#include <functional>

class QDialog;
class QDialogButtonBox;
class QPushButton;

namespace orvalis {

// Shows the text modally over `parent` and returns the button pressed (Escape counts as Cancel, or
// as OK when OK is the only button).
QMessageBox::StandardButton showDialogMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                              QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Confirmations: a warning with Yes and Cancel, a note with OK and Cancel; true on Yes or OK.
bool confirmWarning(QWidget *parent, const QString &text);
bool confirmInformation(QWidget *parent, const QString &text);

// Runs `action`; a failure it raises is shown in an error box over `parent` and gives false.
bool succeeds(QWidget *parent, const std::function<void()> &action);

// "OK" (the default button, `OKBtn`) and "Cancel" (`CancelBtn`, which rejects the dialog).
void addOkCancel(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel);
// The same pair in a button box for a laid-out dialog: OK accepts it, Cancel rejects it.
QDialogButtonBox *okCancelBox(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel);

// Makes the dialog at least as wide as its title needs beside the frame's icon and buttons: a
// window manager elides a title wider than the bar ("Specimen an… or"). Call once it is laid out.
void keepTitleWhole(QDialog *dialog);

} // namespace orvalis
