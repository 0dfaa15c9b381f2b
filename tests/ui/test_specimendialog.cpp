// The Specimen and Detector dialog: typed values come back after OK, and a value its rule refuses
// (or no number) keeps the dialog open with a message naming the field.
#include "formdriver.h"
#include "ui/specimen/specimendialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace orvalis;
using namespace orvalis::test;

class TestSpecimenDialog : public QObject {
    Q_OBJECT
private slots:
    void fields_data();
    void fields();
    void cancelKeepsTerms();
};

void TestSpecimenDialog::fields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value"); // what the field's term becomes after OK
    QTest::addColumn<QString>("message");
    QTest::newRow("amplitude contrast") << "edAmplitudeContrast"
                                        << "0.07" << 0.07 << QString();
    QTest::newRow("phase plate") << "edPhaseShift"
                                 << "-90" << -90.0 << QString();
    QTest::newRow("B-factor") << "edBFactor"
                              << "75.5" << 75.5 << QString();
    QTest::newRow("pixel size") << "edPixelSize"
                                << " 1.06 " << 1.06 << QString();
    QTest::newRow("Q of 1") << "edAmplitudeContrast"
                            << "1" << 0.0 << "Sorry,\nAmplitude contrast Q: it must be from 0 to below 1";
    QTest::newRow("negative pixel size") << "edPixelSize"
                                         << "-1" << 0.0
                                         << "Sorry,\nPixel size (Å): it must be from 0 (no detector) to 100";
    QTest::newRow("not a number") << "edBFactor"
                                  << "5O" << 0.0 << "Sorry,\nB-factor (Å²): '5O' is not a valid floating point value";
    QTest::newRow("empty") << "edPhaseShift"
                           << "" << 0.0 << "Sorry,\nPhase shift (deg): '' is not a valid floating point value";
}

void TestSpecimenDialog::fields()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(double, value);
    QFETCH(QString, message);
    SpecimenDialog dialog;
    dialog.setTerms(SpecimenDetector());
    dialog.show();
    auto *edit = dialog.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->setText(typed);
    MessageBoxCatcher box;
    dialog.OKBtn->click();
    QTRY_COMPARE(box.text, message);
    QCOMPARE(dialog.isVisible(), !message.isEmpty());
    const SpecimenDetector t = dialog.terms();
    const double got = field == QLatin1String("edAmplitudeContrast") ? t.amplitudeContrast
        : field == QLatin1String("edPhaseShift")                     ? t.phaseShift
        : field == QLatin1String("edBFactor")                        ? t.bFactor
                                                                     : t.pixelSize;
    QCOMPARE(got, value);
}

void TestSpecimenDialog::cancelKeepsTerms()
{
    SpecimenDetector given;
    given.bFactor = 20;
    given.pixelSize = 0.8;
    SpecimenDialog dialog;
    dialog.setTerms(given);
    QCOMPARE(dialog.edPixelSize->text(), QStringLiteral("0.8"));
    dialog.show();
    dialog.edBFactor->setText(QStringLiteral("99"));
    dialog.CancelBtn->click();
    QVERIFY(dialog.terms() == given);
}

QTEST_MAIN(TestSpecimenDialog)
#include "test_specimendialog.moc"
