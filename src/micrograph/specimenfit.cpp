#include "micrograph/specimenfit.h"

#include "core/fastmath.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/correlationsums.h"
#include "micrograph/fftplans.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/ringbins.h"

#include <nlopt.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>

namespace orvalis {

namespace {

constexpr int kMaxRegionsASide = 8;       // regions along a side of the image, at most
constexpr int kMinRegionsASide = 3;       // and at least, for a tilt
constexpr double kMaxRegionValues = 32e6; // the regions' spectra's values, at most (128 MB)
constexpr double kTiltStep = 2;           // degrees between the tilt angles of the search's grid
constexpr double kAxisStep = 5;           // degrees between its axes
constexpr double kMaxTilt = 70;           // degrees
constexpr int kMaxRefinePixels = 40000;   // pixels of the band the last refinement takes, at most
// A tilt whose defocus changes across the image by less than this part of a ring at the band's top
// leaves the rings as they are: the band cannot see it.
constexpr double kVisibleTilt = 0.1;
// A tilt is reported only when the regions where they lie fit it this many times better (in the gain
// of the search's score over no tilt) than the best of kPermutations shufflings of their places.
constexpr double kStandsOut = 1.5;
constexpr int kPermutations = 20;
// And against a thick model, whose defocus the thickness's scan has moved, this many: there a flat
// 400 nm specimen's regions fit a plane twice as well as shuffled (a 200 nm one tilted by 20°, four
// to six times).
constexpr double kStandsOutThick = 3;
// Or when the regions' own peaks, found alone, follow a plane for this part of their spread (a flat
// specimen's, thin or thick, follow one for a few to twenty per cent).
constexpr double kPlaneExplains = 0.9;
// Degrees: a tilt stands out and still its axis may be unsure, where the image's parts scatter about
// the plane (a small tilt at fine pixels, or rings a thickness fades): it is reported only while the
// standard error of the axis of the plane through the regions' own peaks stays within this. Over 8
// noise seeds a case, tilts of 20 to 50 degrees come out at 0.4 to 2.2; 10 and 5 degrees at 0.8 Å
// pixels at 17 to 85, their axes 10 to 30 degrees off; 20 degrees in 200 nm at 3.8 to 6.3, axes up
// to 12 degrees off.
constexpr double kAxisError = 3;
// The least gain of the mean correlation a shuffling is taken to give (a 10° tilt at 0.8 Å gains 0.007).
constexpr double kLeastGain = 0.002;
// A thickness is reported from this multiple of the band's thin limit on: a first node at the band's
// very top leaves no inverted ring past it, and its fading alone is not told apart from the
// envelope's, nor from the damping of the tilt's correction (found on a thin specimen tilted by 50°
// at 4 µm, taken for 133 nm where the limit is 127).
constexpr double kThinMargin = 1.1;
// The part of the plain fit's defocus the thickness's scan moves it by, at most, either way.
constexpr double kThicknessDefocusReach = 0.1;
// The peaks of each thickness scan the last refinement starts from.
constexpr int kThicknessPeaks = 3;
// A thickness is reported only when it fits the rings this part better than the best other one
// (further than kThicknessApart of it, and a ring's thin limit). Over 8 noise realisations, 400 nm at
// 1.2 um (two nodes in the band) fitted its own thickness 13 to 21 % better than the next, and the two
// below 15 % were its worst (the thickness 7 % and the defocus 1.2 to 1.8 % off); 250 nm at 3 um, 24 to
// 31 %. Before the scan also took round rings, a defocus 5 % off with a thickness 20 % off came within
// a few per cent of the next.
constexpr double kThicknessTold = 0.15;
constexpr double kThicknessApart = 0.1;

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Tiles side by side, the whole grid centred: the regions' spectra then cost a quarter of the
// transforms of half-overlapping ones. Where fewer than kSideBySide fit along a side, they overlap by
// half, as the plain spectrum's do, so that a small micrograph's few regions average more of them.
constexpr int kSideBySide = 6;

std::vector<int> regionTileOrigins(int length, int n)
{
    return tileOrigins(length, n, length / n >= kSideBySide ? n : n / 2);
}

// The rings a region's spectrum holds under a tilt of gradient (gx, gy) (nm of defocus per pixel)
// are blurred as by a thickness: its tiles' defocus spreads over the tile's width, and a region's
// tiles lie at steps apart. Along each axis the spread of a tile is about even over its width w,
// which keeps sinc(pi lambda k^2 |g| w) of the rings' depth, and m tiles s apart keep
// sin(m u) / (m sin u), u = pi lambda k^2 |g| s; the two axes multiply. The thickness fitted is what
// is left beyond this.
void setTiltBlur(RingModel &model, const RegionSpectra &regions, double gx, double gy)
{
    for (std::size_t b = 0; b < model.blur.size(); ++b) {
        double factor = 1;
        for (const auto &[g, span] : {std::pair<double, int>{gx, regions.spanX}, {gy, regions.spanY}}) {
            const double base = Pi * model.lambdaK2[b] * std::fabs(g);
            factor *= fastmath::sinc(base * regions.tileWidth);
            const double u = base * regions.step;
            if (span > 1 && std::fabs(std::sin(u)) > 1e-12)
                factor *= std::sin(span * u) / (span * std::sin(u));
        }
        model.blur[b] = factor;
    }
}

// The depth-averaged CTF^2 as an affine function of sin^2: damping sin^2 + (1 - damping) / 2.
inline double thickCtf2(double argument, double damping)
{
    return damping * fastmath::sinSquared(argument) + 0.5 * (1 - damping);
}

// Each bin divided by the rings' strength about it: the root mean square over the bins within two
// periods of CTF^2 either side, held to at least a fifth of the largest, so that a node (where the
// rings vanish) is not blown up into noise.
std::vector<double> flattened(const std::vector<double> &profile, const std::vector<double> &weight,
                              const RingModel &model, std::vector<double> *strength = nullptr)
{
    const int count = static_cast<int>(profile.size());
    std::vector<double> rms(profile.size(), 0.0);
    for (int b = 0; b < count; ++b) {
        double sum = 0, w = 0;
        for (int d = b; d >= 0 && std::fabs(model.argument[std::size_t(d)] - model.argument[std::size_t(b)]) <= 2 * Pi;
             --d) {
            sum += weight[std::size_t(d)] * profile[std::size_t(d)] * profile[std::size_t(d)];
            w += weight[std::size_t(d)];
        }
        for (int d = b + 1;
             d < count && std::fabs(model.argument[std::size_t(d)] - model.argument[std::size_t(b)]) <= 2 * Pi; ++d) {
            sum += weight[std::size_t(d)] * profile[std::size_t(d)] * profile[std::size_t(d)];
            w += weight[std::size_t(d)];
        }
        rms[std::size_t(b)] = w > 0 ? std::sqrt(sum / w) : 0.0;
    }
    const double largest = rms.empty() ? 0.0 : *std::max_element(rms.begin(), rms.end());
    std::vector<double> out(profile.size(), 0.0);
    for (int b = 0; b < count; ++b) {
        const double s = std::max(rms[std::size_t(b)], 0.2 * largest);
        rms[std::size_t(b)] = s;
        out[std::size_t(b)] = s > 0 ? profile[std::size_t(b)] / s : 0.0;
    }
    if (strength)
        *strength = rms;
    return out;
}

// The strength `flattened` finds in the rings of a thickness t (nm), worked out from the model: over
// the same bins, the mean of (sinc/2)^2 cos^2 is sinc^2 / 8, held to the same fifth of the largest. The
// model is divided by it as the spectrum is by its own, or the flattened spectrum (whose rings keep
// their depth up to a node) would favour the thinner models, whose rings fade least within the band.
std::vector<double> modelStrength(const RingBins &bins, const RingModel &model, double thickness)
{
    const int count = bins.bins();
    std::vector<double> square(static_cast<std::size_t>(count)), rms(static_cast<std::size_t>(count), 0.0);
    for (int b = 0; b < count; ++b) {
        const double s = fastmath::sinc(Pi * model.lambdaK2[std::size_t(b)] * thickness) * model.blur[std::size_t(b)];
        square[std::size_t(b)] = s * s / 8;
    }
    for (int b = 0; b < count; ++b) {
        double sum = 0, w = 0;
        for (int d = b; d >= 0 && std::fabs(model.argument[std::size_t(d)] - model.argument[std::size_t(b)]) <= 2 * Pi;
             --d) {
            sum += bins.count[std::size_t(d)] * square[std::size_t(d)];
            w += bins.count[std::size_t(d)];
        }
        for (int d = b + 1;
             d < count && std::fabs(model.argument[std::size_t(d)] - model.argument[std::size_t(b)]) <= 2 * Pi; ++d) {
            sum += bins.count[std::size_t(d)] * square[std::size_t(d)];
            w += bins.count[std::size_t(d)];
        }
        rms[std::size_t(b)] = w > 0 ? std::sqrt(sum / w) : 0.0;
    }
    const double largest = rms.empty() ? 0.0 : *std::max_element(rms.begin(), rms.end());
    for (double &r : rms)
        r = std::max(r, 0.2 * largest);
    return rms;
}

// ---- the tilt ----------------------------------------------------------------------------------

// The tilt as the gradient of the program's Defocus (nm per pixel along x and y): linear in the
// region's centre, and smooth through no tilt. With the convention of tiltDefocusOffset,
// Defocus(x, y) = D0 + gx x + gy y, gx = tan(angle) p sin(axis), gy = -tan(angle) p cos(axis).
struct Gradient {
    double gx = 0, gy = 0;
};

Gradient gradientOf(const SpecimenTilt &t, double pixelSizeNm)
{
    const double g = std::tan(degreesToRadians(t.angle)) * pixelSizeNm;
    return {g * std::sin(degreesToRadians(t.axis)), -g * std::cos(degreesToRadians(t.axis))};
}

SpecimenTilt tiltOf(const Gradient &g, double pixelSizeNm)
{
    const double h = std::hypot(g.gx, g.gy);
    SpecimenTilt t;
    t.angle = radiansToDegrees(std::atan(h / pixelSizeNm));
    t.axis = h > 0 ? directionWithin(radiansToDegrees(std::atan2(g.gx, -g.gy)), 360.0) : 0.0;
    return t;
}

class TiltSearch {
public:
    TiltSearch(const RegionSpectra &regions, const RingBins &bins, const RingModel &model, double thicknessNm)
        : m_bins(bins), m_model(model), m_x(regions.x), m_y(regions.y)
    {
        m_profile = regionRingProfiles(regions, bins);
        for (int r = 0; r < regions.regions(); ++r)
            m_weight.push_back(regions.tiles[std::size_t(r)]);
        for (const double lk2 : model.lambdaK2)
            m_damping.push_back(fastmath::sinc(Pi * lk2 * thicknessNm));
    }

