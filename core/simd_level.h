// The widest vector instructions the scans may use: found once from the
// processor, and capped for tests and benchmarks that exercise each path.
#pragma once

namespace simd_level {

enum Level { Scalar = 0, Sse2 = 1, Avx2 = 2 };

// The level in force: the processor's best, or less when capped.
Level Current();
// Caps the level (tests); a level above the processor's best is ignored.
void Cap(Level level);

} // namespace simd_level

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TV_HAVE_AVX2_PATH 1
#define TV_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#elif defined(_MSC_VER) && defined(_M_X64)
#define TV_HAVE_AVX2_PATH 1
#define TV_TARGET_AVX2
#else
#define TV_HAVE_AVX2_PATH 0
#define TV_TARGET_AVX2
#endif

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TV_HAVE_SSE2_PATH 1
#else
#define TV_HAVE_SSE2_PATH 0
#endif

#if defined(__GNUC__)
#define TV_ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define TV_ALWAYS_INLINE __forceinline
#else
#define TV_ALWAYS_INLINE inline
#endif
