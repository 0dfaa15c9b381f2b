// The micrograph in a session, without any window: opening off the event loop with progress, Cancel
// and refusals that keep what was open; the picture of spectrum and model side by side; the
// average along the model's rings and its agreement; the pixel size, the tile and the recent files.
// The micrographs are synthetic, made with the program's own CTF, so where their rings lie is known.
#include "core/ctffunctions.h"
#include "core/ctfgrey.h"
#include "core/numberformat.h"
#include "core/scopedata.h"
#include "micrograph/powerspectrum.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"
#include "session/recentmicrographs.h"
#include "store/windowsettings.h"
#include "syntheticmicrograph.h"

#include "../support/specialfiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace orvalis;

namespace {

constexpr double kPixel = 0.1;     // nm
constexpr double kDefocus = -400;  // nm
constexpr double kContrast = 0.07; // the session's amplitude contrast (its specimen terms)
constexpr double kA2 = 150;        // nm, the astigmatic micrograph's

// A session as a run starts it, at the micrographs' defocus and over 1.2 nm^-1.
void startSession(CtfSession &session)
{
    session.ScopeRecord1 = defaultScope();
    session.beginRun();
    session.setDefocus(kDefocus, false);
    session.setUpTo(1.2);
    SpecimenDetector terms = session.specimen();
    terms.amplitudeContrast = kContrast;
    session.setSpecimen(terms);
}

// A micrograph with the session's model at kDefocus, envelopes included, as a microscope makes it.
MicrographImage micrograph(const OpticsState &optics, double a2, int side, std::uint64_t seed)
{
    SpectrumModel model;
    model.state = optics;
    model.state.A2 = a2;
    model.defocus = kDefocus;
    model.state.AmplitudeContrast = kContrast;
    SyntheticOptions o;
    o.width = o.height = side;
    o.pixelSizeNm = kPixel;
    o.seed = seed;
    return syntheticMicrograph(o, [model](double kx, double ky) { return model.ctf(kx, ky); });
}

// Normalised cross-correlation of the picture's measured pixels with the model pixels opposite them
// (both halves are centrosymmetric), over an annulus of frequencies, each half's mean over a few rings
// around each radius taken away first: what is compared is where the rings lie, not how each half
// fades outwards.
double halvesCorrelation(const CompositeGrid &g, double direction, double kFrom, double kTo)
{
    const int n = g.centre;
    struct Pair {
        int radius;
        double a, b;
    };
    std::vector<Pair> pairs;
    std::vector<double> meanA(std::size_t(2 * n), 0), meanB(std::size_t(2 * n), 0), count(std::size_t(2 * n), 0);
    for (int y = 1; y < g.side(); ++y)
        for (int x = 1; x < g.side(); ++x) {
            const double r = std::hypot(x - n, y - n);
            const double k = r * g.range / (n - 1);
            const int mx = 2 * n - x, my = 2 * n - y;
            if (k < kFrom || k > kTo || onModelSide(x, y, n, direction) || !onModelSide(mx, my, n, direction))
                continue;
            const Pair p{int(std::lround(r)), double(g.at(x, y)), double(g.at(mx, my))};
            pairs.push_back(p);
            meanA[std::size_t(p.radius)] += p.a;
            meanB[std::size_t(p.radius)] += p.b;
            count[std::size_t(p.radius)] += 1;
        }
    const auto trend = [&count](const std::vector<double> &sums, int radius) {
        double s = 0, c = 0;
        for (int r = std::max(0, radius - 8); r <= std::min(int(sums.size()) - 1, radius + 8); ++r) {
            s += sums[std::size_t(r)];
            c += count[std::size_t(r)];
        }
        return s / c;
    };
    double saa = 0, sbb = 0, sab = 0;
    for (const Pair &p : pairs) {
        const double a = p.a - trend(meanA, p.radius), b = p.b - trend(meanB, p.radius);
        saa += a * a;
        sbb += b * b;
        sab += a * b;
    }
    return sab / std::sqrt(saa * sbb);
}

} // namespace

class TestMicrographSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openWithProgress();
    void refusals_data();
    void refusals();
    void cancelKeepsWhatWasOpen();
    void specialFiles_data();
    void specialFiles();
    void blockedWorkIsLeftBehind();
    void halvesShowTheSameRings_data();
    void halvesShowTheSameRings();
    void profileAgrees_data();
    void profileAgrees();
    void tileAndPixelSize();
    void pixelSizeStaysTheMicrographs_data();
    void pixelSizeStaysTheMicrographs();
    void readoutAndClose();
    void recentFiles();

private:
    QString write(const QString &name, const MicrographImage &image);
    QString writeBytes(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_dir;
    OpticsState m_optics;
    QString m_round, m_astigmatic, m_large, m_small;
};

QString TestMicrographSession::write(const QString &name, const MicrographImage &image)
{
    const QString path = m_dir.filePath(name);
    if (!writeMrcFloat(path, image))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString TestMicrographSession::writeBytes(const QString &name, const QByteArray &bytes)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestMicrographSession::initTestCase()
{
    QVERIFY(m_dir.isValid());
    CtfSession session;
    startSession(session);
    m_optics = session.state();
    m_round = write(QStringLiteral("round.mrc"), micrograph(m_optics, 0, 2048, 1));
    m_astigmatic = write(QStringLiteral("astigmatic.mrc"), micrograph(m_optics, kA2, 2048, 2));
    m_small = write(QStringLiteral("small.mrc"), micrograph(m_optics, 0, 600, 4));
    m_large = write(QStringLiteral("large.mrc"), micrograph(m_optics, 0, 3072, 3));
}

void TestMicrographSession::openWithProgress()
{
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QSignalSpy opened(&micrograph, &MicrographSession::opened);
    QSignalSpy progress(&micrograph, &MicrographSession::progress);
    micrograph.open(m_round);
    QVERIFY(micrograph.busy());
    QVERIFY(opened.wait(30000));
    QVERIFY(micrograph.isOpen());
    QCOMPARE(micrograph.path(), m_round);
    QCOMPARE(micrograph.spectrumTileSize(), kDefaultTileSize);
    QVERIFY(std::fabs(micrograph.filePixelSize() - kPixel) < 1e-7);
    QVERIFY(std::fabs(micrograph.spectrum()->frequencyStep - 1.0 / (512 * kPixel)) < 1e-6);
    QCoreApplication::processEvents(); // the last queued progress
    QVERIFY(!progress.isEmpty());
    double last = -1;
    for (const QList<QVariant> &p : progress) {
        QVERIFY(p[0].toDouble() >= last);
        last = p[0].toDouble();
    }
    QCOMPARE(last, 1.0);
}

void TestMicrographSession::refusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected"); // a part of the message besides the file's name
    QFile good(m_round);
    QVERIFY(good.open(QIODevice::ReadOnly));
    const QByteArray whole = good.readAll();
    QTest::newRow("truncated") << "truncated.mrc" << whole.left(whole.size() / 2) << "";
    QTest::newRow("not an image") << "notes.txt" << QByteArray("hello, world\n") << "not an MRC, TIFF or PNG";
    QTest::newRow("empty") << "empty.mrc" << QByteArray() << "empty";
    MicrographImage tiny;
    tiny.width = tiny.height = 100;
    tiny.pixelSizeNm = kPixel;
    tiny.data.assign(100 * 100, 1.0f);
    QTemporaryDir scratch;
    const QString tinyPath = scratch.filePath(QStringLiteral("t.mrc"));
    QVERIFY(writeMrcFloat(tinyPath, tiny));
    QFile t(tinyPath);
    QVERIFY(t.open(QIODevice::ReadOnly));
    QTest::newRow("smaller than any tile") << "tiny.mrc" << t.readAll() << "at least 256";
    // The spectrum motion correction writes beside a sum, centred, given in its place.
    SpectrumOptions so;
    so.tileSize = 512;
    so.pixelSizeNm = kPixel;
    const PowerSpectrum spectrum = computePowerSpectrum(micrograph(m_optics, 0, 1024, 2), so);
    MicrographImage ps;
    ps.width = ps.height = spectrum.size;
    ps.pixelSizeNm = kPixel;
    ps.data = spectrum.power;
    const QString psPath = scratch.filePath(QStringLiteral("ps.mrc"));
    QVERIFY(writeMrcFloat(psPath, ps));
    QFile p(psPath);
    QVERIFY(p.open(QIODevice::ReadOnly));
    QTest::newRow("a power spectrum") << "sum_PS.mrc" << p.readAll() << "looks like a power spectrum";
    QTest::newRow("missing") << "missing.mrc" << QByteArray("-") << "";
}

