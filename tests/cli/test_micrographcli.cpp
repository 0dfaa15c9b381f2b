// The shell program's micrograph commands run as a process on synthetic micrographs with a known
// CTF: the fit's three outputs parsed back column by column against each other and against the truth
// (and read by RELION where it is installed), noise that gives no result, a batch holding broken
// files, the spectrum and average read back by independent readers, and the refused inputs.
#include "../chart/failingwrites.h"
#include "../support/specialfiles.h"
#include "ctffitcase.h"
#include "syntheticmicrograph.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

using namespace orvalis;

Q_DECLARE_METATYPE(FitCase)

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Status -2: still running after `timeoutMs` (then killed); -1: ended by a signal.
Run run(const QString &program, const QStringList &arguments, int timeoutMs = 240000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-2, process.readAllStandardOutput(), "timed out"};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

Run runCtf(const QStringList &arguments, int timeoutMs = 240000)
{
    return run(QStringLiteral(ORVALIS_CTF), arguments, timeoutMs);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// A python3 snippet run with the Debian interpreter, which has mrcfile and tifffile.
Run runPython(const QString &code, const QStringList &arguments)
{
    return run(QStringLiteral(ORVALIS_PYTHON3), QStringList{QStringLiteral("-c"), code} + arguments);
}

QString writeCase(const QTemporaryDir &dir, const QString &name, const FitCase &c, int size)
{
    FitImageOptions o;
    o.size = size;
    o.noise = 1.0;
    const QString path = dir.filePath(name);
    if (!writeMrcFloat(path, fitCaseImage(c, o)))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString writeNoise(const QTemporaryDir &dir, const QString &name, int size)
{
    SyntheticOptions o;
    o.width = o.height = size;
    const QString path = dir.filePath(name);
    if (!writeMrcFloat(path, syntheticMicrograph(o, [](double, double) { return 1.0; })))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

using Row = QMap<QString, QString>;

// A whitespace-separated loop of a STAR block: each row as column name (without _rln) -> value.
QVector<Row> starLoop(const QByteArray &text, const QByteArray &block)
{
    QVector<Row> rows;
    QStringList columns;
    bool inBlock = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1String("data_"))) {
            inBlock = line == QString::fromLatin1(block);
            continue;
        }
        if (!inBlock || line.isEmpty() || line.startsWith(QLatin1Char('#')) || line == QLatin1String("loop_"))
            continue;
        if (line.startsWith(QLatin1String("_rln"))) {
            columns << line.section(QLatin1Char(' '), 0, 0).mid(4);
            continue;
        }
        const QStringList cells = line.split(QRegularExpression(QStringLiteral("\\s+")));
        if (cells.size() != columns.size())
            qFatal("a STAR row of %d cells under %d columns: %s", int(cells.size()), int(columns.size()),
                   raw.constData());
        Row row;
        for (int i = 0; i < cells.size(); ++i)
            row.insert(columns[i], cells[i]);
        rows << row;
    }
    return rows;
}

QVector<Row> tsv(const QByteArray &text)
{
    QVector<Row> rows;
    const QList<QByteArray> lines = text.trimmed().split('\n');
    const QList<QByteArray> names = lines.first().split('\t');
    for (int i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].split('\t');
        if (cells.size() != names.size())
            qFatal("a table row of %d cells under %d columns", int(cells.size()), int(names.size()));
        Row row;
        for (int c = 0; c < cells.size(); ++c)
            row.insert(QString::fromUtf8(names[c]), QString::fromUtf8(cells[c]));
        rows << row;
    }
    return rows;
}

double value(const Row &row, const char *name)
{
    bool ok = false;
    const double v = row.value(QString::fromLatin1(name)).toDouble(&ok);
    if (!ok)
        qFatal("column %s holds \"%s\"", name, qPrintable(row.value(QString::fromLatin1(name))));
    return v;
}

} // namespace

class TestMicrographCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fitOutputsAgree_data();
    void fitOutputsAgree();
    void noiseGivesNoResult();
    void brokenFilesInABatch();
    void spectrumAndAverageReadBack();
    void refusedInput_data();
    void refusedInput();
    void fullDiskKeepsThePreviousFile_data();
    void fullDiskKeepsThePreviousFile();
    void interruptedBatchKeepsWhatFinished_data();
    void interruptedBatchKeepsWhatFinished();
    void refusedAtOnce_data();
    void refusedAtOnce();
    void doubtedFitStaysOutOfResults();
    void averageEndsWhereFitHolds();
    void specimenOutputs_data();
    void specimenOutputs();
    void patchTablesReadBack();
    void diagnosticsPictures();
    void diagnosticsRefused_data();
    void diagnosticsRefused();

private:
    QTemporaryDir m_dir;
};

void TestMicrographCli::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestMicrographCli::fitOutputsAgree_data()
{
    QTest::addColumn<FitCase>("fitCase");
    QTest::addColumn<QStringList>("options");
    QTest::newRow("300 kV, 1000 A astigmatism at 30 deg")
        << FitCase{"a", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None} << QStringList();
    QTest::newRow("200 kV, 1.5 A pixels, 120 deg")
        << FitCase{"b", 200, 2.0, 0.1, 1.5, 12500, 11500, 120, None}
        << QStringList{"--kv", "200", "--cs", "2.0", "--amplitude-contrast", "0.1"};
    QTest::newRow("phase plate 60 deg") << FitCase{"c", 300, 2.7, 0.07, 1.0, 7250, 6750, 40, 60}
                                        << QStringList{"--fit-phase-shift"};
}

