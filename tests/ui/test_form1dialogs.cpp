// The main window with its dialogs, created as the program creates them: the options dialog changing
// ranges and colours, the About box, the help window.
#include "dialogdriver.h"
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "core/defocusmap.h"
#include "core/numberformat.h"
#include "session/ctfsession.h"
#include "store/windowsettings.h"
#include "ui/about/aboutbox.h"
#include "ui/help/fmhelp.h"
#include "ui/main/formset.h"
#include "ui/options/fmoptions.h"
#include "ui/used/fmused.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBrowser>
#include <QToolButton>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

class TestForm1Dialogs : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void optionsFromMenuAndToolButton_data();
    void optionsFromMenuAndToolButton();
    void optionsOk_data();
    void optionsOk();
    void optionsClampsSlider();
    void optionsKeepAberrations_data();
    void optionsKeepAberrations();
    void leavingPlotterShowsTheFirstCtf();
    void rangeChangeRedrawsMap_data();
    void rangeChangeRedrawsMap();
    void monochromeThenCancel();
    void aboutFromHelpMenu();
    void helpOnF1ClosesWithWindow();
    void usageDialog_data();
    void usageDialog();
    void monochromeStored();

private:
    // The program's windows as the program creates them, from what the settings folder holds.
    void start()
    {
        m_forms = std::make_unique<FormSet>();
        form()->help().setHelpFolder(QFINDTESTDATA("../../data/help"));
        form()->show();
        QVERIFY(QTest::qWaitForWindowExposed(form()));
    }
    TForm1 *form() { return &m_forms->form(); }
    ChartWidget *chart1() { return child<ChartWidget>(form(), "Chart1"); }
    QScrollBar *bar(const char *name) { return child<QScrollBar>(form(), name); }
    // Opens the options dialog from the menu, lets `act` work in it, and waits until it is closed.
    bool runOptions(const std::function<void(TfmOptions *)> &act)
    {
        WhenModal<TfmOptions> user(act);
        action(form(), "Options1")->trigger();
        return user.seen;
    }

    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<FormSet> m_forms;
};

void TestForm1Dialogs::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    if (!QByteArray(QTest::currentTestFunction()).startsWith("usage")
        && !QByteArray(QTest::currentTestFunction()).startsWith("monochromeStored"))
        start();
}

void TestForm1Dialogs::cleanup()
{
    m_forms.reset();
    m_settings.reset();
}

void TestForm1Dialogs::optionsFromMenuAndToolButton_data()
{
    QTest::addColumn<bool>("toolButton");
    QTest::newRow("Setup > Options") << false;
    QTest::newRow("tool button") << true;
}

void TestForm1Dialogs::optionsFromMenuAndToolButton()
{
    QFETCH(bool, toolButton);
    QString shown;
    WhenModal<TfmOptions> user([&](TfmOptions *d) {
        shown = d->windowTitle() + QLatin1Char(' ') + d->edDefocusMax->text() + QLatin1Char(' ')
            + d->edDefocusMin->text() + QLatin1Char(' ') + d->edUpTo->text() + QLatin1Char(' ') + d->ed2ast->text()
            + QLatin1Char(' ') + d->ed3ast->text();
        d->reject();
    });
    if (toolButton)
        child<QToolButton>(form(), "ToolButton5")->click();
    else
        action(form(), "Options1")->trigger();
    QVERIFY(user.seen);
    QCOMPARE(shown, QStringLiteral("Options 50 -200 10 200 10000"));
}

void TestForm1Dialogs::optionsOk_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("defocusMin");
    QTest::addColumn<int>("defocusMax");
    QTest::addColumn<int>("a2Max");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<bool>("redrawn");
    QTest::addColumn<QString>("message");
    QTest::newRow("untouched") << QString() << QString() << -50 << 200 << 200 << 10.0 << false << QString();
    QTest::newRow("overfocus 300") << "edDefocusMax"
                                   << "300" << -300 << 200 << 200 << 10.0 << true << QString();
    QTest::newRow("overfocus -300") << "edDefocusMax"
                                    << "-300" << -50 << 200 << 200 << 10.0 << true << QString();
    QTest::newRow("underfocus -500") << "edDefocusMin"
                                     << "-500" << -50 << 500 << 200 << 10.0 << true << QString();
    QTest::newRow("frequency 12.5") << "edUpTo"
                                    << "12.5" << -50 << 200 << 200 << 12.5 << true << QString();
    QTest::newRow("letters in 2-fold") << "ed2ast"
                                       << "x1" << -50 << 200 << 200 << 10.0 << false
                                       << QStringLiteral("Sorry,\n'x1' is not a valid integer value");
    QTest::newRow("negative frequency")
        << "edUpTo"
        << "-1" << -50 << 200 << 200 << 10.0 << false
        << QStringLiteral(
               "Sorry,\n'-1' is not a valid value for Max Frequency: it must be above 0 and at most 1000 nm-1");
}

