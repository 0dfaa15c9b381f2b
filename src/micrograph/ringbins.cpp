#include "micrograph/ringbins.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace orvalis {

RingBins ringBins(int n, double frequencyStep, const PhaseFactors &phase, double low, double high)
{
    RingBins r;
    r.low = low;
    r.step = frequencyStep;
    const int bins = std::max(1, static_cast<int>(std::floor((high - low) / frequencyStep)) + 1);
    r.count.assign(std::size_t(bins), 0.0);
    for (int b = 0; b < bins; ++b)
        r.k.push_back(low + (b + 0.5) * frequencyStep);
    const int centre = n / 2;
    for (int j = centre; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (std::abs(i - centre) <= 1 || std::abs(j - centre) <= 1)
                continue;
            const double kr = equivalentRoundFrequency(phase, (i - centre) * frequencyStep,
                                                       (j - centre) * frequencyStep);
            if (!(kr >= low && kr <= high))
                continue;
            const int b = std::min(bins - 1, static_cast<int>((kr - low) / frequencyStep));
            r.pixel.push_back(std::size_t(j) * std::size_t(n) + std::size_t(i));
            r.bin.push_back(b);
            r.count[std::size_t(b)] += 1;
        }
    return r;
}

std::vector<double> lessRunningMean(const std::vector<double> &values, const std::vector<double> &weight, int half)
{
    const int count = static_cast<int>(values.size());
    std::vector<double> out(values.size(), 0.0);
    for (int b = 0; b < count; ++b) {
        double sum = 0, w = 0;
        for (int d = std::max(0, b - half); d <= std::min(count - 1, b + half); ++d) {
            sum += weight[std::size_t(d)] * values[std::size_t(d)];
            w += weight[std::size_t(d)];
        }
        out[std::size_t(b)] = w > 0 ? values[std::size_t(b)] - sum / w : 0.0;
    }
    return out;
}

RingModel ringModel(const RingBins &bins, const CtfModel &model)
{
    RingModel r;
    const PhaseFactors phase = model.phase();
    for (const double k : bins.k) {
        r.argument.push_back(phase.roundArgument(k * k));
        r.perDefocus.push_back(model.terms(k, 0).defocus);
        r.lambdaK2.push_back(model.wavelength() * k * k);
        r.blur.push_back(1.0);
    }
    return r;
}

std::vector<std::vector<double>> regionRingProfiles(const RegionSpectra &regions, const RingBins &bins)
{
    const int half = std::max(2, static_cast<int>(std::lround(std::sqrt(2.0) * bins.low / bins.step / 2)));
    std::vector<std::vector<double>> profiles;
    for (const std::vector<float> &power : regions.power) {
        const auto amplitude = [&power](std::size_t i) { return double(std::sqrt(std::max(0.0f, power[i]))); };
        profiles.push_back(lessRunningMean(bins.averageOf(amplitude), bins.count, half));
    }
    return profiles;
}

} // namespace orvalis
