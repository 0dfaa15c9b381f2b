// Reference values of the built-in 200 kV instrument: the derived quantities, the shared functions
// and the 1D detection, checked against values worked out independently by hand.
#include "../support/startupstate.h"
#include "core/ctfcurves.h"
#include "core/ctffunctions.h"
#include "core/curvereadout.h"
#include "core/infotext.h"
#include "core/instrumentload.h"
#include "core/optionranges.h"
#include "core/orvaliserror.h"

#include <QtTest>
#include <cmath>
#include <limits>

using namespace orvalis;

namespace {

#define QCOMPARE_NEAR(actual, expected, tolerance)                                                                     \
    QVERIFY2(std::fabs((actual) - (expected)) <= (tolerance),                                                          \
             qPrintable(QStringLiteral("actual %1, expected %2, error %3")                                             \
                            .arg(actual, 0, 'g', 10)                                                                   \
                            .arg(expected, 0, 'g', 10)                                                                 \
                            .arg(std::fabs((actual) - (expected)), 0, 'g', 3)))

} // namespace

class TestOptics : public QObject {
    Q_OBJECT
private slots:
    void derivedQuantities();
    void treeTexts();
    void missingInstabilitiesUseDefaults();
    void sharedFunctions_data();
    void sharedFunctions();
    void startupCurves();
    void coarseSampling();
    void pointResolutionFollowsCsSign_data();
    void pointResolutionFollowsCsSign();
    void unknownValuesShowDash_data();
    void unknownValuesShowDash();
    void csTexts_data();
    void csTexts();
    void fastOscillation_data();
    void fastOscillation();
    void intensityHasNoMirror();
    void directionStraightUp();
    void zeroRangeHasOneSample();
    void plotterIgnoresAstigmatism();
    void negativeCsTexts_data();
    void negativeCsTexts();
    void squaredQuantitiesMayBeNegative_data();
    void squaredQuantitiesMayBeNegative();
    void refusedInstruments_data();
    void refusedInstruments();
    void limitsKeepEverythingFinite_data();
    void limitsKeepEverythingFinite();
    void magnification_data();
    void magnification();
    void curveAtMatchesSampledCurve_data();
    void curveAtMatchesSampledCurve();
    void pointerTexts_data();
    void pointerTexts();
};

void TestOptics::derivedQuantities()
{
    const OpticsState s = startupState();
    QCOMPARE_NEAR(s.Wavelength, 0.0025079, 5e-8);
    QCOMPARE_NEAR(s.FocalSpread, 1.966, 5e-4);
    QCOMPARE_NEAR(s.PointResTheory, 0.2485, 5e-5);
    QCOMPARE_NEAR(s.InfoLimitTheory, 0.0978, 5e-5);
    QCOMPARE_NEAR(s.Scherzer, -54.86, 5e-3);
    QCOMPARE(s.Defocus, s.ExtScherzer); // the first load in analysis mode takes the unrounded value
    QCOMPARE_NEAR(s.Defocus, -67.19, 5e-3);
    QCOMPARE(s.Alpha, s.Convergence);
}

void TestOptics::treeTexts()
{
    OpticsState s = startupState();
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    s.PointRes = c.pointRes;
    s.InfoLimit = c.infoLimit;
    const ScopeTreeTexts t = scopeTreeTexts(s);
    QCOMPARE(t.microscope, QStringLiteral("Microscope: Default/Use SetUp Menu to change"));
    const QStringList micro = {"Voltage:  200 keV",
                               "Wavelength:  0.00251 nm",
                               "Cs:  1.2 mm",
                               "Cc:  1.2 mm",
                               "Energy Spread:  0.6 eV",
                               "HT Ripple:  0.25 ppm",
                               "Obj Lens Instabilities:  0.5 ppm",
                               "Focal Spread:  1.97 nm",
                               "Convergence:  0.30 mrad"};
    QCOMPARE(t.microscopeChildren, micro);
    QCOMPARE(t.resolution, QStringLiteral("Theoretical/Current Resolution"));
    QCOMPARE(t.resolutionChildren, QStringList({"Point-to-Point:  0.25/0.24 nm", "Info Limit:  0.10/0.15 nm"}));
    QCOMPARE(t.defocusChildren,
             QStringList({"Scherzer:  -54.9 nm", "Extended Scherzer:  -67.2 nm", "2nd Passband:  -102.6 nm",
                          "Lichte:  -566.0 nm"}));
}

