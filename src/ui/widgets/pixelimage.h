#pragma once
// A widget that owns an RGB32 image and shows it enlarged by a whole factor (1:1 unless set), each
// image pixel a sharp block: the 2D pattern's canvas. Pointer positions are reported in image pixels.
#include <QImage>
#include <QWidget>

namespace orvalis {

class PixelImage : public QWidget {
    Q_OBJECT
public:
    explicit PixelImage(QWidget *parent = nullptr);

    void setImageSize(int width, int height); // a new black canvas; the widget takes its size
    void setZoom(int factor);                 // at least 1; the widget takes the enlarged size
    void updateImageRect(const QRect &rect);  // repaints the part of the widget that shows these image pixels
    int zoom() const { return m_zoom; }
    QImage &image() { return m_image; }
    const QImage &image() const { return m_image; }

signals:
    void mouseMoved(int x, int y);
    void mouseReleased(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int unzoomed(int px) const;       // the image pixel under a widget pixel
    const QImage &shown(qreal ratio); // the picture at the screen's size, made anew only when it changed

    QImage m_image;
    int m_zoom = 1;
    // The enlarged picture last shown and the image contents (QImage::cacheKey) it was made from: a
    // repaint that is not a new picture (a marker moving over it, a window uncovered) only copies it.
    QImage m_shown;
    qint64 m_shownKey = 0;
};

} // namespace orvalis
