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

namespace orvalis::detail {

struct ReadJob {
    ByteSource &source;
    QString name; // the file as the user knows it
    const ProgressCallback &progress;

    // Throws the OrvalisError "Cannot open the micrograph NAME: WHAT."
    [[noreturn]] void fail(const QString &what) const;
};

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

MicrographImage readMrc(const ReadJob &job);
MicrographImage readTiff(const ReadJob &job);
MicrographImage readPng(const ReadJob &job);

} // namespace orvalis::detail
