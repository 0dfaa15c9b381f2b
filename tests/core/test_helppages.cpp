// The help pages: every link leads somewhere, and the worked example on the conventions page is what
// the program computes, including its comparisons with CODATA's constants and the cryo-EM programs'
// forms of the CTF.
#include "../support/startupstate.h"
#include "core/cryoemdefocus.h"
#include "core/ctfcurves.h"
#include "core/ctffunctions.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/scopedata.h"
#include "core/specimenterms.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>

using namespace orvalis;

namespace {

QString helpFolder()
{
    return QFINDTESTDATA("../../data/help");
}

QString readPage(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return QString::fromUtf8(f.readAll());
}

// The names a page defines as link targets (<a name="..."> and id="...").
QStringList anchorsOf(const QString &html)
{
    QStringList names;
    static const QRegularExpression anchor(QStringLiteral("(?:name|id)=\"([^\"]+)\""));
    for (auto m = anchor.globalMatch(html); m.hasNext();)
        names << m.next().captured(1);
    return names;
}

// Decimals of a number as written on the page: "0.00251" -> 5, "518" -> 0.
int decimalsOf(const QString &text)
{
    const int point = text.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : text.size() - point - 1;
}

} // namespace

class TestHelpPages : public QObject {
    Q_OBJECT
private slots:
    void linksResolve();
    void workedExample();
    void fittingExample();
};

void TestHelpPages::linksResolve()
{
    const QDir folder(helpFolder());
    const QStringList pages = folder.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY2(pages.contains(QStringLiteral("index.html")), qPrintable(folder.path()));
    QVERIFY(pages.size() >= 8);
    static const QRegularExpression link(QStringLiteral("<(?:a|link)\\b[^>]*\\bhref=\"([^\"]*)\""));
    int internal = 0;
    for (const QString &page : pages) {
        const QString html = readPage(folder.filePath(page));
        for (auto m = link.globalMatch(html); m.hasNext();) {
            const QString href = m.next().captured(1);
            if (href.contains(QLatin1Char(':')))
                continue; // web and mail addresses leave the help
            const QString file = href.section(QLatin1Char('#'), 0, 0);
            const QString fragment = href.section(QLatin1Char('#'), 1);
            const QString target = file.isEmpty() ? page : file;
            QVERIFY2(folder.exists(target), qPrintable(page + QStringLiteral(" links to a missing ") + href));
            if (!fragment.isEmpty())
                QVERIFY2(anchorsOf(readPage(folder.filePath(target))).contains(fragment),
                         qPrintable(page + QStringLiteral(" links to a missing anchor ") + href));
            ++internal;
        }
        // Every page reaches the contents.
        QVERIFY2(html.contains(QStringLiteral("href=\"index.html\"")), qPrintable(page));
    }
    QVERIFY(internal > 50);
}

