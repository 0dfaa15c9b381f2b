// One step of the defocus slider computed by the session alone, without a window: the 1D curves, the
// pattern at the window's size and the resolution texts; in full sampling and as a drag samples.
#include "session/ctfsession.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace orvalis;

namespace {

// The window's pattern on a screen of 96 pixels per inch is 208 pixels wide.
constexpr int patternCentre = 104;

void defocusStep(benchmark::State &st, bool coarse)
{
    CtfSession session;
    session.ScopeRecord1 = defaultScope();
    session.beginRun();
    session.setViewChoices([] {
        ViewChoices v;
        v.show2D = true; // the pattern is computed at every step, as the window does with it shown
        v.mapShown = true;
        return v;
    }());
    int position = 60;
    for (auto _ : st) {
        position = position == 60 ? 61 : 60;
        session.setDefocus(-position, coarse);
        session.computeCurves();
        benchmark::DoNotOptimize(session.computePattern(session.state().Defocus, patternCentre));
        benchmark::DoNotOptimize(session.pointResolutionText());
        benchmark::DoNotOptimize(session.infoLimitText());
    }
}

void DefocusStep_Full(benchmark::State &st)
{
    defocusStep(st, false);
}
BENCHMARK(DefocusStep_Full)->Unit(benchmark::kMicrosecond);

void DefocusStep_Coarse(benchmark::State &st)
{
    defocusStep(st, true);
}
BENCHMARK(DefocusStep_Coarse)->Unit(benchmark::kMicrosecond);

// A microscope chosen in a dialog: the instrument loaded and every text of the tree written anew.
void LoadInstrument(benchmark::State &st)
{
    CtfSession session;
    session.ScopeRecord1 = defaultScope();
    session.beginRun();
    TScopeData other = defaultScope();
    other.Voltage = 300;
    bool flip = false;
    for (auto _ : st) {
        flip = !flip;
        benchmark::DoNotOptimize(session.loadInstrument(flip ? other : session.ScopeRecord1));
        benchmark::DoNotOptimize(session.treeTexts());
    }
}
BENCHMARK(LoadInstrument)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home; // nothing here reads the settings, but never the user's own
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
