#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "core/simd_level.h"
#include "core/text_document.h"
#include "tests/core/reference_models.h"
#include "tests/core/test_files.h"

using testfiles::TempFile;

// The test program's own operator new, to watch the bytes held at once. The
// other forms of new and delete come down to these.
namespace {
std::atomic<size_t> liveBytes{0}, peakBytes{0};
size_t BlockSize(void* p) {
#ifdef _WIN32
    return _msize(p);
#else
    return malloc_usable_size(p);
#endif
}
}  // namespace

void* operator new(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    const size_t live = liveBytes += BlockSize(p);
    size_t peak = peakBytes;
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    liveBytes -= BlockSize(p);
    std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {

std::string NumberedLines(int count) {
    std::string s;
    for (int i = 0; i < count; i++) s += "line " + std::to_string(i) + "\n";
    return s;
}

} // namespace

TEST(Lines, TextKeepsItsLineEnd) {
    TempFile f("a\n");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.GetLineText(0), u"a\n");
    EXPECT_EQ(doc.GetLineText(1), u"");
    ASSERT_TRUE(f.Write("one\r\ntwo\rthree"));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(0), u"one\r\n");
    EXPECT_EQ(doc.GetLineText(1), u"two\r");
    EXPECT_EQ(doc.GetLineText(2), u"three");
}

TEST(Lines, OutOfRangeAndEmptyDocuments) {
    TempFile f("a\nb");
    TextDocument doc;
    EXPECT_EQ(doc.GetLineText(0), u"");  // nothing open
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.GetLineText(1), u"b");
    EXPECT_EQ(doc.GetLineText(2), u"");
    EXPECT_TRUE(doc.blockCache.empty());  // the miss replaced the cache by nothing
    EXPECT_EQ(doc.GetLineText(UINT64_MAX), u"");
    ASSERT_TRUE(f.Write(""));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.GetLineText(0), u"");
}

TEST(Lines, OneBlockIsCached) {
    TempFile f(NumberedLines(250));
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.GetLineText(99), u"line 99\n");
    EXPECT_EQ(doc.blockCache.size(), 100u);
    EXPECT_EQ(doc.blockCache.begin()->first, 0u);
    EXPECT_EQ(doc.GetLineText(100), u"line 100\n");
    EXPECT_EQ(doc.blockCache.begin()->first, 100u);
    EXPECT_EQ(doc.blockCache.rbegin()->first, 199u);
    EXPECT_EQ(doc.GetLineText(99), u"line 99\n");
    EXPECT_EQ(doc.blockCache.begin()->first, 0u);
    // The last block holds 50 lines; the empty last line is in no block.
    EXPECT_EQ(doc.GetLineText(249), u"line 249\n");
    EXPECT_EQ(doc.blockCache.size(), 50u);
    EXPECT_EQ(doc.GetLineText(250), u"");
    EXPECT_EQ(doc.blockCache.size(), 50u);
    EXPECT_EQ(doc.blockCache.count(250), 0u);
    // LineTextRef hands out the cached text itself.
    const std::u16string& ref = doc.LineTextRef(201);
    EXPECT_EQ(ref, u"line 201\n");
    EXPECT_EQ(&doc.LineTextRef(201), &ref);
    EXPECT_EQ(doc.LineTextRef(5000), u"");
}

TEST(Lines, NulEndsTheSplitOfItsBlock) {
    TempFile f(std::string("ab\ncd\0ef\ngh\nij", 14));
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    EXPECT_EQ(doc.lineCount, 4u);
    EXPECT_EQ(doc.GetLineText(0), u"ab\n");
    EXPECT_EQ(doc.GetLineText(1), u"cd");  // block text does not end with a line end
    EXPECT_EQ(doc.GetLineText(2), u"");
    EXPECT_EQ(doc.GetLineText(3), u"");
    ASSERT_TRUE(f.Write(std::string("ab\ncd\0ef\ngh\n", 12)));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(0), u"ab\n");
    EXPECT_EQ(doc.GetLineText(1), u"");  // it does: the NUL line reads as empty too
    EXPECT_EQ(doc.GetLineText(2), u"");
}

