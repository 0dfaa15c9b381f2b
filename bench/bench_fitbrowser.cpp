// File > Open Fits on a folder of 500 micrographs, each fitted twice (our fit in one JSON table,
// CTFFIND4's text file beside each micrograph): reading the folder into a catalogue, and the whole
// open until the dialog's table is shown (offscreen, thumbnails left to the background); and one
// thumbnail of a 4096 x 4096 micrograph (read, spectrum at the default tile, picture with the model),
// which the background repeats for each micrograph.
#include "session/fitcatalogue.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/fitbrowser/fitbrowserdialog.h"

#include <QApplication>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cmath>

using namespace orvalis;

namespace {

constexpr int kMicrographs = 500;
constexpr double kPi = 3.14159265358979323846;

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (made)
        return dir;
    made = true;
    SyntheticOptions o;
    o.width = o.height = 64; // the folder's reading never opens the images
    const MicrographImage image = syntheticMicrograph(o, [](double, double) { return 1.0; });
    QByteArray json("[\n");
    for (int i = 0; i < kMicrographs; ++i) {
        const QString name = QStringLiteral("mic%1.mrc").arg(i, 3, 10, QLatin1Char('0'));
        writeMrcFloat(dir.filePath(name), image);
        const double u = 15000 + 10 * i, v = u - 300;
        json += QStringLiteral("    {\"micrograph\": \"%1\", \"reliable\": %2, \"score\": 0.2, \"pixelSizeA\": 1, "
                               "\"defocusUA\": %3, \"defocusVA\": %4, \"angleDeg\": 30, \"phaseShiftDeg\": 0, "
                               "\"resolutionA\": 4.5}%5\n")
                    .arg(name, i % 7 ? QStringLiteral("true") : QStringLiteral("false"))
                    .arg(u)
                    .arg(v)
                    .arg(i + 1 < kMicrographs ? QStringLiteral(",") : QString())
                    .toUtf8();
        QFile txt(dir.filePath(QStringLiteral("mic%1.txt").arg(i, 3, 10, QLatin1Char('0'))));
        txt.open(QIODevice::WriteOnly);
        txt.write(QStringLiteral(
                      "# Output from CTFFind version 4.1.14, run on 2024-01-01 10:00:00\n"
                      "# Input file: %1 ; Number of micrographs: 1\n"
                      "# Pixel size: 1.000 Angstroms ; acceleration voltage: 300.0 keV ; spherical aberration: "
                      "2.70 mm ; amplitude contrast: 0.07\n"
                      "# Box size: 512 pixels ; min. res.: 30.0 Angstroms ; max. res.: 5.0 Angstroms ; min. def.: "
                      "5000.0 um; max. def. 50000.0 um\n"
                      "# Columns: #1 - micrograph number; #2 - defocus 1 [Angstroms]; #3 - defocus 2; #4 - azimuth "
                      "of astigmatism; #5 - additional phase shift [radians]; #6 - cross correlation; #7 - spacing "
                      "(in Angstroms) up to which CTF rings were fit successfully\n"
                      "1.000000 %2 %3 31.000000 0.000000 0.150000 4.800000\n")
                      .arg(name)
                      .arg(u + 40)
                      .arg(v + 20)
                      .toUtf8());
    }
    json += "]\n";
    QFile table(dir.filePath(QStringLiteral("fits.json")));
    table.open(QIODevice::WriteOnly);
    table.write(json);
    return dir;
}

void FitBrowser_ReadFolder500(benchmark::State &st)
{
    const QString path = folder().path();
    for (auto _ : st) {
        const FitCatalogue c = openFitCatalogue(path);
        benchmark::DoNotOptimize(c.entries.size());
    }
    st.counters["entries"] = double(openFitCatalogue(path).entries.size());
}

// From the folder's name to the table on screen: read, model, filter, columns sized, first paint.
void FitBrowser_OpenFolder500UntilShown(benchmark::State &st)
{
    const QString path = folder().path();
    CtfUserValues fallback;
    for (auto _ : st) {
        FitBrowserDialog dialog;
        dialog.resize(1100, 720);
        dialog.setCatalogue(openFitCatalogue(path), fallback);
        dialog.show();
        dialog.table()->viewport()->repaint();
        QApplication::processEvents();
        st.PauseTiming();
        dialog.close(); // the thumbnails stop
        st.ResumeTiming();
    }
}

void FitBrowser_Thumbnail4096(benchmark::State &st)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.mrc"));
    const double lambda = 0.0196875; // Å at 300 kV
    SyntheticOptions o;
    o.width = o.height = 4096;
    writeMrcFloat(path, syntheticMicrograph(o, [lambda](double kx, double ky) {
                      const double k2 = (kx * kx + ky * ky) / 100;
                      return std::sin(kPi * lambda * 20000 * k2 - kPi / 2 * 2.7e7 * std::pow(lambda, 3) * k2 * k2
                                      + std::asin(0.07));
                  }));
    CatalogueEntry e;
    FitTableRow f;
    f.defocus = CryoEmDefocus{20000, 20000, 0};
    e.fit = f;
    CtfUserValues fallback;
    const std::optional<CtfModel> model = entryModel(e, fallback);
    for (auto _ : st) {
        const LoadedMicrograph m = loadMicrograph(path, nullptr, kDefaultTileSize, 0, 0.1);
        const CompositeGrid g = fitThumbnail(*m.spectrum, &*model, 128);
        benchmark::DoNotOptimize(g.grey.data());
    }
}

BENCHMARK(FitBrowser_ReadFolder500)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(FitBrowser_OpenFolder500UntilShown)->Unit(benchmark::kMillisecond)->Repetitions(3);
BENCHMARK(FitBrowser_Thumbnail4096)->Unit(benchmark::kMillisecond)->Iterations(3);

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