// Each refusal is one message naming the file; the micrograph open before stays, spectrum and all.
void TestMicrographSession::refusals()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    const QString path = bytes == "-" ? m_dir.filePath(name) : writeBytes(name, bytes);
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QVERIFY(micrograph.openNow(m_round));
    const PowerSpectrum *before = micrograph.spectrum();
    QSignalSpy failed(&micrograph, &MicrographSession::failed);
    QSignalSpy changed(&micrograph, &MicrographSession::spectrumChanged);
    micrograph.open(path);
    QVERIFY(failed.wait(30000));
    const QString message = failed[0][0].toString();
    QVERIFY2(message.contains(name), qPrintable(message));
    QVERIFY2(message.contains(expected), qPrintable(message));
    QCOMPARE(micrograph.path(), m_round);
    QCOMPARE(micrograph.spectrum(), before);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(micrograph.recentFiles().value(0), QFileInfo(m_round).absoluteFilePath());

    QString error;
    QVERIFY(!micrograph.openNow(path, &error));
    QCOMPARE(error, message);
    QCOMPARE(micrograph.spectrum(), before);
}

void TestMicrographSession::cancelKeepsWhatWasOpen()
{
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QVERIFY(micrograph.openNow(m_round));
    QSignalSpy cancelled(&micrograph, &MicrographSession::cancelled);
    QSignalSpy opened(&micrograph, &MicrographSession::opened);
    // Cancel at the first progress, as the dialog's button would.
    connect(&micrograph, &MicrographSession::progress, &micrograph, &MicrographSession::cancel);
    micrograph.open(m_large);
    QVERIFY(cancelled.wait(30000));
    QCOMPARE(opened.count(), 0);
    QCOMPARE(micrograph.path(), m_round);
    QVERIFY(!micrograph.busy());
}

void TestMicrographSession::specialFiles_data()
{
    test::addSpecialFileRows();
}

// What is no regular file is refused at once, in the same words as the shell's, and the session
// that tried goes at once, with or without waiting for the refusal.
void TestMicrographSession::specialFiles()
{
    QFETCH(int, kind);
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("special.mrc"));
    if (!test::makeSpecialFile(test::SpecialFile(kind), path))
        QSKIP("this system does not let the test make one");
    const test::FifoUnblocker unblocker(path); // a reader that waits after all gets an empty file
    CtfSession session;
    startSession(session);
    QElapsedTimer clock;
    clock.start();
    {
        MicrographSession micrograph(session);
        QSignalSpy failed(&micrograph, &MicrographSession::failed);
        micrograph.open(path);
        QVERIFY(failed.wait(10000));
        const QString message = failed[0][0].toString();
        QVERIFY2(message.startsWith(QStringLiteral("Cannot open the micrograph %1: it").arg(path)),
                 qPrintable(message));
        QVERIFY2(message.contains(what.mid(1).chopped(what.endsWith(QLatin1Char('.')) ? 1 : 0)), qPrintable(message));
        QString error;
        QVERIFY(!micrograph.openNow(path, &error));
        QCOMPARE(error, message);
        micrograph.open(path); // and gone before it is told
    }
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

