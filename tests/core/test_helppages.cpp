// The help pages: every link leads somewhere, and the worked example on the conventions page is what
// the program computes.
#include "../support/startupstate.h"
#include "core/ctfcurves.h"
#include "core/ctffunctions.h"
#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"

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

void TestHelpPages::workedExample()
{
    OpticsState s = startupState();
    const CtfCurves curves = sampleAnalysisCurves(s, s.Defocus, 0, CurveOptions());
    QVERIFY(curves.pointRes && curves.infoLimit);
    const int magnification = magnificationAt(35);

    // Each marked number of the page, by its id, and the program's value for it.
    const QMap<QString, double> program = {
        {QStringLiteral("wavelength"), s.Wavelength},
        {QStringLiteral("sigma"), s.dE / 2.355},
        {QStringLiteral("focalspread"), s.FocalSpread},
        {QStringLiteral("chi1"), Chi(s, 1, 0, s.Defocus)},
        {QStringLiteral("chi5"), Chi(s, 5, 0, s.Defocus)},
        {QStringLiteral("et5"), TemporalEnvelope(s, 5)},
        {QStringLiteral("es5"), SpatialEnvelope(s, 5, s.Defocus)},
        {QStringLiteral("magnification"), double(magnification)},
        {QStringLiteral("alpha35"), alphaAtMagnification(s.Convergence, magnification) * 1000},
        {QStringLiteral("scherzer"), s.Scherzer},
        {QStringLiteral("extscherzer"), s.ExtScherzer},
        {QStringLiteral("passband"), std::sqrt(3.5) * s.Scherzer},
        {QStringLiteral("lichte"), -0.75 * s.Cs * (s.UpTo * s.Wavelength) * (s.UpTo * s.Wavelength)},
        {QStringLiteral("pointrestheory"), s.PointResTheory},
        {QStringLiteral("infolimittheory"), s.InfoLimitTheory},
        {QStringLiteral("pointres"), *curves.pointRes},
        {QStringLiteral("infolimit"), *curves.infoLimit},
    };
    const QString html = readPage(QDir(helpFolder()).filePath(QStringLiteral("conventions.html")));
    static const QRegularExpression marked(QStringLiteral("<span class=\"value\" id=\"([^\"]+)\">([^<]+)</span>"));
    QStringList seen;
    for (auto m = marked.globalMatch(html); m.hasNext();) {
        const auto match = m.next();
        const QString id = match.captured(1);
        const QString written = match.captured(2);
        QVERIFY2(program.contains(id), qPrintable(QStringLiteral("no program value for ") + id));
        const QString computed = formatFixed(program.value(id), decimalsOf(written));
        QVERIFY2(computed == written,
                 qPrintable(QStringLiteral("%1: the page says %2, the program computes %3 (%4)")
                                .arg(id, written, computed, QString::number(program.value(id), 'g', 10))));
        seen << id;
    }
    // A page that lost its marks would otherwise check nothing.
    for (const QString &id : program.keys())
        QVERIFY2(seen.contains(id), qPrintable(QStringLiteral("the page no longer shows ") + id));

    // The section "Negative Cs": such an instrument loads, its Scherzer defocus is an overfocus of
    // sqrt(|Cs| lambda), and a negative Cc is still refused with a message naming the value.
    QVERIFY(html.contains(QStringLiteral("for a negative\nCs the Scherzer defoci are overfocus values")));
    TScopeData corrected = defaultScope();
    corrected.Cs = -0.01e6;
    OpticsState negative = s;
    loadInstrument(negative, corrected);
    QVERIFY(negative.Scherzer > 0);
    QCOMPARE(negative.Scherzer, std::sqrt(0.01e6 * negative.Wavelength));
    TScopeData badCc = defaultScope();
    badCc.Cc = -0.01e6;
    try {
        loadInstrument(negative, badCc);
        QFAIL("a negative Cc loads: the section \"Negative Cs\" of conventions.html is out of date");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().contains(QStringLiteral("Cc (mm) is -0.01")), qPrintable(e.text()));
    }
}

QTEST_GUILESS_MAIN(TestHelpPages)
#include "test_helppages.moc"
