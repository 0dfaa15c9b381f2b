// The two display modes, the docked button bar, the view choices that show or hide panes, the title
// panels and the tool-bar row.
#include "form1.h"

#include "chart/chartwidget.h"
#include "session/ctfsession.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/chart1series.h"
#include "ui/widgets/bandtoolbar.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

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
        {Show2DCTF1, v.show2D}, {Enable2DUpdate1, v.live2D}, {N3D1, v.mapShown},        {Combined1, v.combined},
        {Spatial1, v.spatial},  {Temporal1, v.temporal},     {Intensity1, v.intensity}, {Symmetr1, v.symmetric}};
    for (const auto &tick : ticks)
        tick.first->setChecked(tick.second);
    const bool show2D = v.show2D;
    m_patternDrawFlag = show2D;
    m_bar2d->btnShow2D->setChecked(show2D);
    Save2D->setEnabled(show2D);
    m_toolButton1Slot->setVisible(show2D);
    m_bar2d->btnUpdate2D->setEnabled(show2D);
    pa2Dctf->setVisible(show2D);

    m_bar2d->btnUpdate2D->setChecked(v.live2D);
    m_patternDrawFlag = v.live2D;

    const bool showMap = v.mapShown;
    m_bar2d->btnShow3D->setChecked(showMap);
    m_bar1d->btnShow3D->setChecked(showMap);
    pa3dCTF->setVisible(showMap);
    SaveDefocusMap1->setEnabled(showMap);
    m_toolButton3Slot->setVisible(showMap);

    m_bar2d->btnCombined->setChecked(v.combined);
    m_bar2d->btnSpatial->setChecked(v.spatial);
    m_bar2d->btnTemporal->setChecked(v.temporal);
    m_bar1d->btnEnvelopes->setChecked(v.showEnvelopes);
    btnIntensity->setChecked(v.intensity);
    btnSymmetr->setChecked(v.symmetric);

    const bool titles = actShowTitles->isChecked();
    for (QLabel *title : {pa1dCTFHeader, pa2dCTFheader, pa3DCTFHeader})
        title->setVisible(titles);
    ToolBar1->setVisible(ShowToolbar1->isChecked());
    ToolBar2->setVisible(ShowToolbar1->isChecked());
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
    N1DCTFPlotMode1->setChecked(plotter);
    if (!plotter) {
        statusPanel0->setText(QStringLiteral("Orvalis"));
        N1DCTF1->setEnabled(true);
        N2DCTF1->setEnabled(true);
        if (m_session->viewChoices().show2D) {
            m_patternDrawFlag = true;
            pa2Dctf->show();
        }
        DockButtonBar(m_bar2d);
        for (int i = 0; i < Chart1->seriesCount(); ++i)
            Chart1->clearSeries(i);
        showModeSeries();
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        m_patternDrawFlag = Enable2DUpdate1->isChecked();
        return;
    }
    statusPanel0->setText(QStringLiteral("CTF Plotter"));
    N1DCTF1->setEnabled(false);
    N2DCTF1->setEnabled(false);
    m_patternDrawFlag = false;
    pa2Dctf->hide();
    DockButtonBar(m_bar1d);
    for (int i = S1Ctf; i <= S7CombinedNeg; ++i)
        Chart1->clearSeries(i);
    showModeSeries();
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// The combined-envelope series serve both modes: each mode shows them as its own switches say,
// whatever the other mode left.
void TForm1::showModeSeries()
{
    if (m_state.PlotterMode) {
        Chart1->setSeriesVisible(S4Combined, m_state.ShowEnvelopes);
        Chart1->setSeriesVisible(S7CombinedNeg, m_state.ShowEnvelopes);
        return;
    }
    const ViewChoices v = m_session->viewChoices();
    const std::pair<bool, int> envelopes[] = {{v.temporal, S2Temporal},  {v.spatial, S3Spatial},
                                              {v.combined, S4Combined},  {v.temporal, S5TemporalNeg},
                                              {v.spatial, S6SpatialNeg}, {v.combined, S7CombinedNeg}};
    for (const auto &e : envelopes)
        Chart1->setSeriesVisible(e.second, e.first);
}

void TForm1::actShowTitlesExecute()
{
    for (QLabel *title : {pa1dCTFHeader, pa2dCTFheader, pa3DCTFHeader})
        title->setVisible(title->isHidden());
    actShowTitles->setChecked(!actShowTitles->isChecked());
}

void TForm1::ShowToolbar1Click()
{
    const bool show = ToolBar1->isHidden();
    for (BandToolBar *band : toolBarBands())
        band->setVisible(show);
    ShowToolbar1->setChecked(!ShowToolbar1->isChecked());
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
        bands[i]->setVisible(ShowToolbar1->isChecked());
    }
}

} // namespace orvalis
