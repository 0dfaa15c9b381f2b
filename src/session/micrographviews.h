#pragma once
// What the views show of a micrograph beside the model: the picture that puts the measured spectrum
// and the model's CTF^2 side by side over the pattern's frequencies, and the spectrum's average along
// the model's rings with the model scaled to it and their ring-by-ring agreement. Plain functions of
// their inputs, so that a program without a window computes what the window shows.
#include "core/opticsstate.h"
#include "micrograph/ctfmodel.h"
#include "micrograph/powerspectrum.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace orvalis {

// The model the spectrum is compared with, as the session holds it: its optics at a defocus. Every
// value the views show of it comes from the one model of a micrograph's CTF (CtfModel), built from
// these with every term of the state (A2 and A3 with their azimuths, C5, the envelopes, and the
// specimen's amplitude contrast and a phase plate's shift as Setup > Specimen and Detector set them).
struct SpectrumModel {
    OpticsState state;
    double defocus = 0; // nm

    CtfModel model() const { return CtfModel(state, defocus); }
    // The views take the model itself; the session's description stands for it.
    operator CtfModel() const { return model(); }
    // The CTF with its envelopes at (kx, ky) (nm^-1, ky positive below the centre), as the pattern
    // draws it.
    double ctf(double kx, double ky) const { return model().ctf(kx, ky); }
    // CtfModel::equivalentFrequency: the rings mapped onto circles.
    double equivalentFrequency(double kx, double ky) const { return model().equivalentFrequency(kx, ky); }
};

// The grey levels of the side-by-side picture, 2N x 2N, row after row from the top. Pixel (N, N) is
// k = 0 and one pixel is range / (N - 1) nm^-1, as on the pattern.
struct CompositeGrid {
    int centre = 0;
    double range = 0;
    std::vector<std::uint8_t> grey;

    int side() const { return 2 * centre; }
    int at(int x, int y) const { return grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(side()) + x]; }
};

// The measured spectrum's rings over the whole picture: each pixel the mean of the spectrum's pixels
// it covers, scaled so that the rings' 2nd to 98th percentile over the shown annulus fill the grey
// levels the pattern uses; black beyond the spectrum's Nyquist frequency.
CompositeGrid measuredGrid(const PowerSpectrum &spectrum, int centre, double range, double backgroundFrequency);

// How the measured half is turned into grey levels.
struct SpectrumContrast {
    // The logarithm of the power as measured (its background kept: the low rings show beside the
    // high ones); otherwise the rings, the power with its background taken off.
    bool logarithmic = false;
    // % clipped at each end: the grey levels span the clip-th to the (100 - clip)-th percentile of
    // the shown annulus, 0 to 49.
    double clipPercent = 2;

    bool operator==(const SpectrumContrast &o) const
    {
        return logarithmic == o.logarithmic && clipPercent == o.clipPercent;
    }
};

// The same with a chosen contrast; the default contrast gives measuredGrid's picture above.
CompositeGrid measuredGrid(const PowerSpectrum &spectrum, int centre, double range, double backgroundFrequency,
                           const SpectrumContrast &contrast);

// The spectrum view's range (nm^-1, the last pixel's frequency from the centre): the spectrum's own
// Nyquist frequency, divided by `zoom` (at least 1). 0 for an empty spectrum.
double spectrumViewRange(const PowerSpectrum &spectrum, double zoom);

// Where the model's zeros lie: the CTF's argument crosses a multiple of pi there. Ring `order` is
// the order-th such crossing outwards from the centre along every direction; it is traced along
// rays at `directions` evenly spaced directions (the first along +kx, turning towards +ky, below)
// and sampled `samples` times per ray out to `upTo` nm^-1. Where a direction has no such crossing
// the ring is broken: it comes as several open lines. A ray stops where a zero lies less than
// `minSpacing` (nm^-1) beyond the one before: rings closer than that would only fill the picture.
struct ZeroLine {
    int order = 0;
    bool closed = false;
    std::vector<double> kx, ky; // nm^-1, ky positive below the centre
};
std::vector<ZeroLine> modelZeroLines(const CtfModel &model, double upTo, int directions = 180, int samples = 512,
                                     double minSpacing = 0);

// nm^-1 of a picture's pixel coordinate (column or row) and back: pixel `centre` is k = 0, one pixel
// range / (centre - 1).
double compositePixelFrequency(int pixel, int centre, double range);
double compositePixelOf(double k, int centre, double range);

// Which half a pixel belongs to: the dividing line runs through the centre along the profile's
// direction (rad, from the kx axis, positive below); the model lies on the side the direction turns
// towards (below the line for direction 0), the measured spectrum on the other.
bool onModelSide(int x, int y, int centre, double direction);

// Writes the model's grey levels into its half of `grid` (as measuredGrid made it), computed at
// every `step`-th pixel and spread over the step's square, as the pattern samples while a slider is
// dragged.
void drawModelHalf(CompositeGrid &grid, const CtfModel &model, double direction, int step);

// The spectrum along the model's rings and the model beside it, bin b at k = b * frequencyStep up to
// the spectrum's Nyquist frequency.
struct RingProfile {
    double frequencyStep = 0;      // nm^-1
    std::vector<double> average;   // the rings averaged along the model's rings; NaN where no pixel fell
    std::vector<double> model;     // the round model's CTF^2 with its envelopes, scaled to the average
    std::vector<double> envelope;  // its squared envelopes, scaled alike
    std::vector<double> agreement; // normalised cross-correlation in a band around each bin, NaN unjudged
    double agreedUpTo = 0;         // nm^-1: the frequency up to which the two agree; 0 when they never do
    // average ~ scale * CTF^2 * E^2 + offset, fitted by least squares where they agree (or over every
    // judged bin when they agree nowhere).
    double scale = 0;
    double offset = 0;

    int bins() const { return static_cast<int>(average.size()); }
    double frequency(int bin) const { return bin * frequencyStep; }

    // How a chart puts the average on the model's scale (0 .. 1): by scale and offset where they
    // agree; where they agree nowhere that fit means nothing, and the average's own 2nd to 98th
    // percentile from `lowestFrequency` (nm^-1) up spans 0 .. 1, so that a model far off still shows
    // the measured rings to aim at. average -> (average - offset) / scale.
    struct Shown {
        double scale = 1, offset = 0;
    };
    Shown shownScale(double lowestFrequency) const;
};

// The profile of `spectrum` for `model`, judged from `lowestFrequency` (nm^-1) upwards. Only every
// `pixelStep`-th row and column is averaged (the coarse steps of a drag). `roundAverage`, when
// given, is the plain rotational average of the spectrum's rings, taken as it is when the model is
// round.
RingProfile ringProfile(const PowerSpectrum &spectrum, const CtfModel &model, double lowestFrequency, int pixelStep = 1,
                        const std::vector<double> *roundAverage = nullptr);

// What the spectrum holds at a frequency (nm^-1): the nearest pixel's power and rings; none beyond
// the spectrum's Nyquist frequency.
struct SpectrumSample {
    double power = 0;
    double rings = 0;
};
std::optional<SpectrumSample> sampleSpectrum(const PowerSpectrum &spectrum, double kx, double ky);

// The files a fit's pictures are written to in `dir`, named after the micrograph: NAME_fit.png and
// NAME_fit.mrc (the spectrum beside the model), NAME_profile.png and NAME_profile.svg (its average
// along the model's rings against the model).
struct FitPictureFiles {
    QString spectrumPng, spectrumMrc, profilePng, profileSvg;
};
FitPictureFiles fitPictureFiles(const QString &dir, const QString &micrograph);

} // namespace orvalis
