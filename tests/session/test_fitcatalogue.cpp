// The catalogue of many fits, without any window: the table read from RELION's STAR, CTFFIND4's and
// CTFFIND5's text and our own table and JSON; malformed files refused with the file and line; a
// folder's micrographs matched with the fits beside them (one fit written twice is one entry, a
// CTFFIND diagnostic spectrum no micrograph); numbers sorted as numbers; the filter; an entry's fit
// given to the session; the STAR export read back (and by RELION where it is installed).
#include "core/scopedata.h"
#include "micrograph/fittables.h"
#include "session/ctfsession.h"
#include "session/fitcatalogue.h"
#include "session/micrographsession.h"

#include "syntheticmicrograph.h"

#include <QProcess>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace orvalis;

Q_DECLARE_METATYPE(std::optional<double>)

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();

const char *const RelionStar = R"(
# version 30001

data_optics

loop_
_rlnOpticsGroupName #1
_rlnOpticsGroup #2
_rlnMicrographOriginalPixelSize #3
_rlnVoltage #4
_rlnSphericalAberration #5
_rlnAmplitudeContrast #6
_rlnMicrographPixelSize #7
opticsGroup1            1     1.350000   300.000000     2.700000     0.100000     1.350000
opticsGroup2            2     1.000000   200.000000     1.400000     0.070000     1.000000


# version 30001

data_micrographs

loop_
_rlnMicrographName #1
_rlnOpticsGroup #2
_rlnCtfImage #3
_rlnDefocusU #4
_rlnDefocusV #5
_rlnCtfAstigmatism #6
_rlnDefocusAngle #7
_rlnCtfFigureOfMerit #8
_rlnCtfMaxResolution #9
_rlnPhaseShift #10
MotionCorr/job002/movies/TS_01_000_0_0.mrc            1 CtfFind/job004/movies/TS_01_000_0_0_PS.ctf:mrc 39224.277344 39029.843750   194.433594    -15.47666     0.036367     7.166976 12.5
"Motion Corr/a b.mrc"            2 x.ctf:mrc 9000.5 8000.25   1000.25    30.0     0.05     4.5 0
)";

const char *const Ctffind4 = R"(# Output from CTFFind version 4.1.14, run on 2023-02-02 15:13:07
# Input file: test_img.mrc ; Number of micrographs: 1
# Pixel size: 1.000 Angstroms ; acceleration voltage: 200.0 keV ; spherical aberration: 2.26 mm ; amplitude contrast: 0.07
# Box size: 1024 pixels ; min. res.: 30.0 Angstroms ; max. res.: 5.0 Angstroms ; min. def.: 5000.0 um; max. def. 50000.0 um
# Columns: #1 - micrograph number; #2 - defocus 1 [Angstroms]; #3 - defocus 2; #4 - azimuth of astigmatism; #5 - additional phase shift [radians]; #6 - cross correlation; #7 - spacing (in Angstroms) up to which CTF rings were fit successfully
1.000000 9982.502930 9900.250000 -12.500000 1.570796 0.565683 3.980663
)";

const char *const Ctffind5 = R"(# Output from CTFFind version 5.0.2, run on 2024-05-01 10:00:00
# Input file: /data/tilt_010.mrc ; Number of micrographs: 1
# Pixel size: 1.500 Angstroms ; acceleration voltage: 300.0 keV ; spherical aberration: 2.70 mm ; amplitude contrast: 0.07
# Box size: 512 pixels ; min. res.: 30.0 Angstroms ; max. res.: 5.0 Angstroms ; min. def.: 5000.0 um; max. def. 50000.0 um
# Columns: #1 - micrograph number; #2 - defocus 1 [Angstroms]; #3 - defocus 2; #4 - azimuth of astigmatism; #5 - additional phase shift [radians]; #6 - cross correlation; #7 - spacing (in Angstroms) up to which CTF rings were fit successfully; #8 - Estimated tilt axis angle; #9 - Estimated tilt angle ; #10 Estimated sample thickness (in Angstroms)
1.000000 21000.000000 20500.000000 45.000000 0.000000 0.123400 6.500000 85.500000 30.250000 1200.000000
)";

