#pragma once
// The plain-text summary of the instruments in use, as the info window shows it.
#include "core/opticsstate.h"
#include "core/scopedata.h"

#include <QStringList>

namespace orvalis {

// One block of 11 lines per record shown: record 1 alone in analysis mode, both records in plotter
// mode. The focal spread and the maximum frequency come from the optics state, so every block shows
// those of the record loaded last. Each block ends with an empty line.
QStringList infoTextLines(const OpticsState &state, const TScopeData &record1, const TScopeData &record2);

} // namespace orvalis
