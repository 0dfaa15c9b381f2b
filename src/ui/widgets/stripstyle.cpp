#include "stripstyle.h"

#include <QApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QStyleOption>

namespace orvalis {

namespace {

// Columns kept free of strip edges on each side of the handle and the arrow buttons.
constexpr int kKeepClear = 2;
// A strip that comes this near the handle is drawn again whenever the handle moves.
constexpr int kNearHandle = 8;

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

bool StripStyle::StripKey::operator==(const StripKey &o) const
{
    return strip == o.strip && bar == o.bar && groove == o.groove && addLine == o.addLine && subLine == o.subLine
        && handle == o.handle && state == o.state && active == o.active && parts == o.parts && direction == o.direction
        && orientation == o.orientation && palette == o.palette && empty == o.empty;
}

bool StripStyle::drawInStrips(const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const
{
    const QRect bar = option->rect;
    if (!(option->state & State_Horizontal) || bar.width() <= kMaxStrip || bar.isEmpty())
        return false;
    const QPaintDevice *device = painter->device();
    if (!device || device->devicePixelRatioF() != 1.0 || painter->deviceTransform().type() > QTransform::TxTranslate)
        return false;
    const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (!slider)
        return false;
    const auto part = [&](SubControl sc) { return subControlRect(CC_ScrollBar, option, sc, widget); };
    const QRect handle = part(SC_ScrollBarSlider);
    StripKey common;
    common.bar = bar;
    common.groove = part(SC_ScrollBarGroove);
    common.addLine = part(SC_ScrollBarAddLine);
    common.subLine = part(SC_ScrollBarSubLine);
    common.state = int(option->state);
    common.active = int(option->activeSubControls);
    common.parts = int(option->subControls);
    common.direction = int(option->direction);
    common.orientation = int(slider->orientation);
    common.palette = option->palette.cacheKey();
    common.empty = slider->minimum == slider->maximum;

    QVector<QPair<int, int>> avoided;
    for (const QRect &r : {handle, common.addLine, common.subLine}) {
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
    const QRect near = handle.adjusted(-kNearHandle, 0, kNearHandle, 0);
    for (int i = 0; i + 1 < edges.size(); ++i) {
        Strip &strip = m_strips[i];
        StripKey key = common;
        key.strip = QRect(edges[i], bar.top(), edges[i + 1] - edges[i], bar.height());
        if (handle.isValid() && QRect(key.strip.left(), near.top(), key.strip.width(), near.height()).intersects(near))
            key.handle = handle;
        if (strip.drawn && strip.key == key)
            continue;
        strip.drawn = false;
        if (strip.image.size() != key.strip.size())
            strip.image = QImage(key.strip.size(), QImage::Format_ARGB32_Premultiplied);
        strip.image.fill(Qt::transparent);
        QPainter stripPainter(&strip.image);
        stripPainter.translate(-edges[i], -bar.top());
        QProxyStyle::drawComplexControl(CC_ScrollBar, option, &stripPainter, widget);
        stripPainter.end();
        if (!opaque(strip.image))
            return false;
        strip.key = key;
        strip.drawn = true;
    }
    for (const Strip &strip : m_strips)
        painter->drawImage(strip.key.strip.topLeft(), strip.image);
    return true;
}

} // namespace orvalis
