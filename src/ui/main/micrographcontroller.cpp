#include "ui/main/micrographcontroller.h"

#include "chart/chartwidget.h"
#include "chart/curvechart.h"
#include "core/curvereadout.h"
#include "core/curvetable.h"
#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"
#include "micrograph/ringaverage.h"
#include "micrograph/spectrumfile.h"
#include "session/ctfsession.h"
#include "ui/main/curvepane.h"
#include "ui/main/patternpane.h"
#include "ui/widgets/errorreport.h"
#include "ui/widgets/pixelimage.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QToolButton>
#include <array>

#include <algorithm>
#include <cmath>

namespace orvalis {
namespace {

// The labels of the spectrum view's halves: a point smaller than the pane's text.
QFont labelFont(QFont font)
{
    font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1));
    return font;
}

// The model's zeros over the grey spectrum: a colour no grey level has, apart from the chart's
// curve colours.
const QColor kZeroLineColour(255, 200, 0);

QAction *command(QObject *owner, const char *name, const QString &caption)
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QString micrographFilter()
{
    return QStringLiteral("Micrographs (*.mrc *.mrcs *.map *.st *.ali *.tif *.tiff *.eer *.png);;All files (*)");
}

QStringList droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

} // namespace

QStringList micrographArguments(const QStringList &arguments)
{
    QStringList files;
    for (int i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(QLatin1Char('-')))
            files << arguments[i];
    return files;
}

MicrographController::MicrographController(QMainWindow *window, CtfSession &session, PatternPane *pattern,
                                           CurvePane *curves)
    : QObject(window), m_window(window), m_session(session), m_pattern(pattern), m_curves(curves),
      m_micrograph(new MicrographSession(session, this))
{
    m_micrograph->setObjectName(QStringLiteral("micrographSession"));
    buildCommands();
    window->setAcceptDrops(true);
    window->installEventFilter(this);

    connect(m_micrograph, &MicrographSession::progress, this, &MicrographController::showProgress);
    connect(m_micrograph, &MicrographSession::spectrumChanged, this, [this] {
        endProgress();
        refreshCommands();
        emit changed();
    });
    // A micrograph just opened is shown: the pattern's pane comes if it was hidden.
    connect(m_micrograph, &MicrographSession::opened, this, [this] {
        auto *pane = m_window->findChild<QAction *>(QStringLiteral("Show2DCTF1"));
        if (pane && !pane->isChecked())
            pane->trigger();
    });
    connect(m_micrograph, &MicrographSession::failed, this, [this](const QString &message) {
        endProgress();
        QMessageBox::warning(m_window, QStringLiteral("Orvalis"), message);
    });
    connect(m_micrograph, &MicrographSession::cancelled, this, &MicrographController::endProgress);
    connect(m_micrograph, &MicrographSession::closed, this, [this] {
        refreshCommands();
        emit changed();
    });
    // A fit's tilt-corrected spectrum comes or goes: the views show the other one.
    connect(m_micrograph, &MicrographSession::correctionChanged, this, &MicrographController::changed);
    connect(m_micrograph, &MicrographSession::recentFilesChanged, this, &MicrographController::refreshRecent);
    // The pane holds the spectrum view exactly while the micrograph is shown; it changes before the
    // views are drawn again (the window's painter connects later).
    connect(this, &MicrographController::changed, this, [this] { m_pattern->setSpectrumView(m_micrograph->shown()); });
    connect(m_pattern, &PatternPane::spectrumResized, this, &MicrographController::viewChanged);
    connect(m_pattern, &PatternPane::wheelTurned, this, &MicrographController::zoomView);
    connect(m_micrograph, &MicrographSession::viewChanged, this, [this] {
        refreshCommands();
        emit viewChanged();
    });
    refreshCommands();
    refreshRecent();
}

MicrographController::~MicrographController()
{
    m_window->removeEventFilter(this);
}

