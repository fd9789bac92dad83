#include "core/line_scan.h"

#include <cstring>

#include "core/bit_scan.h"
#include "core/simd_level.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif
#if TV_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define TV_SCAN_BIG_ENDIAN_HOST 1
#else
#define TV_SCAN_BIG_ENDIAN_HOST 0
#endif

namespace {

constexpr unsigned Block = 64;

// Position of set bit number r (from 0, lowest first); m has more than r bits.
TV_ALWAYS_INLINE unsigned SelectBit(uint64_t m, unsigned r) {
    for (; r; --r) m &= m - 1;
    return bits::Low64(m);
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
// The high bits of the 8 bytes (or 4 lanes) gathered into the low 8 (or 4) bits.
inline uint64_t GatherBytes(uint64_t m) { return ((m >> 7) * 0x0102040810204080ull) >> 56; }
inline uint64_t GatherLanes16(uint64_t m) { return ((m >> 15) * 0x0001000200040008ull) >> 48 & 0xF; }

inline uint64_t Load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

} // namespace

// The mask makers give, for the 64 units at p, the CR units (returned) and
// the LF units (in lf), bit k for unit k.
struct ScanKernel {
#if TV_HAVE_AVX2_PATH
    static TV_TARGET_AVX2 inline unsigned SelectBitBmi2(uint64_t m, unsigned r) {
        return bits::Low64(_pdep_u64(uint64_t(1) << r, m));
    }
#endif
    // A block of n units (1..64) with its CR and LF masks.
    template <bool Bmi2>
    static TV_ALWAYS_INLINE void Lines(LineScanner& s, uint64_t cr, uint64_t lf, unsigned n) {
        const uint64_t base = s.pos_;
        if (s.pending_) {
            s.pending_ = false;
            if (!(lf & 1)) s.EndLine(base);  // a CR alone at base - 1
        }
        s.pos_ = base + n;
        // A CR ends its line unless an LF follows; the CR in the last unit waits.
        uint64_t ends = lf | (cr & ~(lf >> 1));
        const uint64_t top = uint64_t(1) << (n - 1);
        if (cr & top) {
            ends &= ~top;
            s.pending_ = true;
        }
        if (!ends) return;

        const unsigned count = bits::Count(ends);
        const unsigned first = bits::Low64(ends), last = bits::High64(ends);
        uint64_t longest = s.maxLineLength;
        uint64_t len = base + first + 1 - s.lineStart_;
        if (len > longest) longest = len;
        // The lines between the first and the last end are at most 63 units
        // long: look at them only when one of them can be longer.
        if (count > 1 && last - first > longest) {
            // Bit i of run: units i .. i + longest - 1 hold no line end.
            if (longest != s.shiftsFor_) s.Shifts(longest);
            uint64_t run = ~ends;
            for (unsigned k = 0; k < s.shiftCount_; k++) run &= run >> s.shifts_[k];
            const uint64_t inside = ((uint64_t(1) << last) - 1) & ~((uint64_t(2) << first) - 1);
            if (run & inside) {
                unsigned prev = first;
                for (uint64_t m = ends & (ends - 1); m; m &= m - 1) {
                    unsigned k = bits::Low64(m);
                    if (k - prev > longest) longest = k - prev;
                    prev = k;
                }
            }
        }
        s.maxLineLength = longest;

        while (s.toIndex_ < count) {
            unsigned k;
#if TV_HAVE_AVX2_PATH
            if (Bmi2) k = SelectBitBmi2(ends, static_cast<unsigned>(s.toIndex_));
            else
#endif
                k = SelectBit(ends, static_cast<unsigned>(s.toIndex_));
            if (s.indexComplete)
                s.indexComplete = s.index_.push_back(static_cast<int64_t>((base + k + 1) * uint64_t(s.width_)));
            s.toIndex_ += s.stride_;
        }
        s.toIndex_ -= count;
        s.lineCount += count;
        s.lineStart_ = base + last + 1;
    }

    // The last n (< 64) units, unit by unit.
    template <bool Bmi2>
    static void Tail(LineScanner& s, const unsigned char* p, unsigned n) {
        uint64_t cr = 0, lf = 0;
        const unsigned w = static_cast<unsigned>(s.width_);
        for (unsigned k = 0; k < n; k++) {
            unsigned u = w == 1 ? p[k] : s.bigEndian_ ? (p[2 * k] << 8 | p[2 * k + 1]) : (p[2 * k] | p[2 * k + 1] << 8);
            cr |= uint64_t(u == 0x0D) << k;
            lf |= uint64_t(u == 0x0A) << k;
        }
        Lines<Bmi2>(s, cr, lf, n);
    }