namespace {

// CODATA 2018: h / sqrt(2 m e) in nm V^1/2 and e / (2 m c^2) in 1/V.
constexpr double CodataWavelengthConstant = 1.2264260;
constexpr double CodataRelativistic = 9.784756e-7;

double codataWavelength(double kilovolts)
{
    const double e = kilovolts * 1000;
    return CodataWavelengthConstant / std::sqrt(e * (1 + CodataRelativistic * e));
}

// The state with another wavelength and the phase factors that follow from it.
OpticsState withWavelength(OpticsState s, double wavelength)
{
    s.Wavelength = wavelength;
    s.ChiDefocusFactor = Pi * wavelength;
    s.ChiCsFactor = Pi * s.Cs * wavelength * wavelength * wavelength / 2;
    return s;
}

// The CTF as cisTEM and CTFFIND write it (defocus positive for underfocus, no amplitude contrast or
// phase shift) and as RELION's CTF::getCTF computes it (its defocus negated, Q0 = 0); all in nm.
double cistemCtf(const OpticsState &s, double k, double phi, double defU, double defV, double angle)
{
    const double df = 0.5 * (defU + defV + std::cos(2 * (phi - angle)) * (defU - defV));
    return -std::sin(Pi * s.Wavelength * k * k * (df - 0.5 * s.Wavelength * s.Wavelength * k * k * s.Cs));
}

double relionCtf(const OpticsState &s, double k, double phi, double defU, double defV, double angle)
{
    const double average = -(defU + defV) * 0.5;
    const double deviation = -(defU - defV) * 0.5;
    const double deltaf = average + deviation * std::cos(2 * (phi - angle));
    const double lambda = s.Wavelength;
    return -std::sin(Pi * lambda * deltaf * k * k + Pi / 2 * s.Cs * lambda * lambda * lambda * k * k * k * k);
}

double programCtf(const OpticsState &s, double k, double phi, double defocus)
{
    return std::sin(Chi(s, k * std::cos(phi), k * std::sin(phi), defocus));
}

// 1/k0 of the CTF's first zero after k = 0 at a defocus, in units of |Cs|^1/4 lambda^3/4.
double firstZeroFactor(const OpticsState &s, double defocus)
{
    double low = 1e-3;
    double high = low;
    while (Chi(s, high, 0, defocus) < 0)
        high += 1e-3;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (Chi(s, mid, 0, defocus) < 0 ? low : high) = mid;
    }
    return 1 / high / (std::pow(std::fabs(s.Cs), 0.25) * std::pow(s.Wavelength, 0.75));
}

// The tree's resolution texts once a curve has been computed for the state.
QStringList resolutionTexts(OpticsState s, double defocus)
{
    const CtfCurves c = sampleAnalysisCurves(s, defocus, 0, CurveOptions());
    s.PointRes = c.pointRes;
    s.InfoLimit = c.infoLimit;
    return scopeTreeTexts(s).resolutionChildren;
}

// The marked values of a page, id -> text, by the class of their span; an id used twice would hide
// one of them and lands in `repeated`.
QMap<QString, QString> marked(const QString &html, const QString &cls, QStringList &repeated)
{
    QMap<QString, QString> found;
    const QRegularExpression span(QStringLiteral("<span class=\"%1\" id=\"([^\"]+)\">([^<]+)</span>").arg(cls));
    for (auto m = span.globalMatch(html); m.hasNext();) {
        const auto match = m.next();
        if (found.contains(match.captured(1)))
            repeated << match.captured(1);
        found.insert(match.captured(1), match.captured(2));
    }
    return found;
}

} // namespace

