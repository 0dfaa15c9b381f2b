#pragma once
// The folder of the files shipped with the program: the default microscope list "sc.reg" and the
// help pages in "help/". An installed program is read-only and keeps them in its share folder; a
// copy run from the build folder uses the source tree's data folder, so a fresh build needs no
// install step.
#include <QString>

namespace orvalis {

// For a program whose executable lies in `programFolder`, the first folder that holds "sc.reg" or
// "help/" among: the program's own folder (an unpacked copy), "../share/orvalis" relative to it
// (an installed prefix), and `sourceDataFolder` when the program lies inside `buildFolder`. When
// none does, the installed location, so that a message about a missing file names the place where
// it belongs. Paths are returned clean and absolute.
QString locateDataFolder(const QString &programFolder, const QString &buildFolder, const QString &sourceDataFolder);

// locateDataFolder() for the running program (needs the application object): its executable's
// folder and the build and source folders it was compiled in.
QString dataFolder();

// A file below dataFolder(), such as "sc.reg" or "help/index.html"; it need not exist.
QString dataFilePath(const QString &relativePath);

} // namespace orvalis