    template <bool Bmi2, class Masks>
    static TV_ALWAYS_INLINE void Run(LineScanner& s, const unsigned char* data, size_t units, const Masks& masks) {
        const size_t w = static_cast<size_t>(s.width_);
        size_t i = 0;
        for (; i + Block <= units; i += Block) {
            uint64_t lf;
            uint64_t cr = masks(data + i * w, lf);
            if ((cr | lf) == 0 && !s.pending_) {
                s.pos_ += Block;
                continue;
            }
            Lines<Bmi2>(s, cr, lf, Block);
        }
        if (i < units) Tail<Bmi2>(s, data + i * w, static_cast<unsigned>(units - i));
    }

    struct ScalarBytes {
        uint64_t operator()(const unsigned char* p, uint64_t& lf) const {
            uint64_t cr = 0;
            lf = 0;
            for (unsigned q = 0; q < 8; q++) {
                uint64_t v = Load64(p + 8 * q);
                cr |= GatherBytes(ZeroBytes(v ^ 0x0D0D0D0D0D0D0D0Dull)) << (8 * q);
                lf |= GatherBytes(ZeroBytes(v ^ 0x0A0A0A0A0A0A0A0Aull)) << (8 * q);
            }
            return cr;
        }
    };
    struct ScalarUnits16 {
        uint64_t crWord, lfWord;
        uint64_t operator()(const unsigned char* p, uint64_t& lf) const {
            uint64_t cr = 0;
            lf = 0;
            for (unsigned q = 0; q < 16; q++) {
                uint64_t v = Load64(p + 8 * q);
                cr |= GatherLanes16(ZeroLanes16(v ^ crWord)) << (4 * q);
                lf |= GatherLanes16(ZeroLanes16(v ^ lfWord)) << (4 * q);
            }
            return cr;
        }
    };

    static void Scalar(LineScanner& s, const unsigned char* data, size_t units) {
#if TV_SCAN_BIG_ENDIAN_HOST
        for (size_t i = 0; i < units; i += Block) {
            unsigned n = units - i < Block ? static_cast<unsigned>(units - i) : Block;
            Tail<false>(s, data + i * s.width_, n);
        }
#else
        if (s.width_ == 1) {
            Run<false>(s, data, units, ScalarBytes{});
        } else {
            // 16-bit units as read little-endian from memory.
            const uint64_t cr = s.bigEndian_ ? 0x0D00 : 0x000D, lf = s.bigEndian_ ? 0x0A00 : 0x000A;
            Run<false>(s, data, units, ScalarUnits16{0x0001000100010001ull * cr, 0x0001000100010001ull * lf});
        }
#endif
    }

#if TV_HAVE_SSE2_PATH
    struct Sse2Bytes {
        __m128i cr, lf;
        uint64_t operator()(const unsigned char* p, uint64_t& lfm) const {
            uint64_t crm = 0;
            lfm = 0;
            for (unsigned q = 0; q < 4; q++) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * q));
                crm |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)))) << (16 * q);
                lfm |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)))) << (16 * q);
            }
            return crm;
        }
    };
    struct Sse2Units16 {
        __m128i cr, lf;
        uint64_t operator()(const unsigned char* p, uint64_t& lfm) const {
            uint64_t crm = 0;
            lfm = 0;
            for (unsigned q = 0; q < 4; q++) {
                __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * q));
                __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32 * q + 16));
                __m128i c = _mm_packs_epi16(_mm_cmpeq_epi16(a, cr), _mm_cmpeq_epi16(b, cr));
                __m128i l = _mm_packs_epi16(_mm_cmpeq_epi16(a, lf), _mm_cmpeq_epi16(b, lf));
                crm |= uint64_t(uint32_t(_mm_movemask_epi8(c))) << (16 * q);
                lfm |= uint64_t(uint32_t(_mm_movemask_epi8(l))) << (16 * q);
            }
            return crm;
        }
    };
    static void Sse2(LineScanner& s, const unsigned char* data, size_t units) {
        if (s.width_ == 1) {
            Run<false>(s, data, units, Sse2Bytes{_mm_set1_epi8(0x0D), _mm_set1_epi8(0x0A)});
        } else {
            short cr = s.bigEndian_ ? 0x0D00 : 0x000D, lf = s.bigEndian_ ? 0x0A00 : 0x000A;
            Run<false>(s, data, units, Sse2Units16{_mm_set1_epi16(cr), _mm_set1_epi16(lf)});
        }
    }
