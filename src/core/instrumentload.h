#pragma once
// Loading an instrument into the optics state and the texts that describe the loaded state.
#include "core/conventions.h"
#include "core/opticsstate.h"
#include "core/scopedata.h"

#include <QStringList>

namespace orvalis {

// The seven values of a microscope as the library stores them and the dialogs show them, each in its
// unit: kV, mm, mm, eV, mrad, ppm, ppm.
enum class ScopeValue { Voltage, Cs, Cc, dE, Convergence, dvv, dii };
inline constexpr ScopeValue AllScopeValues[] = {ScopeValue::Voltage, ScopeValue::Cs,          ScopeValue::Cc,
                                                ScopeValue::dE,      ScopeValue::Convergence, ScopeValue::dvv,
                                                ScopeValue::dii};

// "Voltage (kV)": the value as the library dialogs label its field.
QString scopeValueLabel(ScopeValue value);
// The record's value (in the record's unit) as the library stores it, in the value's unit: "0.25".
QString scopeValueText(ScopeValue value, double recordValue);
// The same with the value's name and unit, for messages: "HT Ripple 0.25 ppm".
QString scopeValueWithUnit(ScopeValue value, double recordValue);
// The record's field that holds the value (in the record's unit).
double TScopeData::*scopeValueField(ScopeValue value);

// The value's text, in its unit, converted into the record's unit (mm -> nm, mrad -> rad, ppm ->
// fraction). A text that is no number (an empty one included) throws OrvalisError
// "Cs (mm): '1,2' is not a valid floating point value".
double scopeValueFromText(ScopeValue value, const QString &text);

// Empty when the value (in the record's unit) is one the formulas can take; otherwise the rule it
// breaks: "it must be from 0.001 to 1000000" (in the value's unit). Within these ranges every curve,
// picture and text computed from an instrument stays finite, whatever its other values within
// theirs, the frequency range up to MaxUpTo and the sliders anywhere in their limits; they lie far
// beyond any microscope. A negative Cs (a corrected microscope) is allowed, as are negative energy
// spreads, convergences and instabilities, which enter only squared.
QString scopeValueRule(ScopeValue value, double recordValue);

// The optional eighth value, C5 (mm in the library, nm in the record): an entry without it (an empty
// text) has none, which is 0. "C5 (mm)".
QString c5Label();
// The text's C5 in nm; 0 for an empty text. A text that is no number, or a value outside
// -1e6 .. 1e6 mm, throws OrvalisError naming "C5 (mm)".
double c5FromText(const QString &text);
// The library's text for a C5 in nm: empty for 0, so that an entry without it stays without it.
QString c5Text(double recordValue);

// Throws OrvalisError naming the microscope, the value and its rule when one of the seven values
// breaks scopeValueRule, or the three-fold astigmatism or the defocus lies beyond MaxAstigmatism or
// MaxDefocus:
// "The microscope "A/B" cannot be used: Voltage (kV) is 0; it must be from 0.001 to 1000000."
void checkInstrument(const TScopeData &scope);

// Copies the instrument into the state and derives wavelength, focal spread, the characteristic
// defoci and the theoretical limits; resets A2 to 0, A3 to the record's, Alpha to the convergence.
// Defocus becomes the extended Scherzer defocus only on the first load in analysis mode.
// An instrument checkInstrument refuses throws its OrvalisError and leaves the state exactly as it
// was. A negative Cs is taken as it is; only its characteristic defoci follow scherzerDefocus().
void loadInstrument(OpticsState &state, const TScopeData &scope);

// The wavelength and the factors of the phase chi from the state's Voltage and Cs, as loading an
// instrument sets them; for callers that have a voltage and a Cs but no library entry.
void derivePhaseFactors(OpticsState &state);

// nm. The Scherzer defocus, -sign(Cs) * sqrt(|Cs| * lambda): an underfocus for a positive Cs, the
// matching overfocus for a negative one, 0 for Cs = 0. Cs and the wavelength in nm.
double scherzerDefocus(double cs, double wavelength);

// nm^-1. The highest spatial frequency the graphs may show: from 0 (everything at k = 0) to 1000,
// far beyond any instrument's information limit; the 1D curve takes 410 samples per nm^-1, so a
// much larger range would only exhaust memory. Throws OrvalisError naming the value otherwise.
inline constexpr double MaxUpTo = 1000.0;
void checkUpTo(double upTo);

// The magnification in thousands at a position of the magnification slider: round(exp(p / 5.6)).
int magnificationAt(int position);

// The position every load puts the magnification slider at (518 k); the instrument's convergence is
// the semi-angle there.
inline constexpr int MagnificationLoadPosition = 35;

// The semi-angle in use at magnification M (thousands): Convergence * (M / M0)^2, M0 the magnification
// at MagnificationLoadPosition, so that every slider position gives one convergence however it was
// reached.
double alphaAtMagnification(double convergence, int magnification);

// "x 518 k"
QString magnificationText(int magnification);
// "(Convergence: 0.3000 mrad)"
QString convergenceLabelText(double alpha);

// Cs (nm) in mm as the tree and the info window show it: one decimal, three below 0.1 mm so that a
// corrected instrument's few tens of micrometres do not read 0.0 ("1.2", "-0.030").
QString csMillimetresText(double cs);

// Texts of the information tree, in node order: the microscope node and its 9 children, the
// resolution node and its 2, the defocus node and its 4.
struct ScopeTreeTexts {
    QString microscope;
    QStringList microscopeChildren;
    QString resolution;
    QStringList resolutionChildren;
    QString defocus;
    QStringList defocusChildren;
};
// A value that is not known for the state on screen (not found on the curve, or a theoretical limit of
// 0 for Cs = 0) stands as "-": "Info Limit:  0.08/- nm".
// The resolutions in `unit`: "Point-to-Point:  0.25/0.24 nm", "0.248/0.241 nm" or "248.3/241.0 pm".
ScopeTreeTexts scopeTreeTexts(const OpticsState &state, ResolutionUnit unit = ResolutionUnit::Nm);
QString pointResolutionText(const OpticsState &state, ResolutionUnit unit = ResolutionUnit::Nm);
QString infoLimitText(const OpticsState &state,
                      ResolutionUnit unit = ResolutionUnit::Nm); // "Info Limit:  0.10/0.15 nm"
QString convergenceText(const OpticsState &state);               // "Convergence:  0.30 mrad", of Alpha

} // namespace orvalis