void TestOptics::missingInstabilitiesUseDefaults()
{
    TScopeData scope = defaultScope();
    scope.dvv = 0;
    scope.dii = 0;
    OpticsState a;
    OpticsState b;
    loadInstrument(a, scope);
    loadInstrument(b, defaultScope());
    QCOMPARE(a.dvv, 2.5e-7);
    QCOMPARE(a.dii, 5e-7);
    QCOMPARE(a.FocalSpread, b.FocalSpread);
}

void TestOptics::sharedFunctions_data()
{
    QTest::addColumn<double>("k");
    QTest::addColumn<double>("chi");
    QTest::addColumn<double>("et");
    QTest::addColumn<double>("es");
    QTest::newRow("k = 1") << 1.0 << -0.4996 << 0.9999 << 0.9968;
    QTest::newRow("k = 2") << 2.0 << -1.6417 << 0.9981 << 0.9951;
    QTest::newRow("k = 5") << 5.0 << 5.3483 << 0.9277 << 0.7205;
}

void TestOptics::sharedFunctions()
{
    QFETCH(double, k);
    QFETCH(double, chi);
    QFETCH(double, et);
    QFETCH(double, es);
    const OpticsState s = startupState();
    QCOMPARE_NEAR(Chi(s, k, 0, s.Defocus), chi, 5e-5);
    QCOMPARE_NEAR(TemporalEnvelope(s, k), et, 5e-5);
    QCOMPARE_NEAR(SpatialEnvelope(s, k, s.Defocus), es, 5e-5);
    if (k == 5.0)
        QCOMPARE_NEAR(std::sin(Chi(s, k, 0, s.Defocus)) * et * es, -0.5378, 5e-4);
}

void TestOptics::startupCurves()
{
    const OpticsState s = startupState();
    CurveOptions o;
    o.symmetric = true;
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, o);
    QCOMPARE(c.k.size(), 4097);
    QCOMPARE(c.k.last(), 10.0);
    for (const QVector<double> *v :
         {&c.ctf, &c.temporal, &c.spatial, &c.combined, &c.temporalNeg, &c.spatialNeg, &c.combinedNeg})
        QCOMPARE(v->size(), 4097);
    QCOMPARE(c.ctf[0], 0.0);
    QCOMPARE(c.temporal[0], 1.0);
    QCOMPARE(c.combined[0], 1.0);
    QCOMPARE(c.combinedNeg[0], -1.0);
    QVERIFY(c.pointRes && c.infoLimit);
    QCOMPARE_NEAR(*c.pointRes, 0.237, 5e-4);
    QCOMPARE_NEAR(*c.infoLimit, 0.154, 5e-4);
    QVERIFY(!c.fastOscillation);
}

void TestOptics::coarseSampling()
{
    OpticsState s = startupState();
    s.StepFactor = 4;
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    QCOMPARE(c.k.size(), 257);
    QCOMPARE(c.k.last(), 10.0); // the same range, sixteen times fewer points
}

namespace {

// An instrument of the built-in kind with another voltage and Cs (nm), loaded at its first start.
OpticsState loaded(double voltage, double cs, double upTo = 10)
{
    TScopeData scope = defaultScope();
    scope.Voltage = voltage;
    scope.Cs = cs;
    OpticsState s;
    s.UpTo = upTo;
    s.PointDensity = 4096;
    s.StepFactor = 1;
    loadInstrument(s, scope);
    return s;
}

} // namespace

