// The inner loops built for wider instruction sets must give exactly what the baseline build gives:
// every curve value to the bit, every grey level; the envelopes exactly the C library's exponential. Each row runs
// every variant this processor can run against the baseline one. And a curve refilled into series kept from an earlier
// call must equal one computed afresh.
#include "../support/startupstate.h"
#include "core/ctfcurves.h"
#include "core/ctfkernels.h"
#include "core/ctfpattern.h"
#include "core/defocusmap.h"
#include "core/vectorexp.h"

#include <QtTest>
#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

using namespace orvalis;
using kernels::Isa;

Q_DECLARE_METATYPE(OpticsState)

namespace {

OpticsState changed(double defocus, double a2, double a3, double alpha, double upTo, int stepFactor = 1)
{
    OpticsState s = startupState();
    s.Defocus = defocus;
    s.A2 = a2;
    s.A3 = a3;
    s.Alpha = alpha;
    s.UpTo = upTo;
    s.StepFactor = stepFactor;
    return s;
}

bool sameBits(const QVector<double> &a, const QVector<double> &b)
{
    return a.size() == b.size() && (a.isEmpty() || std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0);
}

QString curveDifference(const CtfCurves &a, const CtfCurves &b)
{
    const struct {
        const char *name;
        const QVector<double> CtfCurves::*series;
    } all[] = {{"k", &CtfCurves::k},
               {"ctf", &CtfCurves::ctf},
               {"temporal", &CtfCurves::temporal},
               {"spatial", &CtfCurves::spatial},
               {"combined", &CtfCurves::combined},
               {"temporalNeg", &CtfCurves::temporalNeg},
               {"spatialNeg", &CtfCurves::spatialNeg},
               {"combinedNeg", &CtfCurves::combinedNeg}};
    for (const auto &s : all)
        if (!sameBits(a.*s.series, b.*s.series))
            return QString::fromLatin1(s.name);
    if (a.fastOscillation != b.fastOscillation)
        return QStringLiteral("fastOscillation");
    if (a.pointRes != b.pointRes)
        return QStringLiteral("pointRes");
    if (a.infoLimit != b.infoLimit)
        return QStringLiteral("infoLimit");
    return {};
}

// The variants this processor runs besides the baseline: the ones there is something to compare.
std::vector<Isa> widerIsas()
{
    std::vector<Isa> isas = kernels::supportedIsas();
    isas.erase(std::remove(isas.begin(), isas.end(), Isa::Baseline), isas.end());
    return isas;
}

QList<CurveOptions> everyOption()
{
    QList<CurveOptions> all;
    for (int bits = 0; bits < 32; ++bits) {
        CurveOptions o;
        o.intensity = bits & 1;
        o.symmetric = bits & 2;
        o.temporal = bits & 4;
        o.spatial = bits & 8;
        o.combined = bits & 16;
        all << o;
    }
    return all;
}

} // namespace

class TestKernels : public QObject {
    Q_OBJECT
private slots:
    void variantsAvailable();
    void variantsAgree_data();
    void variantsAgree();
    void refilledCurves();
    void vectorExponentialIsCLibrary();
    void envelopesAsCLibrary_data();
    void envelopesAsCLibrary();
};

// The baseline always; a processor with AVX-512 also runs the AVX2 variant, and the one chosen is
// the widest.
void TestKernels::variantsAvailable()
{
    const std::vector<Isa> isas = kernels::supportedIsas();
    QVERIFY(!isas.empty());
    QCOMPARE(isas.front(), Isa::Baseline);
    if (kernels::isaSupported(Isa::V4))
        QVERIFY(kernels::isaSupported(Isa::V3));
    QCOMPARE(kernels::best().isa, isas.back());
    for (Isa isa : isas)
        QCOMPARE(kernels::kernelsFor(isa).isa, isa);
    qInfo("variants this processor runs: %d, chosen: %s", int(isas.size()), kernels::best().name);
}

