// The session alone, without any window: loading instruments, the aberrations with their sampling,
// the view choices, the ranges, plotter mode's two records, the texts and what the settings keep.
#include "core/numberformat.h"
#include "session/ctfsession.h"
#include "store/scopelibrary.h"
#include "store/windowsettings.h"

#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <cmath>

using namespace orvalis;

namespace {

// A 200 kV cold field emission instrument; with a Cs as a corrector sets it for imaging, or none.
TScopeData fieldEmission(double cs, double defocus)
{
    TScopeData scope = defaultScope();
    scope.Defocus = defocus;
    scope.Cs = cs;
    scope.Cc = 1.4e6;
    scope.dE = 0.35;
    scope.dvv = 0.3e-6;
    scope.dii = 0.3e-6;
    scope.Convergence = 0.1e-3;
    return scope;
}

QStringList allTreeLines(const CtfSession &session)
{
    const ScopeTreeTexts t = session.treeTexts();
    return QStringList{t.microscope} + t.microscopeChildren + QStringList{t.resolution} + t.resolutionChildren
        + QStringList{t.defocus} + t.defocusChildren;
}

// A session as a run starts it: the built-in instrument, nothing stored.
void startDefault(CtfSession &session)
{
    session.ScopeRecord1 = defaultScope();
    session.beginRun();
}

} // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void firstLoad();
    void refusedInstrument_data();
    void refusedInstrument();
    void laterLoad();
    void aberration_data();
    void aberration();
    void nothingBeforeTheRun();
    void changeFlags_data();
    void changeFlags();
    void batchTellsOnce();
    void viewChoices_data();
    void viewChoices();
    void envelopeSwitchedOff();
    void ranges_data();
    void ranges();
    void plotterRecords();
    void resolutionTexts_data();
    void resolutionTexts();
    void settingsRoundTrip();
    void settingsAbsent();
    void mapFollowsRange();
    void storedScope_data();
    void storedScope();
    void sessionsKeepTheirOwnCurves();
    void relionSign();
};

void TestSession::firstLoad()
{
    CtfSession session;
    QSignalSpy loaded(&session, &CtfSession::instrumentChanged);
    TScopeData scope = defaultScope();
    scope.dvv = 0; // a missing value stands for the built-in one
    scope.dii = 0;
    scope.A3 = 7; // every run starts without three-fold astigmatism
    session.ScopeRecord1 = scope;
    session.beginRun();
    QCOMPARE(loaded.count(), 1);
    const OpticsState &s = session.state();
    QVERIFY(s.Initialised);
    QCOMPARE(s.Defocus, s.ExtScherzer); // unrounded, at the first load only
    QCOMPARE(s.A3, 0.0);
    QCOMPARE(s.Alpha, s.Convergence);
    QCOMPARE(s.Direction, 0.0);
    QCOMPARE(session.magnificationPosition(), MagnificationLoadPosition);
    QCOMPARE(session.ScopeRecord1.Defocus, s.ExtScherzer);
    QCOMPARE(session.ScopeRecord2.Defocus, s.ExtScherzer);
    QCOMPARE(session.ScopeRecord2.Model, session.ScopeRecord1.Model);
    session.computeCurves();
    const QStringList expected{"Microscope: Default/Use SetUp Menu to change",
                               "Voltage:  200 keV",
                               "Wavelength:  0.00251 nm",
                               "Cs:  1.2 mm",
                               "Cc:  1.2 mm",
                               "Energy Spread:  0.6 eV",
                               "HT Ripple:  0.25 ppm",
                               "Obj Lens Instabilities:  0.5 ppm",
                               "Focal Spread:  1.97 nm",
                               "Convergence:  0.30 mrad",
                               "Theoretical/Current Resolution",
                               "Point-to-Point:  0.25/0.24 nm",
                               "Info Limit:  0.10/0.15 nm",
                               "Defocus",
                               "Scherzer:  -54.9 nm",
                               "Extended Scherzer:  -67.2 nm",
                               "2nd Passband:  -102.6 nm",
                               "Lichte:  -566.0 nm"};
    QCOMPARE(allTreeLines(session), expected);
}

// What the formulas cannot take is refused whole: the state, both records and the magnification
// stay as they were and nobody is told of a new instrument.
void TestSession::refusedInstrument_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("error");
    QTest::newRow("no voltage") << "Voltage" << 0.0 << "Voltage (kV) is 0";
    QTest::newRow("negative voltage") << "Voltage" << -200.0 << "Voltage (kV) is -200";
    QTest::newRow("defocus beyond a metre") << "Defocus" << 2e9 << "cannot be used";
    QTest::newRow("three-fold beyond a metre") << "A3" << 2e9 << "cannot be used";
    QTest::newRow("not a number") << "Cs" << std::nan("") << "cannot be used";
}