// The point resolution ends the passband that the defocus opens against Cs, whatever the sign of Cs;
// its value was worked out by hand as 1/k of the first sample past the CTF's first zero.
void TestOptics::pointResolutionFollowsCsSign_data()
{
    QTest::addColumn<double>("voltage");
    QTest::addColumn<double>("cs");       // nm
    QTest::addColumn<double>("defocus");  // nm; NaN: the extended Scherzer defocus
    QTest::addColumn<double>("expected"); // nm; 0: none found
    const double scherzer = std::numeric_limits<double>::quiet_NaN();
    // The first sample past 0.64 |Cs|^(1/4) lambda^(3/4), the first zero at the extended Scherzer defocus.
    QTest::newRow("built-in, underfocus") << 200.0 << 1.2e6 << scherzer << 0.2369;
    QTest::newRow("negative Cs at its overfocus") << 200.0 << -1.2e6 << scherzer << 0.2369;
    QTest::newRow("80 kV, Cs -0.05 mm at its overfocus") << 80.0 << -5e4 << scherzer << 0.1569;
    QTest::newRow("200 kV, Cs -0.05 mm at its overfocus") << 200.0 << -5e4 << scherzer << 0.1071;
    QTest::newRow("300 kV, Cs -0.05 mm: beyond 10 nm-1") << 300.0 << -5e4 << scherzer << 0.0;
    // Started with the other sign: there is no passband to close.
    QTest::newRow("positive Cs in overfocus") << 200.0 << 1.2e6 << 50.0 << 0.0;
    QTest::newRow("negative Cs in underfocus") << 200.0 << -5e4 << -10.0 << 0.0;
    QTest::newRow("positive Cs in focus") << 200.0 << 1.2e6 << 0.0 << 0.0;
    // Without Cs the CTF is sin(pi lambda D k^2): its first zero lies at 1/k = sqrt(lambda |D|).
    QTest::newRow("Cs 0, underfocus") << 200.0 << 0.0 << -100.0 << 0.5008;
    QTest::newRow("Cs 0, overfocus") << 200.0 << 0.0 << 100.0 << 0.5008;
    QTest::newRow("Cs 0, in focus") << 200.0 << 0.0 << 0.0 << 0.0;
}

void TestOptics::pointResolutionFollowsCsSign()
{
    QFETCH(double, voltage);
    QFETCH(double, cs);
    QFETCH(double, defocus);
    QFETCH(double, expected);
    const OpticsState s = loaded(voltage, cs);
    const double d = std::isnan(defocus) ? s.ExtScherzer : defocus;
    const CtfCurves analysis = sampleAnalysisCurves(s, d, 0, CurveOptions());
    if (expected == 0) {
        QVERIFY2(!analysis.pointRes, qPrintable(QString::number(analysis.pointRes.value_or(0))));
    } else {
        QVERIFY(analysis.pointRes);
        QCOMPARE_NEAR(*analysis.pointRes, expected, 5e-4);
    }
    // Plotter mode finds the same, and the mirrored instrument and defocus give exactly the same limits.
    const CtfCurves plotter = samplePlotterCurves(s, d, true, true);
    QCOMPARE(plotter.pointRes, analysis.pointRes);
    const OpticsState mirrored = loaded(voltage, -cs);
    for (const CtfCurves &m :
         {sampleAnalysisCurves(mirrored, -d, 0, CurveOptions()), samplePlotterCurves(mirrored, -d, false, false)}) {
        QCOMPARE(m.pointRes, analysis.pointRes);
        QCOMPARE(m.infoLimit, analysis.infoLimit);
    }
}

// What the tree shows for the resolution node: only values found for this state, "-" for the others.
void TestOptics::unknownValuesShowDash_data()
{
    QTest::addColumn<double>("voltage");
    QTest::addColumn<double>("cs");
    QTest::addColumn<double>("defocus"); // NaN: the extended Scherzer defocus
    QTest::addColumn<double>("upTo");
    QTest::addColumn<QStringList>("texts");
    const double scherzer = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("built-in at start") << 200.0 << 1.2e6 << scherzer << 10.0
                                       << QStringList{"Point-to-Point:  0.25/0.24 nm", "Info Limit:  0.10/0.15 nm"};
    QTest::newRow("envelope above 0.08 up to the range")
        << 200.0 << 1.2e6 << scherzer << 5.0 << QStringList{"Point-to-Point:  0.25/0.24 nm", "Info Limit:  0.10/- nm"};
    QTest::newRow("positive Cs in overfocus")
        << 200.0 << 1.2e6 << 50.0 << 10.0 << QStringList{"Point-to-Point:  0.25/- nm", "Info Limit:  0.10/0.18 nm"};
    QTest::newRow("Cs 0 in focus") << 200.0 << 0.0 << 0.0 << 10.0
                                   << QStringList{"Point-to-Point:  -/- nm", "Info Limit:  0.10/- nm"};
}

