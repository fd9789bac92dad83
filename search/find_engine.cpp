#include "search/find_engine.h"

#include <algorithm>

#include "core/text_document.h"
#include "search/matcher.h"
#include "search/simd.h"

bool UnitsEqual(const char16_t* a, const char16_t* b, size_t n, bool matchCase) {
    if (matchCase) {
        for (size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return false;
    } else {
        for (size_t i = 0; i < n; ++i)
            if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

namespace {

// The searchable text of a line ends at its first U+0000.
size_t ForwardInLine(Matcher& m, const std::u16string& L, uint64_t c, bool wholeWord) {
    const size_t n = m.size();
    const size_t len = L.size();
    if (n == 0 || c >= len) return NoMatch;
    const char16_t* t = L.data();
    const size_t end = simd::FindNul(t, size_t(c), len);
    if (end - c < n) return NoMatch;
    m.Begin(t, end);
    size_t from = size_t(c);
    for (;;) {
        size_t s = m.Next(from, end);
        if (s == NoMatch) return NoMatch;
        if (!wholeWord || PassesWholeWord(t, end, s, n)) return s;
        from = s + 1;
    }
}

size_t BackwardInLine(Matcher& m, const std::u16string& L, size_t limit, const FindOptions& opt) {
    const size_t n = m.size();
    const size_t len = L.size();
    if (n == 0) return NoMatch;
    const char16_t* t = L.data();
    size_t r = (limit == WholeLine || limit >= len) ? len : limit;
    r = simd::FindNul(t, 0, r);
    if (r < n) return NoMatch;
    m.Begin(t, r);
    while (r >= n) {
        size_t s = m.Last(r);
        if (s == NoMatch) return NoMatch;
        bool ok = !opt.matchCase || m.LastWasExact();
        if (ok && opt.wholeWord) ok = PassesWholeWord(t, r, s, n);
        if (ok) return s;
        r = s + n - 1;  // the rejected occurrence no longer fits
    }
    return NoMatch;
}

uint64_t CountLine(Matcher& m, const std::u16string& L, bool wholeWord) {
    const size_t n = m.size();
    if (n == 0 || L.size() < n) return 0;
    const char16_t* t = L.data();
    const size_t end = simd::FindNul(t, 0, L.size());
    m.Begin(t, end);
    uint64_t total = 0;
    size_t p = 0;
    while (p < end) {
        size_t s = m.Next(p, end);
        if (s == NoMatch) break;
        if (!wholeWord || PassesWholeWord(t, end, s, n)) {
            ++total;
            p = s + n;
        } else {
            p = s + 1;
        }
    }
    return total;
}

uint64_t Stride(const TextDocument& doc) { return doc.indexStride ? doc.indexStride : 100; }

} // namespace

size_t MatchForward(const std::u16string& L, uint64_t c, const std::u16string& pat, const FindOptions& opt) {
    Matcher m(pat, opt.matchCase);
    return ForwardInLine(m, L, c, opt.wholeWord);
}

size_t MatchBackward(const std::u16string& L, size_t limit, const std::u16string& pat, const FindOptions& opt) {
    Matcher m(pat, opt.matchCase);
    return BackwardInLine(m, L, limit, opt);
}

uint64_t CountInLine(const std::u16string& L, const std::u16string& pat, const FindOptions& opt) {
    Matcher m(pat, opt.matchCase);
    return CountLine(m, L, opt.wholeWord);
}

SearchResult SearchForward(TextDocument& doc, const TextPosition& selStart, const TextPosition& selEnd,
                           const std::u16string& pat, const FindOptions& opt, TextPosition& hit,
                           const FindProgress& progress) {
    Matcher m(pat, opt.matchCase);
    const size_t n = m.size();
    if (n == 0) return SearchResult::NotFound;
    const uint64_t count = doc.lineCount;
    const uint64_t stride = Stride(doc);
    const uint64_t first = selEnd.line;
    const uint64_t pass1 = first < count ? count - first : 0;
    const uint64_t pass2 = opt.wrapAround ? std::min<uint64_t>(selStart.line + 1, count) : 0;
    const uint64_t total = pass1 + pass2;
    uint64_t done = 0;

    for (uint64_t i = first; i < count; ++i, ++done) {
        if (progress && i != first && i % stride == 0 && !progress(done, total)) return SearchResult::Cancelled;
        const std::u16string& L = doc.LineTextRef(i);
        if (L.size() < n) continue;
        size_t s = ForwardInLine(m, L, i == first ? selEnd.column : 0, opt.wholeWord);
        if (s != NoMatch) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    if (!opt.wrapAround) return SearchResult::NotFound;
    for (uint64_t i = 0; i < count && i <= selStart.line; ++i, ++done) {
        if (progress && i % stride == 0 && done > 0 && !progress(done, total)) return SearchResult::Cancelled;
        const std::u16string& L = doc.LineTextRef(i);
        if (L.size() < n) continue;
        size_t s = ForwardInLine(m, L, 0, opt.wholeWord);
        if (s != NoMatch) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    return SearchResult::NotFound;
}

SearchResult SearchBackward(TextDocument& doc, const TextPosition& selStart, const std::u16string& pat,
                            const FindOptions& opt, TextPosition& hit, const FindProgress& progress) {
    Matcher m(pat, opt.matchCase);
    const size_t n = m.size();
    if (n == 0) return SearchResult::NotFound;
    const uint64_t count = doc.lineCount;
    if (count == 0) return SearchResult::NotFound;
    const uint64_t stride = Stride(doc);
    const uint64_t first = selStart.line;
    // Lines past the end read as empty, so the scan can start at the last line.
    const uint64_t start = std::min(first, count - 1);
    const uint64_t pass1 = start + 1;
    const uint64_t pass2 = (opt.wrapAround && first < count) ? count - first : 0;
    const uint64_t total = pass1 + pass2;
    uint64_t done = 0;

    for (uint64_t i = start + 1; i-- > 0; ++done) {
        if (progress && i != start && (i + 1) % stride == 0 && !progress(done, total)) return SearchResult::Cancelled;
        const std::u16string& L = doc.LineTextRef(i);
        if (L.size() < n) continue;
        size_t limit = (i == first) ? (selStart.column >= L.size() ? WholeLine : size_t(selStart.column)) : WholeLine;
        size_t s = BackwardInLine(m, L, limit, opt);
        if (s != NoMatch) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    if (!opt.wrapAround || first >= count) return SearchResult::NotFound;
    for (uint64_t i = count; i-- > first; ++done) {
        if (progress && (i + 1) % stride == 0 && done > 0 && !progress(done, total)) return SearchResult::Cancelled;
        const std::u16string& L = doc.LineTextRef(i);
        if (L.size() < n) continue;
        size_t s = BackwardInLine(m, L, WholeLine, opt);
        if (s != NoMatch) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    return SearchResult::NotFound;
}

SearchResult CountAll(TextDocument& doc, const std::u16string& pat, const FindOptions& opt, uint64_t& total,
                      const FindProgress& progress) {
    total = 0;
    Matcher m(pat, opt.matchCase);
    const size_t n = m.size();
    if (n == 0) return SearchResult::NotFound;
    const uint64_t count = doc.lineCount;
    const uint64_t stride = Stride(doc);
    for (uint64_t i = 0; i < count; ++i) {
        if (progress && i != 0 && i % stride == 0 && !progress(i, count)) return SearchResult::Cancelled;
        const std::u16string& L = doc.LineTextRef(i);
        if (L.size() < n) continue;
        total += CountLine(m, L, opt.wholeWord);
    }
    return total ? SearchResult::Found : SearchResult::NotFound;
}