void TestSession::refusedInstrument()
{
    QFETCH(QString, field);
    QFETCH(double, value);
    QFETCH(QString, error);
    CtfSession session;
    startDefault(session);
    session.setMagnificationPosition(30, false);
    session.setDefocus(-120, false);
    const OpticsState before = session.state();
    const QString recordModel = session.activeScopeRecord().Model;

    TScopeData scope = defaultScope();
    scope.Model = QStringLiteral("Bad");
    double TScopeData::*member = field == "Voltage" ? &TScopeData::Voltage
        : field == "Defocus"                        ? &TScopeData::Defocus
        : field == "A3"                             ? &TScopeData::A3
                                                    : &TScopeData::Cs;
    scope.*member = value;
    QSignalSpy loaded(&session, &CtfSession::instrumentChanged);
    QString why;
    QVERIFY(!session.loadInstrument(scope, &why));
    QVERIFY2(why.contains(error), qPrintable(why));
    QCOMPARE(loaded.count(), 0);
    const OpticsState &after = session.state();
    QCOMPARE(after.Model, before.Model);
    QCOMPARE(after.Voltage, before.Voltage);
    QCOMPARE(after.Wavelength, before.Wavelength);
    QCOMPARE(after.Defocus, before.Defocus);
    QCOMPARE(after.Alpha, before.Alpha);
    QCOMPARE(session.magnificationPosition(), 30);
    QCOMPARE(session.activeScopeRecord().Model, recordModel);

    // A dialog's record is refused the same way, and the active record stays the one loaded.
    session.setSecondActive(true);
    QVERIFY(!session.applyRecord(scope));
    QCOMPARE(loaded.count(), 0);
    QCOMPARE(session.ScopeRecord2.Model, recordModel);
    QCOMPARE(session.ScopeRecord2.Voltage, 200.0);
    QCOMPARE(session.state().Voltage, before.Voltage);
}

// A later load keeps the user's defocus and direction, zeroes the two-fold astigmatism, takes the
// record's three-fold one and brings the magnification back to where the convergence is the
// instrument's.
void TestSession::laterLoad()
{
    CtfSession session;
    startDefault(session);
    session.setDefocus(-250, false);
    session.setA2(40, false);
    session.setA3(900, false);
    session.setDirection(0.7);
    session.setMagnificationPosition(14, false);
    QVERIFY(session.state().Alpha < session.state().Convergence / 100);

    TScopeData scope = fieldEmission(1.0e6, 0);
    scope.A3 = 5;
    QVERIFY(session.applyRecord(scope));
    QCOMPARE(session.ScopeRecord1.Cs, 1.0e6); // the active record is the dialog's
    QCOMPARE(session.ScopeRecord2.Cs, defaultScope().Cs);
    const OpticsState &s = session.state();
    QCOMPARE(s.Defocus, -250.0);
    QCOMPARE(s.Direction, 0.7);
    QCOMPARE(s.A2, 0.0);
    QCOMPARE(s.A3, 5.0);
    QCOMPARE(s.Alpha, 0.1e-3);
    QCOMPARE(session.magnificationPosition(), MagnificationLoadPosition);
    QCOMPARE(session.convergenceText(), QStringLiteral("Convergence:  0.10 mrad"));
}

void TestSession::aberration_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<double>("given");
    QTest::addColumn<bool>("coarse");
    QTest::addColumn<double>("expected"); // the state's value afterwards
    QTest::addColumn<int>("samples");     // of the 1D curve, UpTo 10
    for (bool coarse : {true, false}) {
        const char *how = coarse ? "coarse" : "full";
        const int samples = coarse ? 257 : 4097;
        QTest::addRow("defocus %s", how) << "defocus" << -300.0 << coarse << -300.0 << samples;
        QTest::addRow("overfocus %s", how) << "defocus" << 80.0 << coarse << 80.0 << samples;
        QTest::addRow("two-fold %s", how) << "A2" << 50.0 << coarse << 50.0 << samples;
        QTest::addRow("negative two-fold %s", how) << "A2" << -50.0 << coarse << 50.0 << samples;
        QTest::addRow("three-fold %s", how) << "A3" << 2000.0 << coarse << 2000.0 << samples;
        QTest::addRow("negative three-fold %s", how) << "A3" << -30.0 << coarse << 30.0 << samples;
        // 0.3 mrad at 518 k grows with the square of the magnification: (1058 / 518)^2 at 39.
        QTest::addRow("magnification %s", how)
            << "magnification" << 39.0 << coarse << 0.3e-3 * std::pow(1058.0 / 518, 2) << samples;
    }
}

