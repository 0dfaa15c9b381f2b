#include "ui/fitbrowser/fitbrowserdialog.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"
#include "core/regularfile.h"
#include "core/units.h"
#include "session/micrographsession.h"
#include "ui/widgets/errorreport.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace orvalis {

namespace {

constexpr int kThumbnailCentre = 128; // the thumbnails are 256 pixels a side, the preview's size
// On a screen under this height (logical pixels: 768 at 125 %) the preview shrinks, so that the
// table keeps room for its columns.
constexpr int kSmallScreenHeight = 700;
constexpr int kSmallPreview = 192;
constexpr int kCellIcon = 64; // and 64 in the table

// Kept as 8-bit grey (64 KB a thumbnail), a pixmap made only for the one previewed.
QImage imageOf(const CompositeGrid &grid)
{
    const int side = grid.side();
    return QImage(grid.grey.data(), side, side, side, QImage::Format_Grayscale8).copy();
}

} // namespace

// The filter's rows, the numbers sorted as numbers, and the thumbnails in their column.
class CatalogueProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    CatalogueFilter filter;
    QHash<int, QPixmap> icons;

    void refilter() { invalidateFilter(); }
    void iconChanged(int sourceRow)
    {
        const QModelIndex at = mapFromSource(sourceModel()->index(sourceRow, FitCatalogueModel::Spectrum));
        if (at.isValid())
            emit dataChanged(at, at, {Qt::DecorationRole});
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (index.column() == FitCatalogueModel::Spectrum && role == Qt::DecorationRole) {
            const auto it = icons.find(mapToSource(index).row());
            return it == icons.end() ? QVariant() : QVariant(*it);
        }
        return QSortFilterProxyModel::data(index, role);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &) const override
    {
        return catalogueAccepts(static_cast<const FitCatalogueModel *>(sourceModel())->entry(row), filter);
    }
};

