#include "core/fast_convert.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "core/platform.h"
#include "core/simd_level.h"
#include "core/utf8_sequence.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif

namespace fast_convert {
namespace {

// An ASCII run this long ends a stretch handed to a platform call; shorter
// runs between other characters go with the stretch (one call instead of many).
constexpr size_t MinAsciiRun = 16;

bool UseSse2() { return TV_HAVE_SSE2_PATH && simd_level::Current() >= simd_level::Sse2; }

// Widens the ASCII bytes at the start of s[0, n) into d; returns their count.
size_t WidenAscii(const unsigned char* s, size_t n, char16_t* d, bool sse2) {
    size_t i = 0;
#if TV_HAVE_SSE2_PATH
    if (sse2) {
        const __m128i zero = _mm_setzero_si128();
        for (; n - i >= 16; i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(v)) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 8), _mm_unpackhi_epi8(v, zero));
        }
    }
#else
    (void)sse2;
#endif
    for (; i < n && s[i] < 0x80; i++) d[i] = s[i];
    return i;
}

// Narrows the units below 0x80 at the start of u[0, n) into d; returns their count.
size_t NarrowAscii(const char16_t* u, size_t n, char* d, bool sse2) {
    size_t i = 0;
#if TV_HAVE_SSE2_PATH
    if (sse2) {
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        for (; n - i >= 16; i += 16) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i + 8));
            __m128i bits = _mm_and_si128(_mm_or_si128(a, b), high);
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(bits, zero)) != 0xFFFF) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(a, b));
        }
    }
#else
    (void)sse2;
#endif
    for (; i < n && u[i] < 0x80; i++) d[i] = static_cast<char>(u[i]);
    return i;
}

// Length of the run of values below 0x80 at the start of s[0, n), counted up to cap.
template <class T>
size_t AsciiPrefix(const T* s, size_t n, size_t cap) {
    size_t k = 0;
    while (k < n && k < cap && s[k] < 0x80) k++;
    return k;
}

// End of the malformed stretch starting at s[i]: just past the next
// well-formed character (ASCII included) that no byte of 0xC0 or more
// among the three before its end can claim. Such a byte announces a
// sequence; cut off by the end of a platform call's input, the decoder
// would take all of the rest as one character, where the whole text has
// the bytes that end it. A byte outside 0x80-0xBF is never taken as part of
// an earlier sequence, so the end found is where the whole text's decoder
// is between characters too.
size_t MalformedEnd(const unsigned char* s, size_t i, size_t n) {
    size_t q = i + 1;
    while (q < n) {
        const size_t len = s[q] < 0x80 ? 1 : Utf8SequenceLength(s + q, n - q);
        if (len == 0) {
            q++;
            continue;
        }
        const size_t end = q + len;
        size_t k = end >= i + 3 ? end - 3 : i;
        while (k < q && s[k] < 0xC0) k++;
        if (k >= q) return end;
        q = end;
    }
    return n;
}

int ClampInt(size_t n) { return n > size_t(INT_MAX) ? INT_MAX : static_cast<int>(n); }

size_t PlatformDecode(unsigned codePage, const char* p, size_t n, char16_t* out, size_t room) {
    const int got = platform::MultiByteToWide(codePage, p, static_cast<int>(n), out, ClampInt(room));
    return got > 0 ? static_cast<size_t>(got) : NoRoom;
}

size_t PlatformEncode(unsigned codePage, const char16_t* u, size_t n, char* out, size_t room) {
    const int got = platform::WideToMultiByte(codePage, u, static_cast<int>(n), out, ClampInt(room));
    return got > 0 ? static_cast<size_t>(got) : NoRoom;
}