// Work blocked in the kernel, where Cancel cannot reach it, holds its owner's end no longer than
// kStopPatience; it ends on its own later, and nothing of it reaches the owner.
void TestMicrographSession::blockedWorkIsLeftBehind()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("blocking"));
    QVERIFY(test::makeSpecialFile(test::SpecialFile::Fifo, fifo));
    auto ended = std::make_shared<std::atomic<bool>>(false);
    int progressed = 0, done = 0;
    QElapsedTimer clock;
    {
        QObject owner;
        BackgroundWork<int> work(
            &owner, [&progressed](double) { ++progressed; }, [&done](const WorkOutcome<int> &) { ++done; });
        work.start(
            [name = QFile::encodeName(fifo), ended](const ProgressCallback &report) {
                report(0.5);
                const int fd = ::open(name.constData(), O_RDONLY); // waits for a writer
                if (fd >= 0)
                    ::close(fd);
                report(1.0);
                *ended = true;
                return 1;
            },
            QString());
        QVERIFY(work.busy());
        QTRY_COMPARE(progressed, 1); // the progress before it blocked reaches the owner
        clock.start();
    }
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= kStopPatience.count() - 50 && waited < kStopPatience.count() + 1000,
             qPrintable(QString::number(waited)));
    QVERIFY(!*ended);
    {
        const test::FifoUnblocker unblocker(fifo);
        QTRY_VERIFY(*ended);
    }
    QCoreApplication::processEvents();
    QCOMPARE(progressed, 1);
    QCOMPARE(done, 0);
}

void TestMicrographSession::halvesShowTheSameRings_data()
{
    QTest::addColumn<double>("direction"); // rad
    QTest::addColumn<double>("defocus");   // nm, the model's
    QTest::addColumn<bool>("agree");
    QTest::newRow("horizontal line") << 0.0 << kDefocus << true;
    QTest::newRow("oblique line") << 0.7 << kDefocus << true;
    QTest::newRow("steep line") << -1.3 << kDefocus << true;
    QTest::newRow("model 20 % off") << 0.0 << kDefocus * 1.2 << false;
}

// The measured half and the model's half show their rings where the other does when the model is
// the micrograph's, whatever the direction; a model at another defocus does not line up.
void TestMicrographSession::halvesShowTheSameRings()
{
    QFETCH(double, direction);
    QFETCH(double, defocus);
    QFETCH(bool, agree);
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QVERIFY(micrograph.openNow(m_round));
    session.setDirection(direction);
    session.setDefocus(defocus, false);
    const CompositeGrid &g = micrograph.composite(104);
    QCOMPARE(g.side(), 208);
    QCOMPARE(g.range, 1.2);
    int model = 0;
    for (int y = 0; y < g.side(); ++y)
        for (int x = 0; x < g.side(); ++x)
            model += onModelSide(x, y, g.centre, direction);
    QVERIFY(std::abs(model - g.side() * g.side() / 2) < 2 * g.side());
    const double r = halvesCorrelation(g, direction, 0.6, 1.15);
    // Pixel by pixel the measured half is noisy: the right model reaches about 0.25, a wrong one
    // stays below 0.1.
    if (agree)
        QVERIFY2(r > 0.18, qPrintable(QString::number(r)));
    else
        QVERIFY2(r < 0.12, qPrintable(QString::number(r)));

    // The model's half has the pattern's own grey levels of the model's CTF.
    const SpectrumModel m = micrograph.model();
    int differing = 0;
    for (int y = 0; y < g.side(); ++y)
        for (int x = 0; x < g.side(); ++x)
            if (onModelSide(x, y, g.centre, direction)) {
                const double kx = (x - g.centre) * g.range / (g.centre - 1);
                const double ky = (y - g.centre) * g.range / (g.centre - 1);
                const int expected = CtfGrey(m.ctf(kx, ky));
                QVERIFY(std::abs(g.at(x, y) - expected) <= 1);
                differing += g.at(x, y) != expected;
            }
    QVERIFY2(differing <= 2, qPrintable(QString::number(differing))); // rounding at a level's very edge

    // A coarse pass (a drag) leaves the measured half as it was.
    session.setDefocus(defocus, true);
    const std::vector<std::uint8_t> fine = g.grey;
    const CompositeGrid &coarse = micrograph.composite(104);
    for (int y = 0; y < g.side(); y += 7)
        for (int x = 0; x < g.side(); x += 7)
            if (!onModelSide(x, y, g.centre, direction))
                QCOMPARE(coarse.at(x, y), int(fine[std::size_t(y) * g.side() + x]));
}

