#include "greylevellookup.h"

#include "core/ctfgrey.h"
#include "core/doublebits.h"

namespace orvalis {

double GreyLevelLookup::stepAt(int g)
{
    return 1.0 + std::log((g + 0.5) / 255.0);
}

const GreyLevelLookup &GreyLevelLookup::instance()
{
    static const GreyLevelLookup table;
    return table;
}

// One pass over the bins with the steps in rising order (stepAt grows with g): a bin meets the
// first step not yet passed when that step lies below its upper edge (margin included), and every
// step below its lower edge (margin included) has been passed.
GreyLevelLookup::GreyLevelLookup()
{
    int g = kGreyLevelMin; // the first step not below the current bin's lower edge
    double step = stepAt(g);
    for (int bin = 0; bin < kBins; ++bin) {
        const double lo = static_cast<double>(bin) / kBins - kStepMargin;
        const double hi = static_cast<double>(bin + 1) / kBins + kStepMargin;
        while (g < kGreyLevelMax && step < lo)
            step = ++g < kGreyLevelMax ? stepAt(g) : 4.0;
        const bool meets = g < kGreyLevelMax && step < hi;
        m_step[bin] = meets ? step : 4.0;
        m_below[bin] = g;
        m_packed[bin] = (bitsOf(m_step[bin]) & ~kPackedLevelBits) | static_cast<std::uint64_t>(g);
    }
}

} // namespace orvalis
