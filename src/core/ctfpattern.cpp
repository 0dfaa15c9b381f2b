#include "ctfpattern.h"

#include "core/ctffunctions.h"
#include "core/ctfgrey.h"
#include "core/ctfkernels.h"
#include "core/fastmath.h"
#include "core/greylevellookup.h"
#include "core/numberformat.h"
#include "core/vectorstate.h"

#include <cmath>

namespace orvalis {
namespace {

PatternHalves emptyHalves(int centre, int stepFactor, double range, bool whole = false)
{
    PatternHalves h;
    h.centre = centre;
    h.stepFactor = stepFactor;
    h.range = range;
    h.n = patternSteps(centre, stepFactor);
    if (h.n >= 0) {
        const std::size_t points = static_cast<std::size_t>(h.n + 1) * static_cast<std::size_t>(h.n + 1);
        h.lower.assign(points, 0);
        h.upper.assign(points, 0);
        if (whole) {
            h.leftLower.assign(points, 0);
            h.leftUpper.assign(points, 0);
        }
    }
    return h;
}

void report(const PatternProgress &progress, int column)
{
    if (progress) {
        progress(column);
        clearUpperVectorState(); // the caller's widgets may have used the wide registers
    }
}

kernels::PatternTerms patternTerms(const OpticsState &s, double defocus)
{
    const EnvelopeFactors envelopes(s);
    return {PhaseFactors(s, defocus), envelopes.csLambda2, envelopes.temporal, envelopes.spatial, defocus,
            envelopes.damping,        envelopes.c5Lambda4};
}

// The fast sine is accurate only while |chi| stays within its reduction limit, and the error of the
// phase, a few units in the last place of the sum of its terms' magnitudes, must stay far below the
// lookup's margin: 2^20 rad keeps the error of c^2 below 3e-9, about a hundredth of the margin.
bool fastPathHolds(const kernels::PatternTerms &t, double kMax)
{
    const double k2 = 2 * kMax * kMax; // the corner of the grid
    const PhaseFactors &p = t.phase;
    const double bound = std::fabs(p.cs) * k2 * k2 + std::fabs(p.df) * k2 + std::fabs(p.a2 * p.wavelength / 2) * k2
        + std::fabs(p.a3 / 3) * 4 * kMax * kMax * kMax + std::fabs(p.c5) * k2 * k2 * k2 + std::fabs(p.offset);
    const bool finite = std::isfinite(t.cs2) && std::isfinite(t.et) && std::isfinite(t.es) && std::isfinite(t.defocus)
        && std::isfinite(t.damping) && std::isfinite(t.c5Lambda4);
    return finite && bound <= fastmath::kSinArgumentLimit;
}

// Per-thread scratch of the upper grid's phase and envelope, kept so that its size is allocated once.
struct Scratch {
    std::vector<double> k, c2, chiUpper, envelope;
};

// Scratch only grows: the passes alternate between coarse and full sizes, and resizing back up would
// fill the tail with zeros that every pass overwrites before it reads them.
void atLeast(std::vector<double> &scratch, std::size_t size)
{
    if (scratch.size() < size)
        scratch.resize(size);
}

// With an azimuth set the phase has no mirror line: all four quarters are computed, from one
// evaluation of the phase's parts by their parity in kx and ky at each point of the lower right one.
PatternHalves wholePattern(const kernels::KernelSet &loops, const OpticsState &state, const kernels::PatternTerms &t,
                           int centre, int stepFactor, double range, const PatternProgress &progress)
{
    PatternHalves h = emptyHalves(centre, stepFactor, range, true);
    const int m = h.n + 1;
    const double defocus = t.defocus;
    thread_local Scratch scratch;
    atLeast(scratch.k, m);
    atLeast(scratch.c2, 4 * static_cast<std::size_t>(m));
    double *const k = scratch.k.data();
    for (int j = 0; j < m; ++j)
        k[j] = patternFrequency(j, stepFactor, range, centre);
    double *const c2[4] = {scratch.c2.data(), scratch.c2.data() + m, scratch.c2.data() + 2 * m,
                           scratch.c2.data() + 3 * m};
    std::vector<std::uint8_t> *const grids[4] = {&h.lower, &h.upper, &h.leftLower, &h.leftUpper};
    const double xSign[4] = {1, 1, -1, -1}, ySign[4] = {1, -1, 1, -1};
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();
    for (int r = 0; r < m; ++r) {
        loops.patternQuadrantsColumn(t, k, m, k[r], c2[0], c2[1], c2[2], c2[3]);
        for (int g = 0; g < 4; ++g) {
            std::uint8_t *const levels = grids[g]->data() + h.index(r, 0);
            const double kx = xSign[g] * k[r], sy = ySign[g];
            if (loops.greyLevels(c2[g], levels, m))
                lookup.replaceNearSteps(c2[g], levels, m,
                                        [&](int e) { return referencePatternGrey(state, kx, sy * k[e], defocus); });
        }
        report(progress, r);
    }
    // The progress of the other three grids, as the halves report theirs.
    for (int pass = 0; pass < 3; ++pass)
        for (int r = 0; r < m; ++r)
            report(progress, r);
    return h;
}

} // namespace

int patternSteps(int centre, int stepFactor)
{
    if (centre < 2 || centre > kMaxPatternCentre || stepFactor < 1)
        return -1;
    return roundToInt(static_cast<double>(centre) / stepFactor - 1);
}

double patternFrequency(int index, int stepFactor, double range, int centre)
{
    return index * stepFactor * range / (centre - 1);
}

int referencePatternGrey(const OpticsState &state, double kx, double ky, double defocus)
{
    const double k = std::sqrt(kx * kx + ky * ky);
    const EnvelopeFactors envelopes(state);
    const double c = std::sin(CtfArgument(state, kx, ky, defocus)) * envelopes.temporalEnvelope(k)
        * envelopes.spatialEnvelope(k, defocus);
    return CtfGrey(c);
}

PatternHalves referencePatternHalves(const OpticsState &state, double defocus, int centre, int stepFactor, double range,
                                     const PatternProgress &progress)
{
    PatternHalves h = emptyHalves(centre, stepFactor, range, PhaseFactors(state, defocus).turned);
    // Rounding ties to even is symmetric, so round(1 - N/s) = -n: the upper rows i run -n .. 0.
    for (int r = 0; r <= h.n; ++r) {
        const double kx = patternFrequency(r, stepFactor, range, centre);
        for (int e = 0; e <= h.n; ++e)
            h.lower[h.index(r, e)] = static_cast<std::uint8_t>(
                referencePatternGrey(state, kx, patternFrequency(e, stepFactor, range, centre), defocus));
        report(progress, r);
    }
    for (int r = 0; r <= h.n; ++r) {
        const double kx = patternFrequency(r, stepFactor, range, centre);
        for (int i = -h.n; i <= 0; ++i)
            h.upper[h.index(r, -i)] = static_cast<std::uint8_t>(
                referencePatternGrey(state, kx, patternFrequency(i, stepFactor, range, centre), defocus));
        report(progress, r);
    }
    if (!h.wholeGrid())
        return h;
    for (std::vector<std::uint8_t> *grid : {&h.leftLower, &h.leftUpper}) {
        const double sign = grid == &h.leftLower ? 1 : -1;
        for (int r = 0; r <= h.n; ++r) {
            const double kx = -patternFrequency(r, stepFactor, range, centre);
            for (int e = 0; e <= h.n; ++e)
                (*grid)[h.index(r, e)] = static_cast<std::uint8_t>(
                    referencePatternGrey(state, kx, sign * patternFrequency(e, stepFactor, range, centre), defocus));
            report(progress, r);
        }
    }
    return h;
}

PatternHalves computePatternHalves(const OpticsState &state, double defocus, int centre, int stepFactor, double range,
                                   const PatternProgress &progress)
{
    return computePatternHalves(kernels::best(), state, defocus, centre, stepFactor, range, progress);
}

PatternHalves computePatternHalves(const kernels::KernelSet &loops, const OpticsState &state, double defocus,
                                   int centre, int stepFactor, double range, const PatternProgress &progress)
{
    clearUpperVectorState();
    const int n = patternSteps(centre, stepFactor);
    const kernels::PatternTerms t = patternTerms(state, defocus);
    if (n < 0 || !fastPathHolds(t, std::fabs(patternFrequency(n, stepFactor, range, centre))))
        return referencePatternHalves(state, defocus, centre, stepFactor, range, progress);

    if (t.phase.turned)
        return wholePattern(loops, state, t, centre, stepFactor, range, progress);
    const bool extended = t.phase.extended || t.damping != 0 || t.c5Lambda4 != 0;
    const auto lowerColumn = extended ? loops.patternLowerColumnExtended : loops.patternLowerColumn;
    const auto evenColumn = extended ? loops.patternEvenColumnExtended : loops.patternEvenColumn;

    PatternHalves h = emptyHalves(centre, stepFactor, range);
    const int m = n + 1;
    thread_local Scratch scratch;
    atLeast(scratch.k, m);
    atLeast(scratch.c2, m);
    atLeast(scratch.chiUpper, static_cast<std::size_t>(m) * m);
    atLeast(scratch.envelope, static_cast<std::size_t>(m) * m);
    double *const k = scratch.k.data();
    double *const c2 = scratch.c2.data();
    for (int j = 0; j < m; ++j)
        k[j] = patternFrequency(j, stepFactor, range, centre);
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();

    if (t.phase.a3 == 0) {
        // No three-fold term: the phase is even in ky, and the upper grid is the lower one.
        for (int r = 0; r < m; ++r) {
            const double kx = k[r];
            std::uint8_t *const levels = h.lower.data() + h.index(r, 0);
            evenColumn(t, k, m, kx, c2);
            if (loops.greyLevels(c2, levels, m))
                lookup.replaceNearSteps(c2, levels, m,
                                        [&](int e) { return referencePatternGrey(state, kx, k[e], defocus); });
            report(progress, r);
        }
        h.upper = h.lower;
        for (int r = 0; r < m; ++r)
            report(progress, r);
        return h;
    }
    // The lower pass keeps the upper grid's phase and the envelope, which differ only in the sign of
    // the three-fold term.
    for (int r = 0; r < m; ++r) {
        const double kx = k[r];
        std::uint8_t *const levels = h.lower.data() + h.index(r, 0);
        lowerColumn(t, k, m, kx, c2, scratch.chiUpper.data() + h.index(r, 0), scratch.envelope.data() + h.index(r, 0));
        if (loops.greyLevels(c2, levels, m))
            lookup.replaceNearSteps(c2, levels, m,
                                    [&](int e) { return referencePatternGrey(state, kx, k[e], defocus); });
        report(progress, r);
    }
    for (int r = 0; r < m; ++r) {
        const double kx = k[r];
        std::uint8_t *const levels = h.upper.data() + h.index(r, 0);
        loops.patternUpperColumn(scratch.chiUpper.data() + h.index(r, 0), scratch.envelope.data() + h.index(r, 0), m,
                                 c2);
        if (loops.greyLevels(c2, levels, m))
            lookup.replaceNearSteps(c2, levels, m,
                                    [&](int e) { return referencePatternGrey(state, kx, -k[e], defocus); });
        report(progress, r);
    }
    return h;
}

} // namespace orvalis
