#include "view/scroll_map.h"
#include "view/bar_requests.h"

#include <algorithm>
#include <random>
#include <tuple>

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

// A bar as SetScrollInfo keeps it: page, range, then the position clamped.
struct ModelBar {
    int32_t min = 0, max = 100, pos = 0;
    uint32_t page = 0;
    void Set(const BarRequest& r) {
        if (r.setPage) page = r.page;
        if (r.setRange) min = r.min, max = r.max;
        if (r.setPos) pos = r.pos;
        const int64_t span = int64_t(max) - min + 1;
        if (span <= 0) page = 0;
        else if (page > span) page = uint32_t(span);
        const int64_t top = int64_t(max) - (page ? page - 1 : 0);
        pos = int32_t(std::max<int64_t>(min, std::min<int64_t>(pos, std::max<int64_t>(min, top))));
    }
};

TEST(ScrollBars, RequestsLeftOutChangeNothing) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        ModelBar every, some;
        BarRequests asked;
        int sent = 0;
        for (int i = 0; i < 200; ++i) {
            BarRequest r;
            r.setRange = rng() % 3 == 0;
            r.setPage = rng() % 3 == 0;
            r.setPos = rng() % 2 == 0;
            r.min = int32_t(rng() % 2);
            r.max = int32_t(rng() % 12);
            r.page = rng() % 6;
            r.pos = int32_t(rng() % 14) - 1;
            if (rng() % 50 == 0) asked.Forget();
            every.Set(r);
            const BarRequest needed = asked.Needed(r);
            if (needed.Any()) some.Set(needed), ++sent;
            ASSERT_EQ(std::tie(every.min, every.max, every.page, every.pos),
                      std::tie(some.min, some.max, some.page, some.pos))
                << "round " << round << " request " << i;
            EXPECT_FALSE(asked.Needed(r).Any());  // the same again is never sent
        }
        EXPECT_LT(sent, 200);
    }
}
