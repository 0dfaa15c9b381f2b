#include "programpictures.h"

// The resources live in a static library: they are registered by hand before the first use.
static void registerPictures()
{
    Q_INIT_RESOURCE(pictures);
}

namespace orvalis {
namespace {

void ensureRegistered()
{
    static const bool once = (registerPictures(), true);
    (void)once;
}

} // namespace

QIcon programIcon()
{
    ensureRegistered();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/orvalis/icons/orvalis-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap splashPicture()
{
    ensureRegistered();
    return QPixmap(QStringLiteral(":/orvalis/icons/splash.png"));
}

} // namespace orvalis
