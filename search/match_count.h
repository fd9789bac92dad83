// The whole-word rule and the count of accepted occurrences, shared by the
// line search and the block count.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "search/match_rules.h"
#include "search/matcher.h"
#include "search/simd.h"

// The n units at s in t[0, len) touch no letter on either side.
template <class U>
inline bool WholeWordAt(const U* t, size_t len, size_t s, size_t n) {
    if (s > 0 && IsLetter(t[s - 1])) return false;
    return !(s + n < len && IsLetter(t[s + n]));
}

// Accepted non-overlapping occurrences in t[0, len); padded as for Begin.
// seen tells whether any occurrence was there at all. With asciiBefore (bytes
// of ANSI text) an occurrence is sure to be one in the decoded text only
// where neither of the two bytes before it is above 127: any other ends the
// count with exact false and 0, or, with unsure given and a search text that
// cannot overlap itself, is left out of the count and its start added there.
// nul, when given and an occurrence was seen, tells whether t holds a NUL.
template <class U>
uint64_t CountMatches(BasicMatcher<U>& m, const U* t, size_t len, bool padded, bool wholeWord, bool& seen,
                      bool& exact, bool asciiBefore, std::vector<size_t>* unsure = nullptr, bool* nul = nullptr) {
    const size_t n = m.size();
    seen = false;
    exact = true;
    if (n == 0 || len < n) return 0;
    m.Begin(t, len, padded);
    uint64_t total = 0;
    typename BasicMatcher<U>::CountRule rule;
    rule.wholeWord = wholeWord;
    rule.asciiBefore = asciiBefore;
    rule.unsure = unsure;
    rule.nul = nul;
    if (m.Count(rule, total, seen, exact)) return total;
    size_t p = 0;
    while (p < len) {
        const size_t s = m.Next(p, len);
        if (s == NoMatch) break;
        seen = true;
        if (asciiBefore && ((s >= 1 && t[s - 1] >= 0x80) || (s >= 2 && t[s - 2] >= 0x80))) {
            if (!unsure || m.Overlaps()) {
                exact = false;
                return 0;
            }
            unsure->push_back(s);
            p = s + 1;
            continue;
        }
        if (!wholeWord || WholeWordAt(t, len, s, n)) {
            ++total;
            p = s + n;
        } else {
            p = s + 1;
        }
    }
    // A block with nothing in it needs no look for a NUL.
    if (nul && seen) *nul = simd::FindNul(t, 0, len) != len;
    return total;
}

// Every occurrence in decoded text, or in well-formed UTF-8 bytes, is one.
template <class U>
uint64_t CountMatches(BasicMatcher<U>& m, const U* t, size_t len, bool padded, bool wholeWord, bool& seen,
                      bool* nul = nullptr) {
    bool exact;
    return CountMatches(m, t, len, padded, wholeWord, seen, exact, false, nullptr, nul);
}
