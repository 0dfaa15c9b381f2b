#include "micrograph/ctffit.h"

#include "core/ctffunctions.h"
#include "core/fastmath.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/correlationsums.h"
#include "micrograph/ringaverage.h"

#include <nlopt.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace orvalis {

namespace {

constexpr double kPixelsPerRing = 2.5;  // the spectrum's pixels per period of CTF^2 at the band's top
constexpr int kCandidates = 3;          // peaks of the defocus scan refined
constexpr double kRingsFirstBand = 4.0; // rings spanned by the first band of the refinement
constexpr double kBandGrowth = 1.4;     // the ratio of one band's top to the one before
constexpr int kGridPixels = 8000;       // pixels taken for the coarse astigmatism grid
constexpr int kMaxGridSteps = 160;      // the grid's points from its centre to its edge, at most
constexpr int kPhaseRows = 12;          // phase shifts scanned, over the 180 degrees CTF^2 repeats in
constexpr int kBackgroundPasses = 2;    // backgrounds taken again with the fitted model's rings left out
constexpr int kTileSizes[] = {256, 384, 512, 768, 1024, 1536, 2048};

QString angstromText(double nm)
{
    return QString::number(nmToAngstrom(nm), 'g', 4);
}

// The band's pixels, in order of frequency so that a lower band top is a shorter prefix, with the
// terms of chi at each (one half of the centrosymmetric spectrum, the central cross left out).
struct Band {
    std::vector<double> k, value, fixed, defocus, astigmatismX, astigmatismY;
    std::vector<std::size_t> index; // of the pixel in the spectrum
    // Empty, or the rings' expected depth at each pixel, which the model's CTF^2 is scaled by, and
    // each pixel's weight in the score (see matchedBand).
    std::vector<double> envelope, weight;

    int count() const { return static_cast<int>(k.size()); }
    int upTo(double top) const { return static_cast<int>(std::upper_bound(k.begin(), k.end(), top) - k.begin()); }
};

Band collectBand(const PowerSpectrum &s, const CtfModel &model, double low, double high)
{
    struct Pixel {
        double k;
        int column, row;
    };
    std::vector<Pixel> pixels;
    const int n = s.size, centre = n / 2;
    for (int j = centre; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (std::abs(i - centre) <= 1 || std::abs(j - centre) <= 1)
                continue; // the tiles' edges leak into the axes
            const double k = std::hypot(s.frequencyX(i), s.frequencyY(j));
            if (k >= low && k <= high)
                pixels.push_back({k, i, j});
        }
    std::sort(pixels.begin(), pixels.end(), [](const Pixel &a, const Pixel &b) { return a.k < b.k; });
    Band b;
    for (std::vector<double> *v : {&b.k, &b.value, &b.fixed, &b.defocus, &b.astigmatismX, &b.astigmatismY})
        v->reserve(pixels.size());
    for (const Pixel &p : pixels) {
        const ChiTerms t = model.terms(s.frequencyX(p.column), s.frequencyY(p.row));
        b.k.push_back(p.k);
        b.value.push_back(s.ringsAt(p.column, p.row));
        b.fixed.push_back(t.fixed);
        b.defocus.push_back(t.defocus);
        b.astigmatismX.push_back(t.astigmatismX);
        b.astigmatismY.push_back(t.astigmatismY);
        b.index.push_back(s.index(p.column, p.row));
    }
    return b;
}

// The values fitted: chi = fixed + defocus * Defocus + ax * astigmatismX + ay * astigmatismY, and the
// CTF^2 = sin^2(chi - phase), phase = asin Q + the phase shift.
struct Parameters {
    double defocus = 0; // nm
    double ax = 0;      // nm, A2 cos 2t
    double ay = 0;      // nm, A2 sin 2t
    double phase = 0;   // rad
};

using Sums = CorrelationSums;

// sin(x)^2 within about 1e-11 for |x| up to 2^20, in operations on doubles alone (no branch, no
// integer), so that the compiler may take several pixels at once: the score's own sine, where the
// fit spends most of its time. The phase reduced by pi/2 with a two-part constant; sin to degree 11
// on |r| <= pi/4; the odd quadrants take 1 - sin^2.
inline double ringSinSquared(double x)
{
    constexpr double shifter = 0x1.8p52; // adding it rounds to an integer
    constexpr double twoOverPi = 0x1.45f306dc9c883p-1;
    constexpr double pio2Hi = 0x1.921fb54400000p+0, pio2Lo = 0x1.0b4611a626331p-34;
    const double j = (x * twoOverPi + shifter) - shifter;
    const double r = (x - j * pio2Hi) - j * pio2Lo;
    const double r2 = r * r;
    double p = -1.0 / 39916800.0;
    p = p * r2 + 1.0 / 362880.0;
    p = p * r2 - 1.0 / 5040.0;
    p = p * r2 + 1.0 / 120.0;
    p = p * r2 - 1.0 / 6.0;
    const double sine = r + r * r2 * p, s2 = sine * sine;
    const double half = (j * 0.5 + shifter) - shifter;
    const double odd = std::fabs(j - 2 * half); // 1 in the odd quadrants, else 0
    return s2 + odd * (1 - 2 * s2);
}

// The score over the first `count` pixels of the band, every `stride`-th taken.
__attribute__((target_clones("avx2", "default"))) double bandScore(const Band &b, int count, const Parameters &p,
                                                                   int stride = 1)
{
    const double *fixed = b.fixed.data(), *defocus = b.defocus.data(), *x = b.astigmatismX.data(),
                 *y = b.astigmatismY.data(), *value = b.value.data();
    const bool weighted = !b.envelope.empty();
    const double *envelope = weighted ? b.envelope.data() : nullptr, *weight = weighted ? b.weight.data() : nullptr;
    Sums s;
    int i = 0;
    if (stride == 1) {
        // Lanes of partial sums, added in a fixed order at the end: the compiler may take them as
        // vectors, where one running sum would be a chain of dependent additions.
        constexpr int lanes = 4;
        double sv[lanes] = {}, svv[lanes] = {}, sm[lanes] = {}, smm[lanes] = {}, svm[lanes] = {}, sw[lanes] = {};
        if (weighted) {
            for (; i + lanes <= count; i += lanes)
                for (int l = 0; l < lanes; ++l) {
                    const double chi = fixed[i + l] + p.defocus * defocus[i + l] + p.ax * x[i + l] + p.ay * y[i + l]
                        - p.phase;
                    const double w = weight[i + l], m = envelope[i + l] * ringSinSquared(chi), v = value[i + l];
                    sv[l] += w * v;
                    svv[l] += w * v * v;
                    sm[l] += w * m;
                    smm[l] += w * m * m;
                    svm[l] += w * v * m;
                    sw[l] += w;
                }
        } else {
            for (; i + lanes <= count; i += lanes)
                for (int l = 0; l < lanes; ++l) {
                    const double chi = fixed[i + l] + p.defocus * defocus[i + l] + p.ax * x[i + l] + p.ay * y[i + l]
                        - p.phase;
                    const double m = ringSinSquared(chi), v = value[i + l];
                    sv[l] += v;
                    svv[l] += v * v;
                    sm[l] += m;
                    smm[l] += m * m;
                    svm[l] += v * m;
                    sw[l] += 1;
                }
        }
        for (int l = 0; l < lanes; ++l) {
            s.v += sv[l];
            s.vv += svv[l];
            s.m += sm[l];
            s.mm += smm[l];
            s.vm += svm[l];
            s.weight += sw[l];
        }
    }
    for (; i < count; i += stride) {
        const double chi = fixed[i] + p.defocus * defocus[i] + p.ax * x[i] + p.ay * y[i] - p.phase;
        if (weighted)
            s.add(value[i], envelope[i] * ringSinSquared(chi), weight[i]);
        else
            s.add(value[i], ringSinSquared(chi));
    }
    return s.correlation();
}

// The rings averaged over circles in bins of one spectrum pixel: the scan's data.
struct Profile {
    std::vector<double> value, weight, fixed, defocus;
};

Profile circularProfile(const Band &b, double low, double step)
{
    const int bins = static_cast<int>(std::floor((b.k.back() - low) / step)) + 1;
    Profile p;
    std::vector<double> k(static_cast<std::size_t>(bins), 0.0), fixed = k, defocus = k;
    p.value = k;
    p.weight = k;
    for (int i = 0; i < b.count(); ++i) {
        const auto bin = static_cast<std::size_t>(std::clamp(int((b.k[i] - low) / step), 0, bins - 1));
        p.value[bin] += b.value[i];
        p.weight[bin] += 1;
        // The circular parts of chi; the astigmatism averages out over a circle.
        fixed[bin] += b.fixed[i];
        defocus[bin] += b.defocus[i];
    }
    for (std::size_t bin = 0; bin < p.value.size(); ++bin)
        if (p.weight[bin] > 0) {
            p.value[bin] /= p.weight[bin];
            p.fixed.push_back(fixed[bin] / p.weight[bin]);
            p.defocus.push_back(defocus[bin] / p.weight[bin]);
        } else {
            p.fixed.push_back(0);
            p.defocus.push_back(0);
        }
    return p;
}

double profileScore(const Profile &p, double defocus, double phase)
{
    Sums s;
    for (std::size_t bin = 0; bin < p.value.size(); ++bin)
        if (p.weight[bin] > 0)
            s.add(p.value[bin], fastmath::sinSquared(p.fixed[bin] + defocus * p.defocus[bin] - phase), p.weight[bin]);
    return s.correlation();
}

struct Candidate {
    Parameters parameters;
    double score = -2;
};

// The peaks of the scan over defocus (and phase shifts, taken as a ring), best first.
std::vector<Candidate> scanDefocus(const Profile &profile, const CtfFitOptions &o, double step,
                                   const std::vector<double> &phases, const ProgressCallback &progress)
{
    // Within int: fitSearchProblem refused every range of more than kFitMaxScanEvaluations steps.
    const int steps = static_cast<int>(std::ceil((o.defocusTo - o.defocusFrom) / step)) + 1;
    const int rows = static_cast<int>(phases.size());
    std::vector<double> score(static_cast<std::size_t>(steps) * static_cast<std::size_t>(rows));
    const auto defocusAt = [&](int d) { return std::min(o.defocusTo, o.defocusFrom + d * step); };
    for (int r = 0; r < rows; ++r) {
        for (int d = 0; d < steps; ++d)
            score[static_cast<std::size_t>(r) * steps + d] = profileScore(profile, defocusAt(d), phases[r]);
        reportProgress(progress, 0.2 * (r + 1) / rows);
    }
    std::vector<Candidate> peaks;
    for (int r = 0; r < rows; ++r)
        for (int d = 0; d < steps; ++d) {
            const double s = score[static_cast<std::size_t>(r) * steps + d];
            bool peak = true;
            for (int dr = rows > 1 ? -1 : 0; dr <= (rows > 1 ? 1 : 0) && peak; ++dr)
                for (int dd = -1; dd <= 1 && peak; ++dd) {
                    const int rr = (r + dr + rows) % rows, nd = d + dd;
                    if ((dr != 0 || dd != 0) && nd >= 0 && nd < steps
                        && score[static_cast<std::size_t>(rr) * steps + nd] > s)
                        peak = false;
                }
            if (peak) {
                Candidate c;
                c.parameters.defocus = defocusAt(d);
                c.parameters.phase = phases[r];
                c.score = s;
                peaks.push_back(c);
            }
        }
    std::sort(peaks.begin(), peaks.end(), [](const Candidate &a, const Candidate &b) { return a.score > b.score; });
    if (peaks.size() > static_cast<std::size_t>(kCandidates))
        peaks.resize(kCandidates);
    return peaks;
}

// The local refinement of one candidate over the first `count` pixels, in units of about a quarter
// ring at the band's top so that BOBYQA's one trust region fits every parameter.
class Refinement {
public:
    Refinement(const Band &band, const CtfFitOptions &options, double wavelength)
        : m_band(band), m_options(options), m_wavelength(wavelength)
    {
    }

