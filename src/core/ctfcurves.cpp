#include "ctfcurves.h"

#include "core/ctffunctions.h"
#include "core/ctfkernels.h"
#include "core/fastmath.h"
#include "core/numberformat.h"
#include "core/vectorstate.h"

#include <cmath>
#include <vector>

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

// The sign of the CTF in the passband whose end is the point resolution: negative where an underfocus
// balances a positive Cs, positive where an overfocus balances a negative one. (-Cs, +D) is the curve
// of (+Cs, -D) negated and so gives the same resolution. Without Cs the defocus alone sets the sign;
// with neither there is no passband.
double passbandSign(double cs, double defocus)
{
    const double leading = cs != 0 ? -cs : defocus;
    return leading > 0 ? 1.0 : leading < 0 ? -1.0 : 0.0;
}

// The limits at the samples where the detections fired; a detection that did not fire leaves none.
void takeLimits(const kernels::CurveEvents &events, const double *k, int count, CtfCurves &out)
{
    if (events.point < count)
        out.pointRes = 1 / k[events.point];
    if (events.info < count)
        out.infoLimit = 1 / k[events.info];
}

// Sizes a series for this call: refilled in place, so its storage is allocated once for a run.
void fit(QVector<double> &v, bool filled, int count)
{
    v.resize(filled ? count : 0);
}

double *dataOrNull(QVector<double> &v)
{
    return v.isEmpty() ? nullptr : v.data();
}

void restart(CtfCurves &out)
{
    out.fastOscillation = false;
    out.pointRes.reset();
    out.infoLimit.reset();
}

// Per-thread frequencies, envelopes and CTF of a curve, kept so that they are allocated once.
struct Envelopes {
    std::vector<double> k, temporal, spatial, ctf;
};

// Scratch only grows: the passes alternate between coarse and full sizes, and resizing back up would
// fill the tail with zeros that every pass overwrites before it reads them.
void atLeast(std::vector<double> &scratch, std::size_t size)
{
    if (scratch.size() < size)
        scratch.resize(size);
}

} // namespace

int fineSteps(int pointDensity, double upTo)
{
    return roundToInt(pointDensity * upTo / 10);
}

CtfCurves sampleAnalysisCurves(const OpticsState &state, double defocus, double direction, const CurveOptions &options)
{
    CtfCurves out;
    sampleAnalysisCurves(state, defocus, direction, options, out);
    return out;
}

void sampleAnalysisCurves(const OpticsState &state, double defocus, double direction, const CurveOptions &options,
                          CtfCurves &out)
{
    sampleAnalysisCurves(kernels::best(), state, defocus, direction, options, out);
}

void sampleAnalysisCurves(const kernels::KernelSet &loops, const OpticsState &state, double defocus, double direction,
                          const CurveOptions &options, CtfCurves &out)
{
    clearUpperVectorState();
    restart(out);
    const int s = state.StepFactor;
    const Sampling sm = sampling(state.PointDensity, state.UpTo, s);
    const bool intensity = options.intensity;
    const bool symmetric = options.symmetric && !intensity;
    const double slopeThreshold = 10.0;
    const double dk = sm.n == 0 ? 0.0 : state.UpTo / sm.n;
    const double t = std::tan(direction);
    const double riseThreshold = slopeThreshold * dk; // slope > 10 without a division per sample
    const EnvelopeFactors envelopes(state);

    const int count = sm.count;
    fit(out.k, true, count);
    fit(out.ctf, true, count);
    fit(out.temporal, options.temporal, count);
    fit(out.spatial, options.spatial, count);
    fit(out.combined, options.combined, count);
    fit(out.temporalNeg, symmetric && options.temporal, count);
    fit(out.spatialNeg, symmetric && options.spatial, count);
    fit(out.combinedNeg, symmetric && options.combined, count);
    if (count == 0)
        return;
    double *const kOut = out.k.data();
    double *const ctf = out.ctf.data();

    // The phases and their sines first, kept in the CTF series until the products replace them by
    // the damped values; the envelopes with the C library's exponential (or its vector copy).
    const kernels::CurveSampling curveSampling{count, sm.n, sm.s2, state.UpTo, t, 1 / std::sqrt(t * t + 1), defocus};
    loops.curvePhases(state, curveSampling, kOut, ctf);
    loops.sines(ctf, count);
    thread_local Envelopes scratch;
    atLeast(scratch.temporal, count);
    atLeast(scratch.spatial, count);
    double *const et = scratch.temporal.data();
    double *const es = scratch.spatial.data();
    loops.curveEnvelopes(envelopes, defocus, kOut, count, et, es);

    // Only rising steps count; a dense enough sampling never rises by more than 10 per nm^-1 step.
    const kernels::CurveEvents events = loops.curveEvents(kOut, ctf, et, es, count, passbandSign(state.Cs, defocus),
                                                          riseThreshold, dk > 0 && s == 1);
    takeLimits(events, kOut, count, out);
    out.fastOscillation = events.rise < count;

    const kernels::CurveOutputs outputs{ctf,
                                        dataOrNull(out.temporal),
                                        dataOrNull(out.spatial),
                                        dataOrNull(out.combined),
                                        dataOrNull(out.temporalNeg),
                                        dataOrNull(out.spatialNeg),
                                        dataOrNull(out.combinedNeg),
                                        intensity};
    loops.curveProducts(et, es, count, outputs);
}

