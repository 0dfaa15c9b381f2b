#pragma once
// The optics state the main window computes with after a first start: the built-in instrument at
// its extended Scherzer defocus, frequencies up to 10 nm^-1, every one of the 4097 samples. Shared by
// the tests and the benchmarks.
#include "core/instrumentload.h"
#include "core/opticsstate.h"

namespace orvalis {

inline OpticsState startupState()
{
    OpticsState s;
    s.UpTo = 10;
    s.PointDensity = 4096;
    s.StepFactor = 1;
    loadInstrument(s, defaultScope());
    return s;
}

} // namespace orvalis
