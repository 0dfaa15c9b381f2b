// The shell program run as a process: for a table of states, what it prints and saves is byte for
// byte what the window saves for the same state; its library commands work on the window's store;
// every refused command line and every failed file says why, exits with its status and leaves no
// file behind.
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "core/scopedata.h"
#include "store/regexport.h"
#include "store/regfiles.h"
#include "store/scopelibrary.h"
#include "ui/widgets/pixelimage.h"

#include <QFileDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace orvalis;
using namespace orvalis::test;

using StateSetup = std::function<void(TForm1 &)>;
Q_DECLARE_METATYPE(StateSetup)

namespace {

const QSize windowSize(1000, 720);
const QString libraryCompany = QStringLiteral("Acme Optics");
const QString libraryModel = QStringLiteral("Cryo 300");

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runCtf(const QStringList &arguments,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ORVALIS_CTF), arguments);
    if (!process.waitForFinished(60000))
        qFatal("orvalis-ctf did not finish");
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

// Answers the next save dialog with a path.
class SaveAs {
public:
    explicit SaveAs(QString path) : m_path(std::move(path))
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }

private:
    void poll()
    {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(m_path);
            QTest::keyClick(edit, Qt::Key_Return);
            return;
        }
        if (++m_tries < 400)
            QTimer::singleShot(5, &m_context, [this] { poll(); });
    }
    QString m_path;
    QObject m_context;
    int m_tries = 0;
};

// What a save command of the window writes under `name`; empty when the command is not offered.
QByteArray windowSaves(TForm1 &form, const char *item, const QString &path)
{
    QAction *save = action(&form, item);
    if (!save->isEnabled())
        return {};
    SaveAs answer(path);
    save->trigger();
    return fileBytes(path);
}

ScopeData libraryData()
{
    ScopeData data;
    data.Voltage = QStringLiteral("300");
    data.Cs = QStringLiteral("2.7");
    data.Cc = QStringLiteral("2.7");
    data.dE = QStringLiteral("0.8");
    data.dvv = QStringLiteral("0.06");
    data.dii = QStringLiteral("0.1");
    data.Convergence = QStringLiteral("0.2");
    return data;
}

void loadLibraryScope(TForm1 &form)
{
    if (!form.setup().ApplyScopeRecord(ScopeRecordFromData(libraryCompany, libraryModel, libraryData())))
        qFatal("the window refused the library instrument");
}

void showPattern(TForm1 &form)
{
    action(&form, "Show2DCTF1")->trigger();
}

// The map shares the 1D chart's frequency ticks (it lies below it on the same scale): the 1D chart
// is compared before it is shown, as the shell program draws it alone.
void showMap(TForm1 &form)
{
    action(&form, "N3D1")->trigger();
    child<ChartWidget>(&form, "Chart2")->redraw();
}

QByteArray treeTexts(TForm1 &form)
{
    QByteArray out;
    auto *tree = child<QTreeWidget>(&form, "TreeView1");
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *node = tree->topLevelItem(i);
        out += node->text(0).toUtf8() + '\n';
        for (int c = 0; c < node->childCount(); ++c)
            out += "  " + node->child(c)->text(0).toUtf8() + '\n';
    }
    return out;
}

// Equal bytes; otherwise both are left in the working folder for a look, named after the test row.
bool sameBytes(const QByteArray &actual, const QByteArray &expected, const QString &what)
{
    if (actual == expected)
        return true;
    QString name = QString::fromLatin1(QTest::currentDataTag()) + QLatin1Char('-') + what;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.-]+")), QStringLiteral("_"));
    for (const auto &[suffix, bytes] :
         {std::pair{QStringLiteral(".cli"), &actual}, std::pair{QStringLiteral(".window"), &expected}}) {
        QFile file(QDir::current().filePath(name + suffix));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(*bytes);
    }
    qWarning("%s differs from the window's: both are in %s", qPrintable(what), qPrintable(QDir::currentPath()));
    return false;
}

QString sizeText(const QSize &size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void sameAsWindow_data();
    void sameAsWindow();
    void derivedValues();
    void libraryOnTheWindowsStore();
    void failures_data();
    void failures();
    void picturesWithoutDisplay();
    void opticalTerms_data();
    void opticalTerms();
    void figures_data();
    void figures();
};

