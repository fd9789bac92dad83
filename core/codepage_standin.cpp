#include "core/codepage_standin.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "core/gbk_table.h"
#include "core/simd_level.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif

namespace standin {
namespace {

constexpr uint32_t Invalid = 0xFFFFFFFFu;

// Continuation bytes a byte of 0x80 or more announces (0: stands alone).
unsigned Utf8TrailCount(unsigned char ch) {
    return ch < 0xC2 ? 0 : ch < 0xE0 ? 1 : ch < 0xF0 ? 2 : ch < 0xF5 ? 3 : 0;
}

// Checks the sequence at s[0] (a byte of 0x80 or more) whose announced
// length fits in the input. Sets *used to the bytes taken: an invalid
// continuation is not taken, but a byte that makes the value overlong, a
// surrogate or too large is. Returns the code point or Invalid. When avail
// bytes do not suffice to decide, sets *used to 0.
uint32_t CheckUtf8(const unsigned char* s, size_t avail, size_t* used) {
    static const unsigned char mask[4] = {0x7F, 0x1F, 0x0F, 0x07};
    unsigned len = Utf8TrailCount(s[0]);
    uint32_t res = s[0] & mask[len];
    size_t i = 1;
    auto next = [&](unsigned& c) {
        if (i >= avail) return false;
        c = s[i] ^ 0x80u;
        return true;
    };
    unsigned c = 0;
    *used = 0;
    switch (len) {
    case 3:
        if (!next(c)) return Invalid;
        if (c >= 0x40) break;
        res = (res << 6) | c;
        i++;
        if (res < 0x10 || res > 0x10F) break;
        // fall through
    case 2:
        if (!next(c)) return Invalid;
        if (c >= 0x40) break;
        res = (res << 6) | c;
        i++;
        if (res < 0x20) break;                   // overlong
        if (res >= 0x360 && res < 0x380) break;  // surrogates
        // fall through
    case 1:
        if (!next(c)) return Invalid;
        if (c >= 0x40) break;
        res = (res << 6) | c;
        i++;
        if (res < 0x80) break;
        *used = i;
        return res;
    default:
        break;
    }
    *used = i;
    return Invalid;
}

// Decodes one character starting at s[i] (a byte of 0x80 or more) and moves
// i past what it took. A sequence announced to run past the end of the input
// takes all the rest of it.
uint32_t DecodeUtf8Char(const unsigned char* s, size_t& i, size_t n) {
    if (i + 1 + Utf8TrailCount(s[i]) > n) {
        i = n;
        return Invalid;
    }
    size_t used;
    uint32_t cp = CheckUtf8(s + i, n - i, &used);
    i += used;
    return cp;
}

} // namespace

size_t Utf8CharBytes(const unsigned char* s, size_t avail) {
    if (avail == 0) return 0;
    if (s[0] < 0x80) return 1;
    size_t used;
    CheckUtf8(s, avail, &used);
    return used;
}

namespace {

size_t SourceLength8(const char* src, int srcLen) {
    return srcLen < 0 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
}

size_t SourceLength16(const char16_t* src, int srcLen) {
    if (srcLen >= 0) return static_cast<size_t>(srcLen);
    size_t n = 0;
    while (src[n]) n++;
    return n + 1;
}

// Collects output units/bytes; counts only when no buffer is given.
template <class T>
struct Sink {
    T* dst;
    size_t cap;
    size_t count = 0;
    bool overflow = false;
    Sink(T* d, int len) : dst(len > 0 ? d : nullptr), cap(len > 0 ? static_cast<size_t>(len) : 0) {}
    void Put(T v) {
        if (dst) {
            if (count >= cap) { overflow = true; return; }
            dst[count] = v;
        }
        count++;
    }
    // k ASCII bytes, each the unit or byte of the same value.
    void PutAscii(const unsigned char* s, size_t k) {
        if (dst) {
            if (cap - count < k) {
                overflow = true;
                return;
            }
            T* d = dst + count;
            size_t j = 0;
#if TV_HAVE_SSE2_PATH
            if (sizeof(T) == 2) {
                const __m128i zero = _mm_setzero_si128();
                for (; k - j >= 16; j += 16) {
                    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j), _mm_unpacklo_epi8(v, zero));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + j + 8), _mm_unpackhi_epi8(v, zero));
                }
            }
#endif
            for (; j < k; j++) d[j] = static_cast<T>(s[j]);
        }
        count += k;
    }
    int Result() const {
        if (overflow || count > 0x7FFFFFFF) return 0;
        return static_cast<int>(count);
    }
};

// Length of the run of ASCII bytes at the start of s[0, n).
size_t AsciiRun(const unsigned char* s, size_t n) {
    size_t i = 0;
#if TV_HAVE_SSE2_PATH
    for (; n - i >= 16; i += 16) {
        uint32_t high = uint32_t(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i))));
        if (high) break;
    }
#endif
    for (uint64_t w; n - i >= 8; i += 8) {
        std::memcpy(&w, s + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < n && s[i] < 0x80) i++;
    return i;
}

