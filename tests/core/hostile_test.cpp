// Hostile input and faults: degenerate and binary files, broken encodings,
// files that change or vanish while and after they are indexed, very long
// paths and files that cannot be read. Every case must end with the exact
// lines, or their sound truncation, and with find, count and conversion
// agreeing with what the document shows.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "core/text_document.h"
#include "output/convert.h"
#include "search/find_engine.h"
#include "tests/core/reference_models.h"
#include "tests/core/test_files.h"

using testfiles::ReadBytes;
using testfiles::TempFile;

namespace {

std::string Le(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) out += {char(u & 0xFF), char(u >> 8)};
    return out;
}

std::string Be(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) out += {char(u >> 8), char(u & 0xFF)};
    return out;
}

std::string NumberedLines(int count) {
    std::string s;
    for (int i = 0; i < count; i++) s += "line " + std::to_string(i) + "\n";
    return s;
}

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Short description of a text for failure messages: its length and start.
std::string Brief(const std::u16string& s) {
    std::string out = std::to_string(s.size()) + " units:";
    for (size_t i = 0; i < s.size() && i < 12; i++) out += " " + std::to_string(unsigned(s[i]));
    return out;
}

std::string Brief(const std::string& s) {
    std::string out = std::to_string(s.size()) + " bytes:";
    for (size_t i = 0; i < s.size() && i < 12; i++) out += " " + std::to_string(unsigned(static_cast<unsigned char>(s[i])));
    return out;
}

#define EXPECT_SAME_TEXT(got, want)                                                     \
    do {                                                                              \
        auto got_ = (got);                                                            \
        auto want_ = (want);                                                          \
        EXPECT_TRUE(got_ == want_) << "got " << Brief(got_) << "; want " << Brief(want_); \
    } while (0)

// What the document must show for `bytes` read as `enc`: the plain scan
// model, and each block's bytes decoded whole and split by the plain model.
struct Expected {
    model::ScanResult scan;
    std::vector<std::u16string> lines;
    std::u16string text;  // all blocks decoded, one after the other
};

Expected Model(const std::string& bytes, Encoding enc) {
    Expected e;
    e.scan = model::Scan(bytes, IsUtf16(enc) ? 2 : 1, enc == Encoding::Utf16Be, ScanBufferSize);
    e.lines.assign(e.scan.lineCount, std::u16string());
    const std::vector<int64_t>& index = e.scan.index;
    for (size_t j = 0; j < index.size(); j++) {
        int64_t start = index[j];
        int64_t end = j + 1 < index.size() ? index[j + 1] : static_cast<int64_t>(bytes.size());
        if (end <= start) continue;
        std::u16string text = DecodeText(enc, bytes.data() + start, static_cast<size_t>(end - start));
        e.text += text;
        for (const auto& kv : model::Split(text, j * 100))
            if (kv.first < e.scan.lineCount) e.lines[kv.first] = kv.second;
    }
    return e;
}

std::vector<int64_t> IndexOf(const TextDocument& doc) {
    std::vector<int64_t> v;
    for (size_t i = 0; i < doc.lineIndex.size(); i++) v.push_back(doc.lineIndex[i]);
    return v;
}

FindOptions Options(bool wholeWord, bool matchCase) {
    FindOptions o;
    o.wholeWord = wholeWord;
    o.matchCase = matchCase;
    return o;
}

// Find and count over the document against the one-line rules applied to
// the text GetLineText gives (`lines`).
void ExpectFindAgrees(TextDocument& doc, const std::vector<std::u16string>& lines, const std::u16string& pat,
                      const FindOptions& opt) {
    SCOPED_TRACE(testing::Message() << "pattern " << Brief(pat) << " whole " << opt.wholeWord);
    uint64_t want = 0;
    bool found = false;
    TextPosition first, last;
    for (uint64_t i = 0; i < lines.size(); i++) {
        want += CountInLine(lines[i], pat, opt);
        size_t f = MatchForward(lines[i], 0, pat, opt);
        if (f == NoMatch) continue;
        if (!found) first = TextPosition{i, f};
        found = true;
        last = TextPosition{i, MatchBackward(lines[i], WholeLine, pat, opt)};
    }
    uint64_t total = 12345;
    SearchResult counted = CountAll(doc, pat, opt, total);
    EXPECT_EQ(total, want);
    EXPECT_EQ(counted, want ? SearchResult::Found : SearchResult::NotFound);

    TextPosition hit{7, 7};
    SearchResult r = SearchForward(doc, TextPosition{}, TextPosition{}, pat, opt, hit);
    EXPECT_EQ(r, found ? SearchResult::Found : SearchResult::NotFound);
    EXPECT_EQ(hit, found ? first : (TextPosition{7, 7}));

    // Backward from the start wraps around to the last match.
    hit = TextPosition{7, 7};
    r = SearchBackward(doc, TextPosition{}, pat, opt, hit);
    EXPECT_EQ(r, found ? SearchResult::Found : SearchResult::NotFound);
    EXPECT_EQ(hit, found ? last : (TextPosition{7, 7}));
}

