#include "metafiledevice.h"

#include "core/units.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPixmap>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

extern "C" {
#include <uemf.h>
#include <uwmf.h>
}

namespace orvalis {
namespace {

// What the records need of a pen, brush and font, in device pixels; equal ones share one object.
struct PenObject {
    bool null = true;
    QRgb color = 0;
    int width = 1; // px
    uint32_t style = U_PS_SOLID;
    bool operator==(const PenObject &o) const
    {
        return null == o.null && color == o.color && width == o.width && style == o.style;
    }
};

struct BrushObject {
    bool null = true;
    QRgb color = 0;
    bool operator==(const BrushObject &o) const { return null == o.null && color == o.color; }
};

struct FontObject {
    QString family;
    int height = 0;   // px, character height (the em size)
    int weight = 400; // 100 .. 900
    bool italic = false;
    int escapement = 0; // tenths of a degree, counter-clockwise
    bool operator==(const FontObject &o) const
    {
        return family == o.family && height == o.height && weight == o.weight && italic == o.italic
            && escapement == o.escapement;
    }
};

// A 24-bit bottom-up device-independent bitmap of an image, as both formats embed pictures.
struct Dib {
    explicit Dib(const QImage &source)
    {
        const QImage image = source.convertToFormat(QImage::Format_RGB32);
        const int w = image.width();
        const int h = image.height();
        const int stride = (w * 3 + 3) & ~3;
        pixels = QByteArray(stride * h, '\0');
        for (int y = 0; y < h; ++y) {
            const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            char *out = pixels.data() + static_cast<std::ptrdiff_t>(h - 1 - y) * stride;
            for (int x = 0; x < w; ++x) {
                *out++ = static_cast<char>(qBlue(in[x]));
                *out++ = static_cast<char>(qGreen(in[x]));
                *out++ = static_cast<char>(qRed(in[x]));
            }
        }
        const int pixelsPerMetre = 3780; // 96 dpi
        info = bitmapinfo_set(bitmapinfoheader_set(w, h, 1, U_BCBM_COLOR24, U_BI_RGB,
                                                   static_cast<uint32_t>(pixels.size()), pixelsPerMetre, pixelsPerMetre,
                                                   0, 0),
                              nullptr);
    }
    ~Dib() { std::free(info); }
    Dib(const Dib &) = delete;
    Dib &operator=(const Dib &) = delete;

    QByteArray pixels;
    PU_BITMAPINFO info = nullptr;
};

U_COLORREF colorRef(QRgb c)
{
    return colorref3_set(static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)),
                         static_cast<uint8_t>(qBlue(c)));
}

// Bytes written by the library's finishing step (which fills in the header's totals) go to memory, so
// that the caller decides where the file lands.
template <class Finish> QByteArray finishToMemory(FILE *&trackFile, Finish finish)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    trackFile = open_memstream(&buffer, &size);
    if (!trackFile)
        return {};
    const bool ok = finish() == 0;
    if (trackFile) { // left open when writing failed
        std::fclose(trackFile);
        trackFile = nullptr;
    }
    QByteArray out = ok ? QByteArray(buffer, static_cast<qsizetype>(size)) : QByteArray();
    std::free(buffer);
    return out;
}

// The library's track of a file being built in memory, made here instead of by its start functions,
// which would also open a file under a name of their own; freed with the library's free function.
template <class Track> Track *newTrack()
{
    auto *track = static_cast<Track *>(std::calloc(1, sizeof(Track)));
    if (track) {
        track->allocated = 1 << 16;
        track->chunk = 1 << 18;
        track->buf = static_cast<char *>(std::malloc(track->allocated));
    }
    return track;
}

template <class Track, class Free> void freeTrack(Track *&track, Free freeFunction)
{
    if (!track)
        return;
    if (track->fp)
        std::fclose(track->fp);
    freeFunction(&track);
}

// One metafile being written: the drawing operations of the paint engine as records.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void selectPen(const PenObject &pen) = 0;
    virtual void selectBrush(const BrushObject &brush) = 0;
    virtual void selectFont(const FontObject &font) = 0;
    virtual void setTextColor(QRgb color) = 0;
    // Back to the state after the prologue (no clipping), then clipped to `clip` if given.
    virtual void setClip(const std::optional<QRect> &clip) = 0;
    virtual void polyline(const QPolygon &points) = 0;
    virtual void polygon(const QPolygon &points) = 0;
    virtual void rectangle(const QRect &rect) = 0;
    virtual void text(QPoint baseline, const QString &text, const QVector<int> &advances) = 0;
    virtual void image(const QRect &target, const QImage &image) = 0;
    virtual QByteArray finish() = 0;
    bool failed() const { return m_failed; }

