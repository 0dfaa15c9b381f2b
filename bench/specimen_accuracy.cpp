// The fit's accuracy on tilted and thick specimens, over camera-like synthetic micrographs made by the
// tests' own generator (cameramicrograph.h: the tilt blended from defocus planes, the thickness summed
// from independent slices, counting noise at 40 e/Å^2, the detector's MTF, the ice ring), each case on
// several noise realisations. Prints per case the mean and rms of each error and the largest, then
// the resolution the fit of a tilted 4096 x 4096 micrograph holds to beside the same specimen untilted,
// and exits 1 when a target is missed:
//   theta within 1 degree for theta 10 to 50 degrees, the axis phi within 3 degrees for theta >= 10;
//   the thickness within 5 % or 30 Å, whichever is more, for 80 to 400 nm;
//   flat thin specimens: theta below 2 degrees and no thickness;
//   the mean defocus at the centre within 0.5 % (or 20 Å) wherever the specimen is tilted;
//   the tilted 4096^2 micrograph (20 degrees) holds to 3.5 Å or better where the untilted one holds to
//   2.5 Å.
// A tilt or thickness the fit does not report is shown as "-" and counted as "not fitted", a miss of
// the targets that need it.
//
// Options: --only TEXT (cases whose name holds it; =NAME: that case alone), --seeds N (default 8), --seed N (the
// first),
// --size N (pixels a side of the table's micrographs, default 2048), --dose E (e/Å^2), --contrast C, --no-resolution
// (skip the 4096^2 pair), --resolution-seeds N (default 2), --plain (fit neither tilt nor thickness: the plain fit
// alone), --cache DIR (keep the generated micrographs there and read them back on the next run: the generator
// takes far longer than the fit), --notes (each fit's values and its statements on the tilt and thickness).
#include "cameramicrograph.h"
#include "ctffitcase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

using namespace orvalis;

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();

struct SpecimenCase {
    FitCase optics;
    CameraSpecimen specimen;
};

// kV, Cs (mm), Q, pixel (Å), U, V (Å), angle, phase shift; tilt angle, axis (degrees), thickness (Å)
const SpecimenCase kCases[] = {
    {{"300kV 1.5um flat", 300, 2.7, 0.07, 1.0, 15200, 14800, 30, None}, {0, 0, 0}},
    {{"200kV 3.0um flat 1.2A", 200, 2.7, 0.07, 1.2, 30500, 29500, 110, None}, {0, 0, 0}},
    {{"300kV 1.0um tilt5 0.8A", 300, 2.7, 0.07, 0.8, 10000, 10000, 0, None}, {5, 90, 0}},
    {{"300kV 1.0um tilt10 0.8A", 300, 2.7, 0.07, 0.8, 10300, 9700, 60, None}, {10, 30, 0}},
    {{"300kV 2.0um tilt20", 300, 2.7, 0.07, 1.0, 20500, 19500, 30, None}, {20, 0, 0}},
    {{"300kV 2.0um tilt20 axis120", 300, 2.7, 0.07, 1.0, 20000, 20000, 0, None}, {20, 120, 0}},
    {{"200kV 3.5um tilt30 1.5A", 200, 2.7, 0.07, 1.5, 35500, 34500, 150, None}, {30, 250, 0}},
    {{"300kV 2.5um tilt40 1.2A", 300, 2.7, 0.07, 1.2, 25000, 25000, 0, None}, {40, 75, 0}},
    {{"300kV 4.0um tilt50", 300, 2.7, 0.07, 1.0, 40500, 39500, 100, None}, {50, 200, 0}},
    {{"200kV 1.5um tilt50 axis315", 200, 2.7, 0.07, 1.0, 15000, 15000, 0, None}, {50, 315, 0}},
    {{"300kV 2.0um thick40", 300, 2.7, 0.07, 1.0, 20000, 20000, 0, None}, {0, 0, 400}},
    {{"300kV 2.0um thick80", 300, 2.7, 0.07, 1.0, 20250, 19750, 45, None}, {0, 0, 800}},
    {{"300kV 2.5um thick150", 300, 2.7, 0.07, 1.0, 25000, 25000, 0, None}, {0, 0, 1500}},
    {{"200kV 3.0um thick250 1.2A", 200, 2.7, 0.07, 1.2, 30500, 29500, 20, None}, {0, 0, 2500}},
    {{"300kV 1.2um thick400 0.8A", 300, 2.7, 0.07, 0.8, 12000, 12000, 0, None}, {0, 0, 4000}},
    {{"300kV 3.5um thick300 1.5A", 300, 2.7, 0.07, 1.5, 35000, 35000, 0, None}, {0, 0, 3000}},
    {{"300kV 2.0um tilt20 thick200", 300, 2.7, 0.07, 1.0, 20000, 20000, 0, None}, {20, 60, 2000}},
    {{"200kV 3.0um tilt35 thick120", 200, 2.7, 0.07, 1.0, 30300, 29700, 80, None}, {35, 160, 1200}},
};

