#include "micrograph/powerspectrum.h"

#include "core/ctffunctions.h"
#include "core/orvaliserror.h"
#include "micrograph/fftplans.h"
#include "micrograph/spectrumcheck.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

namespace orvalis {

std::vector<float> edgeTaper(int n)
{
    const int edge = n / 8;
    std::vector<float> w(static_cast<std::size_t>(n), 1.0f);
    for (int i = 0; i < edge; ++i) {
        const auto v = static_cast<float>(0.5 * (1.0 - std::cos(Pi * (i + 0.5) / edge)));
        w[static_cast<std::size_t>(i)] = v;
        w[static_cast<std::size_t>(n - 1 - i)] = v;
    }
    return w;
}

namespace {

// Sums |F|^2 of the tiles it is given into `sum` (n x (n/2 + 1), the transform's half plane), with
// arrays of its own so that workers can run side by side.
class TileWorker {
public:
    // The tiles are transformed as (pixel - offset) * factor, with `factor` a power of two: an image
    // whose values lie near the ends of a float's range would otherwise square to infinity or to
    // zero. Both are floats for the images a spectrum is made of; for others the transform gives
    // infinities, and the spectrum is refused for them.
    TileWorker(const MicrographImage &image, int n, const std::vector<float> &taper, fftwf_plan plan, double offset,
               double factor)
        : m_image(image), m_n(n), m_taper(taper), m_plan(plan), m_offset(static_cast<float>(offset)),
          m_factor(static_cast<float>(factor)),
          m_input(fftwArray<float>(static_cast<std::size_t>(n) * static_cast<std::size_t>(n))),
          m_output(fftwArray<fftwf_complex>(static_cast<std::size_t>(n) * static_cast<std::size_t>(n / 2 + 1))),
          sum(static_cast<std::size_t>(n) * static_cast<std::size_t>(n / 2 + 1), 0.0)
    {
        if (!m_input || !m_output)
            throw std::bad_alloc();
    }

