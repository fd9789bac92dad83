// The whole-word rule and the count of accepted occurrences, shared by the
// line search and the block count.
#pragma once
#include <cstddef>
#include <cstdint>

#include "search/find_engine.h"
#include "search/matcher.h"

// The n units at s in t[0, len) touch no letter on either side.
template <class U>
inline bool WholeWordAt(const U* t, size_t len, size_t s, size_t n) {
    if (s > 0 && IsLetter(t[s - 1])) return false;
    return !(s + n < len && IsLetter(t[s + n]));
}

// Accepted non-overlapping occurrences in t[0, len); padded as for Begin.
// seen tells whether any occurrence was there at all. sure(s) tells whether
// the occurrence at s is sure to be one in the decoded text: false at any
// occurrence ends the count with exact false and 0.
template <class U, class Sure>
uint64_t CountMatches(BasicMatcher<U>& m, const U* t, size_t len, bool padded, bool wholeWord, bool& seen,
                      bool& exact, Sure sure) {
    const size_t n = m.size();
    seen = false;
    exact = true;
    if (n == 0 || len < n) return 0;
    m.Begin(t, len, padded);
    uint64_t total = 0;
    size_t p = 0;
    while (p < len) {
        const size_t s = m.Next(p, len);
        if (s == NoMatch) break;
        seen = true;
        if (!sure(s)) {
            exact = false;
            return 0;
        }
        if (!wholeWord || WholeWordAt(t, len, s, n)) {
            ++total;
            p = s + n;
        } else {
            p = s + 1;
        }
    }
    return total;
}

// Every occurrence in decoded text, or in well-formed UTF-8 bytes, is one.
template <class U>
uint64_t CountMatches(BasicMatcher<U>& m, const U* t, size_t len, bool padded, bool wholeWord, bool& seen) {
    bool exact;
    return CountMatches(m, t, len, padded, wholeWord, seen, exact, [](size_t) { return true; });
}