// A few search texts taken from what the document shows, plus fixed ones.
void ExpectSearchesAgree(TextDocument& doc) {
    std::vector<std::u16string> lines;
    for (uint64_t i = 0; i < doc.lineCount; i++) lines.push_back(doc.GetLineText(i));
    std::vector<std::u16string> pats = {u"a", u"\n", u"\r\n", u"\xFFFD", u"line"};
    for (uint64_t i = 0; i < lines.size() && pats.size() < 9; i += 1 + lines.size() / 4)
        if (lines[i].size() >= 2) pats.push_back(lines[i].substr(lines[i].size() / 2, 2));
    for (const std::u16string& p : pats) {
        ExpectFindAgrees(doc, lines, p, Options(false, false));
        ExpectFindAgrees(doc, lines, p, Options(true, true));
    }
}

std::u16string DropMark(std::u16string s) {
    if (!s.empty() && s[0] == 0xFEFF) s.erase(0, 1);
    return s;
}

// Conversion of the document as it is on disk now (`bytes`): a copy in its
// own encoding gives the bytes back, a copy as UTF-16 LE the decoded blocks.
void ExpectConversionAgrees(TextDocument& doc, const std::string& bytes) {
    const Encoding enc = doc.encoding;
    std::u16string target = testfiles::UniquePath(u"转换.txt");
    // The mark written is the one asked for; the source's own is not copied.
    const size_t mark = SourceMarkLength(enc, bytes.data(), bytes.size());
    const bool withMark = HasByteOrderMark(enc);
    ASSERT_TRUE(doc.ConvertToFile(target, withMark, enc));
    EXPECT_SAME_TEXT(ReadBytes(target), (withMark ? TargetMark(enc) : std::string()) + bytes.substr(mark));
    ASSERT_TRUE(doc.ConvertToFile(target, false, Encoding::Utf16Le));
    std::u16string wide = Model(bytes, enc).text;
    if (enc != Encoding::Ansi || mark) wide = DropMark(wide);  // ANSI has one at code page 65001
    if (enc == Encoding::Utf16Le)  // copied as it is, an odd last byte included
        EXPECT_SAME_TEXT(ReadBytes(target), bytes.substr(mark));
    else
        EXPECT_SAME_TEXT(ReadBytes(target), Le(wide));
    platform::DeleteFile(target);
}

// Every line, the lines past the end, find and count, and conversion.
void ExpectDocumentMatches(TextDocument& doc, const std::string& bytes) {
    Expected e = Model(bytes, doc.encoding);
    ASSERT_EQ(doc.lineCount, e.scan.lineCount);
    EXPECT_EQ(doc.maxLineLength, e.scan.maxLineLength);
    EXPECT_EQ(IndexOf(doc), e.scan.index);
    EXPECT_EQ(doc.fileSize, static_cast<int64_t>(bytes.size()));
    EXPECT_FALSE(doc.indexing);
    for (uint64_t i = 0; i < doc.lineCount; i++) {
        const std::u16string& got = doc.LineTextRef(i);
        ASSERT_TRUE(got == e.lines[i]) << "line " << i << ": " << Brief(got) << "; want " << Brief(e.lines[i]);
    }
    EXPECT_EQ(doc.GetLineText(doc.lineCount), u"");
    EXPECT_EQ(doc.GetLineText(doc.lineCount + 100), u"");
    EXPECT_EQ(doc.GetLineText(UINT64_MAX), u"");
    ExpectSearchesAgree(doc);
    ExpectConversionAgrees(doc, bytes);
}

struct Case {
    const char* name;
    std::string bytes;
    Encoding detected;
    uint64_t lines;
    uint64_t longest;
    std::vector<std::u16string> text;  // the first lines; the rest read as empty
};

void RunCase(const Case& c) {
    SCOPED_TRACE(c.name);
    TempFile f(c.bytes);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(DetectEncoding(f.path()), c.detected);
    TextDocument doc;
    std::vector<int32_t> seen;
    doc.progress = [&](int32_t p) { seen.push_back(p); };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.encoding, c.detected);
    EXPECT_EQ(doc.detectedEncoding, c.detected);
    EXPECT_EQ(doc.lineCount, c.lines);
    EXPECT_EQ(doc.maxLineLength, c.longest);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 1);
    for (uint64_t i = 0; i < c.lines; i++) {
        std::u16string want = i < c.text.size() ? c.text[i] : std::u16string();
        std::u16string got = doc.GetLineText(i);
        EXPECT_TRUE(got == want) << "line " << i << ": " << Brief(got) << "; want " << Brief(want);
    }
    ExpectDocumentMatches(doc, c.bytes);
    doc.Close();
}

} // namespace