void TestForm1Dialogs::optionsOk()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, defocusMin);
    QFETCH(int, defocusMax);
    QFETCH(int, a2Max);
    QFETCH(double, upTo);
    QFETCH(bool, redrawn);
    QFETCH(QString, message);

    QSignalSpy drawn(chart1(), &ChartWidget::afterDraw);
    MessageBoxCatcher box;
    QVERIFY(runOptions([&](TfmOptions *d) {
        if (!field.isEmpty())
            retype(d->findChild<QLineEdit *>(field), typed);
        d->OKBtn->click();
    }));
    QCOMPARE(box.text, message);
    QTest::qWait(20); // the chart replots when the events of the command are through
    QCOMPARE(bar("ScrollBar1")->minimum(), defocusMin);
    QCOMPARE(bar("ScrollBar1")->maximum(), defocusMax);
    QCOMPARE(bar("ScrollBar2")->maximum(), a2Max);
    QCOMPARE(bar("ScrollBar3")->maximum(), 10000);
    QCOMPARE(form()->state().UpTo, upTo);
    QCOMPARE(drawn.size() > 0, redrawn);
    // The curve reaches exactly the frequency range, in full sampling.
    const int last = chart1()->pointCount(0) - 1;
    QCOMPARE(chart1()->xValue(0, last), upTo);
    QCOMPARE(chart1()->pointCount(0), qRound(4096 * upTo / 10) + 1);
    QCOMPARE(chart1()->axisMaximum(ChartWidget::Axis::Bottom), upTo);
}

void TestForm1Dialogs::optionsClampsSlider()
{
    // Two-fold astigmatism at 150, then its maximum cut to 100: the slider and the curve follow.
    typeAndEnter(form(), "edAstigm", QStringLiteral("150"));
    QVERIFY(runOptions([](TfmOptions *d) {
        retype(d->ed2ast, QStringLiteral("100"));
        d->OKBtn->click();
    }));
    QCOMPARE(bar("ScrollBar2")->maximum(), 100);
    QCOMPARE(bar("ScrollBar2")->value(), 100);
    QCOMPARE(form()->state().A2, 100.0);
    QCOMPARE(form()->state().StepFactor, 1);
    QCOMPARE(chart1()->pointCount(0), 4097);
}

void TestForm1Dialogs::optionsKeepAberrations_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("upTo");
    QTest::newRow("frequency 10 to 3") << "edUpTo"
                                       << "3" << 3.0;
    QTest::newRow("frequency 10 to 12.5") << "edUpTo"
                                          << "12.5" << 12.5;
    QTest::newRow("2-fold maximum 300") << "ed2ast"
                                        << "300" << 10.0;
    QTest::newRow("3-fold maximum 5000") << "ed3ast"
                                         << "5000" << 10.0;
    QTest::newRow("underfocus -500") << "edDefocusMin"
                                     << "-500" << 10.0;
}

