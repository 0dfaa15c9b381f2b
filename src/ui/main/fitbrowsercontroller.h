#pragma once
// The window's side of the browser of many fits: File > Open Fits (a folder of micrographs with
// their fits, or one fit table), the browser dialog, and loading what the user picks into the
// window: the micrograph opened as Open Micrograph opens it, then its fit given to the session as
// Apply gives a fit.
#include "session/fitcatalogue.h"
#include "ui/fitbrowser/fitbrowserdialog.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QAction;
class QMainWindow;

namespace orvalis {

class CtfSession;
class MicrographController;

class FitBrowserController : public QObject {
    Q_OBJECT
public:
    // Takes the window's OpenFits1 action, found by its name.
    FitBrowserController(QMainWindow *window, CtfSession &session, MicrographController &micrographs);

    // Opens `path` (a folder or a fit table) in the browser; a file that cannot be read is told in a
    // message box naming it and its line, and the browser and the window stay as they were.
    bool open(const QString &path);
    // Loads `entry` into the window.
    void load(const CatalogueEntry &entry);
    FitBrowserDialog *dialog() const { return m_dialog; }

signals:
    // The fit set the session's aberrations: the controls show them.
    void aberrationsSet();

private:
    void choose();
    void applyPending();

    QMainWindow *m_window;
    CtfSession &m_session;
    MicrographController &m_micrographs;
    QPointer<FitBrowserDialog> m_dialog;
    std::optional<CatalogueEntry> m_pending; // to apply once its micrograph has opened
    QString m_folder;
};

} // namespace orvalis
