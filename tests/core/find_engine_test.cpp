// Find engine rules on single lines, and the optimised matcher against a
// plain reference of the same rules.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/simd_level.h"
#include "search/block_scan.h"
#include "search/find_engine.h"
#include "search/match_count.h"
#include "search/prefilter.h"
#include "search/matcher.h"
#include "core/text_document.h"
#include "tests/core/find_reference.h"
#include "tests/core/temp_text_file.h"
#include "tests/core/test_files.h"

using namespace std::string_literals;

namespace {

FindOptions Opt(bool whole, bool matchCase) {
    FindOptions o;
    o.wholeWord = whole;
    o.matchCase = matchCase;
    return o;
}

const FindOptions Plain = Opt(false, false);
const FindOptions Whole = Opt(true, false);
const FindOptions Case = Opt(false, true);
const FindOptions WholeCase = Opt(true, true);

} // namespace

TEST(FindRules, LettersAreOnlyAsciiLetters) {
    EXPECT_TRUE(IsLetter(u'a'));
    EXPECT_TRUE(IsLetter(u'Z'));
    for (char16_t u : {u'0', u'9', u'_', u' ', u'\t', u'\r', u'\n', u'@', u'[', u'`', u'{', char16_t(0xE9),
                       char16_t(0x4E2D), char16_t(0xFF21), char16_t(0)})
        EXPECT_FALSE(IsLetter(u)) << int(u);
}

TEST(FindRules, WholeWordRejectsAndRetries) {
    // First occurrence inside "concatenate" is rejected; the column counts from the line start.
    EXPECT_EQ(MatchForward(u"concatenate cat", 0, u"cat", Whole), 12u);
    EXPECT_EQ(MatchForward(u"concatenate cat", 0, u"cat", Plain), 3u);
    // Both overlapping occurrences touch a letter.
    EXPECT_EQ(MatchForward(u"aaa b", 0, u"aa", Whole), NoMatch);
    EXPECT_EQ(CountInLine(u"aaa b", u"aa", Whole), 0u);
    // Digits, underscore and CJK are not letters.
    EXPECT_EQ(MatchForward(u"id_1", 0, u"id", Whole), 0u);
    EXPECT_EQ(MatchForward(u"2id", 0, u"id", Whole), 1u);
    EXPECT_EQ(MatchForward(u"中id文", 0, u"id", Whole), 1u);
    // Line start, terminator and line end are not letters.
    EXPECT_EQ(MatchForward(u"foo bar\r\n", 0, u"bar", Whole), 4u);
    EXPECT_EQ(MatchForward(u"foo bar", 0, u"bar", Whole), 4u);
    EXPECT_EQ(MatchForward(u"foo\n", 0, u"foo", Whole), 0u);
    // The left neighbour comes from the line even when it lies before the start column.
    EXPECT_EQ(MatchForward(u"xfoo foo", 1, u"foo", Whole), 5u);
    // The search text's own ends are not examined.
    EXPECT_EQ(MatchForward(u"a-b", 0, u"-", Whole), NoMatch);
    EXPECT_EQ(MatchForward(u"1-2", 0, u"-", Whole), 1u);
    EXPECT_EQ(MatchForward(u"x (cat) y", 0, u"(cat", Whole), 2u);
    EXPECT_EQ(MatchForward(u"xa b", 0, u"a b", Whole), NoMatch);
}

TEST(FindRules, ForwardStartColumn) {
    EXPECT_EQ(MatchForward(u"abcabc", 1, u"abc", Plain), 3u);
    EXPECT_EQ(MatchForward(u"abcabc", 3, u"abc", Plain), 3u);
    EXPECT_EQ(MatchForward(u"abcabc", 4, u"abc", Plain), NoMatch);
    EXPECT_EQ(MatchForward(u"abc", 3, u"", Plain), NoMatch);
    EXPECT_EQ(MatchForward(u"abc", 99, u"c", Plain), NoMatch);
    EXPECT_EQ(MatchForward(u"", 0, u"a", Plain), NoMatch);
}

TEST(FindRules, CaseFoldingIsAsciiOnlyAndShared) {
    EXPECT_EQ(MatchForward(u"xx TimeOut", 0, u"TIMEOUT", Plain), 3u);
    EXPECT_EQ(MatchBackward(u"TimeOut xx", WholeLine, u"timeout", Plain), 0u);
    EXPECT_EQ(CountInLine(u"timeout TIMEOUT TimeOut", u"tImEoUt", Plain), 3u);
    // Units outside ASCII compare exactly, in all three operations.
    const std::u16string upper = u"\u00C9T\u00C9", lower = u"\u00E9t\u00E9";
    EXPECT_EQ(MatchForward(upper, 0, lower, Plain), NoMatch);
    EXPECT_EQ(MatchBackward(upper, WholeLine, lower, Plain), NoMatch);
    EXPECT_EQ(CountInLine(upper, lower, Plain), 0u);
    EXPECT_EQ(MatchForward(u"\uFF21", 0, u"\uFF41", Plain), NoMatch);
    // Neighbours of the ASCII letter range do not fold.
    EXPECT_EQ(MatchForward(u"@[`{", 0, u"`", Plain), 2u);
    EXPECT_EQ(MatchForward(u"@[", 0, u"`{", Plain), NoMatch);
}

TEST(FindRules, MatchCaseRejection) {
    EXPECT_EQ(MatchForward(u"Foo foo", 0, u"Foo", Case), 0u);
    EXPECT_EQ(MatchBackward(u"Foo foo", WholeLine, u"Foo", Case), 0u);
    EXPECT_EQ(MatchBackward(u"Foo foo", WholeLine, u"Foo", Plain), 4u);
    EXPECT_EQ(MatchBackward(u"foo FOO", WholeLine, u"Foo", Case), NoMatch);
    EXPECT_EQ(MatchForward(u"foo FOO", 0, u"Foo", Case), NoMatch);
    EXPECT_EQ(CountInLine(u"Foo foo FOO Foo", u"Foo", Case), 2u);
    // A case rejection lets an overlapping earlier occurrence through.
    EXPECT_EQ(MatchBackward(u"aAa", WholeLine, u"aA", Case), 0u);
    EXPECT_EQ(MatchBackward(u"xFoo Foo", WholeLine, u"Foo", WholeCase), 5u);
    EXPECT_EQ(MatchBackward(u"Foo xFoo foo", WholeLine, u"Foo", WholeCase), 0u);
}

