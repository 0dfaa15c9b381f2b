#include "savecommands.h"

#include "chart/chartexport.h"
#include "chart/chartwidget.h"
#include "core/curvetable.h"
#include "core/orvaliserror.h"
#include "core/savename.h"
#include "session/ctfsession.h"
#include "store/windowsettings.h"
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

} // namespace orvalis
