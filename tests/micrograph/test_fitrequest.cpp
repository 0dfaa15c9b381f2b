// What a fit is asked for: the one check of a request in each voice's words and order, the
// conversion to the fit's options, and the spectrum the pipeline computes for a fit and for a view.
#include "syntheticmicrograph.h"

#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/fitrequest.h"
#include "micrograph/micrographpipeline.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace orvalis;

Q_DECLARE_METATYPE(orvalis::FitRequest)
Q_DECLARE_METATYPE(orvalis::FitVoice)
Q_DECLARE_METATYPE(orvalis::FitField)

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The default request with some values changed.
struct Changed {
    FitRequest r;
    Changed &set(double FitRequest::*value, double v)
    {
        r.*value = v;
        return *this;
    }
    Changed &underfocus(double from, double to)
    {
        r.minUnderfocus = from;
        r.maxUnderfocus = to;
        return *this;
    }
    Changed &band(double low, double high)
    {
        r.lowResolution = low;
        r.highResolution = high;
        return *this;
    }
    Changed &phase(std::optional<double> shift, bool fitted)
    {
        r.phaseShift = shift;
        r.fitPhaseShift = fitted;
        return *this;
    }
    operator FitRequest() const { return r; }
};

Changed with()
{
    return {};
}

} // namespace

class TestFitRequest : public QObject {
    Q_OBJECT
private slots:
    void refusals_data();
    void refusals();
    void defaultsAreTheFitsOptions();
    void optionsRoundTrip();
    void doubtsNameTheVoicesLimits_data();
    void doubtsNameTheVoicesLimits();
    void spectrumForAFit_data();
    void spectrumForAFit();
};