    Candidate refine(const Candidate &start, int count, double top)
    {
        m_count = count;
        m_start = start.parameters;
        m_best = start;
        m_best.score = bandScore(m_band, count, start.parameters);
        // nm of defocus for a quarter ring at the top: d chi / dD = pi lambda k^2
        m_defocusUnit = 1.0 / (4 * m_wavelength * top * top);
        m_astigmatismUnit = 2 * Pi * m_defocusUnit; // A2 moves chi half as much as defocus
        const int dim = m_options.fitPhaseShift ? 4 : 3;
        m_pivot = dim == 4 ? meanDefocusTerm(count) : 0.0;
        std::vector<double> lower(dim), upper(dim), x(dim, 0.0);
        lower[0] = (m_options.defocusFrom - m_start.defocus) / m_defocusUnit;
        upper[0] = (m_options.defocusTo - m_start.defocus) / m_defocusUnit;
        for (int a = 1; a <= 2; ++a) {
            const double at = a == 1 ? m_start.ax : m_start.ay;
            lower[a] = (-m_options.maxA2 - at) / m_astigmatismUnit;
            upper[a] = (m_options.maxA2 - at) / m_astigmatismUnit;
        }
        if (dim == 4) {
            lower[3] = -Pi / kPhaseUnit;
            upper[3] = Pi / kPhaseUnit;
        }
        for (int a = 0; a < dim; ++a)
            if (upper[a] - lower[a] < 1e-9)
                return m_best; // a bound pinned: nothing to move
        nlopt::opt opt(nlopt::LN_BOBYQA, static_cast<unsigned>(dim));
        opt.set_lower_bounds(lower);
        opt.set_upper_bounds(upper);
        opt.set_max_objective(&Refinement::objective, this);
        opt.set_xtol_abs(0.005);
        opt.set_maxeval(400);
        std::vector<double> step(dim);
        for (int a = 0; a < dim; ++a)
            step[a] = std::min(1.0, 0.45 * (upper[a] - lower[a]));
        opt.set_initial_step(step);
        double value = 0;
        try {
            opt.optimize(x, value);
        } catch (const std::runtime_error &) {
            // Round-off or a failed step: the best point seen stands.
        }
        return m_best;
    }

private:
    static constexpr double kPhaseUnit = Pi / 16; // rad

