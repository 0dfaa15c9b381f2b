#include "session/micrographviews.h"

#include <QDir>
#include <QFileInfo>

#include "core/ctffunctions.h"
#include "core/ctfgrey.h"
#include "core/ctfkernels.h"
#include "core/fastmath.h"
#include "core/greylevellookup.h"
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

// One block row of the model's half: per block its column's frequency, its phase, envelope
// exponent, c^2 and grey level, and whether a corner lies on the model's side.
struct ModelRow {
    std::vector<double> kx, phase, exponent, value;
    std::vector<std::uint8_t> level;

    void resize(std::size_t blocks)
    {
        for (std::vector<double> *v : {&kx, &phase, &exponent, &value})
            v->resize(blocks);
        level.resize(blocks);
    }
};

// The phase, exponent and c^2 = sin^2(phase) exp(exponent) of blocks first .. last - 1 of a row at
// ky, in loops without branches or calls that the compiler vectorises; the phases lie within the
// fast sine's limit. True when a c^2 is 1 or more (a negative B-factor) or not a number: the
// level table holds [0, 1) only.
struct RowTerms {
    const PhaseFactors &phase;
    const EnvelopeFactors &envelopes;
    double defocus;
};

// PhaseFactors::argument with its choice of terms made once for the row, outside the vector loop.
template <bool Extended> inline double rowArgument(const PhaseFactors &phase, double kx, double ky)
{
    const ChiParts p = Extended ? phase.extendedParts(kx, ky) : phase.parts(kx, ky);
    return p.even + p.odd;
}

template <bool Extended> inline bool modelRowBody(const RowTerms &terms, double ky, ModelRow &row, int first, int last)
{
    const PhaseFactors phase = terms.phase; // copies the stores cannot alias
    const EnvelopeFactors envelopes = terms.envelopes;
    const double defocus = terms.defocus;
    const double *__restrict kxs = row.kx.data();
    double *__restrict phases = row.phase.data();
    double *__restrict exponents = row.exponent.data();
    double *__restrict values = row.value.data();
    // The square roots first: the C library's error reporting keeps a loop with them scalar.
    for (int b = first; b < last; ++b)
        values[b] = std::sqrt(kxs[b] * kxs[b] + ky * ky);
    std::int64_t outside = 0;
    for (int b = first; b < last; ++b) {
        const double kx = kxs[b];
        const double k = values[b];
        // Both envelopes in one exponential, squared with the sine: CtfGrey depends on c^2 alone.
        const double argument = rowArgument<Extended>(phase, kx, ky);
        const double exponent = 2 * (envelopes.temporalExponent(k) + envelopes.spatialExponent(k, defocus));
        const double value = fastmath::sinSquared(argument) * fastmath::exponential(exponent);
        phases[b] = argument;
        exponents[b] = exponent;
        values[b] = value;
        outside |= !(value < 1);
    }
    return outside != 0;
}

using ModelRowFunction = bool (*)(const RowTerms &, double, ModelRow &, int, int);

__attribute__((flatten)) bool modelRowBaseline(const RowTerms &terms, double ky, ModelRow &row, int first, int last)
{
    return terms.phase.extended ? modelRowBody<true>(terms, ky, row, first, last)
                                : modelRowBody<false>(terms, ky, row, first, last);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Four lanes where the processor has them; the operations and their order are the baseline's (no
// contraction into fused multiply-adds), so both give the same bits.
__attribute__((flatten, target("avx2,fma"))) bool modelRowWide(const RowTerms &terms, double ky, ModelRow &row,
                                                               int first, int last)
{
    return terms.phase.extended ? modelRowBody<true>(terms, ky, row, first, last)
                                : modelRowBody<false>(terms, ky, row, first, last);
}
#endif

ModelRowFunction modelRowFunction()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const ModelRowFunction chosen = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")
        ? &modelRowWide
        : &modelRowBaseline;
    return chosen;
#else
    return &modelRowBaseline;
#endif
}

} // namespace

