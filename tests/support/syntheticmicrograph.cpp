#include "syntheticmicrograph.h"

#include "core/ctffunctions.h"
#include "micrograph/fftplans.h"

#include <QFile>

#include <cmath>
#include <cstring>
#include <random>

namespace orvalis {

std::vector<MicrographImage> syntheticMicrographs(const SyntheticOptions &o, const std::vector<TransferFunction> &ctfs)
{
    const std::size_t w = static_cast<std::size_t>(o.width), h = static_cast<std::size_t>(o.height);
    const std::size_t halfWidth = w / 2 + 1;
    FftwArray<float> real = fftwArray<float>(w * h);
    FftwArray<fftwf_complex> object = fftwArray<fftwf_complex>(h * halfWidth);
    FftwArray<fftwf_complex> spectrum = fftwArray<fftwf_complex>(h * halfWidth);

    std::mt19937_64 objectRandom(o.seed);
    std::normal_distribution<float> unit(0.0f, 1.0f);
    for (std::size_t i = 0; i < w * h; ++i)
        real[i] = unit(objectRandom);
    fftwf_execute_dft_r2c(realToComplexPlan(o.height, o.width, PlanEffort::Estimate), real.get(), object.get());
    std::vector<float> noise(w * h);
    std::mt19937_64 noiseRandom(o.seed ^ 0x9e3779b97f4a7c15ull);
    std::normal_distribution<float> noiseDistribution(0.0f, static_cast<float>(o.noise));
    for (float &n : noise)
        n = noiseDistribution(noiseRandom);

    const double scale = 1.0 / static_cast<double>(w * h); // the inverse transform is unnormalised
    std::vector<MicrographImage> images;
    for (const TransferFunction &ctf : ctfs) {
        for (std::size_t r = 0; r < h; ++r) {
            const double ky = (r <= h / 2 ? double(r) : double(r) - double(h)) / (double(h) * o.pixelSizeNm);
            for (std::size_t q = 0; q < halfWidth; ++q) {
                const double kx = double(q) / (double(w) * o.pixelSizeNm);
                const auto f = static_cast<float>(ctf(kx, ky) * scale);
                const std::size_t i = r * halfWidth + q;
                spectrum[i][0] = object[i][0] * f;
                spectrum[i][1] = object[i][1] * f;
            }
        }
        fftwf_execute_dft_c2r(complexToRealPlan(o.height, o.width, PlanEffort::Estimate), spectrum.get(), real.get());
        MicrographImage image;
        image.width = o.width;
        image.height = o.height;
        image.pixelSizeNm = o.pixelSizeNm;
        image.data.resize(w * h);
        for (std::size_t i = 0; i < w * h; ++i)
            image.data[i] = real[i] + noise[i] + o.offset;
        images.push_back(std::move(image));
    }
    return images;
}

MicrographImage syntheticMicrograph(const SyntheticOptions &o, const TransferFunction &ctf)
{
    return std::move(syntheticMicrographs(o, {ctf}).front());
}

bool writeMrcStack(const QString &path, const std::vector<MicrographImage> &images)
{
    if (images.empty())
        return false;
    const MicrographImage &first = images.front();
    unsigned char header[1024] = {};
    const auto put = [&header](int word, std::int32_t v) { std::memcpy(header + 4 * word, &v, 4); };
    const auto putReal = [&header](int word, float v) { std::memcpy(header + 4 * word, &v, 4); };
    const auto sections = static_cast<std::int32_t>(images.size());
    put(0, first.width);
    put(1, first.height);
    put(2, sections);
    put(3, 2);
    put(7, first.width);
    put(8, first.height);
    put(9, sections);
    const auto angstrom = static_cast<float>(first.pixelSizeNm * 10);
    putReal(10, angstrom * first.width);
    putReal(11, angstrom * first.height);
    putReal(12, angstrom * sections);
    for (int i = 13; i < 16; ++i)
        putReal(i, 90.0f);
    put(16, 1);
    put(17, 2);
    put(18, 3);
    put(27, 20140);
    std::memcpy(header + 208, "MAP ", 4);
    header[212] = 0x44;
    header[213] = 0x44;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(reinterpret_cast<const char *>(header), sizeof header) != qint64(sizeof header))
        return false;
    for (const MicrographImage &image : images) {
        const auto bytes = static_cast<qint64>(image.data.size() * sizeof(float));
        if (image.width != first.width || image.height != first.height
            || file.write(reinterpret_cast<const char *>(image.data.data()), bytes) != bytes)
            return false;
    }
    return true;
}

bool writeMrcFloat(const QString &path, const MicrographImage &image)
{
    return writeMrcStack(path, {image});
}

bool writeRingsMicrograph(const QString &path)
{
    OpticsState state;
    state.Voltage = 200;
    state.Cs = 1.2e6;
    state.Wavelength = 0.00251;
    state.ChiCsFactor = Pi * state.Cs * std::pow(state.Wavelength, 3) / 2;
    state.ChiDefocusFactor = Pi * state.Wavelength;
    SyntheticOptions o;
    o.width = o.height = 1024;
    o.pixelSizeNm = 0.1;
    return writeMrcFloat(path, syntheticMicrograph(o, [state](double kx, double ky) {
                             return std::sin(Chi(state, kx, ky, -400) - std::asin(0.07));
                         }));
}

} // namespace orvalis
