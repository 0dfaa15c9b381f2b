#include "curvereadout.h"

#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/units.h"

#include <cmath>

namespace orvalis {

namespace {

CurveValues damped(double ctf, double temporal, double spatial, bool intensity)
{
    if (intensity) {
        ctf *= ctf;
        temporal *= temporal;
        spatial *= spatial;
    }
    return {ctf * temporal * spatial, temporal * spatial};
}

} // namespace

CurveValues analysisCurveAt(const OpticsState &state, double defocus, double direction, bool intensity, double k)
{
    // The profile runs along the half-line with kx >= 0 whose slope is tan(direction).
    const double t = std::tan(direction);
    const double kx = k / std::sqrt(t * t + 1);
    return damped(std::sin(CtfArgument(state, kx, t * kx, defocus)), TemporalEnvelope(state, k),
                  SpatialEnvelope(state, k, defocus), intensity);
}

CurveValues plotterCurveAt(const OpticsState &state, double defocus, double k)
{
    const double chi = PhaseFactors(state, defocus).roundArgument(k * k);
    return damped(std::sin(chi), TemporalEnvelope(state, k), SpatialEnvelope(state, k, defocus), false);
}

QString patternReadoutText(double k)
{
    if (k == 0)
        k = 0.001; // the centre has no spacing
    return QStringLiteral("Current k, (d): ") + formatFixed(k, 1) + QStringLiteral(" nm-1, ") + QStringLiteral(" (")
        + formatFixed(1 / k, 2) + QStringLiteral(" nm") + QStringLiteral(")");
}

QString pointerFrequencyText(double k)
{
    QString text = QStringLiteral("k ") + formatFixed(k, 2) + QStringLiteral(" nm-1");
    if (k > 0)
        text += QStringLiteral(", d ") + formatFixed(1 / k, 3) + QStringLiteral(" nm");
    return text;
}

QString pointerCurveText(const QString &curve, const CurveValues &values)
{
    return curve + QLatin1Char(' ') + formatFixed(values.ctf, 3) + QStringLiteral(", E ")
        + formatFixed(values.envelope, 3);
}

QString profileDirectionText(const OpticsState &state)
{
    if (state.A2 == 0 && state.A3 == 0)
        return QString();
    double degrees = std::remainder(radiansToDegrees(-state.Direction), 360.0);
    if (degrees <= -180)
        degrees += 360;
    return QStringLiteral("along ") + QString::number(std::lround(degrees)) + QChar(0x00B0);
}

QString pointerMapText(double defocus, double ctf)
{
    return QStringLiteral("Defocus ") + formatFixed(defocus, 0) + QStringLiteral(" nm, CTF ") + formatFixed(ctf, 3);
}

} // namespace orvalis
