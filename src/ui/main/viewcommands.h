#pragma once
// The commands that choose what the main window shows: the curve options, the panes, the two modes
// with their button bars, the plotter's two CTFs, the titles and the tool-bar row. Each takes the
// session's choice and sets the checks and panes that show it.
#include "ui/main/aberrationcontrols.h"

#include <QObject>

#include <optional>

class QAction;

namespace orvalis {

class AberrationControls;
class CtfSession;
class MainBody;
class StatusPanels;
class ToolBarRow;
class WindowActions;
struct OpticsState;
struct ViewChoices;
struct WindowSettings;

class ViewCommands : public QObject {
public:
    struct Parts {
        CtfSession *session;
        WindowActions *actions;
        MainBody *body;
        StatusPanels *status;
        AberrationControls *controls;
        ToolBarRow *row;
    };
    ViewCommands(QObject *parent, const Parts &parts);

    void Intensity1Click();
    void Symmetr1Click();
    void Temporal1Click();
    void Spatial1Click();
    void Combined1Click();
    void Show2DCTF1Click();
    void Enable2DUpdate1Click();
    void N3D1Click();
    void actShowTitlesExecute();
    void ShowToolbar1Click();
    void chooseCtf(bool second); // plotter mode: the CTF the controls act on
    void btnEnvelopesClick();
    void toggleRelionSign(); // the CTF's sign on the chart and in its tables
    void toggleSampled();    // the pattern as the detector records it

    void ApplyViewState(); // the session's choices as the menu items and buttons show them
    void enterMode(bool plotter);
    // The mode switch (N1DCTFPlotMode1Click and the two mode buttons): into the other mode.
    void ChangeMode();
    void applyStored(const WindowSettings &settings);
    void capture(WindowSettings &settings) const;

private:
    void toggleEnvelope(void (CtfSession::*choose)(bool), bool ViewChoices::*choice, QAction *item, int series,
                        int mirrorSeries);
    void showModeSeries();

    // Plotter mode: the CTF the controls act on becomes `second`, the other's instrument loaded.
    void switchCtf(bool second);

    Parts m_parts;
    const OpticsState &m_state; // the session's
    // What the user had dialled in for each CTF when the other was chosen, to come back to it.
    std::optional<DialledAberrations> m_kept[2];
};

} // namespace orvalis
