// Files of a whole chart: the metafiles must open in other programs as vectors and text (read back
// with the converters emf2svg-conv and wmf2svg), SVG and PDF must parse and carry the labels as text,
// bitmaps must be the chart as shown, and a failed write must leave the old file and the screen alone.
#include "chart/chartexport.h"
#include "chart/chartwidget.h"
#include "chart/metafiledevice.h"
#include "core/orvaliserror.h"

#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>
#include <cmath>

#include "../support/specialfiles.h"
#include "failingwrites.h"
#include "metafilereader.h"

using namespace orvalis;
using namespace orvalis::test;
using Axis = ChartWidget::Axis;

namespace {

const QColor kPanel(212, 208, 200);

void frequencyLabels(Axis axis, QString &text)
{
    if (axis == Axis::Bottom && text == QLatin1String("0"))
        text = QStringLiteral("k,(nm-1)");
    else if (axis == Axis::Left && text == QLatin1String("0"))
        text = QStringLiteral("CTFzero");
}

// Two curves with their own colours over fixed ranges, labels from a callback, as the 1D chart has.
std::unique_ptr<ChartWidget> makeChart(const QImage &backImage = QImage())
{
    auto chart = std::make_unique<ChartWidget>();
    chart->resize(640, 360);
    chart->setPanelColor(kPanel);
    chart->setBackColor(QColor(250, 250, 240));
    chart->setLabelCallback(frequencyLabels);
    chart->setAxisRange(Axis::Bottom, 0, 10);
    chart->setAxisRange(Axis::Left, -1, 1);
    const int a = chart->addSeries(QStringLiteral("Series1"), QStringLiteral("CTF"), Qt::red);
    const int b = chart->addSeries(QStringLiteral("Series4"), QStringLiteral("Combined Envelope"), Qt::blue);
    for (int i = 0; i <= 400; ++i) {
        const double k = i / 40.0;
        chart->appendPoint(a, k, std::sin(k * k) * std::exp(-0.05 * k * k));
        chart->appendPoint(b, k, std::exp(-0.05 * k * k));
    }
    if (!backImage.isNull())
        chart->setBackImage(backImage);
    chart->redraw();
    return chart;
}

} // namespace

class TestChartExport : public QObject {
    Q_OBJECT
private slots:
    void metafileReadBack_data();
    void metafileReadBack();
    void metafileCarriesTheBackImage_data();
    void metafileCarriesTheBackImage();
    void longLineInPieces();
    void emfReferenceDeviceKeepsTheScale_data();
    void emfReferenceDeviceKeepsTheScale();
    void svgAndPdf();
    void bitmaps_data();
    void bitmaps();
    void failureKeepsOldFileAndColour_data();
    void failureKeepsOldFileAndColour();
    void otherFilesLeftAlone_data();
    void otherFilesLeftAlone();
};

void TestChartExport::metafileReadBack_data()
{
    QTest::addColumn<ChartFileFormat>("format");
    QTest::newRow("emf") << ChartFileFormat::Emf;
    QTest::newRow("wmf") << ChartFileFormat::Wmf;
}

void TestChartExport::metafileReadBack()
{
    QFETCH(ChartFileFormat, format);
    QTemporaryDir dir;
    auto chart = makeChart();
    const QString path = dir.filePath(QStringLiteral("chart.mf"));
    saveChart(*chart, path, format, QColor(Qt::white));
    QCOMPARE(chart->panelColor(), kPanel);
    const QString svg = convertedSvg(path, format, dir.filePath(QStringLiteral("chart.svg")));
    QVERIFY2(!svg.startsWith(QLatin1String("FAILED")), qPrintable(svg));
    const QString texts = textOf(svg);
    for (const QString &label : {QStringLiteral("k,(nm-1)"), QStringLiteral("CTFzero"), QStringLiteral("10")})
        QVERIFY2(texts.contains(label),
                 qPrintable(QStringLiteral("no text \"%1\" in:\n%2").arg(label, texts.left(2000))));
    // each curve is one long line of its own colour; the readers name colours differently
    const bool emf = format == ChartFileFormat::Emf;
    const QStringList colours = emf ? QStringList{QStringLiteral("#ff0000"), QStringLiteral("#0000ff")}
                                    : QStringList{QStringLiteral(":red"), QStringLiteral(":blue")};
    for (const QString &colour : colours)
        QVERIFY2(curveCount(svg, colour) >= 1, qPrintable(QStringLiteral("no curve drawn in %1").arg(colour)));
    // the white panel, not the screen's grey
    QVERIFY(svg.contains(emf ? QStringLiteral("fill=\"#ffffff\"") : QStringLiteral("fill:white"), Qt::CaseInsensitive));
    QVERIFY(!svg.contains(QStringLiteral("#d4d0c8"), Qt::CaseInsensitive));
}

