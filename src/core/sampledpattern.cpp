#include "core/sampledpattern.h"

#include "core/ctffunctions.h"
#include "core/ctfgrey.h"

#include <cmath>
#include <limits>

namespace orvalis {
namespace {

constexpr int AliasCount = 2 * SampledAliasCells + 1;

// The square pixel's weights sinc^2(pi (u + m)) of the aliases m = -cells .. cells of the frequency
// u ks (u in sampling frequencies). sin^2(pi (u + m)) is sin^2(pi u) for every m.
void pixelWeights(double u, double *weights)
{
    const double s = std::sin(Pi * u);
    for (int i = 0; i < AliasCount; ++i) {
        const double x = Pi * (u + (i - SampledAliasCells));
        weights[i] = x == 0 ? 1.0 : (s * s) / (x * x);
    }
}

// The factors of one pass, taken from the state once.
class Detector {
public:
    Detector(const OpticsState &state, double defocus)
        : m_phase(state, defocus), m_envelopes(state), m_defocus(defocus), m_ks(1 / state.PixelSize),
          m_cutoff2(aliasCutoff(state) * aliasCutoff(state))
    {
    }

    double power(double kx, double ky) const
    {
        // Folded into the Nyquist square first, so that the aliases counted, and the sum, repeat
        // exactly with ks.
        const double fx = kx - std::nearbyint(kx / m_ks) * m_ks;
        const double fy = ky - std::nearbyint(ky / m_ks) * m_ks;
        double ax[AliasCount], wx[AliasCount], ay[AliasCount], wy[AliasCount];
        pixelWeights(fx / m_ks, wx);
        pixelWeights(fy / m_ks, wy);
        for (int i = 0; i < AliasCount; ++i) {
            ax[i] = fx + (i - SampledAliasCells) * m_ks;
            ay[i] = fy + (i - SampledAliasCells) * m_ks;
        }
        double p = 0;
        for (int i = 0; i < AliasCount; ++i) {
            for (int j = 0; j < AliasCount; ++j) {
                const double k2 = ax[i] * ax[i] + ay[j] * ay[j];
                if (k2 > m_cutoff2)
                    continue;
                const double k = std::sqrt(k2);
                const double c = std::sin(m_phase.argument(ax[i], ay[j])) * m_envelopes.temporalEnvelope(k)
                    * m_envelopes.spatialEnvelope(k, m_defocus);
                p += wx[i] * wy[j] * (c * c);
            }
        }
        return p;
    }

private:
    PhaseFactors m_phase;
    EnvelopeFactors m_envelopes;
    double m_defocus; // nm
    double m_ks;      // nm^-1, the sampling frequency
    double m_cutoff2; // nm^-2
};

void report(const PatternProgress &progress, int column)
{
    if (progress)
        progress(column);
}

} // namespace

double aliasCutoff(const OpticsState &state)
{
    // The temporal exponent with the B-factor is -(a k^4 + b k^2), a, b >= 0; it reaches ln 1e-3 at
    // k^2 = 2L / (b + sqrt(b^2 + 4 a L)), the form that stays exact when a is 0.
    const EnvelopeFactors envelopes(state);
    const double a = -envelopes.temporal;
    const double b = -envelopes.damping;
    const double l = -std::log(1e-3);
    const double root = b + std::sqrt(b * b + 4 * a * l);
    if (!(root > 0))
        return std::numeric_limits<double>::infinity();
    return std::sqrt(2 * l / root);
}

double sampledPower(const OpticsState &state, double kx, double ky, double defocus)
{
    return Detector(state, defocus).power(kx, ky);
}

int sampledGrey(double power)
{
    return CtfGrey(std::sqrt(std::fmin(std::fmax(power, 0.0), 1.0)));
}

PatternHalves computeSampledPattern(const OpticsState &state, double defocus, int centre, int stepFactor, double range,
                                    const PatternProgress &progress)
{
    if (!(state.PixelSize > 0))
        return computePatternHalves(state, defocus, centre, stepFactor, range, progress);
    const Detector detector(state, defocus);
    PatternHalves h;
    h.centre = centre;
    h.stepFactor = stepFactor;
    h.range = range;
    h.n = patternSteps(centre, stepFactor);
    if (h.n < 0)
        return h;
    const std::size_t points = static_cast<std::size_t>(h.n + 1) * static_cast<std::size_t>(h.n + 1);
    const bool whole = PhaseFactors(state, defocus).turned;
    // (sign of kx, sign of ky, grid) for each quarter in the order the grids report their progress.
    struct Quarter {
        double sx, sy;
        std::vector<std::uint8_t> *grid;
    };
    std::vector<Quarter> quarters = {{1, 1, &h.lower}, {1, -1, &h.upper}};
    if (whole)
        quarters.insert(quarters.end(), {{-1, 1, &h.leftLower}, {-1, -1, &h.leftUpper}});
    for (const Quarter &q : quarters) {
        q.grid->assign(points, 0);
        for (int r = 0; r <= h.n; ++r) {
            const double kx = q.sx * patternFrequency(r, stepFactor, range, centre);
            for (int e = 0; e <= h.n; ++e) {
                const double ky = q.sy * patternFrequency(e, stepFactor, range, centre);
                (*q.grid)[h.index(r, e)] = static_cast<std::uint8_t>(sampledGrey(detector.power(kx, ky)));
            }
            report(progress, r);
        }
    }
    return h;
}

} // namespace orvalis