// The errors of one kind over the seeds; NaNs (an error not judged) left out.
struct Spread {
    double sum = 0, squares = 0, largest = 0;
    int count = 0;

    void add(double e)
    {
        if (std::isnan(e))
            return;
        sum += e;
        squares += e * e;
        largest = std::max(largest, std::fabs(e));
        ++count;
    }
    double rms() const { return count > 0 ? std::sqrt(squares / count) : None; }
    double mean() const { return count > 0 ? sum / count : None; }
};

// The smallest turn from b to a, degrees, with the given period.
double turnBetween(double a, double b, double period)
{
    const double t = std::fmod(std::fabs(a - b), period);
    return std::min(t, period - t);
}

bool isFlat(const CameraSpecimen &s)
{
    return s.tiltAngle == 0;
}

bool isThin(const CameraSpecimen &s)
{
    return s.thickness == 0;
}

bool tiltJudged(const CameraSpecimen &s)
{
    return s.tiltAngle >= 10 && s.tiltAngle <= 50;
}

bool thicknessJudged(const CameraSpecimen &s)
{
    return s.thickness >= 800 && s.thickness <= 4000;
}

bool fitSpecimen = true; // --plain clears it
QString cacheDirectory;  // --cache
bool showNotes = false;  // --notes: each fit's values and what it says of the tilt and thickness

// The case's micrograph, from the cache when it holds it (named by everything the generator takes).
MicrographImage micrograph(const SpecimenCase &sc, const CameraOptions &o)
{
    if (cacheDirectory.isEmpty())
        return cameraMicrograph(sc.optics, sc.specimen, o);
    const QString name = QStringLiteral("%1/%2_%3_%4_%5_%6_%7_%8.f32")
                             .arg(cacheDirectory,
                                  QString::fromLatin1(sc.optics.name).replace(QLatin1Char(' '), QLatin1Char('_')))
                             .arg(o.size)
                             .arg(o.dose)
                             .arg(o.contrast)
                             .arg(o.bFactor)
                             .arg(o.mtf ? 1 : 0)
                             .arg(static_cast<qulonglong>(o.seed));
    QFile file(name);
    const qint64 bytes = qint64(o.size) * o.size * qint64(sizeof(float));
    if (file.open(QIODevice::ReadOnly) && file.size() == bytes) {
        MicrographImage image;
        image.width = image.height = o.size;
        image.pixelSizeNm = sc.optics.pixel / 10;
        image.data.resize(std::size_t(o.size) * std::size_t(o.size));
        if (file.read(reinterpret_cast<char *>(image.data.data()), bytes) == bytes)
            return image;
    }
    file.close();
    const MicrographImage image = cameraMicrograph(sc.optics, sc.specimen, o);
    QDir().mkpath(cacheDirectory);
    QFile out(name + QStringLiteral(".part"));
    if (out.open(QIODevice::WriteOnly)
        && out.write(reinterpret_cast<const char *>(image.data.data()), bytes) == bytes) {
        out.close();
        QFile::remove(name);
        out.rename(name);
    }
    return image;
}

CtfFitOptions optionsOf(const FitCase &c)
{
    CtfFitOptions o = fitCaseOptions(c);
    o.fitTilt = fitSpecimen;
    o.fitThickness = fitSpecimen;
    return o;
}

