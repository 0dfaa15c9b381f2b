// Writes synthetic micrographs for the shell program's fit benchmarks (bench/bench-cli-fit.sh and
// bench-cli-fit-camera.sh): the bench_ctffit case, 4096 x 4096 float32 MRC files at 1 Å per pixel,
// each with its own noise; with "camera", as a counting camera records them (cameramicrograph.h).
// Usage: make_fit_micrographs FOLDER COUNT [camera]
#include "cameramicrograph.h"
#include "ctffitcase.h"
#include "syntheticmicrograph.h"

#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace orvalis;

int main(int argc, char *argv[])
{
    const bool camera = argc == 4 && QLatin1String(argv[3]) == QLatin1String("camera");
    if (argc != 3 && !camera) {
        std::fputs("usage: make_fit_micrographs FOLDER COUNT [camera]\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const int count = std::atoi(argv[2]);
    const FitCase c = {
        "300kV 2.0um 1000A", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < count; ++i) {
        FitImageOptions o;
        o.seed = static_cast<std::uint64_t>(i + 1);
        const QString path = folder.filePath(QStringLiteral("micrograph%1.mrc").arg(i + 1, 2, 10, QLatin1Char('0')));
        CameraOptions counted;
        counted.seed = o.seed;
        if (!writeMrcFloat(path, camera ? cameraMicrograph(c, {}, counted) : fitCaseImage(c, o))) {
            std::fprintf(stderr, "make_fit_micrographs: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
