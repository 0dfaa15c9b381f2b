// What the user waits for in the main window: the 1D curve with its chart, the pattern, the map,
// one full step of the defocus slider and the settings at start and close, each on the real window
// (offscreen, default size).
#include "../tests/support/startupstate.h"
#include "chart/chartwidget.h"
#include "core/ctfcurves.h"
#include "ui/main/form1.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

#include <cstdio>

#include <memory>

using namespace orvalis;

namespace {

// The window must go before the application object; main() resets it.
std::unique_ptr<TForm1> &formSlot()
{
    static std::unique_ptr<TForm1> f;
    return f;
}

TForm1 &form()
{
    std::unique_ptr<TForm1> &f = formSlot();
    if (!f) {
        f = std::make_unique<TForm1>();
        f->show();
        QApplication::processEvents();
    }
    return *f;
}

ChartWidget *chart1()
{
    return form().findChild<ChartWidget *>(QStringLiteral("Chart1"));
}

void DrawCTF_Compute(benchmark::State &st)
{
    const OpticsState s = startupState();
    const CurveOptions options;
    for (auto _ : st) {
        CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, options);
        benchmark::DoNotOptimize(c.ctf.data());
    }
}
BENCHMARK(DrawCTF_Compute)->Unit(benchmark::kMicrosecond);

// The plotter's curve with its combined envelope, refilled as the window does.
void PlotterCurve_Compute(benchmark::State &st)
{
    const OpticsState s = startupState();
    CtfCurves c;
    for (auto _ : st) {
        samplePlotterCurves(s, s.Defocus, true, true, c);
        benchmark::DoNotOptimize(c.ctf.data());
    }
}
BENCHMARK(PlotterCurve_Compute)->Unit(benchmark::kMicrosecond);

void DrawCTF_ComputeAndReplot(benchmark::State &st)
{
    TForm1 &f = form();
    const OpticsState &s = f.state();
    f.session().setSampling(false);
    for (auto _ : st) {
        f.painter().DrawCTF(s.Defocus, s.Direction);
        chart1()->redraw();
    }
    st.counters["points"] = chart1()->pointCount(0);
}
BENCHMARK(DrawCTF_ComputeAndReplot)->Unit(benchmark::kMicrosecond);

void DrawPattern_Full(benchmark::State &st)
{
    TForm1 &f = form();
    const OpticsState &s = f.state();
    f.session().setPatternLive(true);
    f.session().setSampling(false);
    for (auto _ : st)
        f.painter().DrawPattern(s.Defocus);
}
BENCHMARK(DrawPattern_Full)->Unit(benchmark::kMicrosecond);

void Draw3DCTF_Map(benchmark::State &st)
{
    TForm1 &f = form();
    for (auto _ : st)
        f.painter().Draw3DCTF();
}
BENCHMARK(Draw3DCTF_Map)->Unit(benchmark::kMicrosecond);

// One step of the defocus slider and the repaint it causes; apart, so that a profile can be limited
// to it (valgrind --toggle-collect='*slideOneStep*').
long slideSteps = 0; // told at the end: a profile's instructions per step are its total over this

void stepSlider(TForm1 &f, QScrollBar *, int position)
{
    f.controls().moveSlider(SliderPanel::Defocus, position); // in full, as typed values and buttons move it
    QApplication::processEvents();
}

[[gnu::noinline]] void slideOneStep(TForm1 &f, QScrollBar *slider, int position)
{
    ++slideSteps;
    stepSlider(f, slider, position);
}

// The first steps of a run fill caches and grow buffers once: a profile leaves them out.
[[gnu::noinline]] void slideStep(TForm1 &f, QScrollBar *slider, int position)
{
    static int warming = 4;
    if (warming > 0) {
        --warming;
        stepSlider(f, slider, position);
        return;
    }
    slideOneStep(f, slider, position);
}

// One step of the defocus slider made in full sampling with the pattern and the map shown: the change
// event's 1D compute, the pattern pass and the marker move, then the window's one repaint of all of
// it (the chart's replot is queued, as every handler leaves it, and runs in the event loop).
void DefocusSliderStep_Full(benchmark::State &st)
{
    TForm1 &f = form();
    if (!f.findChild<QAction *>(QStringLiteral("Show2DCTF1"))->isChecked())
        f.views().Show2DCTF1Click();
    if (!f.findChild<QAction *>(QStringLiteral("N3D1"))->isChecked())
        f.views().N3D1Click();
    QApplication::processEvents();
    auto *slider = f.findChild<QScrollBar *>(QStringLiteral("ScrollBar1"));
    int position = 60;
    for (auto _ : st) {
        position = position == 60 ? 61 : 60;
        slideStep(f, slider, position);
    }
    st.counters["window_width"] = f.width();
}
BENCHMARK(DefocusSliderStep_Full)->Unit(benchmark::kMicrosecond);

// Start-up and close as far as the settings go: reading and applying every stored value, and
// capturing and writing them all (four groups, one transaction each).
void Settings_LoadSettings(benchmark::State &st)
{
    TForm1 &f = form();
    f.FormClose(); // every value is stored from here on
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

// The same step with the window maximised on a 1920 x 1080 screen: the pattern enlarged, the map as
// high as its share of the window, both repainted at that size.
void DefocusSliderStep_Maximised1920(benchmark::State &st)
{
    TForm1 &f = form();
    f.showMaximized();
    if (!f.findChild<QAction *>(QStringLiteral("Show2DCTF1"))->isChecked())
        f.views().Show2DCTF1Click();
    if (!f.findChild<QAction *>(QStringLiteral("N3D1"))->isChecked())
        f.views().N3D1Click();
    auto *image = f.findChild<QWidget *>(QStringLiteral("Image1"));
    auto *map = f.findChild<QWidget *>(QStringLiteral("Chart2"));
    // The panes take their shares in queued steps after the window has grown: measured once settled.
    for (int i = 0; i < 50; ++i) {
        QApplication::processEvents();
        QThread::msleep(2);
    }
    auto *slider = f.findChild<QScrollBar *>(QStringLiteral("ScrollBar1"));
    int position = 60;
    for (auto _ : st) {
        position = position == 60 ? 61 : 60;
        slideStep(f, slider, position);
    }
    st.counters["window_width"] = f.width();
    st.counters["pattern_px"] = image ? image->width() : 0;
    st.counters["map_px"] = map ? map->height() : 0;
}
BENCHMARK(DefocusSliderStep_Maximised1920)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home; // the window reads its settings: never the user's own
    // One 1920 x 1080 screen: the windows that are not maximised keep their default size on it.
    const QString screen = home.filePath(QStringLiteral("screen.json"));
    {
        QFile file(screen);
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        file.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                   R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screen.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (slideSteps > 0)
        std::fprintf(stderr, "slider steps: %ld\n", slideSteps);
    formSlot().reset();
    return 0;
}
