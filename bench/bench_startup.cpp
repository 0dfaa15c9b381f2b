// Start-up as a user waits for it: from starting the program to the main window painted for the
// first time, splash and all forms included, with an empty settings folder (the first run, which
// also creates the settings store). Each repetition starts a fresh process.
//
// The program reports its first paint when ORVALIS_STARTUP_PROBE is set in its environment, and then
// ends. The platform is the caller's: under X (or xvfb-run, see bench/startup.sh) the real window
// system is measured, without a display the offscreen one.
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

void Startup_FirstPaint_EmptySettings(benchmark::State &st)
{
    for (auto _ : st) {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("ORVALIS_STARTUP_PROBE"), QStringLiteral("1"));
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")) && !env.contains(QStringLiteral("DISPLAY"))
            && !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        program.start(QStringLiteral(ORVALIS_PROGRAM), QStringList());
        bool painted = false;
        while (!painted && program.waitForReadyRead(10000))
            painted = program.readAll().contains("first paint");
        const double seconds = clock.nsecsElapsed() * 1e-9;
        program.waitForFinished(10000);
        if (!painted) {
            st.SkipWithError("the program did not report its first paint");
            break;
        }
        st.SetIterationTime(seconds);
    }
}
BENCHMARK(Startup_FirstPaint_EmptySettings)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
