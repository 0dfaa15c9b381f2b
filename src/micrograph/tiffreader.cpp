// TIFF through libtiff (tiffopen.h), over the same byte source as the other readers.
#include "core/units.h"
#include "micrograph/micrographreader.h"
#include "micrograph/readerdetail.h"
#include "micrograph/tiffopen.h"

#include <tiffio.h>

#include <QStringList>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace orvalis::detail {

namespace {

tmsize_t tiffRead(thandle_t handle, void *buffer, tmsize_t size)
{
    auto *c = static_cast<TiffClient *>(handle);
    if (size < 0)
        return -1;
    const std::uint64_t left = c->position < c->source.size() ? c->source.size() - c->position : 0;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, static_cast<std::uint64_t>(size)));
    if (!c->source.read(c->position, buffer, count))
        return -1;
    c->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t tiffWrite(thandle_t, void *, tmsize_t)
{
    return -1;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto *c = static_cast<TiffClient *>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = c->position;
    else if (whence == SEEK_END)
        base = c->source.size();
    c->position = base + offset;
    return c->position;
}

int tiffClose(thandle_t)
{
    return 0;
}

toff_t tiffSize(thandle_t handle)
{
    return static_cast<TiffClient *>(handle)->source.size();
}

// Bytes already in memory are handed to libtiff whole, which then decodes from them directly.
int tiffMap(thandle_t handle, void **base, toff_t *size)
{
    auto *c = static_cast<TiffClient *>(handle);
    if (c->source.bytes() == nullptr)
        return 0;
    *base = const_cast<unsigned char *>(c->source.bytes());
    *size = c->source.size();
    return 1;
}

void tiffUnmap(thandle_t, void *, toff_t) {}

int tiffError(TIFF *, void *user, const char *, const char *format, va_list args)
{
    auto *c = static_cast<TiffClient *>(user);
    if (c->firstError.isEmpty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        c->firstError = QString::fromLocal8Bit(text);
    }
    return 1; // handled: not passed on to the process-wide handler
}

int tiffWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

void silenceProcessWideHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

} // namespace

std::unique_ptr<TiffOpened> openTiff(ByteSource &source, const QString &name)
{
    silenceProcessWideHandlers();
    auto o = std::make_unique<TiffOpened>(TiffOpened{TiffClient{source, 0, {}}, nullptr, nullptr});
    o->options.reset(TIFFOpenOptionsAlloc());
    TIFFOpenOptionsSetErrorHandlerExtR(o->options.get(), tiffError, &o->client);
    TIFFOpenOptionsSetWarningHandlerExtR(o->options.get(), tiffWarning, &o->client);
    const QByteArray bytes = name.toUtf8();
    o->tif.reset(TIFFClientOpenExt(bytes.constData(), "r", &o->client, tiffRead, tiffWrite, tiffSeek, tiffClose,
                                   tiffSize, tiffMap, tiffUnmap, o->options.get()));
    return o;
}

namespace {

// The pages summed at most: movies saved as TIFF have tens to a few hundred frames. With the
// packing below, this bounds the work a small file can ask for.
constexpr int kMaxTiffPages = 4096;
// Decoded bytes per stored byte at most. Deflate cannot pack more than 1032 to 1, and a page that
// packs that tightly is all but blank: a micrograph's noise keeps real ones near 2 to 20.
constexpr std::uint64_t kMaxTiffPacking = 1024;

struct PageLayout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT, compression = COMPRESSION_NONE;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    bool tiled = false;
    bool reduced = false; // a thumbnail or preview beside the image
};

PageLayout layoutOf(TIFF *tif)
{
    PageLayout p;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &p.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &p.compression);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric))
        p.photometric = PHOTOMETRIC_MINISBLACK;
    p.tiled = TIFFIsTiled(tif) != 0;
    std::uint32_t subfile = 0;
    if (TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfile))
        p.reduced = (subfile & FILETYPE_REDUCEDIMAGE) != 0;
    return p;
}

