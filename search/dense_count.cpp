// BasicMatcher::Count: every occurrence of a short search text in one pass.
// Each window of 16 or 32 bytes of text is compared with every unit of the
// search text (a window whose first and last units cannot start or end one
// is passed over after two compares), which gives the occurrences as a bit
// mask. The whole-word rule and the ANSI rule are masks of the same window;
// a search text that cannot overlap itself counts the mask's bits, any
// other takes its occurrences in order. No occurrence is looked at twice
// and nothing is called per occurrence.
#include "search/matcher.h"

#include <cstdint>
#include <cstring>

#include "core/bit_scan.h"
#include "core/simd_level.h"
#include "search/match_rules.h"

#if TV_HAVE_SSE2_PATH
#include <emmintrin.h>
#endif
#if TV_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

namespace {

// The text, the search text and the running results of one count.
template <class U>
struct DenseCount {
    const U* text;
    size_t n;
    const U (*key)[32 / sizeof(U)];
    const U (*ors)[32 / sizeof(U)];
    bool wholeWord, asciiBefore, overlaps;
    std::vector<size_t>* unsure;
    bool nuls = false;  // tell whether the text holds a NUL
    uint64_t count = 0;
    size_t next = 0;  // where an occurrence may start that overlaps no counted one
    bool seen = false, sure = true, nul = false;
};

// One bit per byte: the low bit of each unit's bits stands for the unit.
template <class U>
constexpr uint32_t UnitBits() { return sizeof(U) == 2 ? 0x55555555u : 0xFFFFFFFFu; }

// The positions of the window at p whose inner units (all but the first
// and the last, n - 2 of them) fit, compared without a loop: `match` is the
// compare of one unit, `all` the mask of every unit.
#define TV_INNER_UNITS(match, all)                                                                          \
    switch (c.n) {                                                                                          \
    case 16: match(14); [[fallthrough]];                                                                    \
    case 15: match(13); [[fallthrough]];                                                                    \
    case 14: match(12); [[fallthrough]];                                                                    \
    case 13: match(11); [[fallthrough]];                                                                    \
    case 12: match(10); [[fallthrough]];                                                                    \
    case 11: match(9); [[fallthrough]];                                                                     \
    case 10: match(8); [[fallthrough]];                                                                     \
    case 9: match(7); [[fallthrough]];                                                                      \
    case 8: match(6); [[fallthrough]];                                                                      \
    case 7: match(5); [[fallthrough]];                                                                      \
    case 6: match(4); [[fallthrough]];                                                                      \
    case 5: match(3); [[fallthrough]];                                                                      \
    case 4: match(2); [[fallthrough]];                                                                      \
    case 3: match(1); [[fallthrough]];                                                                      \
    default: return all;                                                                                    \
    }
static_assert(BasicMatcher<char16_t>::CountMax == 16 && BasicMatcher<unsigned char>::CountMax == 16,
              "one case for each inner unit");

// Masks of 16 (SSE2) or 32 (AVX2) bytes of units from p, one bit per byte:
// the units that, or-ed with those at o, equal those at k; the ASCII letters
// ((u | 0x20) - 'a' is at most 25); the bytes above 127.
#if TV_HAVE_SSE2_PATH
template <class U>
struct Sse2Ops {
    static constexpr size_t Units = 16 / sizeof(U);
    static __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static uint32_t Equal(const U* p, const U* o, const U* k) {
        const __m128i a = _mm_or_si128(Load(p), Load(o)), b = Load(k);
        return uint32_t(_mm_movemask_epi8(sizeof(U) == 1 ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b)));
    }
    static uint32_t Letters(const U* p) {
        if (sizeof(U) == 1) {
            const __m128i x = _mm_sub_epi8(_mm_or_si128(Load(p), _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
            return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(x, _mm_set1_epi8(25)), _mm_setzero_si128())));
        }
        const __m128i x = _mm_sub_epi16(_mm_or_si128(Load(p), _mm_set1_epi16(0x20)), _mm_set1_epi16('a'));
        return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(x, _mm_set1_epi16(25)), _mm_setzero_si128())));
    }
    static uint32_t High(const U* p) { return uint32_t(_mm_movemask_epi8(Load(p))); }
    static __m128i Same(__m128i a, __m128i b) { return sizeof(U) == 1 ? _mm_cmpeq_epi8(a, b) : _mm_cmpeq_epi16(a, b); }
    // The line ends: LF, and CR not followed by LF (p[Units] is read).
    static uint32_t LineEnds(const U* p) {
        const __m128i a = Load(p), lf = simd::Splat(U('\n'));
        const __m128i cr = _mm_andnot_si128(Same(Load(p + 1), lf), Same(a, simd::Splat(U('\r'))));
        return uint32_t(_mm_movemask_epi8(_mm_or_si128(Same(a, lf), cr)));
    }
    static uint32_t LineFeeds(const U* p) { return uint32_t(_mm_movemask_epi8(Same(Load(p), simd::Splat(U('\n'))))); }
    // The units that are NUL, gathered over windows.
    struct Nuls {
        __m128i acc = _mm_setzero_si128();
        void Add(const U* p) { acc = _mm_or_si128(acc, Same(Load(p), _mm_setzero_si128())); }
        bool Any() const { return _mm_movemask_epi8(acc) != 0; }
    };
    // LFs counted in each byte lane, for at most 255 windows between Takes.
    struct Feeds {
        __m128i acc = _mm_setzero_si128();
        void Add(const U* p) { acc = _mm_sub_epi8(acc, Same(Load(p), simd::Splat(U('\n')))); }
        size_t Take() {
            const __m128i s = _mm_sad_epu8(acc, _mm_setzero_si128());
            acc = _mm_setzero_si128();
            return size_t(_mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(s, s))) / sizeof(U);
        }
    };
    static uint32_t Inner(const DenseCount<U>& c, const U* p) {
        __m128i m = _mm_set1_epi8(-1);
#define TV_MATCH(k) m = _mm_and_si128(m, Same(_mm_or_si128(Load(p + k), Load(c.ors[k])), Load(c.key[k])))
        TV_INNER_UNITS(TV_MATCH, uint32_t(_mm_movemask_epi8(m)))
#undef TV_MATCH
    }
    // The positions whose first and last units fit.
    struct Ends {
        __m128i k0, o0, kl, ol;
        size_t last;
        explicit Ends(const DenseCount<U>& c)
            : k0(Load(c.key[0])), o0(Load(c.ors[0])), kl(Load(c.key[c.n - 1])), ol(Load(c.ors[c.n - 1])),
              last(c.n - 1) {}
        uint32_t operator()(const U* p) const {
            const __m128i a = _mm_or_si128(Load(p), o0), b = _mm_or_si128(Load(p + last), ol);
            return sizeof(U) == 1 ? uint32_t(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, k0), _mm_cmpeq_epi8(b, kl))))
                                  : uint32_t(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi16(a, k0), _mm_cmpeq_epi16(b, kl))));
        }
    };
};
#endif

