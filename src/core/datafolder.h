#pragma once
// The files shipped with the program: the default microscope list "sc.reg" and the help pages in
// "help/". An installed program is read-only and keeps them in its share folder; a copy run from
// the build folder uses the source tree's data folder, so a fresh build needs no install step.
#include <QString>

namespace orvalis {

// For a program whose executable lies in `programFolder`: `relativePath` (such as "sc.reg" or
// "help/index.html") in the first of these folders that has it: the program's own folder (an
// unpacked copy, or a build that copies its data beside the program), "../share/orvalis" relative
// to it (an installed prefix), and `sourceDataFolder` when the program lies inside `buildFolder`.
// When none has it, the path in the installed location, so that a message about a missing file
// names the place where it belongs. Paths are returned clean and absolute.
QString locateDataFile(const QString &relativePath, const QString &programFolder, const QString &buildFolder,
                       const QString &sourceDataFolder);

// locateDataFile() for the running program (needs the application object): its executable's
// folder and the build and source folders it was compiled in. Ask for a file, such as
// dataFilePath("sc.reg") or dataFilePath("help/index.html"): a stray file named like a folder then
// cannot hide the real one.
QString dataFilePath(const QString &relativePath);

} // namespace orvalis
