// EER movies: a TIFF whose every page is one frame of an electron-counting camera, stored not as
// pixels but as a bit stream of runs. libtiff finds the pages and their strips; it has no codec for
// these compressions, so the strips' bytes are read as they stand and decoded here.
//
// The stream is read least significant bit first (bit k is bit k % 8 of byte k / 8), the strips of a
// page one after another. It is a sequence of codes, each a run of R bits followed by the event's
// sub-pixel bits (S of them):
//   - a run r below 2^R - 1 skips r empty pixels; the next pixel holds an electron, whose S sub-pixel
//     bits follow the run;
//   - the largest run, 2^R - 1, skips that many pixels and places no electron. In compression 65000
//     its S bits are there all the same (every code is 12 bits); in 65001 and 65002 none follow.
// Pixels are counted row by row from the top-left. The frame ends when the count reaches
// width x height, whether a run or an electron takes it there; what follows is padding.
//   65000: R = 8, S = 4.   65001: R = 7, S = 4.
//   65002: R from private tag 65007, S from tags 65008 (horizontal) and 65009 (vertical, else
//          the horizontal one again); cameras write R = 7 and 1 + 1.
// The sub-pixel bits (horizontal in the low bits) place the electron within its pixel; at the
// detector's own pixels they are skipped.
#include "core/orvaliserror.h"
#include "micrograph/framereader.h"
#include "micrograph/readerdetail.h"
#include "micrograph/tiffopen.h"

#include <tiffio.h>

#include <QDir>
#include <QXmlStreamReader>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace orvalis {

namespace {

constexpr std::uint16_t kEerFixedCodes = 65000; // 8-bit runs, a code's sub-pixel bits always there
constexpr std::uint16_t kEerPackedCodes = 65001;
constexpr std::uint16_t kEerConfigurableCodes = 65002;
constexpr ttag_t kTagRunBits = 65007;
constexpr ttag_t kTagSubpixelBitsX = 65008;
constexpr ttag_t kTagSubpixelBitsY = 65009;
constexpr ttag_t kTagAcquisitionXml = 65001;
// Movies have hundreds of frames, exceptionally a few thousand; this bounds the open's work.
constexpr int kMaxEerFrames = 100000;
// The decoder reads 8 bytes at a time from anywhere in the stream.
constexpr std::size_t kStreamPadding = 8;

struct CodeLayout {
    int runBits = 7;
    int subpixelBits = 4;
    bool subpixelsAfterLongestRun = false;
};

struct EerPage {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> strips; // offset, bytes
    std::uint64_t bytes = 0;
    CodeLayout layout;
};

// A private tag's values as stored: libtiff keeps tags it does not know with their count.
bool privateTag(TIFF *tif, ttag_t tag, const TIFFField *&field, std::uint32_t &count, const void *&data)
{
    field = TIFFFindField(tif, tag, TIFF_ANY);
    if (field == nullptr || !TIFFFieldPassCount(field))
        return false;
    void *values = nullptr;
    if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
        std::uint32_t n = 0;
        if (!TIFFGetField(tif, tag, &n, &values))
            return false;
        count = n;
    } else {
        std::uint16_t n = 0;
        if (!TIFFGetField(tif, tag, &n, &values))
            return false;
        count = n;
    }
    data = values;
    return values != nullptr && count > 0;
}

// The first value of a private integer tag, or -1 when the page has none.
std::int64_t privateInteger(TIFF *tif, ttag_t tag)
{
    const TIFFField *field = nullptr;
    std::uint32_t count = 0;
    const void *data = nullptr;
    if (!privateTag(tif, tag, field, count, data))
        return -1;
    switch (TIFFFieldDataType(field)) {
    case TIFF_BYTE:
    case TIFF_UNDEFINED: return *static_cast<const std::uint8_t *>(data);
    case TIFF_SHORT: return *static_cast<const std::uint16_t *>(data);
    case TIFF_LONG: return *static_cast<const std::uint32_t *>(data);
    case TIFF_SSHORT: return *static_cast<const std::int16_t *>(data);
    case TIFF_SLONG: return *static_cast<const std::int32_t *>(data);
    default: return -1;
    }
}

