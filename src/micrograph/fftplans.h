#pragma once
// FFTW plans for this library and its users, made once per shape and kept for the whole run.
// FFTW's planner is not thread-safe, so every plan is made here under one lock; executing a kept plan
// with the new-array functions (fftwf_execute_dft_r2c and fftwf_execute_dft_c2r) is, from any
// thread, on arrays from fftwf_malloc (whose alignment the plans assume) and out of place. A
// transform may overwrite its input.
#include <fftw3.h>

#include <cstddef>
#include <memory>

namespace orvalis {

enum class PlanEffort {
    Estimate, // planned in microseconds: one-off transforms
    Measure,  // planned once in at most about 0.1 s, then faster: transforms done again and again
};

// rows x cols real values to rows x (cols / 2 + 1) complex ones (unnormalised), and back.
fftwf_plan realToComplexPlan(int rows, int cols, PlanEffort effort);
fftwf_plan complexToRealPlan(int rows, int cols, PlanEffort effort);

struct FftwFree {
    void operator()(void *p) const { fftwf_free(p); }
};
template <typename T> using FftwArray = std::unique_ptr<T[], FftwFree>;

template <typename T> FftwArray<T> fftwArray(std::size_t count)
{
    return FftwArray<T>(static_cast<T *>(fftwf_malloc(sizeof(T) * (count > 0 ? count : 1))));
}

} // namespace orvalis
