#include "glyphs.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <cmath>

namespace orvalis {
namespace {

QPixmap canvas()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    return pm;
}

// The style's save picture (the one of Save 1D) with a small copy of what is saved in its lower
// right corner: the tool buttons that save a view look like saving, not like the view's switch.
QIcon saveGlyph(const QIcon &what)
{
    const QIcon save = QApplication::style()->standardIcon(QStyle::SP_DialogSaveButton);
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.drawPixmap(0, 0, save.pixmap(QSize(size, size), 1.0));
        const int mark = size * 9 / 16;
        const QRect corner(size - mark, size - mark, mark, mark);
        p.fillRect(corner, Qt::white);
        p.drawPixmap(corner.adjusted(1, 1, 0, 0), what.pixmap(QSize(mark - 1, mark - 1), 1.0));
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

QIcon legendSwatch(QColor colour)
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.fillRect(1, 7, 14, 3, colour);
    return QIcon(pm);
}

QIcon legendLine(const QPen &pen)
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    QPen sample = pen;
    sample.setWidth(2); // a 1-pixel dash pattern is hard to read at icon size
    sample.setCapStyle(Qt::FlatCap);
    p.setPen(sample);
    p.drawLine(0, 8, 16, 8);
    return QIcon(pm);
}

QIcon patternGlyph()
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(pm.rect(), Qt::black);
    for (int r = 7; r > 0; r -= 2) {
        p.setPen(QPen(QColor::fromRgb(255 - 20 * r, 255 - 20 * r, 255 - 20 * r), 1));
        p.drawEllipse(QPointF(8, 8), r, r);
    }
    return QIcon(pm);
}

QIcon liveGlyph()
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(13, 2);
    head.lineTo(14, 8);
    head.lineTo(9, 6);
    head.closeSubpath();
    p.fillPath(head, QColor(0, 0, 128));
    return QIcon(pm);
}

QIcon mapGlyph()
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    for (int x = 0; x < 16; ++x) {
        const int g = 94 + (x * 37) % 160;
        p.fillRect(x, 1, 1, 14, QColor(g, g, g));
    }
    p.fillRect(0, 9, 16, 2, Qt::red);
    return QIcon(pm);
}

QIcon savePatternGlyph()
{
    return saveGlyph(patternGlyph());
}

QIcon saveMapGlyph()
{
    return saveGlyph(mapGlyph());
}

QIcon modeGlyph()
{
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath a;
    QPainterPath b;
    a.moveTo(0, 8);
    b.moveTo(0, 8);
    for (int x = 1; x <= 16; ++x) {
        a.lineTo(x, 8 - 6 * std::sin(x * 0.7));
        b.lineTo(x, 8 + 5 * std::sin(x * 0.5));
    }
    p.setPen(QPen(QColor(0, 0, 128), 1.5));
    p.drawPath(a);
    p.setPen(QPen(QColor(0, 0, 255), 1.5));
    p.drawPath(b);
    return QIcon(pm);
}

QIcon warningGlyph()
{
    return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
}

} // namespace orvalis