// One micrograph fitted with every output: the table, the STAR file and CTFFIND's text say the same
// and are near the truth (the library's tests and benchmark hold the tight bounds).
void TestMicrographCli::fitOutputsAgree()
{
    QFETCH(FitCase, fitCase);
    QFETCH(QStringList, options);
    const QString name = QStringLiteral("fit-%1.mrc").arg(QString::fromLatin1(fitCase.name));
    const QString image = writeCase(m_dir, name, fitCase, 2048);
    const QString star = m_dir.filePath(QStringLiteral("fit-%1.star").arg(QString::fromLatin1(fitCase.name)));
    const Run r = runCtf(QStringList{"fit", image, "--star", star, "--ctffind-txt", "--threads", "2"} + options);
    QVERIFY2(r.status == 0, r.err.constData());

    const QVector<Row> table = tsv(r.out);
    QCOMPARE(table.size(), 1);
    const Row &t = table.first();
    QCOMPARE(t.value("micrograph"), image);
    QCOMPARE(t.value("reliable"), QStringLiteral("yes"));

    QFile starFile(star);
    QVERIFY(starFile.open(QIODevice::ReadOnly));
    const QByteArray starText = starFile.readAll();
    const QVector<Row> optics = starLoop(starText, "data_optics");
    const QVector<Row> micrographs = starLoop(starText, "data_micrographs");
    QCOMPARE(optics.size(), 1);
    QCOMPARE(micrographs.size(), 1);
    const Row &s = micrographs.first();
    QCOMPARE(s.value("MicrographName"), image);
    QCOMPARE(s.value("OpticsGroup"), optics.first().value("OpticsGroup"));
    QCOMPARE(value(optics.first(), "MicrographPixelSize"), fitCase.pixel);
    QCOMPARE(value(optics.first(), "Voltage"), fitCase.voltage);
    QCOMPARE(value(optics.first(), "SphericalAberration"), fitCase.csMm);
    QCOMPARE(value(optics.first(), "AmplitudeContrast"), fitCase.q);

    QFile txtFile(m_dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".txt")));
    QVERIFY(txtFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> txt = txtFile.readAll().trimmed().split('\n');
    QCOMPARE(txt.size(), 6); // five comment lines, one of values
    for (int i = 0; i < 5; ++i)
        QVERIFY(txt[i].startsWith('#'));
    QVERIFY(txt[1].contains(QFileInfo(image).absoluteFilePath().toUtf8()));
    QVERIFY(txt[2].startsWith(QByteArray("# Pixel size: ") + QByteArray::number(fitCase.pixel, 'f', 3) + " Angstroms"));
    const QList<QByteArray> columns = txt[5].simplified().split(' ');
    QCOMPARE(columns.size(), 7);
    QCOMPARE(columns[0].toDouble(), 1.0);

    // Column by column: table, STAR and CTFFIND's text, to their printed digits.
    const struct {
        const char *table, *star;
        int ctffind;
        double ctffindScale, tolerance;
    } same[] = {
        {"defocus_u_A", "DefocusU", 1, 1, 0.01},   {"defocus_v_A", "DefocusV", 2, 1, 0.01},
        {"angle_deg", "DefocusAngle", 3, 1, 0.01}, {"phase_shift_deg", "PhaseShift", 4, 180 / M_PI, 0.01},
        {"score", "CtfFigureOfMerit", 5, 1, 1e-6}, {"resolution_A", "CtfMaxResolution", 6, 1, 0.01},
    };
    for (const auto &c : same) {
        const double fromTable = value(t, c.table);
        QVERIFY2(std::fabs(value(s, c.star) - fromTable) <= c.tolerance, c.star);
        QVERIFY2(std::fabs(columns[c.ctffind].toDouble() * c.ctffindScale - fromTable) <= c.tolerance, c.table);
    }
    // To the printed digits: U, V and their difference are each rounded to a millionth of an ångström.
    QVERIFY(std::fabs(value(s, "CtfAstigmatism") - (value(s, "DefocusU") - value(s, "DefocusV"))) <= 2e-6);
    QVERIFY(value(t, "defocus_u_A") >= value(t, "defocus_v_A"));

    CtfFitValues fitted;
    fitted.cryoEm = {value(t, "defocus_u_A"), value(t, "defocus_v_A"), value(t, "angle_deg")};
    fitted.program = fromCryoEmDefocus(fitted.cryoEm);
    fitted.phaseShift = value(t, "phase_shift_deg");
    const FitErrors e = fitErrors(fitCase, fitted);
    QVERIFY2(withinTargets(e, 3), qPrintable(errorsText(e)));
    // The rings of these clean micrographs follow the fit beyond the band, up to near Nyquist.
    QVERIFY2(value(t, "resolution_A") >= 2 * fitCase.pixel && value(t, "resolution_A") < 15, r.out.constData());

    // RELION's own reader, where RELION is installed, takes the file and finds the same values.
    const QString printTable = QStandardPaths::findExecutable(QStringLiteral("relion_star_printtable"));
    if (!printTable.isEmpty()) {
        const Run relion = run(printTable,
                               {star, "data_micrographs", "rlnMicrographName", "rlnDefocusU", "rlnDefocusV",
                                "rlnDefocusAngle", "rlnCtfMaxResolution"});
        QVERIFY2(relion.status == 0, relion.err.constData());
        const QStringList cells = QString::fromUtf8(relion.out).simplified().split(QLatin1Char(' '));
        QCOMPARE(cells.size(), 5);
        QCOMPARE(cells[0], image);
        QVERIFY(std::fabs(cells[1].toDouble() - value(t, "defocus_u_A")) < 0.01);
        QVERIFY(std::fabs(cells[3].toDouble() - value(t, "angle_deg")) < 0.01);
    }
}