    Parameters at(const double *x, unsigned dim) const
    {
        Parameters p = m_start;
        p.defocus += x[0] * m_defocusUnit;
        p.ax += x[1] * m_astigmatismUnit;
        p.ay += x[2] * m_astigmatismUnit;
        if (dim == 4)
            p.phase += x[3] * kPhaseUnit + x[0] * m_defocusUnit * m_pivot;
        // A2 beyond its limit in the (ax, ay) plane, whose bounds are a square, is held to the circle.
        const double a2 = std::hypot(p.ax, p.ay);
        if (a2 > m_options.maxA2) {
            p.ax *= m_options.maxA2 / a2;
            p.ay *= m_options.maxA2 / a2;
        }
        return p;
    }

    // With the phase shift free, a change of defocus moves every ring's phase by d chi / dD, and the
    // phase shift takes most of that back: the two are nearly one direction of the score, a long
    // narrow ridge along which BOBYQA stops short of the peak (restarted from where it stopped, it
    // moves on by ångströms, and the fits keep part of their start's error: the plain fit's, which
    // lies too close to focus with a phase plate). So the phase follows the defocus by the band's
    // mean d chi / dD, weighted as the score weighs the pixels' slopes: a step of defocus alone then
    // turns the rings about the band's middle, a step of phase alone shifts them all, and the two
    // steps are about independent.
    double meanDefocusTerm(int count) const
    {
        const bool weighted = !m_band.envelope.empty();
        double sum = 0, weight = 0;
        for (int i = 0; i < count; ++i) {
            const double w = weighted
                ? m_band.weight[std::size_t(i)] * m_band.envelope[std::size_t(i)] * m_band.envelope[std::size_t(i)]
                : 1.0;
            sum += w * m_band.defocus[std::size_t(i)];
            weight += w;
        }
        return weight > 0 ? sum / weight : 0.0;
    }

    static double objective(unsigned dim, const double *x, double *gradient, void *data)
    {
        (void)gradient; // derivative-free
        auto *self = static_cast<Refinement *>(data);
        const Parameters p = self->at(x, dim);
        const double s = bandScore(self->m_band, self->m_count, p);
        if (s > self->m_best.score) {
            self->m_best.score = s;
            self->m_best.parameters = p;
        }
        return s;
    }

    const Band &m_band;
    const CtfFitOptions &m_options;
    double m_wavelength;
    int m_count = 0;
    Parameters m_start;
    Candidate m_best;
    double m_defocusUnit = 1, m_astigmatismUnit = 1;
    double m_pivot = 0; // rad per nm: how the phase follows the defocus (meanDefocusTerm)
};

// The best astigmatism on a grid over the (ax, ay) disc, spaced so that no astigmatism lies further
// than a quarter ring at the band's top from a grid point.
Candidate astigmatismGrid(const Band &band, const Candidate &start, int count, double top, double wavelength,
                          double maxA2)
{
    // nm of A2: chi moves by pi/4 at `top`; coarser when that would take more than kMaxGridSteps a
    // side, so that a wide astigmatism limit at a fine band costs seconds, not hours (the
    // refinement that follows finds the quarter ring from a coarser start as well).
    const double spacing = std::max(0.5 * Pi / (wavelength * top * top), maxA2 / kMaxGridSteps);
    const int steps = static_cast<int>(std::ceil(maxA2 / spacing));
    const int stride = std::max(1, count / kGridPixels);
    Candidate best = start;
    best.score = bandScore(band, count, start.parameters, stride);
    for (int i = -steps; i <= steps; ++i)
        for (int j = -steps; j <= steps; ++j) {
            Parameters p = start.parameters;
            p.ax = i * spacing;
            p.ay = j * spacing;
            if ((i == 0 && j == 0) || std::hypot(p.ax, p.ay) > maxA2 + 1e-9)
                continue;
            const double s = bandScore(band, count, p, stride);
            if (s > best.score) {
                best.score = s;
                best.parameters = p;
            }
        }
    best.score = bandScore(band, count, best.parameters);
    return best;
}

double modelAt(const ChiTerms &t, const Parameters &p)
{
    return fastmath::sinSquared(t.fixed + p.defocus * t.defocus + p.ax * t.astigmatismX + p.ay * t.astigmatismY
                                - p.phase);
}

// The square about the spectrum's centre that holds every box of the background (the box mean of
// width sqrt(2) low, boxBackground) about a pixel of the band, a fifth of the spectrum's pixels or
// fewer for the usual bands: the amplitudes there, the model's terms within the circle those boxes
// reach, and where the band's pixels lie in it. Made once a fit: each background taken again and
// the matched band read only this.
struct Neighbourhood {
    int side = 0;
    double reach2 = 0;              // pixels^2 from the square's centre (side / 2, side / 2) within which terms hold
    std::vector<double> amplitude;  // sqrt(power), side x side, row after row
    std::vector<ChiTerms> terms;    // side x side; zero beyond the reach
    std::vector<std::size_t> local; // the band's pixels, in its order
};

Neighbourhood neighbourhoodOf(const Band &band, const PowerSpectrum &s, const CtfModel &model, double low)
{
    Neighbourhood h;
    const int n = s.size;
    const double top = band.k.back() / s.frequencyStep;                                // pixels
    const double half = std::max(3.0, std::sqrt(2.0) * low / s.frequencyStep / 2 + 1); // the box's half width, pixels
    h.side = std::min(n, 2 * (static_cast<int>(std::ceil(top + half)) + 2));
    const double reach = top + std::sqrt(2.0) * half;
    h.reach2 = reach * reach;
    const int side = h.side, origin = n / 2 - side / 2, centre = side / 2;
    const std::size_t pixels = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    h.amplitude.resize(pixels);
    h.terms.resize(pixels);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const std::size_t at = static_cast<std::size_t>(j) * side + i;
            h.amplitude[at] = std::sqrt(std::max(0.0f, s.powerAt(origin + i, origin + j)));
            const double r2 = double(i - centre) * (i - centre) + double(j - centre) * (j - centre);
            if (r2 <= h.reach2)
                h.terms[at] = model.terms(s.frequencyX(origin + i), s.frequencyY(origin + j));
        }
    h.local.resize(band.index.size());
    for (std::size_t i = 0; i < band.index.size(); ++i) {
        const std::size_t at = band.index[i];
        const std::size_t column = at % std::size_t(n) - std::size_t(origin),
                          row = at / std::size_t(n) - std::size_t(origin);
        h.local[i] = row * std::size_t(side) + column;
    }
    return h;
}

bool within(const Neighbourhood &h, std::size_t at)
{
    const double c = h.side / 2;
    const double i = double(at % std::size_t(h.side)) - c, j = double(at / std::size_t(h.side)) - c;
    return i * i + j * j <= h.reach2;
}

