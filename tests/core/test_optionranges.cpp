// The working ranges typed into the options dialog, and when the usage dialog is due.
#include "core/optionranges.h"
#include "core/orvaliserror.h"
#include "core/usagetexts.h"

#include <QtTest>

using namespace orvalis;

Q_DECLARE_METATYPE(OptionRanges)

class TestOptionRanges : public QObject {
    Q_OBJECT
private slots:
    void factoryTexts();
    void apply_data();
    void apply();
    void fineDefocus_data();
    void fineDefocus();
    void usageDue_data();
    void usageDue();
};

void TestOptionRanges::factoryTexts()
{
    const OptionTexts t = optionTexts(OptionRanges());
    QCOMPARE(t.overfocus, QStringLiteral("50"));
    QCOMPARE(t.underfocus, QStringLiteral("-200"));
    QCOMPARE(t.upTo, QStringLiteral("10"));
    QCOMPARE(t.a2Max, QStringLiteral("200"));
    QCOMPARE(t.a3Max, QStringLiteral("10000"));
    OptionRanges extreme;
    extreme.defocusMin = std::numeric_limits<int>::min();
    extreme.upTo = 12.5;
    QCOMPARE(optionTexts(extreme).overfocus, QStringLiteral("2147483648"));
    QCOMPARE(optionTexts(extreme).upTo, QStringLiteral("12.5"));
}

static OptionRanges ranges(int defocusMin, int defocusMax, int a2Max, int a3Max, double upTo)
{
    return {defocusMin, defocusMax, a2Max, a3Max, upTo};
}

void TestOptionRanges::apply_data()
{
    QTest::addColumn<QStringList>("fields"); // overfocus, underfocus, frequency, 2-fold, 3-fold
    QTest::addColumn<OptionRanges>("expected");
    QTest::addColumn<QString>("error");

    const OptionRanges factory;
    QTest::newRow("untouched") << QStringList{"50", "-200", "10", "200", "10000"} << factory << QString();
    QTest::newRow("overfocus 300") << QStringList{"300", "-200", "10", "200", "10000"}
                                   << ranges(-300, 200, 200, 10000, 10) << QString();
    QTest::newRow("overfocus -300 ignored")
        << QStringList{"-300", "-200", "10", "200", "10000"} << factory << QString();
    QTest::newRow("overfocus up to the maximum ignored")
        << QStringList{"-200", "-200", "10", "200", "10000"} << factory << QString();
    QTest::newRow("underfocus -500") << QStringList{"50", "-500", "10", "200", "10000"}
                                     << ranges(-50, 500, 200, 10000, 10) << QString();
    // The underfocus is compared with the minimum the overfocus field has just set.
    QTest::newRow("underfocus against the new minimum")
        << QStringList{"-100", "-150", "10", "200", "10000"} << ranges(100, 150, 200, 10000, 10) << QString();
    QTest::newRow("underfocus below the minimum ignored")
        << QStringList{"50", "60", "10", "200", "10000"} << factory << QString();
    QTest::newRow("frequency 12.5") << QStringList{"50", "-200", "12.5", "200", "10000"}
                                    << ranges(-50, 200, 200, 10000, 12.5) << QString();
    QTest::newRow("letters in 2-fold") << QStringList{"300", "-500", "12.5", "abc", "20"}
                                       << ranges(-300, 500, 200, 10000, 10)
                                       << QStringLiteral("'abc' is not a valid integer value");
    QTest::newRow("decimal in 3-fold") << QStringList{"50", "-200", "10", "300", "1.5"}
                                       << ranges(-50, 200, 300, 10000, 10)
                                       << QStringLiteral("'1.5' is not a valid integer value");
    QTest::newRow("comma in frequency") << QStringList{"50", "-200", "12,5", "300", "400"}
                                        << ranges(-50, 200, 300, 400, 10)
                                        << QStringLiteral("'12,5' is not a valid floating point value");
    QTest::newRow("letters in overfocus") << QStringList{"x", "-500", "12", "300", "400"} << factory
                                          << QStringLiteral("'x' is not a valid integer value");
    QTest::newRow("frequency 0")
        << QStringList{"50", "-200", "0", "300", "400"} << ranges(-50, 200, 300, 400, 10)
        << QStringLiteral("'0' is not a valid value for Max Frequency: it must be above 0 and at most 1000 nm-1");
    QTest::newRow("frequency negative") << QStringList{"50", "-200", "-3", "200", "10000"} << factory
                                        << QStringLiteral("'-3' is not a valid value for Max Frequency: it must be "
                                                          "above 0 and at most 1000 nm-1");
    QTest::newRow("frequency 1000 accepted")
        << QStringList{"50", "-200", "1000", "200", "10000"} << ranges(-50, 200, 200, 10000, 1000) << QString();
    QTest::newRow("frequency above 1000") << QStringList{"50", "-200", "1000.5", "200", "10000"} << factory
                                          << QStringLiteral("'1000.5' is not a valid value for Max Frequency: it must "
                                                            "be above 0 and at most 1000 nm-1");
    QTest::newRow("negative 2-fold stops the rest")
        << QStringList{"300", "-200", "20", "-5", "400"} << ranges(-300, 200, 200, 10000, 10)
        << QStringLiteral("'-5' is not a valid value for Max 2-fold Astigmatism: it must be from 0 to 1000000000 nm");
    QTest::newRow("negative 3-fold")
        << QStringList{"50", "-200", "20", "0", "-1"} << ranges(-50, 200, 0, 10000, 10)
        << QStringLiteral("'-1' is not a valid value for Max 3-fold Astigmatism: it must be from 0 to 1000000000 nm");
    // A span near 2^32 made the slider divide by zero while it was painted.
    QTest::newRow("the widest span accepted")
        << QStringList{"1000000000", "-1000000000", "10", "1000000000", "1000000000"}
        << ranges(-1000000000, 1000000000, 1000000000, 1000000000, 10) << QString();
    QTest::newRow("overfocus of the lowest integer")
        << QStringList{"-2147483648", "-200", "10", "200", "10000"} << factory
        << QStringLiteral("'-2147483648' is not a valid value for Max Overfocus: it must be from -1000000000 to "
                          "1000000000 nm");
    QTest::newRow("underfocus beyond a metre stops the rest")
        << QStringList{"300", "-1000000001", "10", "200", "10000"} << ranges(-300, 200, 200, 10000, 10)
        << QStringLiteral("'-1000000001' is not a valid value for Max Underfocus: it must be from -1000000000 to "
                          "1000000000 nm");
    QTest::newRow("2-fold beyond a metre")
        << QStringList{"50", "-200", "10", "2147483647", "0"} << factory
        << QStringLiteral("'2147483647' is not a valid value for Max 2-fold Astigmatism: it must be from 0 to "
                          "1000000000 nm");
}