void MicrographController::buildCommands()
{
    OpenMicrograph1 = command(m_window, "OpenMicrograph1", QStringLiteral("Open &Micrograph..."));
    OpenMicrograph1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    CloseMicrograph1 = command(m_window, "CloseMicrograph1", QStringLiteral("&Close Micrograph"));
    SaveSpectrum1 = command(m_window, "SaveSpectrum1", QStringLiteral("Save &Spectrum"));
    SaveAverage1 = command(m_window, "SaveAverage1", QStringLiteral("Save Spectrum &Average"));
    MicrographPixel1 = command(m_window, "MicrographPixel1", QStringLiteral("Micrograph &Pixel Size..."));
    MicrographTile1 = command(m_window, "MicrographTile1", QStringLiteral("Spectrum &Tile Size..."));
    Micrograph1 = command(m_window, "Micrograph1", QStringLiteral("Micrograph"));
    Micrograph1->setCheckable(true);
    Micrograph1->setChecked(true);

    // The commands join the window's own menus, found by their names.
    QMenuBar *bar = m_window->menuBar();
    if (auto *file = bar->findChild<QMenu *>(QStringLiteral("File1"))) {
        QAction *first = file->actions().value(0);
        file->insertAction(first, OpenMicrograph1);
        RecentMicrographs1 = new QMenu(QStringLiteral("Recent Micrographs"), file);
        RecentMicrographs1->setObjectName(QStringLiteral("RecentMicrographs1"));
        file->insertMenu(first, RecentMicrographs1);
        file->insertAction(first, CloseMicrograph1);
        file->insertSeparator(first);
    }
    if (auto *save = bar->findChild<QMenu *>(QStringLiteral("Save1")))
        save->addActions({SaveSpectrum1, SaveAverage1});
    if (auto *pattern = bar->findChild<QMenu *>(QStringLiteral("N2DCTF1")))
        pattern->addAction(Micrograph1);
    if (auto *curves = bar->findChild<QMenu *>(QStringLiteral("N1DCTF1"))) {
        MicrographCurves1 = curves->addMenu(QStringLiteral("Micrograph Curves"));
        MicrographCurves1->setObjectName(QStringLiteral("MicrographCurves1"));
        for (const MicrographCurveLook &c : micrographCurves) {
            QAction *a = command(m_window, c.action, QString::fromUtf8(c.name));
            a->setCheckable(true);
            a->setChecked(true);
            MicrographCurves1->addAction(a);
            curveActions[static_cast<int>(c.curve)] = a;
            const MicrographCurve curve = c.curve;
            connect(a, &QAction::toggled, this, [this, curve](bool on) { showCurve(curve, on); });
        }
    }
    connect(m_curves, &CurvePane::micrographCurveClicked, this,
            [this](MicrographCurve curve) { showCurve(curve, !curveShown(curve)); });
    if (auto *setup = bar->findChild<QMenu *>(QStringLiteral("Setup1")))
        setup->addActions({MicrographPixel1, MicrographTile1});
    connect(MicrographPixel1, &QAction::triggered, this, [this] {
        bool ok = false;
        const double angstrom = QInputDialog::getDouble(m_window, QStringLiteral("Micrograph Pixel Size"),
                                                        QStringLiteral("Pixel size at the specimen (Å/pixel):"),
                                                        nmToAngstrom(m_micrograph->pixelSize()), 0.01, 100, 4, &ok);
        if (ok)
            m_micrograph->setPixelSize(angstromToNm(angstrom));
    });
    connect(MicrographTile1, &QAction::triggered, this, [this] {
        bool ok = false;
        const int tile = QInputDialog::getInt(
            m_window, QStringLiteral("Spectrum Tile Size"),
            QStringLiteral("Tile size (pixels, even, %1 to %2):").arg(kMinTileSize).arg(kMaxTileSize),
            m_micrograph->tileSize(), kMinTileSize, kMaxTileSize, 2, &ok);
        if (ok)
            m_micrograph->setTileSize(tile / 2 * 2);
    });

    connectReported(OpenMicrograph1, &QAction::triggered, this, &MicrographController::chooseAndOpen);
    connectReported(CloseMicrograph1, &QAction::triggered, m_micrograph, &MicrographSession::close);
    connectReported(SaveSpectrum1, &QAction::triggered, this, &MicrographController::saveSpectrum);
    connectReported(SaveAverage1, &QAction::triggered, this, &MicrographController::saveAverage);
    connect(Micrograph1, &QAction::toggled, this, [this](bool on) {
        m_micrograph->setShown(on);
        refreshCommands();
        emit changed();
    });
    buildViewCommands();
}