// The band's values again, the background now the box mean of the amplitudes less the model's rings
// scaled to them. The plain box is narrower than the broad first rings of a small defocus and takes
// part of them for background, which moves what is left of them: by a few nm of defocus, and a few
// degrees of phase shift, with a phase plate.
void remodelBackground(Band &band, const Neighbourhood &h, double frequencyStep, const Parameters &p,
                       double backgroundFrequency)
{
    Sums fit;
    for (int i = 0; i < band.count(); ++i)
        fit.add(band.value[i],
                modelAt({band.fixed[i], band.defocus[i], band.astigmatismX[i], band.astigmatismY[i]}, p));
    const double varM = fit.mm - fit.m * fit.m / fit.weight;
    const double scale = varM > 0 ? (fit.vm - fit.v * fit.m / fit.weight) / varM : 0.0;

    std::vector<double> amplitude = h.amplitude;
    for (std::size_t at = 0; at < amplitude.size(); ++at)
        if (within(h, at))
            amplitude[at] -= scale * modelAt(h.terms[at], p);
    const std::vector<double> background = boxBackground(amplitude, h.side, frequencyStep, backgroundFrequency);
    for (int i = 0; i < band.count(); ++i) {
        const std::size_t at = h.local[std::size_t(i)];
        band.value[std::size_t(i)] = h.amplitude[at] - background[at];
    }
}

// Solves the n x n system a x = b (row after row) in place by elimination with partial pivoting;
// false when it is singular.
bool solveLinear(std::vector<double> &a, std::vector<double> &b, int n)
{
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[std::size_t(r * n + c)]) > std::fabs(a[std::size_t(pivot * n + c)]))
                pivot = r;
        if (!(std::fabs(a[std::size_t(pivot * n + c)]) > 1e-300))
            return false;
        if (pivot != c) {
            for (int k = 0; k < n; ++k)
                std::swap(a[std::size_t(c * n + k)], a[std::size_t(pivot * n + k)]);
            std::swap(b[std::size_t(c)], b[std::size_t(pivot)]);
        }
        for (int r = c + 1; r < n; ++r) {
            const double f = a[std::size_t(r * n + c)] / a[std::size_t(c * n + c)];
            for (int k = c; k < n; ++k)
                a[std::size_t(r * n + k)] -= f * a[std::size_t(c * n + k)];
            b[std::size_t(r)] -= f * b[std::size_t(c)];
        }
    }
    for (int r = n - 1; r >= 0; --r) {
        double v = b[std::size_t(r)];
        for (int k = r + 1; k < n; ++k)
            v -= a[std::size_t(r * n + k)] * b[std::size_t(k)];
        b[std::size_t(r)] = v / a[std::size_t(r * n + r)];
    }
    return true;
}

constexpr int kEnvelopeTerms = 4; // Legendre polynomials in the band's frequency, degree 0 to 3

void legendre(double t, double *l)
{
    l[0] = 1;
    l[1] = t;
    for (int m = 2; m < kEnvelopeTerms; ++m)
        l[m] = ((2 * m - 1) * t * l[m - 1] - (m - 1) * l[m - 2]) / m;
}

// The band made for the last refinement: the spectrum's amplitudes over their background, the
// model's CTF^2 scaled by the rings' depth, and each pixel weighted by its noise.
//
// The amplitude is about background + G(k) CTF^2, the depth G falling with the envelope, the
// noise's standard deviation growing with background + G CTF^2. The plain score compares with
// CTF^2 alone and weighs a pixel at the band's top, where the rings are faint, as much as one at its
// foot; and its background, the box mean less a single scale of the model, takes part of the deep
// low rings for background and leaves part of the faint high ones in, which moves the rings it
// fits: by tens of ångströms of astigmatism at a small defocus. Here G is measured, a cubic in k:
// since the box mean is linear, amplitude - box(amplitude) = offset(k) + sum_m g_m (L_m CTF^2 -
// box(L_m CTF^2)) exactly for a smooth background, a linear regression for the g_m and the offset's
// terms (which take up what the box leaves of the background's curvature). The score over the band
// is then the weighted correlation of (amplitude - background) / background with G CTF^2 /
// background: least squares with the right model and weights.
//
// false when the rings' depth comes out at 0 or below throughout (a spectrum without rings).
bool matchedBand(Band &band, const Neighbourhood &h, double frequencyStep, const Parameters &p, double low, double high)
{
    const int count = band.count(), side = h.side;
    const auto t = [low, high](double k) { return (2 * k - low - high) / (high - low); };

    const std::size_t pixels = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    const std::vector<double> &amplitude = h.amplitude;
    const std::vector<std::size_t> &local = h.local;
    std::vector<std::vector<double>> term(kEnvelopeTerms, std::vector<double>(pixels, 0.0)); // L_m CTF^2
    const int centre = side / 2;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            const std::size_t at = static_cast<std::size_t>(j) * side + i;
            const double r2 = double(i - centre) * (i - centre) + double(j - centre) * (j - centre);
            if (r2 <= h.reach2) {
                const double ctf2 = modelAt(h.terms[at], p);
                double l[kEnvelopeTerms];
                legendre(t(std::sqrt(r2) * frequencyStep), l);
                for (int m = 0; m < kEnvelopeTerms; ++m)
                    term[std::size_t(m)][at] = l[m] * ctf2;
            }
        }
    std::vector<double> boxAmplitude(static_cast<std::size_t>(count)), ctf2(static_cast<std::size_t>(count));
    {
        const std::vector<double> mean = boxBackground(amplitude, side, frequencyStep, low);
        for (int i = 0; i < count; ++i) {
            boxAmplitude[std::size_t(i)] = mean[local[std::size_t(i)]];
            ctf2[std::size_t(i)] = term[0][local[std::size_t(i)]]; // L_0 = 1
        }
    }
    // box(L_m CTF^2) at the band's pixels.
    std::vector<double> boxTerm(static_cast<std::size_t>(count) * kEnvelopeTerms);
    for (int m = 0; m < kEnvelopeTerms; ++m) {
        const std::vector<double> mean = boxBackground(term[std::size_t(m)], side, frequencyStep, low);
        for (int i = 0; i < count; ++i)
            boxTerm[std::size_t(i) * kEnvelopeTerms + std::size_t(m)] = mean[local[std::size_t(i)]];
    }

    constexpr int terms = 2 * kEnvelopeTerms;
    std::vector<double> normal(terms * terms, 0.0), right(terms, 0.0);
    for (int i = 0; i < count; ++i) {
        double l[kEnvelopeTerms], x[terms];
        legendre(t(band.k[std::size_t(i)]), l);
        for (int m = 0; m < kEnvelopeTerms; ++m) {
            x[m] = l[m];
            x[kEnvelopeTerms + m] = l[m] * ctf2[std::size_t(i)]
                - boxTerm[std::size_t(i) * kEnvelopeTerms + std::size_t(m)];
        }
        const double y = amplitude[local[std::size_t(i)]] - boxAmplitude[std::size_t(i)];
        for (int r = 0; r < terms; ++r) {
            right[std::size_t(r)] += x[r] * y;
            for (int c = 0; c <= r; ++c)
                normal[std::size_t(r * terms + c)] += x[r] * x[c];
        }
    }
    for (int r = 0; r < terms; ++r)
        for (int c = r + 1; c < terms; ++c)
            normal[std::size_t(r * terms + c)] = normal[std::size_t(c * terms + r)];
    if (!solveLinear(normal, right, terms))
        return false;

    band.envelope.resize(band.k.size());
    band.weight.resize(band.k.size());
    bool rings = false;
    for (int i = 0; i < count; ++i) {
        double l[kEnvelopeTerms];
        legendre(t(band.k[std::size_t(i)]), l);
        double depth = 0, background = boxAmplitude[std::size_t(i)];
        for (int m = 0; m < kEnvelopeTerms; ++m) {
            const double g = right[std::size_t(kEnvelopeTerms + m)];
            depth += g * l[m];
            background += right[std::size_t(m)] * l[m] - g * boxTerm[std::size_t(i) * kEnvelopeTerms + std::size_t(m)];
        }
        if (!(depth > 0 && background > 0)) {
            // No rings measured here: the pixel takes no part.
            band.value[std::size_t(i)] = 0;
            band.envelope[std::size_t(i)] = 0;
            band.weight[std::size_t(i)] = 0;
            continue;
        }
        const double relative = depth / background;
        rings = true;
        band.value[std::size_t(i)] = (amplitude[local[std::size_t(i)]] - background) / background;
        band.envelope[std::size_t(i)] = relative;
        // The noise's variance grows with background + G CTF^2: in amplitude, on average over a
        // ring, about 1 + G / background times the background's alone.
        band.weight[std::size_t(i)] = 1 / (1 + relative);
    }
    return rings;
}

