// The one model of a micrograph's CTF: users' units in, against the CTF written out here in Å the way
// the cryo-EM programs write it; the phase -> frequency map that every equal-phase average uses; and
// the fitting page's worked example, which the model must reproduce from the page's own numbers.
#include "core/orvaliserror.h"
#include "micrograph/ctfmodel.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

using namespace orvalis;

namespace {

constexpr double kPi = 3.14159265358979323846;

// The CTF in Å, independent of core: the defocus along the direction phi, U along `angle`, and
// lambda from the same relativistic constants the program uses.
struct ClosedForm {
    double kV, csMm, c5Mm, q, u, v, angle, phaseDeg;

    double lambda() const // Å
    {
        const double volts = kV * 1000;
        return 12.2639 / std::sqrt(volts + 9.7845e-7 * volts * volts);
    }
    // k in nm^-1, phi in rad
    double chi(double k, double phi, double u0, double v0) const
    {
        const double s = k / 10; // Å^-1
        const double l = lambda();
        const double deltaF = -((u0 + v0) / 2 + (u0 - v0) / 2 * std::cos(2 * (phi - angle * kPi / 180)));
        return kPi * l * s * s * deltaF + kPi / 2 * csMm * 1e7 * l * l * l * std::pow(s, 4)
            + kPi / 3 * c5Mm * 1e7 * std::pow(l, 5) * std::pow(s, 6);
    }
    double chi(double k, double phi) const { return chi(k, phi, u, v); }
    double ctf(double k, double phi) const { return std::sin(chi(k, phi) - std::asin(q) - phaseDeg * kPi / 180); }
    CtfUserValues values() const { return {kV, csMm, c5Mm, q, {u, v, angle}, phaseDeg}; }
};

void addCases()
{
    QTest::addColumn<ClosedForm>("form");
    QTest::addColumn<double>("k");       // nm^-1
    QTest::addColumn<double>("degrees"); // of k from the kx axis
    QTest::newRow("300 kV round") << ClosedForm{300, 2.7, 0, 0.07, 15000, 15000, 0, 0} << 1.5 << 20.0;
    QTest::newRow("300 kV astigmatic, along U") << ClosedForm{300, 2.7, 0, 0.07, 20500, 19500, 30, 0} << 2.0 << 30.0;
    QTest::newRow("300 kV astigmatic, along V") << ClosedForm{300, 2.7, 0, 0.07, 20500, 19500, 30, 0} << 2.0 << 120.0;
    QTest::newRow("200 kV phase plate at 90 deg") << ClosedForm{200, 2.0, 0, 0.1, 8000, 7000, 100, 90} << 3.0 << 200.0;
    QTest::newRow("80 kV with C5") << ClosedForm{80, 1.0, 5, 0.1, 30000, 29000, 75, 0} << 2.5 << 10.0;
    QTest::newRow("corrected, negative Cs, overfocus")
        << ClosedForm{300, -0.03, 2, 0, -500, -800, 160, 45} << 5.0 << 60.0;
    QTest::newRow("no amplitude contrast, near focus") << ClosedForm{120, 1.4, 0, 0, 300, 100, 0, 0} << 4.0 << 95.0;
}

} // namespace

Q_DECLARE_METATYPE(ClosedForm)

class TestCtfModel : public QObject {
    Q_OBJECT

private slots:
    void userUnits_data() { addCases(); }
    void userUnits();
    void phaseToFrequency_data() { addCases(); }
    void phaseToFrequency();
    void noRingBeyondTheTurningPoint();
    void refusesBadValues_data();
    void refusesBadValues();
    void fittingPageExample();
    void tiltConvention_data();
    void tiltConvention();
};

