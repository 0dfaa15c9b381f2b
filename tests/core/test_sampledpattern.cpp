// The pattern as the detector records it: against a sum of its own over many more aliases, and the
// properties a user sees (a fine detector changes nothing, the record repeats with the sampling
// frequency, nothing at all changes without a pixel size).
#include "../support/startupstate.h"
#include "core/ctffunctions.h"
#include "core/ctfpattern.h"
#include "core/sampledpattern.h"

#include <QtTest>
#include <cmath>

using namespace orvalis;

namespace {

OpticsState withPixel(double angstrom, double a2AzimuthDegrees = 0)
{
    OpticsState s = startupState();
    s.PixelSize = angstrom / 10;
    s.A2 = 40;
    s.A2Azimuth = a2AzimuthDegrees * Pi / 180;
    s.AmplitudeContrast = 0.07;
    return s;
}

// The detector's power summed over |m|, |n| <= 40 aliases, each weighted by the square pixel's
// sinc^2, with the CTF written out from the state's definition (the two-fold term along its azimuth).
double manyAliases(const OpticsState &s, double kx, double ky, double defocus)
{
    const double p = s.PixelSize, ks = 1 / p, pi = std::acos(-1.0);
    const auto sinc2 = [pi](double x) { return x == 0 ? 1.0 : std::pow(std::sin(pi * x) / (pi * x), 2); };
    double sum = 0;
    for (int m = -40; m <= 40; ++m) {
        for (int n = -40; n <= 40; ++n) {
            const double ax = kx + m * ks, ay = ky + n * ks, k2 = ax * ax + ay * ay;
            const double w = sinc2(ax * p) * sinc2(ay * p);
            const double phi = std::atan2(ay, ax);
            const double chi = pi * s.Cs * std::pow(s.Wavelength, 3) * k2 * k2 / 2 + pi * s.Wavelength * defocus * k2
                - s.A2 * s.Wavelength / 2 * k2 * std::cos(2 * (phi - s.A2Azimuth)) - std::asin(s.AmplitudeContrast);
            const double k = std::sqrt(k2);
            const double gradient = s.Cs * s.Wavelength * s.Wavelength * k2 + defocus;
            const double et = std::exp(-0.5 * std::pow(pi * s.Wavelength * s.FocalSpread, 2) * k2 * k2);
            const double es = std::exp(-pi * pi * s.Alpha * s.Alpha * k * k * gradient * gradient);
            sum += w * std::pow(std::sin(chi) * et * es, 2);
        }
    }
    return sum;
}

} // namespace

class TestSampledPattern : public QObject {
    Q_OBJECT
private slots:
    void againstManyAliases_data();
    void againstManyAliases();
    void repeatsWithTheSamplingFrequency();
    void fineDetectorRecordsThePattern();
    void noDetectorNoChange();
};

void TestSampledPattern::againstManyAliases_data()
{
    QTest::addColumn<double>("pixel"); // Å
    QTest::addColumn<double>("azimuth");
    QTest::addColumn<double>("kx");
    QTest::addColumn<double>("ky");
    // 1 Å: Nyquist at 5 nm^-1, the rings beyond it still strong; 2 Å: everything past 2.5 folds.
    QTest::newRow("1 A inside Nyquist") << 1.0 << 0.0 << 2.0 << 1.0;
    QTest::newRow("1 A near Nyquist") << 1.0 << 0.0 << 4.9 << -0.3;
    QTest::newRow("1 A beyond Nyquist") << 1.0 << 30.0 << 7.5 << 6.0;
    QTest::newRow("2 A, turned") << 2.0 << 30.0 << 1.7 << -2.2;
    QTest::newRow("0.6 A at the centre") << 0.6 << 0.0 << 0.0 << 0.0;
}

// Three alias cells each way: what lies beyond them is damped by the envelopes and the pixel.
void TestSampledPattern::againstManyAliases()
{
    QFETCH(double, pixel);
    QFETCH(double, azimuth);
    QFETCH(double, kx);
    QFETCH(double, ky);
    const OpticsState s = withPixel(pixel, azimuth);
    const double got = sampledPower(s, kx, ky, s.Defocus);
    const double expected = manyAliases(s, kx, ky, s.Defocus);
    QVERIFY2(got >= 0 && got <= 1, qPrintable(QString::number(got)));
    QVERIFY2(std::fabs(got - expected) < 0.002,
             qPrintable(QStringLiteral("power %1, with 81 x 81 aliases %2").arg(got).arg(expected)));
    QVERIFY(std::abs(sampledGrey(got) - sampledGrey(expected)) <= 1);
}

void TestSampledPattern::repeatsWithTheSamplingFrequency()
{
    const OpticsState s = withPixel(1.3, 25);
    const double ks = 1 / s.PixelSize;
    int checked = 0;
    for (double kx = -4; kx <= 4; kx += 0.37) {
        for (double ky = -4; ky <= 4; ky += 0.41) {
            const double here = sampledPower(s, kx, ky, s.Defocus);
            for (const auto &[m, n] : {std::pair{1, 0}, std::pair{0, -1}, std::pair{2, 1}}) {
                const double there = sampledPower(s, kx + m * ks, ky + n * ks, s.Defocus);
                QVERIFY2(std::fabs(here - there) < 1e-9,
                         qPrintable(QStringLiteral("(%1, %2): %3, shifted by (%4, %5) ks: %6")
                                        .arg(kx)
                                        .arg(ky)
                                        .arg(here)
                                        .arg(m)
                                        .arg(n)
                                        .arg(there)));
                ++checked;
            }
        }
    }
    QVERIFY(checked > 1000);
}

// A detector a hundred times finer than the pattern's range weights the pattern's points by almost
// 1 and its aliases by almost 0: its record is the pattern.
void TestSampledPattern::fineDetectorRecordsThePattern()
{
    OpticsState s = withPixel(0.01, 20);
    const PatternHalves plain = computePatternHalves(s, s.Defocus, 104, 1, 10);
    const PatternHalves sampled = computeSampledPattern(s, s.Defocus, 104, 1, 10);
    QCOMPARE(sampled.n, plain.n);
    QVERIFY(sampled.wholeGrid());
    int worst = 0;
    for (const auto &[a, b] :
         {std::pair{&plain.lower, &sampled.lower}, std::pair{&plain.upper, &sampled.upper},
          std::pair{&plain.leftLower, &sampled.leftLower}, std::pair{&plain.leftUpper, &sampled.leftUpper}}) {
        QCOMPARE(a->size(), b->size());
        for (std::size_t i = 0; i < a->size(); ++i)
            worst = std::max(worst, std::abs(int((*a)[i]) - int((*b)[i])));
    }
    QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
}

void TestSampledPattern::noDetectorNoChange()
{
    OpticsState s = withPixel(0, 15);
    const PatternHalves plain = computePatternHalves(s, s.Defocus, 104, 4, 10);
    const PatternHalves sampled = computeSampledPattern(s, s.Defocus, 104, 4, 10);
    QCOMPARE(sampled.lower, plain.lower);
    QCOMPARE(sampled.upper, plain.upper);
    QCOMPARE(sampled.leftLower, plain.leftLower);
    QCOMPARE(sampled.leftUpper, plain.leftUpper);
}

QTEST_APPLESS_MAIN(TestSampledPattern)
#include "test_sampledpattern.moc"
