// Grey PNG through libpng. libpng reports errors by longjmp, so everything it may jump over lives in
// PngState, made before the jump point and only reached through a reference after it.
#include "core/units.h"
#include "micrograph/micrographreader.h"
#include "micrograph/readerdetail.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace orvalis::detail {

namespace {

struct PngState {
    explicit PngState(const ReadJob &j) : job(j) {}
    const ReadJob &job;
    std::uint64_t position = 0;
    char message[256] = {};
    bool cancelled = false;
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0; // after expansion: 8 or 16
    double pixelSizeNm = 0;
    std::vector<unsigned char> raw;
    std::vector<png_bytep> rows;
};

constexpr std::uint64_t kMaxDeflatePacking = 1032;

void pngRead(png_structp png, png_bytep data, std::size_t length)
{
    auto *st = static_cast<PngState *>(png_get_io_ptr(png));
    if (!st->job.source.read(st->position, data, length)) {
        std::snprintf(st->message, sizeof st->message, "it is truncated: the file ends before its image does");
        png_error(png, st->message);
    }
    st->position += length;
}

void pngError(png_structp png, png_const_charp text)
{
    auto *st = static_cast<PngState *>(png_get_error_ptr(png));
    if (st->message[0] == '\0')
        std::snprintf(st->message, sizeof st->message, "it is a damaged PNG (libpng says: %s)", text);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

void pngRowDone(png_structp png, png_uint_32 row, int)
{
    auto *st = static_cast<PngState *>(png_get_error_ptr(png));
    if ((row & 63) != 0 || !st->job.progress)
        return;
    if (!st->job.progress(static_cast<double>(row) / st->height)) {
        st->cancelled = true;
        png_error(png, "cancelled");
    }
}

// Decodes the whole image into st.raw; false with st.message set when it cannot.
bool decode(PngState &st)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, pngError, pngWarning);
    if (png == nullptr) {
        std::snprintf(st.message, sizeof st.message, "libpng cannot start");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &st, pngRead);
    png_read_info(png, info);
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &st.width, &st.height, &depth, &colour, &interlace, nullptr, nullptr);
    if (colour != PNG_COLOR_TYPE_GRAY) {
        std::snprintf(st.message, sizeof st.message, "%s",
                      colour == PNG_COLOR_TYPE_GRAY_ALPHA ? "it is a grey PNG with an alpha channel; only plain grey "
                                                            "PNG images are read"
                                                          : "it is a colour PNG; only grey PNG images are read");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const QString size = imageSizeProblem(st.width, st.height);
    if (!size.isEmpty()) {
        std::snprintf(st.message, sizeof st.message, "%s", size.toUtf8().constData());
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    // Deflate packs no more than 1032 bytes into one: what the header claims must fit in the file.
    const std::uint64_t filtered = (static_cast<std::uint64_t>(st.width) * static_cast<std::uint64_t>(depth) + 7) / 8
            * st.height
        + st.height;
    if (filtered > kMaxDeflatePacking * st.job.source.size()) {
        std::snprintf(st.message, sizeof st.message,
                      "it claims %u x %u pixels of %d bits (%llu bytes), more than %llu times its %llu bytes, which "
                      "no PNG holds",
                      static_cast<unsigned>(st.width), static_cast<unsigned>(st.height), depth,
                      static_cast<unsigned long long>(filtered), static_cast<unsigned long long>(kMaxDeflatePacking),
                      static_cast<unsigned long long>(st.job.source.size()));
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER && resX > 0)
        st.pixelSizeNm = plausiblePixelSize(NmPerMetre / resX);
    if (depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__)
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_set_read_status_fn(png, pngRowDone);
    png_read_update_info(png, info);
    st.bitDepth = depth == 16 ? 16 : 8;
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    st.raw.resize(rowBytes * st.height);
    st.rows.resize(st.height);
    for (png_uint_32 y = 0; y < st.height; ++y)
        st.rows[y] = st.raw.data() + rowBytes * y;
    png_read_image(png, st.rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

MicrographImage readPng(const ReadJob &job)
{
    reportProgress(job.progress, 0.0);
    PngState st(job);
    if (!decode(st)) {
        if (st.cancelled)
            throw Cancelled();
        job.fail(QString::fromUtf8(st.message));
    }
    MicrographImage image = newImage(static_cast<int>(st.width), static_cast<int>(st.height));
    image.pixelSizeNm = st.pixelSizeNm;
    convertSamples(st.bitDepth == 16 ? SampleType::UInt16 : SampleType::UInt8, st.raw.data(), image.data.size(), false,
                   false, image.data.data());
    reportProgress(job.progress, 1.0);
    return image;
}

} // namespace orvalis::detail
