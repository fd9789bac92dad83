#include "search/find_engine.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "core/text_document.h"
#include "search/block_scan.h"
#include "search/line_source.h"
#include "search/match_count.h"
#include "search/matcher.h"
#include "search/piece_search.h"
#include "search/prefilter.h"
#include "search/regex_literal.h"
#include "search/regex_search.h"
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

inline size_t NulAt(const char16_t* t, size_t from, size_t len) { return simd::FindNul(t, from, len); }
inline size_t NulAt(const unsigned char* t, size_t from, size_t len) {
    return from >= len ? len : simd::FindNul(t, from, len);
}

// The searchable text of a line ends at its first NUL. U is a UTF-16 unit,
// or a byte of well-formed UTF-8: there every CR, LF, NUL and letter is one
// byte of its own and every other character is bytes above 127, so matches,
// neighbours and limits fall where they fall in the decoded text.
// Lines read from the block buffers (padded) never hold a NUL: the split ends there.
template <class U>
size_t ForwardInLine(BasicMatcher<U>& m, const U* t, size_t len, size_t c, bool wholeWord, bool padded = false) {
    const size_t n = m.size();
    if (n == 0 || c >= len) return NoMatch;
    const size_t end = padded ? len : NulAt(t, c, len);
    if (end - c < n) return NoMatch;
    m.Begin(t, end, padded);
    size_t from = c;
    for (;;) {
        size_t s = m.Next(from, end);
        if (s == NoMatch) return NoMatch;
        if (!wholeWord || WholeWordAt(t, end, s, n)) return s;
        from = s + 1;
    }
}

template <class U>
size_t BackwardInLine(BasicMatcher<U>& m, const U* t, size_t len, size_t limit, const FindOptions& opt) {
    const size_t n = m.size();
    if (n == 0) return NoMatch;
    size_t r = (limit == WholeLine || limit >= len) ? len : limit;
    r = NulAt(t, 0, r);
    if (r < n) return NoMatch;
    m.Begin(t, r);
    while (r >= n) {
        size_t s = m.Last(r);
        if (s == NoMatch) return NoMatch;
        bool ok = !opt.matchCase || m.LastWasExact();
        if (ok && opt.wholeWord) ok = WholeWordAt(t, r, s, n);
        if (ok) return s;
        r = s + n - 1;  // the rejected occurrence no longer fits
    }
    return NoMatch;
}

template <class U>
uint64_t CountLine(BasicMatcher<U>& m, const U* t, size_t len, bool wholeWord, bool padded = false) {
    bool seen;
    return CountMatches(m, t, padded ? len : NulAt(t, 0, len), padded, wholeWord, seen);
}

// UTF-16 units of a character that starts with byte b (0 for a continuation byte).
inline size_t UnitsOfLead(unsigned char b) { return b < 0x80 ? 1 : b < 0xC0 ? 0 : b < 0xF0 ? 1 : 2; }

// Column in units of byte offset `bytes` of a well-formed UTF-8 line.
uint64_t ColumnOfByte(const unsigned char* t, size_t bytes) {
    uint64_t units = 0;
    for (size_t i = 0; i < bytes; ++i) units += UnitsOfLead(t[i]);
    return units;
}

// Byte offset of column `column` in a well-formed UTF-8 line of len bytes; a
// column inside a surrogate pair goes to the character's end (up) or start.
size_t ByteOfColumn(const unsigned char* t, size_t len, uint64_t column, bool up) {
    uint64_t units = 0;
    size_t i = 0;
    while (i < len && units < column) {
        size_t w = UnitsOfLead(t[i]);
        size_t j = i + 1;
        while (j < len && (t[j] & 0xC0) == 0x80) ++j;
        if (units + w > column && !up) return i;
        units += w;
        i = j;
    }
    return i;
}

// The search text as UTF-8 bytes, up to its first NUL; false when it holds a
// lone surrogate (it can then only be searched in decoded text).
bool Utf8Of(const std::u16string& text, std::basic_string<unsigned char>& out) {
    out.clear();
    return AppendUtf8(out, text.substr(0, text.find(char16_t(0))));
}

// Both matchers of one search text: decoded units, and UTF-8 bytes when
// the document is UTF-8 and the text can be written in it.
struct Matchers {
    Matchers(const TextDocument& doc, const std::u16string& pat, bool matchCase) : units(pat, matchCase) {
        std::basic_string<unsigned char> b;
        useBytes = (doc.encoding == Encoding::Utf8 || doc.encoding == Encoding::Utf8Bom) && Utf8Of(pat, b);
        bytes = ByteMatcher(b, matchCase);
    }
    Matcher units;
    ByteMatcher bytes{std::basic_string<unsigned char>(), false};
    bool useBytes = false;
};

} // namespace

