// The small windows around the main window, each on its own: options, usage dialog, About box, help
// window and splash.
#include "dialogdriver.h"
#include "formdriver.h"

#include "chart/chartwidget.h"
#include "ui/about/aboutbox.h"
#include "ui/help/fmhelp.h"
#include "ui/options/chartmonochrome.h"
#include "ui/options/fmoptions.h"
#include "ui/splash/fmsplash.h"
#include "ui/splash/programpictures.h"
#include "ui/used/fmused.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

QString helpPages()
{
    return QFINDTESTDATA("../../data/help");
}

// Receives the addresses the About box hands to the desktop, instead of a mail program or browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    }
    ~UrlCatcher() override
    {
        for (const char *scheme : {"mailto", "https", "http"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

} // namespace

class TestShellDialogs : public QObject {
    Q_OBJECT
private slots:
    void init() { m_settings = std::make_unique<FreshSettingsFolder>(); }
    void cleanup() { m_settings.reset(); }
    void optionsShowRangesAtEveryShowing();
    void optionsOk_data();
    void optionsOk();
    void optionsCancelRevertsMonochrome_data();
    void optionsCancelRevertsMonochrome();
    void chartMonochrome();
    void usedThenAbout_data();
    void usedThenAbout();
    void aboutLinks();
    void aboutWithoutAddresses();
    void helpFollowsLinks();
    void helpWithoutPages();
    void splashAndIcon();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestShellDialogs::optionsShowRangesAtEveryShowing()
{
    TfmOptions dialog;
    dialog.setRanges({-300, 500, 40, 600, 12.5});
    dialog.show();
    QCOMPARE(dialog.edDefocusMax->text(), QStringLiteral("300"));
    QCOMPARE(dialog.edDefocusMin->text(), QStringLiteral("-500"));
    QCOMPARE(dialog.edUpTo->text(), QStringLiteral("12.5"));
    QCOMPARE(dialog.ed2ast->text(), QStringLiteral("40"));
    QCOMPARE(dialog.ed3ast->text(), QStringLiteral("600"));
    for (const char *name : {"Label6", "Label7", "Label8", "Label9", "Label10"})
        QVERIFY(child<QLabel>(&dialog, name)->text().startsWith(QLatin1Char('(')));
    QCOMPARE(child<QLabel>(&dialog, "Label7")->text(), QStringLiteral("(-200)"));
    // Typed but cancelled: the next showing starts from the window's values again.
    retype(dialog.edUpTo, QStringLiteral("99"));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    QCOMPARE(dialog.edUpTo->text(), QStringLiteral("12.5"));
    QVERIFY(!dialog.edUpTo->isModified());
    dialog.reject();
}

void TestShellDialogs::optionsOk_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("defocusMin");
    QTest::addColumn<double>("upTo");
    QTest::addColumn<int>("a3Max");
    QTest::addColumn<bool>("reload");
    QTest::addColumn<QString>("message");
    QTest::newRow("untouched") << QString() << QString() << -50 << 10.0 << 10000 << false << QString();
    QTest::newRow("same value retyped") << "ed3ast"
                                        << "10000" << -50 << 10.0 << 10000 << true << QString();
    QTest::newRow("frequency 12.5") << "edUpTo"
                                    << "12.5" << -50 << 12.5 << 10000 << true << QString();
    QTest::newRow("overfocus 300") << "edDefocusMax"
                                   << "300" << -300 << 10.0 << 10000 << true << QString();
    QTest::newRow("letters in 2-fold") << "ed2ast"
                                       << "abc" << -50 << 10.0 << 10000 << false
                                       << QStringLiteral("Sorry,\n'abc' is not a valid integer value");
    QTest::newRow("frequency 0") << "edUpTo"
                                 << "0" << -50 << 10.0 << 10000 << false
                                 << QStringLiteral("Sorry,\n'0' is not a valid value for Max Frequency: it must be "
                                                   "above 0 and at most 1000 nm-1");
}

void TestShellDialogs::optionsOk()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, defocusMin);
    QFETCH(double, upTo);
    QFETCH(int, a3Max);
    QFETCH(bool, reload);
    QFETCH(QString, message);

    TfmOptions dialog;
    dialog.setRanges(OptionRanges());
    int result = -1;
    MessageBoxCatcher box;
    WhenModal<TfmOptions> user([&](TfmOptions *d) {
        if (!field.isEmpty())
            retype(d->findChild<QLineEdit *>(field), typed);
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
    result = dialog.exec();
    QVERIFY(user.seen);
    QCOMPARE(result, int(QDialog::Accepted)); // a refused field closes the dialog all the same
    QCOMPARE(box.text, message);
    QCOMPARE(dialog.ranges().defocusMin, defocusMin);
    QCOMPARE(dialog.ranges().upTo, upTo);
    QCOMPARE(dialog.ranges().a3Max, a3Max);
    QCOMPARE(dialog.reloadNeeded(), reload);
}

void TestShellDialogs::optionsCancelRevertsMonochrome_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << QStringLiteral("cancel");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close");
}

void TestShellDialogs::optionsCancelRevertsMonochrome()
{
    QFETCH(QString, how);
    TfmOptions dialog;
    QSignalSpy switched(&dialog, &TfmOptions::monochromeChanged);
    WhenModal<TfmOptions> user([&](TfmOptions *d) {
        QTest::mouseClick(d->chk1DCTFMono, Qt::LeftButton, {}, QPoint(4, d->chk1DCTFMono->height() / 2));
        QCOMPARE(switched.size(), 1); // at once, before the dialog closes
        if (how == QLatin1String("cancel"))
            QTest::mouseClick(d->CancelBtn, Qt::LeftButton);
        else if (how == QLatin1String("escape"))
            QTest::keyClick(d, Qt::Key_Escape);
        else
            d->close();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(user.seen);
    QCOMPARE(switched.size(), 2);
    QCOMPARE(switched.at(0).at(0).toBool(), true);
    QCOMPARE(switched.at(1).at(0).toBool(), false);
    QVERIFY(!dialog.isMonochrome());

    // Kept with OK, and remembered as the state to go back to at the next Cancel.
    WhenModal<TfmOptions> keep([](TfmOptions *d) {
        d->chk1DCTFMono->click();
        d->OKBtn->click();
    });
    dialog.exec();
    QVERIFY(dialog.isMonochrome());
    WhenModal<TfmOptions> cancel([](TfmOptions *d) { d->CancelBtn->click(); });
    dialog.exec();
    QVERIFY(dialog.isMonochrome());
    QCOMPARE(switched.size(), 3);
}

void TestShellDialogs::chartMonochrome()
{
    ChartWidget chart;
    chart.addSeries(QStringLiteral("Series1"), QStringLiteral("CTF"), QColor(0, 0, 0x80));
    chart.addSeries(QStringLiteral("Series2"), QStringLiteral("Temporal Envelope"), QColor(0x40, 0x80, 0x80));
    chart.resize(300, 200);
    ChartMonochrome mono;
    mono.apply(&chart, false); // never switched on: the colours stay
    QCOMPARE(chart.seriesColor(0), QColor(0, 0, 0x80));
    QCOMPARE(chart.backColor(), QColor(0xC0, 0xDC, 0xC0));
    QCOMPARE(chart.panelColor(), QColor(0xC0, 0xC0, 0xC0));
    mono.apply(&chart, true);
    QCOMPARE(chart.backColor(), QColor(Qt::white));
    QCOMPARE(chart.panelColor(), QColor(Qt::white));
    QCOMPARE(chart.seriesColor(0), QColor(Qt::black));
    QCOMPARE(chart.seriesColor(1), QColor(Qt::black));
    const QImage grabbed = chart.grab().toImage();
    QCOMPARE(grabbed.pixelColor(2, 2), QColor(Qt::white));
    mono.apply(&chart, false);
    QCOMPARE(chart.seriesColor(0), QColor(0, 0, 0x80));
    QCOMPARE(chart.seriesColor(1), QColor(0x40, 0x80, 0x80));
    QCOMPARE(chart.backColor(), QColor(0xC0, 0xDC, 0xC0));
}

void TestShellDialogs::usedThenAbout_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("OK") << false;
    QTest::newRow("Escape") << true;
}

void TestShellDialogs::usedThenAbout()
{
    QFETCH(bool, escape);
    TAboutBox about(50);
    TfmUsed used(50, &about);
    QCOMPARE(used.windowTitle(), QStringLiteral("Do you like it?"));
    QCOMPARE(used.Label1->text(), QStringLiteral("Orvalis has been used 50 times"));
    QString aboutCount;
    bool usedStillOpen = false;
    WhenModal<TAboutBox> aboutShown([&](TAboutBox *box) {
        aboutCount = box->laUsed->text();
        usedStillOpen = used.isVisible();
        box->OKButton->click();
    });
    WhenModal<TfmUsed> user([&](TfmUsed *d) {
        if (escape)
            QTest::keyClick(d, Qt::Key_Escape);
        else
            QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
    used.exec();
    QVERIFY(user.seen);
    QVERIFY(aboutShown.seen);
    QCOMPARE(aboutCount, QStringLiteral("Times used: 50"));
    QVERIFY(usedStillOpen); // the usage dialog finishes closing after the About box
    QVERIFY(!used.isVisible() && !about.isVisible());
}

void TestShellDialogs::aboutLinks()
{
    UrlCatcher urls;
    TAboutBox about(10, nullptr,
                    {QStringLiteral("1.2.3"), QStringLiteral("March 2027"),
                     QStringLiteral("https://orvalis.example.org/"), QStringLiteral("help@orvalis.example.org")});
    QCOMPARE(about.windowTitle(), QStringLiteral("About Orvalis"));
    QCOMPARE(about.ProductName->text(), QStringLiteral("Orvalis"));
    QVERIFY(about.ProductName->font().bold());
    QCOMPARE(about.Label1->text(), QStringLiteral("Version 1.2.3"));
    QCOMPARE(about.Label4->text(), QStringLiteral("March 2027"));
    QCOMPARE(about.laUsed->text(), QStringLiteral("Times used: 10"));
    QCOMPARE(about.Comments->text(), QStringLiteral("Please direct bug reports, comments and suggestions to:"));
    QVERIFY(!about.ProgramIcon->pixmap().isNull());
    QVERIFY(about.Label2->text().contains(QStringLiteral("href=\"mailto:help@orvalis.example.org\"")));
    QVERIFY(about.Memo1->toPlainText().contains(QStringLiteral("https://orvalis.example.org/")));

    about.show();
    // Both links by the keyboard: Tab reaches them in the label, Enter follows them.
    emit about.Label2->linkActivated(QStringLiteral("mailto:help@orvalis.example.org"));
    emit about.Label3->linkActivated(QStringLiteral("https://orvalis.example.org/"));
    QCOMPARE(urls.opened.size(), 2);
    QCOMPARE(urls.opened.at(0), QUrl(QStringLiteral("mailto:help@orvalis.example.org")));
    QCOMPARE(urls.opened.at(1), QUrl(QStringLiteral("https://orvalis.example.org/")));
    QVERIFY(about.isVisible()); // the box stays open
}

void TestShellDialogs::aboutWithoutAddresses()
{
    UrlCatcher urls;
    TAboutBox about(1, nullptr, {QStringLiteral("0.1.0"), QStringLiteral("December 2026"), QString(), QString()});
    for (QLabel *link : {about.Label2, about.Label3}) {
        QCOMPARE(link->textFormat(), Qt::PlainText);
        QVERIFY(!link->text().contains(QLatin1Char('@')));
        QVERIFY(!link->text().contains(QStringLiteral("http")));
    }
    about.Label2Click();
    about.Label3Click();
    QVERIFY(urls.opened.isEmpty());
    // The build's own facts: the version of the project, never an invented address.
    const AboutFacts build = AboutFacts::ofThisBuild();
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(build.version).hasMatch());
    QVERIFY(!build.releaseDate.isEmpty());
}

void TestShellDialogs::helpFollowsLinks()
{
    TfmHelp help(helpPages());
    help.showContents();
    QVERIFY(help.isVisible());
    QCOMPARE(help.HelpBrowser->source().fileName(), QStringLiteral("index.html"));
    QCOMPARE(help.HelpBrowser->documentTitle(), QStringLiteral("Orvalis Help"));
    QVERIFY(!help.btnBack->isEnabled());

    // A click on the first link of the contents.
    QString followed;
    for (QTextBlock block = help.HelpBrowser->document()->begin(); block.isValid() && followed.isEmpty();
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isAnchor())
                continue;
            QTextCursor cursor(help.HelpBrowser->document());
            cursor.setPosition(fragment.position() + 1);
            const QPoint at = help.HelpBrowser->cursorRect(cursor).center();
            QTest::mouseClick(help.HelpBrowser->viewport(), Qt::LeftButton, {}, at);
            followed = help.HelpBrowser->source().fileName();
            QCOMPARE(followed, fragment.charFormat().anchorHref());
            break;
        }
    }
    QVERIFY2(!followed.isEmpty(), "no link of the index could be followed");
    QVERIFY(!help.HelpBrowser->toPlainText().isEmpty());
    QVERIFY(help.btnBack->isEnabled());
    help.btnBack->click();
    QCOMPARE(help.HelpBrowser->source().fileName(), QStringLiteral("index.html"));
    help.btnForward->click();
    QCOMPARE(help.HelpBrowser->source().fileName(), followed);
    help.btnContents->click();
    QCOMPARE(help.HelpBrowser->source().fileName(), QStringLiteral("index.html"));

    help.HelpBrowser->setSource(QUrl(QStringLiteral("conventions.html#chi")));
    QVERIFY(help.HelpBrowser->toPlainText().contains(QStringLiteral("Extended Scherzer")));
    QTest::keyClick(help.HelpBrowser, Qt::Key_Escape);
    QVERIFY(!help.isVisible());
}

void TestShellDialogs::helpWithoutPages()
{
    const QString nowhere = m_settings->path() + QStringLiteral("/no-help-here");
    TfmHelp help(nowhere);
    help.showContents();
    QVERIFY(help.isVisible());
    QVERIFY(help.HelpBrowser->toPlainText().contains(QStringLiteral("help pages are missing")));
    // A program run from the build folder finds the source tree's pages.
    QVERIFY(QFileInfo::exists(installedHelpFolder() + QStringLiteral("/index.html")));
}

void TestShellDialogs::splashAndIcon()
{
    TfmSplash splash;
    QVERIFY(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(splash.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    splash.showAndPaint();
    QVERIFY(splash.isVisible());
    QCOMPARE(splash.size(), QSize(200, 200));
    const QImage picture = splash.grab().toImage();
    // The ring pattern is there: the middle is drawn and differs from the corner.
    QVERIFY(picture.pixelColor(100, 82) != picture.pixelColor(1, 1));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(qAbs(splash.geometry().center().x() - screen.center().x()) <= 1);
    const QIcon icon = programIcon();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QVERIFY2(icon.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
    QCOMPARE(icon.pixmap(48, 48).size(), QSize(48, 48));
}

ORVALIS_UI_TEST_MAIN(TestShellDialogs)
#include "test_shelldialogs.moc"
