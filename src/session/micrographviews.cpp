#include "session/micrographviews.h"

#include "core/ctffunctions.h"
#include "core/ctfgrey.h"
#include "micrograph/ringaverage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvalis {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double pixelFrequency(int pixel, int centre, double range)
{
    return (pixel - centre) * range / (centre - 1);
}

// CtfGrey of a value from its square, without an exp per pixel: the level grows with c^2, so it is
// 94 plus the number of thresholds at or below c^2, each threshold the c^2 at which CtfGrey's
// rounding reaches the next level (round(255 e^(c^2 - 1)) = L from 255 e^(c^2 - 1) = L - 1/2 on).
class GreyOfSquare {
public:
    GreyOfSquare()
    {
        for (int level = kGreyLevelMin + 1; level <= kGreyLevelMax; ++level) {
            double t = 1.0 + std::log((level - 0.5) / 255.0);
            // The threshold as CtfGrey itself rounds there: moved by an ulp until it agrees.
            while (t > 0 && CtfGrey(std::sqrt(std::nextafter(t, 0.0))) >= level)
                t = std::nextafter(t, 0.0);
            while (CtfGrey(std::sqrt(t)) < level)
                t = std::nextafter(t, 2.0);
            m_thresholds[level - kGreyLevelMin - 1] = t;
        }
        // Buckets of c^2 narrower than the closest two thresholds (1/255 apart at least): each holds
        // one at most, so a level is a bucket's first level plus one comparison.
        for (int b = 0; b < kBuckets; ++b) {
            const double start = double(b) / kBuckets;
            const auto first = std::upper_bound(std::begin(m_thresholds), std::end(m_thresholds), start);
            m_base[b] = static_cast<std::uint8_t>(kGreyLevelMin + (first - std::begin(m_thresholds)));
            m_next[b] = first == std::end(m_thresholds) ? 2.0 : *first;
        }
    }
    int operator()(double c2) const
    {
        if (!(c2 >= 0 && c2 < 1))
            return CtfGrey(std::sqrt(c2));
        const int b = static_cast<int>(c2 * kBuckets);
        return m_base[b] + (c2 >= m_next[b]);
    }

private:
    static constexpr int kBuckets = 1024;
    double m_thresholds[kGreyLevelMax - kGreyLevelMin];
    std::uint8_t m_base[kBuckets];
    double m_next[kBuckets];
};

const GreyOfSquare &greyOfSquare()
{
    static const GreyOfSquare table;
    return table;
}

} // namespace

double equivalentRoundFrequency(const PhaseFactors &phase, double kx, double ky);

// ---- the model ----------------------------------------------------------------------------------

double SpectrumModel::phaseOffset() const
{
    return PhaseFactors(state, defocus).offset;
}

double SpectrumModel::ctf(double kx, double ky) const
{
    const double k = std::sqrt(kx * kx + ky * ky);
    const EnvelopeFactors envelopes(state);
    return std::sin(CtfArgument(state, kx, ky, defocus)) * envelopes.temporalEnvelope(k)
        * envelopes.spatialEnvelope(k, defocus);
}

double SpectrumModel::envelopeSquared(double k) const
{
    const EnvelopeFactors envelopes(state);
    const double e = envelopes.temporalEnvelope(k) * envelopes.spatialEnvelope(k, defocus);
    return e * e;
}

double SpectrumModel::roundCtfSquared(double k, bool withEnvelopes) const
{
    const double s = std::sin(PhaseFactors(state, defocus).roundArgument(k * k));
    return s * s * (withEnvelopes ? envelopeSquared(k) : 1.0);
}

double SpectrumModel::equivalentFrequency(double kx, double ky) const
{
    return equivalentRoundFrequency(PhaseFactors(state, defocus), kx, ky);
}

double equivalentRoundFrequency(const PhaseFactors &phase, double kx, double ky)
{
    const double k2 = kx * kx + ky * ky;
    if (k2 == 0)
        return 0;
    // The even part of the phase without its constant offset, which moves both sides alike.
    const double target = phase.extended ? phase.roundPart(k2) + phase.fifthOrder(k2) + phase.twoFoldTurned(kx, ky)
                                         : phase.evenPart(kx, ky);
    // cs u^2 + df u = target for u = k'^2: the root on k's side of the phase's turning point.
    double u;
    if (std::fabs(phase.cs * k2) <= 1e-12 * std::fabs(phase.df)) {
        if (phase.df == 0)
            return -1;
        u = target / phase.df;
    } else {
        const double discriminant = phase.df * phase.df + 4 * phase.cs * target;
        if (discriminant < 0)
            return -1;
        const double root = std::sqrt(discriminant);
        const double a = (-phase.df + root) / (2 * phase.cs), b = (-phase.df - root) / (2 * phase.cs);
        u = std::fabs(a - k2) < std::fabs(b - k2) ? a : b;
    }
    // C5 adds c5 u^3, a small correction at the frequencies shown: Newton's steps from that root.
    for (int step = 0; phase.c5 != 0 && step < 8 && u > 0; ++step) {
        const double slope = 3 * phase.c5 * u * u + 2 * phase.cs * u + phase.df;
        if (slope == 0)
            return -1;
        const double next = u - (phase.fifthOrder(u) + phase.roundPart(u) - target) / slope;
        const bool converged = std::fabs(next - u) <= 1e-12 * std::fabs(next);
        u = next;
        if (converged)
            break;
    }
    if (!(u > 0) || std::fabs(u - k2) > 0.5 * k2)
        return -1;
    return std::sqrt(u);
}