struct CaseResult {
    Spread meanDefocus, difference, angle, tilt, axis, thickness, resolution;
    int fits = 0, none = 0, missed = 0, tiltReported = 0, thicknessReported = 0;
    int unfitted = 0; // fits missing a tilt or thickness their targets need
    double seconds = 0;
};

// One fit's verdict against the targets; adds its errors to `r`.
void judge(const SpecimenCase &sc, const CtfFitResult &fit, CaseResult &r)
{
    ++r.fits;
    if (!fit.values) {
        ++r.none;
        ++r.missed;
        return;
    }
    const CtfFitValues &v = *fit.values;
    const CameraSpecimen &s = sc.specimen;
    const FitErrors e = fitErrors(sc.optics, v);
    r.meanDefocus.add(e.meanDefocus);
    r.difference.add(e.difference);
    r.angle.add(e.angle);
    r.resolution.add(v.resolution * 10);
    bool ok = std::fabs(e.meanDefocus) <= e.defocusLimit;
    // The U - V and angle targets of a flat specimen hold for a thin, flat one only; a tilt or a
    // thickness the fit does not model blurs the rings the astigmatism is read from.
    if (isFlat(s) && isThin(s))
        ok = ok && withinTargets(e);

    const double tiltError = v.tilt ? v.tilt->angle - s.tiltAngle : None;
    const double axisError = v.tilt && s.tiltAngle >= 10 ? turnBetween(v.tilt->axis, s.tiltAxis, 360) : None;
    r.tiltReported += v.tilt ? 1 : 0;
    r.tilt.add(tiltError);
    r.axis.add(axisError);
    if (tiltJudged(s)) {
        ok = ok && v.tilt && std::fabs(tiltError) <= 1 && axisError <= 3;
    } else if (s.tiltAngle > 50) {
        ok = ok && v.tilt && axisError <= 3;
    }
    if (isFlat(s))
        ok = ok && (!v.tilt || v.tilt->angle < 2);

    if ((tiltJudged(s) && !v.tilt) || (thicknessJudged(s) && !v.thickness))
        ++r.unfitted;
    const double thicknessError = v.thickness ? *v.thickness - s.thickness : None;
    r.thicknessReported += v.thickness ? 1 : 0;
    r.thickness.add(thicknessError);
    if (thicknessJudged(s)) {
        ok = ok && v.thickness && std::fabs(thicknessError) <= std::max(30.0, 0.05 * s.thickness);
    }
    if (isThin(s))
        ok = ok && !v.thickness;
    r.missed += ok ? 0 : 1;
}

QString cell(const Spread &s, int decimals)
{
    if (s.count == 0)
        return QStringLiteral("-");
    return QStringLiteral("%1/%2/%3")
        .arg(s.mean(), 0, 'f', decimals)
        .arg(s.rms(), 0, 'f', decimals)
        .arg(s.largest, 0, 'f', decimals);
}

