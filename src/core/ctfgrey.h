#pragma once
// The grey level of a CTF value, shared by the 2D pattern and the defocus map.
namespace orvalis {

// round(255 * exp(c^2) / e), ties to even: 94 at c = 0, 255 at |c| = 1. CTF values never leave
// -1 .. 1; should one do (or be NaN), the level is kept in 94 .. 255 (255 beyond, 94 for NaN) so
// that it always fits a colour component.
int CtfGrey(double c);

inline constexpr int kGreyLevelMin = 94;
inline constexpr int kGreyLevelMax = 255;

} // namespace orvalis
