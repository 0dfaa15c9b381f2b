// The spectrum's picture saved as 16-bit TIFF and MRC float, read back by the readers (which are
// checked against independent writers), and refused with a message naming the file.
#include "core/orvaliserror.h"
#include "micrograph/micrographreader.h"
#include "micrograph/spectrumfile.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace orvalis;

class TestSpectrumFiles : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void levels();
    void refused();
};

void TestSpectrumFiles::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("MRC float") << "s.mrc";
    QTest::newRow("16-bit TIFF") << "s.tif";
}

void TestSpectrumFiles::roundTrip()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    const int n = 260;
    std::vector<float> values(std::size_t(n) * n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            values[std::size_t(y) * n + x] = float(std::sin(0.1 * x) * std::cos(0.07 * y) - 0.002 * y);
    const QString path = dir.filePath(name);
    const bool mrc = name.endsWith(QLatin1String(".mrc"));
    const std::vector<std::uint16_t> levels = greyLevels16(values);
    if (mrc)
        writeFloatMrc(path, n, values, 0.25);
    else
        writeGreyTiff16(path, n, levels);
    const MicrographImage image = readMicrograph(path);
    QCOMPARE(image.width, n);
    QCOMPARE(image.height, n);
    for (std::size_t i = 0; i < values.size(); i += 97)
        QCOMPARE(image.data[i], mrc ? values[i] : float(levels[i]));
    if (mrc)
        QVERIFY(std::fabs(image.pixelSizeNm - 0.25) < 1e-6);
}

// The levels span the full 16 bits between the percentiles and keep the values' order; a few
// outliers do not flatten the rest.
void TestSpectrumFiles::levels()
{
    std::vector<float> values(1000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = float(i);
    values[0] = -1e9f;
    values[999] = 1e9f;
    values[500] = std::nanf("");
    const std::vector<std::uint16_t> l = greyLevels16(values);
    QCOMPARE(l[0], std::uint16_t(0));
    QCOMPARE(l[999], std::uint16_t(65535));
    QCOMPARE(l[500], std::uint16_t(0));
    QVERIFY(l[400] > 20000 && l[400] < 30000);
    for (std::size_t i = 2; i < 999; ++i)
        if (i != 500 && i != 501)
            QVERIFY(l[i] >= l[i - 1]);
}

void TestSpectrumFiles::refused()
{
    const std::vector<float> values(16, 1.0f);
    const QString path = QStringLiteral("/nonexistent-folder/picture.mrc");
    for (int which = 0; which < 3; ++which) {
        try {
            if (which == 0)
                writeFloatMrc(path, 4, values, 0.1);
            else if (which == 1)
                writeGreyTiff16(QStringLiteral("/nonexistent-folder/picture.tif"), 4, greyLevels16(values));
            else
                writeFloatMrc(path, 5, values, 0.1); // sizes that do not match
            QFAIL("no error");
        } catch (const OrvalisError &e) {
            QVERIFY2(e.text().contains(QStringLiteral("picture.")), qPrintable(e.text()));
        }
    }
}

QTEST_GUILESS_MAIN(TestSpectrumFiles)
#include "test_spectrumfiles.moc"