void TestCli::sameAsWindow_data()
{
    QTest::addColumn<StateSetup>("setup");
    QTest::addColumn<QStringList>("chartOptions"); // the state's, and the chart's own
    QTest::newRow("start-up") << StateSetup(showPattern) << QStringList();
    QTest::newRow("monochrome") << StateSetup([](TForm1 &form) {
        form.setup().setMonochrome(true);
        typeAndEnter(&form, "edAstigm", QStringLiteral("30"));
    }) << QStringList{"--monochrome", "--a2", "30"};
    QTest::newRow("astigmatism and a direction") << StateSetup([](TForm1 &form) {
        showPattern(form);
        typeAndEnter(&form, "edAstigm", QStringLiteral("60"));
        typeAndEnter(&form, "edAstigm3", QStringLiteral("1500"));
        // 50 px right of and above the centre: -45 degrees.
        QTest::mouseClick(child<QWidget>(&form, "Image1"), Qt::LeftButton, {}, QPoint(154, 54));
    }) << QStringList{"--a2", "60", "--a3", "1500", "--direction", "-45"};
    QTest::newRow("view choices") << StateSetup([](TForm1 &form) {
        action(&form, "Intensity1")->trigger();
        action(&form, "Symmetr1")->trigger();
        action(&form, "Spatial1")->trigger();
        showPattern(form);
        child<QScrollBar>(&form, "ScrollBar1")->setValue(180);
    }) << QStringList{"--intensity", "--symmetric", "--envelopes", "temporal,combined", "--defocus", "-180"};
    QTest::newRow("RELION's sign") << StateSetup([](TForm1 &form) {
        action(&form, "RelionSign1")->trigger();
        showPattern(form);
    }) << QStringList{"--relion-sign"};
    QTest::newRow("symmetric, no envelopes but one") << StateSetup([](TForm1 &form) {
        action(&form, "Symmetr1")->trigger();
        action(&form, "Temporal1")->trigger();
        action(&form, "Combined1")->trigger();
    }) << QStringList{"--symmetric", "--envelopes", "spatial"};
    QTest::newRow("while the defocus slider is dragged") << StateSetup([](TForm1 &form) {
        showPattern(form);
        auto *slider = child<QScrollBar>(&form, "ScrollBar1");
        slider->setValue(100); // the first move after loading counts as the program's own
        slider->setValue(120);
    }) << QStringList{"--samples", "coarse", "--defocus", "-120"};
    QTest::newRow("library instrument, magnification") << StateSetup([](TForm1 &form) {
        loadLibraryScope(form);
        showPattern(form);
        child<QScrollBar>(&form, "ScrollBar4")->setValue(30);
        typeAndEnter(&form, "edDefocus", QStringLiteral("-310"));
    }) << QStringList{"--scope", "acme optics/CRYO 300", "--magnification-position", "30", "--defocus", "-310"};
    QTest::newRow("plotter, two instruments") << StateSetup([](TForm1 &form) {
        action(&form, "N1DCTFPlotMode1")->trigger();
        QTest::mouseClick(child<QToolButton>(&form, "btnEnvelopes"), Qt::LeftButton);
        // Each CTF takes the slider's whole-number defocus when it becomes the active one again.
        child<QScrollBar>(&form, "ScrollBar1")->setValue(100);
        QTest::mouseClick(child<QToolButton>(&form, "btn2ndCTF"), Qt::LeftButton);
        loadLibraryScope(form);
        child<QScrollBar>(&form, "ScrollBar1")->setValue(150);
        QTest::mouseClick(child<QToolButton>(&form, "btn1stCTF"), Qt::LeftButton);
    }) << QStringList{"--plotter", "Acme Optics/Cryo 300", "--defocus", "-100", "--defocus2",
                      "-150",      "--plotter-envelopes"};
    QTest::newRow("plotter, the built-in instrument twice") << StateSetup([](TForm1 &form) {
        action(&form, "N1DCTFPlotMode1")->trigger();
        typeAndEnter(&form, "edDefocus", QStringLiteral("-60"));
        QTest::mouseClick(child<QToolButton>(&form, "btn2ndCTF"), Qt::LeftButton);
        typeAndEnter(&form, "edDefocus", QStringLiteral("-20"));
        QTest::mouseClick(child<QToolButton>(&form, "btn1stCTF"), Qt::LeftButton);
    }) << QStringList{"--plotter", "default", "--defocus", "-60", "--defocus2", "-20"};
    QTest::newRow("negative Cs, overfocus") << StateSetup([](TForm1 &form) {
        TScopeData scope = defaultScope();
        scope.Cs = -1.2e6;
        if (!form.setup().ApplyScopeRecord(scope))
            qFatal("the window refused a negative Cs");
        showPattern(form);
        typeAndEnter(&form, "edDefocus", QStringLiteral("80"));
        typeAndEnter(&form, "edAstigm", QStringLiteral("25"));
    }) << QStringList{"--cs", "-1.2", "--defocus", "80", "--a2", "25"};
}

