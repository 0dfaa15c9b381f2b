#pragma once
// One CTF session: the optics state, the two scope records, what the views show, the working ranges
// and the curves, pattern and map computed from them. It holds no widget: a window shows what it
// gives and hands it what the user does; a program without a window (the shell) runs it alone.
//
// Who owns what: the session alone writes its OpticsState (state() is read-only), its view choices
// (live 2D and the pattern's draw flag, monochrome, the sign, the sampled view) and its ranges (fine
// defocus among them). Every setter checks its value (a value not finite, or the one already set,
// changes nothing and tells nothing) and tells what it changed once, in changed(flags); a Batch
// tells a step of several values once. The older signals (instrumentChanged, specimenChanged ...)
// are still emitted, before changed(), for the micrograph and fit sessions; a load tells
// instrumentChanged inside its own Batch, so what its listeners set joins the load's one changed().
// In the window: instrumentChanged shows the new instrument on the controls; Aberrations, Direction
// and Instrument name the profile's direction on the chart; Instrument renews the plotter's legend;
// View fits the chart's value axes. The curves, pattern and map are drawn by the window's painter
// from changed() alone, with the sampling the latest aberration asked for (Coarse while a slider is
// dragged); a user's step that sets several values is one Batch, so it is drawn once.
#include "core/ctfcurves.h"
#include "core/ctfpattern.h"
#include "core/curvetable.h"
#include "core/defocusmap.h"
#include "core/instrumentload.h"
#include "core/opticsstate.h"
#include "core/optionranges.h"
#include "core/scopedata.h"
#include "core/specimenterms.h"

#include <QByteArray>
#include <QFlags>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace orvalis {

struct WindowSettings;

// The choices of what the views show, each as the user last set it.
struct ViewChoices {
    bool temporal = true; // the envelopes of analysis mode
    bool spatial = true;
    bool combined = true;
    bool intensity = false; // squared curves
    bool symmetric = false; // mirrored envelopes, ignored while intensity is on
    bool plotterMode = false;
    bool showEnvelopes = false; // the combined envelopes of plotter mode
    bool show2D = false;        // the pattern's pane
    bool live2D = true;         // the pattern follows every change while shown
    bool mapShown = false;      // the defocus map's pane
    // The CTF's sign on the chart and in its tables: RELION's -sin(...) instead of this program's
    // (and CTFFIND's) sin(...). The grey pictures show its square and do not change.
    bool relionSign = false;
    // The pattern as a detector of the specimen's pixel size records it: folded at its Nyquist
    // frequency. Without a pixel size the pattern stays as it is.
    bool sampled2D = false;
    // "Monochrome 1D CTF": the chart's curves black, told apart by their dash patterns, on white.
    bool monochrome = false;

    bool operator==(const ViewChoices &o) const;
    bool operator!=(const ViewChoices &o) const { return !(*this == o); }
};

// The series of the 1D view in their order; a series' index is its number minus one.
enum CurveSeriesIndex {
    CurveCtf,
    CurveTemporal,
    CurveSpatial,
    CurveCombined,
    CurveTemporalNeg,
    CurveSpatialNeg,
    CurveCombinedNeg,
    CurveCtf2,
    CurveSeriesCount
};

class CtfSession : public QObject {
    Q_OBJECT
public:
    // The position every session's magnification starts at, before any instrument (12 .. 1058 k
    // lie at 14 .. 39).
    static constexpr int MagnificationStartPosition = 22;

    // What a change touched, as changed() tells it: each view redraws what depends on it.
    enum class Change : unsigned {
        Instrument = 0x1,  // an instrument loaded: its values, the derived ones, the magnification
        Aberrations = 0x2, // defocus, astigmatisms and their azimuths, the convergence in use, the sampling
        Coarse = 0x4,      // with Aberrations: the quick sampling of a drag was asked for
        Direction = 0x8,   // the 1D profile's direction
        View = 0x10,       // a view choice, the mode or the plotter's active CTF
        Ranges = 0x20,     // the working ranges, UpTo, fine defocus
        Specimen = 0x40,   // the specimen's and the detector's terms
        Micrograph = 0x80, // an open micrograph lends the detector its pixel size, or no longer does
        Defocus = 0x100,   // with Aberrations: the defocus itself was set (the map's marker follows it)
        // With View, which views a choice touches:
        CurveChoice = 0x200,   // what the curves show (envelopes, squared, mirrored, the mode): computed again
        PatternChoice = 0x400, // how the pattern is shown (its pane, live, sampled, the mode): drawn again
        // The curves held changed without being computed as the state says: their sign turned, some
        // emptied, the other CTF's pair of plotter mode computed. Shown again as they are.
        Series = 0x800,
        MapChoice = 0x1000, // the map's pane shown or hidden
    };
    Q_DECLARE_FLAGS(Changes, Change)
    Q_FLAG(Changes)

