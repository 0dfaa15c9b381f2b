#pragma once
// Where a dialog opens: centred on the main window every time it is shown, whole on the main
// window's screen. Left to the window manager, a dialog shown again opens where its last frame was
// taken for its inside, one title bar lower each time.
#include <QMargins>
#include <QRect>

class QDialog;
class QWidget;

namespace orvalis {

// From now on, every showing of `dialog` places it on its main window (its parent's window, else
// the application's visible main window, else the middle of the screen).
void openCentredOnMainWindow(QDialog *dialog);

// The inside of a window of `size` whose frame (of `frame` around the inside) is centred on `anchor`
// (a window's frame) and lies on `available` as far as it fits, its title bar first.
QRect centredInside(const QRect &anchor, QSize size, const QMargins &frame, const QRect &available);

} // namespace orvalis
