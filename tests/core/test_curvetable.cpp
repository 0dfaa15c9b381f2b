// The text tables and proposed names of the save commands: what another program reads from the files
// and what the dialog offers.
#include "core/ctfcurves.h"
#include "core/ctfgrey.h"
#include "core/curvetable.h"
#include "core/defocusmap.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/savename.h"

#include <QtTest>

using namespace orvalis;

namespace {

TScopeData scope(const QString &company, const QString &model)
{
    TScopeData s = defaultScope();
    s.Company = company;
    s.Model = model;
    return s;
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestCurveTable : public QObject {
    Q_OBJECT
private slots:
    void proposedName_data();
    void proposedName();
    void header_data();
    void header();
    void everyLineEndsInCrLf();
    void valuesReadBack();
    void mapTableGivesTheMapLevels_data();
    void mapTableGivesTheMapLevels();
    void mapTableOfBadWidth();
};

void TestCurveTable::proposedName_data()
{
    QTest::addColumn<int>("view");
    QTest::addColumn<QString>("company1");
    QTest::addColumn<QString>("company2");
    QTest::addColumn<bool>("plotter");
    QTest::addColumn<QString>("expected");
    const int c1 = int(SaveView::Curves1D), c2 = int(SaveView::Pattern2D), map = int(SaveView::DefocusMap);
    QTest::newRow("2D") << c2 << "Lab"
                        << "Lab" << false << "Lab_TEM_2dCTF";
    QTest::newRow("1D analysis") << c1 << "Lab"
                                 << "Lab" << false << "Lab_TEM_1dCTF";
    QTest::newRow("map") << map << "Lab"
                         << "Lab" << false << "Lab_TEM_d_map";
    QTest::newRow("1D plotter") << c1 << "Lab"
                                << "Lab" << true << "Lab_TEM_1dCTF--Lab_HR_1dCTF";
    QTest::newRow("2D in plotter mode has one instrument") << c2 << "Lab"
                                                           << "Lab" << true << "Lab_TEM_2dCTF";
    QTest::newRow("built-in 2D") << c2 << "Default"
                                 << "Lab" << false << "Default";
    QTest::newRow("built-in 1D") << c1 << "Default"
                                 << "Lab" << false << "Default";
    QTest::newRow("built-in map") << map << "Default"
                                  << "Lab" << false << "Default";
    QTest::newRow("built-in 1D plotter") << c1 << "Default"
                                         << "Lab" << true << "Default--Lab_HR_1dCTF";
    QTest::newRow("built-in second") << c1 << "Lab"
                                     << "Default" << true << "Lab_TEM_1dCTF--Default_HR_1dCTF";
    QTest::newRow("case matters") << c2 << "default"
                                  << "Lab" << false << "default_TEM_2dCTF";
}

void TestCurveTable::proposedName()
{
    QFETCH(int, view);
    QFETCH(QString, company1);
    QFETCH(QString, company2);
    QFETCH(bool, plotter);
    QFETCH(QString, expected);
    QCOMPARE(proposedSaveName(SaveView(view), scope(company1, QStringLiteral("TEM")),
                              scope(company2, QStringLiteral("HR")), plotter),
             expected);
}

void TestCurveTable::header_data()
{
    QTest::addColumn<QVector<int>>("pointCounts"); // per series, in chart order
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("lines");
    QTest::newRow("empty first series") << QVector<int>{0, 5, 5} << QByteArray("k") << 1;
    QTest::newRow("no series") << QVector<int>{} << QByteArray("k") << 1;
    QTest::newRow("curves switched off") << QVector<int>{3, 0, 3, 0} << QByteArray("k\tS0\tS2") << 4;
    QTest::newRow("all drawn") << QVector<int>{2, 2, 2} << QByteArray("k\tS0\tS1\tS2") << 3;
}

void TestCurveTable::header()
{
    QFETCH(QVector<int>, pointCounts);
    QFETCH(QByteArray, header);
    QFETCH(int, lines);
    QVector<CurveSeries> series;
    for (int j = 0; j < pointCounts.size(); ++j) {
        CurveSeries s{QStringLiteral("S%1").arg(j), {}, {}};
        for (int i = 0; i < pointCounts[j]; ++i) {
            s.x << 0.5 * i;
            s.y << j + 0.25 * i;
        }
        series << s;
    }
    const QList<QByteArray> got = linesOf(curveTableText(series));
    QCOMPARE(got.size(), lines);
    QCOMPARE(got.first(), header + '\r');
}

void TestCurveTable::everyLineEndsInCrLf()
{
    const QByteArray text = curveTableText({{QStringLiteral("CTF"), {0, 0.5}, {-0.25, 1e-7}}});
    QCOMPARE(text, QByteArray("k\tCTF\r\n0\t-0.25\r\n0.5\t1E-7\r\n"));
}

// A whole computation as the window would fill the chart: 4097 points read back to the same doubles.
void TestCurveTable::valuesReadBack()
{
    OpticsState state;
    state.UpTo = 10;
    loadInstrument(state, defaultScope());
    state.PointDensity = 4096;
    state.StepFactor = 1;
    const CtfCurves curves = sampleAnalysisCurves(state, -60, 0, CurveOptions{});
    QCOMPARE(curves.k.size(), 4097);
    const QVector<CurveSeries> series{{QStringLiteral("CTF"), curves.k, curves.ctf},
                                      {QStringLiteral("Temporal Envelope"), curves.k, curves.temporal}};
    const QList<QByteArray> lines = linesOf(curveTableText(series));
    QCOMPARE(lines.size(), 4098);
    for (int i = 0; i < curves.k.size(); ++i) {
        const QList<QByteArray> cells = lines[i + 1].chopped(1).split('\t');
        QCOMPARE(cells.size(), 3);
        // 15 significant digits: equal to the value rounded to 15 digits, and within 1e-14 of it
        QCOMPARE(strToFloat(QString::fromLatin1(cells[0])), strToFloat(formatGeneral(curves.k[i])));
        QVERIFY2(qAbs(strToFloat(QString::fromLatin1(cells[1])) - curves.ctf[i])
                     <= 1e-14 * qMax(1.0, qAbs(curves.ctf[i])),
                 qPrintable(QStringLiteral("line %1: %2 for %3")
                                .arg(i + 1)
                                .arg(QString::fromLatin1(cells[1]))
                                .arg(curves.ctf[i], 0, 'g', 17)));
        QCOMPARE(QString::fromLatin1(cells[2]), formatGeneral(curves.temporal[i]));
    }
}

void TestCurveTable::mapTableGivesTheMapLevels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("window map") << 96 << -50 << 200;
    QTest::newRow("empty slider range") << 40 << 100 << 100;
    QTest::newRow("one pixel") << 1 << -50 << 200;
}

void TestCurveTable::mapTableGivesTheMapLevels()
{
    QFETCH(int, width);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    OpticsState state;
    state.UpTo = 10;
    loadInstrument(state, defaultScope());
    const DefocusMapGrid grid = computeDefocusMap(state, width, minimum, maximum, state.UpTo);
    const QList<QByteArray> lines = linesOf(defocusMapTableText(state, width, minimum, maximum, state.UpTo));
    QCOMPARE(lines.size(), width + 1);
    const QList<QByteArray> head = lines[0].chopped(1).split('\t');
    QCOMPARE(head.size(), width + 1);
    QCOMPARE(head[0], QByteArray("defocus\\k"));
    QCOMPARE(strToFloat(QString::fromLatin1(head[width])), defocusMapFrequency(width - 1, width, state.UpTo));
    for (int y = 0; y < width; ++y) {
        const QList<QByteArray> cells = lines[y + 1].chopped(1).split('\t');
        QCOMPARE(cells.size(), width + 1);
        QCOMPARE(strToFloat(QString::fromLatin1(cells[0])), defocusMapDefocus(y, width, grid.minimum, grid.maximum));
        for (int c = 0; c < width; ++c) {
            const int level = CtfGrey(strToFloat(QString::fromLatin1(cells[c + 1])));
            if (level != grid.at(c, y))
                QFAIL(qPrintable(QStringLiteral("row %1 column %2: %3 gives %4, the map has %5")
                                     .arg(y)
                                     .arg(c)
                                     .arg(QString::fromLatin1(cells[c + 1]))
                                     .arg(level)
                                     .arg(grid.at(c, y))));
        }
    }
}

void TestCurveTable::mapTableOfBadWidth()
{
    OpticsState state;
    loadInstrument(state, defaultScope());
    QCOMPARE(defocusMapTableText(state, 0, -50, 200, 10), QByteArray("defocus\\k\r\n"));
}

QTEST_GUILESS_MAIN(TestCurveTable)
#include "test_curvetable.moc"
