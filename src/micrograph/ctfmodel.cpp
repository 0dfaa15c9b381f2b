#include "micrograph/ctfmodel.h"

#include "core/fastmath.h"
#include "core/instrumentload.h"
#include "core/orvaliserror.h"
#include "core/units.h"

#include <QString>

#include <cmath>

namespace orvalis {

double tiltDefocusOffset(const SpecimenTilt &tilt, double pixelSize, double x, double y)
{
    const double axis = degreesToRadians(tilt.axis);
    return std::tan(degreesToRadians(tilt.angle)) * pixelSize * (y * std::cos(axis) - x * std::sin(axis));
}

double equivalentRoundFrequency(const PhaseFactors &phase, double kx, double ky)
{
    const double k2 = kx * kx + ky * ky;
    if (k2 == 0)
        return 0;
    // The even part of the phase without its constant offset, which moves both sides alike.
    const double target = phase.extended ? phase.roundPart(k2) + phase.fifthOrder(k2) + phase.twoFoldTurned(kx, ky)
                                         : phase.evenPart(kx, ky);
    // cs u^2 + df u = target for u = k'^2: the root on k's side of the phase's turning point.
    double u;
    if (std::fabs(phase.cs * k2) <= 1e-12 * std::fabs(phase.df)) {
        if (phase.df == 0)
            return -1;
        u = target / phase.df;
    } else {
        const double discriminant = phase.df * phase.df + 4 * phase.cs * target;
        if (discriminant < 0)
            return -1;
        const double root = std::sqrt(discriminant);
        const double a = (-phase.df + root) / (2 * phase.cs), b = (-phase.df - root) / (2 * phase.cs);
        u = std::fabs(a - k2) < std::fabs(b - k2) ? a : b;
    }
    // C5 adds c5 u^3, a small correction at the frequencies shown: Newton's steps from that root.
    for (int step = 0; phase.c5 != 0 && step < 8 && u > 0; ++step) {
        const double slope = 3 * phase.c5 * u * u + 2 * phase.cs * u + phase.df;
        if (slope == 0)
            return -1;
        const double next = u - (phase.fifthOrder(u) + phase.roundPart(u) - target) / slope;
        const bool converged = std::fabs(next - u) <= 1e-12 * std::fabs(next);
        u = next;
        if (converged)
            break;
    }
    if (!(u > 0) || std::fabs(u - k2) > 0.5 * k2)
        return -1;
    return std::sqrt(u);
}

namespace {

// The optics of a fit request's instrument, checked.
OpticsState instrumentOptics(const CtfInstrument &instrument, double amplitudeContrast)
{
    if (!(instrument.voltage > 0) || !std::isfinite(instrument.voltage))
        throw OrvalisError(QStringLiteral("The voltage must be above 0 kV, not %1.").arg(instrument.voltage));
    if (!std::isfinite(instrument.cs) || !std::isfinite(instrument.c5))
        throw OrvalisError(QStringLiteral("Cs and C5 must be numbers."));
    if (!(amplitudeContrast >= 0 && amplitudeContrast < 1))
        throw OrvalisError(
            QStringLiteral("The amplitude contrast must be from 0 to below 1, not %1.").arg(amplitudeContrast));
    OpticsState s;
    s.Voltage = instrument.voltage;
    s.Cs = instrument.cs;
    s.C5 = instrument.c5;
    s.AmplitudeContrast = amplitudeContrast;
    derivePhaseFactors(s);
    return s;
}

// The two-fold term of unit size along kx, and C5, of the optics.
PhaseFactors unitTwoFold(OpticsState s)
{
    s.A2 = 1;
    s.A2Azimuth = 0;
    s.A3 = 0;
    return PhaseFactors(s, 0);
}

} // namespace

CtfInstrument CtfInstrument::fromUserUnits(double kilovolts, double csMm, double c5Mm)
{
    return {kilovolts, mmToNm(csMm), mmToNm(c5Mm)};
}

CtfModel::CtfModel(const CtfInstrument &instrument, double amplitudeContrast)
    : CtfModel(instrumentOptics(instrument, amplitudeContrast), 0)
{
}

CtfModel::CtfModel(const CtfUserValues &values)
    : CtfModel(CtfInstrument::fromUserUnits(values.voltage, values.cs, values.c5), values.amplitudeContrast)
{
    setDefocus(values.defocus);
    setPhaseShiftDegrees(values.phaseShift);
}

CtfModel::CtfModel(const OpticsState &optics, double defocus)
    : Defocus(defocus), A2(optics.A2), azimuth(optics.A2Azimuth), phaseShift(optics.PhaseShift), m_optics(optics),
      m_unitA2(unitTwoFold(optics))
{
    // Names are no physics; without them the copies per evaluation stay plain numbers.
    m_optics.Company.clear();
    m_optics.Model.clear();
}

void CtfModel::setDefocus(const TwoFoldDefocus &defocus)
{
    Defocus = defocus.Defocus;
    A2 = defocus.A2;
    azimuth = degreesToRadians(defocus.azimuth);
}

void CtfModel::setDefocus(const CryoEmDefocus &defocus)
{
    setDefocus(fromCryoEmDefocus(defocus));
}

void CtfModel::setPhaseShiftDegrees(double degrees)
{
    phaseShift = degreesToRadians(degrees);
}

double CtfModel::csMm() const
{
    return nmToMm(m_optics.Cs);
}

OpticsState CtfModel::phaseState() const
{
    OpticsState s = m_optics;
    s.A2 = A2;
    s.A2Azimuth = azimuth;
    s.PhaseShift = phaseShift;
    return s;
}

PhaseFactors CtfModel::phase() const
{
    return PhaseFactors(phaseState(), Defocus);
}

ChiTerms CtfModel::terms(double kx, double ky) const
{
    const PhaseFactors &unit = m_unitA2;
    const double k2 = kx * kx + ky * ky;
    // core writes the two-fold term along kx; the term at 45 degrees is core's at (kx, ky) turned by -45.
    const double c = std::cos(Pi / 4), s = std::sin(Pi / 4);
    ChiTerms t;
    // C5's term multiplied out from the left, as the fit has always summed it: fits keep their last digits.
    t.fixed = unit.sphericalPart(k2) + unit.c5 * k2 * k2 * k2;
    t.defocus = m_optics.ChiDefocusFactor * k2;
    t.astigmatismX = unit.twoFold(kx, ky);
    t.astigmatismY = unit.twoFold(c * kx + s * ky, c * ky - s * kx);
    return t;
}

double CtfModel::chi(double kx, double ky) const
{
    const PhaseFactors p = phase();
    const double k2 = kx * kx + ky * ky;
    return p.roundPart(k2) + p.fifthOrder(k2) + p.twoFoldTurned(kx, ky) + p.threeFoldTurned(kx, ky);
}

double CtfModel::ctf(double kx, double ky) const
{
    const double k = std::sqrt(kx * kx + ky * ky);
    const EnvelopeFactors e = envelopes();
    return std::sin(phase().argument(kx, ky)) * e.temporalEnvelope(k) * e.spatialEnvelope(k, Defocus);
}

double CtfModel::envelopeSquared(double k) const
{
    const EnvelopeFactors e = envelopes();
    const double value = e.temporalEnvelope(k) * e.spatialEnvelope(k, Defocus);
    return value * value;
}

double CtfModel::thicknessDamping(double k) const
{
    return fastmath::sinc(Pi * wavelength() * k * k * thickness);
}

double CtfModel::roundCtfSquared(double k, bool withEnvelopes) const
{
    const double envelope = withEnvelopes ? envelopeSquared(k) : 1.0;
    if (thickness == 0) {
        const double s = std::sin(phase().roundArgument(k * k));
        return s * s * envelope;
    }
    return 0.5 * (1 - std::cos(2 * phase().roundArgument(k * k)) * thicknessDamping(k)) * envelope;
}

} // namespace orvalis
