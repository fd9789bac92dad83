#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "core/fast_convert.h"
#include "core/platform.h"
#include "core/simd_level.h"
#include "tests/core/test_files.h"

using testfiles::TempFile;

namespace {

std::string Bytes(std::initializer_list<int> v) {
    std::string s;
    for (int b : v) s += static_cast<char>(b);
    return s;
}

std::u16string Units(std::initializer_list<int> v) {
    std::u16string s;
    for (int u : v) s += static_cast<char16_t>(u);
    return s;
}

const std::string GbkChinese = Bytes({0xD6, 0xD0, 0xCE, 0xC4});  // 中文
const std::string Utf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";     // 中文

Encoding DetectBytes(const std::string& bytes) {
    TempFile f(bytes);
    EXPECT_TRUE(f.ok());
    return DetectEncoding(f.path());
}

} // namespace

TEST(Detect, ByteOrderMarksDecideFirst) {
    EXPECT_EQ(DetectBytes(Bytes({0xFF, 0xFE})), Encoding::Utf16Le);
    EXPECT_EQ(DetectBytes(Bytes({0xFF, 0xFE, 0x00, 0x00})), Encoding::Utf16Le);
    EXPECT_EQ(DetectBytes(Bytes({0xFF, 0xFE, 0xE4})), Encoding::Utf16Le);
    EXPECT_EQ(DetectBytes(Bytes({0xFE, 0xFF, 0x00, 0x41})), Encoding::Utf16Be);
    EXPECT_EQ(DetectBytes(Bytes({0xEF, 0xBB, 0xBF})), Encoding::Utf8Bom);
    EXPECT_EQ(DetectBytes("\xEF\xBB\xBFplain ascii"), Encoding::Utf8Bom);
    EXPECT_EQ(DetectBytes("plain ascii"), Encoding::Ansi);
    // An incomplete mark: EF expects two continuation bytes, BB is one, the sample ends.
    EXPECT_EQ(DetectBytes(Bytes({0xEF, 0xBB})), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(Bytes({0xFE})), Encoding::Utf8);
}

TEST(Detect, SampleRules) {
    EXPECT_EQ(DetectBytes(""), Encoding::Ansi);
    EXPECT_EQ(DetectBytes("abc\r\n" + Utf8Chinese + "\n"), Encoding::Utf8);
    EXPECT_EQ(DetectBytes("abc " + GbkChinese), Encoding::Ansi);
    EXPECT_EQ(DetectBytes(Bytes({0x80})), Encoding::Ansi);
    EXPECT_EQ(DetectBytes(Utf8Chinese + "\xBF"), Encoding::Ansi);     // stray continuation after valid text
    EXPECT_EQ(DetectBytes(Utf8Chinese + "\xC3\x41"), Encoding::Ansi); // lead byte without continuation
    EXPECT_EQ(DetectBytes("a\xC3"), Encoding::Utf8);                  // cut off by the end
    // Overlong forms, surrogates and five/six-byte forms all pass.
    EXPECT_EQ(DetectBytes(Bytes({0xC0, 0x80})), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(Bytes({0xED, 0xA0, 0x80})), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(Bytes({0x41, 0xFE, 0x80, 0x80, 0x80, 0x80})), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(Bytes({0x41, 0xFF, 0x80, 0x80, 0x80, 0x41})), Encoding::Ansi);
    EXPECT_EQ(DetectBytes(Bytes({0xF8, 0x80, 0x80, 0x80, 0x80})), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(Bytes({0xFC, 0x80, 0x80, 0x80, 0x80, 0x80})), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(Bytes({0xFC, 0x80, 0x80, 0x80, 0x80, 0x41})), Encoding::Ansi);
}

