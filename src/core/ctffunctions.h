#pragma once
// The phase and envelope terms shared by the 1D curve, the 2D pattern and the defocus map.
// All take k in nm^-1 and lengths in nm; the state supplies lambda, Cs, A2, A3, Alpha and the factors.
#include "core/opticsstate.h"
#include "core/units.h"

#include <cmath>

namespace orvalis {

// exp(x), with the underflow to 0 taken without the C library's slow error path: far out in
// frequency the envelopes' exponents run to -1e6 and beyond. Below -746 exp is exactly 0 anyway.
inline double envelopeExp(double x)
{
    return x < -746.0 ? 0.0 : std::exp(x);
}

// The constant factors of the two envelopes, taken from the state once for a whole curve, pattern or
// map. TemporalEnvelope and SpatialEnvelope below are these very expressions.
struct EnvelopeFactors {
    explicit EnvelopeFactors(const OpticsState &s)
        : temporal(-0.5 * ((Pi * s.Wavelength * s.FocalSpread) * (Pi * s.Wavelength * s.FocalSpread))),
          spatial(-(Pi * Pi) * (s.Alpha * s.Alpha)), csLambda2(s.Cs * s.Wavelength * s.Wavelength),
          damping(-s.BFactor / 4), c5Lambda4(s.C5 * ((s.Wavelength * s.Wavelength) * (s.Wavelength * s.Wavelength)))
    {
    }
    // exp(-0.5 * (pi * lambda * FocalSpread)^2 * k^4), and the B-factor's exp(-B k^2 / 4) with it
    double temporalEnvelope(double k) const { return envelopeExp(temporalExponent(k)); }
    // exp(-pi^2 * Alpha^2 * k^2 * (Cs * lambda^2 * k^2 + C5 * lambda^4 * k^4 + D)^2), D the defocus in nm:
    // the gradient of chi over 2 pi lambda, squared
    double spatialEnvelope(double k, double defocus) const { return envelopeExp(spatialExponent(k, defocus)); }

    // Without a B-factor and C5 their terms are signed zeros: the sums keep their values, and an
    // exponent of -0 instead of +0 has the same exponential, so the envelopes keep every bit.
    double temporalExponent(double k) const { return temporal * (k * k * k * k) + damping * (k * k); }
    double spatialExponent(double k, double defocus) const
    {
        // Cs lambda^2 k k in this order, as the curve has always rounded it.
        const double u = csLambda2 * k * k + c5Lambda4 * (k * k * k * k) + defocus;
        return spatial * (k * k) * (u * u);
    }
    // Cs lambda^2 k^2 + C5 lambda^4 k^4 (nm) at k^2
    double gradientTerm(double k2) const { return csLambda2 * k2 + c5Lambda4 * (k2 * k2); }

    double temporal;  // nm^4
    double spatial;   // rad^2
    double csLambda2; // nm^3
    double damping;   // nm^2, -B / 4
    double c5Lambda4; // nm^5, C5 lambda^4
};

inline double TemporalEnvelope(const OpticsState &s, double k)
{
    return EnvelopeFactors(s).temporalEnvelope(k);
}

inline double SpatialEnvelope(const OpticsState &s, double k, double defocus)
{
    return EnvelopeFactors(s).spatialEnvelope(k, defocus);
}

// The phase chi split into its part even under k -> -k and its odd part (the three-fold term):
// chi(-kx, -ky) is exactly even - odd. Without azimuths the phase is also even in kx, so that
// chi(kx, -ky) is even - odd too.
struct ChiParts {
    double even;
    double odd;
};

// The phase chi, written once: the curve, the pattern, the map and the exact references they are
// checked against all evaluate these expressions, in this order of operations, so a vector loop and
// the scalar code give the same bits. The factors are taken from the state once for a whole curve,
// pattern or map row. k in nm^-1; chi in rad; the CTF is sin of the argument, chi without the
// optional terms.
//
// The optional terms (C5, the azimuths, amplitude contrast and phase shift) are kept apart: with all
// of them zero `extended` is false and every phase is the plain expression, bit for bit as before
// they existed. The argument of the CTF is then chi; with them it is
//     chi + (pi / 3) C5 lambda^5 k^6 (two- and three-fold terms turned by their azimuths) - asin Q - phi.
struct PhaseFactors {
    PhaseFactors(const OpticsState &s, double defocus)
        : cs(s.ChiCsFactor), df(s.ChiDefocusFactor * defocus), a2(s.A2), wavelength(s.Wavelength),
          a3(s.Wavelength * s.Wavelength * s.A3),
          c5(Pi / 3 * s.C5 * ((s.Wavelength * s.Wavelength) * (s.Wavelength * s.Wavelength) * s.Wavelength)),
          cos2(std::cos(2 * s.A2Azimuth)), sin2(std::sin(2 * s.A2Azimuth)), cos3(std::cos(3 * s.A3Azimuth)),
          sin3(std::sin(3 * s.A3Azimuth)), offset(std::asin(s.AmplitudeContrast) + s.PhaseShift),
          turned(s.A2Azimuth != 0 || s.A3Azimuth != 0), extended(turned || c5 != 0 || offset != 0)
    {
    }
    // pi Cs lambda^3 k^4 / 2 + pi lambda D k^2 at k^2 = kx^2 + ky^2: the round part of chi.
    double roundPart(double k2) const { return roundPart(sphericalPart(k2), k2); }
    double sphericalPart(double k2) const { return cs * k2 * k2; }
    // The same from a spherical part taken before, for a loop over the defocus at one k^2.
    double roundPart(double spherical, double k2) const { return spherical + df * k2; }
    // The same with k^4 multiplied out from k, as the saved defocus-map table has always computed it:
    // tables saved before keep their last digits.
    double roundPartAt(double k) const { return df * (k * k) + cs * (k * k * k * k); }
    // (ky^2 - kx^2) * A2 * lambda / 2: the two-fold term lies along the kx axis; it carries no factor pi.
    double twoFold(double kx, double ky) const { return (ky * ky - kx * kx) * a2 * wavelength / 2; }
    // lambda^2 * A3 * ky * (ky^2 - 3 kx^2) / 3
    double threeFold(double kx, double ky) const { return a3 * ky * (ky * ky - 3 * kx * kx) / 3; }
    double evenPart(double kx, double ky) const { return roundPart(kx * kx + ky * ky) + twoFold(kx, ky); }
    ChiParts parts(double kx, double ky) const { return {evenPart(kx, ky), threeFold(kx, ky)}; }
    double chi(double kx, double ky) const
    {
        const ChiParts p = parts(kx, ky);
        return p.even + p.odd;
    }

