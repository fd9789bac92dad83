#include "view/word_select.h"

#include <gtest/gtest.h>

TEST(CharClass, BoundariesOfTheFourClasses) {
    for (char16_t c = 0; c <= 0x20; ++c) EXPECT_EQ(CharClass(c), 0) << int(c);
    EXPECT_EQ(CharClass(0x7F), 0);
    EXPECT_EQ(CharClass(0x80), 0);
    for (char16_t c : std::u16string(u"09AZaz_")) EXPECT_EQ(CharClass(c), 1) << char(c);
    for (char16_t c : std::u16string(u"!/:@[^`{~-.")) EXPECT_EQ(CharClass(c), 2) << char(c);
    EXPECT_EQ(CharClass(0x81), 3);
    EXPECT_EQ(CharClass(u'中'), 3);
    EXPECT_EQ(CharClass(u'，'), 3);
    EXPECT_EQ(CharClass(0xD83D), 3);  // surrogate half
    EXPECT_EQ(CharClass(0xFFFF), 3);
}

TEST(WordAt, SeedsAndRuns) {
    const std::u16string text = u"foo_bar1  +=  x\r\n";
    // Inside a word.
    WordRange r = WordAt(text, 2);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.hi, 8u);
    // A blank right after a word selects the word.
    r = WordAt(text, 8);
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.hi, 8u);
    // A blank after a blank selects the whole run of blanks.
    r = WordAt(text, 9);
    EXPECT_EQ(r.lo, 8u);
    EXPECT_EQ(r.hi, 10u);
    // Punctuation is its own class.
    r = WordAt(text, 11);
    EXPECT_EQ(r.lo, 10u);
    EXPECT_EQ(r.hi, 12u);
    // Past the end (and on the terminator) selects the last run.
    r = WordAt(text, 15);
    EXPECT_EQ(r.lo, 14u);
    EXPECT_EQ(r.hi, 15u);
    r = WordAt(text, 100);
    EXPECT_EQ(r.lo, 14u);
    EXPECT_EQ(r.hi, 15u);
}

TEST(WordAt, BlankAtColumnZeroAndNonAscii) {
    WordRange r = WordAt(u"  ab", 0);
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.hi, 2u);
    // Chinese text and its punctuation form one run up to the next ASCII unit.
    const std::u16string cjk = u"ab中文，测试cd";
    r = WordAt(cjk, 3);
    EXPECT_EQ(r.lo, 2u);
    EXPECT_EQ(r.hi, 7u);
    r = WordAt(cjk, 1);
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.hi, 2u);
}

TEST(WordAt, EmptyAndTerminatorOnlyLines) {
    EXPECT_FALSE(WordAt(u"", 0).found);
    EXPECT_FALSE(WordAt(u"\r\n", 0).found);
    EXPECT_FALSE(WordAt(u"\r", 1).found);
}

TEST(WordAt, BreaksInsideTheTextAreRemoved) {
    // Columns count in the text without CR and LF.
    WordRange r = WordAt(u"ab\rcd ef", 1);
    EXPECT_EQ(r.lo, 0u);
    EXPECT_EQ(r.hi, 4u);
}
