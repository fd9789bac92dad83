// Save As conversion: round trips, marks, bounded streaming, failures.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <thread>

#include "core/platform.h"
#include "core/simd_level.h"
#include "core/text_document.h"
#include "output/convert.h"
#include "tests/core/test_files.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

struct Sample {
    const char* name;
    std::string utf8;
    std::u16string utf16;
    std::string gbk;
};

// The same text three ways; the GBK bytes are written out by hand.
std::vector<Sample> Samples() {
    return {
        {"ascii", "plain text\r\nsecond line\nthird\rlast", u"plain text\r\nsecond line\nthird\rlast",
         "plain text\r\nsecond line\nthird\rlast"},
        {"chinese", "\xE4\xB8\xAD\xE6\x96\x87\r\n\xE7\xAC\xAC\xE4\xBA\x8C\xE8\xA1\x8C\n",
         u"\u4E2D\u6587\r\n\u7B2C\u4E8C\u884C\n", "\xD6\xD0\xCE\xC4\r\n\xB5\xDA\xB6\xFE\xD0\xD0\n"},
        {"mixed", "log \xE6\x97\xA5\xE5\xBF\x97 ok\n\xE4\xB8\xAD a\tb\r\n",
         u"log \u65E5\u5FD7 ok\n\u4E2D a\tb\r\n", "log \xC8\xD5\xD6\xBE ok\n\xD6\xD0 a\tb\r\n"},
    };
}

std::string Utf16Bytes(const std::u16string& s, bool big) {
    std::string out;
    for (char16_t u : s) {
        char lo = char(u & 0xFF), hi = char(u >> 8);
        if (big) { out += hi; out += lo; } else { out += lo; out += hi; }
    }
    return out;
}

std::string Encode(const Sample& s, Encoding e, bool mark) {
    std::string body;
    switch (e) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8: body = s.utf8; break;
    case Encoding::Utf16Le: body = Utf16Bytes(s.utf16, false); break;
    case Encoding::Utf16Be: body = Utf16Bytes(s.utf16, true); break;
    default: body = s.gbk; break;
    }
    return (mark ? TargetMark(e) : std::string()) + body;
}

const Encoding kTargets[] = {Encoding::Ansi, Encoding::Utf8Bom, Encoding::Utf16Le, Encoding::Utf16Be};

const char* Name(Encoding e) {
    switch (e) {
    case Encoding::Ansi: return "Ansi";
    case Encoding::Utf8Bom: return "Utf8Bom";
    case Encoding::Utf16Le: return "Utf16Le";
    case Encoding::Utf16Be: return "Utf16Be";
    case Encoding::Utf8: return "Utf8";
    default: return "None";
    }
}

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tv_convert_" + std::to_string(std::rand()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    static std::u16string U(const fs::path& p) { return PathFromUtf8(p.u8string()); }

    static void Write(const fs::path& p, const std::string& bytes) {
        std::ofstream f(p, std::ios::binary);
        f.write(bytes.data(), std::streamsize(bytes.size()));
    }
    static std::string Read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().u8string());
        return names;
    }

    // Opens source bytes in encoding e and converts them to target.
    std::string Convert(const std::string& bytes, Encoding e, Encoding target, bool mark,
                        size_t limit = MaxBlockBytes) {
        fs::path src = dir / "src.txt", dst = dir / "dst.txt";
        Write(src, bytes);
        TextDocument doc;
        EXPECT_TRUE(doc.Open(U(src), e));
        EXPECT_TRUE(ConvertDocument(doc, U(dst), mark, target, false, limit));
        doc.Close();
        return Read(dst);
    }

    fs::path dir;
};

TEST_F(ConvertTest, RoundTripsEveryPairWithAndWithoutMarks) {
    for (const Sample& s : Samples()) {
        for (Encoding from : kTargets) {
            for (bool fromMark : {false, true}) {
                if (from == Encoding::Ansi && fromMark) continue;
                Encoding opened = from;
                if (from == Encoding::Utf8Bom && !fromMark) opened = Encoding::Utf8;
                for (Encoding to : kTargets) {
                    for (bool toMark : {false, true}) {
                        SCOPED_TRACE(std::string(s.name) + " " + Name(from) + (fromMark ? "+mark" : "") +
                                     " -> " + Name(to) + (toMark ? "+mark" : ""));
                        std::string got = Convert(Encode(s, from, fromMark), opened, to, toMark);
                        EXPECT_EQ(got, Encode(s, to, toMark && to != Encoding::Ansi));
                    }
                }
            }
        }
    }
}

