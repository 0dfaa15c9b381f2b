// The unit helpers give the very doubles the program's stored values and texts were made with: where
// two orders of the same conversion round differently, each row pins the order its callers rely on.
#include "core/units.h"

#include <QTest>

#include <cstring>

using namespace orvalis;

class TestUnits : public QObject {
    Q_OBJECT

private slots:
    void exact_data();
    void exact();
};

void TestUnits::exact_data()
{
    QTest::addColumn<double>("actual");
    QTest::addColumn<double>("expected");
    QTest::newRow("180 degrees are Pi") << degreesToRadians(180) << Pi;
    QTest::newRow("90 degrees are Pi / 2") << degreesToRadians(90) << Pi / 2;
    QTest::newRow("Pi is 180 degrees") << radiansToDegrees(Pi) << 180.0;
    // 0.1 * (180 / Pi) would give 5.729577951308233
    QTest::newRow("0.1 rad: product, then division") << radiansToDegrees(0.1) << 5.729577951308232;
    QTest::newRow("1e5 nm by division") << nmToMm(1e5) << 0.1;
    QTest::newRow("1e5 nm by the product") << nmToMmByProduct(1e5) << 0.09999999999999999;
    QTest::newRow("0.9 mrad by division") << mradToRadByDivision(0.9) << 0.0009;
    QTest::newRow("0.9 mrad by the product") << mradToRad(0.9) << 0.0009000000000000001;
    QTest::newRow("1 Å") << angstromToNm(1) << 0.1;
    QTest::newRow("0.35 nm there and back") << angstromToNm(nmToAngstrom(0.35)) << 0.35;
    QTest::newRow("2.7 mm there and back") << nmToMm(mmToNm(2.7)) << 2.7;
    QTest::newRow("-1.5 um") << umToNm(-1.5) << -1500.0;
    QTest::newRow("12.5 A^2 there and back") << nm2ToAngstrom2(angstrom2ToNm2(12.5)) << 12.5;
    // 2.355 * (299.9 * 1000) would give 706264.5
    QTest::newRow("2.355 x 299.9 kV: product, then volts") << kilovoltProductToVolts(2.355, 299.9) << 706264.4999999999;
    QTest::newRow("0.0027 mm") << mmToUm(0.0027) << 2.7;
    QTest::newRow("-173 tenths of a nm") << tenthsToNm(-173) << -17.3;
}

void TestUnits::exact()
{
    QFETCH(double, actual);
    QFETCH(double, expected);
    // Bit for bit: QCOMPARE on doubles forgives the last bits, which are what is tested here.
    if (std::memcmp(&actual, &expected, sizeof actual) != 0)
        QFAIL(qPrintable(QStringLiteral("%1 is not %2").arg(actual, 0, 'g', 17).arg(expected, 0, 'g', 17)));
}

QTEST_APPLESS_MAIN(TestUnits)
#include "test_units.moc"
