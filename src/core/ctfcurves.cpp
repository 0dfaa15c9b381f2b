#include "ctfcurves.h"

#include "core/vectorstate.h"
#include "core/ctffunctions.h"
#include "core/fastmath.h"
#include "core/numberformat.h"

#include <cmath>

namespace orvalis {
namespace {

struct Sampling {
    int n = 0;     // fine steps
    int count = 0; // samples
    int s2 = 1;    // StepFactor squared
};

Sampling sampling(int pointDensity, double upTo, int stepFactor)
{
    Sampling sm;
    sm.n = fineSteps(pointDensity, upTo);
    sm.s2 = stepFactor * stepFactor;
    const int coarse = sm.s2 > 0 ? roundToInt(static_cast<double>(sm.n) / sm.s2) : 0;
    sm.count = coarse < 0 ? 0 : coarse + 1;
    return sm;
}

// k of sample i; a zero range has one sample at k = 0 rather than 0/0.
double sampleK(int i, const Sampling &sm, double upTo)
{
    if (sm.n == 0)
        return 0.0;
    return i * upTo / sm.n * sm.s2;
}

// sin(chi) within 3e-16 of the C library's, at a fraction of its cost; it follows every drag step.
double ctfOfPhase(double chi)
{
    return std::fabs(chi) <= fastmath::kSinArgumentLimit ? fastmath::sine(chi) : std::sin(chi);
}

// The information limit where the combined envelope first falls below 0.08, the point resolution at
// the first positive CTF after k = 0; each found once per curve.
struct LimitDetector {
    bool infoPending = true;
    bool pointPending = true;

    void observe(double k, double envelope, double ctf, CtfCurves &out)
    {
        if (envelope < 0.08 && infoPending) {
            out.infoLimit = 1 / k;
            infoPending = false;
        }
        if (ctf > 0 && k != 0 && pointPending) {
            out.pointRes = 1 / k;
            pointPending = false;
        }
    }
};

void sinesInPlace(double *values, int count)
{
    bool fast = true;
    for (int i = 0; i < count; ++i)
        fast = fast && std::fabs(values[i]) <= fastmath::kSinArgumentLimit;
    if (!fast) {
        for (int i = 0; i < count; ++i)
            values[i] = std::sin(values[i]);
        return;
    }
    for (int i = 0; i < count; ++i)
        values[i] = fastmath::sine(values[i]);
}

} // namespace

int fineSteps(int pointDensity, double upTo)
{
    return roundToInt(pointDensity * upTo / 10);
}

CtfCurves sampleAnalysisCurves(const OpticsState &state, double defocus, double direction, const CurveOptions &options)
{
    clearUpperVectorState();
    CtfCurves out;
    const int s = state.StepFactor;
    const Sampling sm = sampling(state.PointDensity, state.UpTo, s);
    const bool intensity = options.intensity;
    const bool symmetric = options.symmetric && !intensity;
    const double slopeThreshold = 10.0;
    const double dk = sm.n == 0 ? 0.0 : state.UpTo / sm.n;
    const double t = std::tan(direction);
    const double inverseNorm = 1 / std::sqrt(t * t + 1);
    const double riseThreshold = slopeThreshold * dk; // slope > 10 without a division per sample
    const EnvelopeFactors envelopes(state);

    // Filled by index: appending to seven vectors costs as much as the sampling itself.
    const int count = sm.count;
    out.k.resize(count);
    out.ctf.resize(count);
    const auto size = [count](QVector<double> &v, bool filled) { v.resize(filled ? count : 0); };
    size(out.temporal, options.temporal);
    size(out.spatial, options.spatial);
    size(out.combined, options.combined);
    size(out.temporalNeg, symmetric && options.temporal);
    size(out.spatialNeg, symmetric && options.spatial);
    size(out.combinedNeg, symmetric && options.combined);
    double *const kOut = out.k.data();
    double *const ctfOut = out.ctf.data();
    double *const temporalOut = out.temporal.data();
    double *const spatialOut = out.spatial.data();
    double *const combinedOut = out.combined.data();
    double *const temporalNegOut = out.temporalNeg.data();
    double *const spatialNegOut = out.spatialNeg.data();
    double *const combinedNegOut = out.combinedNeg.data();

    LimitDetector limits;
    bool fastPending = true;
    // The phases first, then their sines in one branch-free pass the compiler can vectorise, kept in
    // the CTF series until the main pass replaces them by the damped values.
    for (int i = 0; i < count; ++i) {
        const double k = sampleK(i, sm, state.UpTo);
        kOut[i] = k;
        const double kx = k * inverseNorm;
        ctfOut[i] = Chi(state, kx, t * kx, defocus);
    }
    sinesInPlace(ctfOut, count);

    double previous = 0.0;
    for (int i = 0; i < count; ++i) {
        const double k = kOut[i];
        double et = envelopes.temporalEnvelope(k);
        double es = envelopes.spatialEnvelope(k, defocus);
        const double e = et * es;
        double ctf = ctfOut[i];
        limits.observe(k, e, ctf, out);
        // Only rising steps count; a dense enough sampling never rises by more than 10 per nm^-1 step.
        if (dk > 0 && fastPending && s == 1 && e > 0.9 && ctf - previous > riseThreshold) {
            fastPending = false;
            out.fastOscillation = true;
        }
        previous = ctf;
        if (intensity) {
            ctf *= ctf;
            et *= et;
            es *= es;
        }
        ctfOut[i] = ctf * et * es;
        if (options.temporal)
            temporalOut[i] = et;
        if (options.spatial)
            spatialOut[i] = es;
        if (options.combined)
            combinedOut[i] = et * es;
        if (symmetric) {
            if (options.temporal)
                temporalNegOut[i] = -et;
            if (options.spatial)
                spatialNegOut[i] = -es;
            if (options.combined)
                combinedNegOut[i] = -et * es;
        }
    }
    return out;
}

CtfCurves samplePlotterCurves(const OpticsState &state, double defocus, bool withCurve, bool withEnvelope)
{
    CtfCurves out;
    const Sampling sm = sampling(4096, state.UpTo, state.StepFactor);
    if (withCurve) {
        out.k.reserve(sm.count);
        out.ctf.reserve(sm.count);
        if (withEnvelope)
            out.combined.reserve(sm.count);
    }
    const EnvelopeFactors envelopes(state);
    LimitDetector limits;
    for (int i = 0; i < sm.count; ++i) {
        const double k = sampleK(i, sm, state.UpTo);
        const double k2 = k * k;
        const double chi = state.ChiDefocusFactor * defocus * k2 + state.ChiCsFactor * k2 * k2;
        const double ctf = ctfOfPhase(chi);
        const double et = envelopes.temporalEnvelope(k);
        const double es = envelopes.spatialEnvelope(k, defocus);
        const double e = et * es;
        limits.observe(k, e, ctf, out);
        if (withCurve) {
            out.k.append(k);
            out.ctf.append(ctf * et * es);
            if (withEnvelope)
                out.combined.append(e);
        }
    }
    return out;
}

} // namespace orvalis
