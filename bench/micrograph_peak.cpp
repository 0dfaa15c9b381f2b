// Not a benchmark: one micrograph read and its spectrum computed (two threads, the default tile),
// so that /usr/bin/time can show the peak memory of what the window runs off its event loop
// (scripts/measure-micrograph-memory.sh). "micrograph_peak --write FILE" writes the 4096 x 4096
// float32 synthetic micrograph it is measured on.
#include "../tests/support/startupstate.h"
#include "core/ctffunctions.h"
#include "core/orvaliserror.h"
#include "micrograph/micrographreader.h"
#include "micrograph/powerspectrum.h"
#include "syntheticmicrograph.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace orvalis;

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        const OpticsState state = startupState();
        SyntheticOptions o;
        o.width = o.height = 4096;
        return writeMrcFloat(QString::fromLocal8Bit(argv[2]),
                             syntheticMicrograph(
                                 o, [&state](double kx, double ky) { return std::sin(Chi(state, kx, ky, -1500)); }))
            ? 0
            : 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: micrograph_peak FILE | --write FILE\n");
        return 2;
    }
    try {
        const auto start = std::chrono::steady_clock::now();
        const MicrographImage image = readMicrograph(QString::fromLocal8Bit(argv[1]));
        SpectrumOptions o;
        o.pixelSizeNm = image.pixelSizeNm > 0 ? image.pixelSizeNm : 0.1;
        o.threads = 2;
        const PowerSpectrum s = computePowerSpectrum(image, o);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("%d x %d pixels, %d tiles of %d: %.0f ms with the first plan\n", image.width, image.height, s.tiles,
                    s.size, ms);
    } catch (const OrvalisError &e) {
        std::printf("refused: %s\n", e.what());
    }
    return 0;
}