    int regions() const { return static_cast<int>(m_profile.size()); }

    // One region's correlation with the model at Defocus `defocus` (nm, added to the model's).
    double regionScore(int r, double defocus) const
    {
        CorrelationSums c;
        const std::vector<double> &p = m_profile[std::size_t(r)];
        for (std::size_t b = 0; b < p.size(); ++b)
            if (m_bins.count[b] > 0)
                c.add(p[b], thickCtf2(m_model.argument[b] + defocus * m_model.perDefocus[b], m_damping[b]),
                      m_bins.count[b]);
        return c.correlation();
    }

    double score(double shift, const Gradient &g) const
    {
        double total = 0, weight = 0;
        for (std::size_t r = 0; r < m_profile.size(); ++r) {
            const double d = shift + g.gx * m_x[r] + g.gy * m_y[r];
            CorrelationSums c;
            const std::vector<double> &p = m_profile[r];
            for (std::size_t b = 0; b < p.size(); ++b)
                if (m_bins.count[b] > 0)
                    c.add(p[b], thickCtf2(m_model.argument[b] + d * m_model.perDefocus[b], m_damping[b]),
                          m_bins.count[b]);
            total += m_weight[r] * c.correlation();
            weight += m_weight[r];
        }
        return weight > 0 ? total / weight : 0.0;
    }

private:
    const RingBins &m_bins;
    const RingModel &m_model;
    std::vector<double> m_x, m_y, m_weight, m_damping;
    std::vector<std::vector<double>> m_profile;
};

struct TiltFound {
    double shift = 0; // nm of Defocus at the centre, added to the plain fit's
    Gradient gradient;
    double score = 0;
};

// BOBYQA on a function of a few variables, each in its own unit, within bounds; the best point seen.
template <typename F>
std::vector<double> refineBounded(const F &f, std::vector<double> start, const std::vector<double> &unit,
                                  const std::vector<double> &lower, const std::vector<double> &upper, int evaluations)
{
    const unsigned dim = static_cast<unsigned>(start.size());
    struct Data {
        const F *f;
        const std::vector<double> *start, *unit;
        std::vector<double> best;
        double bestValue;
    } data{&f, &start, &unit, start, f(start)};
    std::vector<double> lo(dim), hi(dim), x(dim, 0.0), step(dim);
    for (unsigned a = 0; a < dim; ++a) {
        lo[a] = (lower[a] - start[a]) / unit[a];
        hi[a] = (upper[a] - start[a]) / unit[a];
        if (!(hi[a] - lo[a] > 1e-9))
            return start;
        step[a] = std::min(1.0, 0.45 * (hi[a] - lo[a]));
    }
    nlopt::opt opt(nlopt::LN_BOBYQA, dim);
    opt.set_lower_bounds(lo);
    opt.set_upper_bounds(hi);
    opt.set_max_objective(
        [](unsigned n, const double *v, double *, void *p) {
            auto *d = static_cast<Data *>(p);
            std::vector<double> at(n);
            for (unsigned a = 0; a < n; ++a)
                at[a] = (*d->start)[a] + v[a] * (*d->unit)[a];
            const double value = (*d->f)(at);
            if (value > d->bestValue) {
                d->bestValue = value;
                d->best = at;
            }
            return value;
        },
        &data);
    opt.set_xtol_abs(0.01);
    opt.set_maxeval(evaluations);
    opt.set_initial_step(step);
    double value = 0;
    try {
        opt.optimize(x, value);
    } catch (const std::runtime_error &) {
        // Round-off or a failed step: the best point seen stands.
    }
    return data.best;
}

// Each region's correlation against its defocus, tabulated over all that a plane within the search's
// tilts reaches at its place, so that the grid of tilts (and the grids of the regions' places
// shuffled) look it up rather than take it anew: with a region a tile, a large micrograph holds
// hundreds of regions.
class DefocusTable {
public:
    DefocusTable(const TiltSearch &search, const RegionSpectra &regions, double ring)
        : m_regions(regions), m_count(search.regions()), m_step(ring / 20)
    {
        double extent = 0;
        for (int r = 0; r < m_count; ++r)
            extent = std::max(extent, std::hypot(regions.x[std::size_t(r)], regions.y[std::size_t(r)]));
        const double reach = std::tan(degreesToRadians(kMaxTilt)) * regions.pixelSize * extent + m_step;
        m_half = static_cast<int>(std::ceil(reach / m_step));
        m_size = 2 * m_half + 1;
        m_table.assign(std::size_t(m_count) * std::size_t(m_size), 0.0);
        for (int r = 0; r < m_count; ++r)
            for (int i = 0; i < m_size; ++i)
                m_table[std::size_t(r) * std::size_t(m_size) + std::size_t(i)] = search.regionScore(
                    r, (i - m_half) * m_step);
        m_weight.resize(std::size_t(m_count));
        for (int r = 0; r < m_count; ++r)
            m_total += m_weight[std::size_t(r)] = regions.tiles[std::size_t(r)];
    }

    int regions() const { return m_count; }

    // The mean score without a tilt, at the model's defocus.
    double flat() const
    {
        double sum = 0;
        for (int r = 0; r < m_count; ++r)
            sum += m_weight[std::size_t(r)] * m_table[std::size_t(r) * std::size_t(m_size) + std::size_t(m_half)];
        return m_total > 0 ? sum / m_total : 0.0;
    }

    // The best mean score over the grid of tilts, region r taken at the place of region place[r].
    double grid(const std::vector<int> &place, Gradient *best) const
    {
        double top = flat();
        if (best)
            *best = {};
        for (double angle = kTiltStep; angle <= kMaxTilt + 1e-9; angle += kTiltStep)
            for (double axis = 0; axis < 360 - 1e-9; axis += kAxisStep) {
                const Gradient g = gradientOf({angle, axis}, m_regions.pixelSize);
                double sum = 0;
                for (int r = 0; r < m_count; ++r) {
                    const std::size_t at = std::size_t(place[std::size_t(r)]);
                    const double u = (g.gx * m_regions.x[at] + g.gy * m_regions.y[at]) / m_step + m_half;
                    const int i = std::clamp(static_cast<int>(std::floor(u)), 0, m_size - 2);
                    const double f = std::clamp(u - i, 0.0, 1.0);
                    const double *t = m_table.data() + std::size_t(r) * std::size_t(m_size) + std::size_t(i);
                    sum += m_weight[std::size_t(r)] * ((1 - f) * t[0] + f * t[1]);
                }
                sum = m_total > 0 ? sum / m_total : 0.0;
                if (sum > top) {
                    top = sum;
                    if (best)
                        *best = g;
                }
            }
        return top;
    }

    // The part of the spread of the regions' own best defoci (each the peak of its row) that a plane
    // through them explains, 0 to 1.
    double planeExplains() const
    {
        const PeakPlane p = peakPlane();
        if (!(p.det > 0) || !(p.dd > 0))
            return 0;
        const double gx = (p.yy * p.xd - p.xy * p.yd) / p.det, gy = (p.xx * p.yd - p.xy * p.xd) / p.det;
        return std::clamp((gx * p.xd + gy * p.yd) / p.dd, 0.0, 1.0);
    }

