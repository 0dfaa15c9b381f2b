#pragma once
// The aberration controls as the session's: loading an instrument sets their positions and texts,
// a user's step or typed value reaches the session (coarsely while dragging), whose change redraws
// the views; a step that sets several values is one Batch, drawn once. The working ranges are the
// session's, the sliders showing them.
#include "core/conventions.h"

#include <QObject>

#include <functional>
#include <optional>

class QWidget;

namespace orvalis {

class CtfSession;
class MainBody;
class SliderPanel;
struct OpticsState;
struct OptionRanges;
struct TScopeData;

// The aberrations the controls set, and the magnification: what a user has dialled in for one CTF.
struct DialledAberrations {
    double defocus = 0, a2 = 0, a2Azimuth = 0, a3 = 0, a3Azimuth = 0; // nm, nm, rad, nm, rad
    int magnification = 0;                                            // slider position
};

class AberrationControls : public QObject {
    Q_OBJECT
public:
    AberrationControls(QWidget *window, CtfSession *session, MainBody *body);

    // An instrument the formulas cannot use is refused with a message box over the window.
    bool ScopeInit(const TScopeData &scope);
    // Loads the instrument again for what new working ranges derive from it (the limits along the
    // curve up to UpTo), keeping every aberration and the magnification as they were: a change of
    // ranges is no new instrument.
    bool reloadInstrument(const TScopeData &scope);
    // Loads the instrument and sets `kept` on it, shown on the controls and drawn.
    bool loadKeeping(const TScopeData &scope, const DialledAberrations &kept);
    DialledAberrations dialled() const;
    void showInstrument(); // the controls and texts of the instrument the session loads

    void changed(int row, int position); // a slider's new position (SliderPanel::Row), as it moved
    void scrolled(int row, bool end);    // a user's step on any slider, or the end of a drag
    void entered(int row);               // Enter in a row's field
    void jumped(int row);                // "S", "0", "0"
    void setDefocus(double defocus);     // moves the defocus slider as a program's change
    // The sliders, fields and ranges show the session's defocus and two-fold astigmatism as a
    // program's change (a fit applied), and the views are drawn once more for what has no slider.
    void showAberrations();

    // Sets the aberrations exactly as given (nm, nm, rad, rad), not rounded to the sliders' steps, and
    // redraws: the sliders and fields show them as near as their steps allow.
    void setAberrations(double defocus, double a2, double a2Azimuth, double a3Azimuth);

    // A program's move of a slider: sampled in full, as typed values and the jump buttons move them.
    void moveSlider(int row, int position);
    void setDefocusRange(int minimum, int maximum); // never empty; the defocus map follows it
    void applyWorkingRanges(const OptionRanges &ranges);
    // The options dialog's ranges; with `reload` the instrument is loaded again for them, keeping every
    // aberration (new ranges are no new instrument).
    void applyOptions(const OptionRanges &ranges, bool reload);
    void showStoredRanges(); // the sliders take the session's ranges

    // Plotter mode: the controls act on the second CTF or the first, its instrument loaded; each
    // CTF keeps what was dialled in for it, to come back to it.
    void switchCtf(bool second);
    // The CTF the controls do not act on, drawn with what was dialled in for it.
    void drawOtherCtf();

signals:
    // A defocus typed and entered, once it is set: the map is built again while it is shown.
    void defocusEntered();
    // Something the user should know of a step just taken, for the status bar.
    void statusMessage(const QString &text);

private:
    int stepsPerNm() const; // of the defocus slider: 10 with fine defocus
    int defocusPosition(double defocus) const;
    QString defocusText(double defocus) const;
    // The defocus slider's range and position in its steps, without the change that moving it raises.
    void showDefocusSteps();
    void enterDefocus();
    void enterDefocusValue();
    bool keptAsShown(int row, int position, const std::function<void()> &set);
    void enterAstigmatism(int row);
    // The three-fold field's text for the session's A3 in the chosen convention; `programText` is
    // the program's own.
    QString a3Text(const QString &programText) const;
    // The label, the three-fold field and the resolutions as the chosen conventions show them.
    void showConventions();

    QWidget *m_window;
    CtfSession *m_session;
    const OpticsState &m_state; // the session's
    // The window's own feedback guard: a slider moved by the program (not by a user's step) is
    // sampled in full, unless an instrument is being shown, whose moves are coarse.
    bool m_programmatic = false;
    bool m_loading = false;
    SliderPanel *m_sliders;
    MainBody *m_body;
    // What the user had dialled in for each CTF when the other was chosen.
    std::optional<DialledAberrations> m_kept[2];
    Conventions m_shownConventions; // as the labels show them
};

} // namespace orvalis
