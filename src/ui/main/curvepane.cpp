#include "curvepane.h"

#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "core/curvereadout.h"
#include "session/ctfsession.h"
#include "ui/main/paneparts.h"

#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace orvalis {

CurvePane::CurvePane(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("paChart1"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_title = paneTitle("pa1dCTFHeader", QStringLiteral("1D CTF"), 20);
    m_chart = new ChartWidget;
    m_chart->setObjectName(QStringLiteral("Chart1"));
    setUpCurveChart(*m_chart);
    column->addWidget(m_title);
    column->addWidget(m_chart, 1);

    // A chart squeezed below a few label heights has no room left to label its axes.
    m_chart->setMinimumSize(220, 150);

    m_chart->setMouseTracking(true);
    connect(m_chart, &QCustomPlot::mouseMove, this, [this](QMouseEvent *event) {
        const QPoint at = event->position().toPoint();
        emit pointerMoved(at.x(), at.y());
    });
    connect(m_chart, &ChartWidget::afterDraw, this, &CurvePane::drawn);
    connect(m_chart, &QCustomPlot::legendClick, this, [this](QCPLegend *, QCPAbstractLegendItem *item, QMouseEvent *) {
        for (const MicrographCurveLook &c : micrographCurves)
            if (item && item->objectName() == QLatin1String(c.objectName))
                emit micrographCurveClicked(c.curve);
    });
    m_chart->installEventFilter(this); // the pointer leaving
}

CurvePane::~CurvePane()
{
    // The chart outlives this part of the pane while the base class deletes it.
    m_chart->removeEventFilter(this);
}

void CurvePane::setFrequencyEnd(double upTo, bool bothAxes)
{
    if (!bothAxes) {
        m_chart->setAxisRange(ChartWidget::Axis::Bottom, 0, upTo);
        return;
    }
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        m_chart->setAxisRange(across, m_chart->axisMinimum(across), upTo);
}

void CurvePane::showSeries(Chart1Series series, const QVector<double> &x, const QVector<double> &y)
{
    m_chart->setPoints(series, x, y);
}

void CurvePane::setSeriesVisible(Chart1Series series, bool visible)
{
    m_chart->setSeriesVisible(series, visible);
}

void CurvePane::clearSeries(Chart1Series series)
{
    m_chart->clearSeries(series);
}

void CurvePane::clearAll()
{
    for (int i = 0; i < m_chart->seriesCount(); ++i)
        m_chart->clearSeries(i);
}

bool CurvePane::hasPoints(Chart1Series series) const
{
    return m_chart->pointCount(series) > 0;
}

std::optional<double> CurvePane::frequencyAt(int x) const
{
    const QRect plot = m_chart->plotRect();
    if (x < plot.left() || x > plot.right() + 1)
        return std::nullopt;
    const ChartWidget::Axis bottom = ChartWidget::Axis::Bottom;
    return std::clamp(m_chart->chartAxis(bottom)->pixelToCoord(x), m_chart->axisMinimum(bottom),
                      m_chart->axisMaximum(bottom));
}

void CurvePane::replotSoon()
{
    m_chart->replot(QCustomPlot::rpQueuedReplot);
}

bool CurvePane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_chart && event->type() == QEvent::Leave)
        emit pointerLeft();
    return QWidget::eventFilter(watched, event);
}

void CurvePane::setPlotterMode(bool on)
{
    m_plotter = on;
    applyLook();
}

void CurvePane::setMonochrome(bool on)
{
    m_monochrome = on;
    applyLook();
}

void CurvePane::followSession(const CtfSession *session)
{
    m_session = session;
    connect(session, &CtfSession::changed, this, [this](CtfSession::Changes what) {
        using C = CtfSession::Change;
        if (what & C::View) {
            fitValueAxes();
            if (m_session->viewChoices().monochrome != m_monochrome)
                setMonochrome(!m_monochrome);
        }
        if (what & (C::Aberrations | C::Direction | C::Instrument))
            nameDirection();
        if ((what & C::Instrument) && m_plotter) {
            showLegend();
            replotSoon();
        }
    });
}

void CurvePane::fitValueAxes()
{
    fitCurveValueAxes(*m_chart, m_session && !m_plotter && m_session->viewChoices().intensity);
}

// Without astigmatism every direction gives the same curve; with it, the user is told which one is
// drawn, counter-clockwise from the pattern's right as it is seen.
void CurvePane::nameDirection()
{
    const QString direction = m_session && !m_plotter ? profileDirectionText(m_session->state()) : QString();
    const QString text = direction.isEmpty() ? QStringLiteral("1D CTF") : QStringLiteral("1D CTF ") + direction;
    if (m_title->text() != text)
        m_title->setText(text);
    // The pane's title may be hidden: the chart names the direction too.
    if (showDirectionNote(*m_chart, direction))
        replotSoon();
}

CurveLook CurvePane::look() const
{
    CurveLook look;
    look.plotter = m_plotter;
    look.monochrome = m_monochrome;
    if (m_session) {
        look.intensity = m_session->viewChoices().intensity;
        look.firstInstrument = instrumentName(m_session->ScopeRecord1);
        look.secondInstrument = instrumentName(m_session->ScopeRecord2);
        if (!m_plotter)
            look.direction = profileDirectionText(m_session->state());
    }
    look.micrographCurves = m_micrographCurves;
    return look;
}

void CurvePane::applyLook()
{
    applyCurveLook(*m_chart, look());
    nameDirection();
    m_chart->redraw();
}

void CurvePane::listMicrographCurves(const QVector<QPair<MicrographCurve, bool>> &curves)
{
    if (curves == m_micrographCurves)
        return;
    m_micrographCurves = curves;
    showLegend();
    replotSoon();
}

void CurvePane::showLegend()
{
    showInstrumentLegend(*m_chart, look());
}

} // namespace orvalis
