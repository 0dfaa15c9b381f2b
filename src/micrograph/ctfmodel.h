#pragma once
// The one model of a micrograph's CTF, for the fit, the micrograph views, the fit's outputs and the
// help's worked example: core's phase (PhaseFactors: the round part of chi, C5, the two-fold term
// turned by its azimuth) with the specimen's amplitude contrast, a phase plate's shift and, where the
// optics have them, the envelopes:
//     CTF = sin(chi - asin Q - phaseShift) times the envelopes.
// Its square is what a power spectrum shows; the sign convention matches CTFFIND's (RELION's CTF
// is its negative).
//
// Values come in in their users' units (kV, mm, Å or nm, degrees, fractions: CtfUserValues, the
// setters taking TwoFoldDefocus or CryoEmDefocus) and are converted here, once, with units.h's
// helpers; inside, the model computes in nm, nm^-1 and rad. The session's optics come in already
// converted (their loading is their edge).
#include "core/cryoemdefocus.h"
#include "core/ctffunctions.h"
#include "core/opticsstate.h"

#include <cmath>

namespace orvalis {

// The instrument a fit request carries, in the program's units.
struct CtfInstrument {
    double voltage = 300; // kV
    double cs = 2.7e6;    // nm (2.7 mm)
    double c5 = 0;        // nm, fifth-order spherical aberration: (pi / 3) C5 lambda^5 k^6 in chi

    // From kV and mm, as the shell's options and the files give them.
    static CtfInstrument fromUserUnits(double kilovolts, double csMm, double c5Mm = 0);
};

// A micrograph's CTF as people and files give it (the shell's options, CTFFIND's and RELION's
// files, the help's example).
struct CtfUserValues {
    double voltage = 300;            // kV
    double cs = 2.7;                 // mm
    double c5 = 0;                   // mm
    double amplitudeContrast = 0.07; // fraction Q, 0 <= Q < 1
    CryoEmDefocus defocus;           // U and V (Å, positive underfocus), angle of U (degrees)
    double phaseShift = 0;           // degrees, of a phase plate
};

// A tilted specimen: its mean defocus (Å, positive underfocus) at pixel (x, y), x the column and y
// the row counted from the image's centre, p the pixel size (Å), is
//     D(x, y) = D0 + tan(angle) * p * (y cos(axis) - x sin(axis)),
// so the axis is measured from +x towards +y and the side at axis + 90 degrees lies further from
// focus. D0 is the mean defocus at the centre.
struct SpecimenTilt {
    double angle = 0; // degrees, 0 .. 70
    double axis = 0;  // degrees
};

// Å of underfocus added by `tilt` at (x, y) pixels from the image's centre, for pixels of
// `pixelSize` Å: D(x, y) - D0 above.
double tiltDefocusOffset(const SpecimenTilt &tilt, double pixelSize, double x, double y);

// chi at one frequency as a sum of terms linear in the fitted values:
// chi = fixed + Defocus * defocus + ax * astigmatismX + ay * astigmatismY, with
// (ax, ay) = A2 * (cos 2t, sin 2t) for azimuth t, so that the fit moves smoothly through A2 = 0.
struct ChiTerms {
    double fixed = 0;        // rad, the spherical aberrations
    double defocus = 0;      // rad per nm of Defocus
    double astigmatismX = 0; // rad per nm of A2 at azimuth 0
    double astigmatismY = 0; // rad per nm of A2 at azimuth 45 degrees
};

// The frequency (nm^-1) at which the round part of `phase` (no astigmatism) has the phase that the
// even part of the whole has at (kx, ky): it maps the model's rings onto circles, turned astigmatism
// and C5 included, for every average along equal-phase rings. The three-fold term is odd and leaves
// a power spectrum (the spectrum of a weak phase object holds the phase's even part only), so it
// plays no part. Negative where no such frequency lies near k, as beyond the turning point of an
// underfocus' phase.
double equivalentRoundFrequency(const PhaseFactors &phase, double kx, double ky);

class CtfModel {
public:
    // The fit request's instrument. Throws OrvalisError for a voltage that is not above 0, a Q
    // outside 0 <= Q < 1, or values that are not finite numbers.
    CtfModel(const CtfInstrument &instrument, double amplitudeContrast);
    // Users' units, converted here; throws as above.
    explicit CtfModel(const CtfUserValues &values);
    // The session's optics at a defocus (nm): every term of the state (A2 and A3 with their
    // azimuths, C5, the envelopes, amplitude contrast and phase shift), as the pattern draws them.
    CtfModel(const OpticsState &optics, double defocus);

