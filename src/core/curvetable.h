#pragma once
// The text tables the save commands write: the 1D curves as shown, and the defocus map as numbers.
// Both are tab-separated, numbers in general form with ".", every line ended by CR LF, UTF-8.
#include "core/opticsstate.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

namespace orvalis {

// One line series of the 1D chart as the table reads it: its title and its points.
struct CurveSeries {
    QString title;
    QVector<double> x; // nm^-1
    QVector<double> y;
};

// The titles of the eight series of the 1D view in their order: the table's column names.
const QStringList &curveSeriesTitles();

// Header "k" and the titles of the series that have a first point, then one line per point of the
// first series: its k, then the value of every series that has a point with that index, in the order
// given (the chart's order). A series without points adds no column; an empty first series gives the
// header alone.
QByteArray curveTableText(const QVector<CurveSeries> &series);

// The defocus map as numbers, for reading into other programs: a header "defocus\k" followed by the W
// frequencies of the columns (nm^-1), then one line per map row, top row first: its defocus (nm) and
// the W values of the CTF the grey levels are made from (CtfGrey of each value is the map's level).
// The grid is that of computeDefocusMap for the same arguments; a width outside its limits gives the
// header "defocus\k" alone.
// With `relionSign` every CTF value is RELION's, -CTF.
QByteArray defocusMapTableText(const OpticsState &state, int width, int minimum, int maximum, double upTo,
                               bool relionSign = false);

} // namespace orvalis
