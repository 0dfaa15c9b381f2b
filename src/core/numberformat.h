#pragma once
// Number texts of the program. Every number shown, typed, stored or saved goes through these, always
// with "." as the decimal separator, whatever the user's locale.
#include <QString>

namespace orvalis {

// Shortest text giving the value to 15 significant digits; magnitudes below 1e-4 or from 1e15 up in
// scientific form ("2.5E-7").
QString formatGeneral(double value);

// The same text written to `out` (at least kGeneralTextMax chars, not terminated); returns its length.
// For the long tables, where a QString per number would cost more than the number.
inline constexpr int kGeneralTextMax = 32;
int writeGeneral(char *out, double value);

// The value rounded to 7 significant digits, written with exactly `decimals` decimals; magnitudes
// from 1e7 up in scientific form.
QString formatFixed(double value, int decimals);

// The value as a reader takes it in: rounded to at most `decimals` decimals, in formatGeneral's
// form without trailing zeros ("0.83", "140.1", "300").
QString formatRounded(double value, int decimals);

// Nearest integer, ties to even (2.5 -> 2, 3.5 -> 4). Values beyond the int range saturate.
int roundToInt(double value);

// An optionally signed decimal whole number in 32-bit range (surrounding blanks allowed).
// Throws OrvalisError "'<text>' is not a valid integer value", the text as inputExcerpt quotes it.
int strToInt(const QString &text);

// A decimal number with "." and an optional exponent; "nan", "inf", "1,5" and hex are refused, and so
// is anything that overflows a double. Throws OrvalisError "'<text>' is not a valid floating point value",
// the text as inputExcerpt quotes it.
double strToFloat(const QString &text);

} // namespace orvalis
