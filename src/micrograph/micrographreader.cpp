#include "micrograph/micrographreader.h"

#include "core/orvaliserror.h"
#include "micrograph/bytesource.h"
#include "micrograph/framereader.h"
#include "micrograph/readerdetail.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <memory>

namespace orvalis {

namespace detail {

void ReadJob::fail(const QString &what) const
{
    if (frame >= 0)
        throw OrvalisError(
            QStringLiteral("Cannot read frame %1 of %2 of %3: %4.").arg(frame + 1).arg(frames).arg(name, what));
    throw OrvalisError(QStringLiteral("Cannot open the micrograph %1: %2.").arg(name, what));
}

QString imageSizeProblem(std::int64_t width, std::int64_t height)
{
    if (width < 1 || height < 1)
        return QStringLiteral("its header gives %1 x %2 pixels, which is no image").arg(width).arg(height);
    if (width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels)
        return QStringLiteral("it claims %1 x %2 pixels; the largest image opened has %3 pixels a side and %4 "
                              "million pixels in all")
            .arg(width)
            .arg(height)
            .arg(kMaxImageSide)
            .arg(kMaxImagePixels / 1000000);
    if (width < kMinImageSide || height < kMinImageSide)
        return QStringLiteral("it has only %1 x %2 pixels, too few for a spectrum").arg(width).arg(height);
    return {};
}

void checkImageSize(const ReadJob &job, std::int64_t width, std::int64_t height)
{
    const QString problem = imageSizeProblem(width, height);
    if (!problem.isEmpty())
        job.fail(problem);
}

MicrographImage newImage(int width, int height)
{
    MicrographImage image;
    image.width = width;
    image.height = height;
    image.data.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0f);
    return image;
}

void checkFinite(const ReadJob &job, const MicrographImage &image)
{
    // Exponent bits all set: NaN or infinity. Looked at in blocks without a branch per pixel, then
    // the block that has one is searched for it.
    constexpr std::size_t block = 4096;
    const std::size_t count = image.data.size();
    for (std::size_t start = 0; start < count; start += block) {
        const std::size_t end = std::min(count, start + block);
        bool bad = false;
        for (std::size_t i = start; i < end; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &image.data[i], sizeof bits);
            bad |= (bits & 0x7f800000u) == 0x7f800000u;
        }
        if (!bad)
            continue;
        for (std::size_t i = start; i < end; ++i)
            if (!std::isfinite(image.data[i])) {
                const auto x = static_cast<qint64>(i % static_cast<std::size_t>(image.width));
                const auto y = static_cast<qint64>(i / static_cast<std::size_t>(image.width));
                const QString sum = image.frames > 1 ? QStringLiteral(" of the sum of its %1 frames").arg(image.frames)
                                                     : QString();
                job.fail(QStringLiteral("pixel x = %1, y = %2%3 is not a finite number (NaN or infinity)")
                             .arg(x)
                             .arg(y)
                             .arg(sum));
            }
    }
}

double plausiblePixelSize(double nm)
{
    if (!(std::isfinite(nm) && nm >= 0.001 && nm <= 10))
        return 0.0;
    // Headers hold it as a float (or a ratio of floats): digits beyond a float's seven are noise of
    // the conversion, and 0.83 Å would read 0.8299999833.
    return QString::number(nm, 'g', 7).toDouble();
}

int sampleBytes(SampleType type)
{
    switch (type) {
    case SampleType::Int8:
    case SampleType::UInt8: return 1;
    case SampleType::Int16:
    case SampleType::UInt16:
    case SampleType::Float16: return 2;
    case SampleType::Int32:
    case SampleType::UInt32:
    case SampleType::Float32: return 4;
    }
    return 1;
}

bool isFloatSample(SampleType type)
{
    return type == SampleType::Float16 || type == SampleType::Float32;
}

