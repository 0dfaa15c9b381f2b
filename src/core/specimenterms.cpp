#include "core/specimenterms.h"

#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/units.h"

#include <cmath>

namespace orvalis {

QString specimenFieldLabel(SpecimenField field)
{
    switch (field) {
    case SpecimenField::AmplitudeContrast: return QStringLiteral("Amplitude contrast Q");
    case SpecimenField::PhaseShift: return QStringLiteral("Phase shift (deg)");
    case SpecimenField::BFactor: return QStringLiteral("B-factor (Å²)");
    case SpecimenField::PixelSize: return QStringLiteral("Pixel size (Å)");
    }
    return {};
}

double specimenValue(const SpecimenDetector &t, SpecimenField field)
{
    switch (field) {
    case SpecimenField::AmplitudeContrast: return t.amplitudeContrast;
    case SpecimenField::PhaseShift: return t.phaseShift;
    case SpecimenField::BFactor: return t.bFactor;
    case SpecimenField::PixelSize: return t.pixelSize;
    }
    return 0;
}

void setSpecimenValue(SpecimenDetector &t, SpecimenField field, double value)
{
    switch (field) {
    case SpecimenField::AmplitudeContrast: t.amplitudeContrast = value; break;
    case SpecimenField::PhaseShift: t.phaseShift = value; break;
    case SpecimenField::BFactor: t.bFactor = value; break;
    case SpecimenField::PixelSize: t.pixelSize = value; break;
    }
}

QString specimenRule(SpecimenField field, double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("it must be a number");
    switch (field) {
    case SpecimenField::AmplitudeContrast:
        // asin Q is the phase it adds; Q = 1 would leave no phase contrast at all.
        return value >= 0 && value < 1 ? QString() : QStringLiteral("it must be from 0 to below 1");
    case SpecimenField::PhaseShift:
        return value >= -360 && value <= 360 ? QString() : QStringLiteral("it must be from -360 to 360");
    case SpecimenField::BFactor:
        return value >= 0 && value <= 10000 ? QString() : QStringLiteral("it must be from 0 to 10000");
    case SpecimenField::PixelSize:
        return value >= 0 && value <= 100 ? QString() : QStringLiteral("it must be from 0 (no detector) to 100");
    }
    return {};
}

void checkSpecimen(const SpecimenDetector &terms)
{
    for (SpecimenField field : AllSpecimenFields) {
        const double value = specimenValue(terms, field);
        const QString rule = specimenRule(field, value);
        if (!rule.isEmpty())
            throw OrvalisError(
                QStringLiteral("%1 cannot be %2: %3.").arg(specimenFieldLabel(field), formatGeneral(value), rule));
    }
}

SpecimenDetector specimenOf(const OpticsState &s)
{
    SpecimenDetector t;
    t.amplitudeContrast = s.AmplitudeContrast;
    t.phaseShift = radiansToDegrees(s.PhaseShift);
    t.bFactor = nm2ToAngstrom2(s.BFactor);
    t.pixelSize = nmToAngstrom(s.PixelSize);
    return t;
}

void applySpecimen(OpticsState &s, const SpecimenDetector &t)
{
    s.AmplitudeContrast = t.amplitudeContrast;
    s.PhaseShift = degreesToRadians(t.phaseShift);
    s.BFactor = angstrom2ToNm2(t.bFactor);
    s.PixelSize = angstromToNm(t.pixelSize);
}

double nyquistFrequency(const OpticsState &state)
{
    return state.PixelSize > 0 ? 1 / (2 * state.PixelSize) : 0;
}

} // namespace orvalis
