#pragma once
// A spectrum saved as a picture or as numbers: an MRC2014 file of floats (mode 2) for other programs
// to compute with, a 16-bit grey TIFF, or an 8-bit grey PNG to look at. The grey pictures spread the
// spectrum's values outside its centre over the grey levels, as the pattern pane shows them.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace orvalis {

enum class SpectrumFileFormat { Mrc, Tiff, Png };

// The format a file name asks for by its suffix (.mrc, .tif or .tiff, .png; any case), or none.
std::optional<SpectrumFileFormat> spectrumFileFormat(const QString &path);

struct SpectrumPicture {
    int size = 0;              // n: values holds n x n floats, row after row, the zero frequency at (n/2, n/2)
    std::vector<float> values; // what is saved
    double pixelSizeNm = 0;    // the micrograph's pixel; the frequency step is 1 / (n * pixelSizeNm)
    // nm^-1: the values within this frequency of the centre (the background removal leaves none)
    // take no part in the grey scaling; they still appear in the picture.
    double scaleFrom = 0;
    // The values are a spectrum corrected for a fitted tilt: the MRC header's label says so.
    bool tiltCorrected = false;
};

// The grey level range of a picture: mean - 3 sd to mean + 3 sd of its values beyond scaleFrom, so
// that a few bright pixels cannot leave the rings in one grey.
struct GreyRange {
    double low = 0, high = 1;
};
GreyRange spectrumGreyRange(const SpectrumPicture &picture);

// The file's bytes in the given format. The MRC header carries the micrograph's pixel size (Å) as
// its voxel size, and the minimum, maximum, mean and RMS of the values.
QByteArray spectrumFileBytes(const SpectrumPicture &picture, SpectrumFileFormat format);

// Writes the picture to `path` whole or not at all (a file already there is replaced only once the
// new one is complete). Throws OrvalisError naming the file when it cannot be written.
void writeSpectrumFile(const QString &path, const SpectrumPicture &picture, SpectrumFileFormat format);

// The window's grey scale: the values of an n x n image as 16-bit grey levels, the 2nd to 98th
// percentile spread over 0 .. 65535 and clipped beyond, so that the bright centre does not leave
// the rings black.
std::vector<std::uint16_t> greyLevels16(const std::vector<float> &values);

// The same files from ready grey levels or values, written whole or not at all as above; an image
// whose size does not match n x n is refused, naming the file.
void writeGreyTiff16(const QString &path, int n, const std::vector<std::uint16_t> &levels);
void writeFloatMrc(const QString &path, int n, const std::vector<float> &values, double pixelNm, // pixel: nm
                   bool tiltCorrected = false);

} // namespace orvalis
