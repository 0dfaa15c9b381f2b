#pragma once
// The two ways of writing a defocus with two-fold astigmatism: this program's mean Defocus, A2 and
// its azimuth, and the cryo-EM programs' defocus U and V with their angle (RELION's _rlnDefocusU,
// _rlnDefocusV and _rlnDefocusAngle, CTFFIND's defocus 1, defocus 2 and azimuth of astigmatism).
//
// With the two-fold term of chi rotated by the azimuth t, the defocus along a direction phi of the
// frequency plane is D - A2 / (2 pi) * cos 2(phi - t), and in cryo-EM terms the underfocus there is
// (U + V)/2 + (U - V)/2 * cos 2(phi - angle). So
//     D = -(U + V) / 2,   A2 = pi * (U - V),   t = angle,
// defU being the larger underfocus and lying along the azimuth. Both angles are measured from the
// kx axis (x, along an image's rows) towards +ky (y, the row index growing, rows counted in the order
// the file stores them, as RELION and CTFFIND count them).
namespace orvalis {

struct CryoEmDefocus {
    double defocusU = 0; // Å, positive underfocus, the larger of the two (U >= V)
    double defocusV = 0; // Å
    double angle = 0;    // degrees, of defocusU from the x axis, 0 <= angle < 180
};

struct TwoFoldDefocus {
    double Defocus = 0; // nm, negative underfocus: the mean of the two
    double A2 = 0;      // nm, two-fold astigmatism, never negative
    double azimuth = 0; // degrees, 0 <= azimuth < 180: the direction of the most underfocus
};

// A negative A2 is the same astigmatism turned by 90 degrees, and is given back so.
CryoEmDefocus toCryoEmDefocus(const TwoFoldDefocus &defocus);
// defocusU below defocusV is the same astigmatism turned by 90 degrees.
TwoFoldDefocus fromCryoEmDefocus(const CryoEmDefocus &defocus);

// A2 (nm) of a defocus difference U - V (Å), as the largest astigmatism a fit searches is given
// (the shell's option, the Fit dialog's field), and back.
double a2OfDefocusDifference(double uMinusV);
double defocusDifferenceOfA2(double a2);

// degrees in [0, 180): a two-fold direction and its opposite are one.
double twoFoldAngle(double degrees);

} // namespace orvalis