void TestCli::sameAsWindow()
{
    QFETCH(StateSetup, setup);
    QFETCH(QStringList, chartOptions);
    // The chart's look is the chart's alone: the other commands take the state's options.
    QStringList options = chartOptions;
    options.removeAll(QStringLiteral("--monochrome"));
    FreshSettingsFolder settings;
    WriteScopeEntry(libraryCompany, libraryModel, libraryData());
    auto form = std::make_unique<TForm1>();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->resize(windowSize);
    QTest::qWait(20);
    setup(*form);
    QCoreApplication::processEvents();
    QTemporaryDir dir;

    const QByteArray table = windowSaves(*form, "Save1D", dir.filePath(QStringLiteral("window.txt")));
    Run curve = runCtf(QStringList{"curve", "--crlf"} + options);
    QCOMPARE(curve.err, QByteArray());
    QCOMPARE(curve.status, 0);
    QVERIFY(table.size() > 100);
    QVERIFY(sameBytes(curve.out, table, QStringLiteral("curve.txt")));
    // On a terminal or a pipe the lines end in LF alone; csv differs only in its separator.
    Run plain = runCtf(QStringList{"curve"} + options);
    QVERIFY(plain.out == QByteArray(table).replace("\r\n", "\n"));
    Run csv = runCtf(QStringList{"curve", "--format", "csv"} + options);
    QVERIFY(csv.out == QByteArray(plain.out).replace('\t', ','));
    Run json = runCtf(QStringList{"curve", "--format", "json"} + options);
    QJsonParseError error;
    const QJsonObject columns = QJsonDocument::fromJson(json.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(json.out.startsWith("{\"k\":[0,")); // the table's order
    const QList<QByteArray> lines = plain.out.trimmed().split('\n');
    QCOMPARE(columns.keys().size(), lines.first().split('\t').size());
    for (const QByteArray &name : lines.first().split('\t'))
        QCOMPARE(columns.value(QString::fromUtf8(name)).toArray().size(), lines.size() - 1);

    Run info = runCtf(QStringList{"info", "--tree"} + options);
    QCOMPARE(QString::fromUtf8(info.out), QString::fromUtf8(treeTexts(*form)));

    const QString svgPath = dir.filePath(QStringLiteral("cli.svg"));
    const QByteArray svg = windowSaves(*form, "Save1D", dir.filePath(QStringLiteral("window.svg")));
    const QSize chartSize = child<ChartWidget>(form.get(), "Chart1")->size();
    Run chart = runCtf(QStringList{"chart", "--out", svgPath, "--size", sizeText(chartSize)} + chartOptions);
    QCOMPARE(chart.err, QByteArray());
    QCOMPARE(chart.status, 0);
    QVERIFY(svg.size() > 1000);
    QVERIFY(sameBytes(fileBytes(svgPath), svg, QStringLiteral("chart.svg")));
    const QString pngPath = dir.filePath(QStringLiteral("cli.png"));
    QCOMPARE(runCtf(QStringList{"chart", "--out", pngPath} + chartOptions).status, 0);
    const QImage drawn = QImage(pngPath).convertToFormat(QImage::Format_RGB32);
    bool coloured = false;
    for (int y = 0; y < drawn.height() && !coloured; ++y)
        for (int x = 0; x < drawn.width() && !coloured; ++x) {
            const QRgb c = drawn.pixel(x, y);
            coloured = qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
        }
    QCOMPARE(coloured, !chartOptions.contains(QStringLiteral("--monochrome")));

    if (!form->state().PlotterMode)
        showMap(*form);
    const int patternWidth = child<PixelImage>(form.get(), "Image1")->image().width();
    const QByteArray pattern = windowSaves(*form, "Save2D", dir.filePath(QStringLiteral("window.bmp")));
    if (!pattern.isEmpty()) {
        const QString path = dir.filePath(QStringLiteral("cli.bmp"));
        Run run = runCtf(QStringList{"pattern", "--out", path, "--size", QString::number(patternWidth)} + options);
        QCOMPARE(run.status, 0);
        QVERIFY(sameBytes(fileBytes(path), pattern, QStringLiteral("pattern.bmp")));
    }
    const QByteArray map = windowSaves(*form, "SaveDefocusMap1", dir.filePath(QStringLiteral("window-map.txt")));
    if (!map.isEmpty()) {
        const QString path = dir.filePath(QStringLiteral("cli-map.txt"));
        Run run = runCtf(
            QStringList{"map", "--out", path, "--size", QString::number(form->body().map()->image().width())}
            + options);
        QCOMPARE(run.status, 0);
        QVERIFY(map.size() > 1000);
        QVERIFY(sameBytes(fileBytes(path), map, QStringLiteral("map.txt")));
        const QString picture = dir.filePath(QStringLiteral("cli-map.png"));
        run = runCtf(
            QStringList{"map", "--out", picture, "--size", QString::number(form->body().map()->image().width())}
            + options);
        QCOMPARE(QImage(picture).convertToFormat(QImage::Format_RGB32),
                 form->body().map()->image().convertToFormat(QImage::Format_RGB32));
    }
    form->close();
}

// Each value printed is the one the tree shows, there rounded.
void TestCli::derivedValues()
{
    FreshSettingsFolder settings;
    const Run info = runCtf({"info"});
    QCOMPARE(info.status, 0);
    QMap<QString, double> values;
    for (const QByteArray &line : info.out.trimmed().split('\n')) {
        const QList<QByteArray> cells = line.split('\t');
        QCOMPARE(cells.size(), 3);
        values.insert(QString::fromLatin1(cells[0]), cells[1].toDouble());
    }
    const struct {
        const char *name;
        double shown;
        double tolerance;
    } expected[] = {{"wavelength", 0.00251, 5e-6},
                    {"focal-spread", 1.97, 5e-3},
                    {"scherzer", -54.9, 0.05},
                    {"extended-scherzer", -67.2, 0.05},
                    {"point-resolution-theoretical", 0.25, 5e-3},
                    {"point-resolution", 0.24, 5e-3},
                    {"information-limit-theoretical", 0.10, 5e-3},
                    {"information-limit", 0.15, 5e-3},
                    {"convergence", 0.30, 5e-3}};
    QCOMPARE(values.size(), int(std::size(expected)));
    for (const auto &e : expected)
        QVERIFY2(std::fabs(values.value(QString::fromLatin1(e.name)) - e.shown) <= e.tolerance, e.name);
    const QJsonObject json = QJsonDocument::fromJson(runCtf({"info", "--json"}).out).object();
    QCOMPARE(json.value(QStringLiteral("extended-scherzer")).toObject().value(QStringLiteral("value")).toDouble(),
             values.value(QStringLiteral("extended-scherzer")));
    QCOMPARE(json.value(QStringLiteral("wavelength")).toObject().value(QStringLiteral("unit")).toString(),
             QStringLiteral("nm"));
}

void TestCli::libraryOnTheWindowsStore()
{
    FreshSettingsFolder settings;
    QTemporaryDir dir;
    // Restore's file into the per-user store, then Backup's export of it.
    Run import = runCtf({"library", "import", QStringLiteral(ORVALIS_SOURCE_DIR "/data/sc.reg")});
    QCOMPARE(import.err, QByteArray());
    QCOMPARE(import.status, 0);
    WriteScopeEntry(libraryCompany, libraryModel, libraryData());
    const QString backup = dir.filePath(QStringLiteral("backup.reg"));
    ExportKeyToRegFile(HKEY_CURRENT_USER, BackupKeyPath(), backup);
    const QString exported = dir.filePath(QStringLiteral("export.reg"));
    QCOMPARE(runCtf({"library", "export", exported}).status, 0);
    QVERIFY(fileBytes(backup).size() > 200);
    QVERIFY(fileBytes(exported) == fileBytes(backup));

    QVector<ScopeCompany> library;
    ReadScopeLibrary(library);
    QStringList entries;
    for (const ScopeCompany &c : library)
        for (const ScopeModel &m : c.Models)
            entries << c.Company + QLatin1Char('/') + m.Model;
    QCOMPARE(QString::fromUtf8(runCtf({"library", "list"}).out).split(QLatin1Char('\n'), Qt::SkipEmptyParts), entries);
    QCOMPARE(runCtf({"library", "show", libraryCompany + QLatin1Char('/') + libraryModel}).out,
             QByteArray("Voltage\t300\tkV\nCs\t2.7\tmm\nCc\t2.7\tmm\ndE\t0.8\teV\nConvergence\t0.2\tmrad\n"
                        "dvv\t0.06\tppm\ndii\t0.1\tppm\n"));

    // Another store by its path: the per-user one is left alone.
    const QString other = dir.filePath(QStringLiteral("other.sqlite3"));
    QCOMPARE(runCtf({"library", "import", backup, "--store", other}).status, 0);
    QCOMPARE(runCtf({"library", "list", "--store", other}).out, runCtf({"library", "list"}).out);
    const QString otherExport = dir.filePath(QStringLiteral("other.reg"));
    QCOMPARE(runCtf({"library", "export", otherExport, "--store", other}).status, 0);
    QVERIFY(fileBytes(otherExport) == fileBytes(backup));
    const Run fromOther = runCtf(
        {"curve", "--store", other, "--scope", libraryCompany + QLatin1Char('/') + libraryModel});
    QCOMPARE(fromOther.status, 0);
}

void TestCli::failures_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" stands for the file the command would write
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("no command") << QStringList() << 2 << "give a command";
    QTest::newRow("unknown command") << QStringList{"plot"} << 2 << "\"plot\": no such command";
    QTest::newRow("unknown option") << QStringList{"curve", "--voltage", "300"} << 2 << "Unknown option 'voltage'";
    QTest::newRow("missing value") << QStringList{"curve", "--kv"} << 2 << "Missing value after '--kv'";
    QTest::newRow("not a number") << QStringList{"curve", "--kv", "3OO"} << 2 << "--kv \"3OO\": not a number";
    QTest::newRow("not finite") << QStringList{"info", "--defocus", "inf"} << 2 << "--defocus \"inf\": not a number";
    QTest::newRow("voltage the formulas refuse")
        << QStringList{"curve", "--kv", "0"} << 2 << "--kv \"0\": it must be from 0.001 to 1000000";
    QTest::newRow("frequency range") << QStringList{"curve", "--upto", "5000"} << 2 << "--upto \"5000\"";
    QTest::newRow("magnification position") << QStringList{"info", "--magnification-position", "40"} << 2
                                            << "--magnification-position \"40\": it must be from 14 to 39";
    QTest::newRow("both convergences") << QStringList{"info", "--alpha", "0.2", "--magnification-position", "30"} << 2
                                       << "give one of them";
    QTest::newRow("envelope name") << QStringList{"curve", "--envelopes", "temporal,chromatic"} << 2
                                   << "\"chromatic\" is none of temporal, spatial, combined";
    QTest::newRow("format") << QStringList{"curve", "--format", "xml"} << 2
                            << "--format \"xml\": it must be tsv, csv or json";
    QTest::newRow("missing library entry")
        << QStringList{"curve", "--scope", "Nobody/Nothing"} << 2 << "--scope \"Nobody/Nothing\": no such microscope";
    QTest::newRow("entry without a model") << QStringList{"curve", "--scope", "Nobody"} << 2 << "COMPANY/MODEL";
    QTest::newRow("second instrument missing") << QStringList{"curve", "--plotter", "Nobody/Nothing"} << 2
                                               << "--plotter \"Nobody/Nothing\": no such microscope";
    QTest::newRow("second defocus alone") << QStringList{"curve", "--defocus2", "-100"} << 2 << "only with --plotter";
    QTest::newRow("picture extension") << QStringList{"pattern", "--out", "@.jpg"} << 2 << "must end in .bmp, .png";
    QTest::newRow("upper-case extension")
        << QStringList{"map", "--out", "@.TXT"} << 2 << "must end in .bmp, .png, .txt";
    QTest::newRow("no output file") << QStringList{"chart"} << 2 << "--out: give the file";
    QTest::newRow("bad value, no picture")
        << QStringList{"chart", "--out", "@.svg", "--a2", "x"} << 2 << "--a2 \"x\": not a number";
    QTest::newRow("odd pattern width") << QStringList{"pattern", "--out", "@.png", "--size", "207"} << 2 << "even";
    QTest::newRow("chart size") << QStringList{"chart", "--out", "@.png", "--size", "800"} << 2 << "WxH";
    QTest::newRow("figure size in mm") << QStringList{"chart", "--figure", "--size-mm", "85", "--out", "@.svg"} << 2
                                       << "--size-mm \"85\": give width x height in mm, as 85x60";
    QTest::newRow("figure size beyond the limits")
        << QStringList{"chart", "--figure", "--size-mm", "5x60", "--out", "@.svg"} << 2
        << "--size-mm \"5x60\": each side from 10 to 1000 mm";
    QTest::newRow("figure option without --figure")
        << QStringList{"chart", "--dpi", "300", "--out", "@.png"} << 2 << "--dpi: only with --figure";
    QTest::newRow("figure dpi") << QStringList{"map", "--figure", "--dpi", "96.5", "--out", "@.png"} << 2
                                << "--dpi \"96.5\": give a whole number of dots per inch";
    QTest::newRow("figure raster too large")
        << QStringList{"chart", "--figure", "--size-mm", "1000x1000", "--dpi", "2400", "--out", "@.png"} << 2
        << "--dpi \"2400\": 1000 x 1000 mm at 2400 dpi is more than";
    QTest::newRow("figure font size") << QStringList{"pattern", "--figure", "--font-size", "2", "--out", "@.pdf"} << 2
                                      << "--font-size \"2\": give points from 4 to 72";
    QTest::newRow("figure legend") << QStringList{"chart", "--figure", "--legend", "centre", "--out", "@.pdf"} << 2
                                   << "--legend \"centre\": give outside, top-left";
    QTest::newRow("figure background") << QStringList{"chart", "--figure", "--background", "black", "--out", "@.pdf"}
                                       << 2 << "--background \"black\": give white or transparent";
    QTest::newRow("figure both sizes") << QStringList{"chart",     "--figure", "--size", "800x600",
                                                      "--size-mm", "85x60",    "--out",  "@.png"}
                                       << 2 << "--size and --size-mm: give the size one way";
    QTest::newRow("figure extension") << QStringList{"chart", "--figure", "--out", "@.emf"} << 2
                                      << "a figure's name must end in .png, .tif, .tiff, .svg, .pdf";
    QTest::newRow("folder that is not there")
        << QStringList{"map", "--out", "@/missing/map.txt"} << 1 << "Cannot create file";
    QTest::newRow("export into no folder")
        << QStringList{"library", "export", "@/missing/b.reg"} << 1 << "Cannot create file";
    QTest::newRow("import of no file") << QStringList{"library", "import", "@/none.reg"} << 1
                                       << "No such file or directory";
    QTest::newRow("show of no entry") << QStringList{"library", "show", "Nobody/Nothing"} << 2 << "no such microscope";
    QTest::newRow("library action") << QStringList{"library", "delete"} << 2 << "give list, show, import or export";
    QTest::newRow("amplitude contrast 1") << QStringList{"curve", "--amplitude-contrast", "1"} << 2
                                          << "--amplitude-contrast \"1\": it must be from 0 to below 1";
    QTest::newRow("negative pixel size") << QStringList{"pattern", "--out", "@.png", "--pixel-size", "-1"} << 2
                                         << "--pixel-size \"-1\": it must be from 0 (no detector) to 100";
    QTest::newRow("B-factor not a number")
        << QStringList{"curve", "--b-factor", "x"} << 2 << "--b-factor \"x\": not a number";
    QTest::newRow("C5 not a number") << QStringList{"info", "--c5", "1,5"} << 2 << "--c5 \"1,5\": not a number";
    QTest::newRow("a series' tilt fitted") << QStringList{"fit-series", "@.mrc", "--tilts", "@.tlt", "--fit-tilt"} << 2
                                           << "fit-series: --fit-tilt is not taken: a series' tilts are known";
    QTest::newRow("a series' thickness") << QStringList{"fit-series", "@.mrc", "--tilts", "@.tlt", "--fit-thickness"}
                                         << 2 << "fit-series: --fit-thickness is not taken";
}