// Noise alone: no values invented, the score and its significance given, nothing in the STAR file.
void TestMicrographCli::noiseGivesNoResult()
{
    const QString noise = writeNoise(m_dir, QStringLiteral("noise.mrc"), 1024);
    const QString star = m_dir.filePath(QStringLiteral("noise.star"));
    const Run r = runCtf({"fit", noise, "--pixel", "1", "--star", star, "--ctffind-txt"});
    QCOMPARE(r.status, 3);
    QVERIFY2(r.err.contains(noise.toUtf8() + ": No reliable fit"), r.err.constData());
    const QVector<Row> table = tsv(r.out);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.first().value("reliable"), QStringLiteral("no"));
    QVERIFY(std::fabs(value(table.first(), "score")) < 0.2);
    QVERIFY(value(table.first(), "significance") < 10);
    QVERIFY(table.first().value("defocus_u_A").isEmpty());
    QFile starFile(star);
    QVERIFY(starFile.open(QIODevice::ReadOnly));
    QVERIFY(starLoop(starFile.readAll(), "data_micrographs").isEmpty());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("noise.txt"))));

    const Run json = runCtf({"fit", noise, "--pixel", "1", "--json"});
    QCOMPARE(json.status, 3);
    const QJsonArray array = QJsonDocument::fromJson(json.out).array();
    QCOMPARE(array.size(), 1);
    QCOMPARE(array[0].toObject().value("reliable").toBool(true), false);
    QVERIFY(array[0].toObject().value("defocusUA").isNull());
    QVERIFY(array[0].toObject().value("score").isDouble());
}

// A batch with broken files: each is named on the standard error with what is wrong, the good ones
// are fitted and written, and the exit status says that some failed.
void TestMicrographCli::brokenFilesInABatch()
{
    const FitCase c{"good", 300, 2.7, 0.07, 1.0, 15500, 14500, 60, None};
    const QString good = writeCase(m_dir, QStringLiteral("good.mrc"), c, 2048);
    const QString truncated = m_dir.filePath(QStringLiteral("truncated.mrc"));
    {
        QFile in(good), out(truncated);
        QVERIFY(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        out.write(in.read(1024 + 2048 * 100 * 4));
    }
    const QString missing = m_dir.filePath(QStringLiteral("missing.mrc"));
    const QString small = writeNoise(m_dir, QStringLiteral("small.mrc"), 200);
    const QString star = m_dir.filePath(QStringLiteral("batch.star"));
    const Run r = runCtf({"fit", truncated, good, missing, small, "--star", star, "--threads", "2"});
    QCOMPARE(r.status, 1);
    const QList<QByteArray> errors = r.err.trimmed().split('\n');
    QCOMPARE(errors.size(), 3);
    const struct {
        QString file;
        const char *what;
    } expected[] = {{truncated, "truncated"}, {missing, "No such file"}, {small, "fewer than one tile"}};
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(errors[i].contains(expected[i].file.toUtf8()), errors[i].constData());
        QVERIFY2(errors[i].contains(expected[i].what), errors[i].constData());
    }
    const QVector<Row> table = tsv(r.out);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.first().value("micrograph"), good);
    QFile starFile(star);
    QVERIFY(starFile.open(QIODevice::ReadOnly));
    const QVector<Row> rows = starLoop(starFile.readAll(), "data_micrographs");
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().value("MicrographName"), good);
}