    // Degrees: the standard error of the axis of the plane through the regions' own best defoci,
    // from their scatter about it, at the gradient `g`; infinite where it cannot be told.
    double axisError(const Gradient &g) const
    {
        const PeakPlane p = peakPlane();
        const double norm = std::hypot(g.gx, g.gy);
        if (!(p.det > 0) || !(norm > 0))
            return HUGE_VAL;
        // The residuals about the plane of gradient g through the peaks' mean.
        double rr = 0;
        for (int r = 0; r < m_count; ++r) {
            const double e = p.d[std::size_t(r)] - g.gx * p.x[std::size_t(r)] - g.gy * p.y[std::size_t(r)];
            rr += e * e;
        }
        const double variance = rr / (m_count - 3);
        // Across the gradient: the direction that turns the axis.
        const double ux = -g.gy / norm, uy = g.gx / norm;
        const double across = variance * (ux * ux * p.yy - 2 * ux * uy * p.xy + uy * uy * p.xx) / p.det;
        return radiansToDegrees(std::sqrt(across) / norm);
    }

private:
    // The regions' own best defoci (nm, each the peak of its row) and places, both about their means,
    // with the sums a plane through them is fitted from; det is 0 with fewer than four regions.
    struct PeakPlane {
        std::vector<double> x, y, d;
        double xx = 0, xy = 0, yy = 0, xd = 0, yd = 0, dd = 0, det = 0;
    };
    PeakPlane peakPlane() const
    {
        PeakPlane p;
        if (m_count < 4)
            return p;
        const auto n = std::size_t(m_count);
        p.x.assign(m_regions.x.begin(), m_regions.x.begin() + std::ptrdiff_t(n));
        p.y.assign(m_regions.y.begin(), m_regions.y.begin() + std::ptrdiff_t(n));
        p.d.resize(n);
        for (std::size_t r = 0; r < n; ++r) {
            const double *t = m_table.data() + r * std::size_t(m_size);
            p.d[r] = double(std::max_element(t, t + m_size) - t - m_half) * m_step;
        }
        for (std::vector<double> *v : {&p.x, &p.y, &p.d}) {
            const double mean = std::accumulate(v->begin(), v->end(), 0.0) / double(n);
            for (double &e : *v)
                e -= mean;
        }
        for (std::size_t r = 0; r < n; ++r) {
            p.xx += p.x[r] * p.x[r];
            p.xy += p.x[r] * p.y[r];
            p.yy += p.y[r] * p.y[r];
            p.xd += p.x[r] * p.d[r];
            p.yd += p.y[r] * p.d[r];
            p.dd += p.d[r] * p.d[r];
        }
        p.det = p.xx * p.yy - p.xy * p.xy;
        return p;
    }

