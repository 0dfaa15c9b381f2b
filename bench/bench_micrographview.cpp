// A slider step of the real window (offscreen, default size) with a micrograph shown: the pattern's
// pane with the spectrum beside the model, the 1D chart with the average, model and agreement,
// and the defocus map, all redrawn as one step of the defocus slider does. The micrograph is a
// synthetic 2048 x 2048 one at the default tile (a 512 x 512 spectrum); the astigmatic cases take
// the average along the model's equal-phase rings at every step.
#include "../tests/support/startupstate.h"
#include "core/ctffunctions.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/main/form1.h"
#include "ui/main/micrographcontroller.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace orvalis;

namespace {

std::unique_ptr<TForm1> &formSlot()
{
    static std::unique_ptr<TForm1> f;
    return f;
}

QTemporaryDir &files()
{
    static QTemporaryDir dir;
    return dir;
}

TForm1 &form()
{
    std::unique_ptr<TForm1> &f = formSlot();
    if (f)
        return *f;
    f = std::make_unique<TForm1>();
    f->show();
    QApplication::processEvents();
    OpticsState state = startupState();
    state.A2 = 20;
    SyntheticOptions o;
    o.width = o.height = 2048;
    o.pixelSizeNm = 0.1;
    const QString path = files().filePath(QStringLiteral("bench.mrc"));
    writeMrcFloat(path, syntheticMicrograph(o, [state](double kx, double ky) {
                      return std::sin(Chi(state, kx, ky, -400) - std::asin(0.07));
                  }));
    QEventLoop loop;
    QObject::connect(&f->micrographs().micrograph(), &MicrographSession::spectrumChanged, &loop, &QEventLoop::quit);
    f->micrographs().open(path);
    loop.exec();
    if (!f->findChild<QAction *>(QStringLiteral("Show2DCTF1"))->isChecked())
        f->views().Show2DCTF1Click();
    if (!f->findChild<QAction *>(QStringLiteral("N3D1"))->isChecked())
        f->views().N3D1Click();
    QApplication::processEvents();
    return *f;
}

// One step of the defocus slider: full sampling (a typed value's, `coarse` false) or a drag's.
void step(benchmark::State &st, double a2, bool coarse)
{
    TForm1 &f = form();
    f.session().setA2(a2, false);
    auto *slider = f.findChild<QScrollBar *>(QStringLiteral("ScrollBar1"));
    // Near the micrograph's defocus (400 nm underfocus), within the slider's range.
    const int low = std::min(400, slider->maximum() - 1);
    int position = low;
    for (auto _ : st) {
        position = position == low ? low + 1 : low;
        if (coarse) {
            f.session().setSampling(true); // as a drag's step
            slider->setValue(position);
        } else {
            f.controls().moveSlider(SliderPanel::Defocus, position); // in full, as typed values move it
        }
        QApplication::processEvents();
    }
    st.counters["agreedUpTo"] = f.micrographs().micrograph().profile().agreedUpTo;
}

void MicrographSliderStep_Round(benchmark::State &st)
{
    step(st, 0, false);
}
void MicrographSliderStep_Astigmatic(benchmark::State &st)
{
    step(st, 20, false);
}
void MicrographSliderDrag_Astigmatic(benchmark::State &st)
{
    step(st, 20, true);
}
BENCHMARK(MicrographSliderStep_Round)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(MicrographSliderStep_Astigmatic)->Unit(benchmark::kMicrosecond)->Repetitions(5);
BENCHMARK(MicrographSliderDrag_Astigmatic)->Unit(benchmark::kMicrosecond)->Repetitions(5);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home; // the window reads its settings: never the user's own
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    formSlot().reset();
    return 0;
}
