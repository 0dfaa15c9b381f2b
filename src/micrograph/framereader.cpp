// Frame by frame over the readers' own header parsing and sample conversion: an MRC stack's
// sections are read by seeking to each one, a TIFF's pages through libtiff by the offsets of their
// directories. Nothing beyond one frame's bytes (and a few MB of buffer) is read or held at a time.
#include "micrograph/framereader.h"

#include "core/orvaliserror.h"
#include "micrograph/bytesource.h"
#include "micrograph/micrographreader.h"
#include "micrograph/readerdetail.h"

#include <QDir>

#include <algorithm>
#include <vector>

namespace orvalis {

namespace {

const ProgressCallback &noProgress()
{
    static const ProgressCallback none;
    return none;
}

// What every reader of a file has: the file, and a job whose messages name the frame being read.
class FileFrames : public FrameReader {
protected:
    FileFrames(std::unique_ptr<FileSource> source, const QString &name, int width, int height, int frames,
               double pixelSizeNm)
        : FrameReader(name, width, height, frames, pixelSizeNm), m_source(std::move(source))
    {
    }

    detail::ReadJob frameJob(int index) const
    {
        detail::ReadJob job{*m_source, name(), noProgress(), index, frames()};
        if (index < 0 || index >= frames())
            job.fail(QStringLiteral("there is no such frame"));
        return job;
    }

    std::unique_ptr<FileSource> m_source;
};

class MrcFrames final : public FileFrames {
public:
    MrcFrames(std::unique_ptr<FileSource> source, const QString &name, const detail::MrcLayout &layout)
        : FileFrames(std::move(source), name, static_cast<int>(layout.nx), static_cast<int>(layout.ny),
                     static_cast<int>(layout.nz), layout.pixelSizeNm),
          m_layout(layout)
    {
    }

    void addFrame(int index, float *sum) override
    {
        const detail::ReadJob job = frameJob(index);
        detail::readMrcSection(job, m_layout, index, true, sum, m_buffer, false, true);
    }

private:
    detail::MrcLayout m_layout;
    std::vector<unsigned char> m_buffer;
};

class TiffFrames final : public FileFrames {
public:
    TiffFrames(std::unique_ptr<FileSource> source, const QString &name, std::unique_ptr<detail::TiffPages> pages)
        : FileFrames(std::move(source), name, pages->width(), pages->height(), pages->count(), pages->pixelSizeNm()),
          m_pages(std::move(pages))
    {
    }

    void addFrame(int index, float *sum) override
    {
        const detail::ReadJob job = frameJob(index);
        m_pages->read(job, index, true, sum, false, true);
    }

private:
    std::unique_ptr<detail::TiffPages> m_pages; // reads from m_source, so declared (and destroyed) after it
};

// A PNG holds one image, decoded whole: it is its only frame.
class ImageFrames final : public FrameReader {
public:
    ImageFrames(const QString &name, MicrographImage image)
        : FrameReader(name, image.width, image.height, 1, image.pixelSizeNm), m_image(std::move(image))
    {
    }

    void addFrame(int index, float *sum) override
    {
        if (index != 0)
            throw OrvalisError(
                QStringLiteral("Cannot read frame %1 of 1 of %2: there is no such frame.").arg(index + 1).arg(name()));
        for (std::size_t i = 0; i < m_image.data.size(); ++i)
            sum[i] += m_image.data[i];
    }

private:
    MicrographImage m_image;
};

} // namespace

std::unique_ptr<FrameReader> openFrames(const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    auto source = std::make_unique<FileSource>(path);
    if (!source->isOpen())
        throw OrvalisError(
            QStringLiteral("Cannot open the micrograph %1: %2.").arg(shown, detail::openFailure(*source)));
    const detail::ReadJob job{*source, shown, noProgress()};
    switch (detail::detectFormat(job, path)) {
    case detail::FileFormat::Tiff: {
        if (detail::isEerCompression(detail::firstTiffCompression(job)))
            return openEerFrames(path);
        auto pages = std::make_unique<detail::TiffPages>(job);
        return std::make_unique<TiffFrames>(std::move(source), shown, std::move(pages));
    }
    case detail::FileFormat::Png: {
        MicrographImage image = detail::readPng(job);
        return std::make_unique<ImageFrames>(shown, std::move(image));
    }
    case detail::FileFormat::Mrc: break;
    }
    const detail::MrcLayout layout = detail::readMrcLayout(job);
    // A stack cut short names the frame it ends in: the frames before it could be read, but a movie's
    // spectrum or a series of fewer frames than the header says would not be what the user asked for.
    const std::uint64_t available = layout.fileSize - layout.dataStart;
    const std::uint64_t expected = layout.frameBytes * static_cast<std::uint64_t>(layout.nz);
    if (available < expected)
        job.fail(QStringLiteral("it is truncated: its header describes %1 frames of %2 x %3 pixels (mode %4) after %5 "
                                "bytes of headers, but the file of %6 bytes ends within frame %7")
                     .arg(layout.nz)
                     .arg(layout.nx)
                     .arg(layout.ny)
                     .arg(layout.mode)
                     .arg(layout.dataStart)
                     .arg(layout.fileSize)
                     .arg(available / layout.frameBytes + 1));
    detail::checkMrcExtent(job, layout);
    return std::make_unique<MrcFrames>(std::move(source), shown, layout);
}

} // namespace orvalis
