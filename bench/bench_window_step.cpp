// One step of the defocus, timed in the real main window as a user makes it, at the window's
// first-start size with the pattern and the map shown: the work of the step and the repaint that
// puts it on the screen, until the event loop is idle again. Two kinds of step, each alternating
// up and down so that every step draws the same amount:
//   typed: a defocus typed into its field and entered, drawn once in full sampling;
//   key:   one press and release of the Right (Left) key on the slider, drawn coarsely, then in full.
// Prints the median and the quartiles of each over its steps. Meant for a real X server
// (bench/window-step.sh runs it under xvfb); offscreen it times the same work without a screen.
#include "ui/main/form1.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace orvalis;

namespace {

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

// Median and quartiles in ms of `steps` runs of `step(i)`, each followed by the events it posted.
void report(const char *name, int steps, const std::function<void(int)> &step)
{
    std::vector<double> ms;
    QElapsedTimer clock;
    for (int i = 0; i < steps; ++i) {
        clock.start();
        step(i);
        QApplication::processEvents();
        ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        QThread::msleep(20); // a user's steps come apart; nothing of one is left for the next
        QApplication::processEvents();
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[static_cast<size_t>(q * static_cast<double>(ms.size() - 1))]; };
    std::printf("%-6s %3d steps  median %.3f ms  quartiles %.3f .. %.3f ms\n", name, steps, at(0.5), at(0.25),
                at(0.75));
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

    auto form = std::make_unique<TForm1>();
    form->show();
    settle();
    for (const char *item : {"Show2DCTF1", "N3D1"}) {
        auto *action = form->findChild<QAction *>(QString::fromLatin1(item));
        if (action && !action->isChecked())
            action->trigger();
    }
    settle();
    std::printf("window %d x %d\n", form->width(), form->height());

    auto *field = form->findChild<QLineEdit *>(QStringLiteral("edDefocus"));
    const QString start = field->text();
    const QString other = QString::number(start.toDouble() - 1);
    report("typed", steps, [&](int i) {
        field->setText(i % 2 ? start : other);
        press(field, Qt::Key_Return, QStringLiteral("\r"));
    });

    auto *slider = form->findChild<QScrollBar *>(QStringLiteral("ScrollBar1"));
    slider->setFocus();
    settle();
    report("key", steps, [&](int i) { press(slider, i % 2 ? Qt::Key_Left : Qt::Key_Right); });

    form.reset();
    return 0;
}