TEST_F(ConvertTest, DetectedFilesConvertByteForByte) {
    // Detection instead of a forced encoding, as the program opens files.
    const Sample s = Samples()[2];
    struct Case { std::string bytes; Encoding expected; };
    std::vector<Case> cases = {{Encode(s, Encoding::Utf8Bom, true), Encoding::Utf8Bom},
                               {s.utf8, Encoding::Utf8},
                               {Encode(s, Encoding::Utf16Le, true), Encoding::Utf16Le},
                               {Encode(s, Encoding::Utf16Be, true), Encoding::Utf16Be},
                               {s.gbk, Encoding::Ansi}};
    for (const Case& c : cases) {
        for (Encoding to : kTargets) {
            SCOPED_TRACE(std::string(Name(c.expected)) + " -> " + Name(to));
            EXPECT_EQ(Convert(c.bytes, Encoding::None, to, true), Encode(s, to, to != Encoding::Ansi));
        }
    }
}

TEST_F(ConvertTest, GbkSurvivesAnsiUtf8Utf16Ansi) {
    std::string gbk;
    for (int i = 0; i < 250; ++i) gbk += Samples()[1].gbk + Samples()[2].gbk;
    fs::path a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt", d = dir / "d.txt";
    Write(a, gbk);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(a), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::Ansi);
    ASSERT_TRUE(doc.ConvertToFile(U(b), true, Encoding::Utf8Bom));
    ASSERT_TRUE(doc.Open(U(b), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::Utf8Bom);
    ASSERT_TRUE(doc.ConvertToFile(U(c), true, Encoding::Utf16Le));
    ASSERT_TRUE(doc.Open(U(c), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::Utf16Le);
    ASSERT_TRUE(doc.ConvertToFile(U(d), false, Encoding::Ansi));
    doc.Close();
    EXPECT_EQ(Read(d), gbk);
}

TEST_F(ConvertTest, SourceMarkIsWrittenOnceOrNotAtAll) {
    const Sample s = Samples()[1];
    // Same encoding, mark dropped: the source's mark must not survive as text.
    EXPECT_EQ(Convert(Encode(s, Encoding::Utf8Bom, true), Encoding::Utf8Bom, Encoding::Utf8Bom, false), s.utf8);
    EXPECT_EQ(Convert(Encode(s, Encoding::Utf16Le, true), Encoding::Utf16Le, Encoding::Utf16Le, false),
              Utf16Bytes(s.utf16, false));
    // Detected UTF-8 with a mark, viewed as UTF-8 without one: still one mark.
    EXPECT_EQ(Convert(Encode(s, Encoding::Utf8Bom, true), Encoding::Utf8, Encoding::Utf16Be, true),
              Encode(s, Encoding::Utf16Be, true));
    // A file of nothing but a mark.
    EXPECT_EQ(Convert("\xFF\xFE", Encoding::Utf16Le, Encoding::Utf8Bom, true), "\xEF\xBB\xBF");
    EXPECT_EQ(Convert("\xFF\xFE", Encoding::Utf16Le, Encoding::Utf8Bom, false), "");
    // FF FE read as big-endian is U+FFFE, text and not a mark.
    EXPECT_EQ(Convert("\xFF\xFE" "a\0"s, Encoding::Utf16Le, Encoding::Utf16Le, false), "a\0"s);
    EXPECT_EQ(Convert("\xFF\xFE\0a"s, Encoding::Utf16Be, Encoding::Utf8Bom, false), "\xEF\xBF\xBE" "a");
    // Only the leading U+FEFF is a mark; one later in the text stays.
    EXPECT_EQ(Convert("\xEF\xBB\xBFx\n\xEF\xBB\xBF", Encoding::Utf8Bom, Encoding::Utf16Le, false),
              "x\0\n\0\xFF\xFE"s);
}

TEST_F(ConvertTest, ChunkTableEdgeCases) {
    // Odd final byte: kept when copied as is, dropped when swapped.
    EXPECT_EQ(Convert("a\0b\0c"s, Encoding::Utf16Le, Encoding::Utf16Le, false), "a\0b\0c"s);
    EXPECT_EQ(Convert("\0a\0b\x01"s, Encoding::Utf16Be, Encoding::Utf16Le, false), "a\0b\0"s);
    // ANSI to ANSI "with a mark" is a plain copy.
    EXPECT_EQ(Convert(Samples()[2].gbk, Encoding::Ansi, Encoding::Ansi, true), Samples()[2].gbk);
    // UTF-8 without a mark, mark requested: EF BB BF then the bytes.
    EXPECT_EQ(Convert(Samples()[2].utf8, Encoding::Utf8, Encoding::Utf8, true), "\xEF\xBB\xBF" + Samples()[2].utf8);
    // Supplementary characters survive both directions.
    std::string emoji = "\xF0\x9F\x98\x80\n\xF0\xA0\x80\x80";
    std::string le = Convert(emoji, Encoding::Utf8, Encoding::Utf16Le, false);
    EXPECT_EQ(le, "\x3D\xD8\x00\xDE\n\0\x40\xD8\x00\xDC"s);
    EXPECT_EQ(Convert(le, Encoding::Utf16Le, Encoding::Utf8Bom, false), emoji);
    // An empty file converts to the mark alone.
    EXPECT_EQ(Convert("", Encoding::Ansi, Encoding::Utf16Le, true), "\xFF\xFE");
}

TEST_F(ConvertTest, BlockBoundariesOfExactHundredsAndMore) {
    std::string text;
    for (int i = 0; i < 100; ++i) text += "\xE8\xA1\x8C" + std::to_string(i) + "\n";
    TextDocument doc;
    fs::path src = dir / "h.txt";
    Write(src, text);
    ASSERT_TRUE(doc.Open(U(src), Encoding::Utf8));
    EXPECT_EQ(doc.lineIndex.size(), 2u);  // the last block is empty
    doc.Close();
    std::u16string wide;
    for (int i = 0; i < 100; ++i) {
        wide += u"\u884C";
        for (char c : std::to_string(i)) wide += char16_t(c);
        wide += u"\n";
    }
    EXPECT_EQ(Convert(text, Encoding::Utf8, Encoding::Utf16Be, false), Utf16Bytes(wide, true));
    text += text + text + "tail";
    std::u16string wide3 = wide + wide + wide + u"tail";
    EXPECT_EQ(Convert(text, Encoding::Utf8, Encoding::Utf16Le, true), "\xFF\xFE" + Utf16Bytes(wide3, false));
}

// Long lines read in small bounded pieces must give the same bytes as whole blocks.
TEST_F(ConvertTest, BoundedPiecesMatchWholeBlocks) {
    std::u16string line;
    for (int i = 0; i < 1200; ++i) {
        line += u"ab\u4E2D\u6587";
        if (i % 7 == 0) line += u"\U0001F600";
        if (i % 11 == 0) line += u"\u00E9x";
    }
    Sample big{"big", "", line + u"\r\n" + line, ""};
    big.utf8 = WideToUtf8(big.utf16.data(), int32_t(big.utf16.size()));
    std::u16string gbkText;
    for (int i = 0; i < 4000; ++i) gbkText += u"x\u4E2D\u6587yz";
    std::string gbk = WideToAnsi(gbkText.data(), int32_t(gbkText.size()));
    ASSERT_EQ(AnsiToWide(gbk.data(), int32_t(gbk.size())), gbkText);

    for (size_t limit : {size_t(8), size_t(9), size_t(13), size_t(1000), size_t(4099)}) {
        for (Encoding from : {Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be}) {
            for (Encoding to : kTargets) {
                SCOPED_TRACE(std::to_string(limit) + " " + Name(from) + " -> " + Name(to));
                std::string source = Encode(big, from, true);
                EXPECT_EQ(Convert(source, from, to, true, limit), Convert(source, from, to, true));
            }
        }
        for (Encoding to : kTargets) {
            SCOPED_TRACE(std::to_string(limit) + " Ansi -> " + Name(to));
            EXPECT_EQ(Convert(gbk, Encoding::Ansi, to, false, limit), Convert(gbk, Encoding::Ansi, to, false));
        }
    }
    // Malformed input splits the same way too, runs of lead bytes included,
    // and ANSI text when the ANSI code page is UTF-8.
    std::string bad = "\xE4\xB8" "a\xFF\xC3\n\xE4\xB8\xAD\xE4";
    for (int i = 0; i < 6; ++i) bad += bad;
    bad += "x" + std::string(100, '\xE0') + "\xE4\xB8\xAD" + std::string(90, '\xF0') + "\xC3z\xE0";
    std::string huge(ConvertPieceBytes - 100, 'a');  // cut in ConvertBytes' own pieces
    huge += std::string(200, '\xE0') + "b";
    for (bool utf8Ansi : {false, true}) {
        testfiles::AnsiCodePageUtf8 codePage(utf8Ansi);
        if (!codePage.ok()) continue;
        for (Encoding from : {Encoding::Utf8, Encoding::Ansi}) {
            if (from == Encoding::Ansi && !utf8Ansi) continue;
            for (size_t limit : {size_t(8), size_t(11), size_t(64), size_t(100)})
                EXPECT_EQ(Convert(bad, from, Encoding::Utf16Le, false, limit), Convert(bad, from, Encoding::Utf16Le, false))
                    << Name(from) << " " << limit;
            std::string out, copy = huge;
            ConvertBytes(from, Encoding::Utf16Le, &copy[0], copy.size(), [&](const char* p, size_t n) { out.append(p, n); return true; });
            const std::u16string whole = from == Encoding::Ansi ? AnsiToWide(huge.data(), int32_t(huge.size()))
                                                                : Utf8ToWide(huge.data(), int32_t(huge.size()));
            EXPECT_TRUE(out == Utf16Bytes(whole, false)) << Name(from) << ": " << out.size() << " bytes";
        }
    }
}

// The fast paths give the bytes of the plain platform conversion for any
// mix of ASCII (runs long enough to end a stretch too), NULs, well-formed,
// cut-off and never well-formed UTF-8, GBK pairs with ASCII-range trail
// bytes, lone lead bytes and lone surrogates, for every source and target.
TEST_F(ConvertTest, FastPathsGiveThePlatformBytes) {
    const std::vector<std::string> atoms = {
        "a", "\n", "\0"s, std::string(17, 'x'), "x\0"s, std::string(40, '\0') + "y",
        "\xE4\xB8\xAD", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xEF\xBF\xBE",
        "\xE4\xB8", "\xF0\x9F\x98", "\xE4", "\xC3", "\xF0", "\xF4",
        "\x80", "\xBF", "\xC0\xAF", "\xED\xA0\x80", "\xE0\x80\x80", "\xF4\x90\x80\x80", "\xF5", "\xFF",
        "\xD6\xD0", "\x81\x40", "\x81\x7E", "\x81\x7F", "\x81", "\xFE", "\xA1\xA1",
        "\x3D\xD8", "\x00\xDC"s, "\xD8\x3D", "\xDC\x00"s};
    std::mt19937 rng(20261209);
    std::vector<std::string> texts;
    for (int round = 0; round < 1000; ++round) {
        std::string t;
        for (int k = int(rng() % 48); k > 0; --k) t += atoms[rng() % atoms.size()];
        texts.push_back(t);
    }
    for (int round = 0; round < 60; ++round) {
        std::string t(rng() % 200, '\0');
        for (char& c : t) c = char(rng() % 3 ? rng() % 128 : rng() % 256);
        texts.push_back(t);
    }
    const Encoding sources[] = {Encoding::Utf8, Encoding::Ansi, Encoding::Utf16Le, Encoding::Utf16Be};
    size_t failures = 0;
    // The last round with the ANSI code page as UTF-8 (natively; under Windows the process's own).
    for (int level = simd_level::Scalar; level <= simd_level::Sse2 + 1; level++) {
        testfiles::AnsiCodePageUtf8 codePage(level > simd_level::Sse2);
        if (level > simd_level::Sse2 && !codePage.ok()) break;
        simd_level::Cap(static_cast<simd_level::Level>(std::min<int>(level, simd_level::Sse2)));
        for (const std::string& t : texts) {
            for (Encoding from : sources) {
                for (Encoding to : kTargets) {
                    std::string a = t, b = t, fast, plain;
                    ConvertBytes(from, to, &a[0], a.size(), [&](const char* p, size_t n) { fast.append(p, n); return true; });
                    ConvertBytesPlain(from, to, &b[0], b.size(), [&](const char* p, size_t n) { plain.append(p, n); return true; });
                    if (fast == plain || ++failures > 5) continue;
                    std::string hex;
                    for (unsigned char c : t) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15], hex += ' ';
                    ADD_FAILURE() << Name(from) << " -> " << Name(to) << " level " << level << ": " << hex;
                }
            }
        }
    }
    simd_level::Cap(simd_level::Avx2);
}

