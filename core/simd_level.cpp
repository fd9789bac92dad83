#include "core/simd_level.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(_MSC_VER)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace simd_level {
namespace {

Level Detect() {
    Level best = TV_HAVE_SSE2_PATH ? Sse2 : Scalar;
#if TV_HAVE_AVX2_PATH
#if defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt"))
        best = Avx2;
#elif defined(_MSC_VER)
    int r[4];
    __cpuid(r, 0);
    if (r[0] >= 7) {
        __cpuid(r, 1);
        bool osxsave = (r[2] & (1 << 27)) != 0, popcnt = (r[2] & (1 << 23)) != 0;
        if (osxsave && popcnt && (_xgetbv(0) & 6) == 6) {
            __cpuidex(r, 7, 0);
            if ((r[1] & (1 << 5)) && (r[1] & (1 << 8)) && (r[1] & (1 << 3))) best = Avx2;
        }
    }
#endif
#endif
    // TOMEVIEW_SIMD=scalar|sse2 lowers the level for a whole run (benchmarks).
    if (const char* env = std::getenv("TOMEVIEW_SIMD")) {
        if (std::strcmp(env, "scalar") == 0) best = Scalar;
        else if (std::strcmp(env, "sse2") == 0 && best > Sse2) best = Sse2;
    }
    return best;
}

Level Best() {
    static const Level best = Detect();
    return best;
}

std::atomic<int> cap{Avx2};

} // namespace

Level Current() {
    int c = cap.load(std::memory_order_relaxed);
    Level b = Best();
    return c < b ? static_cast<Level>(c) : b;
}

void Cap(Level level) { cap.store(level, std::memory_order_relaxed); }

} // namespace simd_level
