#pragma once
// The program's own pictures, built into the program: the window icon at every size a desktop asks
// for, and the splash picture.
#include <QIcon>
#include <QPixmap>

namespace orvalis {

QIcon programIcon();
QPixmap splashPicture(); // 200 x 200

} // namespace orvalis
