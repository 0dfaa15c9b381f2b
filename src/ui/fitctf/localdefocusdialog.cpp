#include "ui/fitctf/localdefocusdialog.h"

#include "core/numberformat.h"
#include "core/units.h"
#include "session/localdefocussession.h"
#include "session/micrographsession.h"
#include "session/micrographviews.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orvalis {

namespace {

constexpr int kScaleWidth = 78; // the colour scale and its labels, right of the map

// A step of 1, 2 or 5 times a power of ten, near `span / count`.
double niceStep(double span, int count)
{
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

QString angstroms(double value)
{
    return QStringLiteral("%1 Å").arg(formatFixed(value, 0));
}

// The part of the line through `p` along `d` inside `r` (Liang and Barsky); false when it misses.
bool clipLine(const QRectF &r, QPointF p, QPointF d, QPointF &a, QPointF &b)
{
    double t0 = -1e12, t1 = 1e12;
    const double pv[] = {-d.x(), d.x(), -d.y(), d.y()};
    const double qv[] = {p.x() - r.left(), r.right() - p.x(), p.y() - r.top(), r.bottom() - p.y()};
    for (int i = 0; i < 4; ++i) {
        if (pv[i] == 0) {
            if (qv[i] < 0)
                return false;
            continue;
        }
        const double t = qv[i] / pv[i];
        if (pv[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 >= t1)
        return false;
    a = p + t0 * d;
    b = p + t1 * d;
    return true;
}

} // namespace

QImage micrographThumbnail(const MicrographImage &image, int side)
{
    if (image.width <= 0 || image.height <= 0 || side <= 0)
        return {};
    const int step = std::max(1, std::max(image.width, image.height) / side);
    const int w = std::max(1, image.width / step), h = std::max(1, image.height / step);
    std::vector<float> mean(static_cast<std::size_t>(w) * h, 0.0f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            for (int j = 0; j < step; ++j)
                for (int i = 0; i < step; ++i)
                    sum += image.at(x * step + i, y * step + j);
            mean[static_cast<std::size_t>(y) * w + x] = static_cast<float>(sum / (step * step));
        }
    std::vector<float> sorted = mean;
    std::sort(sorted.begin(), sorted.end());
    const float low = sorted[sorted.size() / 100], high = sorted[sorted.size() - 1 - sorted.size() / 100];
    const float spread = high > low ? high - low : 1.0f;
    QImage out(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        uchar *line = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const float v = (mean[static_cast<std::size_t>(y) * w + x] - low) / spread;
            line[x] = static_cast<uchar>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
        }
    }
    return out;
}

// ---- the map ------------------------------------------------------------------------------------

LocalDefocusMap::LocalDefocusMap(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("LocalDefocusMap"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("Local defocus map"));
    setToolTip(QStringLiteral("Click a patch, or move with the arrow keys, to see its spectrum"));
}

void LocalDefocusMap::setData(std::shared_ptr<const LocalDefocus> local, const QImage &thumbnail,
                              const std::optional<SpecimenTilt> &tilt, double centreDefocus, bool fittedPlane)
{
    m_local = std::move(local);
    m_thumbnail = thumbnail;
    m_tilt = tilt;
    m_centreDefocus = centreDefocus;
    m_fittedPlane = fittedPlane;
    m_low = m_high = 0;
    bool any = false;
    for (const DefocusPatch &p : m_local->patches)
        if (p.significant()) {
            m_low = any ? std::min(m_low, p.meanDefocus()) : p.meanDefocus();
            m_high = any ? std::max(m_high, p.meanDefocus()) : p.meanDefocus();
            any = true;
        }
    if (m_high - m_low < 20) {
        const double middle = 0.5 * (m_low + m_high);
        m_low = middle - 10;
        m_high = middle + 10;
    }
    m_current = -1;
    setCurrent(m_local->patches.empty() ? -1 : 0);
    update();
}

void LocalDefocusMap::clear()
{
    m_local.reset();
    m_thumbnail = QImage();
    m_current = -1;
    update();
}

void LocalDefocusMap::setCurrent(int index)
{
    if (!m_local || index < 0 || index >= static_cast<int>(m_local->patches.size()) || index == m_current)
        return;
    m_current = index;
    update();
    emit currentChanged(index);
}

QColor LocalDefocusMap::colourOf(double defocus, double low, double high)
{
    // A perceptually even scale from dark blue (nearest focus) to yellow (furthest), readable to the
    // colour-blind and in grey.
    static const QColor stops[] = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
    const double f = std::clamp(high > low ? (defocus - low) / (high - low) : 0.5, 0.0, 1.0) * 4;
    const int i = std::min(3, static_cast<int>(f));
    const double w = f - i;
    const auto mix = [w](int a, int b) { return static_cast<int>(std::lround(a + w * (b - a))); };
    return QColor(mix(stops[i].red(), stops[i + 1].red()), mix(stops[i].green(), stops[i + 1].green()),
                  mix(stops[i].blue(), stops[i + 1].blue()));
}

QRectF LocalDefocusMap::imageRect() const
{
    if (!m_local)
        return {};
    const QRectF room(6, 6, std::max(1, width() - kScaleWidth - 12), std::max(1, height() - 12));
    const double aspect = static_cast<double>(m_local->imageWidth) / m_local->imageHeight;
    double w = room.width(), h = w / aspect;
    if (h > room.height()) {
        h = room.height();
        w = h * aspect;
    }
    return QRectF(room.left() + 0.5 * (room.width() - w), room.top() + 0.5 * (room.height() - h), w, h);
}

int LocalDefocusMap::patchAt(const QPointF &point) const
{
    if (!m_local)
        return -1;
    const QRectF r = imageRect();
    const double scale = r.width() / m_local->imageWidth;
    for (std::size_t i = 0; i < m_local->patches.size(); ++i) {
        const DefocusPatch &p = m_local->patches[i];
        const double half = 0.5 * m_local->patchSize;
        const QRectF box(r.left() + (p.x + 0.5 - half) * scale, r.top() + (p.y + 0.5 - half) * scale,
                         m_local->patchSize * scale, m_local->patchSize * scale);
        if (box.contains(point))
            return static_cast<int>(i);
    }
    return -1;
}

void LocalDefocusMap::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!m_local)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF r = imageRect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(r, m_thumbnail);
    const double scale = r.width() / m_local->imageWidth;
    const double half = 0.5 * m_local->patchSize;
    QRectF currentBox;
    for (std::size_t i = 0; i < m_local->patches.size(); ++i) {
        const DefocusPatch &p = m_local->patches[i];
        const QRectF box(r.left() + (p.x + 0.5 - half) * scale, r.top() + (p.y + 0.5 - half) * scale,
                         m_local->patchSize * scale, m_local->patchSize * scale);
        if (p.significant()) {
            QColor c = colourOf(p.meanDefocus(), m_low, m_high);
            c.setAlpha(150);
            painter.fillRect(box, c);
        } else {
            painter.fillRect(box, QColor(128, 128, 128, 170));
            painter.fillRect(box, QBrush(QColor(40, 40, 40), Qt::BDiagPattern));
        }
        painter.setPen(QPen(QColor(255, 255, 255, 110), 1));
        painter.drawRect(box);
        if (static_cast<int>(i) == m_current)
            currentBox = box;
    }

