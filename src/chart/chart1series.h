#pragma once
// The series of Chart1: their order (a series' index is its number minus one), names and colours,
// stated here once; their titles are the saved table's column titles (curveSeriesTitles). The
// legends of the button bars and the tool bar take their colours from here.
#include <QColor>
#include <QPen>

#include <iterator>

namespace orvalis {

enum Chart1Series { S1Ctf, S2Temporal, S3Spatial, S4Combined, S5TemporalNeg, S6SpatialNeg, S7CombinedNeg, S8Ctf2 };

struct Chart1SeriesLook {
    Chart1Series series;
    const char *name; // the objectName
    QRgb colour;
};

inline constexpr Chart1SeriesLook chart1Series[] = {
    {S1Ctf, "Series1", 0xFF000080},         {S2Temporal, "Series2", 0xFF408080},
    {S3Spatial, "Series3", 0xFF008000},     {S4Combined, "Series4", 0xFFFF8040},
    {S5TemporalNeg, "Series5", 0xFF408080}, {S6SpatialNeg, "Series6", 0xFF008000},
    {S7CombinedNeg, "Series7", 0xFFFF8000}, {S8Ctf2, "Series8", 0xFF0000FF},
};
constexpr bool inSeriesOrder()
{
    for (std::size_t i = 0; i < std::size(chart1Series); ++i)
        if (chart1Series[i].series != static_cast<Chart1Series>(i))
            return false;
    return std::size(chart1Series) == S8Ctf2 + 1;
}
static_assert(inSeriesOrder(), "one row per series, in the chart's order");

inline QColor seriesColour(Chart1Series s)
{
    return QColor::fromRgb(chart1Series[s].colour);
}

// The two instruments of plotter mode in colours told apart also by colour-blind eyes (blue and
// vermilion: they differ in lightness as well as in hue).
inline constexpr QRgb firstInstrumentColour = 0xFF0072B2;
inline constexpr QRgb secondInstrumentColour = 0xFFD55E00;

// How a series is drawn. In analysis mode each curve has its own colour. In plotter mode each instrument
// has its colour, its envelope dashed in the same colour. In monochrome every curve is black and told
// apart by its dash pattern (the negative envelopes like their positive ones).
inline QPen curvePen(Chart1Series s, bool plotter, bool monochrome)
{
    if (monochrome) {
        Qt::PenStyle style = Qt::SolidLine;
        switch (s) {
        case S1Ctf: break;
        case S8Ctf2: style = Qt::DashLine; break;
        case S2Temporal:
        case S5TemporalNeg: style = Qt::DashLine; break;
        case S3Spatial:
        case S6SpatialNeg: style = Qt::DotLine; break;
        case S4Combined: style = plotter ? Qt::DotLine : Qt::DashDotLine; break;
        case S7CombinedNeg: style = Qt::DashDotLine; break;
        }
        return QPen(QBrush(Qt::black), 1, style);
    }
    if (plotter) {
        switch (s) {
        case S1Ctf: return QPen(QBrush(QColor::fromRgb(firstInstrumentColour)), 1, Qt::SolidLine);
        case S4Combined: return QPen(QBrush(QColor::fromRgb(firstInstrumentColour)), 1, Qt::DashLine);
        case S8Ctf2: return QPen(QBrush(QColor::fromRgb(secondInstrumentColour)), 1, Qt::SolidLine);
        case S7CombinedNeg: return QPen(QBrush(QColor::fromRgb(secondInstrumentColour)), 1, Qt::DashLine);
        default: break;
        }
    }
    return QPen(QBrush(seriesColour(s)), 1, Qt::SolidLine);
}

} // namespace orvalis
