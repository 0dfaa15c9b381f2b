#pragma once
// Progress and Cancel for the long work of this library (reading, spectra), which the window runs
// off its event loop.
#include <exception>
#include <functional>

namespace orvalis {

// Called now and then with the fraction done (0 .. 1, never decreasing) on the thread that called the
// work; returning false cancels it. An empty callback lets the work run to its end.
using ProgressCallback = std::function<bool(double fraction)>;

// Thrown when a ProgressCallback returned false. Nothing the work was to produce is kept.
class Cancelled : public std::exception {
public:
    const char *what() const noexcept override { return "cancelled"; }
};

// Calls `progress` with `fraction` and throws Cancelled when it asks to stop.
inline void reportProgress(const ProgressCallback &progress, double fraction)
{
    if (progress && !progress(fraction))
        throw Cancelled();
}

} // namespace orvalis
