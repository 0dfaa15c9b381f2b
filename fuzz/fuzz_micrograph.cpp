// Any bytes at all handed to the micrograph readers: they may refuse them, never crash, never read
// or write outside their buffers, and what they accept is a whole image.
#include "core/orvaliserror.h"
#include "micrograph/micrographreader.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An MRC file has no signature: as ".mrc" the bytes are read as MRC unless they carry a TIFF or
    // PNG one; under another name, only then or with MRC2014's "MAP ".
    for (const char *name : {"fuzz.mrc", "fuzz.bin"}) {
        try {
            double last = 0;
            const orvalis::MicrographImage image = orvalis::readMicrographData(data, size, QString::fromLatin1(name),
                                                                               [&last](double f) {
                                                                                   if (f < last || f > 1)
                                                                                       std::abort();
                                                                                   last = f;
                                                                                   return true;
                                                                               });
            if (image.width < orvalis::kMinImageSide || image.height < orvalis::kMinImageSide
                || image.data.size() != std::size_t(image.width) * std::size_t(image.height))
                std::abort();
        } catch (const orvalis::OrvalisError &) {
            // refused: fine
        }
    }
    return 0;
}