void TestSession::aberration()
{
    QFETCH(QString, which);
    QFETCH(double, given);
    QFETCH(bool, coarse);
    QFETCH(double, expected);
    QFETCH(int, samples);
    CtfSession session;
    startDefault(session);
    QSignalSpy changed(&session, &CtfSession::aberrationsChanged);
    double OpticsState::*member = nullptr;
    if (which == "defocus") {
        session.setDefocus(given, coarse);
        member = &OpticsState::Defocus;
    } else if (which == "A2") {
        session.setA2(given, coarse);
        member = &OpticsState::A2;
    } else if (which == "A3") {
        session.setA3(given, coarse);
        member = &OpticsState::A3;
    } else {
        session.setMagnificationPosition(int(given), coarse);
        member = &OpticsState::Alpha;
    }
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toBool(), coarse);
    QCOMPARE(session.coarse(), coarse);
    QCOMPARE(session.state().StepFactor, coarse ? 4 : 1);
    QVERIFY2(std::fabs(session.state().*member - expected) <= 1e-12 * std::max(1.0, std::fabs(expected)),
             qPrintable(QStringLiteral("%1, expected %2").arg(session.state().*member).arg(expected)));
    // The active record keeps the defocus, and only the defocus.
    QCOMPARE(session.ScopeRecord1.Defocus, which == "defocus" ? given : session.state().ExtScherzer);
    QCOMPARE(session.ScopeRecord2.Defocus, session.state().ExtScherzer);

    session.computeCurves();
    for (int series : {CurveCtf, CurveTemporal, CurveSpatial, CurveCombined}) {
        QCOMPARE(session.seriesX(series).size(), samples);
        QCOMPARE(session.seriesY(series).size(), samples);
    }
    QCOMPARE(session.seriesX(CurveCtf).last(), 10.0);
    QVERIFY(session.seriesY(CurveCtf2).isEmpty());
}

void TestSession::nothingBeforeTheRun()
{
    CtfSession session;
    QSignalSpy changed(&session, &CtfSession::aberrationsChanged);
    session.setDefocus(-100, true);
    session.setA2(10, true);
    session.setA3(10, true);
    session.setMagnificationPosition(30, true);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(session.state().Defocus, 0.0);
    QCOMPARE(session.state().A2, 0.0);
    QCOMPARE(session.state().StepFactor, 1);
    QCOMPARE(session.magnificationPosition(), int(CtfSession::MagnificationStartPosition));
}

// Each setter tells once what it changed; a value refused (not finite, out of its rule, or the one
// already set) changes nothing and tells nothing.
void TestSession::changeFlags_data()
{
    using C = CtfSession::Change;
    QTest::addColumn<QString>("setter");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected"); // CtfSession::Changes, 0 for none
    const double nan = std::nan("");
    const int aberrations = int(C::Aberrations), coarse = int(C::Aberrations) | int(C::Coarse);
    QTest::newRow("defocus, full") << "defocus" << -120.0 << (aberrations | int(C::Defocus));
    QTest::newRow("defocus, coarse") << "defocus coarse" << -120.0 << (coarse | int(C::Defocus));
    QTest::newRow("defocus not finite") << "defocus" << nan << 0;
    QTest::newRow("two-fold, coarse") << "A2 coarse" << 30.0 << coarse;
    QTest::newRow("two-fold not finite") << "A2" << nan << 0;
    QTest::newRow("three-fold") << "A3" << 300.0 << aberrations;
    QTest::newRow("magnification, coarse") << "magnification coarse" << 30.0 << coarse;
    QTest::newRow("two-fold azimuth") << "A2 azimuth" << 0.5 << aberrations;
    QTest::newRow("two-fold azimuth unchanged") << "A2 azimuth" << 0.0 << 0;
    QTest::newRow("three-fold azimuth not finite") << "A3 azimuth" << nan << 0;
    QTest::newRow("alpha") << "alpha" << 1e-4 << aberrations;
    QTest::newRow("alpha not finite") << "alpha" << nan << 0;
    QTest::newRow("coarse sampling") << "sampling" << 1.0 << coarse;
    QTest::newRow("full sampling, already") << "sampling" << 0.0 << 0;
    QTest::newRow("direction") << "direction" << 0.25 << int(C::Direction);
    QTest::newRow("direction not finite") << "direction" << nan << 0;
    QTest::newRow("up to") << "upTo" << 6.0 << int(C::Ranges);
    QTest::newRow("up to negative") << "upTo" << -1.0 << 0;
    QTest::newRow("up to unchanged") << "upTo" << 10.0 << 0;
    QTest::newRow("a2 maximum") << "a2Max" << 900.0 << int(C::Ranges);
    QTest::newRow("phase shift") << "phase shift" << 0.5 << int(C::Specimen);
    QTest::newRow("phase shift not finite") << "phase shift" << nan << 0;
    QTest::newRow("amplitude contrast") << "contrast" << 0.07 << int(C::Specimen);
    QTest::newRow("intensity") << "intensity" << 1.0 << (int(C::View) | int(C::CurveChoice));
    QTest::newRow("intensity off, already") << "intensity" << 0.0 << 0;
    QTest::newRow("monochrome") << "monochrome" << 1.0 << int(C::View);
    QTest::newRow("monochrome off, already") << "monochrome" << 0.0 << 0;
    QTest::newRow("pattern's draw flag") << "pattern live" << 1.0 << (int(C::View) | int(C::PatternChoice));
    QTest::newRow("Enable Update's check, already") << "live checked" << 1.0 << 0;
    QTest::newRow("second CTF active") << "second" << 1.0 << int(C::View);
    QTest::newRow("micrograph pixel size") << "detector" << 0.1 << int(C::Micrograph);
}

