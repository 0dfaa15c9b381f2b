// The CTF fit: its model against RELION's own CTF, a few synthetic micrographs fitted (the
// benchmark bench/ctffit_accuracy holds the tight targets over many more), noise that must give no
// result, bad input, Cancel and fits running side by side.
#include "ctffitcase.h"
#include "syntheticmicrograph.h"

#include "core/orvaliserror.h"
#include "micrograph/ctffit.h"
#include "micrograph/ctfmodel.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/powerspectrum.h"
#include "micrograph/spectrumcheck.h"

#include <QFile>
#include <QTest>

#include <cmath>
#include <thread>

using namespace orvalis;

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();

QString describe(const FitCase &c, const CtfFitResult &r)
{
    if (!r.values)
        return QStringLiteral("%1: %2").arg(QLatin1String(c.name), r.message);
    const FitErrors e = fitErrors(c, *r.values);
    return QStringLiteral("%1: U %2 V %3 angle %4 shift %5 (true %6 %7 %8 %9); %10; score %11, z %12")
        .arg(QLatin1String(c.name))
        .arg(r.values->cryoEm.defocusU, 0, 'f', 1)
        .arg(r.values->cryoEm.defocusV, 0, 'f', 1)
        .arg(r.values->cryoEm.angle, 0, 'f', 2)
        .arg(r.values->phaseShift, 0, 'f', 2)
        .arg(c.defocusU)
        .arg(c.defocusV)
        .arg(c.angle)
        .arg(c.phaseShift)
        .arg(errorsText(e))
        .arg(r.score, 0, 'f', 3)
        .arg(r.significance, 0, 'f', 1);
}

MicrographImage noiseOnly(int size, double pixelNm, double ctfValue, std::uint64_t seed)
{
    SyntheticOptions o;
    o.width = size;
    o.height = size;
    o.pixelSizeNm = pixelNm;
    o.seed = seed;
    return syntheticMicrograph(o, [ctfValue](double, double) { return ctfValue; });
}

// The spectrum the case's micrograph would give without noise: a background falling away from the
// centre plus rings whose depth falls with the B-factor's envelope, sampled on an n x n grid.
PowerSpectrum noiselessSpectrum(const FitCase &c, int n, double bFactor)
{
    PowerSpectrum s;
    s.size = n;
    s.tiles = 1;
    s.frequencyStep = 1 / (n * c.pixel / 10);
    s.power.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double kx = s.frequencyX(i), ky = s.frequencyY(j);
            const double ctf = fitCaseCtf(c, bFactor, kx, ky);
            s.power[s.index(i, j)] = static_cast<float>(1 + 3 * std::exp(-std::hypot(kx, ky) / 0.4) + 0.8 * ctf * ctf);
        }
    s.rings = subtractBackground(s.power, n, s.frequencyStep, 1 / 3.0);
    return s;
}

} // namespace

Q_DECLARE_METATYPE(FitCase)

class TestCtfFit : public QObject {
    Q_OBJECT

private slots:
    void modelMatchesRelion();
    void fitsSyntheticMicrographs_data();
    void fitsSyntheticMicrographs();
    void fitsNoiselessSpectraExactly_data();
    void fitsNoiselessSpectraExactly();
    void noiseGivesNoResult_data();
    void noiseGivesNoResult();
    void refusesBadInput_data();
    void refusesBadInput();
    void reportsProgressAndCancels();
    void fitsSideBySide();
    void doubtsWhatItCannotTrust_data();
    void doubtsWhatItCannotTrust();
    void refusesPowerSpectrumAsMicrograph_data();
    void refusesPowerSpectrumAsMicrograph();
};