void TestFitRequest::refusals_data()
{
    QTest::addColumn<FitVoice>("voice");
    QTest::addColumn<FitRequest>("request");
    QTest::addColumn<double>("pixelNm"); // 0: not known
    QTest::addColumn<bool>("search");
    QTest::addColumn<FitField>("field");
    QTest::addColumn<QString>("option");  // the shell's, named before the text
    QTest::addColumn<QString>("message"); // empty: accepted; else the text's start
    const auto shell = [](const char *name, const FitRequest &r, double pixel, FitField field, const char *option,
                          const char *message) {
        QTest::newRow(name) << FitVoice::Shell << r << pixel << true << field << QString::fromLatin1(option)
                            << QString::fromUtf8(message);
    };
    const auto window = [](const char *name, const FitRequest &r, double pixel, bool search, FitField field,
                           const char *message) {
        QTest::newRow(name) << FitVoice::Window << r << pixel << search << field << QString()
                            << QString::fromUtf8(message);
    };
    const auto engine = [](const char *name, const FitRequest &r, double pixel, FitField field, const char *message) {
        QTest::newRow(name) << FitVoice::Engine << r << pixel << true << field << QString()
                            << QString::fromUtf8(message);
    };

    // The shell: its options, its order (each option alone, before the range they make), Å.
    shell("shell: defaults", with(), 0.1, FitField::None, "", "");
    shell("shell: band ending at Nyquist", with().band(30, 2), 0.1, FitField::None, "", "");
    shell("shell: voltage", with().set(&FitRequest::voltage, 5000), 0, FitField::Voltage, "kv",
          "it must be a number from 1 to 3000 kV");
    shell("shell: voltage no number", with().set(&FitRequest::voltage, NaN), 0, FitField::Voltage, "kv",
          "it must be a number from 1 to 3000 kV");
    shell("shell: negative Cs", with().set(&FitRequest::cs, -1), 0, FitField::Cs, "cs",
          "it must be a number from 0 to 100 mm");
    shell("shell: amplitude contrast no number", with().set(&FitRequest::amplitudeContrast, NaN), 0,
          FitField::AmplitudeContrast, "amplitude-contrast", "not a number");
    shell("shell: amplitude contrast of 1", with().set(&FitRequest::amplitudeContrast, 1), 0,
          FitField::AmplitudeContrast, "amplitude-contrast", "it must be from 0 up to (not including) 1");
    shell("shell: voltage before amplitude contrast",
          with().set(&FitRequest::voltage, 0.5).set(&FitRequest::amplitudeContrast, NaN), 0, FitField::Voltage, "kv",
          "it must be a number from 1 to 3000 kV");
    shell("shell: smallest underfocus beyond", with().underfocus(2e6, 5), 0, FitField::MinUnderfocus, "min-defocus",
          "it must be a number from -1000000 to 1000000 Å");
    shell("shell: largest underfocus beyond", with().underfocus(5000, -3e6), 0, FitField::MaxUnderfocus, "max-defocus",
          "it must be a number from -1000000 to 1000000 Å");
    shell("shell: empty range", with().underfocus(50000, 5000), 0, FitField::Underfocus, "",
          "--min-defocus 50000 and --max-defocus 5000: the defocus range is empty; the smallest underfocus must be "
          "below the largest");
    shell("shell: astigmatism before the band", with().set(&FitRequest::maxAstigmatism, -5).band(NaN, NaN), 0,
          FitField::Astigmatism, "max-astigmatism", "it must be a number from 0 to 100000 Å");
    shell("shell: band no numbers", with().band(NaN, NaN), 0, FitField::Band, "band",
          "give the band as LOW:HIGH, two resolutions in Å such as 30:5");
    shell("shell: reversed band", with().band(5, 30), 0, FitField::Band, "band",
          "the band is empty: its first resolution must be the larger, and both above 0");
    shell("shell: band too wide", with().band(20000, 5), 0, FitField::Band, "band",
          "both resolutions must be from 0.02 to 10000 Å");
    shell("shell: band too fine", with().band(0.01, 0.005), 0, FitField::Band, "band",
          "both resolutions must be from 0.02 to 10000 Å");
    shell("shell: a shift known and fitted", with().phase(0, true), 0, FitField::PhaseShift, "",
          "--phase-shift and --fit-phase-shift: give one of them");
    shell("shell: shift beyond a turn", with().phase(400, false), 0, FitField::PhaseShift, "phase-shift",
          "it must be a number from -360 to 360 degrees");
    shell("shell: search too large", with().underfocus(-1e6, 1e6).band(1, 0.03), 0, FitField::None, "",
          "--min-defocus, --max-defocus, --band: The search is too large: the defocus range of 2e+06 Å");
    shell("shell: search too large with the shift", with().underfocus(-1e6, 1e6).band(1, 0.03).phase({}, true), 0,
          FitField::None, "", "--min-defocus, --max-defocus, --band and --fit-phase-shift: The search is too large");
    shell("shell: beyond the file's Nyquist", with(), 0.3, FitField::HighResolution, "",
          "the band's top, 5 Å, is beyond the Nyquist limit of 6 Å (twice the pixel size of 3 Å the file gives)");
    shell("shell: beyond the given pixel's Nyquist", with().set(&FitRequest::pixelSize, 3), 0.3,
          FitField::HighResolution, "",
          "the band's top, 5 Å, is beyond the Nyquist limit of 6 Å (twice the pixel size of 3 Å given by --pixel)");

    // The window: the dialog's words, the defocus in µm, its instrument not the request's.
    window("window: defaults", with(), 0.1, true, FitField::None, "");
    window("window: instrument not its own", with().set(&FitRequest::voltage, 5000), 0.1, true, FitField::None, "");
    window("window: no number", with().underfocus(NaN, 5000), 0.1, true, FitField::Underfocus,
           "The defocus range and the band must be numbers.");
    window("window: empty range", with().underfocus(20000, 20000), 0.1, true, FitField::Underfocus,
           "The defocus range from 2 µm to 2 µm underfocus is empty: the smallest underfocus must be below the "
           "largest.");
    window("window: empty before beyond", with().underfocus(2e6, 5), 0.1, true, FitField::Underfocus,
           "The defocus range from 200 µm to 0.0005 µm underfocus is empty");
    window("window: beyond", with().underfocus(5000, 5e6), 0.1, true, FitField::Underfocus,
           "The defocus range from 0.5 µm to 500 µm reaches beyond ±100 µm.");
    window("window: reversed band", with().band(5, 30), 0.1, true, FitField::Band,
           "The band from 5 Å to 30 Å is empty: its first resolution must be the larger, and both above 0 Å.");
    window("window: beyond Nyquist", with().band(30, 3), 0.2, true, FitField::HighResolution,
           "The band reaches 3 Å, beyond the micrograph's Nyquist limit of 4 Å (twice its pixel size of 2 Å).");
    window("window: pixel not known yet", with().band(30, 3), 0, true, FitField::None, "");
    window("window: astigmatism", with().set(&FitRequest::maxAstigmatism, 100001), 0.1, true, FitField::Astigmatism,
           "Largest astigmatism (U − V) cannot be 100001 Å: it must be from 0 to 100000 Å.");
    window("window: search too large", with().underfocus(-1e6, 1e6).band(1, 0.03), 0.001, true, FitField::None,
           "The search is too large: the defocus range of 2e+06 Å");
    window("window: search left to the session", with().underfocus(-1e6, 1e6).band(1, 0.03), 0.001, false,
           FitField::None, "");

    // The fit itself, for options built directly: its own words, nm.
    engine("engine: defaults", with(), 0.1, FitField::None, "");
    engine("engine: empty range", with().underfocus(5000, 5000), 0, FitField::Underfocus,
           "The defocus range to search, from -500 nm to -500 nm, is empty.");
    engine("engine: range no number", with().underfocus(5000, NaN), 0, FitField::Underfocus,
           "The defocus range to search, from nan nm to -500 nm, is empty.");
    engine("engine: negative astigmatism", with().set(&FitRequest::maxAstigmatism, -10), 0, FitField::Astigmatism,
           "The largest astigmatism searched must be 0 nm or more, not -3.14159.");
    engine("engine: reversed band", with().band(5, 30), 0, FitField::Band,
           "The band to fit, from 5 Å to 30 Å, is empty: its first resolution must be the larger, and both above 0.");
    engine("engine: shift beyond a turn", with().phase(-400, false), 0, FitField::PhaseShift,
           "The phase shift must be from -360 to 360 degrees.");
    engine("engine: voltage", with().set(&FitRequest::voltage, 0.5), 0, FitField::Voltage,
           "The fit takes accelerating voltages from 1 to 3000 kV, not 0.5 kV.");
    engine("engine: Cs", with().set(&FitRequest::cs, -2), 0, FitField::Cs, "The fit takes a Cs from 0 to 100 mm.");
    engine("engine: beyond", with().underfocus(5000, 2e6), 0, FitField::Underfocus,
           "The defocus range to search must lie within ±100 µm.");
    engine("engine: astigmatism beyond", with().set(&FitRequest::maxAstigmatism, 2e5), 0, FitField::Astigmatism,
           "The largest astigmatism searched must be at most a defocus U - V of 10 µm.");
    engine("engine: amplitude contrast", with().set(&FitRequest::amplitudeContrast, 1), 0, FitField::None,
           "The amplitude contrast must be from 0 to below 1, not 1.");
    engine("engine: beyond Nyquist", with(), 0.3, FitField::HighResolution,
           "The band to fit reaches 5 Å, beyond the micrograph's Nyquist limit of 6 Å (twice its pixel size).");
}