    // ---- with the optional terms ----
    // (pi / 3) C5 lambda^5 k^6, the sign of the Cs term's
    double fifthOrder(double k2) const { return c5 * (k2 * k2 * k2); }
    // The two-fold term at (kx, ky) turned by -azimuth: its most underfocus lies along the azimuth.
    double twoFoldTurned(double kx, double ky) const
    {
        return (cos2 * (ky * ky - kx * kx) - 2 * sin2 * (kx * ky)) * a2 * wavelength / 2;
    }
    // The three-fold term turned by its azimuth: -Im((kx + i ky)^3 e^(-3 i azimuth)) lambda^2 A3 / 3.
    double threeFoldTurned(double kx, double ky) const
    {
        return a3 * (cos3 * (ky * (ky * ky - 3 * kx * kx)) + sin3 * (kx * (kx * kx - 3 * ky * ky))) / 3;
    }
    // The argument split by its parity in kx and in ky: at (sx kx, sy ky), sx and sy = +-1, it is
    // evenEven + sx sy oddOdd + sy evenOdd + sx oddEven.
    struct Quadrants {
        double evenEven, oddOdd, evenOdd, oddEven;
    };
    Quadrants quadrants(double kx, double ky) const
    {
        const double k2 = kx * kx + ky * ky;
        const double t = a2 * wavelength / 2;
        return {roundPart(k2) + fifthOrder(k2) + cos2 * (ky * ky - kx * kx) * t - offset, -2 * sin2 * (kx * ky) * t,
                a3 * (cos3 * (ky * (ky * ky - 3 * kx * kx))) / 3, a3 * (sin3 * (kx * (kx * kx - 3 * ky * ky))) / 3};
    }
    // The round part of the CTF's argument: what the map and the plotter show.
    double roundArgument(double k2) const { return extended ? roundPart(k2) + fifthOrder(k2) - offset : roundPart(k2); }
    // The CTF's argument split as parts() splits chi; the offset is even.
    ChiParts extendedParts(double kx, double ky) const
    {
        const double k2 = kx * kx + ky * ky;
        return {roundPart(k2) + fifthOrder(k2) + twoFoldTurned(kx, ky) - offset, threeFoldTurned(kx, ky)};
    }
    ChiParts argumentParts(double kx, double ky) const { return extended ? extendedParts(kx, ky) : parts(kx, ky); }
    // The argument of the CTF: sin(argument) is the undamped CTF.
    double argument(double kx, double ky) const
    {
        const ChiParts p = argumentParts(kx, ky);
        return p.even + p.odd;
    }
    // A bound of |argument| over |k| <= kMax, for the guards of the fast sine.
    double bound(double kMax) const
    {
        const double k2 = kMax * kMax;
        return std::fabs(cs) * k2 * k2 + std::fabs(df) * k2 + std::fabs(a2 * wavelength / 2) * k2
            + std::fabs(a3 / 3) * k2 * kMax + std::fabs(c5) * k2 * k2 * k2 + std::fabs(offset);
    }

    double cs;         // rad nm^4, ChiCsFactor
    double df;         // rad nm^2, ChiDefocusFactor * defocus
    double a2;         // nm
    double wavelength; // nm
    double a3;         // nm^3, lambda^2 * A3
    double c5;         // rad nm^6, pi C5 lambda^5 / 3
    double cos2, sin2; // of twice the two-fold azimuth
    double cos3, sin3; // of three times the three-fold azimuth
    double offset;     // rad, asin Q + phase shift
    bool turned;       // an azimuth is set: the phase is no longer even in kx
    bool extended;     // any optional term is set
};

inline double AstigTerm2(const OpticsState &s, double kx, double ky)
{
    return PhaseFactors(s, 0).twoFold(kx, ky);
}

inline double AstigTerm3(const OpticsState &s, double kx, double ky)
{
    return PhaseFactors(s, 0).threeFold(kx, ky);
}

// The phase chi at (kx, ky) for defocus D.
inline double Chi(const OpticsState &s, double kx, double ky, double defocus)
{
    return PhaseFactors(s, defocus).chi(kx, ky);
}

// The argument of the CTF at (kx, ky) for defocus D: chi with every optional term of the state.
inline double CtfArgument(const OpticsState &s, double kx, double ky, double defocus)
{
    return PhaseFactors(s, defocus).argument(kx, ky);
}

} // namespace orvalis
