#pragma once
// Micrographs with a known transfer function, for the tests and the benchmarks: a white random
// object filtered by the given CTF in Fourier space, plus white noise. Its power spectrum is then
// CTF(k)^2 + noise^2 (the object's variance is 1).
#include "micrograph/micrographimage.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace orvalis {

struct SyntheticOptions {
    int width = 1024;         // pixels
    int height = 1024;        // pixels
    double pixelSizeNm = 0.1; // nm per pixel at the specimen
    std::uint64_t seed = 1;   // the same seed gives the same image
    double noise = 1.0;       // standard deviation of the noise added, in units of the object's
    float offset = 100.0f;    // added to every pixel, as a detector's counts have a mean
};

// kx, ky in nm^-1 -> the CTF there; it must be centrosymmetric (f(-k) = f(k)), as sin(chi) of an even chi is.
using TransferFunction = std::function<double(double kx, double ky)>;

MicrographImage syntheticMicrograph(const SyntheticOptions &options, const TransferFunction &ctf);

// The same object and noise seen through each of `ctfs` in turn: one image each, as the one above
// gives for that CTF alone, with the random values drawn once.
std::vector<MicrographImage> syntheticMicrographs(const SyntheticOptions &options,
                                                  const std::vector<TransferFunction> &ctfs);

// Writes `image` as an MRC2014 file of mode 2 (float32, little endian) with its pixel size in the
// header; false when the file cannot be written.
bool writeMrcFloat(const QString &path, const MicrographImage &image);
// The same of several images of one size, one section each.
bool writeMrcStack(const QString &path, const std::vector<MicrographImage> &images);

// The window tests' micrograph, written as such an MRC file: 1024 x 1024 pixels of 1 Å, its rings
// those of 200 kV, Cs 1.2 mm at 400 nm underfocus with amplitude contrast 0.07.
bool writeRingsMicrograph(const QString &path);

} // namespace orvalis
