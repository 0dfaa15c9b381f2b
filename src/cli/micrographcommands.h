#pragma once
// The shell program's commands on the user's micrographs: the spectrum as a picture, its rotational
// average as a table, and the fit of the transfer function to many micrographs at once.
#include <QString>
#include <QStringList>

namespace orvalis::cli {

// Beyond ExitStatus: every micrograph was read and fitted, but at least one gave no reliable fit.
inline constexpr int ExitNoReliableFit = 3;

bool isMicrographCommand(const QString &name);

// Runs "spectrum", "average" or "fit" with its arguments; returns the exit status or throws Failure.
int runMicrographCommand(const QString &command, const QStringList &arguments);

} // namespace orvalis::cli
