#include "ctfcurves.h"

#include "core/ctffunctions.h"
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

void reserve(QVector<double> &v, bool filled, int count)
{
    if (filled)
        v.reserve(count);
}

} // namespace

int fineSteps(int pointDensity, double upTo)
{
    return roundToInt(pointDensity * upTo / 10);
}

CtfCurves sampleAnalysisCurves(const OpticsState &state, double defocus, double direction, const CurveOptions &options)
{
    CtfCurves out;
    const int s = state.StepFactor;
    const Sampling sm = sampling(state.PointDensity, state.UpTo, s);
    const bool intensity = options.intensity;
    const bool symmetric = options.symmetric && !intensity;
    const double slopeThreshold = 10.0;
    const double dk = sm.n == 0 ? 0.0 : state.UpTo / sm.n;
    const double t = std::tan(direction);
    const double norm = std::sqrt(t * t + 1);

    out.k.reserve(sm.count);
    out.ctf.reserve(sm.count);
    reserve(out.temporal, options.temporal, sm.count);
    reserve(out.spatial, options.spatial, sm.count);
    reserve(out.combined, options.combined, sm.count);
    reserve(out.temporalNeg, symmetric && options.temporal, sm.count);
    reserve(out.spatialNeg, symmetric && options.spatial, sm.count);
    reserve(out.combinedNeg, symmetric && options.combined, sm.count);

    bool infoPending = true;
    bool pointPending = true;
    bool fastPending = true;
    double previous = 0.0;
    for (int i = 0; i < sm.count; ++i) {
        const double k = sampleK(i, sm, state.UpTo);
        const double kx = k / norm;
        const double ky = t * kx;
        double et = TemporalEnvelope(state, k);
        double es = SpatialEnvelope(state, k, defocus);
        const double e = et * es;
        double ctf = std::sin(Chi(state, kx, ky, defocus));
        if (e < 0.08 && infoPending) {
            out.infoLimit = 1 / k;
            infoPending = false;
        }
        if (ctf > 0 && k != 0 && pointPending) {
            out.pointRes = 1 / k;
            pointPending = false;
        }
        // Only rising steps count; a dense enough sampling never rises by more than 10 per nm^-1 step.
        if (dk > 0) {
            const double slope = (ctf - previous) / dk;
            if (slope > slopeThreshold && fastPending && e > 0.9 && s == 1) {
                fastPending = false;
                out.fastOscillation = true;
            }
        }
        previous = ctf;
        if (intensity) {
            ctf *= ctf;
            et *= et;
            es *= es;
        }
        out.k.append(k);
        out.ctf.append(ctf * et * es);
        if (options.temporal)
            out.temporal.append(et);
        if (options.spatial)
            out.spatial.append(es);
        if (options.combined)
            out.combined.append(et * es);
        if (symmetric) {
            if (options.temporal)
                out.temporalNeg.append(-et);
            if (options.spatial)
                out.spatialNeg.append(-es);
            if (options.combined)
                out.combinedNeg.append(-et * es);
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
        reserve(out.combined, withEnvelope, sm.count);
    }
    bool infoPending = true;
    bool pointPending = true;
    for (int i = 0; i < sm.count; ++i) {
        const double k = sampleK(i, sm, state.UpTo);
        const double k2 = k * k;
        const double chi = state.ChiDefocusFactor * defocus * k2 + state.ChiCsFactor * k2 * k2;
        const double ctf = std::sin(chi);
        const double et = TemporalEnvelope(state, k);
        const double es = SpatialEnvelope(state, k, defocus);
        const double e = et * es;
        if (e < 0.08 && infoPending) {
            out.infoLimit = 1 / k;
            infoPending = false;
        }
        if (ctf > 0 && k != 0 && pointPending) {
            out.pointRes = 1 / k;
            pointPending = false;
        }
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