TEST(Detect, OnlyTheSampleCounts) {
    std::string ascii(DetectSampleSize, 'a');
    EXPECT_EQ(DetectBytes(ascii + Utf8Chinese), Encoding::Ansi);
    EXPECT_EQ(DetectBytes(ascii + "\x80"), Encoding::Ansi);
    // A sequence cut off by the sample size is no error.
    std::string cut(DetectSampleSize - 1, 'a');
    EXPECT_EQ(DetectBytes(cut + Utf8Chinese), Encoding::Utf8);
    EXPECT_EQ(DetectBytes(cut.substr(1) + Utf8Chinese + "\x80"), Encoding::Utf8);
}

TEST(Detect, UnopenableFileIsNone) {
    EXPECT_EQ(DetectEncoding(testfiles::UniquePath(u"missing.txt")), Encoding::None);
    EXPECT_EQ(DetectEncoding(testfiles::TempDir()), Encoding::None);
}

TEST(Convert, LengthZeroConvertsThroughTheNul) {
    std::u16string w = Utf8ToWide(Utf8Chinese.c_str(), 0);
    EXPECT_EQ(w, std::u16string(u"中文") + u'\0');
    EXPECT_EQ(AnsiToWide(GbkChinese.c_str(), 0), std::u16string(u"中文") + u'\0');
    EXPECT_EQ(WideToUtf8(u"中文", 0), Utf8Chinese + '\0');
    EXPECT_EQ(WideToAnsi(u"中文", 0), GbkChinese + '\0');
    EXPECT_EQ(Utf8ToWide("", 0), std::u16string(1, u'\0'));
}

TEST(Convert, ExplicitLengthConvertsExactlyThatMuch) {
    EXPECT_EQ(Utf8ToWide("a\0b", 3), Units({'a', 0, 'b'}));
    EXPECT_EQ(Utf8ToWide(Utf8Chinese.c_str(), 3), u"中");
    EXPECT_EQ(AnsiToWide(GbkChinese.c_str(), 2), u"中");
    EXPECT_EQ(WideToUtf8(u"中文", 1), "\xE4\xB8\xAD");
    EXPECT_EQ(WideToAnsi(u"ab", 1), "a");
    EXPECT_EQ(Utf8ToWide("abc", -1), u"");
    EXPECT_EQ(WideToAnsi(u"abc", -5), "");
}

TEST(Convert, ChineseTextSurvivesEveryRoundTrip) {
    std::u16string text = u"日志 2024-01-02 错误：连接超时（重试 3 次）€ “引号” 　全角空格\r\n";
    std::string gbk = WideToAnsi(text.data(), static_cast<int32_t>(text.size()));
    EXPECT_EQ(AnsiToWide(gbk.data(), static_cast<int32_t>(gbk.size())), text);
    std::string utf8 = WideToUtf8(text.data(), static_cast<int32_t>(text.size()));
    std::u16string back = Utf8ToWide(utf8.data(), static_cast<int32_t>(utf8.size()));
    EXPECT_EQ(back, text);
    std::string again = WideToAnsi(back.data(), static_cast<int32_t>(back.size()));
    EXPECT_EQ(again, gbk);
    EXPECT_EQ(WideToAnsi(u"中文", 2), GbkChinese);
}

// Replacement of malformed UTF-8 as the Windows conversion does it with flags 0.
TEST(Convert, MalformedUtf8IsReplacedLikeThePlatform) {
    struct Case { std::string in; std::u16string out; } cases[] = {
        {Bytes({0x80}), Units({0xFFFD})},
        {Bytes({0xC0, 0x80}), Units({0xFFFD, 0xFFFD})},
        {Bytes({0xC2, 0x41}), Units({0xFFFD, 0x41})},
        {Bytes({0xE0, 0x80, 0x80}), Units({0xFFFD, 0xFFFD})},
        {Bytes({0xED, 0xA0, 0x80}), Units({0xFFFD, 0xFFFD})},
        {Bytes({0xE4, 0xB8, 0x41}), Units({0xFFFD, 0x41})},
        {Bytes({0xF0, 0x90, 0x41}), Units({0xFFFD})},  // cut off by the end: the rest is swallowed
        {Bytes({0xE4, 0xB8, 0xAD, 0xE4}), Units({0x4E2D, 0xFFFD})},
        {Bytes({0xF4, 0x90, 0x80, 0x80}), Units({0xFFFD, 0xFFFD, 0xFFFD})},
        {Bytes({0xF5, 0x80, 0x80, 0x80}), Units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD})},
        {Bytes({0xF0, 0x9F, 0x98, 0x80}), Units({0xD83D, 0xDE00})},
        {Bytes({0xE4, 0x00, 0xB8}), Units({0xFFFD, 0x0000, 0xFFFD})},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToWide(c.in.data(), static_cast<int32_t>(c.in.size())), c.out) << testing::PrintToString(c.in);
}

