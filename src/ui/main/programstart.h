#pragma once
// What the program settles before its windows: the version and desktop entry id it reports, and
// the command line: --help, --version and --check-installation. The check runs the program's
// start-up without its window on a settings store of its own and tries the files installed with it,
// so that a package can be tested where it was unpacked, without a display and without touching
// anyone's settings.
#include <QTextStream>

#include <optional>

namespace orvalis {

// For the running application (created before). An exit status when the program ends here, after
// --check-installation; nothing when it starts normally. --help, --version and an unknown option
// print their text and end the process, as is usual.
std::optional<int> prepareProgram();

// Runs the start-up of a CTF session as the main window would, imports the default list `list` and
// opens `helpIndex` (when its folder exists), writing one line per check on `out`: "ok: ...",
// "FAILED: ..." or "skipped: ...". 0 when none failed, else 1. Writes into the settings store that
// XDG_CONFIG_HOME and XDG_DATA_HOME point at as they are set.
int checkInstallation(QTextStream &out, const QString &list, const QString &helpIndex);

} // namespace orvalis
