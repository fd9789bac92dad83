#include "search/piece_search.h"

#include <algorithm>

#include "search/find_engine.h"

namespace {

size_t Window(const PieceLine& line, size_t n) { return std::max<size_t>(line.window, 4 * n + 4); }

bool Tick(PieceLine& line, uint64_t done) {
    if (!line.tick || line.tick(done)) return true;
    line.cancelled = true;
    return false;
}

// Units [a, e) of the line; false when the line reads shorter (the file changed).
bool Load(PieceLine& line, uint64_t a, uint64_t e, std::u16string& buf) {
    buf = line.read(a, static_cast<size_t>(e - a));
    return buf.size() == e - a;
}

// The whole-word test for an occurrence at buf[s] (line column a + s): the
// left neighbour is buf[s - 1], the right one buf[s + n] when a + s + n < end.
bool Whole(const std::u16string& buf, uint64_t a, size_t s, size_t n, uint64_t end) {
    if (a + s > 0 && IsLetter(buf[s - 1])) return false;
    return !(a + s + n < end && IsLetter(buf[s + n]));
}

} // namespace

uint64_t ForwardInPieces(PieceLine& line, uint64_t c, Matcher& m, bool wholeWord) {
    const size_t n = m.size();
    const uint64_t len = line.length;
    if (n == 0 || c >= len || len - c < n) return NoColumn;
    const size_t window = Window(line, n);
    std::u16string buf;
    // Occurrences starting at from or later, in windows [from, b) read with
    // one unit on each side for the neighbours.
    for (uint64_t from = c; from + n <= len;) {
        if (!Tick(line, from)) return NoColumn;
        const uint64_t a = from > 0 ? from - 1 : 0, b = std::min<uint64_t>(len, from + window);
        if (!Load(line, a, std::min<uint64_t>(len, b + 1), buf)) return NoColumn;
        const size_t end = static_cast<size_t>(b - a);
        m.Begin(buf.data(), end);
        for (size_t p = static_cast<size_t>(from - a);;) {
            const size_t s = m.Next(p, end);
            if (s == NoMatch) break;
            if (!wholeWord || Whole(buf, a, s, n, len)) return a + s;
            p = s + 1;
        }
        if (b == len) break;
        from = b - n + 1;
    }
    return NoColumn;
}

void CountInPieces(PieceLine& line, Matcher& m, bool wholeWord, uint64_t& total) {
    const size_t n = m.size();
    const uint64_t len = line.length;
    if (n == 0 || len < n) return;
    const size_t window = Window(line, n);
    std::u16string buf;
    for (uint64_t from = 0; from + n <= len;) {
        if (!Tick(line, from)) return;
        const uint64_t a = from > 0 ? from - 1 : 0, b = std::min<uint64_t>(len, from + window);
        if (!Load(line, a, std::min<uint64_t>(len, b + 1), buf)) return;
        const size_t end = static_cast<size_t>(b - a);
        m.Begin(buf.data(), end);
        size_t p = static_cast<size_t>(from - a);
        while (p < end) {
            const size_t s = m.Next(p, end);
            if (s == NoMatch) break;
            if (!wholeWord || Whole(buf, a, s, n, len)) {
                ++total;
                p = s + n;
            } else {
                p = s + 1;
            }
        }
        if (b == len) break;
        from = std::max<uint64_t>(a + p, b - n + 1);
    }
}

uint64_t BackwardInPieces(PieceLine& line, uint64_t limit, Matcher& m, const FindOptions& opt) {
    const size_t n = m.size();
    if (n == 0) return NoColumn;
    // r: the limit of the rules, lowered past each rejected occurrence; hi:
    // the end of the occurrences the current window looks at (hi <= r).
    uint64_t r = limit >= line.length ? line.length : limit;
    const size_t window = Window(line, n);
    std::u16string buf;
    for (uint64_t hi = r; hi >= n;) {
        if (!Tick(line, line.length - hi)) return NoColumn;
        // Occurrences starting at lo or later are judged here; the unit
        // before lo and the one at hi are read for the neighbours.
        const uint64_t lo = hi > window ? hi - window : 0, a = lo > 0 ? lo - 1 : 0;
        if (!Load(line, a, std::min<uint64_t>(r, hi + 1), buf)) return NoColumn;
        m.Begin(buf.data(), static_cast<size_t>(hi - a));
        for (size_t end = static_cast<size_t>(hi - a);;) {
            const size_t s = m.Last(end);
            if (s == NoMatch || a + s < lo) break;
            bool ok = !opt.matchCase || m.LastWasExact();
            if (ok && opt.wholeWord) ok = Whole(buf, a, s, n, r);
            if (ok) return a + s;
            r = a + s + n - 1;  // the rejected occurrence no longer fits
            if (r < n) return NoColumn;
            end = s + n - 1;
        }
        if (lo == 0) break;
        hi = lo + n - 1;  // what is left starts before lo
    }
    return NoColumn;
}
