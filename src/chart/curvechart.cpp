#include "chart/curvechart.h"

#include "chart/chart1series.h"

#include "core/axislabels.h"
#include "core/curvetable.h"

#include <QFontMetrics>

#include <algorithm>

namespace orvalis {
namespace {

// A legend entry of its own: a line sample in any pen and any text, so that the legend can name what
// the series' titles (the saved table's column titles) do not.
class LegendLine : public QCPAbstractLegendItem {
public:
    LegendLine(QCPLegend *legend, const QPen &pen, const QString &text, bool faded = false)
        : QCPAbstractLegendItem(legend), m_pen(pen), m_text(text), m_faded(faded)
    {
    }

protected:
    void draw(QCPPainter *painter) override
    {
        const QFont font = mParentLegend->font();
        const QSize icon = mParentLegend->iconSize();
        const int height = std::max(QFontMetrics(font).height(), icon.height());
        const QRect r = rect();
        painter->setFont(font);
        // A curve switched off stays listed, greyed, to be switched on again.
        painter->setPen(m_faded ? QColor(Qt::gray) : mParentLegend->textColor());
        const int textLeft = r.x() + icon.width() + mParentLegend->iconTextPadding();
        painter->drawText(QRect(textLeft, r.y(), r.right() - textLeft + 1, height), Qt::AlignLeft | Qt::AlignVCenter,
                          m_text);
        QPen pen = m_pen;
        if (m_faded)
            pen.setColor(QColor(Qt::gray));
        painter->setPen(pen);
        const double y = r.y() + height / 2.0;
        painter->drawLine(QLineF(r.x(), y, r.x() + icon.width(), y));
    }
    QSize minimumOuterSizeHint() const override
    {
        const QFontMetrics metrics(mParentLegend->font());
        const QSize icon = mParentLegend->iconSize();
        return QSize(icon.width() + mParentLegend->iconTextPadding() + metrics.horizontalAdvance(m_text)
                         + mMargins.left() + mMargins.right(),
                     std::max(metrics.height(), icon.height()) + mMargins.top() + mMargins.bottom());
    }

private:
    QPen m_pen;
    QString m_text;
    bool m_faded;
};

struct LegendEntry {
    QPen pen;
    QString text;
    bool faded = false;
    QString name; // the item's objectName
};

// The legend: in a row of its own above the plot while it has entries.
void showLegendEntries(ChartWidget &chart, const QVector<LegendEntry> &entries);

} // namespace

QColor curveChartBackColour()
{
    return QColor(0xC0, 0xDC, 0xC0);
}

QColor curveChartPanelColour()
{
    return QColor(0xC0, 0xC0, 0xC0);
}

void setUpFrequencyAxes(ChartWidget &chart)
{
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top}) {
        chart.setAxisRange(across, 0, 10);
        chart.setAxisIncrement(across, 0.1);
    }
}

bool labelFrequencyAxis(ChartWidget::Axis axis, QString &text)
{
    if (axis == ChartWidget::Axis::Top)
        text = distanceAxisLabel(text);
    else if (axis == ChartWidget::Axis::Bottom)
        text = frequencyAxisLabel(text);
    else
        return false;
    return true;
}

void setUpCurveChart(ChartWidget &chart)
{
    chart.setBackColor(curveChartBackColour());
    chart.setPanelColor(curveChartPanelColour());
    const QStringList &titles = curveSeriesTitles();
    for (const Chart1SeriesLook &s : chart1Series)
        chart.addSeries(QString::fromLatin1(s.name), titles[s.series], seriesColour(s.series));
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        chart.setAxisRange(side, -1.1, 1.1);
        // The defocus map below takes this chart's plot edges; leave room there for labels like "-1000".
        chart.chartAxis(side)->setPadding(12);
    }
    setUpFrequencyAxes(chart);
    chart.setLabelCallback([](ChartWidget::Axis axis, QString &text) { labelFrequencyAxis(axis, text); });
}