// The variance (nm^2) the noise gives the fitted astigmatism, summed over its two components (ax,
// ay): the sandwich estimate of the matched band's weighted least squares at the fit, value = offset
// + scale * envelope * CTF^2(defocus, ax, ay, phase), with each pixel's residual as its noise. The
// spectrum's neighbouring pixels are not independent (the tiles' tapered edges spread each
// frequency over its neighbours, by 3 % of the power at one pixel and 2 % at two, 1.3 times the
// variance of independent pixels in all), so the residuals' products are taken over every pair
// within kCorrelationLag pixels of each other, not each pixel with itself alone: on round
// micrographs this gives the spread over noise realisations (15 Å of U - V, where independent pixels
// would give 12).
constexpr int kCorrelationLag = 3;

double astigmatismVariance(const Band &b, const Neighbourhood &hood, const Parameters &p, bool fitPhase)
{
    Sums fit;
    const int count = b.count();
    for (int i = 0; i < count; ++i)
        if (b.weight[std::size_t(i)] > 0) {
            const double chi = b.fixed[i] + p.defocus * b.defocus[i] + p.ax * b.astigmatismX[i]
                + p.ay * b.astigmatismY[i] - p.phase;
            fit.add(b.value[i], b.envelope[i] * ringSinSquared(chi), b.weight[i]);
        }
    const double varM = fit.mm - fit.m * fit.m / fit.weight;
    if (!(varM > 0))
        return 0;
    const double scale = (fit.vm - fit.v * fit.m / fit.weight) / varM;
    const double offset = (fit.v - scale * fit.m) / fit.weight;
    constexpr int n = 6;
    const int dim = fitPhase ? n : n - 1;
    const auto jacobian = [&](int i, double *j, double &e) {
        const double chi = b.fixed[i] + p.defocus * b.defocus[i] + p.ax * b.astigmatismX[i] + p.ay * b.astigmatismY[i]
            - p.phase;
        const double m = b.envelope[i] * ringSinSquared(chi);
        const double slope = scale * b.envelope[i] * (2 * ringSinSquared(chi + Pi / 4) - 1);
        e = b.value[i] - offset - scale * m;
        j[0] = 1;
        j[1] = m;
        j[2] = slope * b.defocus[i];
        j[3] = slope * b.astigmatismX[i];
        j[4] = slope * b.astigmatismY[i];
        j[5] = -slope;
    };
    std::vector<double> h(std::size_t(dim * dim), 0.0);
    for (int i = 0; i < count; ++i) {
        const double w = b.weight[std::size_t(i)];
        if (!(w > 0))
            continue;
        double j[n], e;
        jacobian(i, j, e);
        for (int r = 0; r < dim; ++r)
            for (int c = 0; c <= r; ++c)
                h[std::size_t(r * dim + c)] += w * j[r] * j[c];
    }
    for (int r = 0; r < dim; ++r)
        for (int c = r + 1; c < dim; ++c)
            h[std::size_t(r * dim + c)] = h[std::size_t(c * dim + r)];
    std::vector<double> row[2];
    for (int k = 0; k < 2; ++k) {
        std::vector<double> m = h;
        row[k].assign(std::size_t(dim), 0.0);
        row[k][std::size_t(3 + k)] = 1;
        if (!solveLinear(m, row[k], dim))
            return 0;
    }
    // Each pixel's share of the two components' errors, laid out where it lies in the spectrum.
    const std::size_t side = std::size_t(hood.side);
    std::vector<double> ux(side * side, 0.0), uy(side * side, 0.0);
    for (int i = 0; i < count; ++i) {
        const double w = b.weight[std::size_t(i)];
        if (!(w > 0))
            continue;
        double j[n], e;
        jacobian(i, j, e);
        double x = 0, y = 0;
        for (int r = 0; r < dim; ++r) {
            x += row[0][std::size_t(r)] * j[r];
            y += row[1][std::size_t(r)] * j[r];
        }
        ux[hood.local[std::size_t(i)]] = w * e * x;
        uy[hood.local[std::size_t(i)]] = w * e * y;
    }
    // Sums over each row's window first, then over the rows of a pixel's window.
    const long lag = kCorrelationLag, s = long(side);
    std::vector<double> rowX(side * side, 0.0), rowY(side * side, 0.0);
    for (long r = 0; r < s; ++r) {
        const std::size_t start = std::size_t(r * s);
        double x = 0, y = 0;
        for (long c = 0; c < std::min(s, lag); ++c) {
            x += ux[start + std::size_t(c)];
            y += uy[start + std::size_t(c)];
        }
        for (long c = 0; c < s; ++c) {
            if (c + lag < s) {
                x += ux[start + std::size_t(c + lag)];
                y += uy[start + std::size_t(c + lag)];
            }
            if (c - lag - 1 >= 0) {
                x -= ux[start + std::size_t(c - lag - 1)];
                y -= uy[start + std::size_t(c - lag - 1)];
            }
            rowX[start + std::size_t(c)] = x;
            rowY[start + std::size_t(c)] = y;
        }
    }
    double xx = 0, yy = 0;
    for (int i = 0; i < count; ++i) {
        const long at = long(hood.local[std::size_t(i)]), r0 = at / s, c0 = at % s;
        double nx = 0, ny = 0;
        for (long r = std::max(0L, r0 - lag); r <= std::min(s - 1, r0 + lag); ++r) {
            nx += rowX[std::size_t(r * s + c0)];
            ny += rowY[std::size_t(r * s + c0)];
        }
        xx += ux[std::size_t(at)] * nx;
        yy += uy[std::size_t(at)] * ny;
    }
    return std::max(0.0, xx + yy);
}

