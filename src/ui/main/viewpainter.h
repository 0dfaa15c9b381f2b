#pragma once
// Draws what the session computes into the main window's panes: the 1D curves and their resolution
// lines, the 2D pattern with its ruler, the defocus map with its marker line; and reads the pointer
// over the chart and the pattern back into frequencies, curve values and the direction.
#include "session/ctfsession.h"

#include <QObject>
#include <QString>

#include <optional>
#include <utility>

class QWidget;

namespace orvalis {

class MainBody;
class MicrographController;
class StatusPanels;
struct OpticsState;

// What one change of the session redraws, decided in one place: the curves and the pattern for what
// they show (the direction turns only the 1D profile), the map's marker when the defocus was set
// under a shown map, and the map itself when the specimen's terms changed under a shown map, when a
// new instrument came (once the window has been painted: the start draws its first map itself) or
// when the defocus range left the map's (shown or not: the map's table reads it). An aberration
// never rebuilds the map: it spans every defocus. The pattern is drawn only while it is live. A
// micrograph's pixel size redraws nothing by itself: it comes with the micrograph's spectrum, whose
// arrival (MicrographController::changed) redraws. A view choice redraws the views it touches: the
// curves computed again, the pattern, or the map when its pane is shown. Curves the session holds
// but did not compute from the state (turned, emptied, the other CTF's) are shown as they are.
struct RedrawPlan {
    bool curves = false;
    bool series = false;
    bool pattern = false;
    bool marker = false;
    bool map = false;
    bool operator==(const RedrawPlan &o) const
    {
        return curves == o.curves && series == o.series && pattern == o.pattern && marker == o.marker && map == o.map;
    }
};
// What the painter knows of its panes when a change comes.
struct PaneState {
    bool mapVisible = false;
    bool markerPending = false;   // the window is still to be painted first
    bool mapRangeDiffers = false; // the map was built for another defocus range
};
RedrawPlan redrawPlan(CtfSession::Changes what, const PaneState &panes);

class ViewPainter : public QObject {
public:
    ViewPainter(QWidget *window, CtfSession *session, MainBody *body, StatusPanels *status);

    // The curves and the pattern at a defocus other than the session's, in the session's direction: a
    // record applied is drawn at its own defocus while the controls keep theirs.
    void drawAt(double defocus);
    // The astigmatism and the convergence reach the computations through the optics state.
    void DrawCTF(double defocus, double direction);
    void DrawPattern(double defocus); // only while the pattern is live
    void Draw3DCTF();
    void redraw(); // the curves, the pattern and the map of the state as it is: a run's first picture
    // A defocus typed rebuilds the map while it is shown.
    void defocusEntered();
    void PlaceDefocusMarker(double defocus);
    void layOutRuler();
    void showSeries(int series); // the session's points of a series of Chart1
    bool mapVisible() const;

    // The user's micrograph, once the window has one to show, takes the pattern's place and adds its
    // curves; its changes (a spectrum, shown or hidden, closed) redraw both.
    void setMicrographs(MicrographController *micrographs);

    // The map's marker is placed once the chart has been painted (its plot's edges known then).
    bool markerPending() const { return m_markerPending; }
    void Chart1AfterDraw();
    void Chart2AfterDraw();
    void Chart1MouseMove(int x, int y = 0); // y plays no part
    void Chart1MouseLeave();
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y); // any button

private:
    void redrawFor(CtfSession::Changes what);
    void drawCurves(std::optional<std::pair<double, double>> at); // defocus, direction
    void drawPattern(std::optional<double> defocus);
    void writeResolutionTexts();
    QString curveReadout(double k) const;

    CtfSession *m_session;
    const OpticsState &m_state; // the session's
    MainBody *m_body;
    StatusPanels *m_status;
    bool m_markerPending = true; // the map's marker waits for the chart's first paint, which lays it out
    MicrographController *m_micrographs = nullptr;
};

} // namespace orvalis
