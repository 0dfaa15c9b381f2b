#pragma once
// The transfer function a micrograph is fitted with: the program's phase chi (core's terms) with
// the two-fold astigmatism turned by its azimuth, a fifth-order spherical aberration, and the
// specimen's amplitude contrast and a phase plate's shift:
//     CTF = sin(chi - asin Q - phaseShift).
// Its square is what a power spectrum shows; the sign convention matches CTFFIND's (RELION's CTF
// is its negative).
#include "core/opticsstate.h"

#include <cmath>

namespace orvalis {

struct CtfInstrument {
    double voltage = 300; // kV
    double cs = 2.7e6;    // nm (2.7 mm)
    double c5 = 0;        // nm, fifth-order spherical aberration: (pi / 3) C5 lambda^5 k^6 in chi
};

// chi at one frequency as a sum of terms linear in the fitted values:
// chi = fixed + Defocus * defocus + ax * astigmatismX + ay * astigmatismY, with
// (ax, ay) = A2 * (cos 2t, sin 2t) for azimuth t, so that the fit moves smoothly through A2 = 0.
struct ChiTerms {
    double fixed = 0;        // rad, the spherical aberrations
    double defocus = 0;      // rad per nm of Defocus
    double astigmatismX = 0; // rad per nm of A2 at azimuth 0
    double astigmatismY = 0; // rad per nm of A2 at azimuth 45 degrees
};

class CtfModel {
public:
    // Throws OrvalisError for a voltage that is not above 0, a Q outside 0 <= Q < 1, or values that
    // are not finite numbers.
    CtfModel(const CtfInstrument &instrument, double amplitudeContrast);

    double Defocus = 0;    // nm, negative is underfocus: the mean of the two defoci
    double A2 = 0;         // nm, two-fold astigmatism (this program's definition)
    double azimuth = 0;    // rad, of A2 from the kx axis towards +ky: the direction of the most underfocus
    double phaseShift = 0; // rad

    double wavelength() const { return m_optics.Wavelength; } // nm
    double amplitudeContrast() const { return m_amplitudeContrast; }
    // rad: asin Q + phaseShift, what the phase is lowered by
    double phaseOffset() const { return m_amplitudePhase + phaseShift; }

    ChiTerms terms(double kx, double ky) const; // k in nm^-1
    double chi(double kx, double ky) const;     // rad
    double ctf(double kx, double ky) const { return std::sin(chi(kx, ky) - phaseOffset()); }
    // The CTF^2 of the same model without astigmatism at frequency k (nm^-1): what the rings of an
    // average along equal-phase rings follow.
    double roundCtfSquared(double k) const;
    // The frequency (nm^-1) at which the model without astigmatism has the phase the full model has
    // at (kx, ky): it maps the model's rings onto circles (for equalPhaseAverage). Negative where no
    // such frequency lies near k, as beyond the turning point of an underfocus' phase.
    double equivalentFrequency(double kx, double ky) const;

private:
    double roundChi(double k2) const;

    OpticsState m_optics;  // wavelength, Cs and chi's factors; A2 and A3 kept 0
    OpticsState m_unitA2;  // the same with A2 = 1 nm
    double m_c5Factor = 0; // rad nm^6
    double m_amplitudeContrast = 0;
    double m_amplitudePhase = 0; // rad, asin Q
};

} // namespace orvalis
