#include "micrograph/ctfmodel.h"

#include "core/ctffunctions.h"
#include "core/instrumentload.h"
#include "core/orvaliserror.h"

#include <QString>

#include <cmath>

namespace orvalis {

namespace {

// core writes the two-fold term along kx; a term at azimuth t is core's at (kx, ky) turned by -t.
double turnedAstigmatism(const OpticsState &unitA2, double kx, double ky, double azimuth)
{
    const double c = std::cos(azimuth), s = std::sin(azimuth);
    return AstigTerm2(unitA2, c * kx + s * ky, c * ky - s * kx);
}

} // namespace

CtfModel::CtfModel(const CtfInstrument &instrument, double amplitudeContrast)
{
    if (!(instrument.voltage > 0) || !std::isfinite(instrument.voltage))
        throw OrvalisError(QStringLiteral("The voltage must be above 0 kV, not %1.").arg(instrument.voltage));
    if (!std::isfinite(instrument.cs) || !std::isfinite(instrument.c5))
        throw OrvalisError(QStringLiteral("Cs and C5 must be numbers."));
    if (!(amplitudeContrast >= 0 && amplitudeContrast < 1))
        throw OrvalisError(
            QStringLiteral("The amplitude contrast must be from 0 to below 1, not %1.").arg(amplitudeContrast));
    m_optics.Voltage = instrument.voltage;
    m_optics.Cs = instrument.cs;
    derivePhaseFactors(m_optics);
    m_unitA2 = m_optics;
    m_unitA2.A2 = 1;
    // The fifth-order factor and the amplitude contrast's phase are core's, as the window's curves use them.
    OpticsState withC5 = m_optics;
    withC5.C5 = instrument.c5;
    withC5.AmplitudeContrast = amplitudeContrast;
    const PhaseFactors phase(withC5, 0);
    m_c5Factor = phase.c5;
    m_amplitudeContrast = amplitudeContrast;
    m_amplitudePhase = phase.offset;
}

double CtfModel::roundChi(double k2) const
{
    return m_optics.ChiCsFactor * k2 * k2 + m_c5Factor * k2 * k2 * k2 + m_optics.ChiDefocusFactor * Defocus * k2;
}

ChiTerms CtfModel::terms(double kx, double ky) const
{
    const double k2 = kx * kx + ky * ky;
    ChiTerms t;
    t.fixed = Chi(m_optics, kx, ky, 0) + m_c5Factor * k2 * k2 * k2;
    t.defocus = m_optics.ChiDefocusFactor * k2;
    t.astigmatismX = AstigTerm2(m_unitA2, kx, ky);
    t.astigmatismY = turnedAstigmatism(m_unitA2, kx, ky, Pi / 4);
    return t;
}

double CtfModel::chi(double kx, double ky) const
{
    const double c = std::cos(azimuth), sn = std::sin(azimuth);
    const double x = c * kx + sn * ky, y = c * ky - sn * kx;
    const double k2 = kx * kx + ky * ky;
    return Chi(m_optics, x, y, Defocus) + A2 * AstigTerm2(m_unitA2, x, y) + m_c5Factor * k2 * k2 * k2;
}

double CtfModel::roundCtfSquared(double k) const
{
    const double s = std::sin(roundChi(k * k) - phaseOffset());
    return s * s;
}

double CtfModel::equivalentFrequency(double kx, double ky) const
{
    // Newton's method on u = k'^2 for roundChi(u) = chi, from u = k^2: the astigmatism moves the
    // phase by a fraction of the defocus term, so a few steps converge wherever the phase is not
    // near its turning point.
    const double target = chi(kx, ky);
    const double k2 = kx * kx + ky * ky;
    if (k2 == 0)
        return 0;
    double u = k2;
    for (int step = 0; step < 8; ++step) {
        const double slope = 2 * m_optics.ChiCsFactor * u + 3 * m_c5Factor * u * u
            + m_optics.ChiDefocusFactor * Defocus;
        if (slope == 0)
            return -1;
        const double next = u - (roundChi(u) - target) / slope;
        if (!(next > 0))
            return -1;
        const bool converged = std::fabs(next - u) <= 1e-12 * next;
        u = next;
        if (converged)
            break;
    }
    // The root found must be the one on k's side of the turning point, and must solve the equation.
    if (std::fabs(roundChi(u) - target) > 1e-6 * (1 + std::fabs(target)) || std::fabs(u - k2) > 0.5 * k2)
        return -1;
    return std::sqrt(u);
}

} // namespace orvalis
