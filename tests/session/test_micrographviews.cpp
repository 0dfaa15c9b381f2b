// The micrograph views' arithmetic on its own: the model's half of the side-by-side picture against
// the CTF evaluated point by point, and the average along the model's rings against the general
// equal-phase average, over the cases that take each of their paths (blocks cut by the picture's
// edge, either side of the dividing line, envelopes above 1, phases beyond the fast sine's reach).
#include "core/ctfgrey.h"
#include "core/scopedata.h"
#include "micrograph/ringaverage.h"
#include "session/ctfsession.h"
#include "session/micrographviews.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <random>

using namespace orvalis;

namespace {

SpectrumModel startModel()
{
    CtfSession session;
    session.ScopeRecord1 = defaultScope();
    session.beginRun();
    SpectrumModel m;
    m.state = session.state();
    m.defocus = -400;
    return m;
}

} // namespace

class TestMicrographViews : public QObject {
    Q_OBJECT

private slots:
    void modelHalf_data();
    void modelHalf();
    void equalPhaseRings_data();
    void equalPhaseRings();
    void viewFollowsNyquist_data();
    void viewFollowsNyquist();
    void zeroRingLandsOnItsPixel_data();
    void zeroRingLandsOnItsPixel();
};

void TestMicrographViews::viewFollowsNyquist_data()
{
    QTest::addColumn<int>("size");         // of the spectrum
    QTest::addColumn<double>("pixelSize"); // nm
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("centre"); // of the picture
    QTest::addColumn<bool>("logarithmic");
    QTest::newRow("cryo-EM 1.06 A, whole") << 512 << 0.106 << 1.0 << 300 << false;
    QTest::newRow("materials 0.2 A, whole, log") << 512 << 0.02 << 1.0 << 257 << true;
    QTest::newRow("stain 3.5 A, zoomed 2x") << 256 << 0.35 << 2.0 << 400 << false;
    QTest::newRow("1 A, zoom below 1 taken as 1") << 384 << 0.1 << 0.5 << 180 << true;
}

// The view spans the micrograph's own frequencies: its last pixel is Nyquist over the zoom whatever
// the pixel size; the measured spectrum fills the picture out to Nyquist, black beyond.
void TestMicrographViews::viewFollowsNyquist()
{
    QFETCH(int, size);
    QFETCH(double, pixelSize);
    QFETCH(double, zoom);
    QFETCH(int, centre);
    QFETCH(bool, logarithmic);
    PowerSpectrum s;
    s.size = size;
    s.frequencyStep = 1.0 / (size * pixelSize);
    s.rings.resize(std::size_t(size) * size);
    s.power.resize(s.rings.size());
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(0.5f, 2.0f);
    for (std::size_t i = 0; i < s.rings.size(); ++i) {
        s.power[i] = noise(random);
        s.rings[i] = s.power[i] - 1.2f;
    }
    const double nyquist = 1 / (2 * pixelSize);
    const double range = spectrumViewRange(s, zoom);
    QVERIFY(std::fabs(range - nyquist / std::max(1.0, zoom)) < 1e-9 * nyquist);
    SpectrumContrast contrast;
    contrast.logarithmic = logarithmic;
    const CompositeGrid g = measuredGrid(s, centre, range, 0.0, contrast);
    QCOMPARE(g.side(), 2 * centre);
    QCOMPARE(compositePixelFrequency(g.side() - 1, centre, range), range);
    QCOMPARE(compositePixelOf(range, centre, range), double(g.side() - 1));
    // Along the axes every pixel up to the edge is measured (grey levels start above black); beyond
    // Nyquist on the diagonal nothing is.
    for (int x = centre; x < g.side(); ++x)
        QVERIFY2(g.at(x, centre) >= kGreyLevelMin, qPrintable(QString::number(x)));
    const int inside = static_cast<int>(std::floor(compositePixelOf(nyquist / std::sqrt(2.0), centre, range))) - 1;
    const int outside = static_cast<int>(std::ceil(compositePixelOf(nyquist / std::sqrt(2.0), centre, range))) + 1;
    if (inside < g.side())
        QVERIFY(g.at(inside, inside) >= kGreyLevelMin);
    if (outside < g.side())
        QCOMPARE(g.at(outside, outside), 0);
    // The default contrast is the pattern's picture, level for level.
    if (!logarithmic)
        QVERIFY(measuredGrid(s, centre, range, 0.0).grey == g.grey);
}

