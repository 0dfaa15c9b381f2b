#pragma once
// Drives the real main window the way a user does: by the names of its controls.
#include "ui/main/form1.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace orvalis::test {

// Points the settings store and the per-user data folder at a fresh, empty folder for as long as it
// lives. Every test function makes one before its window: closing a window writes its settings, and
// no test may start from what another one (or an earlier run) left behind.
class FreshSettingsFolder {
public:
    FreshSettingsFolder() : m_oldConfig(qgetenv("XDG_CONFIG_HOME")), m_oldData(qgetenv("XDG_DATA_HOME"))
    {
        if (!m_dir.isValid())
            qFatal("no temporary settings folder: %s", qPrintable(m_dir.errorString()));
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
    }
    ~FreshSettingsFolder()
    {
        qputenv("XDG_CONFIG_HOME", m_oldConfig);
        qputenv("XDG_DATA_HOME", m_oldData);
    }
    FreshSettingsFolder(const FreshSettingsFolder &) = delete;
    FreshSettingsFolder &operator=(const FreshSettingsFolder &) = delete;
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QByteArray m_oldData;
};

template <class T> T *child(QObject *root, const char *name)
{
    T *found = root->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

inline QAction *action(QObject *root, const char *name)
{
    return child<QAction>(root, name);
}

// Types a text into a field and presses Enter.
inline void typeAndEnter(QWidget *form, const char *field, const QString &text)
{
    auto *edit = child<QLineEdit>(form, field);
    edit->setFocus();
    edit->selectAll();
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Answers the next message box with OK and returns its text; empty if none came.
class MessageBoxCatcher {
public:
    MessageBoxCatcher()
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    QString text;
    QString title;
    QString name; // the box's object name

private:
    void poll()
    {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            title = box->windowTitle();
            name = box->objectName();
            box->accept();
            return;
        }
        if (++m_tries < 200)
            QTimer::singleShot(5, &m_context, [this] { poll(); });
    }
    QObject m_context; // the polling stops with the catcher
    int m_tries = 0;
};

// Presses and releases the mouse on the end arrow of a horizontal slider.
inline void clickRightArrow(QScrollBar *bar)
{
    const QPoint arrow(bar->width() - 3, bar->height() / 2);
    QTest::mousePress(bar, Qt::LeftButton, {}, arrow);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, arrow);
}

// Empty when the pattern readout (at its widest) and the fast-oscillation warning are shown whole in
// their panes; else what is cut off.
inline QString readoutsCutOff(QWidget *form, const QStringList &widestReadouts)
{
    auto *readout = child<QLabel>(form, "Label11");
    QWidget *pane = child<QWidget>(form, "pa2Dctf");
    for (const QString &text : widestReadouts) {
        if (readout->fontMetrics().horizontalAdvance(text) > readout->contentsRect().width())
            return QStringLiteral("\"%1\" is wider than Label11 (%2)").arg(text).arg(readout->width());
    }
    const QRect inPane(readout->mapTo(pane, QPoint(0, 0)), readout->size());
    if (!pane->rect().contains(inPane))
        return QStringLiteral("Label11 reaches out of pa2Dctf");
    auto *caption = child<QLabel>(form, "Panel1Caption");
    QWidget *warning = child<QWidget>(form, "Panel1");
    QWidget *panel = child<QWidget>(form, "StatusPanel1");
    if (caption->width() < caption->sizeHint().width() || warning->width() > panel->width()
        || warning->width() < warning->sizeHint().width())
        return QStringLiteral("the warning \"%1\" is cut off").arg(caption->text());
    return QString();
}

} // namespace orvalis::test

// Runs a test object on one offscreen screen described in the platform's configuration format (its
// size, logical density and device pixel ratio), set up before the application starts.
template <class TestObject> int runOnDescribedScreen(int argc, char **argv, const char *screenJson)
{
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    file.write(screenJson);
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.toLocal8Bit());
    orvalis::ErrorReportingApplication app(argc, argv);
    TestObject test;
    return QTest::qExec(&test, argc, argv);
}

// The offscreen platform's own screen (800 x 600) is smaller than the window's first size, which the
// window would then shrink to fit: the tests run on the 1366 x 768 screen the program is made for.
inline bool describeLaptopScreen(const QTemporaryDir &dir)
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "offscreen")
        return true;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,)"
               R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + config.toLocal8Bit());
    return true;
}

// As QTEST_MAIN, with the program's own application object, so that an exception leaving a handler
// reaches the error report as it does in the program.
#define ORVALIS_UI_TEST_MAIN(TestObject)                                                                               \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QTemporaryDir screenDir;                                                                                       \
        if (!describeLaptopScreen(screenDir))                                                                          \
            return 2;                                                                                                  \
        orvalis::ErrorReportingApplication app(argc, argv);                                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
