#pragma once
// Loading an instrument into the optics state and the texts that describe the loaded state.
#include "core/opticsstate.h"
#include "core/scopedata.h"

#include <QStringList>

namespace orvalis {

// Copies the instrument into the state and derives wavelength, focal spread, the characteristic
// defoci and the theoretical limits; resets A2 to 0, A3 to the record's, Alpha to the convergence.
// Defocus becomes the extended Scherzer defocus only on the first load in analysis mode.
// An instrument the formulas cannot be evaluated on (voltage not above 0, a negative Cc, any value
// that is not finite, or derived values that overflow) throws an OrvalisError that names the
// quantity and its value, and leaves the state exactly as it was. A negative Cs (a corrected
// microscope) is taken as it is; only its characteristic defoci follow scherzerDefocus().
void loadInstrument(OpticsState &state, const TScopeData &scope);

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
ScopeTreeTexts scopeTreeTexts(const OpticsState &state);
QString pointResolutionText(const OpticsState &state); // "Point-to-Point:  0.25/0.24 nm"
QString infoLimitText(const OpticsState &state);       // "Info Limit:  0.10/0.15 nm"
QString convergenceText(const OpticsState &state);     // "Convergence:  0.30 mrad", of Alpha

} // namespace orvalis
