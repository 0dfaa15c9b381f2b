#include "paneparts.h"

#include "core/axislabels.h"

#include <QLabel>

namespace orvalis {

QLabel *paneTitle(const char *name, const QString &caption, int height)
{
    auto *l = new QLabel(caption);
    l->setObjectName(QString::fromLatin1(name));
    l->setFixedHeight(height);
    l->setAlignment(Qt::AlignCenter);
    l->setAutoFillBackground(true);
    l->setStyleSheet(QStringLiteral("background: #c0c0c0; color: #000080; font: bold 15px 'Arial';"));
    return l;
}

void setUpFrequencyAxes(ChartWidget *chart)
{
    for (ChartWidget::Axis across : {ChartWidget::Axis::Bottom, ChartWidget::Axis::Top}) {
        chart->setAxisRange(across, 0, 10);
        chart->setAxisIncrement(across, 0.1);
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

} // namespace orvalis