// ---- the picture --------------------------------------------------------------------------------

CompositeGrid measuredGrid(const PowerSpectrum &spectrum, int centre, double range, double backgroundFrequency)
{
    CompositeGrid g;
    g.centre = centre;
    g.range = range;
    const int side = 2 * centre;
    g.grey.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(std::max(side, 0)), 0);
    const int n = spectrum.size;
    if (centre < 2 || n < 2 || !(spectrum.frequencyStep > 0) || !(range > 0))
        return g;
    const double nyquist = (n / 2) * spectrum.frequencyStep;
    const double perPixel = range / (centre - 1) / spectrum.frequencyStep; // spectrum pixels per picture pixel
    const int half = std::max(0, static_cast<int>(std::floor(perPixel / 2)));

    std::vector<double> value(g.grey.size(), kNaN);
    std::vector<double> annulus;
    annulus.reserve(g.grey.size());
    for (int y = 0; y < side; ++y) {
        const double ky = pixelFrequency(y, centre, range);
        for (int x = 0; x < side; ++x) {
            const double kx = pixelFrequency(x, centre, range);
            const double k = std::hypot(kx, ky);
            if (k > nyquist)
                continue;
            // The spectrum's pixels the picture's pixel covers, or the nearest one when it covers less.
            const int ci = static_cast<int>(std::lround(kx / spectrum.frequencyStep)) + n / 2;
            const int cj = static_cast<int>(std::lround(ky / spectrum.frequencyStep)) + n / 2;
            double sum = 0;
            int count = 0;
            for (int j = std::max(0, cj - half); j <= std::min(n - 1, cj + half); ++j)
                for (int i = std::max(0, ci - half); i <= std::min(n - 1, ci + half); ++i) {
                    sum += spectrum.ringsAt(i, j);
                    ++count;
                }
            if (count == 0)
                continue;
            const double v = sum / count;
            value[static_cast<std::size_t>(y) * side + x] = v;
            if (k >= backgroundFrequency)
                annulus.push_back(v);
        }
    }
    double low = 0, high = 0;
    if (annulus.size() >= 2) {
        const auto nth = [&annulus](double fraction) {
            const auto at = annulus.begin() + static_cast<std::ptrdiff_t>(fraction * double(annulus.size() - 1));
            std::nth_element(annulus.begin(), at, annulus.end());
            return *at;
        };
        low = nth(0.02);
        high = nth(0.98);
    }
    const double span = high > low ? high - low : 1.0;
    for (std::size_t p = 0; p < value.size(); ++p) {
        if (!std::isfinite(value[p]))
            continue;
        const double t = std::clamp((value[p] - low) / span, 0.0, 1.0);
        g.grey[p] = static_cast<std::uint8_t>(std::lround(kGreyLevelMin + t * (kGreyLevelMax - kGreyLevelMin)));
    }
    return g;
}

bool onModelSide(int x, int y, int centre, double direction)
{
    const double dx = x - centre, dy = y - centre;
    return std::cos(direction) * dy - std::sin(direction) * dx > 0;
}

void drawModelHalf(CompositeGrid &grid, const SpectrumModel &model, double direction, int step)
{
    const int side = grid.side();
    if (grid.centre < 2 || grid.grey.size() != static_cast<std::size_t>(side) * side)
        return;
    const int s = std::max(1, step);
    const PhaseFactors phase(model.state, model.defocus);
    const EnvelopeFactors envelopes(model.state);
    const double c = std::cos(direction), sn = std::sin(direction);
    const GreyOfSquare &greyOf = greyOfSquare();
    for (int y0 = 0; y0 < side; y0 += s) {
        const double ky = pixelFrequency(y0, grid.centre, grid.range);
        for (int x0 = 0; x0 < side; x0 += s) {
            // A block wholly on the measured side costs nothing.
            bool any = false;
            for (int corner = 0; corner < 4 && !any; ++corner) {
                const int x = std::min(side - 1, x0 + (corner & 1) * (s - 1));
                const int y = std::min(side - 1, y0 + (corner >> 1) * (s - 1));
                any = c * (y - grid.centre) - sn * (x - grid.centre) > 0;
            }
            if (!any)
                continue;
            const double kx = pixelFrequency(x0, grid.centre, grid.range);
            const double k = std::sqrt(kx * kx + ky * ky);
            // Both envelopes in one exponential, squared with the sine: CtfGrey depends on c^2 alone.
            const double sine = std::sin(phase.argument(kx, ky));
            const double exponent = envelopes.temporalExponent(k) + envelopes.spatialExponent(k, model.defocus);
            const double value2 = sine * sine * envelopeExp(2 * exponent);
            const auto grey = static_cast<std::uint8_t>(greyOf(value2));
            for (int y = y0; y < std::min(side, y0 + s); ++y) {
                const double dy = y - grid.centre;
                std::uint8_t *row = grid.grey.data() + static_cast<std::size_t>(y) * side;
                for (int x = x0; x < std::min(side, x0 + s); ++x)
                    if (c * dy - sn * (x - grid.centre) > 0)
                        row[x] = grey;
            }
        }
    }
}