#if TV_HAVE_AVX2_PATH
template <class U>
struct Avx2Ops {
    static constexpr size_t Units = 32 / sizeof(U);
    static TV_TARGET_AVX2 __m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static TV_TARGET_AVX2 uint32_t Equal(const U* p, const U* o, const U* k) {
        const __m256i a = _mm256_or_si256(Load(p), Load(o)), b = Load(k);
        return uint32_t(_mm256_movemask_epi8(sizeof(U) == 1 ? _mm256_cmpeq_epi8(a, b) : _mm256_cmpeq_epi16(a, b)));
    }
    static TV_TARGET_AVX2 uint32_t Letters(const U* p) {
        const __m256i zero = _mm256_setzero_si256();
        if (sizeof(U) == 1) {
            const __m256i x = _mm256_sub_epi8(_mm256_or_si256(Load(p), _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
            return uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_subs_epu8(x, _mm256_set1_epi8(25)), zero)));
        }
        const __m256i x = _mm256_sub_epi16(_mm256_or_si256(Load(p), _mm256_set1_epi16(0x20)), _mm256_set1_epi16('a'));
        return uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi16(_mm256_subs_epu16(x, _mm256_set1_epi16(25)), zero)));
    }
    static TV_TARGET_AVX2 uint32_t High(const U* p) { return uint32_t(_mm256_movemask_epi8(Load(p))); }
    static TV_TARGET_AVX2 __m256i Same(__m256i a, __m256i b) {
        return sizeof(U) == 1 ? _mm256_cmpeq_epi8(a, b) : _mm256_cmpeq_epi16(a, b);
    }
    static TV_TARGET_AVX2 __m256i Splat(U u) {
        return sizeof(U) == 1 ? _mm256_set1_epi8(char(u)) : _mm256_set1_epi16(short(u));
    }
    static TV_TARGET_AVX2 uint32_t LineEnds(const U* p) {
        const __m256i a = Load(p), lf = Splat(U('\n'));
        const __m256i cr = _mm256_andnot_si256(Same(Load(p + 1), lf), Same(a, Splat(U('\r'))));
        return uint32_t(_mm256_movemask_epi8(_mm256_or_si256(Same(a, lf), cr)));
    }
    static TV_TARGET_AVX2 uint32_t LineFeeds(const U* p) {
        return uint32_t(_mm256_movemask_epi8(Same(Load(p), Splat(U('\n')))));
    }
    struct Nuls {
        __m256i acc;
        TV_TARGET_AVX2 Nuls() : acc(_mm256_setzero_si256()) {}
        TV_TARGET_AVX2 void Add(const U* p) { acc = _mm256_or_si256(acc, Same(Load(p), _mm256_setzero_si256())); }
        TV_TARGET_AVX2 bool Any() const { return _mm256_movemask_epi8(acc) != 0; }
    };
    struct Feeds {
        __m256i acc;
        TV_TARGET_AVX2 Feeds() : acc(_mm256_setzero_si256()) {}
        TV_TARGET_AVX2 void Add(const U* p) { acc = _mm256_sub_epi8(acc, Same(Load(p), Splat(U('\n')))); }
        TV_TARGET_AVX2 size_t Take() {
            const __m256i s = _mm256_sad_epu8(acc, _mm256_setzero_si256());
            const __m128i t = _mm_add_epi64(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
            acc = _mm256_setzero_si256();
            return size_t(_mm_cvtsi128_si32(t) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(t, t))) / sizeof(U);
        }
    };
    static TV_TARGET_AVX2 uint32_t Inner(const DenseCount<U>& c, const U* p) {
        __m256i m = _mm256_set1_epi8(-1);
#define TV_MATCH(k) m = _mm256_and_si256(m, Same(_mm256_or_si256(Load(p + k), Load(c.ors[k])), Load(c.key[k])))
        TV_INNER_UNITS(TV_MATCH, uint32_t(_mm256_movemask_epi8(m)))
#undef TV_MATCH
    }
    struct Ends {
        __m256i k0, o0, kl, ol;
        size_t last;
        TV_TARGET_AVX2 explicit Ends(const DenseCount<U>& c)
            : k0(Load(c.key[0])), o0(Load(c.ors[0])), kl(Load(c.key[c.n - 1])), ol(Load(c.ors[c.n - 1])),
              last(c.n - 1) {}
        TV_TARGET_AVX2 uint32_t operator()(const U* p) const {
            const __m256i a = _mm256_or_si256(Load(p), o0), b = _mm256_or_si256(Load(p + last), ol);
            return sizeof(U) == 1
                       ? uint32_t(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, k0), _mm256_cmpeq_epi8(b, kl))))
                       : uint32_t(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi16(a, k0), _mm256_cmpeq_epi16(b, kl))));
        }
    };
};
#endif