    const RegionSpectra &m_regions;
    int m_count, m_half = 0, m_size = 1;
    double m_step, m_total = 0;
    std::vector<double> m_table, m_weight;
};

std::vector<int> inPlace(int count)
{
    std::vector<int> place(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r)
        place[std::size_t(r)] = r;
    return place;
}

// How far the tilt found stands out from the regions' noise. A flat specimen's regions are alike
// wherever they lie, so a plane through them fits their noise (or the rings a thickness inverts) as
// well with their places shuffled; a tilt's regions fit it only where they are. The grid of the
// search is taken again with the regions' places permuted, and the gain over no tilt the true places
// give is returned as a multiple of the largest gain a permutation gives.
double tiltStandsOut(const DefocusTable &table)
{
    if (table.regions() < 4)
        return 0;
    std::vector<int> place = inPlace(table.regions());
    const double flat = table.flat();
    const double gain = table.grid(place, nullptr) - flat;
    std::mt19937 random(20240);
    double shuffled = 0;
    for (int k = 0; k < kPermutations; ++k) {
        std::shuffle(place.begin(), place.end(), random);
        shuffled = std::max(shuffled, table.grid(place, nullptr) - flat);
    }
    // Where no shuffling gains at all, a gain of a few thousandths of the correlation is still the
    // grid's round-off of noise, not a tilt.
    return gain / std::max(shuffled, kLeastGain);
}

TiltFound searchTilt(const TiltSearch &search, const DefocusTable &table, const RegionSpectra &regions, double ring)
{
    TiltFound best;
    best.score = table.grid(inPlace(table.regions()), &best.gradient);
    double extent = 0;
    for (int r = 0; r < regions.regions(); ++r)
        extent = std::max({extent, std::fabs(regions.x[std::size_t(r)]), std::fabs(regions.y[std::size_t(r)])});
    extent = std::max(extent, 1.0);
    const double most = std::tan(degreesToRadians(kMaxTilt)) * regions.pixelSize;
    const auto f = [&search](const std::vector<double> &v) { return search.score(v[0], {v[1], v[2]}); };
    const std::vector<double> v = refineBounded(f, {0.0, best.gradient.gx, best.gradient.gy},
                                                {ring / 4, ring / 4 / extent, ring / 4 / extent},
                                                {-2 * ring, -most, -most}, {2 * ring, most, most}, 300);
    best.shift = v[0];
    best.gradient = {v[1], v[2]};
    best.score = f(v);
    return best;
}

// ---- the last refinement -----------------------------------------------------------------------

// The corrected spectrum's band, flattened, with the terms of chi at each pixel.
struct FlatBand {
    std::vector<double> value, fixed, defocus, ax, ay, lambdaK2, weight, blur;
    std::vector<int> bin; // along the rings, for the model's own strength
    const RingBins *bins = nullptr;
    const RingModel *model = nullptr;
};

FlatBand flatBand(const PowerSpectrum &s, const RingBins &bins, const RingModel &model, const CtfModel &terms)
{
    std::vector<double> rings(s.rings.begin(), s.rings.end());
    std::vector<double> strength;
    (void)flattened(bins.average(rings), bins.count, model, &strength);
    FlatBand f;
    f.bins = &bins;
    f.model = &model;
    const int n = s.size;
    const std::size_t stride = std::max<std::size_t>(1, bins.pixel.size() / kMaxRefinePixels);
    for (std::size_t i = 0; i < bins.pixel.size(); i += stride) {
        const std::size_t at = bins.pixel[i];
        const double st = strength[std::size_t(bins.bin[i])];
        if (!(st > 0))
            continue;
        const int column = static_cast<int>(at % std::size_t(n)), row = static_cast<int>(at / std::size_t(n));
        const double kx = s.frequencyX(column), ky = s.frequencyY(row);
        const ChiTerms t = terms.terms(kx, ky);
        f.value.push_back(s.rings[at] / st);
        f.fixed.push_back(t.fixed);
        f.defocus.push_back(t.defocus);
        f.ax.push_back(t.astigmatismX);
        f.ay.push_back(t.astigmatismY);
        f.lambdaK2.push_back(terms.wavelength() * (kx * kx + ky * ky));
        f.blur.push_back(model.blur[std::size_t(bins.bin[i])]);
        f.bin.push_back(bins.bin[i]);
    }
    return f;
}

// v: Defocus (nm), ax, ay (nm), phase (rad, the whole offset), thickness (nm)
double flatScore(const FlatBand &f, const std::vector<double> &v)
{
    CorrelationSums c;
    const std::vector<double> strength = modelStrength(*f.bins, *f.model, v[4]);
    for (std::size_t i = 0; i < f.value.size(); ++i) {
        const double chi = f.fixed[i] + v[0] * f.defocus[i] + v[1] * f.ax[i] + v[2] * f.ay[i] - v[3];
        const double m = thickCtf2(chi, (v[4] > 0 ? fastmath::sinc(Pi * f.lambdaK2[i] * v[4]) : 1.0) * f.blur[i]) - 0.5;
        c.add(f.value[i], m / strength[std::size_t(f.bin[i])], 1.0);
    }
    return c.correlation();
}

// A thickness the scan found (nm), the defocus shift that goes with it (nm) and its score.
struct ThicknessPeak {
    double thickness = 0, shift = 0, score = -2;
};

struct ThicknessScan {
    std::vector<ThicknessPeak> peaks; // the profile's local maxima over thickness, best first
    bool atEnd = false;               // the best lies at the scan's end
};

// The thicknesses (nm) whose rings best match the flattened average along the rings, scanned from 0 to
// `most` in steps of `step`, with the defocus moved by up to `reach` (nm) either way in steps of
// `shiftStep`: the plain fit, which knows no thickness, takes the inverted rings past a node for
// rings of another defocus, by a few per cent. Each thickness keeps its best shift; the peaks of that
// profile are returned, for the refinement to choose from.
ThicknessScan scanThickness(const std::vector<double> &flat, const RingBins &bins, const RingModel &model, double most,
                            double step, double reach, double shiftStep)
{
    const int steps = static_cast<int>(std::ceil(most / step));
    const std::size_t count = flat.size();
    std::vector<std::vector<double>> scaled(static_cast<std::size_t>(steps) + 1); // sinc / strength per bin
    std::vector<std::vector<double>> offset(scaled.size());                       // (1 - sinc) / 2 / strength
    for (int i = 0; i <= steps; ++i) {
        const double t = std::min(most, i * step);
        const std::vector<double> strength = modelStrength(bins, model, t);
        scaled[std::size_t(i)].resize(count);
        offset[std::size_t(i)].resize(count);
        for (std::size_t b = 0; b < count; ++b) {
            const double damping = fastmath::sinc(Pi * model.lambdaK2[b] * t) * model.blur[b];
            scaled[std::size_t(i)][b] = damping / strength[b];
            offset[std::size_t(i)][b] = (0.5 * (1 - damping) - 0.5) / strength[b];
        }
    }
    const int shifts = shiftStep > 0 ? static_cast<int>(std::ceil(reach / shiftStep)) : 0;
    std::vector<double> sine(count);
    std::vector<ThicknessPeak> profile(scaled.size());
    for (int i = 0; i <= steps; ++i)
        profile[std::size_t(i)].thickness = std::min(most, i * step);
    for (int d = -shifts; d <= shifts; ++d) {
        const double moved = d * shiftStep;
        for (std::size_t b = 0; b < count; ++b)
            sine[b] = fastmath::sinSquared(model.argument[b] + moved * model.perDefocus[b]);
        for (int i = 0; i <= steps; ++i) {
            CorrelationSums c;
            const std::vector<double> &a = scaled[std::size_t(i)], &o = offset[std::size_t(i)];
            for (std::size_t b = 0; b < count; ++b)
                if (bins.count[b] > 0)
                    c.add(flat[b], a[b] * sine[b] + o[b], bins.count[b]);
            ThicknessPeak &p = profile[std::size_t(i)];
            if (c.correlation() > p.score) {
                p.score = c.correlation();
                p.shift = moved;
            }
        }
    }
    ThicknessScan scan;
    for (std::size_t i = 0; i < profile.size(); ++i)
        if ((i == 0 || profile[i].score > profile[i - 1].score)
            && (i + 1 == profile.size() || profile[i].score >= profile[i + 1].score))
            scan.peaks.push_back(profile[i]);
    std::sort(scan.peaks.begin(), scan.peaks.end(),
              [](const ThicknessPeak &a, const ThicknessPeak &b) { return a.score > b.score; });
    scan.atEnd = !scan.peaks.empty() && scan.peaks.front().thickness >= most - step;
    return scan;
}

// The tile of the regions' spectra: the smallest that samples the rings at the band's top at least
// 2 pixels apart from 75 % to 125 % of the plain fit's defocus (the tilt's range, with room), so
// that the image holds as many regions as it can; the fit's own tile is chosen for the whole range
// searched and would leave a tilted micrograph one or two.
int regionTileSize(const CtfFitOptions &o, double defocus, double a2, const MicrographImage &image, double pixelSizeNm)
{
    CtfModel model(o.instrument, o.amplitudeContrast);
    const double high = 1 / o.highResolution;
    const double spread = a2 / (2 * Pi);
    double steepest = 0;
    for (const double d : {1.25 * defocus - spread, 0.75 * defocus + spread}) {
        model.Defocus = d;
        const double h = 1e-4 * high;
        steepest = std::max(steepest, std::fabs(model.chi(high + h, 0) - model.chi(high - h, 0)) / (2 * h));
    }
    const double needed = 2 * steepest / (Pi * pixelSizeNm);
    const int side = std::min(image.width, image.height);
    int chosen = kMinTileSize;
    for (const int size : {256, 384, 512, 768, 1024, 1536, 2048}) {
        if (size > side)
            break;
        chosen = size;
        if (size >= needed)
            break;
    }
    return chosen;
}

} // namespace

double thinLimit(double wavelength, double k)
{
    return 1 / (wavelength * k * k);
}

RegionSpectra regionSpectra(const MicrographImage &image, int n, double pixelSizeNm, const ProgressCallback &progress)
{
    checkTiles(image, n);
    double sum = 0, square = 0;
    const double first = image.data.empty() ? 0.0 : image.data[0];
    for (const float v : image.data) {
        const double d = v - first;
        sum += d;
        square += d * d;
    }
    const double count = static_cast<double>(image.data.size());
    const double deviation = std::sqrt(std::max(0.0, square / count - (sum / count) * (sum / count)));
    if (!std::isfinite(deviation))
        throw OrvalisError(QStringLiteral("The micrograph's pixel values are not all finite numbers."));
    const float scale = deviation > 0 ? static_cast<float>(1 / deviation) : 1.0f;

    const std::vector<int> xs = regionTileOrigins(image.width, n), ys = regionTileOrigins(image.height, n);
    const int cx = static_cast<int>(xs.size()), cy = static_cast<int>(ys.size());
    const int most = std::clamp(static_cast<int>(std::sqrt(kMaxRegionValues) / n), 2, kMaxRegionsASide);
    const int rx = std::clamp(cx, 1, most), ry = std::clamp(cy, 1, most);
    const std::size_t half = static_cast<std::size_t>(n) * static_cast<std::size_t>(n / 2 + 1);
    std::vector<std::vector<float>> sums(std::size_t(rx * ry), std::vector<float>(half, 0.0f));
    RegionSpectra r;
    r.size = n;
    r.pixelSize = pixelSizeNm;
    r.frequencyStep = 1 / (n * pixelSizeNm);
    r.width = image.width;
    r.height = image.height;
    r.tiles.assign(std::size_t(rx * ry), 0);
    r.step = cx > 1 ? xs[1] - xs[0] : n;
    r.spanX = (cx + rx - 1) / rx;
    r.columns = rx;
    r.rows = ry;
    r.spanY = (cy + ry - 1) / ry;
    r.x.assign(std::size_t(rx * ry), 0.0);
    r.y.assign(std::size_t(rx * ry), 0.0);

    const std::vector<float> taper = edgeTaper(n);
    {
        // A tile's power weighs its pixels by the taper squared (along each axis).
        double weight = 0, moment = 0;
        for (int i = 0; i < n; ++i) {
            const double w = double(taper[std::size_t(i)]) * taper[std::size_t(i)], x = i + 0.5 - n / 2.0;
            weight += w;
            moment += w * x * x;
        }
        r.tileWidth = std::sqrt(12 * moment / weight);
    }
    const fftwf_plan plan = realToComplexPlan(n, n, PlanEffort::Measure);
    FftwArray<float> in = fftwArray<float>(std::size_t(n) * std::size_t(n));
    FftwArray<fftwf_complex> out = fftwArray<fftwf_complex>(half);
    if (!in || !out)
        throw std::bad_alloc();
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (int ty = 0; ty < cy; ++ty) {
        for (int tx = 0; tx < cx; ++tx) {
            const int x0 = xs[std::size_t(tx)], y0 = ys[std::size_t(ty)];
            double total = 0;
            for (int row = 0; row < n; ++row) {
                const float *line = image.data.data() + (std::size_t(y0) + std::size_t(row)) * width + std::size_t(x0);
                for (int c = 0; c < n; ++c)
                    total += line[c];
            }
            const auto tileMean = static_cast<float>(total / (double(n) * n));
            for (int row = 0; row < n; ++row) {
                const float *line = image.data.data() + (std::size_t(y0) + std::size_t(row)) * width + std::size_t(x0);
                float *target = in.get() + std::size_t(row) * std::size_t(n);
                for (int c = 0; c < n; ++c)
                    target[c] = (line[c] - tileMean) * scale * taper[std::size_t(row)] * taper[std::size_t(c)];
            }
            fftwf_execute_dft_r2c(plan, in.get(), out.get());
            const int region = (ty * ry / cy) * rx + tx * rx / cx;
            float *s = sums[std::size_t(region)].data();
            const fftwf_complex *o = out.get();
            for (std::size_t i = 0; i < half; ++i)
                s[i] += o[i][0] * o[i][0] + o[i][1] * o[i][1];
            r.tiles[std::size_t(region)] += 1;
            r.x[std::size_t(region)] += x0 + n / 2.0 - image.width / 2.0;
            r.y[std::size_t(region)] += y0 + n / 2.0 - image.height / 2.0;
        }
        if (progress && !progress(0.95 * (ty + 1) / cy))
            throw Cancelled();
    }

    double taperEnergy = 0;
    for (const float w : taper)
        taperEnergy += static_cast<double>(w) * w;
    const int centre = n / 2;
    for (std::size_t g = 0; g < sums.size(); ++g) {
        const int tiles = r.tiles[g];
        if (tiles == 0)
            continue;
        r.x[g] /= tiles;
        r.y[g] /= tiles;
        const double norm = deviation * deviation / (tiles * taperEnergy * taperEnergy);
        std::vector<float> power(std::size_t(n) * std::size_t(n));
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                int fx = i - centre, fy = j - centre;
                if (fx < 0) {
                    fx = -fx;
                    fy = -fy;
                }
                const std::size_t row = static_cast<std::size_t>((fy + n) % n);
                power[std::size_t(j) * std::size_t(n) + std::size_t(i)] = static_cast<float>(
                    sums[g][row * std::size_t(n / 2 + 1) + std::size_t(fx)] * norm);
            }
        r.power.push_back(std::move(power));
    }
    // Regions without tiles (none, with the grid as made) are left out together.
    std::vector<int> tiles;
    std::vector<double> x, y;
    for (std::size_t g = 0; g < sums.size(); ++g)
        if (r.tiles[g] > 0) {
            tiles.push_back(r.tiles[g]);
            x.push_back(r.x[g]);
            y.push_back(r.y[g]);
        }
    r.tiles = tiles;
    r.x = x;
    r.y = y;
    reportProgress(progress, 1.0);
    return r;
}

