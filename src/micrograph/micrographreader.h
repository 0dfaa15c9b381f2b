#pragma once
// The user's micrographs from MRC/MRC2014, TIFF and grey PNG files. Every failure is one
// OrvalisError whose text names the file and what is wrong with it; nothing is kept from a failed
// read. Reading runs off the event loop in the window, so it reports progress and can be cancelled.
#include "micrograph/micrographimage.h"
#include "micrograph/progress.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace orvalis {

// The largest image opened: 32768 pixels a side and 2^27 pixels in all (512 MiB of floats). The
// largest camera frames in use, super-resolution frames of about 11,500 x 8,200 pixels (94 million),
// fit with room to spare. The sizes are checked against the header before anything is allocated, so
// a damaged header that claims 100,000 x 100,000 pixels cannot make the program ask for 40 GB.
inline constexpr int kMaxImageSide = 32768;
inline constexpr std::int64_t kMaxImagePixels = std::int64_t(1) << 27;
// No spectrum or average can be made of fewer pixels a side.
inline constexpr int kMinImageSide = 2;

// Reads the image in `path`, which must be a regular file (a FIFO, device or folder is refused
// before anything is read): MRC (modes 0, 1, 2, 6 and 12; the sections of a stack summed; the
// pixel size from the cell and sampling of the header), TIFF through libtiff (8, 16 and 32-bit
// integers and 32-bit floats, one sample a pixel, in strips, uncompressed or compressed in any way
// libtiff decodes; up to 4096 pages summed, each checked against the file before anything is
// decoded; the pixel size from a resolution tag in centimetres or inches, or ImageJ's: no unit in
// the tag and micron, nm or Å in the description), an EER movie (its frames' electrons counted at the
// detector's pixels and summed, see framereader.h), or an 8 or 16-bit grey PNG. The format is told by the file's first
// bytes (MRC has no signature: a file that is neither TIFF nor PNG is read as MRC when its name ends in .mrc, .mrcs,
// .map, .st or .ali, or when its header carries MRC2014's "MAP "). Throws OrvalisError on bad input and Cancelled when
// `progress` asks to stop.
MicrographImage readMicrograph(const QString &path, const ProgressCallback &progress = {});

// The same from bytes in memory; `name` stands for the file in messages and decides the MRC case
// as a file name does.
MicrographImage readMicrographData(const void *data, std::size_t size, const QString &name,
                                   const ProgressCallback &progress = {});

} // namespace orvalis