size_t MatchForward(const std::u16string& L, uint64_t c, const std::u16string& pat, const FindOptions& opt) {
    Matcher m(pat, opt.matchCase);
    return c >= L.size() ? NoMatch : ForwardInLine(m, L.data(), L.size(), size_t(c), opt.wholeWord);
}

size_t MatchBackward(const std::u16string& L, size_t limit, const std::u16string& pat, const FindOptions& opt) {
    Matcher m(pat, opt.matchCase);
    return BackwardInLine(m, L.data(), L.size(), limit, opt);
}

uint64_t CountInLine(const std::u16string& L, const std::u16string& pat, const FindOptions& opt) {
    Matcher m(pat, opt.matchCase);
    return CountLine(m, L.data(), L.size(), opt.wholeWord);
}

namespace {

// Match in one line from column c (units); the result is a column in units.
size_t Forward(Matchers& m, const AnyLine& L, uint64_t c, bool wholeWord) {
    if (L.bytes) {
        if (L.length < m.bytes.size()) return NoMatch;
        const size_t from = c ? ByteOfColumn(L.bytes, L.length, c, true) : 0;
        const size_t s = ForwardInLine(m.bytes, L.bytes, L.length, from, wholeWord, L.padded);
        return s == NoMatch ? NoMatch : size_t(ColumnOfByte(L.bytes, s));
    }
    if (L.length < m.units.size() || c >= L.length) return NoMatch;
    return ForwardInLine(m.units, L.units, L.length, size_t(c), wholeWord, L.padded);
}

size_t Backward(Matchers& m, const AnyLine& L, size_t limit, const FindOptions& opt) {
    if (L.bytes) {
        if (L.length < m.bytes.size()) return NoMatch;
        const size_t to = limit == WholeLine ? WholeLine : ByteOfColumn(L.bytes, L.length, limit, false);
        const size_t s = BackwardInLine(m.bytes, L.bytes, L.length, to, opt);
        return s == NoMatch ? NoMatch : size_t(ColumnOfByte(L.bytes, s));
    }
    if (L.length < m.units.size()) return NoMatch;
    return BackwardInLine(m.units, L.units, L.length, limit, opt);
}

uint64_t Count(Matchers& m, const AnyLine& L, bool wholeWord) {
    if (L.bytes) return CountLine(m.bytes, L.bytes, L.length, wholeWord, L.padded);
    return CountLine(m.units, L.units, L.length, wholeWord, L.padded);
}

uint64_t ColumnOf(size_t s) { return s == NoMatch ? NoColumn : s; }

// Whether a line is long (read in pieces), asked once per block.
struct LongLines {
    TextDocument& doc;
    uint64_t first = 1, end = 0;  // the lines of the block asked last
    bool isLong = false;
    bool operator()(uint64_t line) {
        if (line < first || line >= end) {
            first = doc.FirstLineOfBlock(doc.BlockOfLine(line));
            end = doc.FirstLineOfBlock(doc.BlockOfLine(line) + 1);
            isLong = doc.IsLongLine(line);
        }
        return isLong;
    }
};

// A long line of the document, read in pieces. Its progress is reported in
// 1024ths of a line: done and total are both scaled by LineShares. Building
// the table of its block, when it is missing, takes the first TableShares.
constexpr uint64_t LineShares = 1024, TableShares = LineShares / 4;

uint64_t Share(double at, double length, uint64_t shares) {
    return length > 0 ? uint64_t(at / length * (shares - 1)) : 0;
}

PieceLine LongLine(TextDocument& doc, uint64_t i, const FindProgress& progress, uint64_t done, uint64_t total) {
    PieceLine L;
    L.read = [&doc, i](uint64_t c, size_t n) { return doc.LinePiece(i, c, n); };
    TableProgress building;
    if (progress)
        building = [&](int64_t at, int64_t size) {
            L.cancelled = !progress(done * LineShares + Share(at, size, TableShares), total * LineShares);
            return !L.cancelled;
        };
    L.length = doc.LineLength(i, building);
    L.window = doc.PrefixUnits();
    if (progress) {
        const uint64_t length = L.length;
        L.tick = [&progress, done, total, length](uint64_t at) {
            const uint64_t share = TableShares + Share(at, length, LineShares - TableShares);
            return progress(done * LineShares + share, total * LineShares);
        };
    }
    return L;
}

// The literal search text, as the loops below ask it: a column or NoColumn
// for a line, or a long line read in pieces; a match is the text's length.
struct LiteralEngine {
    LiteralEngine(TextDocument& doc, const std::u16string& pat, const FindOptions& opt)
        : m(doc, pat, opt.matchCase), opt(opt), filterText(pat) {}
    Matchers m;
    FindOptions opt;
    std::u16string filterText;
    bool Usable(SearchDetail&) const { return m.units.size() > 0; }
    bool Bytes() const { return m.useBytes; }
    uint64_t Length() const { return m.units.size(); }
    SearchDetail::Failure failure = SearchDetail::Failure::None;