void TestMicrographSession::profileAgrees_data()
{
    QTest::addColumn<bool>("astigmatic"); // the micrograph
    QTest::addColumn<double>("modelA2");  // nm
    QTest::addColumn<double>("defocus");  // nm
    QTest::addColumn<double>("pixel");    // nm, as the user gives it
    QTest::addColumn<double>("atLeast");  // nm^-1: agreed up to at least
    QTest::addColumn<double>("below");    // nm^-1: and below
    QTest::newRow("round, its model") << false << 0.0 << kDefocus << kPixel << 4.0 << 5.1;
    QTest::newRow("astigmatic, its model") << true << kA2 << kDefocus << kPixel << 4.0 << 5.1;
    QTest::newRow("astigmatic, a round model") << true << 0.0 << kDefocus << kPixel << 0.0 << 3.0;
    QTest::newRow("round, defocus 15 % off") << false << 0.0 << kDefocus * 1.15 << kPixel << 0.0 << 1.5;
    QTest::newRow("round, pixel size 10 % off") << false << 0.0 << kDefocus << kPixel * 1.1 << 0.0 << 1.5;
}

// The average along the model's rings follows the model up to far out when the model is the
// micrograph's, equal-phase rings keeping an astigmatic micrograph's rings sharp; a wrong model
// fails early. The scaled model lies on the average.
void TestMicrographSession::profileAgrees()
{
    QFETCH(bool, astigmatic);
    QFETCH(double, modelA2);
    QFETCH(double, defocus);
    QFETCH(double, pixel);
    QFETCH(double, atLeast);
    QFETCH(double, below);
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QVERIFY(micrograph.openNow(astigmatic ? m_astigmatic : m_round));
    QVERIFY(micrograph.setPixelSize(pixel));
    session.setA2(modelA2, false);
    session.setDefocus(defocus, false);
    const RingProfile &p = micrograph.profile();
    QCOMPARE(p.bins(), 257);
    QCOMPARE(int(p.model.size()), 257);
    QCOMPARE(int(p.agreement.size()), 257);
    QVERIFY2(p.agreedUpTo >= atLeast && p.agreedUpTo < below, qPrintable(QString::number(p.agreedUpTo)));
    if (atLeast > 0) {
        QVERIFY(p.scale > 0);
        // Where they agree, the scaled model explains a good part of the average's variation (the
        // rings are amplitudes less their background, the model an intensity: no more than that).
        double residual = 0, spread = 0, mean = 0;
        int count = 0;
        const int from = int(std::ceil(micrograph.lowestFrequency() / p.frequencyStep));
        const int to = int(std::min(p.agreedUpTo, 1.5) / p.frequencyStep);
        for (int b = from; b <= to; ++b)
            mean += p.average[std::size_t(b)], ++count;
        mean /= count;
        for (int b = from; b <= to; ++b) {
            residual += std::pow(p.average[std::size_t(b)] - p.model[std::size_t(b)], 2);
            spread += std::pow(p.average[std::size_t(b)] - mean, 2);
        }
        QVERIFY2(residual < 0.6 * spread, qPrintable(QStringLiteral("%1 of %2").arg(residual).arg(spread)));
    }
}