// Values in kV, mm, Å and degrees give the closed form's chi and CTF, and come back in the units
// they went in.
void TestCtfModel::userUnits()
{
    QFETCH(ClosedForm, form);
    QFETCH(double, k);
    QFETCH(double, degrees);
    const double phi = degrees * kPi / 180;
    const CtfModel model(form.values());
    const double kx = k * std::cos(phi), ky = k * std::sin(phi);

    QVERIFY(std::fabs(model.wavelength() * 10 / form.lambda() - 1) < 1e-14);
    QCOMPARE(model.Defocus, -(form.u + form.v) / 20);
    QVERIFY(std::fabs(model.A2 - kPi * (form.u - form.v) / 10) < 1e-12 * (1 + std::fabs(model.A2)));
    QVERIFY(std::fabs(model.csMm() - form.csMm) < 1e-15);
    QCOMPARE(model.voltage(), form.kV);
    QCOMPARE(model.amplitudeContrast(), form.q);
    QVERIFY(std::fabs(model.phaseShiftRadians() - form.phaseDeg * kPi / 180) < 1e-15);
    QVERIFY(std::fabs(model.phaseOffset() - std::asin(form.q) - form.phaseDeg * kPi / 180) < 1e-15);

    const double expected = form.chi(k, phi);
    QVERIFY2(
        std::fabs(model.chi(kx, ky) - expected) < 1e-10 * (1 + std::fabs(expected)),
        qPrintable(QStringLiteral("chi %1 here, %2 written out").arg(model.chi(kx, ky), 0, 'g', 17).arg(expected)));
    QVERIFY2(std::fabs(model.ctf(kx, ky) - form.ctf(k, phi)) < 1e-10 * (1 + std::fabs(expected)),
             qPrintable(QStringLiteral("CTF %1 here, %2 written out").arg(model.ctf(kx, ky)).arg(form.ctf(k, phi))));
    // The round model (U = V = their mean) at k is what an equal-phase average's bins follow.
    const double mean = (form.u + form.v) / 2;
    const double round = std::sin(form.chi(k, 0, mean, mean) - std::asin(form.q) - form.phaseDeg * kPi / 180);
    QVERIFY(std::fabs(model.roundCtfSquared(k) - round * round) < 1e-10 * (1 + std::fabs(expected)));

    // The fit's terms sum to the same chi at (ax, ay) = A2 (cos 2t, sin 2t).
    const ChiTerms t = model.terms(kx, ky);
    const double sum = t.fixed + model.Defocus * t.defocus + model.A2 * std::cos(2 * model.azimuth) * t.astigmatismX
        + model.A2 * std::sin(2 * model.azimuth) * t.astigmatismY;
    QVERIFY2(std::fabs(sum - expected) < 1e-10 * (1 + std::fabs(expected)),
             qPrintable(QString::number(sum - expected)));

    // Defocus and A2 in nm with the azimuth in degrees are the same model.
    CtfModel program(CtfInstrument::fromUserUnits(form.kV, form.csMm, form.c5Mm), form.q);
    program.setDefocus(TwoFoldDefocus{model.Defocus, model.A2, form.angle});
    program.setPhaseShiftDegrees(form.phaseDeg);
    QVERIFY(std::fabs(program.chi(kx, ky) - expected) < 1e-10 * (1 + std::fabs(expected)));
}

// The frequency phase -> frequency gives has, in the round model, the phase the whole model has at
// the pixel; a round model maps every pixel onto its own frequency.
void TestCtfModel::phaseToFrequency()
{
    QFETCH(ClosedForm, form);
    QFETCH(double, k);
    QFETCH(double, degrees);
    const double phi = degrees * kPi / 180;
    const CtfModel model(form.values());
    const double kx = k * std::cos(phi), ky = k * std::sin(phi);
    const double equivalent = model.equivalentFrequency(kx, ky);
    QVERIFY2(equivalent > 0, qPrintable(QString::number(equivalent)));
    const double mean = (form.u + form.v) / 2;
    const double target = form.chi(k, phi);
    QVERIFY2(std::fabs(form.chi(equivalent, 0, mean, mean) - target) < 1e-9 * (1 + std::fabs(target)),
             qPrintable(QStringLiteral("round phase %1 at %2, the pixel's %3")
                            .arg(form.chi(equivalent, 0, mean, mean), 0, 'g', 15)
                            .arg(equivalent)
                            .arg(target, 0, 'g', 15)));
    if (form.u == form.v)
        QVERIFY(std::fabs(equivalent - k) < 1e-12 * k);
    // The same through core's factors taken once, as the averages take them.
    QCOMPARE(equivalentRoundFrequency(model.phase(), kx, ky), equivalent);
    QCOMPARE(model.equivalentFrequency(0, 0), 0.0);
}

// Past the turning point of an underfocus' phase the astigmatism can take the phase below the round
// model's least: no ring holds the pixel.
void TestCtfModel::noRingBeyondTheTurningPoint()
{
    const CtfModel model(CtfUserValues{300, 2.7, 0, 0.07, {21000, 19000, 0}, 0});
    const PhaseFactors p = model.phase();
    const double turning = std::sqrt(-p.df / (2 * p.cs)); // nm^-1
    QVERIFY(model.equivalentFrequency(turning, 0) < 0);
    QVERIFY(model.equivalentFrequency(0.5, 0) > 0);
}

