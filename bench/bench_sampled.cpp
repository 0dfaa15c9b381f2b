// The pattern as the detector records it, at the window's size: a full pass and a coarse one while a
// slider is dragged, for pixels of 0.6, 1 and 2 Å (more aliases within the envelopes as the pixel
// grows), beside the plain pattern of the same state.
#include "core/ctfpattern.h"
#include "core/instrumentload.h"
#include "core/sampledpattern.h"
#include "core/scopedata.h"

#include <benchmark/benchmark.h>

using namespace orvalis;

namespace {

OpticsState stateWithPixel(double angstrom)
{
    OpticsState s;
    s.UpTo = 10;
    loadInstrument(s, defaultScope()); // extended Scherzer defocus, Alpha 0.3 mrad
    s.PixelSize = angstrom / 10;
    s.AmplitudeContrast = 0.07;
    return s;
}

// range(0): pixel size in tenths of Å; range(1): step factor.
void sampled(benchmark::State &bs)
{
    const OpticsState s = stateWithPixel(bs.range(0) / 10.0);
    const int step = static_cast<int>(bs.range(1));
    for (auto _ : bs)
        benchmark::DoNotOptimize(computeSampledPattern(s, s.Defocus, 104, step, s.UpTo));
}

void plain(benchmark::State &bs)
{
    const OpticsState s = stateWithPixel(1);
    const int step = static_cast<int>(bs.range(0));
    for (auto _ : bs)
        benchmark::DoNotOptimize(computePatternHalves(s, s.Defocus, 104, step, s.UpTo));
}

} // namespace

BENCHMARK(sampled)->ArgsProduct({{6, 10, 20}, {1, 4}})->Unit(benchmark::kMillisecond);
BENCHMARK(plain)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
