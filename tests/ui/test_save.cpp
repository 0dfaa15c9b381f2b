// The three save commands driven like a user: the tool buttons open the window's one save dialog
// (the Qt dialog, found by its name), a name is chosen, and the file is read back.
#include "../chart/metafilereader.h"
#include "chart/chartwidget.h"
#include "core/ctfgrey.h"
#include "core/numberformat.h"
#include "formdriver.h"
#include "modalscript.h"
#include "ui/widgets/pixelimage.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QToolButton>

using namespace orvalis;
using namespace orvalis::test;

namespace {

// Waits for the save dialog, notes what it proposes, then chooses `path` (or cancels when empty),
// optionally after selecting a filter.
class SaveDialogDriver {
public:
    explicit SaveDialogDriver(QString path, QString filter = {}) : m_path(std::move(path)), m_filter(std::move(filter))
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    QString proposed;
    QStringList filters;
    QString selectedFilter;
    QString folder;
    bool seen = false;

private:
    void poll()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->objectName() == QLatin1String("SavePictureDialog1")) {
            seen = true;
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            proposed = edit ? edit->text() : QString();
            filters = dialog->nameFilters();
            selectedFilter = dialog->selectedNameFilter();
            folder = dialog->directory().absolutePath();
            if (m_path.isEmpty()) {
                dialog->reject();
                return;
            }
            if (!m_filter.isEmpty()) {
                dialog->selectNameFilter(m_filter);
                emit dialog->filterSelected(m_filter);
            }
            edit->setText(m_path);
            QTest::keyClick(edit, Qt::Key_Return);
            return;
        }
        if (++m_tries < 400)
            QTimer::singleShot(5, &m_context, [this] { poll(); });
    }
    QString m_path;
    QString m_filter;
    QObject m_context;
    int m_tries = 0;
};

QList<QByteArray> linesOf(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestSave : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void dialogProposesAndCancelWritesNothing();
    void opensInTheStoredFolder();
    void curveTable();
    void plotterModeTable();
    void chartMetafiles_data();
    void chartMetafiles();
    void metafilesInOffice_data();
    void metafilesInOffice();
    void offeredFormats_data();
    void offeredFormats();
    void patternFiles_data();
    void patternFiles();
    void mapFiles();
    void nameWithoutExtensionGetsTheFilters();
    void unknownExtensionIsRefused();
    void tooLongNameIsRefusedWithReason_data();
    void tooLongNameIsRefusedWithReason();
    void failedWriteReported();

private:
    QToolButton *button(const char *name) { return child<QToolButton>(m_form.get(), name); }
    ChartWidget *chart(const char *name) { return child<ChartWidget>(m_form.get(), name); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TForm1> m_form;
    QTemporaryDir m_dir;
};

void TestSave::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QVERIFY(QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path()));
}

void TestSave::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

void TestSave::dialogProposesAndCancelWritesNothing()
{
    SaveDialogDriver driver({});
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QVERIFY(driver.seen);
    QCOMPARE(driver.proposed, QStringLiteral("Default"));
    QCOMPARE(driver.filters,
             (QStringList{"Bitmaps (*.bmp)", "Metafiles (*.wmf)", "Enhanced Metafiles (*.emf)", "Text (*.txt)",
                          "PNG images (*.png)", "SVG drawings (*.svg)", "PDF documents (*.pdf)"}));
    QCOMPARE(driver.selectedFilter, QStringLiteral("Bitmaps (*.bmp)"));
    QVERIFY(QDir(m_dir.path()).isEmpty());
    QVERIFY(QDir::current().entryList({QStringLiteral("Default*")}).isEmpty());
    QCOMPARE(m_form->saver().saveDir(), QString());
}

// The stored folder is where the dialog opens first; afterwards it stays where the user went.
void TestSave::opensInTheStoredFolder()
{
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("first")));
    m_form->saver().setSaveDir(file(QStringLiteral("first/")));
    {
        SaveDialogDriver driver(file(QStringLiteral("c.txt")));
        QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
        QCOMPARE(driver.folder, file(QStringLiteral("first")));
    }
    SaveDialogDriver driver({});
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QCOMPARE(driver.folder, m_dir.path());
    QCOMPARE(m_form->saver().saveDir(), QString()); // a Cancel leaves the proposed name, which has no folder
}