    uint64_t Next(uint64_t, const AnyLine& L, uint64_t c) { return ColumnOf(Forward(m, L, c, opt.wholeWord)); }
    uint64_t Next(uint64_t, PieceLine& L, uint64_t c) { return ForwardInPieces(L, c, m.units, opt.wholeWord); }
    uint64_t Last(uint64_t, const AnyLine& L, size_t limit) { return ColumnOf(Backward(m, L, limit, opt)); }
    uint64_t Last(uint64_t, PieceLine& L, uint64_t limit) { return BackwardInPieces(L, limit, m.units, opt); }
    void Add(uint64_t, const AnyLine& L, uint64_t& total) { total += Count(m, L, opt.wholeWord); }
    void Add(uint64_t, PieceLine& L, uint64_t& total) { CountInPieces(L, m.units, opt.wholeWord, total); }
    const std::u16string& CountFilterText() const { return filterText; }
    // Block counts and listings (CountAll and ListLines).
    BlockScan* blocks = nullptr;
    bool ByBlocks() const { return blocks && blocks->usable(); }
    bool Block(LineSource&, uint64_t block, uint64_t, uint64_t& n) { return blocks->Count(block, n); }
    // The lines k of the block held by src that hold an accepted match:
    // occurrences in the block's text taken as one, each within its line
    // (terminator included, as a line's text is searched).
    bool ListBlock(LineSource& src, uint64_t block, uint64_t first, LineSpans& lines) {
        // The block's text taken as it is in the file, where a count can.
        if (ByBlocks()) {
            if (blocks->List(block, lines)) return true;
            lines.clear();
        }
        const AnyLine B = src.GetBlockOf(first);
        if (!B.padded || (B.bytes && !m.useBytes)) return false;
        return B.bytes ? ListIn(m.bytes, B.bytes, B.length, src.LineStarts(), lines)
                       : ListIn(m.units, B.units, B.length, src.LineStarts(), lines);
    }
    template <class U>
    bool ListIn(BasicMatcher<U>& finder, const U* t, size_t len, const std::vector<size_t>& starts,
                LineSpans& lines) {
        const size_t n = finder.size(), total = starts.size() ? starts.size() - 1 : 0;
        if (n == 0 || total == 0) return total == 0;
        finder.Begin(t, len, true);
        size_t k = 0;
        for (size_t p = 0; p + n <= len && k < total;) {
            const size_t s = finder.Next(p, len);
            if (s == NoMatch) break;
            while (k + 1 < total && starts[k + 1] <= s) ++k;
            const size_t ls = starts[k], le = starts[k + 1];
            if (s + n <= le && (!opt.wholeWord || WholeWordAt(t + ls, le - ls, s - ls, n))) {
                AddLine(lines, k);
                p = le;
                ++k;
            } else {
                p = s + 1;
            }
        }
        return true;
    }
};

// A regular expression, as the loops ask it; lines of well-formed UTF-8
// come as bytes, their columns counted in units.
struct RegexEngine {
    RegexEngine(TextDocument& doc, const std::u16string& pat, const FindOptions& opt) : pat(pat), opt(opt) {
        utf8 = doc.encoding == Encoding::Utf8 || doc.encoding == Encoding::Utf8Bom;
        mark = doc.hasMark;
    }
    bool mark;
    std::u16string pat;
    FindOptions opt;
    bool utf8;
    LineRegex re;
    std::u16string filterText;
    uint64_t length = 0;
    SearchDetail::Failure failure = SearchDetail::Failure::None;

    bool Usable(SearchDetail& detail) {
        if (!re.Compile(pat, opt, utf8, detail)) {
            failure = SearchDetail::Failure::BadPattern;
            return false;
        }
        filterText = re.Literal();
        return true;
    }
    bool Bytes() const { return re.HasBytes(); }
    uint64_t Length() const { return length; }
    static bool Pair(char16_t a, char16_t b) { return a >= 0xD800 && a <= 0xDBFF && b >= 0xDC00 && b <= 0xDFFF; }

