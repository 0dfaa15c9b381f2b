// The readers against files written by independent writers (mrcfile, tifffile, libtiff's tiffcp and
// a PNG writer of the test's own, see make_test_files.py), and every kind of bad input: each must
// give one message that names the file and what is wrong, and libtiff must not print a word.
#include "core/orvaliserror.h"
#include "micrograph/micrographreader.h"

#include "../support/specialfiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <unistd.h>

using namespace orvalis;

namespace {

const QString kFiles = QStringLiteral(ORVALIS_MICROGRAPH_TEST_FILES);

QString filePath(const QString &name)
{
    return kFiles + QLatin1Char('/') + name;
}

QByteArray fileBytes(const QString &name)
{
    QFile f(filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whatever is written to file descriptor 2 while it lives.
class StderrCapture {
public:
    StderrCapture() : m_file(std::tmpfile())
    {
        std::fflush(stderr);
        m_saved = dup(2);
        dup2(fileno(m_file), 2);
    }
    ~StderrCapture()
    {
        restore();
        std::fclose(m_file);
    }
    QByteArray text()
    {
        restore();
        std::fseek(m_file, 0, SEEK_END);
        const long size = std::ftell(m_file);
        std::rewind(m_file);
        QByteArray bytes(static_cast<int>(size), '\0');
        if (size > 0 && std::fread(bytes.data(), 1, static_cast<std::size_t>(size), m_file) != std::size_t(size))
            bytes.clear();
        return bytes;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
    }
    std::FILE *m_file;
    int m_saved = -1;
};

// The message of the OrvalisError that reading `path` raises, or "" when it reads.
QString refusal(const QString &path)
{
    try {
        readMicrograph(path);
    } catch (const OrvalisError &e) {
        return e.text();
    }
    return {};
}

void putWord(QByteArray &bytes, int word, std::int32_t value)
{
    std::memcpy(bytes.data() + 4 * word, &value, 4);
}

void putFloat(QByteArray &bytes, qsizetype offset, float value)
{
    std::memcpy(bytes.data() + offset, &value, 4);
}

using Patch = std::function<void(QByteArray &)>;

} // namespace

Q_DECLARE_METATYPE(Patch)

class TestReaders : public QObject {
    Q_OBJECT
private slots:
    void independentWriters_data();
    void independentWriters();
    void badFiles_data();
    void badFiles();
    void specialFiles_data();
    void specialFiles();
    void badMrcHeaders_data();
    void badMrcHeaders();
    void progressAndCancel_data();
    void progressAndCancel();
};

void TestReaders::independentWriters_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("frames");
    QTest::addColumn<double>("pixelSizeNm");
    QFile manifest(filePath(QStringLiteral("manifest.json")));
    QVERIFY2(manifest.open(QIODevice::ReadOnly), qPrintable(manifest.fileName()));
    for (const QJsonValue v : QJsonDocument::fromJson(manifest.readAll()).object().value("good").toArray()) {
        const QJsonObject o = v.toObject();
        const QString file = o.value("file").toString();
        QTest::newRow(qPrintable(file)) << file << o.value("width").toInt() << o.value("height").toInt()
                                        << o.value("frames").toInt() << o.value("pixelSizeNm").toDouble();
    }
}

void TestReaders::independentWriters()
{
    QFETCH(QString, file);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, frames);
    QFETCH(double, pixelSizeNm);
    const QByteArray expected = fileBytes(file + QStringLiteral(".f32"));
    QCOMPARE(expected.size(), qsizetype(width) * height * 4);

    // From the file, and from its bytes in memory (libtiff then decodes from memory directly).
    const QByteArray bytes = fileBytes(file);
    for (const bool inMemory : {false, true}) {
        const MicrographImage image = inMemory ? readMicrographData(bytes.constData(), std::size_t(bytes.size()), file)
                                               : readMicrograph(filePath(file));
        QCOMPARE(image.width, width);
        QCOMPARE(image.height, height);
        QCOMPARE(image.frames, frames);
        QVERIFY2(
            std::abs(image.pixelSizeNm - pixelSizeNm) <= 1e-6 * pixelSizeNm,
            qPrintable(QStringLiteral("pixel size %1 nm, expected %2 nm").arg(image.pixelSizeNm).arg(pixelSizeNm)));
        for (int i = 0; i < width * height; ++i) {
            float want;
            std::memcpy(&want, expected.constData() + 4 * i, 4);
            if (image.data[std::size_t(i)] != want)
                QFAIL(qPrintable(QStringLiteral("pixel x = %1, y = %2: %3 instead of %4")
                                     .arg(i % width)
                                     .arg(i / width)
                                     .arg(double(image.data[std::size_t(i)]))
                                     .arg(double(want))));
        }
    }
}

