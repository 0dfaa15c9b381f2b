#pragma once
// The main window: it shows a CTF session (the optics state, the two scope records, the view choices
// and the ranges live there) in its panes, and runs every redraw synchronously inside the event that
// caused it. It builds the panes and the parts that act on them and wires their signals; each
// command it names hands its work to the part that does it.
#include "core/opticsstate.h"
#include "core/scopedata.h"
#include "session/ctfsession.h"
#include "ui/main/aberrationcontrols.h"
#include "ui/main/helpdialogs.h"
#include "ui/main/savecommands.h"
#include "ui/main/setupdialogs.h"
#include "ui/main/sliderpanel.h"
#include "ui/main/viewcommands.h"
#include "ui/main/viewpainter.h"

#include <QImage>
#include <QMainWindow>
#include <QString>

#include <memory>

namespace orvalis {

class InfoPanel;
class MainBody;
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
class WindowStore;

class TForm1 : public QMainWindow {
    Q_OBJECT
    CtfSession *m_session; // what is drawn, stored and saved is read from here

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    CtfSession &session() { return *m_session; }
    MicrographController &micrographs() { return *m_micrographs; } // the user's micrograph beside the model
    AberrationControls &controls() { return *m_controls; }
    ViewPainter &painter() { return *m_painter; }
    const OpticsState &state() const { return m_state; }
    TScopeData &ScopeRecord1; // the session's instrument of the first CTF
    TScopeData &ScopeRecord2; // the session's instrument of the second CTF (plotter mode)
    TScopeData &activeScopeRecord() { return m_session->activeScopeRecord(); }

    // Loads an instrument into the optics state and refreshes every control and text showing it.
    // An instrument the formulas cannot use is refused with a message box; then nothing changes and
    // the result is false.
    bool ScopeInit(TScopeData scope) { return m_controls->loadInstrument(scope); }
    // The astigmatism and the convergence reach the computations through the optics state, which
    // every caller passes here as well.
    void DrawCTF(double Defocus, double, double, double, double Direction)
    {
        m_painter->drawCurves(Defocus, Direction);
    }
    void DrawPattern(double Defocus, double, double, double, double) { m_painter->drawPattern(Defocus); }
    void Draw3DCTF() { m_painter->drawMap(); }
    void PlaceDefocusMarker(double defocus) { m_painter->placeDefocusMarker(defocus); }
    void LayoutRuler() { m_painter->layOutRuler(); }
    void BuildScopeTreeNodes();
    void DockButtonBar(QWidget *bar);
    void ApplyViewState() { m_views->applyViewState(); }
    void ChangeMode() { m_views->enterMode(!m_session->viewChoices().plotterMode); }
    // Reads the stored settings and applies them to the window (start-up only).
    void LoadSettings();
    // Captures the window's settings and writes them; a failure is reported, never keeps the window open.
    void FormClose();
    // Runs at the first activation of the window in a run, once: the usage dialog hooks onto
    // firstActivation().
    void FormActivate();

    // Values kept for the dialogs that show and change them: read at start-up, written at close.
    bool monochrome() const { return m_session->viewChoices().monochrome; } // "Monochrome 1D CTF"
    void setMonochrome(bool on);
    // The folder the save dialog opens in, with its trailing separator; empty: the dialog's default.
    QString saveDir() const { return m_saver->saveDir(); }
    void setSaveDir(const QString &folder) { m_saver->setSaveDir(folder); }
    int useCount() const; // program starts, this one included

    bool patternDrawFlag() const { return m_session->patternLive(); }
    int patternCentre() const;
    const QImage &offscreenImage() const;