void TestOptionRanges::apply()
{
    QFETCH(QStringList, fields);
    QFETCH(OptionRanges, expected);
    QFETCH(QString, error);
    OptionRanges r;
    QString thrown;
    try {
        applyOptionTexts(r, {fields[0], fields[1], fields[2], fields[3], fields[4]});
    } catch (const OrvalisError &e) {
        thrown = e.text();
    }
    QCOMPARE(thrown, error);
    QCOMPARE(r.defocusMin, expected.defocusMin);
    QCOMPARE(r.defocusMax, expected.defocusMax);
    QCOMPARE(r.a2Max, expected.a2Max);
    QCOMPARE(r.a3Max, expected.a3Max);
    QCOMPARE(r.upTo, expected.upTo);
}

// With fine defocus the field takes one decimal and the slider counts tenths: its ends must stay
// within a tenth of the coarse limit, or the slider's span would overflow its integers.
void TestOptionRanges::fineDefocus_data()
{
    QTest::addColumn<bool>("fine");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("defocus"); // nm, as the field takes it
    QTest::addColumn<QString>("error");
    QTest::newRow("coarse: whole nm") << false << "-67" << -67.0 << QString();
    QTest::newRow("coarse: a decimal refused") << false << "-4.2" << 0.0 << "'-4.2' is not a valid integer value";
    QTest::newRow("fine: one decimal") << true << "-4.2" << -4.2 << QString();
    QTest::newRow("fine: rounded to 0.1 nm") << true << "7.26" << 7.3 << QString();
    QTest::newRow("fine: whole nm") << true << "-12" << -12.0 << QString();
    QTest::newRow("fine: comma") << true << "-4,2" << 0.0 << "'-4,2' is not a valid floating point value";
    QTest::newRow("fine: beyond its limit")
        << true << "-100000000.1" << 0.0
        << "'-100000000.1' is not a valid value for Defocus: it must be from -100000000 to 100000000 nm";
    QTest::newRow("fine: not a number") << true << "nan" << 0.0 << "'nan' is not a valid floating point value";
}

void TestOptionRanges::fineDefocus()
{
    QFETCH(bool, fine);
    QFETCH(QString, typed);
    QFETCH(double, defocus);
    QFETCH(QString, error);
    OptionRanges r;
    r.fineDefocus = fine;
    QCOMPARE(defocusStepsPerNm(r), fine ? 10 : 1);
    double got = 0;
    QString thrown;
    try {
        got = typedDefocus(typed, r);
    } catch (const OrvalisError &e) {
        thrown = e.text();
    }
    QCOMPARE(thrown, error);
    QCOMPARE(got, defocus);

    // An end wider than tenths can count, which an ignored field leaves as it was: the fields are
    // applied, fine defocus is switched off.
    OptionRanges wide = ranges(-300, 200000000, 200, 10000, 10);
    wide.fineDefocus = true;
    QVERIFY(!fineDefocusFits(wide));
    QString refused;
    try {
        applyOptionTexts(wide, {"-150", "-100", "10", "200", "10000"});
    } catch (const OrvalisError &e) {
        refused = e.text();
    }
    QCOMPARE(refused, QStringLiteral("Fine defocus needs the defocus range within -100000000 .. 100000000 nm"));
    QVERIFY(!wide.fineDefocus);
    QCOMPARE(wide.defocusMin, 150);
    QCOMPARE(wide.defocusMax, 200000000);
}

void TestOptionRanges::usageDue_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("due");
    for (int count : {10, 50, 100, 150, 1000000})
        QTest::addRow("%d", count) << count << true;
    for (int count : {1, 9, 11, 49, 51, 99, 0, -50, std::numeric_limits<int>::min()})
        QTest::addRow("%d", count) << count << false;
}

void TestOptionRanges::usageDue()
{
    QFETCH(int, count);
    QFETCH(bool, due);
    QCOMPARE(usageDialogDue(count), due);
}

QTEST_GUILESS_MAIN(TestOptionRanges)
#include "test_optionranges.moc"
