#pragma once
// CtfGrey as a function of c^2 without an exponential, for the grids that need it at every pixel.
//
// CtfGrey steps from level g to g + 1 where 255 * exp(c^2) / e = g + 0.5, that is at
// c^2 = 1 + ln((g + 0.5) / 255). The steps lie at least 1/256 apart, so over bins of width 1/1024
// each bin meets at most one step (counting steps up to kStepMargin outside the bin): the level is
// the bin's level below that step, plus one at or above it.
#include <cmath>
#include <cstdint>

namespace orvalis {

class GreyLevelLookup {
public:
    static constexpr int kBins = 1024;
    // Values of c^2 closer than this to a step are reported, so that the caller can decide them with
    // the exact CtfGrey. It lies far above the error of the fast grid arithmetic (a few 1e-9 at
    // most) and far below the distance between steps.
    static constexpr double kStepMargin = 0x1p-22;

    static const GreyLevelLookup &instance();

    // The level of CtfGrey(c) for c2 = c^2 in [0, 1]. nearStep is set when c2 lies within
    // kStepMargin of a step, or is NaN; the level returned then may differ from CtfGrey's.
    int level(double c2, bool &nearStep) const
    {
        double t = c2 * kBins;
        t = t >= 0.0 ? t : 0.0; // NaN lands here as well
        t = t < kBins - 1 ? t : kBins - 1;
        const int bin = static_cast<int>(t);
        const double step = m_step[bin];
        nearStep = !(std::fabs(c2 - step) >= kStepMargin);
        return m_below[bin] + (c2 >= step ? 1 : 0);
    }

    // Levels of `count` squared CTF values into out; the values near a step are replaced by
    // exact(i), the level evaluated directly for value i.
    template <class Exact>
    void levels(const double *c2, std::uint8_t *out, int count, Exact exact) const
    {
        bool anyNear = false;
        for (int i = 0; i < count; ++i) {
            bool nearStep;
            out[i] = static_cast<std::uint8_t>(level(c2[i], nearStep));
            anyNear |= nearStep;
        }
        if (!anyNear)
            return;
        for (int i = 0; i < count; ++i) {
            bool nearStep;
            level(c2[i], nearStep);
            if (nearStep)
                out[i] = static_cast<std::uint8_t>(exact(i));
        }
    }

    // c^2 at which CtfGrey steps from level g to g + 1, for g = 94 .. 254.
    static double stepAt(int g);

private:
    GreyLevelLookup();
    double m_step[kBins];        // the step met by the bin, or 4 (above any c^2) when none
    std::uint8_t m_below[kBins]; // level just below m_step
};

} // namespace orvalis