const char *const OurTable = "micrograph\tdefocus_u_A\tdefocus_v_A\tangle_deg\tphase_shift_deg\tscore\tresolution_A\t"
                             "significance\treliable\tdefocus_nm\ta2_nm\tazimuth_deg\tpixel_A\ttile\tdoubts\n"
                             "mic1.mrc\t15010.50\t14800.25\t33.00\t0.00\t0.210000\t4.20\t55.0\tyes\t-1490.54\t66.05\t"
                             "33.00\t1.0000\t512\tnone\n"
                             "mic2.mrc\t\t\t\t\t0.010000\t\t2.0\tno\t\t\t\t1.0000\t512\tnone\n";

const char *const OurJson = R"([
    {
        "micrograph": "mic1.mrc",
        "reliable": false,
        "doubts": ["nearFocusEnd"],
        "score": 0.3,
        "significance": 40,
        "pixelSizeA": 0.8,
        "tile": 512,
        "defocusUA": 5000.5,
        "defocusVA": 4900.5,
        "angleDeg": 170,
        "phaseShiftDeg": 90,
        "resolutionA": null,
        "defocusNm": -495.05,
        "a2Nm": 314.16,
        "azimuthDeg": 170
    }
]
)";

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void compareOptional(const std::optional<double> &actual, double expected, const char *what)
{
    if (std::isnan(expected)) {
        QVERIFY2(!actual, what);
        return;
    }
    QVERIFY2(actual, what);
    QVERIFY2(std::fabs(*actual - expected) < 1e-4,
             qPrintable(QStringLiteral("%1: %2, expected %3").arg(QLatin1String(what)).arg(*actual).arg(expected)));
}

} // namespace

class TestFitCatalogue : public QObject {
    Q_OBJECT
private slots:
    void tableFromFile_data();
    void tableFromFile();
    void malformedFileNamesFileAndLine_data();
    void malformedFileNamesFileAndLine();
    void folderMatchesFitsWithMicrographs();
    void sortsNumbersAsNumbersAndFilters();
    void entryFitReachesTheSession();
    void starExportRoundTrip();
};

void TestFitCatalogue::tableFromFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("row"); // the one checked
    QTest::addColumn<QString>("micrograph");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QList<double>>("values"); // U, V, angle, phase, tilt, axis, thickness, score, resolution, pixel
    QTest::addColumn<QList<double>>("optics"); // kV, Cs, Q (empty: none)
    QTest::addColumn<int>("reliable");         // -1 unknown, 0 no, 1 yes

    QTest::newRow("RELION STAR, group 1")
        << "micrographs_ctf.star" << QByteArray(RelionStar) << 2 << 0 << "MotionCorr/job002/movies/TS_01_000_0_0.mrc"
        << "micrographs_ctf.star"
        << QList<double>{39224.277344, 39029.84375, -15.47666, 12.5, None, None, None, 0.036367, 7.166976, 1.35}
        << QList<double>{300, 2.7, 0.1} << -1;
    QTest::newRow("RELION STAR, quoted name in group 2")
        << "micrographs_ctf.star" << QByteArray(RelionStar) << 2 << 1 << "Motion Corr/a b.mrc"
        << "micrographs_ctf.star" << QList<double>{9000.5, 8000.25, 30, 0, None, None, None, 0.05, 4.5, 1.0}
        << QList<double>{200, 1.4, 0.07} << -1;
    QTest::newRow("CTFFIND4") << "diagnostic.txt" << QByteArray(Ctffind4) << 1 << 0 << "test_img.mrc"
                              << "CTFFIND 4.1.14" << QList<double>{9982.50293, 9900.25, -12.5,    90.0,     None,
                                                                   None,       None,    0.565683, 3.980663, 1.0}
                              << QList<double>{200, 2.26, 0.07} << -1;
    QTest::newRow("CTFFIND5 with tilt and thickness")
        << "tilt_010.txt" << QByteArray(Ctffind5) << 1 << 0 << "/data/tilt_010.mrc"
        << "CTFFIND 5.0.2" << QList<double>{21000, 20500, 45, 0, 30.25, 85.5, 1200, 0.1234, 6.5, 1.5}
        << QList<double>{300, 2.7, 0.07} << -1;
    QTest::newRow("our table") << "fits.tsv" << QByteArray(OurTable) << 2 << 0 << "mic1.mrc"
                               << "orvalis-ctf"
                               << QList<double>{15010.5, 14800.25, 33, 0, None, None, None, 0.21, 4.2, 1.0}
                               << QList<double>{} << 1;
    QTest::newRow("our table, no fit above noise")
        << "fits.tsv" << QByteArray(OurTable) << 2 << 1 << "mic2.mrc"
        << "orvalis-ctf" << QList<double>{None, None, None, None, None, None, None, 0.01, None, 1.0} << QList<double>{}
        << 0;
    QTest::newRow("our JSON") << "fits.json" << QByteArray(OurJson) << 1 << 0 << "mic1.mrc"
                              << "orvalis-ctf"
                              << QList<double>{5000.5, 4900.5, 170, 90, None, None, None, 0.3, None, 0.8}
                              << QList<double>{} << 0;
}