void TestOptics::unknownValuesShowDash()
{
    QFETCH(double, voltage);
    QFETCH(double, cs);
    QFETCH(double, defocus);
    QFETCH(double, upTo);
    QFETCH(QStringList, texts);
    OpticsState s = loaded(voltage, cs, upTo);
    // An earlier state's values must not survive into a state where they are not found.
    s.PointRes = 0.5;
    s.InfoLimit = 0.5;
    const CtfCurves c = sampleAnalysisCurves(s, std::isnan(defocus) ? s.ExtScherzer : defocus, 0, CurveOptions());
    s.PointRes = c.pointRes;
    s.InfoLimit = c.infoLimit;
    QCOMPARE(scopeTreeTexts(s).resolutionChildren, texts);
    QCOMPARE(pointResolutionText(s), texts[0]);
    QCOMPARE(infoLimitText(s), texts[1]);
}

void TestOptics::csTexts_data()
{
    QTest::addColumn<double>("cs"); // nm
    QTest::addColumn<QString>("text");
    QTest::newRow("conventional") << 1.2e6 << "1.2";
    QTest::newRow("at 0.1 mm") << 1e5 << "0.1";
    QTest::newRow("negative at -0.1 mm") << -1e5 << "-0.1";
    QTest::newRow("corrected, tens of micrometres") << -3e4 << "-0.030";
    QTest::newRow("corrected, a few micrometres") << 7e3 << "0.007";
    QTest::newRow("rounds to 0.1 mm") << 9.96e4 << "0.1";
    QTest::newRow("just below 0.1 mm") << -9.94e4 << "-0.099";
    QTest::newRow("zero") << 0.0 << "0.000";
}

void TestOptics::csTexts()
{
    QFETCH(double, cs);
    QFETCH(QString, text);
    QCOMPARE(csMillimetresText(cs), text);
    QCOMPARE(scopeTreeTexts(loaded(200, cs)).microscopeChildren[2], "Cs:  " + text + " mm");
}

void TestOptics::fastOscillation_data()
{
    QTest::addColumn<int>("stepFactor");
    QTest::addColumn<bool>("shown");
    QTest::newRow("full sampling") << 1 << true;
    QTest::newRow("while dragging") << 4 << false;
}

void TestOptics::fastOscillation()
{
    QFETCH(int, stepFactor);
    QFETCH(bool, shown);
    TScopeData scope = defaultScope();
    scope.Convergence = 0.05e-3;
    OpticsState s = startupState();
    s.Initialised = true;
    loadInstrument(s, scope);
    s.StepFactor = stepFactor;
    QCOMPARE(sampleAnalysisCurves(s, -300, 0, CurveOptions()).fastOscillation, shown);
}

void TestOptics::intensityHasNoMirror()
{
    const OpticsState s = startupState();
    CurveOptions o;
    o.intensity = true;
    o.symmetric = true;
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, o);
    QVERIFY(c.temporalNeg.isEmpty() && c.spatialNeg.isEmpty() && c.combinedNeg.isEmpty());
    for (const QVector<double> *v : {&c.ctf, &c.temporal, &c.spatial, &c.combined})
        for (double y : *v)
            QVERIFY(y >= 0);
}

void TestOptics::directionStraightUp()
{
    OpticsState s = startupState();
    s.A2 = 40;
    s.A3 = 900;
    const double k = 3;
    const double t = std::tan(-Pi / 2);
    const double kx = k / std::sqrt(t * t + 1);
    const double ky = t * kx;
    QVERIFY(std::fabs(kx) < 1e-12);
    QCOMPARE_NEAR(ky, -k, 1e-12);
    QCOMPARE_NEAR(AstigTerm2(s, kx, ky), s.A2 * s.Wavelength * k * k / 2, 1e-12);
    QCOMPARE_NEAR(AstigTerm3(s, kx, ky), -s.Wavelength * s.Wavelength * s.A3 * k * k * k / 3, 1e-12);
}

