#pragma once
// The window's side of the user's micrograph: the commands that open, show, close and save it, the
// progress of an open with its Cancel, files dropped on the window, and what the pattern's pane and
// the 1D chart show of it. The micrograph itself lives in the session (MicrographSession); this
// class only shows it and hands it what the user does.
#include "chart/micrographseries.h"
#include "session/micrographsession.h"

#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

class QAction;
class QImage;
class QMainWindow;
class QMenu;
class QProgressDialog;

namespace orvalis {

class CtfSession;
class CurvePane;
class PatternPane;

class MicrographController : public QObject {
    Q_OBJECT
public:
    MicrographController(QMainWindow *window, CtfSession &session, PatternPane *pattern, CurvePane *curves);
    ~MicrographController() override;

    MicrographSession &micrograph() { return *m_micrograph; }

    // Opens each file in turn off the event loop with a progress dialog; a failure is told in a
    // message box and leaves the window as it was.
    void open(const QString &path);
    // The micrograph's picture into the pattern's pane when the micrograph is shown; false (and
    // nothing drawn) otherwise.
    bool drawPattern();
    // The average, model and agreement curves into the 1D chart, or none while no micrograph is shown.
    void drawCurves();
    // Where the marker of how far the rings agree stands while a fit is applied: `heldTo` gives the
    // resolution (nm) the applied fit holds to, or 0 when the optics are no longer the fit's; the
    // marker then follows the shown spectrum again.
    void setAppliedFitResolution(std::function<double()> heldTo) { m_appliedFit = std::move(heldTo); }
    // The spectrum's value under a pointer at (kx, ky) nm^-1, for the pattern's readout; empty when
    // the micrograph is not shown or the point lies beyond it.
    QString readout(double kx, double ky) const;
    // Adds readout() to the pattern's readout line, as the pane has just written it.
    void showReadout(PatternPane *pattern, double kx, double ky) const;
    // The drawn micrograph curves at k (nm^-1) on the chart, by their names: "Spectrum 0.41, Model
    // CTF² 0.38, ..."; empty while none is drawn or k lies outside them.
    QString curveReadout(double k) const;
    // Each micrograph curve can be switched off and on (View > 1D CTF > Micrograph Curves, or a click
    // on its legend entry); all are on at first.
    void showCurve(MicrographCurve curve, bool shown);
    bool curveShown(MicrographCurve curve) const { return m_curveShown[static_cast<int>(curve)]; }
    // What the spectrum view reads out under a pointer at (kx, ky) nm^-1: the frequency and spacing,
    // and the measured and the model's values there; empty texts beyond the spectrum.
    struct ViewReadout {
        QString where; // "k 1.25 nm-1, d 0.800 nm"
        QString what;  // "measured 0.0123, model 0.456": the rings and the model's CTF^2
    };
    ViewReadout viewReadout(double kx, double ky) const;
    // The spectrum view one step (a factor of the square root of 2) nearer (steps > 0) or further.
    void zoomView(int steps);

    QAction *OpenMicrograph1 = nullptr;
    QAction *CloseMicrograph1 = nullptr;
    QAction *Micrograph1 = nullptr; // View > 2D CTF > Micrograph
    QAction *SaveSpectrum1 = nullptr;
    QAction *SaveAverage1 = nullptr;
    QAction *MicrographPixel1 = nullptr; // Setup: the pixel size, in Å as the field gives it
    QAction *MicrographTile1 = nullptr;
    QMenu *RecentMicrographs1 = nullptr;
    QMenu *MicrographCurves1 = nullptr; // View > 1D CTF > Micrograph Curves
    std::array<QAction *, micrographCurveCount> curveActions{};
    // View > 2D CTF > Spectrum View: its zoom, contrast and the model's rings.
    QMenu *SpectrumView1 = nullptr;
    QAction *SpectrumZoomIn1 = nullptr;
    QAction *SpectrumZoomOut1 = nullptr;
    QAction *SpectrumWhole1 = nullptr;
    QAction *SpectrumLog1 = nullptr;
    QAction *SpectrumRings1 = nullptr;
    QList<QAction *> SpectrumClips; // SpectrumClip05, 1, 2, 5: % clipped at each end

signals:
    // What the window shows of the micrograph changed: a spectrum came, it was shown or hidden, or
    // closed. The curves and the pattern are drawn again, as a change of the optics draws them.
    void changed();
    // Only the spectrum view's picture changed (its size, zoom, contrast or rings): it is drawn again.
    void viewChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildCommands();
    void chooseAndOpen();
    void showProgress(double fraction);
    void endProgress();
    void refreshCommands();
    void buildViewCommands();
    void drawZeroLines(QImage &image, const CompositeGrid &grid, const std::vector<ZeroLine> &lines) const;
    QList<QPair<QString, QRectF>> halfLabels(const QImage &image, const CompositeGrid &grid) const;
    void labelHalves(QImage &image, const CompositeGrid &grid, const QRect &within) const;
    QRect changedSinceShown(const QImage &image, const CompositeGrid &grid) const;
    void refreshRecent();
    void saveSpectrum();
    void saveAverage();

    QMainWindow *m_window;
    CtfSession &m_session;
    PatternPane *m_pattern;
    CurvePane *m_curves;
    std::function<double()> m_appliedFit;
    MicrographSession *m_micrograph;
    QPointer<QProgressDialog> m_progress;
    QString m_folder;                                                   // where the last file was opened or saved
    std::array<int, micrographCurveCount> m_series{-1, -1, -1, -1, -1}; // in MicrographCurve's order
    std::array<bool, micrographCurveCount> m_curveShown{true, true, true, true, true};
    // The curves as last drawn (the marker's frequency aside), for the readout.
    QVector<double> m_k;
    std::array<QVector<double>, 4> m_values;
    double m_heldTo = 0; // nm^-1, 0: no marker
    // The spectrum view's grey levels as last put into the picture, and what else decided its pixels
    // there (the picture's contents as they were left, the direction and font of the labels): a step
    // that changes the model's half alone redraws that half and not the measured one.
    struct ShownView {
        std::vector<std::uint8_t> grey;
        int centre = 0;
        double range = 0, direction = 0;
        qint64 imageKey = 0;
        QFont font;
        bool partialAllowed = false; // no model's zeros over the measured half, which move with it
    } m_shownView;
};

// The files named on the program's command line (arguments that are no options).
QStringList micrographArguments(const QStringList &arguments);

} // namespace orvalis
