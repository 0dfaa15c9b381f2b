// The CTF fitted to a session's micrograph, without any window: the fit runs off the event loop
// and gives the cryo-EM values the micrograph was made with; Apply gives them to the session's
// optics (ranges widened, whole nanometres as the sliders step); noise gives no result and applies
// nothing; a request the micrograph cannot be fitted with is refused with a message and changes
// nothing; a result goes stale when the spectrum, the instrument or the specimen changes; after a fit
// of the tilt the views show the spectrum corrected for it until that no longer holds.
#include "core/ctffunctions.h"
#include "core/scopedata.h"
#include "session/ctfsession.h"
#include "session/fitsession.h"
#include "session/micrographsession.h"

#include "micrograph/micrographpipeline.h"
#include "micrograph/spectrumfile.h"

#include "ctffitcase.h"
#include "syntheticmicrograph.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace orvalis;

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();

void startSession(CtfSession &session, const FitCase &c)
{
    TScopeData scope = defaultScope();
    scope.Voltage = c.voltage;
    scope.Cs = c.csMm * 1e6;
    session.ScopeRecord1 = scope;
    session.beginRun();
    SpecimenDetector terms = session.specimen();
    terms.amplitudeContrast = c.q;
    session.setSpecimen(terms);
}

// The micrograph written as an MRC file and opened as the user opens one.
bool openImage(MicrographSession &micrograph, const QTemporaryDir &dir, const MicrographImage &image)
{
    const QString path = dir.filePath(QStringLiteral("micrograph.mrc"));
    QString error;
    if (!writeMrcFloat(path, image) || !micrograph.openNow(path, &error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    return true;
}

// A specimen tilted by `tiltDeg` about the x axis at 15000 Å of underfocus (300 kV, Cs 2.7 mm, Q
// 0.07; 1 Å pixels), made apart from the fit: images at defocus planes 100 Å apart, blended row by
// row at the defocus D(y) = D0 + tan(tilt) p y the tilt gives there.
MicrographImage tiltedMicrograph(double tiltDeg, int size)
{
    SyntheticOptions o;
    o.width = o.height = size;
    o.noise = 1.5;
    o.seed = 11;
    const double slope = std::tan(tiltDeg * Pi / 180), most = slope * size / 2;
    const int planes = int(std::ceil(2 * most / 100)) + 1;
    std::vector<MicrographImage> images;
    for (int i = 0; i < planes; ++i) {
        const double underfocus = 15000 - most + 2 * most * i / (planes - 1), lambda = 0.0196875; // Å
        images.push_back(syntheticMicrograph(o, [&](double kx, double ky) {
            const double k2 = (kx * kx + ky * ky) / 100; // Å^-2
            return std::sin(Pi * lambda * underfocus * k2 - Pi / 2 * 2.7e7 * std::pow(lambda, 3) * k2 * k2
                            + std::asin(0.07));
        }));
    }
    MicrographImage out = images[0];
    for (int row = 0; row < size; ++row) {
        const double f = std::clamp((slope * (row + 0.5 - size / 2.0) + most) / 100, 0.0, planes - 1.0);
        const int i = std::min(planes - 2, int(f));
        for (int column = 0; column < size; ++column) {
            const std::size_t k = std::size_t(row) * std::size_t(size) + std::size_t(column);
            out.data[k] = float((1 - (f - i)) * images[std::size_t(i)].data[k] + (f - i) * images[i + 1u].data[k]);
        }
    }
    return out;
}

bool waitForFit(FitSession &fit)
{
    QSignalSpy finished(&fit, &FitSession::finished);
    QSignalSpy failed(&fit, &FitSession::failed);
    return finished.wait(60000) && failed.isEmpty();
}

} // namespace

Q_DECLARE_METATYPE(FitCase)

class TestFitSession : public QObject {
    Q_OBJECT

private slots:
    void fitsAndApplies_data();
    void fitsAndApplies();
    void noiseAppliesNothing();
    void refusesBadRequests_data();
    void refusesBadRequests();
    void requestGivesTheFitOptions();
    void staleResultIsDropped();
    void windowFitsAsTheShell();
    void tiltCorrectedSpectrumIsShown();
};

void TestFitSession::fitsAndApplies_data()
{
    QTest::addColumn<FitCase>("fitCase");
    QTest::newRow("300 kV, 2 um, 1000 A at 30 deg")
        << FitCase{"astigmatic", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None};
    QTest::newRow("300 kV, 0.7 um, 500 A at 140 deg, phase plate 60 deg")
        << FitCase{"phase plate", 300, 2.7, 0.07, 1.0, 7250, 6750, 140, 60};
}

void TestFitSession::fitsAndApplies()
{
    QFETCH(FitCase, fitCase);
    CtfSession session;
    startSession(session, fitCase);
    MicrographSession micrograph(session);
    FitSession fit(session, micrograph);
    QTemporaryDir dir;
    FitImageOptions image;
    image.size = 2048;
    image.noise = 1.0;
    QVERIFY(openImage(micrograph, dir, fitCaseImage(fitCase, image)));

    FitRequest request;
    request.fitPhaseShift = hasPhaseShift(fitCase);
    fit.setRequest(request);
    QSignalSpy progress(&fit, &FitSession::progress);
    QVERIFY(fit.start());
    QVERIFY(fit.busy());
    QVERIFY(waitForFit(fit));
    QVERIFY(!progress.isEmpty());
    QVERIFY(fit.result());
    QVERIFY2(fit.canApply(), qPrintable(fit.result()->message));
    const CtfFitValues v = *fit.result()->values;
    const FitErrors e = fitErrors(fitCase, v);
    QVERIFY2(withinTargets(e, 2), qPrintable(errorsText(e)));
    QVERIFY(v.resolution > 0 && v.resolution < 0.6);

    // Nothing moves before Apply.
    const OpticsState before = session.state();
    QCOMPARE(before.Defocus, session.state().Defocus);
    QSignalSpy applied(&fit, &FitSession::applied);
    QVERIFY(fit.apply());
    QCOMPARE(applied.count(), 1);
    const OpticsState &after = session.state();
    QCOMPARE(after.Defocus, std::round(v.program.Defocus));
    QCOMPARE(after.A2, std::round(v.program.A2));
    QCOMPARE(after.A2Azimuth, v.program.azimuth * Pi / 180);
    QCOMPARE(session.activeScopeRecord().Defocus, after.Defocus);
    QCOMPARE(after.PhaseShift, hasPhaseShift(fitCase) ? v.phaseShift * Pi / 180 : before.PhaseShift);
    QCOMPARE(after.AmplitudeContrast, fitCase.q);
    // The working ranges reach the fit, as a typed value widens them.
    QVERIFY(session.ranges().defocusMax >= -after.Defocus);
    QVERIFY(session.ranges().a2Max >= after.A2);
    // The micrograph's views take the session's model, azimuth and specimen terms included: with the
    // fit the rings agree out to the band's top; with the astigmatism turned away, or without the
    // phase plate, they do not.
    const double agreed = micrograph.profile().agreedUpTo;
    QVERIFY2(agreed > 1.9, qPrintable(QString::number(agreed)));
    session.setA2Azimuth(session.state().A2Azimuth + Pi / 2);
    const double turned = micrograph.profile().agreedUpTo;
    session.setA2Azimuth(session.state().A2Azimuth - Pi / 2);
    QVERIFY2(turned < agreed - 0.3, qPrintable(QStringLiteral("%1 turned, %2 fitted").arg(turned).arg(agreed)));
    if (hasPhaseShift(fitCase)) {
        session.setPhaseShift(0);
        QVERIFY(micrograph.profile().agreedUpTo < agreed - 0.3);
    }
}

// A spectrum without rings: the fit says so with its score and there is nothing to apply.
void TestFitSession::noiseAppliesNothing()
{
    const FitCase flat{"noise", 300, 2.7, 0.07, 1.0, 10000, 10000, 0, None};
    CtfSession session;
    startSession(session, flat);
    MicrographSession micrograph(session);
    FitSession fit(session, micrograph);
    QTemporaryDir dir;
    SyntheticOptions o;
    o.width = o.height = 1024;
    o.pixelSizeNm = 0.1;
    QVERIFY(openImage(micrograph, dir, syntheticMicrograph(o, [](double, double) { return 0.0; })));
    const double defocus = session.state().Defocus;
    QVERIFY(fit.start());
    QVERIFY(waitForFit(fit));
    QVERIFY(fit.result());
    QVERIFY(!fit.result()->values);
    QVERIFY2(fit.result()->message.startsWith(QLatin1String("No reliable fit")), qPrintable(fit.result()->message));
    QVERIFY(fit.result()->message.contains(QString::number(fit.result()->score, 'f', 4)));
    QVERIFY(!fit.canApply());
    QVERIFY(!fit.apply());
    QCOMPARE(session.state().Defocus, defocus);
    QCOMPARE(session.state().A2, 0.0);
}

void TestFitSession::refusesBadRequests_data()
{
    QTest::addColumn<double>("minUnderfocus");
    QTest::addColumn<double>("maxUnderfocus");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("astigmatism");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty defocus range") << 2.0 << 2.0 << 30.0 << 5.0 << 3000.0
                                         << "The defocus range from 2 µm to 2 µm underfocus is empty";
    QTest::newRow("reversed defocus range")
        << 5.0 << 0.5 << 30.0 << 5.0 << 3000.0 << "The defocus range from 5 µm to 0.5 µm underfocus is empty";
    QTest::newRow("defocus not a number")
        << qQNaN() << 5.0 << 30.0 << 5.0 << 3000.0 << "The defocus range and the band must be numbers.";
    QTest::newRow("defocus beyond the limit") << 0.5 << 500.0 << 30.0 << 5.0 << 3000.0 << "reaches beyond ±100 µm";
    QTest::newRow("reversed band") << 0.5 << 5.0 << 5.0 << 30.0 << 3000.0 << "The band from 5 Å to 30 Å is empty";
    QTest::newRow("band at 0") << 0.5 << 5.0 << 30.0 << 0.0 << 3000.0 << "The band from 30 Å to 0 Å is empty";
    QTest::newRow("band beyond Nyquist") << 0.5 << 5.0 << 30.0 << 3.0 << 3000.0
                                         << "The band reaches 3 Å, beyond the micrograph's Nyquist limit of 4 Å "
                                            "(twice its pixel size of 2 Å).";
    // The shell's limits for --max-astigmatism.
    QTest::newRow("negative astigmatism")
        << 0.5 << 5.0 << 30.0 << 5.0 << -1.0
        << "Largest astigmatism (U − V) cannot be -1 Å: it must be from 0 to 100000 Å.";
    QTest::newRow("astigmatism beyond the limit")
        << 0.5 << 5.0 << 30.0 << 5.0 << 100001.0 << "Largest astigmatism (U − V) cannot be 100001 Å";
    QTest::newRow("astigmatism not a number")
        << 0.5 << 5.0 << 30.0 << 5.0 << qQNaN() << "Largest astigmatism (U − V) cannot be";
    QTest::newRow("no micrograph") << 0.5 << 5.0 << 30.0 << 5.0 << 3000.0 << "Open a micrograph to fit the CTF to.";
}

void TestFitSession::refusesBadRequests()
{
    QFETCH(double, minUnderfocus);
    QFETCH(double, maxUnderfocus);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, astigmatism);
    QFETCH(QString, message);
    const FitCase scope{"scope", 300, 2.7, 0.07, 2.0, 10000, 10000, 0, None};
    CtfSession session;
    startSession(session, scope);
    MicrographSession micrograph(session);
    FitSession fit(session, micrograph);
    QTemporaryDir dir;
    if (!message.startsWith(QLatin1String("Open"))) {
        SyntheticOptions o;
        o.width = o.height = 512;
        o.pixelSizeNm = 0.2;
        QVERIFY(openImage(micrograph, dir, syntheticMicrograph(o, [](double, double) { return 0.0; })));
    }
    FitRequest request; // the dialog's units: µm of underfocus, Å of band and astigmatism
    request.minUnderfocus = nmToAngstrom(umToNm(minUnderfocus));
    request.maxUnderfocus = nmToAngstrom(umToNm(maxUnderfocus));
    request.lowResolution = low;
    request.highResolution = high;
    request.maxAstigmatism = astigmatism;
    fit.setRequest(request);
    QSignalSpy anything(&fit, &FitSession::progress);
    QString error;
    QVERIFY(!fit.start(&error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(!fit.busy());
    QVERIFY(!fit.fitNow(&error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(!fit.result());
    QCoreApplication::processEvents();
    QVERIFY(anything.isEmpty());
}

// The window's request becomes the fit's options with the session's instrument and specimen in
// place of the request's; the default searches what the fit's does.
void TestFitSession::requestGivesTheFitOptions()
{
    OpticsState state;
    state.Voltage = 200;
    state.Cs = 1.2e6;
    state.C5 = 3e6;
    state.AmplitudeContrast = 0.1;
    state.PhaseShift = 0.5;
    const CtfFitOptions defaults = fitOptionsFor(FitRequest(), state);
    QCOMPARE(defaults.maxA2, CtfFitOptions().maxA2);
    QCOMPARE(defaults.defocusFrom, CtfFitOptions().defocusFrom);
    QCOMPARE(defaults.defocusTo, CtfFitOptions().defocusTo);
    QCOMPARE(defaults.instrument.voltage, 200.0);
    QCOMPARE(defaults.instrument.cs, 1.2e6);
    QCOMPARE(defaults.instrument.c5, 3e6);
    QCOMPARE(defaults.amplitudeContrast, 0.1);
    QCOMPARE(defaults.phaseShift, 0.5);
    FitRequest r;
    r.phaseShift = 30;                     // the window's shift is the session's
    r.maxAstigmatism = kFitMaxAstigmatism; // the largest allowed is the fit's own limit
    QVERIFY(fitRequestProblem(r, {FitVoice::Window, 0.1}).isEmpty());
    QCOMPARE(fitOptionsFor(r, state).maxA2, Pi * angstromToNm(kFitMaxAstigmatism));
    QCOMPARE(fitOptionsFor(r, state).phaseShift, 0.5);
    r.fitPhaseShift = true;
    QCOMPARE(fitOptionsFor(r, state).phaseShift, 0.0);
    r.maxAstigmatism = 0;
    QVERIFY(fitRequestProblem(r, {FitVoice::Window, 0.1}).isEmpty());
    QCOMPARE(fitOptionsFor(r, state).maxA2, 0.0);
}

// A result belongs to the spectrum and the optics it was fitted under; a cancelled fit leaves none.
void TestFitSession::staleResultIsDropped()
{
    const FitCase c{"round", 300, 2.7, 0.07, 1.0, 12000, 12000, 0, None};
    CtfSession session;
    startSession(session, c);
    MicrographSession micrograph(session);
    FitSession fit(session, micrograph);
    QTemporaryDir dir;
    FitImageOptions image;
    image.size = 1024;
    image.noise = 0.5;
    QVERIFY(openImage(micrograph, dir, fitCaseImage(c, image)));
    QString error;
    FitRequest request;
    request.maxAstigmatism = 2500;
    fit.setRequest(request);
    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    QVERIFY(fit.canApply());
    QCOMPARE(fit.resultOptions().maxA2, Pi * 250); // the request's, in the fit run
    QCOMPARE(fit.result()->astigmatismLimit, Pi * 250);
    QSignalSpy cleared(&fit, &FitSession::resultCleared);
    // The aberrations are what the user changes after Apply; the optics the fit was made under are not.
    session.setDefocus(-3000, false);
    session.setSpecimen(session.specimen()); // unchanged
    QVERIFY(fit.canApply());
    QCOMPARE(cleared.count(), 0);
    SpecimenDetector terms = session.specimen();
    terms.amplitudeContrast = 0.1;
    session.setSpecimen(terms);
    QCOMPARE(cleared.count(), 1);
    QVERIFY(!fit.apply());
    terms.amplitudeContrast = c.q;
    session.setSpecimen(terms);
    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    TScopeData other = defaultScope();
    other.Voltage = 200;
    QVERIFY(session.loadInstrument(other));
    QCOMPARE(cleared.count(), 2);
    QVERIFY(!fit.result());

    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    QVERIFY(micrograph.setPixelSize(0.11));
    QCOMPARE(cleared.count(), 3);
    QVERIFY(!fit.result());
    QVERIFY(!fit.apply());

    QSignalSpy cancelled(&fit, &FitSession::cancelled);
    QVERIFY(fit.start());
    fit.cancel();
    QVERIFY(cancelled.wait(20000));
    QVERIFY(!fit.result());

    QVERIFY(fit.start());
    micrograph.close();
    QVERIFY(cancelled.wait(20000));
    QVERIFY(!fit.result());
    QVERIFY(!fit.start(&error));
}

// The window fits through the job the shell fits through: the same file, request and optics give
// the same fit to the last bit, and the same refusal in each one's words.
void TestFitSession::windowFitsAsTheShell()
{
    const FitCase c{"shell", 300, 2.7, 0.07, 1.0, 21000, 19000, 30, None};
    CtfSession session;
    startSession(session, c);
    MicrographSession micrograph(session);
    FitSession fit(session, micrograph);
    QTemporaryDir dir;
    FitImageOptions image;
    image.size = 1024;
    image.noise = 0.5;
    QVERIFY(openImage(micrograph, dir, fitCaseImage(c, image)));
    QString error;
    QVERIFY2(fit.fitNow(&error), qPrintable(error));

    // As `orvalis-ctf fit FILE` takes it: the default request's own options, on as many threads.
    CtfFitOptions shell = fitOptionsOf(FitRequest());
    shell.threads = fit.resultOptions().threads;
    const CtfFitOptions &window = fit.resultOptions();
    QCOMPARE(window.instrument.voltage, shell.instrument.voltage);
    QCOMPARE(window.instrument.cs, shell.instrument.cs);
    QCOMPARE(window.amplitudeContrast, shell.amplitudeContrast);
    QCOMPARE(window.defocusFrom, shell.defocusFrom);
    QCOMPARE(window.maxA2, shell.maxA2);
    QCOMPARE(window.highResolution, shell.highResolution);
    const CtfFitResult alone = MicrographJob::read(micrograph.path()).fit(shell, 0).result;
    QVERIFY(alone.values && fit.result()->values);
    QCOMPARE(alone.score, fit.result()->score);
    QCOMPARE(alone.tileSize, fit.result()->tileSize);
    QCOMPARE(alone.values->program.Defocus, fit.result()->values->program.Defocus);
    QCOMPARE(alone.values->program.A2, fit.result()->values->program.A2);
    QCOMPARE(alone.values->program.azimuth, fit.result()->values->program.azimuth);
    QCOMPARE(alone.values->resolution, fit.result()->values->resolution);

    // A band beyond the micrograph's Nyquist limit (2 Å), refused by both before any work.
    FitRequest beyond;
    beyond.highResolution = 1.5;
    fit.setRequest(beyond);
    QVERIFY(!fit.fitNow(&error));
    QCOMPARE(error,
             QStringLiteral("The band reaches 1.5 Å, beyond the micrograph's Nyquist limit of 2 Å (twice its "
                            "pixel size of 1 Å)."));
    QCOMPARE(fitRequestProblem(beyond, {FitVoice::Shell, micrograph.pixelSize()}).text,
             QStringLiteral("the band's top, 1.5 Å, is beyond the Nyquist limit of 2 Å (twice the pixel size of 1 Å "
                            "the file gives)"));
}

// After a fit that found a tilt the views (2D half, 1D average, readout) show the spectrum that fit
// judged, corrected for the tilt, and its rings hold further there than on the micrograph's own; a
// refused or failed fit keeps it, a fit without the tilt, a new spectrum and closing give the
// micrograph's own back.
void TestFitSession::tiltCorrectedSpectrumIsShown()
{
    CtfSession session;
    startSession(session, FitCase{"tilted", 300, 2.7, 0.07, 1.0, 15000, 15000, 0, None});
    MicrographSession micrograph(session);
    FitSession fit(session, micrograph);
    QTemporaryDir dir;
    QVERIFY(openImage(micrograph, dir, tiltedMicrograph(30, 1536)));
    QSignalSpy corrections(&micrograph, &MicrographSession::correctionChanged);
    const auto showsOwn = [&] {
        const PowerSpectrum *own = micrograph.spectrum();
        return !micrograph.tiltCorrected() && micrograph.shownSpectrum() == own
            && micrograph.profile().average
            == ringProfile(*own, micrograph.model(), micrograph.lowestFrequency()).average;
    };
    QVERIFY(showsOwn());
    const std::vector<std::uint8_t> ownGrey = micrograph.composite(128).grey;

    FitRequest tilted;
    tilted.highResolution = 3.5;
    tilted.fitTilt = true;
    FitRequest plain = tilted;
    plain.fitTilt = false;
    QString error;
    fit.setRequest(tilted);
    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    QVERIFY2(fit.result()->values && fit.result()->values->tilt, qPrintable(fit.result()->specimenNote));
    QVERIFY(fit.correctedSpectrum());
    const auto showsCorrected = [&] {
        const PowerSpectrum *shown = micrograph.shownSpectrum();
        return micrograph.tiltCorrected() && fit.correctedSpectrum() && shown != micrograph.spectrum()
            && shown->rings == fit.correctedSpectrum()->rings
            && micrograph.profile().average
            == ringProfile(*shown, micrograph.model(), micrograph.lowestFrequency()).average;
    };
    QVERIFY(showsCorrected());
    QCOMPARE(corrections.count(), 1);
    QCOMPARE(corrections.last().at(0).toBool(), true);
    QVERIFY(micrograph.composite(128).grey != ownGrey);
    // At the fitted values the rings shown agree with the model further out than the micrograph's own.
    QVERIFY(fit.apply());
    const double own = ringProfile(*micrograph.spectrum(), micrograph.model(), micrograph.lowestFrequency()).agreedUpTo;
    QVERIFY2(micrograph.profile().agreedUpTo > own,
             qPrintable(QStringLiteral("%1 corrected, %2 own (nm^-1)").arg(micrograph.profile().agreedUpTo).arg(own)));

    // A refused fit leaves what is shown; one without the tilt replaces it.
    FitRequest beyond = plain;
    beyond.highResolution = 1.5;
    fit.setRequest(beyond);
    QVERIFY(!fit.fitNow(&error));
    QVERIFY(showsCorrected());
    fit.setRequest(plain);
    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    QVERIFY(showsOwn());
    QCOMPARE(corrections.count(), 2);
    QCOMPARE(corrections.last().at(0).toBool(), false);

    // A new spectrum (here a new pixel size) and closing give it up too.
    fit.setRequest(tilted);
    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    QVERIFY(showsCorrected());
    QVERIFY(micrograph.setPixelSize(0.101));
    QVERIFY(showsOwn());
    QVERIFY(micrograph.setPixelSize(0.1));
    QVERIFY2(fit.fitNow(&error), qPrintable(error));
    QVERIFY(showsCorrected());
    // Save Spectrum's MRC file says in its header's label which spectrum it holds.
    const auto label = [&](bool corrected) {
        const QString path = dir.filePath(QStringLiteral("spectrum.mrc"));
        const PowerSpectrum &shown = *micrograph.shownSpectrum();
        writeFloatMrc(path, shown.size, shown.rings, micrograph.pixelSize(), corrected);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.read(304).mid(224).constData()) : QString();
    };
    QCOMPARE(label(false), QStringLiteral("Orvalis: power spectrum, background removed"));
    QCOMPARE(label(true), QStringLiteral("Orvalis: power spectrum, background removed, corrected for the fitted tilt"));
    micrograph.close();
    QVERIFY(!micrograph.tiltCorrected() && !micrograph.shownSpectrum());
    QCOMPARE(corrections.count(), 6);
    QCOMPARE(corrections.last().at(0).toBool(), false);
}

QTEST_GUILESS_MAIN(TestFitSession)
#include "test_fitsession.moc"
