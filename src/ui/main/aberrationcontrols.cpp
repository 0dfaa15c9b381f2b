#include "aberrationcontrols.h"

#include "core/instrumentload.h"
#include "core/numberformat.h"
#include "core/optionranges.h"
#include "core/units.h"
#include "session/ctfsession.h"
#include "ui/main/curvepane.h"
#include "ui/main/infopanel.h"
#include "ui/main/mainbody.h"
#include "ui/main/sliderpanel.h"
#include "ui/widgets/errorreport.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <functional>

namespace orvalis {

AberrationControls::AberrationControls(QWidget *window, CtfSession *session, MainBody *body)
    : QObject(window), m_window(window), m_session(session), m_state(session->state()), m_sliders(body->sliders()),
      m_body(body)
{
    // Inside the load's change: the sliders' rounded values are drawn with the instrument, once.
    connect(session, &CtfSession::instrumentChanged, this, &AberrationControls::showInstrument);
    connect(session, &CtfSession::changed, this, [this](CtfSession::Changes what) {
        if (what.testFlag(CtfSession::Change::View) && m_session->conventions() != m_shownConventions)
            showConventions();
    });
}

QString AberrationControls::a3Text(const QString &programText) const
{
    return a3FieldText(m_state.A3, m_session->conventions().a3, programText);
}

void AberrationControls::showConventions()
{
    m_shownConventions = m_session->conventions();
    if (auto *label = m_sliders->findChild<QLabel *>(QStringLiteral("Label5"))) {
        label->setText(a3LabelText(m_shownConventions.a3));
        label->setToolTip(m_shownConventions.a3 == A3Convention::Corrector
                              ? QStringLiteral("Typed and shown as the corrector's three-fold astigmatism "
                                               "coefficient (A2, C23); this program's A3 is 2\u03C0 times it")
                              : QString());
    }
    m_sliders->setFieldText(SliderPanel::Astigmatism3, a3Text(formatGeneral(m_state.A3)));
    m_body->info()->setTexts(m_session->treeTexts());
    m_body->info()->writeLine(1, 0, m_session->pointResolutionText());
    m_body->info()->writeLine(1, 1, m_session->infoLimitText());
}

bool AberrationControls::ScopeInit(const TScopeData &scope)
{
    QString refused;
    if (m_session->loadInstrument(scope, &refused))
        return true; // shown by showInstrument
    showErrorReport(refused, m_window);
    return false;
}

DialledAberrations AberrationControls::dialled() const
{
    return {m_state.Defocus, m_state.A2,        m_state.A2Azimuth,
            m_state.A3,      m_state.A3Azimuth, m_session->magnificationPosition()};
}

bool AberrationControls::reloadInstrument(const TScopeData &scope)
{
    return loadKeeping(scope, dialled());
}

bool AberrationControls::loadKeeping(const TScopeData &scope, const DialledAberrations &before)
{
    const int magnification = before.magnification;
    if (!ScopeInit(scope))
        return false;
    const CtfSession::Batch once(*m_session); // the aberrations kept are drawn once
    {
        // The sliders show them as near as their steps allow; their change would round them.
        const QSignalBlocker quiet(m_sliders);
        m_sliders->setPosition(SliderPanel::Astigmatism3, roundToInt(before.a3));
        m_sliders->setPosition(SliderPanel::Magnification, magnification);
    }
    m_session->setA3(before.a3, false);
    m_session->setMagnificationPosition(magnification, false);
    m_sliders->setFieldText(SliderPanel::Astigmatism3, a3Text(formatFixed(m_state.A3, 0)));
    m_sliders->setFieldText(SliderPanel::Magnification, magnificationText(magnificationAt(magnification)));
    m_sliders->setConvergenceText(convergenceLabelText(m_state.Alpha));
    setAberrations(before.defocus, before.a2, before.a2Azimuth, before.a3Azimuth);
    m_body->info()->setTexts(m_session->treeTexts());
    return true;
}

void AberrationControls::showInstrument()
{
    m_loading = true;
    m_programmatic = true;
    m_body->curves()->setFrequencyEnd(m_state.UpTo, false);

    // Each move raises the slider's change event at once, which (once start-up is over) recomputes
    // its value from the new position; the load draws them.
    m_sliders->setPosition(SliderPanel::Defocus, defocusPosition(m_state.Defocus));
    m_sliders->setFieldText(SliderPanel::Defocus, defocusText(m_state.Defocus));
    m_sliders->setPosition(SliderPanel::Astigmatism, 0);
    m_sliders->setFieldText(SliderPanel::Astigmatism, QStringLiteral("0"));
    m_sliders->setPosition(SliderPanel::Astigmatism3, roundToInt(m_state.A3));
    m_sliders->setFieldText(SliderPanel::Astigmatism3, a3Text(formatFixed(m_state.A3, 0)));
    m_sliders->setPosition(SliderPanel::Magnification, MagnificationLoadPosition);
    m_sliders->setFieldText(SliderPanel::Magnification,
                            magnificationText(magnificationAt(m_sliders->position(SliderPanel::Magnification))));
    m_sliders->setConvergenceText(convergenceLabelText(m_state.Alpha));
    m_loading = false;
    m_session->setSampling(false);

    m_body->info()->setTexts(m_session->treeTexts());
    // Conventions read from the settings before these controls listened.
    if (m_session->conventions() != m_shownConventions)
        showConventions();
}

// A user's step arrives as a scroll event (clearing the program's mark) and then a change event that
// is drawn coarsely; the end of the drag is drawn once more in full.
void AberrationControls::scrolled(int, bool end)
{
    if (!m_state.Initialised)
        return;
    m_programmatic = false;
    if (end)
        m_session->setSampling(false);
}

void AberrationControls::changed(int row, int position)
{
    if (!m_state.Initialised)
        return;
    const bool coarse = !m_programmatic || m_loading || m_session->coarse();
    switch (row) {
    case SliderPanel::Defocus:
        // Tenths of a nanometre with fine defocus.
        m_session->setDefocus(stepsPerNm() == 1 ? -position : tenthsToNm(-position), coarse);
        m_sliders->setFieldText(SliderPanel::Defocus, formatGeneral(m_state.Defocus));
        break;
    case SliderPanel::Astigmatism:
        m_session->setA2(position, coarse);
        m_sliders->setFieldText(SliderPanel::Astigmatism, formatGeneral(m_state.A2));
        break;
    case SliderPanel::Astigmatism3:
        m_session->setA3(position, coarse);
        m_sliders->setFieldText(SliderPanel::Astigmatism3, a3Text(formatGeneral(m_state.A3)));
        break;
    default:
        m_session->setMagnificationPosition(position, coarse);
        m_sliders->setFieldText(SliderPanel::Magnification, magnificationText(magnificationAt(position)));
        m_sliders->setConvergenceText(convergenceLabelText(m_state.Alpha));
        m_body->info()->writeLine(0, 8, m_session->convergenceText());
    }
    m_programmatic = false;
}

// A program's move of a slider samples in full.
void AberrationControls::moveSlider(int row, int position)
{
    const CtfSession::Batch once(*m_session);
    m_session->setSampling(false);
    m_programmatic = true;
    m_sliders->setPosition(static_cast<SliderPanel::Row>(row), position); // the slider clamps to its range
    m_programmatic = false;
}

// "S" goes to the extended Scherzer defocus (not Scherzer's own), within the slider's range. A
// corrected instrument's optimum of a few nanometres loses much to the whole nanometres of the
// slider: the user is told, and how to get it exactly.
void AberrationControls::jumped(int row)
{
    moveSlider(row, row == SliderPanel::Defocus ? defocusPosition(m_state.ExtScherzer) : 0);
    if (row != SliderPanel::Defocus)
        return;
    const QString note = scherzerRoundingNote(m_state.ExtScherzer, m_state.Defocus, stepsPerNm() != 1);
    if (!note.isEmpty())
        emit statusMessage(note);
}

void AberrationControls::setDefocus(double defocus)
{
    if (keptAsShown(SliderPanel::Defocus, defocusPosition(defocus),
                    [&] { m_session->setDefocus(defocus, m_session->coarse()); }))
        return;
    m_sliders->setPosition(SliderPanel::Defocus, defocusPosition(defocus)); // its change sets the value
}

// A value the slider already shows raises no change: it is kept as given, and the views keep what
// they show. Otherwise the slider's move sets it, rounded to its step.
bool AberrationControls::keptAsShown(int row, int position, const std::function<void()> &set)
{
    if (m_sliders->position(static_cast<SliderPanel::Row>(row)) != position)
        return false;
    const QSignalBlocker quiet(m_session);
    set();
    return true;
}

int AberrationControls::stepsPerNm() const
{
    return defocusStepsPerNm(m_session->ranges());
}

// The slider's position is the negated defocus in its steps.
int AberrationControls::defocusPosition(double defocus) const
{
    return -roundToInt(defocus * stepsPerNm());
}

QString AberrationControls::defocusText(double defocus) const
{
    return formatFixed(defocus, stepsPerNm() == 1 ? 0 : 1);
}

void AberrationControls::showDefocusSteps()
{
    const OptionRanges ranges = m_session->ranges();
    const int steps = stepsPerNm();
    const QSignalBlocker quiet(m_sliders); // the state keeps its defocus; only the scale changes
    m_sliders->setRange(SliderPanel::Defocus, ranges.defocusMin * steps, ranges.defocusMax * steps);
    m_sliders->setPosition(SliderPanel::Defocus, defocusPosition(m_state.Defocus));
    m_sliders->setFieldText(SliderPanel::Defocus, defocusText(m_state.Defocus));
}

void AberrationControls::setAberrations(double defocus, double a2, double a2Azimuth, double a3Azimuth)
{
    if (!m_state.Initialised)
        return;
    const CtfSession::Batch once(*m_session);
    OptionRanges ranges = m_session->ranges();
    // A value beyond a slider's end widens it, as a typed one does.
    const int below = static_cast<int>(std::floor(-defocus)), above = static_cast<int>(std::ceil(-defocus));
    if (below < ranges.defocusMin || above > ranges.defocusMax)
        setDefocusRange(std::min(below, ranges.defocusMin), std::max(above, ranges.defocusMax));
    const int a2Top = static_cast<int>(std::ceil(a2));
    if (a2Top > ranges.a2Max) {
        m_session->setA2Maximum(a2Top);
        m_sliders->setMaximum(SliderPanel::Astigmatism, a2Top);
    }
    {
        // The sliders show the values as near as their steps allow; their change would round them.
        const QSignalBlocker quiet(m_sliders);
        m_sliders->setPosition(SliderPanel::Defocus, defocusPosition(defocus));
        m_sliders->setPosition(SliderPanel::Astigmatism, roundToInt(a2));
    }
    m_session->setA2Azimuth(a2Azimuth);
    m_session->setA3Azimuth(a3Azimuth);
    m_session->setA2(a2, false);
    m_session->setDefocus(defocus, false);
    // As near as the fields' own steps go: Enter there takes them back as they read.
    m_sliders->setFieldText(SliderPanel::Defocus, defocusText(m_state.Defocus));
    m_sliders->setFieldText(SliderPanel::Astigmatism, formatFixed(m_state.A2, 0));
}

void AberrationControls::showAberrations()
{
    const CtfSession::Batch once(*m_session);
    showStoredRanges();
    // In the slider's own steps (tenths of a nanometre with fine defocus) and the fields' precision,
    // as every other way of setting them shows them.
    moveSlider(SliderPanel::Defocus, defocusPosition(m_state.Defocus));
    moveSlider(SliderPanel::Astigmatism, roundToInt(m_state.A2));
    m_sliders->setFieldText(SliderPanel::Defocus, defocusText(m_state.Defocus));
    m_sliders->setFieldText(SliderPanel::Astigmatism, formatFixed(m_state.A2, 0));
    // The azimuth and the phase shift move no slider: they are drawn with the step, in full.
    m_session->setSampling(false);
}

// Enter in edMagn commits the three-fold field; the magnification is never read back.
void AberrationControls::entered(int row)
{
    if (row == SliderPanel::Defocus)
        enterDefocus();
    else
        enterAstigmatism(row == SliderPanel::Astigmatism ? row : int(SliderPanel::Astigmatism3));
}

void AberrationControls::enterDefocus()
{
    enterDefocusValue();
    emit defocusEntered();
}

void AberrationControls::enterDefocusValue()
{
    const OptionRanges ranges = m_session->ranges();
    const double v = typedDefocus(m_sliders->fieldText(SliderPanel::Defocus), ranges);
    // Kept unrounded when the slider stays where it is.
    keptAsShown(SliderPanel::Defocus, defocusPosition(v), [&] { m_session->setDefocus(v, m_session->coarse()); });
    const CtfSession::Batch once(*m_session);
    // The range's ends are whole nanometres: a fine defocus beyond one widens it to the next.
    const int below = static_cast<int>(std::floor(-v)), above = static_cast<int>(std::ceil(-v));
    if (below < ranges.defocusMin)
        setDefocusRange(below, ranges.defocusMax);
    if (above > ranges.defocusMax)
        setDefocusRange(ranges.defocusMin, above);
    m_session->setSampling(false);
    m_programmatic = true;
    m_sliders->setPosition(SliderPanel::Defocus, defocusPosition(v));
    m_programmatic = false;
}

void AberrationControls::enterAstigmatism(int row)
{
    const bool twoFold = row == SliderPanel::Astigmatism;
    const auto r = static_cast<SliderPanel::Row>(row);
    // The corrector's coefficient, typed to a tenth, is kept as its exact A3; the slider shows it
    // as near as its whole nanometres allow.
    const double a3 = twoFold ? 0.0 : typedA3(m_sliders->fieldText(r), m_session->conventions().a3);
    const bool exact = !twoFold && m_session->conventions().a3 != A3Convention::Program;
    const int v = twoFold
        ? std::abs(typedWithin(m_sliders->fieldText(r), MaxAstigmatism, QStringLiteral("Astigmatism")))
        : roundToInt(a3);
    keptAsShown(row, v, [&] {
        if (twoFold)
            m_session->setA2(v, m_session->coarse());
        else
            m_session->setA3(exact ? a3 : v, m_session->coarse());
    });
    const CtfSession::Batch once(*m_session);
    if (v > (twoFold ? m_session->ranges().a2Max : m_session->ranges().a3Max)) {
        if (twoFold)
            m_session->setA2Maximum(v);
        else
            m_session->setA3Maximum(v);
        m_sliders->setMaximum(r, v);
    }
    moveSlider(row, v);
    if (exact && m_state.A3 != a3) {
        m_session->setA3(a3, false);
        m_sliders->setFieldText(r, a3Text(QString()));
    }
}

void AberrationControls::setDefocusRange(int minimum, int maximum)
{
    m_session->setDefocusRange(minimum, maximum); // never empty: the map divides by it
    const OptionRanges ranges = m_session->ranges();
    const int steps = stepsPerNm();
    m_sliders->setRange(SliderPanel::Defocus, ranges.defocusMin * steps, ranges.defocusMax * steps);
}

void AberrationControls::applyWorkingRanges(const OptionRanges &ranges)
{
    // A slider clamped into its new range sets its value through its change handler, in full like any
    // other change the program makes; they are drawn once, before UpTo changes.
    {
        const CtfSession::Batch once(*m_session);
        m_session->setSampling(false);
        m_programmatic = true;
        if (ranges.fineDefocus != m_session->ranges().fineDefocus && m_session->setFineDefocus(ranges.fineDefocus))
            showDefocusSteps();
        setDefocusRange(ranges.defocusMin, ranges.defocusMax);
        m_session->setA2Maximum(ranges.a2Max);
        m_session->setA3Maximum(ranges.a3Max);
        m_sliders->setMaximum(SliderPanel::Astigmatism, ranges.a2Max);
        m_sliders->setMaximum(SliderPanel::Astigmatism3, ranges.a3Max);
        m_programmatic = false;
    }
    m_session->setUpTo(ranges.upTo); // after the clamped sliders' redraw, which keeps the range shown
}

void AberrationControls::applyOptions(const OptionRanges &ranges, bool reload)
{
    applyWorkingRanges(ranges);
    if (reload)
        reloadInstrument(TScopeData(m_session->activeScopeRecord()));
}

void AberrationControls::showStoredRanges()
{
    const OptionRanges ranges = m_session->ranges();
    if (stepsPerNm() != 1)
        showDefocusSteps();
    setDefocusRange(ranges.defocusMin, ranges.defocusMax);
    m_sliders->setMaximum(SliderPanel::Astigmatism, ranges.a2Max);
    m_sliders->setMaximum(SliderPanel::Astigmatism3, ranges.a3Max);
}

// Choosing a CTF again, or leaving plotter mode for the first, brings back what was dialled in for it
// (defocus, both astigmatisms and their azimuths, the magnification). The active CTF chosen again is
// loaded afresh.
void AberrationControls::switchCtf(bool second)
{
    const bool other = m_session->secondActive() != second;
    if (other)
        m_kept[m_session->secondActive()] = dialled();
    m_session->setSecondActive(second);
    const TScopeData &record = second ? m_session->ScopeRecord2 : m_session->ScopeRecord1;
    if (other && m_kept[second]) {
        DialledAberrations kept = *m_kept[second];
        kept.defocus = record.Defocus;
        loadKeeping(record, kept);
        return;
    }
    ScopeInit(record);
    setDefocus(record.Defocus);
}

void AberrationControls::drawOtherCtf()
{
    const bool other = !m_session->secondActive();
    std::optional<int> magnification;
    if (m_kept[other])
        magnification = m_kept[other]->magnification;
    m_session->computeInactiveCurves(magnification);
}

} // namespace orvalis