void TestMicrographViews::zeroRingLandsOnItsPixel_data()
{
    QTest::addColumn<double>("a2");        // nm
    QTest::addColumn<double>("amplitude"); // contrast, Q
    QTest::addColumn<int>("pixels");       // from the centre to the first zero along +kx
    QTest::newRow("round, Q 0") << 0.0 << 0.0 << 120;
    QTest::newRow("round, Q 0.07") << 0.0 << 0.07 << 77;
    QTest::newRow("astigmatic ellipse") << 40.0 << 0.1 << 150;
}

// The first zero of a model, solved in closed form from chi along each axis, lies where the traced
// ring puts it, on the picture's pixel at its frequency.
void TestMicrographViews::zeroRingLandsOnItsPixel()
{
    QFETCH(double, a2);
    QFETCH(double, amplitude);
    QFETCH(int, pixels);
    SpectrumModel m = startModel();
    m.state.A2 = a2;
    m.state.A3 = 0;
    m.state.AmplitudeContrast = amplitude;
    m.defocus = -600;
    const PhaseFactors f = m.model().phase();
    // argument = cs u^2 + (df -+ A2 lambda / 2) u - asin Q, u = k^2, along kx (-) and ky (+): it first
    // reaches -pi at the smaller root of cs u^2 + b u + (pi - asin Q) = 0.
    const auto firstZero = [&](double b) {
        const double c = Pi - std::asin(amplitude);
        return std::sqrt((-b - std::sqrt(b * b - 4 * f.cs * c)) / (2 * f.cs));
    };
    const double alongX = firstZero(f.df - a2 * f.wavelength / 2);
    const double alongY = firstZero(f.df + a2 * f.wavelength / 2);
    const int centre = 200;
    const double range = alongX * (centre - 1) / pixels;
    const int directions = 360;
    const std::vector<ZeroLine> lines = modelZeroLines(m, range * std::sqrt(2.0), directions, 2000);
    QVERIFY(!lines.empty());
    const ZeroLine &first = lines.front();
    QCOMPARE(first.order, 1);
    QVERIFY(first.closed);
    QCOMPARE(int(first.kx.size()), directions);
    const double tolerance = range / (centre - 1) / 20; // a twentieth of a pixel
    QVERIFY2(std::fabs(first.kx[0] - alongX) < tolerance && std::fabs(first.ky[0]) < tolerance,
             qPrintable(QStringLiteral("%1 for %2").arg(first.kx[0]).arg(alongX)));
    QVERIFY(std::fabs(first.ky[90] - alongY) < tolerance && std::fabs(first.kx[90]) < tolerance);
    QCOMPARE(std::lround(compositePixelOf(first.kx[0], centre, range)), long(centre + pixels));
    QCOMPARE(std::lround(compositePixelOf(-first.kx[180], centre, range)), long(centre + pixels));
    // The next ring lies further out in every direction.
    QVERIFY(lines.size() > 1 && lines[1].order == 2);
    QVERIFY(std::hypot(lines[1].kx[0], lines[1].ky[0]) > alongX);
}

void TestMicrographViews::modelHalf_data()
{
    QTest::addColumn<double>("direction");
    QTest::addColumn<int>("step");
    QTest::addColumn<double>("bFactor"); // nm^2; below 0 the envelope exceeds 1
    QTest::addColumn<double>("defocus"); // nm
    QTest::addColumn<double>("azimuth"); // rad, of A2
    QTest::addColumn<double>("c5");      // nm
    QTest::newRow("fine, line rising") << 0.4 << 1 << 0.0 << -400.0 << 0.0 << 0.0;
    QTest::newRow("fine, line falling") << -2.5 << 1 << 0.0 << -400.0 << 0.0 << 0.0;
    QTest::newRow("coarse blocks cut by the edge") << 1.1 << 3 << 0.0 << -400.0 << 0.0 << 0.0;
    QTest::newRow("drag blocks, vertical line") << 3.14159265358979 / 2 << 4 << 0.5 << -900.0 << 0.0 << 0.0;
    QTest::newRow("envelope above 1") << 0.0 << 1 << -2.0 << -400.0 << 0.0 << 0.0;
    QTest::newRow("phase beyond the fast sine") << 0.7 << 2 << 0.0 << -4e8 << 0.0 << 0.0;
    QTest::newRow("turned astigmatism and C5") << 0.2 << 1 << 0.3 << -600.0 << 0.7 << 3e6;
}