// RELION's CTF is the negative of this program's; an angle or a phase shift taken the other way
// round, or defocus U put across kx, would give errors of order 1.
void TestCtfFit::modelMatchesRelion()
{
    QFile file(QStringLiteral(ORVALIS_CTFFIT_TEST_DATA "/relion_ctf.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(file.fileName()));
    std::optional<CtfModel> model;
    int box = 0, samples = 0, cases = 0;
    double pixelNm = 0, worst = 0;
    while (!file.atEnd()) {
        const QStringList f = QString::fromLatin1(file.readLine()).simplified().split(QLatin1Char(' '));
        if (f.size() == 10 && f[0] == QLatin1String("case")) {
            CtfInstrument instrument;
            instrument.voltage = f[1].toDouble();
            instrument.cs = f[2].toDouble() * 1e6;
            model.emplace(instrument, f[3].toDouble());
            pixelNm = f[4].toDouble() / 10;
            box = f[5].toInt();
            const TwoFoldDefocus d = fromCryoEmDefocus({f[6].toDouble(), f[7].toDouble(), f[8].toDouble()});
            model->Defocus = d.Defocus;
            model->A2 = d.A2;
            model->azimuth = d.azimuth * M_PI / 180;
            model->phaseShift = f[9].toDouble() * M_PI / 180;
            ++cases;
            continue;
        }
        QVERIFY2(f.size() == 3 && model, qPrintable(f.join(QLatin1Char(' '))));
        const int row = f[0].toInt(), column = f[1].toInt();
        const double kx = (column - box / 2) / (box * pixelNm), ky = (row - box / 2) / (box * pixelNm);
        const double ours = model->ctf(kx, ky), relion = f[2].toDouble();
        // The wavelengths' constants differ by 3e-5, which moves chi by as much of itself.
        const double tolerance = 2e-5 + 4e-5 * std::fabs(model->chi(kx, ky));
        worst = std::max(worst, std::fabs(ours + relion));
        QVERIFY2(std::fabs(ours + relion) <= tolerance,
                 qPrintable(QStringLiteral("case %1, row %2 column %3: %4 here, %5 in RELION")
                                .arg(cases)
                                .arg(row)
                                .arg(column)
                                .arg(ours, 0, 'f', 7)
                                .arg(relion, 0, 'f', 7)));
        ++samples;
    }
    QVERIFY2(cases == 4 && samples == 160, qPrintable(QStringLiteral("%1 cases, %2 samples").arg(cases).arg(samples)));
    qInfo("largest difference from RELION's CTF: %.2e", worst);
}

// 2048 x 2048 images, a quarter of the benchmark's, with less noise; bounds twice the benchmark's.
// A round micrograph is fitted on several noise realisations: noise moves the fitted astigmatism in
// every direction alike, and a magnitude taken as fitted would come out at about 20 Å of U - V on
// average here, where the truth is 0.
void TestCtfFit::fitsSyntheticMicrographs_data()
{
    QTest::addColumn<FitCase>("fitCase");
    QTest::addColumn<int>("seeds");
    const FitCase cases[] = {
        {"300 kV, 2 um, 1000 A at 30 deg", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None},
        {"200 kV, 1.2 um, 1000 A at 100 deg, 1.5 A", 200, 2.7, 0.1, 1.5, 12500, 11500, 100, None},
        {"80 kV, 0.8 um, 500 A at 75 deg, 2 A", 80, 1.0, 0.1, 2.0, 8250, 7750, 75, None},
        {"300 kV, 0.7 um, 500 A at 40 deg, phase plate 60 deg", 300, 2.7, 0.07, 1.0, 7250, 6750, 40, 60},
        {"300 kV, 1 um round, phase plate 120 deg", 300, 2.7, 0.07, 1.0, 10000, 10000, 0, 120},
        {"300 kV, 1 um round", 300, 2.7, 0.07, 1.0, 10000, 10000, 0, None},
    };
    for (const FitCase &c : cases)
        QTest::newRow(c.name) << c << (c.defocusU == c.defocusV ? 6 : 1);
}

void TestCtfFit::fitsSyntheticMicrographs()
{
    QFETCH(FitCase, fitCase);
    QFETCH(int, seeds);
    FitImageOptions image;
    image.size = 2048;
    image.noise = 1.0;
    double difference = 0; // U - V's error, summed over the seeds
    for (int k = 0; k < seeds; ++k) {
        image.seed = static_cast<std::uint64_t>(k + 1);
        const CtfFitResult r = fitMicrographCtf(fitCaseImage(fitCase, image), fitCaseOptions(fitCase));
        QVERIFY2(r.values, qPrintable(r.message));
        QVERIFY2(withinTargets(fitErrors(fitCase, *r.values), 2), qPrintable(describe(fitCase, r)));
        QVERIFY2(r.values->resolution > 0 && r.values->resolution < 0.6,
                 qPrintable(QStringLiteral("the fit holds to %1 nm").arg(r.values->resolution)));
        QCOMPARE(r.values->cryoEm.defocusU >= r.values->cryoEm.defocusV, true);
        QVERIFY2(r.reliable(), qPrintable(QStringLiteral("doubted: ") + fitDoubtKeys(r.doubts).join(QLatin1Char(' '))));
        difference += fitErrors(fitCase, *r.values).difference;
    }
    if (seeds > 1)
        QVERIFY2(difference / seeds <= 10,
                 qPrintable(QStringLiteral("U - V %1 A too large on average over %2 seeds")
                                .arg(difference / seeds, 0, 'f', 1)
                                .arg(seeds)));
}

// Without noise whatever the fit misses is a bias of its own: of the background taken away (the
// box is narrower than the broad first rings of a small defocus), or of rings that fade towards
// the band's top while the background falls.
void TestCtfFit::fitsNoiselessSpectraExactly_data()
{
    QTest::addColumn<FitCase>("fitCase");
    QTest::addColumn<int>("size");
    QTest::addColumn<double>("bFactor");
    const FitCase small = {"300 kV, 0.8 um, 500 A at 80 deg", 300, 2.7, 0.07, 1.0, 8250, 7750, 80, None};
    const FitCase large = {"300 kV, 3 um, 1500 A at 160 deg", 300, 2.7, 0.1, 1.0, 30750, 29250, 160, None};
    const FitCase plate = {"300 kV, 0.7 um, 500 A at 40 deg, plate 60 deg", 300, 2.7, 0.07, 1.0, 7250, 6750, 40, 60};
    const FitCase low = {"120 kV, 0.6 um, 600 A at 150 deg", 120, 2.0, 0.07, 1.5, 6300, 5700, 150, None};
    QTest::newRow("small defocus, B 50") << small << 512 << 50.0;
    QTest::newRow("small defocus, B 200") << small << 512 << 200.0;
    QTest::newRow("large defocus, B 100") << large << 1024 << 100.0;
    QTest::newRow("phase plate, B 150") << plate << 512 << 150.0;
    QTest::newRow("phase plate, B 50") << plate << 512 << 50.0;
    QTest::newRow("120 kV, B 100") << low << 512 << 100.0;
}

void TestCtfFit::fitsNoiselessSpectraExactly()
{
    QFETCH(FitCase, fitCase);
    QFETCH(int, size);
    QFETCH(double, bFactor);
    const CtfFitResult r = fitCtf(noiselessSpectrum(fitCase, size, bFactor), fitCaseOptions(fitCase));
    QVERIFY2(r.values, qPrintable(r.message));
    const FitErrors e = fitErrors(fitCase, *r.values);
    // With a phase plate the defocus and the shift trade against each other over the few rings
    // of a small defocus: both keep a small bias (about 15 Å and 1 degree at B 150).
    QVERIFY2(std::fabs(e.difference) <= 3 && !(e.angle > 0.2)
                 && std::fabs(e.meanDefocus) <= std::max(3.0, 0.0025 * (fitCase.defocusU + fitCase.defocusV) / 2)
                 && !(e.phaseShift > 1.5),
             qPrintable(describe(fitCase, r)));
}

// No rings: the search still finds a best score, which must not pass for a result.
void TestCtfFit::noiseGivesNoResult_data()
{
    QTest::addColumn<double>("ctfValue");
    QTest::addColumn<int>("tileSize");
    QTest::addColumn<bool>("fitPhase");
    QTest::newRow("white noise, 512 px tiles") << 0.0 << 512 << false;
    QTest::newRow("white noise, phase shift fitted") << 0.0 << 512 << true;
    QTest::newRow("white object without rings, 1024 px tiles") << 1.0 << 1024 << false;
    QTest::newRow("white noise, 256 px tiles") << 0.0 << 256 << true;
}

void TestCtfFit::noiseGivesNoResult()
{
    QFETCH(double, ctfValue);
    QFETCH(int, tileSize);
    QFETCH(bool, fitPhase);
    CtfFitOptions o;
    o.tileSize = tileSize;
    o.fitPhaseShift = fitPhase;
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        const CtfFitResult r = fitMicrographCtf(noiseOnly(2048, 0.1, ctfValue, seed), o);
        QVERIFY2(!r.values,
                 qPrintable(QStringLiteral("seed %1: a fit at %2 nm, z %3")
                                .arg(seed)
                                .arg(r.values ? r.values->program.Defocus : 0)
                                .arg(r.significance)));
        QVERIFY2(r.message.startsWith(QLatin1String("No reliable fit")), qPrintable(r.message));
        QVERIFY(r.message.contains(QString::number(r.score, 'f', 4)));
        QVERIFY2(r.significance < 0.8 * kFitSignificance, qPrintable(QString::number(r.significance)));
        QCOMPARE(r.tileSize, tileSize);
        qInfo("seed %d: score %.4f, z %.2f", int(seed), r.score, r.significance);
    }
}

void TestCtfFit::refusesBadInput_data()
{
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<double>("pixelNm");
    QTest::addColumn<double>("defocusFrom");
    QTest::addColumn<double>("defocusTo");
    QTest::addColumn<double>("lowResolution");
    QTest::addColumn<double>("highResolution");
    QTest::addColumn<double>("amplitudeContrast");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty defocus range") << 512 << 0.1 << -500.0 << -500.0 << 3.0 << 0.5 << 0.07
                                         << "The defocus range to search, from -500 nm to -500 nm, is empty.";
    QTest::newRow("reversed defocus range") << 512 << 0.1 << -500.0 << -5000.0 << 3.0 << 0.5 << 0.07
                                            << "The defocus range to search, from -500 nm to -5000 nm, is empty.";
    QTest::newRow("defocus not a number") << 512 << 0.1 << qQNaN() << -500.0 << 3.0 << 0.5 << 0.07
                                          << "The defocus range to search, from nan nm to -500 nm, is empty.";
    QTest::newRow("empty band") << 512 << 0.1 << -5000.0 << -500.0 << 0.5 << 0.5 << 0.07
                                << "The band to fit, from 5 Å to 5 Å, is empty";
    QTest::newRow("reversed band") << 512 << 0.1 << -5000.0 << -500.0 << 0.5 << 3.0 << 0.07
                                   << "The band to fit, from 5 Å to 30 Å, is empty";
    QTest::newRow("band beyond Nyquist") << 512 << 0.3 << -5000.0 << -500.0 << 3.0 << 0.5 << 0.07
                                         << "The band to fit reaches 5 Å, beyond the micrograph's Nyquist limit of 6 Å";
    QTest::newRow("image smaller than a tile") << 200 << 0.1 << -5000.0 << -500.0 << 3.0 << 0.5 << 0.07
                                               << "The micrograph has 200 x 200 pixels, fewer than one tile";
    QTest::newRow("no pixel size") << 512 << 0.0 << -5000.0 << -500.0 << 3.0 << 0.5 << 0.07
                                   << "The fit needs the pixel size of the micrograph";
    QTest::newRow("amplitude contrast of 1") << 512 << 0.1 << -5000.0 << -500.0 << 3.0 << 0.5 << 1.0
                                             << "The amplitude contrast must be from 0 to below 1, not 1.";
    // Beyond these the scan's step count overflowed and the search ran for hours.
    QTest::newRow("defocus beyond 100 um")
        << 512 << 0.1 << -2e5 << -500.0 << 3.0 << 0.5 << 0.07 << "The defocus range to search must lie within ±100 µm.";
    QTest::newRow("search too large") << 512 << 0.001 << -1e5 << 1e5 << 0.003 << 0.002 << 0.07
                                      << "The search is too large: the defocus range of 2e+06 Å";
}

void TestCtfFit::refusesBadInput()
{
    QFETCH(int, imageSize);
    QFETCH(double, pixelNm);
    QFETCH(double, defocusFrom);
    QFETCH(double, defocusTo);
    QFETCH(double, lowResolution);
    QFETCH(double, highResolution);
    QFETCH(double, amplitudeContrast);
    QFETCH(QString, message);
    CtfFitOptions o;
    o.defocusFrom = defocusFrom;
    o.defocusTo = defocusTo;
    o.lowResolution = lowResolution;
    o.highResolution = highResolution;
    o.amplitudeContrast = amplitudeContrast;
    const MicrographImage image = noiseOnly(imageSize, pixelNm > 0 ? pixelNm : 0.1, 1.0, 1);
    MicrographImage unsized = image;
    unsized.pixelSizeNm = 0;
    bool progressed = false;
    try {
        fitMicrographCtf(unsized, o, pixelNm, [&progressed](double) { return progressed = true; });
        QFAIL("no error");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().startsWith(message), qPrintable(e.text()));
    }
    // Options are checked before the long work starts.
    QVERIFY(!progressed || message.startsWith(QLatin1String("The micrograph has")));
}

