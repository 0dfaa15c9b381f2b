#include "mappane.h"

#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "chart/gridimage.h"
#include "core/axislabels.h"
#include "core/curvereadout.h"
#include "core/defocusmap.h"
#include "core/numberformat.h"
#include "session/ctfsession.h"
#include "ui/main/paneparts.h"
#include "ui/main/statuspanels.h"
#include "ui/widgets/shape.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orvalis {

MapPane::MapPane(ChartWidget *curveChart, QWidget *parent) : QWidget(parent), m_curveChart(curveChart)
{
    setObjectName(QStringLiteral("pa3dCTF"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_title = paneTitle("pa3DCTFHeader", QStringLiteral("Defocus Map"), 20);
    m_chart = new ChartWidget;
    m_chart->setObjectName(QStringLiteral("Chart2"));
    column->addWidget(m_title);
    column->addWidget(m_chart, 1);
    setUpDefocusMapChart(*m_chart, *curveChart);
    m_marker = new Shape(Shape::Rectangle, Qt::red, QColor(), m_chart);
    m_marker->setObjectName(QStringLiteral("Shape2"));
    m_marker->resize(10, 2);
    m_chart->setMinimumSize(220, 90);
    m_chart->chartAxis(ChartWidget::Axis::Left)->setLabel(QStringLiteral("Defocus, (nm)"));
    connect(m_chart, &ChartWidget::afterDraw, this, &MapPane::drawn);
}

MapPane::~MapPane()
{
    // The chart outlives this part of the pane while the base class deletes it.
    m_chart->removeEventFilter(this);
}

void MapPane::setImageSide(int px)
{
    m_image = QImage(px, px, QImage::Format_RGB32);
    m_image.fill(Qt::black);
}

void MapPane::showMap(const DefocusMapGrid &grid, double kMin, double kMax)
{
    drawDefocusMapImage(m_image, grid);
    m_chart->setBackImage(m_image);
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right})
        m_chart->setAxisRange(side, grid.minimum, grid.maximum);
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        m_chart->setAxisRange(across, kMin, kMax);
    makeRoomForLabels();
}

void MapPane::makeRoomForLabels()
{
    // Put away by the user; a pane merely not shown yet is laid out for when it is.
    if (isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide)) {
        for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right})
            keepPlotEdges(*m_curveChart, side, 0);
        return;
    }
    // The widest label a defocus between the range's ends can have: as many digits as the larger end,
    // with a sign.
    const double minimum = m_chart->axisMinimum(ChartWidget::Axis::Left);
    const double maximum = m_chart->axisMaximum(ChartWidget::Axis::Left);
    const double largest = std::max(std::abs(minimum), std::abs(maximum));
    QStringList widest = {defocusAxisLabel(ChartWidget::defaultLabelText(minimum)),
                          defocusAxisLabel(ChartWidget::defaultLabelText(maximum)),
                          QStringLiteral("-") + ChartWidget::defaultLabelText(std::floor(largest))};
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        const QCPAxis *mapAxis = m_chart->chartAxis(side);
        const QFontMetrics labels(mapAxis->tickLabelFont());
        int need = 0;
        for (const QString &text : widest)
            need = std::max(need, labels.horizontalAdvance(text));
        need += mapAxis->tickLabelPadding() + mapAxis->tickLengthOut() + mapAxis->padding();
        if (!mapAxis->label().isEmpty())
            need += QFontMetrics(mapAxis->labelFont()).height() + mapAxis->labelPadding();
        keepPlotEdges(*m_curveChart, side, need);
    }
}

void MapPane::readOutTo(const CtfSession *session, StatusPanels *status)
{
    m_session = session;
    m_status = status;
    m_chart->setMouseTracking(true);
    m_chart->installEventFilter(this);
}

