#pragma once
// Micrographs as a counting camera records them, of flat, tilted and thick specimens, with a known
// transfer function: for the fit's accuracy benchmarks and its tests. Written from the physics and
// RELION's CTF formula (ctffitcase.h), independently of the program's own model and fit, so that a
// fault shared by both cannot hide.
//
// What the camera sees: a weak phase object whose power falls with frequency (the specimen's own
// structure) plus the diffuse ring of vitreous ice near 3.7 Å, imaged through the CTF and a B-factor
// envelope; the electrons counted at a stated dose (Poisson noise); and the detector's modulation
// transfer function, the pixel's sinc in each direction, on the counted image. Its spectrum thus has
// the falling background, the ice ring and the counting noise of real ones.
//
// A tilted specimen: its mean defocus at pixel (x, y) (x the column, y the row, both counted from the
// image's centre, p the pixel size in Å) is
//     D(x, y) = D0 + tan(theta) p (y cos(phi) - x sin(phi)),
// D0 the mean of U and V. The image is blended from images computed at defocus planes
// kPlaneSpacing apart, each pixel taking the two planes about its own defocus, linearly: at that
// spacing the CTF's phase between two planes differs by at most 0.8 rad at Nyquist of a 1 Å pixel,
// 0.2 rad at 4 Å, and the blend is then the CTF at the pixel's defocus to within a few percent.
//
// A thick specimen: independent random objects at depths spread evenly (one drawn in each of
// kSliceSpacing-deep layers) over D +- t/2, each imaged at its own defocus and summed, the power of
// the whole that of one thin object.
#include "ctffitcase.h"

#include "micrograph/micrographimage.h"

#include <cstdint>

namespace orvalis {

struct CameraSpecimen {
    double tiltAngle = 0; // degrees, theta
    double tiltAxis = 0;  // degrees, phi
    double thickness = 0; // Å
};

struct CameraOptions {
    int size = 4096;  // pixels a side
    double dose = 40; // electrons per Å^2
    double contrast =
        0.25;            // the standard deviation of the white phase object before the CTF, as a fraction of the mean
    double bFactor = 50; // Å^2: the rings fade as exp(-B k^2 / 4), k in Å^-1
    bool mtf = true;     // the detector's MTF on the counted image
    std::uint64_t seed = 1;
};

inline constexpr double kPlaneSpacing = 30; // Å between the defocus planes a tilted image is blended from
inline constexpr double kSliceSpacing = 20; // Å: the depth of the layers a thick specimen is made of

// The micrograph of the case's optics (its U, V and angle at the image's centre) and specimen.
MicrographImage cameraMicrograph(const FitCase &c, const CameraSpecimen &specimen, const CameraOptions &o);

} // namespace orvalis