void TestCtfFit::reportsProgressAndCancels()
{
    const FitCase c = {"1 um", 300, 2.7, 0.07, 1.0, 10500, 9500, 20, None};
    FitImageOptions io;
    io.size = 1024;
    io.noise = 0.5;
    const MicrographImage image = fitCaseImage(c, io);
    std::vector<double> seen;
    const CtfFitResult r = fitMicrographCtf(image, fitCaseOptions(c), 0, [&seen](double f) {
        seen.push_back(f);
        return true;
    });
    QVERIFY(r.values);
    QVERIFY2(seen.size() >= 10, qPrintable(QString::number(seen.size())));
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(seen.back(), 1.0);

    // Cancelled in the spectrum, and in the fit itself.
    for (const double stopAt : {0.3, 0.6}) {
        double last = 0;
        QVERIFY_THROWS_EXCEPTION(Cancelled, fitMicrographCtf(image, fitCaseOptions(c), 0, [&](double f) {
                                     last = f;
                                     return f < stopAt;
                                 }));
        QVERIFY2(last >= stopAt && last < stopAt + 0.25, qPrintable(QString::number(last)));
    }
}

// Fits share nothing: two at once give what each gives alone.
void TestCtfFit::fitsSideBySide()
{
    const FitCase a = {"a", 300, 2.7, 0.07, 1.0, 15500, 14500, 60, None};
    const FitCase b = {"b", 200, 2.7, 0.1, 1.2, 9000, 8500, 150, 90};
    FitImageOptions io;
    io.size = 1024;
    io.noise = 0.5;
    const MicrographImage ia = fitCaseImage(a, io), ib = fitCaseImage(b, io);
    const CtfFitResult aloneA = fitMicrographCtf(ia, fitCaseOptions(a));
    const CtfFitResult aloneB = fitMicrographCtf(ib, fitCaseOptions(b));
    QVERIFY(aloneA.values && aloneB.values);
    CtfFitResult togetherA, togetherB;
    std::thread other([&] { togetherB = fitMicrographCtf(ib, fitCaseOptions(b)); });
    togetherA = fitMicrographCtf(ia, fitCaseOptions(a));
    other.join();
    QVERIFY(togetherA.values && togetherB.values);
    QCOMPARE(togetherA.score, aloneA.score);
    QCOMPARE(togetherB.score, aloneB.score);
    QCOMPARE(togetherA.values->program.Defocus, aloneA.values->program.Defocus);
    QCOMPARE(togetherB.values->phaseShift, aloneB.values->phaseShift);
}