// The steepest the phase gets within the band and the search's limits (rad per nm^-1).
double steepestPhase(const CtfFitOptions &o)
{
    CtfModel model(o.instrument, o.amplitudeContrast);
    const double low = 1 / o.lowResolution, high = 1 / o.highResolution;
    const double spread = o.maxA2 / (2 * Pi); // nm of defocus the astigmatism adds or takes
    double steepest = 0;
    for (const double defocus : {o.defocusFrom - spread, o.defocusTo + spread})
        for (int i = 0; i <= 16; ++i) {
            const double k = low + (high - low) * i / 16, h = 1e-4 * k;
            model.Defocus = defocus;
            steepest = std::max(steepest, std::fabs(model.chi(k + h, 0) - model.chi(k - h, 0)) / (2 * h));
        }
    return steepest;
}

int chooseTileSize(const CtfFitOptions &o, const MicrographImage &image, double pixelSizeNm)
{
    // CTF^2 repeats every pi of phase: its period in k is pi / slope, a spectrum pixel 1 / (n p).
    const double needed = kPixelsPerRing * steepestPhase(o) / (Pi * pixelSizeNm);
    const int side = std::min(image.width, image.height);
    int chosen = 0;
    for (const int n : kTileSizes) {
        if (n > side)
            break;
        chosen = n;
        if (n >= needed && n >= kDefaultTileSize)
            break;
    }
    return chosen > 0 ? chosen : kMinTileSize; // too small an image: computePowerSpectrum says so
}

// equalPhaseAverage along the fitted model's rings, value for value, with half the equivalent
// frequencies: the model's phase is even (no three-fold term), so a pixel and its mirror through
// the centre, (n - i, n - j), have the same one to the last bit.
RingAverage fittedRingAverage(const PowerSpectrum &s, const CtfModel &fitted)
{
    const int n = s.size, centre = n / 2;
    const double step = s.frequencyStep;
    const PhaseFactors phase = fitted.phase();
    std::vector<double> k(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (int j = n - 1; j >= 0; --j) // the mirrors of the rows above the centre come first
        for (int i = 0; i < n; ++i) {
            const std::size_t at = static_cast<std::size_t>(j) * n + i;
            if (j < centre && i > 0 && j > 0)
                k[at] = k[static_cast<std::size_t>(n - j) * n + (n - i)];
            else
                k[at] = equivalentRoundFrequency(phase, (i - centre) * step, (j - centre) * step);
        }
    const auto pixel = [centre, step](double f) { return static_cast<int>(std::lround(f / step)) + centre; };
    return equalPhaseAverage(s.rings, n, step, [&](double kx, double ky) {
        return k[static_cast<std::size_t>(pixel(ky)) * n + static_cast<std::size_t>(pixel(kx))];
    });
}

// The defocus change that moves the ring at the band's top (k, nm^-1) by one ring spacing: d chi / dD
// = pi lambda k^2, and CTF^2 repeats every pi.
double ringWidth(double wavelength, double k)
{
    return 1 / (wavelength * k * k);
}

// True when the rings' average matches better past the end `edge` of the defocus range than at the
// fit's `found` defocus: the scan is taken on past the end by three rings' width or half the end's
// defocus, whichever is more (a micrograph at 3000 Å fitted from 5000 Å is found so), though never
// across focus, and only points more than a scan step past the end count, so that a micrograph
// truly at the end (where the fit lies within a ring's width of it) stays trusted.
bool bettersPastEnd(const Profile &profile, double found, double phase, double edge, double outwards, double step)
{
    const double ring = 10 * step;
    double reach = std::max(3 * ring, 0.5 * std::fabs(edge));
    if (outwards > 0 && edge < 0)
        reach = std::min(reach, -edge); // not past focus
    const int steps = static_cast<int>(std::min(4000.0, std::ceil(reach / step)));
    const double atFound = profileScore(profile, found, phase);
    for (int i = 2; i <= steps; ++i)
        if (profileScore(profile, edge + outwards * i * step, phase) > atFound)
            return true;
    return false;
}

// The best score with the phase shift free near the fit: every shift in steps of 7.5 degrees, each
// with the defocus moved up to a ring's width either way (astigmatism kept), over a sample of the
// band's pixels.
Candidate bestFreePhase(const Band &band, const Parameters &at, double ring)
{
    // sin^2(chi - psi) = (1 - cos 2chi cos 2psi - sin 2chi sin 2psi) / 2, and a correlation ignores
    // the offset and the scale: at each defocus one pass over the pixels gathers the sums that give
    // the score at every shift. The plain band's pixels weigh alike.
    constexpr int shifts = 24, steps = 10;
    const int stride = std::max(1, band.count() / kGridPixels);
    double score[shifts][2 * steps + 1];
    for (int d = -steps; d <= steps; ++d) {
        const double defocus = at.defocus + d * ring / steps;
        double w = 0, v = 0, vv = 0, c = 0, sn = 0, cc = 0, ss = 0, cs = 0, vc = 0, vs = 0;
        for (int i = 0; i < band.count(); i += stride) {
            const double chi = band.fixed[i] + defocus * band.defocus[i] + at.ax * band.astigmatismX[i]
                + at.ay * band.astigmatismY[i] - at.phase;
            const double value = band.value[i], cos2 = std::cos(2 * chi), sin2 = std::sin(2 * chi);
            w += 1;
            v += value;
            vv += value * value;
            c += cos2;
            sn += sin2;
            cc += cos2 * cos2;
            ss += sin2 * sin2;
            cs += cos2 * sin2;
            vc += value * cos2;
            vs += value * sin2;
        }
        for (int phase = 0; phase < shifts; ++phase) {
            const double a = std::cos(2 * phase * Pi / shifts), b = std::sin(2 * phase * Pi / shifts);
            // The model -(a cos 2chi + b sin 2chi).
            const double m = -(a * c + b * sn), mm = a * a * cc + 2 * a * b * cs + b * b * ss, vm = -(a * vc + b * vs);
            const double varV = vv - v * v / w, varM = mm - m * m / w;
            score[phase][d + steps] = w > 0 && varV > 0 && varM > 0 ? (vm - v * m / w) / std::sqrt(varV * varM) : 0.0;
        }
    }
    Candidate best;
    for (int phase = 0; phase < shifts; ++phase)
        for (int d = -steps; d <= steps; ++d)
            if (score[phase][d + steps] > best.score) {
                best.score = score[phase][d + steps];
                best.parameters = at;
                best.parameters.phase = at.phase + phase * Pi / shifts;
                best.parameters.defocus = at.defocus + d * ring / steps;
            }
    return best;
}

} // namespace

