#include "datafolder.h"

#include "core/buildinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace orvalis {
namespace {

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

QString clean(const QString &folder, const QString &relativePath)
{
    return QDir::cleanPath(QDir(folder).absolutePath() + QLatin1Char('/') + relativePath);
}

} // namespace

QString locateDataFile(const QString &relativePath, const QString &programFolder, const QString &buildFolder,
                       const QString &sourceDataFolder)
{
    const QString beside = clean(programFolder, relativePath);
    const QString installed = clean(programFolder, QStringLiteral("../share/orvalis/") + relativePath);
    if (QFileInfo::exists(beside))
        return beside;
    if (QFileInfo::exists(installed))
        return installed;
    if (!buildFolder.isEmpty() && !sourceDataFolder.isEmpty() && isInside(programFolder, buildFolder)) {
        const QString source = clean(sourceDataFolder, relativePath);
        if (QFileInfo::exists(source))
            return source;
    }
    return installed;
}

QString dataFilePath(const QString &relativePath)
{
    return locateDataFile(relativePath, QCoreApplication::applicationDirPath(),
                          QString::fromUtf8(buildinfo::BuildFolder), QString::fromUtf8(buildinfo::SourceDataFolder));
}

} // namespace orvalis