// New ranges are no new instrument: what a fit or the user dialled in stays, on the sliders too.
void TestForm1Dialogs::optionsKeepAberrations()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(double, upTo);
    typeAndEnter(form(), "edDefocus", QStringLiteral("-123"));
    typeAndEnter(form(), "edAstigm", QStringLiteral("45"));
    typeAndEnter(form(), "edAstigm3", QStringLiteral("300"));
    const OpticsState &state = form()->state();
    form()->session().setA2Azimuth(0.7); // as the astigmatism dialog or a fit leaves them
    form()->session().setA3Azimuth(0.3);
    const OpticsState before = state;
    QVERIFY(runOptions([&](TfmOptions *d) {
        retype(d->findChild<QLineEdit *>(field), typed);
        d->OKBtn->click();
    }));
    QCOMPARE(state.UpTo, upTo);
    QCOMPARE(state.Defocus, -123.0);
    QCOMPARE(state.A2, 45.0);
    QCOMPARE(state.A2Azimuth, 0.7);
    QCOMPARE(state.A3, 300.0);
    QCOMPARE(state.A3Azimuth, 0.3);
    QCOMPARE(state.Alpha, before.Alpha);
    QCOMPARE(form()->ScopeRecord1.Defocus, -123.0);
    QCOMPARE(bar("ScrollBar1")->value(), 123);
    QCOMPARE(bar("ScrollBar2")->value(), 45);
    QCOMPARE(bar("ScrollBar3")->value(), 300);
    QCOMPARE(child<QLineEdit>(form(), "edAstigm")->text(), QStringLiteral("45"));
    // The curve is the one of these aberrations over the new range.
    QCOMPARE(chart1()->xValue(0, chart1()->pointCount(0) - 1), upTo);
    // Loading an instrument is another matter: the two-fold astigmatism goes to 0.
    QVERIFY(form()->setup().ApplyScopeRecord(form()->ScopeRecord1));
    QCOMPARE(state.A2, 0.0);
    QCOMPARE(bar("ScrollBar2")->value(), 0);
}

// Analysis mode shows the first CTF, with what was dialled in for it, and that is the instrument a
// restart brings back; both CTFs are drawn as soon as plotter mode is entered, the legend beside them.
void TestForm1Dialogs::leavingPlotterShowsTheFirstCtf()
{
    typeAndEnter(form(), "edAstigm", QStringLiteral("40"));
    typeAndEnter(form(), "edAstigm3", QStringLiteral("300"));
    typeAndEnter(form(), "edDefocus", QStringLiteral("-90"));
    const OpticsState &state = form()->state();
    form()->session().setA2Azimuth(0.5);
    const double voltage = state.Voltage;

    form()->views().ChangeMode();
    QVERIFY(state.PlotterMode);
    QCOMPARE(chart1()->pointCount(0), 4097);
    QCOMPARE(chart1()->pointCount(7), 4097); // the second CTF at once, not after a click on it
    QVERIFY(chart1()->legend->visible());
    QVERIFY(!chart1()->legend->outerRect().intersects(chart1()->axisRect()->rect()));

    QTest::mouseClick(child<QToolButton>(form(), "btn2ndCTF"), Qt::LeftButton);
    TScopeData other = form()->ScopeRecord2;
    other.Voltage = 300;
    other.Model = QStringLiteral("Other");
    QVERIFY(form()->session().applyRecord(other));
    bar("ScrollBar1")->setValue(150);
    QCOMPARE(state.Voltage, 300.0);

    form()->views().ChangeMode();
    QVERIFY(!state.PlotterMode);
    QVERIFY(!state.SecondCTF);
    QVERIFY(action(form(), "firstCtf")->isChecked());
    QCOMPARE(state.Voltage, voltage);
    QCOMPARE(state.Defocus, -90.0);
    QCOMPARE(state.A2, 40.0);
    QCOMPARE(state.A2Azimuth, 0.5);
    QCOMPARE(state.A3, 300.0);
    QCOMPARE(bar("ScrollBar1")->value(), 90);
    QCOMPARE(bar("ScrollBar3")->value(), 300);
    QCOMPARE(form()->ScopeRecord2.Defocus, -150.0); // kept for the next visit

    // Back in plotter mode the second CTF is drawn at its own defocus and instrument.
    form()->views().ChangeMode();
    QCOMPARE(chart1()->pointCount(7), 4097);
    form()->views().ChangeMode();

    m_forms.reset();
    start();
    QVERIFY(!form()->state().PlotterMode);
    QCOMPARE(form()->state().Voltage, voltage);
}

void TestForm1Dialogs::rangeChangeRedrawsMap_data()
{
    QTest::addColumn<QStringList>("edits"); // options field=text, in order; "edDefocus=..." is the window's
    QTest::addColumn<bool>("mapShown");     // while the range changes
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("underfocus -500") << QStringList{"edDefocusMin=-500"} << true << -50 << 500;
    QTest::newRow("overfocus 300") << QStringList{"edDefocusMax=300"} << true << -300 << 200;
    QTest::newRow("narrower") << QStringList{"edDefocusMin=-100"} << true << -50 << 100;
    // The fields above a refused one stay applied, and nothing is loaded again.
    QTest::newRow("underfocus -500, then letters in the 2-fold field")
        << QStringList{"edDefocusMin=-500", "ed2ast=x"} << true << -50 << 500;
    QTest::newRow("typed defocus while the map is hidden") << QStringList{"edDefocus=-400"} << false << -50 << 400;
}

