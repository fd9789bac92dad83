#include "search/matcher.h"

#include "core/simd_level.h"
#include "search/match_rules.h"
#include "search/simd.h"

#if TV_HAVE_AVX2_PATH
#include <immintrin.h>
#endif

namespace {

// Verification work allowed before a scan switches to the automaton:
// a fixed allowance plus this many units per position covered.
constexpr uint64_t WorkAllowance = 4096;
constexpr uint64_t WorkPerUnit = 16;

template <class U>
inline U Fold(U u) { return (u >= U('A') && u <= U('Z')) ? U(u | 0x20) : u; }

template <class U>
inline void FilterPair(U p, bool fold, U& a, U& b) {
    if (fold && IsLetter(p)) {
        a = U(p | 0x20);
        b = U(p & ~0x20);
    } else {
        a = b = p;
    }
}

template <class S>
void BuildFailure(const S& key, std::vector<uint32_t>& fail) {
    size_t n = key.size();
    fail.assign(n, 0);
    uint32_t q = 0;
    for (size_t i = 1; i < n; ++i) {
        while (q > 0 && key[i] != key[q]) q = fail[q - 1];
        if (key[i] == key[q]) ++q;
        fail[i] = q;
    }
}

} // namespace

template <class U>
BasicMatcher<U>::BasicMatcher(const Str& text, bool matchCase) : matchCase_(matchCase) {
    // The search text ends at its first NUL, as the searched text does.
    const Str pat = text.substr(0, text.find(U(0)));
    n_ = pat.size();
    pattern_ = pat;
    folded_ = pat;
    for (auto& u : folded_) u = Fold(u);
    key_ = matchCase ? pat : folded_;
    if (n_ > 0) {
        std::vector<uint32_t> fail;
        BuildFailure(key_, fail);
        overlaps_ = fail[n_ - 1] > 0;
    }
    if (n_ <= CountMax)
        for (size_t k = 0; k < n_; ++k)
            for (size_t j = 0; j < 32 / sizeof(U); ++j) {
                laneKey_[k][j] = key_[k];
                laneOr_[k][j] = !matchCase && IsLetter(key_[k]) ? U(0x20) : U(0);
            }
    if (n_ > 0) {
        FilterPair(pat[0], !matchCase, firstA_, firstB_);
        FilterPair(pat[n_ - 1], !matchCase, lastA_, lastB_);
        FilterPair(pat[0], true, fFirstA_, fFirstB_);
        FilterPair(pat[n_ - 1], true, fLastA_, fLastB_);
    }
#if TV_SSE2
    vFirstA_ = simd::Splat(firstA_);
    vFirstB_ = simd::Splat(firstB_);
    vLastA_ = simd::Splat(lastA_);
    vLastB_ = simd::Splat(lastB_);
    vfFirstA_ = simd::Splat(fFirstA_);
    vfFirstB_ = simd::Splat(fFirstB_);
    vfLastA_ = simd::Splat(fLastA_);
    vfLastB_ = simd::Splat(fLastB_);
#endif
}

template <class U>
void BasicMatcher<U>::Begin(const U* text, size_t len, bool padded) {
    text_ = text;
    len_ = len;
    padded_ = padded;
    fwdKmp_ = bwdKmp_ = false;
    fwdPos_ = fwdQ_ = bwdPos_ = bwdQ_ = bwdExactQ_ = 0;
    fwdWork_ = bwdWork_ = 0;
    fwdReach_ = 0;
    bwdReach_ = len;
#if TV_HAVE_AVX2_PATH
    avx2_ = simd_level::Current() == simd_level::Avx2;
#endif
}

template <class U>
bool BasicMatcher<U>::VerifyKey(const U* at) {
    const U* k = key_.data();
    size_t last = n_ - 1;
    size_t i = 1;
    if (matchCase_) {
        while (i < last && at[i] == k[i]) ++i;
    } else {
        while (i < last && Fold(at[i]) == k[i]) ++i;
    }
    fwdWork_ += i + 1;
    return i >= last;
}

