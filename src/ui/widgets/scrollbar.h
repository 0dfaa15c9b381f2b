#pragma once
// A horizontal slider with the two events the aberration controls rely on: a change event raised
// synchronously by setValue (only when the value really changes) and a scroll event for every user
// step, plus one with the end code once the step or run of steps is over.
#include <QScrollBar>

namespace orvalis {

class ScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit ScrollBar(QWidget *parent = nullptr);

signals:
    // endOfScroll is false for the steps of a drag or click and true once when it ends.
    void scrolled(bool endOfScroll);

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void endScrollUnlessHeld();

    bool m_stepped = false;   // a user step happened since the last end of scroll
    bool m_mouseHeld = false; // a mouse button pressed on the bar is still down
    bool m_keyHeld = false;   // a key that stepped the bar is still down
};

} // namespace orvalis
