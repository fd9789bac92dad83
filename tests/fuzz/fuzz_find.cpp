// Fuzzes the line matcher: forward, backward and counting results must equal
// those of a plain position-by-position application of the same rules, for
// any text, search text and options (long repetitive inputs included, which
// drive the matcher onto its automaton).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "search/find_engine.h"

namespace {

// Few distinct units so that matches, case pairs, letters and NULs are common.
const char16_t Alphabet[16] = {u'a', u'A', u'b', u'B', u'a', u'a', u' ', u'.', u'\r', u'\n',
                               0x4E2D, 0,   u'a', u'z', u'Z', u'_'};

bool Occurs(const std::u16string& L, size_t s, size_t end, const std::u16string& p, bool exact) {
    if (s + p.size() > end) return false;
    for (size_t k = 0; k < p.size(); ++k)
        if (exact ? L[s + k] != p[k] : FoldCase(L[s + k]) != FoldCase(p[k])) return false;
    return true;
}

size_t NulFrom(const std::u16string& L, size_t from) {
    size_t z = L.find(char16_t(0), from);
    return z == std::u16string::npos ? L.size() : z;
}

bool Passes(const std::u16string& L, size_t end, size_t s, size_t n, bool whole) {
    if (!whole) return true;
    if (s > 0 && IsLetter(L[s - 1])) return false;
    return !(s + n < end && IsLetter(L[s + n]));
}

size_t RefForward(const std::u16string& L, size_t c, const std::u16string& p, const FindOptions& o) {
    if (c >= L.size()) return NoMatch;
    size_t end = NulFrom(L, c);
    for (size_t s = c; s + p.size() <= end; ++s)
        if (Occurs(L, s, end, p, o.matchCase) && Passes(L, end, s, p.size(), o.wholeWord)) return s;
    return NoMatch;
}

size_t RefBackward(const std::u16string& L, size_t limit, const std::u16string& p, const FindOptions& o) {
    size_t r = std::min(std::min(limit, L.size()), NulFrom(L, 0));
    while (r >= p.size()) {
        size_t s = NoMatch;
        for (size_t k = r - p.size() + 1; k-- > 0;)
            if (Occurs(L, k, r, p, false)) {
                s = k;
                break;
            }
        if (s == NoMatch) return NoMatch;
        if ((!o.matchCase || Occurs(L, s, r, p, true)) && Passes(L, r, s, p.size(), o.wholeWord)) return s;
        r = s + p.size() - 1;
    }
    return NoMatch;
}

uint64_t RefCount(const std::u16string& L, const std::u16string& p, const FindOptions& o) {
    size_t end = NulFrom(L, 0);
    uint64_t total = 0;
    for (size_t q = 0; q < end;) {
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    FindOptions o;
    o.wholeWord = data[0] & 1;
    o.matchCase = data[0] & 2;
    const size_t patLen = 1 + data[1] % 24;
    const size_t repeat = 1 + (data[2] % 8) * 64;  // long runs reach the automaton
    const size_t column = data[3];
    data += 4;
    size -= 4;
    std::u16string pat, line;
    for (size_t i = 0; i < size; ++i) {
        char16_t u = Alphabet[data[i] & 15];
        if (i < patLen) {
            if (u == 0) u = u'a';
            pat += u;
        } else {
            line.append((data[i] & 0x80) ? repeat : 1, u);
        }
    }
    if (pat.empty()) return 0;
    if (line.size() > 20000) line.resize(20000);
    const size_t limit = column % (line.size() + 2);
    if (MatchForward(line, column % (line.size() + 1), pat, o) != RefForward(line, column % (line.size() + 1), pat, o))
        std::abort();
    if (MatchBackward(line, WholeLine, pat, o) != RefBackward(line, WholeLine, pat, o)) std::abort();
    if (MatchBackward(line, limit, pat, o) != RefBackward(line, limit, pat, o)) std::abort();
    if (CountInLine(line, pat, o) != RefCount(line, pat, o)) std::abort();
    return 0;
}
