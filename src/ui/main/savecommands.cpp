#include "savecommands.h"

#include "chart/chartexport.h"
#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "core/curvetable.h"
#include "core/defocusmap.h"
#include "core/orvaliserror.h"
#include "core/savename.h"
#include "micrograph/ctffit.h"
#include "micrograph/spectrumfile.h"
#include "pictures/fitpictures.h"
#include "session/ctfsession.h"
#include "session/fitsession.h"
#include "session/micrographsession.h"
#include "session/micrographviews.h"
#include "store/windowsettings.h"
#include "ui/exportfigure/exportfiguredialog.h"
#include "ui/main/curvepane.h"
#include "ui/main/mainbody.h"
#include "ui/main/mappane.h"
#include "ui/main/patternpane.h"
#include "ui/main/windowactions.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/pixelimage.h"
#include "ui/widgets/savefiledialog.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <QWidget>

namespace orvalis {
namespace {

// The dialog's filter of each format a file can be saved in.
QString filterOf(const QString &extension)
{
    static const QHash<QString, QString> filters{{QStringLiteral(".bmp"), QStringLiteral("Bitmaps (*.bmp)")},
                                                 {QStringLiteral(".wmf"), QStringLiteral("Metafiles (*.wmf)")},
                                                 {QStringLiteral(".emf"), QStringLiteral("Enhanced Metafiles (*.emf)")},
                                                 {QStringLiteral(".txt"), QStringLiteral("Text (*.txt)")},
                                                 {QStringLiteral(".png"), QStringLiteral("PNG images (*.png)")},
                                                 {QStringLiteral(".svg"), QStringLiteral("SVG drawings (*.svg)")},
                                                 {QStringLiteral(".pdf"), QStringLiteral("PDF documents (*.pdf)")}};
    return filters.value(extension);
}

// What each command writes, in the order its dialog offers it: the charts as pictures, drawings and
// a table, the pattern only as a picture. A command offers nothing else and refuses any other name.
const QStringList &chartExtensions()
{
    static const QStringList extensions{QStringLiteral(".bmp"), QStringLiteral(".wmf"), QStringLiteral(".emf"),
                                        QStringLiteral(".txt"), QStringLiteral(".png"), QStringLiteral(".svg"),
                                        QStringLiteral(".pdf")};
    return extensions;
}

const QStringList &patternExtensions()
{
    static const QStringList extensions{QStringLiteral(".bmp"), QStringLiteral(".png")};
    return extensions;
}

// The name could not be written as asked: nothing was saved, and the user learns what would be.
[[noreturn]] void unsupportedExtension(const QString &path, const QString &what, const QStringList &extensions)
{
    const QString choices = extensions.size() < 2 ? extensions.join(QString())
                                                  : extensions.mid(0, extensions.size() - 1).join(QStringLiteral(", "))
            + QStringLiteral(" or ") + extensions.last();
    throw OrvalisError(QStringLiteral("Nothing was saved: \"%1\" has an extension the %2 cannot be saved with.\r\n"
                                      "Use one of %3 (in lower case).")
                           .arg(QFileInfo(path).fileName(), what, choices));
}

// A failed save is reported here, where it happened, rather than by unwinding through the toolkit's
// event dispatch to the application's report: same message, nothing of the event left behind.
template <class Save> void reportFailure(QWidget *window, Save &&save)
{
    try {
        save();
    } catch (const OrvalisError &e) {
        showErrorReport(e.text(), window);
    }
}

} // namespace

SaveCommands::SaveCommands(QWidget *window, CtfSession *session, const MainBody *body, WindowActions *actions)
    : QObject(window), m_window(window), m_session(session), m_body(body)
{
    SavePictureDialog1 = new SaveFileDialog(window, QStringLiteral("Save As"));
    SavePictureDialog1->setObjectName(QStringLiteral("SavePictureDialog1"));
    SavePictureDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SavePictureDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SavePictureDialog1->setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension gets the one of the filter chosen.
    connect(SavePictureDialog1, &QFileDialog::filterSelected, SavePictureDialog1, [this](const QString &filter) {
        const int star = filter.lastIndexOf(QLatin1String("*."));
        SavePictureDialog1->setDefaultSuffix(filter.mid(star + 2).chopped(1));
    });

    connect(actions->Save1D, &QAction::triggered, this, [this] { reportFailure(m_window, [this] { Save1DClick(); }); });
    connect(actions->Save2D, &QAction::triggered, this, [this] { reportFailure(m_window, [this] { Save2DClick(); }); });
    connect(actions->SaveDefocusMap1, &QAction::triggered, this,
            [this] { reportFailure(m_window, [this] { SaveDefocusMap1Click(); }); });
}

void SaveCommands::applyStored(const WindowSettings &s)
{
    if (s.SaveDir)
        m_saveDir = *s.SaveDir;
}

void SaveCommands::capture(WindowSettings &s) const
{
    s.SaveDir = m_saveDir;
}

// Proposes the name, offers the command's formats and runs the dialog; on OK gives the chosen path
// and its extension with the dot, which is one of `extensions` (any other is refused here).
// The folder kept for the next start is that of the dialog's file name: the chosen path's, or none
// after a Cancel, when the name is still the proposed one.
bool SaveCommands::runDialog(const QString &proposed, const QString &what, const QStringList &extensions, QString &path,
                             QString &ext)
{
    if (!m_dialogUsed && !saveDir().isEmpty() && QFileInfo(saveDir()).isDir())
        SavePictureDialog1->setDirectory(saveDir());
    m_dialogUsed = true;
    setSaveDir(QString());
    QStringList filters;
    for (const QString &extension : extensions)
        filters << filterOf(extension);
    SavePictureDialog1->setNameFilters(filters);
    SavePictureDialog1->selectNameFilter(filters.first());
    SavePictureDialog1->setDefaultSuffix(extensions.first().mid(1));
    SavePictureDialog1->selectFile(proposed);
    if (SavePictureDialog1->exec() != QDialog::Accepted || SavePictureDialog1->selectedFiles().isEmpty())
        return false;
    path = SavePictureDialog1->selectedFiles().first();
    SavePictureDialog1->setDirectory(QFileInfo(path).absolutePath()); // a typed path may lead elsewhere
    setSaveDir(QDir::toNativeSeparators(QFileInfo(path).absolutePath() + u'/'));
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(u'.');
    ext = dot < 0 ? QString() : name.mid(dot);
    if (!extensions.contains(ext))
        unsupportedExtension(path, what, extensions);
    return true;
}

void SaveCommands::Save1DClick()
{
    QString path, ext;
    if (!runDialog(proposedSaveName(SaveView::Curves1D, m_session->ScopeRecord1, m_session->ScopeRecord2,
                                    m_session->state().PlotterMode),
                   QStringLiteral("1D chart"), chartExtensions(), path, ext))
        return;
    static const QHash<QString, ChartFileFormat> pictures{
        {QStringLiteral(".bmp"), ChartFileFormat::Bmp}, {QStringLiteral(".wmf"), ChartFileFormat::Wmf},
        {QStringLiteral(".emf"), ChartFileFormat::Emf}, {QStringLiteral(".png"), ChartFileFormat::Png},
        {QStringLiteral(".svg"), ChartFileFormat::Svg}, {QStringLiteral(".pdf"), ChartFileFormat::Pdf}};
    ChartWidget &chart1 = *m_body->curves()->chart();
    if (ext == QLatin1String(".txt")) {
        saveBytes(curveTableText(m_session->curveSeries(curveSeriesTitles())), path);
    } else {
        saveChart(chart1, path, pictures.value(ext), QColor(Qt::white));
    }
}

void SaveCommands::Save2DClick()
{
    QString path, ext;
    if (!runDialog(proposedSaveName(SaveView::Pattern2D, m_session->ScopeRecord1, m_session->ScopeRecord2,
                                    m_session->state().PlotterMode),
                   QStringLiteral("2D pattern"), patternExtensions(), path, ext))
        return;
    saveImage(m_body->pattern()->image()->image(), path, ext == QLatin1String(".png") ? "PNG" : "BMP");
}

void SaveCommands::SaveDefocusMap1Click()
{
    QString path, ext;
    if (!runDialog(proposedSaveName(SaveView::DefocusMap, m_session->ScopeRecord1, m_session->ScopeRecord2,
                                    m_session->state().PlotterMode),
                   QStringLiteral("defocus map"), chartExtensions(), path, ext))
        return;
    if (ext == QLatin1String(".bmp") || ext == QLatin1String(".png"))
        saveImage(m_body->map()->image(), path, ext == QLatin1String(".png") ? "PNG" : "BMP");
    else if (ext == QLatin1String(".txt"))
        saveBytes(m_session->mapTableText(), path);
    else
        saveChart(*m_body->map()->chart(), path,
                  ext == QLatin1String(".wmf")       ? ChartFileFormat::Wmf
                      : ext == QLatin1String(".emf") ? ChartFileFormat::Emf
                      : ext == QLatin1String(".svg") ? ChartFileFormat::Svg
                                                     : ChartFileFormat::Pdf);
}

// ---- figures and a fit's pictures ------------------------------------------------------------------

FigureCommands::FigureCommands(QMainWindow *window, CtfSession &session, const MainBody *body,
                               MicrographSession &micrograph, FitSession &fit)
    : QObject(window), m_window(window), m_session(session), m_body(body), m_micrograph(micrograph), m_fit(fit)
{
    setObjectName(QStringLiteral("FigureCommands"));
    ExportFigure1 = new QAction(QStringLiteral("Export &Figure..."), window);
    ExportFigure1->setObjectName(QStringLiteral("ExportFigure1"));
    SaveFitPictures1 = new QAction(QStringLiteral("Fit &Pictures..."), window);
    SaveFitPictures1->setObjectName(QStringLiteral("SaveFitPictures1"));
    SaveFitPictures1->setToolTip(
        QStringLiteral("The open micrograph's spectrum beside its fitted model (PNG, MRC) and its profile (PNG, SVG)"));
    // The commands join the window's own menus, found by their names.
    if (auto *file = window->menuBar()->findChild<QMenu *>(QStringLiteral("File1"))) {
        QAction *exit = window->findChild<QAction *>(QStringLiteral("Exit1"));
        file->insertAction(file->actions().contains(exit) ? exit : nullptr, ExportFigure1);
    }
    if (auto *save = window->menuBar()->findChild<QMenu *>(QStringLiteral("Save1")))
        save->addAction(SaveFitPictures1);
    connect(ExportFigure1, &QAction::triggered, this, [this] { reportFailure(m_window, [this] { exportFigure(); }); });
    connect(SaveFitPictures1, &QAction::triggered, this,
            [this] { reportFailure(m_window, [this] { saveFitPictures(); }); });
    for (auto signal : {&FitSession::finished, &FitSession::resultCleared, &FitSession::applied})
        connect(&m_fit, signal, this, &FigureCommands::refresh);
    for (auto signal : {&MicrographSession::opened, &MicrographSession::closed, &MicrographSession::spectrumChanged})
        connect(&m_micrograph, signal, this, &FigureCommands::refresh);
    refresh();
}

void FigureCommands::refresh()
{
    SaveFitPictures1->setEnabled(m_micrograph.isOpen() && m_fit.result() && m_fit.result()->values);
}

Figure FigureCommands::figureOf(int subject) const
{
    const ViewChoices view = m_session.viewChoices();
    switch (static_cast<ExportFigureDialog::Subject>(subject)) {
    case ExportFigureDialog::Subject::Pattern:
        return patternFigure(m_session.computePattern(m_session.state().Defocus, kMaxPatternCentre));
    case ExportFigureDialog::Subject::Map: {
        // Computed apart from the window's own map, whose table Save Defocus Map writes.
        const OptionRanges ranges = m_session.ranges();
        return defocusMapFigure(
            computeDefocusMap(m_session.state(), 512, ranges.defocusMin, ranges.defocusMax, m_session.upTo()),
            m_session.upTo());
    }
    case ExportFigureDialog::Subject::Chart: break;
    }
    const bool plotter = view.plotterMode;
    return curveFigure(*m_body->curves()->chart(),
                       view.intensity && !plotter ? QStringLiteral("CTF\u00B2") : ctfTitle(),
                       plotter ? instrumentName(m_session.ScopeRecord1) : QString(),
                       plotter ? instrumentName(m_session.ScopeRecord2) : QString());
}

void FigureCommands::exportFigure()
{
    ExportFigureDialog dialog(m_window);
    dialog.setStyle(m_style);
    dialog.setSubject(static_cast<ExportFigureDialog::Subject>(m_subject));
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_style = dialog.style();
    m_subject = static_cast<int>(dialog.subject());
    static const char *const names[] = {"chart", "pattern", "map"};
    const QString proposed = QDir(m_folder).filePath(
        QStringLiteral("figure_%1.pdf").arg(QLatin1String(names[m_subject])));
    QString selected = QStringLiteral("PDF, vector (*.pdf)");
    const QString path = QFileDialog::getSaveFileName(
        m_window, QStringLiteral("Export Figure"), proposed,
        QStringLiteral("PDF, vector (*.pdf);;SVG, vector (*.svg);;PNG picture (*.png);;TIFF picture (*.tif *.tiff)"),
        &selected, QFileDialog::DontUseNativeDialog);
    if (path.isEmpty())
        return;
    const std::optional<FigureFormat> format = figureFormatOf(path);
    if (!format)
        throw OrvalisError(
            QStringLiteral("Nothing was saved: \"%1\" has an extension a figure cannot be saved with.\r\n"
                           "Use .pdf, .svg, .png, .tif or .tiff.")
                .arg(QFileInfo(path).fileName()));
    m_folder = QFileInfo(path).absolutePath();
    saveFigure(figureOf(m_subject), m_style, path, *format);
    m_window->statusBar()->showMessage(QStringLiteral("Figure saved: %1").arg(QDir::toNativeSeparators(path)), 5000);
}

void FigureCommands::saveFitPictures()
{
    if (!SaveFitPictures1->isEnabled())
        return;
    const QString folder = QFileDialog::getExistingDirectory(
        m_window, QStringLiteral("Save the fit's pictures into"),
        m_folder.isEmpty() ? QFileInfo(m_micrograph.path()).absolutePath() : m_folder,
        QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return;
    m_folder = folder;
    const QStringList written = writeFitPictures(folder);
    m_window->statusBar()->showMessage(
        QStringLiteral("Saved %1 and 3 more files").arg(QDir::toNativeSeparators(written.value(0))), 5000);
}

QStringList FigureCommands::writeFitPictures(const QString &folder)
{
    const PowerSpectrum *spectrum = m_micrograph.shownSpectrum();
    if (!spectrum || !m_fit.result() || !m_fit.result()->values)
        throw OrvalisError(QStringLiteral("Nothing was saved: the open micrograph has no fit."));
    const CtfFitOptions &options = m_fit.resultOptions();
    const CtfFitValues &values = *m_fit.result()->values;
    const FitPictureFiles files = fitPictureFiles(folder, m_micrograph.path());
    const CtfModel model = fittedModel(options, values);
    orvalis::writeFitPictures(files, *spectrum, &model, 1 / options.lowResolution, values.resolution,
                              m_micrograph.pixelSize());
    return {files.spectrumPng, files.spectrumMrc, files.profilePng, files.profileSvg};
}

} // namespace orvalis