namespace {

// The standard deviation of a micrograph's pixels (taken from the first, so that a large offset keeps
// its digits): the tiles are scaled by it before their transforms, for the single-precision sums.
double pixelDeviation(const MicrographImage &image)
{
    // In runs of eight lanes summed apart, which the compiler keeps in vector registers; each run
    // short enough for single precision.
    constexpr std::size_t lanes = 8, run = 4096;
    double sum = 0, square = 0;
    const float first = image.data.empty() ? 0.0f : image.data[0];
    const float *data = image.data.data();
    const std::size_t count = image.data.size();
    for (std::size_t from = 0; from < count; from += run) {
        const std::size_t to = std::min(count, from + run);
        float s[lanes] = {}, q[lanes] = {};
        std::size_t i = from;
        for (; i + lanes <= to; i += lanes)
            for (std::size_t l = 0; l < lanes; ++l) {
                const float d = data[i + l] - first;
                s[l] += d;
                q[l] += d * d;
            }
        for (; i < to; ++i) {
            const float d = data[i] - first;
            s[0] += d;
            q[0] += d * d;
        }
        for (std::size_t l = 0; l < lanes; ++l) {
            sum += s[l];
            square += q[l];
        }
    }
    const double pixels = static_cast<double>(count);
    const double deviation = std::sqrt(std::max(0.0, square / pixels - (sum / pixels) * (sum / pixels)));
    if (!std::isfinite(deviation))
        throw OrvalisError(QStringLiteral("The micrograph's pixel values are not all finite numbers."));
    return deviation;
}

int correctedTileStep(const MicrographImage &image, int n)
{
    return std::min(image.width, image.height) / n >= kSideBySide ? n : n / 2;
}

// Pixels: the width of the even spread with the variance of a tile's pixels as its taper weighs them
// in its power (the taper squared).
double taperedWidth(int n)
{
    const std::vector<float> taper = edgeTaper(n);
    double weight = 0, moment = 0;
    for (int i = 0; i < n; ++i) {
        const double w = double(taper[std::size_t(i)]) * taper[std::size_t(i)], x = i + 0.5 - n / 2.0;
        weight += w;
        moment += w * x * x;
    }
    return std::sqrt(12 * moment / weight);
}

// Each tile of the corrected spectrum is taken at the defocus of its centre, so its rings hold until
// they lie too close for the tile (their period at the centre's defocus below kRingPixels pixels of
// the spectrum, where the interpolation that rescales them flattens them: the larger the tile, the
// further) or until the tilt's spread of defocus across the tile fades them (an even spread over the
// tile's width w keeps sinc(pi lambda k^2 |g| w) of their depth: the smaller the tile, the further).
// The tile chosen takes them furthest, no larger than half the image's shorter side. Measured on a
// 4096^2 micrograph at 1 Å tilted by 20 degrees, at its fitted values: tiles of 384, 512, 640, 768
// and 1024 pixels hold to 3.4, 2.9, 2.8, 2.8 and 2.9 Å (the same specimen untilted, 2.5 Å).
constexpr double kRingPixels = 3;
constexpr double kTileBlur = 2.0; // pi lambda k^2 |g| w where the tilt's spread within a tile ends the rings

int correctedTileSize(const CtfModel &centre, const SpecimenTilt &tilt, const MicrographImage &image,
                      double pixelSizeNm)
{
    const double nyquist = 1 / (2 * pixelSizeNm);
    const double gradient = std::tan(degreesToRadians(tilt.angle)) * pixelSizeNm; // nm of defocus per pixel
    const int side = std::min(image.width, image.height);
    int best = kMinTileSize;
    double bestReach = 0;
    for (const int n : {256, 384, 512, 640, 768, 1024, 1280, 1536, 2048}) {
        if (n > std::max(kMinTileSize, side / 2))
            break;
        const double step = 1 / (n * pixelSizeNm);
        double reach = nyquist;
        // The first frequency whose rings' period is below kRingPixels pixels.
        for (double k = step; k < nyquist; k += step) {
            const double h = 1e-3 * step;
            const double slope = std::fabs(centre.chi(k + h, 0) - centre.chi(k - h, 0)) / (2 * h);
            if (Pi / slope < kRingPixels * step) {
                reach = k;
                break;
            }
        }
        if (gradient > 0)
            reach = std::min(reach, std::sqrt(kTileBlur / (Pi * centre.wavelength() * gradient * taperedWidth(n))));
        if (reach > bestReach * 1.01) {
            best = n;
            bestReach = reach;
        }
    }
    return best;
}

// The interpolation of a spectrum between its pixels, tabulated over the fraction of a pixel: with 2
// taps a side linear, with 4 the cubic convolution (Keys, a = -1/2). Rings a few pixels apart lose
// much of their depth to the linear one between pixels (half of it, at 3 pixels a period, midway),
// and the more the nearer a pixel's rescaled place lies midway: on a 4096^2 micrograph tilted by 20
// degrees (tiles of 512 pixels) the cubic one holds the rings from 3.0 to 2.9 Å, a 6-tap Lanczos one
// to 2.8 Å at twice the cost.
class Kernel {
public:
    static constexpr int kSteps = 1024;
    explicit Kernel(int taps) : m_taps(taps == 4 ? 4 : 2), m_weights(std::size_t(kSteps + 1) * std::size_t(m_taps))
    {
        for (int s = 0; s <= kSteps; ++s) {
            const double t = double(s) / kSteps;
            for (int m = 0; m < m_taps; ++m) {
                const double x = std::fabs(t - (m - (m_taps / 2 - 1)));
                const double w = m_taps == 2 ? std::max(0.0, 1 - x)
                    : x < 1                  ? (1.5 * x - 2.5) * x * x + 1
                    : x < 2                  ? ((-0.5 * x + 2.5) * x - 4) * x + 2
                                             : 0.0;
                m_weights[std::size_t(s) * std::size_t(m_taps) + std::size_t(m)] = static_cast<float>(w);
            }
        }
    }
    int taps() const { return m_taps; }
    // The weights of the taps from x0 - (taps / 2 - 1) on, at x0 + fraction (0 <= fraction <= 1).
    const float *at(double fraction) const
    {
        return m_weights.data() + static_cast<std::size_t>(fraction * kSteps + 0.5) * std::size_t(m_taps);
    }

private:
    int m_taps;
    std::vector<float> m_weights;
};

// Rescales spectra (n x n, centred as PowerSpectrum::power) taken at one Defocus to the frequencies
// where the rings of `centre` fall: each pixel takes the value at the frequency, along its own
// direction, where a spectrum at the other Defocus has the centre's phase there (the astigmatism, the
// same for both, kept in that direction's defocus).
class DefocusRescaler {
public:
    DefocusRescaler(int n, double frequencyStep, const CtfModel &centre, double highest, int kernel)
        : m_n(n), m_phase(centre.phase()), m_perDefocus(centre.terms(1, 0).defocus), m_kernel(kernel)
    {
        const int middle = n / 2;
        const double reach2 = highest > 0 ? std::pow(highest / frequencyStep, 2) : 1e300; // pixels^2
        const double cs = m_phase.cs;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const std::size_t at = std::size_t(j) * std::size_t(n) + std::size_t(i);
                const bool upper = j > middle || (j == middle && i > middle);
                if (!upper && i > 0 && j > 0)
                    continue; // the mirror of an upper one
                const int x = i - middle, y = j - middle;
                const double r2 = double(x) * x + double(y) * y;
                const std::size_t mirror = upper && i > 0 && j > 0
                    ? std::size_t(n - j) * std::size_t(n) + std::size_t(n - i)
                    : at;
                const double kx = x * frequencyStep, ky = y * frequencyStep, k2 = kx * kx + ky * ky;
                const double twoFold = r2 > 0
                    ? (m_phase.extended ? m_phase.twoFoldTurned(kx, ky) : m_phase.twoFold(kx, ky))
                    : 0.0;
                const double b = m_phase.df + twoFold / std::max(k2, 1e-300);
                // The root of cs v^2 + b v = target that is k^2 itself at the centre's Defocus; the
                // same root at another.
                const double target = cs * k2 * k2 + b * k2;
                const double sign = b + 2 * cs * k2 >= 0 ? 1.0 : -1.0;
                if (r2 == 0 || r2 > reach2 || !(std::fabs(b + 2 * cs * k2) > 0)) {
                    m_direct.push_back(at);
                    if (mirror != at)
                        m_direct.push_back(mirror);
                    continue;
                }
                Pixel p;
                p.at = static_cast<std::uint32_t>(at);
                p.mirror = static_cast<std::uint32_t>(mirror);
                p.x = x;
                p.y = y;
                p.inverseK2 = 1 / k2;
                p.b = b;
                p.target = target;
                p.sign = sign;
                m_pixels.push_back(p);
            }
    }

    // sum += weight * p rescaled from the centre's Defocus plus `delta` (nm).
    void add(const float *p, double delta, double weight, double *sum) const
    {
        if (m_kernel.taps() == 4)
            addWith<4>(p, delta, weight, sum);
        else
            addWith<2>(p, delta, weight, sum);
    }

