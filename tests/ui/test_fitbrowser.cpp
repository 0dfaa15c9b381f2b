// File > Open Fits in the real window: a folder's fits (ours and CTFFIND's of one micrograph side by
// side, one micrograph without) in the browser's table with their thumbnails; the filter; a click and
// Enter load a micrograph with its fit into the window (the sliders' fields show it); a malformed
// table is refused in a message naming the file and line, and the window stays as it was.
#include "formdriver.h"
#include "session/ctfsession.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/fitbrowser/fitbrowserdialog.h"
#include "ui/main/fitbrowsercontroller.h"
#include "ui/main/micrographcontroller.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

void write(const QString &path, const QByteArray &text)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(path));
}

// The row shown for `name` fitted by `source`; -1 when none is shown.
int shownRow(FitBrowserDialog *d, const QString &name, const QString &source)
{
    const QAbstractItemModel *m = d->table()->model();
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->index(r, FitCatalogueModel::Micrograph).data().toString() == name
            && m->index(r, FitCatalogueModel::Source).data().toString() == source)
            return r;
    return -1;
}

} // namespace

class TestFitBrowser : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void folderFitsLoadIntoTheWindow();
    void malformedTableLeavesTheWindowAsItWas();

private:
    FitBrowserController *browser() { return child<FitBrowserController>(m_form.get(), "fitBrowser"); }
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TForm1> m_form;
    QTemporaryDir m_dir;
};

void TestFitBrowser::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestFitBrowser::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

void TestFitBrowser::folderFitsLoadIntoTheWindow()
{
    SyntheticOptions o;
    o.width = o.height = 512;
    for (const char *name : {"a.mrc", "b.mrc", "c.mrc"})
        QVERIFY(writeMrcFloat(m_dir.filePath(QLatin1String(name)), syntheticMicrograph(o, [](double kx, double ky) {
                                  return std::sin(kx * kx + ky * ky);
                              })));
    write(m_dir.filePath(QStringLiteral("fits.json")),
          R"([{"micrograph": "a.mrc", "reliable": true, "defocusUA": 12000, "defocusVA": 11000, "angleDeg": 40,
               "phaseShiftDeg": 0, "score": 0.3, "resolutionA": 4.0, "pixelSizeA": 1.0},
              {"micrograph": "b.mrc", "reliable": true, "defocusUA": 8000, "defocusVA": 8000, "angleDeg": 0,
               "phaseShiftDeg": 0, "score": 0.2, "resolutionA": 6.0, "pixelSizeA": 1.0}])");
    write(m_dir.filePath(QStringLiteral("a_ctffind.txt")),
          "# Output from CTFFind version 4.1.14, run on 2024-01-01 10:00:00\n"
          "# Input file: a.mrc ; Number of micrographs: 1\n"
          "# Pixel size: 1.000 Angstroms ; acceleration voltage: 300.0 keV ; spherical aberration: 2.70 mm ; "
          "amplitude contrast: 0.07\n"
          "# Columns: #1 - micrograph number; #2 - defocus 1 [Angstroms]; #3 - defocus 2; #4 - azimuth of "
          "astigmatism; #5 - additional phase shift [radians]; #6 - cross correlation; #7 - spacing (in Angstroms) "
          "up to which CTF rings were fit successfully\n"
          "1.000000 12100.0 10900.0 41.0 0.0 0.15 4.5\n");

    QVERIFY(browser()->open(m_dir.path()));
    FitBrowserDialog *d = browser()->dialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->table()->model()->rowCount(), 4);
    QVERIFY(shownRow(d, "a.mrc", "CTFFIND 4.1.14") >= 0);
    QVERIFY(shownRow(d, "c.mrc", "not fitted") >= 0);
    // Every micrograph's thumbnail comes, in the background.
    QTRY_VERIFY_WITH_TIMEOUT(!d->thumbnailsBusy(), 30000);
    for (int r = 0; r < 4; ++r)
        QVERIFY2(d->table()->model()->index(r, FitCatalogueModel::Spectrum).data(Qt::DecorationRole).isValid(),
                 qPrintable(QString::number(r)));

    // The filter finds the other program's fit alone; "reliable only" drops the micrograph without.
    child<QLineEdit>(d, "edFitFilter")->setText(QStringLiteral("ctffind"));
    QCOMPARE(d->table()->model()->rowCount(), 1);
    child<QLineEdit>(d, "edFitFilter")->clear();
    child<QCheckBox>(d, "cbReliableOnly")->setChecked(true);
    QCOMPARE(d->table()->model()->rowCount(), 3);

    // A click loads b with its fit: the sliders' fields show its mean defocus.
    QSignalSpy opened(&m_form->micrographs().micrograph(), &MicrographSession::opened);
    const QModelIndex b = d->table()->model()->index(shownRow(d, "b.mrc", "orvalis-ctf"), 1);
    QTest::mouseClick(d->table()->viewport(), Qt::LeftButton, {}, d->table()->visualRect(b).center());
    QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, 120000);
    QCOMPARE(QFileInfo(m_form->micrographs().micrograph().path()).fileName(), QStringLiteral("b.mrc"));
    QCOMPARE(m_form->session().state().Defocus, -800.0);
    QCOMPARE(child<QLineEdit>(m_form.get(), "edDefocus")->text(), QStringLiteral("-800"));
    QCOMPARE(m_form->session().state().A2, 0.0);

    // Enter loads CTFFIND's fit of a: its own defocus, astigmatism and angle. (Once b's spectrum is
    // made: a row chosen while the micrograph before it is still at work can be lost, a fault left open.)
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->micrographs().micrograph().busy(), 120000);
    d->table()->setFocus();
    d->table()->setCurrentIndex(d->table()->model()->index(shownRow(d, "a.mrc", "CTFFIND 4.1.14"), 1));
    QTest::keyClick(d->table(), Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(opened.count() >= 2, 120000); // counted even where it came before the wait
    QTRY_COMPARE(m_form->session().state().Defocus, -1150.0);
    QCOMPARE(m_form->session().state().A2, std::round(3.14159265358979 * 120));
    QCOMPARE(child<QLineEdit>(m_form.get(), "edDefocus")->text(), QStringLiteral("-1150"));
    QVERIFY(child<QLabel>(d, "laFitStatus")->text().contains(QStringLiteral("CTFFIND 4.1.14")));
}

void TestFitBrowser::malformedTableLeavesTheWindowAsItWas()
{
    const QString star = m_dir.filePath(QStringLiteral("broken.star"));
    write(star, "data_micrographs\nloop_\n_rlnMicrographName\n_rlnDefocusU\na.mrc 12000\nb.mrc\n");
    const double before = m_form->session().state().Defocus;
    MessageBoxCatcher box;
    QVERIFY(!browser()->open(star));
    QCOMPARE(box.text, star + QStringLiteral(", line 6: a row of 1 value under 2 labels"));
    QVERIFY(!browser()->dialog());
    QVERIFY(!m_form->micrographs().micrograph().isOpen());
    QCOMPARE(m_form->session().state().Defocus, before);
}

QTEST_MAIN(TestFitBrowser)
#include "test_fitbrowser.moc"
