#pragma once
// The working ranges the options dialog edits, and the rules by which its five typed fields change
// them. Pure logic: the dialog hands over the texts, the window applies the resulting ranges.
#include <QString>

namespace orvalis {

// nm. The largest overfocus and underfocus the defocus slider reaches (its minimum and maximum lie in
// -MaxDefocus .. MaxDefocus), and the largest two-fold and three-fold astigmatism the other two reach:
// a metre, far beyond any microscope, and small enough that a slider's span always fits its integer
// arithmetic (a span near 2^32 divides by zero while the bar is painted).
inline constexpr int MaxDefocus = 1000000000;
inline constexpr int MaxAstigmatism = 1000000000;
// nm. With the defocus in steps of 0.1 nm the slider counts tenths of a nanometre: its ends stay
// within a tenth of MaxDefocus so that its span keeps the same integer arithmetic.
inline constexpr int MaxFineDefocus = MaxDefocus / 10;

struct OptionRanges {
    int defocusMin = -50; // nm, the defocus slider's minimum: minus the largest overfocus
    int defocusMax = 200; // nm, the defocus slider's maximum: minus the largest underfocus
    int a2Max = 200;      // nm, largest two-fold astigmatism the slider reaches
    int a3Max = 10000;    // nm, largest three-fold astigmatism the slider reaches
    double upTo = 10.0;   // nm^-1, highest spatial frequency shown
    // The defocus moves in steps of 0.1 nm, for corrected instruments whose optimum lies at a few nm;
    // its field then takes one decimal. The ends above stay whole nanometres.
    bool fineDefocus = false;
};

// Steps of the defocus slider per nm: 10 with fine defocus, else 1.
int defocusStepsPerNm(const OptionRanges &ranges);
// The largest defocus magnitude (nm) the slider may reach: MaxFineDefocus with fine defocus, else
// MaxDefocus.
int defocusLimit(const OptionRanges &ranges);
// Whether the slider's ends lie within defocusLimit for fine defocus.
bool fineDefocusFits(const OptionRanges &ranges);

// The five fields as the user typed them.
struct OptionTexts {
    QString overfocus;  // "Max Overfocus (nm, positive):", e.g. "50"
    QString underfocus; // "Max Underfocus (nm, negative):", e.g. "-200"
    QString upTo;       // "Max Frequency (nm-1):", e.g. "10"
    QString a2Max;      // "Max 2-fold Astigmatism (nm):"
    QString a3Max;      // "Max 3-fold Astigmatism (nm):"
};

// The texts the dialog shows for the given ranges.
OptionTexts optionTexts(const OptionRanges &ranges);

// A whole number typed where its magnitude may reach `limit` (one of the limits above): the defocus
// and astigmatism fields of the main window. Throws OrvalisError "'<text>' is not a valid integer
// value", or "'<text>' is not a valid value for <field>: it must be from -<limit> to <limit> nm".
int typedWithin(const QString &text, int limit, const QString &field);
// The defocus field: a whole number, or with fine defocus any number within MaxFineDefocus rounded to
// one decimal (nm). Throws as typedWithin, "'<text>' is not a valid floating point value" for a
// text that is no number.
double typedDefocus(const QString &text, const OptionRanges &ranges);

// Applies the fields to `ranges` one after the other: overfocus, underfocus, two-fold, three-fold,
// frequency. An overfocus that would not leave the minimum below the maximum, or an underfocus that
// would not leave the maximum above the (new) minimum, is ignored. A field that does not convert, or
// converts to a value that makes no sense (a defocus beyond MaxDefocus, an astigmatism maximum below 0
// or above MaxAstigmatism, a frequency range not above 0 or above MaxUpTo), throws OrvalisError; the
// fields before it stay applied in `ranges`. With fine defocus the defocus fields are limited to
// MaxFineDefocus, and a range that ends beyond it after all fields throws too, with fine defocus
// switched off in `ranges`.
void applyOptionTexts(OptionRanges &ranges, const OptionTexts &texts);

} // namespace orvalis