QTEST_GUILESS_MAIN(TestCtfFit)
// A fit that stands out of the noise but not for the micrograph's own reasons: the answer pinned
// to an end of the search, or a phase plate left out. The values stay; the doubt says which limit.
// The controls lie at the very end (the default's 5000 Å) or well within the astigmatism limit.
void TestCtfFit::doubtsWhatItCannotTrust_data()
{
    QTest::addColumn<FitCase>("fitCase");
    QTest::addColumn<double>("minUnderfocus");  // Å
    QTest::addColumn<double>("maxUnderfocus");  // Å
    QTest::addColumn<double>("maxAstigmatism"); // Å, U - V
    QTest::addColumn<bool>("fitPhase");
    QTest::addColumn<double>("noise");
    QTest::addColumn<unsigned>("doubts");
    const FitCase close = {"300 kV, 3000/2800 A", 300, 2.7, 0.07, 1.0, 3000, 2800, 30, None};
    const FitCase middle = {"300 kV, 2 um, 1000 A", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None};
    const FitCase plate = {"300 kV, 0.6 um, plate 90 deg", 300, 2.7, 0.07, 1.0, 6000, 5600, 20, 90};
    const FitCase atEnd = {"300 kV, 5000 A round", 300, 2.7, 0.07, 1.0, 5000, 5000, 0, None};
    const FitCase astigmatic = {"300 kV, 4 um, 2000 A", 300, 2.7, 0.1, 1.0, 41000, 39000, 125, None};
    // Fitted outside the search the rings match only partly: less noise than the other tests use
    // lets the partial match stand out of it, as it does on a real micrograph of many frames.
    QTest::newRow("below the range (the default from 5000 A)")
        << close << 5000.0 << 50000.0 << 3000.0 << false << 0.3 << unsigned(FitAtNearFocusEnd);
    QTest::newRow("beyond the range's far end")
        << middle << 5000.0 << 19000.0 << 3000.0 << false << 0.3 << unsigned(FitAtFarFocusEnd);
    QTest::newRow("twice the defocus, below a raised near end")
        << middle << 25000.0 << 50000.0 << 3000.0 << false << 0.3 << unsigned(FitAtNearFocusEnd);
    QTest::newRow("more astigmatism than the limit")
        << middle << 5000.0 << 50000.0 << 500.0 << false << 1.0 << unsigned(FitAtAstigmatismLimit);
    QTest::newRow("phase plate not fitted")
        << plate << 5000.0 << 50000.0 << 3000.0 << false << 1.0 << unsigned(FitWantsPhaseShift);
    QTest::newRow("phase plate fitted") << plate << 5000.0 << 50000.0 << 3000.0 << true << 1.0 << 0u;
    QTest::newRow("truly at the near end") << atEnd << 5000.0 << 50000.0 << 3000.0 << false << 1.0 << 0u;
    QTest::newRow("2000 A astigmatism under 3000") << astigmatic << 5000.0 << 50000.0 << 3000.0 << false << 1.0 << 0u;
}

