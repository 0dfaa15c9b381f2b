#pragma once
// The window's side of fitting the CTF to the user's micrograph: the Fit command (Setup > Fit CTF and
// a button beside the micrograph switch over the pattern), its dialog, the result panel with the
// fit's progress and Cancel, Apply, which hands the fit to the session and shows it on the
// sliders, and the local defocus of the fit shown (its patches' map). The fit itself runs in the session (FitSession),
// off the event loop.
#include "ui/fitctf/fitctfdialog.h"

#include <QObject>

class QAction;
class QLabel;
class QMainWindow;
class QWidget;

namespace orvalis {

class CtfSession;
class FitCtfDialog;
class FitResultPanel;
class FitSession;
class LocalDefocusDialog;
class LocalDefocusSession;
class MicrographController;
class PatternPane;

class FitController : public QObject {
    Q_OBJECT
public:
    FitController(QMainWindow *window, CtfSession &session, MicrographController &micrographs, PatternPane *pattern);

    FitSession &fit() { return *m_fit; }
    FitResultPanel *panel();

    QAction *FitCtf1 = nullptr; // enabled only while a micrograph is open

    // The dialog, then the fit off the event loop; nothing starts when the dialog is cancelled.
    void chooseAndFit();
    // Applies the result shown.
    void apply();

signals:
    // The fit (or the Fit dialog's optics) set the session's aberrations: the controls show them, in
    // the same change.
    void aberrationsSet();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();
    void placeButtons();
    QString contextText() const;
    FitOptics sessionOptics() const;
    bool applyOptics(const FitOptics &shown, const FitOptics &typed);
    QString fittedWithText() const;
    void showPanel();
    void showLocalDefocus();

    QMainWindow *m_window;
    CtfSession &m_session;
    MicrographController &m_micrographs;
    FitSession *m_fit;
    FitCtfDialog *m_dialog = nullptr;
    FitResultPanel *m_panel = nullptr;
    LocalDefocusSession *m_local;
    LocalDefocusDialog *m_localDialog = nullptr;
    PatternPane *m_pane;
    QWidget *m_below;                // the pattern's lowest part (its progress bar): the buttons sit under it
    QObject *m_belowPanel = nullptr; // its panel, watched; only compared, as it may be on its way out
    QWidget *m_buttons;              // MicrographButtons: the micrograph switch and Fit
    QLabel *m_corrected = nullptr;   // under them while the spectrum shown is corrected for a tilt
};

} // namespace orvalis