protected:
    bool m_failed = false;
};

class EmfSink final : public RecordSink {
public:
    EmfSink(QSize size, int dpi)
    {
        m_track = newTrack<EMFTRACK>();
        if (!m_track || !m_track->buf || emf_htable_create(128, 128, &m_handles)) {
            m_failed = true;
            return;
        }
        const int w = size.width(), h = size.height();
        const U_RECTL bounds = rectl_set(point32_set(0, 0), point32_set(w - 1, h - 1));
        // .01 mm
        const U_RECTL frame = rectl_set(point32_set(0, 0),
                                        point32_set(std::lround(w * 2540.0 / dpi), std::lround(h * 2540.0 / dpi)));
        // Readers place a pixel at (pixel x reference millimetres / reference pixels): a reference
        // device of the picture's own size in whole millimetres is a little off the picture's dpi and
        // moves every line by up to a pixel, which then lands between two rows. A ten-inch square
        // device holds the dpi exactly.
        append(
            U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, sizel_set(10 * dpi, 10 * dpi), sizel_set(254, 254), 0));
        append(U_EMRSETMAPMODE_set(U_MM_TEXT));
        append(U_EMRSETBKMODE_set(U_TRANSPARENT));
        append(U_EMRSETTEXTALIGN_set(U_TA_BASELINE | U_TA_LEFT));
        append(U_EMRSETPOLYFILLMODE_set(U_WINDING));
        append(U_EMRSAVEDC_set());
    }

    ~EmfSink() override
    {
        freeTrack(m_track, emf_free);
        if (m_handles)
            emf_htable_free(&m_handles);
    }

    void selectPen(const PenObject &pen) override
    {
        uint32_t created = 0;
        if (!pen.null)
            append(createpen_set(&created, m_handles,
                                 logpen_set(pen.style, point_set(pen.width, 0), colorRef(pen.color))));
        replace(m_pen, created, U_NULL_PEN);
    }

    void selectBrush(const BrushObject &brush) override
    {
        uint32_t created = 0;
        if (!brush.null)
            append(createbrushindirect_set(&created, m_handles, logbrush_set(U_BS_SOLID, colorRef(brush.color), 0)));
        replace(m_brush, created, U_NULL_BRUSH);
    }

    void selectFont(const FontObject &font) override
    {
        std::vector<uint16_t> face(U_LF_FACESIZE, 0);
        const QString name = font.family.left(U_LF_FACESIZE - 1);
        std::memcpy(face.data(), name.utf16(), sizeof(uint16_t) * static_cast<std::size_t>(name.size()));
        U_LOGFONT logFont = logfont_set(-font.height, 0, font.escapement, font.escapement, font.weight,
                                        font.italic ? 1 : 0, 0, 0, U_DEFAULT_CHARSET, U_OUT_DEFAULT_PRECIS,
                                        U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH | U_FF_DONTCARE,
                                        face.data());
        uint32_t created = 0;
        append(extcreatefontindirectw_set(&created, m_handles, reinterpret_cast<const char *>(&logFont), nullptr));
        replace(m_font, created, U_DEVICE_DEFAULT_FONT);
    }

    void setTextColor(QRgb color) override
    {
        m_textColor = color;
        append(U_EMRSETTEXTCOLOR_set(colorRef(color)));
    }

    void setClip(const std::optional<QRect> &clip) override
    {
        append(U_EMRRESTOREDC_set(-1));
        append(U_EMRSAVEDC_set());
        if (clip)
            append(U_EMRINTERSECTCLIPRECT_set(rectlPast(*clip)));
        // the restored state has the stock objects selected
        for (uint32_t handle : {m_pen, m_brush, m_font})
            if (handle)
                append(U_EMRSELECTOBJECT_set(handle));
        if (m_textColor)
            append(U_EMRSETTEXTCOLOR_set(colorRef(*m_textColor)));
    }

    void polyline(const QPolygon &points) override
    {
        const std::vector<U_POINTL> p = pointsOf(points);
        append(U_EMRPOLYLINE_set(rectl(points.boundingRect()), static_cast<uint32_t>(p.size()), p.data()));
    }

    void polygon(const QPolygon &points) override
    {
        const std::vector<U_POINTL> p = pointsOf(points);
        append(U_EMRPOLYGON_set(rectl(points.boundingRect()), static_cast<uint32_t>(p.size()), p.data()));
    }

    // GDI leaves out the right and bottom edges of a rectangle; Qt's rect covers them.
    void rectangle(const QRect &rect) override { append(U_EMRRECTANGLE_set(rectlPast(rect))); }

    void text(QPoint baseline, const QString &text, const QVector<int> &advances) override
    {
        std::vector<uint32_t> dx(advances.begin(), advances.end());
        std::vector<uint16_t> chars(text.utf16(), text.utf16() + text.size());
        chars.push_back(0);
        const U_RECTL noClip = rectl_set(point32_set(0, 0), point32_set(-1, -1));
        char *body = emrtext_set(point32_set(baseline.x(), baseline.y()), static_cast<U_NUM_STR>(text.size()), 2,
                                 chars.data(), U_ETO_NONE, noClip, dx.data());
        if (!body) {
            m_failed = true;
            return;
        }
        append(U_EMREXTTEXTOUTW_set(noClip, U_GM_COMPATIBLE, 1.0f, 1.0f, reinterpret_cast<PU_EMRTEXT>(body)));
        std::free(body);
    }

    void image(const QRect &target, const QImage &image) override
    {
        Dib dib(image);
        if (!dib.info) {
            m_failed = true;
            return;
        }
        append(U_EMRSTRETCHDIBITS_set(rectl(target), point32_set(target.x(), target.y()),
                                      point32_set(target.width(), target.height()), point32_set(0, 0),
                                      point32_set(image.width(), image.height()), U_DIB_RGB_COLORS, U_SRCCOPY, dib.info,
                                      static_cast<uint32_t>(dib.pixels.size()), dib.pixels.data()));
    }

    QByteArray finish() override
    {
        append(U_EMRRESTOREDC_set(-1));
        for (uint32_t *handle : {&m_pen, &m_brush, &m_font})
            replace(*handle, 0, 0);
        append(U_EMREOF_set(0, nullptr, m_track));
        if (m_failed)
            return {};
        QByteArray out = finishToMemory(m_track->fp, [this] { return emf_finish(m_track, m_handles); });
        m_failed = out.isEmpty();
        return out;
    }

