// The two display modes, the docked button bar and the view choices that show or hide panes.
#include "form1.h"

#include "chart/chartwidget.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/chart1series.h"

#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

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

void TForm1::ApplyViewState()
{
    const bool show2D = Show2DCTF1->isChecked();
    m_patternDrawFlag = show2D;
    m_bar2d->btnShow2D->setChecked(show2D);
    Save2D->setEnabled(show2D);
    m_toolButton1Slot->setVisible(show2D);
    m_bar2d->btnUpdate2D->setEnabled(show2D);
    pa2Dctf->setVisible(show2D);

    m_bar2d->btnUpdate2D->setChecked(Enable2DUpdate1->isChecked());
    m_patternDrawFlag = Enable2DUpdate1->isChecked();

    const bool showMap = N3D1->isChecked();
    m_bar2d->btnShow3D->setChecked(showMap);
    m_bar1d->btnShow3D->setChecked(showMap);
    pa3dCTF->setVisible(showMap);
    SaveDefocusMap1->setEnabled(showMap);
    m_toolButton3Slot->setVisible(showMap);

    m_bar2d->btnCombined->setChecked(Combined1->isChecked());
    m_bar2d->btnSpatial->setChecked(Spatial1->isChecked());
    m_bar2d->btnTemporal->setChecked(Temporal1->isChecked());
    m_bar1d->btnEnvelopes->setChecked(m_state.ShowEnvelopes);
    btnIntensity->setChecked(Intensity1->isChecked());
    btnSymmetr->setChecked(Symmetr1->isChecked());

    const bool titles = actShowTitles->isChecked();
    for (QLabel *title : {pa1dCTFHeader, pa2dCTFheader, pa3DCTFHeader})
        title->setVisible(titles);
    ToolBar1->setVisible(ShowToolbar1->isChecked());
    ToolBar2->setVisible(ShowToolbar1->isChecked());
    m_state.MarkerPending = true;
}

void TForm1::ChangeMode()
{
    if (N1DCTFPlotMode1->isChecked()) {
        N1DCTFPlotMode1->setChecked(false);
        statusPanel0->setText(QStringLiteral("Orvalis"));
        m_state.PlotterMode = false;
        N1DCTF1->setEnabled(true);
        N2DCTF1->setEnabled(true);
        if (Show2DCTF1->isChecked()) {
            m_patternDrawFlag = true;
            pa2Dctf->show();
        }
        DockButtonBar(m_bar2d);
        for (int i = 0; i < Chart1->seriesCount(); ++i)
            Chart1->clearSeries(i);
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        m_patternDrawFlag = Enable2DUpdate1->isChecked();
        return;
    }
    N1DCTFPlotMode1->setChecked(true);
    statusPanel0->setText(QStringLiteral("CTF Plotter"));
    m_state.PlotterMode = true;
    N1DCTF1->setEnabled(false);
    N2DCTF1->setEnabled(false);
    m_patternDrawFlag = false;
    pa2Dctf->hide();
    DockButtonBar(m_bar1d);
    for (int i = S1Ctf; i <= S7CombinedNeg; ++i)
        Chart1->clearSeries(i);
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

} // namespace orvalis
