#include "chart/nyquistmark.h"

#include <algorithm>

namespace orvalis {
namespace {

const QString lineName = QStringLiteral("NyquistMark");
const QString labelName = QStringLiteral("NyquistLabel");

// A dark orange that stands out from the curves' colours and from the map's greys alike.
QColor markColour()
{
    return QColor(0xC0, 0x50, 0x00);
}

} // namespace

QCPItemStraightLine *nyquistLine(const ChartWidget &chart)
{
    return chart.findChild<QCPItemStraightLine *>(lineName, Qt::FindDirectChildrenOnly);
}

QCPItemText *nyquistLabel(const ChartWidget &chart)
{
    return chart.findChild<QCPItemText *>(labelName, Qt::FindDirectChildrenOnly);
}

void showNyquistMark(ChartWidget &chart, double k)
{
    QCPItemStraightLine *line = nyquistLine(chart);
    QCPItemText *label = nyquistLabel(chart);
    if (!(k > 0)) {
        // A chart that never had a detector keeps exactly the items it had.
        if (line)
            chart.removeItem(line);
        if (label)
            chart.removeItem(label);
        return;
    }
    if (!line) {
        line = new QCPItemStraightLine(&chart);
        line->setObjectName(lineName);
        line->setSelectable(false);
        line->setPen(QPen(markColour(), 1, Qt::DashLine));
        label = new QCPItemText(&chart);
        label->setObjectName(labelName);
        label->setSelectable(false);
        label->setText(QStringLiteral("Nyquist"));
        label->setColor(markColour());
        label->setBrush(QColor(255, 255, 255, 200)); // readable over the map's greys too
        label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setPadding(QMargins(3, 1, 0, 0));
        QFont small = chart.font();
        small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
        label->setFont(small);
    }
    // Across the whole height whatever the side axes show (the map's run downwards).
    for (QCPItemPosition *p : {line->point1, line->point2, label->position}) {
        p->setAxes(chart.chartAxis(ChartWidget::Axis::Bottom), chart.chartAxis(ChartWidget::Axis::Left));
        p->setTypeX(QCPItemPosition::ptPlotCoords);
        p->setTypeY(QCPItemPosition::ptAxisRectRatio);
    }
    line->point1->setCoords(k, 0);
    line->point2->setCoords(k, 1);
    label->position->setCoords(k, 0);
}

} // namespace orvalis
