#include "mainbody.h"

#include "core/numberformat.h"
#include "store/windowsettings.h"
#include "ui/main/curvepane.h"
#include "ui/main/infopanel.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/sliderpanel.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace orvalis {
namespace {

QWidget *named(QWidget *w, const char *name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QSplitter *splitter(Qt::Orientation orientation, const char *name, QWidget *first, QWidget *second, int firstStretch)
{
    auto *s = new QSplitter(orientation);
    s->setObjectName(QString::fromLatin1(name));
    s->setChildrenCollapsible(false);
    s->addWidget(first);
    s->addWidget(second);
    s->setStretchFactor(0, firstStretch);
    s->setStretchFactor(1, 1 - firstStretch);
    return s;
}

QWidget *hosting(const char *name, QWidget *content)
{
    QWidget *host = named(new QWidget, name);
    auto *l = new QVBoxLayout(host);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(content);
    return host;
}

} // namespace

MainBody::MainBody(QMainWindow *window) : QObject(window)
{
    m_pattern = new PatternPane;
    QWidget *charts = buildChartArea();
    Splitter2 = splitter(Qt::Horizontal, "Splitter2", m_pattern, charts, 0);
    Splitter2->setHandleWidth(2);
    auto *paCTFhost = named(new QWidget, "paCTFhost");
    auto *host = new QHBoxLayout(paCTFhost);
    host->setContentsMargins(0, 0, 0, 0);
    host->addWidget(Splitter2);

    auto *paStatus = named(new QWidget, "paStatus");
    auto *status = new QHBoxLayout(paStatus);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(0);
    m_sliders = new SliderPanel;
    status->addWidget(m_sliders);
    m_info = new InfoPanel;
    status->addWidget(m_info, 1);

    Splitter4 = splitter(Qt::Vertical, "Splitter4", paCTFhost, paStatus, 1);
    Splitter4->setHandleWidth(2);
    Splitter4->setSizes({400, 160});

    // Below the size its panes need, the body scrolls instead of squeezing them over one another.
    auto *scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("paBodyScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(hosting("paBody", Splitter4));
    window->setCentralWidget(scroll);
    // Its width is kept for the next start, also while it is hidden.
    connect(m_pattern, &PatternPane::widthShown, this, [this](int px) { m_patternPaneWidth = px; });
}

QWidget *MainBody::buildChartArea()
{
    m_curves = new CurvePane;
    m_map = new MapPane(m_curves->chart());
    Splitter1 = splitter(Qt::Vertical, "Splitter1", m_curves, m_map, 1);
    Splitter1->setHandleWidth(3);
    paLeft = named(new QWidget, "paLeft");
    auto *dock = new QVBoxLayout(paLeft);
    dock->setContentsMargins(0, 0, 0, 0);
    Splitter5 = splitter(Qt::Horizontal, "Splitter5", Splitter1, paLeft, 1);
    return hosting("pa1Dctf", Splitter5);
}

void MainBody::dockBar(QWidget *bar)
{
    if (bar == m_dockedBar)
        return;
    bar->setParent(paLeft);
    paLeft->layout()->addWidget(bar);
    if (m_dockedBar)
        m_dockedBar->hide();
    bar->show();
    m_dockedBar = bar;
}

// 256 pixels of pattern on a screen of 120 pixels per inch, 208 on any other.
bool MainBody::layOutForScreen(double upTo)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const bool dense = screen && qRound(screen->logicalDotsPerInch()) == 120;
    const int patternWidth = dense ? 256 : 208;
    paLeft->setFixedWidth(dense ? 171 : 138);
    m_map->setImageSide(roundToInt(patternWidth / 0.5));
    m_pattern->layOut(patternWidth, upTo);
    return dense;
}

void MainBody::showMap(bool show)
{
    if (!m_map->isHidden())
        m_mapHeight = m_map->height(); // it comes back at the height it had
    m_map->setVisible(show);
    if (show)
        setPaneSize(Splitter1, 1, m_mapHeight);
}

void MainBody::setTitlesVisible(bool visible)
{
    for (QLabel *title : {m_curves->title(), m_pattern->title(), m_map->title()})
        title->setVisible(visible);
}

void MainBody::applyStored(const WindowSettings &s)
{
    if (s.Splitter[0])
        m_mapHeight = *s.Splitter[0];
    m_patternPaneWidth = s.Splitter[1];
    for (int i = 1; i < 4; ++i)
        m_storedSplitters[i] = s.Splitter[i];
}

// Gives one pane of a two-pane splitter `px` pixels; the other takes the rest of what the splitter has.
void MainBody::setPaneSize(QSplitter *splitter, int pane, int px)
{
    QList<int> sizes = splitter->sizes();
    if (sizes.size() != 2)
        return;
    const int total = sizes[0] + sizes[1];
    sizes[pane] = std::clamp(px, 0, total);
    sizes[1 - pane] = total - sizes[pane];
    splitter->setSizes(sizes);
}

// A splitter's pixels mean something only once the window has its size. The defocus map's pane
// takes its height when it is shown.
void MainBody::applySplitters()
{
    if (!m_map->isHidden())
        setPaneSize(Splitter1, 1, m_mapHeight);
    // Not Splitter5: the docked bar's panel keeps the width the start-up layout gave it, whatever was
    // stored; any other width would leave an empty band beside the bar.
    const std::pair<QSplitter *, int> panes[3] = {{Splitter2, 0}, {m_info->splitter(), 0}, {Splitter4, 1}};
    for (int i = 0; i < 3; ++i)
        if (m_storedSplitters[i + 1])
            setPaneSize(panes[i].first, panes[i].second, *m_storedSplitters[i + 1]);
}

void MainBody::capture(WindowSettings &s) const
{
    s.Splitter[0] = m_map->isHidden() ? m_mapHeight : m_map->height();
    s.Splitter[1] = m_patternPaneWidth.value_or(m_pattern->width());
    s.Splitter[2] = m_info->treeWidth();
    s.Splitter[3] = Splitter4->widget(1)->height();
    s.Splitter[4] = paLeft->width();
}

} // namespace orvalis