// The pixel size the acquisition's XML (private tag 65001 of the first page) gives as
// "sensorPixelSize" in metres, or 0. Only a size a pixel at the specimen can have is taken: the
// camera's own pixels are micrometres.
double acquisitionPixelSize(TIFF *tif)
{
    const TIFFField *field = nullptr;
    std::uint32_t count = 0;
    const void *data = nullptr;
    if (!privateTag(tif, kTagAcquisitionXml, field, count, data))
        return 0;
    const auto type = TIFFFieldDataType(field);
    if (type != TIFF_BYTE && type != TIFF_UNDEFINED && type != TIFF_ASCII)
        return 0;
    QXmlStreamReader xml(QByteArray(static_cast<const char *>(data), static_cast<qsizetype>(count)));
    double width = 0, height = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto attributes = xml.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        if (name != QLatin1String("sensorPixelSize.width") && name != QLatin1String("sensorPixelSize.height"))
            continue;
        const QString unit = attributes.value(QLatin1String("unit")).toString();
        bool ok = false;
        const double value = xml.readElementText().trimmed().toDouble(&ok);
        if (!ok || (!unit.isEmpty() && unit != QLatin1String("m")))
            continue;
        (name.endsWith(QLatin1String("width")) ? width : height) = value;
    }
    if (xml.hasError() || !(width > 0) || (height > 0 && std::abs(height - width) > 1e-3 * width))
        return 0;
    return detail::plausiblePixelSize(width * 1e9);
}

QString byteCount(std::uint64_t bytes)
{
    return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
}

class EerFrameReader final : public FrameReader {
public:
    EerFrameReader(QString name, std::unique_ptr<FileSource> source, int width, int height, std::vector<EerPage> pages,
                   double pixelSizeNm)
        : FrameReader(std::move(name), width, height, static_cast<int>(pages.size()), pixelSizeNm),
          m_source(std::move(source)), m_pages(std::move(pages))
    {
    }

    void addFrame(int index, float *sum) override;

private:
    [[noreturn]] void failFrame(int index, const QString &what) const
    {
        throw OrvalisError(
            QStringLiteral("Cannot read frame %1 of the EER movie %2: %3.").arg(index + 1).arg(name(), what));
    }

    std::unique_ptr<FileSource> m_source;
    std::vector<EerPage> m_pages;
    std::vector<unsigned char> m_stream;
};

