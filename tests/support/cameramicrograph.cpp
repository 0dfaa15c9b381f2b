#include "cameramicrograph.h"

#include "micrograph/fftplans.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace orvalis {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The specimen's power at k (Å^-1), relative: its structure falling from 1 at the lowest frequencies to
// a quarter beyond 20 Å, and the diffuse ring of vitreous ice at 3.7 Å.
double objectPower(double k)
{
    const double falling = 0.25 + 0.75 / (1 + (k * 20) * (k * 20));
    const double ice = (k - 1 / 3.7) / 0.012;
    return falling + 0.5 * std::exp(-0.5 * ice * ice);
}

double sinc(double x)
{
    return x == 0 ? 1.0 : std::sin(x) / x;
}

// Frequency (Å^-1) of row r or column q of an n-point transform of pixels of p Å.
double frequency(std::size_t r, std::size_t n, double p)
{
    return (r <= n / 2 ? double(r) : double(r) - double(n)) / (double(n) * p);
}

} // namespace

MicrographImage cameraMicrograph(const FitCase &c, const CameraSpecimen &specimen, const CameraOptions &o)
{
    const std::size_t n = static_cast<std::size_t>(o.size), half = n / 2 + 1, cells = n * half;
    const double p = c.pixel;
    std::mt19937_64 random(o.seed);
    std::normal_distribution<double> unit(0.0, 1.0);

    // Per Fourier pixel: the argument at the centre's defocus, k^2, and the amplitude that multiplies
    // every slice's CTF (the object's spectrum, the envelope).
    std::vector<double> argument(cells), k2(cells), amplitude(cells);
    for (std::size_t r = 0; r < n; ++r) {
        const double ky = frequency(r, n, p);
        for (std::size_t q = 0; q < half; ++q) {
            const double kx = double(q) / (double(n) * p);
            const double kk = kx * kx + ky * ky;
            const std::size_t at = r * half + q;
            argument[at] = fitCaseArgument(c, 0, kx * 10, ky * 10);
            k2[at] = kk;
            amplitude[at] = std::sqrt(objectPower(std::sqrt(kk))) * std::exp(-o.bFactor * kk / 4);
        }
    }

    // The slices through the depth, summed as A = sum O_s cos(beta_s) and B = sum O_s sin(beta_s),
    // beta_s = pi lambda z_s k^2 for a slice z_s further from focus: the image at a plane of argument a
    // is then -(sin a A - cos a B), whatever the number of slices.
    const int slices = std::max(1, static_cast<int>(std::ceil(specimen.thickness / kSliceSpacing)));
    const double layer = specimen.thickness / slices;
    const double k1 = fitCaseDefocusFactor(c);
    // Each complex coefficient of variance 1 / n^2 makes a white image of variance 1.
    const double scale = 1 / (double(n) * std::sqrt(2.0 * slices));
    std::vector<std::complex<double>> sumCos(cells, 0.0), sumSin(cells, 0.0);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    for (int s = 0; s < slices; ++s) {
        const double z = slices == 1 ? 0.0 : -specimen.thickness / 2 + (s + within(random)) * layer;
        for (std::size_t at = 0; at < cells; ++at) {
            const std::complex<double> object(unit(random) * scale, unit(random) * scale);
            const double beta = k1 * z * k2[at];
            sumCos[at] += object * std::cos(beta);
            sumSin[at] += object * std::sin(beta);
        }
    }

    // The planes: the defocus offsets of the pixels span [lowest, highest].
    const double slope = std::tan(specimen.tiltAngle * kPi / 180) * p;
    const double cosAxis = std::cos(specimen.tiltAxis * kPi / 180), sinAxis = std::sin(specimen.tiltAxis * kPi / 180);
    const double centre = (double(n) - 1) / 2;
    const auto offsetAt = [&](double x, double y) { return slope * (y * cosAxis - x * sinAxis); };
    double lowest = 0, highest = 0;
    for (const double x : {-centre, centre})
        for (const double y : {-centre, centre}) {
            lowest = std::min(lowest, offsetAt(x, y));
            highest = std::max(highest, offsetAt(x, y));
        }
    const bool tilted = highest - lowest > 1e-9;
    const int first = tilted ? static_cast<int>(std::floor(lowest / kPlaneSpacing)) : 0;
    const int last = tilted ? static_cast<int>(std::ceil(highest / kPlaneSpacing)) : 0;

    FftwArray<fftwf_complex> spectrum = fftwArray<fftwf_complex>(cells);
    FftwArray<float> real = fftwArray<float>(n * n);
    const fftwf_plan toReal = complexToRealPlan(o.size, o.size, PlanEffort::Estimate);
    std::vector<double> image(n * n, 0.0);
    // e^(i a) at the plane, turned from one plane to the next by e^(-i k1 spacing k^2).
    std::vector<std::complex<double>> turn(cells), phase(cells);
    for (std::size_t at = 0; at < cells; ++at) {
        phase[at] = std::polar(1.0, argument[at] - k1 * first * kPlaneSpacing * k2[at]);
        turn[at] = std::polar(1.0, -k1 * kPlaneSpacing * k2[at]);
    }
    for (int m = first; m <= last; ++m) {
        const double d = m * kPlaneSpacing;
        for (std::size_t at = 0; at < cells; ++at) {
            const std::complex<double> e = phase[at];
            const std::complex<double> v = -(e.imag() * sumCos[at] - e.real() * sumSin[at]) * amplitude[at];
            spectrum[at][0] = static_cast<float>(v.real());
            spectrum[at][1] = static_cast<float>(v.imag());
            phase[at] = e * turn[at];
        }
        fftwf_execute_dft_c2r(toReal, spectrum.get(), real.get());
        for (std::size_t row = 0; row < n; ++row)
            for (std::size_t column = 0; column < n; ++column) {
                const std::size_t at = row * n + column;
                const double weight = tilted
                    ? 1 - std::fabs(offsetAt(double(column) - centre, double(row) - centre) - d) / kPlaneSpacing
                    : 1.0;
                if (weight > 0)
                    image[at] += weight * real[at];
            }
    }

    // The electrons counted: Poisson at the dose, the image's contrast modulating it.
    const double perPixel = o.dose * p * p;
    std::mt19937_64 counting(o.seed ^ 0x9e3779b97f4a7c15ull);
    for (double &v : image) {
        const double mean = std::max(0.0, perPixel * (1 + o.contrast * v));
        v = mean > 0 ? static_cast<double>(std::poisson_distribution<long>(mean)(counting)) : 0.0;
    }

    MicrographImage out;
    out.width = o.size;
    out.height = o.size;
    out.pixelSizeNm = p / 10;
    out.data.resize(n * n);
    if (!o.mtf) {
        std::transform(image.begin(), image.end(), out.data.begin(), [](double v) { return static_cast<float>(v); });
        return out;
    }
    // The detector's MTF: the pixel's aperture, sinc(pi k p) along each axis.
    for (std::size_t at = 0; at < n * n; ++at)
        real[at] = static_cast<float>(image[at]);
    fftwf_execute_dft_r2c(realToComplexPlan(o.size, o.size, PlanEffort::Estimate), real.get(), spectrum.get());
    for (std::size_t r = 0; r < n; ++r) {
        const double my = sinc(kPi * frequency(r, n, p) * p);
        for (std::size_t q = 0; q < half; ++q) {
            const auto f = static_cast<float>(my * sinc(kPi * double(q) / double(n)) / double(n * n));
            spectrum[r * half + q][0] *= f;
            spectrum[r * half + q][1] *= f;
        }
    }
    fftwf_execute_dft_c2r(toReal, spectrum.get(), real.get());
    std::copy(real.get(), real.get() + n * n, out.data.begin());
    return out;
}

} // namespace orvalis