// UTF-16 -> GBK code (0 = unmappable), built once from the decode tables.
const std::vector<uint16_t>& GbkEncodeTable() {
    static std::vector<uint16_t> table;
    static std::once_flag once;
    std::call_once(once, [] {
        table.assign(0x10000, 0);
        for (unsigned b = 1; b < 0x100; b++)
            if (!IsGbkLeadByte(static_cast<unsigned char>(b))) table[GbkSingleTable[b]] = static_cast<uint16_t>(b);
        for (unsigned lead = 0; lead < GbkLeadCount; lead++)
            for (unsigned trail = 0; trail < GbkTrailCount; trail++) {
                uint16_t u = GbkDoubleTable[lead * GbkTrailCount + trail];
                if (u && !table[u]) table[u] = static_cast<uint16_t>(((lead + 0x81) << 8) | (trail + 0x40));
            }
        for (size_t k = 0; k < GbkBestFitCount; k++)
            if (!table[GbkBestFit[k][0]]) table[GbkBestFit[k][0]] = GbkBestFit[k][1];
    });
    return table;
}

} // namespace

int Utf8ToUtf16(const char* src, int srcLen, char16_t* dst, int dstLen) {
    if (!src || srcLen == 0) return 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    size_t n = SourceLength8(src, srcLen);
    Sink<char16_t> out(dst, dstLen);
    size_t i = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            size_t k = AsciiRun(s + i, n - i);
            out.PutAscii(s + i, k);
            i += k;
            continue;
        }
        uint32_t cp = DecodeUtf8Char(s, i, n);
        if (cp == Invalid) {
            out.Put(0xFFFD);
        } else if (cp <= 0xFFFF) {
            out.Put(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.Put(static_cast<char16_t>(0xD800 | (cp >> 10)));
            out.Put(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
        }
    }
    return out.Result();
}

int Utf16ToUtf8(const char16_t* src, int srcLen, char* dst, int dstLen) {
    if (!src || srcLen == 0) return 0;
    size_t n = SourceLength16(src, srcLen);
    Sink<char> out(dst, dstLen);
    for (size_t i = 0; i < n; i++) {
        uint32_t u = src[i];
        if (u < 0x80) {
            out.Put(static_cast<char>(u));
        } else if (u < 0x800) {
            out.Put(static_cast<char>(0xC0 | (u >> 6)));
            out.Put(static_cast<char>(0x80 | (u & 0x3F)));
        } else {
            if (u >= 0xD800 && u < 0xE000) {
                if (u < 0xDC00 && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] < 0xE000) {
                    uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (src[i + 1] - 0xDC00);
                    i++;
                    out.Put(static_cast<char>(0xF0 | (cp >> 18)));
                    out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
                    out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
                    out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
                    continue;
                }
                u = 0xFFFD;  // lone surrogate
            }
            out.Put(static_cast<char>(0xE0 | (u >> 12)));
            out.Put(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
            out.Put(static_cast<char>(0x80 | (u & 0x3F)));
        }
    }
    return out.Result();
}

int GbkToUtf16(const char* src, int srcLen, char16_t* dst, int dstLen) {
    if (!src || srcLen == 0) return 0;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
    size_t n = SourceLength8(src, srcLen);
    Sink<char16_t> out(dst, dstLen);
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {  // ASCII bytes are never lead bytes and decode to themselves
            size_t k = AsciiRun(s + i, n - i);
            out.PutAscii(s + i, k);
            i += k;
            continue;
        }
        if (!IsGbkLeadByte(b)) {
            out.Put(GbkSingleTable[b]);
            i++;
            continue;
        }
        // A lead byte takes the next byte unless the input ends or it is NUL.
        if (i + 1 >= n || s[i + 1] == 0) {
            out.Put(u'?');
            i++;
            continue;
        }
        unsigned char t = s[i + 1];
        i += 2;
        uint16_t u = 0;
        if (t >= 0x40 && t <= 0xFE) u = GbkDoubleTable[(b - 0x81) * GbkTrailCount + (t - 0x40)];
        out.Put(u ? static_cast<char16_t>(u) : u'?');
    }
    return out.Result();
}

int Utf16ToGbk(const char16_t* src, int srcLen, char* dst, int dstLen) {
    if (!src || srcLen == 0) return 0;
    size_t n = SourceLength16(src, srcLen);
    const std::vector<uint16_t>& table = GbkEncodeTable();
    Sink<char> out(dst, dstLen);
    for (size_t i = 0; i < n; i++) {
        char16_t u = src[i];
        if (u == 0) {
            out.Put(0);
            continue;
        }
        uint16_t code = table[u];
        if (!code) {
            out.Put('?');
        } else if (code < 0x100) {
            out.Put(static_cast<char>(code));
        } else {
            out.Put(static_cast<char>(code >> 8));
            out.Put(static_cast<char>(code & 0xFF));
        }
    }
    return out.Result();
}

} // namespace standin