    template <int Taps> void addWith(const float *p, double delta, double weight, double *sum) const
    {
        for (const std::size_t at : m_direct)
            sum[at] += weight * p[at];
        constexpr int before = Taps / 2 - 1;
        const int n = m_n, middle = n / 2;
        const double cs = m_phase.cs, c5 = m_phase.c5, shift = m_perDefocus * delta;
        const bool round = std::fabs(cs) <= 0; // then b v = target
        const double half = round ? 0.0 : 0.5 / cs;
        for (const Pixel &q : m_pixels) {
            const double b = q.b + shift;
            double v;
            if (round)
                v = q.target / b;
            else {
                const double disc = b * b + 4 * cs * q.target;
                v = disc >= 0 ? (-b + q.sign * std::sqrt(disc)) * half : -1.0;
            }
            // C5 adds c5 v^3 (and c5 k^6 to the target): Newton's steps from there.
            for (int step = 0; c5 != 0 && step < 3 && v > 0; ++step) {
                const double slope = 3 * c5 * v * v + 2 * cs * v + b;
                if (slope == 0)
                    break;
                v -= (c5 * v * v * v + cs * v * v + b * v - q.target - c5 / (q.inverseK2 * q.inverseK2 * q.inverseK2))
                    / slope;
            }
            const double ratio = v * q.inverseK2;
            double value = p[q.at];
            if (ratio > 0.5 && ratio < 1.5) {
                const double s = std::sqrt(ratio);
                const double sx = q.x * s + middle, sy = q.y * s + middle;
                const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
                if (sx >= before && sy >= before && x0 + Taps / 2 < n && y0 + Taps / 2 < n) {
                    const float *wx = m_kernel.at(sx - x0), *wy = m_kernel.at(sy - y0);
                    const float *row = p + std::size_t(y0 - before) * std::size_t(n) + std::size_t(x0 - before);
                    float line[Taps] = {};
                    for (int r = 0; r < Taps; ++r, row += n)
                        for (int c = 0; c < Taps; ++c)
                            line[c] += wy[r] * row[c];
                    float total = 0;
                    for (int c = 0; c < Taps; ++c)
                        total += wx[c] * line[c];
                    value = total;
                }
            }
            sum[q.at] += weight * value;
            if (q.mirror != q.at)
                sum[q.mirror] += weight * value;
        }
    }

private:
    struct Pixel {
        std::uint32_t at = 0, mirror = 0;
        int x = 0, y = 0;
        double inverseK2 = 0, b = 0, target = 0, sign = 1;
    };
    int m_n;
    PhaseFactors m_phase;
    double m_perDefocus;
    Kernel m_kernel;
    std::vector<Pixel> m_pixels;
    std::vector<std::size_t> m_direct;
};

} // namespace

PowerSpectrum tiltCorrectedSpectrum(const RegionSpectra &regions, const CtfModel &centre, const SpecimenTilt *tilt,
                                    double backgroundFrequency, double highest)
{
    const int n = regions.size;
    const std::size_t pixels = std::size_t(n) * std::size_t(n);
    std::vector<double> power(pixels, 0.0);
    double total = 0;
    // Linear between pixels: the regions serve the refinement over the band, whose rings the regions'
    // tiles sample at least 2 pixels apart; the spectrum judged and shown is tiltCorrectedTiles'.
    const DefocusRescaler rescaler(n, regions.frequencyStep, centre, highest, 2);
    for (int r = 0; r < regions.regions(); ++r) {
        const std::vector<float> &p = regions.power[std::size_t(r)];
        const double w = regions.tiles[std::size_t(r)];
        total += w;
        if (!tilt) {
            for (std::size_t at = 0; at < pixels; ++at)
                power[at] += w * p[at];
            continue;
        }
        // The region's Defocus: the offset is Å of underfocus, the program's Defocus negative.
        const double delta = -angstromToNm(tiltDefocusOffset(*tilt, nmToAngstrom(regions.pixelSize),
                                                             regions.x[std::size_t(r)], regions.y[std::size_t(r)]));
        rescaler.add(p.data(), delta, w, power.data());
    }
    PowerSpectrum s;
    s.size = n;
    s.frequencyStep = regions.frequencyStep;
    for (const int t : regions.tiles)
        s.tiles += t;
    s.power.resize(pixels);
    for (std::size_t at = 0; at < pixels; ++at)
        s.power[at] = static_cast<float>(total > 0 ? power[at] / total : 0.0);
    s.rings = subtractBackground(s.power, n, s.frequencyStep, backgroundFrequency);
    return s;
}

PowerSpectrum tiltCorrectedTiles(const MicrographImage &image, int n, double pixelSizeNm, const CtfModel &centre,
                                 const SpecimenTilt &tilt, double backgroundFrequency, const ProgressCallback &progress)
{
    checkTiles(image, n);
    const double deviation = pixelDeviation(image);
    const float scale = deviation > 0 ? static_cast<float>(1 / deviation) : 1.0f;
    const int tileStep = correctedTileStep(image, n);
    const std::vector<int> xs = tileOrigins(image.width, n, tileStep), ys = tileOrigins(image.height, n, tileStep);
    const std::size_t pixels = std::size_t(n) * std::size_t(n), half = std::size_t(n) * std::size_t(n / 2 + 1);
    const double frequencyStep = 1 / (n * pixelSizeNm);
    const DefocusRescaler rescaler(n, frequencyStep, centre, 0, 4);
    const std::vector<float> taper = edgeTaper(n);
    // A few dozen transforms of a size the rest of the fit seldom takes: measuring a plan for them
    // costs more than it saves.
    const fftwf_plan plan = realToComplexPlan(n, n, PlanEffort::Estimate);
    FftwArray<float> in = fftwArray<float>(pixels);
    FftwArray<fftwf_complex> out = fftwArray<fftwf_complex>(half);
    if (!in || !out)
        throw std::bad_alloc();
    std::vector<float> tilePower(pixels);
    std::vector<double> power(pixels, 0.0);
    const std::size_t width = static_cast<std::size_t>(image.width);
    const int middle = n / 2;
    int tiles = 0;
    for (std::size_t ty = 0; ty < ys.size(); ++ty) {
        for (std::size_t tx = 0; tx < xs.size(); ++tx) {
            const int x0 = xs[tx], y0 = ys[ty];
            double sum = 0;
            for (int row = 0; row < n; ++row) {
                const float *line = image.data.data() + (std::size_t(y0) + std::size_t(row)) * width + std::size_t(x0);
                float lane[8] = {};
                int c = 0;
                for (; c + 8 <= n; c += 8)
                    for (int l = 0; l < 8; ++l)
                        lane[l] += line[c + l];
                for (; c < n; ++c)
                    lane[0] += line[c];
                for (const float l : lane)
                    sum += l;
            }
            const auto tileMean = static_cast<float>(sum / (double(n) * n));
            for (int row = 0; row < n; ++row) {
                const float *line = image.data.data() + (std::size_t(y0) + std::size_t(row)) * width + std::size_t(x0);
                float *target = in.get() + std::size_t(row) * std::size_t(n);
                for (int c = 0; c < n; ++c)
                    target[c] = (line[c] - tileMean) * scale * taper[std::size_t(row)] * taper[std::size_t(c)];
            }
            fftwf_execute_dft_r2c(plan, in.get(), out.get());
            // Centred: the transform's row of frequency fy holds kx >= 0; kx < 0 is the mirror's.
            const fftwf_complex *o = out.get();
            const std::size_t columns = std::size_t(n / 2 + 1);
            for (int j = 0; j < n; ++j) {
                const int fy = j - middle;
                const fftwf_complex *right = o + std::size_t(fy >= 0 ? fy : fy + n) * columns;
                const fftwf_complex *left = o + std::size_t(fy > 0 ? n - fy : -fy) * columns;
                float *line = tilePower.data() + std::size_t(j) * std::size_t(n);
                for (int i = 0; i < middle; ++i) {
                    const fftwf_complex &c = left[middle - i];
                    line[i] = c[0] * c[0] + c[1] * c[1];
                }
                for (int i = middle; i < n; ++i) {
                    const fftwf_complex &c = right[i - middle];
                    line[i] = c[0] * c[0] + c[1] * c[1];
                }
            }
            const double delta = -angstromToNm(tiltDefocusOffset(
                tilt, nmToAngstrom(pixelSizeNm), x0 + n / 2.0 - image.width / 2.0, y0 + n / 2.0 - image.height / 2.0));
            rescaler.add(tilePower.data(), delta, 1.0, power.data());
            ++tiles;
        }
        if (progress && !progress(0.95 * double(ty + 1) / double(ys.size())))
            throw Cancelled();
    }
    double taperEnergy = 0;
    for (const float w : taper)
        taperEnergy += static_cast<double>(w) * w;
    const double norm = deviation * deviation / (tiles * taperEnergy * taperEnergy);
    PowerSpectrum s;
    s.size = n;
    s.frequencyStep = frequencyStep;
    s.tiles = tiles;
    s.power.resize(pixels);
    for (std::size_t at = 0; at < pixels; ++at)
        s.power[at] = static_cast<float>(power[at] * norm);
    s.rings = subtractBackground(s.power, n, frequencyStep, backgroundFrequency);
    reportProgress(progress, 1.0);
    return s;
}