    // The values a fit moves, in the program's units.
    double Defocus = 0;    // nm, negative is underfocus: the mean of the two defoci
    double A2 = 0;         // nm, two-fold astigmatism (this program's definition)
    double azimuth = 0;    // rad, of A2 from the kx axis towards +ky: the direction of the most underfocus
    double phaseShift = 0; // rad
    // nm, the specimen's thickness: its rings are CTF^2 averaged through the depth, the defocus
    // uniform over Defocus -+ thickness / 2 (thicknessDamping). 0: a thin specimen.
    double thickness = 0;

    // The same from users' units: Defocus and A2 in nm with the azimuth in degrees, or U, V in Å with
    // their angle in degrees; the shift in degrees.
    void setDefocus(const TwoFoldDefocus &defocus);
    void setDefocus(const CryoEmDefocus &defocus);
    void setPhaseShiftDegrees(double degrees);

    // Back in users' units, for what the outputs write.
    double voltage() const { return m_optics.Voltage; } // kV
    double csMm() const;
    double amplitudeContrast() const { return m_optics.AmplitudeContrast; }
    double phaseShiftRadians() const { return phaseShift; }

    double wavelength() const { return m_optics.Wavelength; } // nm
    // rad: asin Q + phaseShift, what the phase is lowered by
    double phaseOffset() const { return phase().offset; }
    // core's phase factors of the whole model: taken once for a loop over many frequencies.
    PhaseFactors phase() const;
    EnvelopeFactors envelopes() const { return EnvelopeFactors(m_optics); }

    ChiTerms terms(double kx, double ky) const; // k in nm^-1
    // rad: the phase without the offset; the three-fold term included where the optics have one
    double chi(double kx, double ky) const;
    // The CTF with its envelopes (1 where the optics have none) at (kx, ky).
    double ctf(double kx, double ky) const;
    // The CTF^2 of the same model without astigmatism at frequency k (nm^-1), with or without the
    // envelopes: what the rings of an average along equal-phase rings follow. Through a thick
    // specimen, its average over the depth: (1 - cos(2 (chi - offset)) thicknessDamping(k)) / 2.
    double roundCtfSquared(double k, bool withEnvelopes = false) const;
    // sinc(pi lambda k^2 t), sinc x = sin x / x: how much of a ring's depth a specimen of thickness
    // t keeps at k. With chi = pi lambda D k^2 + ..., sin^2(chi - offset) = (1 - cos 2(chi - offset)) / 2,
    // and cos(2 chi0 + 2 pi lambda k^2 d) averaged over d uniform in -t/2 .. t/2 is cos(2 chi0) times
    // sin(pi lambda k^2 t) / (pi lambda k^2 t). Its first node, where the rings vanish and beyond
    // which they come back inverted, lies at k^2 = 1 / (lambda t). 1 for a thin specimen.
    double thicknessDamping(double k) const;
    double envelopeSquared(double k) const; // the squared envelopes at k
    // equivalentRoundFrequency of this model.
    double equivalentFrequency(double kx, double ky) const { return equivalentRoundFrequency(phase(), kx, ky); }

private:
    OpticsState phaseState() const;

    // The instrument, the specimen, A3 and the envelopes; A2, its azimuth and the shift are the fields'.
    OpticsState m_optics;
    // Of the same optics without A3, with A2 = 1 nm at azimuth 0: what the fit's terms are made of.
    PhaseFactors m_unitA2;
};

} // namespace orvalis