void TestSave::curveTable()
{
    SaveDialogDriver driver(file(QStringLiteral("c.txt")));
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QVERIFY(driver.seen);
    const QList<QByteArray> lines = linesOf(file(QStringLiteral("c.txt")));
    ChartWidget *c = chart("Chart1");
    QByteArray header("k");
    QVector<int> drawn;
    for (int j = 0; j < c->seriesCount(); ++j)
        if (c->pointCount(j) > 0) {
            header += '\t' + c->seriesTitle(j).toUtf8();
            drawn << j;
        }
    QVERIFY(drawn.size() >= 2);
    QCOMPARE(lines.first(), header + '\r');
    QCOMPARE(lines.size(), c->pointCount(0) + 1);
    for (int i = 0; i < c->pointCount(0); i += 37) {
        const QList<QByteArray> cells = lines[i + 1].chopped(1).split('\t');
        QCOMPARE(cells.size(), drawn.size() + 1);
        QCOMPARE(QString::fromLatin1(cells[0]), formatGeneral(c->xValue(0, i)));
        for (int n = 0; n < drawn.size(); ++n)
            QCOMPARE(QString::fromLatin1(cells[n + 1]), formatGeneral(c->yValue(drawn[n], i)));
    }
    QCOMPARE(m_form->saver().saveDir(), QDir::toNativeSeparators(m_dir.path() + u'/'));
}

// Both curves and their envelopes: the columns stand in chart order, not in the order drawn.
void TestSave::plotterModeTable()
{
    QTest::mouseClick(child<QToolButton>(m_form.get(), "SpeedButton8"), Qt::LeftButton);
    QVERIFY(m_form->state().PlotterMode);
    QTest::mouseClick(child<QToolButton>(m_form.get(), "btnEnvelopes"), Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>(m_form.get(), "btn2ndCTF"), Qt::LeftButton);
    SaveDialogDriver driver(file(QStringLiteral("p.txt")));
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QVERIFY(driver.proposed.startsWith(QStringLiteral("Default--")));
    QCOMPARE(linesOf(file(QStringLiteral("p.txt"))).first(),
             QByteArray("k\tCTF\tCombined Envelope\tCombined Envelope 2\tCTF 2\r"));
}

void TestSave::chartMetafiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<ChartFileFormat>("format");
    QTest::newRow("emf") << QStringLiteral("c.emf") << ChartFileFormat::Emf;
    QTest::newRow("wmf") << QStringLiteral("c.wmf") << ChartFileFormat::Wmf;
}

// Other programs open the 1D chart with its tick labels as text and each drawn curve as a line.
void TestSave::chartMetafiles()
{
    QFETCH(QString, name);
    QFETCH(ChartFileFormat, format);
    SaveDialogDriver driver(file(name));
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    const QString svg = convertedSvg(file(name), format, file(QStringLiteral("read.svg")));
    QVERIFY2(!svg.startsWith(QLatin1String("FAILED")), qPrintable(svg));
    ChartWidget *c = chart("Chart1");
    const QString texts = textOf(svg);
    const QVector<QString> labels = c->tickLabels(ChartWidget::Axis::Bottom);
    QVERIFY(!labels.isEmpty());
    for (const QString &label : labels)
        for (const QString &line : label.split(u'\n'))
            QVERIFY2(texts.contains(line), qPrintable(QStringLiteral("no \"%1\" in %2").arg(line, texts)));
    int drawn = 0;
    for (int j = 0; j < c->seriesCount(); ++j)
        drawn += c->pointCount(j) > 0 && c->isSeriesVisible(j);
    QVERIFY(curveCount(svg) >= drawn);
}

void TestSave::metafilesInOffice_data()
{
    QTest::addColumn<QByteArray>("command"); // its tool button
    QTest::addColumn<QString>("name");
    QTest::newRow("1D chart, emf") << QByteArray("ToolButton2") << QStringLiteral("c.emf");
    QTest::newRow("1D chart, wmf") << QByteArray("ToolButton2") << QStringLiteral("c.wmf");
    QTest::newRow("defocus map, emf") << QByteArray("ToolButton3") << QStringLiteral("m.emf");
    QTest::newRow("defocus map, wmf") << QByteArray("ToolButton3") << QStringLiteral("m.wmf");
}

