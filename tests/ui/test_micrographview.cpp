// The user's micrograph in the whole window: opened from the command and by a drop, shown in the
// pattern's pane and on the 1D chart, refused with one message, and closed or switched off with the
// window back as it was, pixel for pixel; the CTF fitted from the window and applied to the sliders.
#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "chart/micrographseries.h"
#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "dialogdriver.h"
#include "formdriver.h"
#include "session/ctfsession.h"
#include "session/fitsession.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/fitctf/fitctfdialog.h"
#include "ui/fitctf/fitresultpanel.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/patternpane.h"
#include "ui/widgets/pixelimage.h"

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
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
    void everySeriesNamed_data();
    void everySeriesNamed();
    void spectrumView_data();
    void spectrumView();
    void stepsRedrawAsWhole_data();
    void stepsRedrawAsWhole();
    void dropOpens();
    void refusalKeepsTheWindow();
    void fitAppliesToTheSliders();
    void fitOutsideTheRangeIsDoubted();
    void fitDialogRefusesBadBands();
    void fitDialogChangesTheSession();

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
    m_file = m_dir.filePath(QStringLiteral("rings.mrc"));
    QVERIFY(writeRingsMicrograph(m_file));
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
    // The open micrograph's pixel size is the model's detector, Nyquist marks and all: switched off,
    // the window is today's only for a model that has that detector already. Closing gives back the
    // model's own (none here).
    if (leave == QLatin1String("Micrograph1")) {
        SpecimenDetector detector = m_form->session().specimen();
        detector.pixelSize = 1; // Å, the file's
        m_form->session().setSpecimen(detector);
    }
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-400")); // draws the views again
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
    // The switch and Fit come under the pattern's readout, inside its pane however large it grew.
    auto *buttons = child<QWidget>(m_form.get(), "MicrographButtons");
    const QWidget *readout = child<QWidget>(m_form.get(), "Label11");
    QTRY_VERIFY(buttons->isVisible() && buttons->parentWidget()->rect().contains(buttons->geometry())
                && buttons->y() > readout->mapTo(buttons->parentWidget(), QPoint(0, readout->height())).y());
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
    // Switched off, the micrograph is still open: its switch and Fit stay under the pattern to switch
    // it back on, and are all that differs.
    QCOMPARE(buttons->isVisible(), leave == QLatin1String("Micrograph1"));
    buttons->hide();
    const QImage after = m_form->grab().toImage();
    QCOMPARE(after, before);
}

void TestMicrographView::everySeriesNamed_data()
{
    QTest::addColumn<QString>("series"); // objectName
    QTest::addColumn<QString>("button"); // its entry in a bar's Show/Legend group; empty: the chart's legend
    const char *buttons[] = {"SpeedButton10", "btnTemporal", "btnSpatial",  "btnCombined",
                             "btnTemporal",   "btnSpatial",  "btnCombined", "btn2ndCTF"};
    for (const Chart1SeriesLook &s : chart1Series)
        QTest::newRow(s.name) << s.name << buttons[s.series];
    for (const MicrographCurveLook &c : micrographCurves)
        QTest::newRow(c.objectName) << c.objectName << "";
}