template <class U>
bool BasicMatcher<U>::VerifyFolded(const U* at) {
    const U* k = folded_.data();
    size_t last = n_ - 1;
    size_t i = 1;
    while (i < last && Fold(at[i]) == k[i]) ++i;
    bwdWork_ += i + 1;
    if (i < last) return false;
    if (matchCase_) {
        const U* e = pattern_.data();
        size_t j = 0;
        while (j < n_ && at[j] == e[j]) ++j;
        bwdWork_ += j;
        lastExact_ = j == n_;
    }
    return true;
}

template <class U>
void BasicMatcher<U>::BuildForwardTable() {
    if (fwdFail_.size() != n_) BuildFailure(key_, fwdFail_);
}

template <class U>
void BasicMatcher<U>::BuildBackwardTable() {
    if (bwdFail_.size() != n_) {
        Str rev(folded_.rbegin(), folded_.rend());
        BuildFailure(rev, bwdFail_);
        Str exact(pattern_.rbegin(), pattern_.rend());
        BuildFailure(exact, bwdExactFail_);
    }
}

template <class U>
size_t BasicMatcher<U>::Next(size_t from, size_t end) {
    if (end > len_) end = len_;
    if (n_ == 0 || from > end || end - from < n_) return NoMatch;
    if (from > fwdReach_) fwdReach_ = from;
    if (!fwdKmp_ && fwdWork_ > WorkAllowance + WorkPerUnit * fwdReach_) {
        fwdKmp_ = true;
        fwdPos_ = from;
        fwdQ_ = 0;
    }
    if (fwdKmp_) return NextKmp(from, end);
    const U* t = text_;
    const size_t last = end - n_;  // highest candidate start
    const size_t off = n_ - 1;
    size_t i = from;
#if TV_HAVE_AVX2_PATH
    if (avx2_) {
        size_t r;
        if (NextAvx2(i, last, from, end, r)) return r;
    }
#endif
#if TV_SSE2
    const __m128i a0 = vFirstA_, b0 = vFirstB_, a1 = vLastA_, b1 = vLastB_;
    // With padding the last block of candidates is read whole and cut to size.
    const size_t stop = padded_ ? last + 16 : last + 1;
    while (i < stop && stop - i >= 16) {
        uint32_t m = simd::Mask16(t + i, t + i + off, a0, b0, a1, b1);
        if (last - i < 15) m &= (1u << ((last - i + 1) * sizeof(U))) - 1;
        while (m) {
            unsigned bit = bits::Low(m);
            size_t s = i + bit / sizeof(U);
            m &= ~(simd::PositionBits<U>() << (bit & ~unsigned(sizeof(U) - 1)));
            if (VerifyKey(t + s)) return s;
        }
        i += 16;
        if (i > fwdReach_) fwdReach_ = i;
        if (fwdWork_ > WorkAllowance + WorkPerUnit * fwdReach_) {
            fwdKmp_ = true;
            fwdPos_ = i;
            fwdQ_ = 0;
            return NextKmp(from, end);
        }
    }
#endif
    for (; i <= last; ++i) {
        U u = t[i], v = t[i + off];
        if ((u == firstA_ || u == firstB_) && (v == lastA_ || v == lastB_) && VerifyKey(t + i)) return i;
        if ((i & 15) == 15) {
            if (i > fwdReach_) fwdReach_ = i;
            if (fwdWork_ > WorkAllowance + WorkPerUnit * fwdReach_) {
                fwdKmp_ = true;
                fwdPos_ = i + 1;
                fwdQ_ = 0;
                return NextKmp(from, end);
            }
        }
    }
    return NoMatch;
}