QString fitSearchProblem(const CtfFitOptions &o)
{
    // The scan's step, as fitCtf takes it: a tenth of a ring at the band's top. Counted in double,
    // which holds any range and band.
    const double lambda = CtfModel(o.instrument, o.amplitudeContrast).wavelength();
    const double high = 1 / o.highResolution;
    const double steps = std::ceil((o.defocusTo - o.defocusFrom) * 10 * lambda * high * high) + 1;
    const double rows = o.fitPhaseShift ? kPhaseRows : 1;
    if (steps * rows <= kFitMaxScanEvaluations)
        return {};
    return QStringLiteral("The search is too large: the defocus range of %1 Å, scanned at a tenth of a ring at the "
                          "band's top of %2 Å, takes %3 steps%4, more than the %5 the fit allows; narrow the defocus "
                          "range or end the band at a lower resolution%6.")
        .arg(QString::number(nmToAngstrom(o.defocusTo - o.defocusFrom), 'g', 6), angstromText(o.highResolution),
             QString::number(steps, 'g', 3),
             o.fitPhaseShift ? QStringLiteral(" at each of %1 phase shifts").arg(kPhaseRows) : QString(),
             QString::number(kFitMaxScanEvaluations, 'g', 3),
             o.fitPhaseShift ? QStringLiteral(", or do not fit the phase shift") : QString());
}

QString fitDoubtText(const CtfFitResult &r, const FitLimitNames &names)
{
    if (!r.values || r.doubts == 0)
        return {};
    QStringList reasons;
    if (r.doubts & (FitAtNearFocusEnd | FitAtFarFocusEnd)) {
        const bool near = (r.doubts & FitAtNearFocusEnd) != 0;
        reasons << QStringLiteral("the rings match better beyond the %1 end of the defocus range searched (%2 Å "
                                  "underfocus) than at the fit; widen the range with %3")
                       .arg(near ? QStringLiteral("near-focus") : QStringLiteral("far-from-focus"),
                            QString::number(nmToAngstrom(-r.edgeDefocus), 'f', 0),
                            near ? names.nearFocusEnd : names.farFocusEnd);
    }
    if (r.doubts & FitAtAstigmatismLimit)
        reasons << QStringLiteral("its astigmatism lies at the largest searched (defocus U - V of %1 Å) and a wider "
                                  "search takes more; raise it with %2")
                       .arg(QString::number(defocusDifferenceOfA2(r.astigmatismLimit), 'f', 0), names.astigmatism);
    if (r.doubts & FitWantsPhaseShift)
        reasons << QStringLiteral("a phase shift of about %1° explains the rings markedly better (score %2 against "
                                  "%3); fit it with %4")
                       .arg(QString::number(r.freePhaseShift, 'f', 0), QString::number(r.freePhaseScore, 'f', 3),
                            QString::number(r.score, 'f', 3), names.phaseShift);
    return QStringLiteral("Not reliable: %1.").arg(reasons.join(QStringLiteral("; ")));
}

QStringList fitDoubtKeys(unsigned doubts)
{
    QStringList keys;
    if (doubts & FitAtNearFocusEnd)
        keys << QStringLiteral("nearFocusEnd");
    if (doubts & FitAtFarFocusEnd)
        keys << QStringLiteral("farFocusEnd");
    if (doubts & FitAtAstigmatismLimit)
        keys << QStringLiteral("astigmatismLimit");
    if (doubts & FitWantsPhaseShift)
        keys << QStringLiteral("phaseShift");
    return keys;
}

FitAgreement fitAgreement(const PowerSpectrum &spectrum, const CtfModel &model, double lowestFrequency)
{
    FitAgreement a;
    a.average = fittedRingAverage(spectrum, model);
    a.modelCtf2.resize(a.average.value.size());
    for (std::size_t b = 0; b < a.modelCtf2.size(); ++b)
        a.modelCtf2[b] = model.roundCtfSquared(static_cast<double>(b) * spectrum.frequencyStep);
    a.agreement = ringAgreement(a.average.value, a.modelCtf2, spectrum.frequencyStep, lowestFrequency);
    a.resolution = a.agreement.agreedUpTo > 0 ? 1 / a.agreement.agreedUpTo : 0.0;
    return a;
}

void checkFitOptions(const CtfFitOptions &options, double pixelSizeNm)
{
    const FitProblem problem = fitRequestProblem(fitRequestOf(options),
                                                 {FitVoice::Engine, pixelSizeNm, true, &options});
    if (!problem.isEmpty())
        throw OrvalisError(problem.text);
}

int fitTileSize(const CtfFitOptions &options, const MicrographImage &image, double pixelSizeNm)
{
    checkFitOptions(options);
    return chooseTileSize(options, image, pixelSizeNm);
}

int fitTileStep(int tileSize)
{
    return 3 * tileSize / 4;
}

CtfModel fittedModel(const CtfFitOptions &options, const CtfFitValues &values)
{
    CtfModel model(options.instrument, options.amplitudeContrast);
    model.setDefocus(values.program);
    if (options.fitPhaseShift)
        model.setPhaseShiftDegrees(values.phaseShift);
    else
        model.phaseShift = options.phaseShift;
    model.thickness = angstromToNm(values.thickness.value_or(0));
    return model;
}

