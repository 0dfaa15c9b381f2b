#pragma once
// A horizontal slider with the two events the aberration controls rely on: a change event raised
// synchronously by setValue (only when the value really changes) and a scroll event for every user
// step, plus one with the end code when the mouse button or key that drove the slider is released.
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
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    bool m_stepped = false; // a user step happened since the last end of scroll
};

} // namespace orvalis