void TestMicrographSession::tileAndPixelSize()
{
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QVERIFY(micrograph.openNow(m_round));
    QSignalSpy changed(&micrograph, &MicrographSession::spectrumChanged);
    QSignalSpy opened(&micrograph, &MicrographSession::opened);
    micrograph.setTileSize(256);
    QVERIFY(changed.wait(30000));
    QCOMPARE(micrograph.spectrum()->size, 256);
    QCOMPARE(opened.count(), 0); // the same file: no new open
    // A tile larger than the micrograph takes the largest one it holds.
    MicrographSession small(session);
    QSignalSpy smallChanged(&small, &MicrographSession::spectrumChanged);
    QVERIFY(small.openNow(m_small));
    small.setTileSize(1024);
    QVERIFY(smallChanged.wait(30000));
    QCOMPARE(small.spectrumTileSize(), 600);
    QCOMPARE(small.tileSize(), 1024);

    for (const double refused : {0.0, -0.1, 11.0, std::nan("")})
        QVERIFY(!micrograph.setPixelSize(refused));
    QVERIFY(micrograph.setPixelSize(0.2));
    QCOMPARE(micrograph.pixelSize(), 0.2);
    QVERIFY(std::fabs(micrograph.spectrum()->frequencyStep - 1.0 / (256 * 0.2)) < 1e-9);
    QVERIFY(std::fabs(micrograph.filePixelSize() - kPixel) < 1e-7); // the file's stays known
    // A re-tiled spectrum keeps the user's pixel size.
    micrograph.setTileSize(512);
    QVERIFY(changed.wait(30000));
    QCOMPARE(micrograph.pixelSize(), 0.2);

    // One pixel size: the micrograph's is the model's detector, the specimen's setting edits it,
    // and closing gives the model back its own.
    CtfSession model;
    startSession(model);
    SpecimenDetector detector = model.specimen();
    detector.pixelSize = 3; // Å
    model.setSpecimen(detector);
    MicrographSession shown(model);
    QVERIFY(shown.openNow(m_round));
    QCOMPARE(model.state().PixelSize, kPixel);
    detector.pixelSize = 1.5;
    model.setSpecimen(detector);
    QCOMPARE(shown.pixelSize(), 0.15);
    QVERIFY(std::fabs(shown.spectrum()->frequencyStep - 1.0 / (512 * 0.15)) < 1e-9);
    detector.pixelSize = 0; // no detector: the micrograph keeps its own
    model.setSpecimen(detector);
    QCOMPARE(shown.pixelSize(), 0.15);
    shown.close();
    QCOMPARE(model.state().PixelSize, 0.3);
}

void TestMicrographSession::pixelSizeStaysTheMicrographs_data()
{
    QTest::addColumn<double>("own");   // Å, the specimen's before the micrograph, 0 for none
    QTest::addColumn<double>("typed"); // Å, typed in Setup > Specimen and Detector while it is open
    QTest::newRow("no pixel size of its own") << 0.0 << 0.0;
    QTest::newRow("a pixel size of its own") << 1.5 << 0.0;
    QTest::newRow("the micrograph's edited") << 1.5 << 0.9;
}

