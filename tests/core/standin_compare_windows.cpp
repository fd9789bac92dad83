// Compares the native conversion stand-in with the Windows conversions it
// replaces: every GBK code both ways, UTF-8 over all short inputs, and many
// random malformed inputs. Built only into the Windows core_tests.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/codepage_standin.h"
#include "core/gbk_table.h"
#include "core/platform.h"

namespace {

std::u16string PlatformToWide(UINT cp, const std::string& in) {
    int n = MultiByteToWideChar(cp, 0, in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::u16string out(n > 0 ? n : 0, u'\0');
    if (n > 0) MultiByteToWideChar(cp, 0, in.data(), static_cast<int>(in.size()), reinterpret_cast<wchar_t*>(&out[0]), n);
    return out;
}

std::string PlatformToMulti(UINT cp, const std::u16string& in) {
    int n = WideCharToMultiByte(cp, 0, reinterpret_cast<const wchar_t*>(in.data()), static_cast<int>(in.size()),
                                nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(cp, 0, reinterpret_cast<const wchar_t*>(in.data()), static_cast<int>(in.size()), &out[0],
                            n, nullptr, nullptr);
    return out;
}

template <class F>
std::u16string StandinToWide(F f, const std::string& in) {
    int n = f(in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::u16string out(n > 0 ? n : 0, u'\0');
    if (n > 0) {
        EXPECT_EQ(f(in.data(), static_cast<int>(in.size()), &out[0], n), n);
    }
    return out;
}

template <class F>
std::string StandinToMulti(F f, const std::u16string& in) {
    int n = f(in.data(), static_cast<int>(in.size()), nullptr, 0);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) {
        EXPECT_EQ(f(in.data(), static_cast<int>(in.size()), &out[0], n), n);
    }
    return out;
}

std::string Hex(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string h;
    for (unsigned char c : s) { h += d[c >> 4]; h += d[c & 15]; h += ' '; }
    return h;
}

std::string Hex(const std::u16string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string h;
    for (char16_t c : s) for (int k = 12; k >= 0; k -= 4) h += d[(c >> k) & 15];
    return h;
}

// Counts mismatches, reporting the first few.
struct Mismatches {
    int count = 0;
    template <class A, class B>
    void Check(const std::string& input, const A& want, const B& got) {
        if (want == got) return;
        if (++count <= 10) ADD_FAILURE() << "input " << input << ": platform " << Hex(want) << " stand-in " << Hex(got);
    }
};

const unsigned char Interesting[] = {0x00, 0x0A, 0x0D, 0x30, 0x3F, 0x40, 0x41, 0x7E, 0x7F, 0x80, 0x81, 0x8F, 0x90,
                                     0x9F, 0xA0, 0xA1, 0xAA, 0xB0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE4, 0xED,
                                     0xEF, 0xF0, 0xF4, 0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFE, 0xFF};

} // namespace

TEST(StandinCompare, ActiveCodePageIsGbk) {
    EXPECT_EQ(GetACP(), 936u) << "run the Windows tests with LANG=zh_CN.UTF-8";
    for (int b = 0; b < 256; b++)
        EXPECT_EQ(IsDBCSLeadByteEx(936, static_cast<BYTE>(b)) != FALSE, IsGbkLeadByte(static_cast<unsigned char>(b))) << b;
}

// 936, or the code page a run asks for (TOMEVIEW_ACP=65001 in scripts/test.sh).
TEST(StandinCompare, AnsiCodePageIsTheOneAsked) {
    const char* asked = std::getenv("TOMEVIEW_ACP");
    const UINT want = asked ? static_cast<UINT>(std::atoi(asked)) : 936u;
    EXPECT_EQ(GetACP(), want);
    EXPECT_EQ(platform::AnsiIsUtf8(), want == CP_UTF8);
}

TEST(StandinCompare, GbkDecodesEverySingleAndDoubleByteCodeAlike) {
    Mismatches bad;
    for (int b = 0; b < 256; b++) {
        std::string in(1, static_cast<char>(b));
        bad.Check(Hex(in), PlatformToWide(936, in), StandinToWide(standin::GbkToUtf16, in));
    }
    for (int lead = 0x80; lead < 0x100; lead++)
        for (int trail = 0; trail < 0x100; trail++) {
            std::string in{static_cast<char>(lead), static_cast<char>(trail)};
            bad.Check(Hex(in), PlatformToWide(936, in), StandinToWide(standin::GbkToUtf16, in));
        }
    EXPECT_EQ(bad.count, 0);
}

TEST(StandinCompare, GbkEncodesEveryUnitAlike) {
    Mismatches bad;
    for (int u = 0; u < 0x10000; u++) {
        std::u16string in(1, static_cast<char16_t>(u));
        bad.Check(Hex(in), PlatformToMulti(936, in), StandinToMulti(standin::Utf16ToGbk, in));
    }
    EXPECT_EQ(bad.count, 0);
}

TEST(StandinCompare, Utf8EncodesEveryUnitAndSurrogateMixAlike) {
    Mismatches bad;
    for (int u = 0; u < 0x10000; u++) {
        std::u16string in(1, static_cast<char16_t>(u));
        bad.Check(Hex(in), PlatformToMulti(CP_UTF8, in), StandinToMulti(standin::Utf16ToUtf8, in));
    }
    const char16_t units[] = {0x41, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xD83D, 0xDE00, 0x4E2D, 0xFFFD, 0x0000};
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; round++) {
        std::u16string in(1 + rng() % 8, u'\0');
        for (auto& c : in) c = units[rng() % (sizeof units / sizeof units[0])];
        bad.Check(Hex(in), PlatformToMulti(CP_UTF8, in), StandinToMulti(standin::Utf16ToUtf8, in));
        bad.Check(Hex(in), PlatformToMulti(936, in), StandinToMulti(standin::Utf16ToGbk, in));
    }
    EXPECT_EQ(bad.count, 0);
}

TEST(StandinCompare, Utf8DecodesShortInputsAlike) {
    Mismatches bad;
    for (int a = 0; a < 256; a++) {
        std::string one(1, static_cast<char>(a));
        bad.Check(Hex(one), PlatformToWide(CP_UTF8, one), StandinToWide(standin::Utf8ToUtf16, one));
        for (int b = 0; b < 256; b++) {
            std::string two{static_cast<char>(a), static_cast<char>(b)};
            bad.Check(Hex(two), PlatformToWide(CP_UTF8, two), StandinToWide(standin::Utf8ToUtf16, two));
        }
    }
    // Every lead byte with every second byte, and interesting third and fourth bytes.
    for (int a = 0xC0; a < 0x100; a++)
        for (int b = 0; b < 256; b++)
            for (unsigned char c : Interesting) {
                std::string three{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
                bad.Check(Hex(three), PlatformToWide(CP_UTF8, three), StandinToWide(standin::Utf8ToUtf16, three));
                if (a < 0xF0) continue;
                for (unsigned char d : {0x41, 0x80, 0xBF, 0xC0}) {
                    std::string four = three + static_cast<char>(d);
                    bad.Check(Hex(four), PlatformToWide(CP_UTF8, four), StandinToWide(standin::Utf8ToUtf16, four));
                }
            }
    EXPECT_EQ(bad.count, 0);
}

TEST(StandinCompare, RandomMalformedBytesDecodeAlike) {
    Mismatches bad;
    std::mt19937 rng(11);
    for (int round = 0; round < 40000; round++) {
        std::string in(1 + rng() % 12, '\0');
        for (auto& c : in) c = static_cast<char>(rng() % 3 == 0 ? rng() % 256 : Interesting[rng() % sizeof Interesting]);
        bad.Check(Hex(in), PlatformToWide(CP_UTF8, in), StandinToWide(standin::Utf8ToUtf16, in));
        bad.Check(Hex(in), PlatformToWide(936, in), StandinToWide(standin::GbkToUtf16, in));
    }
    EXPECT_EQ(bad.count, 0);
}

TEST(StandinCompare, NulTerminatedInputCountsAlike) {
    const char* bytes[] = {"a", "\xE4\xB8\xAD", "\xE4\xB8", "\x81", "\xD6\xD0\xCE\xC4"};
    for (const char* s : bytes) {
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0), standin::Utf8ToUtf16(s, -1, nullptr, 0)) << s;
        EXPECT_EQ(MultiByteToWideChar(936, 0, s, -1, nullptr, 0), standin::GbkToUtf16(s, -1, nullptr, 0)) << s;
    }
    const char16_t wide[] = {0x4E2D, 0xD800, 0x41, 0};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(wide), -1, nullptr, 0, nullptr, nullptr),
              standin::Utf16ToUtf8(wide, -1, nullptr, 0));
    EXPECT_EQ(WideCharToMultiByte(936, 0, reinterpret_cast<const wchar_t*>(wide), -1, nullptr, 0, nullptr, nullptr),
              standin::Utf16ToGbk(wide, -1, nullptr, 0));
}
#endif