void TestFitRequest::refusals()
{
    QFETCH(FitVoice, voice);
    QFETCH(FitRequest, request);
    QFETCH(double, pixelNm);
    QFETCH(bool, search);
    QFETCH(FitField, field);
    QFETCH(QString, option);
    QFETCH(QString, message);
    const FitProblem problem = fitRequestProblem(request, {voice, pixelNm, search});
    QVERIFY2(message.isEmpty() ? problem.isEmpty() : problem.text.startsWith(message), qPrintable(problem.text));
    QCOMPARE(problem.field, field);
    QCOMPARE(problem.option, option);
    // The fit refuses what its own voice refuses, before any work.
    if (voice == FitVoice::Engine) {
        const CtfFitOptions options = fitOptionsOf(request);
        bool thrown = false;
        try {
            checkFitOptions(options, pixelNm);
        } catch (const OrvalisError &e) {
            thrown = true;
            QCOMPARE(e.text(), problem.text);
        }
        QCOMPARE(thrown, !message.isEmpty());
    }
}

// The fit's options default to the default request's, bit for bit: the shell and the window with
// nothing changed, and a caller of the fit itself, search the same.
void TestFitRequest::defaultsAreTheFitsOptions()
{
    const CtfFitOptions made = fitOptionsOf(FitRequest()), defaults;
    QCOMPARE(made.instrument.voltage, defaults.instrument.voltage);
    QCOMPARE(made.instrument.cs, defaults.instrument.cs);
    QCOMPARE(made.instrument.c5, defaults.instrument.c5);
    QCOMPARE(made.amplitudeContrast, defaults.amplitudeContrast);
    QCOMPARE(made.defocusFrom, -5000.0);
    QCOMPARE(made.defocusTo, -500.0);
    QCOMPARE(made.defocusFrom, defaults.defocusFrom);
    QCOMPARE(made.defocusTo, defaults.defocusTo);
    QCOMPARE(made.maxA2, 942.4777960769379); // pi * 300 nm: U - V of 3000 Å
    QCOMPARE(made.maxA2, defaults.maxA2);
    QCOMPARE(made.lowResolution, defaults.lowResolution);
    QCOMPARE(made.highResolution, defaults.highResolution);
    QCOMPARE(made.fitPhaseShift, defaults.fitPhaseShift);
    QCOMPARE(made.phaseShift, defaults.phaseShift);
}

