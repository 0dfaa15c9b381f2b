#pragma once
// The spectrum averaged along the model's rings, and how well the average follows the model ring by
// ring. The model itself stays with its caller: it comes in as a function of the frequency or as
// values at the bins.
#include <functional>
#include <vector>

namespace orvalis {

// The frequency (nm^-1) at which the model without astigmatism has the same phase as the full model
// at (kx, ky) (nm^-1): its rings then map onto circles. Return a negative value or NaN for a point
// that belongs to no ring (it is left out).
using EquivalentFrequency = std::function<double(double kx, double ky)>;

struct RingAverage {
    double frequencyStep = 0; // nm^-1 between bins; bin b lies at k = b * frequencyStep
    // Weighted mean of the spectrum over the pixels whose equivalent frequency falls at bin b, each
    // pixel shared between its two nearest bins; NaN where no pixel falls.
    std::vector<double> value;
    std::vector<double> weight; // pixels' shares summed per bin
};

// The average of `spectrum` (n x n, centred as PowerSpectrum's images: pixel (i, j) at
// kx = (i - n/2) * step, ky = (j - n/2) * step, step in nm^-1) along the equal-phase rings of the
// model, in n/2 + 1 bins of one pixel from 0 to the Nyquist frequency. Only every pixelStep-th row
// and column is taken (the window's coarse steps while a slider moves).
RingAverage equalPhaseAverage(const std::vector<float> &spectrum, int n, double frequencyStep,
                              const EquivalentFrequency &equivalentFrequency, int pixelStep = 1);

// The plain rotational average: rings taken as circles.
RingAverage rotationalAverage(const std::vector<float> &spectrum, int n, double frequencyStep);

// The columns of a spectrum's average written as a table, after the frequency k: the window's Save
// Spectrum Average and orvalis-ctf average name them alike, so that one reader takes both.
// ModelCtf2 is the model's CTF^2 itself (0 .. 1); the Scaled columns are the model and its envelope
// with the gain and offset that fit them to the average; Agreement is the normalised
// cross-correlation of the average with CTF^2 over a band about each frequency (ringAgreement).
enum class AverageColumn { Average, ModelCtf2, ModelScaled, ModelEnvelopeScaled, Agreement };
const char *averageColumnTitle(AverageColumn column);

// The band-wise agreement of an average with the model.
struct RingAgreement {
    // Normalised cross-correlation of the average with the model's CTF^2 over a band of bins around
    // each bin (-1 .. 1); NaN below the first bin judged and where the band holds no data.
    std::vector<double> correlation;
    std::vector<int> halfWidth; // bins each side of each bin's band
    int firstBin = 0;           // the first bin judged
    int lastBin = -1;           // the last bin at which the two agree; -1 when they never do
    double agreedUpTo = 0;      // nm^-1: lastBin's frequency; 0 when they never agree
};

// The agreement of `average` (RingAverage::value) with `modelCtf2`, the model's CTF^2 without
// astigmatism at the same bins, judged from `lowestFrequency` (nm^-1; e.g. the model's first zero or
// the fit's lowest frequency) upwards. Done as the estimators of the field do it:
// - the band is about one ring each side of a bin (from one extremum of the model's CTF^2 to the
//   next, plus one bin), widened by a tenth of that per extremum counted from the centre, since the
//   faint outer rings need more of them to be judged; never narrower than n/40 bins each side;
// - the agreement ends at the first bin where the correlation falls below 0.5 after more than three
//   bins above 0.66, or below 0.1 after more than three above 0.1 (0.5 as a Fourier shell
//   correlation is judged against a model); if it never ends so, it reaches the last bin when any bin
//   was above 0.5, and nowhere otherwise.
RingAgreement ringAgreement(const std::vector<double> &average, const std::vector<double> &modelCtf2,
                            double frequencyStep, double lowestFrequency);

} // namespace orvalis
