// The camera-like generator the fit's benchmarks judge by: its tilt follows the stated convention
// (checked through the plain fit of each half of a tilted micrograph, which sees the mean defocus of
// that half), and its counts are the dose's.
#include "cameramicrograph.h"
#include "ctffitcase.h"

#include "micrograph/micrographpipeline.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace orvalis;

namespace {

MicrographImage crop(const MicrographImage &image, int x0, int y0, int width, int height)
{
    MicrographImage out;
    out.width = width;
    out.height = height;
    out.pixelSizeNm = image.pixelSizeNm;
    out.data.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            out.data[static_cast<std::size_t>(r) * width + c] =
                image.data[static_cast<std::size_t>(r + y0) * image.width + c + x0];
    return out;
}

} // namespace

class TestCameraMicrograph : public QObject {
    Q_OBJECT

private slots:
    void tiltFollowsConvention_data();
    void tiltFollowsConvention();
    void countsTheDose();
};

void TestCameraMicrograph::tiltFollowsConvention_data()
{
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("axis");
    QTest::newRow("axis along x: the lower rows further from focus") << 30.0 << 0.0;
    QTest::newRow("axis along y: the left columns further from focus") << 30.0 << 90.0;
    QTest::newRow("axis at 210 degrees") << 30.0 << 210.0;
}

// D(x, y) = D0 + tan(theta) p (y cos(phi) - x sin(phi)): the halves' centres lie n/4 from the image's
// centre, so the lower half's mean defocus exceeds the upper's by tan(theta) p (n/2) cos(phi) and the
// right half's the left's by -tan(theta) p (n/2) sin(phi).
void TestCameraMicrograph::tiltFollowsConvention()
{
    QFETCH(double, angle);
    QFETCH(double, axis);
    const FitCase c = {"tilted", 300, 2.7, 0.07, 1.0, 20000, 20000, 0, std::numeric_limits<double>::quiet_NaN()};
    CameraOptions o;
    o.size = 2048;
    const MicrographImage image = cameraMicrograph(c, {angle, axis, 0}, o);
    CtfFitOptions options = fitCaseOptions(c);
    options.defocusFrom = -2600;
    options.defocusTo = -1400;
    const auto meanDefocus = [&options](const MicrographImage &half) {
        const CtfFitResult r = fitMicrographCtf(half, options);
        return r.values ? (r.values->cryoEm.defocusU + r.values->cryoEm.defocusV) / 2 : 0.0;
    };
    const int n = o.size;
    const double slope = std::tan(angle * M_PI / 180) * c.pixel * n / 2;
    const double rows = meanDefocus(crop(image, 0, n / 2, n, n / 2)) - meanDefocus(crop(image, 0, 0, n, n / 2));
    const double columns = meanDefocus(crop(image, n / 2, 0, n / 2, n)) - meanDefocus(crop(image, 0, 0, n / 2, n));
    const double wantRows = slope * std::cos(axis * M_PI / 180), wantColumns = -slope * std::sin(axis * M_PI / 180);
    const QString text = QStringLiteral("lower - upper %1 A (want %2), right - left %3 A (want %4)")
                             .arg(rows, 0, 'f', 0)
                             .arg(wantRows, 0, 'f', 0)
                             .arg(columns, 0, 'f', 0)
                             .arg(wantColumns, 0, 'f', 0);
    // Each half's fit is good to a few tens of ångströms; the gradient spans 590 Å.
    QVERIFY2(std::fabs(rows - wantRows) <= 60 && std::fabs(columns - wantColumns) <= 60, qPrintable(text));
}

// Poisson counts at the dose: their mean is the dose per pixel, and their variance at least that
// (the image's contrast adds to the counting noise), with the MTF off.
void TestCameraMicrograph::countsTheDose()
{
    const FitCase c = {"flat", 300, 2.7, 0.07, 1.2, 15000, 15000, 0, std::numeric_limits<double>::quiet_NaN()};
    CameraOptions o;
    o.size = 512;
    o.mtf = false;
    const MicrographImage image = cameraMicrograph(c, {}, o);
    double sum = 0, squares = 0;
    bool whole = true;
    for (const float v : image.data) {
        sum += v;
        squares += double(v) * v;
        whole = whole && v >= 0 && v == std::round(v);
    }
    const double count = double(image.data.size()), mean = sum / count, variance = squares / count - mean * mean;
    const double perPixel = o.dose * c.pixel * c.pixel;
    QVERIFY(whole);
    QVERIFY2(std::fabs(mean - perPixel) <= 0.01 * perPixel, qPrintable(QString::number(mean)));
    QVERIFY2(variance >= perPixel && variance <= 3 * perPixel, qPrintable(QString::number(variance)));
}

QTEST_GUILESS_MAIN(TestCameraMicrograph)
#include "test_cameramicrograph.moc"