// LibreOffice, in which Linux users open metafiles, draws each one as the chart is drawn for a
// bitmap: same places, same colours, text where the labels are. With ORVALIS_OFFICE_PICTURES set
// (scripts/check-metafiles.sh), LibreOffice must be there, and both pictures are kept in that folder.
void TestSave::metafilesInOffice()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, name);
    const QString keep = qEnvironmentVariable("ORVALIS_OFFICE_PICTURES");
    action(m_form.get(), "N3D1")->trigger();
    const bool curves = command == "ToolButton2";
    QImage shown;
    if (curves) {
        SaveDialogDriver bitmap(file(QStringLiteral("c.png")));
        QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
        shown = QImage(file(QStringLiteral("c.png")));
    } else {
        shown = renderChart(*chart("Chart2")); // the map's own bitmap is the picture without its axes
    }
    QVERIFY(!shown.isNull());
    SaveDialogDriver driver(file(name));
    QTest::mouseClick(button(command.constData()), Qt::LeftButton);
    QString why;
    const QImage page = libreOfficePage(file(name), m_dir.path(), why);
    if (page.isNull()) {
        if (keep.isEmpty())
            QSKIP(qPrintable(why));
        QFAIL(qPrintable(why));
    }
    if (!keep.isEmpty()) {
        QDir().mkpath(keep);
        const QString stem = QDir(keep).filePath(QFileInfo(name).baseName() + u'-' + QFileInfo(name).suffix());
        QVERIFY(shown.save(stem + QStringLiteral("-bitmap.png")) && page.save(stem + QStringLiteral("-office.png")));
    }
    const double mismatch = mismatchOnPage(shown, page);
    QVERIFY2(mismatch < 0.01, qPrintable(QStringLiteral("%1 of the pixels differ").arg(mismatch)));
}

void TestSave::offeredFormats_data()
{
    QTest::addColumn<QByteArray>("command"); // its tool button
    QTest::addColumn<QStringList>("filters");
    const QStringList all{"Bitmaps (*.bmp)",    "Metafiles (*.wmf)",    "Enhanced Metafiles (*.emf)", "Text (*.txt)",
                          "PNG images (*.png)", "SVG drawings (*.svg)", "PDF documents (*.pdf)"};
    QTest::newRow("1D chart") << QByteArray("ToolButton2") << all;
    QTest::newRow("2D pattern") << QByteArray("ToolButton1") << QStringList{"Bitmaps (*.bmp)", "PNG images (*.png)"};
    QTest::newRow("defocus map") << QByteArray("ToolButton3") << all;
}

// The one dialog offers each command what that command writes, whichever command used it before.
void TestSave::offeredFormats()
{
    QFETCH(QByteArray, command);
    QFETCH(QStringList, filters);
    action(m_form.get(), "Show2DCTF1")->trigger();
    action(m_form.get(), "N3D1")->trigger();
    for (const char *before : {"ToolButton1", "ToolButton2", "ToolButton3"}) {
        SaveDialogDriver earlier({});
        QTest::mouseClick(button(before), Qt::LeftButton);
        SaveDialogDriver driver({});
        QTest::mouseClick(button(command.constData()), Qt::LeftButton);
        QVERIFY(driver.seen);
        QCOMPARE(driver.filters, filters);
        QCOMPARE(driver.selectedFilter, filters.first());
    }
}

void TestSave::patternFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // read back in it; empty: refused, nothing written
    QTest::newRow("png") << "p.png" << QByteArray("PNG");
    QTest::newRow("bmp") << "p.bmp" << QByteArray("BMP");
    QTest::newRow("pdf is no picture of the pattern") << "p.pdf" << QByteArray();
    QTest::newRow("emf") << "p.emf" << QByteArray();
    QTest::newRow("txt") << "p.txt" << QByteArray();
    QTest::newRow("upper case") << "p.PNG" << QByteArray();
}

// A file holds what its name says, or no file is written and the user is told why.
void TestSave::patternFiles()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    action(m_form.get(), "Show2DCTF1")->trigger();
    QVERIFY(button("ToolButton1")->isEnabled());
    SaveDialogDriver driver(file(name));
    MessageBoxCatcher box;
    QTest::mouseClick(button("ToolButton1"), Qt::LeftButton);
    QCOMPARE(driver.proposed, QStringLiteral("Default"));
    if (format.isEmpty()) {
        QTRY_VERIFY(!box.text.isEmpty());
        QVERIFY2(box.text.contains(name) && box.text.contains(QStringLiteral("Use one of .bmp or .png")),
                 qPrintable(box.text));
        QVERIFY(QDir(m_dir.path()).isEmpty());
        return;
    }
    QImage read;
    QVERIFY(read.load(file(name), format.constData()));
    const QImage shown = child<PixelImage>(m_form.get(), "Image1")->image();
    QCOMPARE(read.convertToFormat(QImage::Format_RGB32), shown.convertToFormat(QImage::Format_RGB32));
}

