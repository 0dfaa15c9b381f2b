// Grey-level grids of the 2D pattern and the defocus map at the window's sizes, fast and direct.
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/instrumentload.h"
#include "core/scopedata.h"

#include <benchmark/benchmark.h>

using namespace orvalis;

namespace {

OpticsState startupState()
{
    OpticsState s;
    s.UpTo = 10;
    loadInstrument(s, defaultScope()); // extended Scherzer defocus, Alpha 0.3 mrad
    return s;
}

void patternFast(benchmark::State &bs)
{
    const OpticsState s = startupState();
    const int step = static_cast<int>(bs.range(0));
    for (auto _ : bs)
        benchmark::DoNotOptimize(computePatternHalves(s, s.Defocus, 104, step, s.UpTo));
}

void patternReference(benchmark::State &bs)
{
    const OpticsState s = startupState();
    const int step = static_cast<int>(bs.range(0));
    for (auto _ : bs)
        benchmark::DoNotOptimize(referencePatternHalves(s, s.Defocus, 104, step, s.UpTo));
}

void patternFastAstigmatic(benchmark::State &bs)
{
    OpticsState s = startupState();
    s.A2 = 50;
    s.A3 = 2000;
    for (auto _ : bs)
        benchmark::DoNotOptimize(computePatternHalves(s, s.Defocus, 104, 1, s.UpTo));
}

void mapFast(benchmark::State &bs)
{
    const OpticsState s = startupState();
    for (auto _ : bs)
        benchmark::DoNotOptimize(computeDefocusMap(s, 416, -50, 200, s.UpTo));
}

void mapReference(benchmark::State &bs)
{
    const OpticsState s = startupState();
    for (auto _ : bs)
        benchmark::DoNotOptimize(referenceDefocusMap(s, 416, -50, 200, s.UpTo));
}

} // namespace

BENCHMARK(patternFast)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternReference)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternFastAstigmatic)->Unit(benchmark::kMicrosecond);
BENCHMARK(mapFast)->Unit(benchmark::kMicrosecond);
BENCHMARK(mapReference)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
