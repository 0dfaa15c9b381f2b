#pragma once
// The series of Chart1: their order (a series' index is its number minus one), names and colours,
// stated here once; their titles are the saved table's column titles (curveSeriesTitles). The
// legends of the button bars and the tool bar take their colours from here.
#include <QColor>

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

} // namespace orvalis