// The map covers the slider's range after every change of it, and its line sits where the defocus is.
void TestForm1Dialogs::rangeChangeRedrawsMap()
{
    QFETCH(QStringList, edits);
    QFETCH(bool, mapShown);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    if (mapShown)
        action(form(), "N3D1")->trigger();
    const bool options = edits.first().startsWith("ed") && !edits.first().startsWith("edDefocus=");
    MessageBoxCatcher refusal;
    if (options) {
        QVERIFY(runOptions([&](TfmOptions *d) {
            for (const QString &edit : edits)
                retype(d->findChild<QLineEdit *>(edit.section('=', 0, 0)), edit.section('=', 1));
            d->OKBtn->click();
        }));
    } else {
        typeAndEnter(form(), "edDefocus", edits.first().section('=', 1));
    }
    if (!mapShown)
        action(form(), "N3D1")->trigger();
    QTest::qWait(20);
    auto *map = child<ChartWidget>(form(), "Chart2");
    QVERIFY(map->isVisible());
    QCOMPARE(bar("ScrollBar1")->minimum(), minimum);
    QCOMPARE(bar("ScrollBar1")->maximum(), maximum);
    QCOMPARE(map->axisMinimum(ChartWidget::Axis::Left), double(minimum));
    QCOMPARE(map->axisMaximum(ChartWidget::Axis::Left), double(maximum));
    const QImage grid = form()->body().map()->image();
    const int last = grid.height() - 1;
    QCOMPARE(qRed(grid.pixel(300, 0)), referenceMapGrey(form()->state(), 300 * 10.0 / grid.width(), -minimum));
    QCOMPARE(qRed(grid.pixel(300, last)), referenceMapGrey(form()->state(), 300 * 10.0 / grid.width(), -maximum));
    const QRect plot = map->plotRect();
    const double defocus = form()->state().Defocus;
    const int row = plot.top()
        + roundToInt(-(minimum + defocus) * (plot.bottom() - plot.top() - 1) / (maximum - minimum));
    QCOMPARE(child<QWidget>(form(), "Shape2")->y(), row);
}

void TestForm1Dialogs::monochromeThenCancel()
{
    const QColor ctf = chart1()->seriesColor(0);
    QCOMPARE(chart1()->backColor(), QColor(0xC0, 0xDC, 0xC0));
    QCOMPARE(chart1()->panelColor(), QColor(0xC0, 0xC0, 0xC0));
    QColor backWhileOpen, curveWhileOpen;
    QVERIFY(runOptions([&](TfmOptions *d) {
        d->chk1DCTFMono->click();
        backWhileOpen = chart1()->backColor();
        curveWhileOpen = chart1()->seriesColor(3);
        d->CancelBtn->click();
    }));
    QCOMPARE(backWhileOpen, QColor(Qt::white));
    QCOMPARE(curveWhileOpen, QColor(Qt::black));
    QCOMPARE(chart1()->backColor(), QColor(0xC0, 0xDC, 0xC0));
    QCOMPARE(chart1()->seriesColor(0), ctf);

    QVERIFY(runOptions([](TfmOptions *d) {
        d->chk1DCTFMono->click();
        d->OKBtn->click();
    }));
    QCOMPARE(chart1()->panelColor(), QColor(Qt::white));
    const QImage shown = chart1()->grab().toImage();
    const QRect plot = chart1()->plotRect();
    QCOMPARE(shown.pixelColor(plot.right() - 2, plot.top() + 2), QColor(Qt::white));
}

void TestForm1Dialogs::aboutFromHelpMenu()
{
    QString count, title;
    WhenModal<TAboutBox> about([&](TAboutBox *box) {
        count = box->laUsed->text();
        title = box->windowTitle();
        box->OKButton->click();
    });
    action(form(), "About1")->trigger();
    QVERIFY(about.seen);
    QCOMPARE(title, QStringLiteral("About Orvalis"));
    QCOMPARE(count, QStringLiteral("Times used: ") + QString::number(form()->store().useCount()));
}

