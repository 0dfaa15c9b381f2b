#include "store/settingskeys.h"

namespace orvalis {

const QString SettingsKeyPath = QStringLiteral("\\Software\\Vantrel\\Orvalis\\");
const QString DefaultKeyName = QStringLiteral("Default");
const QString PositionKeyName = QStringLiteral("Position");
const QString CoolBarKeyName = QStringLiteral("CoolBar");
const QString ButtonBarKeyName = QStringLiteral("ButtonBar");
const QString DefaultScopesKeyName = QStringLiteral("Default Scopes");

QString settingsKey(const QString &subKey)
{
    return SettingsKeyPath + subKey;
}

QString settingsKeyFullName()
{
    return QStringLiteral("HKEY_CURRENT_USER") + SettingsKeyPath.chopped(1);
}

} // namespace orvalis