#endif

#if TV_HAVE_AVX2_PATH
    struct Avx2Bytes {
        __m256i cr, lf;
        TV_TARGET_AVX2 uint64_t operator()(const unsigned char* p, uint64_t& lfm) const {
            __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
            lfm = uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, lf)))) |
                  uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, lf)))) << 32;
            return uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, cr)))) |
                   uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, cr)))) << 32;
        }
    };
    // Units packed into bytes with unsigned saturation: a byte is 0D or 0A
    // only where its unit was 000D or 000A (units above FF give FF, those
    // with the top bit set 00). Big-endian units are swapped first.
    template <bool Swap>
    struct Avx2Units16 {
        __m256i cr, lf, swap;
        TV_TARGET_AVX2 __m256i Load(const unsigned char* p) const {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            return Swap ? _mm256_shuffle_epi8(v, swap) : v;
        }
        // Packing works within 128-bit lanes; the permute puts the units back in order.
        TV_TARGET_AVX2 __m256i Pack(const unsigned char* p) const {
            return _mm256_permute4x64_epi64(_mm256_packus_epi16(Load(p), Load(p + 32)), 0xD8);
        }
        TV_TARGET_AVX2 uint64_t operator()(const unsigned char* p, uint64_t& lfm) const {
            const __m256i a = Pack(p), b = Pack(p + 64);
            lfm = uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, lf)))) |
                  uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, lf)))) << 32;
            return uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, cr)))) |
                   uint64_t(uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, cr)))) << 32;
        }
    };
    static TV_TARGET_AVX2 void Avx2(LineScanner& s, const unsigned char* data, size_t units) {
        const __m256i cr = _mm256_set1_epi8(0x0D), lf = _mm256_set1_epi8(0x0A);
        if (s.width_ == 1) {
            Run<true>(s, data, units, Avx2Bytes{cr, lf});
        } else if (s.bigEndian_) {
            const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2,
                                                  5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
            Run<true>(s, data, units, Avx2Units16<true>{cr, lf, swap});
        } else {
            Run<true>(s, data, units, Avx2Units16<false>{cr, lf, cr});
        }
    }
#endif
};

LineScanner::LineScanner(LineIndex& index, int unitWidth, bool bigEndian, uint64_t stride)
    : index_(index), width_(unitWidth == 2 ? 2 : 1), bigEndian_(bigEndian), stride_(stride ? stride : 1) {
    toIndex_ = (stride_ - lineCount % stride_) % stride_;
}

void LineScanner::Shifts(uint64_t longest) {
    // Doubling steps: after them each bit stands for `longest` units (below
    // 64 here, so at most 6 steps).
    shiftCount_ = 0;
    for (uint64_t have = 1; have < longest && shiftCount_ < sizeof shifts_;) {
        const uint64_t step = have < longest - have ? have : longest - have;
        shifts_[shiftCount_++] = static_cast<unsigned char>(step);
        have += step;
    }
    shiftsFor_ = longest;
}

void LineScanner::EndLine(uint64_t nextStart) {
    uint64_t len = nextStart - lineStart_;
    if (len > maxLineLength) maxLineLength = len;
    if (toIndex_ == 0) {
        if (indexComplete) indexComplete = index_.push_back(static_cast<int64_t>(nextStart * uint64_t(width_)));
        toIndex_ = stride_;
    }
    toIndex_--;
    lineCount++;
    lineStart_ = nextStart;
}

void LineScanner::Feed(const unsigned char* data, size_t units) {
    if (units == 0) return;
    switch (simd_level::Current()) {
#if TV_HAVE_AVX2_PATH
    case simd_level::Avx2: ScanKernel::Avx2(*this, data, units); break;
#endif
#if TV_HAVE_SSE2_PATH
    case simd_level::Sse2: ScanKernel::Sse2(*this, data, units); break;
#endif
    default: ScanKernel::Scalar(*this, data, units); break;
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

LineScanner::Position LineScanner::Where() const {
    Position p;
    p.units = pos_;
    p.lineStart = lineStart_;
    p.toIndex = toIndex_;
    p.lineCount = lineCount;
    p.maxLineLength = maxLineLength;
    p.pending = pending_;
    p.indexComplete = indexComplete;
    return p;
}

void LineScanner::GoOn(const Position& p) {
    pos_ = p.units;
    lineStart_ = p.lineStart;
    toIndex_ = p.toIndex;
    lineCount = p.lineCount;
    maxLineLength = p.maxLineLength;
    pending_ = p.pending;
    indexComplete = p.indexComplete;
}
