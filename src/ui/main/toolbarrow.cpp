#include "toolbarrow.h"

#include "store/windowsettings.h"
#include "ui/widgets/bandtoolbar.h"

#include <QMainWindow>

#include <algorithm>
#include <utility>

namespace orvalis {

QList<BandToolBar *> ToolBarRow::bands() const
{
    QList<BandToolBar *> bands = m_order;
    std::stable_sort(bands.begin(), bands.end(), [](const BandToolBar *a, const BandToolBar *b) {
        return std::make_pair(a->y(), a->x()) < std::make_pair(b->y(), b->x());
    });
    return bands;
}

void ToolBarRow::place(const QList<BandToolBar *> &bands, const QList<bool> &breaks, bool shown)
{
    for (BandToolBar *band : bands) {
        m_window->removeToolBarBreak(band);
        m_window->removeToolBar(band);
    }
    m_order = bands;
    for (int i = 0; i < bands.size(); ++i) {
        if (i > 0 && breaks.value(i))
            m_window->addToolBarBreak(Qt::TopToolBarArea);
        m_window->addToolBar(Qt::TopToolBarArea, bands[i]);
        bands[i]->setVisible(shown);
    }
}

void ToolBarRow::setVisible(bool shown)
{
    for (BandToolBar *band : m_order)
        band->setVisible(shown);
}

void ToolBarRow::applyStored(const WindowSettings &s, bool shown)
{
    QList<BandToolBar *> row = bands();
    QList<bool> breaks;
    for (BandToolBar *band : row)
        breaks << m_window->toolBarBreak(band);
    const auto named = [&row](const QString &name) {
        for (int j = 0; j < row.size(); ++j)
            if (row[j]->objectName() == name)
                return j;
        return -1;
    };
    for (int i = 0; i < row.size(); ++i) {
        const auto group = s.Bands.find(i);
        if (group == s.Bands.end() || !group->Control)
            continue;
        const int j = named(*group->Control);
        if (j >= 0) {
            row.move(j, i);
            breaks.move(j, i);
        }
    }
    for (int i = 0; i < row.size(); ++i) {
        const auto group = s.Bands.find(i);
        const int j = group == s.Bands.end() || !group->Control ? -1 : named(*group->Control);
        if (j < 0)
            continue;
        if (group->ControlWidth)
            row[j]->setBandWidth(*group->ControlWidth);
        if (group->Break)
            breaks[j] = *group->Break;
        if (group->Width)
            row[j]->setBandWidth(*group->Width);
    }
    place(row, breaks, shown);
}

void ToolBarRow::capture(WindowSettings &s) const
{
    const QList<BandToolBar *> row = bands();
    for (int i = 0; i < row.size(); ++i)
        s.Bands[i] = CoolBand{row[i]->objectName(), row[i]->QToolBar::sizeHint().width(),
                              m_window->toolBarBreak(row[i]), row[i]->shownWidth()};
}

} // namespace orvalis
