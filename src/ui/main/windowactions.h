#pragma once
// Every command of the main window as one QAction, shared by its menu item, its tool-bar button and
// the buttons of both button bars (QToolButton::setDefaultAction), so that their enabled, checked and
// visible states are set in one place and cannot drift apart. The actions are children of the
// window, found there by their names.
#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QToolButton;
class QWidget;

namespace orvalis {

class BandToolBar;

class WindowActions : public QObject {
    Q_OBJECT
public:
    explicit WindowActions(QWidget *window);

    // The menus into the window's menu bar.
    void buildMenus(QMenuBar *bar);
    // The two bands of the tool-bar row, ToolBar1 ("Save") and ToolBar2 ("Options").
    QList<BandToolBar *> buildToolBars(QWidget *window);
    // A button bar's buttons take the actions of their commands, found by the buttons' names; each
    // action takes the caption, hint and glyph the bar gives its button.
    void attachBar(QWidget *bar);

    // The commands that follow a pane: shown or not, and what only makes sense while it is shown.
    void setPatternShown(bool shown);
    void setMapShown(bool shown);
    // Plotter mode: the menus of the analysis views are greyed, the mode item is checked.
    void setPlotterMode(bool on);
    // The legend buttons show their curves as the chart draws them: line samples in the curves'
    // colours, or black with the curves' dash patterns in monochrome.
    void setCurveLook(bool monochrome);
    // The sampled view of the pattern needs the detector's pixel size.
    void setDetectorSet(bool set);

    // File, Setup, View and Help
    QAction *Save1D = nullptr, *Save2D = nullptr, *SaveDefocusMap1 = nullptr, *Exit1 = nullptr;
    // The browser of many micrographs' fits (a folder, a STAR file or a CTFFIND output).
    QAction *OpenFits1 = nullptr;
    QAction *Microscope1 = nullptr, *QuickSetup1 = nullptr, *Options1 = nullptr;
    QAction *SpecimenDetector1 = nullptr, *Astigmatism1 = nullptr;
    // The CTF with RELION's sign on the chart and in its tables; the pattern as the detector records it.
    QAction *RelionSign1 = nullptr, *Sampled2D1 = nullptr;
    QAction *Intensity1 = nullptr, *Temporal1 = nullptr, *Spatial1 = nullptr, *Combined1 = nullptr, *Symmetr1 = nullptr;
    QAction *Show2DCTF1 = nullptr, *Enable2DUpdate1 = nullptr, *N3D1 = nullptr, *N1DCTFPlotMode1 = nullptr,
            *ShowInfo1 = nullptr, *actShowTitles = nullptr, *ShowToolbar1 = nullptr;
    QAction *Contents1 = nullptr, *About1 = nullptr;
    // Commands of the bars alone. The live switch of the pattern has a menu item of its own
    // (Enable2DUpdate1): showing the pattern presses the button and leaves the item as it was.
    QAction *liveUpdate = nullptr, *firstCtf = nullptr, *secondCtf = nullptr, *showEnvelopes = nullptr;
    QAction *toPlotterMode = nullptr, *toAnalysisMode = nullptr;

private:
    QAction *command(const char *name, const QString &caption, bool checkable = false, bool checked = false);

    QWidget *m_window;
    bool m_monochrome = false;
    QMenu *m_curveMenu = nullptr, *m_patternMenu = nullptr; // "1D CTF" (N1DCTF1), "2D CTF" (N2DCTF1)
    // A widget's visibility inside a tool bar is its slot action's: the Save buttons come and go with
    // their panes while the menu items only grey.
    QAction *m_patternSaveSlot = nullptr, *m_mapSaveSlot = nullptr;
};

} // namespace orvalis