    uint64_t Take(LineRegex::Outcome r, uint64_t s, uint64_t e) {
        if (r == LineRegex::Outcome::GaveUp) failure = SearchDetail::Failure::TooComplex;
        if (r == LineRegex::Outcome::TooLong) failure = SearchDetail::Failure::MatchTooLong;
        if (r != LineRegex::Outcome::Found) return NoColumn;
        length = e - s;
        return s;
    }
    // A match [s, e) in bytes of a UTF-8 line, as columns.
    uint64_t TakeBytes(LineRegex::Outcome r, const AnyLine& L, size_t s, size_t e) {
        if (r != LineRegex::Outcome::Found) return Take(r, 0, 0);
        const uint64_t cs = ColumnOfByte(L.bytes, s);
        return Take(r, cs, cs + ColumnOfByte(L.bytes + s, e - s));
    }
    // Line 0 of a file with a byte-order mark starts with U+FEFF, which is
    // not the line's text: it is left out of what the pattern sees (^ is
    // after it), and columns are counted past it.
    uint64_t Mark(uint64_t i, AnyLine& L) const {
        if (i != 0 || !mark || L.length == 0) return 0;
        if (L.bytes && L.length >= 3 && L.bytes[0] == 0xEF && L.bytes[1] == 0xBB && L.bytes[2] == 0xBF) {
            L.bytes += 3;
            L.length -= 3;
            return 1;
        }
        if (L.units && L.units[0] == 0xFEFF) {
            ++L.units;
            --L.length;
            return 1;
        }
        return 0;
    }
    uint64_t Mark(uint64_t i, PieceLine& L) const {
        if (i != 0 || !mark || L.length == 0) return 0;
        const std::u16string first = L.read(0, 1);
        return first.size() == 1 && first[0] == 0xFEFF ? 1 : 0;
    }
    static uint64_t Shifted(uint64_t column, uint64_t by) { return column == NoColumn ? NoColumn : column + by; }

