#include "defocusmap.h"

#include "core/ctffunctions.h"
#include "core/ctfgrey.h"
#include "core/ctfkernels.h"
#include "core/fastmath.h"
#include "core/greylevellookup.h"
#include "core/vectorstate.h"

#include <cmath>
#include <limits>

namespace orvalis {
namespace {

DefocusMapGrid emptyGrid(int width, int minimum, int maximum)
{
    DefocusMapGrid g;
    if (width < 1 || width > kMaxDefocusMapWidth)
        return g;
    normaliseDefocusMapRange(minimum, maximum);
    g.width = width;
    g.minimum = minimum;
    g.maximum = maximum;
    g.grey.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(width), 0);
    return g;
}

// Per-thread scratch of the column terms, kept so that it is allocated once.
struct Scratch {
    std::vector<double> k, k2, spherical, et, es, cs2, c2;
};

} // namespace

double defocusMapFrequency(int column, int width, double upTo)
{
    return width > 0 ? column * upTo / width : 0.0;
}

double defocusMapDefocus(int row, int width, int minimum, int maximum)
{
    if (width <= 1)
        return -static_cast<double>(minimum);
    const double span = static_cast<double>(maximum) - static_cast<double>(minimum);
    return -static_cast<double>(minimum) - row * span / (width - 1);
}

// An empty slider range would put every row at the same defocus and divide the marker position by
// zero; the narrowest non-empty range above the minimum stands in for it.
void normaliseDefocusMapRange(int &minimum, int &maximum)
{
    if (maximum <= minimum) {
        if (minimum == std::numeric_limits<int>::max())
            minimum -= 1;
        maximum = minimum + 1;
    }
}

double referenceMapCtf(const OpticsState &state, double k, double defocus)
{
    const EnvelopeFactors envelopes(state);
    const PhaseFactors phase(state, defocus);
    const double argument = phase.extended ? phase.roundArgument(k * k) : phase.roundPartAt(k);
    return std::sin(argument) * envelopes.temporalEnvelope(k) * envelopes.spatialEnvelope(k, defocus);
}

int referenceMapGrey(const OpticsState &state, double k, double defocus)
{
    return CtfGrey(referenceMapCtf(state, k, defocus));
}

DefocusMapGrid referenceDefocusMap(const OpticsState &state, int width, int minimum, int maximum, double upTo)
{
    DefocusMapGrid g = emptyGrid(width, minimum, maximum);
    for (int c = 0; c < g.width; ++c) {
        const double k = defocusMapFrequency(c, g.width, upTo);
        for (int y = 0; y < g.width; ++y)
            g.grey[static_cast<std::size_t>(y) * g.width + c] = static_cast<std::uint8_t>(
                referenceMapGrey(state, k, defocusMapDefocus(y, g.width, g.minimum, g.maximum)));
    }
    return g;
}

DefocusMapGrid computeDefocusMap(const OpticsState &state, int width, int minimum, int maximum, double upTo)
{
    return computeDefocusMap(kernels::best(), state, width, minimum, maximum, upTo);
}

DefocusMapGrid computeDefocusMap(const kernels::KernelSet &loops, const OpticsState &state, int width, int minimum,
                                 int maximum, double upTo)
{
    clearUpperVectorState();
    DefocusMapGrid g = emptyGrid(width, minimum, maximum);
    const int w = g.width;
    if (w == 0)
        return g;

    // The fast sine holds while |chi| stays within its reduction limit; the phase's rounding error,
    // a few units in the last place of the sum of its terms' magnitudes, then keeps the error of c^2
    // below 3e-9, about a hundredth of the lookup's margin.
    const double kMax = std::fabs(defocusMapFrequency(w - 1, w, upTo));
    const double dfMax = std::fmax(std::fabs(static_cast<double>(g.minimum)),
                                   std::fabs(static_cast<double>(g.maximum)));
    const PhaseFactors phase(state, 0);
    const double bound = std::fabs(state.ChiDefocusFactor) * dfMax * kMax * kMax
        + std::fabs(state.ChiCsFactor) * kMax * kMax * kMax * kMax
        + std::fabs(phase.c5) * (kMax * kMax) * (kMax * kMax) * (kMax * kMax) + std::fabs(phase.offset);
    const EnvelopeFactors envelopes(state);
    if (!(bound <= fastmath::kSinArgumentLimit) || !std::isfinite(envelopes.temporal)
        || !std::isfinite(envelopes.spatial) || !std::isfinite(envelopes.csLambda2) || !std::isfinite(envelopes.damping)
        || !std::isfinite(envelopes.c5Lambda4))
        return referenceDefocusMap(state, width, minimum, maximum, upTo);

    // Every term but the defocus belongs to a column; a row adds its defocus to them. The optional
    // terms (C5, amplitude contrast, phase shift, B-factor) join the columns' spherical phase and
    // envelope terms; the map shows no astigmatism, so the azimuths do not enter.
    thread_local Scratch s;
    for (std::vector<double> *v : {&s.k, &s.k2, &s.spherical, &s.et, &s.es, &s.cs2, &s.c2})
        v->resize(w);
    for (int c = 0; c < w; ++c) {
        const double k = defocusMapFrequency(c, w, upTo);
        const double k2 = k * k;
        s.k[c] = k;
        s.k2[c] = k2;
        s.spherical[c] = phase.extended ? phase.sphericalPart(k2) + phase.fifthOrder(k2) - phase.offset
                                        : phase.sphericalPart(k2);
        s.et[c] = envelopes.temporal * (k2 * k2) + envelopes.damping * k2;
        s.es[c] = envelopes.spatial * k2;
        s.cs2[c] = envelopes.gradientTerm(k2);
    }
    const kernels::MapColumns columns{s.k2.data(), s.spherical.data(), s.et.data(), s.es.data(), s.cs2.data(), w};
    double *const c2 = s.c2.data();
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();
    for (int y = 0; y < w; ++y) {
        const double df = defocusMapDefocus(y, w, g.minimum, g.maximum);
        std::uint8_t *const row = g.grey.data() + static_cast<std::size_t>(y) * w;
        loops.mapRow(columns, PhaseFactors(state, df), df, c2);
        if (loops.greyLevels(c2, row, w))
            lookup.replaceNearSteps(c2, row, w, [&](int c) { return referenceMapGrey(state, s.k[c], df); });
    }
    return g;
}

} // namespace orvalis