void TestOptics::zeroRangeHasOneSample()
{
    OpticsState s = startupState();
    s.UpTo = 0;
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    QCOMPARE(c.k.size(), 1);
    QCOMPARE(c.k[0], 0.0);
    QCOMPARE(c.ctf[0], 0.0);
    QVERIFY(!c.pointRes && !c.infoLimit);
}

void TestOptics::plotterIgnoresAstigmatism()
{
    OpticsState s = startupState();
    const CtfCurves plain = samplePlotterCurves(s, s.Defocus, true, true);
    s.A2 = 100;
    s.A3 = 5000;
    const CtfCurves astig = samplePlotterCurves(s, s.Defocus, true, true);
    QCOMPARE(plain.ctf, astig.ctf);
    QCOMPARE(plain.combined.size(), 4097);
    const CtfCurves noCurve = samplePlotterCurves(s, s.Defocus, false, true);
    QVERIFY(noCurve.k.isEmpty() && noCurve.combined.isEmpty());
    QVERIFY(noCurve.pointRes); // the limits are found even when the curve is not drawn
}

// Characteristic defoci of a corrected microscope, worked out by hand: lambda from the relativistic
// formula, Scherzer = +sqrt(|Cs| lambda) (an overfocus), the others by their factors sqrt(1.5),
// sqrt(3.5) and -0.75 Cs (UpTo lambda)^2, the point resolution 0.67 |Cs|^(1/4) lambda^(3/4).
void TestOptics::negativeCsTexts_data()
{
    QTest::addColumn<double>("voltage");
    QTest::addColumn<double>("cs");
    QTest::addColumn<double>("scherzer");
    QTest::addColumn<QStringList>("defocusTexts");
    QTest::addColumn<QString>("pointResolution");
    QTest::newRow("200 kV, Cs -1.2 mm (the default instrument mirrored)")
        << 200.0 << -1.2e6 << 54.85835431428813
        << QStringList{"Scherzer:  54.9 nm", "Extended Scherzer:  67.2 nm", "2nd Passband:  102.6 nm",
                       "Lichte:  566.0 nm"}
        << "0.25";
    QTest::newRow("300 kV, Cs -0.05 mm") << 300.0 << -5e4 << 9.921433887199605
                                         << QStringList{"Scherzer:  9.9 nm", "Extended Scherzer:  12.2 nm",
                                                        "2nd Passband:  18.6 nm", "Lichte:  14.5 nm"}
                                         << "0.09";
    QTest::newRow("Cs 0") << 200.0 << 0.0 << 0.0
                          << QStringList{"Scherzer:  0.0 nm", "Extended Scherzer:  0.0 nm", "2nd Passband:  0.0 nm",
                                         "Lichte:  0.0 nm"}
                          << "-";
}

void TestOptics::negativeCsTexts()
{
    QFETCH(double, voltage);
    QFETCH(double, cs);
    QFETCH(double, scherzer);
    QFETCH(QStringList, defocusTexts);
    QFETCH(QString, pointResolution);
    TScopeData scope = defaultScope();
    scope.Voltage = voltage;
    scope.Cs = cs;
    OpticsState s;
    s.UpTo = 10;
    loadInstrument(s, scope);
    QCOMPARE_NEAR(s.Scherzer, scherzer, 1e-9);
    QCOMPARE_NEAR(s.ExtScherzer, std::sqrt(1.5) * scherzer, 1e-9);
    QCOMPARE(s.Defocus, s.ExtScherzer); // the first load starts at the extended Scherzer defocus
    const ScopeTreeTexts t = scopeTreeTexts(s);
    QCOMPARE(t.defocusChildren, defocusTexts);
    QVERIFY2(t.resolutionChildren[0].startsWith("Point-to-Point:  " + pointResolution + "/"),
             qPrintable(t.resolutionChildren[0]));
    // The curve is evaluated as it is; nothing read off it may be undefined.
    s.PointDensity = 4096;
    s.StepFactor = 1;
    const CtfCurves c = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    for (double v : c.ctf)
        QVERIFY(std::isfinite(v));
}

