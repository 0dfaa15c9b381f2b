#include "micrograph/fitrequest.h"

#include "core/cryoemdefocus.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/ctffit.h"

#include <algorithm>
#include <cmath>

namespace orvalis {

namespace {

// The rules, each one condition; a voice tries those it words, in its own order.
enum class Rule {
    Numbers,         // the range and the band are numbers (the window's first word on them)
    Voltage,         // kFitMinVoltage .. kFitMaxVoltage
    Cs,              // 0 .. kFitMaxCs
    Amplitude,       // a number, 0 <= Q < 1
    MinUnderfocus,   // within ±kFitMaxUnderfocus, each end alone (the shell's options)
    MaxUnderfocus,   //
    Underfocus,      // both ends within ±kFitMaxUnderfocus
    EmptyRange,      // the smallest underfocus below the largest
    Astigmatism,     // 0 .. kFitMaxAstigmatism
    AstigmatismSign, // the fit's: not below 0
    AstigmatismMax,  // the fit's: not beyond its limit, the round trip through nm allowed for
    BandNumbers,     // the shell's: both ends read
    EmptyBand,       // the first resolution the larger, both above 0
    BandRange,       // the shell's: kFitMinBandResolution .. kFitMaxBandResolution
    PhaseGiven,      // the shell's: a known shift and a fitted one are not both asked for
    PhaseShift,      // within ±kFitMaxPhaseShift
    Search,          // the scan within kFitMaxScanEvaluations (fitSearchProblem)
    Nyquist,         // the band within the micrograph's Nyquist limit, when its pixel size is known
};

constexpr Rule kShellRules[] = {Rule::Voltage,       Rule::Cs,         Rule::Amplitude,   Rule::MinUnderfocus,
                                Rule::MaxUnderfocus, Rule::EmptyRange, Rule::Astigmatism, Rule::BandNumbers,
                                Rule::EmptyBand,     Rule::BandRange,  Rule::PhaseGiven,  Rule::PhaseShift,
                                Rule::Search,        Rule::Nyquist};
constexpr Rule kWindowRules[] = {Rule::Numbers, Rule::EmptyRange,  Rule::Underfocus, Rule::EmptyBand,
                                 Rule::Nyquist, Rule::Astigmatism, Rule::Search};
constexpr Rule kEngineRules[] = {
    Rule::EmptyRange, Rule::AstigmatismSign, Rule::EmptyBand,      Rule::PhaseShift, Rule::Voltage,
    Rule::Cs,         Rule::Underfocus,      Rule::AstigmatismMax, Rule::Search,     Rule::Nyquist};

bool finite(double v)
{
    return std::isfinite(v);
}

bool within(double v, double minimum, double maximum)
{
    return v >= minimum && v <= maximum; // false for NaN
}

// The window shows the defocus in µm.
double um(double angstrom)
{
    return nmToUm(angstromToNm(angstrom));
}

// The fit's own texts give Å to four digits.
QString angstromText(double angstrom)
{
    return QString::number(angstrom, 'g', 4);
}

// The shell's refusal of a value out of its range: "it must be a number from 1 to 3000 kV".
FitProblem shellRange(FitField field, const char *option, double minimum, double maximum, const char *unit)
{
    return {field, QString::fromLatin1(option),
            QStringLiteral("it must be a number from %1 to %2%3")
                .arg(formatGeneral(minimum), formatGeneral(maximum), QString::fromUtf8(unit))};
}

// The problem `rule` finds in `r`, worded for `c.voice`; empty when the rule holds.
FitProblem broken(Rule rule, const FitRequest &r, const FitCheck &c)
{
    const FitVoice voice = c.voice;
    switch (rule) {
    case Rule::Numbers:
        for (const double v : {r.minUnderfocus, r.maxUnderfocus, r.lowResolution, r.highResolution})
            if (!finite(v))
                return {FitField::Underfocus, {}, QStringLiteral("The defocus range and the band must be numbers.")};
        return {};
    case Rule::Voltage:
        if (within(r.voltage, kFitMinVoltage, kFitMaxVoltage))
            return {};
        if (voice == FitVoice::Shell)
            return shellRange(FitField::Voltage, "kv", kFitMinVoltage, kFitMaxVoltage, " kV");
        return {FitField::Voltage,
                {},
                QStringLiteral("The fit takes accelerating voltages from %1 to %2 kV, not %3 kV.")
                    .arg(kFitMinVoltage)
                    .arg(kFitMaxVoltage)
                    .arg(r.voltage)};
    case Rule::Cs:
        if (within(r.cs, 0, kFitMaxCs))
            return {};
        if (voice == FitVoice::Shell)
            return shellRange(FitField::Cs, "cs", 0, kFitMaxCs, " mm");
        return {FitField::Cs, {}, QStringLiteral("The fit takes a Cs from 0 to %1 mm.").arg(kFitMaxCs)};
    case Rule::Amplitude:
        if (!finite(r.amplitudeContrast))
            return {FitField::AmplitudeContrast, QStringLiteral("amplitude-contrast"), QStringLiteral("not a number")};
        if (r.amplitudeContrast >= 0 && r.amplitudeContrast < 1)
            return {};
        return {FitField::AmplitudeContrast, QStringLiteral("amplitude-contrast"),
                QStringLiteral("it must be from 0 up to (not including) 1")};
    case Rule::MinUnderfocus:
        if (within(r.minUnderfocus, -kFitMaxUnderfocus, kFitMaxUnderfocus))
            return {};
        return shellRange(FitField::MinUnderfocus, "min-defocus", -kFitMaxUnderfocus, kFitMaxUnderfocus, " Å");
    case Rule::MaxUnderfocus:
        if (within(r.maxUnderfocus, -kFitMaxUnderfocus, kFitMaxUnderfocus))
            return {};
        return shellRange(FitField::MaxUnderfocus, "max-defocus", -kFitMaxUnderfocus, kFitMaxUnderfocus, " Å");
    case Rule::Underfocus:
        if (!(std::max(std::fabs(r.minUnderfocus), std::fabs(r.maxUnderfocus)) > kFitMaxUnderfocus))
            return {};
        if (voice == FitVoice::Window)
            return {FitField::Underfocus,
                    {},
                    QStringLiteral("The defocus range from %1 µm to %2 µm reaches beyond ±%3 µm.")
                        .arg(formatGeneral(um(r.minUnderfocus)), formatGeneral(um(r.maxUnderfocus)),
                             formatGeneral(um(kFitMaxUnderfocus)))};
        return {FitField::Underfocus,
                {},
                QStringLiteral("The defocus range to search must lie within ±%1 µm.").arg(um(kFitMaxUnderfocus))};
    case Rule::EmptyRange:
        if (finite(r.minUnderfocus) && finite(r.maxUnderfocus) && r.minUnderfocus < r.maxUnderfocus)
            return {};
        if (voice == FitVoice::Shell)
            return {FitField::Underfocus,
                    {},
                    QStringLiteral("--min-defocus %1 and --max-defocus %2: the defocus range is empty; the smallest "
                                   "underfocus must be below the largest")
                        .arg(formatGeneral(r.minUnderfocus), formatGeneral(r.maxUnderfocus))};
        if (voice == FitVoice::Window)
            return {FitField::Underfocus,
                    {},
                    QStringLiteral("The defocus range from %1 µm to %2 µm underfocus is empty: the smallest "
                                   "underfocus must be below the largest.")
                        .arg(formatGeneral(um(r.minUnderfocus)), formatGeneral(um(r.maxUnderfocus)))};
        return {FitField::Underfocus,
                {},
                QStringLiteral("The defocus range to search, from %1 nm to %2 nm, is empty.")
                    .arg(angstromToNm(-r.maxUnderfocus))
                    .arg(angstromToNm(-r.minUnderfocus))};
    case Rule::Astigmatism:
        if (within(r.maxAstigmatism, 0, kFitMaxAstigmatism))
            return {};
        if (voice == FitVoice::Shell)
            return shellRange(FitField::Astigmatism, "max-astigmatism", 0, kFitMaxAstigmatism, " Å");
        return {FitField::Astigmatism,
                {},
                QStringLiteral("Largest astigmatism (U − V) cannot be %1 Å: it must be from 0 to %2 Å.")
                    .arg(formatGeneral(r.maxAstigmatism), formatGeneral(kFitMaxAstigmatism))};
    case Rule::AstigmatismSign:
        if (finite(r.maxAstigmatism) && r.maxAstigmatism >= 0)
            return {};
        return {FitField::Astigmatism,
                {},
                QStringLiteral("The largest astigmatism searched must be 0 nm or more, not %1.")
                    .arg(a2OfDefocusDifference(r.maxAstigmatism))};
    case Rule::AstigmatismMax:
        if (!(a2OfDefocusDifference(r.maxAstigmatism) > a2OfDefocusDifference(kFitMaxAstigmatism) * (1 + 1e-12)))
            return {};
        return {FitField::Astigmatism,
                {},
                QStringLiteral("The largest astigmatism searched must be at most a defocus U - V of %1 µm.")
                    .arg(um(kFitMaxAstigmatism))};
    case Rule::BandNumbers:
        if (finite(r.lowResolution) && finite(r.highResolution))
            return {};
        return {FitField::Band, QStringLiteral("band"),
                QStringLiteral("give the band as LOW:HIGH, two resolutions in Å such as 30:5")};
    case Rule::EmptyBand:
        if (finite(r.lowResolution) && finite(r.highResolution) && r.highResolution > 0
            && r.lowResolution > r.highResolution)
            return {};
        if (voice == FitVoice::Shell)
            return {FitField::Band, QStringLiteral("band"),
                    QStringLiteral("the band is empty: its first resolution must be the larger, and both above 0")};
        if (voice == FitVoice::Window)
            return {FitField::Band,
                    {},
                    QStringLiteral("The band from %1 Å to %2 Å is empty: its first resolution must be the larger, "
                                   "and both above 0 Å.")
                        .arg(formatGeneral(r.lowResolution), formatGeneral(r.highResolution))};
        return {FitField::Band,
                {},
                QStringLiteral("The band to fit, from %1 Å to %2 Å, is empty: its first resolution must be the "
                               "larger, and both above 0.")
                    .arg(angstromText(r.lowResolution), angstromText(r.highResolution))};
    case Rule::BandRange:
        if (!(r.highResolution < kFitMinBandResolution || r.lowResolution > kFitMaxBandResolution))
            return {};
        return {FitField::Band, QStringLiteral("band"),
                QStringLiteral("both resolutions must be from %1 to %2 Å")
                    .arg(formatGeneral(kFitMinBandResolution), formatGeneral(kFitMaxBandResolution))};
    case Rule::PhaseGiven:
        if (!(r.fitPhaseShift && r.phaseShift))
            return {};
        return {FitField::PhaseShift, {}, QStringLiteral("--phase-shift and --fit-phase-shift: give one of them")};
    case Rule::PhaseShift:
        if (!r.phaseShift || within(*r.phaseShift, -kFitMaxPhaseShift, kFitMaxPhaseShift))
            return {};
        if (voice == FitVoice::Shell)
            return shellRange(FitField::PhaseShift, "phase-shift", -kFitMaxPhaseShift, kFitMaxPhaseShift, " degrees");
        return {FitField::PhaseShift,
                {},
                QStringLiteral("The phase shift must be from -%1 to %1 degrees.").arg(kFitMaxPhaseShift)};
    case Rule::Search: {
        if (!c.search)
            return {};
        QString search;
        try {
            search = fitSearchProblem(c.options ? *c.options : fitOptionsOf(r));
        } catch (const OrvalisError &e) { // values the model cannot take
            search = e.text();
        }
        if (search.isEmpty() || voice != FitVoice::Shell)
            return {FitField::None, {}, search};
        return {FitField::None,
                {},
                QStringLiteral("--min-defocus, --max-defocus, --band%1: %2")
                    .arg(r.fitPhaseShift ? QStringLiteral(" and --fit-phase-shift") : QString(), search)};
    }
    case Rule::Nyquist: {
        const double pixel = c.pixelSizeNm;
        // A band ending exactly at Nyquist, as typed in Å, is within it.
        if (!(pixel > 0) || !(angstromToNm(r.highResolution) < 2 * pixel * (1 - 1e-12)))
            return {};
        const double nyquist = nmToAngstrom(2 * pixel);
        if (voice == FitVoice::Shell)
            return {FitField::HighResolution,
                    {},
                    QStringLiteral("the band's top, %1 Å, is beyond the Nyquist limit of %2 Å (twice the pixel size "
                                   "of %3 Å %4)")
                        .arg(formatGeneral(r.highResolution), formatGeneral(nyquist),
                             formatGeneral(nmToAngstrom(pixel)),
                             r.pixelSize > 0 ? QStringLiteral("given by --pixel") : QStringLiteral("the file gives"))};
        if (voice == FitVoice::Window)
            return {
                FitField::HighResolution,
                {},
                QStringLiteral("The band reaches %1 Å, beyond the micrograph's Nyquist limit of %2 Å (twice its "
                               "pixel size of %3 Å).")
                    .arg(formatGeneral(r.highResolution), formatGeneral(nyquist), formatGeneral(nmToAngstrom(pixel)))};
        return {FitField::HighResolution,
                {},
                QStringLiteral("The band to fit reaches %1 Å, beyond the micrograph's Nyquist limit of %2 Å (twice "
                               "its pixel size).")
                    .arg(angstromText(r.highResolution), angstromText(nyquist))};
    }
    }
    return {};
}

} // namespace

FitProblem fitRequestProblem(const FitRequest &request, const FitCheck &check)
{
    const auto tryRules = [&](const auto &rules) {
        for (const Rule rule : rules) {
            FitProblem problem = broken(rule, request, check);
            if (!problem.isEmpty())
                return problem;
        }
        return FitProblem();
    };
    switch (check.voice) {
    case FitVoice::Shell: return tryRules(kShellRules);
    case FitVoice::Window: return tryRules(kWindowRules);
    case FitVoice::Engine: break;
    }
    return tryRules(kEngineRules);
}

FitLimitNames fitLimitNames(FitVoice voice)
{
    if (voice == FitVoice::Window)
        return {QStringLiteral("the Fit dialog's \"Underfocus from\""), QStringLiteral("the Fit dialog's \"to\" µm"),
                QStringLiteral("the Fit dialog's \"Largest astigmatism (U − V)\""),
                QStringLiteral("the Fit dialog's \"Fit a phase plate's shift\"")};
    return {QStringLiteral("--min-defocus"), QStringLiteral("--max-defocus"), QStringLiteral("--max-astigmatism"),
            QStringLiteral("--fit-phase-shift")};
}

CtfFitOptions fitOptionsOf(const FitRequest &r)
{
    CtfFitOptions o;
    o.instrument.voltage = r.voltage;
    o.instrument.cs = mmToNm(r.cs);
    o.amplitudeContrast = r.amplitudeContrast;
    o.defocusFrom = angstromToNm(-r.maxUnderfocus);
    o.defocusTo = angstromToNm(-r.minUnderfocus);
    o.maxA2 = a2OfDefocusDifference(r.maxAstigmatism);
    o.lowResolution = angstromToNm(r.lowResolution);
    o.highResolution = angstromToNm(r.highResolution);
    o.fitPhaseShift = r.fitPhaseShift;
    o.fitTilt = r.fitTilt;
    o.fitThickness = r.fitThickness;
    o.phaseShift = r.phaseShift ? degreesToRadians(*r.phaseShift) : 0.0;
    return o;
}

FitRequest fitRequestOf(const CtfFitOptions &o)
{
    FitRequest r;
    r.voltage = o.instrument.voltage;
    r.cs = nmToMm(o.instrument.cs);
    r.amplitudeContrast = o.amplitudeContrast;
    r.minUnderfocus = nmToAngstrom(-o.defocusTo);
    r.maxUnderfocus = nmToAngstrom(-o.defocusFrom);
    r.maxAstigmatism = defocusDifferenceOfA2(o.maxA2);
    r.lowResolution = nmToAngstrom(o.lowResolution);
    r.highResolution = nmToAngstrom(o.highResolution);
    r.fitPhaseShift = o.fitPhaseShift;
    r.fitTilt = o.fitTilt;
    r.fitThickness = o.fitThickness;
    r.phaseShift = radiansToDegrees(o.phaseShift);
    return r;
}

} // namespace orvalis
