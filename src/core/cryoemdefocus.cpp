#include "core/cryoemdefocus.h"

#include "core/ctffunctions.h"
#include "core/units.h"

#include <cmath>

namespace orvalis {

namespace {
} // namespace

double twoFoldAngle(double degrees)
{
    return directionWithin(degrees, 180.0);
}

double a2OfDefocusDifference(double uMinusV)
{
    return angstromToNm(Pi * uMinusV);
}

double defocusDifferenceOfA2(double a2)
{
    return nmToAngstrom(a2 / Pi);
}

CryoEmDefocus toCryoEmDefocus(const TwoFoldDefocus &d)
{
    const double half = std::fabs(d.A2) / (2 * Pi); // nm, (U - V) / 2
    CryoEmDefocus c;
    c.defocusU = nmToAngstrom(-d.Defocus + half);
    c.defocusV = nmToAngstrom(-d.Defocus - half);
    c.angle = twoFoldAngle(d.A2 < 0 ? d.azimuth + 90 : d.azimuth);
    return c;
}

TwoFoldDefocus fromCryoEmDefocus(const CryoEmDefocus &c)
{
    const bool swapped = c.defocusU < c.defocusV;
    const double u = swapped ? c.defocusV : c.defocusU;
    const double v = swapped ? c.defocusU : c.defocusV;
    TwoFoldDefocus d;
    d.Defocus = angstromToNm(-(u + v) / 2);
    d.A2 = a2OfDefocusDifference(u - v);
    d.azimuth = twoFoldAngle(swapped ? c.angle + 90 : c.angle);
    return d;
}

} // namespace orvalis
