#pragma once
// The 1D curves at the frequency under the pointer: computed afresh from the shared CTF functions, so
// the readout is exact wherever the pointer is, not the nearest plotted point.
#include "core/opticsstate.h"

#include <QString>

namespace orvalis {

struct CurveValues {
    double ctf = 0;      // damped CTF (CTF * Et * Es), each factor squared when intensity is on
    double envelope = 0; // combined envelope Et * Es, squared when intensity is on
};

// Analysis mode: the full phase with both astigmatism terms along `direction` (rad) at `defocus` (nm);
// k in nm^-1.
CurveValues analysisCurveAt(const OpticsState &state, double defocus, double direction, bool intensity, double k);

// Plotter mode: defocus and Cs terms only.
CurveValues plotterCurveAt(const OpticsState &state, double defocus, double k);

// The readout under the 2D pattern: "Current k, (d): 10.0 nm-1,  (0.10 nm)"; k = 0 reads as 0.001.
QString patternReadoutText(double k);

// "k 4.25 nm-1, d 0.235 nm"; at k = 0, which has no spacing, "k 0.00 nm-1".
QString pointerFrequencyText(double k);

// "CTF -0.538, E 0.668", the curve's name first: "CTF 2 0.120, E 0.700".
QString pointerCurveText(const QString &curve, const CurveValues &values);

// The profile's direction, counter-clockwise from the pattern's right as it is seen: "along 45°"
// (whole degrees, -179 .. 180); empty without astigmatism, when every direction gives the same curve.
QString profileDirectionText(const OpticsState &state);

// The readout over the defocus map: "Defocus 1250 nm, CTF -0.538".
QString pointerMapText(double defocus, double ctf);

} // namespace orvalis