void TestFitCatalogue::tableFromFile()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(int, rows);
    QFETCH(int, row);
    QFETCH(QString, micrograph);
    QFETCH(QString, source);
    QFETCH(QList<double>, values);
    QFETCH(QList<double>, optics);
    QFETCH(int, reliable);
    QTemporaryDir dir;
    const QString path = write(dir, name, text);

    // Read as a file opened on its own: the catalogue keeps every row, in order of name.
    const FitTable table = readFitTable(path);
    QCOMPARE(table.rows.size(), rows);
    const FitTableRow &f = table.rows[row];
    QCOMPARE(f.micrograph, micrograph);
    QVERIFY(f.line > 0);
    compareOptional(f.defocus ? std::optional<double>(f.defocus->defocusU) : std::nullopt, values[0], "U");
    compareOptional(f.defocus ? std::optional<double>(f.defocus->defocusV) : std::nullopt, values[1], "V");
    compareOptional(f.defocus ? std::optional<double>(f.defocus->angle) : std::nullopt, values[2], "angle");
    compareOptional(f.phaseShift, values[3], "phase shift");
    compareOptional(f.tiltAngle, values[4], "tilt");
    compareOptional(f.tiltAxis, values[5], "tilt axis");
    compareOptional(f.thickness, values[6], "thickness");
    compareOptional(f.score, values[7], "score");
    compareOptional(f.resolution, values[8], "resolution");
    QCOMPARE(f.pixelSize, values[9]);
    QCOMPARE(f.optics.has_value(), !optics.isEmpty());
    if (f.optics) {
        QCOMPARE(f.optics->voltage, optics[0]);
        QCOMPARE(f.optics->cs, optics[1]);
        QCOMPARE(f.optics->amplitudeContrast, optics[2]);
    }
    QCOMPARE(f.reliable.has_value(), reliable >= 0);
    if (f.reliable)
        QCOMPARE(int(*f.reliable), reliable);

    const FitCatalogue catalogue = openFitCatalogue(path);
    QCOMPARE(catalogue.entries.size(), rows);
    bool seen = false;
    for (const CatalogueEntry &e : catalogue.entries)
        if (e.fit && e.fit->line == f.line) {
            seen = true;
            QCOMPARE(e.source, source);
            QVERIFY(!e.found); // none of the micrographs is there
        }
    QVERIFY(seen);
}

void TestFitCatalogue::malformedFileNamesFileAndLine_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message"); // after the file's path

    QByteArray shortRow(RelionStar);
    shortRow.replace("0.05     4.5 0", "0.05     4.5");
    QTest::newRow("STAR row short of a value")
        << "m.star" << shortRow << ", line 34: a row of 9 values under 10 labels";
    QByteArray word(RelionStar);
    word.replace("9000.5", "9OOO.5");
    QTest::newRow("STAR value not a number")
        << "m.star" << word << ", line 34: _rlnDefocusU is \"9OOO.5\", not a number";
    QByteArray group(RelionStar);
    group.replace("\"Motion Corr/a b.mrc\"            2", "\"Motion Corr/a b.mrc\"            7");
    QTest::newRow("STAR optics group missing")
        << "m.star" << group << ", line 34: optics group 7 is not in data_optics";
    QTest::newRow("STAR without micrographs")
        << "m.star" << QByteArray("data_optics\nloop_\n_rlnOpticsGroup #1\n1\n")
        << ": no loop with _rlnMicrographName and _rlnDefocusU: not a STAR file of fits";
    QByteArray cut(Ctffind5);
    cut.replace(" 1200.000000", "");
    QTest::newRow("CTFFIND5 line short of the thickness")
        << "c.txt" << cut << ", line 6: 9 values where the header names 10 columns";
    QByteArray bad(Ctffind4);
    bad.replace("0.565683", "nan");
    QTest::newRow("CTFFIND value not a number") << "c.txt" << bad << ", line 6: column 6 is \"nan\", not a number";
    QByteArray cells(OurTable);
    cells.replace("\t0.210000\t", "\t");
    QTest::newRow("our table short of a cell")
        << "f.tsv" << cells << ", line 2: 14 cells where the header names 15 columns";
    QByteArray json(OurJson);
    json.replace("\"score\": 0.3,", "\"score\": 0.3");
    QTest::newRow("our JSON broken") << "f.json" << json << ", line 7: unterminated object";
    QTest::newRow("no fit table") << "notes.txt" << QByteArray("shopping list\n")
                                  << ": not a fit table: neither a STAR file, a CTFFIND output nor orvalis-ctf fit's "
                                     "table or JSON";
}

