#include "micrograph/tiltseries.h"

#include "core/fastmath.h"
#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/correlationsums.h"
#include "micrograph/parallelfor.h"
#include "micrograph/ringbins.h"
#include "micrograph/specimenfit.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

namespace orvalis {

namespace {

QList<QByteArray> fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw OrvalisError(QStringLiteral("%1: cannot be read: %2").arg(path, file.errorString()));
    QList<QByteArray> lines = file.readAll().split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed(); // and a Windows line's \r
    return lines;
}

// A tilt angle as the files give it: a number of degrees within a half turn either way.
std::optional<double> angleOf(const QByteArray &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > 90)
        return std::nullopt;
    return v;
}

// The specimen tilt of a signed tilt about `axis` (see the header).
SpecimenTilt specimenTilt(double angle, double axis)
{
    SpecimenTilt t;
    t.angle = std::fabs(angle);
    t.axis = directionWithin(angle >= 0 ? axis : axis + 180, 360.0);
    return t;
}

// Each region's spectrum averaged along the rings of a model (the tilt's plain fit), its background
// (the running mean over a few bins) taken away: what a region's own defocus is judged by.
struct RegionProfiles {
    RingBins bins;
    RingModel rings;
    std::vector<std::vector<double>> profile;
    std::vector<double> weight, x, y;
};

RegionProfiles regionProfiles(const RegionSpectra &regions, const CtfModel &model, double low, double high)
{
    RegionProfiles p;
    p.bins = ringBins(regions.size, regions.frequencyStep, model.phase(), low, high);
    p.rings = ringModel(p.bins, model);
    p.profile = regionRingProfiles(regions, p.bins);
    p.weight.assign(regions.tiles.begin(), regions.tiles.end());
    p.x = regions.x;
    p.y = regions.y;
    return p;
}

// The regions' mean correlation with the model moved to each region's defocus under `tilt`, the
// centre's Defocus moved by `shift` (nm).
double profileScore(const RegionProfiles &p, const SpecimenTilt &tilt, double pixelSizeAngstrom, double shift)
{
    double total = 0, weight = 0;
    for (std::size_t r = 0; r < p.profile.size(); ++r) {
        // Å of underfocus added; the program's Defocus is negative underfocus.
        const double d = shift - angstromToNm(tiltDefocusOffset(tilt, pixelSizeAngstrom, p.x[r], p.y[r]));
        CorrelationSums c;
        const std::vector<double> &v = p.profile[r];
        for (std::size_t b = 0; b < v.size(); ++b)
            if (p.bins.count[b] > 0)
                c.add(v[b], fastmath::sinSquared(p.rings.argument[b] + d * p.rings.perDefocus[b]), p.bins.count[b]);
        total += p.weight[r] * c.correlation();
        weight += p.weight[r];
    }
    return weight > 0 ? total / weight : 0.0;
}

// The best profileScore over shifts of the centre's defocus within a ring either way.
double bestOverShift(const RegionProfiles &p, const SpecimenTilt &tilt, double pixelSizeAngstrom, double ring,
                     double *bestShift = nullptr)
{
    double best = -2, at = 0;
    for (int s = -8; s <= 8; ++s) {
        const double shift = s * ring / 8;
        const double v = profileScore(p, tilt, pixelSizeAngstrom, shift);
        if (v > best) {
            best = v;
            at = shift;
        }
    }
    // Between the steps, by the parabola through the best and its neighbours: the axis' score is summed
    // over tilts, and a step's jitter in each would roughen it.
    const double left = profileScore(p, tilt, pixelSizeAngstrom, at - ring / 8),
                 right = profileScore(p, tilt, pixelSizeAngstrom, at + ring / 8);
    const double curvature = left + right - 2 * best;
    if (curvature < 0) {
        const double step = std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
        const double refined = profileScore(p, tilt, pixelSizeAngstrom, at + step * ring / 8);
        if (refined > best) {
            best = refined;
            at += step * ring / 8;
        }
    }
    if (bestShift)
        *bestShift = at;
    return best;
}

struct HighTilt {
    double angle = 0;
    RegionProfiles profiles;
};