float halfToFloat(std::uint16_t h)
{
    const std::uint32_t sign = static_cast<std::uint32_t>(h & 0x8000u) << 16;
    const std::uint32_t exponent = (h >> 10) & 0x1fu;
    std::uint32_t mantissa = h & 0x3ffu;
    std::uint32_t bits;
    if (exponent == 0x1f) { // infinity or NaN
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else { // subnormal: normalise
        int e = -1;
        do {
            ++e;
            mantissa <<= 1;
        } while ((mantissa & 0x400u) == 0);
        bits = sign | (static_cast<std::uint32_t>(112 - e) << 23) | ((mantissa & 0x3ffu) << 13);
    }
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

namespace {

template <typename Stored> Stored loadSample(const unsigned char *p, bool swap)
{
    unsigned char b[sizeof(Stored)];
    std::memcpy(b, p, sizeof b);
    if (swap)
        std::reverse(b, b + sizeof b);
    Stored v;
    std::memcpy(&v, b, sizeof v);
    return v;
}

template <typename Stored> float sampleValue(const unsigned char *p, bool swap)
{
    return static_cast<float>(loadSample<Stored>(p, swap));
}

// Every half-precision value as a float, made once: a look-up converts a movie's frames several
// times faster than decoding each sample's bits.
const float *halfTable()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(65536);
        for (std::uint32_t h = 0; h < 65536; ++h)
            t[h] = halfToFloat(static_cast<std::uint16_t>(h));
        return t;
    }();
    return table.data();
}

template <typename Stored, bool Half = false>
void convert(const unsigned char *raw, std::size_t count, bool swap, bool add, float *out)
{
    const float *half = Half ? halfTable() : nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char *p = raw + i * sizeof(Stored);
        float v;
        if constexpr (Half)
            v = half[loadSample<std::uint16_t>(p, swap)];
        else
            v = sampleValue<Stored>(p, swap);
        out[i] = add ? out[i] + v : v;
    }
}

template <typename Bits>
std::size_t firstNonFinite(const unsigned char *raw, std::size_t count, bool swap, Bits exponent)
{
    // Looked at in blocks without a branch per sample, then the block that has one searched.
    constexpr std::size_t block = 4096;
    for (std::size_t start = 0; start < count; start += block) {
        const std::size_t end = std::min(count, start + block);
        bool bad = false;
        for (std::size_t i = start; i < end; ++i)
            bad |= (loadSample<Bits>(raw + i * sizeof(Bits), swap) & exponent) == exponent;
        if (!bad)
            continue;
        for (std::size_t i = start; i < end; ++i)
            if ((loadSample<Bits>(raw + i * sizeof(Bits), swap) & exponent) == exponent)
                return i;
    }
    return count;
}

} // namespace

void checkFiniteSamples(const ReadJob &job, SampleType type, const unsigned char *raw, std::size_t count, bool swap,
                        std::size_t first, int width)
{
    std::size_t bad = count;
    if (type == SampleType::Float16)
        bad = firstNonFinite<std::uint16_t>(raw, count, swap, 0x7c00u);
    else if (type == SampleType::Float32)
        bad = firstNonFinite<std::uint32_t>(raw, count, swap, 0x7f800000u);
    if (bad == count)
        return;
    const std::size_t pixel = first + bad;
    job.fail(QStringLiteral("its pixel x = %1, y = %2 is not a finite number (NaN or infinity)")
                 .arg(static_cast<qint64>(pixel % static_cast<std::size_t>(width)))
                 .arg(static_cast<qint64>(pixel / static_cast<std::size_t>(width))));
}

void convertSamples(SampleType type, const unsigned char *raw, std::size_t count, bool swap, bool add, float *out)
{
    switch (type) {
    case SampleType::Int8: convert<std::int8_t>(raw, count, false, add, out); break;
    case SampleType::UInt8: convert<std::uint8_t>(raw, count, false, add, out); break;
    case SampleType::Int16: convert<std::int16_t>(raw, count, swap, add, out); break;
    case SampleType::UInt16: convert<std::uint16_t>(raw, count, swap, add, out); break;
    case SampleType::Int32: convert<std::int32_t>(raw, count, swap, add, out); break;
    case SampleType::UInt32: convert<std::uint32_t>(raw, count, swap, add, out); break;
    case SampleType::Float16: convert<std::uint16_t, true>(raw, count, swap, add, out); break;
    case SampleType::Float32: convert<float>(raw, count, swap, add, out); break;
    }
}