// ---- the profile --------------------------------------------------------------------------------

RingProfile ringProfile(const PowerSpectrum &spectrum, const SpectrumModel &model, double lowestFrequency,
                        int pixelStep, const std::vector<double> *roundAverage)
{
    RingProfile p;
    const int n = spectrum.size;
    if (n < 4 || !(spectrum.frequencyStep > 0))
        return p;
    p.frequencyStep = spectrum.frequencyStep;
    const bool round = model.state.A2 == 0;
    if (round && roundAverage && roundAverage->size() == static_cast<std::size_t>(n / 2 + 1))
        p.average = *roundAverage;
    else if (round)
        p.average = rotationalAverage(spectrum.rings, n, spectrum.frequencyStep).value;
    else {
        // Every pixel's equivalent frequency at every step of a slider: sampled so that at most
        // 256 x 256 pixels are taken (still hundreds per bin in the outer rings), with the phase's
        // factors taken once.
        const int stride = std::max({1, pixelStep, n / 256});
        p.average = equalPhaseAverage(
                        spectrum.rings, n, spectrum.frequencyStep,
                        [phase = PhaseFactors(model.state, model.defocus)](double kx, double ky) {
                            return equivalentRoundFrequency(phase, kx, ky);
                        },
                        stride)
                        .value;
    }

    const int bins = p.bins();
    std::vector<double> bare(static_cast<std::size_t>(bins)), full(static_cast<std::size_t>(bins));
    p.envelope.resize(static_cast<std::size_t>(bins));
    for (int b = 0; b < bins; ++b) {
        const double k = p.frequency(b);
        bare[std::size_t(b)] = model.roundCtfSquared(k, false);
        p.envelope[std::size_t(b)] = model.envelopeSquared(k);
        full[std::size_t(b)] = bare[std::size_t(b)] * p.envelope[std::size_t(b)];
    }
    // The rings are judged against CTF^2 alone: within a band the envelopes change the scale, not
    // where the rings lie.
    const RingAgreement agreement = ringAgreement(p.average, bare, p.frequencyStep, lowestFrequency);
    p.agreement = agreement.correlation;
    p.agreedUpTo = agreement.agreedUpTo;

    const auto fitOver = [&](int first, int last) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        int count = 0;
        for (int b = first; b <= last; ++b) {
            const double x = full[std::size_t(b)], y = p.average[std::size_t(b)];
            if (!std::isfinite(y))
                continue;
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
            ++count;
        }
        const double variance = count * sxx - sx * sx;
        if (count < 3 || !(variance > 0))
            return false;
        p.scale = (count * sxy - sx * sy) / variance;
        p.offset = (sy - p.scale * sx) / count;
        return true;
    };
    const int first = agreement.firstBin;
    if (!(agreement.lastBin > first + 3 && fitOver(first, agreement.lastBin)))
        fitOver(first, bins - 1);
    p.model.resize(static_cast<std::size_t>(bins));
    for (int b = 0; b < bins; ++b) {
        p.model[std::size_t(b)] = p.scale * full[std::size_t(b)] + p.offset;
        p.envelope[std::size_t(b)] = p.scale * p.envelope[std::size_t(b)] + p.offset;
    }
    return p;
}

std::optional<SpectrumSample> sampleSpectrum(const PowerSpectrum &spectrum, double kx, double ky)
{
    const int n = spectrum.size;
    if (n < 2 || !(spectrum.frequencyStep > 0))
        return std::nullopt;
    if (std::hypot(kx, ky) > (n / 2) * spectrum.frequencyStep)
        return std::nullopt;
    const int i = std::clamp(static_cast<int>(std::lround(kx / spectrum.frequencyStep)) + n / 2, 0, n - 1);
    const int j = std::clamp(static_cast<int>(std::lround(ky / spectrum.frequencyStep)) + n / 2, 0, n - 1);
    return SpectrumSample{spectrum.powerAt(i, j), spectrum.ringsAt(i, j)};
}

} // namespace orvalis