// equalPhaseAverage of the spectrum along the rings of equivalentRoundFrequency, value for value,
// without a call per pixel: unless an azimuth turns it, the phase's even part depends on kx^2 and
// ky^2 alone, so the bin and shares taken at (|dx|, |dy|) pixels from the centre serve all four
// pixels that mirror it; the pixels are then summed in the order equalPhaseAverage sums them.
std::vector<double> equalPhaseRingAverage(const PowerSpectrum &spectrum, const PhaseFactors &phase, int stride)
{
    const int n = spectrum.size, centre = n / 2, bins = n / 2 + 1;
    const double step = spectrum.frequencyStep;
    // One bin more than shown: the upper share of the last bin goes there and is dropped.
    std::vector<double> value(static_cast<std::size_t>(bins) + 1, 0.0), weight(value);
    if (spectrum.rings.size() < static_cast<std::size_t>(n) * n) {
        value.pop_back();
        return value;
    }
    struct Share {
        int bin; // -1: the pixel belongs to no ring
        double lower, upper;
    };
    // The distinct offsets from the centre of the sampled rows (and columns: the same), taken
    // without their sign unless an azimuth is set.
    thread_local std::vector<int> slot, distances, column;
    thread_local std::vector<Share> shares;
    slot.assign(static_cast<std::size_t>(n) + 1, -1);
    distances.clear();
    column.clear();
    for (int i = 0; i < n; i += stride) {
        const int d = phase.turned ? i - centre : std::abs(i - centre);
        if (slot[std::size_t(d + centre)] < 0) {
            slot[std::size_t(d + centre)] = static_cast<int>(distances.size());
            distances.push_back(d);
        }
        column.push_back(slot[std::size_t(d + centre)]);
    }
    const std::size_t m = distances.size();
    shares.resize(m * m);
    for (std::size_t a = 0; a < m; ++a) {
        const double ky = distances[a] * step;
        for (std::size_t b = 0; b < m; ++b) {
            const double position = equivalentRoundFrequency(phase, distances[b] * step, ky) / step;
            Share &share = shares[a * m + b];
            // floor(position) >= bins exactly when position >= bins; below, the truncation is the floor.
            if (!(position >= 0) || !(position < bins)) {
                share = {-1, 0, 0};
                continue;
            }
            const auto bin = static_cast<int>(position);
            const double upper = position - static_cast<double>(bin);
            share = {bin, 1 - upper, upper};
        }
    }
    double *const sums = value.data();
    double *const weights = weight.data();
    for (int j = 0, r = 0; j < n; j += stride, ++r) {
        const Share *const row = shares.data() + static_cast<std::size_t>(column[std::size_t(r)]) * m;
        const float *const line = spectrum.rings.data() + static_cast<std::size_t>(j) * n;
        for (int i = 0, c = 0; i < n; i += stride, ++c) {
            const Share &share = row[column[std::size_t(c)]];
            if (share.bin < 0)
                continue;
            const double v = line[i];
            sums[share.bin] += share.lower * v;
            weights[share.bin] += share.lower;
            sums[share.bin + 1] += share.upper * v;
            weights[share.bin + 1] += share.upper;
        }
    }
    value.pop_back();
    for (std::size_t b = 0; b < value.size(); ++b)
        value[b] = weight[b] > 0 ? value[b] / weight[b] : kNaN;
    return value;
}

// ---- the picture --------------------------------------------------------------------------------

CompositeGrid measuredGrid(const PowerSpectrum &spectrum, int centre, double range, double backgroundFrequency)
{
    return measuredGrid(spectrum, centre, range, backgroundFrequency, SpectrumContrast());
}

double spectrumViewRange(const PowerSpectrum &spectrum, double zoom)
{
    if (spectrum.size < 2 || !(spectrum.frequencyStep > 0))
        return 0;
    return (spectrum.size / 2) * spectrum.frequencyStep / std::max(1.0, zoom);
}

double compositePixelFrequency(int pixel, int centre, double range)
{
    return pixelFrequency(pixel, centre, range);
}

double compositePixelOf(double k, int centre, double range)
{
    return centre + k * (centre - 1) / range;
}