namespace {

bool startsWith(const unsigned char *head, std::size_t size, const char *signature, std::size_t length)
{
    return size >= length && std::memcmp(head, signature, length) == 0;
}

} // namespace

FileFormat detectFormat(const ReadJob &job, const QString &fileName)
{
    unsigned char head[212] = {};
    const std::size_t headSize = static_cast<std::size_t>(std::min<std::uint64_t>(job.source.size(), sizeof head));
    if (!job.source.read(0, head, headSize))
        job.fail(QStringLiteral("it cannot be read (%1)").arg(job.source.errorText()));
    if (headSize == 0)
        job.fail(QStringLiteral("the file is empty"));
    if (startsWith(head, headSize, "II*\0", 4) || startsWith(head, headSize, "MM\0*", 4)
        || startsWith(head, headSize, "II+\0", 4) || startsWith(head, headSize, "MM\0+", 4))
        return FileFormat::Tiff;
    if (startsWith(head, headSize, "\x89PNG\r\n\x1a\n", 8))
        return FileFormat::Png;
    static const QStringList mrcSuffixes{QStringLiteral("mrc"), QStringLiteral("mrcs"), QStringLiteral("map"),
                                         QStringLiteral("st"), QStringLiteral("ali")};
    const bool mrcName = mrcSuffixes.contains(QFileInfo(fileName).suffix().toLower());
    if (mrcName || (headSize >= 212 && std::memcmp(head + 208, "MAP ", 4) == 0))
        return FileFormat::Mrc;
    job.fail(QStringLiteral("it is not an MRC, TIFF or PNG image"));
}

QString openFailure(const FileSource &source)
{
    // "It is a folder, not a regular file." continues the sentence: "...: it is a folder, ..."
    QString why = source.openError();
    if (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    if (why.startsWith(QLatin1String("It is ")))
        why[0] = QLatin1Char('i');
    return why;
}

} // namespace detail

namespace {

MicrographImage readFrom(ByteSource &source, const QString &shownName, const QString &fileName,
                         const ProgressCallback &progress)
{
    const detail::ReadJob job{source, shownName, progress};
    switch (detail::detectFormat(job, fileName)) {
    case detail::FileFormat::Tiff: return detail::readTiff(job);
    case detail::FileFormat::Png: return detail::readPng(job);
    case detail::FileFormat::Mrc: break;
    }
    return detail::readMrc(job);
}

} // namespace

MicrographImage readMicrograph(const QString &path, const ProgressCallback &progress)
{
    const QString shown = QDir::toNativeSeparators(path);
    FileSource source(path);
    if (!source.isOpen())
        throw OrvalisError(
            QStringLiteral("Cannot open the micrograph %1: %2.").arg(shown, detail::openFailure(source)));
    // An EER movie's pages are no pixels libtiff decodes: its frames are counted and summed here.
    const detail::ReadJob job{source, shown, progress};
    if (detail::detectFormat(job, path) == detail::FileFormat::Tiff
        && detail::isEerCompression(detail::firstTiffCompression(job))) {
        const std::unique_ptr<FrameReader> frames = openEerFrames(path);
        MicrographImage image = detail::newImage(frames->width(), frames->height());
        image.pixelSizeNm = frames->pixelSizeNm();
        image.frames = frames->frames();
        for (int f = 0; f < frames->frames(); ++f) {
            frames->addFrame(f, image.data.data());
            reportProgress(progress, double(f + 1) / frames->frames());
        }
        return image;
    }
    return readFrom(source, shown, path, progress);
}

MicrographImage readMicrographData(const void *data, std::size_t size, const QString &name,
                                   const ProgressCallback &progress)
{
    MemorySource source(data, size);
    return readFrom(source, name, name, progress);
}

} // namespace orvalis
