// The menu items and tool buttons of the main window, by name: each toggles its own check and the
// bar buttons mirroring it, then redraws what it changed.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/numberformat.h"
#include "ui/btnbar1dctf/fmbtnbar1dctf.h"
#include "ui/btnbar2dctf/fmbtnbar2dctf.h"
#include "ui/main/chart1series.h"
#include "ui/widgets/scrollbar.h"

#include <QAction>
#include <QMessageBox>
#include <QSplitter>
#include <QToolButton>

#include <algorithm>

namespace orvalis {

void TForm1::Exit1Click()
{
    close();
}

void TForm1::Image2Click()
{
    const QString text = QStringLiteral("Strange patterns may appear in  2D CTF and Defocus Map\r\n"
                                        "due to the Moire effect. Usually this happens at large\r\n"
                                        "defocus values.\r\n"
                                        "Please disregard those.\r\n"
                                        "If possible, use defocusi less than 300 nm.");
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"),
                    QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("FastOscillationInfo"));
    box.exec();
}

void TForm1::Intensity1Click()
{
    Intensity1->setChecked(!Intensity1->isChecked());
    btnIntensity->setChecked(Intensity1->isChecked());
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::Symmetr1Click()
{
    Symmetr1->setChecked(!Symmetr1->isChecked());
    btnSymmetr->setChecked(Symmetr1->isChecked());
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::toggleEnvelope(QAction *item, QToolButton *barButton, int series, int mirrorSeries)
{
    const bool on = !item->isChecked();
    item->setChecked(on);
    barButton->setChecked(on);
    for (int s : {series, mirrorSeries}) {
        if (!on)
            Chart1->clearSeries(s);
        Chart1->setSeriesVisible(s, on);
    }
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::Temporal1Click()
{
    toggleEnvelope(Temporal1, m_bar2d->btnTemporal, S2Temporal, S5TemporalNeg);
}

void TForm1::Spatial1Click()
{
    toggleEnvelope(Spatial1, m_bar2d->btnSpatial, S3Spatial, S6SpatialNeg);
}

void TForm1::Combined1Click()
{
    toggleEnvelope(Combined1, m_bar2d->btnCombined, S4Combined, S7CombinedNeg);
}

void TForm1::btn1stCTFClick()
{
    if (!m_bar1d->btn1stCTF->isChecked())
        return;
    Chart1->clearSeries(S1Ctf);
    Chart1->clearSeries(S4Combined);
    m_state.SecondCTF = false;
    ScopeInit(ScopeRecord1);
    m_state.Defocus = ScopeRecord1.Defocus;
    ScrollBar1->setValue(-roundToInt(m_state.Defocus));
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::btn2ndCTFClick()
{
    if (!m_bar1d->btn2ndCTF->isChecked())
        return;
    Chart1->clearSeries(S8Ctf2);
    Chart1->clearSeries(S7CombinedNeg);
    m_state.SecondCTF = true;
    ScopeInit(ScopeRecord2);
    m_state.Defocus = ScopeRecord2.Defocus;
    ScrollBar1->setValue(-roundToInt(m_state.Defocus));
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::btnEnvelopesClick()
{
    if (m_bar1d->btnEnvelopes->isChecked()) {
        m_state.ShowEnvelopes = true;
        Chart1->setSeriesVisible(S4Combined, true);
        Chart1->setSeriesVisible(S7CombinedNeg, true);
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        return;
    }
    m_state.ShowEnvelopes = false;
    for (int s : {S4Combined, S7CombinedNeg}) {
        Chart1->clearSeries(s);
        Chart1->setSeriesVisible(s, false);
    }
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

void TForm1::Show2DCTF1Click()
{
    Show2DCTF1->setChecked(!Show2DCTF1->isChecked());
    m_bar2d->btnUpdate2D->setEnabled(!m_bar2d->btnUpdate2D->isEnabled());
    Save2D->setEnabled(!Save2D->isEnabled());
    m_toolButton1Slot->setVisible(!m_toolButton1Slot->isVisible());
    pa2Dctf->setVisible(pa2Dctf->isHidden());
    // The bar's button follows the menu item, whichever of the two was used.
    m_bar2d->btnShow2D->setChecked(Show2DCTF1->isChecked());
    if (Show2DCTF1->isChecked()) {
        m_patternDrawFlag = true;
        m_bar2d->btnUpdate2D->setChecked(true);
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    } else {
        m_patternDrawFlag = false;
    }
}

void TForm1::Enable2DUpdate1Click()
{
    if (!Enable2DUpdate1->isChecked()) {
        Enable2DUpdate1->setChecked(true);
        m_bar2d->btnUpdate2D->setChecked(true);
        m_patternDrawFlag = true;
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    } else {
        Enable2DUpdate1->setChecked(false);
        m_bar2d->btnUpdate2D->setChecked(false);
        m_patternDrawFlag = false;
    }
}

void TForm1::N3D1Click()
{
    N3D1->setChecked(!N3D1->isChecked());
    SaveDefocusMap1->setEnabled(!SaveDefocusMap1->isEnabled());
    m_toolButton3Slot->setVisible(!m_toolButton3Slot->isVisible());
    if (!pa3dCTF->isHidden())
        m_mapHeight = pa3dCTF->height(); // it comes back at the height it had
    pa3dCTF->setVisible(pa3dCTF->isHidden());
    // Both bars' buttons follow the menu item, whichever of the three was used.
    m_bar2d->btnShow3D->setChecked(N3D1->isChecked());
    m_bar1d->btnShow3D->setChecked(N3D1->isChecked());
    if (N3D1->isChecked()) {
        setPaneSize(Splitter1, 1, m_mapHeight);
        Draw3DCTF();
    }
}

void TForm1::N1DCTFPlotMode1Click()
{
    ChangeMode();
}

} // namespace orvalis
