// Movies read frame by frame: every frame of a stack as it was written (MRC in each mode, multi-page
// TIFF), the readers' independent test files summed frame by frame as readMicrograph sums them, and
// stacks that are cut short or not read here refused with messages that name the file and the frame.
#include "core/orvaliserror.h"
#include "micrograph/framereader.h"
#include "micrograph/micrographreader.h"

#include <tiffio.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <vector>

using namespace orvalis;

namespace {

const QString kFiles = QStringLiteral(ORVALIS_MICROGRAPH_TEST_FILES);

// The test movie's value at pixel (x, y) of frame f: small integers, exact in every sample type
// (also 8-bit and half-precision ones), different in every frame.
float movieValue(int x, int y, int f)
{
    return static_cast<float>((x * 7 + y * 3 + f * 11) % 97 + f);
}

// Half precision of a value it holds exactly (the small integers above).
std::uint16_t toHalf(float v)
{
    if (v == 0)
        return 0;
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    const std::uint32_t sign = (bits >> 16) & 0x8000u;
    const int exponent = static_cast<int>((bits >> 23) & 0xff) - 127 + 15;
    return static_cast<std::uint16_t>(sign | (static_cast<std::uint32_t>(exponent) << 10) | ((bits >> 13) & 0x3ffu));
}

// An MRC stack of `frames` movieValue frames in `mode` (0, 1, 2, 6 or 12), little-endian.
QByteArray mrcMovie(int width, int height, int frames, int mode)
{
    const int sample = mode == 0 ? 1 : mode == 2 ? 4 : 2;
    QByteArray bytes(1024 + qsizetype(width) * height * frames * sample, '\0');
    const auto word = [&](int index, std::int32_t value) { std::memcpy(bytes.data() + 4 * index, &value, 4); };
    word(0, width);
    word(1, height);
    word(2, frames);
    word(3, mode);
    word(7, width);
    word(8, height);
    word(9, frames);
    const float cell = 1.5f * static_cast<float>(width); // 1.5 Å a pixel
    std::memcpy(bytes.data() + 40, &cell, 4);
    word(16, 1);
    word(17, 2);
    word(18, 3);
    std::memcpy(bytes.data() + 208, "MAP ", 4);
    bytes[212] = 0x44;
    bytes[213] = 0x44;
    char *p = bytes.data() + 1024;
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x, p += sample) {
                const float v = movieValue(x, y, f);
                if (mode == 0) {
                    *p = static_cast<char>(static_cast<std::int8_t>(v));
                } else if (mode == 1) {
                    const auto s = static_cast<std::int16_t>(v);
                    std::memcpy(p, &s, 2);
                } else if (mode == 6) {
                    const auto s = static_cast<std::uint16_t>(v);
                    std::memcpy(p, &s, 2);
                } else if (mode == 12) {
                    const std::uint16_t h = toHalf(v);
                    std::memcpy(p, &h, 2);
                } else {
                    std::memcpy(p, &v, 4);
                }
            }
    return bytes;
}

// A multi-page TIFF of movieValue frames written by libtiff: 16-bit unsigned or 32-bit float pages,
// in strips of 5 rows, uncompressed or deflated.
bool writeTiffMovie(const QString &path, int width, int height, int frames, bool floats, int compression)
{
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (tif == nullptr)
        return false;
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 4);
    for (int f = 0; f < frames; ++f) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, floats ? 32 : 16);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 5);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const float v = movieValue(x, y, f);
                if (floats) {
                    std::memcpy(row.data() + 4 * x, &v, 4);
                } else {
                    const auto s = static_cast<std::uint16_t>(v);
                    std::memcpy(row.data() + 2 * x, &s, 2);
                }
            }
            if (TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
                TIFFClose(tif);
                return false;
            }
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return true;
}

// Stamps the first page of the little-endian TIFF `bytes` as compressed by `compression` (as an
// EER movie's pages are) without touching its pixels.
void stampCompression(QByteArray &bytes, std::uint16_t compression)
{
    std::uint32_t ifd;
    std::memcpy(&ifd, bytes.constData() + 4, 4);
    std::uint16_t entries;
    std::memcpy(&entries, bytes.constData() + ifd, 2);
    for (int e = 0; e < entries; ++e) {
        char *entry = bytes.data() + ifd + 2 + 12 * e;
        std::uint16_t tag;
        std::memcpy(&tag, entry, 2);
        if (tag == TIFFTAG_COMPRESSION)
            std::memcpy(entry + 8, &compression, 2);
    }
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The message of the OrvalisError that `read` raises, or "" when it does not.
template <typename Read> QString refusal(const Read &read)
{
    try {
        read();
    } catch (const OrvalisError &e) {
        return e.text();
    }
    return {};
}

} // namespace

class TestMovie : public QObject {
    Q_OBJECT
private slots:
    void framesAsWritten_data();
    void framesAsWritten();
    void sumsAsReadMicrograph_data();
    void sumsAsReadMicrograph();
    void badStacks_data();
    void badStacks();
};

void TestMovie::framesAsWritten_data()
{
    QTest::addColumn<QString>("format"); // "mrc N" for MRC mode N, else a TIFF's
    QTest::newRow("MRC mode 0 (8-bit)") << "mrc 0";
    QTest::newRow("MRC mode 1 (16-bit)") << "mrc 1";
    QTest::newRow("MRC mode 2 (float)") << "mrc 2";
    QTest::newRow("MRC mode 6 (unsigned 16-bit)") << "mrc 6";
    QTest::newRow("MRC mode 12 (half float)") << "mrc 12";
    QTest::newRow("TIFF 16-bit pages") << "tiff uint16";
    QTest::newRow("TIFF float pages, deflated") << "tiff float deflate";
}

