#include "optionranges.h"

#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"

#include <cmath>

namespace orvalis {
namespace {

[[noreturn]] void refuse(const QString &text, const QString &field, const QString &allowed)
{
    throw OrvalisError(QStringLiteral("'%1' is not a valid value for %2: %3").arg(inputExcerpt(text), field, allowed));
}

int astigmatismMaximum(const QString &text, const QString &field)
{
    const int value = strToInt(text);
    if (value < 0 || value > MaxAstigmatism)
        refuse(text, field, QStringLiteral("it must be from 0 to %1 nm").arg(MaxAstigmatism));
    return value;
}

} // namespace

int defocusStepsPerNm(const OptionRanges &ranges)
{
    return ranges.fineDefocus ? 10 : 1;
}

int defocusLimit(const OptionRanges &ranges)
{
    return ranges.fineDefocus ? MaxFineDefocus : MaxDefocus;
}

bool fineDefocusFits(const OptionRanges &r)
{
    return r.defocusMin >= -MaxFineDefocus && r.defocusMin <= MaxFineDefocus && r.defocusMax >= -MaxFineDefocus
        && r.defocusMax <= MaxFineDefocus;
}

double typedDefocus(const QString &text, const OptionRanges &ranges)
{
    const QString field = QStringLiteral("Defocus");
    if (!ranges.fineDefocus)
        return typedWithin(text, MaxDefocus, field);
    const double value = strToFloat(text);
    if (!(value >= -MaxFineDefocus && value <= MaxFineDefocus))
        refuse(text, field, QStringLiteral("it must be from %1 to %2 nm").arg(-MaxFineDefocus).arg(MaxFineDefocus));
    return std::round(value * 10) / 10;
}

int typedWithin(const QString &text, int limit, const QString &field)
{
    const int value = strToInt(text);
    if (value < -limit || value > limit)
        refuse(text, field, QStringLiteral("it must be from %1 to %2 nm").arg(-limit).arg(limit));
    return value;
}

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
    const int limit = defocusLimit(ranges);
    const int v = -typedWithin(texts.overfocus, limit, QStringLiteral("Max Overfocus"));
    if (v < ranges.defocusMax)
        ranges.defocusMin = v;
    const int w = -typedWithin(texts.underfocus, limit, QStringLiteral("Max Underfocus"));
    if (w > ranges.defocusMin)
        ranges.defocusMax = w;
    ranges.a2Max = astigmatismMaximum(texts.a2Max, QStringLiteral("Max 2-fold Astigmatism"));
    ranges.a3Max = astigmatismMaximum(texts.a3Max, QStringLiteral("Max 3-fold Astigmatism"));
    const double upTo = strToFloat(texts.upTo);
    if (!(upTo > 0 && upTo <= MaxUpTo))
        refuse(texts.upTo, QStringLiteral("Max Frequency"),
               QStringLiteral("it must be above 0 and at most %1 nm-1").arg(formatGeneral(MaxUpTo)));
    ranges.upTo = upTo;
    if (ranges.fineDefocus && !fineDefocusFits(ranges)) {
        // An end the fields left untouched may still lie beyond what tenths of a nanometre can count.
        ranges.fineDefocus = false;
        throw OrvalisError(QStringLiteral("Fine defocus needs the defocus range within %1 .. %2 nm")
                               .arg(-MaxFineDefocus)
                               .arg(MaxFineDefocus));
    }
}

} // namespace orvalis
