// SSE2 helpers for scanning text (x86-64 always has SSE2).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/bit_scan.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TV_SSE2 1
#include <emmintrin.h>
#else
#define TV_SSE2 0
#endif

namespace simd {

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

// Broadcast of one unit to every lane of its width.
inline __m128i Splat(char16_t u) { return _mm_set1_epi16(short(u)); }
inline __m128i Splat(unsigned char u) { return _mm_set1_epi8(char(u)); }

inline uint32_t PairMaskBytes(const unsigned char* p0, const unsigned char* p1, __m128i a0, __m128i b0,
                              __m128i a1, __m128i b1) {
    __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p0));
    __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1));
    __m128i m0 = _mm_or_si128(_mm_cmpeq_epi8(v0, a0), _mm_cmpeq_epi8(v0, b0));
    __m128i m1 = _mm_or_si128(_mm_cmpeq_epi8(v1, a1), _mm_cmpeq_epi8(v1, b1));
    return uint32_t(_mm_movemask_epi8(_mm_and_si128(m0, m1)));
}

// Candidate mask of 16 positions, sizeof(unit) bits per position.
inline uint32_t Mask16(const char16_t* p0, const char16_t* p1, __m128i a0, __m128i b0, __m128i a1, __m128i b1) {
    return PairMask(p0, p1, a0, b0, a1, b1) | (PairMask(p0 + 8, p1 + 8, a0, b0, a1, b1) << 16);
}
inline uint32_t Mask16(const unsigned char* p0, const unsigned char* p1, __m128i a0, __m128i b0, __m128i a1,
                       __m128i b1) {
    return PairMaskBytes(p0, p1, a0, b0, a1, b1);
}
#endif

// The mask bits of one position.
template <class U>
constexpr uint32_t PositionBits() { return sizeof(U) == 2 ? 3u : 1u; }

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
        if (m) return i + bits::Low(m) / 2;
        i += 16;
    }
#endif
    for (; i < len; ++i)
        if (t[i] == 0) return i;
    return len;
}

// Index of the first zero byte in [from, len), or len. Not memchr: the C
// runtime the Windows build gets may search a byte at a time (Wine's does,
// at a third of the speed of the rest of a count).
inline size_t FindNul(const unsigned char* t, size_t from, size_t len) {
    size_t i = from;
#if TV_SSE2
    const __m128i zero = _mm_setzero_si128();
    while (i < len && len - i >= 32) {
        __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i + 16));
        uint32_t m = uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v0, zero))) |
                     (uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v1, zero))) << 16);
        if (m) return i + bits::Low(m);
        i += 32;
    }
#endif
    for (; i < len; ++i)
        if (t[i] == 0) return i;
    return len;
}

} // namespace simd
