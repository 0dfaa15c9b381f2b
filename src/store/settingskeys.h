#pragma once
// Where the program keeps everything it stores per user: one settings key below HKEY_CURRENT_USER and
// its sub-keys. Every path into the store is built from these names.
#include <QString>

namespace orvalis {

// "\Software\Vantrel\Orvalis\", resolved against HKEY_CURRENT_USER; every sub-key path is this
// string followed directly by the sub-key's name.
extern const QString SettingsKeyPath;

// The sub-keys of SettingsKeyPath.
extern const QString DefaultKeyName;       // "Default": main values
extern const QString PositionKeyName;      // "Position": window placement and splitters
extern const QString CoolBarKeyName;       // "CoolBar": tool-bar bands
extern const QString ButtonBarKeyName;     // "ButtonBar": view choices
extern const QString DefaultScopesKeyName; // "Default Scopes": the microscope library

// SettingsKeyPath + subKey.
QString settingsKey(const QString &subKey);

// "HKEY_CURRENT_USER\Software\Vantrel\Orvalis", the settings key as registry files name it.
QString settingsKeyFullName();

} // namespace orvalis
