#include "view/line_metrics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

struct CountingWidth {
    size_t* calls;
    int32_t operator()(char16_t c) const {
        ++*calls;
        return c == u'\t' ? 32 : c == u'\r' ? 0 : (c % 7) + 1;
    }
};

// The walk of the painter without any cache.
size_t FirstVisible(const std::u16string& t, int64_t target, CountingWidth w, int64_t* before) {
    int64_t acc = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        int32_t x = w(t[i]);
        if (acc + x >= target) {
            *before = acc;
            return i;
        }
        acc += x;
    }
    *before = acc;
    return t.size();
}

// The units of an in-memory line, as the view fetches them.
struct Units {
    const std::u16string* text;
    const char16_t* operator()(uint64_t from, size_t) const { return text->data() + from; }
};

std::u16string RandomLine(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::u16string s(n, u'a');
    for (auto& c : s) c = static_cast<char16_t>(u' ' + rng() % 90);
    for (size_t i = 0; i < n; i += 37) s[i] = u'\t';
    return s;
}

}  // namespace

TEST(LineMetrics, SeekGivesTheSameFirstVisibleUnitAsAFullWalk) {
    const std::u16string line = RandomLine(50000, 1);
    size_t calls = 0;
    CountingWidth w{&calls};
    // With the usual checkpoints, and with few of them far apart (the way
    // a line of billions of units keeps its memory bounded).
    for (size_t cap : {size_t(1) << 20, size_t(5)}) {
        LineMetrics m;
        m.maxCheckpoints = cap;
        for (int64_t target : {int64_t(-5), int64_t(0), int64_t(1), int64_t(4000), int64_t(123457),
                               int64_t(250001), int64_t(1) << 40}) {
            int64_t expectBefore = 0;
            size_t expect = FirstVisible(line, target, w, &expectBefore);
            LineMetrics::Start s = m.Seek(7, line.size(), 1, target, Units{&line}, w);
            int64_t acc = s.width;
            size_t i = s.index;
            for (; i < line.size(); ++i) {
                int32_t x = w(line[i]);
                if (acc + x >= target) break;
                acc += x;
            }
            EXPECT_EQ(i, expect) << target;
            EXPECT_EQ(acc, expectBefore) << target;
            EXPECT_LE(s.index, i);
            EXPECT_LE(i - s.index, s.reach) << target;  // callers read only this far
        }
        int64_t sum = 0;
        for (size_t count = 0; count <= line.size(); count += 4999) {
            EXPECT_EQ(m.PrefixWidth(7, line.size(), 1, count, Units{&line}, w), sum) << count;
            for (size_t k = count; k < count + 4999 && k < line.size(); ++k) sum += w(line[k]);
        }
        EXPECT_EQ(m.Total(7, line.size(), 1, Units{&line}, w), sum);
        EXPECT_LE(m.Checkpoints(), std::min<size_t>(cap, line.size() / LineMetrics::Step) + 1);
    }
}

TEST(LineMetrics, RepeatedSeeksDoNotWalkTheLineAgain) {
    const std::u16string line = RandomLine(200000, 2);
    size_t calls = 0;
    CountingWidth w{&calls};
    LineMetrics m;
    m.Seek(0, line.size(), 1, int64_t(1) << 40, Units{&line}, w);  // far right: builds once
    EXPECT_GE(calls, 199000u);
    calls = 0;
    for (int i = 0; i < 100; ++i) m.Seek(0, line.size(), 1, 700000 + i * 240, Units{&line}, w);
    EXPECT_EQ(calls, 0u);
    // The same line read again into another buffer (its block was read
    // anew) keeps its checkpoints: they belong to the line and the stamp.
    const std::u16string again = line;
    m.Seek(0, again.size(), 1, 900000, Units{&again}, w);
    int64_t total = m.Total(0, again.size(), 1, Units{&again}, w);
    EXPECT_LT(calls, 2 * LineMetrics::Step);
    calls = 0;
    EXPECT_EQ(m.Total(0, line.size(), 1, Units{&line}, w), total);
    EXPECT_EQ(calls, 0u);
    int64_t sum = 0;
    for (char16_t c : line) sum += w(c);
    EXPECT_EQ(total, sum);
    // Another stamp (font or decoding changed) measures anew.
    calls = 0;
    m.Seek(0, line.size(), 2, 700000, Units{&line}, w);
    EXPECT_GT(calls, 0u);
}

TEST(LineMetrics, PrefixWidthMatchesSumAndFollowsANewStamp) {
    std::u16string line = RandomLine(30000, 3);
    size_t calls = 0;
    CountingWidth w{&calls};
    LineMetrics m;
    for (size_t count : {size_t(0), size_t(5), size_t(1024), size_t(1025), size_t(29999), size_t(30000),
                         size_t(40000)}) {
        int64_t sum = 0;
        for (size_t i = 0; i < std::min(count, line.size()); ++i) sum += w(line[i]);
        EXPECT_EQ(m.PrefixWidth(3, line.size(), 1, count, Units{&line}, w), sum) << count;
    }
    // Same line number, other text under a new stamp: the checkpoints are rebuilt.
    int64_t before = m.PrefixWidth(3, line.size(), 1, 20000, Units{&line}, w);
    for (size_t i = 0; i < line.size(); ++i) line[i] = u'\t';
    int64_t after = m.PrefixWidth(3, line.size(), 2, 20000, Units{&line}, w);
    EXPECT_EQ(after, 20000 * 32);
    EXPECT_NE(before, after);
}

TEST(LineMetrics, ShortLinesAreNotCachedAndLongOnesAreBounded) {
    size_t calls = 0;
    CountingWidth w{&calls};
    LineMetrics m;
    const std::u16string shortLine = RandomLine(100, 4);
    EXPECT_EQ(m.Seek(0, shortLine.size(), 1, 500, Units{&shortLine}, w).index, 0u);
    EXPECT_EQ(m.Size(), 0u);
    const std::u16string longLine = RandomLine(LineMetrics::MinLength * 2, 5);
    for (uint64_t n = 0; n < LineMetrics::MaxLines * 3; ++n) m.Seek(n, longLine.size(), 1, 900, Units{&longLine}, w);
    EXPECT_EQ(m.Size(), LineMetrics::MaxLines);
    // A screen of more rows: all of them stay, measured once. Their
    // checkpoints stay within the budget, thinned, and widths stay exact.
    const std::u16string line = RandomLine(60000, 6);
    m.KeepLines(100);
    m.checkpointBudget = 1000;
    int64_t total = 0;
    for (char16_t c : line) total += w(c);
    for (int paint = 0; paint < 2; ++paint) {
        calls = 0;
        for (uint64_t n = 0; n < 100; ++n) EXPECT_EQ(m.Total(n, line.size(), 2, Units{&line}, w), total);
        EXPECT_EQ(calls, paint ? 0u : 100 * line.size());
        EXPECT_EQ(m.Size(), 100u);
        EXPECT_LE(m.Checkpoints(), m.checkpointBudget + line.size() / LineMetrics::Step + 1);
    }
    int64_t sum = 0;
    for (size_t count = 0; count <= line.size(); count += 7001) {
        EXPECT_EQ(m.PrefixWidth(50, line.size(), 2, count, Units{&line}, w), sum) << count;
        for (size_t k = count; k < count + 7001 && k < line.size(); ++k) sum += w(line[k]);
    }
    m.DropFrom(40);
    EXPECT_EQ(m.Size(), 40u);
}