TEST(Lines, EncodingDecidesTheText) {
    std::string utf8 = "\xEF\xBB\xBF\xE4\xB8\xAD\n\xE6\x96\x87";
    TempFile f(utf8);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.GetLineText(0), u"\xFEFF中\n");
    EXPECT_EQ(doc.GetLineText(1), u"文");
    doc.encoding = Encoding::Ansi;  // view as ANSI within the byte family
    doc.ClearCache();
    std::u16string ansi = doc.GetLineText(1);
    EXPECT_EQ(ansi, AnsiToWide("\xE6\x96\x87", 3));
    EXPECT_NE(ansi, u"文");
    doc.encoding = Encoding::Utf8Bom;
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(1), u"文");

    // UTF-16 big-endian lines read as the same text as little-endian ones.
    std::string le("\xFF\xFE\x2D\x4E\x0A\x00\x87\x65", 8), be("\xFE\xFF\x4E\x2D\x00\x0A\x65\x87", 8);
    TempFile fl(le), fb(be);
    TextDocument a, b;
    ASSERT_TRUE(a.Open(fl.path(), Encoding::None));
    ASSERT_TRUE(b.Open(fb.path(), Encoding::None));
    EXPECT_EQ(a.GetLineText(0), u"\xFEFF中\n");
    EXPECT_EQ(b.GetLineText(0), a.GetLineText(0));
    EXPECT_EQ(b.GetLineText(1), u"文");
}

// A block read holds the block's text once, as UTF-16, and little beside it
// while it reads: not its bytes, its decoded text and its lines together.
TEST(Lines, ABlockReadHoldsItsTextOnce) {
    std::string bytes;
    for (int i = 0; i < 3; i++) bytes += std::string(3 << 20, char('a' + i)) + "\n";
    bytes += "\xE4\xB8\xAD\n";
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    const size_t before = liveBytes;
    peakBytes = before;
    const std::u16string& line = doc.LineTextRef(1);
    const size_t peak = peakBytes - before;
    EXPECT_EQ(line.size(), (3u << 20) + 1);
    EXPECT_EQ(line.find_first_not_of(u'b'), 3u << 20);
    EXPECT_LT(peak, 2 * bytes.size() + (6 << 20));
    EXPECT_EQ(doc.LineTextRef(3), u"中\n");

    // Read in small pieces, every block splits as its bytes decoded whole.
    const std::string atoms[] = {"a", "\xE4\xB8\xAD", "\r\n", "\n", "\r", std::string("\0", 1), "\xE4\xB8",
                                 "\xFF\x80", "\xD6", "\xD6\xD0", "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\xC0\x80",
                                 "\xF0\x9F", "\x3D\xD8"};
    const Encoding encs[] = {Encoding::Utf8, Encoding::Ansi, Encoding::Utf16Le, Encoding::Utf16Be};
    std::mt19937 rng(11);
    for (int round = 0; round < 120; round++) {
        std::string text;
        for (size_t size = 50 + rng() % 3000; text.size() < size;) text += atoms[rng() % 15];
        TempFile g(text);
        TextDocument pieces;
        ASSERT_TRUE(pieces.Open(g.path(), encs[round % 4]));
        pieces.readPieceBytes = 1 + rng() % 40;
        int64_t start, end;
        for (uint64_t b = 0; pieces.BlockBytes(b, start, end); b++) {
            BlockCache want;
            SplitBlock(DecodeText(pieces.encoding, text.data() + start, static_cast<size_t>(end - start)), b * 100, want);
            ASSERT_EQ(pieces.ReadBlock(b * 100), want) << round << " block " << b;
        }
    }
}

TEST(Lines, SplitMatchesTheModel) {
    std::mt19937 rng(9);
    const char16_t alphabet[] = {u'a', u'中', u'\r', u'\n', u'\0'};
    for (int round = 0; round < 2000; round++) {
        std::u16string text(rng() % 30, u'a');
        for (char16_t& c : text) c = alphabet[rng() % (round % 2 ? 5 : 4)];
        BlockCache got;
        SplitBlock(text, 300, got);
        ASSERT_EQ(got, model::Split(text, 300)) << testing::PrintToString(std::string(text.begin(), text.end()));
    }
}