// The axis (degrees, 0 .. 360) that the high tilts' regions follow best together, each tilt about it
// at its own known angle: every 6 degrees, then every degree about the best.
double fitSeriesAxis(const std::vector<HighTilt> &tilts, double pixelSizeAngstrom, double ring,
                     const std::optional<double> &given)
{
    const auto score = [&](double axis) {
        double sum = 0;
        for (const HighTilt &t : tilts)
            sum += bestOverShift(t.profiles, specimenTilt(t.angle, axis), pixelSizeAngstrom, ring);
        return sum;
    };
    if (given) {
        // Only the sense: the axis as given or turned by half a turn.
        const double a = directionWithin(*given, 360.0), b = directionWithin(*given + 180, 360.0);
        return score(b) > score(a) ? b : a;
    }
    double best = 0, bestScore = -1e300;
    for (double axis = 0; axis < 360; axis += 6) {
        const double s = score(axis);

        if (s > bestScore) {
            bestScore = s;
            best = axis;
        }
    }
    const double coarse = best;
    for (double axis = coarse - 5; axis <= coarse + 5; axis += 1) {
        const double s = score(axis);
        if (s > bestScore) {
            bestScore = s;
            best = axis;
        }
    }
    // A last step of a tenth of a degree, by the parabola through the best and its neighbours.
    const double left = score(best - 1), right = score(best + 1);
    const double curvature = left + right - 2 * bestScore;
    if (curvature < 0)
        best += std::clamp(0.5 * (left - right) / curvature, -0.5, 0.5);
    return directionWithin(best, 360.0);
}

// The tile the series' regions take: the one asked for, else the fit's own (fitTileSize) up to
// kSeriesTile and half the image's shorter side: the regions must be at least three a side for the
// plane of a tilt to be told, and a series is dozens of large images (512 pixels sample the rings at
// 5 Å three pixels apart at 3 µm for 1.35 Å pixels; a larger defocus wants --tile).
constexpr int kSeriesTile = 512;
int seriesTile(const CtfFitOptions &o, const MicrographImage &image, double pixelSizeNm)
{
    if (o.tileSize > 0)
        return o.tileSize;
    const int cap = std::max(kMinTileSize, std::min(kSeriesTile, std::min(image.width, image.height) / 2 / 2 * 2));
    return std::min(fitTileSize(o, image, pixelSizeNm), cap);
}

// The band of a corrected spectrum with the terms of chi at its pixels (every other pixel of one half
// past 256 a side), for the defocus of a tilt refitted with the series' astigmatism held: chi is then
// linear in the defocus alone.
struct HeldBand {
    std::vector<double> value, fixed, perDefocus;
};

HeldBand heldBand(const PowerSpectrum &s, const CtfModel &model, double low, double high)
{
    HeldBand band;
    const int n = s.size;
    const int centre = n / 2;
    const double offset = model.phaseOffset();
    const double ax = model.A2 * std::cos(2 * model.azimuth), ay = model.A2 * std::sin(2 * model.azimuth);
    const int stride = std::max(1, n / 256);
    for (int j = centre + 2; j < n; j += stride)
        for (int i = 0; i < n; i += stride) {
            const double kx = s.frequencyX(i), ky = s.frequencyY(j);
            const double k = std::hypot(kx, ky);
            if (k < low || k > high)
                continue;
            const ChiTerms t = model.terms(kx, ky);
            band.value.push_back(s.ringsAt(i, j));
            band.fixed.push_back(t.fixed + ax * t.astigmatismX + ay * t.astigmatismY - offset);
            band.perDefocus.push_back(t.defocus);
        }
    return band;
}

double heldScore(const HeldBand &band, double defocus)
{
    CorrelationSums c;
    for (std::size_t i = 0; i < band.value.size(); ++i)
        c.add(band.value[i], fastmath::sinSquared(band.fixed[i] + defocus * band.perDefocus[i]));
    return c.correlation();
}

