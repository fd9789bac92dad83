// Selected text assembled from document lines with their own terminators.
#include <gtest/gtest.h>

#include <random>

#include "core/text_document.h"
#include "tests/core/temp_text_file.h"
#include "view/selection_text.h"

namespace {

TextPosition P(uint64_t line, uint64_t column) { return TextPosition{line, column}; }

std::u16string U(const char* ascii) { return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii)); }

// The selection Select All makes.
std::u16string All(TextDocument& d) {
    uint64_t last = d.lineCount - 1;
    return SelectedText(d, P(0, 0), P(last, d.GetLineText(last).size()));
}

} // namespace

TEST(SelectionText, WithinOneLineAndAcrossTerminators) {
    TempTextFile f("alpha beta\r\ngamma\ndelta\repsilon");
    ASSERT_TRUE(f.opened);
    ASSERT_EQ(f.doc.lineCount, 4u);
    EXPECT_EQ(SelectedText(f.doc, P(0, 6), P(0, 10)), u"beta");
    EXPECT_EQ(SelectedText(f.doc, P(0, 6), P(0, 6)), u"");
    // Up to column 0 of the next line: the rest of the line with its own terminator.
    EXPECT_EQ(SelectedText(f.doc, P(0, 6), P(1, 0)), u"beta\r\n");
    EXPECT_EQ(SelectedText(f.doc, P(1, 2), P(2, 0)), u"mma\n");
    EXPECT_EQ(SelectedText(f.doc, P(2, 5), P(3, 0)), u"\r");
    EXPECT_EQ(SelectedText(f.doc, P(0, 6), P(3, 3)), u"beta\r\ngamma\ndelta\reps");
    // An end column past its line takes the whole end line.
    EXPECT_EQ(SelectedText(f.doc, P(1, 0), P(1, 99)), u"gamma\n");
    EXPECT_EQ(SelectedText(f.doc, P(2, 0), P(3, 99)), u"delta\repsilon");
    // Ends given in the wrong order give the same text.
    EXPECT_EQ(SelectedText(f.doc, P(3, 3), P(0, 6)), u"beta\r\ngamma\ndelta\reps");
}

TEST(SelectionText, SelectAllReproducesTheDecodedFile) {
    const char* withoutEnd = "one\r\ntwo\nthree\rfour";
    TempTextFile f(withoutEnd);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(All(f.doc), U(withoutEnd));
    const char* withEnd = "one\r\ntwo\n\nthree\r\n";
    TempTextFile g(withEnd);
    ASSERT_TRUE(g.opened);
    EXPECT_EQ(All(g.doc), U(withEnd));
    // The caret after Ctrl+End lies one line past the last.
    EXPECT_EQ(SelectedText(g.doc, P(1, 0), P(g.doc.lineCount, 0)), u"two\n\nthree\r\n");
    TempTextFile e("");
    ASSERT_TRUE(e.opened);
    EXPECT_EQ(All(e.doc), u"");
    // Text decoded from UTF-8 keeps its code units.
    TempTextFile c("\xE4\xB8\xAD\xE6\x96\x87\r\nx");
    ASSERT_TRUE(c.opened);
    EXPECT_EQ(All(c.doc), u"\u4E2D\u6587\r\nx");
}

TEST(SelectionText, ColumnsPastTheirLineAreClamped) {
    TempTextFile f("abc\ndefgh\nij");
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(SelectedText(f.doc, P(0, 50), P(0, 60)), u"");
    EXPECT_EQ(SelectedText(f.doc, P(0, 50), P(1, 2)), u"de");
    EXPECT_EQ(SelectedText(f.doc, P(0, 4), P(2, 1)), u"defgh\ni");
    // Viewing the same bytes in another encoding of the family shortens the
    // lines under a selection made before.
    TempTextFile g("\xE4\xB8\xAD\xE6\x96\x87\xE4\xB8\xAD\xE6\x96\x87\nxyz", Encoding::Ansi);
    ASSERT_TRUE(g.opened);
    const size_t ansiLength = g.doc.GetLineText(0).size();
    g.doc.encoding = Encoding::Utf8;
    g.doc.ClearCache();
    ASSERT_LT(g.doc.GetLineText(0).size(), ansiLength);
    EXPECT_EQ(SelectedText(g.doc, P(0, ansiLength - 1), P(1, 2)), u"xy");
    EXPECT_EQ(SelectedText(g.doc, P(0, ansiLength - 1), P(0, ansiLength)), u"");
}

TEST(SelectionText, BoundedSelection) {
    TempTextFile f("0123456789\nabcdefghij\nKLMNO");
    ASSERT_TRUE(f.opened);
    std::u16string out;
    EXPECT_TRUE(AppendSelectedText(f.doc, P(0, 0), P(2, 5), 27, out));
    EXPECT_EQ(out, u"0123456789\nabcdefghij\nKLMNO");
    out.clear();
    EXPECT_FALSE(AppendSelectedText(f.doc, P(0, 0), P(2, 5), 26, out));
    EXPECT_EQ(out, u"0123456789\nabcdefghij\nKLMN");
    out.clear();
    EXPECT_FALSE(AppendSelectedText(f.doc, P(0, 3), P(2, 5), 5, out));
    EXPECT_EQ(out, u"34567");
    out.clear();
    EXPECT_FALSE(AppendSelectedText(f.doc, P(1, 0), P(1, 9), 4, out));
    EXPECT_EQ(out, u"abcd");
    out.clear();
    EXPECT_TRUE(AppendSelectedText(f.doc, P(1, 0), P(1, 0), 0, out));
    EXPECT_EQ(out, u"");
}

