#include "optionranges.h"

#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"

#include <limits>

namespace orvalis {
namespace {

[[noreturn]] void refuse(const QString &text, const QString &field, const QString &allowed)
{
    throw OrvalisError(QStringLiteral("'%1' is not a valid value for %2: %3").arg(inputExcerpt(text), field, allowed));
}

int astigmatismMaximum(const QString &text, const QString &field)
{
    const int value = strToInt(text);
    if (value < 0)
        refuse(text, field, QStringLiteral("it must be 0 nm or more"));
    return value;
}

} // namespace

OptionTexts optionTexts(const OptionRanges &r)
{
    OptionTexts t;
    // Negated in double: the slider's minimum may be INT_MIN, whose negation overflows an int.
    t.overfocus = formatGeneral(-static_cast<double>(r.defocusMin));
    t.underfocus = formatGeneral(-static_cast<double>(r.defocusMax));
    t.upTo = formatGeneral(r.upTo);
    t.a2Max = QString::number(r.a2Max);
    t.a3Max = QString::number(r.a3Max);
    return t;
}

void applyOptionTexts(OptionRanges &ranges, const OptionTexts &texts)
{
    // Widened to 64 bits: the negation of a typed -2147483648 does not fit an int.
    const long long v = -static_cast<long long>(strToInt(texts.overfocus));
    if (v < ranges.defocusMax)
        ranges.defocusMin = static_cast<int>(v);
    const long long w = -static_cast<long long>(strToInt(texts.underfocus));
    if (w > ranges.defocusMin && w <= std::numeric_limits<int>::max())
        ranges.defocusMax = static_cast<int>(w);
    ranges.a2Max = astigmatismMaximum(texts.a2Max, QStringLiteral("Max 2-fold Astigmatism"));
    ranges.a3Max = astigmatismMaximum(texts.a3Max, QStringLiteral("Max 3-fold Astigmatism"));
    const double upTo = strToFloat(texts.upTo);
    if (!(upTo > 0 && upTo <= MaxUpTo))
        refuse(texts.upTo, QStringLiteral("Max Frequency"),
               QStringLiteral("it must be above 0 and at most %1 nm-1").arg(formatGeneral(MaxUpTo)));
    ranges.upTo = upTo;
}

} // namespace orvalis