int table(const char *only, const CameraOptions &camera, int seeds)
{
    std::printf("%d x %d pixels, %.0f e/A^2, contrast %.2f, B-factor %.0f A^2, MTF %s, seeds %llu to %llu; fitted: "
                "%s\n",
                camera.size, camera.size, camera.dose, camera.contrast, camera.bFactor, camera.mtf ? "on" : "off",
                static_cast<unsigned long long>(camera.seed), static_cast<unsigned long long>(camera.seed + seeds - 1),
                fitSpecimen ? "tilt and thickness" : "the plain fit alone");
    std::printf("errors as mean/rms/largest |error|; theta and phi in degrees, t and defocus in A\n\n");
    std::printf("%-28s %5s %4s %5s | %-17s %-17s %-14s | %-14s %-14s %-17s | %-15s | %s\n", "case", "theta", "phi", "t",
                "d mean", "d U-V", "d angle", "d theta", "d phi", "d t", "res A", "missed");
    int missed = 0, fits = 0, missing = 0;
    Spread all[6];
    for (const SpecimenCase &sc : kCases) {
        if (only[0] == '=' ? std::strcmp(sc.optics.name, only + 1) != 0 : !std::strstr(sc.optics.name, only))
            continue;
        CaseResult r;
        for (int k = 0; k < seeds; ++k) {
            CameraOptions o = camera;
            o.seed = camera.seed + static_cast<std::uint64_t>(k);
            const MicrographImage image = micrograph(sc, o);
            QElapsedTimer timer;
            timer.start();
            const CtfFitResult fit = fitMicrographCtf(image, optionsOf(sc.optics));
            r.seconds += timer.elapsed() / 1000.0;
            judge(sc, fit, r);
            if (showNotes && fit.values)
                std::printf("  seed %llu: mean defocus %.0f A, tilt %s, thickness %s. %s\n",
                            static_cast<unsigned long long>(o.seed),
                            (fit.values->cryoEm.defocusU + fit.values->cryoEm.defocusV) / 2,
                            fit.values->tilt ? qPrintable(QStringLiteral("%1/%2")
                                                              .arg(fit.values->tilt->angle, 0, 'f', 2)
                                                              .arg(fit.values->tilt->axis, 0, 'f', 1))
                                             : "-",
                            fit.values->thickness ? qPrintable(QString::number(*fit.values->thickness, 'f', 0)) : "-",
                            qPrintable(fit.specimenNote));
            else if (showNotes)
                std::printf("  seed %llu: no fit. %s\n", static_cast<unsigned long long>(o.seed),
                            qPrintable(fit.message));
        }
        missed += r.missed;
        fits += r.fits;
        missing += r.unfitted;
        const Spread *kinds[6] = {&r.meanDefocus, &r.difference, &r.angle, &r.tilt, &r.axis, &r.thickness};
        for (int i = 0; i < 6; ++i)
            if (kinds[i]->count > 0) {
                all[i].sum += kinds[i]->sum;
                all[i].squares += kinds[i]->squares;
                all[i].count += kinds[i]->count;
                all[i].largest = std::max(all[i].largest, kinds[i]->largest);
            }
        QString notes;
        if (r.none > 0)
            notes += QStringLiteral(" %1 without a fit").arg(r.none);
        // How many fits left out a tilt or thickness the specimen has: not fitted, where the fit said why.
        if (r.tiltReported < r.fits - r.none && !isFlat(sc.specimen))
            notes += QStringLiteral(" tilt not fitted in %1").arg(r.fits - r.none - r.tiltReported);
        if (r.thicknessReported < r.fits - r.none && !isThin(sc.specimen))
            notes += QStringLiteral(" thickness not fitted in %1").arg(r.fits - r.none - r.thicknessReported);
        std::printf("%-28s %5.0f %4.0f %5.0f | %-17s %-17s %-14s | %-14s %-14s %-17s | %-15s | %d of %d%s %.2fs\n",
                    sc.optics.name, sc.specimen.tiltAngle, sc.specimen.tiltAxis, sc.specimen.thickness,
                    qPrintable(cell(r.meanDefocus, 1)), qPrintable(cell(r.difference, 1)), qPrintable(cell(r.angle, 2)),
                    qPrintable(cell(r.tilt, 2)), qPrintable(cell(r.axis, 2)), qPrintable(cell(r.thickness, 0)),
                    qPrintable(cell(r.resolution, 2)), r.missed, r.fits, qPrintable(notes),
                    r.seconds / std::max(1, r.fits));
        std::fflush(stdout);
    }
    std::printf("\nlargest errors: mean defocus %.1f A, U - V %.1f A, angle %.2f deg, theta %s, phi %s, t %s\n",
                all[0].largest, all[1].largest, all[2].largest,
                all[3].count ? qPrintable(QString::number(all[3].largest, 'f', 2)) : "-",
                all[4].count ? qPrintable(QString::number(all[4].largest, 'f', 2)) : "-",
                all[5].count ? qPrintable(QString::number(all[5].largest, 'f', 0)) : "-");
    std::printf("%d of %d fits missed a target (%d of them lack a tilt or thickness their targets need)\n", missed,
                fits, missing);
    return missed;
}

