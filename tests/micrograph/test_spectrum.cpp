// The spectrum, the rotational and equal-phase averages and the ring-by-ring agreement, on images
// whose spectrum is known: white noise, single waves, and synthetic micrographs made with the
// program's own CTF functions for the default instrument.
#include "../support/startupstate.h"
#include "core/ctffunctions.h"
#include "core/orvaliserror.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/ringaverage.h"
#include "syntheticmicrograph.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

using namespace orvalis;

namespace {

constexpr double kPixel = 0.1; // nm: Nyquist at 5 nm^-1

// The default instrument with two-fold astigmatism `a2` (nm) at `defocus` (nm).
struct Model {
    OpticsState state;
    double defocus;
    Model(double d, double a2) : state(startupState()), defocus(d) { state.A2 = a2; }

    double ctf(double kx, double ky) const { return std::sin(Chi(state, kx, ky, defocus)); }
    // The phase without astigmatism at k (nm^-1).
    double roundPhase(double k) const
    {
        return state.ChiCsFactor * k * k * k * k + state.ChiDefocusFactor * defocus * k * k;
    }
    // k at which roundPhase equals the full phase at (kx, ky), on the branch below the phase's
    // turning point (underfocus: the phase falls from 0 first); NaN past the turning point.
    double equivalent(double kx, double ky) const
    {
        const double chi = Chi(state, kx, ky, defocus);
        const double a = state.ChiCsFactor, b = state.ChiDefocusFactor * defocus;
        const double discriminant = b * b + 4 * a * chi;
        if (discriminant < 0)
            return std::numeric_limits<double>::quiet_NaN();
        const double u = (-b - std::sqrt(discriminant)) / (2 * a);
        return u >= 0 ? std::sqrt(u) : std::numeric_limits<double>::quiet_NaN();
    }
    std::vector<double> ctf2AtBins(int bins, double step) const
    {
        std::vector<double> m(static_cast<std::size_t>(bins));
        for (int b = 0; b < bins; ++b) {
            const double s = std::sin(roundPhase(b * step));
            m[std::size_t(b)] = s * s;
        }
        return m;
    }
};

MicrographImage synthetic(const Model &model, int size, double noise, std::uint64_t seed, double cutoff = 1e9)
{
    SyntheticOptions o;
    o.width = o.height = size;
    o.pixelSizeNm = kPixel;
    o.noise = noise;
    o.seed = seed;
    return syntheticMicrograph(
        o, [&model, cutoff](double kx, double ky) { return std::hypot(kx, ky) < cutoff ? model.ctf(kx, ky) : 0.0; });
}

SpectrumOptions options(int tile, int threads = 1)
{
    SpectrumOptions o;
    o.tileSize = tile;
    o.pixelSizeNm = kPixel;
    o.threads = threads;
    return o;
}

} // namespace

class TestSpectrum : public QObject {
    Q_OBJECT
private slots:
    void whiteNoiseLevel_data();
    void whiteNoiseLevel();
    void waveLandsOnItsPixel_data();
    void waveLandsOnItsPixel();
    void ringsAtCtfZeros_data();
    void ringsAtCtfZeros();
    void equalPhaseSharpensAstigmatism_data();
    void equalPhaseSharpensAstigmatism();
    void agreementEndsWithTheRings_data();
    void agreementEndsWithTheRings();
    void refusedInputs_data();
    void refusedInputs();
    void scaleOfThePixels_data();
    void scaleOfThePixels();
    void progressAndCancel_data();
    void progressAndCancel();
};

void TestSpectrum::whiteNoiseLevel_data()
{
    QTest::addColumn<int>("tile");
    QTest::addColumn<int>("threads");
    QTest::addColumn<double>("sigma");
    QTest::newRow("256, one thread") << 256 << 1 << 1.0;
    QTest::newRow("256, two threads") << 256 << 2 << 3.0;
    QTest::newRow("264, rows not a multiple of 16") << 264 << 1 << 2.0;
    QTest::newRow("512, two threads") << 512 << 2 << 0.5;
}