void EerFrameReader::addFrame(int index, float *sum)
{
    if (index < 0 || index >= frames())
        throw OrvalisError(QStringLiteral("Cannot read frame %1 of the EER movie %2: it has %3 frames.")
                               .arg(index + 1)
                               .arg(name())
                               .arg(frames()));
    const EerPage &page = m_pages[static_cast<std::size_t>(index)];
    m_stream.assign(static_cast<std::size_t>(page.bytes) + kStreamPadding, 0);
    std::size_t at = 0;
    for (const auto &[offset, bytes] : page.strips) {
        if (!m_source->read(offset, m_stream.data() + at, static_cast<std::size_t>(bytes)))
            failFrame(index, QStringLiteral("its bytes cannot be read (%1)").arg(m_source->errorText()));
        at += static_cast<std::size_t>(bytes);
    }

    const std::uint64_t pixels = static_cast<std::uint64_t>(width()) * static_cast<std::uint64_t>(height());
    const std::uint64_t streamBits = page.bytes * 8;
    const unsigned runBits = static_cast<unsigned>(page.layout.runBits);
    const unsigned codeBits = runBits + static_cast<unsigned>(page.layout.subpixelBits);
    const std::uint64_t longestRun = (std::uint64_t(1) << runBits) - 1;
    const unsigned longestRunBits = page.layout.subpixelsAfterLongestRun ? codeBits : runBits;
    const unsigned char *stream = m_stream.data();
    std::uint64_t bit = 0;
    std::uint64_t pixel = 0; // the next pixel a run starts from
    constexpr std::uint64_t kAhead = 32;
    std::uint64_t pending[kAhead] = {};
    std::uint64_t electrons = 0;
    while (pixel < pixels) {
        if (bit + runBits > streamBits)
            failFrame(index,
                      QStringLiteral("its stream of %1 ends after %2 of its %3 x %4 pixels")
                          .arg(byteCount(page.bytes))
                          .arg(pixel)
                          .arg(width())
                          .arg(height()));
        const std::uint64_t word = qFromLittleEndian<quint64>(stream + (bit >> 3)) >> (bit & 7);
        const std::uint64_t run = word & longestRun;
        if (run > pixels - pixel)
            failFrame(index,
                      QStringLiteral("its events run past its %1 x %2 pixels (a run of %3 from pixel %4, at "
                                     "byte %5)")
                          .arg(width())
                          .arg(height())
                          .arg(run)
                          .arg(pixel)
                          .arg(bit >> 3));
        pixel += run;
        if (run == longestRun) {
            bit += longestRunBits;
            continue;
        }
        if (pixel == pixels)
            break; // the run to the end: its sub-pixel bits place nothing
        if (bit + codeBits > streamBits)
            failFrame(index,
                      QStringLiteral("its stream of %1 ends within the electron at pixel %2 of its %3 x %4 pixels")
                          .arg(byteCount(page.bytes))
                          .arg(pixel)
                          .arg(width())
                          .arg(height()));
        // The sum's pixel is fetched while the next codes decode, and counted kAhead electrons later:
        // a frame's electrons are a few hundred thousand cache misses, the decoding's main cost.
        __builtin_prefetch(sum + pixel, 1);
        if (electrons >= kAhead)
            sum[pending[electrons % kAhead]] += 1.0f;
        pending[electrons % kAhead] = pixel;
        ++electrons;
        ++pixel;
        bit += codeBits;
    }
    for (std::uint64_t e = electrons > kAhead ? electrons - kAhead : 0; e < electrons; ++e)
        sum[pending[e % kAhead]] += 1.0f;
}

} // namespace

