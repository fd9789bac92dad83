#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/text_document.h"
#include "tests/core/reference_models.h"
#include "tests/core/test_files.h"

using testfiles::TempFile;

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

// A block is read up to a bound: lines read whole are kept, the cut line
// keeps its text up to the bound (never half a character), the rest is empty.
TEST(Bound, BlocksAreReadUpToTheBound) {
    TempFile f("ab\ncd\n" + std::string(100, 'x') + "\nlast\n");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    doc.maxBlockBytes = 10;
    EXPECT_EQ(doc.GetLineText(0), u"ab\n");
    EXPECT_EQ(doc.GetLineText(1), u"cd\n");
    EXPECT_EQ(doc.GetLineText(2), u"xxxx");
    EXPECT_EQ(doc.GetLineText(3), u"");
    EXPECT_EQ(doc.lineCount, 5u);

    struct Case { Encoding enc; std::string bytes; std::u16string line0; } cases[] = {
        {Encoding::Utf8, "xxxxxxxx\xE4\xB8\xAD\n", u"xxxxxxxx"},
        {Encoding::Utf8, "xxxxxxx\xE4\xB8\xAD\n", u"xxxxxxx中"},
        {Encoding::Utf8, "xxxxxx\xE4\xB8\xAD\nyy", u"xxxxxx中\n"},
        {Encoding::Ansi, "xxxxxxxxx\xD6\xD0\n", u"xxxxxxxxx"},
        {Encoding::Ansi, "xxxxxxxx\xD6\xD0\n", u"xxxxxxxx中"},
        {Encoding::Utf16Le, std::string("a\0b\0c\0d\0\x3D\xD8\x00\xDE\n\0", 14), u"abcd"},
        {Encoding::Utf16Be, std::string("\0a\0b\0c\xD8\x3D\xDE\x00\0\n", 12), u"abc\xD83D\xDE00"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(f.Write(c.bytes));
        ASSERT_TRUE(doc.Open(f.path(), c.enc));
        doc.ClearCache();
        EXPECT_EQ(doc.GetLineText(0), c.line0) << testing::PrintToString(c.bytes);
        EXPECT_EQ(doc.GetLineText(1), u"");
    }
}

TEST(Bound, RealBoundOnAHugeLine) {
    const size_t bound = static_cast<size_t>(MaxBlockBytes);
    std::string bytes(bound + 1000, 'x');
    bytes[bound - 1] = '\xE4';  // a character across the bound is left out whole
    bytes[bound] = '\xB8';
    bytes[bound + 1] = '\xAD';
    bytes += "\nnext\n";
    TempFile f(bytes);
    ASSERT_TRUE(f.ok());
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf8));
    EXPECT_EQ(doc.lineCount, 3u);
    EXPECT_EQ(doc.maxLineLength, bound + 1001);
    const std::u16string& line = doc.LineTextRef(0);
    EXPECT_EQ(line.size(), bound - 1);
    EXPECT_EQ(line.find_first_not_of(u'x'), std::u16string::npos);
    EXPECT_EQ(doc.GetLineText(1), u"");
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