void MicrographController::buildViewCommands()
{
    SpectrumZoomIn1 = command(m_window, "SpectrumZoomIn1", QStringLiteral("Zoom &In"));
    SpectrumZoomOut1 = command(m_window, "SpectrumZoomOut1", QStringLiteral("Zoom &Out"));
    SpectrumWhole1 = command(m_window, "SpectrumWhole1", QStringLiteral("&Whole Spectrum"));
    SpectrumLog1 = command(m_window, "SpectrumLog1", QStringLiteral("&Logarithmic Contrast"));
    SpectrumRings1 = command(m_window, "SpectrumRings1", QStringLiteral("Model &Rings"));
    SpectrumZoomIn1->setToolTip(QStringLiteral("Zoom the spectrum in (+ or the wheel)"));
    SpectrumZoomOut1->setToolTip(QStringLiteral("Zoom the spectrum out (- or the wheel)"));
    SpectrumWhole1->setToolTip(QStringLiteral("Show the spectrum up to the micrograph's Nyquist frequency"));
    SpectrumLog1->setToolTip(QStringLiteral("Logarithmic contrast of the measured spectrum: the power as measured, "
                                            "its background kept; off, the rings with the background taken off"));
    SpectrumRings1->setToolTip(QStringLiteral("Draw the model's zeros over the measured spectrum"));
    // The keys act while the pointer's pane has the focus (a click on the spectrum gives it): a
    // minus typed into a field stays a minus.
    SpectrumZoomIn1->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal)});
    SpectrumZoomOut1->setShortcut(QKeySequence(Qt::Key_Minus));
    SpectrumWhole1->setShortcut(QKeySequence(Qt::Key_0));
    SpectrumLog1->setShortcut(QKeySequence(Qt::Key_L));
    SpectrumRings1->setShortcut(QKeySequence(Qt::Key_R));
    SpectrumLog1->setCheckable(true);
    SpectrumRings1->setCheckable(true);
    for (QAction *a : {SpectrumZoomIn1, SpectrumZoomOut1, SpectrumWhole1, SpectrumLog1, SpectrumRings1}) {
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_pattern->addAction(a);
    }
    auto *clips = new QActionGroup(this);
    const struct {
        const char *name;
        double percent;
    } clipChoices[] = {{"SpectrumClip05", 0.5}, {"SpectrumClip1", 1}, {"SpectrumClip2", 2}, {"SpectrumClip5", 5}};
    for (const auto &c : clipChoices) {
        QAction *a = command(m_window, c.name, QStringLiteral("Clip %1 %").arg(QLocale::c().toString(c.percent)));
        a->setToolTip(QStringLiteral("The grey levels span the spectrum's %1th to %2th percentile")
                          .arg(QLocale::c().toString(c.percent), QLocale::c().toString(100 - c.percent)));
        a->setCheckable(true);
        a->setData(c.percent);
        clips->addAction(a);
        SpectrumClips << a;
        connect(a, &QAction::triggered, this, [this, a] {
            MicrographSession::ViewChoices v = m_micrograph->viewChoices();
            v.contrast.clipPercent = a->data().toDouble();
            m_micrograph->setViewChoices(v);
        });
    }
    if (auto *pattern = m_window->menuBar()->findChild<QMenu *>(QStringLiteral("N2DCTF1"))) {
        SpectrumView1 = new QMenu(QStringLiteral("&Spectrum View"), pattern);
        SpectrumView1->setObjectName(QStringLiteral("SpectrumView1"));
        SpectrumView1->addActions({SpectrumZoomIn1, SpectrumZoomOut1, SpectrumWhole1});
        SpectrumView1->addSeparator();
        SpectrumView1->addAction(SpectrumLog1);
        SpectrumView1->addActions(SpectrumClips);
        SpectrumView1->addSeparator();
        SpectrumView1->addAction(SpectrumRings1);
        pattern->addMenu(SpectrumView1);
    }
    connect(SpectrumZoomIn1, &QAction::triggered, this, [this] { zoomView(1); });
    connect(SpectrumZoomOut1, &QAction::triggered, this, [this] { zoomView(-1); });
    connect(SpectrumWhole1, &QAction::triggered, this, [this] {
        MicrographSession::ViewChoices v = m_micrograph->viewChoices();
        v.zoom = 1;
        m_micrograph->setViewChoices(v);
    });
    connect(SpectrumLog1, &QAction::toggled, this, [this](bool on) {
        MicrographSession::ViewChoices v = m_micrograph->viewChoices();
        v.contrast.logarithmic = on;
        m_micrograph->setViewChoices(v);
    });
    connect(SpectrumRings1, &QAction::toggled, this, [this](bool on) {
        MicrographSession::ViewChoices v = m_micrograph->viewChoices();
        v.rings = on;
        m_micrograph->setViewChoices(v);
    });
    // The buttons of the 2D bar show these commands, with the bar's captions.
    const struct {
        const char *button;
        QAction *action;
    } buttons[] = {{"btnSpectrumZoomIn", SpectrumZoomIn1},
                   {"btnSpectrumZoomOut", SpectrumZoomOut1},
                   {"btnSpectrumLog", SpectrumLog1},
                   {"btnSpectrumRings", SpectrumRings1}};
    for (const auto &b : buttons)
        if (auto *button = m_window->findChild<QToolButton *>(QString::fromLatin1(b.button))) {
            const QString tip = b.action->toolTip();
            b.action->setIconText(button->text());
            button->setDefaultAction(b.action);
            b.action->setToolTip(tip);
        }
}