// The occurrences m of the window at p (which holds the units from
// position at of the text) with no letter right before or after them.
template <class U, class Ops>
TV_ALWAYS_INLINE uint32_t WholeWords(const DenseCount<U>& c, const U* p, size_t at, uint32_t m) {
    const uint32_t before = (Ops::Letters(p) << sizeof(U)) | uint32_t(at >= 1 && IsLetter(c.text[at - 1]));
    return m & ~(before | Ops::Letters(p + c.n));
}

// The occurrences among candidates m of the window at p, which holds the
// units from position at of the text; false when the count stops.
// Plain: no rule and no overlaps (known at compile time, the common case).
template <class U, class Ops, bool Plain>
TV_ALWAYS_INLINE bool Window(DenseCount<U>& c, const U* p, size_t at, uint32_t m) {
    m &= Ops::Inner(c, p) & UnitBits<U>();
    if (!m) return true;
    c.seen = true;
    if (Plain) {
        c.count += bits::Count(m);
        return true;
    }
    const U* t = c.text;
    if (c.asciiBefore) {
        const uint32_t high = Ops::High(p);
        const uint32_t b1 = at >= 1 && t[at - 1] >= 0x80, b2 = at >= 2 && t[at - 2] >= 0x80;
        const uint32_t odd = m & ((high << 1) | (high << 2) | b1 | (b1 << 1) | b2);
        if (odd) {
            if (!c.unsure || c.overlaps) {
                c.sure = false;
                return false;
            }
            for (uint32_t u = odd; u; u &= u - 1) c.unsure->push_back(at + bits::Low(u) / sizeof(U));
            m &= ~odd;
        }
    }
    if (c.wholeWord) m = WholeWords<U, Ops>(c, p, at, m);
    if (!c.overlaps) {
        c.count += bits::Count(m);
        return true;
    }
    for (; m; m &= m - 1) {
        const size_t s = at + bits::Low(m) / sizeof(U);
        if (s >= c.next) {
            ++c.count;
            c.next = s + c.n;
        }
    }
    return true;
}

