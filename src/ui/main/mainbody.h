#pragma once
// The body of the main window: the 2D pattern beside the 1D chart over the defocus map and the docked
// button bar's panel, above the aberration controls and the information panel, each pair in a
// splitter the user drags. The splitters' stored sizes wait here until the window has its size.
#include <QObject>

#include <optional>

class QMainWindow;
class QSplitter;
class QWidget;

namespace orvalis {

class CurvePane;
class InfoPanel;
class MapPane;
class PatternPane;
class SliderPanel;
struct WindowSettings;

class MainBody : public QObject {
public:
    // Builds the panes into `window`, as its central widget.
    explicit MainBody(QMainWindow *window);

    PatternPane *pattern() const { return m_pattern; }
    CurvePane *curves() const { return m_curves; }
    MapPane *map() const { return m_map; }
    SliderPanel *sliders() const { return m_sliders; }
    InfoPanel *info() const { return m_info; }

    // Puts a button bar into the panel beside the charts; the one docked before is hidden.
    void dockBar(QWidget *bar);
    // The button bars of analysis and plotter mode: each mode docks its own.
    void setModeBars(QWidget *analysis, QWidget *plotter) { m_modeBars[0] = analysis, m_modeBars[1] = plotter; }
    void dockModeBar(bool plotter) { dockBar(m_modeBars[plotter]); }
    // The pattern, its ruler and the map image follow the screen's density; the result says whether
    // it is the dense one (120 pixels per inch).
    bool layOutForScreen(double upTo);
    // The defocus map's pane comes back at the height it had when it was hidden.
    void showMap(bool show);
    void setTitlesVisible(bool visible);

    void applyStored(const WindowSettings &settings);
    // At the first show, once the window has its size.
    void applySplitters();
    void capture(WindowSettings &settings) const;

private:
    QWidget *buildChartArea();
    static void setPaneSize(QSplitter *splitter, int pane, int px);

    PatternPane *m_pattern = nullptr;
    CurvePane *m_curves = nullptr;
    MapPane *m_map = nullptr;
    SliderPanel *m_sliders = nullptr;
    InfoPanel *m_info = nullptr;
    QWidget *paLeft = nullptr;
    QWidget *m_dockedBar = nullptr;
    QWidget *m_modeBars[2] = {nullptr, nullptr};
    QSplitter *Splitter1 = nullptr, *Splitter2 = nullptr, *Splitter4 = nullptr, *Splitter5 = nullptr;
    std::optional<int> m_storedSplitters[4]; // px, "Splitter1" to "Splitter4", applied once the window
                                             // has its size ([0] unused: the map's pane has m_mapHeight)
    int m_mapHeight = 159;                   // px, the defocus map's pane while it is hidden
    std::optional<int> m_patternPaneWidth;   // px, the 2D pane's width when last shown, or as stored
};

} // namespace orvalis
