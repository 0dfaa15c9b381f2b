#pragma once
// The tool-bar row of the main window: its bands in the order and rows the user left them, shown
// or hidden together.
#include <QList>

class QMainWindow;

namespace orvalis {

class BandToolBar;
struct WindowSettings;

class ToolBarRow {
public:
    explicit ToolBarRow(QMainWindow *window) : m_window(window) {}

    // The bands in the order the user sees them: row by row, left to right. Bands not laid out yet
    // (the row hidden all the time) stay in the order they were put in.
    QList<BandToolBar *> bands() const;
    // Puts the bands into the row in the given order; a band whose break is set starts a new row.
    void place(const QList<BandToolBar *> &bands, const QList<bool> &breaks, bool shown);
    void setVisible(bool shown);
    void applyStored(const WindowSettings &settings, bool shown);
    void capture(WindowSettings &settings) const;

private:
    QMainWindow *m_window;
    QList<BandToolBar *> m_order; // as last put into the row
};

} // namespace orvalis