// The sample type of a grey page, or a text saying why the page is not one.
QString sampleTypeOf(const PageLayout &p, SampleType &type)
{
    if (p.samples != 1 || p.photometric == PHOTOMETRIC_PALETTE || p.photometric == PHOTOMETRIC_RGB)
        return QStringLiteral("it is a TIFF with %1 samples a pixel (photometric %2), not a grey image")
            .arg(p.samples)
            .arg(p.photometric);
    if (p.tiled)
        return QStringLiteral("it is a tiled TIFF; only TIFF images stored in strips are read");
    const bool signedInt = p.format == SAMPLEFORMAT_INT;
    if (p.format == SAMPLEFORMAT_IEEEFP && p.bits == 32) {
        type = SampleType::Float32;
        return {};
    }
    if (p.format == SAMPLEFORMAT_UINT || signedInt) {
        switch (p.bits) {
        case 8: type = signedInt ? SampleType::Int8 : SampleType::UInt8; return {};
        case 16: type = signedInt ? SampleType::Int16 : SampleType::UInt16; return {};
        case 32: type = signedInt ? SampleType::Int32 : SampleType::UInt32; return {};
        default: break;
        }
    }
    static const char *const formats[] = {"", "unsigned integer", "signed integer", "floating-point", "", "", ""};
    const char *name = p.format < 7 && formats[p.format][0] != '\0' ? formats[p.format] : "unknown";
    return QStringLiteral("its TIFF samples are %1-bit %2 (sample format %3); 8, 16 and 32-bit integers and 32-bit "
                          "floats are read")
        .arg(p.bits)
        .arg(QString::fromLatin1(name))
        .arg(p.format);
}

// nm in the length unit an ImageJ description names ("unit=micron"), or 0 for a unit it is not.
double imageJUnitNm(TIFF *tif)
{
    const char *description = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description) || description == nullptr
        || std::strncmp(description, "ImageJ=", 7) != 0)
        return 0;
    const QStringList lines = QString::fromUtf8(description).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!line.startsWith(QLatin1String("unit=")))
            continue;
        // ImageJ writes characters beyond ASCII as the text "\u00B5"; others write them in UTF-8.
        QString unit = line.mid(5).trimmed();
        unit.replace(QLatin1String("\\u00B5"), QChar(0x00b5), Qt::CaseInsensitive);
        unit.replace(QLatin1String("\\u00C5"), QChar(0x00c5), Qt::CaseInsensitive);
        unit = unit.toLower();
        static const QStringList microns{QStringLiteral("micron"), QStringLiteral("microns"), QStringLiteral("um"),
                                         QString(QChar(0x00b5)) + QLatin1Char('m'),
                                         QString(QChar(0x03bc)) + QLatin1Char('m')};
        static const QStringList nanometres{QStringLiteral("nm"), QStringLiteral("nanometer"),
                                            QStringLiteral("nanometers"), QStringLiteral("nanometre"),
                                            QStringLiteral("nanometres")};
        static const QStringList angstroms{QStringLiteral("a"), QString(QChar(0x00e5)), QString(QChar(0x212b)),
                                           QStringLiteral("angstrom"), QStringLiteral("angstroms")};
        if (microns.contains(unit))
            return NmPerUm;
        if (nanometres.contains(unit))
            return 1;
        if (angstroms.contains(unit))
            return NmPerAngstrom;
        return 0;
    }
    return 0;
}

// The resolution tags in pixels per centimetre or inch, as TIFF defines them, or ImageJ's way: no
// unit in the tag (ResolutionUnit 1), pixels per the unit its description names.
double pixelSizeOf(TIFF *tif)
{
    float resolution = 0;
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution) || !(resolution > 0))
        return 0;
    std::uint16_t unit = 0;
    const bool unitGiven = TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit) != 0;
    if (unitGiven && unit == RESUNIT_CENTIMETER)
        return plausiblePixelSize(NmPerCm / resolution);
    if (unitGiven && unit == RESUNIT_INCH)
        return plausiblePixelSize(NmPerInch / resolution);
    if (const double nm = imageJUnitNm(tif); nm > 0)
        return plausiblePixelSize(nm / resolution);
    if (!unitGiven) // TIFF's default unit
        return plausiblePixelSize(NmPerInch / resolution);
    return 0;
}

struct RowLayout {
    std::uint32_t rowsPerStrip = 1;
    std::uint32_t strips = 0; // the strips that hold the image's rows
    std::size_t rowBytes = 0; // decoded
};

RowLayout rowLayoutOf(TIFF *tif, const PageLayout &p, SampleType type)
{
    RowLayout r;
    r.rowsPerStrip = p.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &r.rowsPerStrip);
    r.rowsPerStrip = std::clamp<std::uint32_t>(r.rowsPerStrip, 1, p.height);
    r.strips = (p.height + r.rowsPerStrip - 1) / r.rowsPerStrip;
    r.rowBytes = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(sampleBytes(type));
    return r;
}

