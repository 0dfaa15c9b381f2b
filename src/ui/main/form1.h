#pragma once
// The main window: it shows a CTF session (the optics state, the two scope records, the view choices
// and the ranges live there) in both charts, the pattern image and the off-screen map image, and runs
// every redraw synchronously inside the event that caused it.
#include "chart/chart1series.h"
#include "core/ctfcurves.h"
#include "core/opticsstate.h"
#include "core/orvaliserror.h"
#include "core/scopedata.h"
#include "ui/options/chartmonochrome.h"

#include <QImage>
#include <QMainWindow>
#include <QMap>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QAction;
class QFileDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QSplitter;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class QFrame;

namespace orvalis {

class CtfSession;
struct ViewChoices;
class BandToolBar;
class ChartWidget;
class PixelImage;
class ScrollBar;
class Shape;
class TfmBtnBar1dCTF;
class WindowActions;
class PatternPane;
class SliderPanel;
class CurvePane;
class MapPane;
class MicrographController;
class InfoPanel;
class StatusPanels;
class TfmBtnBar2dCTF;
class TfmOptions;
class TAboutBox;
class TfmUsed;
class TfmHelp;
struct OptionRanges;
class TfmInfo;
class TfmMicroSetup;
class TfmQuickEdit;
struct WindowSettings;

class TForm1 : public QMainWindow {
    Q_OBJECT
    CtfSession *m_session; // what is drawn, stored and saved is read from here

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    CtfSession &session() { return *m_session; }
    MicrographController &micrographs() { return *m_micrographs; } // the user's micrograph beside the model
    OpticsState &state() { return m_state; }
    const OpticsState &state() const { return m_state; }
    TScopeData &ScopeRecord1; // the session's instrument of the first CTF
    TScopeData &ScopeRecord2; // the session's instrument of the second CTF (plotter mode)
    TScopeData &activeScopeRecord();

    // Loads an instrument into the optics state and refreshes every control and text showing it.
    // An instrument the formulas cannot use is refused with a message box; then nothing changes and
    // the result is false.
    bool ScopeInit(TScopeData scope);
    void DrawCTF(double Defocus, double A2, double A3, double Alpha, double Direction);
    void DrawPattern(double Defocus, double A2, double A3, double Alpha, double Direction);
    void Draw3DCTF();
    void PlaceDefocusMarker(double defocus);
    void LayoutRuler();
    void BuildScopeTreeNodes();
    void DockButtonBar(QWidget *bar);
    void ApplyViewState();
    void ChangeMode();
    // Reads the stored settings and applies them to the window (start-up only).
    void LoadSettings();
    // Captures the window's settings and writes them; a failure is reported, never keeps the window open.
    void FormClose();
    // Runs at the first activation of the window in a run, once: the usage dialog hooks onto
    // firstActivation().
    void FormActivate();

    // Values kept for the dialogs that show and change them: read at start-up, written at close.
    bool monochrome() const { return m_monochrome; } // "Monochrome 1D CTF"
    void setMonochrome(bool on);                     // switches the chart as the options dialog's check does
    // The folder the save dialog opens in, with its trailing separator; empty: the dialog's default.
    // Set it only from a save dialog whose file name is not empty; until then the stored one stays.
    QString saveDir() const { return m_saveDir.value_or(QString()); }
    void setSaveDir(const QString &folder) { m_saveDir = folder; }
    int useCount() const { return m_useCount; } // program starts, this one included

    bool patternDrawFlag() const { return m_patternDrawFlag; }
    void setPatternDrawFlag(bool on) { m_patternDrawFlag = on; }
    int patternCentre() const;
    const QImage &offscreenImage() const;

