#pragma once
// The 2D pattern's pane (pa2Dctf): its title, the pattern (Image1) with the direction marker (Shape1),
// the ruler under it, the readout of the frequency under the pointer (Label11) and the progress of a
// full pass (ProgressBar1). It shows the grey levels it is given and says where the user points and
// clicks.
#include "core/ctfpattern.h"

#include <QElapsedTimer>
#include <QWidget>

#include <optional>

class QLabel;
class QProgressBar;

namespace orvalis {

class PixelImage;
class Shape;

class PatternPane : public QWidget {
    Q_OBJECT
public:
    explicit PatternPane(QWidget *parent = nullptr);

    QLabel *title() const { return m_title; }
    PixelImage *image() const { return m_image; }
    // N: pixel (N, N) of the pattern is k = 0.
    int centre() const { return m_centre; }
    double range() const { return m_range; } // nm^-1, UpTo as of the last pass

    // The pattern is `side` pixels square; the pane makes room for it, its ruler (up to `upTo`) and its readout at
    // their widest in the pane's font.
    void layOut(int side, double upTo);
    // The ruler's ticks under the pattern's edges and centre, labelled -upTo, 0 and upTo.
    void layOutRuler(double upTo);
    // A pass over the pattern with this step factor and UpTo begins: for a full pass (step 1) of
    // `columns` columns, the progress bar shows. The result follows the pass.
    PatternProgress beginPass(double upTo, int step, int columns);
    // The pass's grey levels into the picture: the right half as computed, the left half mirrored.
    void showPattern(const PatternHalves &halves);
    void placeMarker(QPoint corner);
    int markerWidth() const;
    void showReadout(double k);
    void hideProgress();
    // The pattern is shown enlarged by the largest whole factor the pane has room for.
    int zoom() const;
    // The detector's Nyquist frequency (nm^-1) as the square it bounds on the pattern, at the range of
    // the pattern shown; none for k not above 0.
    void showNyquist(double k);

    // While a micrograph is shown the pane holds the spectrum view: a square picture as large as the
    // pane has room for, shown pixel for pixel, its ruler spanning the view's range. Off, the pattern
    // comes back at the size layOut() gave it.
    void setSpectrumView(bool on);
    bool spectrumView() const { return m_spectrumView; }
    // The range (nm^-1) the spectrum view's picture spans now: the readout and the ruler follow it.
    void setViewRange(double range);
    // The readout line under the picture, as given.
    void showReadoutText(const QString &text);

signals:
    void spectrumResized(int side); // the spectrum view's picture took a new size: it is drawn again
    void wheelTurned(int steps);    // over the picture, in notches: positive away from the user
    void pointerLeft();
    void pointerMoved(int x, int y);
    void released(Qt::MouseButton button, int x, int y);
    void widthShown(int px); // the pane's width, whenever it is shown or resized while shown

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitReadout();
    // The frame, ruler, readout and progress bar for the pattern enlarged `zoom` times.
    void placeParts(int zoom);
    int zoomFor(QSize room) const; // the largest factor whose parts fit in `room` (Panel7's size)
    int widthFor(int zoom) const;  // the pane's width that shows the pattern enlarged `zoom` times
    void claimWidth();             // in a splitter that has grown or shrunk, the width of the best zoom
    void placeNyquist();
    int spectrumSideFor(QSize room) const; // the spectrum view's side (px, even) that fits in `room`
    bool placeSpectrum(QSize room);        // the picture at that side; true when it changed
    int roomBelowButtons() const;          // px kept under the readout for the micrograph's buttons

    QLabel *m_title;
    QWidget *m_panel; // Panel7: its children are placed in pixels
    QWidget *m_frame; // paImage1
    PixelImage *m_image;
    Shape *m_marker;
    Shape *m_nyquist; // shNyquist: hidden without a detector
    QWidget *m_ruler; // pa2DRuler
    Shape *m_ticks[3];
    QLabel *m_tickLabels[3];
    QLabel *m_readout;
    QProgressBar *m_progress;
    int m_margin = 6; // px
    int m_side = 0;   // the computed picture's side (px)
    double m_upTo = 0;
    int m_partsBelow = 0; // px under the picture: ruler, readout, progress and margins
    QPoint m_markerCorner;
    QSize m_splitterSize;
    int m_claimedWidth = 0; // the width the pane took for a larger pattern, while it has it
    int m_widthBeforeClaim = 0;
    int m_centre = 0;
    double m_range = 0;
    double m_nyquistK = 0; // nm^-1
    QElapsedTimer m_sinceRepaint;
    bool m_spectrumView = false;
    // The pattern's marker and the pane's width as they were when the view came: they come back
    // with the pattern unless the user moved them meanwhile.
    QPoint m_patternMarker;
    bool m_markerMovedInView = false;
    int m_widthBeforeView = 0;
    QString m_patternTitle, m_patternTip;
};

} // namespace orvalis
