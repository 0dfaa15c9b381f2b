// The phase chi is one definition: the 1D curves and the pattern's and the map's exact references
// agree wherever they describe the same point - to the bit where both take the C library's sine, else
// within the fast sine's error, far below a rounding step of chi (about 6e-14 rad at k = 10 nm^-1) -
// and the pattern's upper half, built from the lower half's even and odd parts, is chi at -ky exactly.
#include "../support/startupstate.h"
#include "core/ctfcurves.h"
#include "core/ctffunctions.h"
#include "core/ctfpattern.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"

#include <QtTest>
#include <cstring>

using namespace orvalis;

Q_DECLARE_METATYPE(OpticsState)

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The fast sine's error (3e-16) with room for the envelopes' products.
bool withinFastSine(double a, double b)
{
    return std::fabs(a - b) <= 1e-15;
}

OpticsState instrument(double cs, double a2, double a3, double defocus)
{
    OpticsState s = startupState();
    TScopeData scope = defaultScope();
    scope.Cs = cs;
    loadInstrument(s, scope);
    s.A2 = a2;
    s.A3 = a3;
    s.Defocus = defocus;
    return s;
}

} // namespace

class TestPhase : public QObject {
    Q_OBJECT
private slots:
    void states_data();
    void upperHalfIsChiAtMinusKy_data() { states_data(); }
    void upperHalfIsChiAtMinusKy();
    void mapTableAgreesWithPlotterCurve_data() { states_data(); }
    void mapTableAgreesWithPlotterCurve();
    void patternAxisIsMapColumn_data() { states_data(); }
    void patternAxisIsMapColumn();
    void analysisCurveIsChi_data() { states_data(); }
    void analysisCurveIsChi();
};

void TestPhase::states_data()
{
    QTest::addColumn<OpticsState>("state");
    QTest::newRow("built-in, Scherzer") << instrument(1.2e6, 0, 0, -67.2);
    QTest::newRow("two- and three-fold") << instrument(1.2e6, 60, 1500, -120);
    QTest::newRow("negative Cs, overfocus") << instrument(-1.2e6, 25, 0, 80);
    QTest::newRow("large Cs, three-fold only") << instrument(2.7e6, 0, 4000, -900);
}

void TestPhase::upperHalfIsChiAtMinusKy()
{
    QFETCH(OpticsState, state);
    const PhaseFactors phase(state, state.Defocus);
    int checked = 0;
    for (double kx : {0.0, 0.37, 1.9, 4.25, 9.99})
        for (double ky : {0.0, 0.11, 2.6, 5.5, 10.0}) {
            const ChiParts p = phase.parts(kx, ky);
            QVERIFY(sameBits(p.even + p.odd, Chi(state, kx, ky, state.Defocus)));
            QVERIFY2(sameBits(p.even - p.odd, Chi(state, kx, -ky, state.Defocus)),
                     qPrintable(QStringLiteral("kx %1 ky %2").arg(kx).arg(ky)));
            ++checked;
        }
    QCOMPARE(checked, 25);
}

// A row of the saved map table is the plotter curve at the row's defocus, value for value.
void TestPhase::mapTableAgreesWithPlotterCurve()
{
    QFETCH(OpticsState, state);
    const CtfCurves curve = samplePlotterCurves(state, state.Defocus, true, true);
    QCOMPARE(curve.k.size(), 4097);
    for (int i = 0; i < curve.k.size(); i += 7) {
        const double k = curve.k[i];
        const double reference = referenceMapCtf(state, k, state.Defocus);
        // The table multiplies k^4 out from k, the curve squares k^2: chi differs in its last bits.
        QVERIFY2(std::fabs(curve.ctf[i] - reference) <= 1e-12, qPrintable(QString::number(k)));
    }
}

// Without astigmatism the pattern's horizontal axis is the map's row at the same defocus.
void TestPhase::patternAxisIsMapColumn()
{
    QFETCH(OpticsState, state);
    state.A2 = 0;
    state.A3 = 0;
    for (int c = 0; c < 416; c += 3) {
        const double k = defocusMapFrequency(c, 416, state.UpTo);
        QCOMPARE(referencePatternGrey(state, k, 0, state.Defocus), referenceMapGrey(state, k, state.Defocus));
    }
}

// The analysis curve along the kx axis is sin(chi) damped by both envelopes at every sample, chi
// with both astigmatisms.
void TestPhase::analysisCurveIsChi()
{
    QFETCH(OpticsState, state);
    CtfCurves curves;
    sampleAnalysisCurves(state, state.Defocus, 0, CurveOptions(), curves);
    QCOMPARE(curves.k.size(), 4097);
    for (int i = 0; i < curves.k.size(); i += 11) {
        const double k = curves.k[i];
        const double expected = std::sin(Chi(state, k, 0, state.Defocus)) * TemporalEnvelope(state, k)
            * SpatialEnvelope(state, k, state.Defocus);
        QVERIFY2(withinFastSine(curves.ctf[i], expected), qPrintable(QString::number(k)));
        QVERIFY(sameBits(analysisCurveAt(state, state.Defocus, 0, false, k).ctf, expected));
    }
}

QTEST_GUILESS_MAIN(TestPhase)
#include "test_phase.moc"
