#include "chart/cosmeticstroke.h"

#include <QPaintEngine>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace orvalis {

namespace {

// Each byte of `argb` times a / 255, rounded as the raster engine's blending rounds it.
inline uint scaled(uint argb, uint a)
{
    constexpr std::uint64_t kLanes = 0x00ff00ff00ff00ffULL;
    std::uint64_t t = ((std::uint64_t(argb) | (std::uint64_t(argb) << 24)) & kLanes) * a;
    t = ((t + ((t >> 8) & kLanes) + 0x0080008000800080ULL) >> 8) & kLanes;
    return uint(t) | uint(t >> 24);
}

class Stroker {
public:
    explicit Stroker(const CosmeticTarget &t)
        : m_pixels(reinterpret_cast<uint *>(t.image->bits())), m_stride(t.image->bytesPerLine() / 4), m_clip(t.clip),
          m_offset(t.offset), m_colour(t.colour), m_caps(t.caps), m_xmin(-1), m_xmax(t.image->width() + 1), m_ymin(-1),
          m_ymax(t.image->height() + 1)
    {
        m_clipLeft = m_clip.left();
        m_clipRight = m_clip.right();
        m_clipTop = m_clip.top();
        m_clipBottom = m_clip.bottom();
        // The pen's colour at every coverage, as each pixel would scale it.
        for (uint coverage = 0; coverage < 256; ++coverage)
            m_shades[coverage] = scaled(m_colour, coverage);
    }

    void segment(const QLineF &line)
    {
        if (line.p1() == line.p2()) {
            // A point: one whole pixel, where the engine rounds it.
            cover<true>(qRound(line.x1() + m_offset.x()), qRound(line.y1() + m_offset.y()), 255);
            return;
        }
        double x1 = line.x1() + m_offset.x(), y1 = line.y1() + m_offset.y();
        double x2 = line.x2() + m_offset.x(), y2 = line.y2() + m_offset.y();
        if (!clipToBounds(x1, y1, x2, y2))
            return;
        // 26.6 fixed point, truncated as the engine truncates.
        const int fx1 = static_cast<int>(x1 * 64.), fy1 = static_cast<int>(y1 * 64.);
        const int fx2 = static_cast<int>(x2 * 64.), fy2 = static_cast<int>(y2 * 64.);
        const int dx = fx2 - fx1, dy = fy2 - fy1;
        if (std::abs(dx) < std::abs(dy))
            run<true>(fy1, fx1, fy2, fx2, dy, dx);
        else if (dx != 0)
            run<false>(fx1, fy1, fx2, fy2, dx, dy);
    }

private:
    // Shortens the segment to the image widened by a pixel on each side; false when nothing is left.
    bool clipToBounds(double &x1, double &y1, double &x2, double &y2) const
    {
        if (x1 < m_xmin) {
            if (x2 <= m_xmin)
                return false;
            y1 += (y2 - y1) / (x2 - x1) * (m_xmin - x1);
            x1 = m_xmin;
        } else if (x1 > m_xmax) {
            if (x2 >= m_xmax)
                return false;
            y1 += (y2 - y1) / (x2 - x1) * (m_xmax - x1);
            x1 = m_xmax;
        }
        if (x2 < m_xmin) {
            y2 += (y2 - y1) / (x2 - x1) * (m_xmin - x2);
            x2 = m_xmin;
        } else if (x2 > m_xmax) {
            y2 += (y2 - y1) / (x2 - x1) * (m_xmax - x2);
            x2 = m_xmax;
        }
        if (y1 < m_ymin) {
            if (y2 <= m_ymin)
                return false;
            x1 += (x2 - x1) / (y2 - y1) * (m_ymin - y1);
            y1 = m_ymin;
        } else if (y1 > m_ymax) {
            if (y2 >= m_ymax)
                return false;
            x1 += (x2 - x1) / (y2 - y1) * (m_ymax - y1);
            y1 = m_ymax;
        }
        if (y2 < m_ymin) {
            x2 += (x2 - x1) / (y2 - y1) * (m_ymin - y2);
            y2 = m_ymin;
        } else if (y2 > m_ymax) {
            x2 += (x2 - x1) / (y2 - y1) * (m_ymax - y2);
            y2 = m_ymax;
        }
        return true;
    }

