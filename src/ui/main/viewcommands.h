#pragma once
// The commands that choose what the main window shows: the curve options, the panes, the two modes
// with their button bars, the plotter's two CTFs, the titles and the tool-bar row. Each takes the
// session's choice and sets the checks and panes that show it; what belongs to other parts (the
// controls' CTF, the status bar's mode, the tool-bar row) it tells by its signals.
#include <QObject>

class QAction;

namespace orvalis {

class CtfSession;
class MainBody;
class WindowActions;
struct OpticsState;
struct ViewChoices;
struct WindowSettings;

class ViewCommands : public QObject {
    Q_OBJECT
public:
    struct Parts {
        CtfSession *session;
        WindowActions *actions;
        MainBody *body;
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

signals:
    // Plotter mode: the CTF the controls act on becomes `second`, its instrument loaded.
    void ctfChosen(bool second);
    // Plotter mode entered: the other CTF's curve is drawn as choosing it would draw it.
    void otherCtfWanted();
    void modeEntered(bool plotter);
    void toolBarShown(bool shown);

private:
    void toggleEnvelope(void (CtfSession::*choose)(bool), bool ViewChoices::*choice, QAction *item, int series,
                        int mirrorSeries);
    void showModeSeries();

    Parts m_parts;
    const OpticsState &m_state; // the session's
};

} // namespace orvalis
