#pragma once
// The phase and envelope terms shared by the 1D curve, the 2D pattern and the defocus map.
// All take k in nm^-1 and lengths in nm; the state supplies lambda, Cs, A2, A3, Alpha and the factors.
#include "core/opticsstate.h"

#include <cmath>

namespace orvalis {

inline constexpr double Pi = 3.14159265358979323846;

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
          spatial(-(Pi * Pi) * (s.Alpha * s.Alpha)), csLambda2(s.Cs * s.Wavelength * s.Wavelength)
    {
    }
    // exp(-0.5 * (pi * lambda * FocalSpread)^2 * k^4)
    double temporalEnvelope(double k) const { return envelopeExp(temporalExponent(k)); }
    // exp(-pi^2 * Alpha^2 * k^2 * (Cs * lambda^2 * k^2 + D)^2), D the defocus in nm
    double spatialEnvelope(double k, double defocus) const { return envelopeExp(spatialExponent(k, defocus)); }

    double temporalExponent(double k) const { return temporal * (k * k * k * k); }
    double spatialExponent(double k, double defocus) const
    {
        const double u = csLambda2 * k * k + defocus;
        return spatial * (k * k) * (u * u);
    }

    double temporal;  // nm^4
    double spatial;   // rad^2
    double csLambda2; // nm^3
};

inline double TemporalEnvelope(const OpticsState &s, double k)
{
    return EnvelopeFactors(s).temporalEnvelope(k);
}

inline double SpatialEnvelope(const OpticsState &s, double k, double defocus)
{
    return EnvelopeFactors(s).spatialEnvelope(k, defocus);
}

// The phase chi split into its part even in ky and its odd part (the three-fold term): chi(kx, ky) is
// even + odd and chi(kx, -ky) is exactly even - odd.
struct ChiParts {
    double even;
    double odd;
};

// The phase chi, written once: the curve, the pattern, the map and the exact references they are
// checked against all evaluate these expressions, in this order of operations, so a vector loop and
// the scalar code give the same bits. The factors are taken from the state once for a whole curve,
// pattern or map row. k in nm^-1; chi in rad; the CTF is sin(chi).
struct PhaseFactors {
    PhaseFactors(const OpticsState &s, double defocus)
        : cs(s.ChiCsFactor), df(s.ChiDefocusFactor * defocus), a2(s.A2), wavelength(s.Wavelength),
          a3(s.Wavelength * s.Wavelength * s.A3)
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

    double cs;         // rad nm^4, ChiCsFactor
    double df;         // rad nm^2, ChiDefocusFactor * defocus
    double a2;         // nm
    double wavelength; // nm
    double a3;         // nm^3, lambda^2 * A3
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

} // namespace orvalis
