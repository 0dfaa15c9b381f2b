// The window's settings: read and applied at start-up, captured and written at close.
#include "form1.h"

#include <QCloseEvent>

namespace orvalis {

void TForm1::closeEvent(QCloseEvent *event)
{
    // Settings, help and the decimal separator are handled by their own parts of the shell.
    event->accept();
}

} // namespace orvalis
