// The local defocus: a micrograph whose defocus follows a known plane gives patches that follow it
// (sign and axis included) and a least-squares plane near the known tilt; one too small for a grid
// of patches is refused with the sizes it needs.
#include "ctffitcase.h"

#include "core/orvaliserror.h"
#include "core/units.h"
#include "micrograph/ctfmodel.h"
#include "micrograph/micrographpipeline.h"
#include "micrograph/patchfit.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace orvalis;

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();

// A tilted specimen as the field's simulations make one: the same object and noise imaged at defocus
// planes `spacing` Å apart, each pixel blended linearly from the two planes about its own defocus.
MicrographImage tiltedImage(const FitCase &flat, const SpecimenTilt &tilt, int size, double spacing, int planes)
{
    std::vector<MicrographImage> images;
    for (int k = -planes; k <= planes; ++k) {
        FitCase c = flat;
        c.defocusU += k * spacing;
        c.defocusV += k * spacing;
        FitImageOptions o;
        o.size = size;
        o.seed = 7;
        images.push_back(fitCaseImage(c, o));
    }
    MicrographImage blended = images.front();
    const double centre = 0.5 * (size - 1);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double at = tiltDefocusOffset(tilt, flat.pixel, x - centre, y - centre) / spacing + planes;
            const double f = std::clamp(at, 0.0, 2.0 * planes);
            const int below = std::min(static_cast<int>(f), 2 * planes - 1);
            const double w = f - below;
            const std::size_t i = static_cast<std::size_t>(y) * size + x;
            blended.data[i] = static_cast<float>((1 - w) * images[below].data[i] + w * images[below + 1].data[i]);
        }
    return blended;
}

} // namespace

class TestPatchFit : public QObject {
    Q_OBJECT
private slots:
    void planeConvention_data();
    void planeConvention();
    void patchesFollowAKnownTilt();
    void tooSmallForPatches();
};

void TestPatchFit::planeConvention_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("axis");
    QTest::newRow("axis along +x: further down the rows") << 20.0 << 0.0;
    QTest::newRow("axis along +y: further to the left") << 35.0 << 90.0;
    QTest::newRow("axis at 150 degrees") << 10.0 << 150.0;
    QTest::newRow("axis at -60 degrees") << 50.0 << -60.0;
}

// The plane through exact patches gives back the tilt they were made with, in tiltDefocusOffset's
// convention; a flat specimen gives no tilt; a line of patches, or two, gives no plane.
void TestPatchFit::planeConvention()
{
    QFETCH(double, angle);
    QFETCH(double, axis);
    const SpecimenTilt tilt{angle, axis};
    const int width = 3000, height = 2000;
    const double pixelA = 1.5;
    std::vector<DefocusPatch> patches;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 4; ++column) {
            DefocusPatch p;
            p.x = 300 + 700.0 * column;
            p.y = 250 + 650.0 * row;
            CtfFitValues v;
            const double d = 15000 + tiltDefocusOffset(tilt, pixelA, p.x - 0.5 * (width - 1), p.y - 0.5 * (height - 1));
            v.cryoEm = {d + 200, d - 200, 45};
            if (!(row == 1 && column == 2)) // one not significant: left out
                p.values = v;
            else
                p.score = 0.01;
            patches.push_back(p);
        }
    const std::optional<DefocusPlane> plane = leastSquaresPlane(patches, width, height, angstromToNm(pixelA));
    QVERIFY(plane);
    QCOMPARE(plane->patches, 11);
    QVERIFY2(std::fabs(plane->tilt.angle - angle) < 1e-6, qPrintable(QString::number(plane->tilt.angle)));
    const double turn = std::fmod(std::fabs(plane->tilt.axis - axis), 360.0);
    QVERIFY2(std::min(turn, 360 - turn) < 1e-6, qPrintable(QString::number(plane->tilt.axis)));
    QVERIFY(std::fabs(plane->centreDefocus - 15000) < 1e-6);
    QVERIFY(plane->rms < 1e-6);

    for (DefocusPatch &p : patches)
        if (p.values)
            p.values->cryoEm = {15200, 14800, 45};
    QCOMPARE(leastSquaresPlane(patches, width, height, angstromToNm(pixelA))->tilt.angle, 0.0);
    std::vector<DefocusPatch> line(patches.begin(), patches.begin() + 4);
    QVERIFY(!leastSquaresPlane(line, width, height, angstromToNm(pixelA)));
    std::vector<DefocusPatch> two(patches.begin(), patches.begin() + 2);
    two.push_back(patches[4]);
    two[1].values.reset();
    QVERIFY(!leastSquaresPlane(two, width, height, angstromToNm(pixelA)));
}