// The micrograph lends the views its pixel size while it is open; the specimen keeps its own, which
// closing brings back and which alone is stored, so that a restart has no detector the user never
// gave. The file's float comes in at its own precision.
void TestMicrographSession::pixelSizeStaysTheMicrographs()
{
    QFETCH(double, own);
    QFETCH(double, typed);
    SyntheticOptions o;
    o.width = o.height = 600;
    o.pixelSizeNm = 0.083; // a float in the header: 0.8299999833 Å
    const QString path = write(QStringLiteral("pixel083.mrc"),
                               syntheticMicrograph(o, [](double, double) { return 0.5; }));

    CtfSession session;
    startSession(session);
    SpecimenDetector terms = session.specimen();
    terms.pixelSize = own;
    session.setSpecimen(terms);
    MicrographSession micrograph(session);
    QVERIFY(micrograph.openNow(path));
    QCOMPARE(formatGeneral(session.specimen().pixelSize), QStringLiteral("0.83"));
    QCOMPARE(session.state().PixelSize, 0.083);
    if (typed > 0) {
        terms = session.specimen();
        terms.pixelSize = typed;
        session.setSpecimen(terms);
        QCOMPARE(micrograph.pixelSize(), typed / 10);
    }
    const auto stored = [&session] {
        WindowSettings s;
        session.captureSettings(s);
        return s;
    };
    QCOMPARE(stored().PixelSize.value_or(0), own); // closing the window with the micrograph open
    micrograph.close();
    QCOMPARE(session.state().PixelSize, own / 10);
    QCOMPARE(stored().PixelSize.value_or(0), own);

    CtfSession restarted;
    restarted.applySettings(stored());
    QCOMPARE(restarted.state().PixelSize, own / 10);
}

void TestMicrographSession::readoutAndClose()
{
    CtfSession session;
    startSession(session);
    MicrographSession micrograph(session);
    QVERIFY(!micrograph.sampleAt(0.5, 0.5));
    QVERIFY(micrograph.composite(104).grey.empty());
    QVERIFY(micrograph.openNow(m_round));
    const PowerSpectrum &s = *micrograph.spectrum();
    const auto at = micrograph.sampleAt(3 * s.frequencyStep, -2 * s.frequencyStep);
    QVERIFY(at);
    QCOMPARE(at->power, double(s.powerAt(256 + 3, 256 - 2)));
    QCOMPARE(at->rings, double(s.ringsAt(256 + 3, 256 - 2)));
    QVERIFY(!micrograph.sampleAt(4.0, 4.0)); // beyond Nyquist
    QVERIFY(micrograph.shown());
    QSignalSpy closed(&micrograph, &MicrographSession::closed);
    micrograph.close();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!micrograph.isOpen() && !micrograph.shown() && !micrograph.sampleAt(0.5, 0.5));
    QVERIFY(micrograph.profile().average.empty());
    micrograph.close();
    QCOMPARE(closed.count(), 1);
}

void TestMicrographSession::recentFiles()
{
    QVERIFY(writeRecentMicrographs({}).isEmpty());
    CtfSession session;
    startSession(session);
    {
        MicrographSession micrograph(session);
        QVERIFY(micrograph.recentFiles().isEmpty());
        QVERIFY(micrograph.openNow(m_round));
        QVERIFY(micrograph.openNow(m_astigmatic));
        QVERIFY(micrograph.openNow(m_round));
        QVERIFY(!micrograph.openNow(m_dir.filePath(QStringLiteral("missing.mrc"))));
        QVERIFY(micrograph.recentProblem().isEmpty());
    }
    const QStringList expected{QFileInfo(m_round).absoluteFilePath(), QFileInfo(m_astigmatic).absoluteFilePath()};
    QCOMPARE(readRecentMicrographs(), expected); // kept for the next run, newest first, once each
    QCOMPARE(MicrographSession(session).recentFiles(), expected);

    QStringList many;
    for (int i = 0; i < 12; ++i)
        many = withRecentMicrograph(many, QStringLiteral("/data/m%1.mrc").arg(i));
    QCOMPARE(many.size(), kMaxRecentMicrographs);
    QCOMPARE(many.first(), QStringLiteral("/data/m11.mrc"));
    QVERIFY(writeRecentMicrographs(many).isEmpty());
    QCOMPARE(readRecentMicrographs(), many);
}

QTEST_GUILESS_MAIN(TestMicrographSession)
#include "test_micrographsession.moc"
