// A failure that escapes a handler is shown in the error report and the program goes on.
#include "core/orvaliserror.h"
#include "formdriver.h"

#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <stdexcept>

using namespace orvalis;
using namespace orvalis::test;

namespace {

// A handler that fails the way any handler of the program might.
class Failing : public QObject {
public:
    enum Kind { Orvalis, Standard };
    explicit Failing(Kind kind) : m_kind(kind) {}
    int calls = 0;
    void run()
    {
        ++calls;
        if (m_kind == Orvalis)
            throw OrvalisError(QStringLiteral("Cannot create file /nowhere/x.txt"));
        throw std::runtime_error("disk full");
    }

protected:
    // An event handler that fails reaches the application's own last resort.
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        run();
        return true;
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
    QTest::addColumn<bool>("viaEvent"); // else a button's slot
    QTest::addColumn<QString>("expected");
    const QString orvalis = QStringLiteral("Cannot create file /nowhere/x.txt");
    QTest::addRow("program error from a slot") << int(Failing::Orvalis) << false << orvalis;
    QTest::addRow("std::exception from a slot") << int(Failing::Standard) << false << QStringLiteral("disk full");
    QTest::addRow("program error from an event") << int(Failing::Orvalis) << true << orvalis;
    QTest::addRow("std::exception from an event") << int(Failing::Standard) << true << QStringLiteral("disk full");
}

void TestErrorReport::exceptionFromHandler()
{
    QFETCH(int, kind);
    QFETCH(bool, viaEvent);
    QFETCH(QString, expected);
    Failing handler(static_cast<Failing::Kind>(kind));
    QPushButton button;
    connectReported(&button, &QPushButton::clicked, &handler, &Failing::run);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    for (int round = 1; round <= 2; ++round) {
        MessageBoxCatcher box;
        if (viaEvent) {
            QEvent event(QEvent::User);
            QCOMPARE(QCoreApplication::sendEvent(&handler, &event), true);
        } else {
            QTest::mouseClick(&button, Qt::LeftButton);
        }
        QTRY_COMPARE(box.text, expected);
        QCOMPARE(box.title, QStringLiteral("Orvalis"));
        QCOMPARE(box.name, QStringLiteral("ErrorReport"));
        QCOMPARE(handler.calls, round); // the second one is handled as well: the loop went on
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