// GatherNuls: the count also tells in c.nul whether the text holds a NUL.
template <class U, class Ops, bool Plain, bool GatherNuls>
TV_ALWAYS_INLINE void CountText(DenseCount<U>& c, size_t len) {
    constexpr size_t W = Ops::Units;
    const typename Ops::Ends ends(c);
    const U* t = c.text;
    const size_t n = c.n;
    typename Ops::Nuls nuls;
    // Windows whose loads stay inside the text (the whole-word test reads
    // the unit after an occurrence), two at a time.
    const U* p = t;
    for (size_t pairs = len >= n ? (len - n) / (2 * W) : 0; pairs; --pairs, p += 2 * W) {
        if (GatherNuls) {
            nuls.Add(p);
            nuls.Add(p + W);
        }
        const uint32_t a = ends(p), b = ends(p + W);
        if (!(a | b)) continue;
        if (a && !Window<U, Ops, Plain>(c, p, size_t(p - t), a)) return;
        if (b && !Window<U, Ops, Plain>(c, p + W, size_t(p - t) + W, b)) return;
    }
    size_t i = size_t(p - t);
    if (GatherNuls) {
        c.nul = nuls.Any();
        for (size_t k = i; k < len; ++k) c.nul |= t[k] == 0;
    }
    if (len - i >= W + n) {
        const uint32_t a = ends(p);
        if (a && !Window<U, Ops, Plain>(c, p, i, a)) return;
        i += W;
    }
    // The rest, fewer than W + n units, from a copy with zeros after it: no
    // occurrence takes a zero in, and a zero is no letter.
    if (len - i >= n) {
        U rest[W + BasicMatcher<U>::CountMax] = {};
        std::memcpy(rest, t + i, (len - i) * sizeof(U));
        const uint32_t a = ends(rest);
        if (a) Window<U, Ops, Plain>(c, rest, i, a);
    }
}