// White noise of variance s^2 has the flat spectrum s^2 and no rings at all, whatever the tile.
void TestSpectrum::whiteNoiseLevel()
{
    QFETCH(int, tile);
    QFETCH(int, threads);
    QFETCH(double, sigma);
    MicrographImage image;
    image.width = 1100;
    image.height = 900;
    image.data.resize(std::size_t(image.width) * image.height);
    std::mt19937 random(7);
    std::normal_distribution<float> normal(40.0f, float(sigma));
    for (float &v : image.data)
        v = normal(random);
    const PowerSpectrum s = computePowerSpectrum(image, options(tile, threads));
    QCOMPARE(s.size, tile);
    QCOMPARE(s.frequencyStep, 1.0 / (tile * kPixel));
    double power = 0, rings = 0;
    int count = 0;
    for (int j = 0; j < tile; ++j)
        for (int i = 0; i < tile; ++i)
            if (std::abs(i - tile / 2) > 2 && std::abs(j - tile / 2) > 2) { // the mean and its leakage aside
                power += s.powerAt(i, j);
                rings += s.ringsAt(i, j);
                ++count;
            }
    power /= count;
    rings /= count;
    QVERIFY2(std::abs(power / (sigma * sigma) - 1) < 0.02,
             qPrintable(QStringLiteral("mean power %1, expected %2").arg(power).arg(sigma * sigma)));
    QVERIFY2(std::abs(rings) < 0.01 * sigma, qPrintable(QStringLiteral("mean of the rings %1").arg(rings)));
    // Each tile's mean is removed: the zero frequency holds no more than the noise does.
    QVERIFY2(s.powerAt(tile / 2, tile / 2) < 10 * sigma * sigma,
             qPrintable(QStringLiteral("zero frequency %1").arg(s.powerAt(tile / 2, tile / 2))));
}

void TestSpectrum::waveLandsOnItsPixel_data()
{
    QTest::addColumn<int>("u"); // cycles across a tile along x
    QTest::addColumn<int>("v"); // along y
    QTest::newRow("along x") << 40 << 0;
    QTest::newRow("along y") << 0 << 40;
    QTest::newRow("oblique, ky negative") << 30 << -50;
    QTest::newRow("oblique, ky positive") << 50 << 30;
    QTest::newRow("near Nyquist") << 120 << 7;
}

