// A 4096 x 4096 float32 MRC micrograph (64 MiB) read and its spectrum computed, against a numpy
// peer doing the same in the same run (bench/numpy_micrograph_peer.py, run before and after the
// program's own benchmarks; the faster of its two medians counts). Also the parts on their own, the
// equal-phase average the window redraws as the model moves, and the first plan's cost.
// Peak memory: scripts/measure-micrograph-memory.sh.
#include "../tests/support/startupstate.h"
#include "core/ctffunctions.h"
#include "micrograph/fftplans.h"
#include "micrograph/micrographreader.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/ringaverage.h"
#include "peerrun.h"
#include "syntheticmicrograph.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>

using namespace orvalis;

namespace {

constexpr int kSide = 4096;
constexpr double kPixel = 0.1; // nm
QString micrographPath;

SpectrumOptions spectrumOptions(int threads)
{
    SpectrumOptions o;
    o.pixelSizeNm = kPixel;
    o.threads = threads;
    return o;
}

void readAndSpectrum(benchmark::State &bs)
{
    const int threads = static_cast<int>(bs.range(0));
    for (auto _ : bs) {
        const MicrographImage image = readMicrograph(micrographPath);
        benchmark::DoNotOptimize(computePowerSpectrum(image, spectrumOptions(threads)).rings.data());
    }
}

void readOnly(benchmark::State &bs)
{
    for (auto _ : bs)
        benchmark::DoNotOptimize(readMicrograph(micrographPath).data.data());
}

void spectrumOnly(benchmark::State &bs)
{
    const int threads = static_cast<int>(bs.range(0));
    const MicrographImage image = readMicrograph(micrographPath);
    for (auto _ : bs)
        benchmark::DoNotOptimize(computePowerSpectrum(image, spectrumOptions(threads)).rings.data());
}

// The rings along the model's equal-phase circles of an astigmatic state, every pixel (the window's
// full redraw) and every fourth (its coarse step while a slider moves).
void equalPhase(benchmark::State &bs)
{
    const int step = static_cast<int>(bs.range(0));
    const PowerSpectrum s = computePowerSpectrum(readMicrograph(micrographPath), spectrumOptions(2));
    OpticsState state = startupState();
    state.A2 = 100;
    const double defocus = -1500, a = state.ChiCsFactor, b = state.ChiDefocusFactor * defocus;
    const EquivalentFrequency equivalent = [&](double kx, double ky) {
        const double d = b * b + 4 * a * Chi(state, kx, ky, defocus);
        return d < 0 ? -1.0 : std::sqrt(std::max(0.0, (-b - std::sqrt(d)) / (2 * a)));
    };
    for (auto _ : bs)
        benchmark::DoNotOptimize(equalPhaseAverage(s.rings, s.size, s.frequencyStep, equivalent, step).value.data());
}

// The micrograph: a white object through the default instrument's CTF at -1.5 um with 100 nm of
// astigmatism, plus as much noise again.
bool writeMicrograph(const QString &path)
{
    OpticsState state = startupState();
    state.A2 = 100;
    SyntheticOptions o;
    o.width = o.height = kSide;
    o.pixelSizeNm = kPixel;
    return writeMrcFloat(
        path, syntheticMicrograph(o, [&state](double kx, double ky) { return std::sin(Chi(state, kx, ky, -1500)); }));
}

QByteArray peerInput(const QString &outputsPath)
{
    const PowerSpectrum s = computePowerSpectrum(readMicrograph(micrographPath), spectrumOptions(2));
    QFile outputs(outputsPath);
    if (!outputs.open(QIODevice::WriteOnly))
        return {};
    for (const std::vector<float> *v : {&s.power, &s.rings})
        outputs.write(reinterpret_cast<const char *>(v->data()), static_cast<qint64>(v->size() * sizeof(float)));
    outputs.close();
    QJsonObject p;
    p["path"] = micrographPath;
    p["outputs"] = outputsPath;
    p["width"] = kSide;
    p["height"] = kSide;
    p["tile"] = s.size;
    p["pixel"] = kPixel;
    p["background"] = SpectrumOptions().backgroundFrequency;
    return QJsonDocument(p).toJson(QJsonDocument::Compact);
}

// Timed call by call and the median taken, as the numpy peer does it.
void onceEach(benchmark::internal::Benchmark *b)
{
    b->Iterations(1)->Repetitions(11)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(readAndSpectrum)->Arg(1)->Arg(2)->Apply(onceEach);
BENCHMARK(readOnly)->Apply(onceEach);
BENCHMARK(spectrumOnly)->Arg(1)->Arg(2)->Apply(onceEach);
BENCHMARK(equalPhase)->Arg(1)->Arg(4)->Apply(onceEach)->Repetitions(51);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    micrographPath = dir.filePath(QStringLiteral("micrograph.mrc"));
    if (!writeMicrograph(micrographPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(micrographPath));
        return 1;
    }
    // The tile transform is planned (measured) once per run and tile size; every spectrum after the
    // first reuses the plan.
    const auto start = std::chrono::steady_clock::now();
    realToComplexPlan(kDefaultTileSize, kDefaultTileSize, PlanEffort::Measure);
    const double planMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    const QByteArray input = peerInput(dir.filePath(QStringLiteral("outputs.bin")));
    PeerResult peer;
    const bool peerRan = !input.isEmpty() && runPeer(ORVALIS_PYTHON3, ORVALIS_NUMPY_MICROGRAPH_PEER, input, peer);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool peerRanAgain = peerRan && runPeer(ORVALIS_PYTHON3, ORVALIS_NUMPY_MICROGRAPH_PEER, input, peer);
    benchmark::Shutdown();
    std::printf("\nfirst plan of the %d x %d tile transform: %.0f ms (once per run)\n", kDefaultTileSize,
                kDefaultTileSize, planMs);
    if (!peerRanAgain) {
        std::printf("numpy peer not run (needs python3 with numpy: scripts/install-deps.sh)\n");
        return 0;
    }
    // Wall clock first; processor time, which other processes on a loaded machine disturb least, after
    // (the program's with two threads is that of both).
    std::printf("%-20s %11s %9s %8s  %11s %9s %8s  %s\n", "read + spectrum", "program ms", "numpy ms", "ratio",
                "program cpu", "numpy cpu", "ratio", "numpy vs program");
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    for (const char *name : {"readAndSpectrum/1", "readAndSpectrum/2"}) {
        const double wall = reporter.medians[name], cpu = reporter.cpuMedians[name];
        const double peerWall = peer.ms["spectrum"], peerCpu = peer.cpuMs["spectrum"];
        std::printf("%-20s %11.1f %9.1f %8.3f  %11.1f %9.1f %8.3f  %s\n", name, wall, peerWall, ratio(wall, peerWall),
                    cpu, peerCpu, ratio(cpu, peerCpu), peer.check["spectrum"].c_str());
    }
    std::printf("ratio = program / numpy (below 1: the program is faster)\n");
    return 0;
}
