#pragma once
// The frames of a movie (a camera's dose fractions) or the sections of a stack (a tilt series), read
// one at a time from the file: a 40-frame 4096 x 4096 movie is 2.7 GB as floats, so nothing that
// reads frames ever holds the whole stack. readMicrograph sums them all into one image; these
// readers let the movie's spectrum sum them a few at a time and a tilt series take them one by one.
#include "micrograph/progress.h"

#include <QString>

#include <memory>
#include <utility>

namespace orvalis {

class FrameReader {
public:
    virtual ~FrameReader() = default;
    FrameReader(const FrameReader &) = delete;
    FrameReader &operator=(const FrameReader &) = delete;

    int width() const { return m_width; }                // pixels along a row (x)
    int height() const { return m_height; }              // rows (y)
    int frames() const { return m_frames; }              // MRC sections, TIFF pages, EER frames
    double pixelSizeNm() const { return m_pixelSizeNm; } // nm at the specimen; 0 when the file gives none
    const QString &name() const { return m_name; }       // the file as the user named it

    // Adds frame `index` (0 .. frames() - 1) to `sum`, width() * height() floats laid out as
    // MicrographImage::data (row 0 first). Throws OrvalisError naming the file and the frame (a
    // truncated file, a page that does not decode, a value that is not finite); `sum` is then
    // undefined and the caller drops it.
    virtual void addFrame(int index, float *sum) = 0;

protected:
    FrameReader(QString name, int width, int height, int frames, double pixelSizeNm)
        : m_name(std::move(name)), m_width(width), m_height(height), m_frames(frames), m_pixelSizeNm(pixelSizeNm)
    {
    }

private:
    QString m_name;
    int m_width = 0, m_height = 0, m_frames = 0;
    double m_pixelSizeNm = 0;
};

// Opens the regular file `path` for reading frame by frame, the format told by its content as
// readMicrograph tells it (MRC and TIFF), and EER (a TIFF whose pages are compressed as 65000 to
// 65002). The header and each frame's place in the file are checked before anything is returned.
// Throws OrvalisError naming the file and what is wrong.
std::unique_ptr<FrameReader> openFrames(const QString &path);

// An EER file's frames rendered at the detector's physical pixels (no super-resolution): each
// frame's electron events counted into its pixels. Throws OrvalisError as openFrames.
std::unique_ptr<FrameReader> openEerFrames(const QString &path);

} // namespace orvalis
