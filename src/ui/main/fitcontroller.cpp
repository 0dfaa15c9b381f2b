#include "ui/main/fitcontroller.h"

#include "core/ctffunctions.h"
#include "core/numberformat.h"
#include "core/specimenterms.h"
#include "core/units.h"
#include "session/ctfsession.h"
#include "session/fitsession.h"
#include "session/localdefocussession.h"
#include "ui/fitctf/fitctfdialog.h"
#include "ui/fitctf/fitresultpanel.h"
#include "ui/fitctf/localdefocusdialog.h"
#include "ui/main/micrographcontroller.h"
#include "ui/main/patternpane.h"
#include "ui/widgets/errorreport.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolButton>

#include <algorithm>

namespace orvalis {
namespace {

QToolButton *titleButton(QWidget *parent, const char *name, QAction *action)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setDefaultAction(action);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return b;
}

} // namespace

FitController::FitController(QMainWindow *window, CtfSession &session, MicrographController &micrographs,
                             PatternPane *pattern)
    : QObject(window), m_window(window), m_session(session), m_micrographs(micrographs),
      m_fit(new FitSession(session, micrographs.micrograph(), this)), m_pane(pattern),
      m_below(pattern->findChild<QWidget *>(QStringLiteral("ProgressBar1")))
{
    m_fit->setObjectName(QStringLiteral("fitSession"));
    m_local = new LocalDefocusSession(*m_fit, micrographs.micrograph(), this);
    m_local->setObjectName(QStringLiteral("localDefocusSession"));
    micrographs.setAppliedFitResolution(
        [fit = QPointer<FitSession>(m_fit)] { return fit ? fit->appliedResolution() : 0.0; });
    FitCtf1 = new QAction(QStringLiteral("&Fit CTF..."), window);
    FitCtf1->setObjectName(QStringLiteral("FitCtf1"));
    FitCtf1->setIconText(QStringLiteral("Fit"));
    FitCtf1->setToolTip(QStringLiteral("Fit the CTF to the micrograph: defocus, astigmatism and phase shift"));
    if (auto *setup = window->menuBar()->findChild<QMenu *>(QStringLiteral("Setup1")))
        setup->addAction(FitCtf1);
    connectReported(FitCtf1, &QAction::triggered, this, &FitController::chooseAndFit);

    // The switch and Fit under the pattern and its readout, shown with a micrograph only: without one
    // the pane is as it always was.
    m_buttons = new QWidget(m_pane);
    m_buttons->setObjectName(QStringLiteral("MicrographButtons"));
    auto *row = new QHBoxLayout(m_buttons);
    row->setContentsMargins(0, 0, 2, 0);
    row->setSpacing(2);
    row->addWidget(titleButton(m_buttons, "btnMicrograph", micrographs.Micrograph1));
    row->addWidget(titleButton(m_buttons, "btnFit", FitCtf1));
    // What the pane shows after a fit of the tilt: the spectrum that fit judged, not the micrograph's.
    m_corrected = new QLabel(QStringLiteral("Spectrum corrected for the fitted tilt"), m_pane);
    m_corrected->setObjectName(QStringLiteral("laCorrectedSpectrum"));
    m_corrected->setToolTip(QStringLiteral("The regions' spectra rescaled to the centre's defocus before they were "
                                           "averaged, as the fit judged its rings; the micrograph's own spectrum "
                                           "comes back when it is fitted without the tilt or opened again"));
    m_corrected->setWordWrap(true);
    m_corrected->hide();
    m_buttons->hide();
    m_pane->installEventFilter(this);
    if (m_below) {
        m_belowPanel = m_below->parentWidget();
        m_belowPanel->installEventFilter(this);
    }

    MicrographSession &micrograph = micrographs.micrograph();
    for (auto signal : {&MicrographSession::spectrumChanged, &MicrographSession::closed, &MicrographSession::opened})
        connect(&micrograph, signal, this, &FitController::refresh);
    connect(&micrograph, &MicrographSession::correctionChanged, this, &FitController::refresh);
    connect(&micrograph, &MicrographSession::shownChanged, this, &FitController::refresh);
    connect(&micrograph, &MicrographSession::closed, this, [this] {
        if (m_panel)
            m_panel->hide();
        if (m_localDialog)
            m_localDialog->hide();
    });

    // The panel shows whatever the fit does, however it was started; it comes with the first result.
    connect(m_fit, &FitSession::progress, this, [this](double f) {
        if (m_panel)
            m_panel->showProgress(f);
    });
    connect(m_fit, &FitSession::finished, this, [this] {
        panel()->showResult(*m_fit->result(), m_fit->resultOptions());
        m_panel->showFittedWith(fittedWithText());
        showPanel();
    });
    connect(m_fit, &FitSession::failed, this, [this](const QString &message) {
        panel()->showMessage(message + QStringLiteral(" Nothing is applied."));
        showPanel();
    });
    connect(m_fit, &FitSession::cancelled, this, [this] {
        if (m_panel)
            m_panel->showMessage(QStringLiteral("The fit was cancelled; nothing is applied."));
    });
    connect(m_fit, &FitSession::resultCleared, this, [this] {
        if (m_panel && !m_fit->busy())
            m_panel->showMessage(QStringLiteral("The micrograph's spectrum has changed: fit again."));
    });
    refresh();
}