QStringList MapPane::readoutAt(QPoint at) const
{
    const QRect plot = m_chart->plotRect();
    if (!m_session || !plot.adjusted(0, 0, 1, 1).contains(at))
        return {};
    const ChartWidget::Axis bottom = ChartWidget::Axis::Bottom, left = ChartWidget::Axis::Left;
    const double k = std::clamp(m_chart->chartAxis(bottom)->pixelToCoord(at.x()), m_chart->axisMinimum(bottom),
                                m_chart->axisMaximum(bottom));
    // The side axes run over slider positions, which are negated defoci.
    const double position = std::clamp(m_chart->chartAxis(left)->pixelToCoord(at.y()), m_chart->axisMinimum(left),
                                       m_chart->axisMaximum(left));
    const double defocus = -position;
    return {pointerFrequencyText(k), pointerMapText(defocus, referenceMapCtf(m_session->state(), k, defocus))};
}

void MapPane::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (auto *splitter = qobject_cast<QSplitter *>(parentWidget()); splitter && !m_watchingSplitter) {
        m_watchingSplitter = true;
        splitter->installEventFilter(this);
    }
}

void MapPane::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (isHidden()) { // put away, not merely inside a window that is hidden
        makeRoomForLabels();
        m_curveChart->replot(QCustomPlot::rpQueuedReplot);
    }
}

void MapPane::shareHeight(int oldHeight, int newHeight)
{
    auto *splitter = qobject_cast<QSplitter *>(parentWidget());
    if (!splitter || isHidden() || splitter->count() != 2 || splitter->indexOf(this) != 1)
        return;
    constexpr int large = 100; // px: a window made larger by hand by less keeps the map as it is
    int target = -1;
    if (m_normalHeight == 0 && newHeight - oldHeight >= large) {
        m_normalHeight = height();
        m_normalSplitter = oldHeight;
    } else if (m_normalHeight > 0 && newHeight < m_normalSplitter + large / 2) {
        target = m_normalHeight;
        m_normalHeight = 0;
    }
    if (m_normalHeight > 0)
        target = roundToInt(static_cast<double>(m_normalHeight) * newHeight / m_normalSplitter);
    const QList<int> sizes = splitter->sizes();
    if (target < 0 || sizes.size() != 2 || target == sizes[1])
        return;
    const int total = sizes[0] + sizes[1];
    target = std::clamp(target, minimumSizeHint().height(), total - m_curveChart->minimumHeight());
    splitter->setSizes({total - target, target});
}

bool MapPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        const auto *resize = static_cast<QResizeEvent *>(event);
        const int from = resize->oldSize().height(), to = resize->size().height();
        if (from > 0 && from != to)
            QMetaObject::invokeMethod(
                this, [this, from, to] { shareHeight(from, to); }, Qt::QueuedConnection);
    }
    if (watched == m_chart && m_status) {
        if (event->type() == QEvent::MouseMove) {
            const QStringList texts = readoutAt(static_cast<QMouseEvent *>(event)->position().toPoint());
            if (texts.size() == 2)
                m_status->showPointer(texts[0], texts[1]);
            else
                m_status->clearPointer();
        } else if (event->type() == QEvent::Leave) {
            m_status->clearPointer();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MapPane::setPlotEdges(int left, int right)
{
    m_chart->setPlotLeftRight(left, right);
}

void MapPane::spanMarker()
{
    const QRect plot = m_chart->plotRect();
    m_marker->setGeometry(plot.left(), m_marker->y(), plot.right() - plot.left() + 2, 2);
}

void MapPane::placeMarker(double defocus, int minimum, int maximum)
{
    const QRect plot = m_chart->plotRect();
    // The slider never has an empty range, but a zero span must not divide here.
    const double span = maximum > minimum ? static_cast<double>(maximum) - minimum : 1.0;
    const int offset = roundToInt(-(minimum + defocus) * (plot.bottom() - plot.top() - 1) / span);
    m_marker->move(m_marker->x(), plot.top() + offset);
    m_marker->raise();
}

void MapPane::replotSoon()
{
    m_chart->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace orvalis
