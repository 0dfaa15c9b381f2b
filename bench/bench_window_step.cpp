// One step of the defocus, timed in the real main window as a user makes it, at the window's
// first-start size with the pattern and the map shown: the work of the step and the repaint that
// puts it on the screen, until the event loop is idle again. Two kinds of step, each alternating
// up and down so that every step draws the same amount:
//   typed: a defocus typed into its field and entered, drawn once in full sampling;
//   full:  the slider moved one position by the program, drawn once in full sampling;
//   key:   one press and release of the Right (Left) key on the slider, drawn coarsely, then in full.
// Prints the median and the quartiles of each over its steps; with --paints, also how often each
// widget was painted per step and over how many pixels; --only=typed, full or key times one kind. Meant for a real X
// server (bench/window-step.sh runs it under xvfb); offscreen it times the same work without a screen.
// With --micrograph the pattern's pane shows the spectrum view of a synthetic 2048 x 2048 micrograph
// (1 A pixels, the default tile) beside its model; with --maximised the window fills the screen
// (bench/window-step.sh with SCREEN=1920x1080 for a full-HD one). There a full step computes and
// repaints the model's half of the 752 x 752 view alone (--paints: 282000 of its 565504 pixels) and
// the whole chart; on the 2-core development machine it took a median 4.4-4.6 ms (this process's
// CPU 4.2-4.3 ms), of which the chart's replot and repaint are about half and the model's half a
// quarter; 5.0-5.5 ms while each step put and repainted the whole view.
#include "core/ctffunctions.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/main/form1.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/patternpane.h"
#include "ui/widgets/pixelimage.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <map>
#include <string>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

using namespace orvalis;

namespace {

// With --paints: every widget's paint events and the area they covered during the steps.
class PaintCounter : public QObject {
public:
    struct Count {
        int events = 0;
        long long pixels = 0;
    };
    std::map<std::string, Count> counts;
    bool on = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (on && event->type() == QEvent::Paint) {
            auto *w = qobject_cast<QWidget *>(watched);
            std::string name = watched->metaObject()->className();
            name += " '" + watched->objectName().toStdString() + "'";
            if (w && w->parentWidget())
                name += " in " + std::string(w->parentWidget()->metaObject()->className()) + " '"
                    + w->parentWidget()->objectName().toStdString() + "'";
            const QRect r = static_cast<QPaintEvent *>(event)->rect();
            Count &c = counts[name];
            ++c.events;
            c.pixels += static_cast<long long>(r.width()) * r.height();
        }
        return false;
    }
};
PaintCounter *paints = nullptr;

void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(5);
    }
}

void press(QWidget *target, Qt::Key key, const QString &text = {})
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &up);
}

// One step and the events it posted; apart, so that a profile can be limited to it
// (valgrind --toggle-collect='*oneStep*').
[[gnu::noinline]] void oneStep(const std::function<void(int)> &step, int i)
{
    step(i);
    QApplication::processEvents();
}

// The program's own processor time: on a machine busy with other work the wall clock also counts
// the time the step waited for a processor.
double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

const char *only = nullptr; // --only=typed, full or key: the other kinds are skipped

// Median and quartiles in ms of `steps` runs of `step(i)`, each followed by the events it posted.
void report(const char *name, int steps, const std::function<void(int)> &step)
{
    if (only && std::string(only) != name)
        return;
    std::vector<double> ms, cpu;
    QElapsedTimer clock;
    if (paints) {
        paints->counts.clear();
        paints->on = true;
    }
    for (int i = 0; i < steps; ++i) {
        const double cpuBefore = processCpuMs();
        clock.start();
        oneStep(step, i);
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(processCpuMs() - cpuBefore);
        QThread::msleep(20); // a user's steps come apart; nothing of one is left for the next
        QApplication::processEvents();
    }
    if (paints) {
        paints->on = false;
        for (const auto &[widget, c] : paints->counts)
            std::printf("  %5.2f paints/step %9lld px/step  %s\n", double(c.events) / steps, c.pixels / steps,
                        widget.c_str());
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    const auto at = [&ms](double q) { return ms[static_cast<size_t>(q * static_cast<double>(ms.size() - 1))]; };
    std::printf("%-6s %3d steps  median %.3f ms  quartiles %.3f .. %.3f ms  (this process's CPU: median %.3f ms)\n",
                name, steps, at(0.5), at(0.25), at(0.75), cpu[cpu.size() / 2]);
}

} // namespace

int main(int argc, char **argv)
{
    // Settings, library and recent files of this run only: the window starts as it does the first time.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toUtf8());
    QApplication app(argc, argv);
    const int steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    PaintCounter counter;
    bool micrograph = false, maximised = false;
    for (int a = 2; a < argc; ++a) {
        const std::string arg = argv[a];
        if (arg == "--micrograph") {
            micrograph = true;
        } else if (arg == "--maximised") {
            maximised = true;
        } else if (arg == "--paints") {
            paints = &counter;
            app.installEventFilter(&counter);
        } else if (arg.rfind("--only=", 0) == 0) {
            only = argv[a] + 7;
        }
    }

    auto form = std::make_unique<TForm1>();
    if (maximised) {
        form->showMaximized();
        settle();
        // Without a window manager a window is not maximised: it takes the screen's free area itself.
        if (const QScreen *screen = form->screen(); screen && form->width() < screen->availableGeometry().width())
            form->setGeometry(screen->availableGeometry());
    } else {
        form->show();
    }
    settle();
    QTemporaryDir files;
    if (micrograph) {
        OpticsState state = form->session().state();
        SyntheticOptions o;
        o.width = o.height = 2048;
        o.pixelSizeNm = 0.1;
        const QString path = files.filePath(QStringLiteral("bench.mrc"));
        writeMrcFloat(path, syntheticMicrograph(o, [state](double kx, double ky) {
                          return std::sin(Chi(state, kx, ky, -400) - std::asin(0.07));
                      }));
        QEventLoop loop;
        QObject::connect(&form->micrographs().micrograph(), &MicrographSession::spectrumChanged, &loop,
                         &QEventLoop::quit);
        form->micrographs().open(path);
        loop.exec();
    }
    for (const char *item : {"Show2DCTF1", "N3D1"}) {
        auto *action = form->findChild<QAction *>(QString::fromLatin1(item));
        if (action && !action->isChecked())
            action->trigger();
    }
    settle();
    std::printf("window %d x %d\n", form->width(), form->height());
    if (const auto *image = form->findChild<PixelImage *>(QStringLiteral("Image1")))
        std::printf("2D pane's picture %d x %d%s\n", image->width(), image->height(),
                    micrograph ? " (spectrum view)" : "");

    auto *field = form->findChild<QLineEdit *>(QStringLiteral("edDefocus"));
    const QString start = field->text();
    const QString other = QString::number(start.toDouble() - 1);
    report("typed", steps, [&](int i) {
        field->setText(i % 2 ? start : other);
        press(field, Qt::Key_Return, QStringLiteral("\r"));
    });

    // A program's move of the slider by one position, sampled in full as typed values and buttons
    // are: the step the user sees at the end of every drag, without the map's rebuild of "typed".
    auto *slider = form->findChild<QScrollBar *>(QStringLiteral("ScrollBar1"));
    const int at = slider->value();
    report("full", steps, [&](int i) { form->controls().moveSlider(SliderPanel::Defocus, i % 2 ? at : at + 1); });

    slider->setFocus();
    settle();
    report("key", steps, [&](int i) { press(slider, i % 2 ? Qt::Key_Left : Qt::Key_Right); });

    form.reset();
    return 0;
}