// The dialog and the panel come with the first fit: a window that never fits makes neither.
FitResultPanel *FitController::panel()
{
    if (m_panel)
        return m_panel;
    m_panel = new FitResultPanel(m_window);
    connect(m_panel, &FitResultPanel::cancelClicked, m_fit, &FitSession::cancel);
    connect(m_panel, &FitResultPanel::fitAgainClicked, this, [this] { runReported([this] { chooseAndFit(); }); });
    connect(m_panel, &FitResultPanel::applyClicked, this, [this] { runReported([this] { apply(); }); });
    connect(m_panel, &FitResultPanel::localDefocusClicked, this,
            [this] { runReported([this] { showLocalDefocus(); }); });
    return m_panel;
}

void FitController::refresh()
{
    const bool open = m_micrographs.micrograph().isOpen();
    FitCtf1->setEnabled(open && !m_micrographs.micrograph().busy());
    m_buttons->setVisible(open);
    // Said only while the pane shows the micrograph's half at all.
    m_corrected->setVisible(m_micrographs.micrograph().shown() && m_micrographs.micrograph().tiltCorrected());
    placeButtons();
}

void FitController::placeButtons()
{
    const QSize size = m_buttons->sizeHint();
    // The pattern grows with its pane, and its readout and progress bar move down with it.
    const int top = m_below ? m_below->mapTo(m_pane, QPoint(0, m_below->height())).y() + 4 : 0;
    m_buttons->setGeometry(2, top, size.width(), size.height());
    m_buttons->raise();
    // On a line of its own under the buttons, wrapped to a narrow pane rather than cut off.
    const int width = std::max(1, m_pane->width() - 4);
    m_corrected->setGeometry(4, top + size.height() + 2, width, m_corrected->heightForWidth(width));
    m_corrected->raise();
}