FitBrowserDialog::FitBrowserDialog(QWidget *parent)
    : QDialog(parent), m_model(new FitCatalogueModel(this)), m_proxy(new CatalogueProxy(this)),
      m_thumbnails(new FitThumbnails(this))
{
    setObjectName(QStringLiteral("FitBrowser"));
    setWindowTitle(QStringLiteral("Fits"));
    setSizeGripEnabled(true);
    m_proxy->setSourceModel(m_model);
    m_proxy->setSortRole(FitCatalogueModel::SortRole);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("edFitFilter"));
    m_filter->setPlaceholderText(QStringLiteral("Filter by name or source"));
    m_filter->setClearButtonEnabled(true);
    m_reliable = new QCheckBox(QStringLiteral("&Reliable only"), this);
    m_reliable->setObjectName(QStringLiteral("cbReliableOnly"));
    m_reliable->setToolTip(QStringLiteral("Hides micrographs without a fit and fits their own table judges not "
                                          "reliable; fits whose table does not judge (STAR, CTFFIND) stay"));
    auto *holdsLabel = new QLabel(QStringLiteral("&Holds to better than"), this);
    m_holdsTo = new QDoubleSpinBox(this);
    m_holdsTo->setObjectName(QStringLiteral("edHoldsTo"));
    m_holdsTo->setRange(0, 100);
    m_holdsTo->setDecimals(1);
    m_holdsTo->setSingleStep(0.5);
    m_holdsTo->setSuffix(QStringLiteral(" Å"));
    m_holdsTo->setSpecialValueText(QStringLiteral("any"));
    m_holdsTo->setToolTip(QStringLiteral("Shows only fits whose rings follow the model up to this resolution or "
                                         "better"));
    holdsLabel->setBuddy(m_holdsTo);
    auto *filters = new QHBoxLayout;
    filters->addWidget(m_filter, 1);
    filters->addWidget(m_reliable);
    filters->addWidget(holdsLabel);
    filters->addWidget(m_holdsTo);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("FitTable"));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(FitCatalogueModel::Micrograph, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->setIconSize(QSize(kCellIcon, kCellIcon));
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(kCellIcon + 4);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setColumnWidth(FitCatalogueModel::Spectrum, kCellIcon + 8);

    m_preview = new QLabel(this);
    m_preview->setObjectName(QStringLiteral("FitPreview"));
    const QScreen *screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const int preview = screen && screen->availableGeometry().height() < kSmallScreenHeight ? kSmallPreview
                                                                                            : 2 * kThumbnailCentre;
    m_preview->setFixedSize(preview, preview);
    m_preview->setScaledContents(true);
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setFrameShape(QFrame::StyledPanel);
    m_preview->setToolTip(QStringLiteral("The spectrum above, the fit's model below"));
    m_details = new QLabel(this);
    m_details->setObjectName(QStringLiteral("FitDetails"));
    m_details->setWordWrap(true);
    m_details->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_details->setFixedWidth(preview);
    auto *side = new QWidget(this);
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(m_preview);
    sideLayout->addWidget(m_details, 1);

    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_table);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setCollapsible(0, false);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("laFitCount"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("FitThumbnailProgress"));
    m_progress->setFormat(QStringLiteral("Spectra %v of %m"));
    m_progress->setMinimumWidth(m_progress->fontMetrics().horizontalAdvance(QStringLiteral("Spectra 0000 of 0000"))
                                + 24);
    m_progress->setMaximumWidth(2 * m_progress->minimumWidth());
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("laFitStatus"));
    m_status->setWordWrap(true);

    m_load = new QPushButton(QStringLiteral("&Load in Window"), this);
    m_load->setObjectName(QStringLiteral("btnLoadFit"));
    m_load->setToolTip(QStringLiteral("Opens the micrograph in the window with this fit's defocus, astigmatism and "
                                      "phase shift (a click or Enter does the same)"));
    m_export = new QPushButton(QStringLiteral("&Export Selected as STAR..."), this);
    m_export->setObjectName(QStringLiteral("btnExportStar"));
    m_export->setToolTip(QStringLiteral("Writes the selected fits as a STAR file RELION reads"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("btnCloseFits"));
    close->setAutoDefault(false);
    m_load->setAutoDefault(false);
    m_export->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_count);
    buttons->addWidget(m_progress);
    buttons->addStretch(1);
    buttons->addWidget(m_load);
    buttons->addWidget(m_export);
    buttons->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    connect(m_filter, &QLineEdit::textChanged, this, &FitBrowserDialog::refilter);
    connect(m_reliable, &QCheckBox::toggled, this, &FitBrowserDialog::refilter);
    connect(m_holdsTo, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &FitBrowserDialog::refilter);
    // A plain click loads; a click that extends the selection (for the export) does not.
    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex &) {
        if (m_table->selectionModel()->selectedRows().size() == 1)
            loadCurrent();
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &FitBrowserDialog::showPreview);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_export->setEnabled(!m_table->selectionModel()->selectedRows().isEmpty()); });
    connect(m_load, &QPushButton::clicked, this, &FitBrowserDialog::loadCurrent);
    connectReported(m_export, &QPushButton::clicked, this, &FitBrowserDialog::exportSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_thumbnails, &FitThumbnails::ready, this, &FitBrowserDialog::thumbnailReady);
    connect(m_thumbnails, &FitThumbnails::progress, this, [this](int done, int total) {
        m_progress->setMaximum(total);
        m_progress->setValue(done);
    });
    connect(m_thumbnails, &FitThumbnails::finished, m_progress, &QWidget::hide);
    m_export->setEnabled(false);
    m_load->setEnabled(false);
    m_progress->hide();
}

FitBrowserDialog::~FitBrowserDialog() = default;