MicrographFit fitSpecimen(const MicrographImage &image, const CtfFitOptions &options, double pixelSizeNm,
                          const ProgressCallback &progress)
{
    const auto part = [&progress](double from, double to) -> ProgressCallback {
        return [&progress, from, to](double f) { return !progress || progress(from + (to - from) * f); };
    };
    // The plain fit first, the way a plain request takes it: its mean defocus and astigmatism start
    // everything below.
    CtfFitOptions plain = options;
    plain.fitTilt = plain.fitThickness = false;
    MicrographFit fit = fitMicrograph(image, plain, pixelSizeNm, part(0, 0.5));
    if (!fit.result.values) {
        fit.result.specimenNote = QStringLiteral("Without a fit neither the tilt nor the thickness is measured.");
        return fit;
    }
    // With neither a tilt nor a thickness reported there is nothing to correct: the plain fit's
    // spectrum, values and resolution stand as they are.
    const MicrographFit plainFit = fit;
    const double low = 1 / options.lowResolution, high = 1 / options.highResolution;
    const int n = options.tileSize > 0 ? options.tileSize
                                       : regionTileSize(options, fit.result.values->program.Defocus,
                                                        fit.result.values->program.A2, image, pixelSizeNm);
    const RegionSpectra regions = regionSpectra(image, n, pixelSizeNm, part(0.5, 0.8));
    CtfFitValues &values = *fit.result.values;
    CtfModel model = fittedModel(options, values);
    const double lambda = model.wavelength();
    const double ring = thinLimit(lambda, high); // nm of defocus that moves the top ring by one
    QStringList notes;

    // The tilt, measured on the regions' rings against a model of `thickness` (nm), which moves the
    // model's defocus to the centre's.
    const double highest = high + 1.5 * low; // the corrected spectrum's reach: the band and its box
    std::optional<SpecimenTilt> tilt;
    // A plane through fewer than three regions a side follows their noise as readily as the tilt.
    const bool measurable = regions.columns >= kMinRegionsASide && regions.rows >= kMinRegionsASide;
    QString tiltNote;
    // A tilt that stands out but whose axis is unsure: the specimen is tilted by about so much, and its
    // spread of defocus, left uncorrected, fades the rings as a thickness does.
    std::optional<SpecimenTilt> unsureTilt;
    // The tilt is measured up to where the plain fit's rings hold, where they are further than the
    // band's top: a ring there moves further with the defocus, so the plane is told apart from the
    // noise at a smaller tilt. Only as far as the regions' tiles sample the rings 2 pixels apart at a
    // quarter more defocus.
    double tiltHigh = high;
    if (values.resolution > 0) {
        CtfModel steep = model;
        steep.Defocus *= 1.25;
        const double top = std::min(1 / values.resolution, 0.8 / (2 * regions.pixelSize));
        for (double k = high; k <= top; k += regions.frequencyStep) {
            const double h = 1e-4 * k;
            const double slope = std::fabs(steep.chi(k + h, 0) - steep.chi(k - h, 0)) / (2 * h);
            if (Pi / (slope * regions.frequencyStep) < 2)
                break;
            tiltHigh = k;
        }
    }
    const auto measureTilt = [&](double thicknessNm) {
        const RingBins bins = ringBins(n, regions.frequencyStep, model.phase(), low, tiltHigh);
        const RingModel ringsOf = ringModel(bins, model);
        const TiltSearch search(regions, bins, ringsOf, thicknessNm);
        const DefocusTable table(search, regions, ring);
        const TiltFound found = searchTilt(search, table, regions, ring);
        const SpecimenTilt t = tiltOf(found.gradient, regions.pixelSize);
        // The defocus change across the whole image along the gradient, in nm.
        const double change = std::fabs(found.gradient.gx) * image.width + std::fabs(found.gradient.gy) * image.height;
        const double visible = kVisibleTilt * ring;
        tilt.reset();
        unsureTilt.reset();
        tiltNote.clear();
        // A large tilt moves the regions' peaks by rings, which a plane through their shuffled places
        // can partly follow too; there the peaks' own plane bears it out.
        const double standsOut = change < visible
            ? 0.0
            : (table.planeExplains() >= kPlaneExplains ? HUGE_VAL : tiltStandsOut(table));
        if (change < visible)
            tiltNote = QStringLiteral("No tilt is reported: the best, %1° about an axis at %2°, changes the defocus by "
                                      "%3 Å across the image, less than the band can see (a tenth of a ring at its "
                                      "top, %4 Å).")
                           .arg(number(t.angle, 1), number(t.axis, 1), number(nmToAngstrom(change), 0),
                                number(nmToAngstrom(visible), 0));
        else if (standsOut < (thicknessNm > 0 ? kStandsOutThick : kStandsOut)) {
            // Where shuffling fits better than the true places, a percentage above a hundred (once
            // 13585 %) reads as a fault rather than as the answer it is.
            const QString shuffled = standsOut >= 1
                ? QStringLiteral("their places shuffled, fit a tilt %1 % as well")
                      .arg(number(100 / std::max(standsOut, 1e-9), 0))
                : QStringLiteral("fit a tilt as well or better with their places shuffled");
            tiltNote = QStringLiteral("No tilt is reported: the best, %1° about an axis at %2°, does not stand out "
                                      "from the noise: the parts of the image, %3, and a tilt needs to fit %4 times "
                                      "better than that.")
                           .arg(number(t.angle, 1), number(t.axis, 1), shuffled,
                                number(thicknessNm > 0 ? kStandsOutThick : kStandsOut, 1));
        } else if (const double axisError = table.axisError(found.gradient); axisError > kAxisError) {
            tiltNote = QStringLiteral("No tilt is reported: the best, %1° about an axis at %2°, is not sure: the "
                                      "parts of the image scatter about its plane so that its axis is known to %3° "
                                      "(one standard error), and a tilt is reported with its axis known to %4°.")
                           .arg(number(t.angle, 1), number(t.axis, 1), number(std::min(axisError, 180.0), 1),
                                number(kAxisError, 0));
            unsureTilt = t;
        } else {
            tilt = t;
            model.Defocus += found.shift;
        }
    };
    if (options.fitTilt && !measurable)
        tiltNote = QStringLiteral("No tilt is reported: the micrograph, %1 x %2 pixels, is too small to measure one: "
                                  "it holds %3 x %4 tiles of %5 pixels a side, and a tilt needs %6 along each side.")
                       .arg(image.width)
                       .arg(image.height)
                       .arg(regions.columns)
                       .arg(regions.rows)
                       .arg(n)
                       .arg(kMinRegionsASide);
    // The tilt is measured first without a thickness: before the rings are corrected for the tilt,
    // its blur looks like a thickness (a spread of defocus through the image instead of its depth).
    if (options.fitTilt && measurable)
        measureTilt(0);
    fit.spectrum = tiltCorrectedSpectrum(regions, model, tilt ? &*tilt : nullptr, low, highest);
    reportProgress(progress, 0.9);
    const CtfModel beforeThickness = model;

    // The thickness on the corrected spectrum; with a thickness whose node lies in the band, the
    // tilt again against the thick model (the rings past the node are inverted), and the thickness
    // again on the spectrum corrected so.
    double thickness = 0;
    bool tooThick = false;
    std::vector<ThicknessPeak> thicknessPeaks; // the last scan's, each with its own defocus (nm)
    const double most = thinLimit(lambda, low);
    // The scan along the rings of `along`: its peaks, each with its own defocus (nm).
    const auto scanAlong = [&](const CtfModel &along) {
        const RingBins bins = ringBins(n, regions.frequencyStep, along.phase(), low, high);
        RingModel ringsOf = ringModel(bins, along);
        if (tilt) {
            const Gradient g = gradientOf(*tilt, regions.pixelSize);
            setTiltBlur(ringsOf, regions, g.gx, g.gy);
        }
        std::vector<double> rings(fit.spectrum.rings.begin(), fit.spectrum.rings.end());
        ThicknessScan scan = scanThickness(flattened(bins.average(rings), bins.count, ringsOf), bins, ringsOf, most,
                                           0.05 * ring, kThicknessDefocusReach * std::fabs(along.Defocus), 0.1 * ring);
        for (ThicknessPeak &p : scan.peaks)
            p.shift += along.Defocus;
        return scan;
    };
    const auto measureThickness = [&] {
        const ThicknessScan scan = scanAlong(model);
        tooThick = scan.atEnd;
        thicknessPeaks.assign(scan.peaks.begin(),
                              scan.peaks.begin()
                                  + std::min<std::ptrdiff_t>(kThicknessPeaks, std::ptrdiff_t(scan.peaks.size())));
        if (!scan.peaks.empty()) {
            thickness = scan.peaks.front().thickness;
            model.Defocus = scan.peaks.front().shift;
        }
    };
    if (options.fitThickness) {
        measureThickness();
        // Only a tilt already borne out is measured again: a thickness inverts rings but makes no
        // plane, and against a thick model whose defocus the scan has moved, a flat specimen's
        // regions can fit one by chance.
        if (options.fitTilt && measurable && thickness >= ring && !tooThick) {
            measureTilt(thickness);
            fit.spectrum = tiltCorrectedSpectrum(regions, model, tilt ? &*tilt : nullptr, low, highest);
            measureThickness();
        }
    }
    if (!tiltNote.isEmpty())
        notes << tiltNote;

    // The last refinement on the corrected spectrum, its band flattened along the rings of a model.
    const CtfModel bare(options.instrument, options.amplitudeContrast);
    struct Band {
        RingBins bins;
        RingModel rings;
        FlatBand flat;
    };
    const auto bandAlong = [&](const CtfModel &along) {
        auto b = std::make_unique<Band>(); // flat points into bins and rings: built in place
        b->bins = ringBins(n, regions.frequencyStep, along.phase(), low, high);
        b->rings = ringModel(b->bins, along);
        if (tilt) {
            const Gradient g = gradientOf(*tilt, regions.pixelSize);
            setTiltBlur(b->rings, regions, g.gx, g.gy);
        }
        b->flat = flatBand(fit.spectrum, b->bins, b->rings, bare);
        return b;
    };
    std::unique_ptr<Band> band = bandAlong(model);
    QString thicknessDoubt;
    if (!band->flat.value.empty()) {
        const double ax = model.A2 * std::cos(2 * model.azimuth), ay = model.A2 * std::sin(2 * model.azimuth);
        const double offset = model.phaseOffset();
        const double a2Unit = 2 * Pi * ring / 4;
        const auto score = [&band](const std::vector<double> &v) { return flatScore(band->flat, v); };
        std::vector<double> unit{ring / 4, a2Unit, a2Unit, Pi / 16, 0.05 * ring};
        std::vector<double> lower{options.defocusFrom, -options.maxA2, -options.maxA2, offset - Pi, 0.0};
        std::vector<double> upper{options.defocusTo, options.maxA2, options.maxA2, offset + Pi, most};
        if (!options.fitPhaseShift)
            lower[3] = upper[3] = offset;
        if (!options.fitThickness)
            lower[4] = upper[4] = 0;
        // v: Defocus, ax, ay, the phase offset, the thickness; the bounds pinned are left out of the search.
        const auto refineFrom = [&](const std::vector<double> &from, int evaluations) {
            std::vector<int> free;
            std::vector<double> s, u, lo, hi;
            for (int a = 0; a < 5; ++a)
                if (upper[std::size_t(a)] > lower[std::size_t(a)]) {
                    free.push_back(a);
                    s.push_back(std::clamp(from[std::size_t(a)], lower[std::size_t(a)], upper[std::size_t(a)]));
                    u.push_back(unit[std::size_t(a)]);
                    lo.push_back(lower[std::size_t(a)]);
                    hi.push_back(upper[std::size_t(a)]);
                }
            const auto partial = [&](const std::vector<double> &v) {
                std::vector<double> all = from;
                for (std::size_t a = 0; a < free.size(); ++a)
                    all[std::size_t(free[a])] = v[a];
                for (int a = 0; a < 5; ++a)
                    if (!(upper[std::size_t(a)] > lower[std::size_t(a)]))
                        all[std::size_t(a)] = lower[std::size_t(a)];
                return all;
            };
            return partial(refineBounded([&](const std::vector<double> &v) { return score(partial(v)); }, s, u, lo, hi,
                                         evaluations));
        };
        std::vector<double> best;
        if (options.fitThickness && !thicknessPeaks.empty()) {
            // The scan's best peaks along the plain fit's rings and along round ones: a thick specimen's
            // inverted rings can lead the plain fit to an astigmatism that is not there, and the scan
            // along its rings to another thickness and defocus that fit those smeared rings as well.
            std::vector<std::vector<double>> found;
            for (const ThicknessPeak &p : thicknessPeaks)
                found.push_back({p.shift, ax, ay, offset, p.thickness});
            if (model.A2 > 0) {
                CtfModel round = model;
                round.A2 = 0;
                const ThicknessScan scan = scanAlong(round);
                for (std::size_t p = 0; p < std::min<std::size_t>(kThicknessPeaks, scan.peaks.size()); ++p)
                    found.push_back({scan.peaks[p].shift, 0.0, 0.0, offset, scan.peaks[p].thickness});
            }
            for (auto &f : found)
                f = refineFrom(f, 150);
            std::sort(found.begin(), found.end(),
                      [&](const std::vector<double> &x, const std::vector<double> &y) { return score(x) > score(y); });
            // The best again, and the best of another thickness, on the band flattened along the best's
            // own rings: where the two fit about as well, the band does not tell the thickness, nor the
            // defocus that goes with it.
            CtfModel along = model;
            along.Defocus = found.front()[0];
            along.A2 = std::hypot(found.front()[1], found.front()[2]);
            along.azimuth = along.A2 > 0 ? std::atan2(found.front()[2], found.front()[1]) / 2 : 0.0;
            band = bandAlong(along);
            best = refineFrom(found.front(), 400);
            const double thin = kThinMargin * ring;
            if (best[4] >= thin && best[4] < most * 0.98)
                for (const auto &f : found)
                    if (std::fabs(f[4] - best[4]) > std::max(kThicknessApart * best[4], ring)) {
                        const std::vector<double> rival = refineFrom(f, 400);
                        const double taken = score(best), other = score(rival);
                        const double gap = taken > 0 ? 1 - other / taken : 0.0;
                        if (gap < kThicknessTold) {
                            // The better of the two first (on this band the rival can come out ahead).
                            const bool ahead = other > taken;
                            const std::vector<double> &first = ahead ? rival : best, &second = ahead ? best : rival;
                            const double by = ahead ? (other > 0 ? 1 - taken / other : 0.0) : gap;
                            thicknessDoubt =
                                QStringLiteral("No thickness is reported: the rings fit %1 Å (at a mean defocus of %2 "
                                               "Å) only %3 % better than %4 Å (at %5 Å), and a thickness must fit %6 % "
                                               "better than any other to be sure; the fit without a thickness stands.")
                                    .arg(number(nmToAngstrom(first[4]), 0), number(-nmToAngstrom(first[0]), 0),
                                         number(100 * std::max(0.0, by), 1), number(nmToAngstrom(second[4]), 0),
                                         number(-nmToAngstrom(second[0]), 0), number(100 * kThicknessTold, 0));
                        }
                        break;
                    }
            if (!thicknessDoubt.isEmpty()) {
                // Without a thickness: the tilt's own model, refined with none.
                lower[4] = upper[4] = 0;
                band = bandAlong(beforeThickness);
                const double bx = beforeThickness.A2 * std::cos(2 * beforeThickness.azimuth),
                             by = beforeThickness.A2 * std::sin(2 * beforeThickness.azimuth);
                best = refineFrom({beforeThickness.Defocus, bx, by, offset, 0.0}, 400);
            }
        } else {
            best = refineFrom({model.Defocus, ax, ay, offset, thickness}, 400);
        }
        model.Defocus = best[0];
        model.A2 = std::hypot(best[1], best[2]);
        model.azimuth = model.A2 > 0 ? std::atan2(best[2], best[1]) / 2 : 0.0;
        if (options.fitPhaseShift)
            model.phaseShift = best[3] - std::asin(options.amplitudeContrast);
        thickness = best[4];
        // The plain fit's test for a phase shift left out compares rings without a thickness, and
        // the inverted rings past a thick specimen's node look like a shifted phase: taken again
        // with the thickness, as the plain test takes it (shifts in steps of 7.5 degrees, the
        // defocus a ring's width either way), the doubt stands only if a shift still explains the
        // rings markedly better.
        if ((fit.result.doubts & FitWantsPhaseShift) && thickness >= ring) {
            const double taken = score(best);
            double freeScore = taken, freeShift = 0;
            for (int p = 0; p < 24; ++p)
                for (int d = -10; d <= 10; ++d) {
                    std::vector<double> v = best;
                    v[0] += d * ring / 10;
                    v[3] = best[3] + p * Pi / 24;
                    const double sc = score(v);
                    if (sc > freeScore) {
                        freeScore = sc;
                        freeShift = v[3] - std::asin(options.amplitudeContrast);
                    }
                }
            if (freeScore < (1 + kPhaseShiftGain) * taken)
                fit.result.doubts &= ~unsigned(FitWantsPhaseShift);
            else {
                const double shift = std::fmod(freeShift, Pi);
                fit.result.freePhaseShift = radiansToDegrees(shift < 0 ? shift + Pi : shift);
                fit.result.freePhaseScore = freeScore / taken * fit.result.score;
            }
        }
    }

    values.program.Defocus = model.Defocus;
    values.program.A2 = model.A2;
    values.program.azimuth = model.A2 > 0 ? twoFoldAngle(radiansToDegrees(model.azimuth)) : 0.0;
    values.cryoEm = toCryoEmDefocus(values.program);
    if (options.fitPhaseShift) {
        double shift = std::fmod(model.phaseShift, Pi);
        values.phaseShift = radiansToDegrees(shift < 0 ? shift + Pi : shift);
    }
    values.tilt = tilt;
    if (options.fitThickness) {
        const double thin = kThinMargin * ring;
        if (!thicknessDoubt.isEmpty())
            notes << thicknessDoubt;
        else if (unsureTilt && thickness >= thin)
            // Over 8 noise realisations a 200 nm specimen tilted by 20°, its axis unsure, came out 70 to
            // 320 Å thin: the tilt's blur taken for the depth's.
            notes << QStringLiteral("No thickness is reported: the specimen looks tilted by about %1° but the tilt "
                                    "is not sure, and a tilt's spread of defocus, left uncorrected, fades the rings "
                                    "as a thickness does.")
                         .arg(number(unsureTilt->angle, 0));
        else if (tooThick || thickness >= most * 0.98)
            notes << QStringLiteral("No thickness is reported: the rings look thicker than the band can measure, "
                                    "the first node of their fading lying below its low end (%1 Å thick and more).")
                         .arg(number(nmToAngstrom(most), 0));
        else if (thickness < thin)
            notes << QStringLiteral("No thickness is reported: the specimen is thin for this band, the first node of "
                                    "its rings' fading (at 1 / (wavelength × thickness)) lying beyond the band's top "
                                    "(thinner than %1 Å).")
                         .arg(number(nmToAngstrom(thin), 0));
        else
            values.thickness = nmToAngstrom(thickness);
    }
    // The rings the fit holds, judged and shown on the tiles corrected one by one at their own defocus
    // (correctedTileSize): the regions' spectrum the values were refined on reaches the band alone.
    if (tilt)
        fit.spectrum = tiltCorrectedTiles(image, correctedTileSize(model, *tilt, image, pixelSizeNm), pixelSizeNm,
                                          fittedModel(options, values), *tilt, low, part(0.9, 1));
    values.resolution = fitAgreement(fit.spectrum, fittedModel(options, values), low).resolution;
    fit.result.tileSize = fit.spectrum.size; // the spectrum the values were judged by
    if (!values.tilt && !values.thickness)
        fit = plainFit;
    fit.result.specimenNote = notes.join(QLatin1Char(' '));
    reportProgress(progress, 1.0);
    return fit;
}

} // namespace orvalis