void TestSession::changeFlags()
{
    QFETCH(QString, setter);
    QFETCH(double, value);
    QFETCH(int, expected);
    CtfSession session;
    startDefault(session);
    const OpticsState before = session.state();
    const OptionRanges rangesBefore = session.ranges();
    QSignalSpy changed(&session, &CtfSession::changed);
    const bool coarse = setter.endsWith(QLatin1String(" coarse"));
    const QString which = coarse ? setter.chopped(7) : setter;
    if (which == "defocus")
        session.setDefocus(value, coarse);
    else if (which == "A2")
        session.setA2(value, coarse);
    else if (which == "A3")
        session.setA3(value, coarse);
    else if (which == "magnification")
        session.setMagnificationPosition(int(value), coarse);
    else if (which == "A2 azimuth")
        session.setA2Azimuth(value);
    else if (which == "A3 azimuth")
        session.setA3Azimuth(value);
    else if (which == "alpha")
        session.setAlpha(value);
    else if (which == "sampling")
        session.setSampling(value != 0);
    else if (which == "direction")
        session.setDirection(value);
    else if (which == "upTo")
        session.setUpTo(value);
    else if (which == "a2Max")
        session.setA2Maximum(int(value));
    else if (which == "phase shift")
        session.setPhaseShift(value);
    else if (which == "contrast") {
        SpecimenDetector terms = session.specimen();
        terms.amplitudeContrast = value;
        session.setSpecimen(terms);
    } else if (which == "intensity")
        session.setIntensity(value != 0);
    else if (which == "monochrome")
        session.setMonochrome(value != 0);
    else if (which == "pattern live")
        session.setPatternLive(value != 0);
    else if (which == "live checked")
        session.setLiveChecked(value != 0);
    else if (which == "second")
        session.setSecondActive(value != 0);
    else if (which == "detector")
        session.setDetectorPixelSize(value);
    else
        QFAIL(qPrintable(setter));
    if (expected == 0) {
        QCOMPARE(changed.count(), 0);
        for (double OpticsState::*m : {&OpticsState::Defocus, &OpticsState::A2, &OpticsState::A3,
                                       &OpticsState::A2Azimuth, &OpticsState::A3Azimuth, &OpticsState::Direction})
            QCOMPARE(session.state().*m, before.*m);
        QCOMPARE(session.state().UpTo, before.UpTo);
        QCOMPARE(session.state().PhaseShift, before.PhaseShift);
        QCOMPARE(session.state().Alpha, before.Alpha);
        QCOMPARE(session.state().StepFactor, before.StepFactor);
        QCOMPARE(session.ranges().a2Max, rangesBefore.a2Max);
        return;
    }
    QCOMPARE(changed.count(), 1);
    QCOMPARE(int(changed.first().first().value<CtfSession::Changes>()), expected);
}

// A step of several values (a fit applied) tells what it changed once, at its end.
void TestSession::batchTellsOnce()
{
    CtfSession session;
    startDefault(session);
    QSignalSpy changed(&session, &CtfSession::changed);
    {
        const CtfSession::Batch once(session);
        session.setA2Azimuth(0.4);
        session.setPhaseShift(0.2);
        session.setA2(20, false);
        session.setDefocus(-90, false);
        QCOMPARE(changed.count(), 0);
    }
    QCOMPARE(changed.count(), 1);
    const auto what = changed.first().first().value<CtfSession::Changes>();
    QCOMPARE(what, CtfSession::Change::Aberrations | CtfSession::Change::Defocus | CtfSession::Change::Specimen);
    QCOMPARE(session.state().A2Azimuth, 0.4);
    QCOMPARE(session.state().Defocus, -90.0);
    {
        const CtfSession::Batch nothing(session);
        session.setA2Azimuth(0.4);
    }
    QCOMPARE(changed.count(), 1);
}