void TestChartExport::metafileCarriesTheBackImage_data()
{
    metafileReadBack_data();
}

// The defocus map lies under its axes as a picture: the file holds it as a bitmap record.
void TestChartExport::metafileCarriesTheBackImage()
{
    QFETCH(ChartFileFormat, format);
    QImage map(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            map.setPixel(x, y, qRgb(x * 4, x * 4, y * 4));
    auto chart = makeChart(map);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.mf"));
    saveChart(*chart, path, format);
    const QString svg = convertedSvg(path, format, dir.filePath(QStringLiteral("map.svg")));
    QVERIFY2(!svg.startsWith(QLatin1String("FAILED")), qPrintable(svg));
    QVERIFY2(svg.contains(QStringLiteral("<image")) || svg.contains(QStringLiteral("<svg:image")),
             qPrintable(svg.left(3000)));
}

// A record of a Windows metafile holds at most 65535 points: a longer line goes out in pieces that
// meet, and all of it arrives.
void TestChartExport::longLineInPieces()
{
    MetafileDevice device(MetafileDevice::Format::Wmf, QSize(800, 200));
    QPolygonF line;
    for (int i = 0; i < 40000; ++i)
        line << QPointF(i * 800.0 / 40000, 100 + 90 * std::sin(i / 50.0));
    QPainter painter(&device);
    painter.setPen(QPen(Qt::red, 1));
    painter.drawPolyline(line);
    QVERIFY(painter.end());
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("long.wmf")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(device.data()) > 0);
    file.close();
    const QString svg = convertedSvg(file.fileName(), ChartFileFormat::Wmf, dir.filePath(QStringLiteral("long.svg")));
    QVERIFY2(!svg.startsWith(QLatin1String("FAILED")), qPrintable(svg));
    static const QRegularExpression polyline(QStringLiteral("<polyline[^>]*points=\"([^\"]*)\""));
    int pieces = 0, points = 0;
    for (auto it = polyline.globalMatch(svg); it.hasNext();) {
        const QString list = it.next().captured(1);
        if (!list.contains(QLatin1Char(',')))
            continue;
        ++pieces;
        points += static_cast<int>(list.count(QLatin1Char(',')));
    }
    QCOMPARE(pieces, 3);
    QCOMPARE(points, 40000 + 2); // the two joins are written twice
}

void TestChartExport::emfReferenceDeviceKeepsTheScale_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("dpi");
    QTest::newRow("1D chart") << QSize(617, 247) << 96;
    QTest::newRow("wide, half a millimetre off") << QSize(1514, 400) << 96;
    QTest::newRow("printer") << QSize(2400, 1200) << 300;
}

// Readers place a pixel at its coordinate times the reference device's millimetres per pixel,
// inside the header's frame: the device must have the picture's own dpi, else lines shift by up to a
// pixel and fall between two rows.
void TestChartExport::emfReferenceDeviceKeepsTheScale()
{
    QFETCH(QSize, size);
    QFETCH(int, dpi);
    MetafileDevice device(MetafileDevice::Format::Emf, size, dpi);
    QPainter painter(&device);
    painter.drawLine(0, 0, size.width() - 1, size.height() - 1);
    QVERIFY(painter.end());
    const QByteArray emf = device.data();
    QVERIFY(emf.size() > 88);
    const auto int32At = [&emf](int offset) { return qFromLittleEndian<qint32>(emf.constData() + offset); };
    const double frameWidth = (int32At(32) - int32At(24)) / 100.0; // mm
    const double frameHeight = (int32At(36) - int32At(28)) / 100.0;
    const double pixelsPerMm = double(int32At(72)) / int32At(80);
    QVERIFY2(std::abs(pixelsPerMm - double(int32At(76)) / int32At(84)) < 1e-9, "pixels are not square");
    QVERIFY2(std::abs(frameWidth * pixelsPerMm - size.width()) < 0.1,
             qPrintable(QStringLiteral("%1 px wide as read").arg(frameWidth * pixelsPerMm)));
    QVERIFY2(std::abs(frameHeight * pixelsPerMm - size.height()) < 0.1,
             qPrintable(QStringLiteral("%1 px high as read").arg(frameHeight * pixelsPerMm)));
}