    // Gathers the changes made while it lives into one changed() at its end, so that a step of
    // several values (a fit applied, a dialog's aberrations) is drawn once.
    class Batch {
    public:
        explicit Batch(CtfSession &session);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        CtfSession &m_session;
    };

    explicit CtfSession(QObject *parent = nullptr);

    // The state the formulas read; it changes only through the setters below.
    const OpticsState &state() const { return m_state; }

    TScopeData ScopeRecord1; // the instrument of the first CTF
    TScopeData ScopeRecord2; // the instrument of the second CTF (plotter mode)
    // The record the controls and the dialogs act on: record 2 while the second CTF is active.
    TScopeData &activeScopeRecord() { return m_state.SecondCTF ? ScopeRecord2 : ScopeRecord1; }
    const TScopeData &activeScopeRecord() const { return m_state.SecondCTF ? ScopeRecord2 : ScopeRecord1; }
    bool secondActive() const { return m_state.SecondCTF; }
    void setSecondActive(bool second);

    // ---- instrument ----
    // Loads an instrument: the state takes its values and derived quantities, the two-fold
    // astigmatism goes to 0 and the three-fold one to the record's, the magnification to its load
    // position (a later load recomputes the convergence there when it was elsewhere), and the defocus
    // becomes the extended Scherzer defocus at the first load of a run in analysis mode. An
    // instrument the formulas cannot take leaves everything as it was; the result is then false and
    // `error` says why.
    bool loadInstrument(const TScopeData &scope, QString *error = nullptr);
    // A dialog's instrument: the active record becomes `record` and is loaded. A record the formulas
    // cannot take is refused whole: the active record and the state stay as they were.
    bool applyRecord(const TScopeData &record, QString *error = nullptr);
    // The start of a run, once the settings are in: scope record 1 (its A3 set to 0) is loaded, or
    // the built-in instrument when the formulas refuse it; record 2 becomes a copy; both keep the
    // defocus reached; the direction is 0. Before it the session is not initialised: aberrations
    // handed to it change nothing.
    void beginRun();
    bool initialised() const { return m_state.Initialised; }

    // ---- aberrations; `coarse` asks for the quick sampling of a drag ----
    // nm; the active record keeps it as its defocus.
    void setDefocus(double defocus, bool coarse);
    void setA2(double a2, bool coarse); // nm, taken as its absolute value
    void setA3(double a3, bool coarse); // nm, taken as its absolute value
    // A position of the magnification slider: sets the convergence in use.
    void setMagnificationPosition(int position, bool coarse);
    int magnificationPosition() const { return m_magnificationPosition; }
    void setDirection(double direction); // rad
    // rad, the azimuths of the astigmatisms (see OpticsState)
    void setA2Azimuth(double azimuth);
    void setA3Azimuth(double azimuth);
    // rad, a convergence semi-angle in use given directly rather than by the magnification
    void setAlpha(double alpha);
    // The sampling the next pattern and curve are computed with, as a drag (coarse) or its end asks.
    void setSampling(bool coarse);
    bool coarse() const { return m_state.StepFactor > 1; }

