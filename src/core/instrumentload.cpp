#include "instrumentload.h"

#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/orvaliserror.h"
#include "core/units.h"

#include <cmath>

namespace orvalis {
namespace {

struct ScopeQuantity {
    const char *name; // as the dialogs label the field, without its unit
    const char *unit;
    double toRecord; // the record's unit per unit of the text
    double minimum;  // in the text's unit
    double maximum;
    double TScopeData::*field;
};

// The limits keep, at k up to MaxUpTo and defocus and astigmatism up to MaxDefocus and MaxAstigmatism,
// every term below about 1e60: the largest wavelength (1.23 nm at 1 V), Cs and Cc of a kilometre and
// an energy spread of a megavolt give a Cs phase near 1e25 and a temporal exponent near 1e42.
const ScopeQuantity &quantity(ScopeValue value)
{
    static const ScopeQuantity quantities[] = {
        {"Voltage", "kV", 1, 0.001, 1e6, &TScopeData::Voltage},
        {"Cs", "mm", NmPerMm, -1e6, 1e6, &TScopeData::Cs},
        {"Cc", "mm", NmPerMm, 0, 1e6, &TScopeData::Cc},
        {"Energy Spread", "eV", 1, -1e6, 1e6, &TScopeData::dE},
        {"Convergence", "mrad", RadPerMrad, -1e6, 1e6, &TScopeData::Convergence},
        {"HT Ripple", "ppm", FractionPerPpm, -1e6, 1e6, &TScopeData::dvv},
        {"Obj Lens Instab.", "ppm", FractionPerPpm, -1e6, 1e6, &TScopeData::dii},
    };
    return quantities[static_cast<int>(value)];
}

[[noreturn]] void refuse(const TScopeData &scope, const QString &what, double value, const QString &rule)
{
    throw OrvalisError(
        QStringLiteral("The microscope \"%1/%2\" cannot be used: %3 is %4; %5.")
            .arg(inputExcerpt(scope.Company), inputExcerpt(scope.Model), what, formatGeneral(value), rule));
}

// A resolution of 0 nm is no resolution (the theoretical point resolution of Cs = 0).
QString resolutionValue(const std::optional<double> &nm, ResolutionUnit unit)
{
    return resolutionNumberText(nm.value_or(0.0), unit);
}

QString resolutionText(const QString &name, double theory, const std::optional<double> &current, ResolutionUnit unit)
{
    return name + resolutionValue(theory, unit) + QLatin1Char('/') + resolutionValue(current, unit) + QLatin1Char(' ')
        + resolutionUnitText(unit);
}

} // namespace

QString scopeValueLabel(ScopeValue value)
{
    return QStringLiteral("%1 (%2)").arg(QLatin1String(quantity(value).name), QLatin1String(quantity(value).unit));
}

QString scopeValueText(ScopeValue value, double recordValue)
{
    return formatGeneral(recordValue / quantity(value).toRecord);
}

QString scopeValueWithUnit(ScopeValue value, double recordValue)
{
    return QStringLiteral("%1 %2 %3")
        .arg(QLatin1String(quantity(value).name), scopeValueText(value, recordValue),
             QLatin1String(quantity(value).unit));
}

double TScopeData::*scopeValueField(ScopeValue value)
{
    return quantity(value).field;
}

double scopeValueFromText(ScopeValue value, const QString &text)
{
    try {
        return strToFloat(text) * quantity(value).toRecord;
    } catch (const OrvalisError &e) {
        throw OrvalisError(scopeValueLabel(value) + QStringLiteral(": ") + e.text());
    }
}

QString c5Label()
{
    return QStringLiteral("C5 (mm)");
}

double c5FromText(const QString &text)
{
    if (text.trimmed().isEmpty())
        return 0;
    double mm = 0;
    try {
        mm = strToFloat(text);
    } catch (const OrvalisError &e) {
        throw OrvalisError(c5Label() + QStringLiteral(": ") + e.text());
    }
    if (!(mm >= -1e6 && mm <= 1e6))
        throw OrvalisError(
            c5Label()
            + QStringLiteral(": '%1' cannot be used; it must be from -1000000 to 1000000").arg(inputExcerpt(text)));
    return mmToNm(mm);
}

QString c5Text(double recordValue)
{
    return recordValue == 0 ? QString() : formatGeneral(nmToMm(recordValue));
}

QString scopeValueRule(ScopeValue value, double recordValue)
{
    const ScopeQuantity &q = quantity(value);
    // Compared in the record's unit, so that a text at a limit passes whatever its conversion rounds.
    if (recordValue >= q.minimum * q.toRecord && recordValue <= q.maximum * q.toRecord)
        return QString();
    return QStringLiteral("it must be from %1 to %2").arg(formatGeneral(q.minimum), formatGeneral(q.maximum));
}

void checkInstrument(const TScopeData &scope)
{
    for (ScopeValue v : AllScopeValues) {
        const double value = scope.*quantity(v).field;
        const QString rule = scopeValueRule(v, value);
        if (!rule.isEmpty())
            refuse(scope, scopeValueLabel(v), value / quantity(v).toRecord, rule);
    }
    const auto within = [](double v, int limit) { return v >= -limit && v <= limit; };
    const QString rule = QStringLiteral("it must be from %1 to %2");
    if (!within(scope.A3, MaxAstigmatism))
        refuse(scope, QStringLiteral("the three-fold astigmatism (nm)"), scope.A3,
               rule.arg(-MaxAstigmatism).arg(MaxAstigmatism));
    if (!(scope.C5 >= mmToNm(-1e6) && scope.C5 <= mmToNm(1e6)))
        refuse(scope, c5Label(), nmToMm(scope.C5), QStringLiteral("it must be from -1000000 to 1000000"));
    if (!within(scope.Defocus, MaxDefocus))
        refuse(scope, QStringLiteral("the defocus (nm)"), scope.Defocus, rule.arg(-MaxDefocus).arg(MaxDefocus));
}

void loadInstrument(OpticsState &state, const TScopeData &scope)
{
    checkInstrument(scope);
    OpticsState s = state;
    s.Company = scope.Company;
    s.Model = scope.Model;
    s.Voltage = scope.Voltage;
    s.Cs = scope.Cs;
    s.C5 = scope.C5;
    s.Cc = scope.Cc;
    s.dE = scope.dE;
    s.dvv = scope.dvv == 0 ? 2.5e-7 : scope.dvv;
    s.dii = scope.dii == 0 ? 5e-7 : scope.dii;
    s.Convergence = scope.Convergence;
    s.Alpha = scope.Convergence;
    s.A2 = 0;
    s.A3 = scope.A3;

    const double spread = s.dE / kilovoltProductToVolts(2.355, s.Voltage);
    s.FocalSpread = s.Cc * std::sqrt(spread * spread + s.dvv * s.dvv + 4 * s.dii * s.dii);
    derivePhaseFactors(s);
    s.InfoLimitTheory = std::sqrt(Pi * s.Wavelength * s.FocalSpread / 2) / 0.9;
    s.Scherzer = scherzerDefocus(s.Cs, s.Wavelength);
    s.ExtScherzer = std::sqrt(1.5) * s.Scherzer;
    if (!s.PlotterMode && !s.Initialised)
        s.Defocus = s.ExtScherzer;
    s.PointResTheory = 0.67 * std::pow(std::fabs(s.Cs), 0.25) * std::pow(s.Wavelength, 0.75);

    state = s;
}

void derivePhaseFactors(OpticsState &s)
{
    const double e = kilovoltsToVolts(s.Voltage); // accelerating potential, V
    s.Wavelength = 1.22639 / std::sqrt(e + 9.7845e-7 * e * e);
    s.ChiDefocusFactor = Pi * s.Wavelength;
    s.ChiCsFactor = Pi * s.Cs * s.Wavelength * s.Wavelength * s.Wavelength / 2;
}

double scherzerDefocus(double cs, double wavelength)
{
    if (cs == 0)
        return 0;
    const double magnitude = std::sqrt(std::fabs(cs) * wavelength);
    return cs > 0 ? -magnitude : magnitude;
}

void checkUpTo(double upTo)
{
    if (!(upTo >= 0 && upTo <= MaxUpTo))
        throw OrvalisError(
            QStringLiteral("The highest frequency shown cannot be %1 nm-1; it must be from 0 to %2 nm-1.")
                .arg(formatGeneral(upTo), formatGeneral(MaxUpTo)));
}

int magnificationAt(int position)
{
    return roundToInt(std::exp(position / 5.6));
}

double alphaAtMagnification(double convergence, int magnification)
{
    const double ratio = magnification / static_cast<double>(magnificationAt(MagnificationLoadPosition));
    return convergence * (ratio * ratio);
}

QString magnificationText(int magnification)
{
    return QStringLiteral("x ") + formatGeneral(magnification) + QStringLiteral(" k");
}

QString convergenceLabelText(double alpha)
{
    return QStringLiteral("(Convergence: ") + formatFixed(radToMrad(alpha), 4) + QStringLiteral(" mrad)");
}

QString csMillimetresText(double cs)
{
    const double mm = nmToMm(cs);
    // Decided on the three-decimal text, so that 0.0996 reads 0.1 and not 0.100.
    return formatFixed(mm, std::round(mmToUm(std::fabs(mm))) < 100 ? 3 : 1);
}

QString pointResolutionText(const OpticsState &s, ResolutionUnit unit)
{
    return resolutionText(QStringLiteral("Point-to-Point:  "), s.PointResTheory, s.PointRes, unit);
}

QString infoLimitText(const OpticsState &s, ResolutionUnit unit)
{
    return resolutionText(QStringLiteral("Info Limit:  "), s.InfoLimitTheory, s.InfoLimit, unit);
}

QString convergenceText(const OpticsState &s)
{
    return QStringLiteral("Convergence:  ") + formatFixed(radToMrad(s.Alpha), 2) + QStringLiteral(" mrad");
}

ScopeTreeTexts scopeTreeTexts(const OpticsState &s, ResolutionUnit unit)
{
    ScopeTreeTexts t;
    t.microscope = QStringLiteral("Microscope: ") + s.Company + QLatin1Char('/') + s.Model;
    t.microscopeChildren = {
        QStringLiteral("Voltage:  ") + formatGeneral(s.Voltage) + QStringLiteral(" keV"),
        QStringLiteral("Wavelength:  ") + formatFixed(s.Wavelength, 5) + QStringLiteral(" nm"),
        QStringLiteral("Cs:  ") + csMillimetresText(s.Cs) + QStringLiteral(" mm"),
        QStringLiteral("Cc:  ") + formatFixed(nmToMmByProduct(s.Cc), 1) + QStringLiteral(" mm"),
        QStringLiteral("Energy Spread:  ") + formatGeneral(s.dE) + QStringLiteral(" eV"),
        QStringLiteral("HT Ripple:  ") + formatGeneral(fractionToPpm(s.dvv)) + QStringLiteral(" ppm"),
        QStringLiteral("Obj Lens Instabilities:  ") + formatGeneral(fractionToPpm(s.dii)) + QStringLiteral(" ppm"),
        QStringLiteral("Focal Spread:  ") + formatFixed(s.FocalSpread, 2) + QStringLiteral(" nm"),
        convergenceText(s),
    };
    // Only an instrument with a C5 shows it; the others' texts stay as they were.
    if (s.C5 != 0)
        t.microscopeChildren.insert(3, QStringLiteral("C5:  ") + formatGeneral(nmToMm(s.C5)) + QStringLiteral(" mm"));
    t.resolution = QStringLiteral("Theoretical/Current Resolution");
    t.resolutionChildren = {pointResolutionText(s, unit), infoLimitText(s, unit)};
    t.defocus = QStringLiteral("Defocus");
    t.defocusChildren = {
        QStringLiteral("Scherzer:  ") + formatFixed(s.Scherzer, 1) + QStringLiteral(" nm"),
        QStringLiteral("Extended Scherzer:  ") + formatFixed(std::sqrt(1.5) * s.Scherzer, 1) + QStringLiteral(" nm"),
        QStringLiteral("2nd Passband:  ") + formatFixed(std::sqrt(3.5) * s.Scherzer, 1) + QStringLiteral(" nm"),
        QStringLiteral("Lichte:  ") + formatFixed(-0.75 * s.Cs * (s.UpTo * s.Wavelength) * (s.UpTo * s.Wavelength), 1)
            + QStringLiteral(" nm"),
    };
    return t;
}

} // namespace orvalis