void setUpDefocusMapChart(ChartWidget &map, ChartWidget &curves)
{
    map.setBackColor(QColor::fromRgb(0xC0, 0xDC, 0xC0)); // 12639424 as a colour reference
    map.addSeries(QStringLiteral("Series9"), QStringLiteral("CTF"), Qt::black);
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right}) {
        map.setAxisRange(side, -50, 200);
        map.setAxisInverted(side, true);
        map.setLabelSeparation(side, 20);
    }
    setUpFrequencyAxes(map);
    // The map itself is the picture: no axis lines or grid over it.
    for (ChartWidget::Axis axis :
         {ChartWidget::Axis::Left, ChartWidget::Axis::Right, ChartWidget::Axis::Bottom, ChartWidget::Axis::Top}) {
        map.chartAxis(axis)->setBasePen(Qt::NoPen);
        map.chartAxis(axis)->grid()->setVisible(false);
        map.chartAxis(axis)->setTickLength(0, 4);
        map.chartAxis(axis)->setSubTickLength(0, 2);
    }
    map.setLabelSeparation(ChartWidget::Axis::Bottom, 20);
    map.setLabelSeparation(ChartWidget::Axis::Top, 40);
    map.setLabelCallback([](ChartWidget::Axis axis, QString &text) {
        if (!labelFrequencyAxis(axis, text))
            text = defocusAxisLabel(text);
    });
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top})
        curves.shareTicks(across, &map);
}

QString instrumentName(const TScopeData &scope)
{
    return (scope.Company + QLatin1Char(' ') + scope.Model).trimmed();
}

void applyCurveLook(ChartWidget &chart, const CurveLook &look)
{
    applyCurvePens(chart, look.plotter, look.monochrome);
    fitCurveValueAxes(chart, look.intensity && !look.plotter);
    showInstrumentLegend(chart, look);
    showDirectionNote(chart, look.plotter ? QString() : look.direction);
}

bool showDirectionNote(ChartWidget &chart, const QString &direction)
{
    const QString name = QStringLiteral("directionNote");
    QCPItemText *note = nullptr;
    for (int i = 0; i < chart.itemCount() && !note; ++i)
        if (chart.item(i)->objectName() == name)
            note = qobject_cast<QCPItemText *>(chart.item(i));
    if (!note) {
        if (direction.isEmpty())
            return false;
        note = new QCPItemText(&chart);
        note->setObjectName(name);
        note->setClipToAxisRect(true);
        note->position->setType(QCPItemPosition::ptAxisRectRatio);
        note->position->setCoords(1.0, 0.0);
        note->setPositionAlignment(Qt::AlignTop | Qt::AlignRight);
        note->setPadding(QMargins(4, 2, 6, 2));
        note->setFont(chart.chartAxis(ChartWidget::Axis::Left)->tickLabelFont());
    }
    if (note->text() == direction && note->visible() == !direction.isEmpty())
        return false;
    note->setText(direction);
    note->setVisible(!direction.isEmpty());
    return true;
}

void applyCurvePens(ChartWidget &chart, bool plotter, bool monochrome)
{
    chart.setBackColor(monochrome ? QColor(Qt::white) : curveChartBackColour());
    chart.setPanelColor(monochrome ? QColor(Qt::white) : curveChartPanelColour());
    for (const Chart1SeriesLook &s : chart1Series)
        if (QCPGraph *graph = chart.series(s.series))
            graph->setPen(curvePen(s.series, plotter, monochrome));
    for (const MicrographCurveLook &m : micrographCurves)
        if (QCPGraph *graph = chart.series(chart.seriesIndex(QString::fromLatin1(m.objectName))))
            graph->setPen(micrographCurvePen(m.curve, monochrome));
}

void showCurveLegend(ChartWidget &chart, const QVector<QPair<QPen, QString>> &entries)
{
    QVector<LegendEntry> lines;
    for (const auto &entry : entries)
        lines.push_back({entry.first, entry.second, false, QString()});
    showLegendEntries(chart, lines);
}