void TestReaders::badFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("RGB TIFF") << "rgb.tif"
                              << "with 3 samples a pixel";
    QTest::newRow("tiled TIFF") << "tiled.tif"
                                << "tiled TIFF";
    QTest::newRow("64-bit float TIFF") << "float64.tif"
                                       << "64-bit floating-point";
    QTest::newRow("codec libtiff lacks") << "jpeg2000.tif"
                                         << "compression 34712";
    QTest::newRow("damaged deflate data") << "corrupt_deflate.tif"
                                          << "libtiff says:";
    QTest::newRow("NaN in a float TIFF") << "nan.tif"
                                         << "pixel x = 11, y = 7 is not a finite number";
    QTest::newRow("truncated TIFF") << "truncated.tif"
                                    << "beyond the end of the file of 600 bytes";
    // Refused before the image is allocated (512 MiB for these claims) or a page is decoded.
    QTest::newRow("uncompressed claim beyond the strip")
        << "claims_uncompressed.tif"
        << "claims 11585 x 11585 pixels whose strip 0 lies at bytes 256 to 23426, beyond the end of the file";
    QTest::newRow("uncompressed strip shorter than its rows")
        << "short_strip.tif"
        << "claims 37 x 23 pixels of 16 bits (1702 bytes), but its strip 0 holds 296 bytes of the 370";
    QTest::newRow("compressed claim beyond any packing") << "claims_compressed.tif"
                                                         << "more than 1024 times as many";
    QTest::newRow("5000 pages") << "many_pages.tif"
                                << "more than 4096 pages to sum";
    QTest::newRow("100 pages sharing one strip") << "shared_strips.tif"
                                                 << "the strips of its 100 pages claim 409600 bytes in all, more "
                                                    "than the file's 15504 bytes";
    QTest::newRow("colour PNG") << "rgb.png"
                                << "colour PNG";
    QTest::newRow("PNG claiming what deflate cannot pack")
        << "claims.png"
        << "it claims 11585 x 11585 pixels of 16 bits (268436035 bytes), more than 1032 times its ";
    QTest::newRow("truncated PNG") << "truncated.png"
                                   << "truncated";
    QTest::newRow("text file") << "not_an_image.txt"
                               << "not an MRC, TIFF or PNG image";
    QTest::newRow("missing file") << "no_such_file.mrc"
                                  << "No such file";
    QTest::newRow("folder") << "."
                            << "is a folder";
}

void TestReaders::badFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, fragment);
    const QString path = filePath(file);
    QVERIFY2(file == QLatin1String("no_such_file.mrc") || QFileInfo::exists(path), qPrintable(path));
    StderrCapture stderrText;
    const QString message = refusal(path);
    const QByteArray printed = stderrText.text();
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    QVERIFY2(message.contains(fragment), qPrintable(message));
    QVERIFY2(printed.isEmpty(), printed.constData());
}

void TestReaders::specialFiles_data()
{
    test::addSpecialFileRows();
}

// Nothing but a regular file is opened: a FIFO would wait for a writer, a device read without end.
void TestReaders::specialFiles()
{
    QFETCH(int, kind);
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("special.mrc"));
    if (!test::makeSpecialFile(test::SpecialFile(kind), path))
        QSKIP("this system does not let the test make one");
    // Should the reader wait on the FIFO after all, it gets an empty file instead: the message tells.
    const test::FifoUnblocker unblocker(path);
    const QString message = refusal(path);
    // "It is a FIFO ..., not a regular file." continues the message as "...: it is a FIFO ..."
    const QString expected = QLatin1Char('i') + what.mid(1).remove(QRegularExpression(QStringLiteral("\\.$")));
    QVERIFY2(message.startsWith(QStringLiteral("Cannot open the micrograph %1: ").arg(path)), qPrintable(message));
    QVERIFY2(message.contains(expected), qPrintable(message));
    if (test::SpecialFile(kind) == test::SpecialFile::Fifo) {
        QCOMPARE(message, QStringLiteral("Cannot open the micrograph %1: %2.").arg(path, expected));
        // A device every system has, which no test needs privileges to reach.
        QCOMPARE(refusal(QStringLiteral("/dev/zero")),
                 QStringLiteral("Cannot open the micrograph /dev/zero: it is a device, not a regular file."));
    }
}