// kx must run along the image's rows and ky along its columns with the row index, or every
// azimuth the fit reports is wrong.
void TestSpectrum::waveLandsOnItsPixel()
{
    QFETCH(int, u);
    QFETCH(int, v);
    const int tile = 256;
    MicrographImage image;
    image.width = 700;
    image.height = 600;
    image.data.resize(std::size_t(image.width) * image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.data[std::size_t(y) * image.width + x] = float(
                5 + std::cos(2 * Pi * (double(u) * x + double(v) * y) / tile));
    const PowerSpectrum s = computePowerSpectrum(image, options(tile));
    int bestI = 0, bestJ = 0;
    for (int j = 0; j < tile; ++j)
        for (int i = tile / 2; i < tile; ++i)
            if (s.powerAt(i, j) > s.powerAt(bestI, bestJ))
                bestI = i, bestJ = j;
    QCOMPARE(bestI - tile / 2, std::abs(u));
    QCOMPARE(bestJ - tile / 2, u == 0 ? -std::abs(v) : v); // on the kx = 0 column the first of the pair
    QCOMPARE(s.powerAt(tile - bestI, tile - bestJ), s.powerAt(bestI, bestJ)); // its mirror image
    QVERIFY(std::abs(s.frequencyX(bestI) - u * s.frequencyStep) < 1e-12);
}

void TestSpectrum::ringsAtCtfZeros_data()
{
    QTest::addColumn<double>("defocus");
    QTest::addColumn<int>("tile");
    QTest::newRow("-400 nm, tile 512") << -400.0 << 512;
    QTest::newRow("-1200 nm, tile 512") << -1200.0 << 512;
    QTest::newRow("-2500 nm, tile 1024") << -2500.0 << 1024;
}

// The rotational average dips at every zero of the CTF that the spectrum resolves.
void TestSpectrum::ringsAtCtfZeros()
{
    QFETCH(double, defocus);
    QFETCH(int, tile);
    const Model model(defocus, 0);
    const PowerSpectrum s = computePowerSpectrum(synthetic(model, 2048, 0.5, 11), options(tile, 2));
    const RingAverage average = rotationalAverage(s.rings, s.size, s.frequencyStep);
    const double step = s.frequencyStep;
    int zeros = 0;
    for (int n = 1;; ++n) {
        // The n-th zero: roundPhase(k) = -n pi, k^2 from the quadratic in k^2.
        const double a = model.state.ChiCsFactor, b = model.state.ChiDefocusFactor * defocus;
        const double d = b * b - 4 * a * n * Pi;
        if (d < 0)
            break;
        const double k = std::sqrt((-b - std::sqrt(d)) / (2 * a));
        if (k > 0.85 * s.size / 2 * step)
            break;
        // Half the distance to the neighbouring zeros, in bins.
        const double next = std::sqrt((-b - std::sqrt(b * b - 4 * a * (n + 1) * Pi)) / (2 * a));
        const double halfRing = 0.5 * (next - k) / step;
        if (halfRing < 3 || k < 1.2 * SpectrumOptions().backgroundFrequency)
            continue;
        const int zeroBin = int(std::lround(k / step));
        const int reach = int(halfRing * 0.6);
        int lowest = zeroBin;
        for (int bin = zeroBin - reach; bin <= zeroBin + reach; ++bin)
            if (average.value[std::size_t(bin)] < average.value[std::size_t(lowest)])
                lowest = bin;
        QVERIFY2(std::abs(lowest - k / step) <= 1.0,
                 qPrintable(QStringLiteral("zero %1 at %2 nm^-1: the average's minimum lies at %3 nm^-1")
                                .arg(n)
                                .arg(k)
                                .arg(lowest * step)));
        ++zeros;
    }
    QVERIFY2(zeros >= 4, qPrintable(QStringLiteral("only %1 zeros checked").arg(zeros)));
}

void TestSpectrum::equalPhaseSharpensAstigmatism_data()
{
    QTest::addColumn<double>("defocus");
    QTest::addColumn<double>("a2");
    QTest::newRow("-1000 nm, A2 200 nm") << -1000.0 << 200.0;
    QTest::newRow("-1800 nm, A2 400 nm") << -1800.0 << 400.0;
}

// Averaged along circles, astigmatic rings smear out beyond the first few; along the model's
// equal-phase rings they stay sharp, and the agreement with the model reaches much further.
void TestSpectrum::equalPhaseSharpensAstigmatism()
{
    QFETCH(double, defocus);
    QFETCH(double, a2);
    const Model model(defocus, a2);
    const PowerSpectrum s = computePowerSpectrum(synthetic(model, 2048, 0.5, 5), options(512, 2));
    const auto equivalent = [&model](double kx, double ky) { return model.equivalent(kx, ky); };
    const RingAverage sharp = equalPhaseAverage(s.rings, s.size, s.frequencyStep, equivalent);
    const RingAverage round = rotationalAverage(s.rings, s.size, s.frequencyStep);
    const std::vector<double> ctf2 = model.ctf2AtBins(int(sharp.value.size()), s.frequencyStep);
    const double lowest = 0.5;
    const RingAgreement sharpAgreement = ringAgreement(sharp.value, ctf2, s.frequencyStep, lowest);
    const RingAgreement roundAgreement = ringAgreement(round.value, ctf2, s.frequencyStep, lowest);
    const double nyquist = 0.5 / kPixel;
    QVERIFY2(sharpAgreement.agreedUpTo > 0.8 * nyquist,
             qPrintable(QStringLiteral("equal-phase average agrees up to %1 nm^-1").arg(sharpAgreement.agreedUpTo)));
    QVERIFY2(roundAgreement.agreedUpTo < 0.6 * sharpAgreement.agreedUpTo,
             qPrintable(QStringLiteral("the rotational average agrees up to %1 nm^-1, the equal-phase one to %2")
                            .arg(roundAgreement.agreedUpTo)
                            .arg(sharpAgreement.agreedUpTo)));
    // Coarse steps (a slider being dragged) see the same rings.
    const RingAverage coarse = equalPhaseAverage(s.rings, s.size, s.frequencyStep, equivalent, 4);
    const RingAgreement coarseAgreement = ringAgreement(coarse.value, ctf2, s.frequencyStep, lowest);
    QVERIFY2(coarseAgreement.agreedUpTo > 0.7 * nyquist, qPrintable(QString::number(coarseAgreement.agreedUpTo)));
}

void TestSpectrum::agreementEndsWithTheRings_data()
{
    QTest::addColumn<double>("cutoff"); // nm^-1 beyond which the object carries no signal
    QTest::addColumn<double>("noise");
    QTest::newRow("rings to 2 nm^-1") << 2.0 << 0.7;
    QTest::newRow("rings to 3.2 nm^-1") << 3.2 << 0.7;
    QTest::newRow("rings to 4.2 nm^-1, noisier") << 4.2 << 1.5;
    QTest::newRow("no rings at all") << 0.0 << 1.0;
}

// Where the rings end, the agreement ends; on noise alone there is none to speak of.
void TestSpectrum::agreementEndsWithTheRings()
{
    QFETCH(double, cutoff);
    QFETCH(double, noise);
    const Model model(-900, 0);
    const PowerSpectrum s = computePowerSpectrum(synthetic(model, 2048, noise, 3, cutoff), options(512, 2));
    const RingAverage average = rotationalAverage(s.rings, s.size, s.frequencyStep);
    const RingAgreement g = ringAgreement(average.value, model.ctf2AtBins(int(average.value.size()), s.frequencyStep),
                                          s.frequencyStep, 0.5);
    QCOMPARE(g.correlation.size(), average.value.size());
    QVERIFY(std::isnan(g.correlation[std::size_t(g.firstBin - 1)]));
    if (cutoff == 0) {
        QVERIFY2(g.agreedUpTo < 1.0, qPrintable(QStringLiteral("noise agrees up to %1 nm^-1").arg(g.agreedUpTo)));
        return;
    }
    QVERIFY2(std::abs(g.agreedUpTo - cutoff) < 0.06 * cutoff,
             qPrintable(QStringLiteral("agrees up to %1 nm^-1, the rings end at %2").arg(g.agreedUpTo).arg(cutoff)));
}

void TestSpectrum::refusedInputs_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("tile");
    QTest::addColumn<double>("pixel");
    QTest::addColumn<double>("background");
    QTest::addColumn<QString>("fragment");
    QTest::newRow("smaller than a tile") << 600 << 500 << 512 << 0.1 << 0.33 << "600 x 500 pixels, fewer than one tile";
    QTest::newRow("odd tile") << 600 << 600 << 301 << 0.1 << 0.33 << "even number of pixels from 256 to 2048, not 301";
    QTest::newRow("tile too small") << 600 << 600 << 128 << 0.1 << 0.33 << "not 128";
    QTest::newRow("tile too large") << 5000 << 5000 << 4096 << 0.1 << 0.33 << "not 4096";
    QTest::newRow("no pixel size") << 600 << 600 << 256 << 0.0 << 0.33 << "needs the pixel size";
    QTest::newRow("pixel size NaN") << 600 << 600 << 256 << std::nan("") << 0.33 << "needs the pixel size";
    QTest::newRow("no background frequency") << 600 << 600 << 256 << 0.1 << 0.0 << "background frequency";
}