void MicrographController::zoomView(int steps)
{
    if (!m_micrograph->shown() || steps == 0)
        return;
    MicrographSession::ViewChoices v = m_micrograph->viewChoices();
    // Whole steps of the square root of 2 from the whole spectrum: in and out again lands where it began.
    const double at = std::round(2 * std::log2(v.zoom)) + steps;
    v.zoom = std::pow(2.0, std::clamp(at, 0.0, 2 * std::log2(MicrographSession::kMaxViewZoom)) / 2);
    m_micrograph->setViewChoices(v);
}

void MicrographController::refreshCommands()
{
    const bool open = m_micrograph->isOpen();
    const bool viewing = m_micrograph->shown();
    const MicrographSession::ViewChoices &v = m_micrograph->viewChoices();
    SpectrumZoomIn1->setEnabled(viewing && v.zoom < MicrographSession::kMaxViewZoom);
    SpectrumZoomOut1->setEnabled(viewing && v.zoom > MicrographSession::kMinViewZoom);
    SpectrumWhole1->setEnabled(viewing && v.zoom > MicrographSession::kMinViewZoom);
    for (QAction *a : {SpectrumLog1, SpectrumRings1})
        a->setEnabled(viewing);
    {
        const QSignalBlocker quiet1(SpectrumLog1), quiet2(SpectrumRings1);
        SpectrumLog1->setChecked(v.contrast.logarithmic);
        SpectrumRings1->setChecked(v.rings);
    }
    for (QAction *a : SpectrumClips) {
        a->setEnabled(viewing);
        a->setChecked(a->data().toDouble() == v.contrast.clipPercent);
    }
    if (SpectrumView1)
        SpectrumView1->setEnabled(viewing);
    CloseMicrograph1->setEnabled(open);
    SaveSpectrum1->setEnabled(open);
    SaveAverage1->setEnabled(open);
    Micrograph1->setEnabled(open);
    MicrographPixel1->setEnabled(open);
    if (MicrographCurves1)
        MicrographCurves1->setEnabled(open);
}

void MicrographController::showCurve(MicrographCurve curve, bool shown)
{
    const int i = static_cast<int>(curve);
    if (m_curveShown[i] == shown)
        return;
    m_curveShown[i] = shown;
    if (QAction *a = curveActions[i]; a && a->isChecked() != shown)
        a->setChecked(shown);
    drawCurves();
    m_curves->replotSoon();
}

void MicrographController::refreshRecent()
{
    if (!RecentMicrographs1)
        return;
    RecentMicrographs1->clear();
    const QStringList files = m_micrograph->recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        QAction *a = RecentMicrographs1->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
        a->setObjectName(QStringLiteral("RecentMicrograph%1").arg(i + 1));
        const QString path = files[i];
        connect(a, &QAction::triggered, this, [this, path] { open(path); });
    }
    RecentMicrographs1->setEnabled(!files.isEmpty());
}

// ---- opening ------------------------------------------------------------------------------------

void MicrographController::chooseAndOpen()
{
    const QString path = QFileDialog::getOpenFileName(m_window, QStringLiteral("Open Micrograph"), m_folder,
                                                      micrographFilter());
    if (!path.isEmpty())
        open(path);
}