    void addTile(int x0, int y0)
    {
        const std::size_t n = static_cast<std::size_t>(m_n);
        const std::size_t width = static_cast<std::size_t>(m_image.width);
        const float offset = m_offset, factor = m_factor;
        // Sixteen partial sums a row, which the compiler may add in vectors (one running sum would
        // be a chain of dependent additions, and the slowest part of a tile after its transform).
        constexpr std::size_t lanes = 16;
        const std::size_t whole = n - n % lanes;
        double total = 0;
        for (std::size_t r = 0; r < n; ++r) {
            const float *row = m_image.data.data() + (static_cast<std::size_t>(y0) + r) * width + x0;
            float partial[lanes] = {};
            for (std::size_t c = 0; c < whole; c += lanes)
                for (std::size_t l = 0; l < lanes; ++l)
                    partial[l] += (row[c + l] - offset) * factor;
            for (std::size_t c = whole; c < n; ++c)
                partial[0] += (row[c] - offset) * factor;
            for (const float p : partial)
                total += p;
        }
        const auto mean = static_cast<float>(total / static_cast<double>(n * n));
        float *in = m_input.get();
        for (std::size_t r = 0; r < n; ++r) {
            const float *row = m_image.data.data() + (static_cast<std::size_t>(y0) + r) * width + x0;
            const float wy = m_taper[r];
            for (std::size_t c = 0; c < n; ++c)
                in[r * n + c] = ((row[c] - offset) * factor - mean) * (wy * m_taper[c]);
        }
        fftwf_execute_dft_r2c(m_plan, in, m_output.get());
        const fftwf_complex *out = m_output.get();
        const std::size_t count = sum.size();
        for (std::size_t i = 0; i < count; ++i)
            sum[i] += static_cast<double>(out[i][0] * out[i][0] + out[i][1] * out[i][1]);
    }

private:
    const MicrographImage &m_image;
    int m_n;
    const std::vector<float> &m_taper;
    fftwf_plan m_plan;
    float m_offset, m_factor;
    FftwArray<float> m_input;
    FftwArray<fftwf_complex> m_output;

public:
    std::vector<double> sum;
};

// Below this standard deviation of the pixels, the powers (its square and less) come close to the
// smallest floats, whose precision fades out.
constexpr double kSmallestDeviation = 1e-15;

struct ImageSpread {
    double mean = 0, deviation = 0;
};

// In double, where no float's square overflows or vanishes; the pixels taken less the first, so
// that a large mean costs the deviation no digits, and summed in lanes the compiler may vectorise.
ImageSpread spreadOf(const MicrographImage &image)
{
    ImageSpread s;
    const std::size_t count = image.data.size();
    if (count == 0)
        return s;
    const float *v = image.data.data();
    const double shift = v[0];
    constexpr std::size_t lanes = 8;
    double sums[lanes] = {}, squares[lanes] = {};
    const std::size_t whole = count - count % lanes;
    for (std::size_t i = 0; i < whole; i += lanes)
        for (std::size_t l = 0; l < lanes; ++l) {
            const double d = static_cast<double>(v[i + l]) - shift;
            sums[l] += d;
            squares[l] += d * d;
        }
    for (std::size_t i = whole; i < count; ++i) {
        const double d = static_cast<double>(v[i]) - shift;
        sums[0] += d;
        squares[0] += d * d;
    }
    double sum = 0, square = 0;
    for (std::size_t l = 0; l < lanes; ++l) {
        sum += sums[l];
        square += squares[l];
    }
    const double n = static_cast<double>(count);
    const double mean = sum / n;
    s.mean = shift + mean;
    s.deviation = std::sqrt(std::max(0.0, square / n - mean * mean));
    return s;
}

} // namespace

void checkTiles(const MicrographImage &image, int tileSize)
{
    if (tileSize < kMinTileSize || tileSize > kMaxTileSize || tileSize % 2 != 0)
        throw OrvalisError(QStringLiteral("The tile size must be an even number of pixels from %1 to %2, not %3.")
                               .arg(kMinTileSize)
                               .arg(kMaxTileSize)
                               .arg(tileSize));
    if (image.width < tileSize || image.height < tileSize)
        throw OrvalisError(QStringLiteral("The micrograph has %1 x %2 pixels, fewer than one tile of %3 x %3 pixels; "
                                          "%4.")
                               .arg(image.width)
                               .arg(image.height)
                               .arg(tileSize)
                               .arg(tileSize > kMinTileSize
                                        ? QStringLiteral("choose a smaller tile")
                                        : QStringLiteral("it is too small for a spectrum, whose smallest tile is "
                                                         "%1 x %1 pixels")
                                              .arg(kMinTileSize)));
}

namespace {

void checkOptions(const MicrographImage &image, const SpectrumOptions &o)
{
    checkTiles(image, o.tileSize);
    if (o.tileStep < 0 || o.tileStep > o.tileSize)
        throw OrvalisError(QStringLiteral("The tiles' step must be from 1 pixel to the tile size of %1 pixels, not %2.")
                               .arg(o.tileSize)
                               .arg(o.tileStep));
    if (!(o.pixelSizeNm > 0) || !std::isfinite(o.pixelSizeNm))
        throw OrvalisError(QStringLiteral("The spectrum needs the pixel size of the micrograph at the specimen; %1 nm "
                                          "is none.")
                               .arg(o.pixelSizeNm));
    if (!(o.backgroundFrequency > 0) || !std::isfinite(o.backgroundFrequency))
        throw OrvalisError(
            QStringLiteral("The background frequency must be above 0 nm^-1, not %1.").arg(o.backgroundFrequency));
}

// Box sums of `values` (n x n) along rows (`alongRows`) or columns, wrapping around: the spectrum is
// periodic, the Nyquist frequency one pixel beyond the last. The columns are swept a row at a time,
// with one running window per column, so that the memory is read in its order.
std::vector<double> wrappedBoxSum(const std::vector<double> &values, int n, int half, bool alongRows)
{
    std::vector<double> out(values.size());
    const std::size_t un = static_cast<std::size_t>(n);
    if (!alongRows) {
        std::vector<double> window(un, 0.0);
        for (int d = -half; d <= half; ++d) {
            const double *row = values.data() + static_cast<std::size_t>((d + n) % n) * un;
            for (std::size_t k = 0; k < un; ++k)
                window[k] += row[k];
        }
        for (std::size_t i = 0; i < un; ++i) {
            const double *leaving = values.data() + ((i + un - static_cast<std::size_t>(half)) % un) * un;
            const double *entering = values.data() + ((i + static_cast<std::size_t>(half) + 1) % un) * un;
            double *line = out.data() + i * un;
            for (std::size_t k = 0; k < un; ++k) {
                line[k] = window[k];
                window[k] += entering[k] - leaving[k];
            }
        }
        return out;
    }
    for (std::size_t k = 0; k < un; ++k) {
        const double *line = values.data() + k * un;
        double *sums = out.data() + k * un;
        double window = 0;
        for (int d = -half; d <= half; ++d)
            window += line[static_cast<std::size_t>((d + n) % n)];
        const std::size_t h = static_cast<std::size_t>(half); // below n / 2: one wrap at most
        for (std::size_t i = 0; i < un; ++i) {
            sums[i] = window;
            const std::size_t leaving = i >= h ? i - h : i + un - h;
            const std::size_t entering = i + h + 1 < un ? i + h + 1 : i + h + 1 - un;
            window += line[entering] - line[leaving];
        }
    }
    return out;
}

} // namespace

std::vector<int> tileOrigins(int length, int n, int step)
{
    const int count = (length - n) / step + 1;
    const int margin = (length - n - (count - 1) * step) / 2;
    std::vector<int> origins(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        origins[static_cast<std::size_t>(i)] = margin + i * step;
    return origins;
}

std::vector<double> boxBackground(const std::vector<double> &amplitude, int n, double frequencyStep,
                                  double backgroundFrequency)
{
    const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    const int centre = n / 2;
    const double innerRadius = backgroundFrequency / frequencyStep; // pixels
    // An odd box, at least 5 and at most half the spectrum wide.
    int box = static_cast<int>(std::lround(std::sqrt(2.0) * innerRadius));
    box = std::clamp(box | 1, 5, (n / 2) | 1);
    const int half = box / 2;

    // The central cross is left out. Its mask is a product of one along the rows and one along the
    // columns, so its box sums are the products of their box counts: whole numbers, exactly what
    // summing the mask itself gives.
    std::vector<double> outside(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        outside[std::size_t(i)] = std::abs(i - centre) <= 1 ? 0.0 : 1.0;
    std::vector<double> counted(static_cast<std::size_t>(n), 0.0);
    for (int i = 0; i < n; ++i)
        for (int d = -half; d <= half; ++d)
            counted[std::size_t(i)] += outside[static_cast<std::size_t>(((i + d) % n + n) % n)];
    std::vector<double> weighted(count);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * n + i;
            weighted[k] = amplitude[k] * (outside[std::size_t(j)] * outside[std::size_t(i)]);
        }
    std::vector<double> background = wrappedBoxSum(wrappedBoxSum(weighted, n, half, true), n, half, false);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::size_t k = static_cast<std::size_t>(j) * n + i;
            const double norm = counted[std::size_t(j)] * counted[std::size_t(i)];
            background[k] = norm > 0.5 ? background[k] / norm : amplitude[k];
        }
    return background;
}

std::vector<float> subtractBackground(const std::vector<float> &power, int n, double frequencyStep,
                                      double backgroundFrequency)
{
    const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    const int centre = n / 2;
    const double innerRadius = backgroundFrequency / frequencyStep; // pixels
    std::vector<double> amplitude(count);
    for (std::size_t k = 0; k < count; ++k)
        amplitude[k] = std::sqrt(std::max(0.0f, power[k]));
    const std::vector<double> background = boxBackground(amplitude, n, frequencyStep, backgroundFrequency);

    std::vector<float> rings(count, 0.0f);
    const double inner2 = innerRadius * innerRadius;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double r2 = double(i - centre) * (i - centre) + double(j - centre) * (j - centre);
            if (r2 <= inner2)
                continue;
            const std::size_t k = static_cast<std::size_t>(j) * n + i;
            rings[k] = static_cast<float>(amplitude[k] - background[k]);
        }
    return rings;
}