void holdAstigmatism(TiltFit &t, const PowerSpectrum &spectrum, const SeriesFitOptions &o, const TwoFoldDefocus &shared,
                     double ring)
{
    CtfFitValues &v = *t.result.values;
    CtfModel model = fittedModel(o.fit, v);
    model.A2 = shared.A2;
    model.azimuth = degreesToRadians(shared.azimuth);
    const double low = 1 / o.fit.lowResolution, high = 1 / o.fit.highResolution;
    const HeldBand band = heldBand(spectrum, model, low, high);
    const double start = model.Defocus;
    double best = start, bestScore = -2;
    for (int s = -20; s <= 20; ++s) {
        const double d = start + s * ring / 40;
        const double score = heldScore(band, d);
        if (score > bestScore) {
            bestScore = score;
            best = d;
        }
    }
    // Golden-section search within a step either way.
    double a = best - ring / 40, b = best + ring / 40;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 20; ++i) {
        const double x1 = b - g * (b - a), x2 = a + g * (b - a);
        if (heldScore(band, x1) > heldScore(band, x2))
            b = x2;
        else
            a = x1;
    }
    model.Defocus = (a + b) / 2;
    v.program.Defocus = model.Defocus;
    v.program.A2 = shared.A2;
    v.program.azimuth = shared.A2 > 0 ? shared.azimuth : 0.0;
    v.cryoEm = toCryoEmDefocus(v.program);
    v.resolution = fitAgreement(spectrum, fittedModel(o.fit, v), low).resolution;
}

// Every tilt not reliable given the mean defocus the reliable ones around it give, linear in the tilt
// angle between the nearest on either side (the nearest one's beyond the series' ends), the
// astigmatism the series' or the nearest reliable tilt's.
void fillUnreliable(SeriesFit &series)
{
    std::vector<const TiltFit *> good;
    for (const TiltFit &t : series.tilts)
        if (t.reliable)
            good.push_back(&t);
    if (good.empty())
        return;
    for (TiltFit &t : series.tilts) {
        if (t.reliable)
            continue;
        const TiltFit *below = nullptr, *above = nullptr;
        for (const TiltFit *g : good) {
            if (g->angle <= t.angle && (!below || g->angle > below->angle))
                below = g;
            if (g->angle >= t.angle && (!above || g->angle < above->angle))
                above = g;
        }
        double defocus = 0;
        const TiltFit *nearest = nullptr;
        if (below && above && above->angle > below->angle) {
            const double f = (t.angle - below->angle) / (above->angle - below->angle);
            defocus = (1 - f) * below->result.values->program.Defocus + f * above->result.values->program.Defocus;
            nearest = f < 0.5 ? below : above;
        } else {
            nearest = below ? below : above;
            defocus = nearest->result.values->program.Defocus;
        }
        CtfFitValues v = t.result.values.value_or(CtfFitValues{});
        v.program.Defocus = defocus;
        const TwoFoldDefocus astigmatism = series.sharedAstigmatism.value_or(nearest->result.values->program);
        v.program.A2 = astigmatism.A2;
        v.program.azimuth = astigmatism.A2 > 0 ? astigmatism.azimuth : 0.0;
        v.cryoEm = toCryoEmDefocus(v.program);
        v.resolution = 0;
        v.tilt = specimenTilt(t.angle, series.axis);
        t.result.values = v;
        t.filled = true;
    }
}

} // namespace

std::vector<double> readTiltAngles(const QString &path, int sections)
{
    const QList<QByteArray> lines = fileLines(path);
    std::vector<double> angles;
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const std::optional<double> a = angleOf(lines[i]);
        if (!a)
            throw OrvalisError(QStringLiteral("%1, line %2: \"%3\" is not a tilt angle (degrees, from -90 to 90)")
                                   .arg(path)
                                   .arg(i + 1)
                                   .arg(QString::fromUtf8(lines[i].left(40))));
        angles.push_back(*a);
    }
    if (static_cast<int>(angles.size()) != sections)
        throw OrvalisError(QStringLiteral("%1: %2 tilt angles for a stack of %3 sections; the file gives one angle a "
                                          "line, one for each section")
                               .arg(path)
                               .arg(angles.size())
                               .arg(sections));
    return angles;
}

