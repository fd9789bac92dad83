#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/follow_check.h"
#include "core/line_scan.h"
#include "core/simd_level.h"
#include "core/text_document.h"
#include "tests/core/reference_models.h"
#include "tests/core/test_files.h"

using testfiles::TempFile;

namespace {

std::vector<int64_t> IndexOf(const TextDocument& doc) {
    std::vector<int64_t> v;
    for (size_t i = 0; i < doc.lineIndex.size(); i++) v.push_back(doc.lineIndex[i]);
    return v;
}

std::string ToUtf16(const std::string& ascii, bool bigEndian) {
    std::string out;
    for (char c : ascii) {
        if (bigEndian) { out += '\0'; out += c; }
        else { out += c; out += '\0'; }
    }
    return out;
}

void ExpectMatchesModel(const std::string& bytes, Encoding enc, size_t bufferSize) {
    TempFile f(bytes);
    ASSERT_TRUE(f.ok());
    TextDocument doc;
    doc.scanBufferSize = bufferSize;
    ASSERT_TRUE(doc.Open(f.path(), enc));
    model::ScanResult want = model::Scan(bytes, IsUtf16(enc) ? 2 : 1, enc == Encoding::Utf16Be, bufferSize);
    EXPECT_EQ(doc.lineCount, want.lineCount) << "buffer " << bufferSize;
    EXPECT_EQ(doc.maxLineLength, want.maxLineLength) << "buffer " << bufferSize;
    EXPECT_EQ(IndexOf(doc), want.index) << "buffer " << bufferSize;
}

} // namespace

TEST(Scan, LineRules) {
    struct Case { std::string bytes; uint64_t lines; uint64_t longest; std::vector<std::u16string> text; } cases[] = {
        {"", 1, 0, {u""}},
        {"a", 1, 1, {u"a"}},
        {"a\n", 2, 2, {u"a\n", u""}},
        {"a\r\nb", 2, 3, {u"a\r\n", u"b"}},
        {"a\r\rb", 3, 2, {u"a\r", u"\r", u"b"}},
        {"\n\r", 3, 1, {u"\n", u"\r", u""}},
        {"\r", 2, 1, {u"\r", u""}},
        {"\r\r\n\n", 4, 2, {u"\r", u"\r\n", u"\n", u""}},
        {"abc\rdef\r\n", 3, 5, {u"abc\r", u"def\r\n", u""}},
    };
    for (const Case& c : cases) {
        TempFile f(c.bytes);
        TextDocument doc;
        ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
        EXPECT_EQ(doc.lineCount, c.lines) << testing::PrintToString(c.bytes);
        EXPECT_EQ(doc.maxLineLength, c.longest) << testing::PrintToString(c.bytes);
        EXPECT_EQ(IndexOf(doc), std::vector<int64_t>{0});
        for (size_t i = 0; i < c.text.size(); i++)
            EXPECT_EQ(doc.GetLineText(i), c.text[i]) << testing::PrintToString(c.bytes) << " line " << i;
    }
}

TEST(Scan, MarkCountsInLineZero) {
    TempFile f("\xEF\xBB\xBF" "ab\ncd");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::Utf8Bom);
    EXPECT_EQ(doc.detectedEncoding, Encoding::Utf8Bom);
    EXPECT_EQ(doc.lineCount, 2u);
    EXPECT_EQ(doc.maxLineLength, 6u);
    EXPECT_EQ(doc.fileSize, 8);
    EXPECT_EQ(doc.GetLineText(0), u"\xFEFF" u"ab\n");
    // The mark is read from the bytes, not taken from the encoding.
    EXPECT_TRUE(doc.hasMark);
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Le));
    EXPECT_FALSE(doc.hasMark);
    TempFile g("\xFF\xFE" "a\0");
    ASSERT_TRUE(doc.Open(g.path(), Encoding::Utf16Le));
    EXPECT_TRUE(doc.hasMark);
}

