#pragma once
// What the benchmarks that measure the program against a numpy peer share: the medians of the
// program's own runs, and the peer run in a child process that prints one line per computation:
//     <name> <median wall ms> <median cpu ms> <check>
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace orvalis {

// Keeps the medians of the repetitions while the console shows everything as usual, by function
// name and its arguments ("curve", "spectrum/2").
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(OO_None) {}
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.aggregate_name == "median") {
                const double toMs = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
                const std::string &args = run.run_name.args;
                const std::string name = run.run_name.function_name + (args.empty() ? "" : "/" + args);
                medians[name] = run.GetAdjustedRealTime() * toMs;
                cpuMedians[name] = run.GetAdjustedCPUTime() * toMs;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;    // ms, wall clock
    std::map<std::string, double> cpuMedians; // ms, processor time
};

struct PeerResult {
    std::map<std::string, double> ms;    // wall clock
    std::map<std::string, double> cpuMs; // processor time
    std::map<std::string, std::string> check;
};

// Runs `python script` with `input` on its standard input and adds its lines to `result`; a
// computation run twice keeps its lower times.
inline bool runPeer(const char *python, const char *script, const QByteArray &input, PeerResult &result)
{
    QProcess peer;
    // numpy at its best: without these the C library returns every freed large temporary to the
    // system and numpy spends much of its time in page faults.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MALLOC_MMAP_THRESHOLD_"), QStringLiteral("33554432"));
    environment.insert(QStringLiteral("MALLOC_TRIM_THRESHOLD_"), QStringLiteral("268435456"));
    peer.setProcessEnvironment(environment);
    peer.start(QString::fromLocal8Bit(python), {QString::fromLocal8Bit(script)});
    if (!peer.waitForStarted())
        return false;
    peer.write(input);
    peer.closeWriteChannel();
    peer.waitForFinished(-1);
    if (peer.exitStatus() != QProcess::NormalExit || peer.exitCode() != 0) {
        std::fprintf(stderr, "numpy peer failed:\n%s\n", peer.readAllStandardError().constData());
        return false;
    }
    for (const QByteArray &line : peer.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() != 4)
            continue;
        const std::string name = f[0].toStdString();
        const auto keepLower = [&name](std::map<std::string, double> &m, double ms) {
            m[name] = m.count(name) ? std::min(m[name], ms) : ms;
        };
        keepLower(result.ms, f[1].toDouble());
        keepLower(result.cpuMs, f[2].toDouble());
        result.check[name] = f[3].toStdString();
    }
    return true;
}

} // namespace orvalis