void FitBrowserDialog::setCatalogue(FitCatalogue catalogue, const CtfUserValues &fallback)
{
    m_thumbnails->cancel();
    m_fallback = fallback;
    m_large.clear();
    m_problems.clear();
    m_proxy->icons.clear();
    setWindowTitle(QStringLiteral("Fits - %1").arg(QDir::toNativeSeparators(catalogue.opened)));
    m_exportFolder = QFileInfo(catalogue.opened).isDir() ? catalogue.opened
                                                         : QFileInfo(catalogue.opened).absolutePath();
    m_model->setCatalogue(std::move(catalogue));
    m_status->clear();
    // The specimen's columns only where some table gives them: most hold no tilt or thickness.
    const auto anyHas = [this](auto has) {
        for (const CatalogueEntry &e : m_model->catalogue().entries)
            if (e.fit && has(*e.fit))
                return true;
        return false;
    };
    m_table->setColumnHidden(FitCatalogueModel::Tilt,
                             !anyHas([](const FitTableRow &f) { return f.tiltAngle.has_value(); }));
    m_table->setColumnHidden(FitCatalogueModel::TiltAxis,
                             !anyHas([](const FitTableRow &f) { return f.tiltAxis.has_value(); }));
    m_table->setColumnHidden(FitCatalogueModel::Thickness,
                             !anyHas([](const FitTableRow &f) { return f.thickness.has_value(); }));
    refilter();
    for (int c = FitCatalogueModel::Micrograph; c < FitCatalogueModel::ColumnCount; ++c)
        m_table->resizeColumnToContents(c);
    m_table->setColumnWidth(FitCatalogueModel::Micrograph,
                            std::min(m_table->columnWidth(FitCatalogueModel::Micrograph), 260));
    if (m_proxy->rowCount() > 0)
        m_table->setCurrentIndex(m_proxy->index(0, FitCatalogueModel::Micrograph));

    // The thumbnails in the order the rows are shown, so that the first screenful comes first.
    QVector<FitThumbnails::Job> jobs;
    for (const int row : shownRows()) {
        const CatalogueEntry &e = m_model->entry(row);
        if (!e.found)
            continue;
        FitThumbnails::Job job;
        job.row = row;
        job.path = e.path;
        job.model = entryModel(e, m_fallback);
        job.pixelSizeNm = e.fit && e.fit->pixelSize > 0 ? angstromToNm(e.fit->pixelSize) : 0.0;
        jobs << job;
    }
    m_progress->setMaximum(std::max(1, static_cast<int>(jobs.size())));
    m_progress->setValue(0);
    m_progress->setVisible(!jobs.isEmpty());
    if (!jobs.isEmpty())
        m_thumbnails->start(std::move(jobs), kThumbnailCentre);
}

QVector<int> FitBrowserDialog::shownRows() const
{
    QVector<int> rows;
    for (int r = 0; r < m_proxy->rowCount(); ++r)
        rows << m_proxy->mapToSource(m_proxy->index(r, 0)).row();
    return rows;
}

bool FitBrowserDialog::thumbnailsBusy() const
{
    return m_thumbnails->busy();
}

void FitBrowserDialog::showStatus(const QString &text)
{
    m_status->setText(text);
}

void FitBrowserDialog::refilter()
{
    m_proxy->filter = CatalogueFilter{m_filter->text().trimmed(), m_reliable->isChecked(), m_holdsTo->value()};
    m_proxy->refilter();
    const int all = m_model->rowCount();
    int fitted = 0;
    for (const CatalogueEntry &e : m_model->catalogue().entries)
        fitted += e.fit.has_value();
    m_count->setText(QStringLiteral("%1 of %2 shown (%3 %4, %5 %6 without)")
                         .arg(m_proxy->rowCount())
                         .arg(all)
                         .arg(fitted)
                         .arg(fitted == 1 ? QStringLiteral("fit") : QStringLiteral("fits"))
                         .arg(all - fitted)
                         .arg(all - fitted == 1 ? QStringLiteral("micrograph") : QStringLiteral("micrographs")));
    m_load->setEnabled(m_table->currentIndex().isValid());
}

void FitBrowserDialog::loadCurrent()
{
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid())
        return;
    const CatalogueEntry &e = m_model->entry(m_proxy->mapToSource(current).row());
    if (!e.found) {
        m_status->setText(QStringLiteral("%1 is not there: nothing is loaded.").arg(QDir::toNativeSeparators(e.path)));
        return;
    }
    if (e.fit && e.fit->number > 0) {
        m_status->setText(QStringLiteral("%1 is micrograph %2 of a stack; the window opens whole files only: nothing "
                                         "is loaded.")
                              .arg(e.name)
                              .arg(e.fit->number));
        return;
    }
    m_status->clear();
    emit loadRequested(e);
}

