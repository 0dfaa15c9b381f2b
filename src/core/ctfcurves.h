#pragma once
// The 1D CTF along one direction of the frequency plane, with its envelopes and the limits found
// while sampling. Plain values in, plain series out: the window only pushes them into its chart.
#include "core/opticsstate.h"

#include <QVector>
#include <optional>

namespace orvalis {

namespace kernels {
struct KernelSet;
}

// Which curves the analysis view fills (the ticks of the View > 1D CTF menu).
struct CurveOptions {
    bool intensity = false; // squared values instead of amplitudes
    bool symmetric = false; // mirrored envelopes below the axis; ignored while intensity is on
    bool temporal = true;
    bool spatial = true;
    bool combined = true;
};

struct CtfCurves {
    QVector<double> k;           // nm^-1, the x of every point of every filled series
    QVector<double> ctf;         // damped CTF (CTF * Et * Es)
    QVector<double> temporal;    // Et; empty unless filled
    QVector<double> spatial;     // Es
    QVector<double> combined;    // Et * Es
    QVector<double> temporalNeg; // -Et, only when symmetric
    QVector<double> spatialNeg;
    QVector<double> combinedNeg;
    bool fastOscillation = false; // the CTF rises faster than the sampling follows (full sampling only)
    // nm, 1/k where the CTF leaves its first passband (the first sample after k = 0 with the sign
    // opposite to the passband's, negative for a positive Cs and positive for a negative one); none when
    // the curve starts with the other sign or stays in its passband up to UpTo.
    std::optional<double> pointRes;
    std::optional<double> infoLimit; // nm, 1/k where the combined envelope first falls below 0.08
};

// Number of fine steps N for a range: round(density * upTo / 10).
int fineSteps(int pointDensity, double upTo);

// Analysis mode: the full phase with both astigmatism terms along `direction` (rad) at `defocus` (nm),
// sampled with state.StepFactor over 0 .. state.UpTo.
CtfCurves sampleAnalysisCurves(const OpticsState &state, double defocus, double direction, const CurveOptions &options);
// The same into `out`, whose series are refilled in place: a caller that keeps `out` between calls
// allocates nothing once the series have reached their size.
void sampleAnalysisCurves(const OpticsState &state, double defocus, double direction, const CurveOptions &options,
                          CtfCurves &out);
// The same with the inner loops of one instruction set (every set gives the same values).
void sampleAnalysisCurves(const kernels::KernelSet &loops, const OpticsState &state, double defocus, double direction,
                          const CurveOptions &options, CtfCurves &out);

// Plotter mode: defocus and Cs terms only (no astigmatism, no direction), 4096 steps per 10 nm^-1.
// `withCurve` and `withEnvelope` say whether the damped CTF and the combined envelope are filled.
CtfCurves samplePlotterCurves(const OpticsState &state, double defocus, bool withCurve, bool withEnvelope);
void samplePlotterCurves(const OpticsState &state, double defocus, bool withCurve, bool withEnvelope, CtfCurves &out);
void samplePlotterCurves(const kernels::KernelSet &loops, const OpticsState &state, double defocus, bool withCurve,
                         bool withEnvelope, CtfCurves &out);

} // namespace orvalis