void TestKernels::variantsAgree_data()
{
    QTest::addColumn<OpticsState>("state");
    QTest::addColumn<double>("direction");
    const OpticsState start = startupState();
    QTest::newRow("start-up") << start << 0.0;
    QTest::newRow("astigmatic, oblique") << changed(start.Defocus, 50, 2000, start.Alpha, 10) << 0.7;
    QTest::newRow("centre column direction") << changed(-120, 30, 900, start.Alpha, 10) << -1.5707963267948966;
    QTest::newRow("overfocus, wide range") << changed(80, 0, 0, 1e-3, 25) << 2.5;
    QTest::newRow("fast oscillation") << changed(-300, 0, 0, 5e-5, 10) << 0.0;
    QTest::newRow("coarse drag step") << changed(-200, 10, 100, start.Alpha, 10, 4) << 0.3;
    QTest::newRow("no convergence") << changed(-60, 0, 0, 0, 3.7) << 0.0;
    OpticsState corrected = start;
    TScopeData negativeCs = defaultScope();
    negativeCs.Cs = -0.04e6;
    corrected.Initialised = true;
    loadInstrument(corrected, negativeCs);
    corrected.Defocus = 12;
    QTest::newRow("negative Cs at its overfocus") << corrected << 0.2;
    QTest::newRow("zero range") << changed(-60, 50, 2000, start.Alpha, 0) << 0.0;
    // Phases beyond the fast sine's limit: the curve takes the C library's sine, the grids their
    // direct evaluation.
    QTest::newRow("huge defocus") << changed(-2e7, 0, 0, start.Alpha, 25) << 0.0;
}

void TestKernels::variantsAgree()
{
    QFETCH(OpticsState, state);
    QFETCH(double, direction);
    const std::vector<Isa> wider = widerIsas();
    if (wider.empty())
        QSKIP("this processor runs the baseline only: there is no other variant to compare it with");
    const kernels::KernelSet &base = kernels::kernelsFor(Isa::Baseline);
    const PatternHalves basePattern = computePatternHalves(base, state, state.Defocus, 104, state.StepFactor,
                                                           state.UpTo);
    const DefocusMapGrid baseMap = computeDefocusMap(base, state, 416, -50, 200, state.UpTo);
    const DefocusMapGrid baseWideMap = computeDefocusMap(base, state, 97, -3000, 5000, state.UpTo);
    QVERIFY(!basePattern.lower.empty() && !baseMap.grey.empty());
    const QList<CurveOptions> options = everyOption();
    QList<CtfCurves> baseCurves;
    for (const CurveOptions &o : options) {
        baseCurves.append(CtfCurves());
        sampleAnalysisCurves(base, state, state.Defocus, direction, o, baseCurves.last());
    }

    int compared = 0;
    for (Isa isa : wider) {
        const kernels::KernelSet &set = kernels::kernelsFor(isa);
        QVERIFY(set.isa != Isa::Baseline);
        const QByteArray where = QByteArray(set.name) + ": ";
        const PatternHalves pattern = computePatternHalves(set, state, state.Defocus, 104, state.StepFactor,
                                                           state.UpTo);
        QVERIFY2(pattern.lower == basePattern.lower, where + "lower pattern grid");
        QVERIFY2(pattern.upper == basePattern.upper, where + "upper pattern grid");
        QVERIFY2(computeDefocusMap(set, state, 416, -50, 200, state.UpTo).grey == baseMap.grey, where + "map");
        QVERIFY2(computeDefocusMap(set, state, 97, -3000, 5000, state.UpTo).grey == baseWideMap.grey,
                 where + "wide map");
        for (int i = 0; i < options.size(); ++i) {
            CtfCurves curves;
            sampleAnalysisCurves(set, state, state.Defocus, direction, options[i], curves);
            const QString difference = curveDifference(curves, baseCurves[i]);
            QVERIFY2(difference.isEmpty(), qPrintable(where + QStringLiteral("options %1, %2").arg(i).arg(difference)));
        }
        for (const bool envelope : {false, true}) {
            CtfCurves plotter, basePlotter;
            samplePlotterCurves(base, state, state.Defocus, true, envelope, basePlotter);
            samplePlotterCurves(set, state, state.Defocus, true, envelope, plotter);
            const QString difference = curveDifference(plotter, basePlotter);
            QVERIFY2(difference.isEmpty(), qPrintable(where + QStringLiteral("plotter, ") + difference));
        }
        ++compared;
    }
    QCOMPARE(compared, int(wider.size()));
}