TEST(FindRules, BackwardLimits) {
    EXPECT_EQ(MatchBackward(u"abc abc", 0, u"abc", Plain), NoMatch);
    EXPECT_EQ(MatchBackward(u"abc abc", 7, u"abc", Plain), 4u);
    EXPECT_EQ(MatchBackward(u"abc abc", 6, u"abc", Plain), 0u);
    EXPECT_EQ(MatchBackward(u"abc abc", 100, u"abc", Plain), 4u);
    EXPECT_EQ(MatchBackward(u"abc abc", 2, u"abc", Plain), NoMatch);
    // A one-letter search text rejected by its right neighbour: no endless retry.
    EXPECT_EQ(MatchBackward(u"ab", WholeLine, u"a", Whole), NoMatch);
    // The limit acts as the end of the text for the right neighbour.
    EXPECT_EQ(MatchBackward(u"foobar", 3, u"foo", Whole), 0u);
    EXPECT_EQ(MatchBackward(u"foobar", WholeLine, u"foo", Whole), NoMatch);
    // The left neighbour comes from the line.
    EXPECT_EQ(MatchBackward(u"xfoo", WholeLine, u"foo", Whole), NoMatch);
    EXPECT_EQ(MatchBackward(u"foo xfoo foox foo.", WholeLine, u"foo", Whole), 14u);
    EXPECT_EQ(MatchBackward(u"foo xfoo foox", WholeLine, u"foo", Whole), 0u);
}

TEST(FindRules, CountsDoNotOverlap) {
    EXPECT_EQ(CountInLine(u"aaaa", u"aa", Plain), 2u);
    EXPECT_EQ(CountInLine(u"aaaaa", u"aa", Plain), 2u);
    EXPECT_EQ(CountInLine(u"abc", u"x", Plain), 0u);
    EXPECT_EQ(CountInLine(u"", u"x", Plain), 0u);
    // After a rejection the next occurrence may overlap the rejected one.
    EXPECT_EQ(CountInLine(u"aaa aa", u"aa", Whole), 1u);
    EXPECT_EQ(CountInLine(u"x.aba.aba", u"aba", Whole), 2u);
    EXPECT_EQ(CountInLine(u"ababa", u"aba", Plain), 1u);
}

TEST(FindRules, NulEndsTheSearchableText) {
    const std::u16string L(u"ab\0cd", 5);
    EXPECT_EQ(MatchForward(L, 0, u"cd", Plain), NoMatch);
    EXPECT_EQ(MatchBackward(L, WholeLine, u"cd", Plain), NoMatch);
    EXPECT_EQ(CountInLine(L, u"cd", Plain), 0u);
    EXPECT_EQ(CountInLine(L, u"ab", Plain), 1u);
    // A forward search that starts past the NUL covers the text after it.
    EXPECT_EQ(MatchForward(L, 3, u"cd", Plain), 3u);
    // A NUL right after an occurrence is nothing on its right.
    const std::u16string M(u"ab\0x", 4);
    EXPECT_EQ(MatchForward(M, 0, u"ab", Whole), 0u);
    EXPECT_EQ(MatchBackward(M, WholeLine, u"ab", Whole), 0u);
    EXPECT_EQ(CountInLine(M, u"ab", Whole), 1u);
    const std::u16string N(u"xab\0", 4);
    // A search text is taken up to its own first NUL.
    EXPECT_EQ(MatchForward(N, 0, std::u16string(u"ab\0z", 4), Plain), 1u);
}

TEST(FindRules, SearchTextWithTerminator) {
    EXPECT_EQ(MatchForward(u"xfoo\r\n", 0, u"foo\r\n", Plain), 1u);
    EXPECT_EQ(MatchForward(u"xfoo\n", 0, u"foo\r\n", Plain), NoMatch);
    EXPECT_EQ(MatchForward(u"xfoo", 0, u"foo\r\n", Plain), NoMatch);
    EXPECT_EQ(MatchBackward(u"foo\r\n", WholeLine, u"foo\r\n", Plain), 0u);
    EXPECT_EQ(MatchBackward(u"foo\r\n", 4, u"foo\r\n", Plain), NoMatch);
    EXPECT_EQ(MatchForward(u"a foo\r", 0, u"foo\r", Whole), 2u);
    EXPECT_EQ(CountInLine(u"x\n", u"\n", Plain), 1u);
}

// ---- optimised matcher against the rules applied one position at a time ----

namespace {

using model::RefBackward;
using model::RefCount;
using model::RefForward;

std::u16string RandomText(std::mt19937& rng, size_t len, const std::u16string& alphabet) {
    std::u16string s(len, u' ');
    for (auto& u : s) u = alphabet[rng() % alphabet.size()];
    return s;
}

void CompareAll(const std::u16string& L, const std::u16string& p) {
    for (const FindOptions& o : {Plain, Whole, Case, WholeCase}) {
        for (size_t c : {size_t(0), size_t(1), L.size() / 3, L.size() / 2, L.size()})
            ASSERT_EQ(MatchForward(L, c, p, o), RefForward(L, c, p, o)) << "c=" << c;
        for (size_t lim : {WholeLine, L.size() / 2, L.size() / 3 + 1, size_t(1)})
            ASSERT_EQ(MatchBackward(L, lim, p, o), RefBackward(L, lim, p, o)) << "limit=" << lim;
        // Counting on each vector path.
        const uint64_t want = RefCount(L, p, o);
        for (int level = simd_level::Scalar; level <= simd_level::Avx2; ++level) {
            simd_level::Cap(static_cast<simd_level::Level>(level));
            ASSERT_EQ(CountInLine(L, p, o), want) << "level " << level;
        }
    }
}

} // namespace