void TestCtfFit::doubtsWhatItCannotTrust()
{
    QFETCH(FitCase, fitCase);
    QFETCH(double, minUnderfocus);
    QFETCH(double, maxUnderfocus);
    QFETCH(double, maxAstigmatism);
    QFETCH(bool, fitPhase);
    QFETCH(double, noise);
    QFETCH(unsigned, doubts);
    FitImageOptions image;
    image.size = 2048;
    image.noise = noise;
    CtfFitOptions o = fitCaseOptions(fitCase);
    o.fitPhaseShift = fitPhase;
    o.defocusFrom = -maxUnderfocus / 10;
    o.defocusTo = -minUnderfocus / 10;
    o.maxA2 = M_PI * maxAstigmatism / 10;
    const CtfFitResult r = fitMicrographCtf(fitCaseImage(fitCase, image), o);
    QVERIFY2(r.values, qPrintable(r.message));
    const QString text = fitDoubtText(r, shellFitLimitNames());
    // At an end no phase shift is suggested: it would only make up for the wrong defocus.
    QVERIFY2(r.doubts == doubts, qPrintable(describe(fitCase, r) + QStringLiteral("; ") + text));
    QCOMPARE(r.reliable(), doubts == 0);
    QCOMPARE(text.isEmpty(), doubts == 0);
    const char *option = doubts == FitAtNearFocusEnd ? "--min-defocus"
        : doubts == FitAtFarFocusEnd                 ? "--max-defocus"
        : doubts == FitAtAstigmatismLimit            ? "--max-astigmatism"
        : doubts == FitWantsPhaseShift               ? "--fit-phase-shift"
                                                     : nullptr;
    if (option)
        QVERIFY2(text.startsWith(QLatin1String("Not reliable: ")) && text.contains(QLatin1String(option)),
                 qPrintable(text));
}