namespace {

// Lines of a block beyond the bound are read in pieces. Every line of such a
// block, walked piece by piece from anywhere, and its length and prefix, are
// compared with the same file read whole (the bound out of the way).
// With `reloaded`, that document (bounded already) is compared instead.
void ExpectSameAsUnbounded(const std::string& bytes, Encoding enc, int64_t bound, uint32_t seed,
                           TextDocument* reloaded = nullptr) {
    TempFile f(bytes);
    TextDocument opened, whole;
    TextDocument& doc = reloaded ? *reloaded : opened;
    if (!reloaded) {
        ASSERT_TRUE(doc.Open(f.path(), enc));
    }
    ASSERT_TRUE(whole.Open(f.path(), enc));
    doc.maxBlockBytes = bound;
    std::mt19937 rng(seed);
    // Its ordinary blocks are read in small pieces, the whole one's at once.
    doc.readPieceBytes = 1 + rng() % 64;
    const std::string where = testing::PrintToString(bytes.size()) + " bytes, seed " + std::to_string(seed);
    for (uint64_t line = 0; line < whole.lineCount; line++) {
        const std::u16string want = whole.GetLineText(line);
        ASSERT_EQ(doc.LineLength(line), want.size()) << "line " << line << ", " << where;
        std::u16string walked;
        while (walked.size() < want.size() + 3) {
            std::u16string piece = doc.LinePiece(line, walked.size(), 1 + rng() % (rng() % 2 ? 9 : 3 * bound));
            if (piece.empty()) break;
            walked += piece;
        }
        ASSERT_EQ(walked, want) << "line " << line << ", " << where;
        for (int k = 0; k < 20 && !want.empty(); k++) {
            const size_t c = rng() % (want.size() + 2), n = rng() % 40;
            ASSERT_EQ(doc.LinePiece(line, c, n), c < want.size() ? want.substr(c, n) : u"") << "line " << line;
        }
        EXPECT_EQ(doc.GetLineText(line), want.substr(0, doc.PrefixUnits()));
        if (doc.IsLongLine(line)) {
            EXPECT_EQ(doc.blockCache.size(), doc.GetLineText(line).empty() ? 0u : 1u);
        }
    }
}

std::string Filler(size_t n, uint32_t seed) {
    std::string s(n, 'x');
    for (size_t i = 0; i < n; i++) s[i] = char('a' + (i * 7 + seed) % 26);
    return s;
}

} // namespace

// Characters, line ends, NULs and malformed sequences (runs of lead bytes
// too) right before, on and after the cut of a piece, in every encoding, and
// in ANSI when the ANSI code page is UTF-8.
TEST(LongLines, PieceBoundariesReadLikeTheWholeLine) {
    const int64_t bound = 4096;
    struct Case { Encoding enc; std::string mark, special; bool utf8Ansi = false; } cases[] = {
        {Encoding::Utf8, "", std::string(100, '\xE0')}, {Encoding::Ansi, "", std::string(100, '\xE0'), true},
        {Encoding::Ansi, "", "\xE4\xB8\xAD", true},     {Encoding::Ansi, "", "\xF0\x9F\x98\x80", true},
        {Encoding::Utf8, "", "\xE4\xB8\xAD"},         {Encoding::Utf8, "", "\xF0\x9F\x98\x80"},
        {Encoding::Utf8, "", "\r\n"},                 {Encoding::Utf8, "", "\xE4\xB8"},
        {Encoding::Utf8, "", "\xF0\x9F\x98\xFF\x80"}, {Encoding::Utf8Bom, "\xEF\xBB\xBF", "\r"},
        {Encoding::Utf8, "", std::string("\0", 1)},   {Encoding::Ansi, "", "\xD6\xD0"},
        {Encoding::Utf8, "", std::string("\0\n", 2)},
        {Encoding::Ansi, "", "\xD6\xD6\xD0"},         {Encoding::Ansi, "", "\x81\r\n"},
        {Encoding::Utf16Le, "\xFF\xFE", std::string("\x3D\xD8\x00\xDE", 4)},
        {Encoding::Utf16Le, "\xFF\xFE", std::string("\r\0\n\0", 4)},
        {Encoding::Utf16Be, "\xFE\xFF", std::string("\xD8\x3D\xDE\x00", 4)},
        {Encoding::Utf16Le, "\xFF\xFE", std::string("\x3D\xD8", 2)},
    };
    uint32_t seed = 1;
    for (const Case& c : cases) {
        testfiles::AnsiCodePageUtf8 codePage(c.utf8Ansi);
        if (c.utf8Ansi && !codePage.ok()) continue;
        const bool wide = IsUtf16(c.enc);
        for (int d = -6; d <= 6; d += wide ? 2 : 1) {
            std::string bytes = c.mark + Filler(size_t(bound) + d - c.mark.size(), seed);
            if (wide) bytes = c.mark + std::string(size_t(bound) + d - c.mark.size(), 'a');
            bytes += c.special + (wide ? std::string(9000, 'b') : Filler(9000, seed)) + c.special;
            // second line, then a short one, then an odd final byte for UTF-16
            bytes += wide ? std::string(c.enc == Encoding::Utf16Le ? "\n\0z\0\n\0q" : "\0\n\0z\0\n\x01", 7)
                          : "\nshort\n" + Filler(5000, seed) + c.special;
            ExpectSameAsUnbounded(bytes, c.enc, bound, seed++);
        }
    }
}