std::vector<ZeroLine> modelZeroLines(const CtfModel &ctf, double upTo, int directions, int samples, double minSpacing)
{
    std::vector<ZeroLine> lines;
    if (!(upTo > 0) || directions < 3 || samples < 2)
        return lines;
    const PhaseFactors phase = ctf.phase();
    // Per direction, the crossings outwards: crossing[d][n] is the frequency of the n-th.
    std::vector<std::vector<double>> crossing(static_cast<std::size_t>(directions));
    std::vector<double> cosines(crossing.size()), sines(crossing.size());
    const double dk = upTo / (samples - 1);
    for (int d = 0; d < directions; ++d) {
        const double angle = 2 * Pi * d / directions;
        const double c = std::cos(angle), s = std::sin(angle);
        cosines[std::size_t(d)] = c;
        sines[std::size_t(d)] = s;
        double before = phase.argument(0, 0) / Pi;
        for (int i = 1; i < samples; ++i) {
            const double k = i * dk;
            const double now = phase.argument(k * c, k * s) / Pi;
            // Each multiple of pi passed since the last sample is a zero, taken in the order passed.
            bool dense = false;
            const auto cross = [&](double m) {
                std::vector<double> &found = crossing[std::size_t(d)];
                const double k0 = (i - 1 + (m - before) / (now - before)) * dk;
                if (!found.empty() && k0 - found.back() < minSpacing)
                    dense = true;
                else if (!dense)
                    found.push_back(k0);
            };
            if (now > before)
                for (double m = std::floor(before) + 1; m <= now; m += 1)
                    cross(m);
            else if (now < before)
                for (double m = std::ceil(before) - 1; m >= now; m -= 1)
                    cross(m);
            before = now;
            if (dense)
                break;
        }
    }
    std::size_t orders = 0;
    for (const auto &c : crossing)
        orders = std::max(orders, c.size());
    for (std::size_t n = 0; n < orders; ++n) {
        // Lines of consecutive directions that all have an n-th crossing; one closes the ring when
        // every direction has it.
        const auto has = [&](int d) { return crossing[std::size_t(d)].size() > n; };
        int start = 0;
        bool whole = true;
        for (int d = 0; d < directions; ++d)
            if (!has(d)) {
                whole = false;
                start = d;
                break;
            }
        ZeroLine line;
        line.order = static_cast<int>(n) + 1;
        const auto flush = [&] {
            if (line.kx.size() >= 2)
                lines.push_back(line);
            line.kx.clear();
            line.ky.clear();
        };
        for (int i = 0; i < directions; ++i) {
            const int d = (start + i) % directions;
            if (!has(d)) {
                flush();
                continue;
            }
            const double k = crossing[std::size_t(d)][n];
            line.kx.push_back(k * cosines[std::size_t(d)]);
            line.ky.push_back(k * sines[std::size_t(d)]);
        }
        line.closed = whole;
        flush();
    }
    return lines;
}

CompositeGrid measuredGrid(const PowerSpectrum &spectrum, int centre, double range, double backgroundFrequency,
                           const SpectrumContrast &contrast)
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
            if (k > nyquist * (1 + 1e-12)) // the picture's last pixel may be Nyquist to the last bit
                continue;
            // The spectrum's pixels the picture's pixel covers, or the nearest one when it covers less.
            int ci = static_cast<int>(std::lround(kx / spectrum.frequencyStep)) + n / 2;
            int cj = static_cast<int>(std::lround(ky / spectrum.frequencyStep)) + n / 2;
            // The spectrum holds -Nyquist, not +Nyquist: there it is taken from the point opposite, as
            // a power spectrum is the same at k and -k.
            if (ci >= n || cj >= n) {
                ci = std::min(n - ci, n - 1);
                cj = std::min(n - cj, n - 1);
            }
            double sum = 0;
            int count = 0;
            for (int j = std::max(0, cj - half); j <= std::min(n - 1, cj + half); ++j)
                for (int i = std::max(0, ci - half); i <= std::min(n - 1, ci + half); ++i) {
                    sum += contrast.logarithmic ? spectrum.powerAt(i, j) : spectrum.ringsAt(i, j);
                    ++count;
                }
            if (count == 0)
                continue;
            double v = sum / count;
            if (contrast.logarithmic)
                v = v > 0 ? std::log(v) : kNaN;
            if (!std::isfinite(v))
                continue;
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
        const double clip = std::clamp(contrast.clipPercent, 0.0, 49.0);
        low = nth(clip / 100);
        high = nth((100 - clip) / 100);
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

