#pragma once
// Tilt series with a known axis and defocus, for the series fit's tests and benchmarks: each tilt a
// camera-like micrograph of a tilted specimen (cameramicrograph.h, independent of the program's own
// model), its defocus changing from tilt to tilt as an acquisition's does, and a frame reader that
// hands them to the fit as a stack's sections.
#include "cameramicrograph.h"

#include "micrograph/framereader.h"

#include <vector>

namespace orvalis {

struct SeriesPlan {
    double from = -60, to = 60, step = 3; // degrees, the tilts in the stack's order
    double axis = 85;                     // degrees, the fit's convention (tiltseries.h)
    double defocus = 30000;               // Å, the target's mean underfocus
    double astigmatism = 400;             // Å, U - V
    double astigmatismAngle = 30;         // degrees
    double pixel = 1.35;                  // Å
    double voltage = 300;                 // kV
    int size = 1024;                      // pixels a side
    double dose = 4;                      // e/Å^2 a tilt
    std::uint64_t seed = 1;
};

// The tilts' angles (degrees) and their true mean defocus at the image's centre (Å): the target
// plus a slow drift over the acquisition (taken from 0 degrees outwards, alternating sides, as a
// dose-symmetric scheme takes them) and the focusing's own scatter of a few hundred Å.
struct SeriesTruth {
    std::vector<double> angles, defocus;
};
SeriesTruth seriesTruth(const SeriesPlan &plan);

// The micrograph of tilt `index`.
MicrographImage seriesTilt(const SeriesPlan &plan, const SeriesTruth &truth, int index);
// Every tilt's, in the stack's order.
std::vector<MicrographImage> seriesTilts(const SeriesPlan &plan, const SeriesTruth &truth);

// The images as a stack's sections.
class ImageFrames : public FrameReader {
public:
    ImageFrames(QString name, std::vector<MicrographImage> images);
    void addFrame(int index, float *sum) override;

private:
    std::vector<MicrographImage> m_images;
};

} // namespace orvalis
