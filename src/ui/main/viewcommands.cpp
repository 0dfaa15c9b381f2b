#include "viewcommands.h"

#include "chart/chart1series.h"
#include "session/ctfsession.h"
#include "store/windowsettings.h"
#include "ui/main/curvepane.h"
#include "ui/main/mainbody.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/errorreport.h"

#include <QAction>

#include <utility>

namespace orvalis {

ViewCommands::ViewCommands(QObject *parent, const Parts &parts)
    : QObject(parent), m_parts(parts), m_state(parts.session->state())
{
    connectReported(parts.actions->RelionSign1, &QAction::triggered, this, &ViewCommands::toggleRelionSign);
    connectReported(parts.actions->Sampled2D1, &QAction::triggered, this, &ViewCommands::toggleSampled);
}

// The session turns the curves it holds; its change shows them again.
void ViewCommands::toggleRelionSign()
{
    m_parts.session->setRelionSign(!m_parts.session->viewChoices().relionSign);
    m_parts.actions->RelionSign1->setChecked(m_parts.session->viewChoices().relionSign);
}

void ViewCommands::toggleSampled()
{
    m_parts.session->setSampled2D(!m_parts.session->viewChoices().sampled2D);
    m_parts.actions->Sampled2D1->setChecked(m_parts.session->viewChoices().sampled2D);
}

void ViewCommands::Intensity1Click()
{
    m_parts.session->setIntensity(!m_parts.session->viewChoices().intensity);
    m_parts.actions->Intensity1->setChecked(m_parts.session->viewChoices().intensity);
}

void ViewCommands::Symmetr1Click()
{
    m_parts.session->setSymmetric(!m_parts.session->viewChoices().symmetric);
    m_parts.actions->Symmetr1->setChecked(m_parts.session->viewChoices().symmetric);
}

// An envelope switched off loses its points in the session (whatever the mode) and on the chart; the
// curves are computed again once its series show the choice.
void ViewCommands::toggleEnvelope(void (CtfSession::*choose)(bool), bool ViewChoices::*choice, QAction *item,
                                  int series, int mirrorSeries)
{
    const CtfSession::Batch once(*m_parts.session);
    const bool on = !(m_parts.session->viewChoices().*choice);
    (m_parts.session->*choose)(on);
    item->setChecked(on);
    for (int s : {series, mirrorSeries})
        m_parts.body->curves()->setSeriesVisible(static_cast<Chart1Series>(s), on);
}

void ViewCommands::Temporal1Click()
{
    toggleEnvelope(&CtfSession::setTemporal, &ViewChoices::temporal, m_parts.actions->Temporal1, S2Temporal,
                   S5TemporalNeg);
}

void ViewCommands::Spatial1Click()
{
    toggleEnvelope(&CtfSession::setSpatial, &ViewChoices::spatial, m_parts.actions->Spatial1, S3Spatial, S6SpatialNeg);
}

void ViewCommands::Combined1Click()
{
    toggleEnvelope(&CtfSession::setCombined, &ViewChoices::combined, m_parts.actions->Combined1, S4Combined,
                   S7CombinedNeg);
}

void ViewCommands::chooseCtf(bool second)
{
    if (!(second ? m_parts.actions->secondCtf : m_parts.actions->firstCtf)->isChecked())
        return;
    static constexpr int cleared[2][2] = {{S1Ctf, S4Combined}, {S8Ctf2, S7CombinedNeg}};
    {
        const CtfSession::Batch once(*m_parts.session);
        for (int s : cleared[second])
            m_parts.session->clearSeries(s);
    }
    emit ctfChosen(second); // the instrument loaded draws its curves
}

void ViewCommands::btnEnvelopesClick()
{
    const CtfSession::Batch once(*m_parts.session); // computed, when switched on, once they are shown
    m_parts.session->setShowEnvelopes(!m_parts.session->viewChoices().showEnvelopes);
    m_parts.actions->showEnvelopes->setChecked(m_parts.session->viewChoices().showEnvelopes);
    CurvePane *curves = m_parts.body->curves();
    if (m_parts.session->viewChoices().showEnvelopes) {
        curves->setSeriesVisible(S4Combined, true);
        curves->setSeriesVisible(S7CombinedNeg, true);
        return;
    }
    for (Chart1Series s : {S4Combined, S7CombinedNeg})
        curves->setSeriesVisible(s, false);
}

// The pattern is drawn, while live, once its pane is shown.
void ViewCommands::Show2DCTF1Click()
{
    const CtfSession::Batch once(*m_parts.session);
    m_parts.session->setShow2D(!m_parts.session->viewChoices().show2D);
    const bool show = m_parts.session->viewChoices().show2D;
    m_parts.actions->setPatternShown(show);
    m_parts.body->pattern()->setVisible(show);
    m_parts.session->setPatternLive(show);
    if (show) {
        // Shown again, the pattern is live whatever "Enable Update" says: its button goes down.
        m_parts.session->setLive2D(true);
        m_parts.actions->liveUpdate->setChecked(m_parts.session->viewChoices().live2D);
    }
}

void ViewCommands::Enable2DUpdate1Click()
{
    CtfSession &session = *m_parts.session;
    const CtfSession::Batch once(session);
    const bool live = !session.liveChecked();
    session.setLiveChecked(live);
    session.setLive2D(live);
    session.setPatternLive(live);
    m_parts.actions->Enable2DUpdate1->setChecked(session.liveChecked());
    m_parts.actions->liveUpdate->setChecked(session.viewChoices().live2D);
}

// The map is built once its pane is shown.
void ViewCommands::N3D1Click()
{
    const CtfSession::Batch once(*m_parts.session);
    m_parts.session->setMapShown(!m_parts.session->viewChoices().mapShown);
    const bool show = m_parts.session->viewChoices().mapShown;
    m_parts.actions->setMapShown(show);
    m_parts.body->showMap(show);
}

void ViewCommands::actShowTitlesExecute()
{
    const bool show = !m_parts.actions->actShowTitles->isChecked();
    m_parts.body->setTitlesVisible(show);
    m_parts.actions->actShowTitles->setChecked(show);
}

void ViewCommands::ShowToolbar1Click()
{
    const bool show = !m_parts.actions->ShowToolbar1->isChecked();
    emit toolBarShown(show);
    m_parts.actions->ShowToolbar1->setChecked(show);
}

void ViewCommands::ApplyViewState()
{
    const ViewChoices v = m_parts.session->viewChoices();
    m_parts.session->setLiveChecked(v.live2D);
    m_parts.session->setPatternLive(v.live2D);
    const WindowActions &a = *m_parts.actions;
    const std::pair<QAction *, bool> ticks[] = {
        {a.Show2DCTF1, v.show2D},      {a.Enable2DUpdate1, m_parts.session->liveChecked()},
        {a.N3D1, v.mapShown},          {a.Combined1, v.combined},
        {a.Spatial1, v.spatial},       {a.Temporal1, v.temporal},
        {a.Intensity1, v.intensity},   {a.Symmetr1, v.symmetric},
        {a.RelionSign1, v.relionSign}, {a.Sampled2D1, v.sampled2D}};
    for (const auto &tick : ticks)
        tick.first->setChecked(tick.second);
    m_parts.actions->setPatternShown(v.show2D);
    m_parts.body->pattern()->setVisible(v.show2D);
    a.liveUpdate->setChecked(v.live2D);
    m_parts.actions->setMapShown(v.mapShown);
    m_parts.body->map()->setVisible(v.mapShown);
    a.showEnvelopes->setChecked(v.showEnvelopes);
    m_parts.body->setTitlesVisible(a.actShowTitles->isChecked());
    emit toolBarShown(a.ShowToolbar1->isChecked());
    m_parts.actions->setDetectorSet(m_state.PixelSize > 0);
}

void ViewCommands::ChangeMode()
{
    enterMode(!m_parts.session->viewChoices().plotterMode);
}

// Each mode starts from its own empty series; plotter mode keeps "CTF 2". The mode's curves (and
// analysis mode's pattern) are drawn once the panes show the mode. The start enters the mode it
// has drawn already: its series stay.
void ViewCommands::enterMode(bool plotter)
{
    // Analysis mode shows the first CTF, the instrument kept at close: one that came back only at
    // the next start would be a surprise.
    if (!plotter && m_parts.session->secondActive()) {
        m_parts.actions->firstCtf->setChecked(true);
        emit ctfChosen(false);
    }
    const bool change = plotter != m_parts.session->viewChoices().plotterMode;
    {
        const CtfSession::Batch once(*m_parts.session);
        m_parts.session->setPlotterMode(plotter);
        m_parts.actions->setPlotterMode(plotter);
        m_parts.body->curves()->setPlotterMode(plotter);
        emit modeEntered(plotter);
        if (plotter) {
            m_parts.session->setPatternLive(false);
            m_parts.body->pattern()->hide();
        } else if (m_parts.session->viewChoices().show2D) {
            m_parts.session->setPatternLive(true);
            m_parts.body->pattern()->show();
        }
        m_parts.body->dockModeBar(plotter);
        if (change && plotter) {
            for (int i = S1Ctf; i <= S7CombinedNeg; ++i)
                m_parts.body->curves()->clearSeries(static_cast<Chart1Series>(i));
        } else if (change) {
            m_parts.body->curves()->clearAll();
        }
        showModeSeries();
    }
    if (plotter) {
        emit otherCtfWanted(); // the legend names both CTFs: both are drawn at once
        return;
    }
    m_parts.session->setPatternLive(m_parts.session->liveChecked());
}

// The combined-envelope series serve both modes: each mode shows them as its own switches say,
// whatever the other mode left.
void ViewCommands::showModeSeries()
{
    CurvePane *curves = m_parts.body->curves();
    if (m_state.PlotterMode) {
        curves->setSeriesVisible(S4Combined, m_state.ShowEnvelopes);
        curves->setSeriesVisible(S7CombinedNeg, m_state.ShowEnvelopes);
        return;
    }
    const ViewChoices v = m_parts.session->viewChoices();
    const std::pair<bool, Chart1Series> envelopes[] = {{v.temporal, S2Temporal},  {v.spatial, S3Spatial},
                                                       {v.combined, S4Combined},  {v.temporal, S5TemporalNeg},
                                                       {v.spatial, S6SpatialNeg}, {v.combined, S7CombinedNeg}};
    for (const auto &e : envelopes)
        curves->setSeriesVisible(e.second, e.first);
}

// The view choices are the session's (applyViewState shows them); the tool bar and the titles are
// the window's own.
void ViewCommands::applyStored(const WindowSettings &s)
{
    if (s.Toolbar)
        m_parts.actions->ShowToolbar1->setChecked(*s.Toolbar);
    if (s.Headers)
        m_parts.actions->actShowTitles->setChecked(*s.Headers);
}

void ViewCommands::capture(WindowSettings &s) const
{
    s.Toolbar = m_parts.actions->ShowToolbar1->isChecked();
    s.Headers = m_parts.actions->actShowTitles->isChecked();
}

} // namespace orvalis
