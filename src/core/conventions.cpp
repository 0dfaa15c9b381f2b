#include "core/conventions.h"

#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/orvaliserror.h"
#include "core/units.h"

#include <cmath>
#include <cstdlib>

namespace orvalis {
namespace {

constexpr double kTwoPi = 2 * Pi;

} // namespace

double a3FromTyped(double typed, A3Convention convention)
{
    return convention == A3Convention::Corrector ? kTwoPi * typed : typed;
}

double a3Shown(double a3, A3Convention convention)
{
    return convention == A3Convention::Corrector ? a3 / kTwoPi : a3;
}

QString a3FieldText(double a3, A3Convention convention, const QString &programText)
{
    if (convention == A3Convention::Program)
        return programText;
    return formatRounded(a3Shown(a3, convention), 1);
}

double typedA3(const QString &text, A3Convention convention)
{
    if (convention == A3Convention::Program)
        return std::abs(typedWithin(text, MaxAstigmatism, a3LabelText(convention)));
    const double typed = std::round(std::fabs(strToFloat(text)) * 10) / 10;
    const double limit = std::floor(a3Shown(MaxAstigmatism, convention) * 10) / 10;
    if (!(typed <= limit))
        throw OrvalisError(QStringLiteral("'%1' is not a valid value for %2: it must be from -%3 to %3 nm")
                               .arg(inputExcerpt(text), a3LabelText(convention), formatRounded(limit, 1)));
    return a3FromTyped(typed, convention);
}

QString a3LabelText(A3Convention convention)
{
    return convention == A3Convention::Corrector ? QStringLiteral("3-fold Astigmatism A2 (corrector)")
                                                 : QStringLiteral("3-fold Astigmatism");
}

QString resolutionNumberText(double nm, ResolutionUnit unit)
{
    if (!(nm > 0))
        return QStringLiteral("-");
    switch (unit) {
    case ResolutionUnit::NmFine: return formatFixed(nm, 3);
    case ResolutionUnit::Pm: return formatFixed(nm * 1000, 1);
    case ResolutionUnit::Nm: break;
    }
    return formatFixed(nm, 2);
}

QString resolutionUnitText(ResolutionUnit unit)
{
    return unit == ResolutionUnit::Pm ? QStringLiteral("pm") : QStringLiteral("nm");
}

QString scherzerRoundingNote(double optimum, double set, bool fineDefocus)
{
    const double rounded = std::fabs(set - optimum);
    if (fineDefocus || !(std::fabs(optimum) < 20) || rounded < 0.05 || rounded > 0.5)
        return QString();
    return QStringLiteral("S rounded the extended Scherzer defocus, %1 nm, to %2 nm; Fine defocus (Setup > "
                          "Options) gives it exactly.")
        .arg(formatFixed(optimum, 1), formatGeneral(set));
}

bool a3ConventionFromStored(int stored, A3Convention &convention)
{
    if (stored < 0 || stored > 1)
        return false;
    convention = static_cast<A3Convention>(stored);
    return true;
}

bool resolutionUnitFromStored(int stored, ResolutionUnit &unit)
{
    if (stored < 0 || stored > 2)
        return false;
    unit = static_cast<ResolutionUnit>(stored);
    return true;
}

} // namespace orvalis