    // The plane's contour lines: lines of equal defocus run along the axis, D growing across it.
    const double pixelA = nmToAngstrom(m_local->pixelSizeNm);
    if (m_tilt && m_tilt->angle > 0) {
        const double slope = std::tan(degreesToRadians(m_tilt->angle)) * pixelA; // Å per pixel across the axis
        const double axis = degreesToRadians(m_tilt->axis);
        const QPointF along(std::cos(axis), std::sin(axis)), across(-std::sin(axis), std::cos(axis));
        const double cx = 0.5 * (m_local->imageWidth - 1), cy = 0.5 * (m_local->imageHeight - 1);
        double tLow = 0, tHigh = 0;
        for (const QPointF corner : {QPointF(-cx, -cy), QPointF(cx, -cy), QPointF(-cx, cy), QPointF(cx, cy)}) {
            const double t = corner.x() * across.x() + corner.y() * across.y();
            tLow = std::min(tLow, t);
            tHigh = std::max(tHigh, t);
        }
        const double dLow = m_centreDefocus + slope * tLow, dHigh = m_centreDefocus + slope * tHigh;
        if (dHigh - dLow > 1) {
            const double step = niceStep(dHigh - dLow, 6);
            painter.save();
            painter.setClipRect(r);
            const QPen line(QColor(255, 255, 255), 1.5, m_fittedPlane ? Qt::SolidLine : Qt::DashLine);
            for (double level = std::ceil(dLow / step) * step; level <= dHigh; level += step) {
                const double t = (level - m_centreDefocus) / slope;
                const QPointF p(r.left() + (cx + 0.5 + t * across.x()) * scale,
                                r.top() + (cy + 0.5 + t * across.y()) * scale);
                QPointF a, b;
                if (!clipLine(r, p, along, a, b))
                    continue;
                painter.setPen(QPen(QColor(0, 0, 0, 140), 3.5));
                painter.drawLine(a, b);
                painter.setPen(line);
                painter.drawLine(a, b);
                const QString label = angstroms(level);
                const QPointF at = 0.5 * (a + b);
                const QRectF box = painter.fontMetrics().boundingRect(label).adjusted(-2, -1, 2, 1);
                const QRectF placed(at - box.center(), box.size());
                painter.fillRect(placed, QColor(0, 0, 0, 150));
                painter.setPen(Qt::white);
                painter.drawText(placed, Qt::AlignCenter, label);
            }
            painter.restore();
        }
    }