void MicrographController::open(const QString &path)
{
    m_folder = QFileInfo(path).absolutePath();
    if (!m_progress) {
        m_progress = new QProgressDialog(m_window);
        m_progress->setObjectName(QStringLiteral("MicrographProgress"));
        m_progress->setWindowTitle(QStringLiteral("Orvalis"));
        m_progress->setWindowModality(Qt::WindowModal);
        m_progress->setRange(0, 1000);
        // Shown only for work that lasts: anything quicker than 0.2 s just happens.
        m_progress->setMinimumDuration(200);
        connect(m_progress, &QProgressDialog::canceled, m_micrograph, &MicrographSession::cancel);
    }
    m_progress->setLabelText(
        QStringLiteral("Reading %1 and computing its spectrum...").arg(QFileInfo(path).fileName()));
    m_progress->reset();
    m_progress->setValue(0);
    // Opening shows the micrograph: the pattern's pane comes and the switch goes on.
    if (!Micrograph1->isChecked())
        Micrograph1->setChecked(true);
    m_micrograph->open(path);
}

void MicrographController::showProgress(double fraction)
{
    if (m_progress && m_micrograph->busy())
        m_progress->setValue(static_cast<int>(std::lround(fraction * 999)));
}

void MicrographController::endProgress()
{
    if (m_progress)
        m_progress->reset();
}