void TestSpectrum::refusedInputs()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, tile);
    QFETCH(double, pixel);
    QFETCH(double, background);
    QFETCH(QString, fragment);
    MicrographImage image;
    image.width = width;
    image.height = height;
    image.data.assign(std::size_t(width) * height, 1.0f);
    SpectrumOptions o = options(tile);
    o.pixelSizeNm = pixel;
    o.backgroundFrequency = background;
    try {
        computePowerSpectrum(image, o);
        QFAIL("computed");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().contains(fragment), qPrintable(e.text()));
    }
}

void TestSpectrum::scaleOfThePixels_data()
{
    QTest::addColumn<double>("largest"); // the largest pixel, in magnitude
    QTest::addColumn<QString>("refusal");
    // Transformed and squared as they are, the pixels of the first square to infinity (and NaN
    // after it).
    QTest::newRow("about 1e19") << 1e19 << "";
    QTest::newRow("about 1e-12") << 1e-12 << "";
    QTest::newRow("about 1e38") << 1e38 << "vary too much for a spectrum: their standard deviation is";
    QTest::newRow("about 1e-40, below the normal floats") << 1e-40 << "vary too little for a spectrum";
}

// The spectrum's shape does not depend on the scale of the pixels; its values follow the scale
// exactly, or the image is refused for it.
void TestSpectrum::scaleOfThePixels()
{
    QFETCH(double, largest);
    QFETCH(QString, refusal);
    const MicrographImage image = synthetic(Model(-400, 0), 512, 1.0, 5);
    float most = 0;
    for (const float v : image.data)
        most = std::max(most, std::abs(v));
    // A power of two where the spectrum is expected, so that the scaled pixels are exact.
    const int exponent = std::ilogb(largest / double(most));
    MicrographImage scaled = image;
    for (float &v : scaled.data)
        v = refusal.isEmpty() ? std::ldexp(v, exponent) : static_cast<float>(v * (largest / double(most)));
    if (!refusal.isEmpty()) {
        try {
            computePowerSpectrum(scaled, options(256));
            QFAIL("computed");
        } catch (const OrvalisError &e) {
            QVERIFY2(e.text().contains(refusal), qPrintable(e.text()));
        }
        return;
    }
    const PowerSpectrum base = computePowerSpectrum(image, options(256));
    const PowerSpectrum s = computePowerSpectrum(scaled, options(256));
    QCOMPARE(s.power.size(), base.power.size());
    for (std::size_t i = 0; i < s.power.size(); ++i) {
        if (s.power[i] != std::ldexp(base.power[i], 2 * exponent))
            QFAIL(qPrintable(QStringLiteral("power %1: %2, not %3 times %4")
                                 .arg(i)
                                 .arg(double(s.power[i]))
                                 .arg(std::ldexp(1.0, 2 * exponent))
                                 .arg(double(base.power[i]))));
        if (s.rings[i] != std::ldexp(base.rings[i], exponent))
            QFAIL(qPrintable(QStringLiteral("rings %1: %2, not %3 times %4")
                                 .arg(i)
                                 .arg(double(s.rings[i]))
                                 .arg(std::ldexp(1.0, exponent))
                                 .arg(double(base.rings[i]))));
    }
}

