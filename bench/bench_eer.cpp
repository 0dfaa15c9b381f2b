// A 400-frame 4096 x 4096 EER movie (compression 65001, about 300 000 electrons a frame, as a
// camera's frames at a usual dose rate hold) decoded into frame sums: the whole movie into one sum,
// and one frame on its own. The file holds 20 distinct frames, repeated: decoding costs the same.
// `bench_eer --write-eer PATH FRAMES [COMPRESSION]` writes such a file and stops (for checks against
// other readers).
#include "core/orvaliserror.h"
#include "eerwriter.h"
#include "micrograph/framereader.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using namespace orvalis;

namespace {

constexpr int kSide = 4096;
constexpr int kFrames = 400;
constexpr int kDistinctFrames = 20;
constexpr double kElectronsPerPixel = 300000.0 / (double(kSide) * kSide);
QString moviePath;

bool writeMovie(const QString &path, int frames, int compression = 65001)
{
    test::EerLayout layout;
    layout.compression = static_cast<std::uint16_t>(compression);
    std::mt19937_64 random(7);
    std::geometric_distribution<long long> gap(kElectronsPerPixel);
    std::uniform_int_distribution<int> sub(0, 3);
    std::vector<QByteArray> distinct;
    for (int f = 0; f < std::min(frames, kDistinctFrames); ++f) {
        std::vector<test::EerEvent> events;
        for (long long p = gap(random); p < static_cast<long long>(kSide) * kSide; p += 1 + gap(random))
            events.push_back({static_cast<int>(p % kSide), static_cast<int>(p / kSide), sub(random), sub(random)});
        distinct.push_back(test::encodeEerFrame(events, kSide, kSide, layout));
    }
    std::vector<QByteArray> streams;
    for (int f = 0; f < frames; ++f)
        streams.push_back(distinct[static_cast<std::size_t>(f) % distinct.size()]);
    QString error;
    if (!test::writeEerFile(path, kSide, kSide, layout, streams, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return true;
}

void wholeMovie(benchmark::State &bs)
{
    std::vector<float> sum(static_cast<std::size_t>(kSide) * kSide);
    for (auto _ : bs) {
        const auto reader = openEerFrames(moviePath);
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (int f = 0; f < reader->frames(); ++f)
            reader->addFrame(f, sum.data());
        benchmark::DoNotOptimize(sum.data());
    }
    bs.counters["frames"] = kFrames;
}

void oneFrame(benchmark::State &bs)
{
    const auto reader = openEerFrames(moviePath);
    std::vector<float> sum(static_cast<std::size_t>(kSide) * kSide);
    int f = 0;
    for (auto _ : bs) {
        reader->addFrame(f, sum.data());
        f = (f + 1) % reader->frames();
        benchmark::DoNotOptimize(sum.data());
    }
}

void openOnly(benchmark::State &bs)
{
    for (auto _ : bs)
        benchmark::DoNotOptimize(openEerFrames(moviePath)->frames());
}

} // namespace

BENCHMARK(wholeMovie)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(oneFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(openOnly)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--write-eer") == 0)
        return writeMovie(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), argc == 5 ? std::atoi(argv[4]) : 65001)
            ? 0
            : 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    QTemporaryDir dir;
    moviePath = dir.filePath(QStringLiteral("movie.eer"));
    if (!writeMovie(moviePath, kFrames))
        return 1;
    std::printf("movie: %d frames of %d x %d, %.0f MB\n", kFrames, kSide, kSide, QFileInfo(moviePath).size() / 1e6);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