// The first sample (k = 0) of the CTF is sin(-asin Q - shift); the B-factor, C5 and a turned
// astigmatism leave it at 0 but change the curve beyond; what the curve does not depend on leaves
// the table as it was.
void TestCli::opticalTerms_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<double>("atZero");
    QTest::addColumn<bool>("changesCurve");
    QTest::newRow("amplitude contrast") << QStringList{"--amplitude-contrast", "0.1"} << -0.1 << true;
    QTest::newRow("phase plate") << QStringList{"--phase-shift", "90"} << -1.0 << true;
    QTest::newRow("both") << QStringList{"--amplitude-contrast", "0.6", "--phase-shift", "-90"} << 0.8 << true;
    QTest::newRow("B-factor") << QStringList{"--b-factor", "50"} << 0.0 << true;
    QTest::newRow("C5") << QStringList{"--c5", "4"} << 0.0 << true;
    QTest::newRow("azimuth without astigmatism") << QStringList{"--a2-azimuth", "30"} << 0.0 << false;
    QTest::newRow("two-fold azimuth") << QStringList{"--a2", "40", "--a2-azimuth", "30"} << 0.0 << true;
    QTest::newRow("pixel size") << QStringList{"--pixel-size", "1.5"} << 0.0 << false;
}

void TestCli::opticalTerms()
{
    QFETCH(QStringList, options);
    QFETCH(double, atZero);
    QFETCH(bool, changesCurve);
    FreshSettingsFolder settings;
    const QStringList plain{"curve", "--envelopes", "none"};
    const Run base = runCtf(plain + QStringList{"--a2", "40"});
    const Run run = runCtf(plain + options);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    const QList<QByteArray> lines = run.out.split('\n');
    QVERIFY(lines.size() > 4000);
    QVERIFY(std::fabs(lines[1].split('\t').value(1).toDouble() - atZero) < 1e-12);
    const bool withA2 = options.contains(QStringLiteral("--a2"));
    const Run reference = withA2 ? base : runCtf(plain);
    QCOMPARE(run.out != reference.out, changesCurve);
}

