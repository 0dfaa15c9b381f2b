#pragma once
// The local defocus of the fitted micrograph (LocalDefocusSession): a map of the patches' mean
// defocus in colour over a grey thumbnail of the micrograph, with its scale in Å, the contour lines
// of the tilt plane (the fit's when it gave a tilt, else the plane through the patches) and the
// patches without a significant fit hatched grey; beside it the chosen patch's spectrum against its
// model (the measured rings on one side of the line, the model's on the other, as the pattern pane
// shows the whole micrograph's) and its values. A click or the arrow keys choose a patch. The
// patches are fitted off the event loop with progress and Cancel.
#include "micrograph/patchfit.h"

#include <QDialog>
#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orvalis {

class LocalDefocusSession;
class MicrographSession;

// The map: the thumbnail, the patches' colours, the contour lines and the scale.
class LocalDefocusMap : public QWidget {
    Q_OBJECT
public:
    explicit LocalDefocusMap(QWidget *parent = nullptr);

    // `thumbnail` is the micrograph in grey at any size (drawn over its whole area); `plane` the
    // contour lines' plane (D0 in Å at the image's centre), none to draw none.
    void setData(std::shared_ptr<const LocalDefocus> local, const QImage &thumbnail,
                 const std::optional<SpecimenTilt> &tilt, double centreDefocus, bool fittedPlane);
    void clear();
    int current() const { return m_current; } // the chosen patch, -1 without patches
    void setCurrent(int index);

    // The colour of a mean defocus (Å) on the scale from `low` to `high`.
    static QColor colourOf(double defocus, double low, double high);
    // The scale's ends: the significant patches' lowest and highest mean defocus, at least 20 Å apart.
    std::pair<double, double> scale() const { return {m_low, m_high}; }
    // Where the image lies in the widget, and the patch under a point (-1 for none).
    QRectF imageRect() const;
    int patchAt(const QPointF &point) const;

    QSize sizeHint() const override { return {420, 360}; }
    QSize minimumSizeHint() const override { return {220, 180}; }

signals:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::shared_ptr<const LocalDefocus> m_local;
    QImage m_thumbnail;
    std::optional<SpecimenTilt> m_tilt;
    double m_centreDefocus = 0;
    bool m_fittedPlane = false;
    double m_low = 0, m_high = 0;
    int m_current = -1;
};

// One patch's spectrum against its model, square, as large as its place allows.
class PatchSpectrumView : public QWidget {
    Q_OBJECT
public:
    explicit PatchSpectrumView(QWidget *parent = nullptr);
    // The patch's spectrum with the model of its fit (none: the spectrum alone).
    void setPatch(const LocalDefocus *local, const DefocusPatch *patch);
    QSize sizeHint() const override { return {260, 260}; }
    QSize minimumSizeHint() const override { return {140, 140}; }
    const QImage &picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    bool m_withModel = false;
};

class LocalDefocusDialog : public QDialog {
    Q_OBJECT
public:
    LocalDefocusDialog(LocalDefocusSession &session, MicrographSession &micrograph, QWidget *parent = nullptr);

    // Starts the patches (or shows the ones the session holds).
    void startOrShow();

    LocalDefocusMap *map = nullptr;
    PatchSpectrumView *spectrum = nullptr;
    QLabel *laPatch = nullptr, *laPlane = nullptr, *laStatus = nullptr;
    QProgressBar *pbPatches = nullptr;
    QPushButton *CancelBtn = nullptr, *RecomputeBtn = nullptr, *CloseBtn = nullptr;

private:
    void showResult();
    void showMessage(const QString &text);
    void setRunning(bool running);
    void showPatch(int index);

    LocalDefocusSession &m_session;
    MicrographSession &m_micrograph;
};

// The micrograph in grey, its longer side `side` pixels, its 1st to 99th percentile spread over
// the grey levels.
QImage micrographThumbnail(const MicrographImage &image, int side);

} // namespace orvalis