std::unique_ptr<FrameReader> openEerFrames(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    const auto fail = [&](const QString &what) -> void {
        throw OrvalisError(QStringLiteral("Cannot open the EER movie %1: %2.").arg(shown, what));
    };
    auto source = std::make_unique<FileSource>(path);
    if (!source->isOpen())
        fail(detail::openFailure(*source));
    const std::unique_ptr<detail::TiffOpened> opened = detail::openTiff(*source, shown);
    TIFF *const tif = opened->tif.get();
    const detail::TiffClient &client = opened->client;
    const auto libtiffFailure = [&](const QString &what) {
        fail(client.firstError.isEmpty() ? what : QStringLiteral("%1 (libtiff says: %2)").arg(what, client.firstError));
    };
    if (!tif)
        libtiffFailure(source->size() == 0 ? QStringLiteral("the file is empty")
                                           : QStringLiteral("it is not a TIFF file libtiff can open"));

    // Every page is looked at before a frame is decoded: its strips must lie within the file. A
    // page not compressed as EER (a summed image some software adds) is not a frame.
    std::vector<EerPage> pages;
    std::uint32_t width = 0, height = 0;
    std::uint16_t otherCompression = 0;
    double pixelSizeNm = 0;
    const std::uint64_t fileSize = source->size();
    for (int directory = 0;; ++directory) {
        if (directory > 0 && !TIFFReadDirectory(tif)) {
            if (!client.firstError.isEmpty())
                libtiffFailure(QStringLiteral("its page %1 cannot be read").arg(directory + 1));
            break;
        }
        if (directory == 0)
            pixelSizeNm = acquisitionPixelSize(tif);
        std::uint16_t compression = COMPRESSION_NONE;
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        EerPage page;
        if (compression == kEerFixedCodes) {
            page.layout = {8, 4, true};
        } else if (compression == kEerPackedCodes) {
            page.layout = {7, 4, false};
        } else if (compression == kEerConfigurableCodes) {
            const std::int64_t run = privateInteger(tif, kTagRunBits);
            const std::int64_t x = privateInteger(tif, kTagSubpixelBitsX);
            std::int64_t y = privateInteger(tif, kTagSubpixelBitsY);
            if (y < 0)
                y = x;
            if (run < 1 || run > 16 || x < 0 || x > 4 || y < 0 || y > 4)
                fail(QStringLiteral("its page %1 (compression 65002) gives runs of %2 bits and sub-pixels of %3 + %4 "
                                    "bits (tags 65007 to 65009); runs of 1 to 16 bits and sub-pixels of 0 to 4 + 0 "
                                    "to 4 bits are read")
                         .arg(directory + 1)
                         .arg(run)
                         .arg(x)
                         .arg(y));
            page.layout = {static_cast<int>(run), static_cast<int>(x + y), false};
        } else {
            if (otherCompression == 0)
                otherCompression = compression == 0 ? 1 : compression;
            continue;
        }
        std::uint32_t w = 0, h = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
        const int frame = static_cast<int>(pages.size()) + 1;
        if (pages.empty()) {
            const QString problem = detail::imageSizeProblem(w, h);
            if (!problem.isEmpty())
                fail(QStringLiteral("its frame 1 (page %1): %2").arg(directory + 1).arg(problem));
            width = w;
            height = h;
        } else if (w != width || h != height) {
            fail(QStringLiteral("its frame %1 (page %2) has %3 x %4 pixels, its frame 1 %5 x %6")
                     .arg(frame)
                     .arg(directory + 1)
                     .arg(w)
                     .arg(h)
                     .arg(width)
                     .arg(height));
        }
        const std::uint32_t strips = TIFFNumberOfStrips(tif);
        if (strips == 0)
            fail(QStringLiteral("its frame %1 (page %2) has no strips").arg(frame).arg(directory + 1));
        for (std::uint32_t s = 0; s < strips; ++s) {
            const std::uint64_t offset = TIFFGetStrileOffset(tif, s);
            const std::uint64_t bytes = TIFFGetStrileByteCount(tif, s);
            if (offset > fileSize || bytes > fileSize - offset)
                fail(QStringLiteral("its frame %1 (page %2) has its strip %3 at bytes %4 to %5, beyond the end of the "
                                    "file of %6 bytes")
                         .arg(frame)
                         .arg(directory + 1)
                         .arg(s)
                         .arg(offset)
                         .arg(offset + bytes)
                         .arg(fileSize));
            page.strips.emplace_back(offset, bytes);
            page.bytes += bytes;
        }
        // No frame's strips are larger than the file, so neither is the decoder's one buffer.
        if (page.bytes > fileSize)
            fail(QStringLiteral("the strips of its frame %1 (page %2) claim %3 bytes, more than the file's %4")
                     .arg(frame)
                     .arg(directory + 1)
                     .arg(page.bytes)
                     .arg(fileSize));
        pages.push_back(std::move(page));
        if (pages.size() > static_cast<std::size_t>(kMaxEerFrames))
            fail(QStringLiteral("it has more than %1 frames").arg(kMaxEerFrames));
    }
    if (pages.empty())
        fail(QStringLiteral("it is a TIFF whose pages are not EER frames (TIFF compression %1, where EER frames "
                            "are compressed as 65000, 65001 or 65002)")
                 .arg(otherCompression));
    return std::make_unique<EerFrameReader>(shown, std::move(source), static_cast<int>(width), static_cast<int>(height),
                                            std::move(pages), pixelSizeNm);
}

} // namespace orvalis