TEST(Hostile, DegenerateFiles) {
    std::vector<std::u16string> crs(250, u"\r"), lfs(250, u"\n"), crlfs(150, u"\r\n");
    const Case cases[] = {
        {"empty", "", Encoding::Ansi, 1, 0, {u""}},
        {"one letter", "x", Encoding::Ansi, 1, 1, {u"x"}},
        {"one LF", "\n", Encoding::Ansi, 2, 1, {u"\n", u""}},
        {"one CR", "\r", Encoding::Ansi, 2, 1, {u"\r", u""}},
        {"one NUL", std::string(1, '\0'), Encoding::Ansi, 1, 1, {u""}},
        {"one lead byte", "\xE4", Encoding::Utf8, 1, 1, {u"\xFFFD"}},
        {"one FF", "\xFF", Encoding::Utf8, 1, 1, {u"\xFFFD"}},  // FF counts as a lead byte
        {"only CR", std::string(250, '\r'), Encoding::Ansi, 251, 1, crs},
        {"only LF", std::string(250, '\n'), Encoding::Ansi, 251, 1, lfs},
        {"only CR LF", [] { std::string s; for (int i = 0; i < 150; i++) s += "\r\n"; return s; }(),
         Encoding::Ansi, 151, 2, crlfs},
        {"CR, CR LF, LF", [] { std::string s; for (int i = 0; i < 60; i++) s += "\r\r\n\n"; return s; }(),
         Encoding::Ansi, 181, 2, [] { std::vector<std::u16string> v; for (int i = 0; i < 60; i++) v.insert(v.end(), {u"\r", u"\r\n", u"\n"}); return v; }()},
    };
    for (const Case& c : cases) RunCase(c);
    // One byte of every value is one line of at most one character.
    for (int b = 0; b < 256; b++) {
        SCOPED_TRACE(b);
        TempFile f(std::string(1, char(b)));
        TextDocument doc;
        ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
        EXPECT_EQ(doc.encoding, b >= 0xC0 ? Encoding::Utf8 : Encoding::Ansi);
        EXPECT_EQ(doc.lineCount, b == '\r' || b == '\n' ? 2u : 1u);
        EXPECT_EQ(doc.maxLineLength, 1u);
        EXPECT_LE(doc.GetLineText(0).size(), 1u);
        ExpectDocumentMatches(doc, std::string(1, char(b)));
    }
}

TEST(Hostile, MarksAloneAndOddUtf16) {
    const std::string le = "\xFF\xFE", be = "\xFE\xFF";
    const Case cases[] = {
        {"UTF-8 mark alone", "\xEF\xBB\xBF", Encoding::Utf8Bom, 1, 3, {u"\xFEFF"}},
        {"UTF-16 LE mark alone", le, Encoding::Utf16Le, 1, 1, {u"\xFEFF"}},
        {"UTF-16 BE mark alone", be, Encoding::Utf16Be, 1, 1, {u"\xFEFF"}},
        {"LE mark and an odd byte", le + "A", Encoding::Utf16Le, 1, 1, {u"\xFEFF"}},
        {"BE mark and an odd byte", be + "A", Encoding::Utf16Be, 1, 1, {u"\xFEFF"}},
        {"UTF-8 mark cut short", "\xEF\xBB", Encoding::Utf8, 1, 2, {u"\xFFFD"}},
        {"LE odd final byte", le + Le(u"a\nb") + "Z", Encoding::Utf16Le, 2, 3, {u"\xFEFF" u"a\n", u"b"}},
        {"BE odd final byte", be + Be(u"a\nb") + "Z", Encoding::Utf16Be, 2, 3, {u"\xFEFF" u"a\n", u"b"}},
        // Half a line end is no line end.
        {"LE odd final CR byte", le + Le(u"ab") + "\r", Encoding::Utf16Le, 1, 3, {u"\xFEFF" u"ab"}},
        {"BE odd final LF byte", be + Be(u"ab") + std::string(1, '\0'), Encoding::Utf16Be, 1, 3, {u"\xFEFF" u"ab"}},
        {"LE wrong-order line ends", le + Be(u"a\nb\r"), Encoding::Utf16Le, 1, 5, {DecodeText(Encoding::Utf16Le, (le + Be(u"a\nb\r")).data(), 10)}},
        {"LE lone surrogates", le + Le(u"\xD800\n\xDC00\xD800"), Encoding::Utf16Le, 2, 3, {u"\xFEFF\xD800\n", u"\xDC00\xD800"}},
    };
    for (const Case& c : cases) RunCase(c);
}