TEST_F(ConvertTest, BufferGrowsToTheBoundAndNotBeyond) {
    BlockConverter conv(Encoding::Utf8, Encoding::Utf16Le, 64);
    std::string data(1000, 'x');
    size_t pos = 0, largestRead = 0;
    ByteSource source = [&](char* b, size_t n) {
        largestRead = std::max(largestRead, n);
        n = std::min(n, data.size() - pos);
        std::memcpy(b, data.data() + pos, n);
        pos += n;
        return n;
    };
    std::string out;
    ByteSink sink = [&](const char* b, size_t n) { out.append(b, n); return true; };
    ASSERT_TRUE(conv.Convert(source, 40, false, sink));
    EXPECT_EQ(conv.BufferSize(), 64u);
    ASSERT_TRUE(conv.Convert(source, 960, false, sink));
    EXPECT_EQ(conv.BufferSize(), 64u);
    EXPECT_LE(largestRead, 64u);
    EXPECT_EQ(out.size(), 2000u);
    // A short read converts what came and reports success.
    pos = 990;
    out.clear();
    ASSERT_TRUE(conv.Convert(source, 500, false, sink));
    EXPECT_EQ(out.size(), 20u);
    // A failing sink fails the block.
    pos = 0;
    ByteSink full = [](const char*, size_t) { return false; };
    EXPECT_FALSE(conv.Convert(source, 100, false, full));
}