// The spectrum as MRC read by mrcfile (its pixel size, its validation), the TIFF by tifffile: the
// grey picture is the MRC's values spread over its levels. The average table is the spectrum file's
// rotational average as numpy computes it.
void TestMicrographCli::spectrumAndAverageReadBack()
{
    const FitCase c{"spectrum", 300, 2.7, 0.07, 1.25, 15000, 15000, 0, None};
    const QString image = writeCase(m_dir, QStringLiteral("spectrum.mrc"), c, 1024);
    const QString mrc = m_dir.filePath(QStringLiteral("s.mrc")), tif = m_dir.filePath(QStringLiteral("s.tif")),
                  png = m_dir.filePath(QStringLiteral("s.png"));
    for (const QString &out : {mrc, tif, png}) {
        const Run r = runCtf({"spectrum", image, "--out", out, "--tile", "256"});
        QVERIFY2(r.status == 0, r.err.constData());
    }
    const Run average = runCtf({"average", image, "--tile", "256"});
    QVERIFY2(average.status == 0, average.err.constData());
    const QString averageFile = m_dir.filePath(QStringLiteral("average.tsv"));
    {
        QFile f(averageFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(average.out);
    }
    const char *check = R"(
import sys, numpy as np, mrcfile, tifffile
mrc, tif, average = sys.argv[1:4]
assert mrcfile.validate(mrc, print_file=open('/dev/null', 'w')), 'mrcfile finds the file invalid'
with mrcfile.open(mrc, permissive=False) as m:
    s = m.data.astype(np.float64)
    assert s.shape == (256, 256), s.shape
    assert abs(float(m.voxel_size.x) - 1.25) < 1e-5, m.voxel_size
    assert abs(m.header.dmax - s.max()) < 1e-3 * abs(s.max()) and abs(m.header.dmean - s.mean()) < 1e-3 * s.std()
n = 256; step = 1 / (n * 0.125)
j, i = np.indices((n, n)); r = np.hypot(i - n // 2, j - n // 2)
outer = r * step > 1 / 3
mean, sd = s[outer].mean(), s[outer].std()
grey = np.clip((s - (mean - 3 * sd)) / (6 * sd), 0, 1)
t = tifffile.imread(tif)
assert t.dtype == np.uint16 and t.shape == (n, n)
assert np.abs(t / 65535.0 - grey).max() < 2e-5, np.abs(t / 65535.0 - grey).max()
# the rotational average, each pixel shared between its two nearest bins
b = np.floor(r).astype(int); w = r - b
value = np.bincount(b.ravel(), (s * (1 - w)).ravel(), n) + np.bincount(b.ravel() + 1, (s * w).ravel(), n + 1)[:n]
weight = np.bincount(b.ravel(), (1 - w).ravel(), n) + np.bincount(b.ravel() + 1, w.ravel(), n + 1)[:n]
rows = [l.split('\t') for l in open(average).read().splitlines()]
assert rows[0] == ['k', 'Spectrum Average'], rows[0]
assert len(rows) == n // 2 + 2, len(rows)
for k in range(1, n // 2 + 1):
    assert abs(float(rows[k + 1][0]) - k * step) < 1e-9
    expect = value[k] / weight[k]
    assert abs(float(rows[k + 1][1]) - expect) < 1e-4 * sd, (k, rows[k + 1][1], expect)
)";
    const Run py = runPython(QString::fromLatin1(check), {mrc, tif, averageFile});
    QVERIFY2(py.status == 0, py.err.constData());
    const QImage picture(png);
    QCOMPARE(picture.format(), QImage::Format_Grayscale8);
    QCOMPARE(picture.size(), QSize(256, 256));
}

void TestMicrographCli::refusedInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QString image = QStringLiteral("@image"); // the good 1024 micrograph, 1 Å
    QTest::newRow("band beyond Nyquist")
        << QStringList{"fit", image, "--pixel", "1", "--band", "30:1.5"} << 1
        << "beyond the Nyquist limit of 2 Å (twice the pixel size of 1 Å given by --pixel)";
    QTest::newRow("band beyond the file's Nyquist")
        << QStringList{"fit", image, "--band", "30:1.5"} << 1
        << "beyond the Nyquist limit of 2 Å (twice the pixel size of 1 Å the file gives)";
    QTest::newRow("band upside down") << QStringList{"fit", image, "--band", "5:30"} << 2 << "the band is empty";
    QTest::newRow("empty defocus range") << QStringList{"fit",   image,           "--min-defocus",
                                                        "30000", "--max-defocus", "20000"}
                                         << 2 << "the defocus range is empty";
    QTest::newRow("image smaller than the tile")
        << QStringList{"fit", image, "--tile", "2048"} << 1 << "fewer than one tile";
    QTest::newRow("spectrum without --out") << QStringList{"spectrum", image} << 2 << "--out";
    QTest::newRow("spectrum to an unknown format")
        << QStringList{"spectrum", image, "--out", "x.jpg"} << 2 << "must end in .mrc, .tif, .tiff or .png";
    QTest::newRow("fit options without --fit")
        << QStringList{"average", image, "--kv", "200"} << 2 << "--kv: only with --fit";
    QTest::newRow("no pixel size") << QStringList{"spectrum", "@nopixel", "--out", "x.png"} << 1
                                   << "gives no pixel size";
    // Values the fit once took and then crashed on, hung on, or answered with "no reliable fit".
    QTest::newRow("kV far below any instrument")
        << QStringList{"fit", image, "--kv", "1e-300"} << 2 << "--kv \"1e-300\": it must be a number from 1 to 3000 kV";
    QTest::newRow("kV tiny, one thread") << QStringList{"fit", image, "--kv", "1e-6", "--threads", "1"} << 2
                                         << "from 1 to 3000 kV";
    QTest::newRow("kV beyond any instrument")
        << QStringList{"fit", image, "--kv", "100000"} << 2 << "from 1 to 3000 kV";
    QTest::newRow("kV near the largest double")
        << QStringList{"fit", image, "--kv", "1e308"} << 2 << "from 1 to 3000 kV";
    QTest::newRow("phase shift near the largest double")
        << QStringList{"fit", image, "--phase-shift", "1e308"} << 2 << "it must be a number from -360 to 360 degrees";
    QTest::newRow("band below the smallest pixel")
        << QStringList{"fit", image, "--pixel", "0.001", "--band", "0.003:0.002"} << 2
        << "both resolutions must be from 0.02 to 10000 Å";
    QTest::newRow("pixel below the smallest")
        << QStringList{"spectrum", image, "--pixel", "0.001", "--out", "x.png"} << 2 << "from 0.01 to 100 Å";
    const QStringList wide{"--pixel",  "0.01",          "--band",  "0.03:0.02",        "--min-defocus",
                           "-1000000", "--max-defocus", "1000000", "--fit-phase-shift"};
    QTest::newRow("search too large") << QStringList{"fit", image} + wide << 2 << "The search is too large";
    QTest::newRow("search too large for average")
        << QStringList{"average", image, "--fit"} + wide << 2 << "The search is too large";
    QTest::newRow("defocus beyond 100 um")
        << QStringList{"fit", image, "--min-defocus", "-1000001"} << 2 << "from -1000000 to 1000000 Å";
    QTest::newRow("astigmatism limit beyond 10 um")
        << QStringList{"fit", image, "--max-astigmatism", "1000000"} << 2 << "from 0 to 100000 Å";
    QTest::newRow("average band beyond Nyquist")
        << QStringList{"average", image, "--fit", "--pixel", "1", "--band", "30:1.5"} << 1
        << "beyond the Nyquist limit of 2 Å (twice the pixel size of 1 Å given by --pixel)";
    QTest::newRow("image thinner than the smallest tile")
        << QStringList{"fit", "@thin"} << 1 << "too small for a spectrum, whose smallest tile is 256 x 256";
}

void TestMicrographCli::refusedInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    static const QString image = writeCase(m_dir, QStringLiteral("refused.mrc"),
                                           FitCase{"r", 300, 2.7, 0.07, 1.0, 15000, 15000, 0, None}, 1024);
    static const QString noPixel = [this] {
        SyntheticOptions o;
        o.width = o.height = 512;
        o.pixelSizeNm = 0;
        const QString path = m_dir.filePath(QStringLiteral("nopixel.mrc"));
        writeMrcFloat(path, syntheticMicrograph(o, [](double, double) { return 1.0; }));
        return path;
    }();
    arguments.replaceInStrings(QStringLiteral("@image"), image);
    static const QString thin = [this] {
        SyntheticOptions o;
        o.width = 1024;
        o.height = 2;
        const QString path = m_dir.filePath(QStringLiteral("thin.mrc"));
        writeMrcFloat(path, syntheticMicrograph(o, [](double, double) { return 1.0; }));
        return path;
    }();
    arguments.replaceInStrings(QStringLiteral("@nopixel"), noPixel);
    arguments.replaceInStrings(QStringLiteral("@thin"), thin);
    for (QString &a : arguments)
        if (a == QLatin1String("x.png") || a == QLatin1String("x.jpg"))
            a = m_dir.filePath(a);
    // Refusals come before any long work: a hang or a search without bounds shows as a timeout.
    const Run r = runCtf(arguments, 60000);
    QCOMPARE(r.status, status);
    QVERIFY2(r.err.startsWith("orvalis-ctf: ") && r.err.count('\n') == 1, r.err.constData());
    QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
    QVERIFY2(r.out.count('\n') <= 1, r.out.constData()); // a fit's table header at most
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("x.png"))));
}

