#include "eerwriter.h"

#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace orvalis::test {

int EerLayout::effectiveRunBits() const
{
    return compression == 65000 ? 8 : compression == 65001 ? 7 : runBits;
}

int EerLayout::effectiveSubpixelBits() const
{
    return compression == 65002 ? subpixelBitsX + subpixelBitsY : 4;
}

namespace {

// Least significant bit first, as the camera writes.
class BitWriter {
public:
    void put(std::uint32_t value, int bits)
    {
        for (int b = 0; b < bits; ++b) {
            if (m_used == 0)
                m_bytes.append('\0');
            if ((value >> b) & 1u)
                m_bytes[m_bytes.size() - 1] = static_cast<char>(m_bytes.back() | (1 << m_used));
            m_used = (m_used + 1) % 8;
        }
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    int m_used = 0; // bits of the last byte
};

struct LibtiffText {
    QString first;
};

int captureError(TIFF *, void *user, const char *, const char *format, va_list args)
{
    auto *t = static_cast<LibtiffText *>(user);
    if (t->first.isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        t->first = QString::fromLocal8Bit(text);
    }
    return 1;
}

int ignoreWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

struct Closer {
    void operator()(TIFF *t) const { TIFFClose(t); }
};

std::unique_ptr<TIFF, Closer> openForWriting(const QString &path, LibtiffText &text)
{
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, captureError, &text);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, &text);
    std::unique_ptr<TIFF, Closer> tif(TIFFOpenExt(QFile::encodeName(path).constData(), "w", options));
    TIFFOpenOptionsFree(options);
    return tif;
}

// libtiff forgets tags it was told of at every new directory, so each page tells it again.
void registerPrivateTags(TIFF *tif)
{
    static const TIFFFieldInfo fields[] = {
        {65001, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_UNDEFINED, FIELD_CUSTOM, 1, 1, const_cast<char *>("EerXml")},
        {65007, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char *>("EerRunBits")},
        {65008, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char *>("EerSubX")},
        {65009, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char *>("EerSubY")},
    };
    TIFFMergeFieldInfo(tif, fields, 4);
}

bool failed(QString *error, const QString &what, const LibtiffText &text)
{
    if (error)
        *error = text.first.isEmpty() ? what : what + QStringLiteral(": ") + text.first;
    return false;
}

// An uncompressed 8-bit grey page of zeros, as the summed image some software adds to a movie.
bool writePlainPage(TIFF *tif, int width, int height)
{
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(height));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    QByteArray zeros(width * height, '\0');
    return TIFFWriteEncodedStrip(tif, 0, zeros.data(), zeros.size()) >= 0 && TIFFWriteDirectory(tif);
}

} // namespace

