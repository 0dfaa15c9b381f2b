#pragma once
// How values are typed and shown for users of corrected instruments, as chosen in Setup > Options.
// The defaults are the program's own ways, every text exactly as it always was; the values stored
// (the three-fold astigmatism as this program's A3, resolutions in nm) never change with them.
#include <QString>

namespace orvalis {

// The three-fold astigmatism's field: this program's A3 (nm), or the corrector's coefficient A
// (also called A2 or C23, nm), whose phase is (2 pi / 3) lambda^2 A k^3: A3 = 2 pi A.
enum class A3Convention { Program = 0, Corrector = 1 };

// The resolutions of the information tree and list: nm with two decimals, nm with three, or pm.
enum class ResolutionUnit { Nm = 0, NmFine = 1, Pm = 2 };

struct Conventions {
    A3Convention a3 = A3Convention::Program;
    ResolutionUnit resolution = ResolutionUnit::Nm;
    bool operator==(const Conventions &o) const { return a3 == o.a3 && resolution == o.resolution; }
    bool operator!=(const Conventions &o) const { return !(*this == o); }
};

// This program's A3 (nm) from a value typed in `convention`, and the value shown for an A3.
double a3FromTyped(double typed, A3Convention convention);
double a3Shown(double a3, A3Convention convention);
// The field's text for an A3: as the program has always written it for its own convention
// (`programText`), the corrector's coefficient to a tenth of a nanometre otherwise ("100", "99.9").
QString a3FieldText(double a3, A3Convention convention, const QString &programText);
// The field's typed text as this program's A3 (nm, never negative): a whole number in the program's
// convention (as typedWithin takes it), any number to a tenth in the corrector's, each reaching at
// most MaxAstigmatism as A3. Throws OrvalisError naming the text, the label and the range.
double typedA3(const QString &text, A3Convention convention);
// The label over the field, saying which value it takes: "3-fold Astigmatism" or
// "3-fold Astigmatism A2 (corrector)".
QString a3LabelText(A3Convention convention);

// A resolution (nm) in `unit` without the unit: "0.07", "0.071", "71.2"; "-" for none (0 or less).
QString resolutionNumberText(double nm, ResolutionUnit unit);
// "nm" or "pm".
QString resolutionUnitText(ResolutionUnit unit);

// The status bar's note after "S" put the defocus at `set` (nm) for the extended Scherzer defocus
// `optimum` (nm): said when the optimum lies below 20 nm (a corrected instrument's) and the slider's
// whole nanometres rounded it by a twentieth of a nanometre or more; empty with fine defocus, or when
// the slider's range rather than its step moved it.
QString scherzerRoundingNote(double optimum, double set, bool fineDefocus);

// A stored choice (its integer) as the enum; out of range: none.
bool a3ConventionFromStored(int stored, A3Convention &convention);
bool resolutionUnitFromStored(int stored, ResolutionUnit &unit);

} // namespace orvalis
