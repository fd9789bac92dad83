#include "core/encoding.h"

#include <algorithm>
#include <cstring>

#include "core/codepage_standin.h"
#include "core/fast_convert.h"
#include "core/platform.h"
#include "core/simd_level.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif

namespace {

// Wide input above this many units is converted in pieces so that no output
// length (up to three bytes per unit) can pass the 32-bit limit.
constexpr int32_t WidePieceUnits = 1 << 28;
// Byte input of 2^31 bytes or more is decoded in pieces of at most this size.
constexpr size_t BytePieceSize = 0x7FFFFFFF;

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }

int32_t TerminatedLength8(const char* bytes) {
    size_t n = std::strlen(bytes);
    return n >= 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(n + 1);
}

int32_t TerminatedLength16(const char16_t* units) {
    size_t n = 0;
    while (units[n] && n < 0x7FFFFFFE) n++;
    return static_cast<int32_t>(n + 1);
}

std::u16string MultiToWide(unsigned codePage, const char* bytes, int32_t length) {
    if (!bytes || length < 0) return std::u16string();
    if (length == 0) length = TerminatedLength8(bytes);
    int n = platform::MultiByteToWide(codePage, bytes, length, nullptr, 0);
    if (n <= 0) return std::u16string();
    std::u16string out(static_cast<size_t>(n), u'\0');
    int written = platform::MultiByteToWide(codePage, bytes, length, &out[0], n);
    if (written <= 0) return std::u16string();
    out.resize(static_cast<size_t>(written));
    return out;
}

void AppendMulti(std::string& out, unsigned codePage, const char16_t* units, int32_t length) {
    int n = platform::WideToMultiByte(codePage, units, length, nullptr, 0);
    if (n <= 0) return;
    size_t at = out.size();
    out.resize(at + static_cast<size_t>(n));
    int written = platform::WideToMultiByte(codePage, units, length, &out[at], n);
    out.resize(at + static_cast<size_t>(written > 0 ? written : 0));
}

std::string WideToMulti(unsigned codePage, const char16_t* units, size_t count, size_t pieceUnits) {
    std::string out;
    if (pieceUnits == 0 || pieceUnits > static_cast<size_t>(WidePieceUnits)) pieceUnits = WidePieceUnits;
    while (count > 0) {
        size_t piece = count <= pieceUnits ? count : pieceUnits;
        if (piece < count && piece > 1 && IsHighSurrogate(units[piece - 1])) piece--;  // keep a pair together
        AppendMulti(out, codePage, units, static_cast<int32_t>(piece));
        units += piece;
        count -= piece;
    }
    return out;
}

std::string WideToMulti(unsigned codePage, const char16_t* units, int32_t length) {
    if (!units || length < 0) return std::string();
    if (length == 0) length = TerminatedLength16(units);
    return WideToMulti(codePage, units, static_cast<size_t>(length), WidePieceUnits);
}

// A cut x of a UTF-8 prefix is exact when x is where a character starts and
// no earlier character among the last three bytes announces a length that
// reaches past x: the conversion would take such a sequence as cut off by
// the end of the input and swallow what follows it. Valid text can be cut at
// every character boundary. Only the last 64 positions are tried; a longer
// run of malformed input is cut where its last character starts: decoders
// told that the text goes on (`more`) convert that cut exactly too.
size_t Utf8Cut(const unsigned char* p, size_t n) {
    const size_t window = 64;
    size_t from = n > window + 4 ? n - window - 4 : 0;
    // Bytes other than 80..BF start a character, and so does one with three
    // of them before it.
    for (size_t k = from, back = 0; back < 3 && k > 0 && (p[k] & 0xC0) == 0x80; back++) {
        k--;
        if ((p[k] & 0xC0) != 0x80) from = k;
    }
    bool starts[window + 8] = {};
    size_t lastStart[window + 8] = {};
    size_t at = from, last = from;
    while (at < n) {
        starts[at - from] = true;
        size_t used = standin::Utf8CharBytes(p + at, n - at);
        if (used == 0) break;  // runs into the part not seen
        last = at;
        at += used;
        if (at <= n) lastStart[at - from] = last;
    }
    if (at == n) starts[n - from] = true;
    size_t lastCharStart = 0;
    for (size_t x = n; x > from && x + window >= n; x--) {
        if (!starts[x - from]) continue;
        if (!lastCharStart) lastCharStart = x;
        bool ok = true;
        size_t prev = lastStart[x - from];
        for (size_t l = x >= 3 ? x - 3 : 0; l < x && ok; l++)
            if (l >= from && starts[l - from] && l != prev && l + 1 + standin::Utf8AnnouncedTrail(p[l]) > x) ok = false;
        if (ok) return x;
    }
    return lastCharStart ? lastCharStart : n;
}

} // namespace

