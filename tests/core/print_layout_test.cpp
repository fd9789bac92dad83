// Row breaking, page scale and the texts of printing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/fill_in.h"
#include "output/print_layout.h"

namespace {

struct Row {
    size_t first, count;
    std::vector<int32_t> advances;
    bool operator==(const Row& o) const { return first == o.first && count == o.count && advances == o.advances; }
};

std::vector<Row> Break(const std::u16string& text, int32_t width) {
    std::vector<Row> rows;
    // Widths by unit: CR/LF 0, 'W' 30, a tab 40, everything else 10.
    auto measure = [](char16_t u) -> int32_t {
        if (u == u'\r' || u == u'\n') return 0;
        if (u == u'W') return 30;
        if (u == u'\t') return 40;
        return 10;
    };
    BreakRows(text.data(), text.size(), width, measure,
              [&](size_t first, size_t count, const int32_t* adv) {
                  rows.push_back({first, count, std::vector<int32_t>(adv, adv + count)});
              });
    return rows;
}

TEST(PrintLayout, RowsBreakBeforeTheUnitThatOverflows) {
    // Exactly full rows stay whole; the next unit starts a new row.
    auto rows = Break(u"abcdefg\r\n", 30);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (Row{0, 3, {10, 10, 10}}));
    EXPECT_EQ(rows[1], (Row{3, 3, {10, 10, 10}}));
    EXPECT_EQ(rows[2], (Row{6, 3, {10, 0, 0}}));  // line end adds no width

    // A unit wider than the row stands alone.
    rows = Break(u"aWWb", 25);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1], (Row{1, 1, {30}}));
    EXPECT_EQ(rows[2], (Row{2, 1, {30}}));

    // Tabs are fixed advances; breaks may split a surrogate pair.
    rows = Break(u"a\tb\U0001F600", 60);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (Row{0, 3, {10, 40, 10}}));
    EXPECT_EQ(rows[1], (Row{3, 2, {10, 10}}));
    rows = Break(u"abcde\U0001F600", 60);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].count, 6u);  // ends on the high surrogate

    // An empty line is one row; no text is no row; a NUL ends the text.
    EXPECT_EQ(Break(u"\n", 100).size(), 1u);
    EXPECT_TRUE(Break(u"", 100).empty());
    rows = Break(std::u16string(u"ab\0cd", 5), 100);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].count, 2u);

    // A row of no width at all still makes progress.
    rows = Break(u"abc", 0);
    EXPECT_EQ(rows.size(), 3u);
}

TEST(PrintLayout, PageScale) {
    EXPECT_EQ(PageScale(4960, 210, 600), 6);
    EXPECT_EQ(PageScale(2479, 209, 300), 3);
    EXPECT_EQ(PageScale(700, 210, 85), 0);  // under 3.64 px per mm
    // No width in millimetres: taken from the dots per inch, never a division by zero.
    EXPECT_EQ(PageScale(2479, 0, 300), 3);
    EXPECT_EQ(PageScale(4960, 0, 600), 6);
    EXPECT_EQ(PageScale(2479, 0, 0), 0);
    EXPECT_EQ(PageScale(2479, -5, 300), 3);
}

// The texts of a print job are filled in from their patterns.
TEST(PrintLayout, Texts) {
    EXPECT_EQ(FillIn(u"第%1页", {DecimalText(1)}), u"第1页");
    EXPECT_EQ(FillIn(u"第%1页", {DecimalText(120)}), u"第120页");
    EXPECT_EQ(FillIn(u"%1 - 正在打印文件：第%2页", {u"a.txt - T", DecimalText(3)}), u"a.txt - T - 正在打印文件：第3页");
    EXPECT_EQ(FillIn(u"%1 - 打印文件完成：总共%2页", {u"", DecimalText(12)}), u" - 打印文件完成：总共12页");
    // Places without an argument, %% and a lone % at the end stay readable.
    EXPECT_EQ(FillIn(u"%2 %% %1%", {u"%2"}), u"%2 % %2%");
    EXPECT_EQ(DecimalText(18446744073709551615ull), u"18446744073709551615");
}

}  // namespace

// Rows of a text fed in pieces are the rows of the whole text; a row of
// units without width is cut at the most units a row takes.
TEST(PrintLayout, RowsRunOnAcrossPieces) {
    std::u16string text;
    for (int i = 0; i < 500; ++i) text += (i % 9 ? u"ab" : u"W\t") + std::u16string(i % 13 == 0 ? 1 : 0, u'\n');
    auto measure = [](char16_t u) -> int32_t { return u == u'\n' ? 0 : u == u'W' ? 30 : u == u'\t' ? 40 : 10; };
    for (size_t piece : {1, 2, 7, 64, 5000}) {
        std::vector<Row> rows;
        RowBreaker b(55, measure, SIZE_MAX);
        size_t first = 0;
        const RowBreaker::EmitText put = [&](const char16_t* row, size_t count, const int32_t* adv) {
            EXPECT_EQ(std::u16string(row, count), text.substr(first, count));
            rows.push_back({first, count, std::vector<int32_t>(adv, adv + count)});
            first += count;
        };
        for (size_t at = 0; at < text.size(); at += piece) b.Feed(text.data() + at, std::min(piece, text.size() - at), put);
        b.Finish(put);
        EXPECT_EQ(rows, Break(text, 55)) << piece;
    }
    std::vector<size_t> counts;
    RowBreaker b(50, [](char16_t) { return 0; }, 4);
    const std::u16string zero(10, u'\x200B');
    b.Feed(zero.data(), zero.size(), [&](const char16_t*, size_t count, const int32_t*) { counts.push_back(count); });
    b.Finish([&](const char16_t*, size_t count, const int32_t*) { counts.push_back(count); });
    EXPECT_EQ(counts, (std::vector<size_t>{4, 4, 2}));
}