// Which series the analysis curve fills for each set of choices (bit i: series i has points).
void TestSession::viewChoices_data()
{
    QTest::addColumn<bool>("temporal");
    QTest::addColumn<bool>("spatial");
    QTest::addColumn<bool>("combined");
    QTest::addColumn<bool>("intensity");
    QTest::addColumn<bool>("symmetric");
    QTest::addColumn<int>("filled");
    QTest::addColumn<bool>("nonNegative"); // every value of every series is 0 or more
    QTest::newRow("as a run starts") << true << true << true << false << false << 0b0001111 << false;
    QTest::newRow("symmetric") << true << true << true << false << true << 0b1111111 << false;
    QTest::newRow("symmetric, temporal only") << true << false << false << false << true << 0b0010011 << false;
    QTest::newRow("symmetric ignored under intensity") << true << true << true << true << true << 0b0001111 << true;
    QTest::newRow("no envelopes") << false << false << false << false << true << 0b0000001 << false;
    QTest::newRow("intensity, combined only") << false << false << true << true << false << 0b0001001 << true;
}

void TestSession::viewChoices()
{
    QFETCH(bool, temporal);
    QFETCH(bool, spatial);
    QFETCH(bool, combined);
    QFETCH(bool, intensity);
    QFETCH(bool, symmetric);
    QFETCH(int, filled);
    QFETCH(bool, nonNegative);
    CtfSession session;
    startDefault(session);
    session.computeCurves(); // every series as a run starts, so that what goes must be emptied
    QSignalSpy changed(&session, &CtfSession::viewChanged);
    ViewChoices v = session.viewChoices();
    v.temporal = temporal;
    v.spatial = spatial;
    v.combined = combined;
    v.intensity = intensity;
    v.symmetric = symmetric;
    session.setViewChoices(v);
    QCOMPARE(changed.count(), v == ViewChoices() ? 0 : 1);
    QVERIFY(session.viewChoices() == v);
    session.setViewChoices(v);
    QCOMPARE(changed.count(), v == ViewChoices() ? 0 : 1); // the same choices again change nothing

    session.computeCurves();
    for (int series = 0; series < CurveSeriesCount; ++series) {
        const bool expected = filled & (1 << series);
        QVERIFY2(session.seriesY(series).isEmpty() != expected, qPrintable(QString::number(series)));
        QCOMPARE(session.seriesX(series).size(), session.seriesY(series).size());
        if (nonNegative)
            for (double y : session.seriesY(series))
                QVERIFY(y >= 0);
    }
}

// An envelope switched off loses its points at once, before any new computation, so that what is
// saved never holds a curve that is not shown.
void TestSession::envelopeSwitchedOff()
{
    CtfSession session;
    startDefault(session);
    session.setSymmetric(true);
    session.computeCurves();
    QCOMPARE(session.seriesY(CurveSpatialNeg).size(), 4097);
    session.setSpatial(false);
    QVERIFY(session.seriesY(CurveSpatial).isEmpty());
    QVERIFY(session.seriesY(CurveSpatialNeg).isEmpty());
    QCOMPARE(session.seriesY(CurveTemporal).size(), 4097);
    const QVector<CurveSeries> table = session.curveSeries({"a", "b", "c", "d", "e", "f", "g", "h"});
    QCOMPARE(table.size(), 8);
    QCOMPARE(table[2].title, QStringLiteral("c"));
    QVERIFY(table[2].x.isEmpty() && table[2].y.isEmpty());
    QCOMPARE(table[4].y, session.seriesY(CurveTemporalNeg));
    QCOMPARE(table[4].x, session.seriesX(CurveCtf));
}

void TestSession::ranges_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<int>("expectedMinimum");
    QTest::addColumn<int>("expectedMaximum");
    QTest::addColumn<int>("samples");
    QTest::newRow("as a run starts") << -50 << 200 << 10.0 << -50 << 200 << 4097;
    QTest::newRow("wide, half the frequencies") << -300 << 5000 << 5.0 << -300 << 5000 << 2049;
    QTest::newRow("empty range is one step") << 100 << 100 << 10.0 << 100 << 101 << 4097;
    QTest::newRow("reversed range is one step") << 100 << -20 << 10.0 << 100 << 101 << 4097;
    QTest::newRow("empty at the top") << INT_MAX << INT_MAX << 10.0 << INT_MAX - 1 << INT_MAX << 4097;
    QTest::newRow("nothing but k = 0") << -50 << 200 << 0.0 << -50 << 200 << 1;
}

void TestSession::ranges()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(double, upTo);
    QFETCH(int, expectedMinimum);
    QFETCH(int, expectedMaximum);
    QFETCH(int, samples);
    CtfSession session;
    startDefault(session);
    QSignalSpy changed(&session, &CtfSession::rangesChanged);
    OptionRanges wanted{minimum, maximum, 300, 20000, upTo};
    session.setRanges(wanted);
    QCOMPARE(changed.count(), 1); // once, however many values changed
    const OptionRanges r = session.ranges();
    QCOMPARE(r.defocusMin, expectedMinimum);
    QCOMPARE(r.defocusMax, expectedMaximum);
    QCOMPARE(r.a2Max, 300);
    QCOMPARE(r.a3Max, 20000);
    QCOMPARE(r.upTo, upTo);
    QCOMPARE(session.state().UpTo, upTo);
    session.setRanges(wanted);
    QCOMPARE(changed.count(), 1);
    session.computeCurves();
    QCOMPARE(session.seriesY(CurveCtf).size(), samples);
    QCOMPARE(session.treeTexts().defocusChildren.last(),
             QStringLiteral("Lichte:  ")
                 + formatFixed(-0.75 * session.state().Cs * std::pow(upTo * session.state().Wavelength, 2), 1)
                 + QStringLiteral(" nm"));
}