SeriesDescription readMdoc(const QString &path, const QString &stack, int sections)
{
    const QList<QByteArray> lines = fileLines(path);
    static const QRegularExpression zValue(QStringLiteral("^\\[\\s*ZValue\\s*=\\s*(\\S+)\\s*\\]$"));
    static const QRegularExpression axisInTitle(QStringLiteral("Tilt axis angle\\s*=\\s*([-+0-9.eE]+)"));
    SeriesDescription d;
    std::vector<std::optional<double>> angles(std::size_t(std::max(0, sections)));
    int section = -1; // -1: the header
    const auto number = [&](const QByteArray &value, int line, const QByteArray &key) {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            throw OrvalisError(QStringLiteral("%1, line %2: %3 \"%4\" is not a number")
                                   .arg(path)
                                   .arg(line + 1)
                                   .arg(QString::fromUtf8(key), QString::fromUtf8(value.left(40))));
        return v;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        if (line.startsWith('[')) {
            const QRegularExpressionMatch z = zValue.match(QString::fromUtf8(line));
            if (z.hasMatch()) {
                bool ok = false;
                section = z.captured(1).toInt(&ok);
                if (!ok || section < 0)
                    throw OrvalisError(QStringLiteral("%1, line %2: \"%3\" is not a section number")
                                           .arg(path)
                                           .arg(i + 1)
                                           .arg(z.captured(1)));
                if (section >= sections)
                    throw OrvalisError(QStringLiteral("%1, line %2: section %3 lies beyond the stack's %4 sections "
                                                      "(ZValue counts from 0)")
                                           .arg(path)
                                           .arg(i + 1)
                                           .arg(section)
                                           .arg(sections));
                continue;
            }
            const QRegularExpressionMatch a = axisInTitle.match(QString::fromUtf8(line));
            if (a.hasMatch() && !d.tiltAxis)
                d.tiltAxis = number(a.captured(1).toUtf8(), i, "Tilt axis angle");
            section = section >= 0 ? -2 : -1; // another kind of section: its keys are not a tilt's
            continue;
        }
        const int eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed(), value = line.mid(eq + 1).trimmed();
        if (key == "TiltAngle" && section >= 0) {
            const std::optional<double> a = angleOf(value);
            if (!a)
                throw OrvalisError(QStringLiteral("%1, line %2: TiltAngle \"%3\" is not a tilt angle (degrees, from "
                                                  "-90 to 90)")
                                       .arg(path)
                                       .arg(i + 1)
                                       .arg(QString::fromUtf8(value.left(40))));
            angles[std::size_t(section)] = *a;
        } else if (key == "PixelSpacing" && !(d.pixelSizeAngstrom > 0) && section != -2) {
            d.pixelSizeAngstrom = number(value, i, key);
        } else if (key == "Voltage" && !(d.voltage > 0) && section != -2) {
            d.voltage = number(value, i, key);
        } else if (key == "TiltAxisAngle" && !d.tiltAxis) {
            d.tiltAxis = number(value, i, key);
        } else if (key == "ImageFile" && section == -1) {
            d.imageFile = QString::fromUtf8(value);
        }
    }
    if (!d.imageFile.isEmpty()) {
        // The acquisition's own path, perhaps another system's: its file name is what must agree.
        QString named = d.imageFile;
        named.replace(QLatin1Char('\\'), QLatin1Char('/'));
        named = named.mid(named.lastIndexOf(QLatin1Char('/')) + 1);
        if (named != QFileInfo(stack).fileName())
            throw OrvalisError(QStringLiteral("%1: it describes the stack \"%2\" (ImageFile), not %3")
                                   .arg(path, d.imageFile, QFileInfo(stack).fileName()));
    }
    for (int s = 0; s < sections; ++s) {
        if (!angles[std::size_t(s)])
            throw OrvalisError(QStringLiteral("%1: section %2 of the stack's %3 has no [ZValue = %2] with its "
                                              "TiltAngle")
                                   .arg(path)
                                   .arg(s)
                                   .arg(sections));
        d.angles.push_back(*angles[std::size_t(s)]);
    }
    return d;
}

