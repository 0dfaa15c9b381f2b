// The menu items and tool buttons of the main window, by name: each toggles its own check and the
// bar buttons mirroring it, then redraws what it changed.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/numberformat.h"
#include "session/ctfsession.h"
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
    m_session->setIntensity(!m_session->viewChoices().intensity);
    Intensity1->setChecked(m_session->viewChoices().intensity);
    btnIntensity->setChecked(Intensity1->isChecked());
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::Symmetr1Click()
{
    m_session->setSymmetric(!m_session->viewChoices().symmetric);
    Symmetr1->setChecked(m_session->viewChoices().symmetric);
    btnSymmetr->setChecked(Symmetr1->isChecked());
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// An envelope switched off loses its points in the session (whatever the mode) and on the chart.
void TForm1::toggleEnvelope(void (CtfSession::*choose)(bool), bool ViewChoices::*choice, QAction *item,
                            QToolButton *barButton, int series, int mirrorSeries)
{
    const bool on = !(m_session->viewChoices().*choice);
    (m_session->*choose)(on);
    item->setChecked(on);
    barButton->setChecked(on);
    for (int s : {series, mirrorSeries}) {
        if (!on)
            showSeries(s);
        Chart1->setSeriesVisible(s, on);
    }
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::Temporal1Click()
{
    toggleEnvelope(&CtfSession::setTemporal, &ViewChoices::temporal, Temporal1, m_bar2d->btnTemporal, S2Temporal,
                   S5TemporalNeg);
}

void TForm1::Spatial1Click()
{
    toggleEnvelope(&CtfSession::setSpatial, &ViewChoices::spatial, Spatial1, m_bar2d->btnSpatial, S3Spatial,
                   S6SpatialNeg);
}

void TForm1::Combined1Click()
{
    toggleEnvelope(&CtfSession::setCombined, &ViewChoices::combined, Combined1, m_bar2d->btnCombined, S4Combined,
                   S7CombinedNeg);
}

void TForm1::btn1stCTFClick()
{
    if (!m_bar1d->btn1stCTF->isChecked())
        return;
    for (int s : {S1Ctf, S4Combined}) {
        m_session->clearSeries(s);
        showSeries(s);
    }
    m_session->setSecondActive(false);
    ScopeInit(ScopeRecord1);
    m_state.Defocus = ScopeRecord1.Defocus;
    ScrollBar1->setValue(-roundToInt(m_state.Defocus));
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::btn2ndCTFClick()
{
    if (!m_bar1d->btn2ndCTF->isChecked())
        return;
    for (int s : {S8Ctf2, S7CombinedNeg}) {
        m_session->clearSeries(s);
        showSeries(s);
    }
    m_session->setSecondActive(true);
    ScopeInit(ScopeRecord2);
    m_state.Defocus = ScopeRecord2.Defocus;
    ScrollBar1->setValue(-roundToInt(m_state.Defocus));
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::btnEnvelopesClick()
{
    // The button has turned itself as the user clicked it; the session takes its new state.
    m_session->setShowEnvelopes(m_bar1d->btnEnvelopes->isChecked());
    if (m_session->viewChoices().showEnvelopes) {
        Chart1->setSeriesVisible(S4Combined, true);
        Chart1->setSeriesVisible(S7CombinedNeg, true);
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        return;
    }
    for (int s : {S4Combined, S7CombinedNeg}) {
        showSeries(s);
        Chart1->setSeriesVisible(s, false);
    }
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

void TForm1::Show2DCTF1Click()
{
    m_session->setShow2D(!m_session->viewChoices().show2D);
    Show2DCTF1->setChecked(m_session->viewChoices().show2D);
    m_bar2d->btnUpdate2D->setEnabled(!m_bar2d->btnUpdate2D->isEnabled());
    Save2D->setEnabled(!Save2D->isEnabled());
    m_toolButton1Slot->setVisible(!m_toolButton1Slot->isVisible());
    pa2Dctf->setVisible(pa2Dctf->isHidden());
    // The bar's button follows the menu item, whichever of the two was used.
    m_bar2d->btnShow2D->setChecked(Show2DCTF1->isChecked());
    if (m_session->viewChoices().show2D) {
        // Shown again, the pattern is live whatever "Enable Update" says: its button goes down.
        m_patternDrawFlag = true;
        m_session->setLive2D(true);
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
        m_session->setLive2D(true);
        m_bar2d->btnUpdate2D->setChecked(true);
        m_patternDrawFlag = true;
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    } else {
        Enable2DUpdate1->setChecked(false);
        m_session->setLive2D(false);
        m_bar2d->btnUpdate2D->setChecked(false);
        m_patternDrawFlag = false;
    }
}

void TForm1::N3D1Click()
{
    m_session->setMapShown(!m_session->viewChoices().mapShown);
    N3D1->setChecked(m_session->viewChoices().mapShown);
    SaveDefocusMap1->setEnabled(!SaveDefocusMap1->isEnabled());
    m_toolButton3Slot->setVisible(!m_toolButton3Slot->isVisible());
    if (!pa3dCTF->isHidden())
        m_mapHeight = pa3dCTF->height(); // it comes back at the height it had
    pa3dCTF->setVisible(pa3dCTF->isHidden());
    // Both bars' buttons follow the menu item, whichever of the three was used.
    m_bar2d->btnShow3D->setChecked(N3D1->isChecked());
    m_bar1d->btnShow3D->setChecked(N3D1->isChecked());
    if (m_session->viewChoices().mapShown) {
        setPaneSize(Splitter1, 1, m_mapHeight);
        Draw3DCTF();
    }
}

void TForm1::N1DCTFPlotMode1Click()
{
    ChangeMode();
}

} // namespace orvalis