void TestFitRequest::optionsRoundTrip()
{
    FitRequest r;
    r.voltage = 200;
    r.cs = 1.4;
    r.amplitudeContrast = 0.1;
    r.minUnderfocus = 7000;
    r.maxUnderfocus = 42000;
    r.maxAstigmatism = 1500;
    r.lowResolution = 25;
    r.highResolution = 3.5;
    r.phaseShift = 90;
    const CtfFitOptions o = fitOptionsOf(r);
    QCOMPARE(o.instrument.cs, 1.4e6);
    QCOMPARE(o.defocusFrom, -4200.0);
    QCOMPARE(o.defocusTo, -700.0);
    QCOMPARE(o.highResolution, 0.35);
    QCOMPARE(o.phaseShift, Pi / 2);
    const FitRequest back = fitRequestOf(o);
    QCOMPARE(back.voltage, r.voltage);
    QCOMPARE(back.cs, r.cs);
    QCOMPARE(back.minUnderfocus, r.minUnderfocus);
    QCOMPARE(back.maxUnderfocus, r.maxUnderfocus);
    QCOMPARE(back.maxAstigmatism, r.maxAstigmatism);
    QCOMPARE(back.lowResolution, r.lowResolution);
    QCOMPARE(back.highResolution, r.highResolution);
    QCOMPARE(*back.phaseShift, 90.0);
}