// Each frame read alone and out of order is the frame written, and frames add into the sum given.
void TestMovie::framesAsWritten()
{
    QFETCH(QString, format);
    const int width = 33, height = 21, frames = 6;
    QTemporaryDir dir;
    QString path;
    if (format.startsWith(QLatin1String("mrc"))) {
        path = dir.filePath(QStringLiteral("movie.mrcs"));
        QVERIFY(writeFile(path, mrcMovie(width, height, frames, format.mid(4).toInt())));
    } else {
        path = dir.filePath(QStringLiteral("movie.tif"));
        QVERIFY(
            writeTiffMovie(path, width, height, frames, format.contains(QLatin1String("float")),
                           format.contains(QLatin1String("deflate")) ? COMPRESSION_ADOBE_DEFLATE : COMPRESSION_NONE));
    }
    const std::unique_ptr<FrameReader> reader = openFrames(path);
    QCOMPARE(reader->width(), width);
    QCOMPARE(reader->height(), height);
    QCOMPARE(reader->frames(), frames);
    QCOMPARE(reader->name(), QDir::toNativeSeparators(path));
    if (format.startsWith(QLatin1String("mrc")))
        QCOMPARE(reader->pixelSizeNm(), 0.15);
    for (const int f : {4, 0, 5, 2}) {
        std::vector<float> sum(std::size_t(width) * height, 1000.0f);
        reader->addFrame(f, sum.data());
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (sum[std::size_t(y) * width + x] != 1000.0f + movieValue(x, y, f))
                    QFAIL(qPrintable(QStringLiteral("frame %1, pixel x = %2, y = %3: %4 instead of %5")
                                         .arg(f)
                                         .arg(x)
                                         .arg(y)
                                         .arg(double(sum[std::size_t(y) * width + x]) - 1000)
                                         .arg(double(movieValue(x, y, f)))));
    }
}

void TestMovie::sumsAsReadMicrograph_data()
{
    QTest::addColumn<QString>("file");
    QFile manifest(kFiles + QStringLiteral("/manifest.json"));
    QVERIFY2(manifest.open(QIODevice::ReadOnly), qPrintable(manifest.fileName()));
    for (const QJsonValue v : QJsonDocument::fromJson(manifest.readAll()).object().value("good").toArray()) {
        const QString file = v.toObject().value("file").toString();
        QTest::newRow(qPrintable(file)) << file;
    }
}

// The readers' files from independent writers, summed frame by frame, are what readMicrograph reads.
void TestMovie::sumsAsReadMicrograph()
{
    QFETCH(QString, file);
    const QString path = kFiles + QLatin1Char('/') + file;
    const MicrographImage image = readMicrograph(path);
    const std::unique_ptr<FrameReader> reader = openFrames(path);
    QCOMPARE(reader->width(), image.width);
    QCOMPARE(reader->height(), image.height);
    QCOMPARE(reader->frames(), image.frames);
    QCOMPARE(reader->pixelSizeNm(), image.pixelSizeNm);
    std::vector<float> sum(image.data.size(), 0.0f);
    for (int f = 0; f < reader->frames(); ++f)
        reader->addFrame(f, sum.data());
    QVERIFY(sum == image.data);
}

void TestMovie::badStacks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // %1: the file
    QTest::newRow("MRC stack cut short in frame 5")
        << "truncated"
        << "Cannot open the micrograph %1: it is truncated: its header describes 6 frames of 33 x 21 pixels (mode 1) "
           "after 1024 bytes of headers, but the file of 7944 bytes ends within frame 5.";
    QTest::newRow("NaN in frame 3") << "nan"
                                    << "Cannot read frame 3 of 6 of %1: its pixel x = 4, y = 2 is not a finite number "
                                       "(NaN or infinity).";
    QTest::newRow("EER movie") << "eer"
                               << "Cannot open the micrograph %1: it is an EER movie (TIFF compression 65001), whose "
                                  "frames are not read here.";
}

void TestMovie::badStacks()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const int width = 33, height = 21, frames = 6;
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("movie.mrcs"));
    if (kind == QLatin1String("truncated")) {
        QByteArray bytes = mrcMovie(width, height, frames, 1);
        bytes.chop(width * height * 2 + 10); // the last frame and 10 bytes of the one before
        QVERIFY(writeFile(path, bytes));
    } else if (kind == QLatin1String("nan")) {
        QByteArray bytes = mrcMovie(width, height, frames, 2);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        std::memcpy(bytes.data() + 1024 + 4 * (2 * width * height + 2 * width + 4), &nan, 4);
        QVERIFY(writeFile(path, bytes));
    } else {
        path = dir.filePath(QStringLiteral("movie.eer"));
        QVERIFY(writeTiffMovie(path, width, height, 2, false, COMPRESSION_NONE));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        stampCompression(bytes, 65001);
        QVERIFY(writeFile(path, bytes));
    }
    const QString got = refusal([&] {
        const std::unique_ptr<FrameReader> reader = openFrames(path);
        std::vector<float> sum(std::size_t(width) * height, 0.0f);
        for (int f = 0; f < reader->frames(); ++f)
            reader->addFrame(f, sum.data());
    });
    QCOMPARE(got, message.arg(QDir::toNativeSeparators(path)));
}

QTEST_GUILESS_MAIN(TestMovie)
#include "test_movie.moc"
