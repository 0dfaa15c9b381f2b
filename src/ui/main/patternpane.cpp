#include "patternpane.h"

#include "chart/gridimage.h"
#include "core/curvereadout.h"
#include "core/numberformat.h"
#include "core/patterngeometry.h"
#include "ui/main/paneparts.h"
#include "ui/widgets/pixelimage.h"
#include "ui/widgets/shape.h"

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QSplitter>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace orvalis {
namespace {

QLabel *label(const char *name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

QWidget *named(QWidget *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

} // namespace

PatternPane::PatternPane(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pa2Dctf"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_title = paneTitle("pa2dCTFheader", QStringLiteral("2D CTF"), 21);
    column->addWidget(m_title);
    m_panel = named(new QWidget, "Panel7");
    m_panel->setMinimumHeight(268);
    // Panel7 takes the pane's height: an enlarged pattern has room there.
    column->addWidget(m_panel, 1);

    // Children of Panel7 are placed in pixels by layOut().
    m_frame = named(new QWidget(m_panel), "paImage1");
    m_image = new PixelImage(m_frame);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_patternTip = QStringLiteral(
        "Click to change the direction of 1D CTF plotted (only useful when astigmatism present)");
    m_image->setToolTip(m_patternTip);
    m_marker = new Shape(Shape::Circle, Qt::red, Qt::black, m_frame);
    m_marker->setObjectName(QStringLiteral("Shape1"));
    m_marker->setToolTip(QStringLiteral("Shows the direction of 1D CTF plotted"));
    m_marker->resize(6, 6);
    m_nyquist = new Shape(Shape::Rectangle, Qt::transparent, QColor(0xFF, 0x8C, 0x00), m_frame);
    m_nyquist->setObjectName(QStringLiteral("shNyquist"));
    m_nyquist->hide();
    m_ruler = named(new QWidget(m_panel), "pa2DRuler");
    // One point below the pane's font: small, yet readable at a glance at any density.
    QFont small = font();
    small.setPointSizeF(std::max(7.0, font().pointSizeF() - 1));
    const char *tickNames[] = {"shTick1", "shTick2", "shTick3"};
    for (int i = 0; i < 3; ++i) {
        m_ticks[i] = new Shape(Shape::Rectangle, Qt::black, QColor(), m_ruler);
        m_ticks[i]->setObjectName(QString::fromLatin1(tickNames[i]));
        m_ticks[i]->resize(1, 4);
    }
    m_tickLabels[0] = label("laTick1", QStringLiteral("-10"), m_ruler);
    m_tickLabels[1] = label("laTick2", QStringLiteral("0"), m_ruler);
    m_tickLabels[2] = label("laTick3", QStringLiteral("10"), m_ruler);
    for (QLabel *l : m_tickLabels)
        l->setFont(small);
    m_readout = label("Label11", QStringLiteral("Current k, (d):"), m_panel);
    m_progress = new QProgressBar(m_panel);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setFormat(QString()); // no text to compose at every step of a pass
    m_progress->resize(208, 8);

    m_image->installEventFilter(this); // the wheel and the pointer leaving, for the spectrum view
    connect(m_image, &PixelImage::mouseMoved, this, &PatternPane::pointerMoved);
    connect(m_image, &PixelImage::mouseReleased, this, &PatternPane::released);
}

void PatternPane::layOut(int side, double upTo)
{
    m_side = side;
    m_upTo = upTo;
    m_image->setZoom(1);
    m_image->setImageSize(side, side);
    // The least the pattern, its ruler and readout need; the user may drag the pane wider.
    setMinimumWidth(std::max(225, side + 2 * m_margin + 5));
    m_centre = roundToInt(side / 2.0);
    placeParts(1);
    fitReadout();
    m_partsBelow = m_progress->geometry().bottom() + m_margin - m_frame->geometry().bottom();
    placeParts(zoomFor(m_panel->size()));
}

void PatternPane::placeParts(int zoom)
{
    m_image->setZoom(zoom);
    const int shown = m_spectrumView ? m_image->image().width() : m_side * zoom;
    m_frame->setGeometry(m_margin, m_margin, shown, shown);
    m_ruler->setGeometry(m_frame->x() - 1, m_frame->height() + m_frame->y(), m_frame->width() + 2, 16);
    layOutRuler(m_spectrumView ? m_range : m_upTo);
    m_readout->setGeometry(m_frame->x(), m_ruler->geometry().bottom() + 2, std::max(shown + 10, m_readout->width()),
                           std::max(16, m_readout->height()));
    m_progress->setGeometry(m_frame->x(), m_readout->geometry().bottom() + 2, shown, 8);
    placeMarker(m_markerCorner);
    placeNyquist();
}

int PatternPane::roomBelowButtons() const
{
    // The micrograph's buttons and a wrapped line of their note.
    return 3 * fontMetrics().height() + 12;
}

int PatternPane::spectrumSideFor(QSize room) const
{
    // The ruler's end label reaches half its width beyond the picture's edge.
    const int across = room.width() - 2 * m_margin - 5 - fontMetrics().horizontalAdvance(QStringLiteral("99.99")) / 2;
    const int down = room.height() - m_margin - m_partsBelow - roomBelowButtons();
    return std::max(std::max(64, m_side) / 2, std::min(across, down) / 2) * 2;
}

bool PatternPane::placeSpectrum(QSize room)
{
    const int side = spectrumSideFor(room);
    if (side == m_image->image().width() && m_image->zoom() == 1)
        return false;
    const int oldCentre = m_centre;
    m_image->setZoom(1);
    m_image->setImageSize(side, side);
    m_centre = side / 2;
    // The marker keeps its direction on the new picture's ring.
    const double half = m_marker->width() / 2.0;
    const double angle = std::atan2(m_markerCorner.y() + half - oldCentre, m_markerCorner.x() + half - oldCentre);
    m_markerCorner = directionMarkerCorner(angle, directionRingRadius(m_centre), m_centre, m_marker->width());
    placeParts(1);
    return true;
}

void PatternPane::setSpectrumView(bool on)
{
    if (on == m_spectrumView)
        return;
    m_spectrumView = on;
    // A click on the spectrum gives the pane the keys of its zoom and contrast.
    m_image->setFocusPolicy(on ? Qt::ClickFocus : Qt::NoFocus);
    m_image->setToolTip(on ? QStringLiteral("The micrograph's spectrum and the model, divided along the 1D profile's "
                                            "direction: click to turn it; the wheel zooms")
                           : m_patternTip);
    if (on) {
        m_patternTitle = m_title->text();
        m_title->setText(QStringLiteral("Spectrum and Model"));
    } else {
        m_title->setText(m_patternTitle);
    }
    const QSize room(width(), height() - (m_title->isVisible() ? m_title->height() : 0));
    if (on) {
        m_patternMarker = m_markerCorner;
        m_markerMovedInView = false;
        m_widthBeforeView = width();
        placeSpectrum(room);
        // The view takes the pane's share of the splitter that its height can use.
        m_splitterSize = QSize();
        claimWidth();
        return;
    }
    const int oldCentre = m_centre;
    m_image->setImageSize(m_side, m_side);
    m_centre = roundToInt(m_side / 2.0);
    const double half = m_marker->width() / 2.0;
    const double angle = std::atan2(m_markerCorner.y() + half - oldCentre, m_markerCorner.x() + half - oldCentre);
    m_markerCorner = m_markerMovedInView
        ? directionMarkerCorner(angle, directionRingRadius(m_centre), m_centre, m_marker->width())
        : m_patternMarker;
    // Back to the width the pane had, as the pattern had it.
    auto *splitter = qobject_cast<QSplitter *>(parentWidget());
    if (splitter && splitter->count() == 2 && splitter->indexOf(this) == 0 && m_widthBeforeView > 0) {
        const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
        splitter->setSizes({m_widthBeforeView, total - m_widthBeforeView});
        m_splitterSize = splitter->size();
    }
    placeParts(zoomFor(QSize(m_widthBeforeView > 0 ? m_widthBeforeView : room.width(), room.height())));
}

void PatternPane::setViewRange(double range)
{
    m_range = range;
    layOutRuler(range);
}

void PatternPane::showReadoutText(const QString &text)
{
    m_readout->setText(text);
    const int wanted = m_readout->fontMetrics().horizontalAdvance(text) + 8;
    if (wanted > m_readout->width())
        m_readout->resize(std::min(wanted, std::max(m_readout->width(), m_panel->width() - m_readout->x())),
                          m_readout->height());
}

int PatternPane::zoomFor(QSize room) const
{
    if (m_side <= 0)
        return 1;
    const int across = (room.width() - 2 * m_margin - 5) / m_side;
    const int down = (room.height() - m_margin - m_partsBelow) / m_side;
    return std::max(1, std::min(across, down));
}

int PatternPane::widthFor(int zoom) const
{
    return std::max(minimumWidth(), m_side * zoom + 2 * m_margin + 5);
}

int PatternPane::zoom() const
{
    return m_image->zoom();
}

// The readout is shown whole in the pane's font at this screen's density: the pane grows to the
// widest text it can show, never shrinks below its defined size.
void PatternPane::fitReadout()
{
    int widest = 0;
    for (const QString &text : {patternReadoutText(0), patternReadoutText(141.4)})
        widest = std::max(widest, m_readout->fontMetrics().horizontalAdvance(text));
    widest += 8; // frame and a little air
    m_readout->resize(std::max(m_readout->width(), widest),
                      std::max(m_readout->height(), m_readout->fontMetrics().height()));
    m_progress->move(m_progress->x(), m_readout->geometry().bottom() + 2);
    setMinimumWidth(std::max(minimumWidth(), m_readout->geometry().right() + m_margin));
    m_panel->setMinimumHeight(std::max(268, m_progress->geometry().bottom() + m_margin));
}

void PatternPane::layOutRuler(double upTo)
{
    const RulerPlaces places = patternRulerPlaces(m_frame->x() - m_ruler->x(), m_frame->width());
    for (int i = 0; i < 3; ++i)
        m_ticks[i]->move(places.tick[i], 0);
    // The spectrum view's edge is the micrograph's Nyquist frequency over the zoom: not a round number.
    const QString end = m_spectrumView ? formatRounded(upTo, 2) : formatGeneral(upTo);
    m_tickLabels[0]->setText(QStringLiteral("-") + end);
    m_tickLabels[1]->setText(QStringLiteral("0"));
    m_tickLabels[2]->setText(end);
    for (QLabel *l : m_tickLabels)
        l->adjustSize();
    for (int i = 0; i < 3; ++i)
        m_tickLabels[i]->move(places.label[i], 5);
    // The ruler panel grows, if need be, to hold its labels whole in the pane's font.
    const QRect last = m_tickLabels[2]->geometry();
    m_ruler->resize(std::max(m_ruler->width(), last.right() + 1), std::max(m_ruler->height(), last.bottom() + 1));
}

void PatternPane::showNyquist(double k)
{
    m_nyquistK = k;
    placeNyquist();
}

// Pixel (N, N) is k = 0 and one pixel is range / (N - 1): the square's edges lie k (N - 1) / range
// pixels from the centre. When Nyquist lies beyond the picture's range the whole picture is below
// it and no square is drawn: a square cut by the picture's edges would show only some of its sides.
void PatternPane::placeNyquist()
{
    if (!(m_nyquistK > 0) || !(m_range > 0) || m_centre < 2) {
        m_nyquist->hide();
        return;
    }
    const double half = m_nyquistK * (m_centre - 1) / m_range;
    if (!(half < m_centre) || m_centre + roundToInt(half) >= m_image->image().width()) {
        m_nyquist->hide();
        return;
    }
    const int h = roundToInt(half);
    // In the picture's pixels; an enlarged picture shows each as a block.
    const int zoom = m_image->zoom();
    m_nyquist->setGeometry((m_centre - h) * zoom, (m_centre - h) * zoom, (2 * h + 1) * zoom, (2 * h + 1) * zoom);
    m_nyquist->show();
    m_nyquist->raise();
    m_marker->raise();
}

PatternProgress PatternPane::beginPass(double upTo, int step, int columns)
{
    m_range = upTo;
    placeNyquist();
    const bool full = step == 1;
    m_progress->setEnabled(full);
    if (full) {
        m_progress->setValue(0);
        m_progress->setMaximum(columns);
    }
    m_progress->setVisible(full);

    // The bar climbs with the columns, but a pass is far shorter than a frame: repainting it at each
    // step would cost more than the pass itself, so it is repainted only once a pass has run for a
    // while. It takes a value only then and at the ends of each half: a value nobody sees still
    // costs its change signal and accessibility event, a tenth of a whole slider step.
    m_sinceRepaint.start();
    m_progress->setUpdatesEnabled(false);
    if (!full)
        return {};
    return [this, columns](int column) {
        // The clock is read every eighth column: a column takes microseconds, a repaint is due
        // after 40 ms.
        const bool due = column % 8 == 0 && m_sinceRepaint.elapsed() >= 40;
        if (due || column == 0 || column == columns)
            m_progress->setValue(column);
        if (due) {
            m_progress->setUpdatesEnabled(true);
            m_progress->repaint();
            m_progress->setUpdatesEnabled(false);
            m_sinceRepaint.restart();
        }
    };
}

void PatternPane::showPattern(const PatternHalves &halves)
{
    m_progress->setUpdatesEnabled(true);
    drawPatternImage(m_image->image(), halves);
    m_progress->setValue(0);
    m_progress->hide();
    m_image->update();
}

void PatternPane::placeMarker(QPoint corner)
{
    if (m_spectrumView && corner != m_markerCorner)
        m_markerMovedInView = true;
    m_markerCorner = corner;
    // The corner is the picture's; the marker keeps its size and centres on the enlarged point.
    const int zoom = m_image->zoom();
    const double half = m_marker->width() / 2.0;
    m_marker->move(roundToInt((corner.x() + half) * zoom - half), roundToInt((corner.y() + half) * zoom - half));
    m_marker->raise();
}

int PatternPane::markerWidth() const
{
    return m_marker->width();
}

void PatternPane::showReadout(double k)
{
    m_readout->setText(patternReadoutText(k));
}

void PatternPane::hideProgress()
{
    m_progress->hide();
}

void PatternPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Panel7's size follows once the layout has run; the pane's own size tells what it will be.
    const QSize room(width(), height() - (m_title->isVisible() ? m_title->height() : 0));
    if (m_spectrumView) {
        if (placeSpectrum(room))
            emit spectrumResized(m_image->image().width());
    } else if (const int zoom = zoomFor(room); m_side > 0 && zoom != m_image->zoom()) {
        placeParts(zoom);
    }
    if (isVisible())
        emit widthShown(width());
}

void PatternPane::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (auto *splitter = qobject_cast<QSplitter *>(parentWidget()); splitter && m_splitterSize.isEmpty()) {
        m_splitterSize = splitter->size();
        splitter->installEventFilter(this);
    }
    if (isVisible())
        emit widthShown(width());
}

bool PatternPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        QMetaObject::invokeMethod(this, &PatternPane::claimWidth, Qt::QueuedConnection);
    if (watched == m_image && m_spectrumView && event->type() == QEvent::Wheel) {
        const int notches = static_cast<QWheelEvent *>(event)->angleDelta().y() / 120;
        if (notches != 0)
            emit wheelTurned(notches);
        return true;
    }
    if (watched == m_image && event->type() == QEvent::Leave)
        emit pointerLeft();
    return QWidget::eventFilter(watched, event);
}