void TestMicrographCli::fullDiskKeepsThePreviousFile_data()
{
    QTest::addColumn<QStringList>("arguments"); // @out: the file written
    QTest::addColumn<bool>("previous");
    const QStringList star{"fit", "@image", "--star", "@out"};
    const QStringList library{"library", "export", "@out", "--store", "@store"};
    const QStringList spectrum{"spectrum", "@image", "--tile", "256", "--out", "@out"};
    QTest::newRow("fit --star over an earlier file") << star << true;
    QTest::newRow("fit --star, a new file") << star << false;
    QTest::newRow("library export over an earlier file") << library << true;
    QTest::newRow("library export, a new file") << library << false;
    QTest::newRow("spectrum over an earlier file") << spectrum << true;
}

// A disk that fills up while a file is written: the command fails naming the file and the system's
// reason, and the earlier file stays as it was (or none is left).
void TestMicrographCli::fullDiskKeepsThePreviousFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, previous);
    static const QString image = writeCase(m_dir, QStringLiteral("full.mrc"),
                                           FitCase{"f", 300, 2.7, 0.07, 1.0, 15000, 14000, 20, None}, 1024);
    const QString store = m_dir.filePath(QStringLiteral("full.store"));
    if (!QFile::exists(store))
        QCOMPARE(runCtf({"library", "list", "--store", store}).status, 0);
    QTemporaryDir out;
    QVERIFY(out.isValid());
    const QString target = out.filePath(arguments.contains(QStringLiteral("spectrum")) ? QStringLiteral("s.mrc")
                                                                                       : QStringLiteral("out.file"));
    if (previous) {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier contents");
    }
    arguments.replaceInStrings(QStringLiteral("@image"), image);
    arguments.replaceInStrings(QStringLiteral("@out"), target);
    arguments.replaceInStrings(QStringLiteral("@store"), store);
    Run r;
    {
        // Inherited by the program: every file it writes stops at a few bytes, as on a full disk.
        const FailingWrites failing(out.path(), true);
        QVERIFY(failing.effective());
        r = runCtf(arguments);
    }
    QCOMPARE(r.status, 1);
    QVERIFY2(r.err.contains("orvalis-ctf: Cannot create file " + target.toUtf8() + ": File too large"),
             r.err.constData());
    QCOMPARE(contents(target), previous ? QByteArray("earlier contents") : QByteArray("(missing)"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), previous ? 1 : 0);
}

void TestMicrographCli::interruptedBatchKeepsWhatFinished_data()
{
    QTest::addColumn<bool>("json");
    QTest::newRow("table") << false;
    QTest::newRow("json") << true;
}

// SIGTERM in the middle of a batch: the lines of what finished are there, in order, and the STAR
// file holds exactly those micrographs, complete.
void TestMicrographCli::interruptedBatchKeepsWhatFinished()
{
    QFETCH(bool, json);
    static const QStringList files = [this] {
        QStringList names;
        for (int i = 0; i < 8; ++i)
            names << writeCase(m_dir, QStringLiteral("batch%1.mrc").arg(i),
                               FitCase{"b", 300, 2.7, 0.07, 1.0, 12000.0 + 800 * i, 11500.0 + 800 * i, 10.0 * i, None},
                               1024);
        return names;
    }();
    const QString star = m_dir.filePath(QStringLiteral("interrupted.star"));
    {
        QFile f(star);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("earlier contents");
    }
    QProcess process;
    QStringList arguments = QStringList{"fit", "--threads", "1", "--star", star} + files;
    if (json)
        arguments << "--json";
    process.start(QStringLiteral(ORVALIS_CTF), arguments);
    QVERIFY(process.waitForStarted());
    // The first micrograph's line comes while the others are still being fitted.
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (!out.contains(files.first().toUtf8()) && clock.elapsed() < 120000) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
    }
    QVERIFY2(out.contains(files.first().toUtf8()), out.constData());
    process.terminate();
    QVERIFY(process.waitForFinished(30000));
    out += process.readAllStandardOutput();
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 143);
    QVERIFY2(err.contains("interrupted by SIGTERM"), err.constData());

    QStringList printed;
    if (json) {
        QJsonParseError error{};
        const QJsonArray array = QJsonDocument::fromJson(out, &error).array();
        QVERIFY2(error.error == QJsonParseError::NoError, out.constData());
        for (const QJsonValue &v : array)
            printed << v.toObject().value("micrograph").toString();
    } else {
        for (const Row &row : tsv(out))
            printed << row.value("micrograph");
    }
    QVERIFY2(!printed.isEmpty() && printed.size() < files.size(), qPrintable(printed.join(' ')));
    QCOMPARE(printed, files.mid(0, printed.size()));
    QStringList inStar;
    for (const Row &row : starLoop(contents(star), "data_micrographs"))
        inStar << row.value("MicrographName");
    QCOMPARE(inStar, printed);
}

void TestMicrographCli::refusedAtOnce_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("input"); // a kind of special file, a device's path, or pixels scaled
    QTest::addColumn<QString>("message");
    const QString fifo = QStringLiteral("it is a FIFO (named pipe), not a regular file.");
    QTest::newRow("spectrum of a FIFO") << "spectrum"
                                        << "fifo" << fifo;
    QTest::newRow("fit of a FIFO") << "fit"
                                   << "fifo" << fifo;
    QTest::newRow("spectrum of a folder") << "spectrum"
                                          << "folder"
                                          << "it is a folder, not a regular file.";
    QTest::newRow("fit of /dev/zero") << "fit"
                                      << "/dev/zero"
                                      << "Cannot open the micrograph /dev/zero: it is a device, not a regular file.";
    QTest::newRow("spectrum of a device") << "spectrum"
                                          << "device"
                                          << "it is a device, not a regular file.";
    QTest::newRow("spectrum of pixels near 1e38") << "spectrum"
                                                  << "1e38"
                                                  << "vary too much for a spectrum";
    QTest::newRow("fit of pixels near 1e38") << "fit"
                                             << "1e38"
                                             << "vary too much for a spectrum";
    QTest::newRow("spectrum of pixels near 1e-40") << "spectrum"
                                                   << "1e-40"
                                                   << "vary too little for a spectrum";
}