CtfFitResult fitCtf(const PowerSpectrum &spectrum, const CtfFitOptions &options, const ProgressCallback &progress)
{
    const int n = spectrum.size;
    const bool valid = n >= 4 && spectrum.frequencyStep > 0
        && spectrum.rings.size() == static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    // The options first, whatever the spectrum: a wrong request is the message that helps.
    checkFitOptions(options, valid ? 1 / (spectrum.frequencyStep * n) : 0.0);
    if (!valid)
        throw OrvalisError(QStringLiteral("There is no spectrum to fit."));
    const double step = spectrum.frequencyStep;
    const double low = 1 / options.lowResolution, high = 1 / options.highResolution;
    if ((high - low) / step < 3)
        throw OrvalisError(QStringLiteral("The band to fit, from %1 Å to %2 Å, spans fewer than three pixels of the "
                                          "spectrum; widen it or use a larger tile.")
                               .arg(angstromText(options.lowResolution), angstromText(options.highResolution)));

    CtfModel model(options.instrument, options.amplitudeContrast);
    model.phaseShift = options.fitPhaseShift ? 0 : options.phaseShift;
    Band band = collectBand(spectrum, model, low, high);
    if (band.count() < 16)
        throw OrvalisError(QStringLiteral("The band to fit holds too few pixels of the spectrum; widen it or use a "
                                          "larger tile."));
    reportProgress(progress, 0.02);

    // Scan: a tenth of a ring at the band's top per step.
    const double lambda = model.wavelength();
    const double scanStep = 1.0 / (10 * lambda * high * high);
    std::vector<double> phases;
    if (options.fitPhaseShift)
        for (int i = 0; i < kPhaseRows; ++i)
            phases.push_back(model.phaseOffset() + i * Pi / kPhaseRows);
    else
        phases.push_back(model.phaseOffset());
    const Profile profile = circularProfile(band, low, step);
    std::vector<Candidate> candidates = scanDefocus(profile, options, scanStep, phases, progress);
    if (options.start && candidates.size() > 1)
        candidates.resize(1);

    // Refinement of each peak over growing bands.
    Refinement refinement(band, options, lambda);
    Candidate best;
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        Candidate current = candidates[c];
        // The first band spans kRingsFirstBand rings at the candidate's defocus.
        CtfModel round = model;
        round.Defocus = current.parameters.defocus;
        const double chiLow = round.chi(low, 0);
        double top = high;
        for (int i = 1; i <= 64; ++i) {
            const double k = low + (high - low) * i / 64;
            if (std::fabs(round.chi(k, 0) - chiLow) >= kRingsFirstBand * Pi) {
                top = k;
                break;
            }
        }
        if (options.start) {
            const double a2 = std::min(options.start->A2, options.maxA2), t = degreesToRadians(options.start->azimuth);
            current.parameters.ax = a2 * std::cos(2 * t);
            current.parameters.ay = a2 * std::sin(2 * t);
        } else {
            current = astigmatismGrid(band, current, band.upTo(top), top, lambda, options.maxA2);
        }
        for (;;) {
            current = refinement.refine(current, band.upTo(top), top);
            if (top >= high)
                break;
            top = std::min(high, top * kBandGrowth);
        }
        if (current.score > best.score)
            best = current;
        reportProgress(progress, 0.2 + 0.6 * static_cast<double>(c + 1) / candidates.size());
    }
    const Neighbourhood hood = neighbourhoodOf(band, spectrum, model, low);
    for (int pass = 0; pass < kBackgroundPasses && best.score > 0; ++pass) {
        remodelBackground(band, hood, step, best.parameters, low);
        best = refinement.refine(best, band.count(), high);
        reportProgress(progress, 0.8 + 0.1 * (pass + 1) / kBackgroundPasses);
    }
    double astigmatismNoise = 0; // nm^2, the variance noise gives |(ax, ay)|^2 (astigmatismVariance)
    if (best.score > 0) {
        // The values come from the better-founded score; the score reported stays the plain one.
        Band matched = band;
        if (matchedBand(matched, hood, step, best.parameters, low, high)) {
            Refinement last(matched, options, lambda);
            const Parameters refined = last.refine(best, matched.count(), high).parameters;
            // Both scores peak at about the same place; one far lower on the plain score means the
            // depth was measured wrong (a spectrum unlike any the model makes), and the plain fit stands.
            const double score = bandScore(band, band.count(), refined);
            if (score >= 0.95 * best.score) {
                best.parameters = refined;
                best.score = score;
                astigmatismNoise = astigmatismVariance(matched, hood, refined, options.fitPhaseShift);
            }
        }
    }

    CtfFitResult result;
    result.tileSize = n;
    result.pixels = band.count();
    result.score = best.score;
    result.significance = best.score * std::sqrt(static_cast<double>(band.count()));
    if (!(result.significance >= kFitSignificance)) {
        result.message = QStringLiteral("No reliable fit: the best score, %1, is within what noise reaches "
                                        "(%2 standard deviations of noise, %3 needed).")
                             .arg(result.score, 0, 'f', 4)
                             .arg(result.significance, 0, 'f', 1)
                             .arg(kFitSignificance, 0, 'f', 0);
        reportProgress(progress, 1.0);
        return result;
    }

    // Doubts: the ends of the search, and a phase shift left out.
    const double ring = ringWidth(lambda, high);
    const Parameters &p = best.parameters;
    // A fit near an end may be the end's answer rather than the micrograph's, and one far from
    // both may be an alias (twice the true defocus matches every other ring): both show as a
    // better match of the rings past an end.
    if (bettersPastEnd(profile, p.defocus, p.phase, options.defocusTo, 1, scanStep)) {
        result.doubts |= FitAtNearFocusEnd;
        result.edgeDefocus = options.defocusTo;
    } else if (bettersPastEnd(profile, p.defocus, p.phase, options.defocusFrom, -1, scanStep)) {
        result.doubts |= FitAtFarFocusEnd;
        result.edgeDefocus = options.defocusFrom;
    }
    const double ringA2 = 2 * Pi * ring;
    result.astigmatismLimit = options.maxA2;
    if (std::hypot(p.ax, p.ay) >= options.maxA2 - ringA2) {
        CtfFitOptions wider = options;
        wider.maxA2 = options.maxA2 + ringA2;
        Refinement widened(band, wider, lambda);
        const Candidate more = widened.refine(best, band.count(), high);
        if (more.score > best.score && std::hypot(more.parameters.ax, more.parameters.ay) > options.maxA2 + ringA2 / 10)
            result.doubts |= FitAtAstigmatismLimit;
    }
    // At an end of the range the defocus itself is off, and a shift then makes up for part of it:
    // the end is what the user must change first, and a shift suggested there would mislead.
    if (!options.fitPhaseShift && !options.start && !(result.doubts & (FitAtNearFocusEnd | FitAtFarFocusEnd))) {
        const Candidate free = bestFreePhase(band, p, ring);
        result.freePhaseScore = std::max(best.score, bandScore(band, band.count(), free.parameters));
        double shift = std::fmod(free.parameters.phase - std::asin(options.amplitudeContrast), Pi);
        result.freePhaseShift = radiansToDegrees(shift < 0 ? shift + Pi : shift);
        if (result.freePhaseScore >= (1 + kPhaseShiftGain) * best.score)
            result.doubts |= FitWantsPhaseShift;
    }

    CtfFitValues v;
    v.program.Defocus = p.defocus;
    // The astigmatism's magnitude with the noise's share taken out. Noise moves the fitted (ax, ay)
    // in every direction alike, so the magnitude comes out larger on average: by its spread where
    // the micrograph is round, where every fit would report some astigmatism. |(ax, ay)|^2 exceeds
    // the true one's square by the noise's variance on average, and the magnitude reported is the
    // root of the difference: round within the noise is reported round, and an astigmatism well
    // beyond the noise changes by its variance over twice itself (about an ångström of U - V at 200 Å).
    // The azimuth is the fit's.
    const double a2 = std::hypot(p.ax, p.ay);
    v.program.A2 = std::sqrt(std::max(0.0, a2 * a2 - astigmatismNoise));
    v.program.azimuth = v.program.A2 > 0 ? twoFoldAngle(radiansToDegrees(std::atan2(p.ay, p.ax) / 2)) : 0.0;
    v.cryoEm = toCryoEmDefocus(v.program);
    double shift = std::fmod(p.phase - std::asin(options.amplitudeContrast), Pi);
    if (shift < 0)
        shift += Pi;
    v.phaseShift = options.fitPhaseShift ? radiansToDegrees(shift) : radiansToDegrees(options.phaseShift);

    v.resolution = fitAgreement(spectrum, fittedModel(options, v), low).resolution;
    result.values = v;
    reportProgress(progress, 1.0);
    return result;
}

} // namespace orvalis
