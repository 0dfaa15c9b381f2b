#pragma once
// Grey levels of the defocus map: the CTF without astigmatism as a function of spatial frequency
// (columns) and defocus (rows), over the whole range of the defocus slider.
#include "core/opticsstate.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvalis {

namespace kernels {
struct KernelSet;
}

// Widest map the grids accept (pixels); the window's maps are 416 or 512 wide.
inline constexpr int kMaxDefocusMapWidth = 4096;

struct DefocusMapGrid {
    int width = 0; // W; the map is W x W, 0 when nothing was computed
    // The slider range the rows were computed for (slider positions are negated defoci, nm). Equal to
    // the requested range unless that was empty (maximum <= minimum): then minimum .. minimum + 1.
    int minimum = 0;
    int maximum = 0;
    // Row-major grey levels, grey[y * W + c]: column c is the frequency defocusMapFrequency(c, ...),
    // row y the defocus defocusMapDefocus(y, ...), from -minimum in row 0 down to -maximum.
    std::vector<std::uint8_t> grey;

    int at(int column, int row) const
    {
        return grey[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column)];
    }
};

// nm^-1; column c covers the stretch of the axis from c / W of its length: c * upTo / W.
double defocusMapFrequency(int column, int width, double upTo);

// nm; row y: -minimum - y * (maximum - minimum) / (W - 1). A map one pixel high has only the top row.
double defocusMapDefocus(int row, int width, int minimum, int maximum);

// The defocus slider's range, and so the one a map is computed for: the requested one, unless that
// is empty (maximum <= minimum), then minimum .. minimum + 1 (INT_MAX - 1 .. INT_MAX at the top).
void normaliseDefocusMapRange(int &minimum, int &maximum);

// The CTF value at frequency k (nm^-1) and defocus (nm), evaluated directly with the C library: no
// astigmatism, envelopes at the state's Alpha.
double referenceMapCtf(const OpticsState &state, double k, double defocus);

// CtfGrey of referenceMapCtf: the grey level at that point.
int referenceMapGrey(const OpticsState &state, double k, double defocus);

// The W x W map for the slider range minimum .. maximum (slider positions) and frequencies 0 .. upTo.
// The levels are exactly those of referenceMapGrey at every point. A width outside
// 1 .. kMaxDefocusMapWidth gives an empty grid.
DefocusMapGrid computeDefocusMap(const OpticsState &state, int width, int minimum, int maximum, double upTo);
// The same with the inner loops of one instruction set (every set gives the same levels).
DefocusMapGrid computeDefocusMap(const kernels::KernelSet &loops, const OpticsState &state, int width, int minimum,
                                 int maximum, double upTo);

// The same grid, point by point with referenceMapGrey (for comparison and measurement).
DefocusMapGrid referenceDefocusMap(const OpticsState &state, int width, int minimum, int maximum, double upTo);

} // namespace orvalis