void TestChartExport::svgAndPdf()
{
    QTemporaryDir dir;
    auto chart = makeChart();
    const QString svgPath = dir.filePath(QStringLiteral("c.svg"));
    saveChart(*chart, svgPath, ChartFileFormat::Svg, QColor(Qt::white));
    QSvgRenderer renderer(svgPath);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.viewBoxF(), QRectF(QPointF(0, 0), QSizeF(chart->size())));
    QFile svg(svgPath);
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QVERIFY(textOf(QString::fromUtf8(svg.readAll())).contains(QStringLiteral("k,(nm-1)")));

    const QString pdfPath = dir.filePath(QStringLiteral("c.pdf"));
    saveChart(*chart, pdfPath, ChartFileFormat::Pdf, QColor(Qt::white));
    const QString text = run(QStringLiteral("pdftotext"), {pdfPath, QStringLiteral("-")});
    QVERIFY2(text.contains(QStringLiteral("k,(nm-1)")) && text.contains(QStringLiteral("CTFzero")), qPrintable(text));
    QCOMPARE(chart->panelColor(), kPanel);
}

void TestChartExport::bitmaps_data()
{
    QTest::addColumn<ChartFileFormat>("format");
    QTest::newRow("bmp") << ChartFileFormat::Bmp;
    QTest::newRow("png") << ChartFileFormat::Png;
}

void TestChartExport::bitmaps()
{
    QFETCH(ChartFileFormat, format);
    QTemporaryDir dir;
    auto chart = makeChart();
    const QString path = dir.filePath(QStringLiteral("c.img"));
    saveChart(*chart, path, format, QColor(Qt::white));
    QImage read(path);
    QCOMPARE(read.size(), chart->size());
    QCOMPARE(QColor(read.pixel(0, 0)), QColor(Qt::white));
    // everything else as the screen shows it
    const QImage screen = chart->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect plot = chart->plotRect();
    // the same axes and curves as on screen: the plotting area's corners and the curves' colours
    const QImage file = read.convertToFormat(QImage::Format_RGB32);
    for (const QPoint &corner : {plot.topLeft() + QPoint(2, 2), plot.bottomRight() - QPoint(2, 2)})
        QCOMPARE(QColor(file.pixel(corner)), QColor(screen.pixel(corner)));
    bool red = false, blue = false;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x) {
            // the curves are antialiased: a curve's pixels lean towards its colour without reaching it
            const QRgb c = file.pixel(x, y);
            red = red || qRed(c) - (qGreen(c) + qBlue(c)) / 2 > 60;
            blue = blue || qBlue(c) - (qRed(c) + qGreen(c)) / 2 > 60;
        }
    QVERIFY(red && blue);
    QCOMPARE(QColor(screen.pixel(0, 0)), kPanel);
}

void TestChartExport::failureKeepsOldFileAndColour_data()
{
    QTest::addColumn<ChartFileFormat>("format");
    QTest::addColumn<bool>("fullDisk"); // else a folder without write permission
    for (bool full : {false, true}) {
        const char *how = full ? "full disk" : "read-only folder";
        QTest::addRow("bmp, %s", how) << ChartFileFormat::Bmp << full;
        QTest::addRow("emf, %s", how) << ChartFileFormat::Emf << full;
        QTest::addRow("wmf, %s", how) << ChartFileFormat::Wmf << full;
        QTest::addRow("svg, %s", how) << ChartFileFormat::Svg << full;
        QTest::addRow("pdf, %s", how) << ChartFileFormat::Pdf << full;
    }
}

void TestChartExport::failureKeepsOldFileAndColour()
{
    QFETCH(ChartFileFormat, format);
    QFETCH(bool, fullDisk);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.file"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier");
    }
    auto chart = makeChart();
    QString message;
    {
        const FailingWrites failing(dir.path(), fullDisk);
        if (!failing.effective())
            QSKIP("the superuser writes into read-only folders");
        try {
            saveChart(*chart, path, format, QColor(Qt::white));
        } catch (const OrvalisError &e) {
            message = e.text();
        }
    }
    QVERIFY2(message.startsWith(QStringLiteral("Cannot create file ") + path + QStringLiteral("\r\n")),
             qPrintable(message));
    QVERIFY(message.size() > (QStringLiteral("Cannot create file \r\n") + path).size()); // with the reason
    QCOMPARE(chart->panelColor(), kPanel);
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("earlier"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestChartExport::otherFilesLeftAlone_data()
{
    addSpecialFileRows();
}

// Saving onto a FIFO or a device would replace it with a file and report success.
void TestChartExport::otherFilesLeftAlone()
{
    QFETCH(int, kind);
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    if (!makeSpecialFile(SpecialFile(kind), path))
        QSKIP("this system does not let the test make a device node");
    const mode_t type = fileType(path);
    auto chart = makeChart();
    for (ChartFileFormat format : {ChartFileFormat::Png, ChartFileFormat::Svg}) {
        QString message;
        try {
            saveChart(*chart, path, format);
        } catch (const OrvalisError &e) {
            message = e.text();
        }
        QVERIFY2(message.startsWith(QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(path))
                     && message.contains(what),
                 qPrintable(message));
        QCOMPARE(fileType(path), type);
    }
}

QTEST_MAIN(TestChartExport)
#include "test_chartexport.moc"
