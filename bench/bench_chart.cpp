// Refilling the seven curves of the 1D chart and redrawing it synchronously: what every slider step
// costs on top of the CTF computation. Full resolution is 4097 points per curve, 257 while dragging.
#include "chart/chartwidget.h"

#include "core/numberformat.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace orvalis;
using Axis = ChartWidget::Axis;

namespace {

struct Curves {
    std::vector<double> k, ctf, temporal, spatial, combined;
};

// Shapes like those of the default instrument: a CTF oscillating ever faster under decaying envelopes.
Curves makeCurves(int points)
{
    Curves c;
    const double upTo = 10.0; // nm^-1
    for (int i = 0; i < points; ++i) {
        const double k = i * upTo / (points - 1);
        const double et = std::exp(-0.003 * k * k * k * k);
        const double es = std::exp(-0.01 * k * k);
        c.k.push_back(k);
        c.temporal.push_back(et);
        c.spatial.push_back(es);
        c.combined.push_back(et * es);
        c.ctf.push_back(std::sin(0.2 * k * k * k * k - 0.6 * k * k) * et * es);
    }
    return c;
}

void setUpChart(ChartWidget &chart)
{
    const struct {
        const char *name, *title;
        QRgb color;
    } series[] = {{"Series1", "CTF", 0x000080},
                  {"Series2", "Temporal Envelope", 0x408080},
                  {"Series3", "Spatial Envelope", 0x008000},
                  {"Series4", "Combined Envelope", 0xFF8040},
                  {"Series5", "Temporal Envelope 2", 0x408080},
                  {"Series6", "Spatial Envelope 2", 0x008000},
                  {"Series7", "Combined Envelope 2", 0xFF8000},
                  {"Series8", "CTF 2", 0x0000FF}};
    for (const auto &s : series)
        chart.addSeries(s.name, s.title, QColor(s.color));
    for (Axis side : {Axis::Left, Axis::Right})
        chart.setAxisRange(side, -1.1, 1.1);
    for (Axis side : {Axis::Top, Axis::Bottom}) {
        chart.setAxisRange(side, 0, 10);
        chart.setAxisIncrement(side, 0.1);
    }
    chart.setLabelCallback([](Axis axis, QString &text) {
        if (axis == Axis::Top)
            text = text == QLatin1String("0") ? QStringLiteral("d,(nm)") : formatFixed(1.0 / strToFloat(text), 3);
        else if (axis == Axis::Bottom && text == QLatin1String("0"))
            text = QStringLiteral("k,(nm-1)");
    });
    chart.resize(560, 300);
    chart.show();
    QApplication::processEvents();
}

void fill(ChartWidget &chart, const Curves &c)
{
    for (int s = 0; s < 7; ++s)
        chart.clearSeries(s);
    for (std::size_t i = 0; i < c.k.size(); ++i) {
        const double k = c.k[i];
        chart.appendPoint(0, k, c.ctf[i]);
        chart.appendPoint(1, k, c.temporal[i]);
        chart.appendPoint(2, k, c.spatial[i]);
        chart.appendPoint(3, k, c.combined[i]);
        chart.appendPoint(4, k, -c.temporal[i]);
        chart.appendPoint(5, k, -c.spatial[i]);
        chart.appendPoint(6, k, -c.combined[i]);
    }
}

void BM_FillAndRedraw(benchmark::State &state)
{
    ChartWidget chart;
    setUpChart(chart);
    const Curves curves = makeCurves(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        fill(chart, curves);
        chart.redraw();
    }
    state.SetItemsProcessed(state.iterations() * 7 * state.range(0));
}
BENCHMARK(BM_FillAndRedraw)->Arg(4097)->Arg(257)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same chart redrawn without new points, to tell filling from drawing.
void BM_RedrawOnly(benchmark::State &state)
{
    ChartWidget chart;
    setUpChart(chart);
    fill(chart, makeCurves(static_cast<int>(state.range(0))));
    for (auto _ : state)
        chart.redraw();
}
BENCHMARK(BM_RedrawOnly)->Arg(4097)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