// A selection anywhere in long lines (read in pieces under a small bound)
// gives the text of the same file read whole, within the budget; its length
// is known without reading it.
TEST(SelectionText, LongLinesCopyLikeTheWholeText) {
    std::string bytes;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3000 + i * 1000; ++k)
            bytes += k % 7 ? std::string(1, char('a' + k % 26)) : i == 1 ? "\xE4\xB8\xAD" : " ";
        bytes += i == 0 ? "\r\n" : "\n";
    }
    bytes += "tail";
    TempTextFile whole(bytes), cut(bytes);
    ASSERT_TRUE(whole.opened && cut.opened);
    cut.doc.maxBlockBytes = 100;
    ASSERT_TRUE(cut.doc.IsLongLine(1));
    std::mt19937 rng(3);
    const std::u16string all = All(whole.doc);
    auto offset = [&](TextPosition p) {
        uint64_t o = 0;
        for (uint64_t i = 0; i < p.line; ++i) o += whole.doc.GetLineText(i).size();
        return o + std::min<uint64_t>(p.column, whole.doc.GetLineText(p.line).size());
    };
    for (int q = 0; q < 200; ++q) {
        TextPosition a = P(rng() % 4, rng() % 5200), b = P(rng() % 4, rng() % 5200);
        if (b < a) std::swap(a, b);
        const std::u16string want = all.substr(offset(a), offset(b) - offset(a));
        ASSERT_EQ(SelectedText(cut.doc, a, b), want) << q;
        ASSERT_EQ(SelectedLength(cut.doc, a, b, UINT64_MAX), want.size());
        const size_t budget = rng() % (want.size() + 2);
        std::u16string out;
        ASSERT_EQ(AppendSelectedText(cut.doc, a, b, budget, out), budget >= want.size());
        ASSERT_EQ(out, want.substr(0, budget));
        const uint64_t early = SelectedLength(cut.doc, a, b, budget / 2);
        if (want.size() <= budget / 2) EXPECT_EQ(early, want.size());
        else EXPECT_GT(early, budget / 2);
    }
}

// The bound the line index gives holds in every encoding, with malformed
// bytes, NULs (which leave the rest of their block without text, so bytes
// bound the units only from above) and long lines; a count with a step
// calls it between blocks of lines and while a long line's table is built,
// and stops when it says so.
TEST(SelectionText, BoundFromTheIndexAndCountInSteps) {
    std::string bytes;
    for (int i = 0; i < 450; ++i)
        bytes += i % 97 == 5 ? std::string("a\0b\r\n", 5) : i % 7 ? "\xE4\xB8\xAD\xFFx\n" : "\n";
    bytes += std::string(3000, 'y') + "\r\n\xF0\x9F\x98\x80";
    std::mt19937 rng(5);
    for (Encoding e : {Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be, Encoding::Ansi}) {
        TempTextFile f(bytes, e);
        ASSERT_TRUE(f.opened);
        for (int64_t bound : {int64_t(0), int64_t(1000)}) {
            if (bound) f.doc.maxBlockBytes = bound;
            for (int q = 0; q < 100; ++q) {
                const TextPosition a = P(rng() % 460, rng() % 9), b = P(rng() % 460, rng() % 4000);
                ASSERT_LE(SelectedLength(f.doc, a, b, UINT64_MAX), SelectedUnitsAtMost(f.doc, a, b)) << q;
            }
        }
        if (e == Encoding::Utf16Le || e == Encoding::Utf16Be) continue;
        int steps = 0;
        EXPECT_EQ(SelectedLength(f.doc, P(0, 0), P(460, 0), UINT64_MAX, [&] { return ++steps, true; }),
                  SelectedLength(f.doc, P(0, 0), P(460, 0), UINT64_MAX));
        EXPECT_EQ(steps, 4);
        f.doc.ClearCache();
        EXPECT_EQ(SelectedLength(f.doc, P(0, 0), P(460, 0), UINT64_MAX, [] { return false; }), UINT64_MAX);
        EXPECT_EQ(SelectedLength(f.doc, P(450, 9), P(450, 20), UINT64_MAX, [] { return false; }), UINT64_MAX);
    }
    std::string nuls;
    for (int i = 0; i < 300; ++i) nuls += std::string("\0\n", 2);
    TempTextFile nul(nuls);
    ASSERT_TRUE(nul.opened);
    EXPECT_EQ(SelectedLength(nul.doc, P(0, 0), P(300, 0), UINT64_MAX), 0u);
    EXPECT_EQ(SelectedUnitsAtMost(nul.doc, P(0, 0), P(300, 0)), 600u);
}
