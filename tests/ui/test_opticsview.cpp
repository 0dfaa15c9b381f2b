// The optical model in the whole window: fine defocus from the options, the cryo-EM entry of the
// astigmatism, the detector's Nyquist frequency on the three views with the sampled pattern, and the
// specimen's terms and the CTF's sign kept for the next start.
#include "dialogdriver.h"
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "chart/nyquistmark.h"
#include "core/ctffunctions.h"
#include "ui/astigmatism/astigmatismdialog.h"
#include "ui/main/formset.h"
#include "ui/options/fmoptions.h"
#include "ui/specimen/specimendialog.h"
#include "ui/widgets/pixelimage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

class TestOpticsView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fineDefocus();
    void cryoEmEntry();
    void refusedEntry();
    void nyquistAndSampledView();
    void keptForTheNextStart();
    void correctorConventions_data();
    void correctorConventions();

private:
    void start()
    {
        m_forms = std::make_unique<FormSet>();
        form()->show();
        QVERIFY(QTest::qWaitForWindowExposed(form()));
    }
    TForm1 *form() { return &m_forms->form(); }
    QScrollBar *bar(const char *name) { return child<QScrollBar>(form(), name); }
    void setPixelSize(const QString &angstrom)
    {
        WhenModal<SpecimenDialog> user([&](SpecimenDialog *d) {
            d->edPixelSize->setText(angstrom);
            d->OKBtn->click();
        });
        action(form(), "SpecimenDetector1")->trigger();
        QVERIFY(user.seen);
    }

    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<FormSet> m_forms;
};

void TestOpticsView::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    start();
}

void TestOpticsView::cleanup()
{
    m_forms.reset();
    m_settings.reset();
}

// The slider counts tenths of a nanometre while the options say so; the defocus keeps its value
// across the change of scale.
void TestOpticsView::fineDefocus()
{
    const double startup = form()->state().Defocus;
    WhenModal<TfmOptions> fine([](TfmOptions *d) {
        d->chkFineDefocus->setChecked(true);
        d->OKBtn->click();
    });
    action(form(), "Options1")->trigger();
    QVERIFY(fine.seen);
    QCOMPARE(bar("ScrollBar1")->minimum(), -500);
    QCOMPARE(bar("ScrollBar1")->maximum(), 2000);
    QCOMPARE(bar("ScrollBar1")->value(), 672);
    QCOMPARE(form()->state().Defocus, startup);

    typeAndEnter(form(), "edDefocus", QStringLiteral("-4.2"));
    QCOMPARE(form()->state().Defocus, -4.2);
    QCOMPARE(bar("ScrollBar1")->value(), 42);
    bar("ScrollBar1")->setFocus();
    QTest::keyClick(bar("ScrollBar1"), Qt::Key_Right);
    QCOMPARE(form()->state().Defocus, -4.3);
    QCOMPARE(child<QLineEdit>(form(), "edDefocus")->text(), QStringLiteral("-4.3"));
    QCOMPARE(form()->session().activeScopeRecord().Defocus, -4.3);

    WhenModal<TfmOptions> coarse([](TfmOptions *d) {
        QVERIFY(d->chkFineDefocus->isChecked());
        d->chkFineDefocus->setChecked(false);
        d->OKBtn->click();
    });
    action(form(), "Options1")->trigger();
    QVERIFY(coarse.seen);
    QCOMPARE(bar("ScrollBar1")->maximum(), 200);
    QCOMPARE(bar("ScrollBar1")->value(), 4);
    QCOMPARE(form()->state().Defocus, -4.3);
    MessageBoxCatcher box;
    typeAndEnter(form(), "edDefocus", QStringLiteral("-4.2"));
    QTRY_VERIFY(box.text.contains(QStringLiteral("'-4.2' is not a valid integer value")));
}

