// The two display modes, the docked button bar, the view choices that show or hide panes, the title
// panels and the tool-bar row.
#include "form1.h"

#include "chart/chartwidget.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/chart1series.h"
#include "ui/main/curvepane.h"
#include "ui/main/mappane.h"
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

// The controls follow the view choices as the menu's check marks hold them.
void TForm1::ApplyViewState()
{
    const bool show2D = m_actions->Show2DCTF1->isChecked();
    m_actions->setPatternShown(show2D);
    pa2Dctf->setVisible(show2D);
    m_actions->liveUpdate->setChecked(m_actions->Enable2DUpdate1->isChecked());
    m_patternDrawFlag = m_actions->Enable2DUpdate1->isChecked();

    const bool showMap = m_actions->N3D1->isChecked();
    m_actions->setMapShown(showMap);
    m_map->setVisible(showMap);
    m_actions->showEnvelopes->setChecked(m_state.ShowEnvelopes);

    const bool titles = m_actions->actShowTitles->isChecked();
    for (QLabel *title : {m_curves->title(), pa2dCTFheader, m_map->title()})
        title->setVisible(titles);
    for (BandToolBar *band : m_bandOrder)
        band->setVisible(m_actions->ShowToolbar1->isChecked());
    m_state.MarkerPending = true;
}

void TForm1::ChangeMode()
{
    if (m_actions->N1DCTFPlotMode1->isChecked()) {
        m_actions->setPlotterMode(false);
        m_status->setModeText(QStringLiteral("Orvalis"));
        m_state.PlotterMode = false;
        if (m_actions->Show2DCTF1->isChecked()) {
            m_patternDrawFlag = true;
            pa2Dctf->show();
        }
        DockButtonBar(m_bar2d);
        m_curves->clearAll();
        showModeSeries();
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        m_patternDrawFlag = m_actions->Enable2DUpdate1->isChecked();
        return;
    }
    m_actions->setPlotterMode(true);
    m_status->setModeText(QStringLiteral("CTF Plotter"));
    m_state.PlotterMode = true;
    m_patternDrawFlag = false;
    pa2Dctf->hide();
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
        m_curves->chart()->setSeriesVisible(S4Combined, m_state.ShowEnvelopes);
        m_curves->chart()->setSeriesVisible(S7CombinedNeg, m_state.ShowEnvelopes);
        return;
    }
    const std::pair<QAction *, int> envelopes[] = {
        {m_actions->Temporal1, S2Temporal},  {m_actions->Spatial1, S3Spatial},
        {m_actions->Combined1, S4Combined},  {m_actions->Temporal1, S5TemporalNeg},
        {m_actions->Spatial1, S6SpatialNeg}, {m_actions->Combined1, S7CombinedNeg}};
    for (const auto &e : envelopes)
        m_curves->chart()->setSeriesVisible(e.second, e.first->isChecked());
}

void TForm1::actShowTitlesExecute()
{
    const bool show = !m_actions->actShowTitles->isChecked();
    for (QLabel *title : {m_curves->title(), pa2dCTFheader, m_map->title()})
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