TEST(Scan, IndexEntries) {
    std::string hundred;
    for (int i = 0; i < 100; i++) hundred += "line " + std::to_string(i) + "\n";
    TempFile f(hundred);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.lineCount, 101u);
    EXPECT_EQ(IndexOf(doc), (std::vector<int64_t>{0, doc.fileSize}));
    // A stride of 0 stands for 100, in the index as in the reads.
    doc.indexStride = 0;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(IndexOf(doc), (std::vector<int64_t>{0, doc.fileSize}));
    EXPECT_EQ(doc.GetLineText(57), u"line 57\n");
    doc.indexStride = 100;

    std::string mixed;
    std::vector<int64_t> starts;
    for (int i = 0; i < 250; i++) {
        if (i % 100 == 0) starts.push_back(static_cast<int64_t>(mixed.size()));
        mixed += std::string(i % 7, 'x') + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    }
    ASSERT_TRUE(f.Write(mixed));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    EXPECT_EQ(doc.lineCount, 251u);
    EXPECT_EQ(IndexOf(doc), starts);

    // Offsets of 2-byte files are in bytes; 200 lone CRs end 200 lines.
    ASSERT_TRUE(f.Write(ToUtf16(std::string(200, '\r'), false)));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Le));
    EXPECT_EQ(doc.lineCount, 201u);
    EXPECT_EQ(IndexOf(doc), (std::vector<int64_t>{0, 200, 400}));
    EXPECT_EQ(doc.maxLineLength, 1u);
}

TEST(Scan, Utf16UnitsAndByteOrder) {
    std::string le = ToUtf16("ab\ncd\r\nef", false);
    std::string be = ToUtf16("ab\ncd\r\nef", true);
    TempFile f(le);
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Le));
    EXPECT_EQ(doc.lineCount, 3u);
    EXPECT_EQ(doc.maxLineLength, 4u);  // in 16-bit units
    EXPECT_EQ(doc.GetLineText(1), u"cd\r\n");
    // The same bytes read big-endian hold no line end: 0A 00 is U+0A00.
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Be));
    EXPECT_EQ(doc.lineCount, 1u);
    ASSERT_TRUE(f.Write(be));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Be));
    EXPECT_EQ(doc.lineCount, 3u);
    EXPECT_EQ(doc.GetLineText(2), u"ef");
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Utf16Le));
    EXPECT_EQ(doc.lineCount, 1u);
    // A mark is detected and the unit count of an odd file is rounded down.
    ASSERT_TRUE(f.Write("\xFF\xFE" + ToUtf16("a\n", false) + "\x0A"));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::Utf16Le);
    EXPECT_EQ(doc.lineCount, 2u);
    EXPECT_EQ(doc.maxLineLength, 3u);
}

// Every read size must give the results of the plain model, whatever falls
// on a read boundary (pending CR, CR LF split, odd bytes of 2-byte files).
TEST(Scan, ReadBoundariesMatchTheModel) {
    std::vector<std::string> texts = {"a\r\nb\r\rc\n\rd\r", "\r\n\r\n\n\r\r\r", "xyz"};
    std::string many;
    for (int i = 0; i < 230; i++) many += (i % 5 == 0 ? "\r" : i % 5 == 1 ? "\r\n" : "\n") + std::string(i % 4, 'q');
    texts.push_back(many);
    std::mt19937 rng(5);
    for (int r = 0; r < 4; r++) {
        std::string s(400 + rng() % 400, 'a');
        for (char& c : s) c = "ab\r\n"[rng() % 4];
        texts.push_back(s);
    }
    for (const std::string& t : texts) {
        for (size_t size = 1; size <= 70; size++) ExpectMatchesModel(t, Encoding::Ansi, size);
        std::string le = ToUtf16(t, false), be = ToUtf16(t, true);
        for (size_t size = 2; size <= 140; size += 2) {
            ExpectMatchesModel(le, Encoding::Utf16Le, size);
            ExpectMatchesModel(be, Encoding::Utf16Be, size);
        }
        ExpectMatchesModel(le + "\x0D", Encoding::Utf16Le, 3);  // odd reads drop a byte each
        ExpectMatchesModel(be, Encoding::Utf16Be, 7);
    }
}