// When the window grows or shrinks, the pane takes the width that shows the pattern as large as its
// height allows, leaving the charts at least half of the splitter; a width the user drags stays until
// the window's size changes again.
void PatternPane::claimWidth()
{
    auto *splitter = qobject_cast<QSplitter *>(parentWidget());
    if (!splitter || !isVisible() || splitter->count() != 2 || splitter->indexOf(this) != 0
        || splitter->size() == m_splitterSize)
        return;
    m_splitterSize = splitter->size();
    const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
    const QSize room(total / 2, height() - (m_title->isVisible() ? m_title->height() : 0));
    if (m_spectrumView) {
        // As wide as the view's height can use, up to half of the splitter; the user's drag then
        // stands until the window's size changes.
        const int side = spectrumSideFor(QSize(total, room.height()));
        const int wanted = std::clamp(side + 2 * m_margin + 5
                                          + fontMetrics().horizontalAdvance(QStringLiteral("99.99")) / 2,
                                      minimumWidth(), std::max(minimumWidth(), total / 2));
        if (wanted != width())
            splitter->setSizes({wanted, total - wanted});
        return;
    }
    const int best = zoomFor(room);
    const bool claimed = m_claimedWidth > 0 && width() == m_claimedWidth;
    int wanted = width();
    if (best > 1 && (claimed || zoomFor(QSize(width(), room.height())) < best)) {
        if (!claimed)
            m_widthBeforeClaim = width();
        wanted = std::min(widthFor(best), std::max(minimumWidth(), total / 2));
        m_claimedWidth = wanted;
    } else if (best == 1 && claimed) {
        wanted = m_widthBeforeClaim; // back to the user's width
        m_claimedWidth = 0;
    }
    if (wanted == width())
        return;
    splitter->setSizes({wanted, total - wanted});
}

} // namespace orvalis
