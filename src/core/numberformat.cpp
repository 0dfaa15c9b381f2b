#include "numberformat.h"

#include "orvaliserror.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

namespace orvalis {
namespace {

struct Decimal {
    bool negative = false;
    std::string digits; // significant digits, no leading zeros ("0" for zero)
    int exponent = 0;   // value = 0.d1d2d3... * 10^(exponent+1), i.e. d1 stands at 10^exponent
};

// The value rounded to `precision` significant digits, as printf rounds (correctly, from the binary value).
Decimal toDecimal(double value, int precision)
{
    Decimal d;
    d.negative = std::signbit(value) && value != 0.0;
    if (value == 0.0) {
        d.digits = "0";
        return d;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(value));
    const std::string s(buf);
    const auto e = s.find('e');
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] >= '0' && s[i] <= '9') // the separator printf writes depends on the C locale
            d.digits += s[i];
    d.exponent = std::atoi(s.c_str() + e + 1);
    return d;
}

void stripTrailingZeros(std::string &digits)
{
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
}

QString scientific(const Decimal &d)
{
    std::string digits = d.digits;
    stripTrailingZeros(digits);
    std::string out = d.negative ? "-" : "";
    out += digits[0];
    if (digits.size() > 1)
        out += "." + digits.substr(1);
    out += "E" + std::to_string(d.exponent);
    return QString::fromStdString(out);
}

QString nonFinite(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
}

// Round the positional decimal string of d to `decimals` places, half away from zero on the digits.
QString positional(const Decimal &d, int decimals)
{
    // Integer part digits and fraction digits as one digit string with a known point position.
    std::string all;
    int pointPos; // number of digits before the point
    if (d.exponent >= 0) {
        all = d.digits;
        if (static_cast<int>(all.size()) < d.exponent + 1)
            all.append(d.exponent + 1 - all.size(), '0');
        pointPos = d.exponent + 1;
    } else {
        all = std::string(-d.exponent, '0') + d.digits; // leading "0." + zeros
        pointPos = 1;
    }
    const int wanted = pointPos + decimals;
    if (static_cast<int>(all.size()) < wanted)
        all.append(wanted - all.size(), '0');
    bool carry = false;
    if (static_cast<int>(all.size()) > wanted) {
        carry = all[wanted] >= '5';
        all.resize(wanted);
    }
    if (carry) {
        int i = wanted - 1;
        for (; i >= 0; --i) {
            if (all[i] == '9') {
                all[i] = '0';
            } else {
                ++all[i];
                break;
            }
        }
        if (i < 0) {
            all.insert(all.begin(), '1');
            ++pointPos;
        }
    }
    std::string intPart = all.substr(0, pointPos);
    const std::string frac = all.substr(pointPos);
    const auto firstNonZero = intPart.find_first_not_of('0');
    intPart = firstNonZero == std::string::npos ? "0" : intPart.substr(firstNonZero);
    const bool isZero = intPart == "0" && frac.find_first_not_of('0') == std::string::npos;
    std::string out = (d.negative && !isZero) ? "-" : "";
    out += intPart;
    if (!frac.empty())
        out += "." + frac;
    return QString::fromStdString(out);
}

} // namespace

int writeGeneral(char *out, double value)
{
    char *p = out;
    if (!std::isfinite(value)) {
        const char *text = std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
        while (*text)
            *p++ = *text++;
        return static_cast<int>(p - out);
    }
    if (value == 0.0) {
        *p = '0';
        return 1;
    }
    // d.dddddddddddddde+XX, correctly rounded to 15 significant digits as printf would
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    const char *e = std::find(buf, res.ptr, 'e');
    char digits[16];
    int n = 0;
    for (const char *q = buf; q < e; ++q)
        if (*q != '.')
            digits[n++] = *q;
    while (n > 1 && digits[n - 1] == '0')
        --n;
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), res.ptr, exponent);
    if (value < 0)
        *p++ = '-';
    if (exponent < -4 || exponent >= 15) {
        *p++ = digits[0];
        if (n > 1) {
            *p++ = '.';
            for (int i = 1; i < n; ++i)
                *p++ = digits[i];
        }
        *p++ = 'E';
        const auto r = std::to_chars(p, p + 8, exponent);
        return static_cast<int>(r.ptr - out);
    }
    if (exponent < 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = -1; i > exponent; --i)
            *p++ = '0';
        for (int i = 0; i < n; ++i)
            *p++ = digits[i];
        return static_cast<int>(p - out);
    }
    for (int i = 0; i <= exponent; ++i)
        *p++ = i < n ? digits[i] : '0';
    if (n > exponent + 1) {
        *p++ = '.';
        for (int i = exponent + 1; i < n; ++i)
            *p++ = digits[i];
    }
    return static_cast<int>(p - out);
}

QString formatGeneral(double value)
{
    char buf[kGeneralTextMax];
    return QString::fromLatin1(buf, writeGeneral(buf, value));
}

QString formatFixed(double value, int decimals)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    const Decimal d = toDecimal(value, 7);
    if (d.digits != "0" && d.exponent >= 7)
        return scientific(d);
    return positional(d, decimals);
}

int roundToInt(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = std::nearbyint(value); // default rounding mode: ties to even
    if (r >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (r <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

int strToInt(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = !t.isEmpty();
    long long v = 0;
    for (int i = 0; ok && i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (i == 0 && (c == u'+' || c == u'-') && t.size() > 1)
            continue;
        if (c < u'0' || c > u'9') {
            ok = false;
            break;
        }
        v = v * 10 + (c.unicode() - u'0');
        if (v > 2147483648LL)
            ok = false;
    }
    if (ok && t.at(0) == u'-')
        v = -v;
    if (!ok || v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        throw OrvalisError(QStringLiteral("'%1' is not a valid integer value").arg(inputExcerpt(text)));
    return static_cast<int>(v);
}

double strToFloat(const QString &text)
{
    const QString t = text.trimmed();
    // sign? digits [. digits] | . digits, then optional exponent
    int i = 0;
    const int n = t.size();
    auto isDigit = [&](int at) { return at < n && t.at(at) >= u'0' && t.at(at) <= u'9'; };
    if (i < n && (t.at(i) == u'+' || t.at(i) == u'-'))
        ++i;
    int mantissaDigits = 0;
    while (isDigit(i)) {
        ++i;
        ++mantissaDigits;
    }
    if (i < n && t.at(i) == u'.') {
        ++i;
        while (isDigit(i)) {
            ++i;
            ++mantissaDigits;
        }
    }
    bool ok = mantissaDigits > 0;
    if (ok && i < n && (t.at(i) == u'e' || t.at(i) == u'E')) {
        ++i;
        if (i < n && (t.at(i) == u'+' || t.at(i) == u'-'))
            ++i;
        ok = isDigit(i);
        while (isDigit(i))
            ++i;
    }
    ok = ok && i == n;
    double v = 0.0;
    if (ok) {
        // from_chars ignores the C locale, which Qt sets from the user's environment; it takes no "+".
        QByteArray latin = t.toLatin1();
        if (latin.startsWith('+'))
            latin.remove(0, 1);
        const char *end = latin.constData() + latin.size();
        const auto result = std::from_chars(latin.constData(), end, v);
        ok = result.ec == std::errc() && result.ptr == end && std::isfinite(v);
    }
    if (!ok)
        throw OrvalisError(QStringLiteral("'%1' is not a valid floating point value").arg(inputExcerpt(text)));
    return v;
}

QString formatRounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    return formatGeneral(std::isfinite(rounded) ? rounded : value);
}

} // namespace orvalis
