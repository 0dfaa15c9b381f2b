#pragma once
// The use count as the usage dialog and the About box show it, and when the dialog is due.
#include <QString>

namespace orvalis {

// At the 10th start and at every 50th (50, 100, 150 ...).
bool usageDialogDue(int useCount);

// "Orvalis has been used 10 times"
QString usedTimesText(int useCount);
// "Times used: 10"
QString timesUsedText(int useCount);

} // namespace orvalis
