#include "ctfgrey.h"

#include "core/numberformat.h"

#include <algorithm>
#include <cmath>

namespace orvalis {

int CtfGrey(double c)
{
    if (std::isnan(c))
        return kGreyLevelMin;
    constexpr double e = 2.71828182845904523536;
    const int level = roundToInt(255.0 * std::exp(c * c) / e);
    return std::clamp(level, kGreyLevelMin, kGreyLevelMax);
}

} // namespace orvalis