void TestHelpPages::workedExample()
{
    OpticsState s = startupState();
    const CtfCurves curves = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    QVERIFY(curves.pointRes && curves.infoLimit);
    const int magnification = magnificationAt(35);

    // The wavelength constant as the program has it: at 1 V the relativistic term is below 1e-6.
    TScopeData oneVolt = defaultScope();
    oneVolt.Voltage = 1e-3;
    OpticsState low = s;
    loadInstrument(low, oneVolt);
    const double constant = low.Wavelength * std::sqrt(1 + 9.7845e-7);
    const double d = s.Defocus;
    const OpticsState codata = withWavelength(s, codataWavelength(s.Voltage));

    // The cryo-EM forms of the CTF: the same as this program's for cisTEM, the negative for RELION,
    // with A2 = pi (defU - defV) and defU along kx.
    const double defU = 80;
    const double defV = 60;
    OpticsState astigmatic = s;
    astigmatic.A2 = Pi * (defU - defV);
    for (double k : {0.7, 2.0, 5.0})
        for (double phi : {0.0, 0.4, Pi / 3, Pi / 2, 2.5}) {
            const double here = programCtf(astigmatic, k, phi, -(defU + defV) / 2);
            QVERIFY2(std::fabs(here - cistemCtf(astigmatic, k, phi, defU, defV, 0)) < 1e-12, "cisTEM's CTF");
            QVERIFY2(std::fabs(here + relionCtf(astigmatic, k, phi, defU, defV, 0)) < 1e-12, "RELION's CTF");
        }
    QVERIFY(std::fabs(programCtf(s, 1, 0, d) - cistemCtf(s, 1, 0, -d, -d, 0)) < 1e-12);

    // The three-fold term against the usual coefficient A = A3 / 2 pi, lobes at 90, 210 and 330 degrees.
    OpticsState trefoil = s;
    trefoil.A3 = 1000;
    const double k = 3;
    const double usual = AstigTerm3(trefoil, 0, k) * 3 / (2 * Pi * s.Wavelength * s.Wavelength * k * k * k);
    for (double degrees : {90.0, 210.0, 330.0}) {
        const double phi = degrees * Pi / 180;
        const double lobe = AstigTerm3(trefoil, k * std::cos(phi), k * std::sin(phi));
        QVERIFY2(std::fabs(lobe - 2 * Pi / 3 * s.Wavelength * s.Wavelength * usual * k * k * k) < 1e-12,
                 qPrintable(QString::number(degrees)));
    }

    TScopeData mirroredScope = defaultScope();
    mirroredScope.Cs = -mirroredScope.Cs;
    OpticsState mirrored = s;
    loadInstrument(mirrored, mirroredScope);
    const std::optional<double> mirroredPoint = sampleAnalysisCurves(mirrored, -d, 0, CurveOptions()).pointRes;
    QVERIFY(mirroredPoint);

    // Each marked number of the page, by its id, and the program's value for it.
    // The optional terms, one at a time.
    SpecimenDetector specimen;
    specimen.amplitudeContrast = 0.07;
    OpticsState withQ = s;
    applySpecimen(withQ, specimen);
    specimen = SpecimenDetector();
    specimen.phaseShift = 90;
    OpticsState withPlate = s;
    applySpecimen(withPlate, specimen);
    specimen = SpecimenDetector();
    specimen.bFactor = 50;
    OpticsState withB = s;
    applySpecimen(withB, specimen);
    specimen = SpecimenDetector();
    specimen.pixelSize = 1.2;
    OpticsState withPixel = s;
    applySpecimen(withPixel, specimen);
    OpticsState withC5 = s;
    withC5.C5 = mmToNm(5);
    const TwoFoldDefocus uv = fromCryoEmDefocus({1500, 1300, 40});
    const QMap<QString, double> program = {
        {QStringLiteral("wavelength"), s.Wavelength},
        {QStringLiteral("constantdeficit"), (CodataWavelengthConstant - constant) / CodataWavelengthConstant * 1e5},
        {QStringLiteral("wavelengthdeficit"), (codata.Wavelength - s.Wavelength) / codata.Wavelength * 1e5},
        {QStringLiteral("chi10"), Chi(s, 10, 0, d)},
        {QStringLiteral("chierror10"), Chi(codata, 10, 0, d) - Chi(s, 10, 0, d)},
        {QStringLiteral("sigma"), s.dE / 2.355},
        {QStringLiteral("focalspread"), s.FocalSpread},
        {QStringLiteral("ctf1"), programCtf(s, 1, 0, d)},
        {QStringLiteral("ctf1relion"), relionCtf(s, 1, 0, -d, -d, 0)},
        {QStringLiteral("relionD"), -(defU + defV) / 2},
        {QStringLiteral("a2relion"), astigmatic.A2},
        {QStringLiteral("a3usual"), usual},
        {QStringLiteral("chi1"), Chi(s, 1, 0, d)},
        {QStringLiteral("chi5"), Chi(s, 5, 0, d)},
        {QStringLiteral("et5"), TemporalEnvelope(s, 5)},
        {QStringLiteral("es5"), SpatialEnvelope(s, 5, d)},
        {QStringLiteral("magnification"), double(magnification)},
        {QStringLiteral("alpha35"), alphaAtMagnification(s.Convergence, magnification) * 1000},
        {QStringLiteral("alpha39"), alphaAtMagnification(s.Convergence, magnificationAt(39)) * 1000},
        {QStringLiteral("scherzer"), s.Scherzer},
        {QStringLiteral("extscherzer"), s.ExtScherzer},
        {QStringLiteral("passband"), std::sqrt(3.5) * s.Scherzer},
        {QStringLiteral("scherzer43"), -std::sqrt(4.0 / 3 * s.Cs * s.Wavelength)},
        {QStringLiteral("lichte"), -0.75 * s.Cs * (s.UpTo * s.Wavelength) * (s.UpTo * s.Wavelength)},
        {QStringLiteral("pointrestheory"), s.PointResTheory},
        {QStringLiteral("infolimittheory"), s.InfoLimitTheory},
        {QStringLiteral("zero43"), firstZeroFactor(s, -std::sqrt(4.0 / 3 * s.Cs * s.Wavelength))},
        {QStringLiteral("zeroext"), firstZeroFactor(s, s.ExtScherzer)},
        {QStringLiteral("zeroplain"), firstZeroFactor(s, s.Scherzer)},
        {QStringLiteral("etinfo"), TemporalEnvelope(s, 1 / s.InfoLimitTheory)},
        {QStringLiteral("pointres"), *curves.pointRes},
        {QStringLiteral("infolimit"), *curves.infoLimit},
        {QStringLiteral("overfocus"), -d},
        {QStringLiteral("underfocus"), d},
        {QStringLiteral("pointresmirrored"), *mirroredPoint},
        {QStringLiteral("ctf1q"), std::sin(CtfArgument(withQ, 1, 0, d))},
        {QStringLiteral("ctf1plate"), std::sin(CtfArgument(withPlate, 1, 0, d))},
        {QStringLiteral("bdamp5"), TemporalEnvelope(withB, 5) / TemporalEnvelope(s, 5)},
        {QStringLiteral("c5chi5"), CtfArgument(withC5, 5, 0, d) - Chi(s, 5, 0, d)},
        {QStringLiteral("uvD"), uv.Defocus},
        {QStringLiteral("uvA2"), uv.A2},
        {QStringLiteral("nyquist"), nyquistFrequency(withPixel)},
    };
    const QString html = readPage(QDir(helpFolder()).filePath(QStringLiteral("conventions.html")));
    QStringList repeated;
    QVERIFY(html.contains(QStringLiteral("defU = 1500 &Aring;,\ndefV = 1300 &Aring; at 40&deg;")));
    QCOMPARE(uv.azimuth, 40.0);
    const QMap<QString, QString> numbers = marked(html, QStringLiteral("value"), repeated);
    for (auto it = numbers.cbegin(); it != numbers.cend(); ++it) {
        const QString &id = it.key();
        const QString &written = it.value();
        QVERIFY2(program.contains(id), qPrintable(QStringLiteral("no program value for ") + id));
        const QString computed = formatFixed(program.value(id), decimalsOf(written));
        QVERIFY2(computed == written,
                 qPrintable(QStringLiteral("%1: the page says %2, the program computes %3 (%4)")
                                .arg(id, written, computed, QString::number(program.value(id), 'g', 10))));
    }
    // A page that lost its marks would otherwise check nothing.
    for (const QString &id : program.keys())
        QVERIFY2(numbers.contains(id), qPrintable(QStringLiteral("the page no longer shows ") + id));

    // The tree texts quoted on the page: the built-in instrument up to 5 nm-1, and a corrected one.
    TScopeData corrected = defaultScope();
    corrected.Cs = -0.03e6;
    corrected.Cc = 1.4e6;
    corrected.dE = 0.35;
    corrected.dvv = 0.3e-6;
    corrected.dii = 0.3e-6;
    corrected.Convergence = 0.1e-3;
    OpticsState narrow = s;
    narrow.UpTo = 5;
    OpticsState corrected10 = s;
    corrected10.Initialised = false; // its first load: at its extended Scherzer defocus
    loadInstrument(corrected10, corrected);
    OpticsState corrected15 = corrected10;
    corrected15.UpTo = 15;
    const QStringList texts10 = resolutionTexts(corrected10, corrected10.Defocus);
    const QStringList texts15 = resolutionTexts(corrected15, corrected15.Defocus);
    const QMap<QString, QString> shown = {
        {QStringLiteral("infodash"), resolutionTexts(narrow, d)[1]},
        {QStringLiteral("corrected10cs"), scopeTreeTexts(corrected10).microscopeChildren[2]},
        {QStringLiteral("corrected10point"), texts10[0]},
        {QStringLiteral("corrected10info"), texts10[1]},
        {QStringLiteral("corrected15point"), texts15[0]},
        {QStringLiteral("corrected15info"), texts15[1]},
    };
    QCOMPARE(marked(html, QStringLiteral("text"), repeated), shown);
    QVERIFY2(repeated.isEmpty(), qPrintable(repeated.join(QLatin1Char(' '))));

    // The section "Negative Cs": such an instrument loads, its Scherzer defocus is an overfocus of
    // sqrt(|Cs| lambda), and a negative Cc is still refused with a message naming the value.
    QVERIFY(html.contains(QStringLiteral("for a negative\nCs the Scherzer defoci are overfocus values")));
    QVERIFY(mirrored.Scherzer > 0);
    QCOMPARE(mirrored.Scherzer, std::sqrt(1.2e6 * mirrored.Wavelength));
    TScopeData badCc = defaultScope();
    badCc.Cc = -0.01e6;
    OpticsState refused = s;
    try {
        loadInstrument(refused, badCc);
        QFAIL("a negative Cc loads: the section \"Negative Cs\" of conventions.html is out of date");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().contains(QStringLiteral("Cc (mm) is -0.01")), qPrintable(e.text()));
    }
}

