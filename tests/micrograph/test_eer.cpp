// The EER decoder against files of the tests' own encoder (tests/support/eerwriter.h), written
// electron by electron: each compression's codes, runs that cross many pixels, the last pixel, an
// empty frame, and frames that do not decode.
#include "core/orvaliserror.h"
#include "micrograph/framereader.h"
#include "micrograph/micrographreader.h"

#include "eerwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <numeric>
#include <vector>

using namespace orvalis;
using test::EerEvent;
using test::EerLayout;

namespace {

constexpr int kWidth = 64, kHeight = 48; // not square: x and y must not trade places

EerLayout layoutOf(int compression, int runBits = 7, int subX = 1, int subY = 1)
{
    EerLayout l;
    l.compression = static_cast<std::uint16_t>(compression);
    l.runBits = runBits;
    l.subpixelBitsX = subX;
    l.subpixelBitsY = subY;
    return l;
}

// The frames of a named case, for a frame of width x height and sub-pixels of `subBits` a side.
std::vector<std::vector<EerEvent>> framesOf(const QString &name, int width, int height, int longestRun, int subBits)
{
    std::vector<std::vector<EerEvent>> frames;
    const auto at = [&](long long pixel, int sub = 0) {
        return EerEvent{static_cast<int>(pixel % width), static_cast<int>(pixel / width), sub,
                        (sub + 1) % (1 << subBits)};
    };
    if (name == QLatin1String("scattered")) {
        unsigned state = 12345;
        for (int f = 0; f < 3; ++f) {
            std::vector<EerEvent> events;
            for (long long p = 0; p < static_cast<long long>(width) * height; ++p) {
                state = state * 1103515245u + 12345u;
                if ((state >> 16) % 9 == 0)
                    events.push_back(at(p, static_cast<int>((state >> 8) % (1u << subBits))));
            }
            frames.push_back(events);
        }
    } else if (name == QLatin1String("long runs")) {
        // A gap of many longest runs, one of exactly two, and one a pixel short of one.
        const long long a = 1000, b = a + 1 + 2LL * longestRun, c = b + longestRun;
        frames.push_back({at(0), at(a), at(b), at(c)});
        frames.push_back({at(longestRun - 1), at(longestRun), at(2LL * longestRun + 1)});
    } else if (name == QLatin1String("last pixel")) {
        frames.push_back({at(static_cast<long long>(width) * height - 1, 1)});
        frames.push_back({at(0), at(static_cast<long long>(width) * height - 1)});
    } else if (name == QLatin1String("full row")) {
        std::vector<EerEvent> events;
        for (int x = 0; x < width; ++x)
            events.push_back(EerEvent{x, 3, x % (1 << subBits), 0});
        frames.push_back(events);
    } else if (name == QLatin1String("empty")) {
        frames.push_back({});
        frames.push_back({at(5)});
        frames.push_back({});
    }
    return frames;
}

QString refusal(const std::function<void()> &what)
{
    try {
        what();
    } catch (const OrvalisError &e) {
        return e.text();
    }
    return QStringLiteral("(nothing refused)");
}

} // namespace

class TestEer : public QObject {
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void badFrame_data();
    void badFrame();
    void refusedFile_data();
    void refusedFile();
    void summedPageSkipped();
    void pixelSize_data();
    void pixelSize();

private:
    QTemporaryDir m_dir;
};

void TestEer::roundTrip_data()
{
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("runBits");
    QTest::addColumn<int>("subBits"); // a side
    QTest::addColumn<QString>("events");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("strips");
    struct Codes {
        const char *name;
        int compression, runBits, subBits;
    };
    const Codes codes[] = {{"65000 (8 + 4 bits, fixed)", 65000, 8, 2},
                           {"65001 (7 + 4 bits)", 65001, 7, 2},
                           {"65002 (7 + 1 + 1 bits)", 65002, 7, 1},
                           {"65002 (4 + 2 + 2 bits)", 65002, 4, 2}};
    const char *cases[] = {"scattered", "long runs", "last pixel", "full row", "empty"};
    for (const Codes &c : codes) {
        for (const char *name : cases)
            QTest::addRow("%s, %s", c.name, name)
                << c.compression << c.runBits << c.subBits << QString::fromLatin1(name) << kWidth << kHeight
                << (std::strcmp(name, "scattered") == 0 ? 5 : 1);
        // A frame whose pixels are a whole number of longest runs: the last run ends it.
        const int longest = (1 << c.runBits) - 1;
        QTest::addRow("%s, empty, ends with a longest run", c.name)
            << c.compression << c.runBits << c.subBits << QStringLiteral("empty") << longest << 4 << 1;
    }
}