std::string ByteOrderMark(Encoding e) {
    switch (e) {
    case Encoding::Utf8Bom: return std::string("\xEF\xBB\xBF", 3);
    case Encoding::Utf16Le: return std::string("\xFF\xFE", 2);
    case Encoding::Utf16Be: return std::string("\xFE\xFF", 2);
    default: return std::string();
    }
}

std::u16string AnsiToWide(const char* bytes, int32_t length) {
    return MultiToWide(platform::CodePageAnsi, bytes, length);
}

std::u16string Utf8ToWide(const char* bytes, int32_t length) {
    return MultiToWide(platform::CodePageUtf8, bytes, length);
}

std::string WideToUtf8(const char16_t* units, int32_t length) {
    return WideToMulti(platform::CodePageUtf8, units, length);
}

std::string WideToAnsi(const char16_t* units, int32_t length) {
    return WideToMulti(platform::CodePageAnsi, units, length);
}

int32_t SwapBytes16(char16_t* units, int32_t count) {
    if (count > 0) SwapBytes16Large(units, static_cast<size_t>(count));
    return count;
}

void SwapBytes16Large(char16_t* units, size_t count) {
    size_t i = 0;
#if TV_HAVE_SSE2_PATH
    for (; count - i >= 8; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(units + i), _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8)));
    }
#endif
    for (; i < count; i++) units[i] = static_cast<char16_t>((units[i] << 8) | (units[i] >> 8));
}

size_t CharBoundaryPrefix(Encoding e, const char* bytes, size_t n) {
    if (n == 0) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
    size_t cut = n;
    switch (e) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8:
        cut = Utf8Cut(p, n);
        break;
    case Encoding::Ansi: {
        if (platform::AnsiIsUtf8()) {
            cut = Utf8Cut(p, n);
            break;
        }
        // A run of lead-byte values after a boundary pairs up from its start;
        // an odd run ends in a lead byte whose trail byte is cut off.
        size_t run = 0;
        while (run < n && platform::IsAnsiLeadByte(p[n - 1 - run])) run++;
        if (run % 2 == 1) cut = n - 1;
        break;
    }
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        cut = n & ~size_t(1);
        if (cut >= 2) {
            unsigned hi = e == Encoding::Utf16Le ? p[cut - 1] : p[cut - 2];
            if (hi >= 0xD8 && hi < 0xDC) cut -= 2;
        }
        break;
    }
    default:
        break;
    }
    return cut > 0 ? cut : n;
}

namespace {

// Utf8ToWide or AnsiToWide of n bytes through the exact fast paths; the
// plain call when a platform call in them needed more room than n units.
std::u16string DecodeBytes(bool ansi, const char* bytes, size_t n, bool more) {
    std::u16string out(n, u'\0');
    const size_t got = ansi ? fast_convert::AnsiToUnits(bytes, n, &out[0], more)
                            : fast_convert::Utf8ToUnits(bytes, n, &out[0], more);
    if (got == fast_convert::NoRoom)
        return ansi ? AnsiToWide(bytes, static_cast<int32_t>(n)) : Utf8ToWide(bytes, static_cast<int32_t>(n));
    out.resize(got);
    return out;
}

}  // namespace

std::u16string DecodeTextInPieces(Encoding encoding, const char* bytes, size_t n, size_t pieceSize, bool more) {
    std::u16string out;
    if (n == 0 || !bytes) return out;
    switch (encoding) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8:
    case Encoding::Ansi: {
        if (pieceSize == 0 || pieceSize > 0x7FFFFFFF) pieceSize = 0x7FFFFFFF;
        bool ansi = encoding == Encoding::Ansi;
        while (n > 0) {
            // A cut stays four bytes clear of the end, where a sequence cut off
            // by the end of the input swallows the rest of it.
            size_t limit = n - pieceSize >= 4 || n < 8 ? pieceSize : n - 4;
            size_t take = n <= pieceSize ? n : CharBoundaryPrefix(encoding, bytes, limit);
            std::u16string part = DecodeBytes(ansi, bytes, take, take < n || more);
            if (out.empty()) out.swap(part);
            else out += part;
            bytes += take;
            n -= take;
        }
        break;
    }
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
        size_t units = n / 2;
        if (units == 0) break;
        out.resize(units);
        std::memcpy(&out[0], bytes, units * 2);
        if (encoding == Encoding::Utf16Be) SwapBytes16Large(&out[0], units);
        break;
    }
    default:
        break;
    }
    return out;
}

std::string EncodeWideInPieces(Encoding target, const char16_t* units, size_t count, size_t pieceUnits) {
    if (!units) return std::string();
    unsigned codePage = target == Encoding::Ansi ? platform::CodePageAnsi : platform::CodePageUtf8;
    return WideToMulti(codePage, units, count, pieceUnits);
}

std::u16string DecodeText(Encoding encoding, const char* bytes, size_t n, bool more) {
    return DecodeTextInPieces(encoding, bytes, n, BytePieceSize, more);
}
