#pragma once
// Answers the modal windows a handler opens, one step per window, in the order they appear: message
// boxes by their buttons, dialogs by a function that fills and closes them.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace orvalis::test {

class ModalScript {
public:
    ModalScript()
    {
        QTimer::singleShot(0, &m_context, [this] { poll(); });
    }
    ~ModalScript()
    {
        // A step never reached is a window that never came: the test must not pass silently.
        if (!finished() && !QTest::currentTestFailed())
            QTest::qFail("a modal window the test expected never appeared", __FILE__, __LINE__);
    }

    // The next message box: its text is recorded, then `button` is pressed.
    ModalScript &answer(QMessageBox::StandardButton button)
    {
        return step<QMessageBox>([this, button](QMessageBox *box) {
            texts << box->text();
            if (QAbstractButton *b = box->button(button))
                b->click();
            else
                box->reject();
        });
    }
    // The next modal window of type T.
    template <class T> ModalScript &step(std::function<void(T *)> run)
    {
        m_steps.push_back([run](QWidget *w) {
            T *t = qobject_cast<T *>(w);
            if (t)
                run(t);
            return t != nullptr;
        });
        return *this;
    }
    bool finished() const { return m_next == m_steps.size(); }

    QStringList texts; // of the message boxes answered, in order

private:
    void poll()
    {
        if (finished() || ++m_tries > 4000)
            return;
        // The next poll is due before a step runs: a step may open a window of its own.
        QTimer::singleShot(5, &m_context, [this] { poll(); });
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_last)
            return;
        const int index = m_next;
        auto run = m_steps[index];
        ++m_next;
        m_last = modal;
        if (!run(modal)) {
            --m_next; // not the window this step waits for (the dialog under test itself)
            return;
        }
        m_last = nullptr; // the same dialog may come back for a later step
    }

    QVector<std::function<bool(QWidget *)>> m_steps;
    int m_next = 0;
    int m_tries = 0;
    QWidget *m_last = nullptr;
    QObject m_context;
};

} // namespace orvalis::test
