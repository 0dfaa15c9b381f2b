#include "ui/widgets/bandtoolbar.h"

#include <algorithm>

namespace orvalis {

BandToolBar::BandToolBar(const QString &title, QWidget *parent) : QToolBar(title, parent)
{
    // The bands live in one row at the top of the window, as the stored band order expects.
    setAllowedAreas(Qt::TopToolBarArea);
    setFloatable(false);
}

void BandToolBar::setBandWidth(int px)
{
    m_bandWidth = std::max(0, px);
    updateGeometry();
}

void BandToolBar::resizeEvent(QResizeEvent *event)
{
    // Delivered only to a band that is shown (or about to be): its width is real from now on.
    m_laidOut = true;
    QToolBar::resizeEvent(event);
}

QSize BandToolBar::sizeHint() const
{
    QSize size = QToolBar::sizeHint();
    size.setWidth(std::max(size.width(), m_bandWidth));
    return size;
}

} // namespace orvalis
