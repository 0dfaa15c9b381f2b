#include "chart/chartticker.h"

#include "core/numberformat.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace orvalis {

namespace {

// Steps whose ticks would stand closer than this are never worth measuring.
constexpr double kMinStepPixels = 2.0;

// A tick computed as i * step misses a range end by rounding noise (100 * 0.1 > 10); ticks this
// close to an end, relative to the step, count as lying on it.
constexpr double kEndTolerance = 1e-6;

// Beyond this many ticks the range or step is nonsense (NaN data, a zero-width axis).
constexpr double kMaxTicks = 100000;

} // namespace

ChartTicker::ChartTicker(QCPAxis *axis) : m_axis(axis) {}

void ChartTicker::setIncrement(double increment)
{
    m_increment = (increment > 0 && std::isfinite(increment)) ? increment : 0;
}

void ChartTicker::setDecimals(int decimals)
{
    m_decimals = std::clamp(decimals, 0, 15);
}

void ChartTicker::setSeparation(int percent)
{
    m_separation = std::max(percent, 0);
}

void ChartTicker::setTextHook(TextHook hook)
{
    m_hook = std::move(hook);
    invalidate();
}

void ChartTicker::shareWith(const QSharedPointer<ChartTicker> &other)
{
    if (other && other.data() != this)
        m_partners.append(other);
}

ChartTicker::Settings ChartTicker::settings() const
{
    return Settings{m_axis->tickLabelFont(), m_increment, m_decimals, m_separation, m_generation};
}

QVector<ChartTicker::Settings> ChartTicker::partnerSettings() const
{
    QVector<Settings> all;
    for (const auto &weak : m_partners)
        if (const auto partner = weak.toStrongRef())
            all.append(partner->settings());
    return all;
}

int ChartTicker::currentLength() const
{
    const bool horizontal = m_axis->orientation() == Qt::Horizontal;
    const QCPAxisRect *rect = m_axis->axisRect();
    int length = horizontal ? rect->width() : rect->height();
    if (length <= 0) { // not laid out yet: the whole plot is the best guess
        const QRect viewport = m_axis->parentPlot()->viewport();
        length = horizontal ? viewport.width() : viewport.height();
    }
    return std::max(length, 1);
}

QString ChartTicker::defaultText(double value, int decimals)
{
    QString text = formatFixed(value, decimals);
    if (text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('E'))) {
        int end = text.size();
        while (text.at(end - 1) == QLatin1Char('0'))
            --end;
        if (text.at(end - 1) == QLatin1Char('.'))
            --end;
        text.truncate(end);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QString ChartTicker::labelText(double tick) const
{
    QString text = defaultText(tick, m_decimals);
    if (m_hook)
        m_hook(text);
    return text;
}

QString ChartTicker::getTickLabel(double tick, const QLocale &, QChar, int)
{
    return labelText(tick);
}

QVector<double> ChartTicker::ticksFor(double step, const QCPRange &range) const
{
    QVector<double> ticks;
    if (!(step > 0) || !std::isfinite(range.lower) || !std::isfinite(range.upper))
        return ticks;
    const double first = std::ceil(range.lower / step - kEndTolerance);
    const double last = std::floor(range.upper / step + kEndTolerance);
    if (!(last >= first) || last - first > kMaxTicks)
        return ticks;
    const double tolerance = step * kEndTolerance;
    ticks.reserve(static_cast<int>(last - first) + 1);
    for (double i = first; i <= last; i += 1) {
        double tick = i * step;
        if (std::fabs(tick - range.lower) < tolerance)
            tick = range.lower;
        else if (std::fabs(tick - range.upper) < tolerance)
            tick = range.upper;
        ticks.append(tick);
    }
    return ticks;
}

bool ChartTicker::labelsFit(double step, const QCPRange &range, int length) const
{
    const QVector<double> ticks = ticksFor(step, range);
    if (ticks.size() < 2)
        return true;
    const double stepPixels = step / range.size() * length;
    const double spread = 1.0 + m_separation / 100.0;
    const bool horizontal = m_axis->orientation() == Qt::Horizontal;
    // The same measure the axis uses when it lays out its labels, so multi-line texts count in full.
    const QFontMetrics metrics(m_axis->tickLabelFont());
    int previous = -1;
    for (double tick : ticks) {
        const QRect bounds = metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip | Qt::AlignHCenter, labelText(tick));
        const int extent = horizontal ? bounds.width() : bounds.height();
        if (previous >= 0 && (previous + extent) / 2.0 * spread > stepPixels)
            return false;
        previous = extent;
    }
    return true;
}

double ChartTicker::chooseStep(const QCPRange &range, int length) const
{
    const double span = range.size();
    const double fallback = m_increment > 0 ? m_increment : 1.0;
    if (!(span > 0) || !std::isfinite(span))
        return fallback;
    const double unit = m_increment > 0 ? m_increment : std::pow(10.0, std::floor(std::log10(span / length)));
    static constexpr double kFactors[] = {1, 2, 5};
    double decade = 1;
    for (int round = 0; round < 40; ++round, decade *= 10) {
        for (double factor : kFactors) {
            const double step = unit * factor * decade;
            if (step / span * length < kMinStepPixels)
                continue;
            if (step >= span || labelsFit(step, range, length))
                return step;
        }
    }
    return fallback;
}

double ChartTicker::sharedStep(const QCPRange &range, int length) const
{
    double step = chooseStep(range, length);
    for (const auto &weak : m_partners)
        if (const auto partner = weak.toStrongRef())
            step = std::max(step, partner->chooseStep(range, length));
    return step;
}

void ChartTicker::generate(const QCPRange &range, const QLocale &, QChar, int, QVector<double> &ticks,
                           QVector<double> *subTicks, QVector<QString> *tickLabels)
{
    const int length = currentLength();
    const Settings own = settings();
    const QVector<Settings> partners = partnerSettings();
    const bool cached = m_cache.length == length && m_cache.lower == range.lower && m_cache.upper == range.upper
        && m_cache.own == own && m_cache.partners == partners;
    if (!cached) {
        const double step = sharedStep(range, length);
        QVector<double> stepTicks = ticksFor(step, range);
        QVector<QString> labels;
        labels.reserve(stepTicks.size());
        for (double tick : stepTicks)
            labels.append(labelText(tick));
        m_cache = StepCache{range.lower, range.upper,          length,           own, partners,
                            step,        std::move(stepTicks), std::move(labels)};
    }
    ticks = m_cache.ticks;
    if (subTicks)
        *subTicks = createSubTickVector(getSubTickCount(m_cache.step), ticks);
    if (tickLabels)
        *tickLabels = m_cache.labels;
}

} // namespace orvalis
