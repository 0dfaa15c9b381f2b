#pragma once
// Where the two registry files of the library live: the shipped default list and the user's backup.
#include <QString>

namespace orvalis {

// "sc.reg" where the shipped data files are found (dataFilePath): beside the executable, in
// ../share/orvalis/ relative to it, or in the source tree of a build.
QString DefaultListFile();

// "backup.reg" in the per-user data folder $XDG_DATA_HOME/Vantrel/Orvalis/ (the program's own
// folder is not writable once installed). The folder may not exist yet.
QString BackupFile();

// "Software\Vantrel\Orvalis": the key a backup holds, with everything below it.
QString BackupKeyPath();

} // namespace orvalis
