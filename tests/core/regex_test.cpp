// Regular-expression search against the model of tests/core/regex_reference.h
// in every encoding, with long lines read in pieces, and its failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "core/platform.h"
#include "core/simd_level.h"
#include "core/text_document.h"
#include "search/find_engine.h"
#include "core/matching_lines.h"
#include "search/block_scan.h"
#include "search/prefilter.h"
#include "search/regex_literal.h"
#include "output/save_lines.h"
#include "tests/core/regex_reference.h"
#include "tests/core/temp_text_file.h"
#include "tests/core/test_files.h"

namespace {

TextPosition P(uint64_t l, uint64_t c) { return TextPosition{l, c}; }

FindOptions Rx(bool whole, bool matchCase, bool wrap = true) {
    FindOptions o;
    o.regex = true;
    o.wholeWord = whole;
    o.matchCase = matchCase;
    o.wrapAround = wrap;
    return o;
}

// The lines of a file's bytes (after its mark) as they are, each with its
// own line end: what saving listed lines writes of each.
std::vector<std::string> RawLines(const std::string& text, size_t width) {
    std::vector<std::string> lines;
    size_t start = 0;
    auto unit = [&](size_t i) {
        const unsigned lo = (unsigned char)text[i];
        return width == 1 ? lo : lo | unsigned((unsigned char)text[i + 1]) << 8;
    };
    for (size_t i = 0; i + width <= text.size(); i += width) {
        const unsigned u = unit(i);
        if (u != '\n' && u != '\r') continue;
        if (u == '\r' && i + 2 * width <= text.size() && unit(i + width) == '\n') i += width;
        lines.push_back(text.substr(start, i + width - start));
        start = i + width;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Search, previous and count of one pattern on d against the model on w
// (the same text read whole).
void Agree(TextDocument& d, TextDocument& w, const std::u16string& pat, const FindOptions& o, TextPosition a,
           TextPosition b) {
    model::RefRegex ref(pat, o);
    ASSERT_TRUE(ref.ok());
    TextPosition got{7, 7}, want{7, 7};
    uint64_t wantLength = 0;
    SearchDetail detail;
    SearchResult r = SearchForward(d, a, b, pat, o, got, nullptr, &detail);
    ASSERT_EQ(r, ref.Forward(w, a, b, o.wrapAround, want, wantLength));
    ASSERT_EQ(got, want);
    if (r == SearchResult::Found) {
        EXPECT_EQ(detail.matchLength, wantLength);
    }
    r = SearchBackward(d, a, pat, o, got, nullptr, &detail);
    ASSERT_EQ(r, ref.Backward(w, a, o.wrapAround, want, wantLength));
    ASSERT_EQ(got, want);
    if (r == SearchResult::Found) {
        EXPECT_EQ(detail.matchLength, wantLength);
    }
    uint64_t total = 0;
    CountAll(d, pat, o, total);
    ASSERT_EQ(total, ref.Count(w));
    // The first match of a's line alone (a jump from a listing).
    r = FirstMatchInLine(d, a.line, pat, o, got, &detail);
    const SearchResult inLine = ref.Forward(w, P(a.line, 0), P(a.line, 0), false, want, wantLength);
    if (inLine == SearchResult::Failed) return;
    ASSERT_EQ(r, inLine == SearchResult::Found && want.line == a.line ? SearchResult::Found : SearchResult::NotFound);
    if (r == SearchResult::Found) {
        EXPECT_EQ(got, want);
        EXPECT_EQ(detail.matchLength, wantLength);
    }
}

const std::u16string Patterns[] = {
    u"a+", u"\\d+", u"^a", u"b$", u"a|\u4E2D", u"\u00C9", u".", u"[^a]b", u"\\bab\\b", u"x*", u"\\x{1F600}",
    u"(?<=a)b", u"a\\Kb", u"\u8D85\u65F6|timeout", u"\\s+", u"[\u4E2Db]{2,}", u"a(?=b)", u"A", u"ab+a?",
    u"time(out)?\\d", u"^$", u".\\b", u"K", u"(?i)T", u"\\w+\\.\\w", u"a.\u00E9", u"b\\s7", u"ab|7 \\w"};

} // namespace

// Every encoding (UTF-8 with and without malformed bytes, UTF-16 LE and BE,
// ANSI), block prefilter on and off, every vector level: the same results
// as PCRE2 driven on each decoded line.
TEST(Regex, AgreesWithTheEngineLineByLineInEveryEncoding) {
    const std::u16string pieces[] = {u"a", u"A", u"b", u"ab", u"\u00E9", u"\u00C9", u" ", u".", u"\u4E2D",
                                     u"\U0001F600", u"\r\n", u"\n", u"\r", u"7", u"timeout", u"\u8D85\u65F6",
                                     u"k", u"\u212A", u"x\0"};
    std::mt19937 rng(5);
    for (int round = 0; round < 8; ++round) {
        std::u16string text;
        for (int i = 0; i < 2500; ++i) text += pieces[rng() % (round == 4 ? 19 : 18)];
        std::string utf8 = PathToUtf8(text);
        if (round % 4 == 3) utf8[utf8.size() / 2] = char(0xFF);  // one malformed block
        std::string le, be;
        for (char16_t u : text) le += {char(u & 0xFF), char(u >> 8)};
        for (char16_t u : text) be += {char(u >> 8), char(u & 0xFF)};
        // Rounds 1 and 5: the UTF-8 and UTF-16 LE files start with a byte-order mark.
        const bool mark = round % 4 == 1;
        TempTextFile a(mark ? "\xEF\xBB\xBF" + utf8 : utf8, mark ? Encoding::Utf8Bom : Encoding::Utf8),
            b(mark ? "\xFF\xFE" + le : le, Encoding::Utf16Le), c(be, Encoding::Utf16Be), g(utf8, Encoding::Ansi);
        ASSERT_TRUE(a.opened && b.opened && c.opened && g.opened);
        ASSERT_EQ(a.doc.hasMark, mark);
        BlockPrefilter::Enable(round % 2 == 0);
        simd_level::Cap(static_cast<simd_level::Level>(round % 3));
        for (TextDocument* d : {&a.doc, &b.doc, &c.doc, &g.doc}) {
            for (int q = 0; q < 12; ++q) {
                const std::u16string& pat = Patterns[rng() % (sizeof Patterns / sizeof Patterns[0])];
                const FindOptions o = Rx(rng() % 3 == 0, rng() % 2, rng() % 4 != 0);
                const uint64_t l1 = rng() % d->lineCount;
                const TextPosition s = P(l1, rng() % 8), e = P(l1 + rng() % 2, rng() % 8);
                SCOPED_TRACE(testing::Message() << "round " << round << " query " << q);
                Agree(*d, *d, pat, o, s, e < s ? s : e);
            }
        }
    }
    BlockPrefilter::Enable(true);
    simd_level::Cap(simd_level::Avx2);
}

// A NUL ends its line's text and its block's lines, on every path of a
// count (raw bytes around the literals, whole blocks, lines one by one).
TEST(Regex, NulEndsTheLinesOfItsBlockOnEveryPath) {
    TempTextFile f(std::string("q\0q\nab ab\nab\n", 13) + "ab\n" + std::string(300, 'x') + "\nab\n");
    ASSERT_TRUE(f.opened);
    for (const char16_t* pat : {u"ab|zz", u"a.", u"\\w+", u"(?<=a)b"}) {
        model::RefRegex ref(pat, Rx(false, true));
        uint64_t total = 0;
        CountAll(f.doc, pat, Rx(false, true), total);
        EXPECT_EQ(total, ref.Count(f.doc)) << (pat[0] == u'a' ? "literal" : "other");
    }
}

// Long lines read in pieces, in windows as small as the block bound makes
// them, give what the lines read whole give.
TEST(Regex, LongLinesInWindowsAgreeWithTheWholeLines) {
    const std::u16string words[] = {u"cat", u"Cat", u"concat", u" ", u".", u"\u4E2D", u"\U0001F600", u"t ", u"aaa",
                                    u"123", u"x"};
    const std::u16string pats[] = {u"cat", u"c.t", u"\\d+", u"a{1,50}", u"(?<=\u4E2D)\\w", u"\\bcat\\b", u"t$", u"^C",
                                   u"[^a]{3}", u"\U0001F600."};
    std::mt19937 rng(23);
    for (int round = 0; round < 8; ++round) {
        std::u16string text;
        for (int line = 0; line < 3; ++line) {
            const int n = line == 1 ? 5 : 1500 + int(rng() % 3000);
            for (int i = 0; i < n; ++i) text += words[rng() % 11];
            text += line == 0 ? u"\r\n" : u"\n";
        }
        text += std::u16string(5000, u'a') + u"cat";
        std::string le;
        for (char16_t u : text) le += {char(u & 0xFF), char(u >> 8)};
        const bool utf16 = round % 2;
        TempTextFile whole(utf16 ? le : PathToUtf8(text), utf16 ? Encoding::Utf16Le : Encoding::Utf8);
        TempTextFile cut(utf16 ? le : PathToUtf8(text), utf16 ? Encoding::Utf16Le : Encoding::Utf8);
        ASSERT_TRUE(whole.opened && cut.opened);
        cut.doc.maxBlockBytes = round < 4 ? 4096 : 64 + rng() % 700;
        ASSERT_TRUE(cut.doc.IsLongLine(0));
        for (int q = 0; q < 16; ++q) {
            const FindOptions o = Rx(rng() % 3 == 0, rng() % 2, rng() % 3 != 0);
            const uint64_t l1 = rng() % cut.doc.lineCount;
            const TextPosition s = P(l1, rng() % (whole.doc.GetLineText(l1).size() + 2));
            const std::u16string& pat = pats[rng() % 10];
            SCOPED_TRACE(testing::Message() << "round " << round << " query " << q << " pattern " << pat.size() << " "
                                            << char(pat[0]) << char(pat[1]) << " bound " << cut.doc.maxBlockBytes);
            Agree(cut.doc, whole.doc, pat, o, s, s);
        }
    }
}

// A match as long as a window is found; one unit longer is said, not missed.
TEST(Regex, MatchLongerThanTheWindowIsReported) {
    for (uint64_t extra : {0, 1}) {
        TempTextFile f("x" + std::string(4095 + extra, 'a') + "y tail\n");
        ASSERT_TRUE(f.opened);
        f.doc.maxBlockBytes = 4096;
        ASSERT_EQ(f.doc.PrefixUnits(), 4096u);
        TextPosition hit;
        SearchDetail detail;
        uint64_t total = 0;
        const SearchResult r = SearchForward(f.doc, P(0, 0), P(0, 0), u"a+y", Rx(false, true), hit, nullptr, &detail);
        if (extra == 0) {
            ASSERT_EQ(r, SearchResult::Found);
            EXPECT_EQ(hit, P(0, 1));
            EXPECT_EQ(detail.matchLength, 4096u);
            EXPECT_EQ(CountAll(f.doc, u"a+y", Rx(false, true), total), SearchResult::Found);
            EXPECT_EQ(total, 1u);
        } else {
            ASSERT_EQ(r, SearchResult::Failed);
            EXPECT_EQ(detail.failure, SearchDetail::Failure::MatchTooLong);
            EXPECT_EQ(CountAll(f.doc, u"a+y", Rx(false, true), total, nullptr, &detail), SearchResult::Failed);
            EXPECT_EQ(detail.line, 0u);
        }
    }
}

// A pattern that does not compile names the engine's reason and the
// character; a line the engine gives up on stops the search there.
TEST(Regex, FailuresAreReportedNotSkipped) {
    SearchDetail detail;
    EXPECT_TRUE(CheckSearchText(u"a(b", Rx(false, false, false), detail) == false);
    EXPECT_EQ(detail.failure, SearchDetail::Failure::BadPattern);
    EXPECT_EQ(detail.message, u"missing closing parenthesis");
    EXPECT_EQ(detail.position, 4u);
    EXPECT_FALSE(CheckSearchText(u"\U0001F600(", Rx(false, false), detail));
    EXPECT_EQ(detail.position, 3u);  // a pair is one character
    EXPECT_FALSE(CheckSearchText(u"a\\Cb", Rx(false, false), detail));
    EXPECT_TRUE(CheckSearchText(u"a(b", FindOptions{}, detail));

    TempTextFile f("ok\nfine\n" + std::string(3000, 'a') + "!\nlater a!\n");
    ASSERT_TRUE(f.opened);
    TextPosition hit{9, 9};
    uint64_t total = 7;
    for (auto run : {0, 1, 2}) {
        detail = SearchDetail();
        SearchResult r = run == 0   ? SearchForward(f.doc, P(0, 0), P(0, 0), u"(a+)+$", Rx(false, true), hit, nullptr, &detail)
                         : run == 1 ? SearchBackward(f.doc, P(3, 9), u"(a+)+$", Rx(false, true), hit, nullptr, &detail)
                                    : CountAll(f.doc, u"(a+)+$", Rx(false, true), total, nullptr, &detail);
        EXPECT_EQ(r, SearchResult::Failed) << run;
        EXPECT_EQ(detail.failure, SearchDetail::Failure::TooComplex);
        EXPECT_EQ(detail.line, 2u);
    }
    EXPECT_EQ(hit, P(9, 9));
    EXPECT_EQ(SearchForward(f.doc, P(0, 0), P(0, 0), u"a(b", Rx(false, true), hit, nullptr, &detail),
              SearchResult::Failed);
    EXPECT_EQ(detail.failure, SearchDetail::Failure::BadPattern);
}

// What the prefilter may look for: only text every match holds.
TEST(Regex, RequiredLiteralIsOnlyWhatEveryMatchHolds) {
    const struct {
        const char16_t* pattern;
        bool caseless;
        const char16_t* literal;
    } cases[] = {
        {u"ERROR \\d+ in", false, u"ERROR "},     {u"ab+c", false, u"ab"},
        {u"abc?d", false, u"ab"},                 {u"a|bcd", false, u""},
        {u"(?i)error", false, u""},               {u"x(yz|w)+long", false, u"long"},
        {u"[abc]def\\.gh", false, u"def.gh"},     {u"time\\Qout\\E", false, u""},
        {u"sock timeout", true, u" timeout"},           {u"\u8D85\u65F6 x", true, u"\u8D85\u65F6 x"},
        {u"caf\u00E9s", true, u"caf"},            {u"a{2}bc{0}dd", false, u"dd"},
        {u"a{,3}bcd", false, u""},                {u"(?:ab)cde", false, u"cde"},
    };
    for (const auto& c : cases) EXPECT_EQ(RequiredLiteral(c.pattern, c.caseless), c.literal) << &c - cases;
}

// Listing the lines with a match, or without one, literal text and patterns
// alike, against the lines searched one by one; runs come merged.
TEST(ListLines, AgreesWithTheLinesOneByOne) {
    const std::u16string pieces[] = {u"a", u"ab", u"b ", u"\u4E2D", u"\U0001F600", u"\r\n", u"\n", u"\n", u"\r",
                                     u"7", u"timeout", std::u16string(u"x\0", 2)};
    const std::u16string pats[] = {u"ab", u"a|\u4E2D", u"^b", u"\\d", u"b $", u"t.m", u"\u4E2D"};
    std::mt19937 rng(8);
    for (int round = 0; round < 12; ++round) {
        std::u16string text;
        for (int i = 0; i < (round < 8 ? 1200 : 4000); ++i) text += pieces[rng() % (round % 3 == 1 ? 12 : 11)];
        if (round % 3 == 0) text += u"\n";  // a final line end: the empty place after it is no line
        std::string le;
        for (char16_t u : text) le += {char(u & 0xFF), char(u >> 8)};
        const bool utf16 = round % 2, mark = round % 4 == 2;
        std::string bytes = utf16 ? le : PathToUtf8(text);
        if (mark) bytes = (utf16 ? "\xFF\xFE" : "\xEF\xBB\xBF") + bytes;
        TempTextFile f(bytes, utf16 ? Encoding::Utf16Le : mark ? Encoding::Utf8Bom : Encoding::Utf8);
        TempTextFile whole(bytes, utf16 ? Encoding::Utf16Le : mark ? Encoding::Utf8Bom : Encoding::Utf8);
        ASSERT_TRUE(f.opened && whole.opened);
        if (round >= 8) f.doc.maxBlockBytes = 256 + rng() % 2000;  // long lines in pieces
        BlockPrefilter::Enable(round % 4 != 3);
        BlockScan::Enable(round % 3 != 2);
        BlockScan::ChunkLimit(round % 2 ? 1 + rng() % 300 : 0);  // many reads, made ahead
        const bool final = text.back() == u'\n' || text.back() == u'\r';
        const uint64_t end = whole.doc.lineCount - (final ? 1 : 0);
        const size_t markBytes = mark ? (utf16 ? 2 : 3) : 0;
        const std::vector<std::string> raw = RawLines(bytes.substr(markBytes), utf16 ? 2 : 1);
        ASSERT_EQ(raw.size(), end);
        const TempFile saved("");
        for (int q = 0; q < 10; ++q) {
            FindOptions o = Rx(rng() % 3 == 0, rng() % 2);
            o.regex = rng() % 3 != 0;
            const std::u16string& pat = o.regex ? pats[rng() % 7] : pats[rng() % 2 * 6];
            const bool inverse = rng() % 2;
            const uint64_t from = rng() % 3 == 0 ? rng() % end : 0;
            SCOPED_TRACE(testing::Message() << "round " << round << " query " << q << " regex " << o.regex);
            std::vector<uint64_t> want, got;
            model::RefRegex ref(pat, o);
            for (uint64_t i = from; i < end; ++i) {
                bool gaveUp;
                size_t skip;
                const bool has = o.regex ? !ref.Taken(model::RefRegex::Text(whole.doc, i, skip), 0, SIZE_MAX, gaveUp).empty()
                                         : MatchForward(whole.doc.GetLineText(i), 0, pat, o) != NoMatch;
                if (has != inverse) want.push_back(i);
            }
            uint64_t listed = 0, lastEnd = UINT64_MAX;
            bool merged = true;
            const SearchResult r = ListLines(f.doc, pat, o, inverse, from, [&](uint64_t first, uint64_t count) {
                merged = merged && first != lastEnd && count > 0;
                lastEnd = first + count;
                for (uint64_t k = 0; k < count; ++k) got.push_back(first + k);
                return true;
            }, listed);
            if (got != want) {
                size_t k = 0;
                while (k < got.size() && k < want.size() && got[k] == want[k]) ++k;
                FAIL() << "from " << from << " inverse " << inverse << " sizes " << got.size() << " " << want.size()
                       << " first difference at " << k << ": " << (k < got.size() ? got[k] : 0) << " vs "
                       << (k < want.size() ? want[k] : 0) << " pattern " << pat.size() << " end " << end;
            }
            EXPECT_EQ(listed, want.size());
            EXPECT_EQ(r, want.empty() ? SearchResult::NotFound : SearchResult::Found);
            EXPECT_TRUE(merged);
            // Saved, the listed lines are the file's bytes, line ends and mark included.
            MatchingLines list(1 + rng() % 8);
            for (uint64_t line : want) list.Add(line);
            std::string expected = bytes.substr(0, markBytes);
            for (uint64_t line : want) expected += raw[line];
            ASSERT_TRUE(SaveListedLines(f.doc, f.path(), list, saved.path()));
            std::ifstream in(PathToUtf8(saved.path()), std::ios::binary);
            EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == expected);
            // A cancel keeps what was listed before it: a prefix.
            got.clear();
            int calls = 0;
            ListLines(f.doc, pat, o, inverse, from, [&](uint64_t first, uint64_t count) {
                for (uint64_t k = 0; k < count; ++k) got.push_back(first + k);
                return true;
            }, listed, [&](uint64_t, uint64_t) { return ++calls < 4; });
            ASSERT_LE(got.size(), want.size());
            EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
        }
    }
    BlockPrefilter::Enable(true);
    BlockScan::Enable(true);
    BlockScan::ChunkLimit(0);
}

// Saving listed lines never writes onto the open file, and a file that
// shrank under the listing fails the save and leaves the target as it was.
TEST(ListLines, SavingRefusesTheOpenFileAndAShrunkFile) {
    std::string bytes;
    for (int i = 0; i < 500; ++i) bytes += "line " + std::to_string(i) + "\n";
    TempTextFile f(bytes);
    ASSERT_TRUE(f.opened);
    MatchingLines list;
    list.AddRun(0, 500);
    EXPECT_FALSE(SaveListedLines(f.doc, f.path(), list, f.path()));
    const TempFile target("kept");
    {
        FileStream cut;
        ASSERT_TRUE(cut.Open(f.path(), "wb"));
        cut.Write(bytes.data(), 1000);
    }
    int calls = 0;
    EXPECT_FALSE(SaveListedLines(f.doc, f.path(), list, target.path(), [&](int64_t, int64_t) { return ++calls > 0; }));
    std::ifstream in(PathToUtf8(target.path()), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept");
}

// The list of listed lines: a run of a billion lines costs what one line
// does, a line on its own at most 8 bytes; lookups at the far end.
TEST(ListLines, LineNumbersCostEightBytesARunAtMost) {
    MatchingLines inverse;
    inverse.AddRun(0, 499999999);
    inverse.Add(500000001);  // one line (500000000) left out
    inverse.AddRun(500000002, 500000000);
    EXPECT_EQ(inverse.Size(), 1000000000u);
    EXPECT_LE(inverse.MemoryBytes(), 256u);
    EXPECT_EQ(inverse.LineAt(499999999), 500000001u);
    EXPECT_EQ(inverse.RowAtOrAfter(500000000), 499999999u);
    EXPECT_FALSE(inverse.Contains(500000000));
    EXPECT_EQ(inverse.LastLine(), 1000000001u);
    MatchingLines sparse;
    for (uint64_t k = 0; k < 1000000; ++k) sparse.Add(k * 3 + (k & 1));
    EXPECT_LE(sparse.MemoryBytes(), 8u * 1000000 + 8 * MatchingLines::ChunkRuns + 64 * 1000);
    EXPECT_EQ(sparse.LineAt(999999), 999999u * 3 + 1);
    EXPECT_EQ(sparse.RowAtOrAfter(2), 1u);
    sparse.DropFrom(6);  // lines 0 and 4 stay
    EXPECT_EQ(sparse.Size(), 2u);
    EXPECT_EQ(sparse.LastLine(), 4u);
}