private:
    void append(char *record)
    {
        if (!record || m_failed) {
            std::free(record);
            m_failed = true;
            return;
        }
        if (emf_append(reinterpret_cast<PU_ENHMETARECORD>(record), m_track, U_REC_FREE))
            m_failed = true;
    }

    // Selects `created` (or the stock object when it is 0) and deletes the object it replaces.
    void replace(uint32_t &current, uint32_t created, uint32_t stock)
    {
        if (created || stock)
            append(U_EMRSELECTOBJECT_set(created ? created : stock));
        if (current)
            append(deleteobject_set(&current, m_handles));
        current = created;
    }

    static U_RECTL rectl(const QRect &r)
    {
        return rectl_set(point32_set(r.left(), r.top()), point32_set(r.right(), r.bottom()));
    }
    // Right and bottom one past the last pixel, as clipping and pen-less rectangles count them.
    static U_RECTL rectlPast(const QRect &r)
    {
        return rectl_set(point32_set(r.left(), r.top()), point32_set(r.right() + 1, r.bottom() + 1));
    }

    static std::vector<U_POINTL> pointsOf(const QPolygon &points)
    {
        std::vector<U_POINTL> p;
        p.reserve(static_cast<std::size_t>(points.size()));
        for (const QPoint &q : points)
            p.push_back(point32_set(q.x(), q.y()));
        return p;
    }

    EMFTRACK *m_track = nullptr;
    EMFHANDLES *m_handles = nullptr;
    uint32_t m_pen = 0, m_brush = 0, m_font = 0; // 0: the stock object is selected
    std::optional<QRgb> m_textColor;
};

