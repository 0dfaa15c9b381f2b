#pragma once
// The specimen's and the detector's share of the optics, in the units their users type them in:
// amplitude contrast Q, a phase plate's shift, the B-factor and the detector's pixel size at the
// specimen. Each is off at 0. The window's dialog, the settings and orvalis-ctf check them with the
// same rules and give them to the optics state the same way.
#include "core/opticsstate.h"

#include <QString>

namespace orvalis {

struct SpecimenDetector {
    double amplitudeContrast = 0; // fraction Q, 0 <= Q < 1
    double phaseShift = 0;        // degrees, -360 .. 360
    double bFactor = 0;           // Å^2, 0 .. 10000
    double pixelSize = 0;         // Å at the specimen, 0 for none, up to 100

    bool operator==(const SpecimenDetector &o) const
    {
        return amplitudeContrast == o.amplitudeContrast && phaseShift == o.phaseShift && bFactor == o.bFactor
            && pixelSize == o.pixelSize;
    }
    bool operator!=(const SpecimenDetector &o) const { return !(*this == o); }
};

enum class SpecimenField { AmplitudeContrast, PhaseShift, BFactor, PixelSize };
inline constexpr SpecimenField AllSpecimenFields[] = {SpecimenField::AmplitudeContrast, SpecimenField::PhaseShift,
                                                      SpecimenField::BFactor, SpecimenField::PixelSize};

// The field's name with its unit, as the dialog labels it and the messages name it.
QString specimenFieldLabel(SpecimenField field);
double specimenValue(const SpecimenDetector &terms, SpecimenField field);
void setSpecimenValue(SpecimenDetector &terms, SpecimenField field, double value);
// Empty when the value is accepted, else the rule it breaks ("it must be ...").
QString specimenRule(SpecimenField field, double value);
// Throws OrvalisError naming the first refused field.
void checkSpecimen(const SpecimenDetector &terms);

// The state's terms in these units, and back (the state keeps radians and nm).
SpecimenDetector specimenOf(const OpticsState &state);
void applySpecimen(OpticsState &state, const SpecimenDetector &terms);

// nm^-1: 1 / (2 pixel), none (0) without a pixel size.
double nyquistFrequency(const OpticsState &state);

} // namespace orvalis
