#include "micrograph/spectrumfiles.h"

#include "core/orvaliserror.h"

#include <QFile>
#include <QFileInfo>

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvalis {
namespace {

[[noreturn]] void cannotWrite(const QString &path, const QString &why)
{
    throw OrvalisError(QStringLiteral("Cannot write %1: %2.").arg(QFileInfo(path).fileName(), why));
}

} // namespace

std::vector<std::uint16_t> greyLevels16(const std::vector<float> &values)
{
    std::vector<std::uint16_t> out(values.size(), 0);
    std::vector<float> sorted;
    sorted.reserve(values.size());
    for (float v : values)
        if (std::isfinite(v))
            sorted.push_back(v);
    if (sorted.size() < 2)
        return out;
    const auto at = [&sorted](double f) {
        const auto it = sorted.begin() + static_cast<std::ptrdiff_t>(f * double(sorted.size() - 1));
        std::nth_element(sorted.begin(), it, sorted.end());
        return double(*it);
    };
    const double low = at(0.02), high = at(0.98);
    const double span = high > low ? high - low : 1.0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (std::isfinite(values[i]))
            out[i] = static_cast<std::uint16_t>(std::lround(std::clamp((values[i] - low) / span, 0.0, 1.0) * 65535));
    return out;
}

void writeGreyTiff16(const QString &path, int n, const std::vector<std::uint16_t> &levels)
{
    if (n < 1 || levels.size() != static_cast<std::size_t>(n) * n)
        cannotWrite(path, QStringLiteral("there is no picture"));
    TIFFSetWarningHandler(nullptr);
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        cannotWrite(path, QStringLiteral("the file cannot be created"));
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(n));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(n));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1);
    std::vector<std::uint16_t> row(static_cast<std::size_t>(n));
    bool ok = true;
    for (int y = 0; y < n && ok; ++y) {
        std::memcpy(row.data(), levels.data() + static_cast<std::size_t>(y) * n, row.size() * 2);
        ok = TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) == 1;
    }
    ok = ok && TIFFWriteDirectory(tif) == 1;
    TIFFClose(tif);
    if (!ok)
        cannotWrite(path, QStringLiteral("the disk refused the picture"));
}

void writeFloatMrc(const QString &path, int n, const std::vector<float> &values, double pixelNm)
{
    if (n < 1 || values.size() != static_cast<std::size_t>(n) * n)
        cannotWrite(path, QStringLiteral("there is no picture"));
    unsigned char header[1024] = {};
    const auto put = [&header](int word, std::int32_t v) { std::memcpy(header + 4 * word, &v, 4); };
    const auto putReal = [&header](int word, float v) { std::memcpy(header + 4 * word, &v, 4); };
    float minimum = values[0], maximum = values[0];
    double sum = 0;
    for (float v : values) {
        minimum = std::min(minimum, v);
        maximum = std::max(maximum, v);
        sum += v;
    }
    put(0, n);
    put(1, n);
    put(2, 1);
    put(3, 2);
    put(7, n);
    put(8, n);
    put(9, 1);
    const auto cell = static_cast<float>(pixelNm * 10 * n); // Å
    putReal(10, cell);
    putReal(11, cell);
    putReal(12, pixelNm > 0 ? static_cast<float>(pixelNm * 10) : 1.0f);
    for (int i = 13; i < 16; ++i)
        putReal(i, 90.0f);
    put(16, 1);
    put(17, 2);
    put(18, 3);
    putReal(19, minimum);
    putReal(20, maximum);
    putReal(21, static_cast<float>(sum / double(values.size())));
    put(27, 20140);
    std::memcpy(header + 208, "MAP ", 4);
    header[212] = 0x44;
    header[213] = 0x44;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        cannotWrite(path, file.errorString());
    const auto bytes = static_cast<qint64>(values.size() * sizeof(float));
    if (file.write(reinterpret_cast<const char *>(header), sizeof header) != qint64(sizeof header)
        || file.write(reinterpret_cast<const char *>(values.data()), bytes) != bytes || !file.flush())
        cannotWrite(path, file.errorString());
}

} // namespace orvalis