template <class U, class Ops, bool GatherNuls>
TV_ALWAYS_INLINE void Count(DenseCount<U>& c, size_t len) {
    if (c.wholeWord || c.asciiBefore || c.overlaps) CountText<U, Ops, false, GatherNuls>(c, len);
    else CountText<U, Ops, true, GatherNuls>(c, len);
}

template <class U, class Ops>
TV_ALWAYS_INLINE void Count(DenseCount<U>& c, size_t len) {
    if (c.nuls) Count<U, Ops, true>(c, len);
    else Count<U, Ops, false>(c, len);
}

// The lines holding an accepted occurrence: every window's line ends are
// counted as the windows go, so an occurrence's line is the ends before its
// window and those before it within the window.
struct LineList {
    LineSpans& lines;
    size_t line = 0;           // line ends before the window
    size_t listed = SIZE_MAX;  // the last line listed
};

// The window at p, whose candidates (first and last units fit) are m and
// whose line ends are e.
template <class U, class Ops>
TV_ALWAYS_INLINE void ListWindow(const DenseCount<U>& c, LineList& out, const U* p, size_t at, uint32_t m,
                                 uint32_t e) {
    e &= UnitBits<U>();
    if (m) m &= Ops::Inner(c, p) & UnitBits<U>();
    if (m && c.wholeWord) m = WholeWords<U, Ops>(c, p, at, m);
    for (; m; m &= m - 1) {
        const size_t k = out.line + bits::Count(e & ((uint32_t(1) << bits::Low(m)) - 1));
        if (k != out.listed) AddLine(out.lines, out.listed = k);
    }
    out.line += bits::Count(e);
}

// One listing pass; nul tells whether the text holds a NUL. Feeds: the
// lines are numbered by their LFs alone, and the LFs of the whole text are
// returned (a CR not followed by LF, which also ends a line, is not seen);
// windows are taken two at a time as Count takes them, and the LFs of
// those without a candidate are summed in vector lanes.
template <class U, class Ops, bool Feeds>
TV_ALWAYS_INLINE size_t ListText(const DenseCount<U>& c, size_t len, LineSpans& lines, bool& nul) {
    constexpr size_t W = Ops::Units;
    const typename Ops::Ends ends(c);
    LineList out{lines};
    typename Ops::Nuls nuls;
    const U* p = c.text;
    size_t i = 0;
    if (Feeds) {
        typename Ops::Feeds feeds;
        // A lane takes at most 2 a pair: 127 pairs fit in its byte.
        for (size_t pairs = len >= c.n ? (len - c.n) / (2 * W) : 0; pairs;) {
            for (size_t run = pairs < 127 ? pairs : 127; run; --run, --pairs, p += 2 * W, i += 2 * W) {
                nuls.Add(p);
                nuls.Add(p + W);
                const uint32_t a = ends(p), b = ends(p + W);
                if (!(a | b)) {
                    feeds.Add(p);
                    feeds.Add(p + W);
                    continue;
                }
                out.line += feeds.Take();
                ListWindow<U, Ops>(c, out, p, i, a, Ops::LineFeeds(p));
                ListWindow<U, Ops>(c, out, p + W, i + W, b, Ops::LineFeeds(p + W));
            }
            out.line += feeds.Take();
        }
    }
    for (; len - i >= W + c.n; i += W, p += W) {
        nuls.Add(p);
        ListWindow<U, Ops>(c, out, p, i, ends(p), Feeds ? Ops::LineFeeds(p) : Ops::LineEnds(p));
    }
    nul = nuls.Any();
    // The rest, fewer than W + n units, from a copy with zeros after it: no
    // occurrence takes a zero in, a zero is no letter and no line end. Every
    // occurrence starts in its first W units; with Feeds, the LFs after them
    // are counted one by one for the total.
    size_t tail = i;
    if (len - i >= c.n) {
        U rest[W + BasicMatcher<U>::CountMax + 1] = {};
        std::memcpy(rest, c.text + i, (len - i) * sizeof(U));
        ListWindow<U, Ops>(c, out, rest, i, ends(rest), Feeds ? Ops::LineFeeds(rest) : Ops::LineEnds(rest));
        tail = i + W;
    }
    for (size_t k = i; k < len; ++k) nul |= c.text[k] == 0;
    if (Feeds)
        for (size_t k = tail; k < len; ++k) out.line += c.text[k] == U('\n');
    return out.line;
}

