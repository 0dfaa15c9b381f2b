// The 1D curve, the defocus map and the astigmatic pattern halves against an independent peer: the
// same formulas vectorised with numpy (bench/numpy_peer.py, run in a child process before and after
// the program's own benchmarks of the same run). Prints the medians and program / numpy per
// computation, and how far numpy's results lie from the program's.
#include "../tests/support/startupstate.h"
#include "core/ctfcurves.h"
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/scopedata.h"
#include "peerrun.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>

using namespace orvalis;

namespace {

constexpr int kMapWidth = 416;
constexpr int kMapMinimum = -50;
constexpr int kMapMaximum = 200;
constexpr int kCentre = 104;

OpticsState astigmatic()
{
    OpticsState s = startupState();
    s.A2 = 50;
    s.A3 = 2000;
    return s;
}

// Every optional term set: the pattern then needs its whole grid.
OpticsState withTerms(OpticsState s)
{
    s.AmplitudeContrast = 0.07;
    s.PhaseShift = 0.5;
    s.BFactor = 0.5; // 50 A^2
    s.C5 = 3e6;      // 3 mm
    s.A2Azimuth = 0.6;
    s.A3Azimuth = 0.3;
    return s;
}

OpticsState termsCurveState()
{
    OpticsState s = withTerms(startupState());
    s.A2 = 50;
    s.A3 = 2000;
    return s;
}

// Every series of the analysis view: the CTF, three envelopes and their mirror images.
CurveOptions allSeries()
{
    CurveOptions o;
    o.symmetric = true;
    return o;
}

void curve(benchmark::State &bs)
{
    const OpticsState s = startupState();
    CtfCurves kept; // as the window keeps it
    for (auto _ : bs) {
        sampleAnalysisCurves(s, s.Defocus, 0, allSeries(), kept);
        benchmark::DoNotOptimize(kept.ctf.data());
    }
}

void defocusMap(benchmark::State &bs)
{
    const OpticsState s = startupState();
    for (auto _ : bs)
        benchmark::DoNotOptimize(computeDefocusMap(s, kMapWidth, kMapMinimum, kMapMaximum, s.UpTo));
}

void pattern(benchmark::State &bs)
{
    const OpticsState s = astigmatic();
    for (auto _ : bs)
        benchmark::DoNotOptimize(computePatternHalves(s, s.Defocus, kCentre, 1, s.UpTo));
}

void curveTerms(benchmark::State &bs)
{
    const OpticsState s = termsCurveState();
    CtfCurves kept;
    for (auto _ : bs) {
        sampleAnalysisCurves(s, s.Defocus, 0.3, allSeries(), kept);
        benchmark::DoNotOptimize(kept.ctf.data());
    }
}

void defocusMapTerms(benchmark::State &bs)
{
    const OpticsState s = withTerms(startupState());
    for (auto _ : bs)
        benchmark::DoNotOptimize(computeDefocusMap(s, kMapWidth, kMapMinimum, kMapMaximum, s.UpTo));
}

void patternTerms(benchmark::State &bs)
{
    const OpticsState s = withTerms(astigmatic());
    for (auto _ : bs)
        benchmark::DoNotOptimize(computePatternHalves(s, s.Defocus, kCentre, 1, s.UpTo));
}

QJsonObject termsOf(const OpticsState &s)
{
    return QJsonObject{{"q", s.AmplitudeContrast}, {"phase", s.PhaseShift},   {"b", s.BFactor}, {"c5", s.C5},
                       {"a2azimuth", s.A2Azimuth}, {"a3azimuth", s.A3Azimuth}};
}

QJsonObject merged(QJsonObject a, const QJsonObject &b)
{
    for (auto i = b.begin(); i != b.end(); ++i)
        a.insert(i.key(), i.value());
    return a;
}

// The program's outputs of one set of the three computations, in the order numpy reads them.
void writeOutputs(QFile &outputs, const CtfCurves &c, const DefocusMapGrid &map, const PatternHalves &halves)
{
    for (const QVector<double> *v :
         {&c.ctf, &c.temporal, &c.spatial, &c.combined, &c.temporalNeg, &c.spatialNeg, &c.combinedNeg})
        outputs.write(reinterpret_cast<const char *>(v->data()), static_cast<qint64>(v->size() * sizeof(double)));
    for (const std::vector<std::uint8_t> *v :
         {&map.grey, &halves.lower, &halves.upper, &halves.leftLower, &halves.leftUpper})
        outputs.write(reinterpret_cast<const char *>(v->data()), static_cast<qint64>(v->size()));
}

// The program's outputs for numpy to compare with, and the parameters of all three computations.
QByteArray peerInput(const QString &outputsPath)
{
    const OpticsState s = startupState();
    const OpticsState a = astigmatic();
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, allSeries());
    const DefocusMapGrid map = computeDefocusMap(s, kMapWidth, kMapMinimum, kMapMaximum, s.UpTo);
    const PatternHalves halves = computePatternHalves(a, a.Defocus, kCentre, 1, a.UpTo);
    QFile outputs(outputsPath);
    if (!outputs.open(QIODevice::WriteOnly))
        return {};
    writeOutputs(outputs, c, map, halves);
    const OpticsState tc = termsCurveState(), tm = withTerms(startupState()), tp = withTerms(astigmatic());
    const CtfCurves termsCurve = sampleAnalysisCurves(tc, tc.Defocus, 0.3, allSeries());
    writeOutputs(outputs, termsCurve, computeDefocusMap(tm, kMapWidth, kMapMinimum, kMapMaximum, tm.UpTo),
                 computePatternHalves(tp, tp.Defocus, kCentre, 1, tp.UpTo));
    outputs.close();