bool MicrographController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::DragEnter) {
        auto *drag = static_cast<QDragEnterEvent *>(event);
        if (!droppedFiles(drag->mimeData()).isEmpty()) {
            drag->acceptProposedAction();
            return true;
        }
    } else if (watched == m_window && event->type() == QEvent::Drop) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QStringList files = droppedFiles(drop->mimeData());
        if (!files.isEmpty()) {
            drop->acceptProposedAction();
            // One micrograph is shown at a time: the first dropped.
            const QString path = files.first();
            QMetaObject::invokeMethod(
                this, [this, path] { runReported([&] { open(path); }); }, Qt::QueuedConnection);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---- drawing ------------------------------------------------------------------------------------

bool MicrographController::drawPattern()
{
    m_pattern->setSpectrumView(m_micrograph->shown());
    if (!m_micrograph->shown()) {
        m_shownView = {};
        return false;
    }
    QImage &image = m_pattern->image()->image();
    const CompositeGrid &grid = m_micrograph->spectrumView(image.width() / 2);
    if (grid.side() != image.width() || grid.side() != image.height()) {
        m_shownView = {};
        return false;
    }
    static const std::array<QRgb, 256> colourOf = [] {
        std::array<QRgb, 256> table{};
        for (int g = 0; g < 256; ++g)
            table[std::size_t(g)] = qRgb(g, g, g);
        return table;
    }();
    const std::vector<ZeroLine> lines = m_micrograph->zeroLines(grid.centre);
    // The pixels to put anew: those whose grey level changed (with the labels over them), when the
    // picture still holds the last view and nothing else drawn over it has moved; else all.
    const QRect redrawn = lines.empty() ? changedSinceShown(image, grid) : image.rect();
    for (int y = redrawn.top(); y <= redrawn.bottom(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        const std::uint8_t *grey = grid.grey.data() + static_cast<std::size_t>(y) * grid.side();
        for (int x = redrawn.left(); x <= redrawn.right(); ++x)
            row[x] = colourOf[grey[x]];
    }
    drawZeroLines(image, grid, lines);
    labelHalves(image, grid, redrawn);
    m_shownView.grey = grid.grey;
    m_shownView.centre = grid.centre;
    m_shownView.range = grid.range;
    m_shownView.direction = m_session.state().Direction;
    m_shownView.font = m_pattern->font();
    m_shownView.partialAllowed = lines.empty();
    m_shownView.imageKey = image.cacheKey();
    m_pattern->setViewRange(grid.range);
    m_pattern->hideProgress();
    if (!redrawn.isEmpty())
        m_pattern->image()->updateImageRect(redrawn);
    return true;
}

// The rectangle of the picture to draw anew: the bounds of the grey levels that differ from those
// last shown, grown to hold whole every label it touches (a label is blended over its pixels, so it is
// drawn again only over pixels put anew); the whole picture when the last view is not what it holds.
QRect MicrographController::changedSinceShown(const QImage &image, const CompositeGrid &grid) const
{
    const ShownView &v = m_shownView;
    if (!v.partialAllowed || v.imageKey != image.cacheKey() || v.grey.size() != grid.grey.size()
        || v.centre != grid.centre || !(v.range == grid.range) || !(v.direction == m_session.state().Direction)
        || v.font != m_pattern->font())
        return image.rect();
    const int side = grid.side();
    int left = side, right = -1, top = side, bottom = -1;
    for (int y = 0; y < side; ++y) {
        const std::uint8_t *now = grid.grey.data() + static_cast<std::size_t>(y) * side;
        const std::uint8_t *was = v.grey.data() + static_cast<std::size_t>(y) * side;
        if (std::equal(now, now + side, was))
            continue;
        const int first = static_cast<int>(std::mismatch(now, now + side, was).first - now);
        int last = side - 1;
        while (now[last] == was[last])
            --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    QRect changed = bottom < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
    if (changed.isEmpty())
        return changed;
    // A label's box with a pixel around it for the rounding of its edges.
    QList<QRect> boxes;
    for (const auto &label : halfLabels(image, grid))
        boxes << (label.second.toAlignedRect().adjusted(-1, -1, 1, 1) & image.rect());
    for (bool grown = true; grown;) {
        grown = false;
        for (const QRect &box : boxes)
            if (changed.intersects(box) && !changed.contains(box)) {
                changed |= box;
                grown = true;
            }
    }
    return changed;
}

// The model's zeros over the measured half only: the model's half shows them itself.
void MicrographController::drawZeroLines(QImage &image, const CompositeGrid &grid,
                                         const std::vector<ZeroLine> &lines) const
{
    if (lines.empty())
        return;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // The measured side of the line through the centre along the profile's direction, as onModelSide
    // divides it; a pixel's centre lies half a pixel inside its square.
    const double direction = m_session.state().Direction;
    const QPointF along(std::cos(direction), std::sin(direction));
    const QPointF towardsModel(-std::sin(direction), std::cos(direction));
    const QPointF centre(grid.centre + 0.5, grid.centre + 0.5);
    const double far = 4.0 * grid.side();
    QPainterPath measured;
    measured.moveTo(centre + far * along);
    measured.lineTo(centre + far * along - far * towardsModel);
    measured.lineTo(centre - far * along - far * towardsModel);
    measured.lineTo(centre - far * along);
    measured.closeSubpath();
    painter.setClipPath(measured);
    painter.setPen(QPen(kZeroLineColour, 1.2));
    for (const ZeroLine &line : lines) {
        QPolygonF points;
        points.reserve(static_cast<int>(line.kx.size()) + 1);
        for (std::size_t i = 0; i < line.kx.size(); ++i)
            points << QPointF(compositePixelOf(line.kx[i], grid.centre, grid.range) + 0.5,
                              compositePixelOf(line.ky[i], grid.centre, grid.range) + 0.5);
        if (line.closed)
            painter.drawPolygon(points);
        else
            painter.drawPolyline(points);
    }
}

// Which half is which, in the corner of each that lies before the dividing line's start: each
// label's text and box.
QList<QPair<QString, QRectF>> MicrographController::halfLabels(const QImage &image, const CompositeGrid &grid) const
{
    const QFontMetrics metrics(labelFont(m_pattern->font()));
    const double direction = m_session.state().Direction;
    const QPointF along(std::cos(direction), std::sin(direction));
    const QPointF towardsModel(-std::sin(direction), std::cos(direction));
    const QPointF centre(grid.centre, grid.centre);
    const double reach = 0.78 * grid.centre;
    const struct {
        QString text;
        double side;
    } labels[] = {{QStringLiteral("Spectrum"), -1.0}, {QStringLiteral("Model"), 1.0}};
    QList<QPair<QString, QRectF>> boxes;
    for (const auto &l : labels) {
        const QPointF at = centre + reach * l.side * towardsModel - reach * along;
        QRectF box(0, 0, metrics.horizontalAdvance(l.text) + 6, metrics.height() + 2);
        box.moveCenter(at);
        // Kept inside the picture, whatever the direction.
        box.moveLeft(std::clamp(box.left(), 2.0, image.width() - box.width() - 2));
        box.moveTop(std::clamp(box.top(), 2.0, image.height() - box.height() - 2));
        boxes.push_back({l.text, box});
    }
    return boxes;
}

// The labels that lie within `within`, the pixels just put anew.
void MicrographController::labelHalves(QImage &image, const CompositeGrid &grid, const QRect &within) const
{
    QPainter painter(&image);
    painter.setFont(labelFont(m_pattern->font()));
    for (const auto &[text, box] : halfLabels(image, grid)) {
        if (!within.intersects(box.toAlignedRect()))
            continue;
        painter.fillRect(box, QColor(0, 0, 0, 150));
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

void MicrographController::drawCurves()
{
    ChartWidget *chart = m_curves->chart();
    if (!m_micrograph->shown()) {
        // Nothing is added to the chart until a micrograph is shown: without one it is as it always was.
        for (int s : m_series)
            if (s >= 0) {
                chart->clearSeries(s);
                chart->setSeriesVisible(s, false);
            }
        m_k.clear();
        m_heldTo = 0;
        m_curves->listMicrographCurves({});
        return;
    }
    if (m_series[0] < 0)
        for (const MicrographCurveLook &c : micrographCurves)
            m_series[static_cast<int>(c.curve)] = micrographSeries(*chart, c.curve, m_curves->monochrome());
    const RingProfile &p = m_micrograph->profile();
    // The average on the model's scale (0 .. 1), where the chart's CTF lives.
    QVector<double> k, average, model, envelope, agreement;
    const double upTo = m_session.upTo();
    const auto [scale, offset] = p.shownScale(m_micrograph->lowestFrequency());
    for (int b = 0; b < p.bins() && p.frequency(b) <= upTo; ++b) {
        const double y = p.average[std::size_t(b)];
        if (!std::isfinite(y) || p.frequency(b) < m_micrograph->lowestFrequency())
            continue;
        k << p.frequency(b);
        average << (y - offset) / scale;
        model << (p.model[std::size_t(b)] - p.offset) / (p.scale != 0 ? p.scale : 1.0);
        envelope << (p.envelope[std::size_t(b)] - p.offset) / (p.scale != 0 ? p.scale : 1.0);
        const double a = p.agreement[std::size_t(b)];
        agreement << (std::isfinite(a) ? a : 0.0);
    }
    m_k = k;
    m_values = {average, model, envelope, agreement};
    for (int c = 0; c < 4; ++c)
        chart->setPoints(m_series[c], k, m_values[c]);
    // One resolution for the fit's text and its marker: the fit's own while its values stand.
    const double held = m_appliedFit ? m_appliedFit() : 0.0;
    m_heldTo = held > 0 ? 1 / held : p.agreedUpTo;
    const int marker = m_series[static_cast<int>(MicrographCurve::HeldTo)];
    chart->setPoints(marker, QVector<double>{m_heldTo, m_heldTo}, QVector<double>{-1.0, 1.0});
    QVector<QPair<MicrographCurve, bool>> listed;
    for (const MicrographCurveLook &c : micrographCurves) {
        const int i = static_cast<int>(c.curve);
        const bool drawn = m_curveShown[i] && (c.curve != MicrographCurve::HeldTo || m_heldTo > 0);
        chart->setSeriesVisible(m_series[i], drawn);
        // The marker is listed only while there is a resolution to mark.
        if (c.curve != MicrographCurve::HeldTo || m_heldTo > 0)
            listed.push_back({c.curve, m_curveShown[i]});
    }
    m_curves->listMicrographCurves(listed);
}

QString MicrographController::curveReadout(double k) const
{
    if (!m_micrograph->shown() || m_k.isEmpty() || k < m_k.front() || k > m_k.back())
        return {};
    // The nearest bin: the curves are the measured rings' averages, nothing lies between them.
    const auto above = std::lower_bound(m_k.cbegin(), m_k.cend(), k);
    int i = static_cast<int>(above - m_k.cbegin());
    if (i > 0 && (i == m_k.size() || k - m_k[i - 1] < m_k[i] - k))
        --i;
    QStringList parts;
    for (int c = 0; c < 4; ++c)
        if (m_curveShown[c])
            parts << micrographCurveName(static_cast<MicrographCurve>(c)) + QLatin1Char(' ')
                    + formatFixed(m_values[c][i], 2);
    if (m_curveShown[static_cast<int>(MicrographCurve::HeldTo)] && m_heldTo > 0)
        parts << micrographCurveName(MicrographCurve::HeldTo) + QLatin1Char(' ')
                + formatRounded(nmToAngstrom(1 / m_heldTo), 1) + QStringLiteral(" Å");
    return parts.join(QStringLiteral(", "));
}

QString MicrographController::readout(double kx, double ky) const
{
    if (!m_micrograph->shown())
        return {};
    const std::optional<SpectrumSample> s = m_micrograph->sampleAt(kx, ky);
    if (!s)
        return {};
    return QStringLiteral("  spectrum %1").arg(formatGeneral(s->power));
}

MicrographController::ViewReadout MicrographController::viewReadout(double kx, double ky) const
{
    const std::optional<SpectrumSample> s = m_micrograph->sampleAt(kx, ky);
    if (!m_micrograph->shown() || !s)
        return {};
    const double k = std::hypot(kx, ky);
    // The measured value as the linear contrast shows it: the rings, the power less its background.
    return {pointerFrequencyText(k),
            QStringLiteral("measured %1, model %2")
                .arg(QString::number(s->rings, 'g', 3))
                .arg(formatFixed(m_micrograph->modelValueAt(kx, ky), 3))};
}

void MicrographController::showReadout(PatternPane *pattern, double kx, double ky) const
{
    const QString extra = readout(kx, ky);
    if (extra.isEmpty())
        return;
    if (auto *line = pattern->findChild<QLabel *>(QStringLiteral("Label11"))) {
        line->setText(line->text() + extra);
        line->resize(std::max(line->width(), line->fontMetrics().horizontalAdvance(line->text()) + 8), line->height());
    }
}

// ---- saving -------------------------------------------------------------------------------------

void MicrographController::saveSpectrum()
{
    // The spectrum shown, corrected for a fitted tilt or not; the MRC header's label says which.
    const PowerSpectrum *spectrum = m_micrograph->shownSpectrum();
    if (!spectrum)
        return;
    const QString proposed = QFileInfo(m_micrograph->path()).completeBaseName() + QStringLiteral("_spectrum.png");
    const QString path = QFileDialog::getSaveFileName(
        m_window, QStringLiteral("Save the spectrum"), QDir(m_folder).filePath(proposed),
        QStringLiteral("PNG picture (*.png);;16-bit TIFF (*.tif *.tiff);;MRC float image (*.mrc)"));
    if (path.isEmpty())
        return;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("mrc")) {
        writeFloatMrc(path, spectrum->size, spectrum->rings, m_micrograph->pixelSize(), m_micrograph->tiltCorrected());
        return;
    }
    const std::vector<std::uint16_t> levels = greyLevels16(spectrum->rings);
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff")) {
        writeGreyTiff16(path, spectrum->size, levels);
        return;
    }
    QImage image(spectrum->size, spectrum->size, QImage::Format_Grayscale16);
    for (int y = 0; y < spectrum->size; ++y)
        std::copy_n(levels.data() + static_cast<std::size_t>(y) * spectrum->size, spectrum->size,
                    reinterpret_cast<std::uint16_t *>(image.scanLine(y)));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw OrvalisError(
            QStringLiteral("Cannot write %1: the picture could not be encoded.").arg(QFileInfo(path).fileName()));
    saveWholeFile(path, bytes);
}

void MicrographController::saveAverage()
{
    if (!m_micrograph->isOpen())
        return;
    const QString proposed = QFileInfo(m_micrograph->path()).completeBaseName() + QStringLiteral("_average.txt");
    const QString path = QFileDialog::getSaveFileName(m_window, QStringLiteral("Save the spectrum's average"),
                                                      QDir(m_folder).filePath(proposed),
                                                      QStringLiteral("Text table (*.txt)"));
    if (path.isEmpty())
        return;
    const RingProfile &p = m_micrograph->profile();
    QVector<CurveSeries> table(4);
    const AverageColumn columns[] = {AverageColumn::Average, AverageColumn::ModelScaled,
                                     AverageColumn::ModelEnvelopeScaled, AverageColumn::Agreement};
    for (int s = 0; s < 4; ++s)
        table[s].title = QString::fromLatin1(averageColumnTitle(columns[s]));
    for (int b = 0; b < p.bins(); ++b) {
        const double values[] = {p.average[std::size_t(b)], p.model[std::size_t(b)], p.envelope[std::size_t(b)],
                                 p.agreement[std::size_t(b)]};
        for (int s = 0; s < 4; ++s) {
            table[s].x << p.frequency(b);
            table[s].y << (std::isfinite(values[s]) ? values[s] : 0.0);
        }
    }
    saveWholeFile(path, curveTableText(table));
}

} // namespace orvalis