    // ---- view ----
    ViewChoices viewChoices() const;
    void setViewChoices(const ViewChoices &choices);
    void setTemporal(bool on);
    void setSpatial(bool on);
    void setCombined(bool on);
    void setIntensity(bool on);
    void setSymmetric(bool on);
    void setShowEnvelopes(bool on);
    void setShow2D(bool on);
    void setLive2D(bool on);
    void setMapShown(bool on);
    // The pattern's draw flag: while it is set every change redraws the pattern. It follows the two
    // switches ("Show 2D CTF", "Enable Update") and the mode by their own rules, so it may differ
    // from live2D (the Live button), as "Enable Update"'s check may: showing the pattern presses
    // the button without checking the menu item.
    bool patternLive() const { return m_patternLive; }
    void setPatternLive(bool on);
    bool liveChecked() const { return m_liveChecked; } // "Enable Update"'s check
    void setLiveChecked(bool on);
    // The curves already computed change their sign with it; squared ones have none.
    void setRelionSign(bool on);
    // -1 with RELION's sign, else 1: the factor of the CTF the chart and its readout show.
    int ctfSign() const { return m_view.relionSign ? -1 : 1; }
    void setSampled2D(bool on);
    void setMonochrome(bool on);
    // The sampled view is shown: chosen, and a pixel size set.
    bool patternSampled() const { return m_view.sampled2D && m_state.PixelSize > 0; }
    // Switching the mode empties the curves the other mode drew (plotter mode keeps "CTF 2").
    void setPlotterMode(bool on);
    // The mode the stored settings ask for, entered by whoever shows the session once the first
    // instrument is in (that load sets the defocus as analysis mode does).
    bool storedPlotterMode() const { return m_storedPlotterMode; }
    CurveOptions curveOptions() const;

    // ---- ranges ----
    // The defocus range (slider positions, the negated defoci: minimum is minus the largest
    // overfocus), the astigmatism maxima and UpTo. A defocus range that would be empty becomes one
    // step wide.
    OptionRanges ranges() const;
    void setRanges(const OptionRanges &ranges);
    void setDefocusRange(int minimum, int maximum);
    void setA2Maximum(int maximum);
    void setA3Maximum(int maximum);
    // Refused (false, nothing changes) while the defocus range lies beyond what fine steps reach.
    bool setFineDefocus(bool on);
    double upTo() const { return m_state.UpTo; }
    void setUpTo(double upTo); // nm^-1

    // ---- the specimen and the detector ----
    SpecimenDetector specimen() const { return specimenOf(m_state); }
    void setSpecimen(const SpecimenDetector &terms); // checked by the caller (checkSpecimen)
    // rad, the phase plate's shift alone, as a fit found it: the specimen's other terms stay.
    void setPhaseShift(double shift);
    // The detector's pixel size at the specimen (nm) as an open micrograph gives it: the views use it
    // while the micrograph is open, the specimen keeps its own (the one stored with the settings).
    void setDetectorPixelSize(double nm);
    // The micrograph is gone: the specimen's own pixel size is in use again.
    void releaseDetectorPixelSize();
    // Å, the specimen's own pixel size as the user or the settings gave it (0 for none), whatever a
    // micrograph lends the views.
    double ownPixelSize() const { return m_ownPixelSize; }

    // ---- settings: what the session keeps of a run ----
    // Takes the stored ranges and view choices (each only when present).
    void applySettings(const WindowSettings &settings);
    // Scope record 1 from the library entry the settings name, or the built-in instrument when they
    // name "Default" (or none). An entry that is gone or that the formulas cannot take leaves the
    // built-in instrument too; the lines returned tell the user which entry and why.
    QStringList selectStoredScope(const WindowSettings &settings);
    // Writes the session's values into `settings`: the selected microscope, the ranges, UpTo, the
    // view choices and the specimen's terms.
    void captureSettings(WindowSettings &settings) const;

    // ---- results ----
    // Samples the 1D curves of the state at `defocus` (nm) and `direction` (rad) as the mode and the
    // view choices say, and keeps the current resolution limits the curve shows. Analysis mode
    // refills every series but "CTF 2"; plotter mode only the active CTF's pair.
    void computeCurves(double defocus, double direction);
    void computeCurves() { computeCurves(m_state.Defocus, m_state.Direction); }
    // Plotter mode: the pair of the CTF not active, from its record at its defocus, as choosing it
    // would draw them (at the magnification slider's `magnification` position, or where a load puts
    // it); tells Series. False when its record cannot be loaded or analysis mode is on.
    bool computeInactiveCurves(std::optional<int> magnification = std::nullopt);
    // The latest points of a series of the 1D view (empty when it has none).
    const QVector<double> &seriesX(int series) const;
    const QVector<double> &seriesY(int series) const;
    void clearSeries(int series); // tells Series
    // The series as a table reads them, with their titles in order.
    QVector<CurveSeries> curveSeries(const QStringList &titles) const;
    // The fast oscillation the latest analysis curve showed.
    bool fastOscillation() const { return m_fastOscillation; }