// Plotter mode: each CTF has its record, its defocus and its pair of series; working on one leaves
// the other's curve as it was.
void TestSession::plotterRecords()
{
    CtfSession session;
    startDefault(session);
    session.computeCurves();
    session.setShowEnvelopes(true);
    session.setPlotterMode(true);
    for (int series = 0; series < CurveSeriesCount; ++series)
        QVERIFY(session.seriesY(series).isEmpty()); // the analysis curves are gone
    session.setDefocus(-100, false);
    session.computeCurves();
    const QVector<double> first = session.seriesY(CurveCtf);
    QCOMPARE(first.size(), 4097);
    QCOMPARE(session.seriesY(CurveCombined).size(), 4097);

    session.setSecondActive(true);
    TScopeData other = fieldEmission(0.5e6, 0);
    other.Defocus = session.ScopeRecord2.Defocus;
    session.ScopeRecord2 = other;
    QVERIFY(session.loadInstrument(session.ScopeRecord2));
    QCOMPARE(session.state().Defocus, -100.0); // a load keeps the defocus; the caller takes the record's
    session.setDefocus(-40, true);
    session.computeCurves();
    QCOMPARE(session.ScopeRecord1.Defocus, -100.0);
    QCOMPARE(session.ScopeRecord2.Defocus, -40.0);
    QCOMPARE(session.ScopeRecord2.Cs, 0.5e6);
    QCOMPARE(session.seriesY(CurveCtf), first);
    QCOMPARE(session.seriesY(CurveCtf2).size(), 257);
    QCOMPARE(session.seriesY(CurveCombinedNeg).size(), 257);
    for (int series : {CurveTemporal, CurveSpatial, CurveTemporalNeg, CurveSpatialNeg})
        QVERIFY(session.seriesY(series).isEmpty());
    // Plotter mode has no astigmatism and no direction.
    session.setA2(300, false);
    session.setDirection(1.0);
    session.computeCurves();
    QVector<double> secondFull = session.seriesY(CurveCtf2);
    session.setA2(0, false);
    session.setDirection(0);
    session.computeCurves();
    QCOMPARE(session.seriesY(CurveCtf2), secondFull);

    session.setShowEnvelopes(false); // no envelope of either CTF stays
    QVERIFY(session.seriesY(CurveCombined).isEmpty());
    QVERIFY(session.seriesY(CurveCombinedNeg).isEmpty());
    QCOMPARE(session.seriesY(CurveCtf), first);

    // The info window shows both microscopes in plotter mode, each block of 11 lines.
    const QStringList both = session.infoTexts();
    QCOMPARE(both.size(), 22);
    QCOMPARE(both.at(3), QStringLiteral("Voltage: \t\t200 keV"));
    QCOMPARE(both.at(15), QStringLiteral("Cs:  \t\t0.5 mm"));

    session.setPlotterMode(false);
    for (int series = 0; series < CurveSeriesCount; ++series)
        QVERIFY(session.seriesY(series).isEmpty());
    QCOMPARE(session.infoTexts(), both.mid(0, 11)); // analysis mode shows the first microscope only
}

// The resolution lines the window shows for these states: a value the curve does not give is "-".
void TestSession::resolutionTexts_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("as a run starts") << "" << QStringList{"Point-to-Point:  0.25/0.24 nm", "Info Limit:  0.10/0.15 nm"};
    QTest::newRow("overfocus typed") << "overfocus"
                                     << QStringList{"Point-to-Point:  0.25/- nm", "Info Limit:  0.10/0.18 nm"};
    QTest::newRow("corrected instrument at its Scherzer defocus")
        << "corrected" << QStringList{"Point-to-Point:  0.11/0.10 nm", "Info Limit:  0.08/- nm"};
    QTest::newRow("no Cs") << "no Cs" << QStringList{"Point-to-Point:  -/0.41 nm", "Info Limit:  0.08/- nm"};
}

void TestSession::resolutionTexts()
{
    QFETCH(QString, change);
    QFETCH(QStringList, texts);
    CtfSession session;
    startDefault(session);
    if (change == "overfocus") {
        session.setDefocus(50, false);
    } else if (!change.isEmpty()) {
        QVERIFY(session.loadInstrument(fieldEmission(change == "corrected" ? -0.04e6 : 0.0, session.state().Defocus)));
        if (change == "corrected") // the Scherzer button: the nearest whole nanometre
            session.setDefocus(roundToInt(session.state().ExtScherzer), false);
    }
    session.computeCurves();
    QCOMPARE(QStringList({session.pointResolutionText(), session.infoLimitText()}), texts);
    QCOMPARE(session.treeTexts().resolutionChildren, texts);
}

