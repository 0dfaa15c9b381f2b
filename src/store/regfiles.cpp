#include "store/regfiles.h"

#include "store/settingskeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvalis {

QString DefaultListFile()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString beside = programDir.filePath(QStringLiteral("sc.reg"));
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = QDir::cleanPath(programDir.filePath(QStringLiteral("../share/orvalis/sc.reg")));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString BackupFile()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(dataHome).filePath(QStringLiteral("Vantrel/Orvalis/backup.reg"));
}

QString BackupKeyPath()
{
    // The settings key path without its leading and trailing backslash.
    QString path = SettingsKeyPath;
    return path.mid(1, path.size() - 2);
}

} // namespace orvalis
