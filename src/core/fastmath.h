#pragma once
// Branch-free polynomial sine and exponential for the grey-level grids. The C library's sin and exp
// cost too much at two hundred thousand points per picture; these are plain arithmetic on doubles
// (no tables, no branches), so a loop over a column pipelines and the compiler may vectorise it.
//
// Accuracy (round to nearest, no fast-math):
// - Reduction by pi/2 with a three-part constant (33 + 33 + 53 bits, Cody and Waite): for
//   |x| <= kSinArgumentLimit the quadrant count j has at most 21 bits, so j * kPio2Hi and
//   j * kPio2Mid are exact and x - j * kPio2Hi is exact (Sterbenz); the reduced argument is off
//   by less than 1e-25 plus one rounding of r.
// - Taylor polynomials: sin to degree 15 on |r| <= pi/4 (first omitted term < 5e-17), exp to
//   degree 13 on |f| <= ln2/2 (first omitted term < 5e-18); Horner (sin) and Estrin (exp) add a
//   few roundings.
// So sine() and sinSquared() are within about 3e-16 absolute of the true value and exponential()
// within about 5e-16 relative, for arguments inside the limits.
#include "core/doublebits.h"

#include <cmath>
#include <cstdint>

namespace orvalis::fastmath {

// rad; beyond this the reduction loses accuracy and callers must use std::sin.
inline constexpr double kSinArgumentLimit = 1048576.0; // 2^20

namespace detail {

inline constexpr double kShifter = 0x1.8p52; // adding it rounds to an integer held in the low bits
inline constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
inline constexpr double kPio2Hi = 0x1.921fb54400000p+0;   // pi/2, first 33 bits
inline constexpr double kPio2Mid = 0x1.0b4611a600000p-34; // next 33 bits
inline constexpr double kPio2Lo = 0x1.3198a2e037073p-69;  // next 53 bits
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;
inline constexpr double kLn2Hi = 0x1.62e42ff000000p-1;   // ln 2, first 32 bits
inline constexpr double kLn2Lo = -0x1.718432a1b0e26p-35; // the rest

// sin(r) for |r| <= pi/4 (a little beyond is harmless).
inline double sinKernel(double r)
{
    const double r2 = r * r;
    double p = -1.0 / 1307674368000.0; // -1/15!
    p = p * r2 + 1.0 / 6227020800.0;   // 1/13!
    p = p * r2 - 1.0 / 39916800.0;     // 1/11!
    p = p * r2 + 1.0 / 362880.0;       // 1/9!
    p = p * r2 - 1.0 / 5040.0;         // 1/7!
    p = p * r2 + 1.0 / 120.0;          // 1/5!
    p = p * r2 - 1.0 / 6.0;            // 1/3!
    return r + r * r2 * p;
}

// cos(r) for |r| <= pi/4, to degree 16 (first omitted term < 3e-18).
inline double cosKernel(double r)
{
    const double r2 = r * r;
    double p = 1.0 / 20922789888000.0; // 1/16!
    p = p * r2 - 1.0 / 87178291200.0;  // 1/14!
    p = p * r2 + 1.0 / 479001600.0;    // 1/12!
    p = p * r2 - 1.0 / 3628800.0;      // 1/10!
    p = p * r2 + 1.0 / 40320.0;        // 1/8!
    p = p * r2 - 1.0 / 720.0;          // 1/6!
    p = p * r2 + 1.0 / 24.0;           // 1/4!
    p = p * r2 - 0.5;
    return 1.0 + r2 * p;
}

struct Reduced {
    double r;               // x - j * pi/2, |r| <= pi/4 (plus rounding)
    std::uint64_t quadrant; // j in the low bits (two's complement)
};

inline Reduced reduce(double x)
{
    const double t = x * kTwoOverPi + kShifter;
    const double j = t - kShifter;
    const double r = ((x - j * kPio2Hi) - j * kPio2Mid) - j * kPio2Lo;
    return {r, bitsOf(t)};
}

} // namespace detail

// sin(x)^2 for |x| <= kSinArgumentLimit. Only the parity of the quadrant matters, because the grey
// level depends on the square of the contrast; the odd quadrants take cos^2 = 1 - sin^2, whose
// absolute error stays below 3e-16 since sin^2(r) <= 1/2 there.
inline double sinSquared(double x)
{
    const detail::Reduced red = detail::reduce(x);
    const double s = detail::sinKernel(red.r);
    const double s2 = s * s;
    const std::uint64_t odd = std::uint64_t{0} - (red.quadrant & 1u); // all ones in odd quadrants
    const std::uint64_t pick = (bitsOf(s2) & ~odd) | (bitsOf(1.0 - s2) & odd);
    return fromBits(pick);
}

// sin(x) for |x| <= kSinArgumentLimit.
inline double sine(double x)
{
    const detail::Reduced red = detail::reduce(x);
    const double s = detail::sinKernel(red.r);
    const double c = detail::cosKernel(red.r);
    const std::uint64_t odd = std::uint64_t{0} - (red.quadrant & 1u);
    const std::uint64_t value = (bitsOf(s) & ~odd) | (bitsOf(c) & odd);
    const std::uint64_t negate = (red.quadrant & 2u) << 62; // quadrants 2 and 3 flip the sign
    return fromBits(value ^ negate);
}

// sin(x) / x, 1 at 0: the depth a thickness leaves of the rings (CtfModel::thicknessDamping), which
// the specimen's fit evaluates at every pixel of its band. std::sin beyond kSinArgumentLimit.
inline double sinc(double x)
{
    if (std::fabs(x) < 1e-8)
        return 1.0;
    return (std::fabs(x) <= kSinArgumentLimit ? sine(x) : std::sin(x)) / x;
}

// exp(x). Arguments are clamped to [-708, 709], which keeps 2^n a normal number: below -708 the
// result is about 3e-308 instead of a smaller or zero value, which no caller here can tell apart.
// NaN and the infinities give NaN.
inline double exponential(double x)
{
    // Arithmetic clamps: g++ does not vectorise a loop with conditional selects of doubles while
    // floating-point traps are honoured.
    x += static_cast<double>(x < -708.0) * (-708.0 - x);
    x -= static_cast<double>(x > 709.0) * (x - 709.0);
    const double t = x * detail::kInvLn2 + detail::kShifter;
    const double n = t - detail::kShifter;
    const double f = (x - n * detail::kLn2Hi) - n * detail::kLn2Lo;
    // The Taylor polynomial to degree 13 in Estrin's scheme: pairs of terms joined by f^2, f^4
    // and f^8, a chain of eight operations instead of Horner's twenty-six, so that a vector loop
    // is not held up waiting for each step (it rounds within the same few units in the last place).
    const double f2 = f * f, f4 = f2 * f2, f8 = f4 * f4;
    const double p01 = 1.0 + f, p23 = 1.0 / 2 + f * (1.0 / 6), p45 = 1.0 / 24 + f * (1.0 / 120);
    const double p67 = 1.0 / 720 + f * (1.0 / 5040), p89 = 1.0 / 40320 + f * (1.0 / 362880);
    const double p1011 = 1.0 / 3628800 + f * (1.0 / 39916800), p1213 = 1.0 / 479001600 + f * (1.0 / 6227020800.0);
    const double low = p01 + f2 * p23, middle = p45 + f2 * p67, high = p89 + f2 * p1011 + f4 * p1213;
    const double p = (low + f4 * middle) + f8 * high;
    // t holds 1.5 * 2^52 + n exactly; adding the exponent bias and shifting the low bits into the
    // exponent field gives 2^n (the high bits of t shift out).
    const double scale = fromBits((bitsOf(t) + 1023u) << 52);
    return p * scale;
}

} // namespace orvalis::fastmath
