#pragma once
// Tick texts of the charts' frequency axes: the top axis shows spacings d = 1/k, the bottom one k,
// each with the axis name in place of the zero label; the defocus map's side axes show the defocus
// itself, its values being negated defoci.
#include <QString>

namespace orvalis {

QString distanceAxisLabel(const QString &tickText);  // "0" -> "d,(nm)", "2.5" -> "0.400"
QString frequencyAxisLabel(const QString &tickText); // "0" -> "k,(nm-1)", others unchanged
QString defocusAxisLabel(const QString &tickText);   // "50" -> "-50"

} // namespace orvalis
