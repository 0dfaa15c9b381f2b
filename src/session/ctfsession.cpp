#include "session/ctfsession.h"

#include "core/infotext.h"
#include "core/orvaliserror.h"
#include "core/sampledpattern.h"
#include "core/units.h"
#include "store/scopelibrary.h"
#include "store/windowsettings.h"

#include <cmath>

namespace orvalis {
namespace {

const QVector<double> &noPoints()
{
    static const QVector<double> none;
    return none;
}

// RELION's sign: 0 - y rather than -y, so that a zero stays +0 and prints as "0".
void negate(QVector<double> &values)
{
    for (double &y : values)
        y = 0.0 - y;
}

} // namespace

bool ViewChoices::operator==(const ViewChoices &o) const
{
    return temporal == o.temporal && spatial == o.spatial && combined == o.combined && intensity == o.intensity
        && symmetric == o.symmetric && plotterMode == o.plotterMode && showEnvelopes == o.showEnvelopes
        && show2D == o.show2D && live2D == o.live2D && mapShown == o.mapShown && relionSign == o.relionSign
        && sampled2D == o.sampled2D && monochrome == o.monochrome;
}

CtfSession::Batch::Batch(CtfSession &session) : m_session(session)
{
    ++m_session.m_batch;
}

CtfSession::Batch::~Batch()
{
    if (--m_session.m_batch > 0 || !m_session.m_batched)
        return;
    const Changes what = m_session.m_batched;
    m_session.m_batched = {};
    emit m_session.changed(what);
}

void CtfSession::notify(Changes what)
{
    if (m_batch > 0)
        m_batched |= what;
    else
        emit changed(what);
}

CtfSession::Changes CtfSession::aberrations(bool coarse)
{
    return coarse ? Changes(Change::Aberrations) | Change::Coarse : Changes(Change::Aberrations);
}

CtfSession::CtfSession(QObject *parent) : QObject(parent)
{
    m_state.UpTo = 10.0;
    m_state.PointDensity = 4096;
    m_state.StepFactor = 1;
}

void CtfSession::setSecondActive(bool second)
{
    if (m_state.SecondCTF == second)
        return;
    m_state.SecondCTF = second;
    notify(Change::View);
}

// ---- instrument ---------------------------------------------------------------------------------

bool CtfSession::loadInstrument(const TScopeData &scope, QString *error)
{
    try {
        orvalis::loadInstrument(m_state, scope);
    } catch (const OrvalisError &e) {
        if (error)
            *error = e.text();
        return false;
    }
    // The magnification goes back to where the instrument's convergence holds; once a run is under
    // way a magnification elsewhere is recomputed there, as a move of its slider would.
    const int previous = m_magnificationPosition;
    m_magnificationPosition = MagnificationLoadPosition;
    if (m_state.Initialised && previous != MagnificationLoadPosition)
        m_state.Alpha = alphaAtMagnification(m_state.Convergence, magnificationAt(MagnificationLoadPosition));
    // The controls show the instrument on their sliders, which sets the rounded aberrations: one
    // change with the load's.
    const Batch once(*this);
    emit instrumentChanged();
    notify(Change::Instrument);
    return true;
}

bool CtfSession::applyRecord(const TScopeData &record, QString *error)
{
    TScopeData &active = activeScopeRecord();
    const TScopeData before = active;
    active = record;
    if (loadInstrument(TScopeData(active), error)) // the record follows the controls while they are set
        return true;
    active = before;
    return false;
}

void CtfSession::beginRun()
{
    m_state.SecondCTF = false;
    m_state.Initialised = false;
    ScopeRecord1.A3 = 0;
    if (!loadInstrument(ScopeRecord1)) {
        // A record the formulas cannot use: the run starts with the built-in instrument instead.
        ScopeRecord1 = defaultScope();
        loadInstrument(ScopeRecord1);
    }
    ScopeRecord2 = ScopeRecord1;
    m_state.Initialised = true;
    ScopeRecord1.Defocus = m_state.Defocus;
    ScopeRecord2.Defocus = m_state.Defocus;
    m_state.Direction = 0;
}

// ---- aberrations --------------------------------------------------------------------------------

void CtfSession::setStep(bool coarse)
{
    m_state.StepFactor = coarse ? 4 : 1;
}

void CtfSession::setDefocus(double defocus, bool coarse)
{
    if (!m_state.Initialised || !std::isfinite(defocus))
        return;
    setStep(coarse);
    m_state.Defocus = defocus;
    activeScopeRecord().Defocus = defocus;
    emit aberrationsChanged(coarse);
    notify(aberrations(coarse) | Change::Defocus);
}

void CtfSession::setA2(double a2, bool coarse)
{
    if (!m_state.Initialised || !std::isfinite(a2))
        return;
    setStep(coarse);
    m_state.A2 = std::fabs(a2);
    emit aberrationsChanged(coarse);
    notify(aberrations(coarse));
}

void CtfSession::setA3(double a3, bool coarse)
{
    if (!m_state.Initialised || !std::isfinite(a3))
        return;
    setStep(coarse);
    m_state.A3 = std::fabs(a3);
    emit aberrationsChanged(coarse);
    notify(aberrations(coarse));
}

void CtfSession::setMagnificationPosition(int position, bool coarse)
{
    if (!m_state.Initialised)
        return;
    setStep(coarse);
    m_magnificationPosition = position;
    m_state.Alpha = alphaAtMagnification(m_state.Convergence, magnificationAt(position));
    emit aberrationsChanged(coarse);
    notify(aberrations(coarse));
}

void CtfSession::setA2Azimuth(double azimuth)
{
    assign(&OpticsState::A2Azimuth, azimuth, Change::Aberrations);
}

void CtfSession::setA3Azimuth(double azimuth)
{
    assign(&OpticsState::A3Azimuth, azimuth, Change::Aberrations);
}

void CtfSession::setAlpha(double alpha)
{
    assign(&OpticsState::Alpha, alpha, Change::Aberrations);
}

// The rule of the plain setters: a value that is not finite, or the one already set, changes
// nothing and tells nothing.
void CtfSession::assign(double OpticsState::*field, double value, Change change)
{
    if (value == m_state.*field || !std::isfinite(value))
        return;
    m_state.*field = value;
    notify(change);
}

void CtfSession::setSampling(bool coarse)
{
    if (coarse == this->coarse())
        return;
    setStep(coarse);
    notify(aberrations(coarse));
}

void CtfSession::setDirection(double direction)
{
    if (!std::isfinite(direction))
        return;
    m_state.Direction = direction;
    emit directionChanged();
    notify(Change::Direction);
}

// ---- view ---------------------------------------------------------------------------------------

ViewChoices CtfSession::viewChoices() const
{
    ViewChoices v = m_view;
    v.plotterMode = m_state.PlotterMode;
    v.showEnvelopes = m_state.ShowEnvelopes;
    return v;
}

void CtfSession::changeView(bool ViewChoices::*choice, bool on, Changes views)
{
    if (m_view.*choice == on)
        return;
    m_view.*choice = on;
    emit viewChanged();
    notify(views | Change::View);
}

void CtfSession::setViewChoices(const ViewChoices &choices)
{
    const ViewChoices before = viewChoices();
    {
        const QSignalBlocker quiet(this);
        setTemporal(choices.temporal);
        setSpatial(choices.spatial);
        setCombined(choices.combined);
        setIntensity(choices.intensity);
        setSymmetric(choices.symmetric);
        setShowEnvelopes(choices.showEnvelopes);
        setShow2D(choices.show2D);
        setLive2D(choices.live2D);
        setMapShown(choices.mapShown);
        setRelionSign(choices.relionSign);
        setSampled2D(choices.sampled2D);
        setMonochrome(choices.monochrome);
        setPlotterMode(choices.plotterMode);
    }
    if (viewChoices() != before) {
        emit viewChanged();
        notify(Change::View);
    }
}

// A curve switched off loses its points at once, in whichever mode; one switched on is filled by the
// next computation.
void CtfSession::dropEnvelope(bool ViewChoices::*choice, bool on, int series, int mirrorSeries)
{
    Changes views = Change::CurveChoice;
    if (!on && m_view.*choice) {
        dropSeries(series);
        dropSeries(mirrorSeries);
        views |= Change::Series;
    }
    changeView(choice, on, views);
}

void CtfSession::setTemporal(bool on)
{
    dropEnvelope(&ViewChoices::temporal, on, CurveTemporal, CurveTemporalNeg);
}

void CtfSession::setSpatial(bool on)
{
    dropEnvelope(&ViewChoices::spatial, on, CurveSpatial, CurveSpatialNeg);
}

void CtfSession::setCombined(bool on)
{
    dropEnvelope(&ViewChoices::combined, on, CurveCombined, CurveCombinedNeg);
}

void CtfSession::setIntensity(bool on)
{
    changeView(&ViewChoices::intensity, on, Change::CurveChoice);
}

void CtfSession::setSymmetric(bool on)
{
    changeView(&ViewChoices::symmetric, on, Change::CurveChoice);
}

void CtfSession::setShow2D(bool on)
{
    changeView(&ViewChoices::show2D, on, Change::PatternChoice);
}

void CtfSession::setLive2D(bool on)
{
    changeView(&ViewChoices::live2D, on);
}

void CtfSession::setPatternLive(bool on)
{
    if (on == m_patternLive)
        return;
    m_patternLive = on;
    notify(Changes(Change::View) | Change::PatternChoice);
}

void CtfSession::setLiveChecked(bool on)
{
    if (on == m_liveChecked)
        return;
    m_liveChecked = on;
    notify(Change::View);
}

void CtfSession::setMapShown(bool on)
{
    changeView(&ViewChoices::mapShown, on, Change::MapChoice);
}

void CtfSession::setRelionSign(bool on)
{
    if (m_view.relionSign == on)
        return;
    // Squared curves have no sign.
    if (!m_view.intensity)
        negate(m_analysis.ctf);
    negate(m_plotter[0].ctf);
    negate(m_plotter[1].ctf);
    changeView(&ViewChoices::relionSign, on, Change::Series);
}

void CtfSession::setSampled2D(bool on)
{
    changeView(&ViewChoices::sampled2D, on, Change::PatternChoice);
}

void CtfSession::setMonochrome(bool on)
{
    changeView(&ViewChoices::monochrome, on);
}

// Without its envelopes plotter mode shows none: both CTFs' envelopes go.
void CtfSession::setShowEnvelopes(bool on)
{
    if (m_state.ShowEnvelopes == on)
        return;
    if (!on) {
        dropSeries(CurveCombined);
        dropSeries(CurveCombinedNeg);
    }
    m_state.ShowEnvelopes = on;
    emit viewChanged();
    // Switched off they only lose their points; switched on they are computed.
    notify(Changes(Change::View) | (on ? Change::CurveChoice : Change::Series));
}

void CtfSession::setPlotterMode(bool on)
{
    if (m_state.PlotterMode == on)
        return;
    // Analysis mode starts from an empty chart; plotter mode keeps only the second CTF's curve.
    restartCurves(m_analysis);
    restartCurves(m_plotter[0]);
    if (on)
        m_plotter[1].combined.clear();
    else
        restartCurves(m_plotter[1]);
    m_fastOscillation = false;
    m_state.PlotterMode = on;
    emit viewChanged();
    notify(Changes(Change::View) | Change::CurveChoice | Change::PatternChoice);
}

CurveOptions CtfSession::curveOptions() const
{
    CurveOptions options;
    options.intensity = m_view.intensity;
    options.symmetric = m_view.symmetric;
    options.temporal = m_view.temporal;
    options.spatial = m_view.spatial;
    options.combined = m_view.combined;
    return options;
}

// ---- ranges -------------------------------------------------------------------------------------

OptionRanges CtfSession::ranges() const
{
    return {m_defocusMin, m_defocusMax, m_a2Max, m_a3Max, m_state.UpTo, m_fineDefocus};
}

void CtfSession::setRanges(const OptionRanges &ranges)
{
    const OptionRanges before = this->ranges();
    {
        const QSignalBlocker quiet(this);
        setDefocusRange(ranges.defocusMin, ranges.defocusMax);
        setA2Maximum(ranges.a2Max);
        setA3Maximum(ranges.a3Max);
        setUpTo(ranges.upTo);
        setFineDefocus(ranges.fineDefocus);
    }
    const OptionRanges after = this->ranges();
    if (after.defocusMin != before.defocusMin || after.defocusMax != before.defocusMax || after.a2Max != before.a2Max
        || after.a3Max != before.a3Max || after.upTo != before.upTo || after.fineDefocus != before.fineDefocus) {
        emit rangesChanged();
        notify(Change::Ranges);
    }
}

void CtfSession::setDefocusRange(int minimum, int maximum)
{
    // The map divides by the range: it is never empty.
    normaliseDefocusMapRange(minimum, maximum);
    if (minimum == m_defocusMin && maximum == m_defocusMax)
        return;
    m_defocusMin = minimum;
    m_defocusMax = maximum;
    emit rangesChanged();
    notify(Change::Ranges);
}

void CtfSession::setA2Maximum(int maximum)
{
    if (maximum == m_a2Max)
        return;
    m_a2Max = maximum;
    emit rangesChanged();
    notify(Change::Ranges);
}

void CtfSession::setA3Maximum(int maximum)
{
    if (maximum == m_a3Max)
        return;
    m_a3Max = maximum;
    emit rangesChanged();
    notify(Change::Ranges);
}

bool CtfSession::setFineDefocus(bool on)
{
    if (on == m_fineDefocus)
        return true;
    OptionRanges wanted = ranges();
    wanted.fineDefocus = on;
    if (on && !fineDefocusFits(wanted))
        return false;
    m_fineDefocus = on;
    emit rangesChanged();
    notify(Change::Ranges);
    return true;
}

void CtfSession::setSpecimen(const SpecimenDetector &terms)
{
    // While a micrograph lends the detector its pixel size, a pixel size typed is the micrograph's
    // (MicrographSession follows it); the specimen keeps its own.
    if (!m_micrographPixelSize)
        m_ownPixelSize = terms.pixelSize;
    if (terms == specimen())
        return;
    applySpecimen(m_state, terms);
    emit specimenChanged();
    notify(Change::Specimen);
}

void CtfSession::setPhaseShift(double shift)
{
    assign(&OpticsState::PhaseShift, shift, Change::Specimen);
}

void CtfSession::setDetectorPixelSize(double nm)
{
    if (m_micrographPixelSize && nm == m_state.PixelSize)
        return;
    m_state.PixelSize = nm;
    m_micrographPixelSize = true;
    notify(Change::Micrograph);
}

void CtfSession::releaseDetectorPixelSize()
{
    if (!m_micrographPixelSize)
        return;
    m_micrographPixelSize = false;
    m_state.PixelSize = angstromToNm(m_ownPixelSize);
    notify(Change::Micrograph);
}

void CtfSession::setUpTo(double upTo)
{
    if (upTo == m_state.UpTo || !(upTo >= 0) || !std::isfinite(upTo))
        return;
    m_state.UpTo = upTo;
    emit rangesChanged();
    notify(Change::Ranges);
}

// ---- settings -----------------------------------------------------------------------------------

void CtfSession::applySettings(const WindowSettings &s)
{
    setUpTo(s.UpTo.value_or(10.0));
    setDefocusRange(s.Overfocus.value_or(m_defocusMin), s.Underfocus.value_or(m_defocusMax));
    if (s.a2max)
        setA2Maximum(*s.a2max);
    if (s.a3max)
        setA3Maximum(*s.a3max);
    setFineDefocus(s.FineDefocus.value_or(false));
    Conventions conventions;
    if (s.A3Convention)
        a3ConventionFromStored(*s.A3Convention, conventions.a3);
    if (s.ResolutionUnit)
        resolutionUnitFromStored(*s.ResolutionUnit, conventions.resolution);
    setConventions(conventions);
    SpecimenDetector terms = specimen();
    const std::pair<const std::optional<double> *, double SpecimenDetector::*> stored[] = {
        {&s.AmplitudeContrast, &SpecimenDetector::amplitudeContrast},
        {&s.PhaseShift, &SpecimenDetector::phaseShift},
        {&s.BFactor, &SpecimenDetector::bFactor},
        {&s.PixelSize, &SpecimenDetector::pixelSize},
    };
    for (const auto &[value, term] : stored)
        if (*value)
            terms.*term = **value;
    // The store fitted each value into its rule; one that still breaks it leaves them all out.
    try {
        checkSpecimen(terms);
        setSpecimen(terms);
    } catch (const OrvalisError &) {
    }
    ViewChoices v = viewChoices();
    const std::pair<const std::optional<bool> *, bool ViewChoices::*> choices[] = {
        {&s.Show2d, &ViewChoices::show2D},           {&s.Update2D, &ViewChoices::live2D},
        {&s.Combined, &ViewChoices::combined},       {&s.Spatial, &ViewChoices::spatial},
        {&s.Temporal, &ViewChoices::temporal},       {&s.Show3D, &ViewChoices::mapShown},
        {&s.Intensity, &ViewChoices::intensity},     {&s.Symmetr, &ViewChoices::symmetric},
        {&s.Envelopes, &ViewChoices::showEnvelopes}, {&s.RelionSign, &ViewChoices::relionSign},
        {&s.Sampled2D, &ViewChoices::sampled2D},     {&s.Monochrome, &ViewChoices::monochrome},
    };
    for (const auto &choice : choices)
        if (*choice.first)
            v.*choice.second = **choice.first;
    setViewChoices(v);
    // The mode is entered once the first instrument is in: the first load sets the defocus as
    // analysis mode does.
    m_storedPlotterMode = s.PlotMode.value_or(false);
}

QStringList CtfSession::selectStoredScope(const WindowSettings &s)
{
    const QString manufacturer = s.ScopeManuf.value_or(QString());
    const QString model = s.ScopeModel.value_or(QString());
    TScopeData scope = ScopeRecord1;
    ScopeRecord1 = defaultScope();
    if (manufacturer.isEmpty() || manufacturer == defaultManufacturer())
        return {};
    // Starting silently with another instrument would mislead.
    const QString entry = manufacturer + QLatin1Char(' ') + model;
    const QString fallback = QStringLiteral("\r\nOrvalis starts with its built-in instrument instead.");
    try {
        QStringList builtInValues;
        if (!ReadSelectedScope(manufacturer, model, scope, &builtInValues))
            return {QStringLiteral("The microscope \"%1\" used last time is no longer in the library.").arg(entry)
                    + fallback};
        OpticsState trial = m_state; // refuses what the formulas cannot use, before anything changes
        orvalis::loadInstrument(trial, scope);
        ScopeRecord1 = scope;
        // The information limit and the envelopes depend on them: a value taken silently from
        // elsewhere would change the instrument without a word.
        if (!builtInValues.isEmpty())
            return {QStringLiteral("The library entry of the microscope \"%1\" used last time lacks "
                                   "some values; the built-in ones are used for them: %2.")
                        .arg(entry, builtInValues.join(QStringLiteral(", ")))};
    } catch (const OrvalisError &e) {
        return {QStringLiteral("The microscope \"%1\" used last time cannot be loaded: %2").arg(entry, e.text())
                + fallback};
    }
    return {};
}

void CtfSession::captureSettings(WindowSettings &s) const
{
    s.ScopeManuf = ScopeRecord1.Company;
    s.ScopeModel = ScopeRecord1.Model;
    s.UpTo = m_state.UpTo;
    s.dvv = m_state.dvv;
    s.dii = m_state.dii;
    s.Underfocus = m_defocusMax;
    s.Overfocus = m_defocusMin;
    s.a2max = m_a2Max;
    s.a3max = m_a3Max;
    const ViewChoices v = viewChoices();
    s.Show2d = v.show2D;
    s.Update2D = v.live2D;
    s.Combined = v.combined;
    s.Spatial = v.spatial;
    s.Temporal = v.temporal;
    s.Show3D = v.mapShown;
    s.Envelopes = v.showEnvelopes;
    s.Intensity = v.intensity;
    s.Symmetr = v.symmetric;
    s.PlotMode = v.plotterMode;
    s.Monochrome = v.monochrome;
    // Stored only while they are not at their defaults, so that a run that never used them leaves
    // the store as it was.
    const auto unlessDefault = [](auto value, auto defaultValue) {
        return value == defaultValue ? std::nullopt : std::optional<decltype(value)>(value);
    };
    s.RelionSign = unlessDefault(v.relionSign, false);
    s.Sampled2D = unlessDefault(v.sampled2D, false);
    s.FineDefocus = unlessDefault(m_fineDefocus, false);
    s.A3Convention = unlessDefault(static_cast<int>(m_conventions.a3), 0);
    s.ResolutionUnit = unlessDefault(static_cast<int>(m_conventions.resolution), 0);
    const SpecimenDetector terms = specimen();
    s.AmplitudeContrast = unlessDefault(terms.amplitudeContrast, 0.0);
    s.PhaseShift = unlessDefault(terms.phaseShift, 0.0);
    s.BFactor = unlessDefault(terms.bFactor, 0.0);
    s.PixelSize = unlessDefault(m_ownPixelSize, 0.0); // never an open micrograph's
}

// ---- curves -------------------------------------------------------------------------------------

void CtfSession::restartCurves(CtfCurves &curves)
{
    for (QVector<double> *v : {&curves.k, &curves.ctf, &curves.temporal, &curves.spatial, &curves.combined,
                               &curves.temporalNeg, &curves.spatialNeg, &curves.combinedNeg})
        v->clear();
}

void CtfSession::computeCurves(double defocus, double direction)
{
    CtfCurves *found;
    if (!m_state.PlotterMode) {
        sampleAnalysisCurves(m_state, defocus, direction, curveOptions(), m_analysis);
        m_fastOscillation = m_analysis.fastOscillation;
        found = &m_analysis;
    } else {
        CtfCurves &curves = m_plotter[m_state.SecondCTF ? 1 : 0];
        samplePlotterCurves(m_state, defocus, true, m_state.ShowEnvelopes, curves);
        found = &curves;
    }
    if (m_view.relionSign && (m_state.PlotterMode || !m_view.intensity))
        negate(found->ctf);
    // A limit this curve did not find is unknown now, not the one of an earlier state.
    m_state.InfoLimit = found->infoLimit;
    m_state.PointRes = found->pointRes;
    emit curvesChanged();
}

bool CtfSession::computeInactiveCurves(std::optional<int> magnification)
{
    if (!m_state.PlotterMode)
        return false;
    const bool second = !m_state.SecondCTF;
    const TScopeData &record = second ? ScopeRecord2 : ScopeRecord1;
    OpticsState other = m_state;
    try {
        orvalis::loadInstrument(other, record);
    } catch (const OrvalisError &) {
        return false;
    }
    if (magnification)
        other.Alpha = alphaAtMagnification(other.Convergence, magnificationAt(*magnification));
    CtfCurves &curves = m_plotter[second ? 1 : 0];
    samplePlotterCurves(other, record.Defocus, true, m_state.ShowEnvelopes, curves);
    if (m_view.relionSign)
        negate(curves.ctf);
    emit curvesChanged();
    notify(Change::Series);
    return true;
}

std::pair<const CtfCurves *, QVector<double> CtfCurves::*> CtfSession::seriesSource(int series) const
{
    using Values = QVector<double> CtfCurves::*;
    static constexpr Values analysis[] = {&CtfCurves::ctf,        &CtfCurves::temporal,    &CtfCurves::spatial,
                                          &CtfCurves::combined,   &CtfCurves::temporalNeg, &CtfCurves::spatialNeg,
                                          &CtfCurves::combinedNeg};
    if (series < 0 || series >= CurveSeriesCount)
        return {nullptr, nullptr};
    // "CTF 2" belongs to the second CTF of plotter mode; analysis mode never fills it.
    if (series == CurveCtf2)
        return {&m_plotter[1], &CtfCurves::ctf};
    if (m_state.PlotterMode) {
        if (series == CurveCtf)
            return {&m_plotter[0], &CtfCurves::ctf};
        if (series == CurveCombined)
            return {&m_plotter[0], &CtfCurves::combined};
        if (series == CurveCombinedNeg)
            return {&m_plotter[1], &CtfCurves::combined};
    }
    return {&m_analysis, analysis[series]};
}

const QVector<double> &CtfSession::seriesX(int series) const
{
    const auto [curves, values] = seriesSource(series);
    if (!curves || (curves->*values).isEmpty())
        return noPoints();
    return curves->k;
}

const QVector<double> &CtfSession::seriesY(int series) const
{
    const auto [curves, values] = seriesSource(series);
    return curves ? curves->*values : noPoints();
}

void CtfSession::clearSeries(int series)
{
    dropSeries(series);
    notify(Change::Series);
}

void CtfSession::dropSeries(int series)
{
    const auto [curves, values] = seriesSource(series);
    if (curves)
        (const_cast<CtfCurves *>(curves)->*values).clear();
}

QVector<CurveSeries> CtfSession::curveSeries(const QStringList &titles) const
{
    QVector<CurveSeries> table;
    for (int j = 0; j < CurveSeriesCount; ++j) {
        const QVector<double> &y = seriesY(j);
        const QVector<double> &x = seriesX(j);
        const qsizetype n = std::min(x.size(), y.size());
        table << CurveSeries{titles.value(j), x.mid(0, n), y.mid(0, n)};
    }
    return table;
}

// ---- texts --------------------------------------------------------------------------------------

void CtfSession::setConventions(const Conventions &conventions)
{
    if (conventions == m_conventions)
        return;
    m_conventions = conventions;
    notify(Change::View);
}

ScopeTreeTexts CtfSession::treeTexts() const
{
    return scopeTreeTexts(m_state, m_conventions.resolution);
}

QString CtfSession::pointResolutionText() const
{
    return orvalis::pointResolutionText(m_state, m_conventions.resolution);
}

QString CtfSession::infoLimitText() const
{
    return orvalis::infoLimitText(m_state, m_conventions.resolution);
}

QString CtfSession::convergenceText() const
{
    return orvalis::convergenceText(m_state);
}

QStringList CtfSession::infoTexts() const
{
    return infoTextLines(m_state, ScopeRecord1, ScopeRecord2);
}

// ---- pattern and map ----------------------------------------------------------------------------

PatternHalves CtfSession::computePattern(double defocus, int centre, const PatternProgress &progress) const
{
    if (patternSampled())
        return computeSampledPattern(m_state, defocus, centre, m_state.StepFactor, m_state.UpTo, progress);
    return computePatternHalves(m_state, defocus, centre, m_state.StepFactor, m_state.UpTo, progress);
}

const DefocusMapGrid &CtfSession::computeMap(int width)
{
    m_map = computeDefocusMap(m_state, width, m_defocusMin, m_defocusMax, m_state.UpTo);
    m_mapState = m_state;
    m_mapWidth = width;
    m_mapMinimum = m_defocusMin;
    m_mapMaximum = m_defocusMax;
    return m_map;
}

bool CtfSession::mapRangeDiffers() const
{
    return m_defocusMin != m_mapMinimum || m_defocusMax != m_mapMaximum;
}

QByteArray CtfSession::mapTableText() const
{
    return defocusMapTableText(m_mapState, m_mapWidth, m_mapMinimum, m_mapMaximum, m_mapState.UpTo, m_view.relionSign);
}

} // namespace orvalis