TEST(Hostile, NulBytes) {
    std::string nulLines, nulUtf8, utf16NoMark;
    for (int i = 0; i < 150; i++) nulLines += std::string("ab\0cd\n", 6);
    for (int i = 0; i < 150; i++) nulUtf8 += std::string("\xE4\xB8\xAD\0\xE6\x96\x87\n", 8);
    for (int i = 0; i < 150; i++) utf16NoMark += Le(u"ab\n");
    std::vector<std::u16string> lastBlockKeepsStart(101);
    lastBlockKeepsStart[100] = u"中";
    const Case cases[] = {
        {"only NULs", std::string(1000, '\0'), Encoding::Ansi, 1, 1000, {u""}},
        // A block whose text ends with a line end shows nothing after its NUL,
        // not even the text before it.
        {"NUL in every line", nulLines, Encoding::Ansi, 151, 6, {}},
        {"NUL in every UTF-8 line", nulUtf8, Encoding::Utf8, 151, 8, {}},
        // Without a line end at the end the line holding the first NUL keeps its start.
        {"NUL, no final line end", nulUtf8 + "\xE4\xB8\xAD", Encoding::Utf8, 151, 8, lastBlockKeepsStart},
        // UTF-16 without a mark is ASCII with NULs to detection.
        {"UTF-16 LE without mark", utf16NoMark, Encoding::Ansi, 151, 6, {}},
        {"NUL unit in UTF-16", "\xFF\xFE" + Le(std::u16string(u"a\0b\nc", 5)), Encoding::Utf16Le, 2, 5, {u"\xFEFF" u"a"}},
        {"NUL units in BE lines", "\xFE\xFF" + Be(std::u16string(u"x\0\n\0\n", 5)), Encoding::Utf16Be, 3, 4, {}},
    };
    for (const Case& c : cases) RunCase(c);

    // Viewing the mark-less UTF-16 file as UTF-16 gives its real lines.
    TempFile f(utf16NoMark);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Le));
    EXPECT_EQ(doc.lineCount, 151u);
    EXPECT_EQ(doc.GetLineText(0), u"ab\n");
    EXPECT_EQ(doc.GetLineText(149), u"ab\n");
    ExpectDocumentMatches(doc, utf16NoMark);
    uint64_t total = 0;
    EXPECT_EQ(CountAll(doc, u"ab", Options(true, true), total), SearchResult::Found);
    EXPECT_EQ(total, 150u);
}

// A NUL at the start of a large block leaves its other lines without text.
// Showing them must not read the block again for each of them: a screen of
// such lines would read the block once per row.
TEST(Hostile, LinesAfterANulInALargeBlock) {
    // Block 1 is the last one and does not end with a line end, so its
    // first line keeps the text before the NUL.
    std::string bytes = NumberedLines(100) + std::string("head\0", 5);
    for (int i = 0; i < 98; i++) bytes += std::string(80 * 1024, '\0') + "\n";
    bytes += std::string(80 * 1024, '\0');
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    ASSERT_EQ(doc.lineCount, 199u);
    using Clock = std::chrono::steady_clock;
    auto t0 = Clock::now();
    EXPECT_EQ(doc.GetLineText(100), u"head");
    double one = std::chrono::duration<double>(Clock::now() - t0).count();
    t0 = Clock::now();
    for (uint64_t i = 101; i < 199; i++) EXPECT_EQ(doc.GetLineText(i), u"") << i;
    double rest = std::chrono::duration<double>(Clock::now() - t0).count();
    // Reading the block for each line would take about 98 times as long.
    EXPECT_LT(rest, 10 * one + 0.5) << "one block read " << one << " s";
    EXPECT_EQ(doc.GetLineText(99), u"line 99\n");
    EXPECT_EQ(doc.GetLineText(150), u"");
    EXPECT_EQ(doc.GetLineText(100), u"head");
    t0 = Clock::now();
    uint64_t total = 0;
    EXPECT_EQ(CountAll(doc, u"e", Options(false, false), total), SearchResult::Found);
    EXPECT_EQ(total, 101u);
    double count = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_LT(count, 10 * one + 0.5) << "one block read " << one << " s";
    // A change of encoding reads the block again.
    doc.encoding = Encoding::Utf8;
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(101), u"");
    EXPECT_EQ(doc.GetLineText(100), u"head");
    ExpectDocumentMatches(doc, bytes);
}