// Checks what the page's header claims against what the file holds, before anything is allocated
// for it: every strip within the file; uncompressed strips as long as their rows; compressed ones
// no more packed than kMaxTiffPacking. Gives the bytes the page's strips take up.
std::uint64_t checkStrips(const ReadJob &job, TIFF *tif, const PageLayout &p, SampleType type, int page)
{
    const RowLayout r = rowLayoutOf(tif, p, type);
    if (TIFFNumberOfStrips(tif) < r.strips)
        job.fail(QStringLiteral("its page %1 has %2 strips of %3 rows for %4 rows")
                     .arg(page + 1)
                     .arg(TIFFNumberOfStrips(tif))
                     .arg(r.rowsPerStrip)
                     .arg(p.height));
    const std::uint64_t fileSize = job.source.size();
    const std::uint64_t decoded = static_cast<std::uint64_t>(r.rowBytes) * p.height;
    std::uint64_t stored = 0;
    for (std::uint32_t s = 0; s < r.strips; ++s) {
        const std::uint64_t offset = TIFFGetStrileOffset(tif, s);
        const std::uint64_t count = TIFFGetStrileByteCount(tif, s);
        if (offset > fileSize || count > fileSize - offset)
            job.fail(QStringLiteral("its page %1 claims %2 x %3 pixels whose strip %4 lies at bytes %5 to %6, beyond "
                                    "the end of the file of %7 bytes")
                         .arg(page + 1)
                         .arg(p.width)
                         .arg(p.height)
                         .arg(s)
                         .arg(offset)
                         .arg(offset + count)
                         .arg(fileSize));
        if (p.compression == COMPRESSION_NONE) {
            const std::uint32_t rows = std::min(r.rowsPerStrip, p.height - s * r.rowsPerStrip);
            if (count < r.rowBytes * rows)
                job.fail(QStringLiteral("its page %1 claims %2 x %3 pixels of %4 bits (%5 bytes), but its strip %6 "
                                        "holds %7 bytes of the %8 its rows need")
                             .arg(page + 1)
                             .arg(p.width)
                             .arg(p.height)
                             .arg(p.bits)
                             .arg(decoded)
                             .arg(s)
                             .arg(count)
                             .arg(static_cast<std::uint64_t>(r.rowBytes) * rows));
        }
        stored += count;
    }
    if (p.compression != COMPRESSION_NONE && decoded > kMaxTiffPacking * stored)
        job.fail(QStringLiteral("its page %1 claims %2 x %3 pixels of %4 bits (%5 bytes) from %6 bytes of compressed "
                                "strips, more than %7 times as many; no compressed micrograph packs so tightly")
                     .arg(page + 1)
                     .arg(p.width)
                     .arg(p.height)
                     .arg(p.bits)
                     .arg(decoded)
                     .arg(stored)
                     .arg(kMaxTiffPacking));
    return stored;
}

} // namespace

struct TiffPages::State {
    std::unique_ptr<TiffOpened> opened;
    PageLayout first;
    SampleType type = SampleType::UInt8;
    double pixelSizeNm = 0;
    std::vector<int> pageNumbers;           // of the pages read, in the file (0 first)
    std::vector<std::uint64_t> pageOffsets; // of their directories
    int current = -1;                       // the page libtiff is on, or -1 when unknown
    std::vector<unsigned char> strip;

    [[noreturn]] void libtiffFailure(const ReadJob &job, const QString &what) const
    {
        const QString &said = opened->client.firstError;
        job.fail(said.isEmpty() ? what : QStringLiteral("%1 (libtiff says: %2)").arg(what, said));
    }
};

TiffPages::TiffPages(const ReadJob &job) : m(std::make_unique<State>())
{
    m->opened = openTiff(job.source, job.name);
    TIFF *tif = m->opened->tif.get();
    if (tif == nullptr)
        m->libtiffFailure(job, QStringLiteral("it is not a TIFF file libtiff can open"));

    // Every page that is not a thumbnail is read; they must all be alike. All of them are looked
    // at before anything is allocated or decoded: what their headers claim must fit in the file.
    const int pageCount = TIFFNumberOfDirectories(tif);
    std::uint64_t storedBytes = 0; // of the strips of the pages read
    for (int page = 0; page < pageCount; ++page) {
        if (page > 0 && !TIFFReadDirectory(tif))
            m->libtiffFailure(job, QStringLiteral("its page %1 cannot be read").arg(page + 1));
        const PageLayout p = layoutOf(tif);
        if (p.reduced && page > 0)
            continue;
        const PageLayout &first = m->first;
        if (m->pageNumbers.empty()) {
            m->first = p;
            const QString problem = sampleTypeOf(p, m->type);
            if (!problem.isEmpty())
                job.fail(problem);
            if (!TIFFIsCODECConfigured(p.compression))
                job.fail(
                    QStringLiteral("it is compressed with a method libtiff cannot decode here (TIFF compression %1)")
                        .arg(p.compression));
            checkImageSize(job, p.width, p.height);
            m->pixelSizeNm = pixelSizeOf(tif);
        } else if (p.width != first.width || p.height != first.height || p.bits != first.bits
                   || p.format != first.format || p.samples != first.samples || p.tiled != first.tiled) {
            job.fail(QStringLiteral("its page %1 (%2 x %3 pixels, %4-bit) differs from its first page (%5 x %6 "
                                    "pixels, %7-bit), so the pages cannot be summed")
                         .arg(page + 1)
                         .arg(p.width)
                         .arg(p.height)
                         .arg(p.bits)
                         .arg(first.width)
                         .arg(first.height)
                         .arg(first.bits));
        } else if (!TIFFIsCODECConfigured(p.compression)) {
            job.fail(QStringLiteral("its page %1 is compressed with a method libtiff cannot decode here (TIFF "
                                    "compression %2)")
                         .arg(page + 1)
                         .arg(p.compression));
        }
        m->pageNumbers.push_back(page);
        m->pageOffsets.push_back(TIFFCurrentDirOffset(tif));
        if (static_cast<int>(m->pageNumbers.size()) > kMaxTiffPages)
            job.fail(QStringLiteral("it has more than %1 pages to sum; no more are read").arg(kMaxTiffPages));
        storedBytes += checkStrips(job, tif, p, m->type, page);
    }
    if (m->pageNumbers.empty())
        job.fail(QStringLiteral("it has no image"));
    if (storedBytes > job.source.size())
        job.fail(QStringLiteral("the strips of its %1 pages claim %2 bytes in all, more than the file's %3 bytes")
                     .arg(m->pageNumbers.size())
                     .arg(storedBytes)
                     .arg(job.source.size()));
    m->current = pageCount - 1;
}

