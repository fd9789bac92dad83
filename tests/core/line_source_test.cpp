// The scan's line source gives exactly the lines of the document's own
// retrieval, for every encoding, odd bytes, NULs, bounds and visiting order.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/text_document.h"
#include "search/line_source.h"
#include "tests/core/temp_text_file.h"

using namespace std::string_literals;

namespace {

// Compares every line in ascending, descending and a jumping order.
void ExpectSameLines(TextDocument& doc, const char* what) {
    SCOPED_TRACE(what);
    std::vector<std::u16string> want;
    for (uint64_t i = 0; i < doc.lineCount; ++i) want.push_back(doc.GetLineText(i));
    ASSERT_EQ(want.size(), doc.lineCount);
    {
        LineSource src(doc, true);
        for (uint64_t i = 0; i < doc.lineCount; ++i) {
            LineView v = src.Get(i);
            ASSERT_EQ(std::u16string(v.text, v.length), want[i]) << "forward line " << i;
        }
    }
    {
        LineSource src(doc, false);
        for (uint64_t i = doc.lineCount; i-- > 0;) {
            LineView v = src.Get(i);
            ASSERT_EQ(std::u16string(v.text, v.length), want[i]) << "backward line " << i;
        }
    }
    {
        LineSource src(doc, true);
        std::mt19937 rng(5);
        for (int r = 0; r < 300; ++r) {
            uint64_t i = rng() % doc.lineCount;
            LineView v = src.Get(i);
            ASSERT_EQ(std::u16string(v.text, v.length), want[i]) << "jump to line " << i;
        }
        EXPECT_EQ(src.Get(doc.lineCount).length, 0u);
    }
}

std::string RandomBytes(std::mt19937& rng, size_t n, bool withNul) {
    static const char pool[] = "ab Z9\r\n\r\n\t";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        unsigned r = rng() % 16;
        if (r < 8) s += pool[rng() % (sizeof pool - 1)];
        else if (r == 8 && withNul) s += '\0';
        else s += char(0x80 + rng() % 0x80);
    }
    return s;
}

std::string Utf16(const std::u16string& s, bool bigEndian) {
    std::string out;
    for (char16_t u : s) {
        char lo = char(u & 0xFF), hi = char(u >> 8);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

} // namespace

TEST(LineSource, Utf8TextWithEveryTerminator) {
    std::string text;
    for (int i = 0; i < 2500; ++i) {
        text += "行 " + std::to_string(i) + " 连接数据库超时 timeout \xC3\xA9 \xF0\x9F\x98\x80\t";
        text += (i % 4 == 0) ? "\r\n" : (i % 4 == 1) ? "\n" : (i % 4 == 2) ? "\r" : "\r\n\n";
    }
    TempTextFile a(text);
    ASSERT_TRUE(a.opened);
    ExpectSameLines(a.doc, "with final terminator");
    TempTextFile b(text + "last 中文");
    ASSERT_TRUE(b.opened);
    ExpectSameLines(b.doc, "without");
    TempTextFile c("\xEF\xBB\xBF" + text, Encoding::Utf8Bom);
    ASSERT_TRUE(c.opened);
    ExpectSameLines(c.doc, "with byte-order mark");
    TempTextFile e("");
    ASSERT_TRUE(e.opened);
    ExpectSameLines(e.doc, "empty");
}

TEST(LineSource, MalformedBytesAndNuls) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        const bool nul = seed % 2 == 0;
        TempTextFile f(RandomBytes(rng, 40000, nul));
        ASSERT_TRUE(f.opened);
        ExpectSameLines(f.doc, nul ? "utf-8 with nul" : "utf-8");
        TempTextFile g(RandomBytes(rng, 40000, nul), Encoding::Ansi);
        ASSERT_TRUE(g.opened);
        ExpectSameLines(g.doc, nul ? "ansi with nul" : "ansi");
    }
    // A NUL in a block that ends with a line end, and in one that does not.
    std::string withNul;
    for (int i = 0; i < 250; ++i) withNul += (i == 120 ? std::string("ab\0cd\n", 6) : "line\n");
    TempTextFile n1(withNul);
    ASSERT_TRUE(n1.opened);
    ExpectSameLines(n1.doc, "nul, block ends with LF");
    TempTextFile n2(withNul + "tail");
    ASSERT_TRUE(n2.opened);
    ExpectSameLines(n2.doc, "nul, last block without terminator");
}

TEST(LineSource, Utf16BothOrders) {
    std::u16string text = u"\uFEFF";
    for (int i = 0; i < 700; ++i) text += u"第" + std::u16string(1, char16_t(u'0' + i % 10)) + u"行 abc\r\n";
    text += u"x\0y\n"s.substr(0, 4);
    for (bool be : {false, true}) {
        TempTextFile f(Utf16(text, be) + "Q", be ? Encoding::Utf16Be : Encoding::Utf16Le);  // odd last byte
        ASSERT_TRUE(f.opened);
        ExpectSameLines(f.doc, be ? "utf-16 be" : "utf-16 le");
    }
}

TEST(LineSource, BoundedAndLargeBlocksAndChunks) {
    // Lines long enough that a block exceeds the fast path and the read bound.
    std::string big;
    for (int i = 0; i < 130; ++i) big += std::string(i == 50 ? (5 << 20) : 300, char('a' + i % 26)) + "\n";
    TempTextFile f(big);
    ASSERT_TRUE(f.opened);
    ExpectSameLines(f.doc, "block larger than the fast path");
    f.doc.maxBlockBytes = 1000;
    f.doc.ClearCache();
    ExpectSameLines(f.doc, "read bound cuts blocks");
    // Several chunks of many blocks, visited across chunk edges.
    std::string many;
    for (int i = 0; i < 60000; ++i) many += "entry " + std::to_string(i * 7919 % 100003) + " ok\n";
    TempTextFile g(many);
    ASSERT_TRUE(g.opened);
    ExpectSameLines(g.doc, "many chunks");
    // While the index is still being built the last block reads as empty.
    g.doc.indexing = true;
    g.doc.ClearCache();
    ExpectSameLines(g.doc, "indexing");
    g.doc.indexing = false;
    // A different encoding of the same family, as View as sets it.
    g.doc.encoding = Encoding::Ansi;
    g.doc.ClearCache();
    ExpectSameLines(g.doc, "viewed as ansi");
}
