// The fit of a specimen's tilt and thickness, on small micrographs made here independently of the
// fit: a tilt by blending images computed at defocus planes across the image, a thickness by
// summing independent slices through the depth. Loose bounds; the benchmark holds the tight ones.
#include "core/cryoemdefocus.h"
#include "micrograph/ctffit.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/specimenfit.h"

#include "syntheticmicrograph.h"

#include <QtTest>

#include <cmath>

using namespace orvalis;

namespace {

constexpr double kPi = 3.14159265358979323846;

// 300 kV, Cs 2.7 mm, Q 0.07: the CTF at a mean defocus (Å of underfocus), written out; with an
// astigmatism, U - V (Å) with U along `angle` (degrees from kx towards ky).
double writtenCtf(double kx, double ky, double underfocusA, double uMinusV = 0, double angle = 0)
{
    const double lambda = 0.0196875;             // Å at 300 kV
    const double k2 = (kx * kx + ky * ky) / 100; // nm^-2 to Å^-2
    const double along = uMinusV != 0 ? std::cos(2 * (std::atan2(ky, kx) - angle * kPi / 180)) : 0.0;
    const double chi = kPi * lambda * (underfocusA + uMinusV / 2 * along) * k2
        - kPi / 2 * 2.7e7 * lambda * lambda * lambda * k2 * k2;
    return std::sin(chi + std::asin(0.07));
}

struct Specimen {
    double defocusA = 15000;
    double tiltDeg = 0, axisDeg = 0;
    double thicknessA = 0;
    double uMinusV = 0, angle = 0; // Å, degrees
};

// Images at defocus planes a little apart, blended pixel by pixel at the defocus the tilt gives
// there: D(x, y) = D0 + tan(tilt) p (y cos(axis) - x sin(axis)), x and y from the image's centre.
// A thickness: independent slices (their own objects) through the depth, summed.
MicrographImage specimenMicrograph(const Specimen &s, int size, std::uint64_t seed)
{
    const double p = 1.0; // Å
    SyntheticOptions o;
    o.width = o.height = size;
    o.pixelSizeNm = p / 10;
    const int slices = s.thicknessA > 0 ? 12 : 1;
    MicrographImage sum;
    for (int slice = 0; slice < slices; ++slice) {
        const double depth = slices > 1 ? ((slice + 0.5) / slices - 0.5) * s.thicknessA : 0.0;
        o.seed = seed * 100 + std::uint64_t(slice);
        o.noise = 1.5 / std::sqrt(double(slices));
        const double t = std::tan(s.tiltDeg * kPi / 180), a = s.axisDeg * kPi / 180;
        const double half = size / 2.0;
        const double most = t * p * half * (std::fabs(std::cos(a)) + std::fabs(std::sin(a)));
        const int planes = t > 0 ? std::max(2, int(std::ceil(2 * most / 100)) + 1) : 1;
        std::vector<TransferFunction> ctfs;
        for (int i = 0; i < planes; ++i) {
            const double offset = planes > 1 ? -most + 2 * most * i / (planes - 1) : 0.0;
            ctfs.push_back([&s, defocus = s.defocusA + depth + offset](double kx, double ky) {
                return writtenCtf(kx, ky, defocus, s.uMinusV, s.angle);
            });
        }
        const std::vector<MicrographImage> images = syntheticMicrographs(o, ctfs);
        MicrographImage blended = images[0];
        for (int row = 0; row < size && planes > 1; ++row)
            for (int column = 0; column < size; ++column) {
                const double x = column + 0.5 - half, y = row + 0.5 - half;
                const double offset = t * p * (y * std::cos(a) - x * std::sin(a));
                const double f = std::clamp((offset + most) / (2 * most) * (planes - 1), 0.0, planes - 1.0);
                const int i = std::min(planes - 2, int(f));
                const double w = f - i;
                const std::size_t k = std::size_t(row) * std::size_t(size) + std::size_t(column);
                blended.data[k] = float((1 - w) * images[std::size_t(i)].data[k]
                                        + w * images[std::size_t(i) + 1].data[k]);
            }
        if (slice == 0)
            sum = blended;
        else
            for (std::size_t k = 0; k < sum.data.size(); ++k)
                sum.data[k] += blended.data[k];
    }
    return sum;
}

CtfFitOptions optionsFor(bool tilt, bool thickness)
{
    FitRequest r;
    r.highResolution = 3.5;
    r.fitTilt = tilt;
    r.fitThickness = thickness;
    return fitOptionsOf(r);
}

double axisError(double a, double b)
{
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return std::min(d, 360 - d);
}

} // namespace