TEST(FindMatcher, AgreesWithReferenceOnRandomText) {
    std::mt19937 rng(12345);
    const std::u16string alphabet = u"aAbB .\u4E2D\0"s;
    for (int round = 0; round < 600; ++round) {
        size_t len = rng() % (round < 500 ? 80 : 700);
        std::u16string L = RandomText(rng, len, round % 3 ? alphabet.substr(0, 7) : alphabet);
        std::u16string p;
        if (len && rng() % 2) {
            size_t s = rng() % len, n = 1 + rng() % (round % 4 ? 6 : 20);
            p = L.substr(s, n);
        } else {
            p = RandomText(rng, 1 + rng() % 4, alphabet.substr(0, 6));
        }
        if (p.empty() || p.find(char16_t(0)) != std::u16string::npos) p.assign(1, u'a');
        if (round % 5 == 0) {
            // Dense: the search text over and over, cases flipped, with short
            // gaps (letters or not) and overlaps where it repeats itself.
            L.clear();
            while (L.size() < len) {
                std::u16string q = p;
                for (char16_t& u : q)
                    if (IsLetter(u) && rng() % 4 == 0) u ^= 0x20;
                L += q.substr(0, q.size() - rng() % 2 * (q.size() / 2)) + RandomText(rng, rng() % 3, u"aA .\u4E2D");
            }
        }
        SCOPED_TRACE(round);
        CompareAll(L, p);
    }
    simd_level::Cap(simd_level::Avx2);
}

TEST(FindMatcher, RepetitiveTextStaysCorrectAfterSwitchingToAutomaton) {
    // Long runs make candidate verification expensive; the scan changes method
    // part-way through the line and must still report the same matches.
    std::u16string p(300, u'a');
    std::u16string L(20000, u'a');
    for (size_t i = 997; i < L.size(); i += 1499) L[i] = u'b';
    L[15000] = u'A';
    CompareAll(L, p);
    std::u16string q = p;
    q[150] = u'b';
    CompareAll(L, q);
    std::u16string periodic;
    for (int i = 0; i < 4000; ++i) periodic += u"abA";
    CompareAll(periodic, u"abaabaaba");
    CompareAll(periodic, u"AbAab");
    // Alternating case: every folded position matches, half of them exactly.
    std::u16string alt, ap;
    for (int i = 0; i < 20000; ++i) alt += (i % 2) ? u'a' : u'A';
    for (int i = 0; i < 300; ++i) ap += (i % 2) ? u'a' : u'A';
    CompareAll(alt, ap);
    ap[0] = u'a';
    CompareAll(alt, ap);
    alt[alt.size() / 2] = u' ';
    CompareAll(alt, ap);
}

TEST(FindMatcher, LongLinesAndLongSearchTexts) {
    std::mt19937 rng(7);
    std::u16string L = RandomText(rng, 100000, u"abcdefgh ");
    std::u16string p = L.substr(77777, 1023);
    CompareAll(L, p);
    EXPECT_EQ(MatchForward(L, 0, p, Plain), RefForward(L, 0, p, Plain));
    L[77777 + 1022] ^= 0x20;
    CompareAll(L, p);
}

// ---- whole-document search and count ----

namespace {

TextPosition P(uint64_t line, uint64_t column) { return TextPosition{line, column}; }

SearchResult Next(TextDocument& d, TextPosition a, TextPosition b, const std::u16string& p, FindOptions o,
                  TextPosition& hit) {
    return SearchForward(d, a, b, p, o, hit);
}

} // namespace

TEST(FindDocument, ForwardWrapsToTheOnlyMatch) {
    TempTextFile f("alpha\r\nfoo bar\nomega");
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.doc.lineCount, 3u);
    TextPosition hit;
    ASSERT_EQ(Next(f.doc, P(0, 0), P(0, 0), u"bar", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 4));
    // Starting at the end of that match, the search wraps round to it again.
    ASSERT_EQ(Next(f.doc, P(1, 4), P(1, 7), u"bar", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 4));
    FindOptions noWrap = Plain;
    noWrap.wrapAround = false;
    hit = P(9, 9);
    EXPECT_EQ(Next(f.doc, P(1, 4), P(1, 7), u"bar", noWrap, hit), SearchResult::NotFound);
    EXPECT_EQ(hit, P(9, 9));
    EXPECT_EQ(Next(f.doc, P(0, 0), P(0, 0), u"zeta", Plain, hit), SearchResult::NotFound);
}

TEST(FindDocument, RepeatedForwardWalksNonOverlappingMatches) {
    TempTextFile f("aaaa\nxaa\n");
    ASSERT_TRUE(f.opened);
    TextPosition s = P(0, 0), e = P(0, 0), hit;
    std::vector<TextPosition> seen;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(Next(f.doc, s, e, u"aa", Plain, hit), SearchResult::Found);
        seen.push_back(hit);
        s = hit;
        e = P(hit.line, hit.column + 2);
    }
    std::vector<TextPosition> want{P(0, 0), P(0, 2), P(1, 1), P(0, 0)};
    EXPECT_EQ(seen, want);
}

