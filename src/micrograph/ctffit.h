#pragma once
// The micrograph layer, who owns what: the readers (micrographreader.h) own the pixels and the pixel
// size a file states; powerspectrum.h owns the spectrum and its background; ctfmodel.h owns the one
// model of a micrograph's CTF (users' units in, converted once; phase -> frequency solved once),
// which the fit here, the session's micrograph views and the shell's outputs all evaluate; this
// header owns the fit's search and what it reports, and keeps nothing between calls.
//
// Fitting the transfer function to a micrograph's power spectrum: the mean defocus, the two-fold
// astigmatism and its azimuth, and optionally a phase plate's shift, found by maximising the
// normalised cross-correlation of the background-removed spectrum (PowerSpectrum::rings) with the
// model's CTF^2 over a band of frequencies.
//
// The search: the rings averaged over circles are scanned over the whole defocus range (and the
// phase shifts, when they are fitted) at steps of a tenth of a ring at the band's top; the best
// few peaks are then refined on the whole spectrum, astigmatism included, first over the band's low
// frequencies, where every astigmatism within the limit lies inside one basin of the score, and
// then over wider bands up to the full one (BOBYQA from NLopt, bounded and derivative-free: the
// score is smooth but its derivatives would cost as much as a dozen evaluations).
//
// Each call keeps everything it needs to itself, so many spectra can be fitted on separate threads
// at once; the spectrum of a micrograph (micrographpipeline.h) makes its FFTW plans through fftplans.h.
#include "micrograph/ctfmodel.h"
#include "micrograph/micrographimage.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/progress.h"
#include "micrograph/ringaverage.h"

#include "core/cryoemdefocus.h"
#include "core/units.h"
#include "micrograph/fitrequest.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace orvalis {

// The fit engine's options, in its own units (nm, rad). The shell and the window make them from a
// FitRequest (fitOptionsOf), whose defaults these are.
struct CtfFitOptions {
    CtfInstrument instrument{FitRequest().voltage, mmToNm(FitRequest().cs), 0};
    double amplitudeContrast = FitRequest().amplitudeContrast; // fraction Q, 0 <= Q < 1

    // The mean defocus searched (nm, negative underfocus as Defocus).
    double defocusFrom = angstromToNm(-FitRequest().maxUnderfocus);
    double defocusTo = angstromToNm(-FitRequest().minUnderfocus);
    // nm, the largest A2 searched.
    double maxA2 = a2OfDefocusDifference(FitRequest().maxAstigmatism);

    // The band fitted, as resolutions (nm).
    double lowResolution = angstromToNm(FitRequest().lowResolution);
    double highResolution = angstromToNm(FitRequest().highResolution);

    bool fitPhaseShift = false;
    double phaseShift = 0;     // rad: the shift taken as known when it is not fitted
    bool fitTilt = false;      // the specimen's tilt angle and axis (SpecimenTilt)
    bool fitThickness = false; // the specimen's thickness
    // A fit narrowed about another's values (the patches of patchfit.h): its astigmatism (A2 and
    // azimuth) starts the refinement of the scan's best peak alone, in place of the grid over every
    // astigmatism and the other peaks, and the phase shift, the other fit's, is not doubted.
    std::optional<TwoFoldDefocus> start;

    // The spectrum's tile (0: the smallest that samples the rings at the band's top at least 2.5
    // pixels apart over the whole defocus range, within the image) and the threads that compute it,
    // when the fit computes its spectrum (fitMicrograph).
    int tileSize = 0;
    int threads = 1;
};

// The score of a fit must stand this far above what noise reaches: score * sqrt(N) >= this, N the
// independent pixels of the band (half of them: the spectrum is centrosymmetric). The best score a
// search over defocus, astigmatism and phase finds in noise alone stays below 6 (measured over
// spectra of 256 to 1024 pixels); the micrographs of the accuracy benchmark reach 60 to 200.
inline constexpr double kFitSignificance = 10.0;

struct CtfFitValues {
    TwoFoldDefocus program; // Defocus (nm), A2 (nm), azimuth (degrees)
    CryoEmDefocus cryoEm;   // defocus U and V (Å), angle (degrees)
    double phaseShift = 0;  // degrees, 0 <= shift < 180 when fitted (CTF^2 repeats every 180)
    double resolution = 0;  // nm: the fit holds up to this resolution (fitAgreement); 0 when the rings never agree
    // When fitted: the specimen's tilt, the defocus above being the mean at the image's centre.
    std::optional<SpecimenTilt> tilt;
    // Å, when fitted and within what the band resolves; none for a thin specimen.
    std::optional<double> thickness;
};

// Why a fit that stands out of the noise is still not to be trusted; its values are kept, so that
// the user sees what was found. "A ring's width" is the change of the mean defocus that moves the
// ring at the band's top by one ring spacing, 1 / (lambda k_top^2) (ten of the scan's steps); for the
// astigmatism, the change of A2 that moves that ring by one spacing where it moves most, 2 pi times
// as much (U - V changes by two rings' width of defocus).
enum FitDoubt : unsigned {
    // The rings' average, scanned on past the least underfocus searched (defocusTo), matches better
    // there than at the fit: the fit is the range's answer (within a ring's width of its end) or an
    // alias (twice the true defocus), not the micrograph's.
    FitAtNearFocusEnd = 1u << 0,
    FitAtFarFocusEnd = 1u << 1, // the same at the largest underfocus searched (defocusFrom)
    // A2 within a ring's width of maxA2, and a search allowed more astigmatism takes more.
    FitAtAstigmatismLimit = 1u << 2,
    // The shift not fitted: one explains the rings markedly better than the one taken
    // (kPhaseShiftGain).
    FitWantsPhaseShift = 1u << 3,
};

