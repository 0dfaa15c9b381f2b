#pragma once
// A small painted figure placed in its parent's pixel coordinates: markers and ruler ticks.
#include <QColor>
#include <QWidget>

namespace orvalis {

class Shape : public QWidget {
    Q_OBJECT
public:
    enum Kind { Rectangle, Circle };
    Shape(Kind kind, QColor fill, QColor outline, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
    QColor m_fill;
    QColor m_outline; // invalid: no outline
};

} // namespace orvalis