void TestOptics::squaredQuantitiesMayBeNegative_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("energy spread") << "dE";
    QTest::newRow("convergence") << "Convergence";
}

// They enter only squared: the negative value behaves exactly as its magnitude.
void TestOptics::squaredQuantitiesMayBeNegative()
{
    QFETCH(QString, field);
    TScopeData negative = defaultScope();
    double &value = field == "dE" ? negative.dE : negative.Convergence;
    value = -value;
    OpticsState s;
    s.UpTo = 10;
    s.PointDensity = 4096;
    s.StepFactor = 1;
    loadInstrument(s, negative);
    const OpticsState reference = startupState();
    QCOMPARE(s.FocalSpread, reference.FocalSpread);
    QCOMPARE(s.InfoLimitTheory, reference.InfoLimitTheory);
    const CtfCurves a = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    const CtfCurves b = sampleAnalysisCurves(reference, reference.Defocus, 0, CurveOptions());
    QCOMPARE(a.combined, b.combined);
    for (const QString &line : scopeTreeTexts(s).microscopeChildren)
        QVERIFY2(!line.contains("nan", Qt::CaseInsensitive) && !line.contains("inf", Qt::CaseInsensitive),
                 qPrintable(line));
}

void TestOptics::refusedInstruments_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("named");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("zero voltage") << "Voltage" << 0.0 << "Voltage (kV) is 0; it must be from 0.001 to 1000000.";
    QTest::newRow("negative voltage") << "Voltage" << -200.0 << "Voltage (kV) is -200";
    QTest::newRow("below 1 V") << "Voltage" << 0.0009 << "Voltage (kV) is 0.0009";
    QTest::newRow("overflowing voltage") << "Voltage" << 1e300 << "Voltage (kV) is 1E300";
    QTest::newRow("negative Cc") << "Cc" << -1.0 << "Cc (mm) is -1E-6; it must be from 0 to 1000000.";
    QTest::newRow("nan Cs") << "Cs" << nan << "Cs (mm) is NAN";
    QTest::newRow("Cs beyond a kilometre") << "Cs" << -1.5e12 << "Cs (mm) is -1500000; it must be from -1000000";
    QTest::newRow("infinite dvv") << "dvv" << std::numeric_limits<double>::infinity() << "HT Ripple (ppm) is INF";
    // 1e308 mrad: finite, yet the spatial envelope's factor overflows and every curve was NaN.
    QTest::newRow("convergence 1e308 mrad") << "Convergence" << 1e305 << "Convergence (mrad) is 1E308";
    QTest::newRow("energy spread 1e200 eV") << "dE" << 1e200 << "Energy Spread (eV) is 1E200";
    QTest::newRow("dii of 2") << "dii" << 2.0 << "Obj Lens Instab. (ppm) is 2000000";
    QTest::newRow("three-fold astigmatism") << "A3" << 1e300 << "the three-fold astigmatism (nm) is 1E300";
    QTest::newRow("defocus") << "Defocus" << -nan << "the defocus (nm) is NAN";
}

void TestOptics::refusedInstruments()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QString, named);
    TScopeData scope = defaultScope();
    double *target = field == "Voltage" ? &scope.Voltage
        : field == "Cs"                 ? &scope.Cs
        : field == "Cc"                 ? &scope.Cc
        : field == "dE"                 ? &scope.dE
        : field == "Convergence"        ? &scope.Convergence
        : field == "dii"                ? &scope.dii
        : field == "A3"                 ? &scope.A3
        : field == "Defocus"            ? &scope.Defocus
                                        : &scope.dvv;
    *target = value;
    OpticsState s = startupState();
    const OpticsState before = s;
    try {
        loadInstrument(s, scope);
        QFAIL("an instrument the formulas cannot use was loaded");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().contains(named), qPrintable(e.text()));
    }
    QCOMPARE(s.Voltage, before.Voltage);
    QCOMPARE(s.Wavelength, before.Wavelength);
    QCOMPARE(s.Cs, before.Cs);
}