class WmfSink final : public RecordSink {
public:
    WmfSink(QSize size, int dpi)
    {
        m_track = newTrack<WMFTRACK>();
        if (!m_track || !m_track->buf || wmf_htable_create(128, 128, &m_handles)) {
            m_failed = true;
            return;
        }
        (void)wmf_highwater(U_HIGHWATER_CLEAR); // the library counts the objects of one file at a time
        U_PAIRF *inches = U_PAIRF_set(static_cast<float>(size.width()) / dpi, static_cast<float>(size.height()) / dpi);
        char *header = U_WMRHEADER_set(inches, static_cast<unsigned>(dpi));
        std::free(inches);
        if (!header || wmf_header_append(reinterpret_cast<U_METARECORD *>(header), m_track, U_REC_FREE)) {
            m_failed = true;
            return;
        }
        append(U_WMRSETWINDOWEXT_set(point16_set(clamp16(size.width()), clamp16(size.height()))));
        append(U_WMRSETWINDOWORG_set(point16_set(0, 0)));
        append(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC));
        setModes();
        append(U_WMRSAVEDC_set());
    }

    ~WmfSink() override
    {
        freeTrack(m_track, wmf_free);
        if (m_handles)
            wmf_htable_free(&m_handles);
    }

    void selectPen(const PenObject &pen) override
    {
        uint32_t created = 0;
        append(wcreatepenindirect_set(&created, m_handles,
                                      U_PEN_set(static_cast<uint16_t>(pen.null ? U_PS_NULL : pen.style),
                                                static_cast<uint16_t>(pen.width), colorRef(pen.color))));
        replace(m_pen, created);
    }

    void selectBrush(const BrushObject &brush) override
    {
        uint32_t created = 0;
        append(wcreatebrushindirect_set(
            &created, m_handles, U_WLOGBRUSH_set(brush.null ? U_BS_NULL : U_BS_SOLID, colorRef(brush.color), 0)));
        replace(m_brush, created);
    }

    void selectFont(const FontObject &font) override
    {
        QByteArray face = font.family.toLatin1().left(31);
        U_FONT *uf = U_FONT_set(static_cast<int16_t>(-font.height), 0, static_cast<int16_t>(font.escapement),
                                static_cast<int16_t>(font.escapement), static_cast<int16_t>(font.weight),
                                font.italic ? 1 : 0, 0, 0, U_DEFAULT_CHARSET, U_OUT_DEFAULT_PRECIS,
                                U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH | U_FF_DONTCARE, face.data());
        if (!uf) {
            m_failed = true;
            return;
        }
        uint32_t created = 0;
        append(wcreatefontindirect_set(&created, m_handles, uf));
        std::free(uf);
        replace(m_font, created);
    }

    void setTextColor(QRgb color) override
    {
        m_textColor = color;
        append(U_WMRSETTEXTCOLOR_set(colorRef(color)));
    }

    void setClip(const std::optional<QRect> &clip) override
    {
        append(U_WMRRESTOREDC_set(-1));
        append(U_WMRSAVEDC_set());
        setModes();
        if (clip)
            append(U_WMRINTERSECTCLIPRECT_set(rect16(*clip)));
        for (const std::optional<uint32_t> &handle : {m_pen, m_brush, m_font})
            if (handle)
                append(wselectobject_set(*handle, m_handles));
        if (m_textColor)
            append(U_WMRSETTEXTCOLOR_set(colorRef(*m_textColor)));
    }

    // A record holds at most 65535 points; a longer line goes out in pieces that share their ends.
    void polyline(const QPolygon &points) override
    {
        constexpr int kMaxPoints = 16000;
        int start = 0;
        do {
            const std::vector<U_POINT16> p = pointsOf(points.mid(start, kMaxPoints));
            append(U_WMRPOLYLINE_set(static_cast<uint16_t>(p.size()), p.data()));
            start += kMaxPoints - 1;
        } while (start + 1 < points.size());
    }

    void polygon(const QPolygon &points) override
    {
        const std::vector<U_POINT16> p = pointsOf(points.mid(0, 16000));
        append(U_WMRPOLYGON_set(static_cast<uint16_t>(p.size()), p.data()));
    }

    // GDI leaves out the right and bottom edges of a rectangle; Qt's rect covers them.
    void rectangle(const QRect &rect) override { append(U_WMRRECTANGLE_set(rect16(rect))); }

    // The plain text record: readers lay out a string of the font's own advances as one piece, where
    // given advances make some of them place (and write out) every character on its own.
    void text(QPoint baseline, const QString &text, const QVector<int> &) override
    {
        QByteArray bytes = text.toLatin1();
        append(U_WMRTEXTOUT_set(point16(baseline), bytes.data()));
    }

    void image(const QRect &target, const QImage &image) override
    {
        Dib dib(image);
        if (!dib.info) {
            m_failed = true;
            return;
        }
        append(U_WMRSTRETCHDIB_set(
            point16(target.topLeft()), point16_set(clamp16(target.width()), clamp16(target.height())),
            point16_set(0, 0), point16_set(clamp16(image.width()), clamp16(image.height())), U_DIB_RGB_COLORS,
            U_SRCCOPY, dib.info, static_cast<uint32_t>(dib.pixels.size()), dib.pixels.constData()));
    }

    QByteArray finish() override
    {
        append(U_WMRRESTOREDC_set(-1));
        for (std::optional<uint32_t> *handle : {&m_pen, &m_brush, &m_font})
            if (*handle) {
                uint32_t h = **handle;
                append(wdeleteobject_set(&h, m_handles));
            }
        append(U_WMREOF_set());
        if (m_failed)
            return {};
        QByteArray out = finishToMemory(m_track->fp, [this] { return wmf_finish(m_track); });
        m_failed = out.isEmpty();
        return out;
    }