TEST(Hostile, TruncatedUtf8AtTheEnd) {
    const std::string full[] = {"\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC3\xA9"};
    for (const std::string& ch : full) {
        for (size_t cut = 1; cut < ch.size(); cut++) {
            std::string bytes = "\xE4\xB8\xAD\xE6\x96\x87\n" + ch.substr(0, cut);
            SCOPED_TRACE(testing::PrintToString(bytes));
            TempFile f(bytes);
            TextDocument doc;
            ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
            EXPECT_EQ(doc.encoding, Encoding::Utf8);  // an incomplete last sequence is no error
            EXPECT_EQ(doc.lineCount, 2u);
            EXPECT_EQ(doc.GetLineText(0), u"中文\n");
            std::u16string last = doc.GetLineText(1);
            // The cut character reads as substitutes only, never as other text.
            EXPECT_FALSE(last.empty());
            EXPECT_LE(last.size(), cut);
            EXPECT_EQ(last.find_first_not_of(u'\xFFFD'), std::u16string::npos);
            ExpectDocumentMatches(doc, bytes);
        }
    }
    // A cut character in the middle of a line does not swallow its line end.
    std::string mid = "ab\xE4\xB8\ncd\xF0\x9F\r\nef\xE4";
    TempFile f(mid);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    EXPECT_EQ(doc.lineCount, 3u);
    EXPECT_EQ(doc.GetLineText(0).substr(0, 2), u"ab");
    EXPECT_EQ(doc.GetLineText(0).back(), u'\n');
    EXPECT_EQ(doc.GetLineText(1).substr(doc.GetLineText(1).size() - 2), u"\r\n");
    ExpectDocumentMatches(doc, mid);
}

// Seeded random bytes: detected, indexed, read, searched and converted as
// every encoding, with and without a mark in front.
TEST(Hostile, RandomBinary) {
    std::mt19937 rng(20261208);
    std::string plain(100000, '\0'), lineish(60000, '\0');
    for (char& c : plain) c = char(rng() & 0xFF);
    plain[0] = 'R';  // no mark by chance
    // Line ends and NULs made common, so that blocks and lines are many.
    const char special[] = {'\r', '\n', '\0', 'a', ' '};
    for (char& c : lineish) c = rng() % 4 ? char(rng() & 0xFF) : special[rng() % 5];
    lineish[0] = 'L';
    struct Input { const char* name; std::string bytes; Encoding detected; } inputs[] = {
        {"random", plain, Encoding::Ansi},
        {"random lines", lineish, Encoding::Ansi},
        {"random after UTF-8 mark", "\xEF\xBB\xBF" + lineish, Encoding::Utf8Bom},
        {"random after LE mark", "\xFF\xFE" + lineish, Encoding::Utf16Le},
        {"random after BE mark", "\xFE\xFF" + lineish + "!", Encoding::Utf16Be},
    };
    for (const Input& in : inputs) {
        SCOPED_TRACE(in.name);
        TempFile f(in.bytes);
        ASSERT_TRUE(f.ok());
        TextDocument doc;
        ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
        EXPECT_EQ(doc.encoding, in.detected);
        ExpectDocumentMatches(doc, in.bytes);
        // Viewed as every other encoding.
        for (Encoding e : {Encoding::Ansi, Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be}) {
            SCOPED_TRACE(static_cast<int>(e));
            doc.ClearCache();  // as the opening flow does
            ASSERT_TRUE(doc.Open(f.path(), e));
            ExpectDocumentMatches(doc, in.bytes);
        }
    }
}

// ---- files that change while and after they are indexed ----

TEST(HostileChanges, DeletedWhileIndexing) {
    std::string bytes = NumberedLines(3000) + "tail";
    TempFile f(bytes);
    TextDocument doc;
    doc.scanBufferSize = 1024;
    int calls = 0;
    bool removed = false;
    doc.progress = [&](int32_t) {
        if (++calls == 3) {
            f.Remove();
            removed = !testfiles::Exists(f.path());
        }
    };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_GT(calls, 3);
    // Where a file can be deleted while open, the open stream still reads
    // it; elsewhere the delete is refused. Either way the lines are whole.
    ExpectDocumentMatches(doc, bytes);
    EXPECT_EQ(doc.GetLineText(2999), u"line 2999\n");
    EXPECT_EQ(doc.GetLineText(3000), u"tail");
    if (!removed) {
        doc.Close();
        f.Remove();
        ASSERT_FALSE(testfiles::Exists(f.path()));
    }
    // Opening the vanished file fails and leaves an empty document.
    EXPECT_EQ(DetectEncoding(f.path()), Encoding::None);
    EXPECT_FALSE(doc.Open(f.path(), Encoding::None));
    EXPECT_FALSE(doc.Open(f.path(), Encoding::Utf8));
    EXPECT_EQ(doc.lineCount, 1u);
    EXPECT_TRUE(doc.lineIndex.empty());
    EXPECT_EQ(doc.GetLineText(0), u"");
    uint64_t total = 9;
    EXPECT_EQ(CountAll(doc, u"line", Options(false, false), total), SearchResult::NotFound);
    EXPECT_EQ(total, 0u);
    std::u16string target = testfiles::UniquePath(u"无源.txt");
    EXPECT_FALSE(doc.ConvertToFile(target, true, Encoding::Utf16Le));
    EXPECT_FALSE(testfiles::Exists(target));
}