// Every electron is counted at its pixel, once, added to what the sum holds; the sub-pixel bits
// place nothing.
void TestEer::roundTrip()
{
    QFETCH(int, compression);
    QFETCH(int, runBits);
    QFETCH(int, subBits);
    QFETCH(QString, events);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, strips);
    const EerLayout layout = layoutOf(compression, runBits, subBits, subBits);
    const auto frames = framesOf(events, width, height, (1 << layout.effectiveRunBits()) - 1, subBits);
    std::vector<QByteArray> streams;
    for (const auto &f : frames)
        streams.push_back(test::encodeEerFrame(f, width, height, layout));
    const QString path = m_dir.filePath(QStringLiteral("roundtrip.eer"));
    QString error;
    QVERIFY2(test::writeEerFile(path, width, height, layout, streams, &error, strips), qPrintable(error));

    const auto reader = openEerFrames(path);
    QCOMPARE(reader->width(), width);
    QCOMPARE(reader->height(), height);
    QCOMPARE(reader->frames(), static_cast<int>(frames.size()));
    QCOMPARE(reader->pixelSizeNm(), 0.0);
    QCOMPARE(reader->name(), QDir::toNativeSeparators(path));
    // Backwards, so that no frame is read only because the one before it was.
    for (int f = static_cast<int>(frames.size()) - 1; f >= 0; --f) {
        std::vector<float> expected(static_cast<std::size_t>(width) * height, 0.5f);
        for (const EerEvent &e : frames[static_cast<std::size_t>(f)])
            expected[static_cast<std::size_t>(e.y) * width + e.x] += 1.0f;
        std::vector<float> sum(expected.size(), 0.5f);
        reader->addFrame(f, sum.data());
        for (std::size_t i = 0; i < sum.size(); ++i)
            if (sum[i] != expected[i])
                QFAIL(qPrintable(QStringLiteral("frame %1, pixel x = %2, y = %3: %4, not %5")
                                     .arg(f)
                                     .arg(i % width)
                                     .arg(i / width)
                                     .arg(sum[i])
                                     .arg(expected[i])));
    }
    // Opened as any movie or micrograph is, the file is told as EER by its compression: the same
    // frames one by one, and summed.
    const auto byContent = openFrames(path);
    std::vector<float> all(static_cast<std::size_t>(width) * height, 0.0f);
    for (int f = 0; f < byContent->frames(); ++f)
        byContent->addFrame(f, all.data());
    const MicrographImage image = readMicrograph(path);
    QCOMPARE(image.frames, static_cast<int>(frames.size()));
    QVERIFY(image.data == all);
    QCOMPARE(std::accumulate(all.begin(), all.end(), 0.0f),
             float(std::accumulate(frames.begin(), frames.end(), std::size_t(0),
                                   [](std::size_t n, const auto &f) { return n + f.size(); })));
}

void TestEer::badFrame_data()
{
    QTest::addColumn<int>("compression");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message"); // after "Cannot read frame 2 of the EER movie PATH: "
    // 64 x 48 = 3072 pixels: 24 runs of 127 and one of 24. Cut to 10 bytes, it holds 11 runs (77 bits).
    QTest::newRow("stream ends early") << 65001 << QStringLiteral("truncate empty to 10")
                                       << QStringLiteral(
                                              "its stream of 10 bytes ends after 1397 of its 64 x 48 pixels.");
    // Three electrons of 11 bits: the third's sub-pixel bits lie beyond 4 bytes.
    QTest::newRow("stream ends within an electron")
        << 65001 << QStringLiteral("truncate three to 4")
        << QStringLiteral("its stream of 4 bytes ends within the electron at pixel 2 of its 64 x 48 pixels.");
    // An electron at pixel 3840 of a frame twice as tall: the 25th run of 127 starts at pixel 3048.
    QTest::newRow("events run past the frame")
        << 65001 << QStringLiteral("taller")
        << QStringLiteral("its events run past its 64 x 48 pixels (a run of 127 from pixel 3048, at byte 21).");
    // The same with fixed 12-bit codes: 3840 = 15 x 255 + 15; the 13th run of 255 starts at 3060.
    QTest::newRow("events run past the frame, fixed codes")
        << 65000 << QStringLiteral("taller")
        << QStringLiteral("its events run past its 64 x 48 pixels (a run of 255 from pixel 3060, at byte 18).");
    QTest::newRow("one byte") << 65001 << QStringLiteral("truncate empty to 1")
                              << QStringLiteral("its stream of 1 byte ends after 127 of its 64 x 48 pixels.");
}

