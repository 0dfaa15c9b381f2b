// The optional terms of the optics (amplitude contrast, phase shift, B-factor, C5, the azimuths of
// the two- and three-fold astigmatism) against computations of their own: RELION's CTF sampled by
// bench/relion_optics_check.py, and a reference written here the cryo-EM way (Å, polar angle,
// defocus U/V) that shares no code with the program's phase.
#include "../support/startupstate.h"
#include "core/cryoemdefocus.h"
#include "core/ctfcurves.h"
#include "core/ctffunctions.h"
#include "core/ctfgrey.h"
#include "core/ctfkernels.h"
#include "core/ctfpattern.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/instrumentload.h"

#include <QFile>
#include <QtTest>
#include <cmath>
#include <optional>

using namespace orvalis;

namespace {

struct Terms {
    double q = 0, phaseDegrees = 0, bAngstrom2 = 0, c5mm = 0, a2AzimuthDegrees = 0, a3AzimuthDegrees = 0;
};

OpticsState stateWith(const Terms &t, double a2, double a3)
{
    OpticsState s = startupState();
    s.AmplitudeContrast = t.q;
    s.PhaseShift = t.phaseDegrees * Pi / 180;
    s.BFactor = t.bAngstrom2 / 100;
    s.C5 = t.c5mm * 1e6;
    s.A2 = a2;
    s.A3 = a3;
    s.A2Azimuth = t.a2AzimuthDegrees * Pi / 180;
    s.A3Azimuth = t.a3AzimuthDegrees * Pi / 180;
    return s;
}

// The damped CTF at (kx, ky) nm^-1, in Å: underfocus positive along the astigmatism's U direction,
// the three-fold term as -k^3 sin 3(theta - azimuth), the envelopes from the gradient of the round
// phase.
double independentCtf(const OpticsState &s, double defocusNm, double kxNm, double kyNm)
{
    const double volts = s.Voltage * 1000;
    const double lambda = 12.2639 / std::sqrt(volts + 0.97845e-6 * volts * volts); // Å
    const double kx = kxNm / 10, ky = kyNm / 10, k = std::hypot(kx, ky), theta = std::atan2(ky, kx);
    const double cs = s.Cs * 10, c5 = s.C5 * 10, a3 = s.A3 * 10, spread = s.FocalSpread * 10; // Å
    // U and V straight from the definitions: A2 (nm) moves the defocus by A2 / (2 pi) either way.
    const double u = -defocusNm * 10 + s.A2 * 10 / (2 * Pi), v = -defocusNm * 10 - s.A2 * 10 / (2 * Pi);
    const double underfocus = (u + v) / 2 + (u - v) / 2 * std::cos(2 * (theta - s.A2Azimuth));
    const double pi = std::acos(-1.0);
    const double gamma = -pi * lambda * underfocus * k * k + pi / 2 * cs * std::pow(lambda, 3) * std::pow(k, 4)
        + pi / 3 * c5 * std::pow(lambda, 5) * std::pow(k, 6)
        - lambda * lambda * a3 * std::pow(k, 3) * std::sin(3 * (theta - s.A3Azimuth)) / 3
        - std::atan(s.AmplitudeContrast / std::sqrt(1 - s.AmplitudeContrast * s.AmplitudeContrast)) - s.PhaseShift;
    const double slope = 2 * pi * lambda * k
        * (defocusNm * 10 + cs * lambda * lambda * k * k + c5 * std::pow(lambda, 4) * std::pow(k, 4)); // dgamma/dk
    const double spatial = std::exp(-std::pow(s.Alpha / lambda, 2) * slope * slope / 4);
    const double temporal = std::exp(-0.5 * std::pow(pi * lambda * spread, 2) * std::pow(k, 4));
    return std::sin(gamma) * temporal * spatial * std::exp(-s.BFactor * 100 * k * k / 4);
}

} // namespace

Q_DECLARE_METATYPE(Terms)

class TestOpticalTerms : public QObject {
    Q_OBJECT
private slots:
    void agreesWithRelion();
    void cases_data();
    void curveFollowsReference();
    void curveFollowsReference_data() { cases_data(); }
    void patternFollowsReference();
    void patternFollowsReference_data() { cases_data(); }
    void mapFollowsReference();
    void mapFollowsReference_data() { cases_data(); }
    void azimuthTurnsPattern();
};