    // How corrected instruments' users type the three-fold astigmatism and read resolutions (Setup >
    // Options); a change tells View, and the texts below follow it.
    const Conventions &conventions() const { return m_conventions; }
    void setConventions(const Conventions &conventions);

    // The texts of the information tree and its resolution lines for the state as it is.
    ScopeTreeTexts treeTexts() const;
    QString pointResolutionText() const;
    QString infoLimitText() const;
    QString convergenceText() const;
    // The lines of the info window: record 1, and record 2 as well in plotter mode.
    QStringList infoTexts() const;

    // The pattern's grey levels for a picture of half width `centre` (px) at `defocus`, sampled as
    // the latest aberration asked; as the detector records it while the sampled view is shown.
    PatternHalves computePattern(double defocus, int centre, const PatternProgress &progress = {}) const;
    // At the state's own defocus.
    PatternHalves computePattern(int centre, const PatternProgress &progress) const
    {
        return computePattern(m_state.Defocus, centre, progress);
    }
    // The defocus map `width` pixels wide over the defocus range; kept, with the state it was
    // computed from, for its table.
    const DefocusMapGrid &computeMap(int width);
    const DefocusMapGrid &map() const { return m_map; }
    // Whether the map would show other defoci than the latest computed one.
    bool mapRangeDiffers() const;
    QByteArray mapTableText() const;

signals:
    // Every change of the state, the ranges and the view choices, once per setter (or Batch).
    void changed(CtfSession::Changes what);
    void instrumentChanged();
    void aberrationsChanged(bool coarse);
    void viewChanged();
    void rangesChanged();
    void directionChanged();
    void curvesChanged();
    void specimenChanged(); // setSpecimen changed a term

private:
    void notify(Changes what);
    void assign(double OpticsState::*field, double value, Change change);
    static Changes aberrations(bool coarse);
    void setStep(bool coarse);
    void changeView(bool ViewChoices::*choice, bool on, Changes views = {});
    void dropSeries(int series);
    void dropEnvelope(bool ViewChoices::*choice, bool on, int series, int mirrorSeries);
    static void restartCurves(CtfCurves &curves);
    // The curves a series of the 1D view is read from, and which of their values it shows.
    std::pair<const CtfCurves *, QVector<double> CtfCurves::*> seriesSource(int series) const;

    OpticsState m_state;
    int m_batch = 0;    // Batches alive
    Changes m_batched;  // what they gathered
    ViewChoices m_view; // its mode and plotter envelopes are the state's PlotterMode and ShowEnvelopes
    bool m_storedPlotterMode = false;
    bool m_patternLive = false;
    bool m_liveChecked = true;
    int m_magnificationPosition = MagnificationStartPosition;
    int m_defocusMin = OptionRanges().defocusMin;
    int m_defocusMax = OptionRanges().defocusMax;
    int m_a2Max = OptionRanges().a2Max;
    int m_a3Max = OptionRanges().a3Max;
    bool m_fineDefocus = false;
    Conventions m_conventions;
    double m_ownPixelSize = 0;          // Å, as typed or stored
    bool m_micrographPixelSize = false; // the state's PixelSize is an open micrograph's

    // Each session refills its own buffers: analysis mode's seven series, and the curve and
    // envelope of each CTF of plotter mode.
    CtfCurves m_analysis;
    CtfCurves m_plotter[2];
    bool m_fastOscillation = false;

    DefocusMapGrid m_map;
    OpticsState m_mapState; // the state and range the map was last computed from
    int m_mapWidth = 0;
    int m_mapMinimum = 0, m_mapMaximum = 0;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CtfSession::Changes)

} // namespace orvalis