TEST(HostileChanges, DeletedAfterIndexing) {
    std::string bytes = NumberedLines(450);
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    f.Remove();
    EXPECT_EQ(doc.GetLineText(449), u"line 449\n");
    EXPECT_EQ(doc.GetLineText(0), u"line 0\n");
    uint64_t total = 0;
    EXPECT_EQ(CountAll(doc, u"line 44", Options(false, false), total), SearchResult::Found);
    EXPECT_EQ(total, 11u);  // 44 and 440..449
    ExpectDocumentMatches(doc, bytes);
}

// A file cut short during the scan: the index covers the bytes the file
// still had, and nothing past them reads as text.
TEST(HostileChanges, TruncatedWhileIndexing) {
    const std::string bytes = NumberedLines(3000);
    for (int at : {1, 2}) {
        SCOPED_TRACE(at);
        const std::string kept = bytes.substr(0, bytes.size() / 2 + 3);  // ends inside a line
        TempFile f(bytes);
        TextDocument doc;
        doc.scanBufferSize = 1024;
        int calls = 0;
        bool cut = false;
        doc.progress = [&](int32_t) {
            if (++calls == at) cut = f.Write(kept);
        };
        ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
        if (!cut) GTEST_SKIP() << "the platform keeps an open file from being rewritten";
        Expected e = Model(kept, Encoding::Ansi);
        EXPECT_EQ(doc.lineCount, e.scan.lineCount);
        EXPECT_EQ(IndexOf(doc), e.scan.index);
        EXPECT_EQ(doc.maxLineLength, e.scan.maxLineLength);
        for (uint64_t i = 0; i < doc.lineCount; i++) ASSERT_TRUE(doc.GetLineText(i) == e.lines[i]) << i;
        EXPECT_EQ(doc.GetLineText(doc.lineCount), u"");
        EXPECT_EQ(doc.GetLineText(2999), u"");
        ExpectSearchesAgree(doc);
        uint64_t total = 0;
        CountAll(doc, u"\n", Options(false, false), total);
        EXPECT_EQ(total, doc.lineCount - 1);
        // Save As copies what the file holds now.
        std::u16string target = testfiles::UniquePath(u"截断.txt");
        ASSERT_TRUE(doc.ConvertToFile(target, false, Encoding::Ansi));
        EXPECT_EQ(ReadBytes(target), kept);
    }
}

// After indexing: reads past the new end give short or empty lines, never
// bytes the file no longer holds.
TEST(HostileChanges, TruncatedAfterIndexing) {
    const std::string bytes = NumberedLines(300);
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    ASSERT_EQ(doc.lineCount, 301u);
    EXPECT_EQ(doc.GetLineText(5), u"line 5\n");  // block 0 cached
    const size_t keep = 1500;                    // inside line 178 of block 1
    ASSERT_EQ(bytes.substr(1492, 9), "line 178\n");
    if (!f.Write(bytes.substr(0, keep))) GTEST_SKIP() << "the platform keeps an open file from being rewritten";
    EXPECT_EQ(doc.GetLineText(177), u"line 177\n");
    EXPECT_EQ(doc.GetLineText(178), u"line 178");  // cut by the new end
    for (uint64_t i = 179; i < 200; i++) EXPECT_EQ(doc.GetLineText(i), u"") << i;
    EXPECT_EQ(doc.GetLineText(250), u"");
    EXPECT_EQ(doc.GetLineText(300), u"");
    EXPECT_EQ(doc.lineCount, 301u);  // the index describes the file as opened
    EXPECT_EQ(doc.GetLineText(5), u"line 5\n");
    uint64_t total = 0;
    EXPECT_EQ(CountAll(doc, u"line", Options(true, true), total), SearchResult::Found);
    EXPECT_EQ(total, 179u);
    TextPosition hit;
    EXPECT_EQ(SearchBackward(doc, TextPosition{}, u"line", Options(false, false), hit), SearchResult::Found);
    EXPECT_EQ(hit, (TextPosition{178, 0}));
    ExpectSearchesAgree(doc);
    std::u16string target = testfiles::UniquePath(u"截断后.txt");
    ASSERT_TRUE(doc.ConvertToFile(target, false, Encoding::Utf16Le));
    EXPECT_EQ(ReadBytes(target), Le(Wide(bytes.substr(0, keep))));

    // Emptied: everything reads as empty.
    ASSERT_TRUE(f.Write(""));
    doc.ClearCache();
    for (uint64_t i : {0, 5, 99, 100, 299, 300}) EXPECT_EQ(doc.GetLineText(i), u"") << i;
    EXPECT_EQ(CountAll(doc, u"line", Options(false, false), total), SearchResult::NotFound);
    ASSERT_TRUE(doc.ConvertToFile(target, true, Encoding::Utf8Bom));
    EXPECT_EQ(ReadBytes(target), "\xEF\xBB\xBF");
}

