#pragma once
// Micrographs with a known defocus, astigmatism and phase shift, written the cryo-EM way (defocus U
// and V in Å, angle, RELION's formula and constants, independently of the program's own model), for
// the fit's tests and its accuracy benchmark.
#include "micrograph/ctffit.h"
#include "micrograph/micrographimage.h"
#include "micrograph/micrographpipeline.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>

namespace orvalis {

struct FitCase {
    const char *name;
    double voltage;    // kV
    double csMm;       // mm
    double q;          // amplitude contrast
    double pixel;      // Å
    double defocusU;   // Å
    double defocusV;   // Å
    double angle;      // degrees
    double phaseShift; // degrees; NaN: none, and not fitted
};

inline bool hasPhaseShift(const FitCase &c)
{
    return !std::isnan(c.phaseShift);
}

struct FitImageOptions {
    int size = 4096;     // pixels a side
    double noise = 1.5;  // standard deviation of the added noise, in units of the object's
    double bFactor = 50; // Å^2: the rings fade as exp(-B k^2 / 4), k in Å^-1
    std::uint64_t seed = 1;
};

// RELION's CTF of the case at (kx, ky) in nm^-1, times the B-factor's envelope.
double fitCaseCtf(const FitCase &c, double bFactor, double kx, double ky);

// RELION's argument of the sine at (kx, ky) in nm^-1 (the CTF is -sin of it), the mean defocus
// taken `extraUnderfocus` Å further from focus.
double fitCaseArgument(const FitCase &c, double extraUnderfocus, double kx, double ky);

// RELION's pi lambda (Å) at the case's voltage: the argument falls by this times d k^2 (k in Å^-1) when
// the underfocus grows by d Å.
double fitCaseDefocusFactor(const FitCase &c);

MicrographImage fitCaseImage(const FitCase &c, const FitImageOptions &o);

// The fit's options for the case: its instrument, Q and whether the phase is fitted; the rest the
// defaults.
CtfFitOptions fitCaseOptions(const FitCase &c);

struct FitErrors {
    double meanDefocus = 0;  // Å, fitted minus true (U + V) / 2
    double difference = 0;   // Å, fitted minus true U - V
    double angle = 0;        // degrees, the smallest turn between the two axes; NaN when U - V < 500 Å
    double phaseShift = 0;   // degrees, modulo 180; NaN when not fitted
    double defocusLimit = 0; // Å: 0.5 % of the mean defocus, or 20 Å if larger
};

// The errors of `values` against the case. values must be set.
FitErrors fitErrors(const FitCase &c, const CtfFitValues &values);

// true when every error is within the benchmark's targets times `slack`.
bool withinTargets(const FitErrors &e, double slack = 1);

// "errors mean ... A, U-V ... A, angle ..., shift ...", for a failing check's message.
QString errorsText(const FitErrors &e);

} // namespace orvalis
