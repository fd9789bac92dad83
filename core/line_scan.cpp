#include "core/line_scan.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TV_SCAN_SSE2 1
#include <emmintrin.h>
#endif
#if defined(_MSC_VER)
#include <intrin.h>
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define TV_SCAN_BIG_ENDIAN_HOST 1
#endif

namespace {

inline unsigned LowestBit(uint64_t m) {
#if defined(_MSC_VER)
    unsigned long k;
    _BitScanForward64(&k, m);
    return static_cast<unsigned>(k);
#else
    return static_cast<unsigned>(__builtin_ctzll(m));
#endif
}

// High bit of each byte (or 16-bit lane) of v that is zero.
inline uint64_t ZeroBytes(uint64_t v) {
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    return ~(((v & low7) + low7) | v | low7);
}
inline uint64_t ZeroLanes16(uint64_t v) {
    const uint64_t low15 = 0x7FFF7FFF7FFF7FFFull;
    return ~(((v & low15) + low15) | v | low15);
}

inline uint64_t Load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

} // namespace

LineScanner::LineScanner(LineIndex& index, int unitWidth, bool bigEndian, uint64_t stride)
    : index_(index), width_(unitWidth == 2 ? 2 : 1), bigEndian_(bigEndian), stride_(stride ? stride : 1) {}

inline void LineScanner::EndLine(uint64_t nextStart) {
    uint64_t len = nextStart - lineStart_;
    if (len > maxLineLength) maxLineLength = len;
    if (lineCount % stride_ == 0 && indexComplete)
        indexComplete = index_.push_back(static_cast<int64_t>(nextStart * static_cast<uint64_t>(width_)));
    lineCount++;
    lineStart_ = nextStart;
}

// A CR or LF at `unit`. A pending CR followed by anything but LF ended its
// line alone; CR LF ends one line.
inline void LineScanner::LineEnd(uint64_t unit, bool isCr) {
    if (pending_ && unit != pendingAt_ + 1) {
        EndLine(pendingAt_ + 1);
        pending_ = false;
    }
    if (!isCr) {
        EndLine(unit + 1);
        pending_ = false;
        return;
    }
    if (pending_) EndLine(unit);  // CR CR
    pending_ = true;
    pendingAt_ = unit;
}

void LineScanner::Feed(const unsigned char* data, size_t units) {
    const uint64_t first = pos_;
    size_t i = 0;
    if (width_ == 1) {
#if TV_SCAN_SSE2
        const __m128i cr = _mm_set1_epi8(0x0D), lf = _mm_set1_epi8(0x0A);
        for (; i + 64 <= units; i += 64) {
            const unsigned char* p = data + i;
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
            __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
            __m128i ca = _mm_cmpeq_epi8(a, cr), cb = _mm_cmpeq_epi8(b, cr);
            __m128i cc = _mm_cmpeq_epi8(c, cr), cd = _mm_cmpeq_epi8(d, cr);
            __m128i la = _mm_cmpeq_epi8(a, lf), lb = _mm_cmpeq_epi8(b, lf);
            __m128i lc = _mm_cmpeq_epi8(c, lf), ld = _mm_cmpeq_epi8(d, lf);
            __m128i any = _mm_or_si128(_mm_or_si128(_mm_or_si128(ca, cb), _mm_or_si128(cc, cd)),
                                       _mm_or_si128(_mm_or_si128(la, lb), _mm_or_si128(lc, ld)));
            if (_mm_movemask_epi8(any) == 0) continue;
            uint64_t crm = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(ca))) |
                           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(cb))) << 16 |
                           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(cc))) << 32 |
                           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(cd))) << 48;
            uint64_t lfm = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(la))) |
                           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(lb))) << 16 |
                           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(lc))) << 32 |
                           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(ld))) << 48;
            for (uint64_t m = crm | lfm; m; m &= m - 1) {
                unsigned k = LowestBit(m);
                LineEnd(first + i + k, (crm >> k) & 1);
            }
        }
#endif
#if !TV_SCAN_BIG_ENDIAN_HOST
        for (; i + 8 <= units; i += 8) {
            uint64_t v = Load64(data + i);
            uint64_t crm = ZeroBytes(v ^ 0x0D0D0D0D0D0D0D0Dull);
            uint64_t m = crm | ZeroBytes(v ^ 0x0A0A0A0A0A0A0A0Aull);
            for (; m; m &= m - 1) {
                unsigned k = LowestBit(m);
                LineEnd(first + i + (k >> 3), (crm >> k) & 1);
            }
        }
#endif
        for (; i < units; i++) {
            unsigned char b = data[i];
            if (b == 0x0A || b == 0x0D) LineEnd(first + i, b == 0x0D);
        }
    } else {
        // 16-bit units as read little-endian from memory.
        const uint16_t crUnit = bigEndian_ ? 0x0D00 : 0x000D;
        const uint16_t lfUnit = bigEndian_ ? 0x0A00 : 0x000A;
#if TV_SCAN_SSE2
        const __m128i cr = _mm_set1_epi16(static_cast<short>(crUnit)), lf = _mm_set1_epi16(static_cast<short>(lfUnit));
        for (; i + 64 <= units; i += 64) {
            const unsigned char* p = data + i * 2;
            uint64_t crm = 0, lfm = 0;
            for (int q = 0; q < 4; q++) {
                __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + q * 32));
                __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + q * 32 + 16));
                __m128i c = _mm_packs_epi16(_mm_cmpeq_epi16(a, cr), _mm_cmpeq_epi16(b, cr));
                __m128i l = _mm_packs_epi16(_mm_cmpeq_epi16(a, lf), _mm_cmpeq_epi16(b, lf));
                crm |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(c))) << (q * 16);
                lfm |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(l))) << (q * 16);
            }
            for (uint64_t m = crm | lfm; m; m &= m - 1) {
                unsigned k = LowestBit(m);
                LineEnd(first + i + k, (crm >> k) & 1);
            }
        }
#endif
#if !TV_SCAN_BIG_ENDIAN_HOST
        const uint64_t crWord = 0x0001000100010001ull * crUnit, lfWord = 0x0001000100010001ull * lfUnit;
        for (; i + 4 <= units; i += 4) {
            uint64_t v = Load64(data + i * 2);
            uint64_t crm = ZeroLanes16(v ^ crWord);
            uint64_t m = crm | ZeroLanes16(v ^ lfWord);
            for (; m; m &= m - 1) {
                unsigned k = LowestBit(m);
                LineEnd(first + i + (k >> 4), (crm >> k) & 1);
            }
        }
#endif
        for (; i < units; i++) {
            uint16_t u = static_cast<uint16_t>(data[i * 2] | (data[i * 2 + 1] << 8));
            if (u == lfUnit || u == crUnit) LineEnd(first + i, u == crUnit);
        }
    }
    pos_ = first + units;
    // A CR followed by an ordinary unit in this buffer ended its line.
    if (pending_ && pendingAt_ + 1 < pos_) {
        EndLine(pendingAt_ + 1);
        pending_ = false;
    }
}

void LineScanner::Finish() {
    uint64_t len = pos_ - lineStart_;
    if (len > maxLineLength) maxLineLength = len;
    if (pending_) {
        EndLine(pos_);
        pending_ = false;
    }
}
