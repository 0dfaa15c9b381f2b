// A failure that escapes a handler is shown in the error report and the program goes on.
#include "formdriver.h"

#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <stdexcept>

using namespace orvalis;
using namespace orvalis::test;

namespace {

// A button whose click handler fails the way any handler of the program might.
class FailingButton : public QPushButton {
public:
    enum Kind { Orvalis, Standard };
    explicit FailingButton(Kind kind) : m_kind(kind) {}
    int clicks = 0;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QPushButton::mouseReleaseEvent(event);
        ++clicks;
        if (m_kind == Orvalis)
            throw OrvalisError(QStringLiteral("Cannot create file /nowhere/x.txt"));
        throw std::runtime_error("disk full");
    }

private:
    Kind m_kind;
};

} // namespace

class TestErrorReport : public QObject {
    Q_OBJECT
private slots:
    void init() { m_settings = std::make_unique<FreshSettingsFolder>(); }
    void cleanup() { m_settings.reset(); }
    void exceptionFromHandler_data();
    void exceptionFromHandler();
    void windowGoesOnAfterReport();

private:
    std::unique_ptr<FreshSettingsFolder> m_settings;
};

void TestErrorReport::exceptionFromHandler_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    QTest::addRow("program error") << int(FailingButton::Orvalis) << QStringLiteral("Cannot create file /nowhere/x.txt");
    QTest::addRow("any std::exception") << int(FailingButton::Standard) << QStringLiteral("disk full");
}

void TestErrorReport::exceptionFromHandler()
{
    QFETCH(int, kind);
    QFETCH(QString, expected);
    FailingButton button(static_cast<FailingButton::Kind>(kind));
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    for (int round = 1; round <= 2; ++round) {
        MessageBoxCatcher box;
        QTest::mouseClick(&button, Qt::LeftButton);
        QTRY_COMPARE(box.text, expected);
        QCOMPARE(box.title, QStringLiteral("Orvalis"));
        QCOMPARE(box.name, QStringLiteral("ErrorReport"));
        QCOMPARE(button.clicks, round); // the second click is handled as well: the loop went on
    }
}

// The defocus field's Enter handler raises the conversion error; the report shows it and the next
// Enter with a good value is applied as usual.
void TestErrorReport::windowGoesOnAfterReport()
{
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    {
        MessageBoxCatcher box;
        typeAndEnter(&form, "edDefocus", QStringLiteral("-1OO"));
        QTRY_COMPARE(box.text, QStringLiteral("'-1OO' is not a valid integer value"));
        QCOMPARE(box.name, QStringLiteral("ErrorReport"));
    }
    typeAndEnter(&form, "edDefocus", QStringLiteral("-100"));
    QCOMPARE(form.state().Defocus, -100.0);
    QCOMPARE(child<QScrollBar>(&form, "ScrollBar1")->value(), 100);
}

ORVALIS_UI_TEST_MAIN(TestErrorReport)
#include "test_errorreport.moc"