// With a micrograph open every series of the chart has a name and a legend entry; each micrograph
// curve its own pen apart from the envelopes', a View menu item that switches it, and its value in the
// pointer's readout.
void TestMicrographView::everySeriesNamed()
{
    QFETCH(QString, series);
    QFETCH(QString, button);
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-400")); // the micrograph's: the rings agree
    openAndWait(m_file);
    auto *chart = child<ChartWidget>(m_form.get(), "Chart1");
    chart->redraw();
    const int index = chart->seriesIndex(series);
    QVERIFY(index >= 0);
    QVERIFY(!chart->seriesTitle(index).isEmpty());
    if (!button.isEmpty()) {
        const auto *entry = child<QToolButton>(m_form.get(), button.toLatin1().constData());
        QVERIFY(!entry->text().isEmpty() && !entry->icon().isNull());
        return;
    }
    const MicrographCurveLook *look = nullptr;
    for (const MicrographCurveLook &c : micrographCurves)
        if (series == QLatin1String(c.objectName))
            look = &c;
    QVERIFY(look);
    QCOMPARE(chart->seriesTitle(index), micrographCurveName(look->curve));
    QVERIFY(chart->isSeriesVisible(index));
    const auto legendEntry = [chart, &series]() -> QCPAbstractLegendItem * {
        for (int i = 0; i < chart->legend->itemCount(); ++i)
            if (chart->legend->item(i)->objectName() == series)
                return chart->legend->item(i);
        return nullptr;
    };
    QVERIFY(chart->legend->visible());
    QVERIFY(legendEntry());

    // Apart from every envelope's colour; a colour shared with another micrograph curve has its own dashes.
    const QPen pen = chart->series(index)->pen();
    for (int s = S2Temporal; s <= S7CombinedNeg; ++s)
        QVERIFY2(pen.color() != seriesColour(static_cast<Chart1Series>(s)), qPrintable(pen.color().name()));
    for (const MicrographCurveLook &other : micrographCurves)
        if (other.curve != look->curve && other.colour == look->colour)
            QVERIFY(other.style != look->style);

    // The pointer's readout names it with its value.
    const QRect plot = chart->plotRect();
    const double heldTo = chart->xValue(chart->seriesIndex(QStringLiteral("MicrographAgreedUpTo")), 0);
    QVERIFY(heldTo > 0);
    const int x = static_cast<int>(chart->chartAxis(ChartWidget::Axis::Bottom)->coordToPixel(heldTo * 0.8));
    QTest::mouseMove(chart, QPoint(x, plot.center().y()));
    auto *readout = child<QLabel>(m_form.get(), "StatusPanel5");
    QTRY_VERIFY(readout->isVisible());
    QVERIFY2(readout->text().contains(micrographCurveName(look->curve) + QLatin1Char(' ')),
             qPrintable(readout->text()));

    // Switched off in the View menu it goes from the chart and the readout and stays in the legend.
    QAction *item = action(m_form.get(), look->action);
    QVERIFY(item->isEnabled() && item->isChecked());
    item->trigger();
    QVERIFY(!chart->isSeriesVisible(index));
    QVERIFY(legendEntry());
    QTest::mouseMove(chart, QPoint(x + 1, plot.center().y()));
    QTRY_VERIFY(!readout->text().contains(micrographCurveName(look->curve) + QLatin1Char(' ')));
    item->trigger();
    QVERIFY(chart->isSeriesVisible(index));
}

void TestMicrographView::spectrumView_data()
{
    QTest::addColumn<double>("pixelSize"); // nm, set for the open micrograph
    QTest::addColumn<int>("zoomSteps");    // Zoom In commands
    QTest::newRow("1 A, whole spectrum") << 0.1 << 0;
    QTest::newRow("0.5 A, zoomed twice") << 0.05 << 2;
    QTest::newRow("2.1 A, zoomed once") << 0.21 << 1;
}