// Each is refused with its reason and exit status 1 within seconds; none waits for a writer, reads
// without end or writes a spectrum of NaN or zeros.
void TestMicrographCli::refusedAtOnce()
{
    QFETCH(QString, command);
    QFETCH(QString, input);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QString path = input.startsWith(QLatin1Char('/')) ? input : dir.filePath(QStringLiteral("input.mrc"));
    static const QMap<QString, test::SpecialFile> kinds{{"fifo", test::SpecialFile::Fifo},
                                                        {"folder", test::SpecialFile::Folder},
                                                        {"device", test::SpecialFile::Device}};
    if (kinds.contains(input) && !test::makeSpecialFile(kinds[input], path))
        QSKIP("this system does not let the test make one");
    if (input.startsWith(QLatin1Char('1'))) {
        FitImageOptions o;
        o.size = 512;
        MicrographImage image = fitCaseImage(FitCase{"s", 300, 2.7, 0.07, 1.0, 15000, 15000, 0, None}, o);
        float most = 0;
        for (const float v : image.data)
            most = std::max(most, std::abs(v));
        for (float &v : image.data)
            v = static_cast<float>(v * (input.toDouble() / most));
        QVERIFY(writeMrcFloat(path, image));
    }
    const test::FifoUnblocker unblocker(path); // a reader that waits after all gets an empty file
    const QString out = dir.filePath(QStringLiteral("out.mrc"));
    QStringList arguments{command, path};
    if (command == QLatin1String("spectrum"))
        arguments << QStringLiteral("--out") << out << QStringLiteral("--power");
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(ORVALIS_CTF), arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        QFAIL("did not finish");
    }
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 1, err.constData());
    QVERIFY2(err.contains(message.toUtf8()), err.constData());
    QVERIFY2(err.contains(path.toUtf8()), err.constData());
    QVERIFY(!QFile::exists(out));
    if (!input.startsWith(QLatin1Char('1')))
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
}

// A phase plate fitted without its shift: above the noise, but marked no, its doubt named with the
// option that fixes it, and kept out of the files other programs take as results.
void TestMicrographCli::doubtedFitStaysOutOfResults()
{
    const QString image = writeCase(m_dir, QStringLiteral("plate.mrc"),
                                    FitCase{"p", 300, 2.7, 0.07, 1.0, 6000, 5600, 20, 90}, 2048);
    const QString star = m_dir.filePath(QStringLiteral("plate.star"));
    const Run r = runCtf({"fit", image, "--star", star, "--threads", "2"});
    QCOMPARE(r.status, 3);
    QVERIFY2(r.err.contains(image.toUtf8() + ": Not reliable: ") && r.err.contains("--fit-phase-shift"),
             r.err.constData());
    const QVector<Row> table = tsv(r.out);
    QCOMPARE(table.size(), 1);
    QCOMPARE(table.first().value("reliable"), QStringLiteral("no"));
    QCOMPARE(table.first().value("doubts"), QStringLiteral("phaseShift"));
    QVERIFY(value(table.first(), "defocus_u_A") > 0); // the values stay
    QFile starFile(star);
    QVERIFY(starFile.open(QIODevice::ReadOnly));
    QCOMPARE(starLoop(starFile.readAll(), "data_micrographs").size(), 0);

    const Run json = runCtf({"fit", image, "--json", "--threads", "2"});
    const QJsonObject o = QJsonDocument::fromJson(json.out).array().at(0).toObject();
    QCOMPARE(o.value("reliable").toBool(true), false);
    QCOMPARE(o.value("doubts").toArray().at(0).toString(), QStringLiteral("phaseShift"));
    QVERIFY(o.value("message").toString().startsWith(QLatin1String("Not reliable: ")));
}

// The resolution fit reports is where average --fit's agreement ends, on the same spectrum; the
// model column is a square.
void TestMicrographCli::averageEndsWhereFitHolds()
{
    const QString image = writeCase(m_dir, QStringLiteral("holds.mrc"),
                                    FitCase{"h", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None}, 2048);
    const Run fit = runCtf({"fit", image, "--threads", "2"});
    QVERIFY2(fit.status == 0, fit.err.constData());
    const double resolution = value(tsv(fit.out).first(), "resolution_A");
    const Run average = runCtf({"average", image, "--fit"});
    QVERIFY2(average.status == 0, average.err.constData());
    QVERIFY2(average.err.contains(QStringLiteral("the fit holds to %1 Å").arg(resolution, 0, 'f', 2).toUtf8()),
             average.err.constData());
    const QVector<Row> rows = tsv(average.out);
    double lastAgreed = 0, model = 0, largest = 0;
    bool ended = false;
    int high = 0;
    for (const Row &row : rows) {
        const double k = value(row, "k");
        model = row.value("Model CTF^2").toDouble();
        QVERIFY2(model >= 0 && model <= 1, qPrintable(row.value("Model CTF^2")));
        largest = std::max(largest, model);
        const QString cell = row.value("Agreement NCC");
        if (ended || cell.isEmpty() || k < 1 / 3.0)
            continue;
        const double c = cell.toDouble();
        if (high > 3 && c < 0.5)
            ended = true;
        else {
            high += c > 0.66;
            lastAgreed = k;
        }
    }
    QVERIFY(largest > 0.99);
    QVERIFY2(
        std::fabs(10 / lastAgreed - resolution) < 0.02,
        qPrintable(QStringLiteral("the column ends at %1 Å, fit holds to %2 Å").arg(10 / lastAgreed).arg(resolution)));
}

