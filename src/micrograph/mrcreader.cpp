// MRC and MRC2014: a 1024-byte header, an extended header of NSYMBT bytes, then the sections (a
// stack's frames) one after the other, x fastest.
#include "core/units.h"
#include "micrograph/micrographreader.h"
#include "micrograph/readerdetail.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace orvalis::detail {

namespace {

constexpr std::uint64_t kHeaderBytes = 1024;
// Pixels are read and converted in pieces of this size, which bounds the memory beside the image
// and sets how often progress is reported.
constexpr std::size_t kChunkBytes = std::size_t(4) << 20;

struct MrcHeader {
    const unsigned char *bytes;
    bool swap;
    std::int32_t word(int index) const
    {
        std::uint32_t v;
        std::memcpy(&v, bytes + 4 * index, 4);
        if (swap)
            v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
        std::int32_t s;
        std::memcpy(&s, &v, 4);
        return s;
    }
    float real(int index) const
    {
        const std::int32_t w = word(index);
        float f;
        std::memcpy(&f, &w, 4);
        return f;
    }
};

bool sampleTypeOfMode(std::int32_t mode, SampleType &type)
{
    switch (mode) {
    case 0: type = SampleType::Int8; return true; // signed, as MRC2014 defines it
    case 1: type = SampleType::Int16; return true;
    case 2: type = SampleType::Float32; return true;
    case 6: type = SampleType::UInt16; return true;
    case 12: type = SampleType::Float16; return true;
    default: return false;
    }
}

bool plausibleHeader(const MrcHeader &h)
{
    SampleType type;
    return sampleTypeOfMode(h.word(3), type) && h.word(0) > 0 && h.word(1) > 0 && h.word(2) > 0;
}

constexpr bool hostIsLittleEndian()
{
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
}

} // namespace

MrcLayout readMrcLayout(const ReadJob &job)
{
    const std::uint64_t fileSize = job.source.size();
    if (fileSize < kHeaderBytes)
        job.fail(QStringLiteral("it has %1 bytes, fewer than the %2 bytes of an MRC header")
                     .arg(fileSize)
                     .arg(kHeaderBytes));
    unsigned char bytes[kHeaderBytes];
    if (!job.source.read(0, bytes, sizeof bytes))
        job.fail(QStringLiteral("its header cannot be read (%1)").arg(job.source.errorText()));

    // The machine stamp says the byte order (0x44 little, 0x11 big endian); files older than it
    // have none, and the order under which the header makes sense is taken.
    const bool fileLittle = bytes[212] != 0x11;
    MrcHeader h{bytes, fileLittle != hostIsLittleEndian()};
    if (bytes[212] != 0x44 && bytes[212] != 0x11 && !plausibleHeader(h)) {
        const MrcHeader other{bytes, !h.swap};
        if (plausibleHeader(other))
            h = other;
    }

    MrcLayout layout;
    layout.fileSize = fileSize;
    layout.swap = h.swap;
    layout.mode = h.word(3);
    if (!sampleTypeOfMode(layout.mode, layout.type))
        job.fail(
            QStringLiteral("its MRC mode %1 is not one of the image modes read (0, 1, 2, 6 and 12)").arg(layout.mode));
    layout.nx = h.word(0);
    layout.ny = h.word(1);
    layout.nz = h.word(2);
    if (layout.nz < 1)
        job.fail(QStringLiteral("its header gives %1 sections, which is no image").arg(layout.nz));
    checkImageSize(job, layout.nx, layout.ny);
    // Columns along x and rows along y (0 in older files that leave the axes unset); other orders
    // would turn the image and with it the azimuth of every ring.
    const std::int32_t mapc = h.word(16), mapr = h.word(17);
    if (!((mapc == 1 && mapr == 2) || (mapc == 0 && mapr == 0)))
        job.fail(QStringLiteral("its axes are stored in the order %1, %2, %3; only images stored along x, then y "
                                "are read")
                     .arg(mapc)
                     .arg(mapr)
                     .arg(h.word(18)));

    const std::int64_t extended = h.word(23);
    if (extended < 0 || static_cast<std::uint64_t>(extended) > fileSize - kHeaderBytes)
        job.fail(QStringLiteral("its extended header of %1 bytes does not fit in the file of %2 bytes")
                     .arg(extended)
                     .arg(fileSize));
    layout.dataStart = kHeaderBytes + static_cast<std::uint64_t>(extended);
    layout.frameBytes = static_cast<std::uint64_t>(layout.nx) * static_cast<std::uint64_t>(layout.ny)
        * static_cast<std::uint64_t>(sampleBytes(layout.type));
    // Pixel spacing = cell length / samples along the axis, in Å.
    const float cellX = h.real(10);
    const std::int32_t mx = h.word(7);
    if (mx > 0 && cellX > 0)
        layout.pixelSizeNm = plausiblePixelSize(NmPerAngstrom * static_cast<double>(cellX) / mx);
    return layout;
}

