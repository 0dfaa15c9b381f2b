#include "micrograph/ringaverage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvalis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Bins from one extremum of the model's CTF^2 to the next, per bin (0 where none is found).
std::vector<int> halfWidths(const std::vector<double> &model, int minimum)
{
    const int bins = static_cast<int>(model.size());
    std::vector<int> extrema;
    for (int b = 1; b + 1 < bins; ++b) {
        const double before = model[b] - model[b - 1], after = model[b + 1] - model[b];
        if ((before > 0 && after <= 0) || (before < 0 && after >= 0))
            extrema.push_back(b);
    }
    const int largest = std::max(1, bins / 2 - 1);
    std::vector<int> width(static_cast<std::size_t>(bins), std::min(minimum, largest));
    if (extrema.size() < 2)
        return width;
    // Each bin takes the width of the span between extrema it lies in; bins before the first and
    // after the last take the nearest span's.
    for (std::size_t e = 1; e < extrema.size(); ++e) {
        const int from = e == 1 ? 0 : extrema[e - 1];
        const int to = e + 1 == extrema.size() ? bins : extrema[e];
        const double span = extrema[e] - extrema[e - 1] + 1;
        const int w = std::clamp(static_cast<int>((1.0 + 0.1 * static_cast<double>(e)) * span), minimum, largest);
        for (int b = from; b < to; ++b)
            width[static_cast<std::size_t>(b)] = w;
    }
    return width;
}

double bandCorrelation(const std::vector<double> &a, const std::vector<double> &m, int first, int last)
{
    double sa = 0, sm = 0;
    int count = 0;
    for (int i = first; i <= last; ++i)
        if (std::isfinite(a[i]) && std::isfinite(m[i])) {
            sa += a[i];
            sm += m[i];
            ++count;
        }
    if (count < 3)
        return kNaN;
    const double ma = sa / count, mm = sm / count;
    double cross = 0, va = 0, vm = 0;
    for (int i = first; i <= last; ++i)
        if (std::isfinite(a[i]) && std::isfinite(m[i])) {
            cross += (a[i] - ma) * (m[i] - mm);
            va += (a[i] - ma) * (a[i] - ma);
            vm += (m[i] - mm) * (m[i] - mm);
        }
    return va > 0 && vm > 0 ? cross / std::sqrt(va * vm) : 0.0;
}

} // namespace

RingAverage equalPhaseAverage(const std::vector<float> &spectrum, int n, double frequencyStep,
                              const EquivalentFrequency &equivalentFrequency, int pixelStep)
{
    RingAverage r;
    r.frequencyStep = frequencyStep;
    const int bins = n / 2 + 1;
    r.value.assign(static_cast<std::size_t>(bins), 0.0);
    r.weight.assign(static_cast<std::size_t>(bins), 0.0);
    if (n < 2 || !(frequencyStep > 0) || spectrum.size() < static_cast<std::size_t>(n) * n)
        return r;
    const int centre = n / 2;
    const int stride = std::max(1, pixelStep);
    for (int j = 0; j < n; j += stride) {
        const double ky = (j - centre) * frequencyStep;
        for (int i = 0; i < n; i += stride) {
            const double k = equivalentFrequency((i - centre) * frequencyStep, ky);
            if (!(k >= 0))
                continue;
            const double position = k / frequencyStep;
            const double lower = std::floor(position);
            if (lower >= bins)
                continue;
            const auto b = static_cast<std::size_t>(lower);
            const double upperShare = position - lower;
            const double v = spectrum[static_cast<std::size_t>(j) * n + i];
            r.value[b] += (1 - upperShare) * v;
            r.weight[b] += 1 - upperShare;
            if (b + 1 < static_cast<std::size_t>(bins)) {
                r.value[b + 1] += upperShare * v;
                r.weight[b + 1] += upperShare;
            }
        }
    }
    for (std::size_t b = 0; b < r.value.size(); ++b)
        r.value[b] = r.weight[b] > 0 ? r.value[b] / r.weight[b] : kNaN;
    return r;
}

RingAverage rotationalAverage(const std::vector<float> &spectrum, int n, double frequencyStep)
{
    return equalPhaseAverage(spectrum, n, frequencyStep, [](double kx, double ky) { return std::hypot(kx, ky); });
}

RingAgreement ringAgreement(const std::vector<double> &average, const std::vector<double> &modelCtf2,
                            double frequencyStep, double lowestFrequency)
{
    RingAgreement g;
    const int bins = static_cast<int>(std::min(average.size(), modelCtf2.size()));
    g.correlation.assign(static_cast<std::size_t>(bins), kNaN);
    if (bins < 4 || !(frequencyStep > 0))
        return g;
    g.halfWidth = halfWidths(std::vector<double>(modelCtf2.begin(), modelCtf2.begin() + bins), std::max(1, bins / 40));
    g.firstBin = std::clamp(static_cast<int>(std::ceil(lowestFrequency / frequencyStep)), 0, bins - 1);

    for (int b = g.firstBin; b < bins; ++b) {
        // The band keeps its width at the ends, moved inwards.
        const int w = g.halfWidth[static_cast<std::size_t>(b)];
        int first = b - w, last = b + w;
        if (first < g.firstBin) {
            first = g.firstBin;
            last = std::min(bins - 1, first + 2 * w);
        }
        if (last >= bins) {
            last = bins - 1;
            first = std::max(g.firstBin, last - 2 * w);
        }
        g.correlation[static_cast<std::size_t>(b)] = bandCorrelation(average, modelCtf2, first, last);
    }

    constexpr double low = 0.1, significant = 0.5, high = 0.66;
    int aboveLow = 0, aboveSignificant = 0, aboveHigh = 0, lastJudged = -1;
    for (int b = g.firstBin; b < bins; ++b) {
        const double c = g.correlation[static_cast<std::size_t>(b)];
        if (!std::isfinite(c))
            continue;
        if ((aboveLow > 3 && c < low) || (aboveHigh > 3 && c < significant))
            break;
        aboveLow += c > low;
        aboveSignificant += c > significant;
        aboveHigh += c > high;
        lastJudged = b;
    }
    g.lastBin = aboveSignificant > 0 ? lastJudged : -1;
    g.agreedUpTo = g.lastBin >= 0 ? g.lastBin * frequencyStep : 0.0;
    return g;
}

const char *averageColumnTitle(AverageColumn column)
{
    switch (column) {
    case AverageColumn::Average: return "Spectrum Average";
    case AverageColumn::ModelCtf2: return "Model CTF^2";
    case AverageColumn::ModelScaled: return "Model Scaled to Average";
    case AverageColumn::ModelEnvelopeScaled: return "Model Envelope Scaled to Average";
    case AverageColumn::Agreement: return "Agreement NCC";
    }
    return "";
}

} // namespace orvalis
