#pragma once
// Tick positions and tick texts of one axis of a ChartWidget.
#include <qcustomplot.h>

#include <QFont>
#include <QSharedPointer>
#include <QString>
#include <QVector>
#include <QWeakPointer>
#include <functional>

namespace orvalis {

// Ticks sit at multiples of a fixed increment (or of a 1-2-5 step when no increment is set) and are
// thinned, by whole 1-2-5 multiples, until neighbouring labels no longer crowd each other at the
// axis' current pixel length. Every text passes through the owner's hook before it is drawn, so what
// the hook leaves is exactly what the axis shows and what the thinning measured.
class ChartTicker : public QCPAxisTicker {
public:
    using TextHook = std::function<void(QString &text)>;

    explicit ChartTicker(QCPAxis *axis);

    // 0 = no fixed increment: a 1-2-5 step chosen from the range and the axis length.
    void setIncrement(double increment);
    double increment() const { return m_increment; }

    // Most decimals a default text keeps.
    void setDecimals(int decimals);
    int decimals() const { return m_decimals; }

    // Least free space between neighbouring labels, in percent of the label extent along the axis.
    void setSeparation(int percent);
    int separation() const { return m_separation; }

    void setTextHook(TextHook hook);

    // Ticks shared with the same axis of another chart: each uses the widest step either needs at the
    // range and length given, so two charts of equal plot width show the same ticks.
    void shareWith(const QSharedPointer<ChartTicker> &other);

    // The thinning result and the texts are kept while range, length, font and settings stay the same;
    // call this when the hook's texts changed for another reason.
    void invalidate() { ++m_generation; }

    // Step of the last generated ticks (axis units), and the axis length in pixels it was chosen for.
    double lastStep() const { return m_cache.step; }
    int lastLength() const { return m_cache.length; }
    int currentLength() const;

    // The tick value rounded to `decimals` decimals, trailing zeros and a needless point dropped, with
    // "." as separator: 0 -> "0", 2.5 -> "2.5", -50 -> "-50".
    static QString defaultText(double value, int decimals);

    void generate(const QCPRange &range, const QLocale &locale, QChar formatChar, int precision, QVector<double> &ticks,
                  QVector<double> *subTicks, QVector<QString> *tickLabels) override;

protected:
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision) override;

private:
    // Everything of a ticker that its step depends on besides range and length.
    struct Settings {
        QFont font;
        double increment = 0;
        int decimals = 0, separation = 0;
        unsigned generation = 0;
        bool operator==(const Settings &o) const
        {
            return font == o.font && increment == o.increment && decimals == o.decimals && separation == o.separation
                && generation == o.generation;
        }
    };

    struct StepCache {
        double lower = 0, upper = 0;
        int length = -1;
        Settings own;
        QVector<Settings> partners;
        double step = 0;
        // The ticks at that step and their texts: a replot that changes none of the above (every
        // curve redraw) formats no text again.
        QVector<double> ticks;
        QVector<QString> labels;
    };

    QString labelText(double tick) const;
    QVector<double> ticksFor(double step, const QCPRange &range) const;
    bool labelsFit(double step, const QCPRange &range, int length) const;
    double chooseStep(const QCPRange &range, int length) const;
    double sharedStep(const QCPRange &range, int length) const;
    Settings settings() const;
    QVector<Settings> partnerSettings() const;

    QCPAxis *m_axis;
    double m_increment = 0;
    int m_decimals = 3;
    int m_separation = 20;
    TextHook m_hook;
    unsigned m_generation = 0;
    StepCache m_cache;
    QVector<QWeakPointer<ChartTicker>> m_partners;
};

} // namespace orvalis