template <class U, class Ops>
TV_ALWAYS_INLINE bool List(const DenseCount<U>& c, size_t len, size_t lineEnds, LineSpans& lines) {
    bool nul = false;
    // With no CR alone the LFs are the line ends: the LFs of a text known to
    // hold lineEnds line ends leave no room for one.
    if (lineEnds != SIZE_MAX) {
        const size_t before = lines.size();
        if (ListText<U, Ops, true>(c, len, lines, nul) == lineEnds) return nul;
        lines.resize(before);
    }
    ListText<U, Ops, false>(c, len, lines, nul);
    return nul;
}

#if TV_HAVE_SSE2_PATH
template <class U>
bool ListSse2(DenseCount<U>& c, size_t len, size_t ends, LineSpans& lines) {
    return List<U, Sse2Ops<U>>(c, len, ends, lines);
}
#endif
#if TV_HAVE_AVX2_PATH
template <class U>
TV_TARGET_AVX2 bool ListAvx2(DenseCount<U>& c, size_t len, size_t ends, LineSpans& lines) {
    return List<U, Avx2Ops<U>>(c, len, ends, lines);
}
#endif

#if TV_HAVE_SSE2_PATH
template <class U>
void CountSse2(DenseCount<U>& c, size_t len) { Count<U, Sse2Ops<U>>(c, len); }
#endif
#if TV_HAVE_AVX2_PATH
template <class U>
TV_TARGET_AVX2 void CountAvx2(DenseCount<U>& c, size_t len) { Count<U, Avx2Ops<U>>(c, len); }
#endif

} // namespace

template <class U>
bool BasicMatcher<U>::Count(const CountRule& rule, uint64_t& count, bool& seen, bool& sure) const {
    if (n_ == 0 || n_ > CountMax) return false;
    DenseCount<U> c{text_, n_, laneKey_, laneOr_, rule.wholeWord, rule.asciiBefore && sizeof(U) == 1, overlaps_,
                    rule.unsure, rule.nul != nullptr};
    switch (simd_level::Current()) {
#if TV_HAVE_AVX2_PATH
    case simd_level::Avx2: CountAvx2(c, len_); break;
#endif
#if TV_HAVE_SSE2_PATH
    case simd_level::Sse2: CountSse2(c, len_); break;
#endif
    default: return false;
    }
    seen = c.seen;
    sure = c.sure;
    // A count stopped early has not seen every unit.
    if (rule.nul) *rule.nul = c.nul || !sure;
    if (sure) count += c.count;
    return true;
}

template <class U>
bool BasicMatcher<U>::ListLines(bool wholeWord, size_t lineEnds, LineSpans& lines, bool& nul) const {
    if (n_ == 0 || n_ > CountMax) return false;
    DenseCount<U> c{text_, n_, laneKey_, laneOr_, wholeWord, false, overlaps_, nullptr};
    switch (simd_level::Current()) {
#if TV_HAVE_AVX2_PATH
    case simd_level::Avx2: nul = ListAvx2(c, len_, lineEnds, lines); return true;
#endif
#if TV_HAVE_SSE2_PATH
    case simd_level::Sse2: nul = ListSse2(c, len_, lineEnds, lines); return true;
#endif
    default: return false;
    }
}

template bool BasicMatcher<char16_t>::ListLines(bool, size_t, LineSpans&, bool&) const;
template bool BasicMatcher<unsigned char>::ListLines(bool, size_t, LineSpans&, bool&) const;
template bool BasicMatcher<char16_t>::Count(const CountRule&, uint64_t&, bool&, bool&) const;
template bool BasicMatcher<unsigned char>::Count(const CountRule&, uint64_t&, bool&, bool&) const;