TEST_F(ConvertTest, TemporaryFileBesideTargetBecomesTarget) {
    EXPECT_EQ(TemporaryName(u"dir/out.txt", 4294967295u), u"dir/out.txt4294967295.tmp");
    EXPECT_EQ(TemporaryName(u"out.txt", 0), u"out.txt0.tmp");

    // Watch the folder while a large conversion runs.
    std::string text;
    for (int i = 0; i < 400000; ++i) text += "line \xE4\xB8\xAD\xE6\x96\x87 number " + std::to_string(i) + "\n";
    fs::path src = dir / "in.log", dst = dir / "out.txt";
    Write(src, text);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(src), Encoding::Utf8));
    std::atomic<bool> done{false};
    std::string seen;
    std::thread watcher([&] {
        while (!done && seen.empty()) {
            std::error_code ec;
            for (auto& e : fs::directory_iterator(dir, ec)) {
                std::string n = e.path().filename().u8string();
                if (n != "in.log" && n != "out.txt") seen = n;
            }
        }
    });
    uint32_t before = platform::TickCount();
    bool ok = ConvertDocument(doc, U(dst), true, Encoding::Utf16Be, false);
    uint32_t after = platform::TickCount();
    done = true;
    watcher.join();
    doc.Close();
    ASSERT_TRUE(ok);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(seen, m, std::regex("out\\.txt([1-9][0-9]*|0)\\.tmp"))) << seen;
    uint32_t ticks = uint32_t(std::stoul(m[1].str()));
    EXPECT_LE(ticks - before, after - before);
    EXPECT_EQ(Listing().size(), 2u);
    EXPECT_EQ(fs::file_size(dst), 2 + 2 * Utf8ToWide(text.data(), int32_t(text.size())).size());
}