#if TV_HAVE_AVX2_PATH
namespace {

// Mask of the 32 / sizeof(U) positions at p0 whose unit, or-ed with o0, is
// a0 and whose unit at p1, or-ed with o1, is a1; sizeof(U) bits per position.
// (A folded letter is its lower case with o = 0x20: only bit 5 differs.)
TV_TARGET_AVX2 inline uint32_t PairMask256(const unsigned char* p0, const unsigned char* p1, __m256i a0,
                                           __m256i o0, __m256i a1, __m256i o1) {
    __m256i v0 = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p0)), o0);
    __m256i v1 = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p1)), o1);
    return uint32_t(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(v0, a0), _mm256_cmpeq_epi8(v1, a1))));
}
TV_TARGET_AVX2 inline uint32_t PairMask256(const char16_t* p0, const char16_t* p1, __m256i a0, __m256i o0,
                                           __m256i a1, __m256i o1) {
    __m256i v0 = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p0)), o0);
    __m256i v1 = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p1)), o1);
    return uint32_t(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi16(v0, a0), _mm256_cmpeq_epi16(v1, a1))));
}
TV_TARGET_AVX2 inline __m256i Splat256(unsigned char u) { return _mm256_set1_epi8(char(u)); }
TV_TARGET_AVX2 inline __m256i Splat256(char16_t u) { return _mm256_set1_epi16(short(u)); }

} // namespace

template <class U>
TV_TARGET_AVX2 bool BasicMatcher<U>::NextAvx2(size_t& i, size_t last, size_t from, size_t end, size_t& result) {
    constexpr size_t Step = 32 / sizeof(U);
    // firstA_ is the lower case of a folded letter, firstB_ its upper case.
    const __m256i a0 = Splat256(firstA_), b0 = Splat256(U(firstA_ ^ firstB_)), a1 = Splat256(lastA_),
                  b1 = Splat256(U(lastA_ ^ lastB_));
    const U* t = text_;
    const size_t off = n_ - 1;
    // With padding the last block of candidates is read whole and cut to size.
    const size_t stop = padded_ ? last + Step : last + 1;
    while (i < stop && stop - i >= Step) {
        // Two vectors without a candidate at a time; only verifying costs work.
        while (stop - i >= 2 * Step && (PairMask256(t + i, t + i + off, a0, b0, a1, b1) |
                                        PairMask256(t + i + Step, t + i + Step + off, a0, b0, a1, b1)) == 0)
            i += 2 * Step;
        if (stop - i < Step) break;
        uint32_t m = PairMask256(t + i, t + i + off, a0, b0, a1, b1);
        if (last - i < Step - 1) m &= (1u << ((last - i + 1) * sizeof(U))) - 1;
        i += Step;
        if (!m) continue;
        while (m) {
            unsigned bit = bits::Low(m);
            size_t s = i - Step + bit / sizeof(U);
            m &= ~(simd::PositionBits<U>() << (bit & ~unsigned(sizeof(U) - 1)));
            if (VerifyKey(t + s)) {
                result = s;
                return true;
            }
        }
        if (i > fwdReach_) fwdReach_ = i;
        if (fwdWork_ > WorkAllowance + WorkPerUnit * fwdReach_) {
            fwdKmp_ = true;
            fwdPos_ = i;
            fwdQ_ = 0;
            result = NextKmp(from, end);
            return true;
        }
    }
    return false;
}
#endif

template <class U>
size_t BasicMatcher<U>::NextKmp(size_t from, size_t end) {
    BuildForwardTable();
    const uint32_t* fail = fwdFail_.data();
    const U* k = key_.data();
    size_t pos = fwdPos_, q = fwdQ_;
    if (pos - q < from) {
        if (pos <= from) {
            pos = from;
            q = 0;
        } else {
            while (q > 0 && pos - q < from) q = fail[q - 1];
        }
    }
    const U* t = text_;
    size_t found = NoMatch;
    while (pos < end) {
        U c = matchCase_ ? t[pos] : Fold(t[pos]);
        while (q > 0 && k[q] != c) q = fail[q - 1];
        if (k[q] == c) ++q;
        ++pos;
        if (q == n_) {
            found = pos - n_;
            q = fail[n_ - 1];
            break;
        }
    }
    fwdPos_ = pos;
    fwdQ_ = q;
    return found;
}