SeriesFit fitTiltSeries(FrameReader &reader, const SeriesFitOptions &o, const ProgressCallback &progress)
{
    checkFitOptions(o.fit, o.pixelSizeNm);
    const int count = reader.frames();
    if (static_cast<int>(o.angles.size()) != count)
        throw OrvalisError(QStringLiteral("%1: %2 tilt angles for a stack of %3 sections")
                               .arg(reader.name())
                               .arg(o.angles.size())
                               .arg(count));
    const double pixelA = nmToAngstrom(o.pixelSizeNm);
    const double low = 1 / o.fit.lowResolution, high = 1 / o.fit.highResolution;
    const CtfModel bare(o.fit.instrument, o.fit.amplitudeContrast);
    const double ring = thinLimit(bare.wavelength(), high); // nm of defocus that moves the top ring by one
    CtfFitOptions each = o.fit;
    each.threads = 1;

    // The reader given serves one thread at a time; with openReader each thread reads with a reader of
    // its own, taken from those opened before or opened anew.
    std::mutex reading;
    std::vector<std::unique_ptr<FrameReader>> spare;
    const auto read = [&](int index, MicrographImage &image) {
        image.width = reader.width();
        image.height = reader.height();
        image.pixelSizeNm = o.pixelSizeNm;
        image.data.resize(std::size_t(image.width) * std::size_t(image.height));
        std::fill(image.data.begin(), image.data.end(), 0.0f);
        if (!o.openReader) {
            std::lock_guard<std::mutex> lock(reading);
            reader.addFrame(index, image.data.data());
            return;
        }
        std::unique_ptr<FrameReader> own;
        {
            std::lock_guard<std::mutex> lock(reading);
            if (!spare.empty()) {
                own = std::move(spare.back());
                spare.pop_back();
            }
        }
        if (!own)
            own = o.openReader();
        own->addFrame(index, image.data.data());
        std::lock_guard<std::mutex> lock(reading);
        spare.push_back(std::move(own));
    };
    const auto stopper = [](const std::atomic<bool> &stop) -> ProgressCallback {
        return [&stop](double) { return !stop.load(); };
    };
    // A tilt's regions and its plain fit (their average, uncorrected).
    struct Plain {
        RegionSpectra regions;
        CtfFitResult result;
    };
    // Each thread's image, kept from tilt to tilt: a 4096^2 tilt's 64 MB taken anew each time costs
    // its pages' faults again.
    const auto plainFit = [&](int index, const std::atomic<bool> &stop) {
        thread_local MicrographImage image;
        read(index, image);
        Plain p;
        p.regions = regionSpectra(image, seriesTile(each, image, o.pixelSizeNm), o.pixelSizeNm, stopper(stop));
        p.result = fitCtf(tiltCorrectedSpectrum(p.regions, bare, nullptr, low), each, stopper(stop));
        return p;
    };

    SeriesFit series;
    std::vector<std::optional<CtfFitResult>> plainResults(static_cast<std::size_t>(count));
    // The axis' tilts' regions, kept for their own fits below rather than read and transformed again.
    std::vector<std::optional<RegionSpectra>> keptRegions(static_cast<std::size_t>(count));
    // The axis first, from the highest tilts: the given one's sense, or the axis itself.
    std::vector<int> highest;
    for (int i = 0; i < count; ++i)
        if (std::fabs(o.angles[std::size_t(i)]) >= kAxisTiltFrom)
            highest.push_back(i);
    std::sort(highest.begin(), highest.end(),
              [&](int a, int b) { return std::fabs(o.angles[std::size_t(a)]) > std::fabs(o.angles[std::size_t(b)]); });
    highest.resize(std::min<std::size_t>(highest.size(), o.tiltAxis ? kSenseTilts : kAxisTilts));
    const double axisShare = highest.empty() ? 0.0 : (o.tiltAxis ? 0.1 : 0.25);
    std::vector<std::optional<HighTilt>> highTilts(highest.size());
    if (!highest.empty())
        parallelFor(static_cast<int>(highest.size()), o.threads, progress, 0, axisShare,
                    [&](int k, const std::atomic<bool> &stop) {
                        const int i = highest[std::size_t(k)];
                        Plain p = plainFit(i, stop);
                        plainResults[std::size_t(i)] = p.result;
                        if (p.result.values)
                            highTilts[std::size_t(k)] = HighTilt{
                                o.angles[std::size_t(i)],
                                regionProfiles(p.regions, fittedModel(each, *p.result.values), low, high)};
                        keptRegions[std::size_t(i)] = std::move(p.regions);
                    });
    std::vector<HighTilt> fitted;
    for (auto &h : highTilts)
        if (h)
            fitted.push_back(std::move(*h));
    if (fitted.empty()) {
        if (!o.tiltAxis)
            throw OrvalisError(QStringLiteral("%1: the tilt axis cannot be fitted: no tilt of %2 degrees or more has "
                                              "a fit above noise; give the axis with --tilt-axis")
                                   .arg(reader.name())
                                   .arg(kAxisTiltFrom));
        series.axis = directionWithin(*o.tiltAxis, 360.0);
    } else {
        series.axis = fitSeriesAxis(fitted, pixelA, ring, o.tiltAxis);
    }
    series.axisFitted = !o.tiltAxis.has_value();

    // Every tilt with its angle and the series' axis.
    series.tilts.resize(std::size_t(count));
    std::vector<PowerSpectrum> corrected(static_cast<std::size_t>(count));
    parallelFor(count, o.threads, progress, axisShare, 0.95, [&](int i, const std::atomic<bool> &stop) {
        TiltFit &t = series.tilts[std::size_t(i)];
        t.index = i;
        t.angle = o.angles[std::size_t(i)];
        RegionSpectra regions;
        CtfFitResult plain;
        if (plainResults[std::size_t(i)]) {
            regions = std::move(*keptRegions[std::size_t(i)]);
            keptRegions[std::size_t(i)].reset();
            plain = *plainResults[std::size_t(i)];
        } else {
            Plain p = plainFit(i, stop);
            regions = std::move(p.regions);
            plain = p.result;
        }
        t.result = plain;
        if (!plain.values)
            return;
        const SpecimenTilt tilt = specimenTilt(t.angle, series.axis);
        CtfModel model = fittedModel(each, *plain.values);
        // The centre's defocus from the regions' own rings first: the plain fit of a high tilt's blurred
        // rings can lie a ring off.
        double shift = 0;
        bestOverShift(regionProfiles(regions, model, low, high), tilt, pixelA, ring, &shift);
        model.Defocus += shift;
        CtfFitOptions narrowed = each;
        TwoFoldDefocus start = plain.values->program;
        start.Defocus = model.Defocus;
        narrowed.start = start;
        PowerSpectrum spectrum = tiltCorrectedSpectrum(regions, model, &tilt, low, high + 1.5 * low);
        CtfFitResult r = fitCtf(spectrum, narrowed, stopper(stop));
        if (r.values) {
            CtfFitValues &v = *r.values;
            v.tilt = tilt;
            v.resolution = fitAgreement(spectrum, fittedModel(each, v), low).resolution;
            t.result = r;
            corrected[std::size_t(i)] = std::move(spectrum);
        } else {
            t.result = r;
        }
    });

    for (TiltFit &t : series.tilts)
        t.reliable = t.result.reliable();
    if (o.astigmatism == SeriesAstigmatism::Shared) {
        // The low tilts' astigmatism, weighted by their fits' significance: at high tilts the rings are
        // fainter and the correction's interpolation rounds them.
        double ax = 0, ay = 0, w = 0;
        for (const TiltFit &t : series.tilts)
            if (t.reliable && std::fabs(t.angle) <= kSharedAstigmatismUpTo) {
                const TwoFoldDefocus &p = t.result.values->program;
                const double az = degreesToRadians(p.azimuth);
                ax += t.result.significance * p.A2 * std::cos(2 * az);
                ay += t.result.significance * p.A2 * std::sin(2 * az);
                w += t.result.significance;
            }
        if (w > 0) {
            TwoFoldDefocus shared;
            shared.A2 = std::hypot(ax, ay) / w;
            shared.azimuth = shared.A2 > 0 ? twoFoldAngle(radiansToDegrees(std::atan2(ay, ax) / 2)) : 0.0;
            series.sharedAstigmatism = shared;
            for (int i = 0; i < count; ++i) {
                TiltFit &t = series.tilts[std::size_t(i)];
                if (t.result.values && corrected[std::size_t(i)].size > 0)
                    holdAstigmatism(t, corrected[std::size_t(i)], o, shared, ring);
            }
        }
    }
    if (o.fill)
        fillUnreliable(series);
    reportProgress(progress, 1.0);
    return series;
}

} // namespace orvalis