// The written-out exponential against the C library's on a processor where the library takes its
// FMA build: every bit over the envelopes' range (slow lanes included, which go to std::exp).
void TestKernels::vectorExponentialIsCLibrary()
{
    if (!__builtin_cpu_supports("fma") || !__builtin_cpu_supports("avx2"))
        QSKIP("the C library takes its build without FMA here");
    QVector<double> x = {0.0,    -0.0,   1e-300, -1e-17, -0x1p-54, -0x1p-55, -511.99999999999994,
                         -512.0, -708.5, -745.2, -746.0, -1e6,     1.0,      -std::numeric_limits<double>::infinity()};
    for (double telling : vectorexp::kTellingArguments)
        x.append(telling);
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> range(-750.0, 1.0);
    for (int i = 0; i < 2000000; ++i)
        x.append(range(random));
    QVector<double> y(x.size());
    vectorexp::exponentials(x.constData(), y.data(), int(x.size()), [](double v) { return std::exp(v); });
    for (int i = 0; i < x.size(); ++i) {
        const double expected = std::exp(x[i]);
        if (std::memcmp(&expected, &y[i], sizeof expected) != 0)
            QFAIL(qPrintable(QStringLiteral("exp(%1)").arg(x[i], 0, 'a')));
    }
}

// The wider variants take the envelopes' exponential in vectors; every value must still be the C
// library's, through the whole range: k = 0, exponents too small to matter, the ordinary range, the
// subnormal results below -708 and the underflow to 0.
void TestKernels::envelopesAsCLibrary_data()
{
    QTest::addColumn<double>("temporal"); // exponent over k^4
    QTest::addColumn<double>("spatial");  // exponent over k^2 (c k^2 + defocus)^2
    QTest::addColumn<double>("c");
    QTest::addColumn<double>("defocus");
    QTest::addColumn<double>("kMax");
    QTest::newRow("to underflow") << -1.0 << -1e-3 << 0.5 << -60.0 << 6.0;
    QTest::newRow("tiny near the origin") << -1e-30 << -1e-25 << 1e-3 << 1.0 << 1e-2;
    QTest::newRow("ordinary, through Scherzer") << -0.07 << -2.3 << 1.1 << -90.0 << 9.5;
    QTest::newRow("far beyond 0") << -1e6 << -1e3 << 3.0 << 500.0 << 40.0;
}

void TestKernels::envelopesAsCLibrary()
{
    QFETCH(double, temporal);
    QFETCH(double, spatial);
    QFETCH(double, c);
    QFETCH(double, defocus);
    QFETCH(double, kMax);
    EnvelopeFactors factors(startupState());
    factors.temporal = temporal;
    factors.spatial = spatial;
    factors.csLambda2 = c;
    constexpr int kCount = 200003; // not a whole number of vectors or blocks
    QVector<double> k(kCount);
    for (int i = 0; i < kCount; ++i)
        k[i] = i * (kMax / (kCount - 1));
    QVector<double> et(kCount), es(kCount);
    for (Isa isa : kernels::supportedIsas()) {
        kernels::kernelsFor(isa).curveEnvelopes(factors, defocus, k.constData(), kCount, et.data(), es.data());
        for (int i = 0; i < kCount; ++i) {
            const double t = std::exp(factors.temporalExponent(k[i]));
            const double s = std::exp(factors.spatialExponent(k[i], defocus));
            if (std::memcmp(&t, &et[i], sizeof t) != 0 || std::memcmp(&s, &es[i], sizeof s) != 0)
                QFAIL(qPrintable(
                    QStringLiteral("%1 at k = %2").arg(kernels::kernelsFor(isa).name).arg(k[i], 0, 'g', 17)));
        }
    }
}

// The window keeps one set of series for the whole run; whatever an earlier call left in them
// (longer series, other options, a detection that this call does not make) must not show.
void TestKernels::refilledCurves()
{
    const OpticsState full = startupState();
    const OpticsState coarse = changed(-300, 50, 2000, 5e-5, 10, 4);
    const OpticsState noEnvelopeDrop = changed(-60, 0, 0, 0, 3.7);
    const QList<CurveOptions> options = everyOption();
    CtfCurves kept;
    int calls = 0;
    for (const OpticsState *s : {&full, &coarse, &noEnvelopeDrop, &full})
        for (int i = 0; i < options.size(); i += 3) {
            sampleAnalysisCurves(*s, s->Defocus, 0.4, options[i], kept);
            const CtfCurves fresh = sampleAnalysisCurves(*s, s->Defocus, 0.4, options[i]);
            const QString difference = curveDifference(kept, fresh);
            QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("call %1: %2").arg(calls).arg(difference)));
            ++calls;
        }
    for (bool withCurve : {true, false, true})
        for (bool withEnvelope : {true, false}) {
            samplePlotterCurves(full, full.Defocus, withCurve, withEnvelope, kept);
            const QString difference = curveDifference(
                kept, samplePlotterCurves(full, full.Defocus, withCurve, withEnvelope));
            QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("plotter: %1").arg(difference)));
        }
}

QTEST_GUILESS_MAIN(TestKernels)
#include "test_kernels.moc"
