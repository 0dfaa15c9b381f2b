#include "syntheticseries.h"

#include "core/orvaliserror.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace orvalis {

SeriesTruth seriesTruth(const SeriesPlan &plan)
{
    SeriesTruth t;
    for (double a = plan.from; a <= plan.to + 1e-9; a += plan.step)
        t.angles.push_back(a);
    // The order of acquisition: 0 first, then +-step, +-2 step, ... in pairs of alternating sides.
    std::vector<int> order(t.angles.size());
    std::vector<std::size_t> byAngle(t.angles.size());
    for (std::size_t i = 0; i < byAngle.size(); ++i)
        byAngle[i] = i;
    std::stable_sort(byAngle.begin(), byAngle.end(),
                     [&](std::size_t a, std::size_t b) { return std::fabs(t.angles[a]) < std::fabs(t.angles[b]); });
    for (std::size_t k = 0; k < byAngle.size(); ++k)
        order[byAngle[k]] = static_cast<int>(k);
    std::mt19937_64 random(plan.seed * 7919 + 17);
    std::normal_distribution<double> scatter(0.0, 250.0);
    for (std::size_t i = 0; i < t.angles.size(); ++i) {
        // A drift of 1500 Å over the series and the autofocus' scatter.
        const double drift = 1500.0 * order[i] / std::max<std::size_t>(1, t.angles.size() - 1);
        t.defocus.push_back(plan.defocus + drift + scatter(random));
    }
    return t;
}

MicrographImage seriesTilt(const SeriesPlan &plan, const SeriesTruth &truth, int index)
{
    const double d = truth.defocus[std::size_t(index)], angle = truth.angles[std::size_t(index)];
    const FitCase c{"series",
                    plan.voltage,
                    2.7,
                    0.07,
                    plan.pixel,
                    d + plan.astigmatism / 2,
                    d - plan.astigmatism / 2,
                    plan.astigmatismAngle,
                    std::numeric_limits<double>::quiet_NaN()};
    CameraSpecimen specimen;
    specimen.tiltAngle = std::fabs(angle);
    specimen.tiltAxis = angle >= 0 ? plan.axis : plan.axis + 180;
    CameraOptions o;
    o.size = plan.size;
    o.dose = plan.dose;
    o.seed = plan.seed * 1000 + std::uint64_t(index) + 1;
    return cameraMicrograph(c, specimen, o);
}

std::vector<MicrographImage> seriesTilts(const SeriesPlan &plan, const SeriesTruth &truth)
{
    std::vector<MicrographImage> images;
    for (std::size_t i = 0; i < truth.angles.size(); ++i)
        images.push_back(seriesTilt(plan, truth, static_cast<int>(i)));
    return images;
}

ImageFrames::ImageFrames(QString name, std::vector<MicrographImage> images)
    : FrameReader(std::move(name), images.empty() ? 0 : images.front().width,
                  images.empty() ? 0 : images.front().height, static_cast<int>(images.size()),
                  images.empty() ? 0.0 : images.front().pixelSizeNm),
      m_images(std::move(images))
{
}

void ImageFrames::addFrame(int index, float *sum)
{
    if (index < 0 || index >= frames())
        throw OrvalisError(QStringLiteral("%1: no frame %2").arg(name()).arg(index));
    const std::vector<float> &data = m_images[std::size_t(index)].data;
    for (std::size_t i = 0; i < data.size(); ++i)
        sum[i] += data[i];
}

} // namespace orvalis
