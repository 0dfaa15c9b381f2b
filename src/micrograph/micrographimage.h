#pragma once
// A micrograph as the readers give it: one grey image of floats, the frames of a movie or stack
// already summed.
#include <cstddef>
#include <vector>

namespace orvalis {

struct MicrographImage {
    int width = 0;  // pixels along a row (x)
    int height = 0; // rows (y)
    // width * height values, row after row in the order the file stores them (row 0 first: for MRC
    // the header's y = 0, for TIFF and PNG the top row). x grows along a row, y with the row index.
    std::vector<float> data;
    // nm per pixel at the specimen, from the file (which gives Å: 1 Å = 0.1 nm); 0 when it has none.
    double pixelSizeNm = 0;
    int frames = 1; // frames summed into data (MRC sections, TIFF pages)

    float at(int x, int y) const { return data[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x]; }
};

} // namespace orvalis
