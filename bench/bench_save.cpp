// The save commands' own work: the 1D curve table of a full computation written to a file, the
// defocus map table of the window's 416 x 416 map, and an EMF of the 1D chart.
#include "../tests/support/startupstate.h"
#include "chart/chartexport.h"
#include "chart/chartwidget.h"
#include "core/ctfcurves.h"
#include "core/curvetable.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace orvalis;

namespace {

// CTF and three envelopes, 4097 points each, as the default start draws them.
QVector<CurveSeries> defaultSeries()
{
    const CtfCurves c = sampleAnalysisCurves(startupState(), -60, 0, CurveOptions{});
    return {{QStringLiteral("CTF"), c.k, c.ctf},
            {QStringLiteral("Temporal Envelope"), c.k, c.temporal},
            {QStringLiteral("Spatial Envelope"), c.k, c.spatial},
            {QStringLiteral("Combined Envelope"), c.k, c.combined}};
}

void BM_Save1DText(benchmark::State &state)
{
    const QVector<CurveSeries> series = defaultSeries();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c.txt"));
    for (auto _ : state)
        saveBytes(curveTableText(series), path);
}
BENCHMARK(BM_Save1DText)->Unit(benchmark::kMillisecond);

void BM_MapTable416(benchmark::State &state)
{
    const OpticsState s = startupState();
    for (auto _ : state)
        benchmark::DoNotOptimize(defocusMapTableText(s, 416, -50, 200, s.UpTo));
}
BENCHMARK(BM_MapTable416)->Unit(benchmark::kMillisecond);

void BM_Emf1DChart(benchmark::State &state)
{
    ChartWidget chart;
    chart.resize(900, 420);
    const QVector<CurveSeries> series = defaultSeries();
    for (const CurveSeries &s : series) {
        const int i = chart.addSeries(s.title, s.title, Qt::red);
        chart.appendPoints(i, s.x, s.y);
    }
    chart.redraw();
    for (auto _ : state)
        benchmark::DoNotOptimize(chartMetafile(chart, ChartFileFormat::Emf));
}
BENCHMARK(BM_Emf1DChart)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
