// SSE2 helpers for scanning UTF-16 text (x86-64 always has SSE2).
#pragma once
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TV_SSE2 1
#include <emmintrin.h>
#else
#define TV_SSE2 0
#endif

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace simd {

inline unsigned LowBit(uint32_t m) {
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanForward(&i, m);
    return unsigned(i);
#else
    return unsigned(__builtin_ctz(m));
#endif
}

inline unsigned HighBit(uint32_t m) {
#if defined(_MSC_VER)
    unsigned long i;
    _BitScanReverse(&i, m);
    return unsigned(i);
#else
    return 31u - unsigned(__builtin_clz(m));
#endif
}

#if TV_SSE2
// Byte mask (two bits per unit) of the 8 positions where p0[k] is a0 or b0
// and p1[k] is a1 or b1.
inline uint32_t PairMask(const char16_t* p0, const char16_t* p1, __m128i a0, __m128i b0, __m128i a1,
                         __m128i b1) {
    __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p0));
    __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1));
    __m128i m0 = _mm_or_si128(_mm_cmpeq_epi16(v0, a0), _mm_cmpeq_epi16(v0, b0));
    __m128i m1 = _mm_or_si128(_mm_cmpeq_epi16(v1, a1), _mm_cmpeq_epi16(v1, b1));
    return uint32_t(_mm_movemask_epi8(_mm_and_si128(m0, m1)));
}
#endif

// Index of the first U+0000 in [from, len), or len.
inline size_t FindNul(const char16_t* t, size_t from, size_t len) {
    size_t i = from;
#if TV_SSE2
    const __m128i zero = _mm_setzero_si128();
    while (i < len && len - i >= 16) {
        __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 8));
        uint32_t m = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(v0, zero))) |
                     (uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(v1, zero))) << 16);
        if (m) return i + LowBit(m) / 2;
        i += 16;
    }
#endif
    for (; i < len; ++i)
        if (t[i] == 0) return i;
    return len;
}

} // namespace simd
