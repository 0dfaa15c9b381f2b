#pragma once
// The user's micrograph in a CTF session: the image, its power spectrum, the pixel size and tile they
// were computed with, and what the views show of them beside the session's model. Reading and the
// spectrum run off the event loop (Qt Concurrent) with progress and Cancel; everything else runs on
// the caller's thread. A failed or cancelled open leaves the micrograph that was open, if any, as it
// was.
#include "micrograph/micrographimage.h"
#include "micrograph/powerspectrum.h"
#include "session/backgroundwork.h"
#include "session/micrographviews.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

namespace orvalis {

class CtfSession;

// What one run of the worker gives: the image and its spectrum.
struct LoadedMicrograph {
    QString path;
    std::shared_ptr<const MicrographImage> image;
    std::shared_ptr<const PowerSpectrum> spectrum;
    double pixelSizeNm = 0; // the spectrum's
    int tileSize = 0;       // the spectrum's
};

// Reads `path` (or takes `image` when given) and computes its spectrum with `tileSize` (clamped to
// the largest even tile the image holds, no smaller than kMinTileSize) and the pixel size: the
// file's when `pixelSizeNm` is 0 and the file has one, else `pixelSizeNm`, else `fallbackPixelNm`.
// Throws OrvalisError naming the file, and Cancelled.
LoadedMicrograph loadMicrograph(const QString &path, std::shared_ptr<const MicrographImage> image, int tileSize,
                                double pixelSizeNm, double fallbackPixelNm, const ProgressCallback &progress = {});

class MicrographSession : public QObject {
    Q_OBJECT
public:
    // The pixel size taken for a file that gives none, until the user sets one: 1 Å.
    static constexpr double DefaultPixelSizeNm = 0.1;

    explicit MicrographSession(CtfSession &session, QObject *parent = nullptr);
    ~MicrographSession() override;

    // ---- opening ----
    // Starts reading `path` and computing its spectrum off the event loop; ends in opened(),
    // failed() or cancelled(). An open under way is cancelled first.
    void open(const QString &path);
    // The same on this thread; false with `error` on failure.
    bool openNow(const QString &path, QString *error = nullptr);
    void cancel();
    bool busy() const { return m_work.busy(); }
    // The micrograph goes; the session's views show the computed pattern again.
    void close();

    bool isOpen() const { return m_loaded.spectrum != nullptr; }
    QString path() const { return m_loaded.path; }
    const MicrographImage *image() const { return m_loaded.image.get(); }
    // The same, for work that may outlast the micrograph's closing.
    std::shared_ptr<const MicrographImage> sharedImage() const { return m_loaded.image; }
    const PowerSpectrum *spectrum() const { return m_loaded.spectrum.get(); }
    // What the views show and Save Spectrum saves: the spectrum a fit judged its tilt on, corrected
    // for that tilt, once showCorrected() gave one, else the micrograph's own.
    const PowerSpectrum *shownSpectrum() const { return m_corrected ? m_corrected.get() : m_loaded.spectrum.get(); }
    bool tiltCorrected() const { return m_corrected != nullptr && isOpen(); }
    // The views show `corrected` (a fit's spectrum of this micrograph, at its pixel size) in place of
    // the micrograph's spectrum until the micrograph is closed, its spectrum computed again, or this is
    // called with none.
    void showCorrected(std::shared_ptr<const PowerSpectrum> corrected);

    // ---- what the spectrum is computed with ----
    int tileSize() const { return m_tileSize; }
    // Even, kMinTileSize .. kMaxTileSize; the spectrum is computed again off the event loop.
    void setTileSize(int tile);
    int spectrumTileSize() const { return m_loaded.tileSize; } // the open spectrum's, maybe clamped
    // nm per pixel at the specimen: the file's when it gives one, editable. While a micrograph is
    // open it is the session's detector pixel size too (Setup > Specimen and Detector edits the
    // same value); closing gives the model back the pixel size it had before.
    double pixelSize() const { return m_loaded.spectrum ? m_loaded.pixelSizeNm : m_pixelSize; }
    double filePixelSize() const { return m_loaded.image ? m_loaded.image->pixelSizeNm : 0.0; }
    // Takes a pixel size from 0.001 to 10 nm; the rings are found again at once. False for others.
    bool setPixelSize(double nm);