// The same bytes rewritten in place: every new read shows the new bytes.
TEST(HostileChanges, RewrittenAfterIndexing) {
    std::string bytes = NumberedLines(300), upper = bytes;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    EXPECT_EQ(doc.GetLineText(42), u"line 42\n");
    if (!f.Write(upper)) GTEST_SKIP() << "the platform keeps an open file from being rewritten";
    EXPECT_EQ(doc.GetLineText(142), u"LINE 142\n");
    EXPECT_EQ(doc.GetLineText(42), u"LINE 42\n");
    EXPECT_EQ(doc.GetLineText(299), u"LINE 299\n");
    uint64_t total = 0;
    CountAll(doc, u"line", Options(false, true), total);
    EXPECT_EQ(total, 0u);
    CountAll(doc, u"LINE", Options(false, true), total);
    EXPECT_EQ(total, 300u);
}

// Growth while and after indexing is not seen: the index, the last line and
// a conversion keep to the size taken at opening.
TEST(HostileChanges, GrownWhileAndAfterIndexing) {
    const std::string bytes = NumberedLines(2000) + "tail";
    TempFile f(bytes);
    TextDocument doc;
    doc.scanBufferSize = 1024;
    int calls = 0;
    bool grew = false;
    doc.progress = [&](int32_t) {
        if (++calls == 3) grew = f.Append(std::string(5000, 'G') + "\nEXTRA\n");
    };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    if (!grew) GTEST_SKIP() << "the platform keeps an open file from being written";
    EXPECT_EQ(doc.fileSize, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(doc.lineCount, 2001u);
    EXPECT_EQ(doc.GetLineText(2000), u"tail");  // not "tailGGG..."
    EXPECT_EQ(doc.GetLineText(2001), u"");
    ASSERT_TRUE(f.Append("MORE\n"));
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(2000), u"tail");
    EXPECT_EQ(doc.GetLineText(2002), u"");
    uint64_t total = 0;
    EXPECT_EQ(CountAll(doc, u"EXTRA", Options(false, false), total), SearchResult::NotFound);
    EXPECT_EQ(CountAll(doc, u"G", Options(false, true), total), SearchResult::NotFound);
    ExpectSearchesAgree(doc);
    std::u16string target = testfiles::UniquePath(u"增长.txt");
    ASSERT_TRUE(doc.ConvertToFile(target, false, Encoding::Ansi));
    EXPECT_EQ(ReadBytes(target), bytes);
    ASSERT_TRUE(doc.ConvertToFile(target, false, Encoding::Utf16Be));
    EXPECT_EQ(ReadBytes(target), Be(Wide(bytes)));
}

// ---- paths and access ----

