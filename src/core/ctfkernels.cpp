#include "ctfkernels.h"

#include "core/ctffunctions.h"
#include "core/fastmath.h"
#include "core/greylevellookup.h"
#include "core/vectorexp.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace orvalis::kernels {
namespace {

// ---- the loops, written once ----------------------------------------------------------------------
// Each variant below is a thin function with its own target that inlines these bodies (flatten), so
// the compiler builds the same source for every instruction set. A call the compiler declines to
// inline goes to the baseline copy: slower, never different.

inline void mapRowBody(const MapColumns &m, const PhaseFactors &phase, double df, double *c2)
{
    const PhaseFactors p = phase; // a copy the stores cannot alias
    for (int c = 0; c < m.width; ++c) {
        const double u = m.cs2[c] + df;
        const double env2 = fastmath::exponential(2 * (m.et[c] + m.es[c] * (u * u))); // (Et Es)^2
        c2[c] = fastmath::sinSquared(p.roundPart(m.spherical[c], m.k2[c])) * env2;
    }
}

// (Et Es)^2 at k^2 of the pattern; the extended form adds the B-factor and C5's share of the gradient.
template <bool Extended> inline double patternEnvelope2(const PatternTerms &t, double k2)
{
    const double k4 = k2 * k2;
    if constexpr (Extended) {
        const double u = t.cs2 * k2 + t.c5Lambda4 * k4 + t.defocus;
        return fastmath::exponential(2 * (t.et * k4 + t.damping * k2 + t.es * k2 * (u * u)));
    } else {
        const double u = t.cs2 * k2 + t.defocus;
        return fastmath::exponential(2 * (t.et * k4 + t.es * k2 * (u * u)));
    }
}

template <bool Extended> inline ChiParts patternParts(const PatternTerms &t, double kx, double ky)
{
    if constexpr (Extended)
        return t.phase.extendedParts(kx, ky);
    else
        return t.phase.parts(kx, ky);
}

// The point (kx, -ky) of the upper grid and the point -(kx, ky) differ from (kx, ky) only in the sign
// of the odd (three-fold) part of the phase, the first as long as no azimuth turns the phase; so the
// lower pass keeps even - odd and the envelope for it.
template <bool Extended>
inline void patternLowerColumnBody(const PatternTerms &t, const double *k, int m, double kx, double *c2,
                                   double *chiUpper, double *envelope)
{
    const PatternTerms terms = t; // a copy the stores cannot alias
    for (int e = 0; e < m; ++e) {
        const double ky = k[e];
        const double k2 = kx * kx + ky * ky;
        const ChiParts chi = patternParts<Extended>(terms, kx, ky);
        const double env2 = patternEnvelope2<Extended>(terms, k2); // (Et Es)^2
        c2[e] = fastmath::sinSquared(chi.even + chi.odd) * env2;
        chiUpper[e] = chi.even - chi.odd;
        envelope[e] = env2;
    }
}

// Without the three-fold term the odd part is a signed zero: even + odd and even - odd are even.
template <bool Extended>
inline void patternEvenColumnBody(const PatternTerms &t, const double *k, int m, double kx, double *c2)
{
    const PatternTerms terms = t; // a copy the stores cannot alias
    for (int e = 0; e < m; ++e) {
        const double ky = k[e];
        const double k2 = kx * kx + ky * ky;
        const double env2 = patternEnvelope2<Extended>(terms, k2); // (Et Es)^2
        if constexpr (Extended)
            c2[e] = fastmath::sinSquared(terms.phase.extendedParts(kx, ky).even) * env2;
        else
            c2[e] = fastmath::sinSquared(terms.phase.evenPart(kx, ky)) * env2;
    }
}

inline void patternQuadrantsColumnBody(const PatternTerms &t, const double *k, int m, double kx, double *lower,
                                       double *upper, double *leftLower, double *leftUpper)
{
    const PatternTerms terms = t; // a copy the stores cannot alias
    for (int e = 0; e < m; ++e) {
        const double ky = k[e];
        const PhaseFactors::Quadrants q = terms.phase.quadrants(kx, ky);
        const double env2 = patternEnvelope2<true>(terms, kx * kx + ky * ky);
        const double same = q.evenEven + q.oddOdd, crossed = q.evenEven - q.oddOdd;
        lower[e] = fastmath::sinSquared(same + q.evenOdd + q.oddEven) * env2;
        upper[e] = fastmath::sinSquared(crossed - q.evenOdd + q.oddEven) * env2;
        leftLower[e] = fastmath::sinSquared(crossed + q.evenOdd - q.oddEven) * env2;
        leftUpper[e] = fastmath::sinSquared(same - q.evenOdd - q.oddEven) * env2;
    }
}

inline void patternUpperColumnBody(const double *chiUpper, const double *envelope, int m, double *c2)
{
    for (int e = 0; e < m; ++e)
        c2[e] = fastmath::sinSquared(chiUpper[e]) * envelope[e];
}

// GreyLevelLookup::level over an array, in the form the vectoriser takes (with AVX-512; restrict
// pointers, 64-bit bins, no flag written through a reference), with one load a value: the bin's
// step and level packed in one word.
inline bool greyLevelsBody(const double *__restrict c2, std::uint8_t *__restrict out, int count)
{
    const GreyLevelLookup &lookup = GreyLevelLookup::instance();
    const std::uint64_t *__restrict const packed = lookup.packedSteps();
    std::int64_t anyNear = 0;
    for (int i = 0; i < count; ++i) {
        const double x = c2[i];
        const std::uint64_t entry = packed[GreyLevelLookup::binOf(x)];
        const double step = fromBits(entry & ~GreyLevelLookup::kPackedLevelBits);
        anyNear |= !(std::fabs(x - step) >= GreyLevelLookup::kStepMargin);
        out[i] = static_cast<std::uint8_t>((entry & GreyLevelLookup::kPackedLevelBits) + (x >= step ? 1 : 0));
    }
    return anyNear != 0;
}

inline void curvePhasesBody(const OpticsState &state, const CurveSampling &sm, double *kOut, double *chi)
{
    const PhaseFactors phase(state, sm.defocus);
    if (phase.extended) {
        for (int i = 0; i < sm.count; ++i) {
            const double k = sm.n == 0 ? 0.0 : i * sm.upTo / sm.n * sm.s2;
            kOut[i] = k;
            const double kx = k * sm.inverseNorm;
            const ChiParts p = phase.extendedParts(kx, sm.slope * kx);
            chi[i] = p.even + p.odd;
        }
        return;
    }
    for (int i = 0; i < sm.count; ++i) {
        // A zero range has one sample at k = 0 rather than 0/0.
        const double k = sm.n == 0 ? 0.0 : i * sm.upTo / sm.n * sm.s2;
        kOut[i] = k;
        const double kx = k * sm.inverseNorm;
        chi[i] = phase.chi(kx, sm.slope * kx);
    }
}

inline void sinesBody(double *values, int count)
{
    std::int64_t beyond = 0; // no early exit, so that the test is vectorised too
    for (int i = 0; i < count; ++i)
        beyond |= !(std::fabs(values[i]) <= fastmath::kSinArgumentLimit);
    if (beyond != 0) {
        for (int i = 0; i < count; ++i)
            values[i] = std::sin(values[i]);
        return;
    }
    for (int i = 0; i < count; ++i)
        values[i] = fastmath::sine(values[i]);
}

// The exponents a block at a time on the stack, then their exponentials in vectors; the slow lanes
// (underflow far out in frequency, k = 0) take envelopeExp, as the scalar loop does for all.
inline void curveEnvelopesBody(const EnvelopeFactors &f, double defocus, const double *k, int count, double *et,
                               double *es, bool vectorExp)
{
    if (!vectorExp) {
        for (int i = 0; i < count; ++i) {
            et[i] = f.temporalEnvelope(k[i]);
            es[i] = f.spatialEnvelope(k[i], defocus);
        }
        return;
    }
    constexpr int kBlock = 256;
    double temporal[kBlock];
    double spatial[kBlock];
    for (int start = 0; start < count; start += kBlock) {
        const int n = std::min(kBlock, count - start);
        for (int i = 0; i < n; ++i) {
            temporal[i] = f.temporalExponent(k[start + i]);
            spatial[i] = f.spatialExponent(k[start + i], defocus);
        }
        vectorexp::exponentials(temporal, et + start, n, envelopeExp);
        vectorexp::exponentials(spatial, es + start, n, envelopeExp);
    }
}

// Whether the vector exponential gives std::exp's bits here: over the range the envelopes use and at
// the arguments that tell its variants apart.
inline bool vectorExpAgreesBody()
{
    constexpr int kSpread = 1024;
    constexpr int kCount = kSpread + static_cast<int>(std::size(vectorexp::kTellingArguments));
    double x[kCount];
    double y[kCount];
    for (int i = 0; i < kSpread; ++i)
        x[i] = -750.0 + i * (751.0 / kSpread) + i * 0x1p-40; // -750 .. 1, off the round numbers
    std::copy(std::begin(vectorexp::kTellingArguments), std::end(vectorexp::kTellingArguments), x + kSpread);
    vectorexp::exponentials(x, y, kCount, envelopeExp);
    for (int i = 0; i < kCount; ++i)
        if (bitsOf(y[i]) != bitsOf(envelopeExp(x[i])))
            return false;
    return true;
}

// One pass without early exits (which the vectoriser cannot take): each detection keeps the least
// index at which it holds.
inline CurveEvents curveEventsBody(const double *__restrict k, const double *__restrict ctf,
                                   const double *__restrict et, const double *__restrict es, int count, double passband,
                                   double riseThreshold, bool watchRise)
{
    if (count == 0)
        return {0, 0, 0};
    const std::int64_t none = count;
    const double e0 = et[0] * es[0];
    const double side0 = ctf[0] * passband;
    std::int64_t inside = side0 > 0 && k[0] != 0 ? 0 : none;
    std::int64_t point = side0 < 0 && k[0] != 0 ? 0 : none;
    std::int64_t info = e0 < 0.08 ? 0 : none;
    std::int64_t rise = watchRise && e0 > 0.9 && ctf[0] - 0.0 > riseThreshold ? 0 : none;
    for (std::int64_t i = 1; i < count; ++i) {
        const double e = et[i] * es[i];
        const double side = ctf[i] * passband;
        const std::int64_t isInside = side > 0 && k[i] != 0 ? i : none;
        const std::int64_t isPoint = side < 0 && k[i] != 0 ? i : none;
        const std::int64_t isInfo = e < 0.08 ? i : none;
        const std::int64_t isRise = e > 0.9 && ctf[i] - ctf[i - 1] > riseThreshold ? i : none;
        inside = isInside < inside ? isInside : inside;
        point = isPoint < point ? isPoint : point;
        info = isInfo < info ? isInfo : info;
        rise = isRise < rise ? isRise : rise;
    }
    // A curve that starts with the other sign (overfocus for a positive Cs) has no passband to leave.
    if (!(inside < point))
        point = none;
    return {static_cast<int>(point), static_cast<int>(info), watchRise ? static_cast<int>(rise) : count};
}

// With intensity on, the CTF and both envelopes are squared before they are multiplied.
inline void curveProductsBody(const double *et, const double *es, int count, const CurveOutputs &o)
{
    double *const ctf = o.ctf;
    if (o.intensity) {
        for (int i = 0; i < count; ++i)
            ctf[i] = ctf[i] * ctf[i] * (et[i] * et[i]) * (es[i] * es[i]);
    } else {
        for (int i = 0; i < count; ++i)
            ctf[i] = ctf[i] * et[i] * es[i];
    }
    const bool sq = o.intensity;
    if (double *const out = o.temporal)
        for (int i = 0; i < count; ++i)
            out[i] = sq ? et[i] * et[i] : et[i];
    if (double *const out = o.spatial)
        for (int i = 0; i < count; ++i)
            out[i] = sq ? es[i] * es[i] : es[i];
    if (double *const out = o.combined)
        for (int i = 0; i < count; ++i)
            out[i] = sq ? et[i] * et[i] * (es[i] * es[i]) : et[i] * es[i];
    if (double *const out = o.temporalNeg)
        for (int i = 0; i < count; ++i)
            out[i] = -et[i];
    if (double *const out = o.spatialNeg)
        for (int i = 0; i < count; ++i)
            out[i] = -es[i];
    if (double *const out = o.combinedNeg)
        for (int i = 0; i < count; ++i)
            out[i] = -et[i] * es[i];
}

// ---- the variants -----------------------------------------------------------------------------

#define ORVALIS_KERNEL_SET(ns, isaValue, label, vectorExp, attributes)                                                 \
    namespace ns {                                                                                                     \
    attributes void mapRow(const MapColumns &m, const PhaseFactors &phase, double df, double *c2)                      \
    {                                                                                                                  \
        mapRowBody(m, phase, df, c2);                                                                                  \
    }                                                                                                                  \
    attributes void patternLowerColumn(const PatternTerms &t, const double *k, int m, double kx, double *c2,           \
                                       double *chiUpper, double *envelope)                                             \
    {                                                                                                                  \
        patternLowerColumnBody<false>(t, k, m, kx, c2, chiUpper, envelope);                                            \
    }                                                                                                                  \
    attributes void patternLowerColumnExtended(const PatternTerms &t, const double *k, int m, double kx, double *c2,   \
                                               double *chiUpper, double *envelope)                                     \
    {                                                                                                                  \
        patternLowerColumnBody<true>(t, k, m, kx, c2, chiUpper, envelope);                                             \
    }                                                                                                                  \
    attributes void patternUpperColumn(const double *chiUpper, const double *envelope, int m, double *c2)              \
    {                                                                                                                  \
        patternUpperColumnBody(chiUpper, envelope, m, c2);                                                             \
    }                                                                                                                  \
    attributes void patternEvenColumn(const PatternTerms &t, const double *k, int m, double kx, double *c2)            \
    {                                                                                                                  \
        patternEvenColumnBody<false>(t, k, m, kx, c2);                                                                 \
    }                                                                                                                  \
    attributes void patternEvenColumnExtended(const PatternTerms &t, const double *k, int m, double kx, double *c2)    \
    {                                                                                                                  \
        patternEvenColumnBody<true>(t, k, m, kx, c2);                                                                  \
    }                                                                                                                  \
    attributes void patternQuadrantsColumn(const PatternTerms &t, const double *k, int m, double kx, double *lower,    \
                                           double *upper, double *leftLower, double *leftUpper)                        \
    {                                                                                                                  \
        patternQuadrantsColumnBody(t, k, m, kx, lower, upper, leftLower, leftUpper);                                   \
    }                                                                                                                  \
    attributes bool greyLevels(const double *c2, std::uint8_t *out, int count)                                         \
    {                                                                                                                  \
        return greyLevelsBody(c2, out, count);                                                                         \
    }                                                                                                                  \
    attributes void curvePhases(const OpticsState &s, const CurveSampling &sm, double *k, double *chi)                 \
    {                                                                                                                  \
        curvePhasesBody(s, sm, k, chi);                                                                                \
    }                                                                                                                  \
    attributes void sines(double *values, int count)                                                                   \
    {                                                                                                                  \
        sinesBody(values, count);                                                                                      \
    }                                                                                                                  \
    attributes bool vectorExpAgrees()                                                                                  \
    {                                                                                                                  \
        return vectorExpAgreesBody();                                                                                  \
    }                                                                                                                  \
    attributes void curveEnvelopes(const EnvelopeFactors &f, double defocus, const double *k, int count, double *et,   \
                                   double *es)                                                                         \
    {                                                                                                                  \
        static const bool vector = vectorExp && vectorExpAgrees();                                                     \
        curveEnvelopesBody(f, defocus, k, count, et, es, vector);                                                      \
    }                                                                                                                  \
    attributes CurveEvents curveEvents(const double *k, const double *ctf, const double *et, const double *es,         \
                                       int count, double passband, double riseThreshold, bool watchRise)               \
    {                                                                                                                  \
        return curveEventsBody(k, ctf, et, es, count, passband, riseThreshold, watchRise);                             \
    }                                                                                                                  \
    attributes void curveProducts(const double *et, const double *es, int count, const CurveOutputs &o)                \
    {                                                                                                                  \
        curveProductsBody(et, es, count, o);                                                                           \
    }                                                                                                                  \
    const KernelSet set = {isaValue,                                                                                   \
                           label,                                                                                      \
                           &mapRow,                                                                                    \
                           &patternLowerColumn,                                                                        \
                           &patternUpperColumn,                                                                        \
                           &patternEvenColumn,                                                                         \
                           &patternLowerColumnExtended,                                                                \
                           &patternEvenColumnExtended,                                                                 \
                           &patternQuadrantsColumn,                                                                    \
                           &greyLevels,                                                                                \
                           &curvePhases,                                                                               \
                           &sines,                                                                                     \
                           &curveEnvelopes,                                                                            \
                           &curveEvents,                                                                               \
                           &curveProducts};                                                                            \
    }

ORVALIS_KERNEL_SET(baseline, Isa::Baseline, "baseline", false, __attribute__((flatten)))

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVALIS_MULTI_ISA 1
#if defined(__clang__)
#define ORVALIS_WIDE ""
#else
// g++ otherwise keeps to 256-bit vectors on AVX-512 processors.
#define ORVALIS_WIDE ",prefer-vector-width=512"
#endif
// The features of the x86-64-v3 and -v4 levels that vector arithmetic on doubles uses, and that
// both g++ and clang can test for at run time (clang 14 cannot ask for the whole level). A level's
// own name ("arch=x86-64-v3") would also stop g++ from inlining the baseline helpers.
ORVALIS_KERNEL_SET(v3, Isa::V3, "x86-64-v3", true, __attribute__((flatten, target("avx2,fma,bmi,bmi2"))))
ORVALIS_KERNEL_SET(
    v4, Isa::V4, "x86-64-v4", true,
    __attribute__((flatten, target("avx2,fma,bmi,bmi2,avx512f,avx512bw,avx512cd,avx512dq,avx512vl" ORVALIS_WIDE))))
#endif

#undef ORVALIS_KERNEL_SET

} // namespace

bool isaSupported(Isa isa)
{
    switch (isa) {
    case Isa::Baseline: return true;
#ifdef ORVALIS_MULTI_ISA
    case Isa::V3:
        // The checks also ask whether the operating system saves the wide registers.
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi")
            && __builtin_cpu_supports("bmi2");
    case Isa::V4:
        return isaSupported(Isa::V3) && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
            && __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq")
            && __builtin_cpu_supports("avx512vl");
#else
    default: break;
#endif
    }
    return false;
}

const KernelSet &kernelsFor(Isa isa)
{
#ifdef ORVALIS_MULTI_ISA
    if (isa == Isa::V4)
        return v4::set;
    if (isa == Isa::V3)
        return v3::set;
#endif
    (void)isa;
    return baseline::set;
}

std::vector<Isa> supportedIsas()
{
    std::vector<Isa> isas;
    for (Isa isa : {Isa::Baseline, Isa::V3, Isa::V4})
        if (isaSupported(isa))
            isas.push_back(isa);
    return isas;
}

const KernelSet &best()
{
    static const KernelSet &chosen = kernelsFor(supportedIsas().back());
    return chosen;
}

} // namespace orvalis::kernels
