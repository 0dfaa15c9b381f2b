// File > Export Figure... and File > Save > Fit Pictures... in the whole window: the figure of each
// subject carries its written-out titles as text; the dialog keeps a size when its units change;
// the fit's pictures are there only for a fitted micrograph and are written under its name.
#include "chart/chartwidget.h"
#include "chart/figure.h"
#include "core/ctffunctions.h"
#include "formdriver.h"
#include "session/fitsession.h"
#include "session/micrographsession.h"
#include "syntheticmicrograph.h"
#include "ui/exportfigure/exportfiguredialog.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/savecommands.h"

#include <QComboBox>
#include <QImage>
#include <QSignalSpy>

#include <cmath>

using namespace orvalis;
using namespace orvalis::test;

class TestFigureCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void figureOfEachSubject_data();
    void figureOfEachSubject();
    void dialogKeepsTheSize();
    void fitPictures();

private:
    FigureCommands &commands() const
    {
        return *static_cast<FigureCommands *>(m_form->findChild<QObject *>(QStringLiteral("FigureCommands")));
    }

    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<TForm1> m_form;
};

void TestFigureCommands::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QVERIFY(m_form->findChild<QObject *>(QStringLiteral("FigureCommands")));
}

void TestFigureCommands::cleanup()
{
    m_form.reset();
    m_settings.reset();
}

void TestFigureCommands::figureOfEachSubject_data()
{
    QTest::addColumn<int>("subject");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("colourBar");
    QTest::newRow("1D chart") << int(ExportFigureDialog::Subject::Chart)
                              << QStringList{frequencyTitle(), resolutionTitle(), ctfTitle(), "Spatial envelope"}
                              << false;
    QTest::newRow("2D pattern") << int(ExportFigureDialog::Subject::Pattern)
                                << QStringList{"kx (nm\u207B\u00B9)", "ky (nm\u207B\u00B9)", ctfTitle()} << true;
    QTest::newRow("defocus map") << int(ExportFigureDialog::Subject::Map)
                                 << QStringList{frequencyTitle(), "Defocus (nm)", ctfTitle()} << true;
}

void TestFigureCommands::figureOfEachSubject()
{
    QFETCH(int, subject);
    QFETCH(QStringList, texts);
    QFETCH(bool, colourBar);
    const Figure figure = commands().figureOf(subject);
    QCOMPARE(figure.picture.has_value() && !figure.picture->barTitle.isEmpty(), colourBar);
    FigureStyle style;
    style.widthMm = 120;
    style.heightMm = 80;
    const QString svg = QString::fromUtf8(figureBytes(figure, style, FigureFormat::Svg));
    QVERIFY(svg.contains(QStringLiteral("<svg width=\"120mm\" height=\"80mm\"")));
    for (const QString &t : texts)
        QVERIFY2(svg.contains(QLatin1Char('>') + t + QStringLiteral("</text>")), qPrintable(t));
    // The window's own chart keeps its look: the figure is drawn on a plot of its own.
    QCOMPARE(child<ChartWidget>(m_form.get(), "Chart1")->backColor(), QColor(0xC0, 0xDC, 0xC0));
}

// Switching between mm and pixels converts at the resolution; the style read back is the same size.
void TestFigureCommands::dialogKeepsTheSize()
{
    ExportFigureDialog dialog;
    FigureStyle style;
    style.widthMm = 85;
    style.heightMm = 60;
    style.dpi = 300;
    dialog.setStyle(style);
    QCOMPARE(dialog.style().rasterSize(), QSize(1004, 709));
    dialog.findChild<QComboBox *>(QStringLiteral("cbUnits"))->setCurrentIndex(1);
    QCOMPARE(dialog.style().widthPx, 1004);
    QCOMPARE(dialog.style().heightPx, 709);
    dialog.findChild<QComboBox *>(QStringLiteral("cbUnits"))->setCurrentIndex(0);
    QVERIFY(std::fabs(dialog.style().widthMm - 85) < 0.1);
    QVERIFY(std::fabs(dialog.style().heightMm - 60) < 0.1);
}

void TestFigureCommands::fitPictures()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("rings.mrc"));
    QVERIFY(writeRingsMicrograph(file));
    QAction *save = action(m_form.get(), "SaveFitPictures1");
    QVERIFY(!save->isEnabled());
    MicrographSession &micrograph = m_form->micrographs().micrograph();
    QSignalSpy changed(&micrograph, &MicrographSession::spectrumChanged);
    m_form->micrographs().open(file);
    QVERIFY(changed.wait(30000));
    QVERIFY(!save->isEnabled()); // open, but not fitted

    auto *fit = m_form->findChild<FitSession *>(QStringLiteral("fitSession"));
    QVERIFY(fit);
    FitRequest request;
    request.minUnderfocus = 2000; // Å
    request.maxUnderfocus = 20000;
    fit->setRequest(request);
    QSignalSpy finished(fit, &FitSession::finished);
    QVERIFY(fit->start());
    QVERIFY(finished.wait(60000));
    QVERIFY(fit->result() && fit->result()->values);
    QVERIFY(save->isEnabled());

    const QString out = dir.filePath(QStringLiteral("pictures"));
    QVERIFY(QDir().mkpath(out));
    const QStringList written = commands().writeFitPictures(out);
    QCOMPARE(written,
             (QStringList{QDir(out).filePath("rings_fit.png"), QDir(out).filePath("rings_fit.mrc"),
                          QDir(out).filePath("rings_profile.png"), QDir(out).filePath("rings_profile.svg")}));
    const int side = micrograph.shownSpectrum()->size;
    QCOMPARE(QImage(written[0]).size(), QSize(side, side));
    QCOMPARE(QFileInfo(written[1]).size(), qint64(1024 + 4 * side * side)); // float32 after the MRC header
    QCOMPARE(QImage(written[2]).size(), QSize(945, 591));
    QVERIFY(QFile(written[3]).size() > 0);

    action(m_form.get(), "CloseMicrograph1")->trigger();
    QVERIFY(!save->isEnabled());
}

ORVALIS_UI_TEST_MAIN(TestFigureCommands)
#include "test_figurecommands.moc"
