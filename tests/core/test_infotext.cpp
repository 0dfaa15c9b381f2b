// The info window's summary: block count by mode, the exact line texts and number forms.
#include "core/infotext.h"
#include "core/instrumentload.h"

#include <QtTest>

using namespace orvalis;

class TestInfoText : public QObject {
    Q_OBJECT
private slots:
    void blocks_data();
    void blocks();
    void lines();
    void csOfCorrectedInstrument();
    void c5OnlyWhenGiven();
};

void TestInfoText::blocks_data()
{
    QTest::addColumn<bool>("plotter");
    QTest::addColumn<bool>("secondCtf");
    QTest::addColumn<int>("count");
    QTest::newRow("analysis") << false << false << 11;
    QTest::newRow("analysis with 2nd CTF down") << false << true << 11;
    QTest::newRow("plotter") << true << false << 22;
}

void TestInfoText::blocks()
{
    QFETCH(bool, plotter);
    QFETCH(bool, secondCtf);
    QFETCH(int, count);
    OpticsState s;
    s.UpTo = 10;
    s.PlotterMode = plotter;
    s.SecondCTF = secondCtf;
    TScopeData second = defaultScope();
    second.Company = "Second";
    const QStringList lines = infoTextLines(s, defaultScope(), second);
    QCOMPARE(lines.size(), count);
    QCOMPARE(lines[0], QString("------------ Microscope 1"));
    QCOMPARE(lines[10], QString());
    if (count == 22) {
        QCOMPARE(lines[11], QString("------------ Microscope 2"));
        QCOMPARE(lines[12], QString("Manufacturer: \tSecond"));
        QCOMPARE(lines[21], QString());
    }
}

void TestInfoText::lines()
{
    OpticsState s;
    s.UpTo = 12.5;
    TScopeData r = defaultScope();
    loadInstrument(s, r);
    r.Voltage = 300;
    r.dE = 0.00002; // general form turns scientific below 1e-4
    r.Cs = 0.5e6;
    const QStringList expected = {
        "------------ Microscope 1",
        "Manufacturer: \tDefault",
        "Model: \t\tUse SetUp Menu to change",
        "Voltage: \t\t300 keV",
        "Cs:  \t\t0.5 mm",
        "Cc:  \t\t1.2 mm",
        "Energy Spread: \t2E-5 eV",
        "Convergence: \t0.30 mrad",
        "Focal Spread: \t1.97 nm", // the state's, loaded from the 200 kV default
        "Max Frequency: \t12.50 nm-1",
        "",
    };
    QCOMPARE(infoTextLines(s, r, r), expected);
}

// A corrected instrument's few tens of micrometres must not read "0.0 mm".
void TestInfoText::csOfCorrectedInstrument()
{
    OpticsState s;
    s.UpTo = 10;
    TScopeData r = defaultScope();
    r.Cs = -0.03e6;
    QCOMPARE(infoTextLines(s, r, r).at(4), QStringLiteral("Cs:  \t\t-0.030 mm"));
}

// An instrument with C5 names it, with its unit, after Cs; the other block keeps its eleven lines.
void TestInfoText::c5OnlyWhenGiven()
{
    OpticsState s;
    s.UpTo = 10;
    s.PlotterMode = true;
    TScopeData corrected = defaultScope();
    corrected.Cs = -0.03e6;
    corrected.C5 = 2.5e6;
    const QStringList lines = infoTextLines(s, corrected, defaultScope());
    QCOMPARE(lines.size(), 23);
    QCOMPARE(lines.at(4), QStringLiteral("Cs:  \t\t-0.030 mm"));
    QCOMPARE(lines.at(5), QStringLiteral("C5:  \t\t2.5 mm"));
    QCOMPARE(lines.at(6), QStringLiteral("Cc:  \t\t1.2 mm"));
    QVERIFY(!lines.mid(12).join(QLatin1Char('\n')).contains(QStringLiteral("C5")));
}

QTEST_APPLESS_MAIN(TestInfoText)
#include "test_infotext.moc"
