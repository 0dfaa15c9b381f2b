#include "usagetexts.h"

namespace orvalis {

bool usageDialogDue(int useCount)
{
    // A count of 0 or below only comes from a damaged or hand-edited store; it is no anniversary.
    return useCount == 10 || (useCount > 0 && useCount % 50 == 0);
}

QString usedTimesText(int useCount)
{
    return QStringLiteral("Orvalis has been used ") + QString::number(useCount) + QStringLiteral(" times");
}

QString timesUsedText(int useCount)
{
    return QStringLiteral("Times used: ") + QString::number(useCount);
}

} // namespace orvalis