    QJsonObject p;
    p["outputs"] = outputsPath;
    p["wavelength"] = s.Wavelength;
    p["focalSpread"] = s.FocalSpread;
    p["cs"] = s.Cs;
    p["alpha"] = s.Alpha;
    p["chiCsFactor"] = s.ChiCsFactor;
    p["chiDefocusFactor"] = s.ChiDefocusFactor;
    p["curve"] = QJsonObject{{"n", fineSteps(s.PointDensity, s.UpTo)},
                             {"count", c.k.size()},
                             {"upTo", s.UpTo},
                             {"defocus", s.Defocus},
                             {"direction", 0.0},
                             {"a2", s.A2},
                             {"a3", s.A3}};
    p["map"] = QJsonObject{{"width", kMapWidth}, {"minimum", kMapMinimum}, {"maximum", kMapMaximum}, {"upTo", s.UpTo}};
    p["pattern"] = QJsonObject{{"n", halves.n},        {"step", 1},  {"centre", kCentre}, {"range", a.UpTo},
                               {"defocus", a.Defocus}, {"a2", a.A2}, {"a3", a.A3}};
    p["curveTerms"] = merged(QJsonObject{{"n", fineSteps(tc.PointDensity, tc.UpTo)},
                                         {"count", termsCurve.k.size()},
                                         {"upTo", tc.UpTo},
                                         {"defocus", tc.Defocus},
                                         {"direction", 0.3},
                                         {"a2", tc.A2},
                                         {"a3", tc.A3}},
                             termsOf(tc));
    p["mapTerms"] = merged(p["map"].toObject(), termsOf(tm));
    p["patternTerms"] = merged(p["pattern"].toObject(), termsOf(tp));
    return QJsonDocument(p).toJson(QJsonDocument::Compact);
}

} // namespace

// Timed call by call and the median taken, as the numpy peer does: on a loaded machine a mean over
// many calls would charge the program for every time another process took the processor.
BENCHMARK(curve)->Iterations(1)->Repetitions(201)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(defocusMap)->Iterations(1)->Repetitions(51)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(pattern)->Iterations(1)->Repetitions(201)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(curveTerms)->Iterations(1)->Repetitions(201)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(defocusMapTerms)->Iterations(1)->Repetitions(51)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(patternTerms)->Iterations(1)->Repetitions(201)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    const QByteArray input = peerInput(dir.filePath(QStringLiteral("outputs.bin")));
    // numpy before and after the program's runs; the faster of its two medians counts, so that a
    // load that came and went does not favour the program.
    PeerResult peer;
    const bool peerRan = !input.isEmpty() && runPeer(ORVALIS_PYTHON3, ORVALIS_NUMPY_PEER, input, peer);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool peerRanAgain = peerRan && runPeer(ORVALIS_PYTHON3, ORVALIS_NUMPY_PEER, input, peer);
    benchmark::Shutdown();
    if (!peerRanAgain) {
        std::printf("numpy peer not run (needs python3 with numpy: scripts/install-deps.sh)\n");
        return 0;
    }
    // Wall clock first; processor time, which other processes on a loaded machine disturb least, after.
    std::printf("\n%-12s %11s %9s %8s  %11s %9s %8s  %s\n", "", "program ms", "numpy ms", "ratio", "program cpu",
                "numpy cpu", "ratio", "numpy vs program");
    const char *labels[][2] = {
        {"curve", "curve"},           {"defocusMap", "map"},           {"pattern", "pattern"},
        {"curveTerms", "curveTerms"}, {"defocusMapTerms", "mapTerms"}, {"patternTerms", "patternTerms"}};
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    for (const auto &l : labels) {
        const double wall = reporter.medians[l[0]];
        const double cpu = reporter.cpuMedians[l[0]];
        std::printf("%-12s %11.4f %9.4f %8.3f  %11.4f %9.4f %8.3f  %s\n", l[1], wall, peer.ms[l[1]],
                    ratio(wall, peer.ms[l[1]]), cpu, peer.cpuMs[l[1]], ratio(cpu, peer.cpuMs[l[1]]),
                    peer.check[l[1]].c_str());
    }
    std::printf("ratio = program / numpy (below 1: the program is faster)\n");
    return 0;
}