void TestMicrographCli::specimenOutputs_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("columns"); // the table's, after the phase shift
    QTest::newRow("tilt and thickness") << QStringList{"--fit-tilt", "--fit-thickness"}
                                        << QStringList{"tilt_deg", "tilt_axis_deg", "thickness_A"};
    QTest::newRow("tilt alone") << QStringList{"--fit-tilt"} << QStringList{"tilt_deg", "tilt_axis_deg"};
    QTest::newRow("thickness alone") << QStringList{"--fit-thickness"} << QStringList{"thickness_A"};
}

// A flat, thin specimen asked for its tilt and thickness: the columns and keys are there, their
// cells empty (null in JSON, 0 in CTFFIND5's text and the STAR file's tilt), the reason on the
// standard error, and the fit itself reliable (exit 0).
void TestMicrographCli::specimenOutputs()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, columns);
    const QString image = writeCase(m_dir, QStringLiteral("flat.mrc"),
                                    FitCase{"flat", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None}, 1536);
    const QString star = m_dir.filePath(QStringLiteral("flat.star"));
    const Run r = runCtf(QStringList{"fit", image, "--star", star, "--ctffind-txt"} + options);
    QVERIFY2(r.status == 0, r.err.constData());
    const QList<QByteArray> header = r.out.split('\n').first().split('\t');
    const int shift = int(header.indexOf("phase_shift_deg"));
    for (int i = 0; i < columns.size(); ++i)
        QCOMPARE(QString::fromUtf8(header.value(shift + 1 + i)), columns[i]);
    QCOMPARE(header.value(shift + 1 + int(columns.size())), QByteArray("score"));
    const Row t = tsv(r.out).first();
    QCOMPARE(t.value("reliable"), QStringLiteral("yes"));
    for (const QString &c : columns)
        QVERIFY2(t.value(c).isEmpty(), qPrintable(c));
    QVERIFY2(r.err.contains("No tilt is reported") == options.contains("--fit-tilt"), r.err.constData());
    QVERIFY2(r.err.contains("thin for this band") == options.contains("--fit-thickness"), r.err.constData());

    const Run json = runCtf(QStringList{"fit", image, "--json"} + options);
    const QJsonObject o = QJsonDocument::fromJson(json.out).array().first().toObject();
    for (const char *key : {"tiltDeg", "tiltAxisDeg", "thicknessA"}) {
        const bool asked = QByteArray(key) == "thicknessA" ? options.contains("--fit-thickness")
                                                           : options.contains("--fit-tilt");
        QCOMPARE(o.contains(QString::fromLatin1(key)), asked);
        QVERIFY(!asked || o.value(QString::fromLatin1(key)).isNull());
    }
    QVERIFY(!o.value(QStringLiteral("specimenNote")).toString().isEmpty());

    const QList<QByteArray> txt = contents(m_dir.filePath(QStringLiteral("flat.txt"))).trimmed().split('\n');
    QVERIFY(txt[4].endsWith("#8 - Estimated tilt axis angle; #9 - Estimated tilt angle ; #10 Estimated sample "
                            "thickness (in Angstroms)"));
    const QList<QByteArray> values = txt[5].simplified().split(' ');
    QCOMPARE(values.size(), 10);
    for (int i = 7; i < 10; ++i)
        QCOMPARE(values[i], QByteArray("0.000000"));
    const QVector<Row> micrographs = starLoop(contents(star), "data_micrographs");
    QCOMPARE(micrographs.first().contains(QStringLiteral("MicrographTiltAngle")), options.contains("--fit-tilt"));
    if (options.contains("--fit-tilt"))
        QCOMPARE(value(micrographs.first(), "MicrographTiltAngle"), 0.0);
}

// --patches: the table's header and order read back, the rings' half of a micrograph fitted near
// the truth and its noise half marked, not invented; with several micrographs one table each, and
// one too small for patches named with the sizes it needs, its table not written.
void TestMicrographCli::patchTablesReadBack()
{
    const FitCase c{"p", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None};
    FitImageOptions o;
    o.size = 2048;
    o.noise = 1.0;
    MicrographImage half = fitCaseImage(c, o);
    SyntheticOptions n;
    n.width = n.height = 2048;
    const MicrographImage noise = syntheticMicrograph(n, [](double, double) { return 0.0; });
    for (int y = 0; y < 2048; ++y) // the right half: noise of the same mean and about the same spread
        for (int x = 1024; x < 2048; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * 2048 + x;
            half.data[i] = noise.data[i] * 1.4f + (100 - 100 * 1.4f);
        }
    const QString mixed = m_dir.filePath(QStringLiteral("mixed.mrc"));
    QVERIFY(writeMrcFloat(mixed, half));
    const QString table = m_dir.filePath(QStringLiteral("local.tsv"));
    const Run one = runCtf({"fit", mixed, "--patches", table, "--threads", "2"});
    QVERIFY2(one.status == 0, one.err.constData());
    const QByteArray text = contents(table);
    QVERIFY2(text.startsWith("x_px\ty_px\tdefocus_u_A\tdefocus_v_A\tangle_deg\tscore\tsignificant\n"),
             text.constData());
    const QVector<Row> rows = tsv(text);
    QCOMPARE(rows.size(), 4);
    const double xs[] = {511.5, 1535.5, 511.5, 1535.5}, ys[] = {511.5, 511.5, 1535.5, 1535.5};
    for (int i = 0; i < 4; ++i) {
        const Row &row = rows[i];
        QCOMPARE(value(row, "x_px"), xs[i]);
        QCOMPARE(value(row, "y_px"), ys[i]);
        value(row, "score");
        if (xs[i] < 1024) {
            QCOMPARE(row.value("significant"), QStringLiteral("yes"));
            QVERIFY2(std::fabs(value(row, "defocus_u_A") - c.defocusU) < 150, qPrintable(row.value("defocus_u_A")));
            QVERIFY2(std::fabs(value(row, "defocus_v_A") - c.defocusV) < 150, qPrintable(row.value("defocus_v_A")));
            QVERIFY(value(row, "angle_deg") >= 0 && value(row, "angle_deg") < 180);
        } else {
            QCOMPARE(row.value("significant"), QStringLiteral("no"));
            QVERIFY(row.value("defocus_u_A").isEmpty() && row.value("defocus_v_A").isEmpty()
                    && row.value("angle_deg").isEmpty());
        }
    }

    const QString small = writeCase(m_dir, QStringLiteral("small.mrc"), c, 1536);
    const Run two = runCtf({"fit", mixed, small, "--patches", table, "--threads", "2"});
    QCOMPARE(two.status, 1);
    QVERIFY2(two.err.contains(small.toUtf8()
                              + ": no local defocus: The micrograph, 1536 x 1536 pixels, is too "
                                "small for its local defocus: patches of 1024 pixels"),
             two.err.constData());
    QCOMPARE(tsv(two.out).size(), 2); // both fitted
    QCOMPARE(tsv(contents(m_dir.filePath(QStringLiteral("local_mixed.tsv")))).size(), 4);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("local_small.tsv"))));
}