    if (!currentBox.isNull()) {
        painter.setPen(QPen(Qt::black, 4));
        painter.drawRect(currentBox.adjusted(1, 1, -1, -1));
        painter.setPen(QPen(hasFocus() ? palette().highlight().color() : QColor(Qt::white), 2));
        painter.drawRect(currentBox.adjusted(1, 1, -1, -1));
    }

    // The scale, nearest focus at the bottom.
    const QRectF bar(width() - kScaleWidth + 4, r.top() + 8, 14, std::max(20.0, r.height() - 16));
    for (int y = 0; y < static_cast<int>(bar.height()); ++y) {
        const double f = 1 - y / std::max(1.0, bar.height() - 1);
        painter.fillRect(QRectF(bar.left(), bar.top() + y, bar.width(), 1),
                         colourOf(m_low + f * (m_high - m_low), m_low, m_high));
    }
    painter.setPen(palette().windowText().color());
    painter.drawRect(bar);
    const double step = niceStep(m_high - m_low, 4);
    for (double v = std::ceil(m_low / step) * step; v <= m_high + 1e-9; v += step) {
        const double y = bar.bottom() - (v - m_low) / (m_high - m_low) * bar.height();
        painter.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 4, y));
        painter.drawText(QRectF(bar.right() + 6, y - 10, kScaleWidth - 24, 20), Qt::AlignLeft | Qt::AlignVCenter,
                         formatFixed(v, 0));
    }
    painter.drawText(QRectF(bar.left() - 4, bar.bottom() + 2, kScaleWidth, 16), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Å"));
}

void LocalDefocusMap::mousePressEvent(QMouseEvent *event)
{
    const int index = patchAt(event->position());
    if (index >= 0)
        setCurrent(index);
    setFocus(Qt::MouseFocusReason);
}

void LocalDefocusMap::keyPressEvent(QKeyEvent *event)
{
    if (!m_local || m_current < 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    int column = m_current % m_local->columns, row = m_current / m_local->columns;
    switch (event->key()) {
    case Qt::Key_Left: column = std::max(0, column - 1); break;
    case Qt::Key_Right: column = std::min(m_local->columns - 1, column + 1); break;
    case Qt::Key_Up: row = std::max(0, row - 1); break;
    case Qt::Key_Down: row = std::min(m_local->rows - 1, row + 1); break;
    case Qt::Key_Home: column = row = 0; break;
    case Qt::Key_End:
        column = m_local->columns - 1;
        row = m_local->rows - 1;
        break;
    default: QWidget::keyPressEvent(event); return;
    }
    setCurrent(row * m_local->columns + column);
}

// ---- one patch's spectrum ------------------------------------------------------------------------

PatchSpectrumView::PatchSpectrumView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PatchSpectrumView"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("The patch's spectrum against its model"));
}

void PatchSpectrumView::setPatch(const LocalDefocus *local, const DefocusPatch *patch)
{
    m_picture = QImage();
    m_withModel = local && patch && patch->values;
    if (local && patch && patch->spectrum) {
        // A patch's spectrum averages few tiles: its rings, plain in the fit's sum over the band, drown
        // in the pixels' noise to the eye. Shown over 3 x 3 of its pixels (rings lie 2.5 or more
        // apart at the band's top), they stand out as in the whole micrograph's.
        PowerSpectrum s = *patch->spectrum;
        const int n = s.size;
        for (int y = 1; y + 1 < n; ++y)
            for (int x = 1; x + 1 < n; ++x) {
                float sum = 0;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        sum += patch->spectrum->ringsAt(x + i, y + j);
                s.rings[s.index(x, y)] = sum / 9;
            }
        const double nyquist = 0.5 * s.size * s.frequencyStep;
        const double range = std::min(nyquist, 1 / local->options.highResolution);
        const int centre = std::min(160, s.size / 2);
        CompositeGrid grid = measuredGrid(s, centre, range, 1 / local->options.lowResolution);
        if (patch->values)
            drawModelHalf(grid, patchModel(*local, *patch), 0.0, 1);
        QImage image(grid.side(), grid.side(), QImage::Format_Grayscale8);
        for (int y = 0; y < grid.side(); ++y)
            std::copy_n(&grid.grey[static_cast<std::size_t>(y) * grid.side()], grid.side(), image.scanLine(y));
        m_picture = image;
    }
    update();
}

