#include "core/plain_units.h"

#include "core/bit_scan.h"
#include "core/fast_convert.h"
#include "core/simd_level.h"
#include "core/utf8_sequence.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif

namespace {

bool IsBreak(unsigned u) { return u == 0 || u == 0x0A || u == 0x0D; }

bool CountUtf16(bool little, const unsigned char* p, size_t n, uint64_t& units) {
    if (n % 2) return false;
    size_t i = 0;
#if TV_HAVE_SSE2_PATH
    const bool vector = simd_level::Current() >= simd_level::Sse2;
    const __m128i zero = _mm_setzero_si128();
    const __m128i lf = _mm_set1_epi16(little ? 0x000A : 0x0A00);
    const __m128i cr = _mm_set1_epi16(little ? 0x000D : 0x0D00);
    for (; vector && i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i hit =
            _mm_or_si128(_mm_cmpeq_epi16(v, zero), _mm_or_si128(_mm_cmpeq_epi16(v, lf), _mm_cmpeq_epi16(v, cr)));
        if (_mm_movemask_epi8(hit)) return false;
    }
#endif
    for (; i < n; i += 2) {
        const unsigned u = little ? p[i] | p[i + 1] << 8 : p[i] << 8 | p[i + 1];
        if (IsBreak(u)) return false;
    }
    units = n / 2;
    return true;
}

bool CountBytes(bool ansi, const unsigned char* p, size_t n, uint64_t& units) {
    if (ansi && !fast_convert::AnsiKeepsAscii()) return false;
    uint64_t count = 0;
    size_t i = 0;
#if TV_HAVE_SSE2_PATH
    const bool vector = simd_level::Current() >= simd_level::Sse2;
#endif
    while (i < n) {
#if TV_HAVE_SSE2_PATH
        if (vector && i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()),
                                             _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x0A)),
                                                          _mm_cmpeq_epi8(v, _mm_set1_epi8(0x0D))));
            if (_mm_movemask_epi8(hit)) return false;
            const uint32_t high = static_cast<uint32_t>(_mm_movemask_epi8(v));
            if (!high) {
                count += 16;
                i += 16;
                continue;
            }
            const unsigned ascii = bits::Low(high);
            count += ascii;
            i += ascii;
        }
#endif
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (IsBreak(c)) return false;
            count++;
            i++;
            continue;
        }
        if (ansi) return false;
        do {
            const size_t len = Utf8SequenceLength(p + i, n - i);
            if (!len) return false;
            count += len == 4 ? 2 : 1;  // a pair of surrogates beyond the first plane
            i += len;
        } while (i < n && p[i] >= 0x80);
    }
    units = count;
    return true;
}

}  // namespace

bool CountPlainUnits(Encoding encoding, const char* bytes, size_t n, uint64_t& units) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    switch (encoding) {
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
        return CountUtf16(encoding == Encoding::Utf16Le, p, n, units);
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
    case Encoding::Ansi:
        return CountBytes(encoding == Encoding::Ansi, p, n, units);
    default:
        return false;
    }
}
