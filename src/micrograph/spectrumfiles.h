#pragma once
// A spectrum's picture as files other programs read: 16-bit grey levels (for PNG and TIFF) and the
// values themselves as an MRC float image.
#include <QString>

#include <cstdint>
#include <vector>

namespace orvalis {

// The values of an n x n image as 16-bit grey levels: the 2nd to 98th percentile spread over
// 0 .. 65535, beyond them clipped, so that a few bright pixels (the centre) do not leave the rings
// black.
std::vector<std::uint16_t> greyLevels16(const std::vector<float> &values);

// An n x n 16-bit grey TIFF (uncompressed, one strip per row). Throws OrvalisError naming the file
// when it cannot be written.
void writeGreyTiff16(const QString &path, int n, const std::vector<std::uint16_t> &levels);

// An n x n MRC2014 image of mode 2 (float32, little endian), its pixel size in the header given in
// nm per pixel (0: none). Throws OrvalisError naming the file when it cannot be written.
void writeFloatMrc(const QString &path, int n, const std::vector<float> &values, double pixelNm);

} // namespace orvalis