namespace {

#ifdef _WIN32
std::wstring Ws(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// The \\?\ form of an absolute path, which Windows takes at any length.
std::wstring Extended(const std::u16string& path) {
    std::wstring w = Ws(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return L"\\\\?\\" + w;
}
#endif

// Makes the folders of a path and writes the file there, by means that
// work at any length; false if the platform cannot.
bool WriteAtLongPath(const std::u16string& folder, const std::u16string& file, const std::string& bytes) {
#ifdef _WIN32
    std::wstring w = Extended(folder);
    for (size_t at = w.find(L'\\', 7); at != std::wstring::npos; at = w.find(L'\\', at + 1)) {
        std::wstring part = w.substr(0, at);
        if (part.size() > 7 && part.back() != L':') CreateDirectoryW(part.c_str(), nullptr);
    }
    CreateDirectoryW(w.c_str(), nullptr);
    HANDLE h = CreateFileW(Extended(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
#else
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder), ec);
    return !ec && testfiles::WriteBytes(file, bytes);
#endif
}

bool FileExistsAnyLength(const std::u16string& path) {
#ifdef _WIN32
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    return testfiles::Exists(path);
#endif
}

void RemoveAnyLength(const std::u16string& path) {
#ifdef _WIN32
    DeleteFileW(Extended(path).c_str());
#else
    std::error_code ec;
    std::filesystem::remove(std::filesystem::path(path), ec);
#endif
}

} // namespace

// A path of more than 260 UTF-16 units, as a command line or a drop gives it.
TEST(HostilePaths, PathLongerThan260Units) {
    std::u16string folder = testfiles::TempDir();
#ifdef _WIN32
    std::replace(folder.begin(), folder.end(), u'/', u'\\');
    const char16_t sep = u'\\';
#else
    const char16_t sep = u'/';
#endif
    for (int i = 0; folder.size() < 300; i++) folder += sep + (u"很长的目录名称-" + std::u16string(40, char16_t(u'a' + i)));
    const std::u16string path = folder + sep + u"长路径文件.txt";
    ASSERT_GT(path.size(), 260u);
    const std::string bytes = "\xEF\xBB\xBF" + NumberedLines(250) + "\xE5\xB0\xBE";
    ASSERT_TRUE(WriteAtLongPath(folder, path, bytes)) << "cannot make the test file";

    EXPECT_EQ(DetectEncoding(path), Encoding::Utf8Bom);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(path, Encoding::None));
    EXPECT_EQ(doc.lineCount, 251u);
    EXPECT_EQ(doc.GetLineText(0), u"\xFEFF" u"line 0\n");
    EXPECT_EQ(doc.GetLineText(250), u"尾");
    ExpectDocumentMatches(doc, bytes);

    // Save As beside it: the temporary name is longer still.
    const std::u16string target = folder + sep + u"另存为的长路径文件.txt";
    ASSERT_TRUE(doc.ConvertToFile(target, true, Encoding::Utf16Le));
    ASSERT_TRUE(FileExistsAnyLength(target));
    TextDocument copy;
    ASSERT_TRUE(copy.Open(target, Encoding::None));
    EXPECT_EQ(copy.encoding, Encoding::Utf16Le);
    EXPECT_EQ(copy.lineCount, 251u);
    EXPECT_EQ(copy.GetLineText(250), u"尾");
    copy.Close();
    const std::u16string plain = folder + sep + u"副本.txt";
    EXPECT_TRUE(platform::CopyFileReplace(path, plain));
    EXPECT_TRUE(FileExistsAnyLength(plain));
    EXPECT_TRUE(platform::DeleteFile(plain));
    EXPECT_FALSE(FileExistsAnyLength(plain));
    EXPECT_TRUE(platform::MoveFile(target, plain));
    EXPECT_FALSE(FileExistsAnyLength(target));
    EXPECT_TRUE(FileExistsAnyLength(plain));
    doc.Close();
    RemoveAnyLength(plain);
    RemoveAnyLength(path);
    EXPECT_FALSE(FileExistsAnyLength(path));
    EXPECT_FALSE(doc.Open(path, Encoding::None));
}

namespace {

// Keeps a file from being read by this process while it lives.
class ReadDenied {
public:
    explicit ReadDenied(const std::u16string& path) : path_(path) {
#ifdef _WIN32
        // Another handle that shares nothing.
        handle_ = CreateFileW(Ws(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        denied_ = handle_ != INVALID_HANDLE_VALUE;
#else
        std::string p = PathToUtf8(path);
        if (chmod(p.c_str(), 0) == 0) {
            FILE* probe = std::fopen(p.c_str(), "rb");
            denied_ = probe == nullptr;  // root reads it anyway
            if (probe) std::fclose(probe);
        }
#endif
    }
    ~ReadDenied() { Release(); }
    void Release() {
#ifdef _WIN32
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
#else
        chmod(PathToUtf8(path_).c_str(), 0644);
#endif
    }
    bool denied() const { return denied_; }

private:
    std::u16string path_;
    bool denied_ = false;
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#endif
};

} // namespace

TEST(HostilePaths, FileThatCannotBeRead) {
    const std::string bytes = NumberedLines(120);
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));  // a document that was open before
    ASSERT_EQ(doc.lineCount, 121u);
    doc.Close();
    ReadDenied lock(f.path());
    if (!lock.denied()) GTEST_SKIP() << "nothing denies reading here (running as root)";
    EXPECT_EQ(DetectEncoding(f.path()), Encoding::None);
    EXPECT_FALSE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::None);
    EXPECT_FALSE(doc.Open(f.path(), Encoding::Ansi));  // a forced encoding fails the same way
    EXPECT_EQ(doc.lineCount, 1u);
    EXPECT_TRUE(doc.lineIndex.empty());
    EXPECT_FALSE(doc.file.IsOpen());
    EXPECT_EQ(doc.GetLineText(0), u"");
    EXPECT_EQ(doc.GetLineText(1), u"");
    uint64_t total = 5;
    EXPECT_EQ(CountAll(doc, u"line", Options(false, false), total), SearchResult::NotFound);
    EXPECT_EQ(total, 0u);
    std::u16string target = testfiles::UniquePath(u"不可读.txt");
    EXPECT_FALSE(doc.ConvertToFile(target, false, Encoding::Utf16Le));
    EXPECT_FALSE(testfiles::Exists(target));
    EXPECT_FALSE(platform::CopyFileReplace(f.path(), target));
    EXPECT_FALSE(testfiles::Exists(target));
    lock.Release();
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    ExpectDocumentMatches(doc, bytes);
}