TEST(Convert, UnmappableAndLoneUnitsAreSubstituted) {
    EXPECT_EQ(WideToUtf8(Units({0xD800, 0x41}).data(), 2), "\xEF\xBF\xBD" "A");
    EXPECT_EQ(WideToUtf8(Units({0xD83D, 0xD83D, 0xDE00}).data(), 3), "\xEF\xBF\xBD\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8(Units({0xDC00}).data(), 1), "\xEF\xBF\xBD");
    EXPECT_EQ(WideToAnsi(Units({0xD83D, 0xDE00}).data(), 2), "??");
    EXPECT_EQ(WideToAnsi(Units({0x00A0, 0x2022}).data(), 2), "??");
    EXPECT_EQ(WideToAnsi(Units({0x20AC}).data(), 1), "\x80");
    EXPECT_EQ(WideToAnsi(Units({0x00E9}).data(), 1), "\xA8\xA6");  // in the code page
    EXPECT_EQ(WideToAnsi(Units({0x00C0}).data(), 1), "\xA8\xA4");  // best fit
    EXPECT_EQ(WideToAnsi(Units({0xE000}).data(), 1), "\xAA\xA1");  // user-defined area
}

TEST(Convert, InvalidGbkSequences) {
    struct Case { std::string in; std::u16string out; } cases[] = {
        {Bytes({0x81}), u"?"},
        {Bytes({0x41, 0x81}), u"A?"},
        {Bytes({0x81, 0x30}), u"?"},  // the lead byte takes any following byte
        {Bytes({0x81, 0x7F, 0x41}), u"?A"},
        {Bytes({0x81, 0x00, 0x41}), Units({'?', 0, 'A'})},  // but not a NUL
        {Bytes({0x80}), u"€"},
        {Bytes({0xFF}), Units({0xF8F5})},
        {Bytes({0xAA, 0xA1}), Units({0xE000})},
        {Bytes({0xA1, 0x40}), Units({0xE4C6})},
        {Bytes({0x81, 0x40}), u"丂"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnsiToWide(c.in.data(), static_cast<int32_t>(c.in.size())), c.out) << testing::PrintToString(c.in);
}

TEST(Decode, SwapAndUnitWidths) {
    std::u16string u = Units({0x1234, 0x00FF, 0xFF00});
    EXPECT_EQ(SwapBytes16(&u[0], 3), 3);
    EXPECT_EQ(u, Units({0x3412, 0xFF00, 0x00FF}));
    EXPECT_EQ(SwapBytes16(&u[0], 0), 0);

    std::string le = Bytes({0xFF, 0xFE, 'a', 0, 0x2D, 0x4E, 'b'});  // odd last byte
    std::string be = Bytes({0xFE, 0xFF, 0, 'a', 0x4E, 0x2D});
    EXPECT_EQ(DecodeText(Encoding::Utf16Le, le.data(), le.size()), Units({0xFEFF, 'a', 0x4E2D}));
    EXPECT_EQ(DecodeText(Encoding::Utf16Be, be.data(), be.size()), Units({0xFEFF, 'a', 0x4E2D}));
    EXPECT_EQ(DecodeText(Encoding::Utf16Le, le.data(), 1), u"");
}

TEST(Decode, ByteEncodingsAndEmptyResults) {
    std::string withMark = "\xEF\xBB\xBF" + Utf8Chinese;
    EXPECT_EQ(DecodeText(Encoding::Utf8Bom, withMark.data(), withMark.size()), Units({0xFEFF, 0x4E2D, 0x6587}));
    EXPECT_EQ(DecodeText(Encoding::Utf8, Utf8Chinese.data(), Utf8Chinese.size()), u"中文");
    EXPECT_EQ(DecodeText(Encoding::Ansi, GbkChinese.data(), GbkChinese.size()), u"中文");
    for (int e = 0; e <= 6; e++)
        EXPECT_EQ(DecodeText(static_cast<Encoding>(e), "abc", 0), u"") << e;
    EXPECT_EQ(DecodeText(Encoding::None, "abc", 3), u"");
    EXPECT_EQ(DecodeText(static_cast<Encoding>(9), "abc", 3), u"");
}

// ASCII text skips the platform decoder: the same units at every vector level.
TEST(Decode, AsciiTextDecodesAsThePlatformDoes) {
    EXPECT_TRUE(fast_convert::AnsiKeepsAscii());
    std::string s;
    for (int i = 0; i < 300; i++) s += static_cast<char>(i % 128);
    for (int level = 0; level <= 1; level++) {
        simd_level::Cap(static_cast<simd_level::Level>(level));
        for (size_t n : {s.size(), size_t(17), size_t(15), size_t(1)}) {
            const int32_t len = static_cast<int32_t>(n);
            EXPECT_EQ(DecodeText(Encoding::Utf8, s.data(), n), Utf8ToWide(s.data(), len)) << n;
            EXPECT_EQ(DecodeText(Encoding::Ansi, s.data(), n), AnsiToWide(s.data(), len)) << n;
        }
        s += "\xE4\xB8\xAD";  // and a text that is not all ASCII
        EXPECT_EQ(DecodeText(Encoding::Utf8, s.data(), s.size()).back(), u'中');
    }
    simd_level::Cap(simd_level::Avx2);
}

TEST(Boundary, PrefixesEndOnCharacterBoundaries) {
    std::string u8 = "a" + Utf8Chinese;  // a E4 B8 AD E6 96 87
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8, u8.data(), 1), 1u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8, u8.data(), 2), 1u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8, u8.data(), 3), 1u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8Bom, u8.data(), 4), 4u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8, u8.data(), 6), 4u);
    std::string emoji = Bytes({0xF0, 0x9F, 0x98, 0x80});
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8, emoji.data(), 3), 3u);  // nothing before it: keep all
    std::string run = Bytes({'a', 0x80, 0x80, 0x80, 0x80});
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf8, run.data(), run.size()), run.size());

    EXPECT_EQ(CharBoundaryPrefix(Encoding::Ansi, GbkChinese.data(), 3), 2u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Ansi, GbkChinese.data(), 4), 4u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Ansi, GbkChinese.data(), 1), 1u);
    std::string mixed = Bytes({0x41, 0x81, 0x41, 0x81});  // A, 81 41, lead
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Ansi, mixed.data(), 4), 3u);
    std::string pair = Bytes({0x81, 0x81, 0x41});
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Ansi, pair.data(), 3), 3u);

    std::string le = Bytes({'a', 0, 0x3D, 0xD8, 0x00, 0xDE});
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf16Le, le.data(), 4), 2u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf16Le, le.data(), 5), 2u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf16Le, le.data(), 6), 6u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf16Le, le.data(), 3), 2u);
    std::string be = Bytes({0, 'a', 0xD8, 0x3D, 0xDE, 0x00});
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf16Be, be.data(), 4), 2u);
    EXPECT_EQ(CharBoundaryPrefix(Encoding::Utf16Be, be.data(), 6), 6u);
}