void drawModelHalf(CompositeGrid &grid, const CtfModel &ctf, double direction, int step)
{
    const int side = grid.side();
    if (grid.centre < 2 || grid.grey.size() != static_cast<std::size_t>(side) * side)
        return;
    const int s = std::max(1, step);
    const PhaseFactors phase = ctf.phase();
    const EnvelopeFactors envelopes = ctf.envelopes();
    const double c = std::cos(direction), sn = std::sin(direction);
    const GreyOfSquare &greyOf = greyOfSquare();
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();
    const kernels::KernelSet &loops = kernels::best();
    // The polynomial sine holds only for phases within its limit; beyond, every point is exact.
    const double kMax = std::sqrt(2.0) * std::fabs(pixelFrequency(0, grid.centre, grid.range));
    const bool fast = phase.bound(kMax) <= fastmath::kSinArgumentLimit;
    const RowTerms terms{phase, envelopes, ctf.Defocus};
    const ModelRowFunction computeRow = modelRowFunction();
    // Without an azimuth the argument is even in kx (the two- and three-fold terms hold kx^2 only)
    // and the envelopes depend on |k|: at full sampling a column's mirror across the centre has the
    // same level to the last bit, and half of each row is computed.
    const bool mirrored = s == 1 && !phase.turned;

    // A pixel lies on the model's side where c dy - sn dx > 0, the share of dx taken once per
    // column. A block has a corner there when the larger c dy of its rows exceeds the smaller
    // sn dx of its columns (a difference of doubles is positive exactly when the first is larger).
    thread_local std::vector<double> across;
    across.resize(static_cast<std::size_t>(side));
    for (int x = 0; x < side; ++x)
        across[std::size_t(x)] = sn * (x - grid.centre);
    thread_local ModelRow row;
    thread_local std::vector<double> leastAcross;
    const int blocks = (side + s - 1) / s;
    row.resize(static_cast<std::size_t>(blocks));
    leastAcross.resize(static_cast<std::size_t>(blocks));
    for (int b = 0; b < blocks; ++b) {
        row.kx[std::size_t(b)] = pixelFrequency(b * s, grid.centre, grid.range);
        leastAcross[std::size_t(b)] = std::min(across[std::size_t(b * s)],
                                               across[std::size_t(std::min(side - 1, b * s + s - 1))]);
    }
    // A block row at a time: c^2 of the span of blocks on the model's side (one span: the side is
    // a half-plane) in vector loops, then the levels from the table; a c^2 the fast arithmetic
    // leaves near a level's step takes the C library's sine and exponential, so that every level
    // is the one the exact expression gives.
    for (int y0 = 0; y0 < side; y0 += s) {
        const double ky = pixelFrequency(y0, grid.centre, grid.range);
        const int y1 = std::min(side, y0 + s);
        const double lowest = std::max(c * (y0 - grid.centre), c * (y1 - 1 - grid.centre));
        // The smaller sn dx of a block grows with its column where sn >= 0 and falls where it is
        // negative (a product with one factor is monotone in the other): the blocks on the model's
        // side are a run from the row's start or to its end, found by halving, not by a test each.
        const auto onSide = [lowest](double least) { return least < lowest; };
        int first = 0, last = blocks;
        if (sn >= 0)
            last = static_cast<int>(std::partition_point(leastAcross.begin(), leastAcross.end(), onSide)
                                    - leastAcross.begin());
        else
            first = static_cast<int>(std::partition_point(leastAcross.begin(), leastAcross.end(),
                                                          [&onSide](double least) { return !onSide(least); })
                                     - leastAcross.begin());
        if (first == last)
            continue; // a block row wholly on the measured side costs nothing
        std::uint8_t *const levels = row.level.data();
        const double *const values = row.value.data();
        const auto levelsOver = [&](int from, int to) {
            bool exact = true;
            if (fast) {
                const bool outside = computeRow(terms, ky, row, from, to);
                exact = loops.greyLevels(values + from, levels + from, to - from) || outside;
            } else {
                modelRowBaseline(terms, ky, row, from, to); // for its phases and exponents
            }
            if (exact)
                for (int b = from; b < to; ++b) {
                    bool near = true;
                    if (fast && values[b] < 1)
                        lookup.level(values[b], near);
                    if (near) {
                        const double sine = std::sin(row.phase[std::size_t(b)]);
                        levels[b] = static_cast<std::uint8_t>(
                            greyOf(sine * sine * envelopeExp(row.exponent[std::size_t(b)])));
                    }
                }
        };
        if (mirrored) {
            // Column centre - d takes the level of column centre + d, whose kx is its exact negative:
            // the columns from the centre on are computed once for both sides; column 0 has no mirror.
            const int n = grid.centre, leftEnd = std::min(last, n);
            int from = last > n ? std::max(first, n) : side, to = last > n ? last : 0;
            if (first < leftEnd) {
                from = std::min(from, 2 * n - leftEnd + 1);
                to = std::max(to, std::min(side, 2 * n - first + 1));
            }
            if (from < to)
                levelsOver(from, to);
            if (first == 0)
                levelsOver(0, 1);
            for (int x = std::max(first, 1); x < leftEnd; ++x)
                levels[x] = levels[2 * n - x];
        } else {
            levelsOver(first, last);
        }
        if (s == 1) {
            // A block is its pixel, and the pixel's test the block's.
            std::copy(levels + first, levels + last, grid.grey.data() + static_cast<std::size_t>(y0) * side + first);
            continue;
        }
        for (int b = first; b < last; ++b) {
            const int x0 = b * s, x1 = std::min(side, x0 + s);
            for (int y = y0; y < y1; ++y) {
                const double down = c * (y - grid.centre);
                std::uint8_t *const line = grid.grey.data() + static_cast<std::size_t>(y) * side;
                for (int x = x0; x < x1; ++x)
                    if (down - across[std::size_t(x)] > 0)
                        line[x] = levels[b];
            }
        }
    }
}

