#include "core/cryoemdefocus.h"

#include "core/ctffunctions.h"

#include <cmath>

namespace orvalis {

namespace {
constexpr double AngstromPerNm = 10;
} // namespace

double twoFoldAngle(double degrees)
{
    double a = std::fmod(degrees, 180.0);
    if (a < 0)
        a += 180.0;
    return a >= 180.0 ? 0.0 : a; // fmod of a tiny negative value plus 180 can round up to 180
}

double a2OfDefocusDifference(double uMinusV)
{
    return Pi * uMinusV / AngstromPerNm;
}

double defocusDifferenceOfA2(double a2)
{
    return a2 / Pi * AngstromPerNm;
}

CryoEmDefocus toCryoEmDefocus(const TwoFoldDefocus &d)
{
    const double half = std::fabs(d.A2) / (2 * Pi); // nm, (U - V) / 2
    CryoEmDefocus c;
    c.defocusU = (-d.Defocus + half) * AngstromPerNm;
    c.defocusV = (-d.Defocus - half) * AngstromPerNm;
    c.angle = twoFoldAngle(d.A2 < 0 ? d.azimuth + 90 : d.azimuth);
    return c;
}

TwoFoldDefocus fromCryoEmDefocus(const CryoEmDefocus &c)
{
    const bool swapped = c.defocusU < c.defocusV;
    const double u = swapped ? c.defocusV : c.defocusU;
    const double v = swapped ? c.defocusU : c.defocusV;
    TwoFoldDefocus d;
    d.Defocus = -(u + v) / 2 / AngstromPerNm;
    d.A2 = a2OfDefocusDifference(u - v);
    d.azimuth = twoFoldAngle(swapped ? c.angle + 90 : c.angle);
    return d;
}

} // namespace orvalis
