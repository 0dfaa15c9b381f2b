#pragma once
// The inner loops of the 1D curve, the pattern and the map, built for several instruction sets of
// x86-64 and chosen once at run time, so that one binary uses the wide vector units where they exist
// and still runs on any x86-64 processor. Every variant is the same arithmetic in the same order with
// floating-point contraction off (no fused multiply-adds), so all of them give bit-identical results;
// only their speed differs. The one exception is written out: the curve's envelopes, whose
// exponential the wider variants compute as the C library does, fused multiply-adds and all
// (vectorexp.h), once it has given the library's bits here.
//
// The loops work on plain arrays; the callers (ctfcurves, ctfpattern, defocusmap) own the buffers,
// the guards that choose the fast path and the exact evaluation near grey-level steps.
#include "core/ctffunctions.h"
#include "core/opticsstate.h"

#include <cstdint>
#include <vector>

namespace orvalis::kernels {

enum class Isa {
    Baseline, // any x86-64 (SSE2)
    V3,       // x86-64-v3: AVX2, FMA (only where written out: contraction is off), BMI
    V4,       // x86-64-v4: AVX-512 F, BW, CD, DQ, VL
};

// The column terms of the defocus map (see computeDefocusMap), width entries each.
struct MapColumns {
    const double *k2;        // nm^-2
    const double *spherical; // rad, PhaseFactors::sphericalPart
    const double *et;        // temporal exponent
    const double *es;        // spatial exponent over (Cs lambda^2 k^2 + defocus)^2
    const double *cs2;       // nm, Cs lambda^2 k^2
    int width;
};

// The pattern's phase and the terms of its doubled envelope exponent.
struct PatternTerms {
    PhaseFactors phase;
    double cs2; // nm^3, Cs * lambda^2 (spatial envelope)
    double et;  // nm^4, temporal exponent over k^4
    double es;  // nm^2, spatial exponent over k^2 (Cs lambda^2 k^2 + defocus)^2
    double defocus;
    double damping = 0;   // nm^2, -B / 4 (the extended loops only)
    double c5Lambda4 = 0; // nm^5, C5 lambda^4 (the extended loops only)
};

// What the analysis curve's passes need besides the state.
struct CurveSampling {
    int count;          // samples
    int n;              // fine steps; 0 puts every sample at k = 0
    int s2;             // StepFactor squared
    double upTo;        // nm^-1
    double slope;       // tan(direction)
    double inverseNorm; // 1 / sqrt(slope^2 + 1)
    double defocus;     // nm
};

// Which of the analysis curve's outputs are wanted (null pointers are not written).
struct CurveOutputs {
    double *ctf; // in: sin(chi); out: damped CTF
    double *temporal;
    double *spatial;
    double *combined;
    double *temporalNeg;
    double *spatialNeg;
    double *combinedNeg;
    bool intensity;
};

// The first sample at which each detection of a curve fires; count when none does.
struct CurveEvents {
    int point; // the CTF leaves its first passband: the first sample at k != 0 with the sign opposite to
               // the passband's, after at least one inside it
    int info;  // combined envelope below 0.08
    int rise;  // CTF rising by more than the threshold from the sample before (0 before the first)
               // while the combined envelope is above 0.9
};

struct KernelSet {
    Isa isa;
    const char *name;
    // c2[c] = sin^2(chi) * (Et Es)^2 of every column at one defocus (nm), the round phase only (the
    // map shows no astigmatism); fast sine and exponential.
    void (*mapRow)(const MapColumns &columns, const PhaseFactors &phase, double defocus, double *c2);
    // Column kx of the pattern's lower grid: c2 over the m points k[0 .. m-1] along ky, and for the
    // upper grid the phase with the three-fold term negated and the squared envelope.
    void (*patternLowerColumn)(const PatternTerms &terms, const double *k, int m, double kx, double *c2,
                               double *chiUpper, double *envelope);
    void (*patternUpperColumn)(const double *chiUpper, const double *envelope, int m, double *c2);
    // The lower column's c2 alone when the phase has no three-fold term: then the upper grid is the
    // lower one, bit for bit.
    void (*patternEvenColumn)(const PatternTerms &terms, const double *k, int m, double kx, double *c2);
    // The same two with the optional terms (PhaseFactors::extended): C5, the azimuths, amplitude
    // contrast, phase shift and the B-factor. With an azimuth the upper grid's phase is not even - odd
    // any more, but the point -(kx, ky)'s still is.
    void (*patternLowerColumnExtended)(const PatternTerms &terms, const double *k, int m, double kx, double *c2,
                                       double *chiUpper, double *envelope);
    void (*patternEvenColumnExtended)(const PatternTerms &terms, const double *k, int m, double kx, double *c2);
    // With an azimuth: the four quarters at (kx, k[e]), (kx, -k[e]), (-kx, k[e]) and (-kx, -k[e]) from one
    // evaluation of the phase's parts (PhaseFactors::quadrants) and of the envelope.
    void (*patternQuadrantsColumn)(const PatternTerms &terms, const double *k, int m, double kx, double *lower,
                                   double *upper, double *leftLower, double *leftUpper);
    // GreyLevelLookup levels of count squared CTF values; true when any lies near a step (those
    // levels must be replaced by exact ones).
    bool (*greyLevels)(const double *c2, std::uint8_t *out, int count);
    // k and chi of the analysis curve's samples.
    void (*curvePhases)(const OpticsState &state, const CurveSampling &sampling, double *k, double *chi);
    // sin of every value in place: the fast sine when all lie within its limit, else the C library's.
    void (*sines)(double *values, int count);
    // The temporal and spatial envelopes at count frequencies k, bit for bit those of the C library's
    // exponential (EnvelopeFactors); the wider variants compute it in vectors where it agrees.
    void (*curveEnvelopes)(const EnvelopeFactors &factors, double defocus, const double *k, int count, double *et,
                           double *es);
    // The detections over sin(chi) and the envelopes; passband is the sign of the CTF in its first
    // passband (-1 or +1; 0 when there is none); the rise only when watchRise.
    CurveEvents (*curveEvents)(const double *k, const double *ctf, const double *et, const double *es, int count,
                               double passband, double riseThreshold, bool watchRise);
    // The analysis curve's series from sin(chi) (in outputs.ctf) and the two envelopes.
    void (*curveProducts)(const double *et, const double *es, int count, const CurveOutputs &outputs);
};

// Whether this processor (and its operating system) can run the variant.
bool isaSupported(Isa isa);
// The variant for an instruction set; only call it for a supported one.
const KernelSet &kernelsFor(Isa isa);
// Every variant this processor can run, baseline first.
std::vector<Isa> supportedIsas();
// The fastest supported variant, chosen on the first call.
const KernelSet &best();

} // namespace orvalis::kernels