// With a micrograph the pane shows it over its own frequencies up to Nyquist (over the zoom), at a
// size that grows with the window; the model's first zero is drawn on the measured half where the
// model puts it; the pointer reads both out; the commands are greyed without the micrograph.
void TestMicrographView::spectrumView()
{
    QFETCH(double, pixelSize);
    QFETCH(int, zoomSteps);
    QVERIFY(!action(m_form.get(), "SpectrumZoomIn1")->isEnabled());
    QVERIFY(!action(m_form.get(), "SpectrumRings1")->isEnabled());
    m_form->resize(1920, 1040);
    openAndWait(m_file);
    MicrographSession &micrograph = m_form->micrographs().micrograph();
    QVERIFY(micrograph.setPixelSize(pixelSize));
    QCoreApplication::processEvents();
    QVERIFY(action(m_form.get(), "SpectrumZoomIn1")->isEnabled());
    for (int i = 0; i < zoomSteps; ++i)
        action(m_form.get(), "SpectrumZoomIn1")->trigger();
    action(m_form.get(), "SpectrumRings1")->trigger();
    typeAndEnter(m_form.get(), "edDefocus", QStringLiteral("-400"));
    QTest::qWait(50);
    auto *pane = child<PatternPane>(m_form.get(), "pa2Dctf");
    QVERIFY(pane->spectrumView());
    const QImage view = pattern();
    QVERIFY2(view.height() >= m_form->height() / 3, qPrintable(QString::number(view.height())));
    const double nyquist = 1 / (2 * pixelSize);
    QVERIFY(std::fabs(pane->range() - nyquist / std::pow(std::sqrt(2.0), zoomSteps)) < 1e-9);

    // The model's first zero straight up from the centre, on the measured half (the direction is 0).
    const SpectrumModel model = micrograph.model();
    const PhaseFactors f = model.model().phase();
    const double c = Pi - std::asin(m_form->session().state().AmplitudeContrast);
    const double k1 = std::sqrt((-f.df - std::sqrt(f.df * f.df - 4 * f.cs * c)) / (2 * f.cs));
    const int centre = view.width() / 2;
    const int up = static_cast<int>(std::lround(k1 * (centre - 1) / pane->range()));
    QVERIFY(up > 5 && up < centre - 2);
    const auto ringColoured = [](QRgb p) { return qRed(p) - qBlue(p) > 60; };
    bool found = false;
    for (int y = centre - up - 1; y <= centre - up + 1; ++y)
        found = found || ringColoured(view.pixel(centre, y));
    QVERIFY2(found, qPrintable(QStringLiteral("no ring at %1 px above the centre").arg(up)));
    for (int y = centre + 2; y < view.height(); ++y)
        QVERIFY(!ringColoured(view.pixel(centre, y))); // the model's half shows its own zeros
    QVERIFY(!ringColoured(view.pixel(centre, centre - up / 2)));

    // The pointer there: its frequency, the measured and the model's value in the status bar.
    auto *image = child<PixelImage>(m_form.get(), "Image1");
    QTest::mouseMove(image, QPoint(centre + 3, centre - 3)); // a row before may have left it where it goes
    QTest::mouseMove(image, QPoint(centre, centre - up));
    QTRY_VERIFY(child<QLabel>(m_form.get(), "StatusPanel2")->text().startsWith(QStringLiteral("k ")));
    const QString values = child<QLabel>(m_form.get(), "StatusPanel3")->text();
    QVERIFY2(values.startsWith(QStringLiteral("measured ")) && values.contains(QStringLiteral(", model ")),
             qPrintable(values));

    action(m_form.get(), "SpectrumWhole1")->trigger();
    QTRY_VERIFY(std::fabs(pane->range() - nyquist) < 1e-9);
    action(m_form.get(), "CloseMicrograph1")->trigger();
    QVERIFY(!pane->spectrumView());
    QVERIFY(!action(m_form.get(), "SpectrumZoomIn1")->isEnabled());
}

void TestMicrographView::stepsRedrawAsWhole_data()
{
    QTest::addColumn<QString>("between"); // what changes between the defocus steps
    QTest::newRow("nothing") << QString();
    QTest::newRow("contrast") << QStringLiteral("contrast");
    QTest::newRow("zoom") << QStringLiteral("zoom");
    QTest::newRow("direction") << QStringLiteral("direction");
    QTest::newRow("rings on and off") << QStringLiteral("rings");
    QTest::newRow("pixel size") << QStringLiteral("pixel size");
    QTest::newRow("font") << QStringLiteral("font");
}

