// Number texts: every number the user sees, types or saves goes through these forms.
#include "core/numberformat.h"
#include "core/orvaliserror.h"

#include <QtTest>
#include <clocale>
#include <functional>
#include <limits>

using namespace orvalis;

class TestNumberFormat : public QObject {
    Q_OBJECT
private slots:
    void general_data();
    void general();
    void fixed_data();
    void fixed();
    void rounding_data();
    void rounding();
    void integerText_data();
    void integerText();
    void floatText_data();
    void floatText();
    void commaLocaleStillUsesPoint();
    void quotedTexts_data();
    void quotedTexts();
};

void TestNumberFormat::general_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("integer") << 200.0 << "200";
    QTest::newRow("ppm of ripple") << 2.5e-7 * 1e6 << "0.25";
    QTest::newRow("scientific small") << 2.5e-7 << "2.5E-7";
    QTest::newRow("negative scientific") << -2.5e-7 << "-2.5E-7";
    QTest::newRow("1e-4 is positional") << 1e-4 << "0.0001";
    QTest::newRow("just below 1e-4") << 9.99e-5 << "9.99E-5";
    QTest::newRow("1e15 is scientific") << 1e15 << "1E15";
    QTest::newRow("just below 1e15") << 999999999999999.0 << "999999999999999";
    QTest::newRow("15 digits") << 0.1 + 0.2 << "0.3";
    QTest::newRow("third") << 1.0 / 3.0 << "0.333333333333333";
    QTest::newRow("magnification") << 518.0 << "518";
    QTest::newRow("negative") << -67.0 << "-67";
    QTest::newRow("large exponent") << 1.5e20 << "1.5E20";
}

void TestNumberFormat::general()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(formatGeneral(value), text);
}

void TestNumberFormat::fixed_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("convergence label") << 0.322 << 4 << "0.3220";
    QTest::newRow("wavelength") << 0.0025079 << 5 << "0.00251";
    QTest::newRow("scherzer") << -54.86 << 1 << "-54.9";
    QTest::newRow("defocus field") << -67.19 << 0 << "-67";
    QTest::newRow("round up carries") << 9.996 << 2 << "10.00";
    QTest::newRow("seven digits first") << 0.12345649 << 7 << "0.1234565";
    QTest::newRow("tiny to zero") << 0.001 << 2 << "0.00";
    QTest::newRow("negative tiny has no sign") << -0.001 << 2 << "0.00";
    QTest::newRow("integer padded") << 409.6 << 2 << "409.60";
    QTest::newRow("readout distance") << 1000.0 << 2 << "1000.00";
    QTest::newRow("1e7 is scientific") << 1.0e7 << 2 << "1E7";
    QTest::newRow("below 1e7 positional") << 9999999.0 << 0 << "9999999";
    QTest::newRow("zero decimals of half") << 0.5 << 0 << "1";
}

void TestNumberFormat::fixed()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(formatFixed(value, decimals), text);
}

void TestNumberFormat::rounding_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("half down to even") << 2.5 << 2;
    QTest::newRow("half up to even") << 3.5 << 4;
    QTest::newRow("negative half") << -2.5 << -2;
    QTest::newRow("above half") << 2.5000001 << 3;
    QTest::newRow("extended scherzer") << 67.19 << 67;
    QTest::newRow("saturates high") << 1e12 << std::numeric_limits<int>::max();
    QTest::newRow("saturates low") << -1e12 << std::numeric_limits<int>::min();
    QTest::newRow("nan is zero") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestNumberFormat::rounding()
{
    QFETCH(double, value);
    QFETCH(int, rounded);
    QCOMPARE(roundToInt(value), rounded);
}

void TestNumberFormat::integerText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "300" << true << 300;
    QTest::newRow("negative") << "-500" << true << -500;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("blanks around") << " 12 " << true << 12;
    QTest::newRow("int max") << "2147483647" << true << 2147483647;
    QTest::newRow("int min") << "-2147483648" << true << std::numeric_limits<int>::min();
    QTest::newRow("beyond int") << "2147483648" << false << 0;
    QTest::newRow("far beyond int") << "99999999999999999999" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("inner blank") << "1 2" << false << 0;
    QTest::newRow("hex") << "0x10" << false << 0;
}

