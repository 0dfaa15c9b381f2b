// The 1D curve, the defocus map and the astigmatic pattern halves against an independent peer: the
// same formulas vectorised with numpy (bench/numpy_peer.py, run in a child process before and after
// the program's own benchmarks of the same run). Prints the medians and program / numpy per
// computation, and how far numpy's results lie from the program's.
#include "core/ctfcurves.h"
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/instrumentload.h"
#include "core/scopedata.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace orvalis;

namespace {

constexpr int kMapWidth = 416;
constexpr int kMapMinimum = -50;
constexpr int kMapMaximum = 200;
constexpr int kCentre = 104;

OpticsState startupState()
{
    OpticsState s;
    s.UpTo = 10;
    s.PointDensity = 4096;
    s.StepFactor = 1;
    loadInstrument(s, defaultScope());
    return s;
}

OpticsState astigmatic()
{
    OpticsState s = startupState();
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

// Keeps the medians of the repetitions while the console shows everything as usual.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    MedianReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.aggregate_name == "median")
                medians[run.run_name.function_name] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians; // ms
};

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
    for (const QVector<double> *v : {&c.ctf, &c.temporal, &c.spatial, &c.combined, &c.temporalNeg, &c.spatialNeg,
                                     &c.combinedNeg})
        outputs.write(reinterpret_cast<const char *>(v->data()), static_cast<qint64>(v->size() * sizeof(double)));
    for (const std::vector<std::uint8_t> *v : {&map.grey, &halves.lower, &halves.upper})
        outputs.write(reinterpret_cast<const char *>(v->data()), static_cast<qint64>(v->size()));
    outputs.close();

    QJsonObject p;
    p["outputs"] = outputsPath;
    p["wavelength"] = s.Wavelength;
    p["focalSpread"] = s.FocalSpread;
    p["cs"] = s.Cs;
    p["alpha"] = s.Alpha;
    p["chiCsFactor"] = s.ChiCsFactor;
    p["chiDefocusFactor"] = s.ChiDefocusFactor;
    p["curve"] = QJsonObject{{"n", fineSteps(s.PointDensity, s.UpTo)}, {"count", c.k.size()}, {"upTo", s.UpTo},
                             {"defocus", s.Defocus}, {"direction", 0.0}, {"a2", s.A2}, {"a3", s.A3}};
    p["map"] = QJsonObject{{"width", kMapWidth}, {"minimum", kMapMinimum}, {"maximum", kMapMaximum}, {"upTo", s.UpTo}};
    p["pattern"] = QJsonObject{{"n", halves.n}, {"step", 1},     {"centre", kCentre},
                               {"range", a.UpTo}, {"defocus", a.Defocus}, {"a2", a.A2}, {"a3", a.A3}};
    return QJsonDocument(p).toJson(QJsonDocument::Compact);
}

struct PeerResult {
    std::map<std::string, double> ms;
    std::map<std::string, std::string> check;
};

bool runPeer(const QByteArray &input, PeerResult &result)
{
    QProcess python;
    python.start(QStringLiteral(ORVALIS_PYTHON3), {QStringLiteral(ORVALIS_NUMPY_PEER)});
    if (!python.waitForStarted())
        return false;
    python.write(input);
    python.closeWriteChannel();
    python.waitForFinished(-1);
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        std::fprintf(stderr, "numpy peer failed:\n%s\n", python.readAllStandardError().constData());
        return false;
    }
    for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() != 3)
            continue;
        const std::string name = f[0].toStdString();
        const double ms = f[1].toDouble();
        result.ms[name] = result.ms.count(name) ? std::min(result.ms[name], ms) : ms;
        result.check[name] = f[2].toStdString();
    }
    return true;
}

} // namespace

BENCHMARK(curve)->Repetitions(15)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(defocusMap)->Repetitions(15)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(pattern)->Repetitions(15)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);

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
    const bool peerRan = !input.isEmpty() && runPeer(input, peer);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool peerRanAgain = peerRan && runPeer(input, peer);
    benchmark::Shutdown();
    if (!peerRanAgain) {
        std::printf("numpy peer not run (needs python3 with numpy: scripts/install-deps.sh)\n");
        return 0;
    }
    std::printf("\n%-10s %12s %12s %16s  %s\n", "", "program ms", "numpy ms", "program/numpy", "numpy vs program");
    const char *labels[][2] = {{"curve", "curve"}, {"defocusMap", "map"}, {"pattern", "pattern"}};
    for (const auto &l : labels) {
        const double program = reporter.medians.count(l[0]) ? reporter.medians[l[0]] : 0.0;
        const double numpy = peer.ms[l[1]];
        std::printf("%-10s %12.4f %12.4f %16.3f  %s\n", l[1], program, numpy, numpy > 0 ? program / numpy : 0.0,
                    peer.check[l[1]].c_str());
    }
    return 0;
}
