#pragma once
// The message boxes of the dialogs: "\r\n" in a text is a line break, the title follows the kind.
#include <QMessageBox>

namespace orvalis {

// Shows the text modally over `parent` and returns the button pressed (Escape counts as Cancel, or
// as OK when OK is the only button).
QMessageBox::StandardButton showDialogMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                              QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// True when the user answered Yes or OK.
bool confirmed(QMessageBox::StandardButton answer);

} // namespace orvalis