    uint64_t Next(uint64_t i, AnyLine L, uint64_t c) {
        const uint64_t skip = Mark(i, L);
        c = c > skip ? c - skip : 0;
        size_t s = 0, e = 0;
        if (L.bytes) {
            const size_t from = c ? ByteOfColumn(L.bytes, L.length, c, true) : 0;
            const LineRegex::Outcome r = re.Next(L.bytes, L.length, from, s, e);
            return Shifted(TakeBytes(r, L, s, e), skip);
        }
        if (c >= L.length) return NoColumn;
        // A column inside a surrogate pair starts at the pair's end.
        if (c > 0 && Pair(L.units[c - 1], L.units[c])) ++c;
        const LineRegex::Outcome r = re.Next(L.units, L.length, size_t(c), s, e);
        return Shifted(Take(r, s, e), skip);
    }
    uint64_t Next(uint64_t i, PieceLine& L, uint64_t c) {
        const uint64_t skip = Mark(i, L);
        uint64_t s = 0, e = 0;
        const LineRegex::Outcome r = re.NextInPieces(L, std::max(c, skip), skip, s, e);
        return Take(r, s, e);
    }
    uint64_t Last(uint64_t i, AnyLine L, size_t limit) {
        const uint64_t skip = Mark(i, L);
        if (limit != WholeLine) limit = limit > skip ? limit - skip : 0;
        size_t s = 0, e = 0;
        if (L.bytes) {
            const size_t to = limit == WholeLine ? WholeLine : ByteOfColumn(L.bytes, L.length, limit, false);
            const LineRegex::Outcome r = re.Last(L.bytes, L.length, to, s, e);
            return Shifted(TakeBytes(r, L, s, e), skip);
        }
        // A limit inside a surrogate pair ends the line before the pair, as
        // for bytes.
        if (limit != WholeLine && limit > 0 && limit < L.length && Pair(L.units[limit - 1], L.units[limit]))
            --limit;
        const LineRegex::Outcome r = re.Last(L.units, L.length, limit, s, e);
        return Shifted(Take(r, s, e), skip);
    }
    uint64_t Last(uint64_t i, PieceLine& L, uint64_t limit) {
        const uint64_t skip = Mark(i, L);
        uint64_t s = 0, e = 0;
        if (limit != NoColumn && limit > 0 && limit < L.length) {
            const std::u16string two = L.read(limit - 1, 2);
            if (two.size() == 2 && Pair(two[0], two[1])) --limit;
        }
        const LineRegex::Outcome r = re.LastInPieces(L, limit, skip, s, e);
        return Take(r, s, e);
    }
    void Add(uint64_t i, AnyLine L, uint64_t& total) {
        Mark(i, L);
        Take(L.bytes ? re.Count(L.bytes, L.length, total) : re.Count(L.units, L.length, total), 0, 0);
    }
    void Add(uint64_t i, PieceLine& L, uint64_t& total) { Take(re.CountInPieces(L, Mark(i, L), total), 0, 0); }
    bool ByBlocks() const { return false; }
    // A UTF-8 count scans each block's bytes for the literals itself.
    std::u16string CountFilterText() const { return re.HasBytes() && re.HasLiterals() ? std::u16string() : filterText; }
    // A block of the line source's buffers, matched whole.
    bool ListBlock(LineSource& src, uint64_t, uint64_t first, LineSpans& lines) {
        uint64_t n = 0;
        return Block(src, 0, first, n, &lines);  // (listing never takes the raw bytes)
    }
    bool Block(LineSource& src, uint64_t block, uint64_t first, uint64_t& n, LineSpans* lines = nullptr) {
        // UTF-8 counts look at the bytes around the literals only.
        const unsigned char* raw;
        size_t bytes;
        if (!lines && re.HasBytes() && src.RawUtf8Block(block, raw, bytes)) {
            if (first == 0 && mark && bytes >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF) {
                raw += 3;
                bytes -= 3;
            }
            if (re.CountRawUtf8(raw, bytes, n)) return true;
        }
        AnyLine B = src.GetBlockOf(first);
        if (!B.padded) return false;
        const std::vector<size_t>* starts = &src.LineStarts();
        std::vector<size_t> shifted;
        const size_t before = B.length;
        if (first == 0 && Mark(0, B)) {
            const size_t by = before - B.length;
            for (size_t k : *starts) shifted.push_back(k > by ? k - by : 0);
            starts = &shifted;
        }
        if (lines)
            return B.bytes ? re.ListBlock(B.bytes, B.length, *starts, *lines)
                           : re.ListBlock(B.units, B.length, *starts, *lines);
        return B.bytes ? re.CountBlock(B.bytes, B.length, *starts, n) : re.CountBlock(B.units, B.length, *starts, n);
    }
};

// The end of a search that stopped on line i: Failed with its reason, or
// Cancelled.
template <class Engine>
SearchResult Stopped(const Engine& engine, uint64_t i, SearchDetail* detail) {
    if (engine.failure == SearchDetail::Failure::None) return SearchResult::Cancelled;
    if (detail) {
        detail->failure = engine.failure;
        detail->line = i;
    }
    return SearchResult::Failed;
}

// The first match in line i from column c, or NoColumn, in s. A long line
// is read in pieces, the building of its table told to progress as done of
// total lines; false when that building was stopped.
template <class Engine>
bool NextInLine(TextDocument& doc, LineSource& src, LongLines& isLong, Engine& m, uint64_t i, uint64_t c,
                const FindProgress& progress, uint64_t done, uint64_t total, uint64_t& s) {
    if (!isLong(i)) {
        s = m.Next(i, src.GetAny(i), c);
        return true;
    }
    PieceLine L = LongLine(doc, i, progress, done, total);
    s = m.Next(i, L, c);
    return !L.cancelled;
}

template <class Engine>
SearchResult Forward(TextDocument& doc, const TextPosition& selStart, const TextPosition& selEnd, Engine& m,
                     const FindOptions& opt, TextPosition& hit, const FindProgress& progress, SearchDetail* detail) {
    const uint64_t count = doc.lineCount;
    const uint64_t stride = doc.Stride();
    const uint64_t first = selEnd.line;
    const uint64_t pass1 = first < count ? count - first : 0;
    const uint64_t pass2 = opt.wrapAround ? std::min<uint64_t>(selStart.line + 1, count) : 0;
    const uint64_t total = pass1 + pass2;
    uint64_t done = 0;
    LineSource src(doc, true, m.Bytes());
    LongLines isLong{doc};
    BlockPrefilter filter(doc, m.filterText, opt.matchCase, true);
    if (progress)
        filter.tick = [&](uint64_t share) { return progress(done * LineShares + share, total * LineShares); };
    // Lines of blocks whose bytes cannot hold the text are passed over whole.
    auto skip = [&](uint64_t& i, uint64_t end) {
        const uint64_t block = doc.BlockOfLine(i);
        if (!filter.usable() || filter.BlockMayMatch(block)) return false;
        uint64_t next = std::min(end, doc.FirstLineOfBlock(block + 1));
        done += next - 1 - i;
        i = next - 1;
        return true;
    };
    // The match in line i from column c, or NoColumn; false when stopped.
    auto line = [&](uint64_t i, uint64_t c, uint64_t& s) {
        return !filter.cancelled() && NextInLine(doc, src, isLong, m, i, c, progress, done, total, s) &&
               m.failure == SearchDetail::Failure::None;
    };

    for (uint64_t i = first; i < count; ++i, ++done) {
        if (progress && i != first && i % stride == 0 && !progress(done, total)) return SearchResult::Cancelled;
        if ((i == first || i % stride == 0) && skip(i, count)) continue;
        uint64_t s;
        if (!line(i, i == first ? selEnd.column : 0, s)) return Stopped(m, i, detail);
        if (s != NoColumn) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    if (!opt.wrapAround) return SearchResult::NotFound;
    const uint64_t wrapEnd = std::min(count, selStart.line + 1);
    for (uint64_t i = 0; i < count && i <= selStart.line; ++i, ++done) {
        if (progress && i % stride == 0 && done > 0 && !progress(done, total)) return SearchResult::Cancelled;
        if (i % stride == 0 && skip(i, wrapEnd)) continue;
        uint64_t s;
        if (!line(i, 0, s)) return Stopped(m, i, detail);
        if (s != NoColumn) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    return SearchResult::NotFound;
}

template <class Engine>
SearchResult Backward(TextDocument& doc, const TextPosition& selStart, Engine& m, const FindOptions& opt,
                      TextPosition& hit, const FindProgress& progress, SearchDetail* detail) {
    const uint64_t count = doc.lineCount;
    if (count == 0) return SearchResult::NotFound;
    const uint64_t stride = doc.Stride();
    const uint64_t first = selStart.line;
    // Lines past the end read as empty, so the scan can start at the last line.
    const uint64_t start = std::min(first, count - 1);
    const uint64_t pass1 = start + 1;
    const uint64_t pass2 = (opt.wrapAround && first < count) ? count - first : 0;
    const uint64_t total = pass1 + pass2;
    uint64_t done = 0;
    LineSource src(doc, false, m.Bytes());
    LongLines isLong{doc};
    BlockPrefilter filter(doc, m.filterText, opt.matchCase, false);
    if (progress)
        filter.tick = [&](uint64_t share) { return progress(done * LineShares + share, total * LineShares); };
    // Lines of blocks whose bytes cannot hold the text are passed over whole,
    // down to the block's first line or low, whichever is higher.
    auto skip = [&](uint64_t& i, uint64_t low) {
        const uint64_t block = doc.BlockOfLine(i);
        if (!filter.usable() || filter.BlockMayMatch(block)) return false;
        uint64_t next = std::max(low, doc.FirstLineOfBlock(block));
        done += i - next;
        i = next;
        return true;
    };
    // The last match in line i before column limit (NoColumn: the whole line).
    auto line = [&](uint64_t i, uint64_t limit, uint64_t& s) {
        if (filter.cancelled()) return false;
        if (isLong(i)) {
            PieceLine L = LongLine(doc, i, progress, done, total);
            s = m.Last(i, L, limit);
            if (L.cancelled) return false;
        } else {
            s = m.Last(i, src.GetAny(i), limit < WholeLine ? size_t(limit) : WholeLine);
        }
        return m.failure == SearchDetail::Failure::None;
    };

    for (uint64_t i = start + 1; i-- > 0; ++done) {
        if (progress && i != start && (i + 1) % stride == 0 && !progress(done, total)) return SearchResult::Cancelled;
        if ((i == start || (i + 1) % stride == 0) && skip(i, 0)) continue;
        uint64_t s;
        if (!line(i, i == first ? selStart.column : NoColumn, s)) return Stopped(m, i, detail);
        if (s != NoColumn) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    if (!opt.wrapAround || first >= count) return SearchResult::NotFound;
    for (uint64_t i = count; i-- > first; ++done) {
        if (progress && (i + 1) % stride == 0 && done > 0 && !progress(done, total)) return SearchResult::Cancelled;
        if ((i == count - 1 || (i + 1) % stride == 0) && skip(i, first)) continue;
        uint64_t s;
        if (!line(i, NoColumn, s)) return Stopped(m, i, detail);
        if (s != NoColumn) {
            hit = TextPosition{i, s};
            return SearchResult::Found;
        }
    }
    return SearchResult::NotFound;
}

template <class Engine>
SearchResult Count(TextDocument& doc, Engine& m, const FindOptions& opt, uint64_t& total,
                   const FindProgress& progress, SearchDetail* detail) {
    const uint64_t count = doc.lineCount;
    const uint64_t stride = doc.Stride();
    LineSource src(doc, true, m.Bytes());
    LongLines isLong{doc};
    // Literal block counts judge every block themselves; the others are
    // passed over when the prefilter finds no literal, then counted whole
    // where they can be, else line by line.
    BlockPrefilter filter(doc, m.ByBlocks() ? std::u16string() : m.CountFilterText(), opt.matchCase, true);
    uint64_t i = 0;
    if (progress)
        filter.tick = [&](uint64_t share) { return progress(i * LineShares + share, count * LineShares); };
    for (; i < count; ++i) {
        if (progress && i != 0 && i % stride == 0 && !progress(i, count)) return SearchResult::Cancelled;
        if (i % stride == 0) {
            const uint64_t block = doc.BlockOfLine(i);
            uint64_t inBlock = 0;
            if ((filter.usable() && !filter.BlockMayMatch(block)) ||
                (!isLong(i) && m.Block(src, block, i, inBlock))) {
                total += inBlock;
                i = std::min(count, doc.FirstLineOfBlock(block + 1)) - 1;
                continue;
            }
        }
        if (filter.cancelled()) return SearchResult::Cancelled;
        if (isLong(i)) {
            PieceLine L = LongLine(doc, i, progress, i, count);
            m.Add(i, L, total);
            if (L.cancelled) return SearchResult::Cancelled;
        } else {
            m.Add(i, src.GetAny(i), total);
        }
        if (m.failure != SearchDetail::Failure::None) return Stopped(m, i, detail);
    }
    return total ? SearchResult::Found : SearchResult::NotFound;
}

// Runs fn with the engine the options ask for, once it is usable.
// Whether the document's last line is the empty place after its final line
// end (or the only line of an empty file): the file's last unit ends a line.
bool EndsWithLineEnd(TextDocument& doc) {
    const int width = doc.encoding == Encoding::Utf16Le || doc.encoding == Encoding::Utf16Be ? 2 : 1;
    const int64_t textStart = doc.lineIndex.empty() ? 0 : doc.lineIndex[0];
    if (doc.fileSize - textStart < width) return true;
    unsigned char b[2] = {0, 0};
    if (!doc.file.Seek(doc.fileSize - width, SEEK_SET) || doc.file.Read(b, size_t(width)) != size_t(width)) return false;
    const unsigned unit = width == 1 ? b[0] : doc.encoding == Encoding::Utf16Le ? b[0] | b[1] << 8 : b[1] | b[0] << 8;
    return unit == '\n' || unit == '\r';
}

template <class Engine>
SearchResult List(TextDocument& doc, Engine& m, const FindOptions& opt, bool inverse, uint64_t from,
                  const LineRunSink& add, uint64_t& listed, const FindProgress& progress, SearchDetail* detail) {
    uint64_t end = doc.lineCount;
    if (end > 0 && EndsWithLineEnd(doc)) --end;
    const uint64_t stride = doc.Stride();
    LineSource src(doc, true, m.Bytes());
    LongLines isLong{doc};
    // Literal block listings judge every block themselves.
    BlockPrefilter filter(doc, m.ByBlocks() ? std::u16string() : m.filterText, opt.matchCase, true);
    uint64_t i = from;
    const uint64_t lines = end > from ? end - from : 0;
    if (progress)
        filter.tick = [&](uint64_t share) { return progress((i - from) * LineShares + share, lines * LineShares); };
    // Runs are passed on when they end, so a run of listed lines is one call.
    uint64_t runFirst = 0, runCount = 0;
    auto emit = [&](uint64_t first, uint64_t count) {
        if (count == 0) return true;
        listed += count;
        if (runCount && runFirst + runCount == first) {
            runCount += count;
            return true;
        }
        const bool ok = !runCount || add(runFirst, runCount);
        runFirst = first;
        runCount = count;
        return ok;
    };
    // What was found before a cancel or a failure stays listed.
    auto stop = [&](SearchResult r) {
        if (runCount) add(runFirst, runCount);
        return r;
    };
    LineSpans found;
    for (; i < end; ++i) {
        if (progress && i != from && i % stride == 0) {
            // The lines found so far are passed on before the caller shows them.
            if (runCount && !add(runFirst, runCount)) return SearchResult::Cancelled;
            runCount = 0;
            if (!progress(i - from, lines)) return SearchResult::Cancelled;
        }
        if (i % stride == 0) {
            const uint64_t block = doc.BlockOfLine(i);
            const uint64_t blockEnd = std::min(end, doc.FirstLineOfBlock(block + 1));
            if (filter.usable() && !filter.BlockMayMatch(block)) {
                if (inverse && !emit(i, blockEnd - i)) return SearchResult::Cancelled;
                i = blockEnd - 1;
                continue;
            }
            found.clear();
            if (filter.cancelled()) return stop(SearchResult::Cancelled);
            if (!isLong(i) && m.ListBlock(src, block, i, found)) {
                uint64_t next = i;  // the first line not yet passed on
                for (const LineSpan& k : found) {
                    if (i + k.first >= blockEnd) break;
                    const uint64_t spanEnd = std::min<uint64_t>(i + k.end, blockEnd);
                    if (!(inverse ? emit(next, i + k.first - next) : emit(i + k.first, spanEnd - (i + k.first))))
                        return SearchResult::Cancelled;
                    next = spanEnd;
                }
                if (inverse && !emit(next, blockEnd > next ? blockEnd - next : 0)) return SearchResult::Cancelled;
                i = blockEnd - 1;
                continue;
            }
        }
        if (filter.cancelled()) return stop(SearchResult::Cancelled);
        uint64_t s;
        if (!NextInLine(doc, src, isLong, m, i, 0, progress, i - from, lines, s)) return stop(SearchResult::Cancelled);
        if (m.failure != SearchDetail::Failure::None) return stop(Stopped(m, i, detail));
        if ((s != NoColumn) != inverse && !emit(i, 1)) return SearchResult::Cancelled;
    }
    if (runCount && !add(runFirst, runCount)) return SearchResult::Cancelled;
    return listed ? SearchResult::Found : SearchResult::NotFound;
}

// literalForward: a pattern of plain text may go to the literal engine,
// which finds the same first match (Find previous takes the last of the
// matches taken in order, which a self-overlapping text would change).
template <class Fn>
SearchResult WithEngine(TextDocument& doc, const std::u16string& pat, const FindOptions& opt, SearchDetail* detail,
                        bool literalForward, Fn fn) {
    SearchDetail none;
    SearchDetail& d = detail ? *detail : none;
    d = SearchDetail();
    if (opt.regex && !(literalForward && PlainLiteral(pat, !opt.matchCase))) {
        if (pat.empty()) return SearchResult::NotFound;
        RegexEngine m(doc, pat, opt);
        if (!m.Usable(d)) return SearchResult::Failed;
        const SearchResult r = fn(m);
        d.matchLength = m.Length();
        return r;
    }
    LiteralEngine m(doc, pat, opt);
    if (!m.Usable(d)) return SearchResult::NotFound;
    const SearchResult r = fn(m);
    d.matchLength = m.Length();
    return r;
}

} // namespace

bool CheckSearchText(const std::u16string& pat, const FindOptions& opt, SearchDetail& detail) {
    detail = SearchDetail();
    if (!opt.regex) return true;
    LineRegex re;
    return re.Compile(pat, opt, false, detail);
}

SearchResult SearchForward(TextDocument& doc, const TextPosition& selStart, const TextPosition& selEnd,
                           const std::u16string& pat, const FindOptions& opt, TextPosition& hit,
                           const FindProgress& progress, SearchDetail* detail) {
    return WithEngine(doc, pat, opt, detail, true, [&](auto& m) {
        return Forward(doc, selStart, selEnd, m, opt, hit, progress, detail);
    });
}

SearchResult SearchBackward(TextDocument& doc, const TextPosition& selStart, const std::u16string& pat,
                            const FindOptions& opt, TextPosition& hit, const FindProgress& progress,
                            SearchDetail* detail) {
    return WithEngine(doc, pat, opt, detail, false, [&](auto& m) {
        return Backward(doc, selStart, m, opt, hit, progress, detail);
    });
}

// fn() with the engine m, which, when it is the literal one, counts and
// lists whole blocks meanwhile.
template <class Engine, class Fn>
SearchResult WithBlockScan(TextDocument& doc, const std::u16string& pat, const FindOptions& opt, Engine& m, Fn fn) {
    if constexpr (std::is_same<Engine, LiteralEngine>::value) {
        BlockScan blocks(doc, pat, opt);
        m.blocks = &blocks;
        return fn();
    } else {
        return fn();
    }
}

SearchResult CountAll(TextDocument& doc, const std::u16string& pat, const FindOptions& opt, uint64_t& total,
                      const FindProgress& progress, SearchDetail* detail) {
    total = 0;
    return WithEngine(doc, pat, opt, detail, true, [&](auto& m) {
        return WithBlockScan(doc, pat, opt, m, [&] { return Count(doc, m, opt, total, progress, detail); });
    });
}

SearchResult FirstMatchInLine(TextDocument& doc, uint64_t line, const std::u16string& pat, const FindOptions& opt,
                              TextPosition& hit, SearchDetail* detail) {
    if (line >= doc.lineCount) return SearchResult::NotFound;
    return WithEngine(doc, pat, opt, detail, true, [&](auto& m) {
        LineSource src(doc, true, m.Bytes());
        LongLines isLong{doc};
        uint64_t s = NoColumn;
        NextInLine(doc, src, isLong, m, line, 0, nullptr, 0, 1, s);
        if (m.failure != SearchDetail::Failure::None) return Stopped(m, line, detail);
        if (s == NoColumn) return SearchResult::NotFound;
        hit = TextPosition{line, s};
        return SearchResult::Found;
    });
}

SearchResult ListLines(TextDocument& doc, const std::u16string& pat, const FindOptions& opt, bool inverse,
                       uint64_t from, const LineRunSink& add, uint64_t& listed, const FindProgress& progress,
                       SearchDetail* detail) {
    listed = 0;
    return WithEngine(doc, pat, opt, detail, true, [&](auto& m) {
        return WithBlockScan(doc, pat, opt, m,
                             [&] { return List(doc, m, opt, inverse, from, add, listed, progress, detail); });
    });
}
