// The shell program: every computation and picture of the window from a command line. The commands
// that print start on QtCore alone; those that draw run in a second program, orvalis-ctf-pictures,
// which this one becomes (exec) for them: the toolkit's window libraries alone take longer to load
// than a whole curve takes to print.
#include "cli/ctfcli.h"

#include <QCoreApplication>
#include <QLocale>

#ifdef ORVALIS_CTF_PICTURES
#include "cli/fitoutputs.h"
#include "cli/pictures/fitdiagnostics.h"
#include "cli/pictures/picturecommands.h"

#include <QApplication>
#else
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include <unistd.h>
#endif

namespace {

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void nameTheProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("orvalis-ctf"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QLocale::setDefault(QLocale::c());
}

#ifdef ORVALIS_CTF_PICTURES
// A display-less run has no runtime folder, which Qt mentions on every start; the program's own
// messages are its one line.
void quietRuntimeFolder(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    std::fputs(qPrintable(qFormatLogMessage(type, context, message) + QLatin1Char('\n')), stderr);
}
#else
// The drawing program: beside this one in a build folder, in the package's libexec folder otherwise.
[[noreturn]] void becomePictures(char *argv[])
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(".");
    dir.erase(dir.rfind('/') == std::string::npos ? 0 : dir.rfind('/'));
    const std::string candidates[] = {dir + "/orvalis-ctf-pictures",
                                      dir + "/" ORVALIS_PICTURES_FROM_BIN "/orvalis-ctf-pictures"};
    int error = ENOENT;
    for (const std::string &path : candidates) {
        if (access(path.c_str(), X_OK) != 0)
            continue;
        execv(path.c_str(), argv);
        error = errno;
    }
    orvalis::cli::printFailure(
        {orvalis::cli::ExitIo,
         QStringLiteral("cannot start %1: %2")
             .arg(QString::fromStdString(candidates[1]), QString::fromLocal8Bit(std::strerror(error)))});
    std::exit(orvalis::cli::ExitIo);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    using namespace orvalis::cli;
#ifdef ORVALIS_CTF_PICTURES
    qInstallMessageHandler(quietRuntimeFolder);
    // Drawn without a display unless the user names a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    nameTheProgram();
    setDiagnosticsWriter(writeFitDiagnostics);
    return runProgram(argumentsOf(argc, argv),
                      [](const QString &name, const QStringList &rest) { return runPictureCommand(name, rest); });
#else
    if (argc > 1 && needsPictures(argumentsOf(argc, argv)))
        becomePictures(argv);
    QCoreApplication app(argc, argv);
    nameTheProgram();
    return runProgram(argumentsOf(argc, argv), {});
#endif
}