private:
    void append(char *record)
    {
        if (!record || m_failed) {
            std::free(record);
            m_failed = true;
            return;
        }
        if (wmf_append(reinterpret_cast<U_METARECORD *>(record), m_track, U_REC_FREE))
            m_failed = true;
    }

    // Said again after every restore: some readers restore a saved state without its text
    // alignment, and then place every label a line too low.
    void setModes()
    {
        append(U_WMRSETBKMODE_set(U_TRANSPARENT));
        append(U_WMRSETTEXTALIGN_set(U_TA_BASELINE | U_TA_LEFT));
        append(U_WMRSETPOLYFILLMODE_set(U_WINDING));
    }

    void replace(std::optional<uint32_t> &current, uint32_t created)
    {
        append(wselectobject_set(created, m_handles));
        if (current) {
            uint32_t h = *current;
            append(wdeleteobject_set(&h, m_handles));
        }
        current = created;
    }

    // Coordinates of a WMF are 16-bit.
    static int16_t clamp16(int v) { return static_cast<int16_t>(qBound(-32768, v, 32767)); }
    static U_POINT16 point16(QPoint p) { return point16_set(clamp16(p.x()), clamp16(p.y())); }
    static U_RECT16 rect16(const QRect &r)
    {
        return U_RECT16_set(point16(r.topLeft()), point16_set(clamp16(r.right() + 1), clamp16(r.bottom() + 1)));
    }
    static std::vector<U_POINT16> pointsOf(const QPolygon &points)
    {
        std::vector<U_POINT16> p;
        p.reserve(static_cast<std::size_t>(points.size()));
        for (const QPoint &q : points)
            p.push_back(point16(q));
        return p;
    }

    WMFTRACK *m_track = nullptr;
    WMFHANDLES *m_handles = nullptr;
    std::optional<uint32_t> m_pen, m_brush, m_font; // unset: the device's default is selected
    std::optional<QRgb> m_textColor;
};

} // namespace

// Takes every primitive with its transformation (the device works in pixels) and hands the sink
// integer device coordinates and the pen, brush and font in effect.
class MetafilePaintEngine final : public QPaintEngine {
public:
    MetafilePaintEngine(MetafileDevice::Format format, QSize size, int dpi)
        : QPaintEngine(QPaintEngine::AllFeatures), m_format(format), m_size(size), m_dpi(dpi)
    {
    }

    bool begin(QPaintDevice *) override
    {
        m_data.clear();
        m_error.clear();
        if (m_format == MetafileDevice::Format::Emf)
            m_sink = std::make_unique<EmfSink>(m_size, m_dpi);
        else
            m_sink = std::make_unique<WmfSink>(m_size, m_dpi);
        m_pen = {};
        m_brush = {};
        m_font.reset();
        m_textColor.reset();
        m_transform = QTransform();
        m_penWanted = {};
        m_brushWanted = {};
        m_penSelected = m_brushSelected = false;
        m_clipArea = QRectF();
        return !m_sink->failed();
    }

