#pragma once
// The fit's one measure of agreement between a spectrum and a model: Pearson's correlation of the
// values with the model's, each pixel (or bin) weighted, from running sums, so that a score is one
// pass over the band.
#include <cmath>

namespace orvalis {

struct CorrelationSums {
    double v = 0, vv = 0, m = 0, mm = 0, vm = 0, weight = 0;

    void add(double value, double model, double w = 1)
    {
        v += w * value;
        vv += w * value * value;
        m += w * model;
        mm += w * model * model;
        vm += w * value * model;
        weight += w;
    }
    // 0 where either side does not vary (or nothing was added).
    double correlation() const
    {
        if (weight <= 0)
            return 0;
        const double cross = vm - v * m / weight;
        const double varV = vv - v * v / weight, varM = mm - m * m / weight;
        return varV > 0 && varM > 0 ? cross / std::sqrt(varV * varM) : 0.0;
    }
};

} // namespace orvalis
