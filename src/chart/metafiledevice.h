#pragma once
// A paint device whose drawing becomes a Windows metafile: lines, polylines, polygons, rectangles,
// text and images are written as the records of an enhanced metafile (.emf) or a Windows metafile
// (.wmf), so that other programs open the picture as vectors and text, not as a bitmap.
#include <QByteArray>
#include <QPaintDevice>
#include <QSize>

#include <memory>

namespace orvalis {

class MetafilePaintEngine;

class MetafileDevice : public QPaintDevice {
public:
    enum class Format { Emf, Wmf };

    // A picture of `size` pixels at `dpi` pixels per inch (its printed size follows from both).
    MetafileDevice(Format format, QSize size, int dpi = 96);
    ~MetafileDevice() override;
    MetafileDevice(const MetafileDevice &) = delete;
    MetafileDevice &operator=(const MetafileDevice &) = delete;

    QPaintEngine *paintEngine() const override;

    // The finished file, once the painter has ended; empty before, or when a record could not be
    // made (then error() says why).
    QByteArray data() const;
    QString error() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize m_size;
    int m_dpi;
    std::unique_ptr<MetafilePaintEngine> m_engine;
};

} // namespace orvalis
