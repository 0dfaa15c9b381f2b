// Start-up and close of the main window as far as the settings go: reading and applying every
// stored value, and capturing and writing them all (four groups, one transaction each).
#include "ui/main/form1.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <memory>

using namespace orvalis;

namespace {

TForm1 &form()
{
    static std::unique_ptr<TForm1> f;
    if (!f) {
        f = std::make_unique<TForm1>();
        f->show();
        QApplication::processEvents();
        f->FormClose(); // every value is stored from here on
    }
    return *f;
}

void Settings_LoadSettings(benchmark::State &st)
{
    TForm1 &f = form();
    for (auto _ : st)
        f.LoadSettings();
}
BENCHMARK(Settings_LoadSettings)->Unit(benchmark::kMillisecond);

void Settings_FormClose(benchmark::State &st)
{
    TForm1 &f = form();
    for (auto _ : st)
        f.FormClose();
}
BENCHMARK(Settings_FormClose)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home; // never the user's own settings
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