class TestSpecimenFit : public QObject {
    Q_OBJECT
private slots:
    void thicknessClosedForm_data();
    void thicknessClosedForm();
    void tilted_data();
    void tilted();
    void correctedTiles_data();
    void correctedTiles();
    void thick_data();
    void thick();
    void flat();
    void helpExample();
};

// The depth average's closed form against the average of slices through the depth.
void TestSpecimenFit::thicknessClosedForm_data()
{
    QTest::addColumn<double>("k");         // nm^-1
    QTest::addColumn<double>("thickness"); // nm
    QTest::newRow("thin, low k") << 0.5 << 10.0;
    QTest::newRow("before the first node") << 2.0 << 50.0;
    QTest::newRow("past the first node") << 2.5 << 200.0;
    QTest::newRow("far past it") << 3.0 << 400.0;
}

void TestSpecimenFit::thicknessClosedForm()
{
    QFETCH(double, k);
    QFETCH(double, thickness);
    CtfModel model(CtfUserValues{});
    model.Defocus = -1500;
    model.thickness = thickness;
    const int slices = 20000;
    double sum = 0;
    CtfModel slice = model;
    slice.thickness = 0;
    for (int i = 0; i < slices; ++i) {
        slice.Defocus = model.Defocus + ((i + 0.5) / slices - 0.5) * thickness;
        const double c = slice.ctf(k, 0);
        sum += c * c;
    }
    QVERIFY2(std::fabs(model.roundCtfSquared(k) - sum / slices) < 1e-6,
             qPrintable(QStringLiteral("closed form %1, slices %2").arg(model.roundCtfSquared(k)).arg(sum / slices)));
    // The first node: the rings vanish there.
    const double node = std::sqrt(1 / (model.wavelength() * thickness));
    QVERIFY(std::fabs(model.thicknessDamping(node)) < 1e-9);
}

// The tilt found, its axis in the convention of tiltDefocusOffset (the side at axis + 90 degrees
// further from focus), and the defocus at the centre.
void TestSpecimenFit::tilted_data()
{
    QTest::addColumn<double>("tilt");
    QTest::addColumn<double>("axis");
    QTest::addColumn<double>("thickness"); // Å, fitted where given
    QTest::addColumn<bool>("sure");        // its axis: else no tilt is reported, and the note says why
    QTest::newRow("30 degrees about x") << 30.0 << 0.0 << 0.0 << true;
    QTest::newRow("35 degrees about 120") << 35.0 << 120.0 << 0.0 << true;
    QTest::newRow("25 degrees about 250") << 25.0 << 250.0 << 0.0 << true;
    // Found at about 4 degrees, its axis within 4 of the truth, known to about 5: not sure enough.
    QTest::newRow("4 degrees about 45, its axis unsure") << 4.0 << 45.0 << 0.0 << false;
    QTest::newRow("20 degrees about 60 in 200 nm") << 20.0 << 60.0 << 2000.0 << true;
}

void TestSpecimenFit::tilted()
{
    QFETCH(double, tilt);
    QFETCH(double, axis);
    QFETCH(double, thickness);
    QFETCH(bool, sure);
    Specimen s;
    s.tiltDeg = tilt;
    s.axisDeg = axis;
    s.thicknessA = thickness;
    const MicrographImage image = specimenMicrograph(s, 1536, 7);
    const MicrographFit fit = fitMicrograph(image, optionsFor(true, thickness > 0), 0.1);
    QVERIFY2(fit.result.values, qPrintable(fit.result.message));
    const CtfFitValues &v = *fit.result.values;
    if (!sure) {
        QVERIFY(!v.tilt);
        QVERIFY2(fit.result.specimenNote.contains(QStringLiteral("is not sure: the parts of the image scatter")),
                 qPrintable(fit.result.specimenNote));
        return;
    }
    QVERIFY2(v.tilt, qPrintable(fit.result.specimenNote));
    QVERIFY2(std::fabs(v.tilt->angle - tilt) < 4 && axisError(v.tilt->axis, axis) < 8,
             qPrintable(QStringLiteral("tilt %1 about %2").arg(v.tilt->angle).arg(v.tilt->axis)));
    const double mean = (v.cryoEm.defocusU + v.cryoEm.defocusV) / 2;
    QVERIFY2(std::fabs(mean - s.defocusA) < 0.01 * s.defocusA, qPrintable(QString::number(mean)));
    if (thickness > 0)
        QVERIFY2(
            v.thickness && std::fabs(*v.thickness - thickness) < 0.1 * thickness,
            qPrintable(
                QStringLiteral("thickness %1: %2").arg(v.thickness ? *v.thickness : -1).arg(fit.result.specimenNote)));
    else
        QVERIFY(!v.thickness);
    // The corrected spectrum holds its rings at least as far as the plain one.
    const MicrographFit plain = fitMicrograph(image, optionsFor(false, false), 0.1);
    QVERIFY2(
        v.resolution <= plain.result.values->resolution + 0.01,
        qPrintable(
            QStringLiteral("%1 nm corrected, %2 nm plain").arg(v.resolution).arg(plain.result.values->resolution)));
}

