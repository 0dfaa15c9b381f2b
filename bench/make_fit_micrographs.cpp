// Writes synthetic micrographs for the shell program's fit benchmark (bench/bench-cli-fit.sh): the
// bench_ctffit case, 4096 x 4096 float32 MRC files at 1 Å per pixel, each with its own noise.
// Usage: make_fit_micrographs FOLDER COUNT
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
    if (argc != 3) {
        std::fputs("usage: make_fit_micrographs FOLDER COUNT\n", stderr);
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
        if (!writeMrcFloat(path, fitCaseImage(c, o))) {
            std::fprintf(stderr, "make_fit_micrographs: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
