// The commands of the main window's menus, tool bar and button bars, by name: each sets its own
// check, then redraws what it changed.
#include "form1.h"

#include "chart/chartwidget.h"
#include "core/numberformat.h"
#include "session/ctfsession.h"
#include "chart/chart1series.h"
#include "ui/main/curvepane.h"
#include "ui/main/mappane.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/scrollbar.h"

#include <QAction>
#include <QMessageBox>
#include <QSplitter>

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
    m_actions->Intensity1->setChecked(m_session->viewChoices().intensity);
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::Symmetr1Click()
{
    m_session->setSymmetric(!m_session->viewChoices().symmetric);
    m_actions->Symmetr1->setChecked(m_session->viewChoices().symmetric);
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

// An envelope switched off loses its points in the session (whatever the mode) and on the chart.
void TForm1::toggleEnvelope(void (CtfSession::*choose)(bool), bool ViewChoices::*choice, QAction *item,
                            Chart1Series series, Chart1Series mirrorSeries)
{
    const bool on = !(m_session->viewChoices().*choice);
    (m_session->*choose)(on);
    item->setChecked(on);
    for (Chart1Series s : {series, mirrorSeries}) {
        if (!on)
            showSeries(s);
        m_curves->setSeriesVisible(s, on);
    }
    DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
}

void TForm1::Temporal1Click()
{
    toggleEnvelope(&CtfSession::setTemporal, &ViewChoices::temporal, m_actions->Temporal1, S2Temporal, S5TemporalNeg);
}

void TForm1::Spatial1Click()
{
    toggleEnvelope(&CtfSession::setSpatial, &ViewChoices::spatial, m_actions->Spatial1, S3Spatial, S6SpatialNeg);
}

void TForm1::Combined1Click()
{
    toggleEnvelope(&CtfSession::setCombined, &ViewChoices::combined, m_actions->Combined1, S4Combined, S7CombinedNeg);
}

void TForm1::btn1stCTFClick()
{
    if (!m_actions->firstCtf->isChecked())
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
    if (!m_actions->secondCtf->isChecked())
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
    m_session->setShowEnvelopes(m_actions->showEnvelopes->isChecked());
    if (m_session->viewChoices().showEnvelopes) {
        m_curves->setSeriesVisible(S4Combined, true);
        m_curves->setSeriesVisible(S7CombinedNeg, true);
        DrawCTF(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
        return;
    }
    for (Chart1Series s : {S4Combined, S7CombinedNeg}) {
        showSeries(s);
        m_curves->setSeriesVisible(s, false);
    }
    m_curves->replotSoon();
}

void TForm1::Show2DCTF1Click()
{
    m_session->setShow2D(!m_session->viewChoices().show2D);
    const bool show = m_session->viewChoices().show2D;
    m_actions->setPatternShown(show);
    pa2Dctf->setVisible(show);
    if (show) {
        // Shown again, the pattern is live whatever "Enable Update" says: its button goes down.
        m_patternDrawFlag = true;
        m_session->setLive2D(true);
        m_actions->liveUpdate->setChecked(true);
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    } else {
        m_patternDrawFlag = false;
    }
}

void TForm1::Enable2DUpdate1Click()
{
    if (!m_actions->Enable2DUpdate1->isChecked()) {
        m_actions->Enable2DUpdate1->setChecked(true);
        m_session->setLive2D(true);
        m_actions->liveUpdate->setChecked(true);
        m_patternDrawFlag = true;
        DrawPattern(m_state.Defocus, m_state.A2, m_state.A3, m_state.Alpha, m_state.Direction);
    } else {
        m_actions->Enable2DUpdate1->setChecked(false);
        m_session->setLive2D(false);
        m_actions->liveUpdate->setChecked(false);
        m_patternDrawFlag = false;
    }
}

void TForm1::N3D1Click()
{
    m_session->setMapShown(!m_session->viewChoices().mapShown);
    const bool show = m_session->viewChoices().mapShown;
    m_actions->setMapShown(show);
    if (!m_map->isHidden())
        m_mapHeight = m_map->height(); // it comes back at the height it had
    m_map->setVisible(show);
    if (show) {
        setPaneSize(Splitter1, 1, m_mapHeight);
        Draw3DCTF();
    }
}

void TForm1::N1DCTFPlotMode1Click()
{
    ChangeMode();
}

} // namespace orvalis