// ---- the profile --------------------------------------------------------------------------------

RingProfile ringProfile(const PowerSpectrum &spectrum, const CtfModel &ctf, double lowestFrequency, int pixelStep,
                        const std::vector<double> *roundAverage)
{
    RingProfile p;
    const int n = spectrum.size;
    if (n < 4 || !(spectrum.frequencyStep > 0))
        return p;
    p.frequencyStep = spectrum.frequencyStep;
    const bool round = ctf.A2 == 0;
    if (round && roundAverage && roundAverage->size() == static_cast<std::size_t>(n / 2 + 1))
        p.average = *roundAverage;
    else if (round)
        p.average = rotationalAverage(spectrum.rings, n, spectrum.frequencyStep).value;
    else {
        // Every pixel's equivalent frequency at every step of a slider: sampled so that at most
        // 256 x 256 pixels are taken (still hundreds per bin in the outer rings).
        const int stride = std::max({1, pixelStep, n / 256});
        p.average = equalPhaseRingAverage(spectrum, ctf.phase(), stride);
    }
    const int bins = p.bins();
    std::vector<double> bare(static_cast<std::size_t>(bins)), full(static_cast<std::size_t>(bins));
    p.envelope.resize(static_cast<std::size_t>(bins));
    // roundCtfSquared and envelopeSquared, with their factors taken once.
    const PhaseFactors phase = ctf.phase();
    const EnvelopeFactors envelopes = ctf.envelopes();
    for (int b = 0; b < bins; ++b) {
        const double k = p.frequency(b);
        const double sine = std::sin(phase.roundArgument(k * k));
        const double e = envelopes.temporalEnvelope(k) * envelopes.spatialEnvelope(k, ctf.Defocus);
        bare[std::size_t(b)] = sine * sine;
        p.envelope[std::size_t(b)] = e * e;
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

RingProfile::Shown RingProfile::shownScale(double lowestFrequency) const
{
    if (agreedUpTo > 0 && scale > 0)
        return {scale, offset};
    std::vector<double> values;
    for (int b = 0; b < bins(); ++b)
        if (std::isfinite(average[std::size_t(b)]) && frequency(b) >= lowestFrequency)
            values.push_back(average[std::size_t(b)]);
    std::sort(values.begin(), values.end());
    const double low = values.empty() ? 0.0 : values[values.size() / 50];
    const double high = values.empty() ? 1.0 : values[values.size() - 1 - values.size() / 50];
    return {high > low ? high - low : 1.0, low};
}

FitPictureFiles fitPictureFiles(const QString &dir, const QString &micrograph)
{
    const QDir folder(dir);
    const QString base = QFileInfo(micrograph).completeBaseName();
    return {folder.filePath(base + QStringLiteral("_fit.png")), folder.filePath(base + QStringLiteral("_fit.mrc")),
            folder.filePath(base + QStringLiteral("_profile.png")),
            folder.filePath(base + QStringLiteral("_profile.svg"))};
}

} // namespace orvalis