TEST(LongLines, RandomTextReadsLikeTheWholeLine) {
    const std::string atoms[] = {"a",        "Z",        "\xE4\xB8\xAD", "\r\n", "\n", "\r", std::string("\0", 1),
                                 "\xE4\xB8", "\xFF\x80", "\xD6",         "\xD6\xD0", " ",
                                 "\xF0\x9F\x98\x80", "\xED\xA0\x80", "\xEF\xBF\xBE", "\xC0\x80"};
    const Encoding encs[] = {Encoding::Utf8, Encoding::Ansi, Encoding::Utf16Le, Encoding::Utf16Be};
    std::mt19937 rng(5);
    for (int round = 0; round < 60; round++) {
        simd_level::Cap(static_cast<simd_level::Level>(round % 3));
        std::string bytes;
        const size_t size = 100 + rng() % 20000;
        while (bytes.size() < size) {
            size_t a = rng() % 16;
            if (a >= 3 && a <= 6 && rng() % 50) a = 0;  // line ends and NULs are rare
            bytes += atoms[a];
            if (a == 0) bytes += Filler(rng() % 300, round);
        }
        if (round % 3 == 0) bytes += "\n";
        ExpectSameAsUnbounded(bytes, encs[round % 4], 16 + rng() % 3000, round);
    }
    simd_level::Cap(simd_level::Avx2);
}

// A block of many lines beyond the bound: its lines, short or long, read in
// full; a table is built once per block and the stamp tells consumers.
TEST(LongLines, BlocksOfManyLines) {
    std::string bytes;
    for (int i = 0; i < 250; i++) bytes += "line " + std::to_string(i) + (i == 120 ? Filler(20000, 3) : "") + "\n";
    ExpectSameAsUnbounded(bytes, Encoding::Utf8, 4096, 1);
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    doc.maxBlockBytes = 4096;
    EXPECT_FALSE(doc.IsLongLine(99));
    EXPECT_TRUE(doc.IsLongLine(100) && doc.IsLongLine(199));
    EXPECT_FALSE(doc.IsLongLine(200) || doc.IsLongLine(250));
    const uint64_t stamp = doc.pieceStamp;
    EXPECT_EQ(doc.LineLength(120), 20009u);
    EXPECT_EQ(doc.LinePiece(120, 20000, 100), Utf8ToWide(Filler(20000, 3).substr(19992).c_str(), 8) + u"\n");
    EXPECT_EQ(doc.LinePiece(199, 0, 100), u"line 199\n");
    EXPECT_EQ(doc.pieceStamp, stamp + 1);
    doc.ClearCache();
    EXPECT_NE(doc.pieceStamp, stamp + 1);
    EXPECT_TRUE(doc.longTables.empty());
}

