#pragma once
// A tomographic tilt series: the sections of one stack, each an image of the same area at a known
// tilt, fitted tilt by tilt.
//
// The angles come from IMOD's text (.tlt, .rawtlt: one angle a line, in degrees, in the stack's
// order) or from SerialEM's autodoc (.mdoc: a [ZValue = N] section a tilt with its TiltAngle, and in
// its header the stack it describes (ImageFile), the pixel size (PixelSpacing, Å), the voltage
// (Voltage, kV) and, where recorded, the tilt axis (TiltAxisAngle, or "Tilt axis angle = A" in a
// [T = ...] line)).
//
// The tilt axis, in degrees, is the fit's (SpecimenTilt): measured from the image's +x (along a row)
// towards +y (the row index growing). A tilt of signed angle t about it puts the side at axis + 90
// degrees further from focus by tan(t) times the distance when t > 0 and nearer when t < 0: the
// specimen tilt (|t|, axis) for t > 0 and (|t|, axis + 180) for t < 0. Which of the two senses of a
// given axis the series was tilted in is not told by any file the same way, so it is found from the
// series (seriesAxisScore on the high tilts), as is the axis itself when none is given.
//
// Each tilt's fit (fitTiltSeries): the periodograms of its tiles are summed by region
// (regionSpectra); their plain average gives a first defocus and astigmatism; then, the tilt's angle
// and the series' axis known, the regions are rescaled to the defocus of the image's centre
// (tiltCorrectedSpectrum) and the fit is taken again on that corrected spectrum, which gives the
// defocus at the centre. No tilt is searched: the angle is the file's.
#include "micrograph/ctffit.h"
#include "micrograph/framereader.h"
#include "micrograph/progress.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace orvalis {

// The tilts the angle file gives, in the stack's order. Throws OrvalisError naming the file and, for
// a value that is not a number, its line; and for a count other than `sections`, both counts.
std::vector<double> readTiltAngles(const QString &path, int sections);

// What an .mdoc tells of a series.
struct SeriesDescription {
    std::vector<double> angles;     // degrees, in the stack's order (ZValue 0 first)
    double pixelSizeAngstrom = 0;   // PixelSpacing; 0 when not given
    double voltage = 0;             // kV; 0 when not given
    std::optional<double> tiltAxis; // degrees; none when not recorded
    QString imageFile;              // the stack the mdoc names (ImageFile), empty when it names none
};

// Reads the .mdoc at `path` for the stack `stack` of `sections` sections. Throws OrvalisError naming the
// file: one that names another stack (ImageFile's file name other than `stack`'s), a section without
// TiltAngle, a value that is not a number (with its line), sections missing or beyond the stack's.
SeriesDescription readMdoc(const QString &path, const QString &stack, int sections);

enum class SeriesAstigmatism { Shared, PerTilt };

struct SeriesFitOptions {
    CtfFitOptions fit;      // the instrument, band and search of every tilt's fit
    double pixelSizeNm = 0; // > 0
    std::vector<double> angles;
    // Degrees; none: fitted once for the series (fitSeriesAxis).
    std::optional<double> tiltAxis;
    SeriesAstigmatism astigmatism = SeriesAstigmatism::Shared;
    bool fill = false; // unreliable tilts' defocus interpolated from the reliable ones
    int threads = 1;   // tilts fitted at once
    // Opens another reader of the same stack, so that threads read at once; none: the reader given
    // serves one thread at a time.
    std::function<std::unique_ptr<FrameReader>()> openReader;
};

// The tilts whose fits decide the series' axis: |angle| at least this (degrees); below it the defocus
// changes too little across an image to tell the axis.
inline constexpr double kAxisTiltFrom = 25;
// How many of them, the highest first: those that fit the axis, and those that find the sense of a
// given one (a half turn changes the whole gradient, which a few tell). Their regions' spectra are
// kept for their own fits (64 MB a 4096^2 tilt at tiles of 512).
inline constexpr int kAxisTilts = 8;
inline constexpr int kSenseTilts = 4;
// The low tilts the shared astigmatism is the mean of: |angle| at most this (degrees).
inline constexpr double kSharedAstigmatismUpTo = 30;

struct TiltFit {
    int index = 0;       // the section, 0 first
    double angle = 0;    // degrees, signed, as the angle file gives it
    CtfFitResult result; // values.tilt holds the specimen tilt the fit took; defocus at the centre
    // The tilt's own fit stands out of the noise with nothing to doubt (result.reliable() before any
    // filling).
    bool reliable = false;
    // The defocus interpolated from the series' trend (--fill): the values are then not this tilt's
    // own fit but the trend's, and result.reliable() says what the fit itself gave.
    bool filled = false;
};

struct SeriesFit {
    std::vector<TiltFit> tilts; // in the stack's order
    double axis = 0;            // degrees, 0 .. 360: the sense the series was found tilted in
    bool axisFitted = false;    // fitted from the series rather than given
    // The shared astigmatism (Shared): Defocus unused, A2 (nm) and azimuth (degrees).
    std::optional<TwoFoldDefocus> sharedAstigmatism;
};

// Every tilt of `reader` fitted; the options checked first (checkFitOptions against the pixel size,
// the angles' count against the stack's). Throws OrvalisError for what cannot be read or fitted (a
// series' axis with no high tilt to fit it from), Cancelled when `progress` asks to stop.
SeriesFit fitTiltSeries(FrameReader &reader, const SeriesFitOptions &options, const ProgressCallback &progress = {});

} // namespace orvalis