TEST(FindDocument, WrapStopsAtTheSelectionStartLine) {
    TempTextFile f("foo x\nfoo\nfoo\nlast\n");
    ASSERT_TRUE(f.opened);
    TextPosition hit;
    // The lines strictly inside a multi-line selection are not searched...
    EXPECT_EQ(Next(f.doc, P(0, 3), P(3, 0), u"foo", Whole, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(0, 0));
    EXPECT_EQ(Next(f.doc, P(1, 1), P(3, 0), u"x", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(0, 4));
    EXPECT_EQ(Next(f.doc, P(1, 1), P(3, 0), u"foo", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(0, 0));
    TempTextFile g("a\nfoo\nb\nc\n");
    ASSERT_TRUE(g.opened);
    EXPECT_EQ(Next(g.doc, P(0, 1), P(2, 1), u"foo", Plain, hit), SearchResult::NotFound);
    // ...but the start line itself is, up to its end.
    EXPECT_EQ(Next(g.doc, P(1, 1), P(2, 1), u"foo", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 0));
}

TEST(FindDocument, BackwardLimitsAndWrap) {
    TempTextFile f("ab\nab\r\nab");
    ASSERT_TRUE(f.opened);
    TextPosition hit;
    // Column 0 of line 2 finds nothing on line 2 and continues with line 1.
    ASSERT_EQ(SearchBackward(f.doc, P(2, 0), u"ab", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 0));
    ASSERT_EQ(SearchBackward(f.doc, P(2, 2), u"ab", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(2, 0));
    // From the first match, wrap-around continues at the last line.
    ASSERT_EQ(SearchBackward(f.doc, P(0, 0), u"ab", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(2, 0));
    FindOptions noWrap = Plain;
    noWrap.wrapAround = false;
    EXPECT_EQ(SearchBackward(f.doc, P(0, 0), u"ab", noWrap, hit), SearchResult::NotFound);
    // The wrap pass includes the start line, so a later match on it is found.
    TempTextFile g("x\nab ab\n");
    ASSERT_TRUE(g.opened);
    ASSERT_EQ(SearchBackward(g.doc, P(1, 1), u"ab", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 3));
    // A one-letter whole-word search rejected on every line ends.
    EXPECT_EQ(SearchBackward(g.doc, P(1, 5), u"a", Whole, hit), SearchResult::NotFound);
    // Selection past the last line (after Ctrl+End).
    ASSERT_EQ(SearchBackward(g.doc, P(g.doc.lineCount, 0), u"ab", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 3));
}

TEST(FindDocument, MatchCaseAcrossLines) {
    TempTextFile f("Foo foo\nfoo\n");
    ASSERT_TRUE(f.opened);
    TextPosition hit;
    ASSERT_EQ(SearchBackward(f.doc, P(1, 3), u"Foo", Case, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(0, 0));
    ASSERT_EQ(Next(f.doc, P(0, 1), P(0, 1), u"Foo", Case, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(0, 0));
    uint64_t total = 0;
    EXPECT_EQ(CountAll(f.doc, u"Foo", Case, total), SearchResult::Found);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(CountAll(f.doc, u"Foo", Plain, total), SearchResult::Found);
    EXPECT_EQ(total, 3u);
}

TEST(FindDocument, SearchTextSeededAcrossALineBreak) {
    // A selection "end\r\n" becomes a search text that matches only a line
    // ending in the same terminator; text after a terminator never matches.
    TempTextFile f("the end\nthe end\r\nthe end");
    ASSERT_TRUE(f.opened);
    TextPosition hit;
    ASSERT_EQ(Next(f.doc, P(0, 0), P(0, 0), u"end\r\n", Plain, hit), SearchResult::Found);
    EXPECT_EQ(hit, P(1, 4));
    uint64_t total = 0;
    CountAll(f.doc, u"end\r\n", Plain, total);
    EXPECT_EQ(total, 1u);
    CountAll(f.doc, u"end\n", Plain, total);
    EXPECT_EQ(total, 1u);
    CountAll(f.doc, u"end\r\nthe", Plain, total);
    EXPECT_EQ(total, 0u);
}

TEST(FindDocument, CountsOverlapsAndEmptyDocuments) {
    TempTextFile f("aaaa\r\naaa\rxaa aa\n");
    ASSERT_TRUE(f.opened);
    uint64_t total = 99;
    EXPECT_EQ(CountAll(f.doc, u"aa", Plain, total), SearchResult::Found);
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(CountAll(f.doc, u"aa", Whole, total), SearchResult::Found);
    EXPECT_EQ(total, 1u);
    EXPECT_EQ(CountAll(f.doc, u"zz", Plain, total), SearchResult::NotFound);
    EXPECT_EQ(total, 0u);
    TextDocument none;  // no file: one empty line
    TextPosition hit;
    EXPECT_EQ(Next(none, P(0, 0), P(0, 0), u"a", Plain, hit), SearchResult::NotFound);
    EXPECT_EQ(SearchBackward(none, P(0, 0), u"a", Plain, hit), SearchResult::NotFound);
    EXPECT_EQ(CountAll(none, u"a", Plain, total), SearchResult::NotFound);
    EXPECT_EQ(total, 0u);
}

TEST(FindDocument, ProgressHookSeesBlocksAndCancels) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += (i == 950 ? "needle\n" : "hay hay\n");
    TempTextFile f(text);
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.doc.lineCount, 1001u);
    std::vector<uint64_t> calls;
    uint64_t lastTotal = 0;
    FindProgress watch = [&](uint64_t done, uint64_t total) {
        calls.push_back(done);
        lastTotal = total;
        return true;
    };
    TextPosition hit;
    // Forward from line 500 with wrap: 501 lines to the end plus 501 from the start.
    ASSERT_EQ(SearchForward(f.doc, P(500, 0), P(500, 0), u"needle", Plain, hit, watch), SearchResult::Found);
    EXPECT_EQ(hit, P(950, 0));
    EXPECT_EQ(lastTotal, 1002u);
    ASSERT_FALSE(calls.empty());
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_LT(calls[i - 1], calls[i]);
    calls.clear();
    uint64_t total = 0, seenTotal = 0;
    ASSERT_EQ(CountAll(f.doc, u"hay", Plain, total, [&](uint64_t done, uint64_t all) {
                  calls.push_back(done);
                  seenTotal = total;
                  return all == 1001;
              }),
              SearchResult::Found);
    EXPECT_EQ(total, 1998u);
    EXPECT_EQ(calls.size(), 10u);  // lines 100, 200, ..., 1000
    EXPECT_EQ(seenTotal, 2u * 999);  // the running count reached line 1000
    // Cancelling stops at once and leaves the hit alone.
    int n = 0;
    FindProgress stopSecond = [&](uint64_t, uint64_t) { return ++n < 2; };
    hit = P(7, 7);
    EXPECT_EQ(SearchForward(f.doc, P(0, 0), P(0, 0), u"needle", Plain, hit, stopSecond), SearchResult::Cancelled);
    EXPECT_EQ(hit, P(7, 7));
    n = 0;
    EXPECT_EQ(SearchBackward(f.doc, P(900, 0), u"needle", Plain, hit, stopSecond), SearchResult::Cancelled);
    n = 0;
    EXPECT_EQ(CountAll(f.doc, u"hay", Plain, total, stopSecond), SearchResult::Cancelled);
    ASSERT_EQ(SearchBackward(f.doc, P(900, 0), u"needle", Plain, hit, watch), SearchResult::Found);
    EXPECT_EQ(hit, P(950, 0));
}

// Between two progress calls the prefilter reads one step of the file, where
// the text is absent (it would read on to the next candidate) and inside one
// long line; the table of a long line is built with progress calls too
// (which may read other lines), and cancelling stops it. Where every byte starts a candidate, the prefilter's
// comparisons stay linear in the bytes.
TEST(FindDocument, ProgressComesEveryStepAndPrefilterWorkIsLinear) {
    const uint64_t step = (512 << 10) + 64;
    std::string hay;
    while (hay.size() < (5 << 20)) hay += "hay hay hay\n";
    // a long line of CJK (cut pieces leave bytes over), short lines, another long line
    std::string one;
    for (int i = 0; i < (5 << 20) / 3; ++i) one += "\xE4\xB8\xAD";
    for (int i = 0; i < 200; ++i) one += "\ny";
    one += std::string(3 << 20, 'y') + "\n";
    for (const std::string* text : {&hay, &one}) {
        TempTextFile f(*text);
        ASSERT_TRUE(f.opened);
        f.doc.maxBlockBytes = 1 << 20;
        std::vector<uint64_t> at{BlockPrefilter::BytesRead()};
        FindProgress watch = [&](uint64_t, uint64_t) { return at.push_back(BlockPrefilter::BytesRead()), true; };
        TextPosition hit;
        EXPECT_EQ(SearchForward(f.doc, P(0, 0), P(0, 0), u"needle", Plain, hit, watch), SearchResult::NotFound);
        watch(0, 0);
        EXPECT_EQ(SearchBackward(f.doc, P(f.doc.lineCount, 0), u"needle", Plain, hit, watch), SearchResult::NotFound);
        watch(0, 0);
        EXPECT_GE(at.back() - at.front(), 2 * text->size());
        uint64_t most = 0;
        for (size_t i = 1; i < at.size(); ++i) most = std::max(most, at[i] - at[i - 1]);
        EXPECT_LE(most, step);
    }
    TempTextFile f(one);
    ASSERT_TRUE(f.opened);
    f.doc.maxBlockBytes = 1 << 20;
    BlockPrefilter::Enable(false);
    uint64_t building = 0, total = 0;
    // The hook reads other blocks meanwhile, as a paint would.
    ASSERT_GT(f.doc.LineLength(200), 3u << 20);
    EXPECT_EQ(CountAll(f.doc, u"\u4E2D", Plain, total, [&](uint64_t, uint64_t) {
                  building += f.doc.longTables.size() == 1;
                  return f.doc.LinePiece(200, 5, 3) == u"yyy" && f.doc.GetLineText(150) == u"y\n";
              }),
              SearchResult::Found);
    EXPECT_EQ(total, (5u << 20) / 3);
    EXPECT_GE(building, (5u << 20) / step);
    TextPosition hit;
    f.doc.ClearCache();
    EXPECT_EQ(SearchForward(f.doc, P(0, 0), P(0, 0), u"needle", Plain, hit, [](uint64_t, uint64_t) { return false; }),
              SearchResult::Cancelled);
    EXPECT_TRUE(f.doc.longTables.empty());
    BlockPrefilter::Enable(true);
    // Lines of 999 '=' against 1000 of them, ignoring and matching case.
    std::string eq;
    while (eq.size() < (2 << 20)) eq += std::string(999, '=') + "\n";
    TempTextFile g(eq);
    ASSERT_TRUE(g.opened);
    const uint64_t before = BlockPrefilter::BytesCompared();
    for (const FindOptions& o : {Plain, Case}) {
        EXPECT_EQ(SearchForward(g.doc, P(0, 0), P(0, 0), std::u16string(1000, u'='), o, hit), SearchResult::NotFound);
        EXPECT_EQ(SearchBackward(g.doc, P(0, 0), std::u16string(1000, u'='), o, hit), SearchResult::NotFound);
    }
    EXPECT_LE(BlockPrefilter::BytesCompared() - before, 4 * 32 * eq.size());
}

// ---- whole-document results against the rules applied line by line ----

namespace {

// The document operations restated over GetLineText and the one-line rules.
SearchResult LineByLineForward(TextDocument& d, TextPosition a, TextPosition b, const std::u16string& p,
                               const FindOptions& o, TextPosition& hit) {
    for (uint64_t i = b.line; i < d.lineCount; ++i) {
        size_t s = MatchForward(d.GetLineText(i), i == b.line ? b.column : 0, p, o);
        if (s != NoMatch) return hit = P(i, s), SearchResult::Found;
    }
    if (o.wrapAround)
        for (uint64_t i = 0; i < d.lineCount && i <= a.line; ++i) {
            size_t s = MatchForward(d.GetLineText(i), 0, p, o);
            if (s != NoMatch) return hit = P(i, s), SearchResult::Found;
        }
    return SearchResult::NotFound;
}

SearchResult LineByLineBackward(TextDocument& d, TextPosition a, const std::u16string& p, const FindOptions& o,
                                TextPosition& hit) {
    for (uint64_t i = std::min(a.line, d.lineCount - 1) + 1; i-- > 0;) {
        size_t s = MatchBackward(d.GetLineText(i), i == a.line ? size_t(a.column) : WholeLine, p, o);
        if (s != NoMatch) return hit = P(i, s), SearchResult::Found;
    }
    if (o.wrapAround)
        for (uint64_t i = d.lineCount; i-- > a.line;) {
            size_t s = MatchBackward(d.GetLineText(i), WholeLine, p, o);
            if (s != NoMatch) return hit = P(i, s), SearchResult::Found;
        }
    return SearchResult::NotFound;
}

} // namespace

TEST(FindDocument, AgreesWithLineByLineRulesInEveryEncoding) {
    // Letters of both cases, CJK, a two-byte and a four-byte character, and every terminator.
    const std::u16string pieces[] = {u"a", u"A", u"b", u"ab", u"Ab", u" ", u".", u"\u4E2D", u"\u00E9",
                                     u"\U0001F600", u"\r\n", u"\n", u"\r", u"aa", u"_", u"x\0"s};
    std::mt19937 rng(99);
    for (int round = 0; round < 12; ++round) {
        std::u16string text;
        const int count = round < 8 ? 3000 : 30000;
        // Rounds 4 and 8 hold NULs, which end a line's text and a block's split.
        for (int i = 0; i < count; ++i) text += pieces[rng() % (round == 4 || round == 8 ? 16 : 15)];
        std::string utf8 = PathToUtf8(text);
        // These rounds also read the ANSI file with the stand-in's code page 65001.
        testfiles::AnsiCodePageUtf8 codePage(round % 4 == 3);
        if (round % 4 == 3) {
            utf8[utf8.size() / 2] = char(0xFF);  // one malformed block
            // A lead byte whose sequence the end of the file cuts takes the rest of it.
            utf8 += "\xE4" "a";
        }
        std::string utf16, utf16be;
        for (char16_t u : text) utf16 += {char(u & 0xFF), char(u >> 8)};
        for (char16_t u : text) utf16be += {char(u >> 8), char(u & 0xFF)};
        TempTextFile a(utf8), b(utf16, Encoding::Utf16Le), c(utf16be, Encoding::Utf16Be), g(utf8, Encoding::Ansi);
        ASSERT_TRUE(a.opened && b.opened && c.opened && g.opened);
        // Each vector path of the block prefilter and block counts in turn, and neither;
        // the prefilter in short steps, giving up at once or soon where candidates cost.
        BlockPrefilter::Enable(round % 4 != 1);
        BlockPrefilter::Limits(round % 2 == 0 ? 40 + round : 0, 0, round % 4 == 0 ? 0 : 2);
        BlockScan::Enable(round % 4 != 1);
        BlockScan::ChunkLimit(round % 3 == 1 ? 1 + round % 90 : 0);  // many reads, made ahead
        simd_level::Cap(static_cast<simd_level::Level>(round % 3));
        for (TextDocument* d : {&a.doc, &b.doc, &c.doc, &g.doc}) {
            for (int q = 0; q < 40; ++q) {
                std::u16string pat = pieces[rng() % 15] + pieces[rng() % 10];
                if (q % 5 == 0) pat = pieces[rng() % 10];
                if (q % 5 == 1) pat += pieces[rng() % 10] + pieces[rng() % 10];  // rare: most blocks lack it
                if (q % 8 == 7)
                    while (pat.size() < 17) pat += pieces[rng() % 10];
                if (q % 8 == 6) pat = u"b";  // dense, mostly next to letters (or to ANSI trail bytes)
                FindOptions o = Opt(rng() % 2, rng() % 2);
                o.wrapAround = rng() % 4 != 0;
                const uint64_t l1 = rng() % d->lineCount, l2 = l1 + rng() % 3;
                const TextPosition s = P(l1, rng() % 8), e = P(l2, rng() % 8);
                SCOPED_TRACE(testing::Message() << "round " << round << " query " << q);
                TextPosition got{7, 7}, want{7, 7};
                ASSERT_EQ(SearchForward(*d, s, e, pat, o, got), LineByLineForward(*d, s, e, pat, o, want));
                ASSERT_EQ(got, want);
                ASSERT_EQ(SearchBackward(*d, s, pat, o, got), LineByLineBackward(*d, s, pat, o, want));
                ASSERT_EQ(got, want);
                uint64_t total = 0, expected = 0, plain = 0;
                CountAll(*d, pat, o, total);
                for (uint64_t i = 0; i < d->lineCount; ++i) {
                    expected += CountInLine(d->GetLineText(i), pat, o);
                    plain += RefCount(d->GetLineText(i), pat, o);
                }
                ASSERT_EQ(total, expected);
                ASSERT_EQ(total, plain);
            }
        }
    }
    BlockPrefilter::Enable(true);
    BlockPrefilter::Limits(0, 0, 0);
    BlockScan::Enable(true);
    BlockScan::ChunkLimit(0);
    simd_level::Cap(simd_level::Avx2);
}

// While the scan fills the last block its lines read as empty, and a search
// finds nothing there: the prefilter reads the bytes of the blocks before it
// and at most a step past them, not the rest of the file.
TEST(FindDocument, WhileIndexingTheFillingBlockIsNotSearched) {
    std::string text;
    while (text.size() < (2 << 20)) text += "hay " + std::to_string(text.size()) + "\n";
    TempFile f(text + "zebra at the end\n");
    TextDocument doc;
    doc.scanBufferSize = 64 << 10;
    BlockPrefilter::Limits(4096, 4096, 16);
    int checks = 0;
    TextPosition hit;
    doc.scanStep = [&] {
        const uint64_t before = BlockPrefilter::BytesRead();
        for (const FindOptions& o : {Plain, Case}) {
            EXPECT_EQ(SearchForward(doc, P(0, 0), P(0, 0), u"zebra", o, hit), SearchResult::NotFound);
            EXPECT_EQ(SearchBackward(doc, P(doc.lineCount, 0), u"zebra", o, hit), SearchResult::NotFound);
        }
        EXPECT_LE(BlockPrefilter::BytesRead() - before, 8 * (uint64_t(doc.lineIndex.back()) + 4096 + 5));
        checks++;
    };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    BlockPrefilter::Limits(0, 0, 0);
    EXPECT_GT(checks, 30);
    ASSERT_EQ(SearchBackward(doc, P(doc.lineCount, 0), u"zebra", Plain, hit), SearchResult::Found);
    EXPECT_EQ(doc.GetLineText(hit.line), u"zebra at the end\n");
}

namespace {

// Well-formed UTF-8 without NUL, by the ranges of each byte of a sequence.
bool PlainCleanUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned c = static_cast<unsigned char>(s[i]);
        size_t k = c == 0 ? 0 : c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
        if (k == 0 || i + k > s.size()) return false;
        for (size_t j = 1; j < k; ++j) {
            unsigned lo = 0x80, hi = 0xBF;
            const unsigned b = static_cast<unsigned char>(s[i + j]);
            if (j == 1 && c == 0xE0) lo = 0xA0;
            if (j == 1 && c == 0xED) hi = 0x9F;
            if (j == 1 && c == 0xF0) lo = 0x90;
            if (j == 1 && c == 0xF4) hi = 0x8F;
            if (b < lo || b > hi) return false;
        }
        i += k;
    }
    return true;
}

} // namespace

TEST(FindBlocks, CleanUtf8AndNulChecksAgreeWithThePlainOnesOnEveryPath) {
    // Sequences of every length, their edges, cut ones and stray bytes.
    const std::string pieces[] = {"a", " ", "\r\n", "\xC2\x80", "\xDF\xBF", "\xE4\xB8\xAD", "\xE0\xA0\x80",
                                  "\xED\x9F\xBF", "\xEF\xBF\xBD", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
                                  "\xC0\xAF", "\xC1", "\xE0\x9F\x80", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF",
                                  "\xF4\x90\x80\x80", "\xF5\x80", "\xFF", "\x80", "\xE4\xB8", "\xF0\x90",
                                  std::string(1, '\0')};
    std::mt19937 rng(7);
    for (int round = 0; round < 6000; ++round) {
        std::string s;
        const int n = 1 + int(rng() % (round % 3 == 0 ? 80 : 12));
        // Mostly good sequences, so that one bad piece decides.
        for (int i = 0; i < n; ++i) s += pieces[rng() % 100 < 97 ? rng() % 11 : rng() % 23];
        const bool want = PlainCleanUtf8(s);
        for (int level = simd_level::Scalar; level <= simd_level::Avx2; ++level) {
            simd_level::Cap(static_cast<simd_level::Level>(level));
            ASSERT_EQ(CleanUtf8(reinterpret_cast<const unsigned char*>(s.data()), s.size()), want)
                << "round " << round << " level " << level;
        }
    }
    // The NUL check of UTF-16 blocks: one U+0000 at each place of each length
    // (units whose high or low byte is zero are not NUL), none just outside.
    std::u16string t;
    for (int i = 0; i < 200; ++i) t += u"\u0100a\uFF00\u4E2D"[i % 4];
    t[0] = t[t.size() - 1] = 0;
    for (int level = simd_level::Scalar; level <= simd_level::Avx2; ++level) {
        simd_level::Cap(static_cast<simd_level::Level>(level));
        for (size_t n = 0; n + 2 <= t.size(); ++n) {
            ASSERT_FALSE(HasNul(t.data() + 1, n)) << "level " << level << " length " << n;
            for (size_t k = 0; k < n; ++k) {
                const char16_t u = t[1 + k];
                t[1 + k] = 0;
                ASSERT_TRUE(HasNul(t.data() + 1, n)) << "level " << level << " length " << n << " at " << k;
                t[1 + k] = u;
            }
        }
    }
    simd_level::Cap(simd_level::Avx2);
}

// ANSI blocks are counted in their bytes unless an occurrence has a byte
// above 127 among the two before it: such an occurrence, met in the count,
// stops it; a stopped count met one; a finished one is the plain count.
TEST(FindBlocks, AnsiByteCountsStopExactlyNextToNonAsciiBytes) {
    const unsigned char ascii[] = {'a', 'b', 'A', ' '}, high[] = {0xAD, 0xE4};
    std::mt19937 rng(5);
    for (int round = 0; round < 4000; ++round) {
        std::basic_string<unsigned char> t(rng() % 150, 'a'), p(1 + rng() % 3, 'a');
        for (auto& c : t) c = rng() % 24 ? ascii[rng() % 4] : high[rng() % 2];
        for (auto& c : p) c = ascii[rng() % 4];
        const FindOptions o = Opt(round & 1, round & 2);
        const std::u16string text(t.begin(), t.end()), pat(p.begin(), p.end());
        auto unsure = [&](size_t s) { return (s >= 1 && t[s - 1] >= 0x80) || (s >= 2 && t[s - 2] >= 0x80); };
        bool met = false, any = false;  // an unsure occurrence the count meets, or any at all
        for (size_t s = 0, from = 0; s + p.size() <= t.size(); ++s) {
            if (!model::Occurs(text, s, text.size(), pat, o.matchCase)) continue;
            any |= unsure(s);
            if (s < from) continue;
            met |= unsure(s);
            if (model::Passes(text, text.size(), s, p.size(), o.wholeWord)) from = s + p.size();
        }
        for (int level = simd_level::Scalar; level <= simd_level::Avx2; ++level) {
            simd_level::Cap(static_cast<simd_level::Level>(level));
            ByteMatcher m(p, o.matchCase);
            bool seen = false, exact = false;
            const uint64_t got = CountMatches(m, t.data(), t.size(), false, o.wholeWord, seen, exact, true);
            SCOPED_TRACE(testing::Message() << "round " << round << " level " << level);
            ASSERT_TRUE(exact ? !met && got == RefCount(text, pat, o) : any && got == 0);
        }
    }
    simd_level::Cap(simd_level::Avx2);
}

// Long lines are searched in pieces: a document with a small read bound
// finds, counts and rejects exactly what the same file read whole does, with
// occurrences and their neighbours on either side of and across the cuts.
TEST(FindDocument, LongLinesAgreeWithTheWholeLines) {
    const std::u16string words[] = {u"cat", u"Cat", u"concat", u"cats", u" ", u".", u"\u4E2D", u"\U0001F600",
                                    u"ca", u"t ", u"x", u"aaa"};
    const std::u16string pats[] = {u"cat", u"Cat", u"a", u"aa", u"t c", u"\u4E2D", u"\U0001F600x", u"at.ca"};
    std::mt19937 rng(17);
    for (int round = 0; round < 16; ++round) {
        // a long line, a short one, another long one (different blocks when
        // the first line is long)
        std::u16string text;
        for (int line = 0; line < 3; ++line) {
            const int n = line == 1 ? 5 : 2000 + int(rng() % 6000);
            for (int i = 0; i < n; ++i) text += words[rng() % 12];
            text += line == 0 ? u"\r\n" : u"\n";
        }
        for (int i = 0; i < 120; ++i) text += u"short " + std::u16string(1, char16_t('a' + i % 26)) + u"\n";
        text += std::u16string(9000, u'a') + u"cat";
        std::string bytes = PathToUtf8(text), wide;
        for (char16_t u : text) wide += {char(u & 0xFF), char(u >> 8)};
        const bool utf16 = round % 2;
        TempTextFile whole(utf16 ? wide : bytes, utf16 ? Encoding::Utf16Le : Encoding::Utf8);
        TempTextFile cut(utf16 ? wide : bytes, utf16 ? Encoding::Utf16Le : Encoding::Utf8);
        ASSERT_TRUE(whole.opened && cut.opened);
        TextDocument& w = whole.doc;
        TextDocument& d = cut.doc;
        d.maxBlockBytes = round < 8 ? 4096 : 16 + rng() % 700;
        ASSERT_TRUE(d.IsLongLine(0) && d.IsLongLine(d.lineCount - 1));
        BlockPrefilter::Enable(round % 3 != 1);
        for (int q = 0; q < 30; ++q) {
            const std::u16string& pat = pats[rng() % 8];
            FindOptions o = Opt(rng() % 2, rng() % 2);
            o.wrapAround = rng() % 3 != 0;
            auto at = [&](uint64_t line) { return P(line, rng() % (w.GetLineText(line).size() + 2)); };
            const uint64_t l1 = rng() % 3 == 0 ? rng() % w.lineCount : rng() % 3;
            const TextPosition s = at(l1), e = at(std::min(w.lineCount - 1, l1 + rng() % 2));
            if (e < s) continue;
            SCOPED_TRACE(testing::Message() << "round " << round << " query " << q << " bound " << d.maxBlockBytes);
            TextPosition got{7, 7}, want{7, 7};
            ASSERT_EQ(SearchForward(d, s, e, pat, o, got), LineByLineForward(w, s, e, pat, o, want));
            ASSERT_EQ(got, want);
            ASSERT_EQ(SearchBackward(d, s, pat, o, got), LineByLineBackward(w, s, pat, o, want));
            ASSERT_EQ(got, want);
            uint64_t total = 0, expected = 0;
            CountAll(d, pat, o, total);
            for (uint64_t i = 0; i < w.lineCount; ++i) expected += CountInLine(w.GetLineText(i), pat, o);
            ASSERT_EQ(total, expected);
        }
    }
    BlockPrefilter::Enable(true);
}

// Occurrences right at a window's end, the whole-word test across it, and
// cancelling inside a long line.
TEST(FindDocument, MatchesAtTheCutsOfALongLine) {
    for (int at = 4090; at <= 4100; ++at) {
        std::string line(12000, 'x');
        line.replace(size_t(at), 5, " cat.");
        line.replace(8000, 3, "cat");  // letters around: not a whole word
        TempTextFile f(line + "\n");
        ASSERT_TRUE(f.opened);
        f.doc.maxBlockBytes = 4096;
        ASSERT_TRUE(f.doc.IsLongLine(0));
        TextPosition hit;
        uint64_t total = 0;
        ASSERT_EQ(SearchForward(f.doc, P(0, 0), P(0, 0), u"cat", Whole, hit), SearchResult::Found);
        EXPECT_EQ(hit, P(0, uint64_t(at) + 1));
        EXPECT_EQ(SearchForward(f.doc, P(0, 0), P(0, uint64_t(at) + 2), u"cat", Whole, hit), SearchResult::Found);
        EXPECT_EQ(hit, P(0, uint64_t(at) + 1));  // wraps to the same one
        ASSERT_EQ(SearchBackward(f.doc, P(0, 12000), u"cat", Plain, hit), SearchResult::Found);
        EXPECT_EQ(hit, P(0, 8000));
        ASSERT_EQ(SearchBackward(f.doc, P(0, 12000), u"cat", Whole, hit), SearchResult::Found);
        EXPECT_EQ(hit, P(0, uint64_t(at) + 1));
        FindOptions once = Whole;
        once.wrapAround = false;
        for (uint64_t k : {1, 2}) {  // the first window backward starts inside it
            ASSERT_EQ(SearchBackward(f.doc, P(0, uint64_t(at) + 4097 + k), u"cat", once, hit), SearchResult::Found);
            EXPECT_EQ(hit, P(0, uint64_t(at) + 1));
        }
        CountAll(f.doc, u"cat", Plain, total);
        EXPECT_EQ(total, 2u);
        CountAll(f.doc, u"xx", Plain, total);
        EXPECT_EQ(total, CountInLine(std::u16string(line.begin(), line.end()), u"xx", Plain));
    }
    TempTextFile f(std::string(50000, 'y') + "\n");
    ASSERT_TRUE(f.opened);
    f.doc.maxBlockBytes = 4096;
    int calls = 0;
    uint64_t last = 0;
    bool rising = true;
    FindProgress stopLate = [&](uint64_t done, uint64_t total) {
        rising = rising && done >= last && done < total;
        last = done;
        return ++calls < 5;
    };
    TextPosition hit;
    uint64_t total = 0;
    EXPECT_EQ(SearchForward(f.doc, P(0, 0), P(0, 0), u"y", Whole, hit, stopLate), SearchResult::Cancelled);
    calls = 0, last = 0;
    EXPECT_EQ(CountAll(f.doc, u"y", Plain, total, stopLate), SearchResult::Cancelled);
    EXPECT_TRUE(rising);
    EXPECT_GT(last, 0u);
}
