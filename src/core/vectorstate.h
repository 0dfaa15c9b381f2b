#pragma once
// Some routines of the libraries we call (Qt's image fills among them, on processors with wide vector
// units) return with the upper halves of the vector registers still in use. Until something clears
// them, every plain SSE instruction of ours pays a false dependency on that state: the pattern pass
// was measured 2.5 times slower after a QImage::fill. The heavy loops call this first.
namespace orvalis {

inline void clearUpperVectorState()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool hasAvx = __builtin_cpu_supports("avx");
    if (hasAvx)
        asm volatile("vzeroupper" ::: "memory");
#endif
}

} // namespace orvalis