// Decoding in pieces split at those boundaries gives the same text as one
// conversion, also for malformed input, runs of lead bytes longer than a cut
// looks back included, and for ANSI text when the ANSI code page is UTF-8.
TEST(Boundary, PiecewiseDecodingMatchesWholeDecoding) {
    const unsigned char alphabet[] = {'a', '\n', 0x00, 0x80, 0x81, 0xA1, 0xBF, 0xC2, 0xD6, 0xE4, 0xB8,
                                      0xAD, 0xED, 0xF0, 0x9F, 0x98, 0xF4, 0xFE, 0xFF, 0x40, 0x7F};
    std::mt19937 rng(3);
    std::vector<std::string> texts;
    for (int round = 0; round < 300; round++) {
        std::string s(1 + rng() % 40, '\0');
        for (char& c : s) c = static_cast<char>(alphabet[rng() % sizeof alphabet]);
        texts.push_back(s);
    }
    for (const std::string run : {"\xE0", "\xF0", "\xE4\xB8", "\xF0\x9F\x98", "\xE0\xC3"}) {
        std::string s = "ab\xE4\xB8\xAD";
        while (s.size() < 150) s += run;
        texts.push_back(s + "\r" + run);
    }
    for (bool utf8Ansi : {false, true}) {
        testfiles::AnsiCodePageUtf8 codePage(utf8Ansi);
        if (!codePage.ok()) continue;
        for (const std::string& s : texts)
            for (Encoding e : {Encoding::Utf8, Encoding::Ansi, Encoding::Utf16Le, Encoding::Utf16Be}) {
                std::u16string whole = DecodeText(e, s.data(), s.size());
                for (size_t piece = 8; piece <= s.size(); piece++)
                    ASSERT_EQ(DecodeTextInPieces(e, s.data(), s.size(), piece), whole)
                        << testing::PrintToString(s) << " piece " << piece << " encoding " << static_cast<int>(e)
                        << (utf8Ansi ? " ANSI code page UTF-8" : "");
            }
    }
}

