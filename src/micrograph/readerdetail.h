#pragma once
// What the three readers share: the job they work on, the one form of their messages, the size
// checks made before anything is allocated, and the conversion of stored samples into the summed
// float image.
#include "micrograph/bytesource.h"
#include "micrograph/micrographimage.h"
#include "micrograph/progress.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace orvalis::detail {

struct ReadJob {
    ByteSource &source;
    QString name; // the file as the user knows it
    const ProgressCallback &progress;
    // Set while a frame reader reads one frame (0 .. frames - 1) of `frames`; -1 while a file is opened.
    int frame = -1;
    int frames = 0;

    // Throws the OrvalisError "Cannot open the micrograph NAME: WHAT.", or while a frame is read
    // "Cannot read frame K of N of NAME: WHAT." (K counted from 1, as the user counts pages).
    [[noreturn]] void fail(const QString &what) const;
};

enum class FileFormat { Mrc, Tiff, Png };
// The format told by the file's first bytes (and for MRC, which has no signature, by `fileName`'s
// suffix or MRC2014's "MAP "); fails the job for a file that is none of them.
FileFormat detectFormat(const ReadJob &job, const QString &fileName);
// The sentence ending "Cannot open the micrograph NAME: " for a file FileSource did not open.
QString openFailure(const FileSource &source);

// Why an image of width x height pixels is not opened (too small, too large, no image at all), or
// an empty text when it is fine.
QString imageSizeProblem(std::int64_t width, std::int64_t height);
// Fails the job when imageSizeProblem has something to say.
void checkImageSize(const ReadJob &job, std::int64_t width, std::int64_t height);
// Allocates the zeroed image once its size has been checked.
MicrographImage newImage(int width, int height);
// Fails the job when a pixel of the summed image is NaN or infinite, naming the first one.
void checkFinite(const ReadJob &job, const MicrographImage &image);

// nm per pixel from a length per pixel the file gives, or 0 when it is not a size a detector pixel
// at the specimen can have (0.001 to 10 nm: larger values are prints and scans, not specimens).
double plausiblePixelSize(double nm);

enum class SampleType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float16, Float32 };
int sampleBytes(SampleType type);
// true when the samples can hold NaN or infinity.
bool isFloatSample(SampleType type);

// Converts `count` stored samples at `raw` (byte-swapped first when `swap`) and writes them to
// `out` (the first frame) or adds them (the frames after it).
void convertSamples(SampleType type, const unsigned char *raw, std::size_t count, bool swap, bool add, float *out);

float halfToFloat(std::uint16_t h);

// Fails the job when one of `count` stored samples at `raw` (in this machine's byte order unless
// `swap`) is NaN or infinite, naming its pixel: the samples start at pixel `first` of an image
// `width` pixels wide. Integer samples always pass.
void checkFiniteSamples(const ReadJob &job, SampleType type, const unsigned char *raw, std::size_t count, bool swap,
                        std::size_t first, int width);

// An MRC file's header, checked: the sample type and byte order, the size of a section, and where
// the sections start. Whether the file holds them all is left to the caller (checkMrcExtent).
struct MrcLayout {
    std::int64_t nx = 0, ny = 0, nz = 0;
    std::int32_t mode = 0;
    SampleType type = SampleType::Float32;
    bool swap = false;
    std::uint64_t fileSize = 0, dataStart = 0, frameBytes = 0;
    double pixelSizeNm = 0;
};
MrcLayout readMrcLayout(const ReadJob &job);
// Fails the job when the file holds fewer or more bytes of pixels than the header describes.
void checkMrcExtent(const ReadJob &job, const MrcLayout &layout);
// Converts section `z` of the file into `out` (add: adds to it), in pieces of a few MB through
// `buffer`, reporting progress as the fraction of `(z + piece) / sections` of the whole file when
// `progress` is set. Native floats of the first section go straight into `out`.
// With `checkSamples`, each piece's samples are checked by checkFiniteSamples before they are used.
void readMrcSection(const ReadJob &job, const MrcLayout &layout, std::int64_t z, bool add, float *out,
                    std::vector<unsigned char> &buffer, bool reportWholeFile, bool checkSamples = false);

// The pages of a TIFF that are images (thumbnails beside the first page left out), all alike and
// checked against the file when it is opened; any of them then read on demand.
class TiffPages {
public:
    // Opens the TIFF in job.source (which must outlive this) and checks every page; fails the job.
    explicit TiffPages(const ReadJob &job);
    ~TiffPages();
    TiffPages(const TiffPages &) = delete;
    TiffPages &operator=(const TiffPages &) = delete;
    int count() const;
    int width() const;
    int height() const;
    SampleType type() const;
    double pixelSizeNm() const; // of the first page
    // Converts page `index` (0 .. count() - 1) into `out` (add: adds to it); fails `job` (which may
    // be a frame's) when its strips cannot be read. Progress is reported when `reportWholeFile`.
    // With `checkSamples`, each strip's samples are checked by checkFiniteSamples before they are used.
    void read(const ReadJob &job, int index, bool add, float *out, bool reportWholeFile, bool checkSamples = false);

private:
    struct State;
    std::unique_ptr<State> m;
};
// The TIFF compression of the first page of the TIFF in job.source (0 when libtiff cannot open it).
int firstTiffCompression(const ReadJob &job);
// EER movies are TIFF files whose pages are compressed in the camera maker's own way.
inline bool isEerCompression(int compression)
{
    return compression >= 65000 && compression <= 65002;
}

MicrographImage readMrc(const ReadJob &job);
MicrographImage readTiff(const ReadJob &job);
MicrographImage readPng(const ReadJob &job);

} // namespace orvalis::detail