QByteArray encodeEerFrame(std::vector<EerEvent> events, int width, int height, const EerLayout &layout)
{
    const int runBits = layout.effectiveRunBits();
    const std::uint32_t longestRun = (1u << runBits) - 1;
    const bool fixedCodes = layout.compression == 65000;
    const int xBits = layout.compression == 65002 ? layout.subpixelBitsX : 2;
    const int yBits = layout.compression == 65002 ? layout.subpixelBitsY : 2;
    std::sort(events.begin(), events.end(),
              [](const EerEvent &a, const EerEvent &b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    BitWriter out;
    // The camera stores the sub-pixel offsets with their highest bit inverted.
    const auto subpixels = [&](const EerEvent &e) {
        const std::uint32_t x = xBits > 0 ? static_cast<std::uint32_t>(e.subX) ^ (1u << (xBits - 1)) : 0;
        const std::uint32_t y = yBits > 0 ? static_cast<std::uint32_t>(e.subY) ^ (1u << (yBits - 1)) : 0;
        return x | (y << xBits);
    };
    const auto skip = [&](std::uint64_t &gap) {
        while (gap >= longestRun) {
            out.put(longestRun, runBits);
            if (fixedCodes)
                out.put(0, xBits + yBits);
            gap -= longestRun;
        }
    };
    std::uint64_t next = 0; // the first pixel not yet coded
    for (const EerEvent &e : events) {
        const std::uint64_t pixel = static_cast<std::uint64_t>(e.y) * width + e.x;
        std::uint64_t gap = pixel - next;
        skip(gap);
        out.put(static_cast<std::uint32_t>(gap), runBits);
        out.put(subpixels(e), xBits + yBits);
        next = pixel + 1;
    }
    std::uint64_t rest = static_cast<std::uint64_t>(width) * height - next;
    if (rest > 0) {
        skip(rest);
        if (rest > 0) { // a last short run that reaches the end, with sub-pixel bits that place nothing
            out.put(static_cast<std::uint32_t>(rest), runBits);
            out.put(0, xBits + yBits);
        }
    }
    return out.bytes();
}

bool writeEerFile(const QString &path, int width, int height, const EerLayout &layout,
                  const std::vector<QByteArray> &streams, QString *error, int stripsPerPage,
                  const QByteArray &acquisitionXml)
{
    LibtiffText text;
    auto tif = openForWriting(path, text);
    if (!tif)
        return failed(error, QStringLiteral("libtiff cannot create ") + path, text);
    for (std::size_t page = 0; page < streams.size(); ++page) {
        const QByteArray &stream = streams[page];
        if (stream.isEmpty()) {
            if (!writePlainPage(tif.get(), width, height))
                return failed(error, QStringLiteral("libtiff cannot write a page of ") + path, text);
            continue;
        }
        registerPrivateTags(tif.get());
        const int strips = std::max(1, std::min<int>(stripsPerPage, static_cast<int>(stream.size())));
        const int rowsPerStrip = (height + strips - 1) / strips;
        const int stripCount = (height + rowsPerStrip - 1) / rowsPerStrip;
        TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
        TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
        TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(rowsPerStrip));
        TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, layout.compression);
        if (layout.compression == 65002) {
            const std::uint16_t values[3] = {static_cast<std::uint16_t>(layout.runBits),
                                             static_cast<std::uint16_t>(layout.subpixelBitsX),
                                             static_cast<std::uint16_t>(layout.subpixelBitsY)};
            TIFFSetField(tif.get(), 65007, std::uint32_t(1), &values[0]);
            TIFFSetField(tif.get(), 65008, std::uint32_t(1), &values[1]);
            TIFFSetField(tif.get(), 65009, std::uint32_t(1), &values[2]);
        }
        if (page == 0 && !acquisitionXml.isEmpty())
            TIFFSetField(tif.get(), 65001, static_cast<std::uint32_t>(acquisitionXml.size()),
                         acquisitionXml.constData());
        // The stream cut into as many pieces as the page has strips, none empty where it can be helped.
        qsizetype at = 0;
        for (int s = 0; s < stripCount; ++s) {
            const qsizetype left = stream.size() - at;
            const qsizetype piece = s + 1 == stripCount
                ? left
                : std::min(left, std::max<qsizetype>(1, stream.size() / stripCount));
            QByteArray bytes = stream.mid(at, piece);
            at += piece;
            if (TIFFWriteRawStrip(tif.get(), static_cast<std::uint32_t>(s), bytes.data(), bytes.size()) < 0)
                return failed(error, QStringLiteral("libtiff cannot write a strip of ") + path, text);
        }
        if (!TIFFWriteDirectory(tif.get()))
            return failed(error, QStringLiteral("libtiff cannot write a page of ") + path, text);
    }
    tif.reset();
    if (!text.first.isEmpty())
        return failed(error, QStringLiteral("libtiff reports a problem writing ") + path, text);
    return true;
}

bool writePlainTiff(const QString &path, int width, int height, QString *error)
{
    LibtiffText text;
    auto tif = openForWriting(path, text);
    if (!tif)
        return failed(error, QStringLiteral("libtiff cannot create ") + path, text);
    if (!writePlainPage(tif.get(), width, height))
        return failed(error, QStringLiteral("libtiff cannot write ") + path, text);
    return true;
}

} // namespace orvalis::test