bool FitController::eventFilter(QObject *watched, QEvent *event)
{
    // Queued: the pane places its parts in its own handler of the same event, after this filter.
    if ((watched == m_pane || (m_belowPanel && watched == m_belowPanel))
        && (event->type() == QEvent::Resize || event->type() == QEvent::Move || event->type() == QEvent::Show))
        QMetaObject::invokeMethod(this, &FitController::placeButtons, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

QString FitController::contextText() const
{
    const OpticsState &s = m_session.state();
    QString text = QStringLiteral("Voltage and Cs are the microscope's, the amplitude contrast the specimen's and the "
                                  "pixel size the micrograph's: a change here changes them there, as Setup's dialogs "
                                  "do. ");
    if (s.C5 != 0)
        text +=
            QStringLiteral("The instrument's C5 of %1 mm is taken too. ").arg(formatRounded(nmToMmByProduct(s.C5), 3));
    text += QStringLiteral("Unless fitted, the phase shift is %1° (Setup > Specimen and Detector).")
                .arg(formatRounded(radiansToDegrees(s.PhaseShift), 1));
    return text;
}

FitOptics FitController::sessionOptics() const
{
    const OpticsState &s = m_session.state();
    return {s.Voltage, nmToMm(s.Cs), s.AmplitudeContrast, nmToAngstrom(m_micrographs.micrograph().pixelSize())};
}

// The values changed in the Fit dialog go where Setup's dialogs put them: voltage and Cs into the
// active instrument record, loaded; the amplitude contrast into the specimen; the pixel size to the
// micrograph (through the specimen's terms, which an open micrograph follows).
bool FitController::applyOptics(const FitOptics &shown, const FitOptics &typed)
{
    const CtfSession::Batch once(m_session); // drawn once, with what changed
    if (typed.voltage != shown.voltage || typed.cs != shown.cs) {
        TScopeData record = m_session.activeScopeRecord();
        record.Voltage = typed.voltage;
        record.Cs = mmToNm(typed.cs);
        QString refused;
        if (!m_session.applyRecord(record, &refused)) {
            showErrorReport(refused, m_window);
            return false;
        }
    }
    if (typed.amplitudeContrast != shown.amplitudeContrast || typed.pixelSize != shown.pixelSize) {
        SpecimenDetector terms = m_session.specimen();
        terms.amplitudeContrast = typed.amplitudeContrast;
        if (typed.pixelSize != shown.pixelSize)
            terms.pixelSize = typed.pixelSize;
        m_session.setSpecimen(terms);
    }
    emit aberrationsSet();
    return true;
}

QString FitController::fittedWithText() const
{
    const CtfFitOptions &o = m_fit->resultOptions();
    return QStringLiteral("%1 kV, Cs %2 mm, amplitude contrast %3, pixel %4 Å")
        .arg(formatRounded(o.instrument.voltage, 3), formatRounded(nmToMm(o.instrument.cs), 3),
             formatRounded(o.amplitudeContrast, 3),
             formatRounded(nmToAngstrom(m_micrographs.micrograph().pixelSize()), 4));
}

void FitController::showPanel()
{
    if (!panel()->isVisible())
        m_panel->show();
    m_panel->raise();
}

void FitController::showLocalDefocus()
{
    if (!m_localDialog)
        m_localDialog = new LocalDefocusDialog(*m_local, m_micrographs.micrograph(), m_window);
    m_localDialog->startOrShow();
    if (!m_localDialog->isVisible())
        m_localDialog->show();
    m_localDialog->raise();
    m_localDialog->activateWindow();
}

void FitController::chooseAndFit()
{
    if (!FitCtf1->isEnabled())
        return;
    if (!m_dialog)
        m_dialog = new FitCtfDialog(m_window);
    const FitOptics shown = sessionOptics();
    m_dialog->setRequest(m_fit->request(), shown);
    m_dialog->setContext(contextText());
    if (m_dialog->exec() != QDialog::Accepted)
        return;
    if (m_dialog->optics() != shown && !applyOptics(shown, m_dialog->optics()))
        return;
    m_fit->setRequest(m_dialog->request());
    QString refused;
    if (!m_fit->start(&refused)) {
        panel()->showMessage(refused + QStringLiteral(" Nothing is applied."));
        showPanel();
        return;
    }
    panel()->showRunning(
        QStringLiteral("Fitting the CTF to %1...").arg(QFileInfo(m_micrographs.micrograph().path()).fileName()));
    showPanel();
}

void FitController::apply()
{
    {
        const CtfSession::Batch once(m_session); // the fit's values as the sliders round them, drawn once
        if (!m_fit->apply())
            return;
        emit aberrationsSet();
    }
    panel()->showApplied();
}

} // namespace orvalis