QTEST_GUILESS_MAIN(TestMicrographCli)
// fit --diagnostics: a folder made for them, and per micrograph the spectrum beside its model (PNG,
// and MRC read back by mrcfile at the spectrum's size and the pixel size), the profile as PNG and as
// SVG with its titles and legend as text; a micrograph without a fit gets the spectrum alone.
void TestMicrographCli::diagnosticsPictures()
{
    const FitCase c{"d", 300, 2.7, 0.07, 1.25, 15500, 14500, 60, None};
    const QString image = writeCase(m_dir, QStringLiteral("diag_good.mrc"), c, 1024);
    const QString noise = writeNoise(m_dir, QStringLiteral("diag_noise.mrc"), 1024);
    const QString dir = m_dir.filePath(QStringLiteral("pictures/of/fits"));
    const Run r = runCtf({"fit", image, noise, "--diagnostics", dir, "--threads", "2", "--pixel", "1.25"});
    QVERIFY2(r.status == 3, r.err.constData()); // the noise has no reliable fit
    const QVector<Row> table = tsv(r.out);
    QCOMPARE(table.size(), 2);
    const int tile = table[0].value("tile").toInt();
    QVERIFY(tile >= 256);
    const struct {
        const char *base;
        bool fitted;
    } expected[] = {{"diag_good", true}, {"diag_noise", false}};
    for (const auto &e : expected) {
        const QString base = QDir(dir).filePath(QString::fromLatin1(e.base));
        const QImage spectrum(base + QStringLiteral("_fit.png"));
        QCOMPARE(spectrum.size(), e.fitted ? QSize(tile, tile) : spectrum.size());
        QVERIFY(!spectrum.isNull());
        QCOMPARE(QFileInfo::exists(base + QStringLiteral("_fit.mrc")), true);
        QCOMPARE(QFileInfo::exists(base + QStringLiteral("_profile.png")), e.fitted);
        QCOMPARE(QFileInfo::exists(base + QStringLiteral("_profile.svg")), e.fitted);
    }
    const QString base = QDir(dir).filePath(QStringLiteral("diag_good"));
    const QImage profile(base + QStringLiteral("_profile.png"));
    QCOMPARE(profile.size(), QSize(945, 591)); // 160 x 100 mm at 150 dpi
    QCOMPARE(qRound(profile.dotsPerMeterX() * 0.0254), 150);
    const QString svg = QString::fromUtf8(contents(base + QStringLiteral("_profile.svg")));
    for (const QString &text :
         {QStringLiteral(">Spatial frequency (nm\u207B\u00B9)</text>"), QStringLiteral(">Resolution (nm)</text>"),
          QStringLiteral(">Agreement</text>"), QStringLiteral(">Spectrum</text>")})
        QVERIFY2(svg.contains(text), qPrintable(text));
    const char *check = R"(
import sys, numpy as np, mrcfile
mrc, tile = sys.argv[1], int(sys.argv[2])
assert mrcfile.validate(mrc, print_file=open('/dev/null', 'w')), 'mrcfile finds the file invalid'
with mrcfile.open(mrc, permissive=False) as m:
    assert m.data.dtype == np.float32, m.data.dtype
    assert m.data.shape == (tile, tile), m.data.shape
    assert abs(float(m.voxel_size.x) - 1.25) < 1e-5, m.voxel_size
    assert 0 <= m.data.min() and m.data.max() <= 255 and m.data.std() > 1
)";
    const Run py = runPython(QString::fromLatin1(check), {base + QStringLiteral("_fit.mrc"), QString::number(tile)});
    QVERIFY2(py.status == 0, py.err.constData());
}

void TestMicrographCli::diagnosticsRefused_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" the test's folder, "#" the good micrograph
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("a file, not a folder")
        << QStringList{"fit", "#", "--diagnostics", "@/file"} << 1 << "--diagnostics \"@/file\": not a folder";
    QTest::newRow("inside a file") << QStringList{"fit", "#", "--diagnostics", "@/file/sub"} << 1
                                   << "--diagnostics \"@/file/sub\": the folder cannot be made";
    QTest::newRow("two micrographs of one name")
        << QStringList{"fit", "#", "@/other/diag_refused.mrc", "--diagnostics", "@/d"} << 2 << "would both write";
    QTest::newRow("empty folder name") << QStringList{"fit", "#", "--diagnostics", ""} << 2
                                       << "--diagnostics: give the folder";
}

// Refused before any fitting: nothing on the standard output, no picture written.
void TestMicrographCli::diagnosticsRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    static const QString image = writeCase(m_dir, QStringLiteral("diag_refused.mrc"),
                                           FitCase{"r", 300, 2.7, 0.07, 1.0, 15500, 14500, 60, None}, 512);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    for (QString &a : arguments)
        a.replace(QLatin1Char('@'), dir.path()).replace(QLatin1Char('#'), image);
    message.replace(QLatin1Char('@'), dir.path());
    const Run r = runCtf(arguments);
    QCOMPARE(r.status, status);
    QVERIFY2(QString::fromUtf8(r.err).contains(message), r.err.constData());
    QCOMPARE(r.out, QByteArray());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"file"});
}

#include "test_micrographcli.moc"