// Decodes s[0, n), a stretch that the text goes on after and that ends
// where a character starts, as converting the whole text does: each call's
// input is followed by three ASCII bytes, which no sequence in it reaches
// past, and their units are dropped. A call ends where every decoder starts
// a character: before a byte outside 0x80-0xBF, or after three of them.
size_t DecodeBeforeMore(unsigned codePage, const unsigned char* s, size_t n, char16_t* out, size_t room) {
    constexpr size_t Chunk = 4096, Pad = 3;
    char bytes[Chunk + Pad];
    char16_t units[Chunk + Pad];
    auto cont = [s](size_t k) { return (s[k] & 0xC0) == 0x80; };
    size_t i = 0, at = 0;
    while (i < n) {
        size_t end = n - i <= Chunk ? n : i + Chunk;
        while (end < n && cont(end) && !(cont(end - 1) && cont(end - 2) && cont(end - 3))) end--;
        const size_t len = end - i;
        std::memcpy(bytes, s + i, len);
        std::memset(bytes + len, 'A', Pad);
        const int got = platform::MultiByteToWide(codePage, bytes, static_cast<int>(len + Pad), units, Chunk + Pad);
        if (got < static_cast<int>(Pad) || static_cast<size_t>(got) - Pad > room - at) return NoRoom;
        std::memcpy(out + at, units, (static_cast<size_t>(got) - Pad) * sizeof(char16_t));
        at += static_cast<size_t>(got) - Pad;
        i = end;
    }
    return at;
}

// UTF-8 through the code page given (UTF-8, or the ANSI code page when that is UTF-8).
size_t Utf8Decode(unsigned codePage, const char* bytes, size_t n, char16_t* out, bool more) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    const bool sse2 = UseSse2();
    // Every step writes at most one unit per byte it reads, so out[at] never
    // passes s[i] and the room left is at least the input left.
    size_t i = 0, at = 0;
    while (i < n) {
        const uint32_t b = s[i];
        if (b < 0x80) {
            const size_t k = WidenAscii(s + i, n - i, out + at, sse2);
            i += k;
            at += k;
            continue;
        }
        switch (Utf8SequenceLength(s + i, n - i)) {
        case 2:
            out[at++] = static_cast<char16_t>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
            i += 2;
            break;
        case 3:
            out[at++] = static_cast<char16_t>(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
            break;
        case 4: {
            const uint32_t cp = (((b & 0x07) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) |
                                 (s[i + 3] & 0x3Fu)) - 0x10000;
            out[at++] = static_cast<char16_t>(0xD800 | (cp >> 10));
            out[at++] = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
            i += 4;
            break;
        }
        default: {
            const size_t end = MalformedEnd(s, i, n);
            const size_t got = more && end == n ? DecodeBeforeMore(codePage, s + i, n - i, out + at, n - at)
                                                : PlatformDecode(codePage, bytes + i, end - i, out + at, n - at);
            if (got == NoRoom) return NoRoom;
            at += got;
            i = end;
            break;
        }
        }
    }
    return at;
}

bool CheckAnsiAscii() {
    char bytes[128];
    char16_t units[128];
    for (int k = 0; k < 128; k++) {
        bytes[k] = static_cast<char>(k);
        units[k] = static_cast<char16_t>(k);
        if (platform::IsAnsiLeadByte(static_cast<unsigned char>(k))) return false;
    }
    char16_t wide[256];
    char narrow[512];
    if (platform::MultiByteToWide(platform::CodePageAnsi, bytes, 128, wide, 256) != 128) return false;
    if (platform::WideToMultiByte(platform::CodePageAnsi, units, 128, narrow, 512) != 128) return false;
    for (int k = 0; k < 128; k++)
        if (wide[k] != units[k] || narrow[k] != bytes[k]) return false;
    return true;
}

struct LeadBytes {
    bool lead[256];
    LeadBytes() {
        for (int b = 0; b < 256; b++) lead[b] = platform::IsAnsiLeadByte(static_cast<unsigned char>(b));
    }
};

const LeadBytes& Leads() {
    static const LeadBytes table;
    return table;
}

} // namespace

bool AnsiKeepsAscii() {
    static const bool keeps = CheckAnsiAscii();
    return keeps;
}

size_t Utf8ToUnits(const char* bytes, size_t n, char16_t* out, bool more) {
    return Utf8Decode(platform::CodePageUtf8, bytes, n, out, more);
}

