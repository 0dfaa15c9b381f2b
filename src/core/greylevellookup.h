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
        const std::int64_t bin = binOf(c2);
        const double step = m_step[bin];
        nearStep = !(std::fabs(c2 - step) >= kStepMargin);
        return static_cast<int>(m_below[bin]) + (c2 >= step ? 1 : 0);
    }

    // The bin of c2, clamped to the table (NaN lands in bin 0). 64 bits wide, as the gathers of
    // vector loops over the table want it.
    static std::int64_t binOf(double c2)
    {
        double t = c2 * kBins;
        t = t >= 0.0 ? t : 0.0;
        t = t < kBins - 1 ? t : kBins - 1;
        return static_cast<std::int64_t>(t);
    }
    const double *steps() const { return m_step; }
    const std::int64_t *belowLevels() const { return m_below; }
    // Each bin's step and level in one word, for loops that gather them: the bits of the step with
    // its lowest eight replaced by the level below it. The step read back (those bits cleared) is
    // off by less than 2^-44 of itself, far inside kStepMargin, so a value that is not near the
    // step lies on the same side of both.
    const std::uint64_t *packedSteps() const { return m_packed; }
    static constexpr std::uint64_t kPackedLevelBits = 0xff;

    // After a pass of level() over `count` squared CTF values found some near a step: replaces the
    // levels of those by exact(i), the level evaluated directly for value i.
    template <class Exact> void replaceNearSteps(const double *c2, std::uint8_t *out, int count, Exact exact) const
    {
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
    std::int64_t m_below[kBins]; // level just below m_step (wide, so that vector loops can gather it)
    std::uint64_t m_packed[kBins];
};

} // namespace orvalis