// The same once with the program's real 20 MiB reads.
TEST(Scan, RealScanBufferBoundary) {
    const size_t B = ScanBufferSize;
    struct Case { std::string tail; uint64_t lines; uint64_t longest; std::u16string line1; } cases[] = {
        {"\r\ny", 2, B + 1, u"y"},       // CR LF split across the two reads
        {"\ry", 2, B, u"y"},              // CR alone at the end of the first read
        {"\r\rz\n", 4, B, u"\r"},         // CR, then CR at the start of the second read
    };
    std::string head(B - 1, 'x');
    TempFile f("");
    for (const Case& c : cases) {
        std::string bytes = head + c.tail;
        ASSERT_TRUE(f.Write(bytes));
        TextDocument doc;
        ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
        EXPECT_EQ(doc.scanBufferSize, B);
        EXPECT_EQ(doc.lineCount, c.lines) << testing::PrintToString(c.tail);
        EXPECT_EQ(doc.maxLineLength, c.longest) << testing::PrintToString(c.tail);
        EXPECT_EQ(doc.GetLineText(1), c.line1);
        model::ScanResult want = model::Scan(bytes, 1, false, B);
        EXPECT_EQ(doc.lineCount, want.lineCount);
        EXPECT_EQ(doc.maxLineLength, want.maxLineLength);
    }
}