void TestCli::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    FreshSettingsFolder settings;
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("out"));
    for (QString &a : arguments)
        a.replace(QLatin1Char('@'), base);
    const Run run = runCtf(arguments);
    QCOMPARE(run.status, status);
    const QString err = QString::fromUtf8(run.err);
    QVERIFY2(err.startsWith(QLatin1String("orvalis-ctf: ")) && err.contains(message), qPrintable(err));
    QCOMPARE(err.count(QLatin1Char('\n')), 1); // one line
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

// No display and no platform named: the pictures are drawn all the same.
void TestCli::picturesWithoutDisplay()
{
    FreshSettingsFolder settings;
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    const Run run = runCtf({"chart", "--out", path, "--size", "640x400"}, environment);
    QCOMPARE(run.err, QByteArray());
    QCOMPARE(run.status, 0);
    QCOMPARE(QImage(path).size(), QSize(640, 400));
    QCOMPARE(runCtf({"--version"}).out, QByteArray("orvalis-ctf " ORVALIS_VERSION "\n"));
    QVERIFY(runCtf({"curve", "--help"}).out.contains("--energy-spread <EV>"));
}

ORVALIS_UI_TEST_MAIN(TestCli)
// A figure for a paper: the size asked for (mm in the SVG's and PDF's page, pixels and dpi in PNG and
// TIFF), its axis titles and legend as text in the vector files.
void TestCli::figures_data()
{
    QTest::addColumn<QStringList>("arguments"); // --out @.<ext> is added
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("size"); // SVG: "<w>mm <h>mm"; PNG, TIFF: "<w>x<h> <dpi>"; PDF: "<w>x<h> pts"
    QTest::addColumn<QStringList>("texts");
    const QString frequency = QStringLiteral("Spatial frequency (nm\u207B\u00B9)");
    QTest::newRow("chart, SVG in mm") << QStringList{"chart", "--figure", "--size-mm", "85x60", "--dpi", "300"} << "svg"
                                      << "85mm 60mm"
                                      << QStringList{frequency, "Resolution (nm)", "CTF", "Temporal envelope"};
    QTest::newRow("chart, SVG from pixels at a dpi")
        << QStringList{"chart", "--figure", "--size", "600x300", "--dpi", "150", "--legend", "top-right"} << "svg"
        << "101.6mm 50.8mm" << QStringList{frequency, "Combined envelope"};
    QTest::newRow("monochrome chart without a legend")
        << QStringList{"chart", "--figure", "--monochrome", "--legend", "none", "--grid"} << "svg"
        << "85mm 60mm" << QStringList{frequency, "CTF"};
    QTest::newRow("plotter mode names both instruments")
        << QStringList{"chart", "--figure", "--plotter", "default", "--defocus2", "-120"} << "svg"
        << "85mm 60mm" << QStringList{"CTF 1: ", "CTF 2: "};
    QTest::newRow("map with its colour bar") << QStringList{"map", "--figure", "--size-mm", "120x90"} << "svg"
                                             << "120mm 90mm" << QStringList{"Defocus (nm)", "CTF", frequency};
    QTest::newRow("pattern as PDF") << QStringList{"pattern", "--figure", "--size-mm", "100x85"} << "pdf"
                                    << "283x241 pts" << QStringList{"kx (nm", "ky (nm", "CTF"};
    QTest::newRow("chart as PDF") << QStringList{"chart", "--figure", "--font-size", "10", "--font", "DejaVu Serif"}
                                  << "pdf"
                                  << "241x170 pts" << QStringList{"Spatial frequency", "Resolution (nm)"};
    QTest::newRow("chart, PNG from mm") << QStringList{"chart", "--figure", "--size-mm", "100x50", "--dpi", "254"}
                                        << "png"
                                        << "1000x500 254" << QStringList();
    QTest::newRow("transparent PNG in pixels")
        << QStringList{"chart", "--figure", "--size", "1200x800", "--dpi", "200", "--background", "transparent"}
        << "png"
        << "1200x800 200" << QStringList();
    QTest::newRow("map, TIFF") << QStringList{"map", "--figure", "--size-mm", "50.8x25.4", "--dpi", "600"} << "tif"
                               << "1200x600 600" << QStringList();
}