// A defocus step puts anew only the spectrum view's pixels that changed: after steps with any other
// change of the view between them, the picture is the one drawn whole for the same state.
void TestMicrographView::stepsRedrawAsWhole()
{
    QFETCH(QString, between);
    m_form->resize(1920, 1040);
    openAndWait(m_file);
    MicrographSession &micrograph = m_form->micrographs().micrograph();
    const int at = child<QScrollBar>(m_form.get(), "ScrollBar1")->value();
    const auto step = [&](int by) {
        m_form->controls().moveSlider(SliderPanel::Defocus, at + by);
        QCoreApplication::processEvents();
    };
    step(1);
    step(2);
    MicrographSession::ViewChoices choices = micrograph.viewChoices();
    if (between == QLatin1String("contrast")) {
        choices.contrast.logarithmic = true;
        micrograph.setViewChoices(choices);
    } else if (between == QLatin1String("zoom")) {
        choices.zoom = 2;
        micrograph.setViewChoices(choices);
    } else if (between == QLatin1String("direction")) {
        m_form->session().setDirection(0.7);
    } else if (between == QLatin1String("rings")) {
        choices.rings = true;
        micrograph.setViewChoices(choices);
        step(3);
        choices.rings = false;
        micrograph.setViewChoices(choices);
    } else if (between == QLatin1String("pixel size")) {
        QVERIFY(micrograph.setPixelSize(0.13));
    } else if (between == QLatin1String("font")) {
        auto *pane = child<PatternPane>(m_form.get(), "pa2Dctf");
        QFont larger = pane->font();
        larger.setPointSizeF(larger.pointSizeF() + 3);
        pane->setFont(larger);
    }
    QCoreApplication::processEvents();
    step(4);
    step(3);
    const QImage stepped = pattern();
    // Blanked, the picture cannot pass for the last view drawn: it is drawn whole.
    child<PixelImage>(m_form.get(), "Image1")->image().fill(Qt::black);
    QVERIFY(m_form->micrographs().drawPattern());
    QVERIFY(pattern() == stepped);
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

// Fit is there only with a micrograph; its result shows in the panel before anything moves, and
// Apply moves the sliders there, widening the defocus range as a typed value does.
void TestMicrographView::fitAppliesToTheSliders()
{
    QVERIFY(!action(m_form.get(), "FitCtf1")->isEnabled());
    openAndWait(m_file);
    QVERIFY(action(m_form.get(), "FitCtf1")->isEnabled());
    QVERIFY(child<QWidget>(m_form.get(), "MicrographButtons")->isVisible());
    QCOMPARE(child<QToolButton>(m_form.get(), "btnFit")->defaultAction(), action(m_form.get(), "FitCtf1"));

    auto *fit = m_form->findChild<FitSession *>(QStringLiteral("fitSession"));
    QVERIFY(fit);
    // The micrograph's 400 nm lie below the dialog's default range.
    FitRequest request;
    request.minUnderfocus = 2000; // Å
    request.maxUnderfocus = 20000;
    fit->setRequest(request);
    QSignalSpy finished(fit, &FitSession::finished);
    QVERIFY(fit->start());
    QVERIFY(finished.wait(60000));
    auto *panel = m_form->findChild<FitResultPanel *>(QStringLiteral("FitResultPanel"));
    QVERIFY(panel);
    QTRY_VERIFY(panel->isVisible());
    QVERIFY2(fit->canApply(), qPrintable(panel->laStatus->text()));
    const CtfFitValues v = *fit->result()->values;
    QVERIFY2(std::fabs(v.program.Defocus + 400) < 10, qPrintable(panel->laDefocus->text()));
    QCOMPARE(panel->laDefocus->text(), QStringLiteral("%1 nm").arg(v.program.Defocus, 0, 'f', 1));
    QCOMPARE(panel->laDefocusU->text(), QStringLiteral("%1 Å").arg(v.cryoEm.defocusU, 0, 'f', 0));
    QVERIFY(panel->laResolution->text().endsWith(QStringLiteral(" Å")));
    auto *defocus = child<QScrollBar>(m_form.get(), "ScrollBar1");
    auto *astigmatism = child<QScrollBar>(m_form.get(), "ScrollBar2");
    const int before = defocus->value();
    QVERIFY(before != 400);
    QVERIFY(defocus->maximum() < 400); // the window's default range ends at 200 nm underfocus

    QVERIFY(panel->ApplyBtn->isEnabled());
    QTest::mouseClick(panel->ApplyBtn, Qt::LeftButton);
    QCOMPARE(defocus->value(), -int(std::lround(v.program.Defocus)));
    QVERIFY(defocus->maximum() >= defocus->value());
    QCOMPARE(astigmatism->value(), int(std::lround(v.program.A2)));
    QCOMPARE(child<QLineEdit>(m_form.get(), "edDefocus")->text(), QString::number(std::lround(v.program.Defocus)));
    QCOMPARE(m_form->session().state().A2Azimuth, v.program.azimuth * Pi / 180);

    // The chart's marker stands where the panel says the fit holds, until the optics leave the fit.
    auto *chart = child<ChartWidget>(m_form.get(), "Chart1");
    const int marker = chart->seriesIndex(QStringLiteral("MicrographAgreedUpTo"));
    QVERIFY(marker >= 0 && v.resolution > 0);
    QCOMPARE(chart->xValue(marker, 0), 1 / v.resolution);
    defocus->triggerAction(QAbstractSlider::SliderSingleStepSub); // the range ends at the fit
    QCOMPARE(fit->appliedResolution(), 0.0);
    QCOMPARE(chart->xValue(marker, 0), m_form->micrographs().micrograph().profile().agreedUpTo);

    // Closing the micrograph takes Fit and its result away.
    action(m_form.get(), "CloseMicrograph1")->trigger();
    QVERIFY(!action(m_form.get(), "FitCtf1")->isEnabled());
    QVERIFY(!panel->isVisible());
    QVERIFY(!fit->result());
}

// A doubted fit: the panel shows its values, says why in red naming the dialog's field, and Apply
// stays for a look at the rings it draws.
void TestMicrographView::fitOutsideTheRangeIsDoubted()
{
    FitResultPanel panel;
    CtfFitResult r;
    r.score = 0.2;
    r.significance = 40;
    r.values = CtfFitValues{};
    r.values->program.Defocus = -500;
    r.doubts = FitAtNearFocusEnd | FitAtAstigmatismLimit | FitWantsPhaseShift;
    r.edgeDefocus = -500;
    r.astigmatismLimit = Pi * 300;
    r.freePhaseScore = 0.4;
    r.freePhaseShift = 90;
    panel.showResult(r, false);
    const QString status = panel.laStatus->text();
    QVERIFY2(status.contains(QStringLiteral("Not reliable")) && status.contains(QStringLiteral("Underfocus from"))
                 && status.contains(QStringLiteral("Fit a phase plate")) && status.contains(QStringLiteral("5000 Å"))
                 && status.contains(QStringLiteral("U - V of 3000 Å"))
                 && status.contains(QStringLiteral("Largest astigmatism (U − V)"))
                 && !status.contains(QStringLiteral("orvalis-ctf")),
             qPrintable(status));
    QCOMPARE(panel.laDefocus->text(), QStringLiteral("-500.0 nm"));
    QVERIFY(panel.ApplyBtn->isEnabled());
    // Shown after a short message, the panel grows for the reasons' lines: no row is squeezed.
    panel.showMessage(QStringLiteral("Fitting."));
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    panel.showResult(r, false);
    QApplication::processEvents();
    for (QLabel *l : panel.findChildren<QLabel *>())
        if (l->isVisible())
            QVERIFY2(l->height() >= l->heightForWidth(l->width()) && l->height() >= l->minimumSizeHint().height(),
                     qPrintable(l->text()));
    r.doubts = 0;
    panel.showResult(r, false);
    QVERIFY(!panel.laStatus->text().contains(QStringLiteral("Not reliable")));
    QVERIFY(!panel.laTilt->isVisible() && !panel.laThickness->isVisible());

    // The specimen's rows show for a fit that asked for them: a tilt found, a thickness not, and why.
    CtfFitOptions asked;
    asked.fitTilt = asked.fitThickness = true;
    r.values->tilt = SpecimenTilt{20, 30};
    r.specimenNote = QStringLiteral("No thickness is reported: the specimen is thin for this band.");
    panel.showResult(r, asked);
    QApplication::processEvents();
    QVERIFY(panel.laTilt->isVisible() && panel.laThickness->isVisible());
    QVERIFY2(panel.laTilt->text().startsWith(QStringLiteral("20.0 ° about an axis at 30.0 °")),
             qPrintable(panel.laTilt->text()));
    QCOMPARE(panel.laThickness->text(), QStringLiteral("none reported"));
    QVERIFY(panel.laStatus->text().contains(r.specimenNote));
}

void TestMicrographView::fitDialogRefusesBadBands()
{
    FitCtfDialog dialog(m_form.get());
    const FitOptics optics{200, 1.2, 0.07, 1.0};
    dialog.setRequest(FitRequest(), optics);
    QCOMPARE(dialog.edMinUnderfocus->text(), QStringLiteral("0.5"));
    QCOMPARE(dialog.edMaxUnderfocus->text(), QStringLiteral("5"));
    QCOMPARE(dialog.edLowResolution->text(), QStringLiteral("30"));
    QCOMPARE(dialog.edHighResolution->text(), QStringLiteral("5"));
    QCOMPARE(dialog.edMaxAstigmatism->text(), QStringLiteral("3000"));
    dialog.show();
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QCOMPARE(dialog.edVoltage->text(), QStringLiteral("200"));
    QCOMPARE(dialog.edCs->text(), QStringLiteral("1.2"));
    QCOMPARE(dialog.edAmplitudeContrast->text(), QStringLiteral("0.07"));
    QCOMPARE(dialog.edPixelSize->text(), QStringLiteral("1"));
    // What is typed where, what the dialog says and where it puts the cursor.
    const struct {
        QLineEdit *edit;
        const char *typed;
        QString problem;
        QLineEdit *focus;
    } refused[] = {
        {dialog.edHighResolution, "1.5", QStringLiteral("beyond the micrograph's Nyquist limit of 2 Å"),
         dialog.edHighResolution},
        {dialog.edHighResolution, "40", QStringLiteral("The band from 30 Å to 40 Å is empty"), dialog.edLowResolution},
        {dialog.edHighResolution, "five", QStringLiteral("'five' is not a valid floating point value"),
         dialog.edHighResolution},
        {dialog.edMaxAstigmatism, "-100",
         QStringLiteral("Largest astigmatism (U − V) cannot be -100 Å: it must be from 0 to 100000 Å."),
         dialog.edMaxAstigmatism},
        {dialog.edMaxAstigmatism, "2e5", QStringLiteral("Largest astigmatism (U − V) cannot be 200000 Å"),
         dialog.edMaxAstigmatism},
        {dialog.edMaxAstigmatism, "3,000", QStringLiteral("'3,000' is not a valid floating point value"),
         dialog.edMaxAstigmatism},
        {dialog.edVoltage, "0.5", QStringLiteral("Voltage (kV) cannot be 0.5: it must be from 1 to 3000."),
         dialog.edVoltage},
        {dialog.edCs, "2,7", QStringLiteral("Cs (mm): '2,7' is not a valid floating point value"), dialog.edCs},
        {dialog.edAmplitudeContrast, "1",
         QStringLiteral("Amplitude contrast cannot be 1: it must be from 0 to below 1."), dialog.edAmplitudeContrast},
        {dialog.edPixelSize, "0", QStringLiteral("Pixel size (Å) cannot be 0: it must be from 0.01 to 100."),
         dialog.edPixelSize},
        // The band is checked against the pixel size typed beside it.
        {dialog.edPixelSize, "3", QStringLiteral("beyond the micrograph's Nyquist limit of 6 Å"),
         dialog.edHighResolution},
    };
    for (const auto &r : refused) {
        const QString before = r.edit->text();
        r.edit->setText(QString::fromLatin1(r.typed));
        QTest::mouseClick(dialog.FitBtn, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.laProblem->isVisible());
        QVERIFY2(dialog.laProblem->text().contains(r.problem), qPrintable(dialog.laProblem->text()));
        QCOMPARE(dialog.focusWidget(), r.focus);
        QCOMPARE(dialog.request(), FitRequest());
        QCOMPARE(dialog.optics(), optics);
        r.edit->setText(before);
    }
    dialog.edHighResolution->setText(QStringLiteral("4"));
    dialog.edMaxAstigmatism->setText(QStringLiteral("4500"));
    dialog.cbFitPhaseShift->setChecked(true);
    dialog.cbFitTilt->setChecked(true);
    QTest::mouseClick(dialog.FitBtn, Qt::LeftButton);
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(dialog.request().highResolution, 4.0);
    QCOMPARE(dialog.request().maxAstigmatism, 4500.0);
    QVERIFY(dialog.request().fitPhaseShift);
    QVERIFY(dialog.request().fitTilt && !dialog.request().fitThickness);
    // Shown again, the dialog holds the request it is given, not what was typed last.
    dialog.edMaxAstigmatism->setText(QStringLiteral("1"));
    dialog.setRequest(dialog.request(), optics);
    QCOMPARE(dialog.edMaxAstigmatism->text(), QStringLiteral("4500"));
}

// Voltage, Cs, amplitude contrast and pixel size are decided in the Fit dialog: changed there, they
// change the session's instrument, specimen and micrograph, and the result names what it was fitted
// with.
void TestMicrographView::fitDialogChangesTheSession()
{
    openAndWait(m_file);
    auto *fit = m_form->findChild<FitSession *>(QStringLiteral("fitSession"));
    FitRequest request;
    request.minUnderfocus = 2000; // Å
    request.maxUnderfocus = 20000;
    fit->setRequest(request);
    CtfSession &session = m_form->session();
    const double contrastBefore = session.state().AmplitudeContrast;
    QString shown;
    QStringList contrastChoices; // as the amplitude contrast's choice follows the field
    WhenModal<FitCtfDialog> user([&](FitCtfDialog *d) {
        shown = QStringList{d->edVoltage->text(), d->edCs->text(), d->edPixelSize->text()}.join(QLatin1Char(' '));
        retype(d->edCs, QStringLiteral("2.7"));
        contrastChoices << d->cbAmplitudeContrast->currentText();
        retype(d->edAmplitudeContrast, QStringLiteral("0.07"));
        contrastChoices << d->cbAmplitudeContrast->currentText();
        emit d->cbAmplitudeContrast->activated(1); // the user picks negative stain
        contrastChoices << d->edAmplitudeContrast->text();
        retype(d->edPixelSize, QStringLiteral("1.05"));
        QTest::keyClick(d->edPixelSize, Qt::Key_Return); // Fit is the default button
    });
    QSignalSpy finished(fit, &FitSession::finished);
    action(m_form.get(), "FitCtf1")->trigger();
    QVERIFY(user.seen);
    QCOMPARE(shown, QStringLiteral("200 1.2 1"));
    QCOMPARE(contrastChoices,
             QStringList({QStringLiteral("Typed value"), QStringLiteral("Cryo-EM (0.07)"), QStringLiteral("0.1")}));
    QCOMPARE(session.ScopeRecord1.Cs, 2.7e6);
    QCOMPARE(session.state().Cs, 2.7e6);
    QCOMPARE(session.state().Voltage, 200.0);
    QCOMPARE(session.state().AmplitudeContrast, 0.1);
    QVERIFY(contrastBefore != 0.1);
    QCOMPARE(m_form->micrographs().micrograph().pixelSize(), 0.105);
    QCOMPARE(session.ownPixelSize(), 0.0); // the micrograph's, not the specimen's own
    // The defocus field and slider show the kept defocus as loading an instrument shows it.
    QCOMPARE(child<QLineEdit>(m_form.get(), "edDefocus")->text(), formatFixed(session.state().Defocus, 0));
    QCOMPARE(child<QScrollBar>(m_form.get(), "ScrollBar1")->value(), -int(std::lround(session.state().Defocus)));
    QVERIFY(finished.wait(60000));
    QCOMPARE(fit->resultOptions().instrument.cs, 2.7e6);
    QCOMPARE(fit->resultOptions().amplitudeContrast, 0.1);
    auto *panel = m_form->findChild<FitResultPanel *>(QStringLiteral("FitResultPanel"));
    QTRY_VERIFY(panel && panel->isVisible());
    QCOMPARE(panel->laFittedWith->text(), QStringLiteral("200 kV, Cs 2.7 mm, amplitude contrast 0.1, pixel 1.05 Å"));
}

ORVALIS_UI_TEST_MAIN(TestMicrographView)
#include "test_micrographview.moc"