// Each tile's spectrum rescaled from its own defocus to the centre's: at the micrograph's true values
// the rings agree with the centre's model further out than the tiles taken as they are, which agree
// further than the tiles rescaled the wrong way (the axis turned by 180 degrees: twice the spread).
void TestSpecimenFit::correctedTiles_data()
{
    QTest::addColumn<double>("tilt");
    QTest::addColumn<double>("axis");
    QTest::addColumn<double>("uMinusV"); // Å
    QTest::addColumn<double>("angle");   // degrees
    QTest::newRow("30 degrees about x, round") << 30.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("35 degrees about 120, astigmatic") << 35.0 << 120.0 << 1500.0 << 30.0;
}

void TestSpecimenFit::correctedTiles()
{
    QFETCH(double, tilt);
    QFETCH(double, axis);
    QFETCH(double, uMinusV);
    QFETCH(double, angle);
    Specimen s;
    s.tiltDeg = tilt;
    s.axisDeg = axis;
    s.uMinusV = uMinusV;
    s.angle = angle;
    const MicrographImage image = specimenMicrograph(s, 1536, 11);
    const CtfFitOptions options = optionsFor(true, false);
    CtfModel model(options.instrument, options.amplitudeContrast);
    model.setDefocus(CryoEmDefocus{s.defocusA + uMinusV / 2, s.defocusA - uMinusV / 2, angle});
    const double low = 1 / options.lowResolution;
    const auto reach = [&](const SpecimenTilt &t) {
        return fitAgreement(tiltCorrectedTiles(image, 512, 0.1, model, t, low), model, low).agreement.agreedUpTo;
    };
    const double corrected = reach({tilt, axis}), none = reach({0, 0}), wrong = reach({tilt, axis + 180});
    const QString text = QStringLiteral("rings agree up to %1 nm^-1 corrected, %2 as they are, %3 the wrong way")
                             .arg(corrected)
                             .arg(none)
                             .arg(wrong);
    QVERIFY2(corrected > 1.2 * none && none > wrong, qPrintable(text));
}

// A thick specimen: its thickness and the defocus that goes with it, or, where the band cannot tell
// the thickness, none, with a statement, and never one far off. Fitted for a tilt too: the rings its
// thickness inverts are no plane of defocus across the image, and whatever plane fits them best must
// not be reported as a tilt. 400 nm at 1.2 um holds two nodes in the band, where a scan along the
// plain fit's rings (their astigmatism led astray by the inverted rings) once settled on a defocus
// 5 % too close to focus and a thickness 20 % too thin.
void TestSpecimenFit::thick_data()
{
    QTest::addColumn<double>("thickness"); // Å
    QTest::addColumn<double>("defocus");   // Å
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("seed");
    QTest::addColumn<bool>("tilt");       // fitted too
    QTest::addColumn<bool>("mustReport"); // the band surely tells it
    QTest::newRow("150 nm at 1.5 um") << 1500.0 << 15000.0 << 1024 << 3 << false << true;
    QTest::newRow("400 nm at 1.2 um, two nodes, tilt fitted") << 4000.0 << 12000.0 << 1536 << 4 << true << false;
}