// RELION's CTF is the negative of this program's. Its wavelength constant differs by 3e-5, which
// moves the phase by as much of itself; with RELION's wavelength the two agree to RELION's single
// precision.
void TestOpticalTerms::agreesWithRelion()
{
    QFile file(QStringLiteral(ORVALIS_TEST_SOURCE_DIR "/data/relion_optics.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(file.fileName()));
    std::optional<PhaseFactors> phase, relionPhase;
    OpticsState state;
    QString caseLine;
    int box = 0, samples = 0, cases = 0;
    double pixelNm = 0, worst = 0, worstSameWavelength = 0;
    const auto closeCase = [&] {
        if (cases > 0)
            qInfo("%s: largest difference %.2e, %.2e with RELION's wavelength", qPrintable(caseLine), worst,
                  worstSameWavelength);
        worst = worstSameWavelength = 0;
    };
    while (!file.atEnd()) {
        const QStringList f = QString::fromLatin1(file.readLine()).simplified().split(QLatin1Char(' '));
        if (f.size() == 10 && f[0] == QLatin1String("case")) {
            closeCase();
            caseLine = f.join(QLatin1Char(' '));
            state = OpticsState();
            state.Voltage = f[1].toDouble();
            state.Cs = f[2].toDouble() * 1e6;
            derivePhaseFactors(state);
            state.AmplitudeContrast = f[3].toDouble();
            pixelNm = f[4].toDouble() / 10;
            box = f[5].toInt();
            const TwoFoldDefocus d = fromCryoEmDefocus({f[6].toDouble(), f[7].toDouble(), f[8].toDouble()});
            state.A2 = d.A2;
            state.A2Azimuth = d.azimuth * Pi / 180;
            state.PhaseShift = f[9].toDouble() * Pi / 180;
            phase.emplace(state, d.Defocus);
            const double volts = state.Voltage * 1000;
            state.Wavelength = 1.22643247 / std::sqrt(volts * (1 + volts * 0.978466e-6));
            state.ChiDefocusFactor = Pi * state.Wavelength;
            state.ChiCsFactor = Pi * state.Cs * std::pow(state.Wavelength, 3) / 2;
            relionPhase.emplace(state, d.Defocus);
            ++cases;
            continue;
        }
        QVERIFY2(f.size() == 3 && phase, qPrintable(f.join(QLatin1Char(' '))));
        const int row = f[0].toInt(), column = f[1].toInt();
        const double kx = (column - box / 2) / (box * pixelNm), ky = (row - box / 2) / (box * pixelNm);
        const double argument = phase->argument(kx, ky);
        const double ours = std::sin(argument), relion = f[2].toDouble();
        worst = std::max(worst, std::fabs(ours + relion));
        const double same = std::fabs(std::sin(relionPhase->argument(kx, ky)) + relion);
        worstSameWavelength = std::max(worstSameWavelength, same);
        QVERIFY2(same <= 1e-5,
                 qPrintable(QStringLiteral("%1, row %2 column %3, RELION's wavelength: %4")
                                .arg(caseLine)
                                .arg(row)
                                .arg(column)
                                .arg(same)));
        QVERIFY2(std::fabs(ours + relion) <= 2e-5 + 4e-5 * std::fabs(argument),
                 qPrintable(QStringLiteral("%1, row %2 column %3: %4 here, %5 in RELION")
                                .arg(caseLine)
                                .arg(row)
                                .arg(column)
                                .arg(ours, 0, 'f', 7)
                                .arg(-relion, 0, 'f', 7)));
        ++samples;
    }
    closeCase();
    QCOMPARE(cases, 6);
    QCOMPARE(samples, 240);
}

// Each term alone and all together, on the built-in instrument at its start-up defocus.
void TestOpticalTerms::cases_data()
{
    QTest::addColumn<Terms>("terms");
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("a3");
    QTest::addColumn<double>("defocus");
    QTest::newRow("amplitude contrast") << Terms{0.1, 0, 0, 0, 0, 0} << 0.0 << 0.0 << -60.0;
    QTest::newRow("phase plate") << Terms{0, 90, 0, 0, 0, 0} << 0.0 << 0.0 << -5.0;
    QTest::newRow("B-factor") << Terms{0, 0, 80, 0, 0, 0} << 0.0 << 0.0 << -60.0;
    QTest::newRow("C5") << Terms{0, 0, 0, 5, 0, 0} << 0.0 << 0.0 << -60.0;
    QTest::newRow("negative C5") << Terms{0, 0, 0, -20, 0, 0} << 0.0 << 0.0 << -30.0;
    QTest::newRow("two-fold azimuth") << Terms{0, 0, 0, 0, 35, 0} << 40.0 << 0.0 << -60.0;
    QTest::newRow("three-fold azimuth") << Terms{0, 0, 0, 0, 0, 70} << 0.0 << 500.0 << -60.0;
    QTest::newRow("everything") << Terms{0.07, 30, 40, 3, 120, 15} << 25.0 << 300.0 << -45.0;
}

// The sampled curve (the vector loops), the readout at one frequency and the reference, along a
// direction off both axes.
void TestOpticalTerms::curveFollowsReference()
{
    QFETCH(Terms, terms);
    QFETCH(double, a2);
    QFETCH(double, a3);
    QFETCH(double, defocus);
    OpticsState s = stateWith(terms, a2, a3);
    const double direction = 0.6;
    CurveOptions options;
    for (kernels::Isa isa : kernels::supportedIsas()) {
        CtfCurves curves;
        sampleAnalysisCurves(kernels::kernelsFor(isa), s, defocus, direction, options, curves);
        QCOMPARE(curves.k.size(), 4097);
        double worst = 0;
        for (int i = 0; i < curves.k.size(); i += 7) {
            const double k = curves.k[i];
            const double kx = k * std::cos(direction), ky = k * std::sin(direction);
            const double expected = independentCtf(s, defocus, kx, ky);
            const double readout = analysisCurveAt(s, defocus, direction, false, k).ctf;
            worst = std::max({worst, std::fabs(curves.ctf[i] - expected), std::fabs(readout - expected)});
        }
        QVERIFY2(worst < 1e-9, qPrintable(QStringLiteral("%1: %2").arg(kernels::kernelsFor(isa).name).arg(worst)));
    }
}

// Every variant of the loops gives the exact reference levels, and those lie within one level of the
// independent reference (a level's edge may fall between two roundings).
void TestOpticalTerms::patternFollowsReference()
{
    QFETCH(Terms, terms);
    QFETCH(double, a2);
    QFETCH(double, a3);
    QFETCH(double, defocus);
    const OpticsState s = stateWith(terms, a2, a3);
    const int centre = 64;
    const double range = 6;
    const PatternHalves reference = referencePatternHalves(s, defocus, centre, 1, range);
    for (kernels::Isa isa : kernels::supportedIsas()) {
        const PatternHalves h = computePatternHalves(kernels::kernelsFor(isa), s, defocus, centre, 1, range);
        QVERIFY(h.lower == reference.lower && h.upper == reference.upper);
        QVERIFY(h.leftLower == reference.leftLower && h.leftUpper == reference.leftUpper);
    }
    QCOMPARE(reference.wholeGrid(), terms.a2AzimuthDegrees != 0 || terms.a3AzimuthDegrees != 0);
    int off = 0;
    const auto check = [&](const std::vector<std::uint8_t> &grid, double xSign, double ySign) {
        for (int r = 0; r <= reference.n; ++r)
            for (int e = 0; e <= reference.n; ++e) {
                const double kx = xSign * patternFrequency(r, 1, range, centre);
                const double ky = ySign * patternFrequency(e, 1, range, centre);
                const int expected = CtfGrey(independentCtf(s, defocus, kx, ky));
                const int got = grid[reference.index(r, e)];
                QVERIFY2(
                    std::abs(got - expected) <= 1,
                    qPrintable(QStringLiteral("(%1, %2): %3, expected %4").arg(kx).arg(ky).arg(got).arg(expected)));
                off += got != expected;
            }
    };
    check(reference.lower, 1, 1);
    check(reference.upper, 1, -1);
    if (reference.wholeGrid()) {
        check(reference.leftLower, -1, 1);
        check(reference.leftUpper, -1, -1);
    }
    QVERIFY2(off < 20, qPrintable(QString::number(off)));
}

// The map is round: every term but the azimuths shows in it.
void TestOpticalTerms::mapFollowsReference()
{
    QFETCH(Terms, terms);
    QFETCH(double, a2);
    QFETCH(double, a3);
    const OpticsState s = stateWith(terms, a2, a3);
    OpticsState round = s;
    round.A2 = round.A3 = 0;
    const int width = 96, minimum = 0, maximum = 200;
    const DefocusMapGrid reference = referenceDefocusMap(s, width, minimum, maximum, 8);
    for (kernels::Isa isa : kernels::supportedIsas())
        QVERIFY(computeDefocusMap(kernels::kernelsFor(isa), s, width, minimum, maximum, 8).grey == reference.grey);
    double worst = 0;
    for (int c = 0; c < width; c += 5)
        for (int y = 0; y < width; y += 5) {
            const double k = defocusMapFrequency(c, width, 8), df = defocusMapDefocus(y, width, minimum, maximum);
            worst = std::max(worst, std::fabs(referenceMapCtf(s, k, df) - independentCtf(round, df, k, 0)));
        }
    QVERIFY2(worst < 1e-9, qPrintable(QString::number(worst)));
}

// A turned two-fold term without a three-fold one keeps the pattern's symmetry through the centre;
// with the three-fold term the left half is no copy of either right quarter.
void TestOpticalTerms::azimuthTurnsPattern()
{
    OpticsState s = stateWith(Terms{0, 0, 0, 0, 30, 0}, 40, 0);
    PatternHalves h = computePatternHalves(s, -60, 64, 1, 6);
    QVERIFY(h.wholeGrid());
    QVERIFY(h.leftUpper == h.lower && h.leftLower == h.upper && h.lower != h.upper);
    s = stateWith(Terms{0, 0, 0, 0, 30, 20}, 40, 800);
    h = computePatternHalves(s, -60, 64, 1, 6);
    QVERIFY(h.leftUpper != h.lower && h.leftLower != h.upper);
}

QTEST_GUILESS_MAIN(TestOpticalTerms)
#include "test_opticalterms.moc"
