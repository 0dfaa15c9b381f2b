// The two display modes, the docked button bar, the view choices that show or hide panes, the title
// panels and the tool-bar row.
#include "form1.h"

#include "chart/chart1series.h"
#include "chart/chartwidget.h"
#include "session/ctfsession.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/curvepane.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/statuspanels.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/bandtoolbar.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QToolBar>

#include <algorithm>
#include <utility>

namespace orvalis {

void TForm1::DockButtonBar(QWidget *bar)
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

// The session's choices as the menu items and buttons show them.
void TForm1::ApplyViewState()
{
    const ViewChoices v = m_session->viewChoices();
    const std::pair<QAction *, bool> ticks[] = {
        {m_actions->Show2DCTF1, v.show2D},    {m_actions->Enable2DUpdate1, v.live2D},
        {m_actions->N3D1, v.mapShown},        {m_actions->Combined1, v.combined},
        {m_actions->Spatial1, v.spatial},     {m_actions->Temporal1, v.temporal},
        {m_actions->Intensity1, v.intensity}, {m_actions->Symmetr1, v.symmetric}};
    for (const auto &tick : ticks)
        tick.first->setChecked(tick.second);
    m_actions->setPatternShown(v.show2D);
    m_pattern->setVisible(v.show2D);
    m_actions->liveUpdate->setChecked(v.live2D);
    m_patternDrawFlag = v.live2D;
    m_actions->setMapShown(v.mapShown);
    m_map->setVisible(v.mapShown);
    m_actions->showEnvelopes->setChecked(v.showEnvelopes);

    const bool titles = m_actions->actShowTitles->isChecked();
    for (QLabel *title : {m_curves->title(), m_pattern->title(), m_map->title()})
        title->setVisible(titles);
    for (BandToolBar *band : m_bandOrder)
        band->setVisible(m_actions->ShowToolbar1->isChecked());
    m_state.MarkerPending = true;
}

void TForm1::ChangeMode()
{
    enterMode(!m_session->viewChoices().plotterMode);
}

// Each mode starts from its own empty series; plotter mode keeps "CTF 2".
void TForm1::enterMode(bool plotter)
{
    m_session->setPlotterMode(plotter);
    m_actions->setPlotterMode(plotter);
    m_curves->setPlotterMode(plotter);
    if (!plotter) {
        m_status->setModeText(QStringLiteral("Orvalis"));
        if (m_session->viewChoices().show2D) {
            m_patternDrawFlag = true;
            m_pattern->show();
        }
        DockButtonBar(m_bar2d);
        m_curves->clearAll();
        showModeSeries();
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        m_patternDrawFlag = m_actions->Enable2DUpdate1->isChecked();
        return;
    }
    m_status->setModeText(QStringLiteral("CTF Plotter"));
    m_patternDrawFlag = false;
    m_pattern->hide();
    DockButtonBar(m_bar1d);
    for (int i = S1Ctf; i <= S7CombinedNeg; ++i)
        m_curves->clearSeries(static_cast<Chart1Series>(i));
    showModeSeries();
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// The combined-envelope series serve both modes: each mode shows them as its own switches say,
// whatever the other mode left.
void TForm1::showModeSeries()
{
    if (m_state.PlotterMode) {
        m_curves->setSeriesVisible(S4Combined, m_state.ShowEnvelopes);
        m_curves->setSeriesVisible(S7CombinedNeg, m_state.ShowEnvelopes);
        return;
    }
    const ViewChoices v = m_session->viewChoices();
    const std::pair<bool, Chart1Series> envelopes[] = {{v.temporal, S2Temporal},  {v.spatial, S3Spatial},
                                                       {v.combined, S4Combined},  {v.temporal, S5TemporalNeg},
                                                       {v.spatial, S6SpatialNeg}, {v.combined, S7CombinedNeg}};
    for (const auto &e : envelopes)
        m_curves->setSeriesVisible(e.second, e.first);
}

void TForm1::actShowTitlesExecute()
{
    const bool show = !m_actions->actShowTitles->isChecked();
    for (QLabel *title : {m_curves->title(), m_pattern->title(), m_map->title()})
        title->setVisible(show);
    m_actions->actShowTitles->setChecked(show);
}

void TForm1::ShowToolbar1Click()
{
    const bool show = !m_actions->ShowToolbar1->isChecked();
    for (BandToolBar *band : m_bandOrder)
        band->setVisible(show);
    m_actions->ShowToolbar1->setChecked(show);
}

// The bands of the tool-bar row in the order the user sees them: row by row, left to right. Bands
// not laid out yet (the row hidden all the time) stay in the order they were put in.
QList<BandToolBar *> TForm1::toolBarBands() const
{
    QList<BandToolBar *> bands = m_bandOrder;
    std::stable_sort(bands.begin(), bands.end(), [](const BandToolBar *a, const BandToolBar *b) {
        return std::make_pair(a->y(), a->x()) < std::make_pair(b->y(), b->x());
    });
    return bands;
}

// Puts the bands into the row in the given order; a band whose break is set starts a new row.
void TForm1::placeToolBarBands(const QList<BandToolBar *> &bands, const QList<bool> &breaks)
{
    for (BandToolBar *band : bands) {
        removeToolBarBreak(band);
        removeToolBar(band);
    }
    m_bandOrder = bands;
    for (int i = 0; i < bands.size(); ++i) {
        if (i > 0 && breaks.value(i))
            addToolBarBreak(Qt::TopToolBarArea);
        addToolBar(Qt::TopToolBarArea, bands[i]);
        bands[i]->setVisible(m_actions->ShowToolbar1->isChecked());
    }
}

} // namespace orvalis
