// Plain, position-by-position models of the line matcher's rules (case,
// whole word, NUL ends the searchable text) that the fast matcher is checked
// against.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>

#include "search/find_engine.h"

namespace model {

inline bool Occurs(const std::u16string& L, size_t s, size_t end, const std::u16string& p, bool exact) {
    if (s + p.size() > end) return false;
    for (size_t k = 0; k < p.size(); ++k) {
        char16_t a = L[s + k], b = p[k];
        if (exact ? a != b : FoldCase(a) != FoldCase(b)) return false;
    }
    return true;
}

inline size_t NulFrom(const std::u16string& L, size_t from) {
    size_t z = L.find(char16_t(0), from);
    return z == std::u16string::npos ? L.size() : z;
}

inline bool Passes(const std::u16string& L, size_t end, size_t s, size_t n, bool whole) {
    if (!whole) return true;
    if (s > 0 && IsLetter(L[s - 1])) return false;
    return !(s + n < end && IsLetter(L[s + n]));
}

inline size_t RefForward(const std::u16string& L, size_t c, const std::u16string& p, const FindOptions& o) {
    if (c >= L.size()) return NoMatch;
    size_t end = NulFrom(L, c);
    for (size_t s = c; s + p.size() <= end; ++s)
        if (Occurs(L, s, end, p, o.matchCase) && Passes(L, end, s, p.size(), o.wholeWord)) return s;
    return NoMatch;
}

inline size_t RefBackward(const std::u16string& L, size_t limit, const std::u16string& p, const FindOptions& o) {
    size_t r = std::min(limit, L.size());
    r = std::min(r, NulFrom(L, 0));
    while (r >= p.size() && r > 0) {
        size_t s = NoMatch;
        for (size_t k = r - p.size() + 1; k-- > 0;)
            if (Occurs(L, k, r, p, false)) {
                s = k;
                break;
            }
        if (s == NoMatch) return NoMatch;
        bool ok = !o.matchCase || Occurs(L, s, r, p, true);
        if (ok) ok = Passes(L, r, s, p.size(), o.wholeWord);
        if (ok) return s;
        r = s + p.size() - 1;
    }
    return NoMatch;
}

inline uint64_t RefCount(const std::u16string& L, const std::u16string& p, const FindOptions& o) {
    size_t end = NulFrom(L, 0);
    uint64_t total = 0;
    size_t q = 0;
    while (q < end) {
        size_t s = NoMatch;
        for (size_t k = q; k + p.size() <= end; ++k)
            if (Occurs(L, k, end, p, o.matchCase)) {
                s = k;
                break;
            }
        if (s == NoMatch) break;
        if (Passes(L, end, s, p.size(), o.wholeWord)) {
            ++total;
            q = s + p.size();
        } else {
            q = s + 1;
        }
    }
    return total;
}

} // namespace model
