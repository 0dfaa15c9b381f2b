#pragma once
// The shell program's commands: the state a command line describes, loaded into a CTF session, and
// the subcommands that print or save what the window shows for it.
#include "session/ctfsession.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

namespace orvalis::cli {

// Exit statuses: a refused command line (unknown option, a value that is no number or that the
// formulas refuse, a library entry that is not there) and a file or stream that could not be used.
enum ExitStatus { ExitOk = 0, ExitIo = 1, ExitUsage = 2 };

// A command that stops: its status and the one line that says why.
struct Failure {
    int status;
    QString message;
};
[[noreturn]] void usageFailure(const QString &message);
[[noreturn]] void ioFailure(const QString &message);

// "picture" subcommands draw with the toolkit's painting; the others need none of it.
bool isPictureCommand(const QString &name);
// Whether a command line needs the drawing program: a picture command, or a fit that draws its
// pictures (--diagnostics). `arguments` without the program's name.
bool needsPictures(const QStringList &arguments);

// `text` in double quotes, and an option with its value as a message names them: --dpi "2400".
QString quoted(const QString &text);
QString optionAndValue(const QCommandLineParser &parser, const QString &name);

// The options every state-describing subcommand takes, added to `parser`.
void addStateOptions(QCommandLineParser &parser);

// The session for the state the parsed options describe: the instrument (library entry, typed
// values, else the built-in one), the second instrument of plotter mode, the aberrations, the range
// and the view, as the window would hold them after the same settings; the curves are computed.
// Throws Failure (usage) naming the option and value that cannot be taken.
void loadState(const QCommandLineParser &parser, CtfSession &session);

// Opens the store named by --store instead of the per-user one, when given.
void chooseStore(const QCommandLineParser &parser);

// The Save 1D table of the session's curves (CR LF ends).
QByteArray curveTable(const CtfSession &session);

// Parses an option's value as a number, or fails naming the option and value.
double numberOption(const QCommandLineParser &parser, const QString &name);
// "WxH" or "W"; both at least `minimum` and at most `maximum`.
QSize sizeOption(const QCommandLineParser &parser, const QString &name, int minimum, int maximum, bool square);

// Writes bytes to the standard output; fails (I/O) when the stream refuses them.
void writeOut(const QByteArray &bytes);

// A picture subcommand: given the subcommand's name and its arguments (without the program's name),
// returns the exit status. Set by the program that links the pictures.
using PictureRunner = std::function<int(const QString &command, const QStringList &arguments)>;

// Parses one subcommand's arguments with its own options (and --help); prints help and exits 0 on
// --help. `positional` names the positional arguments for the usage line.
void parseCommand(QCommandLineParser &parser, const QString &command, const QString &description,
                  const QStringList &arguments, const QString &positional = QString());

// The whole program: argv without the program's name; returns the exit status after printing the
// message of any Failure.
int runProgram(const QStringList &arguments, const PictureRunner &pictures);

// The one line a failure prints, "orvalis-ctf: <message>".
void printFailure(const Failure &failure);

} // namespace orvalis::cli
