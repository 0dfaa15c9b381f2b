#pragma once
// A spectrum's band read along a model's rings: its pixels binned by the frequency at which a round
// model has their phase, the model's argument at each bin, and the regions' amplitudes averaged so.
// The specimen fit's tilt search and the tilt series' fit judge a region's defocus by them.
#include "micrograph/ctfmodel.h"
#include "micrograph/specimenfit.h"

#include <cstddef>
#include <vector>

namespace orvalis {

// The band's pixels (one half of the centrosymmetric spectrum, the central cross left out) binned
// by the frequency at which a round model has their phase under `phase`: along its rings.
struct RingBins {
    double low = 0, step = 0;
    std::vector<std::size_t> pixel; // index in the n x n spectrum
    std::vector<int> bin;
    std::vector<double> k;     // nm^-1, the middle of each bin
    std::vector<double> count; // pixels a bin

    int bins() const { return static_cast<int>(k.size()); }

    // The mean of valueAt(pixel index) over each bin's pixels.
    template <typename ValueAt> std::vector<double> averageOf(const ValueAt &valueAt) const
    {
        std::vector<double> sum(k.size(), 0.0);
        for (std::size_t i = 0; i < pixel.size(); ++i)
            sum[std::size_t(bin[i])] += valueAt(pixel[i]);
        for (std::size_t b = 0; b < sum.size(); ++b)
            sum[b] = count[b] > 0 ? sum[b] / count[b] : 0.0;
        return sum;
    }
    std::vector<double> average(const std::vector<double> &values) const
    {
        return averageOf([&values](std::size_t i) { return values[i]; });
    }
};

RingBins ringBins(int n, double frequencyStep, const PhaseFactors &phase, double low, double high);

// values less their mean over a window of +-half bins: the 1-D counterpart of the spectrum's box.
std::vector<double> lessRunningMean(const std::vector<double> &values, const std::vector<double> &weight, int half);

// The rings along a model's rings: for each bin its frequency, the model's argument (chi less the
// offset) and d chi / d Defocus there.
struct RingModel {
    std::vector<double> argument, perDefocus, lambdaK2; // rad, rad per nm, nm^-1 (lambda k^2)
    std::vector<double> blur;                           // the tilt's damping within a region (TiltBlur), 1 without
};

RingModel ringModel(const RingBins &bins, const CtfModel &model);

// Each region's amplitudes (the square root of its power) averaged along `bins`, less their running
// mean over about half a ring at the band's low end: what a region's own defocus is judged by.
std::vector<std::vector<double>> regionRingProfiles(const RegionSpectra &regions, const RingBins &bins);

} // namespace orvalis
