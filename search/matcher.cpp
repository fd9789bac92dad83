#include "search/matcher.h"

#include "search/find_engine.h"
#include "search/simd.h"

namespace {

// Verification work allowed before a scan switches to the automaton:
// a fixed allowance plus this many units per position covered.
constexpr uint64_t WorkAllowance = 4096;
constexpr uint64_t WorkPerUnit = 16;

inline void FilterPair(char16_t p, bool fold, char16_t& a, char16_t& b) {
    if (fold && IsLetter(p)) {
        a = char16_t(p | 0x20);
        b = char16_t(p & ~0x20);
    } else {
        a = b = p;
    }
}

void BuildFailure(const std::u16string& key, std::vector<uint32_t>& fail) {
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

Matcher::Matcher(const std::u16string& text, bool matchCase) : matchCase_(matchCase) {
    // The search text ends at its first NUL, as the searched text does.
    const std::u16string pat = text.substr(0, text.find(char16_t(0)));
    n_ = pat.size();
    pattern_ = pat;
    folded_ = pat;
    for (auto& u : folded_) u = FoldCase(u);
    key_ = matchCase ? pat : folded_;
    if (n_ > 0) {
        FilterPair(pat[0], !matchCase, firstA_, firstB_);
        FilterPair(pat[n_ - 1], !matchCase, lastA_, lastB_);
        FilterPair(pat[0], true, fFirstA_, fFirstB_);
        FilterPair(pat[n_ - 1], true, fLastA_, fLastB_);
    }
}

void Matcher::Begin(const char16_t* text, size_t len) {
    text_ = text;
    len_ = len;
    fwdKmp_ = bwdKmp_ = false;
    fwdPos_ = fwdQ_ = bwdPos_ = bwdQ_ = bwdExactQ_ = 0;
    fwdWork_ = bwdWork_ = 0;
    fwdReach_ = 0;
    bwdReach_ = len;
}

bool Matcher::VerifyKey(const char16_t* at) {
    const char16_t* k = key_.data();
    size_t last = n_ - 1;
    size_t i = 1;
    if (matchCase_) {
        while (i < last && at[i] == k[i]) ++i;
    } else {
        while (i < last && FoldCase(at[i]) == k[i]) ++i;
    }
    fwdWork_ += i + 1;
    return i >= last;
}

bool Matcher::VerifyFolded(const char16_t* at) {
    const char16_t* k = folded_.data();
    size_t last = n_ - 1;
    size_t i = 1;
    while (i < last && FoldCase(at[i]) == k[i]) ++i;
    bwdWork_ += i + 1;
    if (i < last) return false;
    if (matchCase_) {
        const char16_t* e = pattern_.data();
        size_t j = 0;
        while (j < n_ && at[j] == e[j]) ++j;
        bwdWork_ += j;
        lastExact_ = j == n_;
    }
    return true;
}

void Matcher::BuildForwardTable() {
    if (fwdFail_.size() != n_) BuildFailure(key_, fwdFail_);
}

void Matcher::BuildBackwardTable() {
    if (bwdFail_.size() != n_) {
        std::u16string rev(folded_.rbegin(), folded_.rend());
        BuildFailure(rev, bwdFail_);
        std::u16string exact(pattern_.rbegin(), pattern_.rend());
        BuildFailure(exact, bwdExactFail_);
    }
}

size_t Matcher::Next(size_t from, size_t end) {
    if (end > len_) end = len_;
    if (n_ == 0 || from > end || end - from < n_) return NoMatch;
    if (from > fwdReach_) fwdReach_ = from;
    if (!fwdKmp_ && fwdWork_ > WorkAllowance + WorkPerUnit * fwdReach_) {
        fwdKmp_ = true;
        fwdPos_ = from;
        fwdQ_ = 0;
    }
    if (fwdKmp_) return NextKmp(from, end);
    const char16_t* t = text_;
    const size_t last = end - n_;  // highest candidate start
    const size_t off = n_ - 1;
    size_t i = from;
#if TV_SSE2
    const __m128i a0 = _mm_set1_epi16(short(firstA_)), b0 = _mm_set1_epi16(short(firstB_));
    const __m128i a1 = _mm_set1_epi16(short(lastA_)), b1 = _mm_set1_epi16(short(lastB_));
    while (i <= last && last - i >= 15) {
        uint32_t m = simd::PairMask(t + i, t + i + off, a0, b0, a1, b1) |
                     (simd::PairMask(t + i + 8, t + i + 8 + off, a0, b0, a1, b1) << 16);
        while (m) {
            unsigned bit = simd::LowBit(m);
            size_t s = i + bit / 2;
            m &= ~(3u << (bit & ~1u));
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
        char16_t u = t[i], v = t[i + off];
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

size_t Matcher::NextKmp(size_t from, size_t end) {
    BuildForwardTable();
    const uint32_t* fail = fwdFail_.data();
    const char16_t* k = key_.data();
    size_t pos = fwdPos_, q = fwdQ_;
    if (pos - q < from) {
        if (pos <= from) {
            pos = from;
            q = 0;
        } else {
            while (q > 0 && pos - q < from) q = fail[q - 1];
        }
    }
    const char16_t* t = text_;
    size_t found = NoMatch;
    while (pos < end) {
        char16_t c = matchCase_ ? t[pos] : FoldCase(t[pos]);
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

size_t Matcher::Last(size_t end) {
    if (end > len_) end = len_;
    if (n_ == 0 || end < n_) return NoMatch;
    if (end < bwdReach_) bwdReach_ = end;
    if (!bwdKmp_ && bwdWork_ > WorkAllowance + WorkPerUnit * (len_ - bwdReach_)) {
        bwdKmp_ = true;
        bwdPos_ = end;
        bwdQ_ = bwdExactQ_ = 0;
    }
    if (bwdKmp_) return LastKmp(end);
    const char16_t* t = text_;
    const size_t off = n_ - 1;
    size_t i = end - n_ + 1;  // candidates below i remain
#if TV_SSE2
    const __m128i a0 = _mm_set1_epi16(short(fFirstA_)), b0 = _mm_set1_epi16(short(fFirstB_));
    const __m128i a1 = _mm_set1_epi16(short(fLastA_)), b1 = _mm_set1_epi16(short(fLastB_));
    while (i >= 16) {
        size_t base = i - 16;
        uint32_t m = simd::PairMask(t + base, t + base + off, a0, b0, a1, b1) |
                     (simd::PairMask(t + base + 8, t + base + 8 + off, a0, b0, a1, b1) << 16);
        while (m) {
            unsigned bit = simd::HighBit(m);
            size_t s = base + bit / 2;
            m &= ~(3u << (bit & ~1u));
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
        char16_t u = t[s], v = t[s + off];
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

size_t Matcher::LastKmp(size_t end) {
    BuildBackwardTable();
    const uint32_t* fail = bwdFail_.data();
    const uint32_t* efail = bwdExactFail_.data();
    const char16_t* t = text_;
    // The reversed search texts are read through the index. With matchCase a
    // second automaton on the exact text runs in step, so that whether an
    // occurrence is exact costs nothing extra.
    const char16_t* f = folded_.data();
    const char16_t* e = pattern_.data();
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
        const char16_t raw = t[pos - 1];
        const char16_t c = FoldCase(raw);
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
