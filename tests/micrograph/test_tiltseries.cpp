// Tilt series: the angle files refused as they must be, the outputs other programs read parsed back
// column by column, and a small synthetic series' defocus recovered tilt by tilt.
#include "cli/seriescommands.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/tiltseries.h"

#include "syntheticseries.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace orvalis;
using namespace orvalis::cli;

namespace {

QString write(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// The lines of `text` that are not comments, split on white space.
QList<QByteArrayList> rows(const QByteArray &text)
{
    QList<QByteArrayList> out;
    for (const QByteArray &line : text.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.isEmpty() || t.startsWith('#'))
            continue;
        out << t.simplified().split(' ');
    }
    return out;
}

CtfFitValues valuesOf(double u, double v, double angle, double resolutionNm, double tiltAngle, double axis)
{
    CtfFitValues values;
    values.cryoEm = {u, v, angle};
    values.program = fromCryoEmDefocus(values.cryoEm);
    values.resolution = resolutionNm;
    values.tilt = SpecimenTilt{std::fabs(tiltAngle), tiltAngle >= 0 ? axis : axis + 180};
    return values;
}

// Three tilts: a reliable one, one with a doubt (left out of the files), one filled from the trend.
SeriesRecord handMadeSeries()
{
    SeriesRecord r;
    r.stack = QStringLiteral("/data/ts 01.mrc");
    r.pixelSizeNm = 0.135;
    r.fit.axis = 85;
    const double angles[] = {-3, 0, 3};
    for (int i = 0; i < 3; ++i) {
        TiltFit t;
        t.index = i;
        t.angle = angles[i];
        t.result.score = 0.25 + 0.01 * i;
        t.result.significance = 40;
        t.result.tileSize = 512;
        t.result.values = valuesOf(30200 + 10 * i, 29800 + 10 * i, 30 + i, 0.4 + 0.01 * i, angles[i], 85);
        t.reliable = i != 1;
        if (i == 1)
            t.result.doubts = FitAtNearFocusEnd;
        r.fit.tilts.push_back(t);
    }
    r.fit.tilts[2].reliable = false;
    r.fit.tilts[2].filled = true;
    return r;
}

} // namespace