void TestNumberFormat::integerText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid) {
        QCOMPARE(strToInt(text), value);
        return;
    }
    try {
        strToInt(text);
        QFAIL("accepted a text that is not a whole number");
    } catch (const OrvalisError &e) {
        QCOMPARE(e.text(), QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
}

void TestNumberFormat::floatText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "1.2" << true << 1.2;
    QTest::newRow("exponent") << "2.5E-7" << true << 2.5e-7;
    QTest::newRow("lower exponent") << "3e2" << true << 300.0;
    QTest::newRow("leading point") << ".5" << true << 0.5;
    QTest::newRow("trailing point") << "5." << true << 5.0;
    QTest::newRow("signs") << "-0.6" << true << -0.6;
    QTest::newRow("plus") << "+0.6" << true << 0.6;
    QTest::newRow("comma") << "1,5" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("hex") << "0x1p3" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("bare exponent") << "1e" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("trailing text") << "1.2mm" << false << 0.0;
}

void TestNumberFormat::floatText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    if (valid) {
        QCOMPARE(strToFloat(text), value);
        return;
    }
    try {
        strToFloat(text);
        QFAIL("accepted a text that is not a number");
    } catch (const OrvalisError &e) {
        QCOMPARE(e.text(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
}

void TestNumberFormat::commaLocaleStillUsesPoint()
{
    // Qt takes the C locale from the environment; our texts must not follow it.
    const char *old = std::setlocale(LC_ALL, nullptr);
    const QByteArray saved(old ? old : "C");
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8"))
        QSKIP("no locale with a decimal comma is installed");
    const QString general = formatGeneral(2.5e-7);
    const QString fixed = formatFixed(0.322, 4);
    const double parsed = strToFloat(QStringLiteral("1.5"));
    std::setlocale(LC_ALL, saved.constData());
    QCOMPARE(general, QStringLiteral("2.5E-7"));
    QCOMPARE(fixed, QStringLiteral("0.3220"));
    QCOMPARE(parsed, 1.5);
}

void TestNumberFormat::quotedTexts_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("quoted");
    const QString ellipsis(QChar(0x2026));
    const QString forty = QString(20, u'a') + QString(20, u'b');
    QTest::newRow("short") << "1,2"
                           << "1,2";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("40 characters whole") << forty << forty;
    QTest::newRow("41: the middle left out")
        << QString(20, u'a') + u'X' + QString(20, u'b') << QString(20, u'a') + ellipsis + QString(19, u'b');
    QTest::newRow("32767 characters") << QString(100, u'h') + QString(32567, u'x') + QString(100, u't')
                                      << QString(20, u'h') + ellipsis + QString(19, u't');
    QTest::newRow("second line left out") << "12a\n3.5"
                                          << "12a" + ellipsis;
    QTest::newRow("CR LF") << "abc\r\ndef"
                           << "abc" + ellipsis;
    QTest::newRow("paragraph separator") << QStringLiteral("x\u2029y") << "x" + ellipsis;
    QTest::newRow("long first line of two")
        << QString(50, u'q') + "\n1" << QString(20, u'q') + ellipsis + QString(19, u'q') + ellipsis;
    // 19 letters and a pair (U+1F600) across the cut at 20, a pair across the tail's start.
    const QString pair = QStringLiteral("\U0001F600");
    QTest::newRow("surrogate pairs kept whole") << QString(19, u'a') + pair + QString(30, u'm') + pair
            + QString(18, u'z') << QString(19, u'a') + ellipsis + QString(18, u'z');
}

// A message quotes one short line of what was typed, however much that was.
void TestNumberFormat::quotedTexts()
{
    QFETCH(QString, typed);
    QFETCH(QString, quoted);
    QCOMPARE(inputExcerpt(typed), quoted);
    QVERIFY(quoted.size() <= kInputExcerptMax + 1);
    QVERIFY2(QStringView(quoted).isValidUtf16(), "a surrogate pair was split");
    for (const auto &convert :
         {std::function<void()>([&] { strToFloat(typed); }), std::function<void()>([&] { strToInt(typed); })}) {
        try {
            convert();
            QFAIL("a text that is no number was taken");
        } catch (const OrvalisError &e) {
            QVERIFY2(e.text().startsWith(QLatin1Char('\'') + quoted + QStringLiteral("' is not a valid ")),
                     qPrintable(e.text()));
        }
    }
}

QTEST_APPLESS_MAIN(TestNumberFormat)
#include "test_numberformat.moc"