void TestSpecimenFit::thick()
{
    QFETCH(double, thickness);
    QFETCH(double, defocus);
    QFETCH(int, size);
    QFETCH(int, seed);
    QFETCH(bool, tilt);
    QFETCH(bool, mustReport);
    Specimen s;
    s.thicknessA = thickness;
    s.defocusA = defocus;
    const MicrographFit fit = fitMicrograph(specimenMicrograph(s, size, std::uint64_t(seed)), optionsFor(tilt, true),
                                            0.1);
    QVERIFY2(fit.result.values, qPrintable(fit.result.message));
    const CtfFitValues &v = *fit.result.values;
    QVERIFY2(!v.tilt || v.tilt->angle < 2,
             qPrintable(QStringLiteral("tilt %1 about %2").arg(v.tilt->angle).arg(v.tilt->axis)));
    if (!v.thickness) {
        QVERIFY2(!mustReport, qPrintable(fit.result.specimenNote));
        QVERIFY2(fit.result.specimenNote.contains(QStringLiteral("No thickness is reported")),
                 qPrintable(fit.result.specimenNote));
        return;
    }
    QVERIFY2(std::fabs(*v.thickness - thickness) < 0.15 * thickness, qPrintable(QString::number(*v.thickness)));
    const double mean = (v.cryoEm.defocusU + v.cryoEm.defocusV) / 2;
    QVERIFY2(std::fabs(mean - defocus) < 0.01 * defocus, qPrintable(QString::number(mean)));
}

// A flat, thin specimen: no tilt it cannot see, no thickness, and notes that say why.
void TestSpecimenFit::flat()
{
    const MicrographImage image = specimenMicrograph(Specimen{}, 1536, 5);
    const MicrographFit fit = fitMicrograph(image, optionsFor(true, true), 0.1);
    QVERIFY2(fit.result.values, qPrintable(fit.result.message));
    const CtfFitValues &v = *fit.result.values;
    QVERIFY2(!v.tilt || v.tilt->angle < 2, qPrintable(QString::number(v.tilt ? v.tilt->angle : 0)));
    QVERIFY(!v.thickness);
    QVERIFY2(fit.result.specimenNote.contains(QStringLiteral("thin for this band")),
             qPrintable(fit.result.specimenNote));
    const double mean = (v.cryoEm.defocusU + v.cryoEm.defocusV) / 2;
    QVERIFY2(std::fabs(mean - 15000) < 0.005 * 15000, qPrintable(QString::number(mean)));
    // Nothing to correct: the plain fit's spectrum and the resolution it holds to stand.
    const MicrographFit plain = fitMicrograph(image, optionsFor(false, false), 0.1);
    QCOMPARE(v.resolution, plain.result.values->resolution);
    QCOMPARE(fit.spectrum.size, plain.spectrum.size);
    QVERIFY(fit.spectrum.power == plain.spectrum.power);
    // A micrograph too small for a grid of regions: a statement, no tilt.
    const MicrographFit small = fitMicrograph(specimenMicrograph(Specimen{}, 600, 2), optionsFor(true, false), 0.1);
    QVERIFY(small.result.values && !small.result.values->tilt);
    QVERIFY2(small.result.specimenNote.contains(QStringLiteral("too small to measure one")),
             qPrintable(small.result.specimenNote));
}

// The help page's worked example of the tilt's convention and of a thin band, as the code computes them.
void TestSpecimenFit::helpExample()
{
    QFile page(QFINDTESTDATA("../../data/help/fitting.html"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QMap<QString, QString> marked;
    static const QRegularExpression span(QStringLiteral("<span class=\"fit\" id=\"([^\"]+)\">([^<]+)</span>"));
    for (auto m = span.globalMatch(html); m.hasNext();) {
        const auto match = m.next();
        marked.insert(match.captured(1), match.captured(2));
    }
    const auto number = [&marked](const char *id) { return marked.value(QString::fromLatin1(id)).toDouble(); };
    const auto same = [&marked](const char *id, double value) {
        const QString text = marked.value(QString::fromLatin1(id));
        const int point = text.indexOf(QLatin1Char('.'));
        const QString computed = QString::number(value, 'f', point < 0 ? 0 : int(text.size() - point - 1));
        QVERIFY2(text == computed,
                 qPrintable(
                     QStringLiteral("%1: the page says %2, the code %3").arg(QString::fromLatin1(id), text, computed)));
    };
    const SpecimenTilt tilt{number("tiltAngle"), number("tiltAxis")};
    const double x = number("tiltX"), y = number("tiltY");
    same("tiltDefocus", number("tiltD0") + tiltDefocusOffset(tilt, number("tiltPixel"), x, y));
    same("tiltOpposite", number("tiltD0") + tiltDefocusOffset(tilt, number("tiltPixel"), -x, -y));
    const CtfModel model(CtfUserValues{}); // 300 kV
    same("thinLimit", thinLimit(model.wavelength(), 1 / (number("thinBandTop") / 10)) * 10);
}

QTEST_GUILESS_MAIN(TestSpecimenFit)
#include "test_specimenfit.moc"
