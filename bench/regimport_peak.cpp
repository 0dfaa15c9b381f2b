// Not a benchmark: one registry file imported into a fresh store in a temporary folder, so that
// /usr/bin/time can show the importer's peak memory (scripts/measure-import-memory.sh runs it on
// the worst files). "regimport_peak --deepest FILE" writes the export of the deepest tree the store
// holds, the largest file the program itself can make from an importable one.
#include "core/orvaliserror.h"
#include "store/regexport.h"
#include "store/regimporter.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace orvalis;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || (args[1] == QLatin1String("--deepest") && args.size() != 3)) {
        std::fprintf(stderr, "usage: regimport_peak FILE | --deepest FILE\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    try {
        if (args[1] == QLatin1String("--deepest")) {
            QByteArray line = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantrel\\Orvalis";
            for (int depth = 3; depth < 512; ++depth)
                line += '\\' + QByteArray(255, char('a' + depth % 26));
            RegImporter::importData(line + "]\r\n\"v\"=dword:00000001\r\n", QStringLiteral("deepest.reg"));
            ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software\\Vantrel\\Orvalis"), args[2]);
            return 0;
        }
        const RegImporter::Summary s = RegImporter::importFile(args[1]);
        std::printf("imported: %d keys, %d values, %d keys skipped\n", s.keys, s.values, s.skippedKeys);
    } catch (const OrvalisError &e) {
        std::printf("refused: %s\n", qPrintable(e.text()));
    }
    return 0;
}