template <class U>
size_t BasicMatcher<U>::Last(size_t end) {
    if (end > len_) end = len_;
    if (n_ == 0 || end < n_) return NoMatch;
    if (end < bwdReach_) bwdReach_ = end;
    if (!bwdKmp_ && bwdWork_ > WorkAllowance + WorkPerUnit * (len_ - bwdReach_)) {
        bwdKmp_ = true;
        bwdPos_ = end;
        bwdQ_ = bwdExactQ_ = 0;
    }
    if (bwdKmp_) return LastKmp(end);
    const U* t = text_;
    const size_t off = n_ - 1;
    size_t i = end - n_ + 1;  // candidates below i remain
#if TV_SSE2
    const __m128i a0 = vfFirstA_, b0 = vfFirstB_, a1 = vfLastA_, b1 = vfLastB_;
    while (i >= 16) {
        size_t base = i - 16;
        uint32_t m = simd::Mask16(t + base, t + base + off, a0, b0, a1, b1);
        while (m) {
            unsigned bit = bits::High(m);
            size_t s = base + bit / sizeof(U);
            m &= ~(simd::PositionBits<U>() << (bit & ~unsigned(sizeof(U) - 1)));
            if (VerifyFolded(t + s)) return s;
        }
        i = base;
        if (i < bwdReach_) bwdReach_ = i;
        if (bwdWork_ > WorkAllowance + WorkPerUnit * (len_ - bwdReach_)) {
            bwdKmp_ = true;
            bwdPos_ = (i + off < end) ? i + off : end;
            bwdQ_ = bwdExactQ_ = 0;
            return LastKmp(end);
        }
    }
#endif
    while (i > 0) {
        size_t s = --i;
        U u = t[s], v = t[s + off];
        if ((u == fFirstA_ || u == fFirstB_) && (v == fLastA_ || v == fLastB_) && VerifyFolded(t + s)) return s;
        if ((s & 15) == 0) {
            if (s < bwdReach_) bwdReach_ = s;
            if (bwdWork_ > WorkAllowance + WorkPerUnit * (len_ - bwdReach_)) {
                bwdKmp_ = true;
                bwdPos_ = (s + off < end) ? s + off : end;
                bwdQ_ = bwdExactQ_ = 0;
                return LastKmp(end);
            }
        }
    }
    return NoMatch;
}

template <class U>
size_t BasicMatcher<U>::LastKmp(size_t end) {
    BuildBackwardTable();
    const uint32_t* fail = bwdFail_.data();
    const uint32_t* efail = bwdExactFail_.data();
    const U* t = text_;
    // The reversed search texts are read through the index. With matchCase a
    // second automaton on the exact text runs in step, so that whether an
    // occurrence is exact costs nothing extra.
    const U* f = folded_.data();
    const U* e = pattern_.data();
    const size_t last = n_ - 1;
    const bool exact = matchCase_;
    size_t pos = bwdPos_, q = bwdQ_, qe = bwdExactQ_;
    if (pos >= end) {
        pos = end;
        q = qe = 0;
    } else {
        while (q > 0 && pos + q > end) q = fail[q - 1];
        while (qe > 0 && pos + qe > end) qe = efail[qe - 1];
    }
    size_t found = NoMatch;
    while (pos > 0) {
        const U raw = t[pos - 1];
        const U c = Fold(raw);
        --pos;
        while (q > 0 && f[last - q] != c) q = fail[q - 1];
        if (f[last - q] == c) ++q;
        if (exact) {
            while (qe > 0 && e[last - qe] != raw) qe = efail[qe - 1];
            if (e[last - qe] == raw) ++qe;
        }
        if (q == n_) {
            found = pos;
            q = fail[n_ - 1];
            lastExact_ = qe == n_;
            if (qe == n_) qe = efail[n_ - 1];
            break;
        }
    }
    bwdPos_ = pos;
    bwdQ_ = q;
    bwdExactQ_ = qe;
    return found;
}

template class BasicMatcher<char16_t>;
template class BasicMatcher<unsigned char>;
