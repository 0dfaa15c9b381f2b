#pragma once
// The program computes in nm, nm^-1, rad and fractions; people and files speak Å, mm, µm, degrees,
// mrad and ppm. Every conversion between the two goes through a name here, at the edge where a value
// comes in or goes out. Each one computes exactly the arithmetic the places that use it always did
// (x * Pi / 180 is (x * Pi) / 180, which is not x * (Pi / 180) in the last bit): stored values, texts
// and pictures depend on those bits, so a helper's operation order is never changed.

#include <cmath>

namespace orvalis {

inline constexpr double Pi = 3.14159265358979323846;

// Factors for tables of quantities that convert by one product (text unit -> record unit).
inline constexpr double NmPerMm = 1e6;
inline constexpr double RadPerMrad = 1e-3;
inline constexpr double FractionPerPpm = 1e-6;
// nm per unit of length, for the pixel sizes micrograph files state (pixels per metre, cm, inch; Å per
// cell in MRC): multiplied or divided as each format's reader always did.
inline constexpr double NmPerAngstrom = 0.1;
inline constexpr double NmPerUm = 1000;
inline constexpr double NmPerCm = 1e7;
inline constexpr double NmPerInch = 2.54e7;
inline constexpr double NmPerMetre = 1e9;

// Å -> nm
constexpr double angstromToNm(double angstrom)
{
    return angstrom / 10;
}

// nm -> Å
constexpr double nmToAngstrom(double nm)
{
    return nm * 10;
}

// mm -> nm (Cs, Cc, C5)
constexpr double mmToNm(double mm)
{
    return mm * NmPerMm;
}

// nm -> mm, by division
constexpr double nmToMm(double nm)
{
    return nm / NmPerMm;
}

// nm -> mm, by the product with 1e-6 (the setup dialogs' fields and the info texts)
constexpr double nmToMmByProduct(double nm)
{
    return nm * 1e-6;
}

// nm^2 -> Å^2 (B-factor)
constexpr double nm2ToAngstrom2(double nm2)
{
    return nm2 * 100;
}

// Å^2 -> nm^2 (B-factor)
constexpr double angstrom2ToNm2(double angstrom2)
{
    return angstrom2 / 100;
}

// µm -> nm
constexpr double umToNm(double um)
{
    return um * 1000;
}

// nm -> µm
constexpr double nmToUm(double nm)
{
    return nm / 1000;
}

// degrees -> rad, as (degrees * Pi) / 180
constexpr double degreesToRadians(double degrees)
{
    return degrees * Pi / 180;
}

// rad -> degrees, as (rad * 180) / Pi
constexpr double radiansToDegrees(double radians)
{
    return radians * 180 / Pi;
}

// degrees in [0, period): a direction and its turns by `period` are one (360 for a direction with a
// sense, 180 for a two-fold one, 120 for a three-fold one).
inline double directionWithin(double degrees, double period)
{
    double a = std::fmod(degrees, period);
    if (a < 0)
        a += period;
    return a >= period ? 0.0 : a; // fmod of a tiny negative value plus the period can round up to it
}

// mrad -> rad, by the product with 1e-3 (the library's and the dialogs' texts)
constexpr double mradToRad(double mrad)
{
    return mrad * RadPerMrad;
}

// mrad -> rad, by division by 1000 (the shell's --alpha)
constexpr double mradToRadByDivision(double mrad)
{
    return mrad / 1000;
}

// rad -> mrad
constexpr double radToMrad(double rad)
{
    return rad * 1000;
}

// ppm -> fraction
constexpr double ppmToFraction(double ppm)
{
    return ppm * FractionPerPpm;
}

// fraction -> ppm
constexpr double fractionToPpm(double fraction)
{
    return fraction * 1e6;
}

// kV -> V
constexpr double kilovoltsToVolts(double kilovolts)
{
    return kilovolts * 1000;
}

// factor * kV -> V, the product taken first (the focal spread's dE / (2.355 U))
constexpr double kilovoltProductToVolts(double factor, double kilovolts)
{
    return factor * kilovolts * 1000;
}

// mm -> µm (how many decimals a spherical aberration is shown with)
constexpr double mmToUm(double mm)
{
    return mm * 1000;
}

// tenths of a nm (the fine defocus slider's steps) -> nm: the nearest double to them
constexpr double tenthsToNm(double tenths)
{
    return tenths / 10.0;
}

} // namespace orvalis
