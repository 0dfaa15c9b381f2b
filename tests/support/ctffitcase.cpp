#include "ctffitcase.h"

#include "syntheticmicrograph.h"

#include <algorithm>

namespace orvalis {

namespace {
constexpr double kPi = 3.14159265358979323846;

// RELION's wavelength (Å), with its constants.
double relionWavelength(const FitCase &c)
{
    const double volts = c.voltage * 1000;
    return 12.2643247 / std::sqrt(volts * (1 + volts * 0.978466e-6));
}
} // namespace

double fitCaseDefocusFactor(const FitCase &c)
{
    return kPi * relionWavelength(c);
}

double fitCaseArgument(const FitCase &c, double extraUnderfocus, double kx, double ky)
{
    // RELION's CTF::getCTF, in Å.
    const double lambda = relionWavelength(c);
    const double k1 = kPi * lambda;
    const double x = kx / 10, y = ky / 10; // Å^-1
    const double u2 = x * x + y * y;
    const double average = -(c.defocusU + c.defocusV) / 2 - extraUnderfocus, deviation = -(c.defocusU - c.defocusV) / 2;
    const double deltaf = u2 > 0 ? average + deviation * std::cos(2 * (std::atan2(y, x) - c.angle * kPi / 180)) : 0;
    const double k2 = kPi / 2 * c.csMm * 1e7 * lambda * lambda * lambda;
    const double k3 = std::atan(c.q / std::sqrt(1 - c.q * c.q));
    const double k5 = hasPhaseShift(c) ? c.phaseShift * kPi / 180 : 0;
    return k1 * deltaf * u2 + k2 * u2 * u2 - k5 - k3;
}

double fitCaseCtf(const FitCase &c, double bFactor, double kx, double ky)
{
    const double x = kx / 10, y = ky / 10; // Å^-1
    const double u2 = x * x + y * y;
    return -std::sin(fitCaseArgument(c, 0, kx, ky)) * std::exp(-bFactor * u2 / 4);
}

MicrographImage fitCaseImage(const FitCase &c, const FitImageOptions &o)
{
    SyntheticOptions s;
    s.width = o.size;
    s.height = o.size;
    s.pixelSizeNm = c.pixel / 10;
    s.seed = o.seed;
    s.noise = o.noise;
    const double b = o.bFactor;
    return syntheticMicrograph(s, [&c, b](double kx, double ky) { return fitCaseCtf(c, b, kx, ky); });
}

CtfFitOptions fitCaseOptions(const FitCase &c)
{
    CtfFitOptions o;
    o.instrument.voltage = c.voltage;
    o.instrument.cs = c.csMm * 1e6;
    o.amplitudeContrast = c.q;
    o.fitPhaseShift = hasPhaseShift(c);
    return o;
}

FitErrors fitErrors(const FitCase &c, const CtfFitValues &v)
{
    FitErrors e;
    const double mean = (c.defocusU + c.defocusV) / 2;
    e.meanDefocus = (v.cryoEm.defocusU + v.cryoEm.defocusV) / 2 - mean;
    e.difference = (v.cryoEm.defocusU - v.cryoEm.defocusV) - (c.defocusU - c.defocusV);
    e.defocusLimit = std::max(20.0, 0.005 * mean);
    e.angle = std::numeric_limits<double>::quiet_NaN();
    if (c.defocusU - c.defocusV >= 500) {
        const double turn = std::fmod(std::fabs(v.cryoEm.angle - c.angle), 180.0);
        e.angle = std::min(turn, 180 - turn);
    }
    e.phaseShift = std::numeric_limits<double>::quiet_NaN();
    if (hasPhaseShift(c)) {
        const double turn = std::fmod(std::fabs(v.phaseShift - c.phaseShift), 180.0);
        e.phaseShift = std::min(turn, 180 - turn);
    }
    return e;
}

bool withinTargets(const FitErrors &e, double slack)
{
    return std::fabs(e.meanDefocus) <= slack * e.defocusLimit && std::fabs(e.difference) <= slack * 30
        && !(e.angle > slack * 3) && !(e.phaseShift > slack * 5);
}

QString errorsText(const FitErrors &e)
{
    return QStringLiteral("errors mean %1 A, U-V %2 A, angle %3, shift %4")
        .arg(e.meanDefocus, 0, 'f', 1)
        .arg(e.difference, 0, 'f', 1)
        .arg(e.angle, 0, 'f', 2)
        .arg(e.phaseShift, 0, 'f', 2);
}

} // namespace orvalis