    // View > 2D CTF > Micrograph: the pattern's pane shows the micrograph beside the model.
    bool shown() const { return m_shown && isOpen(); }
    void setShown(bool on);

    // ---- what the views show; computed from the CTF session's state as it is, its specimen terms
    // (amplitude contrast, phase shift) included ----
    SpectrumModel model() const;
    // The picture for a pattern of half width `centre` over the session's UpTo, divided along its
    // direction; the model half sampled as the latest aberration asked.
    const CompositeGrid &composite(int centre);
    // ---- the spectrum view: the pattern's pane while a micrograph is shown ----
    // What the user chose for it: how far it is zoomed in (1 shows up to the spectrum's Nyquist
    // frequency), its contrast and whether the model's zeros are drawn over the measured half.
    struct ViewChoices {
        double zoom = 1; // kMinViewZoom .. kMaxViewZoom
        SpectrumContrast contrast;
        bool rings = false;
    };
    static constexpr double kMinViewZoom = 1, kMaxViewZoom = 16;
    const ViewChoices &viewChoices() const { return m_view; }
    // Zoom clamped to its limits, the clip to 0 .. 49 %; emits viewChanged() when anything changed.
    void setViewChoices(ViewChoices choices);
    // nm^-1 from the centre to the view's edge: the shown spectrum's Nyquist frequency over the zoom;
    // 0 without a micrograph.
    double viewRange() const;
    // The picture of half width `centre` over viewRange(), with the chosen contrast, divided along the
    // session's direction, the model half sampled as the latest aberration asked.
    const CompositeGrid &spectrumView(int centre);
    // The model's zeros out to the view's corners, traced finely enough for a picture of half width
    // `centre`; none unless the rings are chosen.
    std::vector<ZeroLine> zeroLines(int centre) const;
    // The model's CTF^2 with its envelopes at (kx, ky) nm^-1, as the model half shows it.
    double modelValueAt(double kx, double ky) const;

    // The average along the model's rings with the model and the agreement.
    const RingProfile &profile();
    std::optional<SpectrumSample> sampleAt(double kx, double ky) const;
    // nm^-1: the frequency the rings are looked for from (the spectrum's background frequency).
    double lowestFrequency() const { return SpectrumOptions().backgroundFrequency; }

    // ---- recent files ----
    QStringList recentFiles() const { return m_recent; }
    // What went wrong storing the list at the latest open, or an empty text.
    QString recentProblem() const { return m_recentProblem; }

signals:
    void progress(double fraction); // on the session's thread
    void opened();
    void failed(const QString &message);
    void cancelled();
    void closed();
    void spectrumChanged();                 // a new spectrum: opened, re-tiled, or a new pixel size
    void correctionChanged(bool corrected); // the views show a corrected spectrum now, or no longer
    void shownChanged(bool shown);
    void viewChanged(); // the spectrum view's choices
    void recentFilesChanged();

private:
    void start(const QString &path, std::shared_ptr<const MicrographImage> image);
    void finished(const WorkOutcome<LoadedMicrograph> &outcome);
    void take(LoadedMicrograph loaded, bool newFile);
    void followSpecimen();
    void averageShown();
    double fallbackPixelSize() const;

    CtfSession &m_session;
    LoadedMicrograph m_loaded;
    std::shared_ptr<const PowerSpectrum> m_corrected;
    int m_tileSize = kDefaultTileSize;
    double m_pixelSize = 0; // set by the user, or 0
    bool m_shown = true;
    QStringList m_recent;
    QString m_recentProblem;

    // The work under way.
    BackgroundWork<LoadedMicrograph> m_work;
    bool m_pendingNewFile = false;

    // Kept between calls: the measured half of the picture, and the rotational average.
    CompositeGrid m_measured;
    CompositeGrid m_composite;
    std::uint64_t m_generation = 0, m_measuredGeneration = ~0ull;
    std::vector<double> m_roundAverage;
    ViewChoices m_view;
    CompositeGrid m_viewMeasured, m_viewGrid;
    SpectrumContrast m_viewContrast;
    std::uint64_t m_viewGeneration = ~0ull;
    // Which measured half (its version) and direction the view's picture was copied with.
    std::uint64_t m_viewMeasuredVersion = 0, m_viewGridFrom = ~0ull;
    double m_viewGridDirection = 0;
    RingProfile m_profile;
};

} // namespace orvalis