// The progress hook may read the document elsewhere between reads of the
// save, and may cancel it: the copy stays exact, a cancelled one leaves nothing.
TEST_F(ConvertTest, ProgressHookMayMoveTheStreamOrCancel) {
    std::string text;
    for (int i = 0; i < 700000; ++i) text += "row " + std::to_string(i) + " \xE4\xB8\xAD\n";
    fs::path src = dir / "p.txt", dst = dir / "out.txt";
    Write(src, text);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(src), Encoding::Utf8));
    int calls = 0;
    ConvertProgress wander = [&](int64_t, int64_t total) {
        char junk[64];
        EXPECT_TRUE(doc.file.Seek(total / (++calls + 1)));
        doc.file.Read(junk, sizeof junk);
        return true;
    };
    ASSERT_TRUE(ConvertDocument(doc, U(dst), false, Encoding::Utf16Le, false, MaxBlockBytes, wander));
    EXPECT_GE(calls, 3);
    EXPECT_TRUE(Read(dst) == Utf16Bytes(Utf8ToWide(text.data(), int32_t(text.size())), false));
    calls = 0;
    EXPECT_FALSE(ConvertDocument(doc, U(dir / "c.txt"), true, Encoding::Ansi, false, MaxBlockBytes,
                                 [&](int64_t, int64_t) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Listing().size(), 2u);
}