void FitBrowserDialog::showPreview()
{
    const QModelIndex current = m_table->currentIndex();
    m_load->setEnabled(current.isValid());
    if (!current.isValid()) {
        m_preview->clear();
        m_details->clear();
        return;
    }
    const int row = m_proxy->mapToSource(current).row();
    const CatalogueEntry &e = m_model->entry(row);
    const auto it = m_large.find(row);
    if (it != m_large.end())
        m_preview->setPixmap(QPixmap::fromImage(*it));
    else
        m_preview->setText(m_problems.value(row,
                                            e.found ? QStringLiteral("Computing the spectrum...")
                                                    : QStringLiteral("The micrograph is not there")));
    QString text = QStringLiteral("<b>%1</b><br>").arg(e.name.toHtmlEscaped());
    if (!e.fit) {
        text += QStringLiteral("No fit in the tables read.");
    } else {
        text += QStringLiteral("Fitted by %1<br><small>%2, line %3</small>")
                    .arg(e.source.toHtmlEscaped(), QDir::toNativeSeparators(e.table).toHtmlEscaped())
                    .arg(e.fit->line);
        if (e.fit->optics)
            text += QStringLiteral("<br>%1 kV, Cs %2 mm, amplitude contrast %3")
                        .arg(formatRounded(e.fit->optics->voltage, 3), formatRounded(e.fit->optics->cs, 3),
                             formatRounded(e.fit->optics->amplitudeContrast, 3));
        if (e.fit->pixelSize > 0)
            text += QStringLiteral("<br>Pixel %1 Å").arg(formatRounded(e.fit->pixelSize, 4));
        if (!e.fit->optics)
            text += QStringLiteral(
                "<br><small>The table gives no optics: the model is drawn with the window's.</small>");
    }
    m_details->setText(text);
}

void FitBrowserDialog::thumbnailReady(int row, std::shared_ptr<const CompositeGrid> grid, const QString &problem)
{
    if (grid) {
        const QImage large = imageOf(*grid);
        m_large.insert(row, large);
        m_proxy->icons.insert(
            row, QPixmap::fromImage(large.scaled(kCellIcon, kCellIcon, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        m_proxy->iconChanged(row);
    } else {
        m_problems.insert(row, problem);
    }
    const QModelIndex current = m_table->currentIndex();
    if (current.isValid() && m_proxy->mapToSource(current).row() == row)
        showPreview();
}

void FitBrowserDialog::exportSelected()
{
    QVector<CatalogueEntry> entries;
    QModelIndexList selected = m_table->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    for (const QModelIndex &i : selected) {
        const CatalogueEntry &e = m_model->entry(m_proxy->mapToSource(i).row());
        if (e.fit && e.fit->defocus)
            entries << e;
    }
    if (entries.isEmpty()) {
        m_status->setText(QStringLiteral("None of the rows selected has a fit to export."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Selected Fits"),
                                                      QDir(m_exportFolder).filePath(QStringLiteral("selected.star")),
                                                      QStringLiteral("STAR files (*.star);;All files (*)"));
    if (path.isEmpty())
        return;
    m_exportFolder = QFileInfo(path).absolutePath();
    saveWholeFile(path, catalogueStar(entries, path, m_fallback, nmToAngstrom(MicrographSession::DefaultPixelSizeNm)));
    m_status->setText(QStringLiteral("%1 fits written to %2.").arg(entries.size()).arg(QDir::toNativeSeparators(path)));
}

void FitBrowserDialog::closeEvent(QCloseEvent *event)
{
    // Nobody looks at thumbnails of a closed browser.
    m_thumbnails->cancel();
    m_progress->hide();
    QDialog::closeEvent(event);
}

void FitBrowserDialog::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_table->hasFocus()) {
        loadCurrent();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace orvalis