void TestOptics::limitsKeepEverythingFinite_data()
{
    QTest::addColumn<double>("voltage"); // kV; the others in the record's units
    QTest::addColumn<double>("cs");
    QTest::addColumn<double>("cc");
    QTest::addColumn<double>("dE");
    QTest::addColumn<double>("convergence");
    QTest::addColumn<double>("instability"); // dvv and dii
    QTest::newRow("all at the top, 1 V") << 0.001 << 1e12 << 1e12 << 1e6 << 1e3 << 1.0;
    QTest::newRow("all at the top, 1 GV") << 1e6 << 1e12 << 1e12 << 1e6 << 1e3 << 1.0;
    QTest::newRow("all at the bottom, 1 V") << 0.001 << -1e12 << 0.0 << -1e6 << -1e3 << -1.0;
    QTest::newRow("no spread, largest Cs") << 0.001 << 1e12 << 0.0 << 0.0 << 0.0 << 1e-300;
    QTest::newRow("nothing but a voltage") << 0.001 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
}

// An instrument checkInstrument takes gives finite curves, readouts and texts over the whole working
// range: the highest frequency range, the sliders' limits and the highest magnification.
void TestOptics::limitsKeepEverythingFinite()
{
    QFETCH(double, voltage);
    QFETCH(double, cs);
    QFETCH(double, cc);
    QFETCH(double, dE);
    QFETCH(double, convergence);
    QFETCH(double, instability);
    const TScopeData scope{"Edge", "Case", voltage, cs, cc, dE, convergence, 0, 0, instability, instability};
    OpticsState s;
    s.UpTo = MaxUpTo;
    s.PointDensity = 4096;
    s.StepFactor = 4; // every fourth sample: the values are those of the full curve
    loadInstrument(s, scope);
    s.A2 = MaxAstigmatism;
    s.A3 = MaxAstigmatism;
    s.Alpha = alphaAtMagnification(s.Convergence, magnificationAt(39)); // the slider's last position
    const auto finite = [](const QVector<double> &values, const char *what) {
        for (double v : values)
            if (!std::isfinite(v))
                QFAIL(what);
    };
    CurveOptions all;
    all.symmetric = true;
    for (double defocus : {-double(MaxDefocus), double(MaxDefocus)}) {
        for (bool intensity : {false, true}) {
            all.intensity = intensity;
            const CtfCurves c = sampleAnalysisCurves(s, defocus, 1.0, all);
            QCOMPARE(c.k.last(), MaxUpTo);
            finite(c.ctf, "CTF");
            finite(c.temporal, "temporal envelope");
            finite(c.spatial, "spatial envelope");
            finite(c.combined, "combined envelope");
            finite(c.spatialNeg, "mirrored spatial envelope");
        }
        const CtfCurves p = samplePlotterCurves(s, defocus, true, true);
        finite(p.ctf, "plotter CTF");
        finite(p.combined, "plotter envelope");
        for (double k : {0.0, 1e-3, 1.0, MaxUpTo}) {
            const CurveValues at = analysisCurveAt(s, defocus, 1.0, false, k);
            QVERIFY(std::isfinite(at.ctf) && std::isfinite(at.envelope));
            // The pattern and the map take the phase and the envelopes at these points too.
            QVERIFY(std::isfinite(Chi(s, k, -k, defocus)));
            QVERIFY(std::isfinite(std::sin(Chi(s, k, -k, defocus)) * TemporalEnvelope(s, k)
                                  * SpatialEnvelope(s, k, defocus)));
        }
    }
    const ScopeTreeTexts t = scopeTreeTexts(s);
    // The number forms write what is not finite as "NAN" and "INF".
    for (const QString &line :
         t.microscopeChildren + t.resolutionChildren + t.defocusChildren + infoTextLines(s, scope, scope))
        QVERIFY2(!line.contains("NAN") && !line.contains("INF"), qPrintable(line));
}

