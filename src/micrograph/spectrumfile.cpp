#include "micrograph/spectrumfile.h"

#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"

#include <QFileInfo>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace orvalis {

namespace {

void putInt(QByteArray &out, int at, std::int32_t v)
{
    std::memcpy(out.data() + at, &v, 4);
}

void putFloat(QByteArray &out, int at, float v)
{
    std::memcpy(out.data() + at, &v, 4);
}

// MRC2014 on a little-endian machine: the header's machine stamp says so.
QByteArray mrcBytes(const SpectrumPicture &p)
{
    const int n = p.size;
    QByteArray out(1024, '\0');
    double sum = 0, sumSquares = 0;
    float lowest = p.values.empty() ? 0.0f : p.values.front(), highest = lowest;
    for (const float v : p.values) {
        sum += v;
        sumSquares += static_cast<double>(v) * v;
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    const double count = std::max<std::size_t>(1, p.values.size());
    const double mean = sum / count;
    const double rms = std::sqrt(std::max(0.0, sumSquares / count - mean * mean));
    putInt(out, 0, n);
    putInt(out, 4, n);
    putInt(out, 8, 1);
    putInt(out, 12, 2); // mode 2: 32-bit floats
    putInt(out, 28, n); // the sampling along x, y and z
    putInt(out, 32, n);
    putInt(out, 36, 1);
    const auto angstrom = static_cast<float>(nmToAngstrom(p.pixelSizeNm));
    putFloat(out, 40, angstrom * n); // the cell, Å: voxel size = cell / sampling
    putFloat(out, 44, angstrom * n);
    putFloat(out, 48, angstrom);
    for (int at : {52, 56, 60})
        putFloat(out, at, 90.0f);
    putInt(out, 64, 1); // columns along x, rows along y, sections along z
    putInt(out, 68, 2);
    putInt(out, 72, 3);
    putFloat(out, 76, lowest);
    putFloat(out, 80, highest);
    putFloat(out, 84, static_cast<float>(mean));
    putInt(out, 108, 20140); // the format's version
    std::memcpy(out.data() + 208, "MAP ", 4);
    out[212] = 0x44;
    out[213] = 0x44;
    putFloat(out, 216, static_cast<float>(rms));
    putInt(out, 220, 1); // one label
    const QByteArray label = p.tiltCorrected
        ? QByteArrayLiteral("Orvalis: power spectrum, background removed, corrected for the fitted tilt")
        : QByteArrayLiteral("Orvalis: power spectrum, background removed");
    std::memcpy(out.data() + 224, label.constData(), std::min<std::size_t>(std::size_t(label.size()), 80));
    out.append(reinterpret_cast<const char *>(p.values.data()),
               static_cast<qsizetype>(p.values.size() * sizeof(float)));
    return out;
}

// Grey levels 0 .. top of the values, clipped to the range.
template <typename T> std::vector<T> greyLevels(const SpectrumPicture &p, double top)
{
    const GreyRange range = spectrumGreyRange(p);
    const double scale = range.high > range.low ? top / (range.high - range.low) : 0.0;
    std::vector<T> grey(p.values.size());
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<T>(std::lround(std::clamp((p.values[i] - range.low) * scale, 0.0, top)));
    return grey;
}

// A baseline TIFF by hand: one strip of 16-bit grey, uncompressed, little endian.
QByteArray tiffBytes(int n, const std::vector<std::uint16_t> &grey)
{
    const auto imageBytes = static_cast<std::uint32_t>(grey.size() * 2);
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    constexpr std::uint16_t Short = 3, Long = 4;
    const std::uint32_t imageAt = 8;
    const Entry entries[] = {
        {256, Long, 1, static_cast<std::uint32_t>(n)}, // width
        {257, Long, 1, static_cast<std::uint32_t>(n)}, // length
        {258, Short, 1, 16},                           // bits per sample
        {259, Short, 1, 1},                            // no compression
        {262, Short, 1, 1},                            // black is zero
        {273, Long, 1, imageAt},                       // the strip's offset
        {277, Short, 1, 1},                            // samples per pixel
        {278, Long, 1, static_cast<std::uint32_t>(n)}, // rows per strip
        {279, Long, 1, imageBytes},                    // the strip's bytes
        {284, Short, 1, 1},                            // contiguous planes
    };
    QByteArray out;
    out.reserve(static_cast<qsizetype>(imageAt + imageBytes + 200));
    const auto append = [&out](const void *data, std::size_t bytes) {
        out.append(static_cast<const char *>(data), static_cast<qsizetype>(bytes));
    };
    const std::uint32_t ifdAt = imageAt + imageBytes + (imageBytes & 1);
    out.append("II", 2);
    const std::uint16_t magic = 42;
    append(&magic, 2);
    append(&ifdAt, 4);
    append(grey.data(), imageBytes);
    if (imageBytes & 1)
        out.append('\0');
    const auto count = static_cast<std::uint16_t>(std::size(entries));
    append(&count, 2);
    for (const Entry &e : entries) {
        append(&e.tag, 2);
        append(&e.type, 2);
        append(&e.count, 4);
        if (e.type == Short) {
            const std::uint16_t v[2] = {static_cast<std::uint16_t>(e.value), 0};
            append(v, 4);
        } else {
            append(&e.value, 4);
        }
    }
    const std::uint32_t next = 0;
    append(&next, 4);
    return out;
}

struct PngWriteState {
    QByteArray out;
    char message[256] = {};
};

void pngWrite(png_structp png, png_bytep data, std::size_t length)
{
    auto *st = static_cast<PngWriteState *>(png_get_io_ptr(png));
    st->out.append(reinterpret_cast<const char *>(data), static_cast<qsizetype>(length));
}

void pngFlush(png_structp) {}

void pngError(png_structp png, png_const_charp text)
{
    auto *st = static_cast<PngWriteState *>(png_get_error_ptr(png));
    std::strncpy(st->message, text, sizeof st->message - 1);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: what it may jump over is made by the caller, and nothing here
// changes after the jump point but through libpng.
void writePng(PngWriteState &st, int n, std::vector<png_bytep> &rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        throw std::bad_alloc();
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw OrvalisError(QStringLiteral("The spectrum could not be made a PNG (libpng says: %1).")
                               .arg(QString::fromLocal8Bit(st.message)));
    }
    png_set_write_fn(png, &st, pngWrite, pngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(n), static_cast<png_uint_32>(n), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
}

// Whole or not at all: a file already there is replaced only once the new one is complete.
void writeWhole(const QString &path, const QByteArray &bytes)
{
    saveWholeFile(path, bytes);
}

void requireSquare(const QString &path, int n, std::size_t values)
{
    if (n < 1 || values != static_cast<std::size_t>(n) * static_cast<std::size_t>(n))
        throw OrvalisError(QStringLiteral("Cannot write %1: there is no picture.").arg(QFileInfo(path).fileName()));
}

QByteArray pngBytes(const SpectrumPicture &p)
{
    const int n = p.size;
    std::vector<unsigned char> grey = greyLevels<unsigned char>(p, 255);
    std::vector<png_bytep> rows(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r)
        rows[static_cast<std::size_t>(r)] = grey.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(n);
    PngWriteState st;
    writePng(st, n, rows);
    return st.out;
}

} // namespace

std::optional<SpectrumFileFormat> spectrumFileFormat(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mrc"))
        return SpectrumFileFormat::Mrc;
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return SpectrumFileFormat::Tiff;
    if (suffix == QLatin1String("png"))
        return SpectrumFileFormat::Png;
    return std::nullopt;
}

GreyRange spectrumGreyRange(const SpectrumPicture &p)
{
    const int n = p.size;
    const double step = p.pixelSizeNm > 0 ? 1 / (n * p.pixelSizeNm) : 0.0;
    const double inner = step > 0 ? p.scaleFrom / step : 0.0;
    double sum = 0, sumSquares = 0, count = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (std::hypot(i - n / 2, j - n / 2) <= inner)
                continue;
            const double v = p.values[static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + i];
            sum += v;
            sumSquares += v * v;
            count += 1;
        }
    if (count == 0)
        return {};
    const double mean = sum / count;
    const double sd = std::sqrt(std::max(0.0, sumSquares / count - mean * mean));
    if (!(sd > 0))
        return {mean - 1, mean + 1};
    return {mean - 3 * sd, mean + 3 * sd};
}

QByteArray spectrumFileBytes(const SpectrumPicture &picture, SpectrumFileFormat format)
{
    switch (format) {
    case SpectrumFileFormat::Mrc: return mrcBytes(picture);
    case SpectrumFileFormat::Tiff: return tiffBytes(picture.size, greyLevels<std::uint16_t>(picture, 65535));
    case SpectrumFileFormat::Png: break;
    }
    return pngBytes(picture);
}

void writeSpectrumFile(const QString &path, const SpectrumPicture &picture, SpectrumFileFormat format)
{
    writeWhole(path, spectrumFileBytes(picture, format));
}

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
    requireSquare(path, n, levels.size());
    writeWhole(path, tiffBytes(n, levels));
}

void writeFloatMrc(const QString &path, int n, const std::vector<float> &values, double pixelNm, bool tiltCorrected)
{
    requireSquare(path, n, values.size());
    SpectrumPicture picture;
    picture.size = n;
    picture.values = values;
    picture.pixelSizeNm = pixelNm;
    picture.tiltCorrected = tiltCorrected;
    writeWhole(path, mrcBytes(picture));
}

} // namespace orvalis