// How much the score must rise with the phase shift free, over the one taken as known, for a fit
// to be doubted: free >= (1 + this) * taken, the free one searched in steps of 7.5 degrees and a
// tenth of a ring about the fit. Measured on the synthetic micrographs of the accuracy benchmark
// (2048 pixels, three seeds each): every plain one gains nothing (the coarse search never beats the
// refined fit); phase plates left unfitted gain 0.14 to 0.19 at 30 degrees, 0.19 to 0.33 at 45, 0.7
// to 1.0 at 60 and 120, 2.3 at 90.
inline constexpr double kPhaseShiftGain = 0.1;

struct CtfFitResult {
    double score = 0;        // normalised cross-correlation over the band at the best model, -1 .. 1
    double significance = 0; // score * sqrt(independent pixels); reliable from kFitSignificance on
    int pixels = 0;          // the spectrum's pixels in the band
    int tileSize = 0;        // pixels a side of the spectrum fitted
    // The fit; none when the best score is not significant: noise, or a spectrum without rings.
    std::optional<CtfFitValues> values;
    // "No reliable fit: ..." when values is empty, else empty.
    QString message;
    unsigned doubts = 0;         // FitDoubt flags; 0 without values
    double edgeDefocus = 0;      // nm: the end of the range the rings match better beyond (FitAt...FocusEnd)
    double astigmatismLimit = 0; // nm: the options' maxA2, for FitAtAstigmatismLimit's text
    // The shift not fitted: the best score with it free (at least score), and the shift (degrees).
    double freePhaseScore = 0;
    double freePhaseShift = 0;
    // With the tilt or the thickness asked for: why one is not reported (a tilt the band cannot see,
    // a thin specimen, one thicker than the band measures, a micrograph too small), else empty. Not a
    // doubt: the fit's values stand.
    QString specimenNote;

    // Values that stand out of the noise with nothing to doubt.
    bool reliable() const { return values.has_value() && doubts == 0; }
};

// Empty when the defocus scan of `options` stays within kFitMaxScanEvaluations, else what to narrow.
// The options must already hold a valid instrument and band.
QString fitSearchProblem(const CtfFitOptions &options);

// Throws OrvalisError with the fit's own words (fitRequestProblem's FitVoice::Engine) for options
// the fit cannot take; the band is held to the Nyquist limit of `pixelSizeNm` when above 0.
void checkFitOptions(const CtfFitOptions &options, double pixelSizeNm = 0);

// "Not reliable: ..." for a result with doubts, one sentence a doubt, each saying what widens it;
// empty without doubts. The shell and the window word a doubt alike from here.
QString fitDoubtText(const CtfFitResult &result, const FitLimitNames &names);

// The same doubts as short keys for machine-read outputs ("nearFocusEnd", "farFocusEnd",
// "astigmatismLimit", "phaseShift").
QStringList fitDoubtKeys(unsigned doubts);

// The fit of `spectrum`, computed with a background frequency at or below the band's low end
// (inside it the rings are 0). Throws OrvalisError for an empty defocus range or band, a band
// beyond the spectrum's Nyquist frequency or inside its first pixels, values that are not numbers or
// lie beyond the limits of fitrequest.h, and a search too large (fitSearchProblem); Cancelled when `progress` asks to
// stop.
CtfFitResult fitCtf(const PowerSpectrum &spectrum, const CtfFitOptions &options, const ProgressCallback &progress = {});

// How far the rings follow a fitted model: the spectrum averaged along the model's rings, the
// model's CTF^2 without astigmatism at the same bins, and their ring-by-ring agreement judged from
// `lowestFrequency` (ringAgreement; the fit judges from its band's low end). The resolution a fit
// holds to is defined here, once, for every output: 1 / agreement.agreedUpTo (nm), 0 when the rings
// never agree.
struct FitAgreement {
    RingAverage average;
    std::vector<double> modelCtf2;
    RingAgreement agreement;
    double resolution = 0; // nm
};
FitAgreement fitAgreement(const PowerSpectrum &spectrum, const CtfModel &model, double lowestFrequency);

// The tile a fit's spectrum takes when options.tileSize is 0: the smallest that samples the rings at
// the band's top at least 2.5 pixels apart over the whole search, within the image.
int fitTileSize(const CtfFitOptions &options, const MicrographImage &image, double pixelSizeNm);

// The step between the tiles of a fit's spectrum of `tileSize` pixels: three quarters of a tile. The
// tiles' tapered edges hold data that tiles overlapping by half would take again; overlapping by a
// quarter takes most of it (the spectrum's variance within a sixth of what half-overlapped tiles
// give) at half their transforms, which are most of a fit's time.
int fitTileStep(int tileSize);

// The model of a fit's values, to draw or compare with.
CtfModel fittedModel(const CtfFitOptions &options, const CtfFitValues &values);

} // namespace orvalis