// Defocus U and V with their angle become the program's terms exactly, and the sliders follow.
void TestOpticsView::cryoEmEntry()
{
    WhenModal<AstigmatismDialog> user([](AstigmatismDialog *d) {
        retype(d->edDefocusU, QStringLiteral("1500"));
        retype(d->edDefocusV, QStringLiteral("1300"));
        retype(d->edDefocusAngle, QStringLiteral("220")); // a two-fold direction and its opposite are one
        QCOMPARE(d->edDefocusNm->text(), QStringLiteral("-140"));
        QCOMPARE(d->edA2Azimuth->text(), QStringLiteral("40"));
        retype(d->edA3Azimuth, QStringLiteral("130"));
        d->OKBtn->click();
    });
    action(form(), "Astigmatism1")->trigger();
    QVERIFY(user.seen);
    const OpticsState &s = form()->state();
    QCOMPARE(s.Defocus, -140.0);
    QCOMPARE(s.A2, Pi * 200 / 10);
    QCOMPARE(s.A2Azimuth, 40 * Pi / 180);
    QCOMPARE(s.A3Azimuth, 10 * Pi / 180);
    QCOMPARE(bar("ScrollBar1")->value(), 140);
    QCOMPARE(bar("ScrollBar2")->value(), 63);
    QCOMPARE(child<QLineEdit>(form(), "edAstigm")->text(), QStringLiteral("63"));
    QCOMPARE(form()->session().activeScopeRecord().Defocus, -140.0);
}

void TestOpticsView::refusedEntry()
{
    const OpticsState before = form()->state();
    QStringList messages;
    WhenModal<AstigmatismDialog> user([&](AstigmatismDialog *d) {
        for (const auto &[edit, text] :
             {std::pair{d->edDefocusU, QStringLiteral("15OO")}, std::pair{d->edDefocusU, QStringLiteral("1e12")},
              std::pair{d->edA2, QStringLiteral("-3")}}) {
            if (edit == d->edA2)
                retype(d->edDefocusU, QStringLiteral("1500")); // the program's defocus follows, within range
            retype(edit, text);
            MessageBoxCatcher box;
            d->OKBtn->click();
            QTRY_VERIFY(!box.text.isEmpty());
            messages << box.text;
            QVERIFY(d->isVisible());
        }
        d->CancelBtn->click();
    });
    action(form(), "Astigmatism1")->trigger();
    QVERIFY(user.seen);
    QCOMPARE(messages.size(), 3);
    QCOMPARE(messages[0],
             QStringLiteral("Sorry,\nDefocus U (Å, positive underfocus): '15OO' is not a valid floating point value"));
    QVERIFY2(messages[1].startsWith(QStringLiteral("Sorry,\nDefocus U (Å, positive underfocus): they give a defocus "
                                                   "of -50000000033.59"))
                 && messages[1].endsWith(QStringLiteral("nm; it must be from -1000000000 to 1000000000 nm")),
             qPrintable(messages[1]));
    QCOMPARE(messages[2], QStringLiteral("Sorry,\nTwo-fold astigmatism A2 (nm): it must be from 0 to 1000000000 nm"));
    QCOMPARE(form()->state().Defocus, before.Defocus);
    QCOMPARE(form()->state().A2, before.A2);
}

void TestOpticsView::nyquistAndSampledView()
{
    auto *curves = child<ChartWidget>(form(), "Chart1");
    auto *map = child<ChartWidget>(form(), "Chart2");
    QVERIFY(!nyquistLine(*curves));
    QVERIFY(!action(form(), "Sampled2D1")->isEnabled());
    action(form(), "Show2DCTF1")->trigger();
    action(form(), "N3D1")->trigger();
    const QImage plain = child<PixelImage>(form(), "Image1")->image();

    setPixelSize(QStringLiteral("1.2")); // Nyquist at 1 / 0.24 nm^-1
    const double nyquist = 1 / 0.24;
    for (ChartWidget *chart : {curves, map}) {
        QCPItemStraightLine *line = nyquistLine(*chart);
        QVERIFY(line);
        QCOMPARE(line->point1->coords().x(), nyquist);
        QCOMPARE(nyquistLabel(*chart)->text(), QStringLiteral("Nyquist"));
    }
    // 104 px from the centre is 10 nm^-1: the square's edges lie 4.17 * 103 / 10 px from it.
    auto *square = child<QWidget>(form(), "shNyquist");
    QVERIFY(square->isVisible());
    QCOMPARE(square->geometry(), QRect(104 - 43, 104 - 43, 87, 87));
    QCOMPARE(child<PixelImage>(form(), "Image1")->image(), plain); // the pattern itself stays

    QVERIFY(action(form(), "Sampled2D1")->isEnabled());
    action(form(), "Sampled2D1")->trigger();
    const QImage sampled = child<PixelImage>(form(), "Image1")->image();
    QVERIFY(sampled != plain);

    // Nyquist beyond the picture's range (16.7 nm^-1): a square cut by the picture's edges would show
    // only some of its sides, so none is drawn.
    setPixelSize(QStringLiteral("0.3"));
    QVERIFY(!square->isVisible());
    setPixelSize(QStringLiteral("0.6")); // 8.3 nm^-1: inside it again, every side in the picture
    QVERIFY(square->isVisible());
    QVERIFY(QRect(QPoint(0, 0), child<PixelImage>(form(), "Image1")->image().size()).contains(square->geometry()));

    setPixelSize(QStringLiteral("0"));
    QVERIFY(!nyquistLine(*curves) && !nyquistLine(*map));
    QVERIFY(!square->isVisible());
    QVERIFY(!action(form(), "Sampled2D1")->isEnabled());
    QCOMPARE(child<PixelImage>(form(), "Image1")->image(), plain);
}

