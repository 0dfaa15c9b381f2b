#pragma once
// The tests' own EER encoder, written from the format's description (see eerreader.cpp): a frame's
// electrons as the camera's run-length codes, and a TIFF of such pages written through libtiff as
// raw strips, so that the decoder is checked against files whose content is known event by event.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace orvalis::test {

// One electron: its pixel and where within it the camera placed it (0 .. 2^bits - 1 a side).
struct EerEvent {
    int x = 0, y = 0;
    int subX = 0, subY = 0;
};

struct EerLayout {
    std::uint16_t compression = 65001; // 65000, 65001 or 65002
    // For 65002, written to its tags 65007 to 65009; 65000 and 65001 have 8 + 2 + 2 and 7 + 2 + 2.
    int runBits = 7;
    int subpixelBitsX = 1, subpixelBitsY = 1;

    int effectiveRunBits() const;
    int effectiveSubpixelBits() const; // x and y together
};

// The bit stream of one width x height frame holding `events` (at most one a pixel; any order).
QByteArray encodeEerFrame(std::vector<EerEvent> events, int width, int height, const EerLayout &layout);

// Writes a TIFF whose pages are `streams` as they stand, each cut into `stripsPerPage` raw strips
// (fewer when a stream is shorter), an empty stream standing for an uncompressed 8-bit page of zeros
// (the summed image some software adds), with `acquisitionXml` (when not empty) in the first page's
// private tag 65001. False with `error` set when libtiff cannot.
bool writeEerFile(const QString &path, int width, int height, const EerLayout &layout,
                  const std::vector<QByteArray> &streams, QString *error, int stripsPerPage = 1,
                  const QByteArray &acquisitionXml = {});

// An ordinary 8-bit grey TIFF of one page (zeros), uncompressed: what an EER reader must refuse.
bool writePlainTiff(const QString &path, int width, int height, QString *error);

} // namespace orvalis::test