// Independent pixels of a fit's band: half of an n-pixel spectrum's annulus from 30 to 5 Å at 1 Å per
// pixel, the central cross (where the tiles' edges leak) left out.
static int bandPixels(int n)
{
    const double step = 1.0 / (n * 0.1);
    int count = 0;
    for (int j = n / 2; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            if (std::abs(i - n / 2) <= 1 || std::abs(j - n / 2) <= 1)
                continue;
            const double k = std::hypot(i - n / 2, j - n / 2) * step;
            count += k >= 1 / 3.0 && k <= 2.0;
        }
    return count;
}

// The fitting page's example: its conversions between the cryo-EM terms and this program's, and its
// significance figures, as the numbers on the page give them.
void TestHelpPages::fittingExample()
{
    QStringList repeated;
    const QMap<QString, QString> v = marked(readPage(QDir(helpFolder()).filePath(QStringLiteral("fitting.html"))),
                                            QStringLiteral("fit"), repeated);
    QVERIFY2(repeated.isEmpty(), qPrintable(repeated.join(QLatin1Char(','))));
    const auto number = [&v](const char *id) {
        bool ok = false;
        const double x = v.value(QString::fromLatin1(id)).toDouble(&ok);
        if (!ok)
            qFatal("the fitting page has no number %s", id);
        return x;
    };
    const auto same = [&v](const char *id, double expected) {
        const QString text = v.value(QString::fromLatin1(id));
        const QString computed = QString::number(expected, 'f', decimalsOf(text));
        QVERIFY2(
            text == computed,
            qPrintable(QStringLiteral("%1: the page says %2, it is %3").arg(QString::fromLatin1(id), text, computed)));
    };
    const TwoFoldDefocus program = fromCryoEmDefocus(
        CryoEmDefocus{number("defocusU"), number("defocusV"), number("angle")});
    same("defocusNm", program.Defocus);
    same("a2Nm", program.A2);
    QCOMPARE(program.azimuth, number("angle"));
    same("phaseRadians", number("phaseDegrees") * Pi / 180);
    // The page rounds the pixel counts; its significance follows from its rounded count.
    QVERIFY(std::fabs(number("pixels") / bandPixels(1024) - 1) < 0.01);
    QVERIFY(std::fabs(number("smallPixels") / bandPixels(256) - 1) < 0.02);
    same("significance", number("score") * std::sqrt(number("pixels")));
    same("smallSignificance", 0.1 * std::sqrt(number("smallPixels")));
}

QTEST_GUILESS_MAIN(TestHelpPages)
#include "test_helppages.moc"