    bool end() override
    {
        m_data = m_sink->finish();
        if (m_data.isEmpty())
            m_error = QStringLiteral("the picture could not be made into metafile records");
        m_sink.reset();
        return !m_data.isEmpty();
    }

    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState &newState) override
    {
        const DirtyFlags dirty = newState.state();
        if (dirty & DirtyTransform)
            m_transform = newState.transform();
        if (dirty & DirtyPen)
            m_qpen = newState.pen();
        if (dirty & DirtyBrush)
            m_qbrush = newState.brush();
        if (dirty & (DirtyPen | DirtyTransform))
            m_penWanted = wantedPen();
        if (dirty & DirtyBrush)
            m_brushWanted = wantedBrush(m_qbrush);
        if (dirty & (DirtyClipEnabled | DirtyClipRegion | DirtyClipPath))
            updateClip(newState);
    }

    void drawLines(const QLineF *lines, int lineCount) override
    {
        for (int i = 0; i < lineCount; ++i) {
            const QPointF ends[2] = {lines[i].p1(), lines[i].p2()};
            drawPolygon(ends, 2, PolylineMode);
        }
    }

    void drawRects(const QRectF *rects, int rectCount) override
    {
        for (int i = 0; i < rectCount; ++i) {
            if (m_transform.isRotating()) {
                const QPolygonF corners(rects[i]);
                drawPolygon(corners.constData(), static_cast<int>(corners.size()), WindingMode);
                continue;
            }
            apply(true);
            m_sink->rectangle(m_transform.mapRect(rects[i]).toRect());
        }
    }

    void drawPolygon(const QPointF *points, int pointCount, PolygonDrawMode mode) override
    {
        if (pointCount < 1)
            return;
        QPolygon device(pointCount);
        for (int i = 0; i < pointCount; ++i)
            device[i] = m_transform.map(points[i]).toPoint();
        const bool filled = mode != PolylineMode && !m_brushWanted.null;
        apply(filled);
        if (filled)
            m_sink->polygon(device);
        else if (!m_penWanted.null)
            m_sink->polyline(device);
    }

    void drawPath(const QPainterPath &path) override
    {
        const QList<QPolygonF> parts = path.toSubpathPolygons();
        for (const QPolygonF &part : parts)
            drawPolygon(part.constData(), static_cast<int>(part.size()),
                        path.fillRule() == Qt::OddEvenFill ? OddEvenMode : WindingMode);
    }

    void drawPixmap(const QRectF &r, const QPixmap &pm, const QRectF &sr) override
    {
        drawImage(r, pm.toImage(), sr, Qt::AutoColor);
    }

    void drawImage(const QRectF &r, const QImage &image, const QRectF &sr, Qt::ImageConversionFlags) override
    {
        const QRect source = sr.toAlignedRect().intersected(image.rect());
        const QRect target = m_transform.mapRect(r).toRect();
        if (source.isEmpty() || target.isEmpty())
            return;
        m_sink->image(target, source == image.rect() ? image : image.copy(source));
    }

    void drawTextItem(const QPointF &p, const QTextItem &textItem) override
    {
        const QString text = textItem.text();
        if (text.isEmpty())
            return;
        const QFont font = textItem.font();
        const double scale = std::hypot(m_transform.m11(), m_transform.m12());
        const double angle = radiansToDegrees(std::atan2(m_transform.m12(), m_transform.m11())); // clockwise on screen
        FontObject object;
        object.family = font.family();
        const double pixelSize = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * m_dpi / 72.0;
        object.height = std::max(1, static_cast<int>(std::lround(pixelSize * scale)));
        object.weight = qBound(100, static_cast<int>(font.weight()), 900);
        object.italic = font.italic();
        object.escapement = static_cast<int>(std::lround(-angle * 10.0));
        if (!m_font || !(*m_font == object)) {
            m_sink->selectFont(object);
            m_font = object;
        }
        const QRgb color = m_qpen.color().rgb();
        if (!m_textColor || *m_textColor != color) {
            m_sink->setTextColor(color);
            m_textColor = color;
        }
        // advances from the same font the text was laid out with, so that other programs space it alike
        const QFontMetricsF metrics(font);
        QVector<int> advances;
        advances.reserve(text.size());
        double x = 0;
        int placed = 0;
        for (const QChar c : text) {
            x += metrics.horizontalAdvance(c) * scale;
            const int next = static_cast<int>(std::lround(x));
            advances << next - placed;
            placed = next;
        }
        m_sink->text(m_transform.map(p).toPoint(), text, advances);
    }

    QByteArray data() const { return m_data; }
    QString error() const { return m_error; }