void TestCli::figures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, extension);
    QFETCH(QString, size);
    QFETCH(QStringList, texts);
    FreshSettingsFolder settings;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("figure.") + extension);
    const Run run = runCtf(arguments + QStringList{QStringLiteral("--out"), path});
    QVERIFY2(run.status == 0, run.err.constData());
    const QByteArray bytes = fileBytes(path);
    if (extension == QLatin1String("svg")) {
        const QRegularExpressionMatch svg = QRegularExpression(
                                                QStringLiteral("<svg width=\"([^\"]*)\" height=\"([^\"]*)\""))
                                                .match(QString::fromUtf8(bytes));
        QVERIFY(svg.hasMatch());
        QCOMPARE(svg.captured(1) + QLatin1Char(' ') + svg.captured(2), size);
        QStringList shown; // every <text> element's text
        QRegularExpressionMatchIterator it =
            QRegularExpression(QStringLiteral("<text[^>]*>([^<]*)</text>")).globalMatch(QString::fromUtf8(bytes));
        while (it.hasNext())
            shown << it.next().captured(1).trimmed();
        QVERIFY(!shown.isEmpty());
        for (const QString &t : texts)
            QVERIFY2(std::any_of(shown.begin(), shown.end(), [&t](const QString &s) { return s.startsWith(t); }),
                     qPrintable(t + QStringLiteral(" is not among ") + shown.join(QStringLiteral(" | "))));
    } else if (extension == QLatin1String("pdf")) {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        QVERIFY(text.waitForFinished());
        const QString all = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString &t : texts)
            QVERIFY2(all.contains(t), qPrintable(t + QStringLiteral(" is not in ") + all));
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {path});
        QVERIFY(info.waitForFinished());
        const QString page = QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts"))
                                 .match(QString::fromUtf8(info.readAllStandardOutput()))
                                 .captured(0);
        const QStringList wh = page.section(QLatin1Char(':'), 1).trimmed().split(QLatin1Char(' '));
        QCOMPARE(QStringLiteral("%1x%2 pts").arg(qRound(wh.value(0).toDouble())).arg(qRound(wh.value(2).toDouble())),
                 size);
    } else if (extension == QLatin1String("png")) {
        QImage image;
        QVERIFY(image.loadFromData(bytes, "PNG"));
        QCOMPARE(QStringLiteral("%1x%2 %3")
                     .arg(image.width())
                     .arg(image.height())
                     .arg(qRound(image.dotsPerMeterX() * 0.0254)),
                 size);
        const bool transparent = arguments.contains(QStringLiteral("transparent"));
        QCOMPARE(qAlpha(image.pixel(1, image.height() - 2)), transparent ? 0 : 255);
    } else {
        // TIFF: read back by libtiff's own tool.
        if (QStandardPaths::findExecutable(QStringLiteral("tiffinfo")).isEmpty())
            QSKIP("tiffinfo (libtiff-tools) is not installed");
        QProcess info;
        info.start(QStringLiteral("tiffinfo"), {path});
        QVERIFY(info.waitForFinished());
        const QString all = QString::fromUtf8(info.readAllStandardOutput() + info.readAllStandardError());
        const QRegularExpressionMatch wh =
            QRegularExpression(QStringLiteral("Image Width: (\\d+) Image Length: (\\d+)")).match(all);
        const QRegularExpressionMatch dpi =
            QRegularExpression(QStringLiteral("Resolution: ([0-9.]+), ([0-9.]+) pixels/inch")).match(all);
        QVERIFY2(wh.hasMatch() && dpi.hasMatch(), qPrintable(all));
        QCOMPARE(QStringLiteral("%1x%2 %3").arg(wh.captured(1), wh.captured(2)).arg(qRound(dpi.captured(1).toDouble())),
                 size);
    }
}

#include "test_cli.moc"
