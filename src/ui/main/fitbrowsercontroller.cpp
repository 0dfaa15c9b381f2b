#include "ui/main/fitbrowsercontroller.h"

#include "core/orvaliserror.h"
#include "core/units.h"
#include "session/ctfsession.h"
#include "ui/fitbrowser/fitbrowserdialog.h"
#include "ui/main/micrographcontroller.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace orvalis {

FitBrowserController::FitBrowserController(QMainWindow *window, CtfSession &session, MicrographController &micrographs)
    : QObject(window), m_window(window), m_session(session), m_micrographs(micrographs)
{
    if (auto *action = window->findChild<QAction *>(QStringLiteral("OpenFits1")))
        connectReported(action, &QAction::triggered, this, &FitBrowserController::choose);
    MicrographSession &micrograph = micrographs.micrograph();
    connect(&micrograph, &MicrographSession::opened, this, &FitBrowserController::applyPending);
    connect(&micrograph, &MicrographSession::failed, this, [this](const QString &message) {
        if (m_pending && m_dialog)
            m_dialog->showStatus(message);
        m_pending.reset();
    });
    connect(&micrograph, &MicrographSession::cancelled, this, [this] { m_pending.reset(); });
}

void FitBrowserController::choose()
{
    // A folder or a file: the file dialog asks for one, with a button to take the folder shown.
    QFileDialog chooser(m_window, QStringLiteral("Open Fits"), m_folder,
                        QStringLiteral("Fit tables (*.star *.txt *.json *.tsv);;All files (*)"));
    chooser.setObjectName(QStringLiteral("OpenFitsDialog"));
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setLabelText(QFileDialog::Accept, QStringLiteral("&Open"));
    auto *folder = new QPushButton(QStringLiteral("Open This &Folder"), &chooser);
    folder->setObjectName(QStringLiteral("btnOpenFolder"));
    folder->setToolTip(QStringLiteral("Every micrograph of the folder shown, with the fits beside them"));
    QString picked;
    connect(folder, &QPushButton::clicked, &chooser, [&] {
        picked = chooser.directory().absolutePath();
        chooser.reject();
    });
    if (auto *layout = chooser.layout())
        layout->addWidget(folder);
    if (chooser.exec() == QDialog::Accepted)
        picked = chooser.selectedFiles().value(0);
    if (picked.isEmpty())
        return;
    open(picked);
}

bool FitBrowserController::open(const QString &path)
{
    FitCatalogue catalogue;
    try {
        catalogue = openFitCatalogue(path);
    } catch (const OrvalisError &e) {
        QMessageBox::warning(m_window, QStringLiteral("Orvalis"), e.text());
        return false;
    }
    m_folder = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    const bool first = !m_dialog;
    if (first) {
        m_dialog = new FitBrowserDialog(m_window);
        connect(m_dialog, &FitBrowserDialog::loadRequested, this,
                [this](const CatalogueEntry &entry) { runReported([&] { load(entry); }); });
    }
    // The window's optics stand for those a table does not give.
    const OpticsState &s = m_session.state();
    CtfUserValues fallback;
    fallback.voltage = s.Voltage;
    fallback.cs = nmToMm(s.Cs);
    fallback.amplitudeContrast = s.AmplitudeContrast;
    m_dialog->setCatalogue(std::move(catalogue), fallback);
    if (first) {
        // Wide enough for every column of a table without the specimen's, within the screen.
        const QRect screen = m_window->screen() ? m_window->screen()->availableGeometry() : QRect(0, 0, 1024, 768);
        m_dialog->resize(std::min(1300, screen.width() - 40), std::min(760, screen.height() - 60));
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    return true;
}

void FitBrowserController::load(const CatalogueEntry &entry)
{
    MicrographSession &micrograph = m_micrographs.micrograph();
    m_pending = entry;
    if (micrograph.isOpen() && !micrograph.busy()
        && QFileInfo(micrograph.path()).canonicalFilePath() == QFileInfo(entry.path).canonicalFilePath()) {
        applyPending();
        return;
    }
    m_micrographs.open(entry.path);
}

void FitBrowserController::applyPending()
{
    if (!m_pending)
        return;
    const CatalogueEntry entry = *m_pending;
    m_pending.reset();
    MicrographSession &micrograph = m_micrographs.micrograph();
    if (QFileInfo(micrograph.path()).canonicalFilePath() != QFileInfo(entry.path).canonicalFilePath())
        return;
    QString note;
    bool applied = false;
    {
        const CtfSession::Batch once(m_session);
        applied = applyCatalogueFit(m_session, micrograph, entry, &note);
        if (applied)
            emit aberrationsSet();
    }
    if (m_dialog) {
        if (!entry.fit)
            m_dialog->showStatus(QStringLiteral("%1 is open; it has no fit to apply.").arg(entry.name));
        else if (!applied)
            m_dialog->showStatus(
                QStringLiteral("%1 is open; %2 found no fit above noise.").arg(entry.name, entry.source));
        else
            m_dialog->showStatus(
                QStringLiteral("%1 is open with the fit of %2.%3")
                    .arg(entry.name, entry.source, note.isEmpty() ? QString() : QLatin1Char(' ') + note));
    }
}

} // namespace orvalis
