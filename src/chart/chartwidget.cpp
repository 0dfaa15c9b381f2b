#include "chart/chartwidget.h"

#include "chart/chartbackimage.h"
#include "chart/chartgrid.h"
#include "chart/chartpaintbuffer.h"
#include "chart/chartseries.h"
#include "chart/chartticker.h"

#include <QFontMetrics>
#include <QPaintEvent>

#include <algorithm>
#include <cstring>
#include <vector>

namespace orvalis {

namespace {

// The charts that exist, for a replot to see which others have one queued (GUI thread only).
std::vector<ChartWidget *> &allCharts()
{
    static std::vector<ChartWidget *> charts;
    return charts;
}

constexpr int kAxisCount = 4;
constexpr ChartWidget::Axis kAxes[kAxisCount] = {ChartWidget::Axis::Left, ChartWidget::Axis::Right,
                                                 ChartWidget::Axis::Top, ChartWidget::Axis::Bottom};

std::size_t slot(ChartWidget::Axis axis)
{
    return static_cast<std::size_t>(axis);
}

const QString kBackImageLayer = QStringLiteral("backimage");

// Free pixels between the labels of a side axis and those of the top or bottom axis at a corner.
constexpr int kCornerGap = 2;

// Label padding of the top and bottom axes when the corners need no more (QCustomPlot's own).
constexpr int kBasePadding = 5;

// QCustomPlot keeps the pictures of at most 16 tick labels per axis. A chart as wide or as high as a
// maximised window labels more (every 0.1 from -1.1 to 1.1 is 23), and a cache smaller than the labels
// drawn in turn misses every one of them: each replot would lay out and draw every label's text anew.
constexpr int kLabelCacheSize = 128;

// The members are QCustomPlot's own, protected; naming them through a derived class gives pointers
// to them that may be applied to any axis.
struct AxisPainterOf : QCPAxis {
    using QCPAxis::mAxisPainter;
};
struct LabelCacheOf : QCPAxisPainterPrivate {
    using QCPAxisPainterPrivate::mLabelCache;
};

void growLabelCache(QCPAxis *axis)
{
    QCPAxisPainterPrivate *painter = axis->*(&AxisPainterOf::mAxisPainter);
    if (painter)
        (painter->*(&LabelCacheOf::mLabelCache)).setMaxCost(kLabelCacheSize);
}

// A layout that changes the plot's length again after the ticks were chosen for it settles within
// this many passes (label widths change the margins once, rarely twice).
constexpr int kLayoutPasses = 3;

} // namespace

ChartWidget::ChartWidget(QWidget *parent) : QCustomPlot(parent)
{
    // Curves are antialiased (an aliased flank is twice as thick falling as rising); axes, ticks and
    // grid stay aliased, crisp on their pixel rows.
    setInteractions(QCP::Interactions());
    setNotAntialiasedElements(QCP::AntialiasedElements(QCP::aeAll) & ~QCP::AntialiasedElements(QCP::aePlottables));
    setPlottingHint(QCP::phFastPolylines, true);
    setPlottingHint(QCP::phCacheLabels, true);
    legend->setVisible(false);
    // Nor an invisible legend: each item's text would still be measured in every replot's layout.
    setAutoAddPlottableToLegend(false);

    // QCustomPlot gives its overlay layer (selection rectangles, which these charts never show) a
    // buffer of its own, which every replot clears and every paint blends over the chart: one buffer
    // serves all layers.
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    addLayer(kBackImageLayer, layer(QStringLiteral("grid")), limBelow);
    m_backImage = std::make_unique<ChartBackImage>(this, axisRect(), kBackImageLayer);

    for (Axis id : kAxes) {
        QCPAxis *axis = chartAxis(id);
        auto ticker = QSharedPointer<ChartTicker>::create(axis);
        ticker->setTextHook([this, id](QString &text) {
            if (m_labelCallback)
                m_labelCallback(id, text);
        });
        axis->setTicker(ticker);
        growLabelCache(axis);
        axis->setVisible(true);
        axis->setTickLabels(true);
        axis->setSubTicks(false);
        m_tickers[slot(id)] = ticker;
    }

    m_grid = std::make_unique<ChartGrid>(this, QStringLiteral("grid"), QStringLiteral("stockGrid"));

    // The one buffer all layers share; a second one, should a layer ever be buffered on its own, is
    // QCustomPlot's own.
    mPaintBuffers.clear();
    mPaintBuffers.append(QSharedPointer<QCPAbstractPaintBuffer>(
        new ChartPaintBuffer(viewport().size(), bufferDevicePixelRatio(), [this] { return coveredPlotRect(); })));

    connect(this, &QCustomPlot::beforeReplot, this, &ChartWidget::prepareLayout);
    connect(this, &QCustomPlot::beforeReplot, this, &ChartWidget::chooseRefresh);
    allCharts().push_back(this);
}

// The back image is a layerable the plot does not own; it must go while its layer still exists.
ChartWidget::~ChartWidget()
{
    std::vector<ChartWidget *> &charts = allCharts();
    charts.erase(std::remove(charts.begin(), charts.end(), this), charts.end());
}

// A replot repaints the window at once (QCustomPlot's immediate refresh), which paints every part of
// it that waits. When another chart of the same window has a replot queued as well, as a step that
// redraws both the curves and the map has, this one only marks its area: the other's repaint then
// paints both in one pass over the window, instead of one pass and one flush to the screen each.
// A replot asked to refresh at once still does.
void ChartWidget::chooseRefresh()
{
    const bool otherFollows = std::any_of(allCharts().begin(), allCharts().end(), [this](const ChartWidget *other) {
        return other != this && other->mReplotQueued && other->isVisible() && other->window() == window();
    });
    setPlottingHint(QCP::phImmediateRefresh, !otherFollows);
}

QString ChartWidget::defaultLabelText(double value, int decimals)
{
    return ChartTicker::defaultText(value, decimals);
}

// --- axes ----------------------------------------------------------------------------------------

QCPAxis *ChartWidget::chartAxis(Axis axis) const
{
    switch (axis) {
    case Axis::Left: return yAxis;
    case Axis::Right: return yAxis2;
    case Axis::Top: return xAxis2;
    case Axis::Bottom: break;
    }
    return xAxis;
}

ChartTicker &ChartWidget::ticker(Axis axis) const
{
    return *m_tickers[slot(axis)];
}

void ChartWidget::setAxisVisible(Axis axis, bool visible)
{
    chartAxis(axis)->setVisible(visible);
}

bool ChartWidget::isAxisVisible(Axis axis) const
{
    return chartAxis(axis)->visible();
}

void ChartWidget::setAxisAutomatic(Axis axis, bool automatic)
{
    m_automatic[slot(axis)] = automatic;
}

bool ChartWidget::isAxisAutomatic(Axis axis) const
{
    return m_automatic[slot(axis)];
}

void ChartWidget::setAxisRange(Axis axis, double minimum, double maximum)
{
    m_automatic[slot(axis)] = false;
    chartAxis(axis)->setRange(minimum, maximum);
}

double ChartWidget::axisMinimum(Axis axis) const
{
    return chartAxis(axis)->range().lower;
}

double ChartWidget::axisMaximum(Axis axis) const
{
    return chartAxis(axis)->range().upper;
}

void ChartWidget::setAxisInverted(Axis axis, bool inverted)
{
    chartAxis(axis)->setRangeReversed(inverted);
}

bool ChartWidget::isAxisInverted(Axis axis) const
{
    return chartAxis(axis)->rangeReversed();
}

void ChartWidget::setAxisIncrement(Axis axis, double increment)
{
    ticker(axis).setIncrement(increment);
}

double ChartWidget::axisIncrement(Axis axis) const
{
    return ticker(axis).increment();
}

void ChartWidget::setLabelDecimals(Axis axis, int decimals)
{
    ticker(axis).setDecimals(decimals);
}

int ChartWidget::labelDecimals(Axis axis) const
{
    return ticker(axis).decimals();
}

void ChartWidget::setLabelSeparation(Axis axis, int percent)
{
    ticker(axis).setSeparation(percent);
}

int ChartWidget::labelSeparation(Axis axis) const
{
    return ticker(axis).separation();
}

void ChartWidget::setLabelFontSize(Axis axis, int pointSize)
{
    QFont font = chartAxis(axis)->tickLabelFont();
    font.setPointSize(pointSize);
    chartAxis(axis)->setTickLabelFont(font);
}

int ChartWidget::labelFontSize(Axis axis) const
{
    return chartAxis(axis)->tickLabelFont().pointSize();
}

void ChartWidget::shareTicks(Axis axis, ChartWidget *other)
{
    if (!other || other == this)
        return;
    m_tickers[slot(axis)]->shareWith(other->m_tickers[slot(axis)]);
    other->m_tickers[slot(axis)]->shareWith(m_tickers[slot(axis)]);
}

void ChartWidget::setLabelCallback(LabelCallback callback)
{
    m_labelCallback = std::move(callback);
    refreshLabels();
}

void ChartWidget::refreshLabels()
{
    for (const auto &t : m_tickers)
        t->invalidate();
}

QVector<double> ChartWidget::tickValues(Axis axis) const
{
    return chartAxis(axis)->tickVector();
}

QVector<QString> ChartWidget::tickLabels(Axis axis) const
{
    return chartAxis(axis)->tickVectorLabels();
}

// --- series --------------------------------------------------------------------------------------

int ChartWidget::addSeries(const QString &objectName, const QString &title, const QColor &color, Axis keyAxis,
                           Axis valueAxis)
{
    auto *graph = new ChartSeries(chartAxis(keyAxis), chartAxis(valueAxis)); // the plot takes it
    graph->setObjectName(objectName);
    graph->setName(title);
    graph->setPen(QPen(color, 1));
    graph->setLineStyle(QCPGraph::lsLine);
    graph->setAntialiased(true);
    graph->setAdaptiveSampling(true);
    return graphCount() - 1;
}

int ChartWidget::seriesCount() const
{
    return graphCount();
}

QCPGraph *ChartWidget::series(int index) const
{
    return index >= 0 && index < graphCount() ? graph(index) : nullptr;
}

int ChartWidget::seriesIndex(const QString &objectName) const
{
    for (int i = 0; i < graphCount(); ++i)
        if (graph(i)->objectName() == objectName)
            return i;
    return -1;
}

void ChartWidget::clearSeries(int index)
{
    if (QCPGraph *g = series(index)) {
        g->data()->clear();
        pointsChanged(g);
    }
}

void ChartWidget::appendPoint(int index, double x, double y)
{
    // A point beyond the last one is appended in place; the container sorts only otherwise.
    if (QCPGraph *g = series(index)) {
        g->addData(x, y);
        pointsChanged(g);
    }
}

void ChartWidget::appendPoints(int index, const QVector<double> &x, const QVector<double> &y)
{
    if (QCPGraph *g = series(index)) {
        g->addData(x, y, true);
        pointsChanged(g);
    }
}

void ChartWidget::pointsChanged(QCPGraph *g)
{
    if (auto *line = qobject_cast<ChartSeries *>(g))
        line->pointsChanged();
}

void ChartWidget::setPoints(int index, const QVector<double> &x, const QVector<double> &y)
{
    QCPGraph *g = series(index);
    if (!g)
        return;
    const int count = std::min(x.size(), y.size());
    QCPGraphDataContainer &held = *g->data();
    if (held.size() != count) {
        QVector<QCPGraphData> points(count);
        for (int i = 0; i < count; ++i)
            points[i] = QCPGraphData(x[i], y[i]);
        held.set(points, true);
        pointsChanged(g);
        return;
    }
    // The same points, bit for bit (a curve the step did not touch), leave the series as drawn.
    const auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    int first = 0;
    for (auto point = held.constBegin(); first < count && same(point->key, x[first]) && same(point->value, y[first]);
         ++point)
        ++first;
    if (first == count)
        return;
    pointsChanged(g);
    auto point = held.begin() + first;
    for (int i = first; i < count; ++i, ++point) {
        point->key = x[i];
        point->value = y[i];
    }
}

void ChartWidget::setSeriesVisible(int index, bool visible)
{
    if (QCPGraph *g = series(index))
        g->setVisible(visible);
}

bool ChartWidget::isSeriesVisible(int index) const
{
    const QCPGraph *g = series(index);
    return g && g->visible();
}

int ChartWidget::pointCount(int index) const
{
    const QCPGraph *g = series(index);
    return g ? g->data()->size() : 0;
}

double ChartWidget::xValue(int index, int point) const
{
    const QCPGraph *g = series(index);
    return g && point >= 0 && point < g->data()->size() ? g->data()->at(point)->key : 0.0;
}

double ChartWidget::yValue(int index, int point) const
{
    const QCPGraph *g = series(index);
    return g && point >= 0 && point < g->data()->size() ? g->data()->at(point)->value : 0.0;
}

QString ChartWidget::seriesTitle(int index) const
{
    const QCPGraph *g = series(index);
    return g ? g->name() : QString();
}

void ChartWidget::setSeriesColor(int index, const QColor &color)
{
    if (QCPGraph *g = series(index)) {
        QPen pen = g->pen();
        pen.setColor(color);
        g->setPen(pen);
    }
}

QColor ChartWidget::seriesColor(int index) const
{
    const QCPGraph *g = series(index);
    return g ? g->pen().color() : QColor();
}

// --- colours and back image ------------------------------------------------------------------------

void ChartWidget::setBackColor(const QColor &color)
{
    axisRect()->setBackground(QBrush(color));
}

QColor ChartWidget::backColor() const
{
    return axisRect()->backgroundBrush().color();
}

void ChartWidget::setPanelColor(const QColor &color)
{
    setBackground(QBrush(color));
}

QColor ChartWidget::panelColor() const
{
    return mBackgroundBrush.color();
}

void ChartWidget::setBackImage(const QImage &image)
{
    m_backImage->setImage(image);
}

QImage ChartWidget::backImage() const
{
    return m_backImage->image();
}

// --- plotting rectangle ----------------------------------------------------------------------------

QRect ChartWidget::plotRect() const
{
    return axisRect()->rect();
}

void ChartWidget::setPlotLeftRight(int left, int right)
{
    layOut(); // the outer rectangle must be the current one
    QCPAxisRect *rect = axisRect();
    const QRect outer = rect->outerRect();
    QMargins margins = rect->margins();
    margins.setLeft(std::max(left - outer.left(), 0));
    margins.setRight(std::max(outer.right() - right, 0));
    rect->setAutoMargins(QCP::msTop | QCP::msBottom);
    rect->setMargins(margins);
    m_leftRightFixed = true;
    layOut();
}

void ChartWidget::releasePlotLeftRight()
{
    axisRect()->setAutoMargins(QCP::msAll);
    m_leftRightFixed = false;
    layOut();
}

// --- drawing ---------------------------------------------------------------------------------------

void ChartWidget::syncViewport()
{
    // A widget that was resized but never shown has had no resize event, so QCustomPlot still holds
    // the size it was created with.
    if (viewport() != rect())
        setViewport(rect());
}

void ChartWidget::redraw()
{
    syncViewport();
    replot(rpImmediateRefresh);
}

void ChartWidget::layOut()
{
    syncViewport();
    prepareLayout();
    updateLayout();
}

void ChartWidget::fitAutomaticAxes()
{
    for (Axis id : kAxes)
        if (m_automatic[slot(id)])
            chartAxis(id)->rescale(true);
}

bool ChartWidget::ticksStale() const
{
    for (const auto &t : m_tickers)
        if (t->lastLength() >= 0 && t->lastLength() != t->currentLength())
            return true;
    return false;
}

// A side axis' end label stands up to half its height beyond the plotting area, where the labels of
// the top and bottom axes begin: those keep that far away.
void ChartWidget::keepCornerLabelsApart()
{
    int reach = 0;
    for (Axis side : {Axis::Left, Axis::Right}) {
        const QCPAxis *axis = chartAxis(side);
        if (axis->visible() && axis->tickLabels())
            reach = std::max(reach, (QFontMetrics(axis->tickLabelFont()).height() + 1) / 2);
    }
    for (Axis across : {Axis::Top, Axis::Bottom}) {
        QCPAxis *axis = chartAxis(across);
        const int marks = std::max(0, std::max(axis->tickLengthOut(), axis->subTickLengthOut()));
        const int padding = std::max(kBasePadding, reach + kCornerGap - marks);
        if (axis->tickLabelPadding() != padding)
            axis->setTickLabelPadding(padding);
    }
}

// Ticks are chosen at the start of a layout, for the plot length the layout starts from; a layout
// that changes the length (first layout, resize, other label widths) would leave labels thinned for
// the wrong length. Lay out until the length holds, so the real layout chooses for the length it draws.
void ChartWidget::prepareLayout()
{
    fitAutomaticAxes();
    keepCornerLabelsApart();
    for (int pass = 0; pass < kLayoutPasses && (!m_laidOut || m_laidOutSize != viewport().size() || ticksStale());
         ++pass) {
        updateLayout();
        m_laidOut = true;
        m_laidOutSize = viewport().size();
    }
}

// The plotting area under an opaque back colour: the background layer, drawn first in every replot,
// fills it with that colour before anything else is drawn there.
QRect ChartWidget::coveredPlotRect() const
{
    QCPAxisRect *rect = axisRect();
    const QBrush &brush = rect->backgroundBrush();
    if (mPaintBuffers.size() != 1 || !rect->realVisibility() || brush.style() != Qt::SolidPattern
        || brush.color().alpha() != 255)
        return QRect();
    // A layer draws clipped to the viewport raised by one row, as QCustomPlot clips every layerable.
    return rect->rect() & viewport().translated(0, -1);
}

// QCustomPlot paints the panel colour over the whole chart and blends the buffer over it; where the
// buffer is opaque the colour is hidden again, so it is painted only around that area. (Copying the
// opaque area instead of blending it would be cheaper still, but the raster engine then converts
// the buffer to the screen's format on worker threads and the paint waits for them.)
void ChartWidget::paintEvent(QPaintEvent *event)
{
    const auto *buffer = mPaintBuffers.size() == 1
        ? dynamic_cast<const ChartPaintBuffer *>(mPaintBuffers.first().data())
        : nullptr;
    if (!buffer || buffer->opaqueRect().isEmpty() || !mBackgroundPixmap.isNull() || devicePixelRatioF() != 1.0) {
        QCustomPlot::paintEvent(event);
        emit afterDraw();
        return;
    }
    {
        QCPPainter painter(this);
        if (painter.isActive()) {
            const QRegion opaque(buffer->opaqueRect());
            if (mBackgroundBrush.style() != Qt::NoBrush)
                for (const QRect &r : QRegion(mViewport) - opaque)
                    painter.fillRect(r, mBackgroundBrush);
            buffer->draw(&painter);
        }
    }
    emit afterDraw();
}

} // namespace orvalis