void TestFitCatalogue::malformedFileNamesFileAndLine()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = write(dir, name, text);
    try {
        openFitCatalogue(path);
        QFAIL("read without complaint");
    } catch (const OrvalisError &e) {
        QCOMPARE(e.text(), path + message);
    }
    // In a folder the same file stops the folder's opening with the same message; a folder passes
    // over text files of other kinds and STAR files without micrographs' fits (and here finds
    // nothing else).
    try {
        openFitCatalogue(dir.path());
        QFAIL("the folder opened without complaint");
    } catch (const OrvalisError &e) {
        if (name == QLatin1String("notes.txt") || message.contains(QLatin1String("not a STAR file of fits")))
            QVERIFY2(e.text().startsWith(dir.path() + QStringLiteral(": no micrographs")), qPrintable(e.text()));
        else
            QCOMPARE(e.text(), path + message);
    }
}

void TestFitCatalogue::folderMatchesFitsWithMicrographs()
{
    QTemporaryDir dir;
    // a_fit.* and b_profile.png: the fits' own pictures (fit --diagnostics), no micrographs.
    for (const char *m : {"a.mrc", "b.mrc", "c.tif", "diag.mrc", "a_fit.mrc", "a_fit.png", "b_profile.png"})
        write(dir, QLatin1String(m), "x");
    // Ours: a and b in the JSON, a again in the STAR and in its CTFFIND-style text (the same fit); CTFFIND's
    // own fit of a beside them, and of c with its diagnostic spectrum diag.mrc.
    QByteArray json(OurJson);
    json.replace("mic1.mrc", "a.mrc");
    json.insert(json.lastIndexOf(']'),
                QByteArray(",{\"micrograph\": \"b.mrc\", \"reliable\": true, \"defocusUA\": "
                           "1000, \"defocusVA\": 900, \"angleDeg\": 5, \"score\": 0.5}\n"));
    write(dir, "fits.json", json);
    write(dir, "fits.star",
          "data_micrographs\nloop_\n_rlnMicrographName\n_rlnDefocusU\n_rlnDefocusV\n_rlnDefocusAngle\n"
          "a.mrc 5000.500000 4900.500000 170.000000\n");
    QByteArray ctffind(Ctffind4);
    ctffind.replace("test_img.mrc", "a.mrc");
    write(dir, "ctffind_a.txt", ctffind);
    // Our own CTFFIND-style text of a, as `fit --ctffind-txt` writes it beside the micrograph.
    write(
        dir, "a.txt",
        "# Output from orvalis-ctf fit version 0.1.0, run on 2026-01-01 10:00:00\n"
        "# Input file: "
            + dir.filePath("a.mrc").toUtf8()
            + " ; Number of micrographs: 1\n"
              "# Pixel size: 0.800 Angstroms ; acceleration voltage: 300.0 keV ; spherical aberration: 2.70 mm ; "
              "amplitude contrast: 0.07\n"
              "# Columns: #1 - micrograph number; #2 - defocus 1 [Angstroms]; #3 - defocus 2; #4 - azimuth of "
              "astigmatism; #5 - additional phase shift [radians]; #6 - cross correlation; #7 - spacing (in Angstroms) "
              "up to which CTF rings were fit successfully\n"
              "1.000000 5000.500000 4900.500000 170.000000 1.570796 0.300000 50.000000\n");
    ctffind = Ctffind4;
    ctffind.replace("test_img.mrc", dir.filePath("c.tif").toUtf8());
    write(dir, "diag.txt", ctffind);
    write(dir, "README.txt", "not a table\n");
    // A RELION job's other STAR files: its settings, and particles with their own defocus.
    write(dir, "job.star", "data_job\n_rlnJobTypeLabel relion.ctffind\n");
    write(dir, "particles.star",
          "data_particles\nloop_\n_rlnImageName\n_rlnMicrographName\n_rlnDefocusU\n1@p.mrcs a.mrc 7000\n");

    const FitCatalogue catalogue = openFitCatalogue(dir.path());
    QStringList rows;
    for (const CatalogueEntry &e : catalogue.entries)
        rows << QStringLiteral("%1 %2 %3")
                    .arg(e.name, e.fit ? e.source : QStringLiteral("-"),
                         e.found ? QStringLiteral("found") : QStringLiteral("missing"));
    QCOMPARE(rows,
             (QStringList{"a.mrc CTFFIND 4.1.14 found", "a.mrc orvalis-ctf found", "b.mrc orvalis-ctf found",
                          "c.tif CTFFIND 4.1.14 found"}));
    // The entry of a written twice keeps the richer table's word: the JSON's "not reliable".
    QCOMPARE(catalogue.entries[1].fit->reliable, std::optional<bool>(false));
    // ... and the optics only its CTFFIND text gives, for the model its thumbnail is drawn with.
    QVERIFY(catalogue.entries[1].fit->optics);
    QCOMPARE(catalogue.entries[1].fit->optics->voltage, 300.0);

    // A micrograph no table fits is listed as such.
    write(dir, "d.png", "x");
    const FitCatalogue more = openFitCatalogue(dir.path());
    QCOMPARE(more.entries.size(), 5);
    QCOMPARE(more.entries.last().name, QStringLiteral("d.png"));
    QVERIFY(!more.entries.last().fit);
    FitCatalogueModel model;
    model.setCatalogue(more);
    QCOMPARE(model.index(4, FitCatalogueModel::Source).data().toString(), QStringLiteral("not fitted"));
}