void checkMrcExtent(const ReadJob &job, const MrcLayout &layout)
{
    const std::uint64_t available = layout.fileSize - layout.dataStart;
    const std::uint64_t expected = layout.frameBytes * static_cast<std::uint64_t>(layout.nz); // below 2^60
    if (available < expected)
        job.fail(QStringLiteral("it is truncated: its header describes %1 bytes of pixels (%2 x %3 x %4, mode %5) "
                                "after %6 bytes of headers, but the file has %7 bytes in all")
                     .arg(expected)
                     .arg(layout.nx)
                     .arg(layout.ny)
                     .arg(layout.nz)
                     .arg(layout.mode)
                     .arg(layout.dataStart)
                     .arg(layout.fileSize));
    if (available > expected)
        job.fail(QStringLiteral("it is %1 bytes longer than its header describes (%2 x %3 x %4 pixels of mode %5 "
                                "after %6 bytes of headers)")
                     .arg(available - expected)
                     .arg(layout.nx)
                     .arg(layout.ny)
                     .arg(layout.nz)
                     .arg(layout.mode)
                     .arg(layout.dataStart));
}

void readMrcSection(const ReadJob &job, const MrcLayout &layout, std::int64_t z, bool add, float *out,
                    std::vector<unsigned char> &buffer, bool reportWholeFile, bool checkSamples)
{
    const std::size_t sample = static_cast<std::size_t>(sampleBytes(layout.type));
    const std::size_t frameSamples = static_cast<std::size_t>(layout.nx) * static_cast<std::size_t>(layout.ny);
    const std::size_t chunkSamples = std::max<std::size_t>(1, kChunkBytes / sample);
    const bool direct = layout.type == SampleType::Float32 && !layout.swap && !add && !checkSamples;
    for (std::size_t done = 0; done < frameSamples; done += chunkSamples) {
        const std::size_t count = std::min(chunkSamples, frameSamples - done);
        const std::uint64_t offset = layout.dataStart + static_cast<std::uint64_t>(z) * layout.frameBytes
            + done * sample;
        if (direct) {
            if (!job.source.read(offset, out + done, count * sample))
                job.fail(QStringLiteral("its pixels cannot be read (%1)").arg(job.source.errorText()));
        } else {
            buffer.resize(count * sample);
            if (!job.source.read(offset, buffer.data(), buffer.size()))
                job.fail(QStringLiteral("its pixels cannot be read (%1)").arg(job.source.errorText()));
            if (checkSamples)
                checkFiniteSamples(job, layout.type, buffer.data(), count, layout.swap, done,
                                   static_cast<int>(layout.nx));
            convertSamples(layout.type, buffer.data(), count, layout.swap, add, out + done);
        }
        if (reportWholeFile)
            reportProgress(job.progress,
                           (static_cast<double>(z) * static_cast<double>(frameSamples) + done + count)
                               / (static_cast<double>(layout.nz) * static_cast<double>(frameSamples)));
    }
}

MicrographImage readMrc(const ReadJob &job)
{
    const MrcLayout layout = readMrcLayout(job);
    checkMrcExtent(job, layout);
    MicrographImage image = newImage(static_cast<int>(layout.nx), static_cast<int>(layout.ny));
    image.frames = static_cast<int>(layout.nz);
    image.pixelSizeNm = layout.pixelSizeNm;
    std::vector<unsigned char> buffer;
    reportProgress(job.progress, 0.0);
    for (std::int64_t z = 0; z < layout.nz; ++z)
        readMrcSection(job, layout, z, z > 0, image.data.data(), buffer, true);
    if (isFloatSample(layout.type))
        checkFinite(job, image);
    return image;
}

} // namespace orvalis::detail