// Every pixel on the model's side carries the grey level of the CTF at its block's first pixel;
// the other side is left as it was.
void TestMicrographViews::modelHalf()
{
    QFETCH(double, direction);
    QFETCH(int, step);
    QFETCH(double, bFactor);
    QFETCH(double, defocus);
    QFETCH(double, azimuth);
    QFETCH(double, c5);
    SpectrumModel m = startModel();
    m.state.A2 = 30;
    m.state.A3 = 1500;
    m.state.BFactor = bFactor;
    m.defocus = defocus;
    if (std::fabs(defocus) > 1e6)
        m.state.Alpha = 0; // the spatial envelope would leave nothing to see
    m.state.AmplitudeContrast = 0.1;
    m.state.PhaseShift = 0.3;
    m.state.A2Azimuth = azimuth;
    m.state.C5 = c5;
    CompositeGrid g;
    g.centre = 101;
    g.range = 2.5;
    g.grey.assign(std::size_t(g.side()) * g.side(), 7);
    drawModelHalf(g, m, direction, step);
    int differing = 0, model = 0;
    for (int y = 0; y < g.side(); ++y)
        for (int x = 0; x < g.side(); ++x) {
            if (!onModelSide(x, y, g.centre, direction)) {
                QCOMPARE(g.at(x, y), 7);
                continue;
            }
            ++model;
            const auto k = [&g](int p) { return (p - g.centre) * g.range / (g.centre - 1); };
            const int expected = CtfGrey(m.ctf(k(x - x % step), k(y - y % step)));
            QVERIFY2(std::abs(g.at(x, y) - expected) <= 1,
                     qPrintable(QStringLiteral("%1 at %2, %3").arg(g.at(x, y)).arg(x).arg(y)));
            differing += g.at(x, y) != expected;
        }
    QVERIFY(model > g.side() * g.side() / 3);
    QVERIFY2(differing <= model / 2000, qPrintable(QString::number(differing))); // rounding at a level's very edge
}

void TestMicrographViews::equalPhaseRings_data()
{
    QTest::addColumn<int>("size");       // of the spectrum
    QTest::addColumn<int>("pixelStep");  // rows and columns taken
    QTest::addColumn<double>("a2");      // nm
    QTest::addColumn<double>("azimuth"); // rad
    QTest::addColumn<double>("c5");      // nm
    QTest::newRow("512, sampled to 256") << 512 << 1 << 150.0 << 0.0 << 0.0;
    QTest::newRow("256, every pixel") << 256 << 1 << 60.0 << 0.0 << 0.0;
    QTest::newRow("100, every third (centre off the grid)") << 100 << 3 << 200.0 << 0.0 << 0.0;
    QTest::newRow("200, drag steps") << 200 << 4 << 80.0 << 0.0 << 0.0;
    QTest::newRow("turned astigmatism") << 256 << 1 << 120.0 << 0.6 << 0.0;
    QTest::newRow("C5, sampled to 256") << 512 << 2 << 90.0 << 0.0 << 3e6;
}

// The profile's average along the model's rings is the general equal-phase average of the same
// pixels, to the last bit.
void TestMicrographViews::equalPhaseRings()
{
    QFETCH(int, size);
    QFETCH(int, pixelStep);
    QFETCH(double, a2);
    QFETCH(double, azimuth);
    QFETCH(double, c5);
    PowerSpectrum s;
    s.size = size;
    s.frequencyStep = 1.0 / (size * 0.1);
    s.rings.resize(std::size_t(size) * size);
    s.power.resize(s.rings.size());
    std::mt19937 random(7);
    std::normal_distribution<float> noise;
    for (float &v : s.rings)
        v = noise(random);
    SpectrumModel m = startModel();
    m.state.A2 = a2;
    m.state.A2Azimuth = azimuth;
    m.state.C5 = c5;
    const RingProfile p = ringProfile(s, m, 0.5, pixelStep);
    const RingAverage general = equalPhaseAverage(
        s.rings, size, s.frequencyStep, [&m](double kx, double ky) { return m.equivalentFrequency(kx, ky); },
        std::max({1, pixelStep, size / 256}));
    QCOMPARE(p.average.size(), general.value.size());
    int filled = 0;
    for (std::size_t b = 0; b < general.value.size(); ++b) {
        QVERIFY2(std::memcmp(&p.average[b], &general.value[b], sizeof(double)) == 0, qPrintable(QString::number(b)));
        filled += std::isfinite(general.value[b]);
    }
    QVERIFY(filled > size / 4);
}

QTEST_GUILESS_MAIN(TestMicrographViews)
#include "test_micrographviews.moc"