size_t AnsiToUnits(const char* bytes, size_t n, char16_t* out, bool more) {
    // No byte is a lead byte at 65001, and a stretch below that ends with a
    // UTF-8 lead byte would hand it the ASCII byte after it: decoded as UTF-8.
    if (platform::AnsiIsUtf8()) return Utf8Decode(platform::CodePageAnsi, bytes, n, out, more);
    if (!AnsiKeepsAscii()) return PlatformDecode(platform::CodePageAnsi, bytes, n, out, n);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    const bool* lead = Leads().lead;
    const bool sse2 = UseSse2();
    size_t i = 0, at = 0;
    while (i < n) {
        if (s[i] < 0x80) {
            const size_t k = WidenAscii(s + i, n - i, out + at, sse2);
            i += k;
            at += k;
            continue;
        }
        // Characters up to a long ASCII run. A lead byte takes the byte after
        // it, whatever it is: a trail byte may look like ASCII.
        size_t p = i;
        while (p < n) {
            if (s[p] >= 0x80) {
                p += lead[s[p]] ? 2 : 1;
                continue;
            }
            const size_t r = AsciiPrefix(s + p, n - p, MinAsciiRun);
            if (r == MinAsciiRun) break;
            p += r;
        }
        // The call gets the ASCII byte that ends the stretch as well.
        const size_t end = p < n ? p + 1 : n;
        const size_t got = PlatformDecode(platform::CodePageAnsi, bytes + i, end - i, out + at, n - at);
        if (got == NoRoom) return NoRoom;
        at += got;
        i = end;
    }
    return at;
}

size_t UnitsToUtf8(const char16_t* u, size_t n, char* out) {
    const bool sse2 = UseSse2();
    size_t i = 0, at = 0;
    while (i < n) {
        const uint32_t c = u[i];
        if (c < 0x80) {
            const size_t k = NarrowAscii(u + i, n - i, out + at, sse2);
            i += k;
            at += k;
        } else if (c < 0x800) {
            out[at++] = static_cast<char>(0xC0 | (c >> 6));
            out[at++] = static_cast<char>(0x80 | (c & 0x3F));
            i++;
        } else if (c < 0xD800 || c >= 0xE000) {
            out[at++] = static_cast<char>(0xE0 | (c >> 12));
            out[at++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out[at++] = static_cast<char>(0x80 | (c & 0x3F));
            i++;
        } else if (c < 0xDC00 && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
            const uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00u);
            out[at++] = static_cast<char>(0xF0 | (cp >> 18));
            out[at++] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out[at++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[at++] = static_cast<char>(0x80 | (cp & 0x3F));
            i += 2;
        } else {
            // A lone surrogate: the platform call gets the surrogates in a row
            // and the unit after them, so it sees what the whole text has there.
            size_t end = i;
            while (end < n && u[end] >= 0xD800 && u[end] < 0xE000) end++;
            if (end < n) end++;
            const size_t got = PlatformEncode(platform::CodePageUtf8, u + i, end - i, out + at, 3 * n - at);
            if (got == NoRoom) return NoRoom;
            at += got;
            i = end;
        }
    }
    return at;
}

size_t UnitsToAnsi(const char16_t* u, size_t n, char* out) {
    if (!AnsiKeepsAscii()) return PlatformEncode(platform::CodePageAnsi, u, n, out, 3 * n);
    const bool sse2 = UseSse2();
    size_t i = 0, at = 0;
    while (i < n) {
        if (u[i] < 0x80) {
            const size_t k = NarrowAscii(u + i, n - i, out + at, sse2);
            i += k;
            at += k;
            continue;
        }
        size_t p = i;
        while (p < n) {
            if (u[p] >= 0x80) {
                p++;
                continue;
            }
            const size_t r = AsciiPrefix(u + p, n - p, MinAsciiRun);
            if (r == MinAsciiRun) break;
            p += r;
        }
        // With the ASCII unit after it, so that a high surrogate at the end is
        // followed by what follows it in the whole text.
        const size_t end = p < n ? p + 1 : n;
        const size_t got = PlatformEncode(platform::CodePageAnsi, u + i, end - i, out + at, 3 * n - at);
        if (got == NoRoom) return NoRoom;
        at += got;
        i = end;
    }
    return at;
}

} // namespace fast_convert