namespace {

void showLegendEntries(ChartWidget &chart, const QVector<LegendEntry> &entries)
{
    chart.legend->clearItems();
    for (const LegendEntry &entry : entries) {
        auto *line = new LegendLine(chart.legend, entry.pen, entry.text, entry.faded);
        line->setObjectName(entry.name);
        chart.legend->addItem(line);
    }
    chart.legend->setVisible(!entries.isEmpty());
    // Above the plot, in a row of its own, at its right edge: inside it the legend would cover curves
    // that have not died away by the end of the range (a 300 kV instrument's do not at 10 nm^-1).
    QCPLayoutGrid *grid = chart.plotLayout();
    auto *row = qobject_cast<QCPLayoutGrid *>(chart.legend->layout());
    const bool above = row && row->layout() == grid;
    if (entries.isEmpty() == !above)
        return;
    QCPLayoutInset *inset = chart.axisRect()->insetLayout();
    if (!entries.isEmpty()) {
        inset->take(chart.legend);
        inset->simplify();
        row = new QCPLayoutGrid;
        grid->insertRow(0);
        grid->addElement(0, 0, row);
        grid->setRowStretchFactor(0, 0.001);
        row->addElement(0, 0, new QCPLayoutElement(&chart)); // takes the room left of the legend
        row->addElement(0, 1, chart.legend);
        row->setColumnStretchFactors({1, 0.001});
        // The row's sides follow the plot's, so that the legend ends where the plot does.
        auto *edges = new QCPMarginGroup(&chart);
        chart.axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, edges);
        row->setMarginGroup(QCP::msLeft | QCP::msRight, edges);
        row->setAutoMargins(QCP::msLeft | QCP::msRight);
        chart.legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
        // One line while it fits beside the plot, one entry under the other in a narrow window.
        if (!chart.property("legendFolds").toBool()) {
            chart.setProperty("legendFolds", true);
            QObject::connect(&chart, &QCustomPlot::beforeReplot, &chart, [&chart] {
                QCPLegend *legend = chart.legend;
                if (!legend->visible() || legend->itemCount() == 0)
                    return;
                // As many entries to a line as fit beside one another (all of them: no wrap).
                int line = 0, perLine = 0;
                for (int i = 0; i < legend->itemCount(); ++i) {
                    line += legend->item(i)->minimumOuterSizeHint().width() + legend->columnSpacing();
                    if (line > chart.axisRect()->width())
                        break;
                    ++perLine;
                }
                const int wrap = perLine >= legend->itemCount() ? 0 : std::max(1, perLine);
                if (legend->wrap() != wrap) {
                    legend->setWrap(wrap);
                    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
                }
            });
        }
    } else {
        row->take(chart.legend);
        QCPMarginGroup *edges = chart.axisRect()->marginGroup(QCP::msLeft);
        chart.axisRect()->setMarginGroup(QCP::msLeft | QCP::msRight, nullptr);
        grid->remove(row);
        grid->simplify();
        delete edges;
        inset->addElement(chart.legend, Qt::AlignBottom | Qt::AlignRight);
    }
}

} // namespace

void fitCurveValueAxes(ChartWidget &chart, bool squared)
{
    const double low = squared ? 0.0 : -1.1;
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right})
        if (chart.axisMinimum(side) != low || chart.axisMaximum(side) != 1.1)
            chart.setAxisRange(side, low, 1.1);
    keepPlotEdges(chart); // labels without a minus sign leave the plot where it was
}

void showInstrumentLegend(ChartWidget &chart, const CurveLook &look)
{
    QVector<LegendEntry> entries;
    if (look.plotter) {
        entries = {{curvePen(S1Ctf, true, look.monochrome), QStringLiteral("CTF 1: ") + look.firstInstrument, false,
                    QString()},
                   {curvePen(S8Ctf2, true, look.monochrome), QStringLiteral("CTF 2: ") + look.secondInstrument, false,
                    QString()}};
    } else {
        for (const auto &[curve, shown] : look.micrographCurves)
            entries.push_back({micrographCurvePen(curve, look.monochrome), micrographCurveName(curve), !shown,
                               QString::fromLatin1(micrographCurveLook(curve).objectName)});
    }
    showLegendEntries(chart, entries);
}

int micrographSeries(ChartWidget &chart, MicrographCurve curve, bool monochrome)
{
    const MicrographCurveLook &look = micrographCurveLook(curve);
    const int found = chart.seriesIndex(QString::fromLatin1(look.objectName));
    if (found >= 0)
        return found;
    const QPen pen = micrographCurvePen(curve, monochrome);
    const int added = chart.addSeries(QString::fromLatin1(look.objectName), micrographCurveName(curve), pen.color());
    chart.series(added)->setPen(pen);
    return added;
}

void keepPlotEdges(ChartWidget &curves, ChartWidget::Axis side, int mapRoom)
{
    constexpr int plainPadding = 12; // px
    QCPAxis *axis = curves.chartAxis(side);
    curves.setProperty(side == ChartWidget::Axis::Left ? "mapRoomLeft" : "mapRoomRight", mapRoom);
    const QFontMetrics metrics(axis->tickLabelFont());
    const int signRoom = curves.axisMinimum(side) >= 0 ? metrics.horizontalAdvance(QLatin1Char('-')) : 0;
    // What the chart's own widest label takes beside the plot, its padding aside.
    const int labels = metrics.horizontalAdvance(QStringLiteral("-0.5")) + axis->tickLabelPadding()
        + axis->tickLengthOut();
    axis->setPadding(std::max(plainPadding, mapRoom - labels + 4) + signRoom);
}

void keepPlotEdges(ChartWidget &curves)
{
    for (ChartWidget::Axis side : {ChartWidget::Axis::Left, ChartWidget::Axis::Right})
        keepPlotEdges(curves, side,
                      curves.property(side == ChartWidget::Axis::Left ? "mapRoomLeft" : "mapRoomRight").toInt());
}

} // namespace orvalis