void PatchSpectrumView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (m_picture.isNull())
        return;
    const int side = std::max(1, std::min(width(), height() - 2 * fontMetrics().height()));
    const QRect target((width() - side) / 2, fontMetrics().height(), side, side);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_picture);
    painter.setPen(palette().windowText().color());
    painter.drawText(QRect(target.left(), 0, side, fontMetrics().height()), Qt::AlignCenter,
                     m_withModel ? QStringLiteral("Measured") : QStringLiteral("Measured (no fit to compare)"));
    if (m_withModel)
        painter.drawText(QRect(target.left(), target.bottom() + 1, side, fontMetrics().height()), Qt::AlignCenter,
                         QStringLiteral("Model"));
}

// ---- the dialog ----------------------------------------------------------------------------------

LocalDefocusDialog::LocalDefocusDialog(LocalDefocusSession &session, MicrographSession &micrograph, QWidget *parent)
    : QDialog(parent), m_session(session), m_micrograph(micrograph)
{
    setObjectName(QStringLiteral("LocalDefocusDialog"));
    setWindowTitle(QStringLiteral("Local Defocus"));
    setModal(false);
    setSizeGripEnabled(true);

    map = new LocalDefocusMap(this);
    spectrum = new PatchSpectrumView(this);
    laPatch = new QLabel(this);
    laPatch->setObjectName(QStringLiteral("laPatch"));
    laPatch->setWordWrap(true);
    laPatch->setTextInteractionFlags(Qt::TextSelectableByMouse);
    laPlane = new QLabel(this);
    laPlane->setObjectName(QStringLiteral("laPlane"));
    laPlane->setWordWrap(true);
    laPlane->setTextInteractionFlags(Qt::TextSelectableByMouse);
    laStatus = new QLabel(this);
    laStatus->setObjectName(QStringLiteral("laStatus"));
    laStatus->setWordWrap(true);

    pbPatches = new QProgressBar(this);
    pbPatches->setObjectName(QStringLiteral("pbPatches"));
    pbPatches->setRange(0, 1000);
    pbPatches->setTextVisible(false);
    CancelBtn = new QPushButton(QStringLiteral("Ca&ncel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(CancelBtn, &QPushButton::clicked, &m_session, &LocalDefocusSession::cancel);
    auto *running = new QHBoxLayout;
    running->addWidget(pbPatches, 1);
    running->addWidget(CancelBtn);

    auto *buttons = new QDialogButtonBox(this);
    RecomputeBtn = buttons->addButton(QStringLiteral("&Fit Patches Again"), QDialogButtonBox::ActionRole);
    RecomputeBtn->setObjectName(QStringLiteral("RecomputeBtn"));
    CloseBtn = buttons->addButton(QDialogButtonBox::Close);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    connect(RecomputeBtn, &QPushButton::clicked, this, [this] {
        QString refused;
        if (m_session.start(&refused))
            setRunning(true);
        else
            showMessage(refused);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *side = new QVBoxLayout;
    side->addWidget(spectrum, 1);
    side->addWidget(laPatch);
    auto *views = new QHBoxLayout;
    views->addWidget(map, 3);
    views->addLayout(side, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(views, 1);
    layout->addWidget(laPlane);
    layout->addWidget(laStatus);
    layout->addLayout(running);
    layout->addWidget(buttons);

    connect(map, &LocalDefocusMap::currentChanged, this, &LocalDefocusDialog::showPatch);
    connect(&m_session, &LocalDefocusSession::progress, this,
            [this](double f) { pbPatches->setValue(static_cast<int>(f * 1000 + 0.5)); });
    connect(&m_session, &LocalDefocusSession::finished, this, &LocalDefocusDialog::showResult);
    connect(&m_session, &LocalDefocusSession::failed, this, &LocalDefocusDialog::showMessage);
    connect(&m_session, &LocalDefocusSession::cancelled, this,
            [this] { showMessage(QStringLiteral("The patches were cancelled.")); });
    connect(&m_session, &LocalDefocusSession::cleared, this,
            [this] { showMessage(QStringLiteral("The fit has changed: fit the patches again.")); });
    showMessage(QStringLiteral("No patches yet."));
    resize(860, 560);
}

void LocalDefocusDialog::startOrShow()
{
    if (m_session.result()) {
        showResult();
        return;
    }
    if (m_session.busy()) {
        setRunning(true);
        return;
    }
    QString refused;
    if (m_session.start(&refused)) {
        laStatus->setText(QStringLiteral("Fitting the patches..."));
        setRunning(true);
    } else {
        showMessage(refused);
    }
}

void LocalDefocusDialog::setRunning(bool running)
{
    pbPatches->setVisible(running);
    CancelBtn->setVisible(running);
    RecomputeBtn->setEnabled(!running);
    if (running) {
        pbPatches->setValue(0);
        CancelBtn->setFocus();
    }
}

void LocalDefocusDialog::showMessage(const QString &text)
{
    setRunning(false);
    map->clear();
    spectrum->setPatch(nullptr, nullptr);
    laPatch->clear();
    laPlane->clear();
    laStatus->setText(text);
}

void LocalDefocusDialog::showResult()
{
    setRunning(false);
    const std::shared_ptr<const LocalDefocus> local = m_session.result();
    if (!local)
        return;
    QImage thumbnail;
    if (const MicrographImage *image = m_micrograph.image())
        thumbnail = micrographThumbnail(*image, 1024);
    const auto &fitted = m_session.fittedTilt();
    const bool useFitted = fitted.has_value();
    std::optional<SpecimenTilt> tilt = fitted;
    double centre = m_session.fittedCentreDefocus();
    if (!useFitted && local->plane) {
        tilt = local->plane->tilt;
        centre = local->plane->centreDefocus;
    }
    map->setData(local, thumbnail, tilt, centre, useFitted);

    QStringList plane;
    if (fitted)
        plane << QStringLiteral("Contours: the fitted tilt, %1° about an axis at %2°.")
                     .arg(formatFixed(fitted->angle, 1), formatFixed(fitted->axis, 1));
    if (local->plane)
        plane << (fitted ? QString() : QStringLiteral("Contours (dashed): ")) + planeSummary(*local->plane);
    else
        plane << QStringLiteral("Fewer than 3 patches have a significant fit: no plane is drawn.");
    laPlane->setText(plane.join(QLatin1Char(' ')));
    const int significant = local->significantCount();
    const int all = static_cast<int>(local->patches.size());
    laStatus->setText(QStringLiteral("%1 x %2 patches of %3 px (spectra of %4 px tiles); %5 of %6 with a significant "
                                     "fit, the others hatched grey. Click a patch or use the arrow keys.")
                          .arg(local->columns)
                          .arg(local->rows)
                          .arg(local->patchSize)
                          .arg(local->tileSize)
                          .arg(significant)
                          .arg(all));
    map->setFocus();
    showPatch(map->current());
}

void LocalDefocusDialog::showPatch(int index)
{
    const std::shared_ptr<const LocalDefocus> local = m_session.result();
    if (!local || index < 0 || index >= static_cast<int>(local->patches.size())) {
        spectrum->setPatch(nullptr, nullptr);
        laPatch->clear();
        return;
    }
    const DefocusPatch &p = local->patches[static_cast<std::size_t>(index)];
    spectrum->setPatch(local.get(), &p);
    const QString where = QStringLiteral("Patch at column %1, row %2 (centre %3, %4 px)")
                              .arg(index % local->columns + 1)
                              .arg(index / local->columns + 1)
                              .arg(formatFixed(p.x, 1), formatFixed(p.y, 1));
    if (p.values)
        laPatch->setText(QStringLiteral("%1: defocus U %2, V %3, angle %4°; mean %5; score %6 (%7 σ of noise).")
                             .arg(where, angstroms(p.values->cryoEm.defocusU), angstroms(p.values->cryoEm.defocusV),
                                  formatFixed(p.values->cryoEm.angle, 1), angstroms(p.meanDefocus()),
                                  formatFixed(p.score, 4), formatFixed(p.significance, 1)));
    else
        laPatch->setText(QStringLiteral("%1: no significant fit (score %2, %3 σ of noise); no values.")
                             .arg(where, formatFixed(p.score, 4), formatFixed(p.significance, 1)));
}

} // namespace orvalis
