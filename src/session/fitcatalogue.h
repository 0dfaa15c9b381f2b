#pragma once
// A catalogue of many micrographs' fits, for looking through them in the window: a folder of
// micrographs with the fit tables beside them (our own table, JSON, STAR and CTFFIND text files,
// read with fittables.h), or one fit table with its micrographs found relative to it. One entry a
// micrograph and program: our fit and CTFFIND's of the same micrograph stand side by side, each
// with its source, and a micrograph without any fit is listed as such.
//
// The table model, the filter, the thumbnails (the spectrum beside the fit's model, computed off
// the event loop) and loading an entry's fit into the session live here, below the window, so that
// they are tested and measured without one.
#include "micrograph/ctfmodel.h"
#include "micrograph/fittables.h"
#include "session/micrographviews.h"

#include <QAbstractTableModel>
#include <QObject>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace orvalis {

class CtfSession;
class MicrographSession;

struct CatalogueEntry {
    QString path; // the micrograph: absolute where it was found, else as the table names it
    QString name; // as shown: relative to what was opened where it lies below it
    bool found = false;
    std::optional<FitTableRow> fit; // none: a micrograph of the folder that no table fits
    QString source;                 // who fitted it: "CTFFIND 4.1.14", "orvalis-ctf", or the STAR file's name
    QString table;                  // the fit table's path; empty without a fit
};

struct FitCatalogue {
    QString opened; // the folder or file
    QVector<CatalogueEntry> entries;
};

// The catalogue of a folder or a fit table. Throws OrvalisError naming the file (and the line) of a
// fit table that cannot be read; a folder without micrographs or fit tables, or a file that is no
// fit table, is an error too.
FitCatalogue openFitCatalogue(const QString &path);

// What the browser's filter lets through: a text found in the name or source (case ignored), only
// fits not judged unreliable (our tables judge; the others' fits stay, as they do not say), and only
// fits that hold to `holdsToBetter` Å or better (0: any).
struct CatalogueFilter {
    QString text;
    bool reliableOnly = false;
    double holdsToBetter = 0;
};
bool catalogueAccepts(const CatalogueEntry &entry, const CatalogueFilter &filter);

// The table of a catalogue: one row an entry, numbers sorted as numbers through SortRole (entries
// without a value after every value in ascending order, before them in descending).
class FitCatalogueModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Spectrum,
        Micrograph,
        Source,
        DefocusU,
        DefocusV,
        Angle,
        PhaseShift,
        Tilt,
        TiltAxis,
        Thickness,
        Score,
        HoldsTo,
        Reliable,
        ColumnCount
    };
    static constexpr int SortRole = Qt::UserRole + 1;

    explicit FitCatalogueModel(QObject *parent = nullptr);
    void setCatalogue(FitCatalogue catalogue);
    const FitCatalogue &catalogue() const { return m_catalogue; }
    const CatalogueEntry &entry(int row) const { return m_catalogue.entries[row]; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    FitCatalogue m_catalogue;
};

// The model an entry's fit describes: its optics where its table gives them, else `fallback`
// (the session's instrument), at its defocus, astigmatism and phase shift. None without a fit.
std::optional<CtfModel> entryModel(const CatalogueEntry &entry, const CtfUserValues &fallback);

// The thumbnail of a spectrum with a model: the measured spectrum above, the model below (as
// measuredGrid and drawModelHalf draw them), over frequencies up to the spectrum's Nyquist
// frequency, or less where the model's rings would come closer than 2.5 pixels at the edge.
CompositeGrid fitThumbnail(const PowerSpectrum &spectrum, const CtfModel *model, int centre);

// The thumbnails of a catalogue's entries, computed one after the other off the event loop (each
// micrograph read and its spectrum computed). ready() brings each, in order; cancel() (or the
// object's end) stops the work at its next step without waiting for it.
class FitThumbnails : public QObject {
    Q_OBJECT
public:
    struct Job {
        int row = 0;
        QString path;
        std::optional<CtfModel> model;
        double pixelSizeNm = 0; // 0: the file's
    };

    explicit FitThumbnails(QObject *parent = nullptr);
    ~FitThumbnails() override;
    void start(QVector<Job> jobs, int centre);
    void cancel();
    // From start() until finished() has come, or cancel().
    bool busy() const;

signals:
    // `problem` says why a row has no thumbnail (the micrograph could not be read).
    void ready(int row, std::shared_ptr<const CompositeGrid> grid, const QString &problem);
    void progress(int done, int total);
    void finished();

private:
    struct Run;
    std::shared_ptr<Run> m_run;
    bool m_busy = false;
};

// Gives the session `entry`'s fit, the micrograph being open: the pixel size its table gives (where
// it differs from the micrograph's), then the defocus and astigmatism (and the phase shift where
// the table gives one), as Apply of a fit gives them (whole nanometres, the ranges widened to hold
// them). False, and nothing changed, without a fit. `note` says what the window's optics do not
// share with the fit (another voltage, Cs or amplitude contrast), or is left empty.
bool applyCatalogueFit(CtfSession &session, MicrographSession &micrograph, const CatalogueEntry &entry,
                       QString *note = nullptr);

// The STAR file of `entries` (those with a fit), the names relative to `starPath`'s folder where
// the micrographs lie below it, else absolute; rows without optics take `fallback`'s.
QByteArray catalogueStar(const QVector<CatalogueEntry> &entries, const QString &starPath, const CtfUserValues &fallback,
                         double fallbackPixel);

} // namespace orvalis