CtfCurves samplePlotterCurves(const OpticsState &state, double defocus, bool withCurve, bool withEnvelope)
{
    CtfCurves out;
    samplePlotterCurves(state, defocus, withCurve, withEnvelope, out);
    return out;
}

void samplePlotterCurves(const OpticsState &state, double defocus, bool withCurve, bool withEnvelope, CtfCurves &out)
{
    samplePlotterCurves(kernels::best(), state, defocus, withCurve, withEnvelope, out);
}

void samplePlotterCurves(const kernels::KernelSet &loops, const OpticsState &state, double defocus, bool withCurve,
                         bool withEnvelope, CtfCurves &out)
{
    clearUpperVectorState();
    restart(out);
    const Sampling sm = sampling(4096, state.UpTo, state.StepFactor);
    const int filled = withCurve ? sm.count : 0;
    fit(out.k, true, filled);
    fit(out.ctf, true, filled);
    fit(out.combined, withEnvelope, filled);
    for (QVector<double> *unused : {&out.temporal, &out.spatial, &out.temporalNeg, &out.spatialNeg, &out.combinedNeg})
        unused->resize(0);
    double *const kOut = dataOrNull(out.k);
    double *const ctfOut = dataOrNull(out.ctf);
    double *const combinedOut = dataOrNull(out.combined);

    // The frequencies, both envelopes and the CTF first, then the limits: they are found even when no
    // curve is drawn.
    thread_local Envelopes scratch;
    const int count = sm.count;
    atLeast(scratch.k, count);
    atLeast(scratch.temporal, count);
    atLeast(scratch.spatial, count);
    atLeast(scratch.ctf, count);
    double *const ks = scratch.k.data();
    double *const et = scratch.temporal.data();
    double *const es = scratch.spatial.data();
    double *const ctf = scratch.ctf.data();
    for (int i = 0; i < count; ++i)
        ks[i] = sampleK(i, sm, state.UpTo);
    loops.curveEnvelopes(EnvelopeFactors(state), defocus, ks, count, et, es);
    const PhaseFactors phase(state, defocus);
    for (int i = 0; i < count; ++i)
        ctf[i] = ctfOfPhase(phase.roundArgument(ks[i] * ks[i]));
    const kernels::CurveEvents events = loops.curveEvents(ks, ctf, et, es, count, passbandSign(state.Cs, defocus), 0.0,
                                                          false);
    takeLimits(events, ks, count, out);
    if (!withCurve)
        return;
    for (int i = 0; i < count; ++i) {
        kOut[i] = ks[i];
        ctfOut[i] = ctf[i] * et[i] * es[i];
        if (combinedOut)
            combinedOut[i] = et[i] * es[i];
    }
}

} // namespace orvalis
