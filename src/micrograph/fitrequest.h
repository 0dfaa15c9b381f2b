#pragma once
// What a CTF fit is asked for, defined once for the window, the shell and the fit itself: the
// values in the units people type them in (kV, mm, Å, degrees, fractions), their defaults, their
// limits, and the one check that refuses a request, worded for whoever asked. The fit's own
// options (CtfFitOptions, nm and rad) are made from a request by fitOptionsOf and nowhere else.
#include <QString>

#include <optional>

namespace orvalis {

struct CtfFitOptions;

struct FitRequest {
    double voltage = 300;            // kV (the window takes its session's instrument instead)
    double cs = 2.7;                 // mm
    double amplitudeContrast = 0.07; // fraction, 0 <= Q < 1
    // The underfocus searched, Å (negative: overfocus).
    double minUnderfocus = 5000;
    double maxUnderfocus = 50000;
    double maxAstigmatism = 3000; // Å of defocus U - V, the largest searched
    // The band fitted, as resolutions (Å): where it starts, where it ends.
    double lowResolution = 30;
    double highResolution = 5;
    bool fitPhaseShift = false;
    // Degrees, the shift taken as known when it is not fitted; none: 0 (the shell's default).
    std::optional<double> phaseShift;
    double pixelSize = 0; // Å at the specimen when the user gives it; 0: the micrograph's own
    // The specimen's tilt (angle and axis) and its thickness, fitted beside the defocus.
    bool fitTilt = false;
    bool fitThickness = false;

    bool operator==(const FitRequest &o) const
    {
        return voltage == o.voltage && cs == o.cs && amplitudeContrast == o.amplitudeContrast
            && minUnderfocus == o.minUnderfocus && maxUnderfocus == o.maxUnderfocus
            && maxAstigmatism == o.maxAstigmatism && lowResolution == o.lowResolution
            && highResolution == o.highResolution && fitPhaseShift == o.fitPhaseShift && phaseShift == o.phaseShift
            && pixelSize == o.pixelSize && fitTilt == o.fitTilt && fitThickness == o.fitThickness;
    }
    bool operator!=(const FitRequest &o) const { return !(*this == o); }
};

// The limits every request is held to. The voltages are those transmission microscopes are built
// for (below 1 kV the wavelength makes the rings of any band too dense to scan; no instrument runs
// above 3 MV); the defocus and the astigmatism go beyond any micrograph with rings in its spectrum.
inline constexpr double kFitMinVoltage = 1;       // kV
inline constexpr double kFitMaxVoltage = 3000;    // kV
inline constexpr double kFitMaxCs = 100;          // mm
inline constexpr double kFitMaxUnderfocus = 1e6;  // Å either side of focus (100 µm)
inline constexpr double kFitMaxAstigmatism = 1e5; // Å of defocus U - V (10 µm)
inline constexpr double kFitMaxPhaseShift = 360;  // degrees either way
inline constexpr double kFitMinPixelSize = 0.01;  // Å
inline constexpr double kFitMaxPixelSize = 100;   // Å
// Å, either end of a band the shell takes: from the Nyquist limit of the smallest pixel up to rings
// far wider than any defocus gives.
inline constexpr double kFitMinBandResolution = 2 * kFitMinPixelSize;
inline constexpr double kFitMaxBandResolution = 10000;
// The Cs the Fit dialog takes: uncorrected lenses (up to a few mm) and corrected ones (near 0, either
// sign); the fit itself refuses a negative one when it starts.
inline constexpr double kFitDialogMaxCs = 20; // mm either sign
// The defocus scan evaluates its profile this many times at most (steps times phase shifts): a few
// seconds. Ranges and bands that need more are refused before any work.
inline constexpr double kFitMaxScanEvaluations = 2e6;

// Who asked, which decides the order the rules are tried in and the words of the refusal: the
// shell names its options and speaks Å, the window's Fit dialog its fields (the defocus in µm), and
// the fit itself, for callers that build its options directly, nm.
enum class FitVoice { Shell, Window, Engine };

// What to check: the micrograph's pixel size (nm) for the band's Nyquist limit, 0 when not known
// yet; and whether the scan's size is judged too (the Fit dialog leaves it to the fit's session,
// whose instrument the dialog may still change).
struct FitCheck {
    FitVoice voice = FitVoice::Window;
    double pixelSizeNm = 0;
    bool search = true;
    // The options the fit will run with when they are made otherwise than by fitOptionsOf (the
    // window's take its session's instrument); the scan's size is judged on them.
    const CtfFitOptions *options = nullptr;
};

// The value a refusal is about, so that a form can point at its field.
enum class FitField {
    None,
    Voltage,
    Cs,
    AmplitudeContrast,
    Underfocus,
    MinUnderfocus,
    MaxUnderfocus,
    Astigmatism,
    Band,
    HighResolution,
    PhaseShift
};

struct FitProblem {
    FitField field = FitField::None;
    // The shell's option whose typed value the text is about (to be named before it, as
    // `--kv "5000": ...`), or empty when the text stands alone.
    QString option;
    QString text;

    bool isEmpty() const { return text.isEmpty(); }
};

// What widens each limit a fit's doubt names (fitDoubtText), in a voice's words: the shell's
// options, the Fit dialog's fields (the fit itself speaks as the shell).
struct FitLimitNames {
    QString nearFocusEnd, farFocusEnd, astigmatism, phaseShift;
};
FitLimitNames fitLimitNames(FitVoice voice);
inline FitLimitNames shellFitLimitNames()
{
    return fitLimitNames(FitVoice::Shell);
}

// The one check of a request: empty when it can be fitted, else what is wrong, in `check.voice`'s
// words, naming the value and its limit. The rules tried, in each voice's order: values that are no
// numbers, the instrument's limits (shell and fit), an empty or too wide defocus range, the
// largest astigmatism, an empty band (and, in the shell, one beyond its resolutions), the phase
// shift, the scan's size (fitSearchProblem), the band against the micrograph's Nyquist limit.
FitProblem fitRequestProblem(const FitRequest &request, const FitCheck &check);

// The fit engine's options for `request`, converted here once from the users' units; the phase
// shift 0 when fitted or not given, the tile and the threads the engine's defaults.
CtfFitOptions fitOptionsOf(const FitRequest &request);
// The request `options` were made from, for the fit's own check of options built directly.
FitRequest fitRequestOf(const CtfFitOptions &options);

} // namespace orvalis
