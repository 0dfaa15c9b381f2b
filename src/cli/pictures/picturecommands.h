#pragma once
// The subcommands that draw: the 2D pattern, the defocus map and the 1D chart into files, through
// the code the window saves them with.
#include <QString>
#include <QStringList>

namespace orvalis::cli {

// Runs "pattern", "map" or "chart" with its arguments; a toolkit application object must exist.
// Returns the exit status; throws Failure as the other commands do.
int runPictureCommand(const QString &command, const QStringList &arguments);

} // namespace orvalis::cli
