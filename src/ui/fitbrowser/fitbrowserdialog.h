#pragma once
// File > Open Fits: many micrographs' fits in one table (ours and other programs' side by side),
// sorted and filtered, each with a thumbnail of its spectrum above the fit's model, filled in off
// the event loop. A click (or Enter) asks the window to load a micrograph with its fit; the rows
// selected export as a STAR file. The dialog is given a catalogue and gives back what the user
// picks; it never touches the window.
#include "micrograph/ctfmodel.h"
#include "session/fitcatalogue.h"

#include <QDialog>
#include <QHash>
#include <QImage>
#include <QPixmap>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace orvalis {

class CatalogueProxy;

class FitBrowserDialog : public QDialog {
    Q_OBJECT
public:
    explicit FitBrowserDialog(QWidget *parent = nullptr);
    ~FitBrowserDialog() override;

    // Shows `catalogue` and starts its thumbnails; `fallback` stands for the optics of fits whose
    // tables give none (the window's instrument and specimen).
    void setCatalogue(FitCatalogue catalogue, const CtfUserValues &fallback);
    const FitCatalogueModel &model() const { return *m_model; }
    QTableView *table() const { return m_table; }
    // The source rows shown, in the order shown.
    QVector<int> shownRows() const;
    bool thumbnailsBusy() const;
    // Says what became of the latest load (a note on the optics, or that it failed).
    void showStatus(const QString &text);

signals:
    void loadRequested(const orvalis::CatalogueEntry &entry);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void refilter();
    void loadCurrent();
    void showPreview();
    void exportSelected();
    void thumbnailReady(int row, std::shared_ptr<const CompositeGrid> grid, const QString &problem);

    FitCatalogueModel *m_model;
    CatalogueProxy *m_proxy;
    FitThumbnails *m_thumbnails;
    CtfUserValues m_fallback;
    QHash<int, QImage> m_large;
    QHash<int, QString> m_problems;
    QLineEdit *m_filter;
    QCheckBox *m_reliable;
    QDoubleSpinBox *m_holdsTo;
    QTableView *m_table;
    QLabel *m_preview;
    QLabel *m_details;
    QLabel *m_count;
    QLabel *m_status;
    QProgressBar *m_progress;
    QPushButton *m_load;
    QPushButton *m_export;
    QString m_exportFolder;
};

} // namespace orvalis