void TestCtfModel::refusesBadValues_data()
{
    QTest::addColumn<double>("kV");
    QTest::addColumn<double>("csMm");
    QTest::addColumn<double>("q");
    QTest::addColumn<QString>("message");
    QTest::newRow("no voltage") << 0.0 << 2.7 << 0.07 << QStringLiteral("voltage must be above 0 kV");
    QTest::newRow("Cs not a number") << 300.0 << std::nan("") << 0.07 << QStringLiteral("Cs and C5 must be numbers");
    QTest::newRow("amplitude contrast 1") << 300.0 << 2.7 << 1.0 << QStringLiteral("from 0 to below 1, not 1");
}

void TestCtfModel::refusesBadValues()
{
    QFETCH(double, kV);
    QFETCH(double, csMm);
    QFETCH(double, q);
    QFETCH(QString, message);
    try {
        CtfModel model(CtfUserValues{kV, csMm, 0, q, {}, 0});
        QFAIL("accepted");
    } catch (const OrvalisError &e) {
        QVERIFY2(e.text().contains(message), qPrintable(e.text()));
    }
}

// The fitting page's worked example: its cryo-EM values and phase shift in the model, and this
// program's Defocus, A2, azimuth and CTFFIND's phase in radians as the page writes them.
void TestCtfModel::fittingPageExample()
{
    QFile page(QFINDTESTDATA("../../data/help/fitting.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QMap<QString, QString> marked;
    static const QRegularExpression span(QStringLiteral("<span class=\"fit\" id=\"([^\"]+)\">([^<]+)</span>"));
    for (auto m = span.globalMatch(html); m.hasNext();) {
        const auto match = m.next();
        marked.insert(match.captured(1), match.captured(2));
    }
    QVERIFY(html.contains(QStringLiteral("A 300 kV, Cs 2.7 mm micrograph")));
    const auto number = [&marked](const char *id) { return marked.value(QString::fromLatin1(id)).toDouble(); };
    const auto same = [&marked](const char *id, double value) {
        const QString text = marked.value(QString::fromLatin1(id));
        const int point = text.indexOf(QLatin1Char('.'));
        const QString computed = QString::number(value, 'f', point < 0 ? 0 : int(text.size() - point - 1));
        QVERIFY2(
            text == computed,
            qPrintable(
                QStringLiteral("%1: the page says %2, the model %3").arg(QString::fromLatin1(id), text, computed)));
    };
    CtfUserValues values;
    values.defocus = {number("defocusU"), number("defocusV"), number("angle")};
    values.phaseShift = number("phaseDegrees");
    const CtfModel model(values);
    same("defocusNm", model.Defocus);
    same("a2Nm", model.A2);
    QVERIFY(std::fabs(model.azimuth - number("angle") * kPi / 180) < 1e-15);
    same("phaseRadians", model.phaseShiftRadians());
}

// The side at axis + 90 degrees lies further from focus; the axis itself keeps the centre's defocus.
void TestCtfModel::tiltConvention_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("axis");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("offset"); // Å at 1.5 Å per pixel
    const double t45 = 1.5 * 1000;
    QTest::newRow("axis along x, +y further") << 45.0 << 0.0 << 0.0 << 1000.0 << t45;
    QTest::newRow("axis along x, -y nearer") << 45.0 << 0.0 << 0.0 << -1000.0 << -t45;
    QTest::newRow("on the axis") << 45.0 << 0.0 << 1000.0 << 0.0 << 0.0;
    QTest::newRow("axis along y, -x further") << 45.0 << 90.0 << -1000.0 << 0.0 << t45;
    QTest::newRow("axis 30, normal at 120")
        << 20.0 << 30.0 << -500.0 << 866.025403784 << std::tan(0.349065850399) * 1.5 * 1000;
    QTest::newRow("untilted") << 0.0 << 75.0 << 700.0 << -300.0 << 0.0;
}

void TestCtfModel::tiltConvention()
{
    QFETCH(double, angle);
    QFETCH(double, axis);
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, offset);
    QVERIFY(std::abs(tiltDefocusOffset({angle, axis}, 1.5, x, y) - offset) < 1e-6);
}

QTEST_GUILESS_MAIN(TestCtfModel)
#include "test_ctfmodel.moc"