void TestSave::mapFiles()
{
    action(m_form.get(), "N3D1")->trigger();
    QVERIFY(button("ToolButton3")->isEnabled());
    const QImage map = m_form->body().map()->image().convertToFormat(QImage::Format_RGB32);
    for (const QString &name : {QStringLiteral("m.bmp"), QStringLiteral("m.png")}) {
        SaveDialogDriver driver(file(name));
        QTest::mouseClick(button("ToolButton3"), Qt::LeftButton);
        QCOMPARE(QImage(file(name)).convertToFormat(QImage::Format_RGB32), map);
    }
    SaveDialogDriver driver(file(QStringLiteral("m.txt")));
    QTest::mouseClick(button("ToolButton3"), Qt::LeftButton);
    const QList<QByteArray> lines = linesOf(file(QStringLiteral("m.txt")));
    QCOMPARE(lines.size(), map.height() + 1);
    for (int y = 0; y < map.height(); y += 5) {
        const QList<QByteArray> cells = lines[y + 1].chopped(1).split('\t');
        QCOMPARE(cells.size(), map.width() + 1);
        for (int x = 0; x < map.width(); ++x)
            if (CtfGrey(strToFloat(QString::fromLatin1(cells[x + 1]))) != qRed(map.pixel(x, y)))
                QFAIL(qPrintable(QStringLiteral("row %1 column %2").arg(y).arg(x)));
    }
    for (const QString &name : {QStringLiteral("m.emf"), QStringLiteral("m.svg"), QStringLiteral("m.pdf")}) {
        SaveDialogDriver chartDriver(file(name));
        QTest::mouseClick(button("ToolButton3"), Qt::LeftButton);
        QVERIFY2(QFileInfo(file(name)).size() > 1000, qPrintable(name));
    }
}

void TestSave::nameWithoutExtensionGetsTheFilters()
{
    SaveDialogDriver driver(file(QStringLiteral("plain")), QStringLiteral("Enhanced Metafiles (*.emf)"));
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QFile emf(file(QStringLiteral("plain.emf")));
    QVERIFY(emf.open(QIODevice::ReadOnly));
    QCOMPARE(emf.read(4), QByteArray("\x01\x00\x00\x00", 4)); // the header record of an enhanced metafile
}

void TestSave::unknownExtensionIsRefused()
{
    SaveDialogDriver driver(file(QStringLiteral("UP.BMP")));
    MessageBoxCatcher box;
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QTRY_VERIFY(!box.text.isEmpty());
    QVERIFY2(box.text.contains(QStringLiteral(".bmp")) && box.text.contains(QStringLiteral("UP.BMP")),
             qPrintable(box.text));
    QVERIFY(QDir(m_dir.path()).isEmpty());
}

// The file system takes names of up to 255 bytes; the dialog stays open and says why.
void TestSave::tooLongNameIsRefusedWithReason_data()
{
    QTest::addColumn<bool>("click"); // on Save, else Enter in the name
    QTest::newRow("Enter") << false;
    QTest::newRow("Save button") << true;
}

void TestSave::tooLongNameIsRefusedWithReason()
{
    QFETCH(bool, click);
    const QString name = QString(252, u'n') + QStringLiteral(".bmp");
    bool stillOpen = false;
    ModalScript script;
    script
        .step<QFileDialog>([&](QFileDialog *dialog) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(file(name));
            if (!click) {
                QTest::keyClick(edit, Qt::Key_Return);
                return;
            }
            QPushButton *save = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save);
            QVERIFY(save->isEnabled()); // a greyed button would say nothing
            save->click();
        })
        .answer(QMessageBox::Ok)
        .step<QFileDialog>([&](QFileDialog *dialog) {
            stillOpen = dialog->isVisible();
            dialog->reject();
        });
    // A dialog that stays open without a word would wait for the user for ever.
    QObject guard;
    QTimer::singleShot(5000, &guard, [&script] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()); dialog && !script.finished())
            dialog->reject();
    });
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QVERIFY(script.finished());
    QCOMPARE(script.texts.size(), 1);
    QVERIFY2(script.texts[0].contains(QStringLiteral("has 256 characters"))
                 && script.texts[0].contains(QStringLiteral("at most 255")),
             qPrintable(script.texts[0]));
    QVERIFY(stillOpen);
    QVERIFY(QDir(m_dir.path()).isEmpty());
}

// (The chart tests check that a write refused half-way leaves an earlier file as it was.)
void TestSave::failedWriteReported()
{
    const QString path = file(QStringLiteral("gone/c.bmp"));
    const QColor panel = chart("Chart1")->panelColor();
    SaveDialogDriver driver(path);
    MessageBoxCatcher box;
    QTest::mouseClick(button("ToolButton2"), Qt::LeftButton);
    QTRY_VERIFY(!box.text.isEmpty());
    QVERIFY2(box.text.startsWith(QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(path)),
             qPrintable(box.text));
    QCOMPARE(chart("Chart1")->panelColor(), panel);
    QVERIFY(QDir(m_dir.path()).isEmpty());
}

ORVALIS_UI_TEST_MAIN(TestSave)
#include "test_save.moc"