void TestSpectrum::progressAndCancel_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("one thread") << 1;
    QTest::newRow("two threads") << 2;
}

// Progress rises to 1; a Cancel stops the tiles of every thread and keeps nothing.
void TestSpectrum::progressAndCancel()
{
    QFETCH(int, threads);
    const MicrographImage image = synthetic(Model(-800, 0), 1024, 1.0, 2);
    QVector<double> seen;
    const PowerSpectrum s = computePowerSpectrum(image, options(256, threads), [&seen](double f) {
        seen.append(f);
        return true;
    });
    QCOMPARE(s.tiles, 49);
    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen.last(), 1.0);
    for (int i = 1; i < seen.size(); ++i)
        QVERIFY(seen[i] >= seen[i - 1]);

    int calls = 0;
    bool cancelled = false;
    try {
        computePowerSpectrum(image, options(256, threads), [&calls](double) { return ++calls < 3; });
    } catch (const Cancelled &) {
        cancelled = true;
    }
    QVERIFY(cancelled);
    QCOMPARE(calls, 3);

    // The threads split the tiles, not the result.
    const PowerSpectrum one = computePowerSpectrum(image, options(256, 1));
    for (std::size_t i = 0; i < one.power.size(); ++i)
        QVERIFY2(std::abs(one.power[i] - s.power[i]) <= 1e-5f * one.power[i], qPrintable(QString::number(i)));
}

QTEST_GUILESS_MAIN(TestSpectrum)
#include "test_spectrum.moc"
