#pragma once
// Drives the real main window the way a user does: by the names of its controls.
#include "ui/main/form1.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QApplication>
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

} // namespace orvalis::test

// As QTEST_MAIN, with the program's own application object, so that an exception leaving a handler
// reaches the error report as it does in the program.
#define ORVALIS_UI_TEST_MAIN(TestObject)                                                                \
    int main(int argc, char *argv[])                                                                   \
    {                                                                                                  \
        orvalis::ErrorReportingApplication app(argc, argv);                                            \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                       \
        TestObject tc;                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                          \
    }