TiffPages::~TiffPages() = default;

int TiffPages::count() const
{
    return static_cast<int>(m->pageNumbers.size());
}

int TiffPages::width() const
{
    return static_cast<int>(m->first.width);
}

int TiffPages::height() const
{
    return static_cast<int>(m->first.height);
}

SampleType TiffPages::type() const
{
    return m->type;
}

double TiffPages::pixelSizeNm() const
{
    return m->pixelSizeNm;
}

void TiffPages::read(const ReadJob &job, int index, bool add, float *out, bool reportWholeFile, bool checkSamples)
{
    TIFF *tif = m->opened->tif.get();
    const int page = m->pageNumbers[static_cast<std::size_t>(index)];
    // Straight to the page's directory, whose offset was kept when the pages were checked, rather
    // than walking the chain of directories from the first.
    if (m->current != page) {
        m->current = -1;
        if (!TIFFSetSubDirectory(tif, m->pageOffsets[static_cast<std::size_t>(index)]))
            m->libtiffFailure(job,
                              page == 0 ? QStringLiteral("its first page cannot be read again")
                                        : QStringLiteral("its page %1 cannot be read again").arg(page + 1));
        m->current = page;
    }
    const PageLayout p = layoutOf(tif);
    const RowLayout rl = rowLayoutOf(tif, p, m->type);
    m->strip.resize(rl.rowBytes * rl.rowsPerStrip);
    for (std::uint32_t s = 0; s < rl.strips; ++s) {
        const std::uint32_t row = s * rl.rowsPerStrip;
        const std::uint32_t rows = std::min(rl.rowsPerStrip, p.height - row);
        const tmsize_t want = static_cast<tmsize_t>(rl.rowBytes * rows);
        const tmsize_t got = TIFFReadEncodedStrip(tif, s, m->strip.data(), want);
        if (got < want)
            m->libtiffFailure(job,
                              QStringLiteral("the pixels of strip %1 of page %2 cannot be read").arg(s).arg(page + 1));
        // libtiff has already put the samples into this machine's byte order.
        if (checkSamples)
            checkFiniteSamples(job, m->type, m->strip.data(), static_cast<std::size_t>(p.width) * rows, false,
                               static_cast<std::size_t>(row) * p.width, static_cast<int>(p.width));
        convertSamples(m->type, m->strip.data(), static_cast<std::size_t>(p.width) * rows, false, add,
                       out + static_cast<std::size_t>(row) * p.width);
        if (reportWholeFile)
            reportProgress(job.progress, (index + static_cast<double>(s + 1) / rl.strips) / count());
    }
}

int firstTiffCompression(const ReadJob &job)
{
    const std::unique_ptr<TiffOpened> opened = openTiff(job.source, job.name);
    std::uint16_t compression = 0;
    if (opened->tif)
        TIFFGetFieldDefaulted(opened->tif.get(), TIFFTAG_COMPRESSION, &compression);
    return compression;
}

MicrographImage readTiff(const ReadJob &job)
{
    TiffPages pages(job);
    MicrographImage image = newImage(pages.width(), pages.height());
    image.pixelSizeNm = pages.pixelSizeNm();
    reportProgress(job.progress, 0.0);
    for (int i = 0; i < pages.count(); ++i)
        pages.read(job, i, i > 0, image.data.data(), true);
    image.frames = pages.count();
    if (isFloatSample(pages.type()))
        checkFinite(job, image);
    return image;
}

} // namespace orvalis::detail
