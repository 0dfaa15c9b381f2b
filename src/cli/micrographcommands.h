#pragma once
// The shell program's commands on the user's micrographs: the spectrum as a picture, its rotational
// average as a table, and the fit of the transfer function to many micrographs at once.
#include "micrograph/ctffit.h"
#include "micrograph/fitrequest.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <csignal>

namespace orvalis::cli {

// Beyond ExitStatus: every micrograph was read and fitted, but at least one gave no reliable fit.
inline constexpr int ExitNoReliableFit = 3;

bool isMicrographCommand(const QString &name);

// Runs "spectrum", "average" or "fit" with its arguments; returns the exit status or throws Failure.
int runMicrographCommand(const QString &command, const QStringList &arguments);

// An option `--name` taking a value shown as `valueName` (none: a switch), described for --help.
void addOption(QCommandLineParser &parser, const char *name, const char *valueName, const QString &description);
void addOption(QCommandLineParser &parser, const char *name, const char *valueName, const char *description);

// What "fit" and "fit-series" share: the image's options (--pixel, --tile) and the fit's, the request
// they make (refused as fitRequestProblem words it), --pixel in nm (0: the file's), and --threads
// (default: every processor).
void addImageOptions(QCommandLineParser &parser);
void addFitOptions(QCommandLineParser &parser);
FitRequest requestOf(const QCommandLineParser &parser);
CtfFitOptions checkedFitOptions(const QCommandLineParser &parser, const FitRequest &request);
double pixelOption(const QCommandLineParser &parser);
int threadsOption(const QCommandLineParser &parser);

// A progress line on stderr, redrawn in place while stderr is a terminal; nothing otherwise.
class TerminalLine {
public:
    TerminalLine();
    void show(const QString &text);
    void clear();
    bool shown() const { return m_shown; }

private:
    bool m_shown;
};

// While one lives, SIGINT and SIGTERM stop the work at its next progress report instead of ending the
// program (interrupted() turns true, interruptionSignal() says which); a second one ends it at once.
class InterruptionHandler {
public:
    InterruptionHandler();
    ~InterruptionHandler();
    InterruptionHandler(const InterruptionHandler &) = delete;
    InterruptionHandler &operator=(const InterruptionHandler &) = delete;

private:
    struct sigaction m_int {};
    struct sigaction m_term {};
};
bool interrupted();
int interruptionSignal(); // 0, SIGINT or SIGTERM

} // namespace orvalis::cli