TEST(Scan, ProgressSequence) {
    auto run = [](const std::string& bytes, size_t buffer) {
        TempFile f(bytes);
        TextDocument doc;
        doc.scanBufferSize = buffer;
        std::vector<int32_t> seen;
        doc.progress = [&](int32_t p) { seen.push_back(p); };
        EXPECT_TRUE(doc.Open(f.path(), Encoding::Ansi));
        return seen;
    };
    EXPECT_EQ(run("", 64), (std::vector<int32_t>{0, 100}));
    EXPECT_EQ(run(std::string(5 * 64, 'a'), 64), (std::vector<int32_t>{0, 0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(run("abcdefg", 3), (std::vector<int32_t>{0, 0, 42, 85, 100}));
    EXPECT_EQ(run("abc", 64), (std::vector<int32_t>{0, 0, 100}));
    std::vector<int32_t> fine = run(std::string(1000, '\n'), 1);
    ASSERT_EQ(fine.size(), 102u);  // 0, then every value 0..99 once, then 100
    EXPECT_EQ(fine.front(), 0);
    for (int i = 1; i <= 100; i++) EXPECT_EQ(fine[i], i - 1);
    EXPECT_EQ(fine.back(), 100);

    // Between the percentages every piece read is reported, with the lines so far.
    TempFile f(std::string(4 * ScanPieceSize, '\n'));
    TextDocument doc;
    std::vector<uint64_t> lines;
    doc.scanStep = [&] { lines.push_back(doc.lineCount); };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    EXPECT_EQ(lines, (std::vector<uint64_t>{1 + ScanPieceSize, 1 + 2 * ScanPieceSize, 1 + 3 * ScanPieceSize,
                                            1 + 4 * ScanPieceSize}));
}

// Painting during the scan reads complete blocks only; the block the scan is
// still filling reads as empty until it ends.
TEST(Scan, BlocksAreReadableWhileIndexing) {
    std::string bytes;
    for (int i = 0; i < 1000; i++) bytes += "line " + std::to_string(i) + "\n";
    TempFile f(bytes);
    TextDocument doc;
    doc.scanBufferSize = 700;
    int checks = 0;
    doc.progress = [&](int32_t p) {
        EXPECT_TRUE(doc.indexing);
        if (p == 100) return;
        size_t entries = doc.lineIndex.size();
        if (entries == 0) return;
        for (size_t j = 0; j + 1 < entries; j++) {
            std::string want = "line " + std::to_string(j * 100 + 57) + "\n";
            EXPECT_EQ(doc.GetLineText(j * 100 + 57), std::u16string(want.begin(), want.end()));
        }
        uint64_t filling = (entries - 1) * 100;
        if (filling < doc.lineCount) {
            EXPECT_EQ(doc.GetLineText(filling), u"");
        }
        checks++;
    };
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    EXPECT_GT(checks, 5);
    EXPECT_EQ(doc.GetLineText(999), u"line 999\n");
    EXPECT_EQ(doc.GetLineText(900), u"line 900\n");
}

TEST(Document, FailedOpenLeavesAnEmptyDocument) {
    TempFile f("a\nb\n");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.lineCount, 3u);
    EXPECT_FALSE(doc.Open(testfiles::UniquePath(u"缺失.txt"), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::None);
    EXPECT_EQ(doc.lineCount, 1u);
    EXPECT_TRUE(doc.lineIndex.empty());
    EXPECT_FALSE(doc.file.IsOpen());
    doc.ClearCache();
    EXPECT_EQ(doc.GetLineText(0), u"");
    // A forced encoding skips detection; a folder cannot be opened.
    EXPECT_FALSE(doc.Open(testfiles::TempDir(), Encoding::Ansi));
    EXPECT_EQ(doc.detectedEncoding, Encoding::Ansi);
    EXPECT_EQ(doc.lineCount, 1u);
    EXPECT_TRUE(doc.lineIndex.empty());
}

TEST(Document, CloseReleasesEverything) {
    TempFile f("a\nb\n");
    TextDocument doc;
    doc.progress = [](int32_t) {};
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.GetLineText(1), u"b\n");
    doc.Close();
    EXPECT_FALSE(doc.file.IsOpen());
    EXPECT_FALSE(static_cast<bool>(doc.progress));
    EXPECT_TRUE(doc.lineIndex.empty());
    EXPECT_EQ(doc.GetLineText(1), u"");
}

// The scanner on its own, on each vector path, against the model: line
// lengths around the 64-unit blocks, long lines among short ones, dense
// line ends, CR LF and lone CRs on every block and read boundary, index
// strides and the chunks of the index.
TEST(Scan, EveryVectorPathMatchesTheModel) {
    std::mt19937 rng(11);
    std::vector<std::string> texts;
    for (int r = 0; r < 24; r++) {
        std::string s;
        size_t size = 300 + rng() % 3000;
        int longLine = r % 4 == 0 ? 0 : static_cast<int>(rng() % 200);
        while (s.size() < size) {
            size_t len = r % 3 == 0 ? rng() % 5 : r % 3 == 1 ? 60 + rng() % 8 : rng() % 20;
            if (longLine && rng() % 40 == 0) len = rng() % longLine;
            s.append(len, 'a' + char(rng() % 3));
            s += rng() % 5 == 0 ? "\r" : rng() % 3 == 0 ? "\r\n" : "\n";
        }
        texts.push_back(s);
    }
    for (int level = simd_level::Scalar; level <= simd_level::Avx2; level++) {
        simd_level::Cap(static_cast<simd_level::Level>(level));
        for (const std::string& t : texts) {
            for (size_t read : {size_t(1), size_t(63), size_t(64), size_t(65), size_t(130), size_t(4096)}) {
                for (int width = 1; width <= 2; width++) {
                    std::string bytes = width == 1 ? t : ToUtf16(t, read % 2 == 1);
                    // Strides of 1 and 7 too, and index chunks from one entry up.
                    const uint64_t stride = read == 63 ? 1 : read == 65 ? 7 : 100;
                    model::ScanResult want = model::Scan(bytes, width, read % 2 == 1, read * width, stride);
                    LineIndex index(read % 3);
                    index.push_back(0);
                    LineScanner scanner(index, width, read % 2 == 1, stride);
                    for (size_t at = 0; at < bytes.size(); at += read * width) {
                        size_t got = std::min(bytes.size() - at, read * width);
                        scanner.Feed(reinterpret_cast<const unsigned char*>(bytes.data() + at), got / width);
                    }
                    scanner.Finish();
                    std::vector<int64_t> got;
                    for (size_t i = 0; i < index.size(); i++) got.push_back(index[i]);
                    ASSERT_EQ(scanner.lineCount, want.lineCount) << level << " " << read << " " << width;
                    ASSERT_EQ(scanner.maxLineLength, want.maxLineLength) << level << " " << read << " " << width;
                    ASSERT_EQ(got, want.index) << level << " " << read << " " << width;
                }
            }
        }
    }
    simd_level::Cap(simd_level::Avx2);
}

// Reload of a file that grew scans only the appended bytes and gives what a
// full scan of the whole file gives: a CR at the old end and an LF after it
// are one line end, a pending CR that was counted as a line end is taken
// back, index entries continue. A file changed otherwise is indexed afresh.
TEST(Reload, AppendedBytesScanLikeAFullScan) {
    std::mt19937 rng(17);
    for (int round = 0; round < 60; round++) {
        const Encoding enc = round % 3 == 0 ? Encoding::Utf16Le : round % 3 == 1 ? Encoding::Utf16Be : Encoding::Ansi;
        std::string text(1 + rng() % 900, 'a');
        for (char& c : text) c = "ab\r\n\r\n"[rng() % (round % 2 ? 6 : 3)];
        size_t cut = rng() % (text.size() + 1);
        if (round < 3) {  // the CR that closed line 100 at the old end is followed by an LF
            text.clear();
            for (int i = 0; i < 99; i++) text += "x\n";
            cut = text.size() + 1;
            text += "\r\ny";
        }
        auto bytes = [&](const std::string& s) { return IsUtf16(enc) ? ToUtf16(s, enc == Encoding::Utf16Be) : s; };
        TempFile f(bytes(text.substr(0, cut)));
        TextDocument doc, full;
        doc.scanBufferSize = full.scanBufferSize = 2 + 2 * (rng() % 40);
        ASSERT_TRUE(doc.Open(f.path(), enc));
        ASSERT_TRUE(f.Append(bytes(text.substr(cut))));
        if (IsUtf16(enc) && round % 4 == 0) {
            ASSERT_TRUE(f.Append("\x0D"));  // an odd byte stays out
        }
        ASSERT_TRUE(doc.Reload(f.path()));
        EXPECT_TRUE(doc.reloadAppended);
        ASSERT_TRUE(full.Open(f.path(), enc));
        EXPECT_EQ(doc.lineCount, full.lineCount) << round;
        EXPECT_EQ(doc.maxLineLength, full.maxLineLength) << round;
        EXPECT_EQ(IndexOf(doc), IndexOf(full)) << round;
        EXPECT_EQ(doc.fileSize, full.fileSize);
        EXPECT_EQ(doc.GetLineText(doc.lineCount - 1), full.GetLineText(full.lineCount - 1));
        // Again without a change: nothing new, nothing lost.
        ASSERT_TRUE(doc.Reload(f.path()));
        EXPECT_TRUE(doc.reloadAppended);
        EXPECT_EQ(doc.lineCount, full.lineCount);
        EXPECT_EQ(IndexOf(doc), IndexOf(full));
    }

    // Changed, shorter, or another file under the name: a full scan.
    TempFile f("one\ntwo\nthree\n");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    ASSERT_TRUE(f.Write("one\ntwo\nthreE\nfour\n"));
    ASSERT_TRUE(doc.Reload(f.path()));
    EXPECT_FALSE(doc.reloadAppended);
    EXPECT_EQ(doc.lineCount, 5u);
    EXPECT_EQ(doc.GetLineText(2), u"threE\n");
    ASSERT_TRUE(f.Write("x\n"));
    ASSERT_TRUE(doc.Reload(f.path()));
    EXPECT_FALSE(doc.reloadAppended);
    EXPECT_EQ(doc.lineCount, 2u);
    EXPECT_EQ(doc.maxLineLength, 2u);
    // A longer file with the same start, renamed into place (where the
    // system lets an open file be replaced).
    std::error_code replaced;
    {
        TempFile grown("x\nmore\n");
        std::filesystem::rename(std::filesystem::path(grown.path()), std::filesystem::path(f.path()), replaced);
    }
    if (!replaced) {
        ASSERT_TRUE(doc.Reload(f.path()));
        EXPECT_FALSE(doc.reloadAppended);
        EXPECT_EQ(doc.GetLineText(1), u"more\n");
    }
    f.Remove();
    if (!testfiles::Exists(f.path())) {
        EXPECT_FALSE(doc.Reload(f.path()));
        EXPECT_EQ(doc.lineCount, 1u);
    }
}

// Following a log: what became of the file, told from the path and the open
// file together. A file renamed away and replaced by one that starts with
// the same bytes is another file, not a grown one.
TEST(Follow, TellsGrownRewrittenTruncatedReplacedAndVanished) {
    TempFile f("one\ntwo\n");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    FollowCheck check;
    auto next = [&](FileChange want, bool reload) {
        EXPECT_EQ(int(check.Check(doc, f.path())), int(want));
        if (!reload) return;
        EXPECT_TRUE(doc.Reload(f.path()));
        check.Reset();
    };
    next(FileChange::Unchanged, false);
    next(FileChange::Unchanged, false);
    ASSERT_TRUE(f.Append("three\n"));
    next(FileChange::Grown, true);
    EXPECT_TRUE(doc.reloadAppended);
    EXPECT_EQ(doc.lineCount, 4u);
    ASSERT_TRUE(f.Write("one\n"));
    next(FileChange::Truncated, true);
    EXPECT_EQ(doc.lineCount, 2u);
    ASSERT_TRUE(f.Write("ONE\n"));
    next(FileChange::Rewritten, true);
    EXPECT_EQ(doc.GetLineText(0), u"ONE\n");
    const std::filesystem::path rotated = std::filesystem::path(f.path()).concat(".1");
    std::error_code moved;
    std::filesystem::rename(std::filesystem::path(f.path()), rotated, moved);
    ASSERT_FALSE(moved) << "an open file can be renamed (a log's rotation)";
    next(FileChange::Vanished, false);
    ASSERT_TRUE(f.Write("ONE\nmore\n"));
    next(FileChange::Replaced, true);
    EXPECT_FALSE(doc.reloadAppended);
    EXPECT_EQ(doc.lineCount, 3u);
    next(FileChange::Unchanged, false);
    std::filesystem::remove(rotated, moved);
}

// What detection could not decide (an empty file, ASCII only) is detected
// again by a reload; an encoding the user chose stays.
TEST(Reload, UndecidedEncodingIsDetectedAgain) {
    TempFile f("");
    TextDocument doc;
    ASSERT_TRUE(doc.Open(f.path(), Encoding::None));
    EXPECT_EQ(doc.encoding, Encoding::Ansi);
    ASSERT_TRUE(f.Append("\xFF\xFE" + ToUtf16("a\r\nb\r\n", false)));
    ASSERT_TRUE(doc.Reload(f.path()));
    EXPECT_EQ(doc.encoding, Encoding::Utf16Le);
    EXPECT_EQ(doc.detectedEncoding, Encoding::Utf16Le);
    EXPECT_TRUE(doc.hasMark);
    EXPECT_EQ(doc.GetLineText(1), u"b\r\n");
    // Decided now: what follows is scanned on.
    ASSERT_TRUE(f.Append(ToUtf16("c\r\n", false)));
    ASSERT_TRUE(doc.Reload(f.path()));
    EXPECT_TRUE(doc.reloadAppended);
    EXPECT_EQ(doc.lineCount, 4u);

    ASSERT_TRUE(f.Write("ascii\n"));
    ASSERT_TRUE(doc.Open(f.path(), Encoding::Ansi));
    ASSERT_TRUE(f.Append("\xE4\xB8\xAD\xE6\x96\x87\n"));
    ASSERT_TRUE(doc.Reload(f.path()));
    EXPECT_TRUE(doc.reloadAppended);
    EXPECT_EQ(doc.encoding, Encoding::Ansi);
}
