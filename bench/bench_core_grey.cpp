// Grey-level grids of the 2D pattern and the defocus map at the window's sizes, fast and direct, and
// the kernels of every instruction set side by side.
#include "core/ctfcurves.h"
#include "core/ctfkernels.h"
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

// The same computations with the inner loops of each instruction set this processor runs (0 baseline,
// 1 x86-64-v3, 2 x86-64-v4); the plain ones above use the variant chosen at run time.
bool selectIsa(benchmark::State &bs, const kernels::KernelSet *&set)
{
    const auto isa = static_cast<kernels::Isa>(bs.range(0));
    if (!kernels::isaSupported(isa)) {
        bs.SkipWithError("not supported by this processor");
        return false;
    }
    set = &kernels::kernelsFor(isa);
    bs.SetLabel(set->name);
    return true;
}

void mapByIsa(benchmark::State &bs)
{
    const OpticsState s = startupState();
    const kernels::KernelSet *set = nullptr;
    if (selectIsa(bs, set))
        for (auto _ : bs)
            benchmark::DoNotOptimize(computeDefocusMap(*set, s, 416, -50, 200, s.UpTo));
}

void patternAstigmaticByIsa(benchmark::State &bs)
{
    OpticsState s = startupState();
    s.A2 = 50;
    s.A3 = 2000;
    const kernels::KernelSet *set = nullptr;
    if (selectIsa(bs, set))
        for (auto _ : bs)
            benchmark::DoNotOptimize(computePatternHalves(*set, s, s.Defocus, 104, 1, s.UpTo));
}

// The 1D curve with all seven series, refilled into kept series as the window does.
void curveByIsa(benchmark::State &bs)
{
    OpticsState s = startupState();
    s.PointDensity = 4096;
    s.StepFactor = 1;
    CurveOptions all;
    all.symmetric = true;
    CtfCurves kept;
    const kernels::KernelSet *set = nullptr;
    if (selectIsa(bs, set))
        for (auto _ : bs) {
            sampleAnalysisCurves(*set, s, s.Defocus, 0, all, kept);
            benchmark::DoNotOptimize(kept.ctf.data());
        }
}

} // namespace

BENCHMARK(mapByIsa)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternAstigmaticByIsa)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(curveByIsa)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternFast)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternReference)->Arg(1)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternFastAstigmatic)->Unit(benchmark::kMicrosecond);
BENCHMARK(mapFast)->Unit(benchmark::kMicrosecond);
BENCHMARK(mapReference)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
