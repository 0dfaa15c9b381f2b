#pragma once
// The file names the save commands propose, built from the instruments of the two scope records.
#include "core/scopedata.h"

#include <QString>

namespace orvalis {

// Which picture a name is proposed for; the suffix names the view.
enum class SaveView { Curves1D, Pattern2D, DefocusMap };

// Company_Model of the first record followed by the view's suffix ("_1dCTF", "_2dCTF", "_d_map"), or
// "Default" for the built-in instrument. The 1D chart in plotter mode carries both instruments, so its
// name adds "--" + Company_Model of the second record + "_1dCTF". A "/" in a name becomes "-".
QString proposedSaveName(SaveView view, const TScopeData &first, const TScopeData &second, bool plotterMode);

} // namespace orvalis