void TestPatchFit::patchesFollowAKnownTilt()
{
    // 15 degrees about an axis at 30 degrees: both the rows and the columns carry a gradient, of
    // opposite signs, so a swapped axis or sign shows.
    const FitCase flat{"tilted", 300, 2.7, 0.07, 1.0, 20300, 19700, 30, None};
    const SpecimenTilt truth{15, 30};
    const int size = 2048;
    const MicrographImage image = tiltedImage(flat, truth, size, 200, 2);
    const CtfFitOptions options = fitCaseOptions(flat);
    const CtfFitResult global = fitMicrograph(image, options).result;
    QVERIFY2(global.values, qPrintable(global.message));

    LocalDefocusOptions lo;
    lo.threads = 2;
    lo.keepSpectra = true;
    const LocalDefocus local = fitLocalDefocus(image, options, *global.values, 0, lo);
    QCOMPARE(local.patchSize, 1024);
    QCOMPARE(local.columns, 2);
    QCOMPARE(local.rows, 2);
    QCOMPARE(local.at(1, 0).x, 1535.5);
    QCOMPARE(local.at(1, 0).y, 511.5);
    QCOMPARE(local.significantCount(), 4);
    const double centre = 0.5 * (size - 1), mean = 0.5 * (flat.defocusU + flat.defocusV);
    for (const DefocusPatch &p : local.patches) {
        QVERIFY(p.spectrum.has_value());
        const double expected = mean + tiltDefocusOffset(truth, flat.pixel, p.x - centre, p.y - centre);
        QVERIFY2(std::fabs(p.meanDefocus() - expected) < 100,
                 qPrintable(QStringLiteral("patch at %1, %2: %3 Å, expected %4 Å")
                                .arg(p.x)
                                .arg(p.y)
                                .arg(p.meanDefocus())
                                .arg(expected)));
        QVERIFY(std::fabs(p.values->cryoEm.defocusU - p.values->cryoEm.defocusV - 600) < 150);
    }
    // Down the rows the defocus grows (cos 30 > 0), along them it falls (sin 30 > 0).
    QVERIFY(local.at(0, 1).meanDefocus() > local.at(0, 0).meanDefocus());
    QVERIFY(local.at(1, 0).meanDefocus() < local.at(0, 0).meanDefocus());

    QVERIFY(local.plane);
    QCOMPARE(local.plane->patches, 4);
    QVERIFY2(std::fabs(local.plane->tilt.angle - truth.angle) < 3,
             qPrintable(QString::number(local.plane->tilt.angle)));
    QVERIFY2(std::fabs(local.plane->tilt.axis - truth.axis) < 10, qPrintable(QString::number(local.plane->tilt.axis)));
    QVERIFY(std::fabs(local.plane->centreDefocus - mean) < 50);

    // Cancel stops it with nothing kept.
    QVERIFY_THROWS_EXCEPTION(Cancelled,
                             fitLocalDefocus(image, options, *global.values, 0, {}, [](double) { return false; }));
}

void TestPatchFit::tooSmallForPatches()
{
    const FitCase flat{"small", 300, 2.7, 0.07, 1.0, 20000, 20000, 0, None};
    FitImageOptions o;
    o.size = 1536;
    const MicrographImage image = fitCaseImage(flat, o);
    const CtfFitOptions options = fitCaseOptions(flat);
    const CtfFitResult global = fitMicrograph(image, options).result;
    QVERIFY(global.values);
    try {
        (void)fitLocalDefocus(image, options, *global.values, 0);
        QFAIL("a micrograph of 1536 pixels gave patches");
    } catch (const OrvalisError &e) {
        QCOMPARE(e.text(),
                 QStringLiteral("The micrograph, 1536 x 1536 pixels, is too small for its local defocus: "
                                "patches of 1024 pixels (twice the spectrum's tile of 512) need at least "
                                "2048 x 2048 pixels for 2 x 2 of them."));
    }
}

QTEST_GUILESS_MAIN(TestPatchFit)
#include "test_patchfit.moc"
