#include "axislabels.h"

#include "core/numberformat.h"
#include "core/orvaliserror.h"

namespace orvalis {

// The texts come from the chart itself, but a label callback runs while painting, where nothing may
// throw: a text that is not a number is left as it is.
QString distanceAxisLabel(const QString &tickText)
{
    if (tickText == QLatin1String("0"))
        return QStringLiteral("d,(nm)");
    try {
        return formatFixed(1 / strToFloat(tickText), 3);
    } catch (const OrvalisError &) {
        return tickText;
    }
}

QString frequencyAxisLabel(const QString &tickText)
{
    return tickText == QLatin1String("0") ? QStringLiteral("k,(nm-1)") : tickText;
}

QString defocusAxisLabel(const QString &tickText)
{
    try {
        return formatGeneral(-strToFloat(tickText));
    } catch (const OrvalisError &) {
        return tickText;
    }
}

} // namespace orvalis