    // The About box and the usage dialog, created after the window; the window shows them.
    void setAboutDialogs(TAboutBox *aboutBox, TfmUsed *usedDialog) { m_help->setAboutDialogs(aboutBox, usedDialog); }
    // Where Help > Contents finds its pages; by default the folder installed with the program.
    void setHelpFolder(const QString &folder) { m_help->setHelpFolder(folder); }
    // The library dialogs, created once after the window (FormSet) and handed over here; their menu
    // items stay disabled until then.
    void setDialogs(TfmMicroSetup *microSetup, TfmQuickEdit *quickEdit, TfmInfo *info)
    {
        m_setup->setDialogs(microSetup, quickEdit, info);
    }
    // The one way a dialog's instrument reaches the window: active scope record := record, ScopeInit,
    // DrawCTF, DrawPattern. A record the formulas cannot take is refused with a message and the
    // active record and the optics state stay as they were; the result says whether it was applied.
    bool ApplyScopeRecord(const TScopeData &record) { return m_setup->applyRecord(record); }

signals:
    void firstActivation();

public slots:
    void Save1DClick() { m_saver->save1D(); }
    void Save2DClick() { m_saver->save2D(); }
    void SaveDefocusMap1Click() { m_saver->saveMap(); }
    // File, Setup, View and Help menus
    void Exit1Click() { close(); }
    void Intensity1Click() { m_views->toggleIntensity(); }
    void Symmetr1Click() { m_views->toggleSymmetric(); }
    void Temporal1Click() { m_views->toggleTemporal(); }
    void Spatial1Click() { m_views->toggleSpatial(); }
    void Combined1Click() { m_views->toggleCombined(); }
    void Show2DCTF1Click() { m_views->togglePattern(); }
    void Enable2DUpdate1Click() { m_views->toggleLive(); }
    void N3D1Click() { m_views->toggleMap(); }
    void Options1Click() { m_setup->editOptions(); }
    void SpecimenDetector1Click() { m_setup->editSpecimen(); }
    void Contents1Click() { m_help->showContents(); }
    void About1Click() { m_help->showAbout(); }
    void Microscope1Click() { m_setup->selectMicroscope(); }
    void QuickSetup1Click() { m_setup->quickSetup(); }
    void ShowInfo1Click() { m_setup->showInfo(); }
    void N1DCTFPlotMode1Click() { ChangeMode(); }
    void actShowTitlesExecute() { m_views->toggleTitles(); }
    void ShowToolbar1Click() { m_views->toggleToolbar(); }
    // Aberration controls
    void edDefocusKeyDown() { m_controls->entered(SliderPanel::Defocus); }
    void edAstigmKeyDown() { m_controls->entered(SliderPanel::Astigmatism); }
    void edAstigm3KeyDown() { m_controls->entered(SliderPanel::Astigmatism3); }
    void SpeedButton1Click() { m_controls->jumped(SliderPanel::Defocus); }
    void SpeedButton2Click() { m_controls->jumped(SliderPanel::Astigmatism); }
    void SpeedButton3Click() { m_controls->jumped(SliderPanel::Astigmatism3); }
    void ScrollBar1Change() { m_controls->changed(SliderPanel::Defocus); }
    void ScrollBar2Change() { m_controls->changed(SliderPanel::Astigmatism); }
    void ScrollBar3Change() { m_controls->changed(SliderPanel::Astigmatism3); }
    void ScrollBar4Change() { m_controls->changed(SliderPanel::Magnification); }
    void ScrollBar1Scroll(bool endOfScroll) { m_controls->scrolled(endOfScroll); }
    void ScrollBar2Scroll(bool endOfScroll) { m_controls->scrolled(endOfScroll); }
    void ScrollBar3Scroll(bool endOfScroll) { m_controls->scrolled(endOfScroll); }
    void ScrollBar4Scroll(bool endOfScroll) { m_controls->scrolled(endOfScroll); }
    // Plotter legend
    void btn1stCTFClick() { m_views->chooseCtf(false); }
    void btn2ndCTFClick() { m_views->chooseCtf(true); }
    void btnEnvelopesClick() { m_views->showEnvelopes(); }
    // Pattern, probe, warning, charts, tree
    void Image1MouseMove(int x, int y) { m_painter->patternPointerMoved(x, y); }
    void Image1MouseUp(Qt::MouseButton, int x, int y) { m_painter->patternReleased(x, y); }
    void Image2Click() { m_setup->explainFastOscillation(); }
    void Chart1AfterDraw() { m_painter->curveDrawn(); }
    void Chart2AfterDraw() { m_painter->mapDrawn(); }
    void Chart1MouseMove(int x, int) { m_painter->curvePointerMoved(x); }
    void Chart1MouseLeave() { m_painter->curvePointerLeft(); }
    void TreeView1Change();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormCreate();
    void buildParts();
    void connectControls(); // the commands, then connectPanels()
    void connectPanels();
    void showStartupNotices();

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
