#pragma once
// The main window: it shows a CTF session in its panes and runs every redraw synchronously inside the
// event that caused it. Who owns what:
// - CtfSession: the optics state, both scope records, the view choices (live 2D and the pattern's
//   draw flag, monochrome, the sign, the sampled view), the ranges (fine defocus) and what is computed
//   from them. Nothing writes the state but its setters; each tells changed(flags).
// - AberrationControls: the sliders and fields, with the window's own feedback guard (a program's
//   move is sampled in full, a user's drag coarsely); it hands values to the session.
// - ViewPainter: draws the curves, the pattern and the map the session computes (DrawCTF,
//   DrawPattern, Draw3DCTF) and reads the pointer back. It follows the session's changed(flags):
//   what a change redraws is decided in redrawPlan(); a controller only calls the session's setters,
//   in one Batch where a user's step sets several values. ViewCommands, SetupDialogs, SaveCommands
//   and HelpDialogs own the menu commands under their handler names.
// - CurvePane follows the session's changed(): its look (monochrome, intensity axes, the direction
//   note, the legend) without a redraw of the curves.
// This class only builds the parts, wires them and keeps the window's settings and events.
#include "core/opticsstate.h"
#include "core/scopedata.h"
#include "session/ctfsession.h"
#include "ui/main/aberrationcontrols.h"
#include "ui/main/helpdialogs.h"
#include "ui/main/infopanel.h"
#include "ui/main/mainbody.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/savecommands.h"
#include "ui/main/setupdialogs.h"
#include "ui/main/sliderpanel.h"
#include "ui/main/viewcommands.h"
#include "ui/main/viewpainter.h"
#include "ui/main/windowstore.h"

#include <QImage>
#include <QMainWindow>
#include <QString>

#include <memory>

namespace orvalis {

class MicrographController;
class StatusPanels;
class TAboutBox;
class TfmBtnBar1dCTF;
class TfmBtnBar2dCTF;
class TfmInfo;
class TfmMicroSetup;
class TfmQuickEdit;
class TfmUsed;
class ToolBarRow;
class WindowActions;

class TForm1 : public QMainWindow {
    Q_OBJECT
    CtfSession *m_session; // what is drawn, stored and saved is read from here

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    CtfSession &session() { return *m_session; }
    const OpticsState &state() const { return m_state; }
    TScopeData &ScopeRecord1; // the session's instrument of the first CTF
    TScopeData &ScopeRecord2; // the session's instrument of the second CTF (plotter mode)

    // The parts, each owning its handlers under their names: the panes (body), the aberration
    // controls (ScopeInit, ScrollBar1Change ...), the drawing (DrawCTF, DrawPattern, Draw3DCTF and
    // the pointer handlers), the view commands (Show2DCTF1Click, ChangeMode ...), the setup dialogs
    // (ApplyScopeRecord, Options1Click ...), the saves and the help.
    MainBody &body() { return *m_body; }
    AberrationControls &controls() { return *m_controls; }
    ViewPainter &painter() { return *m_painter; }
    ViewCommands &views() { return *m_views; }
    SetupDialogs &setup() { return *m_setup; }
    SaveCommands &saver() { return *m_saver; }
    HelpDialogs &help() { return *m_help; }
    WindowStore &store() { return *m_store; }
    MicrographController &micrographs() { return *m_micrographs; } // the user's micrograph beside the model

    // Reads the stored settings and applies them to the window (start-up only).
    void LoadSettings();
    // Captures the window's settings and writes them; a failure is reported, never keeps the window open.
    void FormClose();
    // Runs at the first activation of the window in a run, once: the usage dialog hooks onto
    // firstActivation().
    void FormActivate();

signals:
    void firstActivation();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormCreate();
    void buildParts();
    void connectControls(); // the commands, then connectPanels()
    void connectPanels();

    const OpticsState &m_state; // the session's
    bool m_shown = false;
    bool m_activated = false;

    WindowActions *m_actions = nullptr; // every command, shared by the menus, the tool bar and both bars
    TfmBtnBar2dCTF *m_bar2d = nullptr;
    TfmBtnBar1dCTF *m_bar1d = nullptr;
    MainBody *m_body = nullptr; // the panes
    StatusPanels *m_status = nullptr;
    std::unique_ptr<ToolBarRow> m_row;
    std::unique_ptr<WindowStore> m_store;
    ViewPainter *m_painter = nullptr;
    AberrationControls *m_controls = nullptr;
    ViewCommands *m_views = nullptr;
    SaveCommands *m_saver = nullptr;
    MicrographController *m_micrographs = nullptr;
    HelpDialogs *m_help = nullptr;
    SetupDialogs *m_setup = nullptr;
};

} // namespace orvalis