// The frame that does not decode is named, and only it: the frames around it still read.
void TestEer::badFrame()
{
    QFETCH(int, compression);
    QFETCH(QString, damage);
    QFETCH(QString, message);
    const EerLayout layout = layoutOf(compression);
    const QByteArray good = test::encodeEerFrame({{1, 1}, {kWidth - 1, kHeight - 1}}, kWidth, kHeight, layout);
    QByteArray bad;
    if (damage == QLatin1String("taller"))
        bad = test::encodeEerFrame({{0, 60}}, kWidth, 2 * kHeight, layout);
    else if (damage.startsWith(QLatin1String("truncate empty")))
        bad = test::encodeEerFrame({}, kWidth, kHeight, layout).left(damage.section(QLatin1Char(' '), -1).toInt());
    else if (damage.startsWith(QLatin1String("truncate three")))
        bad = test::encodeEerFrame({{0, 0}, {1, 0}, {2, 0}}, kWidth, kHeight, layout)
                  .left(damage.section(QLatin1Char(' '), -1).toInt());
    const QString path = m_dir.filePath(QStringLiteral("bad.eer"));
    QString error;
    QVERIFY2(test::writeEerFile(path, kWidth, kHeight, layout, {good, bad, good}, &error), qPrintable(error));
    const auto reader = openEerFrames(path);
    QCOMPARE(reader->frames(), 3);
    std::vector<float> sum(static_cast<std::size_t>(kWidth) * kHeight, 0.0f);
    reader->addFrame(0, sum.data());
    const QString text = refusal([&] { reader->addFrame(1, sum.data()); });
    QCOMPARE(
        text,
        QStringLiteral("Cannot read frame 2 of the EER movie %1: %2").arg(QDir::toNativeSeparators(path), message));
    std::fill(sum.begin(), sum.end(), 0.0f);
    reader->addFrame(2, sum.data());
    QCOMPARE(sum[static_cast<std::size_t>(kWidth) + 1], 1.0f);
    QCOMPARE(refusal([&] { reader->addFrame(3, sum.data()); }),
             QStringLiteral("Cannot read frame 4 of the EER movie %1: it has 3 frames.")
                 .arg(QDir::toNativeSeparators(path)));
}

void TestEer::refusedFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message"); // after "Cannot open the EER movie PATH: "
    QTest::newRow("an ordinary TIFF") << QStringLiteral("plain")
                                      << QStringLiteral(
                                             "it is a TIFF whose pages are not EER frames (TIFF compression "
                                             "1, where EER frames are compressed as 65000, 65001 or 65002).");
    QTest::newRow("not a TIFF") << QStringLiteral("text") << QStringLiteral("it is not a TIFF file libtiff can open");
    QTest::newRow("empty file") << QStringLiteral("empty") << QStringLiteral("the file is empty");
    QTest::newRow("no such file") << QStringLiteral("missing") << QString();
    QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("it is a folder, not a regular file.");
    QTest::newRow("65002 with runs of 20 bits")
        << QStringLiteral("wide runs")
        << QStringLiteral("its page 1 (compression 65002) gives runs of 20 bits and sub-pixels of 1 + 1 bits (tags "
                          "65007 to 65009); runs of 1 to 16 bits and sub-pixels of 0 to 4 + 0 to 4 bits are read.");
    QTest::newRow("strip beyond the end of the file")
        << QStringLiteral("long strip") << QStringLiteral("its frame 1 (page 1) has its strip 0 at bytes ");
}

