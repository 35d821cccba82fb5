#pragma once

// The build targets every x86-64 (and every i386 with SSE2); kernels that use
// 256-bit vectors are compiled for AVX2 and FMA function by function and
// chosen at run time when the processor has both.

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define QUILLON_HAVE_AVX2_PATH 1

namespace quillon::engine {

inline bool HaveAvx2() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"); }

}  // namespace quillon::engine
#endif
