#include "stripstyle.h"

#include <QApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QStyleOption>

namespace orvalis {

namespace {

// Columns kept free of strip edges on each side of the handle and the arrow buttons.
constexpr int kKeepClear = 2;

bool opaque(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}

} // namespace

StripStyle::StripStyle() : QProxyStyle(QApplication::style()->name()) {}

std::optional<QVector<int>> StripStyle::stripStarts(int left, int right, const QVector<QPair<int, int>> &avoided,
                                                    int maxWidth, int keepClear)
{
    QVector<int> starts;
    int start = left;
    while (right - start + 1 > maxWidth) {
        int cut = start + maxWidth;
        // Moving the cut left out of one range may move it into another: repeat until none holds it.
        for (bool moved = true; moved;) {
            moved = false;
            for (const auto &range : avoided) {
                if (cut > range.first - keepClear && cut <= range.second + keepClear) {
                    cut = range.first - keepClear;
                    moved = true;
                }
            }
        }
        if (cut <= start)
            return std::nullopt;
        starts.append(cut);
        start = cut;
    }
    return starts;
}

void StripStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                                    const QWidget *widget) const
{
    if (control != CC_ScrollBar || !drawInStrips(option, painter, widget))
        QProxyStyle::drawComplexControl(control, option, painter, widget);
}

bool StripStyle::drawInStrips(const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const
{
    const QRect bar = option->rect;
    if (!(option->state & State_Horizontal) || bar.width() <= kMaxStrip || bar.isEmpty())
        return false;
    const QPaintDevice *device = painter->device();
    if (!device || device->devicePixelRatioF() != 1.0 || painter->deviceTransform().type() > QTransform::TxTranslate)
        return false;
    QVector<QPair<int, int>> avoided;
    for (SubControl part : {SC_ScrollBarSlider, SC_ScrollBarAddLine, SC_ScrollBarSubLine}) {
        const QRect r = subControlRect(CC_ScrollBar, option, part, widget);
        if (r.isValid())
            avoided.append({r.left(), r.right()});
    }
    const std::optional<QVector<int>> starts = stripStarts(bar.left(), bar.right(), avoided, kMaxStrip, kKeepClear);
    if (!starts)
        return false;

    QVector<int> edges = *starts;
    edges.prepend(bar.left());
    edges.append(bar.right() + 1);
    m_strips.resize(edges.size() - 1);
    for (int i = 0; i + 1 < edges.size(); ++i) {
        QImage &strip = m_strips[i];
        const QSize size(edges[i + 1] - edges[i], bar.height());
        if (strip.size() != size)
            strip = QImage(size, QImage::Format_ARGB32_Premultiplied);
        strip.fill(Qt::transparent);
        QPainter stripPainter(&strip);
        stripPainter.translate(-edges[i], -bar.top());
        QProxyStyle::drawComplexControl(CC_ScrollBar, option, &stripPainter, widget);
        stripPainter.end();
        if (!opaque(strip))
            return false;
    }
    for (int i = 0; i + 1 < edges.size(); ++i)
        painter->drawImage(QPoint(edges[i], bar.top()), m_strips[i]);
    return true;
}

} // namespace orvalis