    // Walks the major axis (y when `steep`, else x) one pixel at a time; at each step the minor
    // position in 16.16 splits the coverage between the two pixels it falls between. The first and
    // last steps are weighted by how much of their pixel the segment (with its caps) covers.
    template <bool steep> void run(int major1, int minor1, int major2, int minor2, int dMajor, int dMinor)
    {
        const std::int64_t ratio = std::abs(dMinor) > 0x7fff ? (std::int64_t(dMinor) * 65536) / dMajor
                                                             : std::int64_t(dMinor * 65536 / dMajor);
        const int inc = static_cast<int>(ratio);
        if (major1 > major2) {
            std::swap(major1, major2);
            std::swap(minor1, minor2);
        }
        int minor = (minor1 - 32) * 1024;
        minor -= (((major1 & 63) - 32) * inc) >> 6;
        if (m_caps) {
            major1 -= 32;
            minor -= inc >> 1;
            major2 += 32;
        }
        int step = major1 >> 6;
        const int last = major2 >> 6;
        int weightFirst, weightLast;
        if (step == last) {
            weightFirst = major2 - major1;
            weightLast = 0;
        } else {
            weightFirst = 64 - (major1 & 63);
            weightLast = major2 & 63;
        }
        // Most segments lie wholly inside the clip: their pixels need no test each.
        const std::int64_t minorEnd = std::int64_t(minor) + std::int64_t(inc) * (last - step);
        const int acrossFirst = static_cast<int>(std::min<std::int64_t>(minor, minorEnd) >> 16);
        const int acrossLast = static_cast<int>(std::max<std::int64_t>(minor, minorEnd) >> 16) + 1;
        // The pixels' bounds lie within the clip (QRect::contains, spelt out so that it inlines: the
        // bounds are never empty, first <= last on both axes).
        const bool inside = steep ? within(acrossFirst, acrossLast, step, last)
                                  : within(step, last, acrossFirst, acrossLast);
        if (inside)
            walk<steep, false>(step, last, minor, inc, weightFirst, weightLast);
        else
            walk<steep, true>(step, last, minor, inc, weightFirst, weightLast);
    }

    bool within(int left, int right, int top, int bottom) const
    {
        return left >= m_clipLeft && right <= m_clipRight && top >= m_clipTop && bottom <= m_clipBottom;
    }

    template <bool steep, bool clipped>
    void walk(int step, int last, int minor, int inc, int weightFirst, int weightLast)
    {
        const auto pair = [this](int along, int across, uint share, int weight) {
            const uint left = (255 - share) * weight >> 6, right = share * weight >> 6;
            if (steep) {
                cover<clipped>(across, along, left);
                cover<clipped>(across + 1, along, right);
            } else {
                cover<clipped>(along, across, left);
                cover<clipped>(along, across + 1, right);
            }
        };
        pair(step, minor >> 16, static_cast<quint8>(minor >> 8), weightFirst);
        minor += inc;
        ++step;
        for (; step < last; ++step, minor += inc)
            pair(step, minor >> 16, static_cast<quint8>(minor >> 8), 64);
        if (weightLast)
            pair(step, minor >> 16, static_cast<quint8>(minor >> 8), weightLast);
    }

    template <bool clipped> void cover(int x, int y, uint coverage)
    {
        if (clipped && (x < m_clip.left() || x > m_clip.right() || y < m_clip.top() || y > m_clip.bottom()))
            return;
        uint &pixel = m_pixels[static_cast<qsizetype>(y) * m_stride + x];
        const uint source = m_shades[coverage];
        pixel = source + scaled(pixel, 255 - qAlpha(source));
    }

    uint *m_pixels;
    qsizetype m_stride;
    QRect m_clip;
    int m_clipLeft, m_clipRight, m_clipTop, m_clipBottom;
    QPointF m_offset;
    uint m_colour;
    std::array<uint, 256> m_shades;
    bool m_caps;
    double m_xmin, m_xmax, m_ymin, m_ymax;
};

} // namespace

QImage *directImage(QPainter *painter)
{
    QPaintDevice *device = painter->device();
    if (!device || device->devType() != QInternal::Image || !painter->paintEngine()
        || painter->paintEngine()->type() != QPaintEngine::Raster)
        return nullptr;
    auto *image = static_cast<QImage *>(device);
    const QPen &pen = painter->pen();
    if ((image->format() != QImage::Format_ARGB32_Premultiplied && image->format() != QImage::Format_RGB32)
        || painter->compositionMode() != QPainter::CompositionMode_SourceOver || painter->opacity() != 1.0
        || painter->deviceTransform().type() > QTransform::TxTranslate || pen.brush().style() != Qt::SolidPattern
        || pen.color().alpha() != 255 || !painter->hasClipping() || painter->clipRegion().rectCount() != 1)
        return nullptr;
    return image;
}

CosmeticTarget cosmeticTarget(QPainter *painter)
{
    CosmeticTarget target;
    const QPen &pen = painter->pen();
    if (!painter->testRenderHint(QPainter::Antialiasing) || pen.style() != Qt::SolidLine || pen.widthF() != 0.0)
        return target;
    QImage *image = directImage(painter);
    if (!image)
        return target;
    const QTransform &toDevice = painter->deviceTransform();
    target.offset = QPointF(toDevice.dx(), toDevice.dy());
    target.image = image;
    // The clip was set in whole device pixels; read back through a half-pixel translation it is
    // exact in doubles, and so is its way back.
    target.clip = painter->clipBoundingRect().translated(target.offset).toRect() & image->rect();
    target.colour = pen.color().rgba();
    target.caps = pen.capStyle() != Qt::FlatCap;
    return target;
}

void strokeCosmeticSegments(const CosmeticTarget &target, const QLineF *segments, int count)
{
    if (!target.image || target.clip.isEmpty())
        return;
    Stroker stroker(target);
    for (int i = 0; i < count; ++i)
        stroker.segment(segments[i]);
}

} // namespace orvalis
