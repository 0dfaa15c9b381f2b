// Defocus and two-fold astigmatism between this program's terms and the cryo-EM programs'.
#include "core/cryoemdefocus.h"

#include <QTest>

#include <cmath>

using namespace orvalis;

class TestCryoEmDefocus : public QObject {
    Q_OBJECT

private slots:
    void converts_data();
    void converts();
    void roundTrips();
};

void TestCryoEmDefocus::converts_data()
{
    QTest::addColumn<double>("defocus"); // nm
    QTest::addColumn<double>("a2");      // nm
    QTest::addColumn<double>("azimuth"); // degrees
    QTest::addColumn<double>("u");       // Å
    QTest::addColumn<double>("v");       // Å
    QTest::addColumn<double>("angle");   // degrees
    // The conventions page's example: RELION's 800 Å and 600 Å at 0 degrees.
    QTest::newRow("help page example") << -70.0 << 20 * M_PI << 0.0 << 800.0 << 600.0 << 0.0;
    QTest::newRow("no astigmatism") << -1500.0 << 0.0 << 0.0 << 15000.0 << 15000.0 << 0.0;
    QTest::newRow("overfocus") << 200.0 << 10 * M_PI << 45.0 << -1950.0 << -2050.0 << 45.0;
    QTest::newRow("2000 Å at 125 degrees") << -4000.0 << 200 * M_PI << 125.0 << 41000.0 << 39000.0 << 125.0;
}

void TestCryoEmDefocus::converts()
{
    QFETCH(double, defocus);
    QFETCH(double, a2);
    QFETCH(double, azimuth);
    QFETCH(double, u);
    QFETCH(double, v);
    QFETCH(double, angle);
    const CryoEmDefocus c = toCryoEmDefocus({defocus, a2, azimuth});
    QVERIFY2(
        std::fabs(c.defocusU - u) < 1e-9 && std::fabs(c.defocusV - v) < 1e-9 && c.angle == angle,
        qPrintable(QStringLiteral("%1 %2 %3").arg(c.defocusU, 0, 'g', 17).arg(c.defocusV, 0, 'g', 17).arg(c.angle)));
    const TwoFoldDefocus d = fromCryoEmDefocus({u, v, angle});
    QVERIFY(std::fabs(d.Defocus - defocus) < 1e-12 * std::fabs(defocus) + 1e-12);
    QVERIFY(std::fabs(d.A2 - a2) < 1e-12 * a2 + 1e-12);
    QCOMPARE(d.azimuth, azimuth);
}

// Any defocus and astigmatism, whichever way written, come back as they went in; V above U and a
// negative A2 are the same astigmatism turned by 90 degrees, and angles are taken modulo 180.
void TestCryoEmDefocus::roundTrips()
{
    int checked = 0;
    for (const double defocus : {-5000.0, -812.25, -0.5, 0.0, 37.0})
        for (const double a2 : {0.0, 0.1, 62.83, 942.0})
            for (const double azimuth : {0.0, 17.5, 90.0, 179.99}) {
                const TwoFoldDefocus back = fromCryoEmDefocus(toCryoEmDefocus({defocus, a2, azimuth}));
                QVERIFY(std::fabs(back.Defocus - defocus) <= 1e-12 * (1 + std::fabs(defocus)));
                QVERIFY(std::fabs(back.A2 - a2) <= 1e-13 * (1 + a2 + std::fabs(defocus))); // U - V of large U and V
                QVERIFY2(std::fabs(back.azimuth - azimuth) < 1e-12, qPrintable(QString::number(back.azimuth)));
                ++checked;
            }
    QCOMPARE(checked, 80);

    const CryoEmDefocus swapped = toCryoEmDefocus(fromCryoEmDefocus({19000, 20000, 30}));
    QCOMPARE(swapped.defocusU, 20000.0);
    QCOMPARE(swapped.defocusV, 19000.0);
    QCOMPARE(swapped.angle, 120.0);
    const CryoEmDefocus negative = toCryoEmDefocus({-2000, -100, 100});
    QVERIFY(negative.defocusU > negative.defocusV);
    QCOMPARE(negative.angle, 10.0);
    QCOMPARE(fromCryoEmDefocus({10000, 9000, -10}).azimuth, 170.0);
    QCOMPARE(fromCryoEmDefocus({10000, 9000, 540}).azimuth, 0.0);
    QCOMPARE(twoFoldAngle(-1e-18), 0.0);
}

QTEST_GUILESS_MAIN(TestCryoEmDefocus)
#include "test_cryoemdefocus.moc"
