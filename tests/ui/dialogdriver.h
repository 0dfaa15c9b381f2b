#pragma once
// Acting in a modal dialog the program opens: the test arms a watcher before the command, and the
// watcher works in the dialog once it is shown.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace orvalis::test {

// Runs `act` on the next modal dialog of type T once it is shown; `seen` tells whether it came.
template <class T> class WhenModal {
public:
    explicit WhenModal(std::function<void(T *)> act) : m_act(std::move(act))
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    bool seen = false;

private:
    void poll()
    {
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            seen = true;
            m_act(dialog);
            return;
        }
        if (++m_tries < 400)
            QTimer::singleShot(5, &m_context, [this] { poll(); });
    }
    std::function<void(T *)> m_act;
    QObject m_context; // the polling stops with the watcher
    int m_tries = 0;
};

// Types into a field as a user does, so that it counts as modified.
inline void retype(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace orvalis::test