void TestOpticsView::keptForTheNextStart()
{
    setPixelSize(QStringLiteral("0.9"));
    action(form(), "RelionSign1")->trigger();
    const QVector<double> relion = form()->session().seriesY(0);
    QVERIFY(relion[1] > 0); // the start-up underfocus: sin chi < 0, RELION's sign > 0
    form()->close();
    m_forms.reset();
    start();
    QCOMPARE(form()->state().PixelSize, 0.09);
    QVERIFY(action(form(), "RelionSign1")->isChecked());
    QCOMPARE(form()->session().seriesY(0), relion);
    QVERIFY(nyquistLine(*child<ChartWidget>(form(), "Chart1")));
}

void TestOpticsView::correctorConventions_data()
{
    QTest::addColumn<int>("a3Choice");   // the Options' index
    QTest::addColumn<int>("unitChoice"); // the Options' index
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("a3"); // nm, this program's, as kept
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("resolution"); // the tree's point-to-point line, as a pattern
    QTest::newRow("the program's, as always") << 0 << 0 << "628" << 628.0 << "628"
                                              << "3-fold Astigmatism"
                                              << "^Point-to-Point:  \\d\\.\\d\\d/\\S+ nm$";
    QTest::newRow("corrector's coefficient, pm") << 1 << 2 << "100" << 2 * Pi * 100 << "100"
                                                 << "3-fold Astigmatism A2 (corrector)"
                                                 << "^Point-to-Point:  \\d+\\.\\d/\\S+ pm$";
    QTest::newRow("corrector's tenths, nm to three decimals") << 1 << 1 << "12.3" << 2 * Pi * 12.3 << "12.3"
                                                              << "3-fold Astigmatism A2 (corrector)"
                                                              << "^Point-to-Point:  \\d\\.\\d\\d\\d/\\S+ nm$";
}

// The corrector's coefficient typed becomes this program's A3 (2 pi times it) and reads back as
// typed; the labels say which is shown, the tree gives resolutions in the unit chosen, and both
// choices are kept for the next start while the stored A3 stays the program's.
void TestOpticsView::correctorConventions()
{
    QFETCH(int, a3Choice);
    QFETCH(int, unitChoice);
    QFETCH(QString, typed);
    QFETCH(double, a3);
    QFETCH(QString, field);
    QFETCH(QString, label);
    QFETCH(QString, resolution);
    WhenModal<TfmOptions> options([&](TfmOptions *d) {
        d->cbA3Convention->setCurrentIndex(a3Choice);
        d->cbResolutionUnit->setCurrentIndex(unitChoice);
        d->OKBtn->click();
    });
    action(form(), "Options1")->trigger();
    QVERIFY(options.seen);
    typeAndEnter(form(), "edAstigm3", typed);
    QCOMPARE(form()->state().A3, a3);
    QCOMPARE(child<QLineEdit>(form(), "edAstigm3")->text(), field);
    QCOMPARE(child<QLabel>(form(), "Label5")->text(), label);
    const auto pointResolution = [this] {
        const auto *tree = child<QTreeWidget>(form(), "TreeView1");
        for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it)
            if ((*it)->text(0).startsWith(QStringLiteral("Point-to-Point")))
                return (*it)->text(0);
        return QString();
    };
    QVERIFY2(QRegularExpression(resolution).match(pointResolution()).hasMatch(), qPrintable(pointResolution()));

    form()->close();
    m_forms.reset();
    start();
    QCOMPARE(child<QLabel>(form(), "Label5")->text(), label);
    QVERIFY2(QRegularExpression(resolution).match(pointResolution()).hasMatch(), qPrintable(pointResolution()));
}

QTEST_MAIN(TestOpticsView)
#include "test_opticsview.moc"