TEST_F(ConvertTest, FailuresLeaveTargetAndNoTemporaryFile) {
    fs::path src = dir / "src.txt";
    Write(src, Samples()[2].gbk);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(src), Encoding::Ansi));

    // Missing folder: the temporary file cannot be created.
    EXPECT_FALSE(ConvertDocument(doc, U(dir / "missing" / "x.txt"), true, Encoding::Utf8Bom, false));

    // A folder as the target.
    fs::create_directory(dir / "folder");
    Write(dir / "folder" / "inside.txt", "keep");
    EXPECT_FALSE(ConvertDocument(doc, U(dir / "folder"), true, Encoding::Utf8Bom, false));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(Read(dir / "folder" / "inside.txt"), "keep");

    std::vector<std::string> names = Listing();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder", "src.txt"}));

    // No open file: no empty copy reported as good.
    doc.Close();
    TextDocument empty;
    EXPECT_FALSE(ConvertDocument(empty, U(dir / "e.txt"), false, Encoding::Utf8Bom, false));
    EXPECT_FALSE(fs::exists(dir / "e.txt"));
}

TEST_F(ConvertTest, SaveOntoTheOpenFileReplacesItWhole) {
    std::string text;
    for (int i = 0; i < 1234; ++i) text += Samples()[1].gbk + Samples()[2].gbk;
    fs::path src = dir / "self.txt";
    Write(src, text);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(src), Encoding::Ansi));
    EXPECT_TRUE(SameFile(U(src), U(dir / "." / "self.txt")));
    EXPECT_FALSE(SameFile(U(src), U(dir / "other.txt")));
    ASSERT_TRUE(ConvertDocument(doc, U(src), true, Encoding::Utf16Le, true, 4096));
    EXPECT_FALSE(doc.file.IsOpen());
    std::u16string wide = AnsiToWide(text.data(), int32_t(text.size()));
    EXPECT_EQ(Read(src), "\xFF\xFE" + Utf16Bytes(wide, false));
    ASSERT_TRUE(doc.Open(U(src), Encoding::Utf16Le));
    EXPECT_EQ(doc.lineCount, 1234u * 4 + 1);
    EXPECT_EQ(Listing().size(), 1u);

    // Onto itself, all the file holds when saving is converted, lines
    // appended since the open included.
    const std::string old = "old 1\nold 2\n", added = "new 3\nnew 4\n";
    auto reopen = [&] {
        Write(src, old);
        ASSERT_TRUE(doc.Open(U(src), Encoding::Ansi));
    };
    reopen();
    Write(src, old + added);
    ASSERT_TRUE(ConvertDocument(doc, U(src), false, Encoding::Utf16Le, true, 8));
    EXPECT_EQ(Read(src), Utf16Bytes(u"old 1\nold 2\nnew 3\nnew 4\n", false));

    // Shrunk, rewritten or replaced since the open, or appended to while it
    // is saved: the save fails and the file stays as it is.
    for (const std::string& now : {"old 1\n"s, "OLD 1\nOLD 2\nnew 3\n"s, old}) {
        reopen();
        Write(src, now);
        ConvertProgress append = [&](int64_t, int64_t) {
            if (Read(src) == old) Write(src, old + added);
            return true;
        };
        EXPECT_FALSE(ConvertDocument(doc, U(src), false, Encoding::Utf16Le, true, 8, append)) << now;
        EXPECT_EQ(Read(src), now == old ? old + added : now);
    }
    reopen();
    Write(dir / "new.txt", added);
    std::error_code ec;
    fs::rename(dir / "new.txt", src, ec);  // not while it is open on Windows
    EXPECT_TRUE(ec || !ConvertDocument(doc, U(src), false, Encoding::Utf16Le, true));
    EXPECT_EQ(Read(src), ec ? old : added);
    doc.Close();
    fs::remove(dir / "new.txt", ec);
    EXPECT_EQ(Listing().size(), 1u);

    // The name replaced: a symbolic link's file, a hard link's own name.
    fs::create_hard_link(src, dir / "hard.txt", ec);
    EXPECT_NE(FinalPath(U(dir / "hard.txt")), FinalPath(U(src)));
    fs::create_symlink(dir / "hard.txt", dir / "soft.txt", ec);
    EXPECT_TRUE(ec || FinalPath(U(dir / "." / "soft.txt")) == FinalPath(U(dir / "hard.txt")));
    EXPECT_EQ(FinalPath(U(dir / "other.txt")), u"");
}

