#pragma once
// The aberration controls as the session's: loading an instrument sets their positions and texts,
// a user's step or typed value reaches the session and redraws (coarsely while dragging), and the
// working ranges are the session's, the sliders showing them.
#include <QObject>

class QWidget;

namespace orvalis {

class CtfSession;
class MainBody;
class SliderPanel;
class ViewPainter;
struct OpticsState;
struct OptionRanges;
struct TScopeData;

class AberrationControls : public QObject {
public:
    AberrationControls(QWidget *window, CtfSession *session, MainBody *body, ViewPainter *painter);

    // An instrument the formulas cannot use is refused with a message box over the window.
    bool loadInstrument(const TScopeData &scope);
    void showInstrument(); // the controls and texts of the instrument the session loaded

    void changed(int row);           // a slider's new position (SliderPanel::Row)
    void scrolled(bool end);         // a user's step, or the end of a drag
    void entered(int row);           // Enter in a row's field
    void jumped(int row);            // "S", "0", "0"
    void setDefocus(double defocus); // moves the defocus slider as a program's change
    // The sliders, fields and ranges show the session's defocus and two-fold astigmatism as a
    // program's change (a fit applied), and the views are drawn once more for what has no slider.
    void showAberrations();

    // Sets the aberrations exactly as given (nm, nm, rad, rad), not rounded to the sliders' steps, and
    // redraws: the sliders and fields show them as near as their steps allow.
    void setAberrations(double defocus, double a2, double a2Azimuth, double a3Azimuth);

    void setDefocusRange(int minimum, int maximum); // never empty; the defocus map follows it
    void applyWorkingRanges(const OptionRanges &ranges);
    void showStoredRanges(); // the sliders take the session's ranges

private:
    void moveSlider(int row, int position);
    int stepsPerNm() const; // of the defocus slider: 10 with fine defocus
    int defocusPosition(double defocus) const;
    QString defocusText(double defocus) const;
    // The defocus slider's range and position in its steps, without the change that moving it raises.
    void showDefocusSteps();
    void enterDefocus();
    void enterAstigmatism(int row);

    QWidget *m_window;
    CtfSession *m_session;
    OpticsState &m_state; // the session's
    SliderPanel *m_sliders;
    MainBody *m_body;
    ViewPainter *m_painter;
};

} // namespace orvalis
