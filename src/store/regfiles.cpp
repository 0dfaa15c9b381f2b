#include "store/regfiles.h"

#include "core/datafolder.h"
#include "store/settingskeys.h"

#include <QDir>
#include <QStandardPaths>

namespace orvalis {

QString DefaultListFile()
{
    return dataFilePath(QStringLiteral("sc.reg"));
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