// The converted file takes the target's name in one step: when that step
// fails, the old file is still under its name, and no temporary file stays.
TEST_F(ConvertTest, FailedReplaceKeepsTheOldFile) {
    const std::string text = Samples()[1].gbk;
    fs::path src = dir / "self.txt", other = dir / "other.txt";
    Write(src, text);
    Write(other, "old target");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(src), Encoding::Ansi));
    platform::moveFault = [](const std::u16string&, const std::u16string&) { return true; };
    const bool toOther = ConvertDocument(doc, U(other), true, Encoding::Utf16Le, false);
    const bool ontoSource = ConvertDocument(doc, U(src), true, Encoding::Utf16Le, true);
    platform::moveFault = nullptr;
    EXPECT_FALSE(toOther);
    EXPECT_FALSE(ontoSource);
    EXPECT_EQ(Read(other), "old target");
    EXPECT_EQ(Read(src), text);
    EXPECT_EQ(Listing().size(), 2u);
    // Without the fault the same calls replace both.
    ASSERT_TRUE(doc.Open(U(src), Encoding::Ansi));
    EXPECT_TRUE(ConvertDocument(doc, U(other), false, Encoding::Utf8Bom, false));
    EXPECT_TRUE(ConvertDocument(doc, U(src), false, Encoding::Utf8Bom, true));
    EXPECT_EQ(Read(other), Samples()[1].utf8);
    EXPECT_EQ(Read(src), Samples()[1].utf8);
    EXPECT_EQ(Listing().size(), 2u);
}

// The e2e script mounts a tiny and a read-only file system and names them here.
TEST_F(ConvertTest, FullOrReadOnlyFileSystemKeepsTarget) {
    const char* full = std::getenv("TOMEVIEW_FULL_DIR");
    const char* ro = std::getenv("TOMEVIEW_READONLY_DIR");
    if (!full && !ro) GTEST_SKIP() << "set by tests/e2e/save_failures.sh";
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "0123456789 abcdefghij " + std::to_string(i) + "\n";
    fs::path src = dir / "big.txt";
    Write(src, text);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(U(src), Encoding::Ansi));
    for (const char* d : {full, ro}) {
        if (!d) continue;
        SCOPED_TRACE(d);
        fs::path target = fs::u8path(d) / "target.txt";
        std::string before = Read(target);
        ASSERT_FALSE(before.empty()) << "the script puts a target there";
        size_t entries = 0;
        for (auto& e : fs::directory_iterator(fs::u8path(d))) { (void)e; ++entries; }
        EXPECT_FALSE(ConvertDocument(doc, U(target), true, Encoding::Utf16Le, false));
        EXPECT_EQ(Read(target), before);
        size_t after = 0;
        for (auto& e : fs::directory_iterator(fs::u8path(d))) { (void)e; ++after; }
        EXPECT_EQ(after, entries) << "temporary file left behind";
    }
}

}  // namespace