void TestSession::settingsRoundTrip()
{
    WindowSettings stored;
    stored.UpTo = 7.5;
    stored.Overfocus = -400;
    stored.Underfocus = 3000;
    stored.a2max = 600;
    stored.a3max = 50000;
    stored.Show2d = true;
    stored.Update2D = false;
    stored.Combined = false;
    stored.Spatial = true;
    stored.Temporal = false;
    stored.Show3D = true;
    stored.Envelopes = true;
    stored.Intensity = true;
    stored.Symmetr = true;
    stored.PlotMode = true;
    stored.Monochrome = true;

    CtfSession session;
    session.applySettings(stored);
    QVERIFY(session.storedPlotterMode());
    QVERIFY(!session.viewChoices().plotterMode); // entered only once the first instrument is in
    startDefault(session);
    QCOMPARE(session.state().Defocus, session.state().ExtScherzer);
    session.setPlotterMode(true);

    WindowSettings captured;
    session.captureSettings(captured);
    QCOMPARE(captured.UpTo, stored.UpTo);
    QCOMPARE(captured.Overfocus, stored.Overfocus);
    QCOMPARE(captured.Underfocus, stored.Underfocus);
    QCOMPARE(captured.a2max, stored.a2max);
    QCOMPARE(captured.a3max, stored.a3max);
    const std::pair<std::optional<bool> WindowSettings::*, const char *> flags[] = {
        {&WindowSettings::Show2d, "Show2d"},         {&WindowSettings::Update2D, "Update2D"},
        {&WindowSettings::Combined, "Combined"},     {&WindowSettings::Spatial, "Spatial"},
        {&WindowSettings::Temporal, "Temporal"},     {&WindowSettings::Show3D, "Show3D"},
        {&WindowSettings::Envelopes, "Envelopes"},   {&WindowSettings::Intensity, "Intensity"},
        {&WindowSettings::Symmetr, "Symmetr"},       {&WindowSettings::PlotMode, "PlotMode"},
        {&WindowSettings::Monochrome, "Monochrome"},
    };
    for (const auto &flag : flags)
        QVERIFY2(captured.*flag.first == stored.*flag.first, flag.second);
    QCOMPARE(captured.ScopeManuf, std::optional<QString>(QStringLiteral("Default")));
    QCOMPARE(captured.ScopeModel, std::optional<QString>(QStringLiteral("Use SetUp Menu to change")));
    QCOMPARE(captured.dvv, std::optional<double>(2.5e-7));
    QCOMPARE(captured.dii, std::optional<double>(5e-7));
}

// Nothing stored: every value keeps what a first run starts with.
void TestSession::settingsAbsent()
{
    CtfSession session;
    QSignalSpy view(&session, &CtfSession::viewChanged);
    session.applySettings(WindowSettings());
    QCOMPARE(view.count(), 0);
    QVERIFY(session.viewChoices() == ViewChoices());
    QVERIFY(!session.storedPlotterMode());
    const OptionRanges r = session.ranges();
    const OptionRanges first;
    QCOMPARE(r.defocusMin, first.defocusMin);
    QCOMPARE(r.defocusMax, first.defocusMax);
    QCOMPARE(r.a2Max, first.a2Max);
    QCOMPARE(r.a3Max, first.a3Max);
    QCOMPARE(r.upTo, 10.0);
    const ViewChoices v;
    QVERIFY(v.temporal && v.spatial && v.combined && v.live2D);
    QVERIFY(!v.intensity && !v.symmetric && !v.show2D && !v.mapShown && !v.plotterMode && !v.showEnvelopes);
}

void TestSession::mapFollowsRange()
{
    CtfSession session;
    startDefault(session);
    QVERIFY(session.mapRangeDiffers()); // none computed yet
    const DefocusMapGrid &map = session.computeMap(32);
    QCOMPARE(map.width, 32);
    QCOMPARE(map.minimum, -50);
    QCOMPARE(map.maximum, 200);
    QVERIFY(!session.mapRangeDiffers());
    const QByteArray table = session.mapTableText();
    QVERIFY(table.startsWith("defocus\\k\t0\t"));
    QCOMPARE(table.count("\r\n"), 33);
    session.setDefocusRange(-50, 400);
    QVERIFY(session.mapRangeDiffers());
    session.setDefocus(-300, false);
    QCOMPARE(session.mapTableText(), table); // the table is of the map shown, until it is computed anew
    QCOMPARE(session.computeMap(32).maximum, 400);
    QVERIFY(session.mapTableText() != table);
}