private:
    PenObject wantedPen() const
    {
        PenObject object;
        if (m_qpen.style() == Qt::NoPen || m_qpen.color().alpha() == 0)
            return object;
        object.null = false;
        object.color = m_qpen.color().rgb();
        const double scale = m_qpen.isCosmetic() ? 1.0 : std::hypot(m_transform.m11(), m_transform.m12());
        object.width = std::max(1, static_cast<int>(std::lround(m_qpen.widthF() * scale)));
        switch (m_qpen.style()) {
        case Qt::DashLine: object.style = U_PS_DASH; break;
        case Qt::DotLine: object.style = U_PS_DOT; break;
        case Qt::DashDotLine: object.style = U_PS_DASHDOT; break;
        case Qt::DashDotDotLine: object.style = U_PS_DASHDOTDOT; break;
        default: object.style = U_PS_SOLID; break;
        }
        return object;
    }

    static BrushObject wantedBrush(const QBrush &brush)
    {
        BrushObject object;
        if (brush.style() == Qt::NoBrush || brush.color().alpha() == 0)
            return object;
        object.null = false;
        object.color = brush.color().rgb();
        return object;
    }

    // Objects are made only when something is drawn with them, and only when they changed.
    void apply(bool withBrush)
    {
        if (!(m_pen == m_penWanted) || !m_penSelected) {
            m_sink->selectPen(m_penWanted);
            m_pen = m_penWanted;
            m_penSelected = true;
        }
        const BrushObject brush = withBrush ? m_brushWanted : BrushObject{};
        if (!(m_brush == brush) || !m_brushSelected) {
            m_sink->selectBrush(brush);
            m_brush = brush;
            m_brushSelected = true;
        }
    }

    void updateClip(const QPaintEngineState &clipState)
    {
        // a change of the enabled flag alone leaves the area as it was last set
        if (clipState.state() & DirtyClipPath)
            m_clipArea = m_transform.mapRect(clipState.clipPath().boundingRect());
        else if (clipState.state() & DirtyClipRegion)
            m_clipArea = m_transform.mapRect(QRectF(clipState.clipRegion().boundingRect()));
        std::optional<QRect> clip;
        if (clipState.isClipEnabled() && clipState.clipOperation() != Qt::NoClip)
            clip = m_clipArea.toAlignedRect().intersected(QRect(QPoint(0, 0), m_size));
        m_sink->setClip(clip);
    }

    MetafileDevice::Format m_format;
    QSize m_size;
    int m_dpi;
    std::unique_ptr<RecordSink> m_sink;
    QTransform m_transform;
    QRectF m_clipArea; // device pixels
    QPen m_qpen;
    QBrush m_qbrush;
    PenObject m_pen, m_penWanted;
    BrushObject m_brush, m_brushWanted;
    bool m_penSelected = false, m_brushSelected = false;
    std::optional<FontObject> m_font;
    std::optional<QRgb> m_textColor;
    QByteArray m_data;
    QString m_error;
};

MetafileDevice::MetafileDevice(Format format, QSize size, int dpi)
    : m_size(size), m_dpi(dpi), m_engine(std::make_unique<MetafilePaintEngine>(format, size, dpi))
{
}

MetafileDevice::~MetafileDevice() = default;

QPaintEngine *MetafileDevice::paintEngine() const
{
    return m_engine.get();
}

QByteArray MetafileDevice::data() const
{
    return m_engine->data();
}

QString MetafileDevice::error() const
{
    return m_engine->error();
}

int MetafileDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth: return m_size.width();
    case PdmHeight: return m_size.height();
    case PdmWidthMM: return static_cast<int>(std::lround(m_size.width() * 25.4 / m_dpi));
    case PdmHeightMM: return static_cast<int>(std::lround(m_size.height() * 25.4 / m_dpi));
    case PdmNumColors: return 1 << 24;
    case PdmDepth: return 24;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return m_dpi;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
    }
    return 0;
}

} // namespace orvalis
