#include "greylevellookup.h"

#include "core/ctfgrey.h"

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

GreyLevelLookup::GreyLevelLookup()
{
    for (int bin = 0; bin < kBins; ++bin) {
        const double lo = static_cast<double>(bin) / kBins - kStepMargin;
        const double hi = static_cast<double>(bin + 1) / kBins + kStepMargin;
        m_step[bin] = 4.0;
        int below = kGreyLevelMin; // level at the bin's lower edge
        for (int g = kGreyLevelMin; g < kGreyLevelMax; ++g) {
            const double step = stepAt(g);
            if (step >= lo && step < hi) {
                m_step[bin] = step;
                below = g;
                break;
            }
            if (step < lo)
                below = g + 1;
        }
        m_below[bin] = static_cast<std::uint8_t>(below);
    }
}

} // namespace orvalis