// The spectrum of a micrograph handed in as the micrograph (a centred periodogram, and its
// logarithm as the grey pictures hold it) is refused by name; micrographs are not, a bright centred
// illumination included.
void TestCtfFit::refusesPowerSpectrumAsMicrograph_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("refused");
    QTest::newRow("periodogram") << QStringLiteral("power") << true;
    QTest::newRow("its logarithm") << QStringLiteral("log") << true;
    QTest::newRow("micrograph") << QStringLiteral("micrograph") << false;
    QTest::newRow("micrograph under a centred beam") << QStringLiteral("beam") << false;
    QTest::newRow("noise") << QStringLiteral("noise") << false;
}

void TestCtfFit::refusesPowerSpectrumAsMicrograph()
{
    QFETCH(QString, kind);
    QFETCH(bool, refused);
    const FitCase c = {"300 kV, 1 um", 300, 2.7, 0.07, 1.0, 10500, 9500, 30, None};
    FitImageOptions o;
    o.size = 1024;
    MicrographImage image = kind == QLatin1String("noise") ? noiseOnly(1024, 0.1, 0.0, 2) : fitCaseImage(c, o);
    if (kind == QLatin1String("power") || kind == QLatin1String("log")) {
        SpectrumOptions so;
        so.tileSize = 512;
        so.pixelSizeNm = 0.1;
        const PowerSpectrum s = computePowerSpectrum(image, so);
        image.width = image.height = s.size;
        image.data = s.power;
        if (kind == QLatin1String("log"))
            for (float &v : image.data)
                v = std::log10(std::max(v, 1e-30f));
    } else if (kind == QLatin1String("beam")) {
        double mean = 0;
        for (const float v : image.data)
            mean += v;
        mean /= static_cast<double>(image.data.size());
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                const double r = std::hypot(x - image.width / 2, y - image.height / 2) / (image.width / 3.0);
                image.data[std::size_t(y) * std::size_t(image.width) + std::size_t(x)] += static_cast<float>(
                    mean * std::exp(-r * r));
            }
    }
    QCOMPARE(looksLikePowerSpectrum(image), refused);
    CtfFitOptions fit = fitCaseOptions(c);
    fit.tileSize = 512;
    try {
        fitMicrographCtf(image, fit, 0.1);
        QVERIFY2(!refused, "a spectrum fitted as a micrograph");
    } catch (const OrvalisError &e) {
        QVERIFY2(refused && e.text().contains(QLatin1String("looks like a power spectrum")), qPrintable(e.text()));
    }
}

#include "test_ctffit.moc"