void TestFitCatalogue::sortsNumbersAsNumbersAndFilters()
{
    FitCatalogue c;
    const auto entry = [](const char *name, double u, std::optional<bool> reliable, std::optional<double> res) {
        CatalogueEntry e;
        e.name = e.path = QLatin1String(name);
        e.found = true;
        FitTableRow f;
        f.defocus = CryoEmDefocus{u, u, 0};
        f.reliable = reliable;
        f.resolution = res;
        e.fit = f;
        e.source = QStringLiteral("orvalis-ctf");
        return e;
    };
    c.entries << entry("m1", 9000, true, 4.0) << entry("m2", 10000, false, 3.0) << entry("m3", 800, std::nullopt, {})
              << entry("m4", 12000, std::nullopt, 8.0);
    CatalogueEntry unfitted;
    unfitted.name = QStringLiteral("m5");
    unfitted.found = true;
    c.entries << unfitted;
    FitCatalogueModel model;
    model.setCatalogue(c);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.setSortRole(FitCatalogueModel::SortRole);
    proxy.sort(FitCatalogueModel::DefocusU, Qt::AscendingOrder);
    QStringList order;
    for (int r = 0; r < proxy.rowCount(); ++r)
        order << proxy.index(r, FitCatalogueModel::Micrograph).data().toString();
    // As text "10000" < "800" < "9000"; unknown last.
    QCOMPARE(order, (QStringList{"m3", "m1", "m2", "m4", "m5"}));

    const struct {
        CatalogueFilter filter;
        QStringList pass;
    } cases[] = {
        {{}, {"m1", "m2", "m3", "m4", "m5"}},       {{QStringLiteral("M2"), false, 0}, {"m2"}},
        {{QString(), true, 0}, {"m1", "m3", "m4"}}, // unjudged fits stay; no fit and "no" go
        {{QString(), false, 5}, {"m1", "m2"}},      {{QString(), true, 5}, {"m1"}},
    };
    for (const auto &k : cases) {
        QStringList pass;
        for (const CatalogueEntry &e : c.entries)
            if (catalogueAccepts(e, k.filter))
                pass << e.name;
        QCOMPARE(pass, k.pass);
    }
}