void TestForm1Dialogs::helpOnF1ClosesWithWindow()
{
    form()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form()));
    QTest::keyClick(form(), Qt::Key_F1);
    auto *help = form()->findChild<TfmHelp *>();
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QCOMPARE(help->HelpBrowser->source().fileName(), QStringLiteral("index.html"));
    QVERIFY(help->HelpBrowser->toPlainText().contains(QStringLiteral("Conventions and formulas")));
    // Help > Contents again brings the same window back to the index.
    help->HelpBrowser->setSource(QUrl(QStringLiteral("options.html")));
    action(form(), "Contents1")->trigger();
    QCOMPARE(form()->findChildren<TfmHelp *>().size(), 1);
    QCOMPARE(help->HelpBrowser->source().fileName(), QStringLiteral("index.html"));

    form()->close();
    QVERIFY(!help->isVisible());
}

void TestForm1Dialogs::usageDialog_data()
{
    QTest::addColumn<int>("stored"); // "Uses" before this start
    QTest::addColumn<bool>("shown");
    QTest::newRow("9: the 10th start") << 9 << true;
    QTest::newRow("10") << 10 << false;
    QTest::newRow("49: the 50th start") << 49 << true;
    QTest::newRow("50") << 50 << false;
    QTest::newRow("99: the 100th start") << 99 << true;
}

void TestForm1Dialogs::usageDialog()
{
    QFETCH(int, stored);
    QFETCH(bool, shown);
    WindowSettings settings;
    settings.Uses = stored;
    WriteWindowSettings(settings);
    start();

    QString usedText, aboutCount;
    WhenModal<TfmUsed> used([&](TfmUsed *d) {
        usedText = d->Label1->text();
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
    WhenModal<TAboutBox> about([&](TAboutBox *box) {
        aboutCount = box->laUsed->text();
        box->OKButton->click();
    });
    QApplication::setActiveWindow(form());
    if (shown) {
        QTRY_VERIFY(about.seen);
        QVERIFY(used.seen);
        QCOMPARE(usedText, QStringLiteral("Orvalis has been used %1 times").arg(stored + 1));
        QCOMPARE(aboutCount, QStringLiteral("Times used: %1").arg(stored + 1));
    } else {
        QTest::qWait(300);
        QVERIFY(!used.seen);
        QVERIFY(!about.seen);
    }
    // The window is active again after the dialogs, and again later: the dialog does not come back.
    WhenModal<TfmUsed> again([](TfmUsed *d) { d->reject(); });
    WhenModal<TAboutBox> aboutAgain([](TAboutBox *box) { box->reject(); });
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(form());
    QTRY_VERIFY(form()->isActiveWindow());
    QTest::qWait(300);
    QVERIFY(!again.seen);
    QVERIFY(!aboutAgain.seen);
}

void TestForm1Dialogs::monochromeStored()
{
    WindowSettings settings;
    settings.Monochrome = true;
    WriteWindowSettings(settings);
    auto forms = std::make_unique<FormSet>();
    auto *chart = child<ChartWidget>(&forms->form(), "Chart1");
    QVERIFY(!forms->form().isVisible());
    QCOMPARE(chart->backColor(), QColor(Qt::white));
    QCOMPARE(chart->panelColor(), QColor(Qt::white));
    for (int i = 0; i < chart->seriesCount(); ++i)
        QCOMPARE(chart->seriesColor(i), QColor(Qt::black));

    // Switched off in the dialog: the curves get their own colours, and the choice is stored.
    forms->form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&forms->form()));
    WhenModal<TfmOptions> user([](TfmOptions *d) {
        QVERIFY(d->chk1DCTFMono->isChecked());
        d->chk1DCTFMono->click();
        d->OKBtn->click();
    });
    action(&forms->form(), "Options1")->trigger();
    QVERIFY(user.seen);
    QCOMPARE(chart->seriesColor(0), QColor(0x00, 0x00, 0x80));
    QCOMPARE(chart->seriesColor(3), QColor(0xFF, 0x80, 0x40));
    QCOMPARE(chart->backColor(), QColor(0xC0, 0xDC, 0xC0));
    forms->form().close();
    QCOMPARE(ReadWindowSettings().Monochrome, std::optional<bool>(false));
}

ORVALIS_UI_TEST_MAIN(TestForm1Dialogs)
#include "test_form1dialogs.moc"
