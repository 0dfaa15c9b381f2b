#pragma once
// Where the main window stands when it opens: whole on the available area of its screen, whatever the
// scale, the font density or the screen the stored place came from.
#include <QMargins>
#include <QRect>
#include <QSize>

class QWidget;

namespace orvalis {

// The inside geometry of a window that asks for `wanted` (its inside), decorated by `frame`, so that
// its frame lies on `available`: a size that fits is kept, a larger one shrinks to the area (never
// below `minimum`); a place that fits is kept, else the window moves just enough to come whole on the
// area, its title bar first when even that cannot be.
QRect fitOnScreen(const QRect &wanted, const QMargins &frame, const QRect &available, QSize minimum);

// The decoration a window manager puts around a window whose frame is not yet known: a title bar of
// `titleHeight` and thin borders, rather too much than too little.
QMargins assumedFrame(int titleHeight);

// Moves and sizes a window not maximised by fitOnScreen on the screen under its middle, with its own
// frame once the window manager has told it, else an assumed one. Its position stays the frame's.
void fitWindowOnScreen(QWidget *window);

} // namespace orvalis