// The microscope of the last run comes back from the library; what cannot come back leaves the
// built-in instrument, and the user is told which entry and why.
void TestSession::storedScope_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("model");
    QTest::addColumn<double>("voltage"); // of scope record 1 afterwards
    QTest::addColumn<QString>("notice"); // part of the one notice, or empty for none
    QTest::newRow("built-in") << "Default"
                              << "Use SetUp Menu to change" << 200.0 << "";
    QTest::newRow("nothing stored") << ""
                                    << "" << 200.0 << "";
    QTest::newRow("library entry") << "Lab"
                                   << "Good" << 300.0 << "";
    QTest::newRow("entry lacking a value") << "Lab"
                                           << "NoRipple" << 120.0 << "lacks some values";
    QTest::newRow("entry gone") << "Lab"
                                << "Gone" << 200.0 << "\"Lab Gone\" used last time is no longer";
    QTest::newRow("entry the formulas refuse") << "Lab"
                                               << "NoVoltage" << 200.0 << "cannot be loaded: ";
}

void TestSession::storedScope()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, model);
    QFETCH(double, voltage);
    QFETCH(QString, notice);
    ScopeData good{"300", "1.2", "1.4", "0.8", "0.3", "0.5", "0.25"};
    WriteScopeEntry("Lab", "Good", good);
    ScopeData noRipple = good;
    noRipple.Voltage = "120";
    noRipple.dvv.clear();
    WriteScopeEntry("Lab", "NoRipple", noRipple);
    ScopeData noVoltage = good;
    noVoltage.Voltage = "0";
    WriteScopeEntry("Lab", "NoVoltage", noVoltage);

    CtfSession session;
    WindowSettings stored;
    stored.ScopeManuf = manufacturer;
    stored.ScopeModel = model;
    const QStringList notices = session.selectStoredScope(stored);
    QCOMPARE(notices.size(), notice.isEmpty() ? 0 : 1);
    if (!notice.isEmpty())
        QVERIFY2(notices.first().contains(notice), qPrintable(notices.first()));
    QCOMPARE(session.ScopeRecord1.Voltage, voltage);
    session.beginRun();
    QCOMPARE(session.state().Voltage, voltage);
    QCOMPARE(session.ScopeRecord2.Voltage, voltage);
}

// Two windows run two sessions: a computation in one never changes the curves the other shows.
void TestSession::sessionsKeepTheirOwnCurves()
{
    CtfSession first, second;
    startDefault(first);
    startDefault(second);
    first.computeCurves();
    const QVector<double> shown = first.seriesY(CurveCtf);
    const QVector<double> shownK = first.seriesX(CurveCtf);
    second.setDefocus(-500, true);
    second.setA2(80, true);
    second.computeCurves();
    QCOMPARE(second.seriesY(CurveCtf).size(), 257);
    QCOMPARE(first.seriesY(CurveCtf), shown);
    QCOMPARE(first.seriesX(CurveCtf), shownK);
    QVERIFY(first.seriesY(CurveCtf).constData() != second.seriesY(CurveCtf).constData());
}

// RELION's sign turns the CTF the chart and its tables show, curves computed before included; the
// envelopes and squared curves have no sign.
void TestSession::relionSign()
{
    CtfSession session;
    startDefault(session);
    SpecimenDetector terms = session.specimen();
    terms.amplitudeContrast = 0.1; // the first point is not 0
    session.setSpecimen(terms);
    session.computeCurves();
    const QVector<double> ctf = session.seriesY(CurveCtf), envelope = session.seriesY(CurveCombined);
    const QByteArray table = (session.computeMap(8), session.mapTableText());
    session.setRelionSign(true);
    QCOMPARE(session.ctfSign(), -1);
    QCOMPARE(session.seriesY(CurveCtf).size(), ctf.size());
    for (int i = 0; i < ctf.size(); i += 97)
        QCOMPARE(session.seriesY(CurveCtf)[i], 0.0 - ctf[i]);
    session.computeCurves();
    QCOMPARE(session.seriesY(CurveCtf)[1], -ctf[1]);
    QCOMPARE(session.seriesY(CurveCombined), envelope);
    // The first column of a map row is k = 0, where the CTF is sin(-asin Q).
    const auto atZero = [](const QByteArray &text) {
        return text.split('\n').value(1).split('\t').value(1).toDouble();
    };
    QCOMPARE(atZero(table), -0.1);
    QCOMPARE(atZero(session.mapTableText()), 0.1);

    session.setIntensity(true);
    session.computeCurves();
    const QVector<double> squared = session.seriesY(CurveCtf);
    session.setRelionSign(false); // squared: nothing to turn
    QCOMPARE(session.seriesY(CurveCtf), squared);
    QVERIFY(squared[0] > 0);
}

QTEST_GUILESS_MAIN(TestSession)
#include "test_session.moc"
