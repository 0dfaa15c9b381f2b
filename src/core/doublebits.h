#pragma once
// The bits of a double and back, for the hand-written elementary functions.
#include <cstdint>
#include <cstring>

namespace orvalis {

inline std::uint64_t bitsOf(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

inline double fromBits(std::uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

} // namespace orvalis
