#pragma once
// Saving the 1D chart, the 2D pattern and the defocus map to files the user names, through one kept
// save dialog, so that its folder and last name survive between uses.
#include "chart/figure.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QAction;
class QFileDialog;
class QMainWindow;
class QWidget;

namespace orvalis {

class CtfSession;
class FitSession;
class MainBody;
class MicrographSession;
class WindowActions;
struct WindowSettings;

class SaveCommands : public QObject {
public:
    // A failed save is reported over `window`, where it happened.
    SaveCommands(QWidget *window, CtfSession *session, const MainBody *body, WindowActions *actions);

    void Save1DClick();
    void Save2DClick();
    void SaveDefocusMap1Click();

    // The folder the dialog opens in, with its trailing separator; empty: the dialog's default. Set
    // it only from a dialog whose file name is not empty; until then the stored one stays.
    QString saveDir() const { return m_saveDir.value_or(QString()); }
    void setSaveDir(const QString &folder) { m_saveDir = folder; }
    void applyStored(const WindowSettings &settings);
    void capture(WindowSettings &settings) const;

private:
    bool runDialog(const QString &proposed, const QString &what, const QStringList &extensions, QString &path,
                   QString &ext);

    QWidget *m_window;
    CtfSession *m_session;
    const MainBody *m_body;
    QFileDialog *SavePictureDialog1 = nullptr;
    bool m_dialogUsed = false; // it opens in the stored folder the first time only
    std::optional<QString> m_saveDir;
};

// File > Export Figure... (a figure for a paper of the 1D chart, the 2D pattern or the defocus map)
// and File > Save > Fit Pictures... (the open micrograph's fit as `orvalis-ctf fit --diagnostics`
// draws it), added to the window's menus by name.
class FigureCommands : public QObject {
public:
    FigureCommands(QMainWindow *window, CtfSession &session, const MainBody *body, MicrographSession &micrograph,
                   FitSession &fit);

    QAction *ExportFigure1 = nullptr;
    QAction *SaveFitPictures1 = nullptr; // enabled while the open micrograph has a fit with values

    void exportFigure();
    void saveFitPictures();
    // The four files of the open micrograph's fit, named after it, written into `folder`; their
    // paths. Throws OrvalisError naming a file that cannot be written.
    QStringList writeFitPictures(const QString &folder);
    // The figure of what the dialog offers, as the window shows it now.
    Figure figureOf(int subject) const;

private:
    void refresh();

    QMainWindow *m_window;
    CtfSession &m_session;
    const MainBody *m_body;
    MicrographSession &m_micrograph;
    FitSession &m_fit;
    FigureStyle m_style; // the dialog's latest, kept while the window is open
    int m_subject = 0;
    QString m_folder; // where the latest figure or pictures went
};

} // namespace orvalis
