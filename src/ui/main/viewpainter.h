#pragma once
// Draws what the session computes into the main window's panes: the 1D curves and their resolution
// lines, the 2D pattern with its ruler, the defocus map with its marker line; and reads the pointer
// over the chart and the pattern back into frequencies, curve values and the direction.
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

class QWidget;

namespace orvalis {

class CtfSession;
class MainBody;
class MicrographController;
class StatusPanels;
struct OpticsState;

class ViewPainter : public QObject {
public:
    ViewPainter(QWidget *window, CtfSession *session, MainBody *body, StatusPanels *status);

    // The astigmatism and the convergence reach the computations through the optics state.
    void DrawCTF(double defocus, double direction);
    void DrawPattern(double defocus); // only while the pattern is live
    void Draw3DCTF();
    void redraw(); // the curves and the pattern of the state as it is
    void PlaceDefocusMarker(double defocus);
    void layOutRuler();
    void showSeries(int series); // the session's points of a series of Chart1
    bool mapVisible() const;

    // The user's micrograph, once the window has one to show, takes the pattern's place and adds its curves.
    void setMicrographs(MicrographController *micrographs) { m_micrographs = micrographs; }

    // The map's marker is placed once the chart has been painted (its plot's edges known then).
    void setMarkerPending() { m_markerPending = true; }
    bool markerPending() const { return m_markerPending; }
    void Chart1AfterDraw();
    void Chart2AfterDraw();
    void Chart1MouseMove(int x, int y = 0); // y plays no part
    void Chart1MouseLeave();
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y); // any button

private:
    void drawCurves(std::optional<std::pair<double, double>> at); // defocus, direction
    void drawPattern(std::optional<double> defocus);
    void writeResolutionTexts();
    QString curveReadout(double k) const;

    QWidget *m_window;
    CtfSession *m_session;
    const OpticsState &m_state; // the session's
    MainBody *m_body;
    StatusPanels *m_status;
    bool m_markerPending = false; // the map's marker waits for the chart's first paint, which lays it out
    MicrographController *m_micrographs = nullptr;
};

} // namespace orvalis
