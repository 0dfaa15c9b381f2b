// The status panels on their own: the warning over its panel and its click, the pointer readouts,
// and widths that hold their widest texts whole on either screen density.
#include "core/curvereadout.h"
#include "ui/main/statuspanels.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace orvalis;

class TestStatusPanels : public QObject {
    Q_OBJECT
private slots:
    void warningCoversItsPanelAndAnswersAClick();
    void pointerReadouts();
    void widthsForTheScreen_data();
    void widthsForTheScreen();
};

void TestStatusPanels::warningCoversItsPanelAndAnswersAClick()
{
    StatusPanels panels;
    panels.resize(800, 24);
    panels.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panels));
    auto *warning = panels.findChild<QWidget *>(QStringLiteral("Panel1"));
    auto *host = panels.findChild<QWidget *>(QStringLiteral("StatusPanel1"));
    QVERIFY(warning && host);
    QVERIFY(!warning->isVisible());
    QVERIFY(!panels.fastOscillationShown());
    panels.setFastOscillation(true);
    QVERIFY(warning->isVisible());
    QVERIFY(panels.fastOscillationShown());
    panels.fitToScreen(true); // the host grows: the warning grows with it
    QCOMPARE(warning->geometry(), host->rect());
    QSignalSpy clicked(&panels, &StatusPanels::warningClicked);
    QTest::mouseClick(warning, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    panels.setFastOscillation(false);
    QVERIFY(!warning->isVisible());
}

void TestStatusPanels::pointerReadouts()
{
    StatusPanels panels;
    auto *mode = panels.findChild<QLabel *>(QStringLiteral("StatusPanel0"));
    auto *frequency = panels.findChild<QLabel *>(QStringLiteral("StatusPanel2"));
    auto *curve = panels.findChild<QLabel *>(QStringLiteral("StatusPanel3"));
    QVERIFY(mode && frequency && curve);
    QCOMPARE(mode->text(), QStringLiteral("Orvalis"));
    panels.setModeText(QStringLiteral("CTF Plotter"));
    QCOMPARE(mode->text(), QStringLiteral("CTF Plotter"));
    panels.showPointer(QStringLiteral("f"), QStringLiteral("c"));
    QCOMPARE(frequency->text(), QStringLiteral("f"));
    QCOMPARE(curve->text(), QStringLiteral("c"));
    panels.clearPointer();
    QVERIFY(frequency->text().isEmpty());
    QVERIFY(curve->text().isEmpty());
}

void TestStatusPanels::widthsForTheScreen_data()
{
    QTest::addColumn<bool>("dense");
    QTest::addColumn<int>("leastWarning"); // px
    QTest::newRow("120 dpi") << true << 128;
    QTest::newRow("other") << false << 104;
}

void TestStatusPanels::widthsForTheScreen()
{
    QFETCH(bool, dense);
    QFETCH(int, leastWarning);
    StatusPanels panels;
    panels.fitToScreen(dense);
    auto *host = panels.findChild<QWidget *>(QStringLiteral("StatusPanel1"));
    auto *caption = panels.findChild<QLabel *>(QStringLiteral("Panel1Caption"));
    auto *frequency = panels.findChild<QLabel *>(QStringLiteral("StatusPanel2"));
    auto *curve = panels.findChild<QLabel *>(QStringLiteral("StatusPanel3"));
    QVERIFY(host->width() >= leastWarning);
    QVERIFY(host->width() >= caption->sizeHint().width());
    QVERIFY(frequency->width() >= 100);
    QVERIFY(curve->width() >= 200);
    // Written at their widest, the readouts still fit.
    for (const QString &text : {pointerFrequencyText(0.001), pointerFrequencyText(99.99)})
        QVERIFY2(frequency->fontMetrics().horizontalAdvance(text) <= frequency->width(), qPrintable(text));
    const QString widestCurve = pointerCurveText(QStringLiteral("CTF 2"), {-0.888, 0.888});
    QVERIFY2(curve->fontMetrics().horizontalAdvance(widestCurve) <= curve->width(), qPrintable(widestCurve));
}

QTEST_MAIN(TestStatusPanels)
#include "test_statuspanels.moc"
