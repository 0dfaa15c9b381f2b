#pragma once
// The analysis-mode button bar docked beside the 1D chart. It holds no logic: each button shows
// the main window's action of its command.
#include <QWidget>

class QToolButton;

namespace orvalis {

class TfmBtnBar2dCTF : public QWidget {
    Q_OBJECT
public:
    explicit TfmBtnBar2dCTF(QWidget *parent = nullptr);

    QToolButton *SpeedButton10; // "CTF", legend only
    QToolButton *btnTemporal;
    QToolButton *btnSpatial;
    QToolButton *btnCombined;
    QToolButton *btnShow2D;
    QToolButton *btnUpdate2D;
    QToolButton *btnSpectrumZoomIn = nullptr; // the micrograph's spectrum view
    QToolButton *btnSpectrumZoomOut = nullptr;
    QToolButton *btnSpectrumLog = nullptr;
    QToolButton *btnSpectrumRings = nullptr;
    QToolButton *btnShow3D;
    QToolButton *SpeedButton8; // "CTF Plotter"
};

} // namespace orvalis
