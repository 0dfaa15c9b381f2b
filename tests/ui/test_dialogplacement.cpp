// Every dialog opens at the same place each time, centred on the main window and whole on its
// screen, however often it is opened and wherever the main window has gone. The test describes a
// 1366 x 768 screen to the offscreen platform before it starts.
#include "formdriver.h"

#include "ui/about/aboutbox.h"
#include "ui/main/formset.h"
#include "ui/microedit/fmscopeedit.h"
#include "ui/used/fmused.h"
#include "ui/widgets/dialogplacement.h"

#include <QDialog>
#include <QScreen>

#include <memory>

using namespace orvalis;
using namespace orvalis::test;

namespace {

// Closes every modal dialog that comes up while it lives, noting where the one named `name` stood.
class DialogCloser {
public:
    explicit DialogCloser(QString name) : m_name(std::move(name))
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    QRect frame; // empty: the dialog never came

private:
    void poll()
    {
        // The next look is due first: closing a dialog may open another one.
        if (++m_tries < 400)
            QTimer::singleShot(5, &m_context, [this] { poll(); });
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            if (dialog->objectName() == m_name)
                frame = dialog->frameGeometry();
            dialog->reject();
        }
    }
    QString m_name;
    QObject m_context;
    int m_tries = 0;
};

} // namespace

class TestDialogPlacement : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sameCentredPlaceEveryTime_data();
    void sameCentredPlaceEveryTime();
    void frameCentredAndOnScreen_data();
    void frameCentredAndOnScreen();

private:
    // Opens the dialog as the program does and gives where it stood.
    QRect open(const QString &how, const QString &name)
    {
        DialogCloser closer(name);
        if (how == QLatin1String("edit"))
            m_forms->scopeEdit->exec();
        else if (how == QLatin1String("used"))
            m_forms->used->exec(); // closing it opens the About box
        else
            action(&m_forms->form(), qPrintable(how))->trigger();
        return closer.frame;
    }
    std::unique_ptr<FreshSettingsFolder> m_settings;
    std::unique_ptr<FormSet> m_forms;
};

void TestDialogPlacement::init()
{
    m_settings = std::make_unique<FreshSettingsFolder>();
    m_forms = std::make_unique<FormSet>();
    m_forms->form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_forms->form()));
}

void TestDialogPlacement::cleanup()
{
    m_forms.reset();
    m_settings.reset();
}

void TestDialogPlacement::sameCentredPlaceEveryTime_data()
{
    QTest::addColumn<QString>("how");  // the menu item, or the dialog that opens it
    QTest::addColumn<QString>("name"); // the dialog's object name
    QTest::newRow("Options") << "Options1"
                             << "fmOptions";
    QTest::newRow("Microscope Setup") << "Microscope1"
                                      << "fmMicroSetup";
    QTest::newRow("Microscope Edit") << "edit"
                                     << "fmScopeEdit";
    QTest::newRow("Quick Setup") << "QuickSetup1"
                                 << "fmQuickEdit";
    QTest::newRow("Info") << "ShowInfo1"
                          << "fmInfo";
    QTest::newRow("About") << "About1"
                           << "AboutBox";
    QTest::newRow("usage note") << "used"
                                << "fmUsed";
    QTest::newRow("save dialog") << "Save1D"
                                 << "SavePictureDialog1";
}

// Opened three times, moved by the user in between, and opened once more after the main window
// moved: always centred on the main window.
void TestDialogPlacement::sameCentredPlaceEveryTime()
{
    QFETCH(QString, how);
    QFETCH(QString, name);
    TForm1 &form = m_forms->form();
    form.move(200, 80);
    QList<QRect> frames;
    for (int i = 0; i < 3; ++i) {
        frames << open(how, name);
        QVERIFY2(!frames.last().isEmpty(), "the dialog never came");
        if (auto *dialog = form.window()->findChild<QDialog *>(name))
            dialog->move(dialog->pos() + QPoint(37, 52)); // where the user dragged it
    }
    QCOMPARE(frames[1], frames[0]);
    QCOMPARE(frames[2], frames[0]);
    const QPoint offset = frames[0].center() - form.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 1, qPrintable(QStringLiteral("%1, %2 off").arg(offset.x()).arg(offset.y())));
    form.move(form.pos() + QPoint(90, 40));
    const QRect moved = open(how, name);
    QCOMPARE(moved.size(), frames[0].size());
    QVERIFY((moved.center() - form.frameGeometry().center()).manhattanLength() <= 1);
}

void TestDialogPlacement::frameCentredAndOnScreen_data()
{
    QTest::addColumn<QRect>("anchor"); // the main window's frame
    QTest::addColumn<QSize>("size");   // the dialog's inside
    QTest::addColumn<QRect>("inside"); // where the dialog's inside goes
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QMargins>("frame");
    const QRect screen(0, 0, 1366, 740); // a 1366 x 768 screen less its panel
    const QMargins frame(2, 24, 2, 2);
    QTest::newRow("centred") << QRect(100, 100, 700, 500) << QSize(300, 200) << QRect(300, 261, 300, 200) << screen
                             << frame;
    QTest::newRow("main window at the right edge")
        << QRect(1100, 100, 700, 500) << QSize(400, 200) << QRect(964, 261, 400, 200) << screen << frame;
    QTest::newRow("main window below the screen")
        << QRect(100, 600, 700, 500) << QSize(300, 200) << QRect(300, 538, 300, 200) << screen << frame;
    QTest::newRow("higher than the screen: the title bar stays on it")
        << QRect(100, 100, 700, 500) << QSize(300, 900) << QRect(300, 24, 300, 900) << screen << frame;
    QTest::newRow("screen to the left of the primary")
        << QRect(-1200, 50, 800, 600) << QSize(300, 200) << QRect(-949, 261, 300, 200) << QRect(-1280, 0, 1280, 1024)
        << frame;
}

void TestDialogPlacement::frameCentredAndOnScreen()
{
    QFETCH(QRect, anchor);
    QFETCH(QSize, size);
    QFETCH(QRect, inside);
    QFETCH(QRect, available);
    QFETCH(QMargins, frame);
    QCOMPARE(centredInside(anchor, size, frame, available), inside);
}

int main(int argc, char **argv)
{
    return runOnDescribedScreen<TestDialogPlacement>(argc, argv, R"({"screens": [
        {"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96,
         "dpr": 1}]})");
}

#include "test_dialogplacement.moc"
