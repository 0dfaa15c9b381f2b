#include "programstart.h"

#include "core/buildinfo.h"
#include "core/datafolder.h"
#include "core/orvaliserror.h"
#include "session/ctfsession.h"
#include "store/regimporter.h"
#include "store/scopelibrary.h"
#include "store/windowsettings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>

namespace orvalis {
namespace {

class CheckReport {
public:
    explicit CheckReport(QTextStream &out) : m_out(out) {}
    void result(bool passed, const QString &what)
    {
        m_out << (passed ? "ok: " : "FAILED: ") << what << Qt::endl;
        m_failed = m_failed || !passed;
    }
    void skipped(const QString &what) { m_out << "skipped: " << what << Qt::endl; }
    bool failed() const { return m_failed; }

private:
    QTextStream &m_out;
    bool m_failed = false;
};

void checkStartUp(CheckReport &report)
{
    // The start-up of a first run without its window: an empty store, so the built-in instrument.
    CtfSession session;
    WindowSettings settings;
    try {
        settings = ReadWindowSettings();
    } catch (const OrvalisError &) {
        // A store that cannot be read: every value takes its default, as the window starts.
    }
    FitToAcceptedRanges(settings);
    session.applySettings(settings);
    session.selectStoredScope(settings); // what the window would tell at start is not checked here
    session.beginRun();
    session.computeCurves();
    const OpticsState &s = session.state();
    report.result(s.Company == defaultManufacturer() && s.Voltage == 200 && s.Wavelength > 0,
                  QStringLiteral("start-up loads the built-in instrument (%1, %2 kV)").arg(s.Company).arg(s.Voltage));
}

void checkDefaultList(CheckReport &report, const QString &list)
{
    const QString path = QDir::toNativeSeparators(list);
    try {
        const RegImporter::Summary summary = RegImporter::importFile(path);
        QVector<ScopeCompany> library;
        ReadScopeLibrary(library);
        int models = 0;
        for (const ScopeCompany &company : library)
            models += company.Models.size();
        report.result(models > 0,
                      QStringLiteral("default list %1 imports %2 values: %3 companies, %4 models")
                          .arg(path)
                          .arg(summary.values)
                          .arg(library.size())
                          .arg(models));
    } catch (const OrvalisError &e) {
        report.result(false, QStringLiteral("default list: %1").arg(e.text()));
    }
}

void checkHelp(CheckReport &report, const QString &index)
{
    const QString help = QFileInfo(index).path();
    if (!QFileInfo(help).isDir()) {
        report.skipped(QStringLiteral("no help pages in %1").arg(QDir::toNativeSeparators(help)));
        return;
    }
    QTextBrowser browser;
    browser.setSource(QUrl::fromLocalFile(index));
    const QString title = browser.documentTitle();
    report.result(QFileInfo(index).isFile() && !browser.document()->toPlainText().trimmed().isEmpty(),
                  QStringLiteral("help index %1 opens (\"%2\")").arg(QDir::toNativeSeparators(index), title));
}

} // namespace

int checkInstallation(QTextStream &out, const QString &list, const QString &helpIndex)
{
    CheckReport report(out);
    checkStartUp(report);
    checkDefaultList(report, list);
    checkHelp(report, helpIndex);
    return report.failed() ? 1 : 0;
}

std::optional<int> prepareProgram()
{
    QCoreApplication::setApplicationVersion(QString::fromUtf8(buildinfo::Version));
    // Lets a Wayland desktop match the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(ORVALIS_APP_ID));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(ORVALIS_SUMMARY));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption check(QStringLiteral("check-installation"),
                                   QStringLiteral("Start once on a settings store of its own, check that the "
                                                  "installed files are found and usable, and exit."));
    parser.addOption(check);
    parser.process(QCoreApplication::arguments());
    if (!parser.isSet(check))
        return std::nullopt;

    // A throw-away store: the check must never read or change the user's own settings.
    QTemporaryDir home;
    if (!home.isValid()) {
        QTextStream(stderr) << "Cannot create a temporary folder: " << home.errorString() << Qt::endl;
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    QTextStream out(stdout);
    return checkInstallation(out, dataFilePath(QStringLiteral("sc.reg")),
                             dataFilePath(QStringLiteral("help/index.html")));
}

} // namespace orvalis
