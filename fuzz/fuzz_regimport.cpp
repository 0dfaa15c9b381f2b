// Any bytes at all handed to the importer: it may refuse them, never crash, and never leave the
// store unusable.
#include "core/orvaliserror.h"
#include "store/regimporter.h"
#include "store/registry.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool privateStore = [] {
        // Never the user's own store: a folder of this run.
        const QString home = QDir::temp().filePath(
            QStringLiteral("orvalis-fuzz-%1").arg(QCoreApplication::applicationPid()));
        QDir().mkpath(home);
        qputenv("XDG_CONFIG_HOME", home.toLocal8Bit());
        return true;
    }();
    (void)privateStore;
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        orvalis::RegImporter::importData(bytes, QStringLiteral("fuzz.reg"));
    } catch (const orvalis::OrvalisError &) {
        // refused as a whole: fine
    }
    // The store still answers.
    orvalis::Registry reg;
    if (reg.OpenKey(QStringLiteral("\\Software\\Vantrel\\Orvalis"), false))
        reg.GetKeyNames();
    return 0;
}