void TestReaders::badMrcHeaders_data()
{
    QTest::addColumn<Patch>("patch");
    QTest::addColumn<QString>("fragment");
    // The good float file is 37 x 23 pixels with 256 bytes of extended header.
    QTest::newRow("truncated") << Patch([](QByteArray &b) { b.chop(10); }) << "it is truncated";
    QTest::newRow("longer than its header")
        << Patch([](QByteArray &b) { b.append(8, '\0'); }) << "8 bytes longer than its header describes";
    QTest::newRow("shorter than a header")
        << Patch([](QByteArray &b) { b.truncate(1000); }) << "fewer than the 1024 bytes of an MRC header";
    QTest::newRow("complex mode 4") << Patch([](QByteArray &b) { putWord(b, 3, 4); }) << "MRC mode 4 is not one";
    QTest::newRow("4-bit mode 101") << Patch([](QByteArray &b) { putWord(b, 3, 101); }) << "MRC mode 101 is not one";
    QTest::newRow("1 x 1 pixel") << Patch([](QByteArray &b) {
        putWord(b, 0, 1);
        putWord(b, 1, 1);
        b.truncate(1024 + 256 + 4);
    }) << "only 1 x 1 pixels";
    // Refused for its size, not for the file's length: nothing is allocated before this check.
    QTest::newRow("100,000 x 100,000") << Patch([](QByteArray &b) {
        putWord(b, 0, 100000);
        putWord(b, 1, 100000);
    }) << "claims 100000 x 100000 pixels";
    QTest::newRow("no pixels") << Patch([](QByteArray &b) { putWord(b, 0, 0); }) << "gives 0 x 23 pixels";
    QTest::newRow("no sections") << Patch([](QByteArray &b) { putWord(b, 2, 0); }) << "gives 0 sections";
    QTest::newRow("negative extended header")
        << Patch([](QByteArray &b) { putWord(b, 23, -4); }) << "extended header of -4 bytes";
    QTest::newRow("extended header past the end")
        << Patch([](QByteArray &b) { putWord(b, 23, 1 << 30); }) << "does not fit in the file";
    QTest::newRow("transposed axes") << Patch([](QByteArray &b) {
        putWord(b, 16, 2);
        putWord(b, 17, 1);
    }) << "stored in the order 2, 1, 3";
    QTest::newRow("NaN pixel") << Patch([](QByteArray &b) {
        putFloat(b, 1024 + 256 + 4 * (3 * 37 + 5), std::numeric_limits<float>::quiet_NaN());
    }) << "pixel x = 5, y = 3 is not a finite number";
    QTest::newRow("infinite pixel") << Patch([](QByteArray &b) {
        putFloat(b, 1024 + 256 + 4 * (22 * 37 + 36), -std::numeric_limits<float>::infinity());
    }) << "pixel x = 36, y = 22 is not a finite number";
}

void TestReaders::badMrcHeaders()
{
    QFETCH(Patch, patch);
    QFETCH(QString, fragment);
    QByteArray bytes = fileBytes(QStringLiteral("mode2_extended.mrc"));
    QCOMPARE(bytes.size(), qsizetype(1024 + 256 + 37 * 23 * 4));
    patch(bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("damaged.mrc"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    const QString message = refusal(path);
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    QVERIFY2(message.contains(fragment), qPrintable(message));
    // The same bytes from memory are refused alike.
    try {
        readMicrographData(bytes.constData(), std::size_t(bytes.size()), QStringLiteral("damaged.mrc"));
        QFAIL("read from memory");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().contains(fragment), qPrintable(e.text()));
    }
}

void TestReaders::progressAndCancel_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("MRC stack") << "stack_mode1.mrc";
    QTest::newRow("TIFF pages") << "pages_uint16.tif";
    QTest::newRow("TIFF strips") << "int16_strips.tif";
    QTest::newRow("PNG") << "grey8.png";
}

void TestReaders::progressAndCancel()
{
    QFETCH(QString, file);
    QVector<double> seen;
    readMicrograph(filePath(file), [&seen](double f) {
        seen.append(f);
        return true;
    });
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.last(), 1.0);
    for (int i = 1; i < seen.size(); ++i)
        QVERIFY2(seen[i] >= seen[i - 1] && seen[i] <= 1.0,
                 qPrintable(QStringLiteral("step %1: %2").arg(i).arg(seen[i])));

    int calls = 0;
    bool cancelled = false;
    try {
        readMicrograph(filePath(file), [&calls](double) { return ++calls < 2; });
    } catch (const Cancelled &) {
        cancelled = true;
    }
    QVERIFY(cancelled);
    QCOMPARE(calls, 2);
}

QTEST_GUILESS_MAIN(TestReaders)
#include "test_readers.moc"