// F5 on a file that only grew keeps the table of a block the appended bytes
// did not reach, and goes on with the one they continue from near its old
// end; every line reads as the whole file gives it.
TEST(LongLines, AnAppendKeepsTheTablesItDidNotTouch) {
    const std::string olds[] = {"", "\r", "\xE4\xB8", "\n"};
    const std::string appended[] = {"ab", "\n", "\xAD tail\r\n", "\r\nmore"};
    uint32_t seed = 1;
    for (const std::string& old : olds)
        for (const std::string& more : appended) {
            std::string bytes = "head\n" + Filler(30000, 1) + "\n";
            for (int i = 2; i < 100; i++) bytes += "x\n";
            bytes += Filler(200000, 2) + old;  // line 100, the last, in block 1
            TempFile f(bytes);
            TextDocument doc;
            ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
            doc.maxBlockBytes = 4096;
            ASSERT_TRUE(doc.IsLongLine(1) && doc.IsLongLine(100));
            doc.LineLength(100);
            doc.LineLength(1);
            ASSERT_TRUE(f.Append(more));
            ASSERT_TRUE(doc.Reload(f.path()));
            ASSERT_TRUE(doc.reloadAppended);
            const uint64_t read = doc.longTableBytes;
            EXPECT_EQ(doc.LineLength(1), 30001u);
            EXPECT_EQ(doc.longTableBytes, read);
            doc.LineLength(100);
            EXPECT_LT(doc.longTableBytes - read, 3 * 4096 + more.size());
            ExpectSameAsUnbounded(bytes + more, Encoding::Utf8, 4096, seed++, &doc);
        }
}

TEST(LongLines, RealBoundOnAHugeLine) {
    const size_t bound = static_cast<size_t>(MaxBlockBytes);
    std::string bytes(bound + 1000, 'x');
    bytes[bound - 1] = '\xE4';  // a character across the bound
    bytes[bound] = '\xB8';
    bytes[bound + 1] = '\xAD';
    bytes += "\nnext\n";
    TempFile f(bytes);
    ASSERT_TRUE(f.ok());
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    EXPECT_EQ(doc.lineCount, 3u);
    EXPECT_EQ(doc.maxLineLength, bound + 1001);
    EXPECT_TRUE(doc.IsLongLine(0));
    EXPECT_EQ(doc.LineLength(0), bound + 999);
    EXPECT_EQ(doc.LinePiece(0, bound - 3, 5), u"xx中xx");
    EXPECT_EQ(doc.LinePiece(0, bound + 996, 9), u"xx\n");
    EXPECT_EQ(doc.LineTextRef(0), std::u16string(LongLinePrefixUnits, u'x'));
    EXPECT_EQ(doc.GetLineText(1), u"next\n");
}

// The index describes the file as opened; later changes give short reads or
// are ignored, never garbage or a crash.
TEST(Changes, ShrunkFileGivesShortReads) {
    TempFile f(NumberedLines(300));
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    ASSERT_EQ(doc.lineCount, 301u);
    if (!f.Write("line 0\nli")) GTEST_SKIP() << "the platform keeps an open file from being rewritten";
    EXPECT_EQ(doc.GetLineText(0), u"line 0\n");
    EXPECT_EQ(doc.GetLineText(1), u"li");
    EXPECT_EQ(doc.GetLineText(2), u"");
    EXPECT_EQ(doc.GetLineText(150), u"");
    EXPECT_EQ(doc.GetLineText(299), u"");
    f.Remove();
    EXPECT_EQ(doc.GetLineText(250), u"");
}

// A short read is not remembered as the block's text: once the bytes are
// back, the block's other lines read again.
TEST(Changes, ShortReadIsNotKept) {
    const std::string bytes = NumberedLines(300);
    TempFile f(bytes);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    if (!f.Write("")) GTEST_SKIP() << "the platform keeps an open file from being rewritten";
    EXPECT_EQ(doc.GetLineText(150), u"");
    ASSERT_TRUE(f.Write(bytes));
    EXPECT_EQ(doc.GetLineText(151), u"line 151\n");
    EXPECT_EQ(doc.GetLineText(150), u"line 150\n");
}

TEST(Changes, GrowthIsNotSeen) {
    TempFile f(NumberedLines(150));
    TextDocument doc;
    doc.scanBufferSize = 64;
    bool appended = false;
    doc.progress = [&](int32_t p) {
        if (p == 0 && !appended) appended = f.Append(NumberedLines(500));
    };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    if (!appended) GTEST_SKIP() << "the platform keeps an open file from being written";
    EXPECT_EQ(doc.lineCount, 151u);  // the scan stops at the size taken at opening
    EXPECT_EQ(doc.GetLineText(149), u"line 149\n");
    EXPECT_EQ(doc.GetLineText(150), u"");
    ASSERT_TRUE(f.Append("more\n"));
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(149), u"line 149\n");
}
