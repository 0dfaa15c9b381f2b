#pragma once
// Where the two registry files of the library live: the shipped default list and the user's backup.
#include <QString>

namespace orvalis {

// "sc.reg" in the application data folder: beside the executable, else in ../share/orvalis/
// relative to it (an installed program). The first of the two when neither holds the file.
QString DefaultListFile();

// "backup.reg" in the per-user data folder $XDG_DATA_HOME/Vantrel/Orvalis/ (the program's own
// folder is not writable once installed). The folder may not exist yet.
QString BackupFile();

// "Software\Vantrel\Orvalis": the key a backup holds, with everything below it.
QString BackupKeyPath();

} // namespace orvalis
