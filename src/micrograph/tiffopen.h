#pragma once
// libtiff over the readers' byte source, for the TIFF reader and the EER decoder alike: libtiff's
// messages are caught per file (and its process-wide handlers silenced), so nothing reaches stderr
// and the first error becomes the text of ours.
#include "micrograph/bytesource.h"

#include <tiffio.h>

#include <QString>

#include <cstdint>
#include <memory>

namespace orvalis::detail {

struct TiffClient {
    ByteSource &source;
    std::uint64_t position = 0;
    QString firstError; // libtiff's first error message, if any
};

struct TiffCloser {
    void operator()(TIFF *t) const { TIFFClose(t); }
};

struct OptionsFree {
    void operator()(TIFFOpenOptions *o) const { TIFFOpenOptionsFree(o); }
};

struct TiffOpened {
    TiffClient client;
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options;
    std::unique_ptr<TIFF, TiffCloser> tif;
};

// Opens the TIFF in `source` (`name` for libtiff's messages) with its messages caught into
// client.firstError; tif is null when libtiff cannot open it. Warnings are dropped: private tags and
// unknown compressions (every EER page has both) are nothing a user need hear of.
std::unique_ptr<TiffOpened> openTiff(ByteSource &source, const QString &name);

} // namespace orvalis::detail