PowerSpectrum computePowerSpectrum(const MicrographImage &image, const SpectrumOptions &options,
                                   const ProgressCallback &progress)
{
    checkOptions(image, options);
    checkNotPowerSpectrum(image);
    const int n = options.tileSize;
    const std::vector<float> taper = edgeTaper(n);
    const int step = options.tileStep > 0 ? options.tileStep : n / 2;
    const std::vector<int> xs = tileOrigins(image.width, n, step);
    const std::vector<int> ys = tileOrigins(image.height, n, step);
    const int tileCount = static_cast<int>(xs.size() * ys.size());
    const int threadCount = std::clamp(options.threads, 1, std::min(16, tileCount));
    const ImageSpread spread = spreadOf(image);
    if (!std::isfinite(spread.deviation))
        throw OrvalisError(QStringLiteral("The micrograph's pixel values are not all finite numbers, or spread "
                                          "beyond what a computer's numbers hold."));
    // A power of two, so that scaling the sums back is exact.
    const int exponent = spread.deviation > 0 ? std::ilogb(spread.deviation) : 0;
    if (spread.deviation > 0 && spread.deviation < kSmallestDeviation)
        throw OrvalisError(QStringLiteral("The micrograph's pixel values vary too little for a spectrum: their "
                                          "standard deviation is %1, below %2, and their powers would fall below "
                                          "the smallest numbers a spectrum holds.")
                               .arg(spread.deviation, 0, 'g', 3)
                               .arg(kSmallestDeviation, 0, 'g', 3));
    // FFTW's estimated plan: measuring one costs a tenth of a second in every process (its time
    // limit) for transforms of these sizes that run no faster (measured within a few percent at
    // 512 and 1024), and a fit of one file then pays it twice over.
    const fftwf_plan plan = realToComplexPlan(n, n, PlanEffort::Estimate);

    std::vector<TileWorker> workers;
    workers.reserve(static_cast<std::size_t>(threadCount));
    for (int t = 0; t < threadCount; ++t)
        workers.emplace_back(image, n, taper, plan, spread.mean, std::ldexp(1.0, -exponent));

    // Worker t takes the tiles t, t + threads, ...; this thread is worker 0 and reports progress.
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    std::vector<std::exception_ptr> failures(static_cast<std::size_t>(threadCount));
    const auto work = [&](int t) {
        try {
            for (int tile = t; tile < tileCount && !stop.load(std::memory_order_relaxed); tile += threadCount) {
                workers[static_cast<std::size_t>(t)].addTile(xs[static_cast<std::size_t>(tile) % xs.size()],
                                                             ys[static_cast<std::size_t>(tile) / xs.size()]);
                done.fetch_add(1, std::memory_order_relaxed);
                if (t == 0 && progress && !progress(0.95 * done.load(std::memory_order_relaxed) / tileCount))
                    stop = true;
            }
        } catch (...) {
            failures[static_cast<std::size_t>(t)] = std::current_exception();
            stop = true;
        }
    };
    {
        std::vector<std::thread> threads;
        for (int t = 1; t < threadCount; ++t)
            threads.emplace_back(work, t);
        work(0);
        for (std::thread &thread : threads)
            thread.join();
    }
    for (const std::exception_ptr &failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    if (stop)
        throw Cancelled();

    // Summed in worker order, so a given number of threads always gives the same values.
    std::vector<double> &sum = workers[0].sum;
    for (std::size_t t = 1; t < workers.size(); ++t)
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] += workers[t].sum[i];

    // Normalised so that white noise of variance s^2 gives s^2: the periodogram of a tile sums
    // s^2 times the taper's energy.
    double taperEnergy = 0;
    for (const float w : taper)
        taperEnergy += static_cast<double>(w) * w;
    const double scale = std::ldexp(1.0, 2 * exponent) / (static_cast<double>(tileCount) * taperEnergy * taperEnergy);
    const double largest = *std::max_element(sum.begin(), sum.end()) * scale;
    if (!(largest <= std::numeric_limits<float>::max()))
        throw OrvalisError(QStringLiteral("The micrograph's pixel values vary too much for a spectrum: their "
                                          "standard deviation is %1, and their powers would reach %2, beyond %3, the "
                                          "largest number a spectrum holds.")
                               .arg(spread.deviation, 0, 'g', 3)
                               .arg(largest, 0, 'g', 3)
                               .arg(double(std::numeric_limits<float>::max()), 0, 'g', 3));

    PowerSpectrum s;
    s.size = n;
    s.tiles = tileCount;
    s.frequencyStep = 1.0 / (n * options.pixelSizeNm);
    s.power.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    const int centre = n / 2;
    const std::size_t halfWidth = static_cast<std::size_t>(n / 2 + 1);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            // The transform holds kx >= 0; the other half is its mirror through the centre.
            int fx = i - centre, fy = j - centre;
            if (fx < 0) {
                fx = -fx;
                fy = -fy;
            }
            const std::size_t row = static_cast<std::size_t>((fy + n) % n);
            s.power[s.index(i, j)] = static_cast<float>(sum[row * halfWidth + static_cast<std::size_t>(fx)] * scale);
        }
    reportProgress(progress, 0.97);
    s.rings = subtractBackground(s.power, n, s.frequencyStep, options.backgroundFrequency);
    reportProgress(progress, 1.0);
    return s;
}

} // namespace orvalis