void TestOptics::magnification_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("magnification");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label"); // for an instrument of 0.3 mrad: 0.3 * (M / 518)^2
    QTest::newRow("lowest") << 14 << 12 << "x 12 k"
                            << "(Convergence: 0.0002 mrad)";
    QTest::newRow("window start") << 22 << 51 << "x 51 k"
                                  << "(Convergence: 0.0029 mrad)";
    QTest::newRow("load position") << 35 << 518 << "x 518 k"
                                   << "(Convergence: 0.3000 mrad)";
    QTest::newRow("highest") << 39 << 1058 << "x 1058 k"
                             << "(Convergence: 1.2515 mrad)";
}

void TestOptics::magnification()
{
    QFETCH(int, position);
    QFETCH(int, magnification);
    QFETCH(QString, text);
    QFETCH(QString, label);
    QCOMPARE(magnificationAt(position), magnification);
    QCOMPARE(magnificationText(magnification), text);
    QCOMPARE(convergenceLabelText(alphaAtMagnification(3e-4, magnification)), label);
    if (position == MagnificationLoadPosition)
        QCOMPARE(alphaAtMagnification(3e-4, magnification), 3e-4); // exactly the instrument's
}

void TestOptics::curveAtMatchesSampledCurve_data()
{
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("a3");
    QTest::addColumn<double>("direction");
    QTest::addColumn<bool>("intensity");
    QTest::addColumn<bool>("plotter");
    QTest::newRow("start-up") << 0.0 << 0.0 << 0.0 << false << false;
    QTest::newRow("astigmatism along -pi/3") << 40.0 << 900.0 << -Pi / 3 << false << false;
    QTest::newRow("astigmatism along 0.4") << 120.0 << 3000.0 << 0.4 << false << false;
    QTest::newRow("intensity") << 40.0 << 900.0 << 0.4 << true << false;
    QTest::newRow("plotter ignores astigmatism") << 120.0 << 3000.0 << 0.4 << false << true;
}

// At every sampled frequency the readout gives the plotted values (within the fast sine's error).
void TestOptics::curveAtMatchesSampledCurve()
{
    QFETCH(double, a2);
    QFETCH(double, a3);
    QFETCH(double, direction);
    QFETCH(bool, intensity);
    QFETCH(bool, plotter);
    OpticsState s = startupState();
    s.A2 = a2;
    s.A3 = a3;
    CurveOptions options;
    options.intensity = intensity;
    const CtfCurves curves = plotter ? samplePlotterCurves(s, s.Defocus, true, true)
                                     : sampleAnalysisCurves(s, s.Defocus, direction, options);
    QCOMPARE(curves.k.size(), 4097);
    for (int i = 0; i < curves.k.size(); i += 37) {
        const double k = curves.k[i];
        const CurveValues v = plotter ? plotterCurveAt(s, s.Defocus, k)
                                      : analysisCurveAt(s, s.Defocus, direction, intensity, k);
        QCOMPARE_NEAR(v.ctf, curves.ctf[i], 1e-12);
        QCOMPARE_NEAR(v.envelope, curves.combined[i], 1e-12);
    }
    if (!plotter && !intensity && a2 == 0) {
        // The damped CTF at k = 5 worked out by hand for the built-in instrument.
        QCOMPARE_NEAR(analysisCurveAt(s, s.Defocus, 0, false, 5).ctf, -0.5378, 5e-5);
    }
}

void TestOptics::pointerTexts_data()
{
    QTest::addColumn<double>("k");
    QTest::addColumn<QString>("frequency");
    QTest::newRow("4.25") << 4.25 << "k 4.25 nm-1, d 0.235 nm";
    QTest::newRow("zero has no spacing") << 0.0 << "k 0.00 nm-1";
    QTest::newRow("small") << 0.02 << "k 0.02 nm-1, d 50.000 nm";
}

void TestOptics::pointerTexts()
{
    QFETCH(double, k);
    QFETCH(QString, frequency);
    QCOMPARE(pointerFrequencyText(k), frequency);
    QCOMPARE(pointerCurveText(QStringLiteral("CTF"), {-0.53784, 0.6675}), QStringLiteral("CTF -0.538, E 0.668"));
}

QTEST_APPLESS_MAIN(TestOptics)
#include "test_optics.moc"
