// The lowest and highest set bit of a mask (not 0) and the number of set bits.
#pragma once
#include <cstdint>

#include "core/simd_level.h"

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace bits {

TV_ALWAYS_INLINE unsigned Low(uint32_t m) {
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanForward(&i, m);
    return unsigned(i);
#else
    return unsigned(__builtin_ctz(m));
#endif
}

TV_ALWAYS_INLINE unsigned High(uint32_t m) {
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanReverse(&i, m);
    return unsigned(i);
#else
    return 31u - unsigned(__builtin_clz(m));
#endif
}

TV_ALWAYS_INLINE unsigned Low64(uint64_t m) {
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanForward64(&i, m);
    return unsigned(i);
#else
    return unsigned(__builtin_ctzll(m));
#endif
}

TV_ALWAYS_INLINE unsigned High64(uint64_t m) {
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanReverse64(&i, m);
    return unsigned(i);
#else
    return 63u - unsigned(__builtin_clzll(m));
#endif
}

TV_ALWAYS_INLINE unsigned Count(uint64_t m) {
#if defined(_MSC_VER)
    m = m - ((m >> 1) & 0x5555555555555555ull);
    m = (m & 0x3333333333333333ull) + ((m >> 2) & 0x3333333333333333ull);
    m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return unsigned((m * 0x0101010101010101ull) >> 56);
#else
    return unsigned(__builtin_popcountll(m));
#endif
}

} // namespace bits
