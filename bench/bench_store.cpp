// The library at a size no real user reaches: 200 companies with 10 models each, read as the setup
// dialog reads it, and exported and imported as a backup and a restore do.
#include "store/regexport.h"
#include "store/regimporter.h"
#include "store/registry.h"
#include "store/scopelibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace orvalis;

namespace {

const QString kBackup = QStringLiteral("backup.reg");

void fillLibrary()
{
    for (int c = 0; c < 200; ++c)
        for (int m = 0; m < 10; ++m)
            WriteScopeEntry(QStringLiteral("Company %1").arg(c), QStringLiteral("Model %1").arg(m),
                            {QStringLiteral("200"), QStringLiteral("1.2"), QStringLiteral("1.2"), QStringLiteral("0.6"),
                             QStringLiteral("0.25"), QStringLiteral("0.5"), QStringLiteral("0.3")});
}

void ReadScopeLibrary_200x10(benchmark::State &st)
{
    for (auto _ : st) {
        QVector<ScopeCompany> library;
        ReadScopeLibrary(library);
        benchmark::DoNotOptimize(library.data());
        if (library.size() != 200)
            st.SkipWithError("library not filled");
    }
}
BENCHMARK(ReadScopeLibrary_200x10)->Unit(benchmark::kMillisecond);

void Export_200x10(benchmark::State &st)
{
    for (auto _ : st)
        ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software\\Vantrel\\Orvalis\\Default Scopes"), kBackup);
    st.counters["bytes"] = QFileInfo(kBackup).size();
}
BENCHMARK(Export_200x10)->Unit(benchmark::kMillisecond);

void Import_200x10(benchmark::State &st)
{
    for (auto _ : st) {
        const RegImporter::Summary s = RegImporter::importFile(kBackup);
        benchmark::DoNotOptimize(s.values);
    }
}
BENCHMARK(Import_200x10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QDir::setCurrent(home.path());
    fillLibrary();
    ExportKeyToRegFile(HKEY_CURRENT_USER, QStringLiteral("Software\\Vantrel\\Orvalis\\Default Scopes"), kBackup);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