void TestFitCatalogue::entryFitReachesTheSession()
{
    QTemporaryDir dir;
    SyntheticOptions o;
    o.width = o.height = 256;
    o.pixelSizeNm = 0; // the file gives none: the table's is taken
    const QString path = dir.filePath(QStringLiteral("m.mrc"));
    QVERIFY(writeMrcFloat(path, syntheticMicrograph(o, [](double, double) { return 1.0; })));
    CtfSession session;
    session.ScopeRecord1 = defaultScope();
    session.beginRun();
    MicrographSession micrograph(session);
    QString error;
    QVERIFY2(micrograph.openNow(path, &error), qPrintable(error));

    CatalogueEntry e;
    e.path = path;
    e.name = QStringLiteral("m.mrc");
    FitTableRow f;
    // 2.5 µm of underfocus, far beyond the default range; 0.2 µm of astigmatism at 120 degrees.
    f.defocus = CryoEmDefocus{26000, 24000, 120};
    f.phaseShift = 45;
    f.pixelSize = 1.3;
    f.optics = TableOptics{300, 2.7, 0.1};
    e.fit = f;
    QString note;
    QVERIFY(applyCatalogueFit(session, micrograph, e, &note));
    const OpticsState &s = session.state();
    QCOMPARE(s.Defocus, -2500.0);
    QCOMPARE(s.A2, std::round(3.14159265358979 * 200));
    QVERIFY(std::fabs(s.A2Azimuth - 120 * 3.14159265358979 / 180) < 1e-9);
    QVERIFY(std::fabs(s.PhaseShift - 3.14159265358979 / 4) < 1e-9);
    QVERIFY(std::fabs(micrograph.pixelSize() - 0.13) < 1e-9);
    QVERIFY(session.ranges().defocusMax >= 2500);
    QCOMPARE(note.isEmpty(), s.Voltage == 300 && std::fabs(s.Cs - 2.7e6) < 1 && s.AmplitudeContrast == 0.1);

    CatalogueEntry unfitted;
    unfitted.path = path;
    QVERIFY(!applyCatalogueFit(session, micrograph, unfitted));
    QCOMPARE(s.Defocus, -2500.0);
}

void TestFitCatalogue::starExportRoundTrip()
{
    QTemporaryDir dir;
    const QString tsv = write(dir, "fits.tsv", OurTable);
    const QString txt = write(dir, "sub/tilt_010.txt", Ctffind5);
    QVector<CatalogueEntry> entries = openFitCatalogue(tsv).entries + openFitCatalogue(txt).entries;
    QCOMPARE(entries.size(), 3);
    const QString star = dir.filePath(QStringLiteral("out/selected.star"));
    QDir().mkpath(QFileInfo(star).absolutePath());
    CtfUserValues fallback;
    fallback.voltage = 200;
    fallback.cs = 2.0;
    fallback.amplitudeContrast = 0.1;
    write(dir, "out/selected.star", catalogueStar(entries, star, fallback, 1.0));

    const FitTable back = readFitTable(star);
    QCOMPARE(back.rows.size(), 2); // mic2 has no fit to write
    const QStringList names{back.rows[0].micrograph, back.rows[1].micrograph};
    // Below the STAR file's folder a name is relative to it, elsewhere absolute.
    QCOMPARE(names, (QStringList{QDir::cleanPath(dir.filePath(QStringLiteral("mic1.mrc"))), "/data/tilt_010.mrc"}));
    QCOMPARE(back.rows[0].defocus->defocusU, 15010.5);
    QCOMPARE(back.rows[0].optics->voltage, 200.0); // the table gave none
    QCOMPARE(back.rows[1].defocus->defocusV, 20500.0);
    QCOMPARE(*back.rows[1].tiltAngle, 30.25);
    QCOMPARE(*back.rows[1].tiltAxis, 85.5);
    QCOMPARE(*back.rows[1].resolution, 6.5);
    QCOMPARE(back.rows[1].pixelSize, 1.5);
    QCOMPARE(back.rows[1].optics->voltage, 300.0);

    // RELION's own reader, where RELION is installed.
    const QString relion = QStandardPaths::findExecutable(QStringLiteral("relion_star_printtable"));
    if (relion.isEmpty())
        return;
    QProcess p;
    p.start(relion,
            {star, QStringLiteral("data_micrographs"), QStringLiteral("_rlnMicrographName"),
             QStringLiteral("_rlnDefocusU"), QStringLiteral("_rlnMicrographTiltAngle")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1].simplified(), QStringLiteral("/data/tilt_010.mrc 21000.000000 30.250000"));
}

QTEST_GUILESS_MAIN(TestFitCatalogue)
#include "test_fitcatalogue.moc"