// The resolution a fit holds to, untilted and tilted by 20 degrees, on 4096 x 4096 micrographs.
int resolutionPair(const CameraOptions &camera, int seeds)
{
    const FitCase optics = {"300kV 1.5um 1.0A", 300, 2.7, 0.07, 1.0, 15250, 14750, 40, None};
    std::printf("\nthe fit's resolution on %d x %d micrographs, %s, seeds %llu to %llu (target: tilted by 20 degrees "
                "and the tilt fitted, 3.5 A or better where the untilted one holds to about 2.5 A)\n",
                4096, 4096, optics.name, static_cast<unsigned long long>(camera.seed),
                static_cast<unsigned long long>(camera.seed + seeds - 1));
    int missed = 0;
    for (const double tilt : {0.0, 20.0}) {
        for (const bool specimen : {false, true}) {
            if (specimen && (!fitSpecimen || tilt == 0))
                continue;
            Spread resolution, meanDefocus;
            QString tilts;
            for (int k = 0; k < seeds; ++k) {
                CameraOptions o = camera;
                o.size = 4096;
                o.seed = camera.seed + static_cast<std::uint64_t>(k);
                const MicrographImage image = cameraMicrograph(optics, {tilt, 65, 0}, o);
                CtfFitOptions options = fitCaseOptions(optics);
                options.fitTilt = specimen;
                options.fitThickness = false;
                const CtfFitResult fit = fitMicrographCtf(image, options);
                if (!fit.values) {
                    resolution.add(HUGE_VAL);
                    continue;
                }
                resolution.add(fit.values->resolution * 10);
                meanDefocus.add(fitErrors(optics, *fit.values).meanDefocus);
                tilts += (fit.values->tilt ? QStringLiteral(" %1/%2")
                                                 .arg(fit.values->tilt->angle, 0, 'f', 1)
                                                 .arg(fit.values->tilt->axis, 0, 'f', 1)
                                           : QStringLiteral(" -"))
                    + QStringLiteral(" (%1)").arg(fit.tileSize);
            }
            const double limit = 3.5;
            // The target is on the fit that models the tilt. The untilted micrograph is the reference
            // (the generator's contrast makes it hold to about 2.5 Å), and the plain fit of the tilted
            // one shows what the tilt costs a fit that ignores it.
            const bool judged = tilt != 0 && specimen;
            const bool ok = resolution.largest <= limit;
            if (judged && !ok)
                ++missed;
            std::printf("  tilt %2.0f, %-26s resolution mean %.2f A, worst %.2f A, d mean defocus %s A, fitted "
                        "tilt/axis (tile of the spectrum judged):%s %s\n",
                        tilt, specimen ? "tilt fitted" : "plain fit", resolution.mean(), resolution.largest,
                        qPrintable(cell(meanDefocus, 1)), qPrintable(tilts),
                        judged          ? (ok ? "ok" : "MISSED")
                            : tilt == 0 ? "(the reference)"
                                        : "(not judged)");
            std::fflush(stdout);
        }
    }
    return missed;
}

} // namespace

int main(int argc, char **argv)
{
    CameraOptions camera;
    camera.size = 2048;
    const char *only = "";
    int seeds = 8, resolutionSeeds = 2;
    bool resolution = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc)
            seeds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            camera.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc)
            camera.size = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--resolution-seeds") == 0 && i + 1 < argc)
            resolutionSeeds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--contrast") == 0 && i + 1 < argc)
            camera.contrast = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--dose") == 0 && i + 1 < argc)
            camera.dose = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--no-resolution") == 0)
            resolution = false;
        else if (std::strcmp(argv[i], "--cache") == 0 && i + 1 < argc)
            cacheDirectory = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--notes") == 0)
            showNotes = true;
        else if (std::strcmp(argv[i], "--plain") == 0)
            fitSpecimen = false;
        else {
            std::fprintf(stderr, "specimen_accuracy: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    int missed = table(only, camera, seeds);
    if (resolution)
        missed += resolutionPair(camera, resolutionSeeds);
    return missed == 0 ? 0 : 1;
}
