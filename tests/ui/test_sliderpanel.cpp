// The aberration controls on their own: which row each slider, field and jump button speaks for,
// a change raised inside the move that caused it, Enter and Return in every field, a user's step and
// its end, and the keyboard path through the panel.
#include "ui/main/sliderpanel.h"
#include "ui/widgets/scrollbar.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

using namespace orvalis;

class TestSliderPanel : public QObject {
    Q_OBJECT
private slots:
    void rowsSpeakForTheirControls_data();
    void rowsSpeakForTheirControls();
    void jumpButtonsStayOffTheKeyboardPath();
    void aUsersStepAndItsEnd();
    void tabGoesThroughSlidersThenFields();
};

void TestSliderPanel::rowsSpeakForTheirControls_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("bar");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("jump"); // empty: the row has none
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("defocus") << int(SliderPanel::Defocus) << "ScrollBar1"
                             << "edDefocus"
                             << "SpeedButton1" << -50 << 200;
    QTest::newRow("astigmatism") << int(SliderPanel::Astigmatism) << "ScrollBar2"
                                 << "edAstigm"
                                 << "SpeedButton2" << 0 << 200;
    QTest::newRow("3-fold") << int(SliderPanel::Astigmatism3) << "ScrollBar3"
                            << "edAstigm3"
                            << "SpeedButton3" << 0 << 10000;
    QTest::newRow("magnification") << int(SliderPanel::Magnification) << "ScrollBar4"
                                   << "edMagn"
                                   << "" << 14 << 39;
}

void TestSliderPanel::rowsSpeakForTheirControls()
{
    QFETCH(int, row);
    QFETCH(QString, bar);
    QFETCH(QString, field);
    QFETCH(QString, jump);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    const auto r = static_cast<SliderPanel::Row>(row);
    SliderPanel panel;
    auto *slider = panel.findChild<ScrollBar *>(bar);
    auto *edit = panel.findChild<QLineEdit *>(field);
    QVERIFY(slider && edit);
    QCOMPARE(panel.minimum(r), minimum);
    QCOMPARE(panel.maximum(r), maximum);

    QSignalSpy changed(&panel, &SliderPanel::changed);
    const int target = panel.position(r) == minimum + 1 ? minimum + 2 : minimum + 1;
    panel.setPosition(r, target);
    QCOMPARE(changed.count(), 1); // inside the move
    QCOMPARE(changed.first().at(0).toInt(), row);
    QCOMPARE(changed.first().at(1).toInt(), target); // the position travels with the change
    QCOMPARE(slider->value(), target);
    panel.setPosition(r, target); // no change, no event
    QCOMPARE(changed.count(), 1);
    panel.setPosition(r, maximum + 1000); // clamped to the range
    QCOMPARE(panel.position(r), maximum);
    panel.setMaximum(r, maximum + 5);
    QCOMPARE(slider->maximum(), maximum + 5);
    panel.setRange(r, minimum - 3, maximum);
    QCOMPARE(slider->minimum(), minimum - 3);

    panel.setFieldText(r, QStringLiteral("123"));
    QCOMPARE(edit->text(), QStringLiteral("123"));
    edit->setText(QStringLiteral("77"));
    QCOMPARE(panel.fieldText(r), QStringLiteral("77"));

    QSignalSpy entered(&panel, &SliderPanel::entered);
    QTest::keyClick(edit, Qt::Key_A);
    QCOMPARE(entered.count(), 0);
    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter);
    QCOMPARE(entered.count(), 2);
    QCOMPARE(entered.at(1).at(0).toInt(), row);

    if (jump.isEmpty())
        return;
    QSignalSpy jumped(&panel, &SliderPanel::jumped);
    panel.findChild<QToolButton *>(jump)->click();
    QCOMPARE(jumped.count(), 1);
    QCOMPARE(jumped.first().at(0).toInt(), row);
}

void TestSliderPanel::jumpButtonsStayOffTheKeyboardPath()
{
    SliderPanel panel;
    const QStringList captions{"S", "0", "0"};
    const QStringList hints{"Scherzer", "Zero", "Zero"};
    for (int i = 0; i < 3; ++i) {
        auto *b = panel.findChild<QToolButton *>(QStringLiteral("SpeedButton%1").arg(i + 1));
        QVERIFY(b);
        QCOMPARE(b->text(), captions[i]);
        QCOMPARE(b->toolTip(), hints[i]);
        QCOMPARE(b->focusPolicy(), Qt::NoFocus);
    }
    panel.setConvergenceText(QStringLiteral("(Convergence: 0.3000 mrad)"));
    QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("Label3"))->text(), QStringLiteral("(Convergence: 0.3000 mrad)"));
}

void TestSliderPanel::aUsersStepAndItsEnd()
{
    SliderPanel panel;
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    auto *bar = panel.findChild<ScrollBar *>(QStringLiteral("ScrollBar2"));
    QSignalSpy scrolled(&panel, &SliderPanel::scrolled);
    QSignalSpy changed(&panel, &SliderPanel::changed);
    const QPoint arrow(bar->width() - 3, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, arrow);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, arrow);
    QVERIFY(scrolled.count() >= 2);
    for (const QList<QVariant> &s : scrolled)
        QCOMPARE(s.at(0).toInt(), int(SliderPanel::Astigmatism));
    QCOMPARE(scrolled.first().at(1).toBool(), false);
    QCOMPARE(scrolled.last().at(1).toBool(), true); // the release ends the scroll
    QCOMPARE(changed.count(), 1);
    QCOMPARE(panel.position(SliderPanel::Astigmatism), 1);
}

void TestSliderPanel::tabGoesThroughSlidersThenFields()
{
    SliderPanel panel;
    panel.setTabOrder();
    const QStringList chain{"ScrollBar1", "ScrollBar2", "ScrollBar3", "ScrollBar4",
                            "edDefocus",  "edAstigm",   "edAstigm3",  "edMagn"};
    for (int i = 1; i < chain.size(); ++i) {
        auto *from = panel.findChild<QWidget *>(chain[i - 1]);
        QVERIFY(from);
        QWidget *next = from->nextInFocusChain();
        while (next != from && !(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        QCOMPARE(next->objectName(), chain[i]);
    }
}

QTEST_MAIN(TestSliderPanel)
#include "test_sliderpanel.moc"
