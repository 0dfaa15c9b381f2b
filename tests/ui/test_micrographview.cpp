// The user's micrograph in the whole window: opened from the command and by a drop, shown in the
// pattern's pane and on the 1D chart, refused with one message, and closed or switched off with the
// window back as it was, pixel for pixel.
#include "chart/chartwidget.h"
#include "core/ctffunctions.h"
#include "formdriver.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/main/micrographcontroller.h"
#include "ui/widgets/pixelimage.h"

#include <QMimeData>
#include <QToolButton>

#include <cmath>

using namespace orvalis;
using namespace orvalis::test;

class TestMicrographView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void leavingGivesTodaysWindow_data();
    void leavingGivesTodaysWindow();
    void dropOpens();
    void refusalKeepsTheWindow();

private:
    void openAndWait(const QString &path);
    QImage pattern() const { return child<PixelImage>(m_form.get(), "Image1")->image(); }

    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TForm1> m_form;
};

void TestMicrographView::initTestCase()
{
    QVERIFY(m_dir.isValid());
    OpticsState state;
    state.Voltage = 200;
    state.Cs = 1.2e6;
    state.Wavelength = 0.00251;
    state.ChiCsFactor = Pi * state.Cs * std::pow(state.Wavelength, 3) / 2;
    state.ChiDefocusFactor = Pi * state.Wavelength;
    SyntheticOptions o;
    o.width = o.height = 1024;
    o.pixelSizeNm = 0.1;
    m_file = m_dir.filePath(QStringLiteral("rings.mrc"));
    QVERIFY(writeMrcFloat(m_file, syntheticMicrograph(o, [state](double kx, double ky) {
                              return std::sin(Chi(state, kx, ky, -400) - std::asin(0.07));
                          })));
}

void TestMicrographView::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestMicrographView::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

void TestMicrographView::openAndWait(const QString &path)
{
    QSignalSpy changed(&m_form->micrographs().micrograph(), &MicrographSession::spectrumChanged);
    m_form->micrographs().open(path);
    QVERIFY(changed.wait(30000));
    QCoreApplication::processEvents();
}

void TestMicrographView::leavingGivesTodaysWindow_data()
{
    QTest::addColumn<QString>("leave"); // the command that leaves the micrograph
    QTest::newRow("closed") << "CloseMicrograph1";
    QTest::newRow("switched off") << "Micrograph1";
}

// Opening shows the pattern's pane with the micrograph and adds the curves to the chart; closing it,
// or switching it off, gives back the window as it was before, pixel for pixel.
void TestMicrographView::leavingGivesTodaysWindow()
{
    QFETCH(QString, leave);
    QVERIFY(!action(m_form.get(), "CloseMicrograph1")->isEnabled());
    QVERIFY(!action(m_form.get(), "Micrograph1")->isEnabled());
    action(m_form.get(), "Show2DCTF1")->trigger();
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-400"));
    auto *chart = child<ChartWidget>(m_form.get(), "Chart1");
    QTest::qWait(50); // the pane's layout settles
    chart->redraw();
    // Keyboard focus is compared elsewhere: a progress dialog may take it for a while.
    if (QWidget *focus = QApplication::focusWidget())
        focus->clearFocus();
    const QImage before = m_form->grab().toImage();
    const QImage patternBefore = pattern();

    openAndWait(m_file);
    QVERIFY(action(m_form.get(), "CloseMicrograph1")->isEnabled());
    QVERIFY(action(m_form.get(), "Micrograph1")->isChecked());
    QVERIFY(pattern() != patternBefore);
    const int average = chart->seriesIndex(QStringLiteral("MicrographAverage"));
    QVERIFY(average >= 0);
    QVERIFY(chart->pointCount(average) > 100);
    QVERIFY(chart->isSeriesVisible(chart->seriesIndex(QStringLiteral("MicrographModel"))));

    action(m_form.get(), leave.toLatin1().constData())->trigger();
    QTest::qWait(50);
    chart->redraw();
    QCOMPARE(pattern(), patternBefore);
    QCOMPARE(chart->pointCount(average), 0);
    if (QWidget *focus = QApplication::focusWidget())
        focus->clearFocus();
    const QImage after = m_form->grab().toImage();
    QCOMPARE(after, before);
}

void TestMicrographView::dropOpens()
{
    QSignalSpy opened(&m_form->micrographs().micrograph(), &MicrographSession::opened);
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_file)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_form.get(), &drop);
    QVERIFY(opened.wait(30000));
    delete data;
    QCOMPARE(m_form->micrographs().micrograph().path(), m_file);
    // The pattern's pane comes with it, and the file joins the recent ones.
    QVERIFY(action(m_form.get(), "Show2DCTF1")->isChecked());
    QVERIFY(action(m_form.get(), "RecentMicrograph1")->text().endsWith(QStringLiteral("rings.mrc")));
    QCOMPARE(action(m_form.get(), "OpenMicrograph1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    // The model follows the slider over the measured spectrum.
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-400"));
    const QImage atFirst = pattern();
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-500"));
    QVERIFY(pattern() != atFirst);
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-400"));
    QCOMPARE(pattern(), atFirst);
}

void TestMicrographView::refusalKeepsTheWindow()
{
    action(m_form.get(), "Show2DCTF1")->trigger();
    const QImage before = pattern();
    const QString broken = m_dir.filePath(QStringLiteral("broken.mrc"));
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(100, 'x'));
    f.close();
    QSignalSpy failed(&m_form->micrographs().micrograph(), &MicrographSession::failed);
    MessageBoxCatcher box;
    m_form->micrographs().open(broken);
    QVERIFY(failed.wait(30000));
    QTRY_VERIFY(!box.text.isEmpty());
    QVERIFY2(box.text.contains(QStringLiteral("broken.mrc")), qPrintable(box.text));
    QCOMPARE(pattern(), before);
    QVERIFY(!action(m_form.get(), "CloseMicrograph1")->isEnabled());
}

ORVALIS_UI_TEST_MAIN(TestMicrographView)
#include "test_micrographview.moc"