// A file that is not an EER movie is refused by name before anything is decoded.
void TestEer::refusedFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(QStringLiteral("refused-") + kind);
    QString error;
    if (kind == QLatin1String("plain")) {
        QVERIFY2(test::writePlainTiff(path, 16, 16, &error), qPrintable(error));
    } else if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            f.write("This is not an electron event file.\n");
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("wide runs")) {
        const EerLayout layout = layoutOf(65002, 20, 1, 1);
        QVERIFY2(test::writeEerFile(path, 16, 16, layout, {QByteArray(8, '\0')}, &error), qPrintable(error));
    } else if (kind == QLatin1String("long strip")) {
        const EerLayout layout = layoutOf(65001);
        QVERIFY2(test::writeEerFile(path, 16, 16, layout, {test::encodeEerFrame({}, 16, 16, layout)}, &error),
                 qPrintable(error));
        // The first page's StripByteCounts (tag 279, one LONG) made larger than the file.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        QCOMPARE(bytes.left(4), QByteArray("II*\0", 4));
        quint32 ifd = 0;
        std::memcpy(&ifd, bytes.constData() + 4, 4);
        quint16 entries = 0;
        std::memcpy(&entries, bytes.constData() + ifd, 2);
        bool patched = false;
        for (int e = 0; e < entries; ++e) {
            char *entry = bytes.data() + ifd + 2 + 12 * e;
            quint16 tag = 0;
            std::memcpy(&tag, entry, 2);
            if (tag == 279) {
                const quint32 huge = 1u << 30;
                std::memcpy(entry + 8, &huge, 4);
                patched = true;
            }
        }
        QVERIFY(patched);
        QVERIFY(f.seek(0));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    const QString text = refusal([&] { openEerFrames(path); });
    const QString start = QStringLiteral("Cannot open the EER movie %1: ").arg(QDir::toNativeSeparators(path));
    QVERIFY2(text.startsWith(start), qPrintable(text));
    QVERIFY2(text.mid(start.size()).startsWith(message), qPrintable(text));
}

// A page that is not compressed as EER (a summed image beside the frames) is no frame.
void TestEer::summedPageSkipped()
{
    const EerLayout layout = layoutOf(65001);
    const QByteArray first = test::encodeEerFrame({{2, 3}}, kWidth, kHeight, layout);
    const QByteArray second = test::encodeEerFrame({{5, 7}, {6, 7}}, kWidth, kHeight, layout);
    const QString path = m_dir.filePath(QStringLiteral("summed.eer"));
    QString error;
    QVERIFY2(test::writeEerFile(path, kWidth, kHeight, layout, {QByteArray(), first, QByteArray(), second}, &error),
             qPrintable(error));
    const auto reader = openEerFrames(path);
    QCOMPARE(reader->frames(), 2);
    std::vector<float> sum(static_cast<std::size_t>(kWidth) * kHeight, 0.0f);
    reader->addFrame(1, sum.data());
    QCOMPARE(std::accumulate(sum.begin(), sum.end(), 0.0f), 2.0f);
    QCOMPARE(sum[7 * kWidth + 6], 1.0f);
    reader->addFrame(0, sum.data());
    QCOMPARE(sum[3 * kWidth + 2], 1.0f);
}

void TestEer::pixelSize_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<double>("nm");
    const auto item = [](const char *name, const char *value) {
        return QByteArray("<item name=\"") + name + "\" unit=\"m\">" + value + "</item>";
    };
    QTest::newRow("none") << QByteArray() << 0.0;
    QTest::newRow("at the specimen") << QByteArray("<metadata>" + item("sensorPixelSize.height", "8.3e-11")
                                                   + item("sensorPixelSize.width", "8.3e-11") + "</metadata>")
                                     << 0.083;
    // The camera's own pixels are no pixel size at the specimen.
    QTest::newRow("the sensor's pixels") << QByteArray("<metadata>" + item("sensorPixelSize.width", "1.4e-05")
                                                       + "</metadata>")
                                         << 0.0;
    QTest::newRow("not XML") << QByteArray("sensorPixelSize.width = 1e-10") << 0.0;
}

// The acquisition's XML gives the pixel size when it gives one a specimen's pixel can have.
void TestEer::pixelSize()
{
    QFETCH(QByteArray, xml);
    QFETCH(double, nm);
    const EerLayout layout = layoutOf(65001);
    const QString path = m_dir.filePath(QStringLiteral("pixel.eer"));
    QString error;
    QVERIFY2(test::writeEerFile(path, 16, 16, layout, {test::encodeEerFrame({{3, 4}}, 16, 16, layout)}, &error, 1, xml),
             qPrintable(error));
    QCOMPARE(openEerFrames(path)->pixelSizeNm(), nm);
}

QTEST_GUILESS_MAIN(TestEer)
#include "test_eer.moc"