// A doubt says what widens the limit it names: the shell's option, the Fit dialog's field.
void TestFitRequest::doubtsNameTheVoicesLimits_data()
{
    QTest::addColumn<FitVoice>("voice");
    QTest::addColumn<unsigned>("doubts");
    QTest::addColumn<QString>("says");
    const auto row = [](const char *name, FitVoice voice, unsigned doubts, const char *says) {
        QTest::newRow(name) << voice << doubts << QString::fromUtf8(says);
    };
    row("shell: near-focus end", FitVoice::Shell, FitAtNearFocusEnd,
        "beyond the near-focus end of the defocus range searched (500 Å underfocus) than at the fit; widen the "
        "range with --min-defocus");
    row("shell: far end", FitVoice::Shell, FitAtFarFocusEnd, "widen the range with --max-defocus");
    row("shell: astigmatism", FitVoice::Shell, FitAtAstigmatismLimit,
        "(defocus U - V of 3000 Å) and a wider search takes more; raise it with --max-astigmatism");
    row("shell: phase shift", FitVoice::Shell, FitWantsPhaseShift, "fit it with --fit-phase-shift.");
    row("fit: as the shell", FitVoice::Engine, FitWantsPhaseShift, "fit it with --fit-phase-shift.");
    row("window: near-focus end", FitVoice::Window, FitAtNearFocusEnd,
        "widen the range with the Fit dialog's \"Underfocus from\"");
    row("window: far end", FitVoice::Window, FitAtFarFocusEnd, "widen the range with the Fit dialog's \"to\" µm");
    row("window: astigmatism", FitVoice::Window, FitAtAstigmatismLimit,
        "raise it with the Fit dialog's \"Largest astigmatism (U − V)\"");
    row("window: phase shift", FitVoice::Window, FitWantsPhaseShift,
        "fit it with the Fit dialog's \"Fit a phase plate's shift\".");
}

void TestFitRequest::doubtsNameTheVoicesLimits()
{
    QFETCH(FitVoice, voice);
    QFETCH(unsigned, doubts);
    QFETCH(QString, says);
    CtfFitResult r;
    r.values = CtfFitValues();
    r.doubts = doubts;
    r.edgeDefocus = -50;
    r.astigmatismLimit = CtfFitOptions().maxA2;
    const QString text = fitDoubtText(r, fitLimitNames(voice));
    QVERIFY2(text.startsWith(QLatin1String("Not reliable: ")) && text.contains(says), qPrintable(text));
}

// The spectrum a fit judges has the fit's tile unless one is given, and its rings start at the
// band's low end; the one a view shows has the default tile and background.
void TestFitRequest::spectrumForAFit_data()
{
    QTest::addColumn<int>("tile");
    QTest::addColumn<bool>("forFit");
    QTest::addColumn<double>("lowResolution"); // nm
    QTest::addColumn<int>("size");
    QTest::addColumn<double>("backgroundFrequency");
    QTest::newRow("view") << 0 << false << 3.0 << kDefaultTileSize << SpectrumOptions().backgroundFrequency;
    QTest::newRow("view, tile given") << 256 << false << 3.0 << 256 << SpectrumOptions().backgroundFrequency;
    QTest::newRow("fit") << 0 << true << 2.0 << -1 << 0.5;
    QTest::newRow("fit, tile given") << 384 << true << 5.0 << 384 << 0.2;
}

void TestFitRequest::spectrumForAFit()
{
    QFETCH(int, tile);
    QFETCH(bool, forFit);
    QFETCH(double, lowResolution);
    QFETCH(int, size);
    QFETCH(double, backgroundFrequency);
    SyntheticOptions so;
    so.width = so.height = 1024;
    so.pixelSizeNm = 0.1;
    const MicrographImage image = syntheticMicrograph(so, [](double, double) { return 0.0; });
    CtfFitOptions fit;
    fit.lowResolution = lowResolution;
    const PowerSpectrum s = micrographSpectrum(image, {0.1, tile, forFit ? &fit : nullptr, 2});
    QCOMPARE(s.size, size > 0 ? size : fitTileSize(fit, image, 0.1));
    // Nothing is left inside the background frequency, and rings are just outside it.
    bool outside = false;
    for (int j = 0; j < s.size; ++j)
        for (int i = 0; i < s.size; ++i) {
            const double k = std::hypot(s.frequencyX(i), s.frequencyY(j));
            if (k < backgroundFrequency * 0.98)
                QCOMPARE(s.ringsAt(i, j), 0.0f);
            else if (k < backgroundFrequency * 1.2 && s.ringsAt(i, j) != 0)
                outside = true;
        }
    QVERIFY(outside);
}

QTEST_GUILESS_MAIN(TestFitRequest)
#include "test_fitrequest.moc"