    // The About box and the usage dialog, created after the window; the window shows them.
    void setAboutDialogs(TAboutBox *aboutBox, TfmUsed *usedDialog);
    // Where Help > Contents finds its pages; by default the folder installed with the program.
    void setHelpFolder(const QString &folder) { m_helpFolder = folder; }
    // The library dialogs, created once after the window (FormSet) and handed over here; their menu
    // items stay disabled until then.
    void setDialogs(TfmMicroSetup *microSetup, TfmQuickEdit *quickEdit, TfmInfo *info);
    // The one way a dialog's instrument reaches the window: active scope record := record, ScopeInit,
    // DrawCTF, DrawPattern. A record the formulas cannot take is refused with a message and the
    // active record and the optics state stay as they were; the result says whether it was applied.
    bool ApplyScopeRecord(const TScopeData &record);

signals:
    void firstActivation();

public slots:
    void Save1DClick();
    void Save2DClick();
    void SaveDefocusMap1Click();
    // File, Setup, View and Help menus
    void Exit1Click();
    void Intensity1Click();
    void Symmetr1Click();
    void Temporal1Click();
    void Spatial1Click();
    void Combined1Click();
    void Show2DCTF1Click();
    void Enable2DUpdate1Click();
    void N3D1Click();
    void Options1Click();
    void Contents1Click();
    void About1Click();
    void Microscope1Click();
    void QuickSetup1Click();
    void ShowInfo1Click();
    void N1DCTFPlotMode1Click();
    void actShowTitlesExecute();
    void ShowToolbar1Click();
    // Aberration controls
    void edDefocusKeyDown();
    void edAstigmKeyDown();
    void edAstigm3KeyDown();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void ScrollBar1Change();
    void ScrollBar2Change();
    void ScrollBar3Change();
    void ScrollBar4Change();
    void ScrollBar1Scroll(bool endOfScroll);
    void ScrollBar2Scroll(bool endOfScroll);
    void ScrollBar3Scroll(bool endOfScroll);
    void ScrollBar4Scroll(bool endOfScroll);
    // Plotter legend
    void btn1stCTFClick();
    void btn2ndCTFClick();
    void btnEnvelopesClick();
    // Pattern, probe, warning, charts, tree
    void Image1MouseMove(int x, int y);
    void Image1MouseUp(Qt::MouseButton button, int x, int y);
    void Image2Click();
    void Chart1AfterDraw();
    void Chart2AfterDraw();
    void Chart1MouseMove(int x, int y);
    void Chart1MouseLeave();
    void TreeView1Change();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void FormCreate();
    void buildMenus();
    void buildDialogItems();
    void buildToolBars();
    void buildBody();
    QWidget *buildChartArea();
    void buildStatusBar();
    void connectControls(); // the commands, then connectPanels()
    void connectPanels();
    void layoutForScreenDensity();
    void placeDirectionMarker(QPoint corner);
    void redraw();
    void scrollEvent(bool endOfScroll);
    void toggleEnvelope(void (CtfSession::*choose)(bool), bool ViewChoices::*choice, QAction *item, Chart1Series series,
                        Chart1Series mirrorSeries);
    void showSeries(int series); // the session's points of a series of Chart1
    void showInstrument();       // the controls and texts of the instrument the session loaded
    void enterMode(bool plotter);
    void writeResolutionTexts();
    QString curveReadout(double k) const;
    // Settings: LoadSettings and FormClose in their parts
    void applyPlacement(const WindowSettings &settings);
    void applySplitters();
    static void setPaneSize(QSplitter *splitter, int pane, int px);
    void applyCoolBar(const WindowSettings &settings);
    void applyMainValues(const WindowSettings &settings);
    void applyViewChoices(const WindowSettings &settings);
    void readSelectedScope(const WindowSettings &settings);
    WindowSettings capturedSettings() const;
    QList<BandToolBar *> toolBarBands() const;
    void placeToolBarBands(const QList<BandToolBar *> &bands, const QList<bool> &breaks);
    void showStartupNotices();
    void showModeSeries();
    void setDefocusRange(int minimum, int maximum); // never empty; the defocus map follows it
    void askAboutUsage();
    void showUsageDialog();
    void closeHelp();
    OptionRanges workingRanges() const;
    void applyWorkingRanges(const OptionRanges &ranges);

    OpticsState &m_state; // the session's
    bool m_patternDrawFlag = false;
    QWidget *m_dockedBar = nullptr;
    // Settings held between start-up and close
    std::optional<int> m_storedSplitters[4]; // px, "Splitter1" to "Splitter4", applied once the window
                                             // has its size ([0] unused: the map's pane has m_mapHeight)
    int m_mapHeight = 159;                   // px, the defocus map's pane while it is hidden
    std::optional<int> m_patternPaneWidth;   // px, the 2D pane's width when last shown, or as stored
    bool m_monochrome = false;
    std::optional<QString> m_saveDir;
    QMap<QString, QStringList> m_unreadableSettings; // by sub-key: rewritten or removed at close
    int m_useCount = 0;
    QStringList m_startupNotices; // told once, after the window is shown
    bool m_shown = false;
    bool m_activated = false;

    QFileDialog *SavePictureDialog1 = nullptr; // kept, so its folder and last name survive between uses
    bool m_saveDialogUsed = false;             // it opens in the stored folder the first time only
    void buildSaveDialog();
    bool runSaveDialog(const QString &proposed, const QString &what, const QStringList &extensions, QString &path,
                       QString &ext);

    WindowActions *m_actions = nullptr; // every command, shared by the menus, the tool bar and both bars
    QList<BandToolBar *> m_bandOrder;   // as last put into the row
    // Panels
    QWidget *paLeft = nullptr;
    PatternPane *m_pattern = nullptr;
    CurvePane *m_curves = nullptr;
    MapPane *m_map = nullptr;
    MicrographController *m_micrographs = nullptr;
    QSplitter *Splitter1 = nullptr, *Splitter2 = nullptr, *Splitter4 = nullptr, *Splitter5 = nullptr;
    SliderPanel *m_sliders = nullptr;
    InfoPanel *m_infoPanel = nullptr;
    StatusPanels *m_status = nullptr;
    // Button bars
    TfmBtnBar2dCTF *m_bar2d = nullptr;
    TfmBtnBar1dCTF *m_bar1d = nullptr;
    // Dialogs
    // Not a child of the window: its controls' names (Label1 ... Label10) are the window's too.
    std::unique_ptr<TfmOptions> m_options;
    ChartMonochrome m_chartLook; // Chart1's look, switched live by the options dialog's check
    TAboutBox *m_aboutBox = nullptr;
    TfmUsed *m_usedDialog = nullptr;
    TfmHelp *m_help = nullptr; // created at the first Help > Contents
    QString m_helpFolder;
    TfmMicroSetup *m_microSetup = nullptr;
    TfmQuickEdit *m_quickEdit = nullptr;
    TfmInfo *m_info = nullptr;
};

} // namespace orvalis