// Wide input converted in pieces (as above 2^28 units) gives the same bytes;
// a surrogate pair across a piece end stays whole.
TEST(Boundary, WidePiecesMatchWholeConversion) {
    const char16_t alphabet[] = {u'a', u'中', 0xD83D, 0xDE00, 0xDC00, 0x00C0, u'\n', 0};
    std::mt19937 rng(4);
    for (int round = 0; round < 300; round++) {
        std::u16string s(1 + rng() % 30, u'a');
        for (char16_t& c : s) c = alphabet[rng() % 8];
        int32_t len = static_cast<int32_t>(s.size());
        std::string utf8 = WideToUtf8(s.data(), len), ansi = WideToAnsi(s.data(), len);
        for (size_t piece = 2; piece <= s.size(); piece++) {
            ASSERT_EQ(EncodeWideInPieces(Encoding::Utf8, s.data(), s.size(), piece), utf8);
            ASSERT_EQ(EncodeWideInPieces(Encoding::Ansi, s.data(), s.size(), piece), ansi);
        }
    }
    std::u16string pair = u"a\xD83D\xDE00";
    EXPECT_EQ(EncodeWideInPieces(Encoding::Utf8Bom, pair.data(), 3, 2), "a\xF0\x9F\x98\x80");
}

TEST(Paths, Utf8RoundTrip) {
    std::u16string path = u"/tmp/日志/a" + Units({0xD83D, 0xDE00, 0xD800}) + u".txt";
    std::string utf8 = PathToUtf8(path);
    EXPECT_EQ(utf8.substr(0, 5), "/tmp/");
    EXPECT_EQ(PathFromUtf8(utf8), path);
    EXPECT_EQ(PathFromUtf8("a\xFF" "b"), Units({'a', 0xFFFD, 'b'}));
    EXPECT_EQ(PathFromUtf8(Utf8Chinese), u"中文");
}
