#include "view/scroll_map.h"

#include <gtest/gtest.h>

using namespace scroll_map;

TEST(ScrollMap, MulDivIsExactBeyond64BitProducts) {
    EXPECT_EQ(MulDiv(0, 5, 3, false), 0u);
    EXPECT_EQ(MulDiv(7, 3, 2, false), 10u);
    EXPECT_EQ(MulDiv(7, 3, 2, true), 11u);
    EXPECT_EQ(MulDiv(6, 3, 2, true), 9u);
    const uint64_t big = 0xFFFFFFFFFFFFFFFFull;
    EXPECT_EQ(MulDiv(big, big, big, false), big);
    EXPECT_EQ(MulDiv(big, 1u << 30, 1ull << 31, false), big / 2);
    // 123456789012 * 1e10 / 3e9 = 411522630040 exactly.
    EXPECT_EQ(MulDiv(123456789012ull, 10000000000ull, 3000000000ull, false), 411522630040ull);
}

TEST(ScrollMap, OnlyDocumentsBeyondTheBarAreScaled) {
    EXPECT_FALSE(IsScaled(0x7FFFFFFFull - 15, 15));
    EXPECT_TRUE(IsScaled(0x7FFFFFFFull - 14, 15));
    EXPECT_TRUE(IsScaled(1ull << 40, 15));
    EXPECT_FALSE(IsScaled(1000, 15));
}

TEST(ScrollMap, ThumbIsProportionalAndNeverEmpty) {
    EXPECT_EQ(ScaledPage(50, 4ull << 30), 12);   // 50 / 4 bar units per line... floor
    EXPECT_EQ(ScaledPage(50, 1ull << 40), 1);
    EXPECT_EQ(ScaledPage(1ull << 29, 1ull << 31), ScaledRange / 4);
}

TEST(ScrollMap, EveryBarPositionRoundTripsAndEndsAreExact) {
    const uint64_t lastLines[] = {(1ull << 31) + 7, 5000000017ull, 1ull << 44, 0xFFFFFFFFFFFull};
    const int32_t maxPos = ScaledRange - 3;
    for (uint64_t last : lastLines) {
        EXPECT_EQ(BarToLine(0, maxPos, last), 0u);
        EXPECT_EQ(BarToLine(maxPos, maxPos, last), last);
        EXPECT_EQ(LineToBar(0, maxPos, last), 0);
        EXPECT_EQ(LineToBar(last, maxPos, last), maxPos);
        uint64_t previous = 0;
        for (int32_t pos = 0; pos <= maxPos; pos += maxPos / 997 + 1) {
            uint64_t line = BarToLine(pos, maxPos, last);
            EXPECT_EQ(LineToBar(line, maxPos, last), pos) << last << " " << pos;
            EXPECT_GE(line, previous);
            previous = line;
        }
        // A line between two bar positions shows the thumb at the next one.
        uint64_t mid = BarToLine(1000, maxPos, last) + 1;
        EXPECT_EQ(LineToBar(mid, maxPos, last), 1001);
    }
}
