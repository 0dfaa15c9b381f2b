#include "datafolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace orvalis {
namespace {

bool holdsData(const QString &folder)
{
    return QFileInfo(folder + QStringLiteral("/sc.reg")).isFile()
        || QFileInfo(folder + QStringLiteral("/help")).isDir();
}

// Symbolic links resolved, so that a program reached through a link into the build folder still
// counts as run from there. A folder that does not exist is inside nothing.
bool isInside(const QString &folder, const QString &outer)
{
    const QString inner = QFileInfo(folder).canonicalFilePath();
    const QString root = QFileInfo(outer).canonicalFilePath();
    if (inner.isEmpty() || root.isEmpty())
        return false;
    return inner == root || inner.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

} // namespace

QString locateDataFolder(const QString &programFolder, const QString &buildFolder, const QString &sourceDataFolder)
{
    const QString program = QDir::cleanPath(QDir(programFolder).absolutePath());
    const QString installed = QDir::cleanPath(program + QStringLiteral("/../share/orvalis"));
    if (holdsData(program))
        return program;
    if (holdsData(installed))
        return installed;
    if (!buildFolder.isEmpty() && !sourceDataFolder.isEmpty() && isInside(program, buildFolder)
        && holdsData(sourceDataFolder))
        return QDir::cleanPath(QDir(sourceDataFolder).absolutePath());
    return installed;
}

QString dataFolder()
{
    return locateDataFolder(QCoreApplication::applicationDirPath(), QStringLiteral(ORVALIS_BUILD_DIR),
                            QStringLiteral(ORVALIS_SOURCE_DATA_DIR));
}

QString dataFilePath(const QString &relativePath)
{
    return dataFolder() + QLatin1Char('/') + relativePath;
}

} // namespace orvalis