class TestTiltSeries : public QObject {
    Q_OBJECT

private slots:
    void tiltFileRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("sections");
        QTest::addColumn<QString>("message"); // %1: the file's path
        QTest::newRow("too few lines")
            << QByteArray("-3\n0\n") << 3
            << "%1: 2 tilt angles for a stack of 3 sections; the file gives one angle a line, one for each section";
        QTest::newRow("too many lines")
            << QByteArray("-3\n0\n3\n6\n") << 3
            << "%1: 4 tilt angles for a stack of 3 sections; the file gives one angle a line, one for each section";
        QTest::newRow("not a number") << QByteArray("-3.0\n0.O\n3.0\n") << 3
                                      << "%1, line 2: \"0.O\" is not a tilt angle (degrees, from -90 to 90)";
        QTest::newRow("beyond a right angle")
            << QByteArray("-3\n0\n\n93\n") << 3 << "%1, line 4: \"93\" is not a tilt angle (degrees, from -90 to 90)";
    }
    void tiltFileRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, sections);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("series.tlt"), text);
        try {
            readTiltAngles(path, sections);
            QFAIL("refused nothing");
        } catch (const OrvalisError &e) {
            QCOMPARE(e.text(), message.arg(path));
        }
    }

    void tiltFileRead()
    {
        QTemporaryDir dir;
        // Windows line ends and a blank last line, as files copied between systems have.
        const QString path = write(dir, QStringLiteral("series.rawtlt"), "-60.01\r\n  0.5\r\n59.99\r\n\r\n");
        const std::vector<double> angles = readTiltAngles(path, 3);
        QCOMPARE(angles, (std::vector<double>{-60.01, 0.5, 59.99}));
    }

    void mdoc_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message"); // empty: read; %1 the mdoc's path
        const QByteArray header = "PixelSpacing = 1.35\nVoltage = 300\nImageFile = ts_01.mrc\nImageSize = 64 64\n"
                                  "DataMode = 1\n\n[T = SerialEM: Digitized on EMBL Krios   10-Dec-26  12:00:00]\n"
                                  "[T =     Tilt axis angle = 84.7, binning = 1  spot = 8  camera = 0]\n\n";
        const QByteArray sections = "[ZValue = 0]\nTiltAngle = -0.01\nPixelSpacing = 1.35\n\n[ZValue = 1]\n"
                                    "TiltAngle = 2.99\n\n[ZValue = 2]\nTiltAngle = -3.01\n";
        QTest::newRow("read") << header + sections << QString();
        QTest::newRow("another stack") << QByteArray(header).replace("ImageFile = ts_01.mrc",
                                                                     "ImageFile = D:\\data\\ts_02.mrc")
                + sections << "%1: it describes the stack \"D:\\data\\ts_02.mrc\" (ImageFile), not ts_01.mrc";
        QTest::newRow("a section missing")
            << header + QByteArray(sections).replace("[ZValue = 1]\nTiltAngle = 2.99\n", "")
            << "%1: section 1 of the stack's 3 has no [ZValue = 1] with its TiltAngle";
        QTest::newRow("beyond the stack")
            << header + sections + "\n[ZValue = 3]\nTiltAngle = 6\n"
            << "%1, line 20: section 3 lies beyond the stack's 3 sections (ZValue counts from 0)";
        QTest::newRow("an angle not a number")
            << header + QByteArray(sections).replace("TiltAngle = 2.99", "TiltAngle = n/a")
            << "%1, line 15: TiltAngle \"n/a\" is not a tilt angle (degrees, from -90 to 90)";
    }
    void mdoc()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = write(dir, QStringLiteral("ts_01.mrc.mdoc"), text);
        try {
            const SeriesDescription d = readMdoc(path, dir.filePath(QStringLiteral("ts_01.mrc")), 3);
            QVERIFY2(message.isEmpty(), "read what it must refuse");
            QCOMPARE(d.angles, (std::vector<double>{-0.01, 2.99, -3.01}));
            QCOMPARE(d.pixelSizeAngstrom, 1.35);
            QCOMPARE(d.voltage, 300.0);
            QVERIFY(d.tiltAxis.has_value());
            QCOMPARE(*d.tiltAxis, 84.7);
        } catch (const OrvalisError &e) {
            QCOMPARE(e.text(), message.arg(path));
        }
    }

    void imodFile()
    {
        const SeriesRecord r = handMadeSeries();
        const QList<QByteArrayList> lines = rows(seriesImodDefocus(r));
        QCOMPARE(lines.size(), 3); // the version line, the reliable tilt and the filled one
        QCOMPARE(lines[0], (QByteArrayList{"1", "0", "0.0", "0.0", "0.0", "3"}));
        // view, view, angle, angle, defocus 1 and 2 in nm, the astigmatism's angle
        QCOMPARE(lines[1], (QByteArrayList{"1", "1", "-3.00", "-3.00", "3020.0", "2980.0", "30.00"}));
        QCOMPARE(lines[2], (QByteArrayList{"3", "3", "3.00", "3.00", "3022.0", "2982.0", "32.00"}));
        QVERIFY(seriesImodDefocus(r).split('\n')[1].contains('\t'));
    }

    void starFile()
    {
        const SeriesRecord r = handMadeSeries();
        const QByteArray star = seriesStar(r);
        QVERIFY(star.contains("\ndata_ts 01\n") == false);
        QVERIFY(star.contains("\ndata_ts_01\n"));
        QByteArrayList labels;
        QList<QByteArrayList> values;
        for (const QByteArrayList &row : rows(star)) {
            if (row.front().startsWith("_rln"))
                labels << row.front();
            else if (row.front() != "loop_" && !row.front().startsWith("data_"))
                values << row;
        }
        QCOMPARE(labels,
                 (QByteArrayList{"_rlnMicrographName", "_rlnTomoNominalStageTiltAngle", "_rlnTomoNominalTiltAxisAngle",
                                 "_rlnDefocusU", "_rlnDefocusV", "_rlnCtfAstigmatism", "_rlnDefocusAngle",
                                 "_rlnCtfFigureOfMerit", "_rlnCtfMaxResolution"}));
        QCOMPARE(values.size(), 2);
        // The name holds a space: quoted, so the row splits on white space into more cells here.
        QCOMPARE(values[0].mid(2),
                 (QByteArrayList{"-3.000000", "85.000000", "30200.000000", "29800.000000", "400.000000", "30.000000",
                                 "0.250000", "4.000000"}));
        QCOMPARE(values[0].mid(0, 2), (QByteArrayList{"000001@\"ts", "01.mrc\""}));
        // The filled tilt: no score and the band's low end as its resolution.
        QCOMPARE(values[1].mid(2),
                 (QByteArrayList{"3.000000", "85.000000", "30220.000000", "29820.000000", "400.000000", "32.000000",
                                 "0.000000", "30.000000"}));
    }

    void ctffindFile()
    {
        const SeriesRecord r = handMadeSeries();
        const QByteArray text = seriesCtffindText(r, QStringLiteral("9.9"), QStringLiteral("2026-12-10 12:00:00"));
        QVERIFY(text.contains("# Input file: /data/ts 01.mrc ; Number of micrographs: 3\n"));
        QVERIFY(text.contains("# Filled from the series' trend, not fitted: micrographs 3\n"));
        const QList<QByteArrayList> lines = rows(text);
        QCOMPARE(lines.size(), 2);
        // number, U, V, angle, phase shift (rad), score, resolution (Å); the tilt axis, tilt angle, thickness;
        // the filled tilt without a score and with the band's low end
        QCOMPARE(lines[0],
                 (QByteArrayList{"1.000000", "30200.000000", "29800.000000", "30.000000", "0.000000", "0.250000",
                                 "4.000000", "265.000000", "3.000000", "0.000000"}));
        QCOMPARE(lines[1],
                 (QByteArrayList{"3.000000", "30220.000000", "29820.000000", "32.000000", "0.000000", "0.000000",
                                 "30.000000", "85.000000", "3.000000", "0.000000"}));
    }

    void table()
    {
        const SeriesRecord r = handMadeSeries();
        const QList<QByteArray> lines = seriesTable(r).split('\n');
        QCOMPARE(lines[0],
                 QByteArray("section\ttilt_deg\tdefocus_u_A\tdefocus_v_A\tangle_deg\tdefocus_A\tscore\t"
                            "resolution_A\tsignificance\treliable\tfilled\tdoubts"));
        QCOMPARE(lines[2].split('\t'),
                 (QByteArrayList{"2", "0.00", "30210.00", "29810.00", "31.00", "30010.00", "0.260000", "4.10", "40.0",
                                 "no", "no", "nearFocusEnd"}));
        QCOMPARE(lines[3].split('\t').mid(9), (QByteArrayList{"no", "yes", "none"}));
    }

    // A small series at a high dose: every tilt's mean defocus at the centre within 1 %, with the
    // axis given and fitted.
    void defocusRecovered_data()
    {
        QTest::addColumn<bool>("axisGiven");
        QTest::addColumn<int>("astigmatism");
        QTest::newRow("axis given, shared astigmatism") << true << int(SeriesAstigmatism::Shared);
        QTest::newRow("axis fitted, astigmatism per tilt") << false << int(SeriesAstigmatism::PerTilt);
    }
    void defocusRecovered()
    {
        QFETCH(bool, axisGiven);
        QFETCH(int, astigmatism);
        SeriesPlan plan;
        plan.from = -45;
        plan.to = 45;
        plan.step = 22.5;
        plan.dose = 30;
        plan.axis = 100;
        const SeriesTruth truth = seriesTruth(plan);
        std::vector<MicrographImage> images = seriesTilts(plan, truth);
        ImageFrames frames(QStringLiteral("synthetic"), std::move(images));
        SeriesFitOptions o;
        o.pixelSizeNm = angstromToNm(plan.pixel);
        o.angles = truth.angles;
        if (axisGiven)
            o.tiltAxis = plan.axis + 180; // the other sense: found from the series
        o.astigmatism = SeriesAstigmatism(astigmatism);
        o.threads = 2;
        const SeriesFit fit = fitTiltSeries(frames, o);
        QCOMPARE(int(fit.tilts.size()), 5);
        double axisError = std::fmod(std::fabs(fit.axis - plan.axis), 360.0);
        axisError = std::min(axisError, 360 - axisError);
        QVERIFY2(axisError < 3, qPrintable(QStringLiteral("axis %1").arg(fit.axis)));
        for (const TiltFit &t : fit.tilts) {
            QVERIFY2(t.reliable, qPrintable(t.result.message));
            const double fitted = -nmToAngstrom(t.result.values->program.Defocus);
            const double truthD = truth.defocus[std::size_t(t.index)];
            QVERIFY2(std::fabs(fitted - truthD) < 0.01 * truthD,
                     qPrintable(QStringLiteral("tilt %1: %2 Å, true %3 Å").arg(t.angle).arg(fitted).arg(truthD)));
            QVERIFY(t.result.values->tilt.has_value());
            QCOMPARE(t.result.values->tilt->angle, std::fabs(t.angle));
        }
    }

    // --fill: a tilt without a fit takes the line between its reliable neighbours.
    void fillsFromTheTrend()
    {
        SeriesPlan plan;
        plan.from = -20;
        plan.to = 20;
        plan.step = 20;
        plan.dose = 30;
        const SeriesTruth truth = seriesTruth(plan);
        std::vector<MicrographImage> images = seriesTilts(plan, truth);
        // The middle tilt holds no rings: noise alone.
        for (float &v : images[1].data)
            v = 0;
        images[1].data[17] = 1;
        ImageFrames frames(QStringLiteral("synthetic"), std::move(images));
        SeriesFitOptions o;
        o.pixelSizeNm = angstromToNm(plan.pixel);
        o.angles = truth.angles;
        o.tiltAxis = plan.axis;
        o.fill = true;
        const SeriesFit fit = fitTiltSeries(frames, o);
        QVERIFY(fit.tilts[0].reliable && fit.tilts[2].reliable);
        QVERIFY(!fit.tilts[1].reliable);
        QVERIFY(fit.tilts[1].filled);
        const double expected = (fit.tilts[0].result.values->program.Defocus
                                 + fit.tilts[2].result.values->program.Defocus)
            / 2;
        QCOMPARE(fit.tilts[1].result.values->program.Defocus, expected);
        QVERIFY(!fit.tilts[0].filled && !fit.tilts[2].filled);
    }
};

QTEST_GUILESS_MAIN(TestTiltSeries)
#include "test_tiltseries.moc"
