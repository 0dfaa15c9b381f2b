// The conventions of corrected instruments: the corrector's three-fold coefficient typed, kept as
// this program's A3 and shown back as typed; resolutions in nm to two or three decimals or in pm; and
// when the S button's rounding is worth a word.
#include "core/conventions.h"
#include "core/instrumentload.h"
#include "core/orvaliserror.h"
#include "core/units.h"

#include <QtTest>

using namespace orvalis;

class TestConventions : public QObject {
    Q_OBJECT
private slots:
    void a3RoundTrip_data();
    void a3RoundTrip();
    void a3Refused_data();
    void a3Refused();
    void resolutionTexts_data();
    void resolutionTexts();
    void scherzerNote_data();
    void scherzerNote();
};

void TestConventions::a3RoundTrip_data()
{
    QTest::addColumn<int>("convention");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("a3");     // nm, this program's
    QTest::addColumn<QString>("shown"); // the field's text afterwards
    QTest::addColumn<QString>("label");
    const QString program = QStringLiteral("3-fold Astigmatism");
    const QString corrector = QStringLiteral("3-fold Astigmatism A2 (corrector)");
    QTest::newRow("program's A3 as typed") << 0 << "628" << 628.0 << "628" << program;
    QTest::newRow("program's sign dropped") << 0 << "-40" << 40.0 << "-40" << program;
    QTest::newRow("corrector's 100 nm") << 1 << "100" << 2 * Pi * 100 << "100" << corrector;
    QTest::newRow("corrector's tenths kept") << 1 << "12.3" << 2 * Pi * 12.3 << "12.3" << corrector;
    QTest::newRow("corrector's hundredths rounded") << 1 << "12.34" << 2 * Pi * 12.3 << "12.3" << corrector;
    QTest::newRow("corrector's sign dropped") << 1 << "-50" << 2 * Pi * 50 << "50" << corrector;
    QTest::newRow("corrector's zero") << 1 << "0" << 0.0 << "0" << corrector;
}

void TestConventions::a3RoundTrip()
{
    QFETCH(int, convention);
    QFETCH(QString, typed);
    QFETCH(double, a3);
    QFETCH(QString, shown);
    QFETCH(QString, label);
    const auto c = static_cast<A3Convention>(convention);
    const double kept = typedA3(typed, c);
    QCOMPARE(kept, a3);
    // The program's own convention shows its own text (the typed one here).
    QCOMPARE(a3FieldText(kept, c, typed), c == A3Convention::Program ? typed : shown);
    QCOMPARE(a3LabelText(c), label);
    QCOMPARE(a3FromTyped(a3Shown(kept, c), c), kept);
}

void TestConventions::a3Refused_data()
{
    QTest::addColumn<int>("convention");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("program's fraction") << 0 << "1.5"
                                        << "'1.5' is not a valid integer value";
    QTest::newRow("corrector's text") << 1 << "abc"
                                      << "'abc' is not a valid floating point value";
    QTest::newRow("corrector's beyond a metre of A3")
        << 1 << "2e8"
        << "'2e8' is not a valid value for 3-fold Astigmatism A2 (corrector): it must be from -159154943 to "
           "159154943 nm";
}

void TestConventions::a3Refused()
{
    QFETCH(int, convention);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    try {
        typedA3(typed, static_cast<A3Convention>(convention));
        QFAIL("accepted");
    } catch (const OrvalisError &e) {
        QCOMPARE(e.text(), message);
    }
}

void TestConventions::resolutionTexts_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<double>("theory");  // nm
    QTest::addColumn<double>("current"); // nm, 0: none
    QTest::addColumn<QString>("text");
    QTest::newRow("nm as always") << 0 << 0.0712 << 0.0 << "Point-to-Point:  0.07/- nm";
    QTest::newRow("nm three decimals") << 1 << 0.0712 << 0.0 << "Point-to-Point:  0.071/- nm";
    QTest::newRow("pm") << 2 << 0.0712 << 0.0 << "Point-to-Point:  71.2/- pm";
    QTest::newRow("pm both") << 2 << 0.2483 << 0.2411 << "Point-to-Point:  248.3/241.1 pm";
    QTest::newRow("no resolution in pm") << 2 << 0.0 << 0.0 << "Point-to-Point:  -/- pm";
}

void TestConventions::resolutionTexts()
{
    QFETCH(int, unit);
    QFETCH(double, theory);
    QFETCH(double, current);
    QFETCH(QString, text);
    OpticsState s;
    s.PointResTheory = theory;
    if (current > 0)
        s.PointRes = current;
    const auto u = static_cast<ResolutionUnit>(unit);
    QCOMPARE(pointResolutionText(s, u), text);
    // The tree's line is the same text.
    QCOMPARE(scopeTreeTexts(s, u).resolutionChildren.value(0), text);
}

void TestConventions::scherzerNote_data()
{
    QTest::addColumn<double>("optimum");
    QTest::addColumn<double>("set");
    QTest::addColumn<bool>("fine");
    QTest::addColumn<QString>("note");
    QTest::newRow("rounded corrected optimum")
        << 7.7 << 8.0 << false
        << "S rounded the extended Scherzer defocus, 7.7 nm, to 8 nm; Fine defocus (Setup > Options) gives it "
           "exactly.";
    QTest::newRow("underfocus rounded")
        << -12.4 << -12.0 << false
        << "S rounded the extended Scherzer defocus, -12.4 nm, to -12 nm; Fine defocus (Setup > Options) gives it "
           "exactly.";
    QTest::newRow("fine defocus exact") << 7.7 << 7.7 << true << "";
    QTest::newRow("whole optimum") << 8.01 << 8.0 << false << "";
    QTest::newRow("uncorrected optimum") << -67.2 << -67.0 << false << "";
    QTest::newRow("clamped by the range, not rounded") << 7.7 << 5.0 << false << "";
}

void TestConventions::scherzerNote()
{
    QFETCH(double, optimum);
    QFETCH(double, set);
    QFETCH(bool, fine);
    QFETCH(QString, note);
    QCOMPARE(scherzerRoundingNote(optimum, set, fine), note);
}

QTEST_APPLESS_MAIN(TestConventions)
#include "test_conventions.moc"
