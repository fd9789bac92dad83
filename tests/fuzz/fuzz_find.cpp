// Fuzzes the line matcher: forward, backward and counting results must equal
// those of a plain position-by-position application of the same rules, for
// any text, search text and options (long repetitive inputs included, which
// drive the matcher onto its automaton). The text is also written as a file
// and searched as a document with a random small read bound (long lines in
// pieces), which must give what the same document read whole gives. Inputs
// whose first byte has bit 2 set are written to a file instead, in any
// encoding and with short blocks, and the document's search and count with
// the block prefilter (in short steps, giving up early, when bit 5 is set)
// and block counts, on each vector path, must equal those with neither, the
// count must equal the plain rules' count over the lines (read whole), and
// the UTF-8 and NUL checks of the block counts must agree with plain ones;
// the same holds for the lines listed (those with a match, and the others).
// Line counts are checked on each vector path. Inputs whose first byte has
// bit 6 set make a regular expression of tokens instead (often one that does
// not compile) and search a file with it, read whole and with a small read
// bound, prefilter on and off: the results must be those of PCRE2 driven on
// each whole line (tests/core/regex_reference.h), or a failure it reports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/text_document.h"
#include "core/codepage_standin.h"
#include "core/simd_level.h"
#include "search/block_scan.h"
#include "search/find_engine.h"
#include "search/prefilter.h"
#include "tests/core/find_reference.h"
#include "tests/core/regex_reference.h"
#include "tests/core/temp_text_file.h"

namespace {

// Few distinct units so that matches, case pairs, letters and NULs are common.
const char16_t Alphabet[16] = {u'a', u'A', u'b', u'B', u'a', u'a', u' ', u'.', u'\r', u'\n',
                               0x4E2D, 0,   u'a', u'z', u'Z', u'_'};

using model::RefBackward;
using model::RefCount;
using model::RefForward;

void CompareWithUnbounded(const std::u16string& text, const std::u16string& pat, const FindOptions& o,
                          int64_t bound, uint64_t column) {
    {
        FileStream out;
        const size_t bytes = text.size() * 2;
        if (!out.Open(ScratchFilePath("fuzz_find"), "wb") || out.Write(text.data(), bytes) != bytes) return;
    }
    TextDocument whole, cut;
    if (!whole.Open(ScratchFilePath("fuzz_find"), Encoding::Utf16Le) || !cut.Open(ScratchFilePath("fuzz_find"), Encoding::Utf16Le)) return;
    cut.maxBlockBytes = bound;
    const uint64_t line = column % whole.lineCount;
    const TextPosition a{line, column % (whole.LineLength(line) + 2)};
    const TextPosition b{line, a.column + column % 3};
    TextPosition x{1, 1}, y{1, 1};
    if (SearchForward(cut, a, b, pat, o, x) != SearchForward(whole, a, b, pat, o, y) || x != y) std::abort();
    if (SearchBackward(cut, a, pat, o, x) != SearchBackward(whole, a, pat, o, y) || x != y) std::abort();
    uint64_t m = 0, n = 0;
    CountAll(cut, pat, o, m);
    CountAll(whole, pat, o, n);
    if (m != n) std::abort();
}

// Bytes that make letters, both cases, line ends, NULs, well-formed and
// malformed UTF-8, GBK lead bytes and halves of UTF-16 units common.
const unsigned char ByteAlphabet[32] = {'a', 'A', 'b', 'B', 'a', ' ', '.', '\r', '\n', '\r', 0,    '?', 'z', 'Z', '_', 'a',
                                        0xE4, 0xB8, 0xAD, 0xC3, 0xA9, 0xFF, 0x80, 0x81, 0x40, 0xD8, 0x3D, 'a', 'b', 'A', ' ', 0x4E};

struct Results {
    SearchResult forward, backward, count;
    TextPosition next, previous;
    uint64_t total;
    std::vector<uint64_t> listed;  // the lines listed, and the count of their inverse
    uint64_t others;
    bool operator!=(const Results& o) const {
        return forward != o.forward || backward != o.backward || count != o.count || !(next == o.next) ||
               !(previous == o.previous) || total != o.total || listed != o.listed || others != o.others;
    }
};

Results Run(TextDocument& doc, const std::u16string& pat, const FindOptions& o, const TextPosition& a,
            const TextPosition& b) {
    Results r{};
    r.forward = SearchForward(doc, a, b, pat, o, r.next);
    r.backward = SearchBackward(doc, a, pat, o, r.previous);
    r.count = CountAll(doc, pat, o, r.total);
    uint64_t n = 0;
    ListLines(doc, pat, o, false, 0, [&](uint64_t first, uint64_t count) {
        for (uint64_t k = 0; k < count; ++k) r.listed.push_back(first + k);
        return true;
    }, n);
    ListLines(doc, pat, o, true, 0, [](uint64_t, uint64_t) { return true; }, r.others);
    return r;
}

void DocumentCase(const uint8_t* data, size_t size) {
    if (size < 8) return;
    static const Encoding encodings[4] = {Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be, Encoding::Ansi};
    const Encoding enc = encodings[data[1] & 3];
    FindOptions o;
    o.wholeWord = data[0] & 1;
    o.matchCase = data[0] & 2;
    o.wrapAround = data[0] & 8;
    const size_t patLen = 1 + data[2] % (data[2] & 0x80 ? 20 : 6);
    const uint64_t stride = 1 + data[3] % 8;
    const uint64_t l1 = data[4], l2 = l1 + data[5] % 3;
    const TextPosition a{l1, data[6] % 8u}, b{l2, data[7] % 8u};
    // bit 5: the prefilter in short steps with little work allowed
    const int64_t step = (data[0] & 0x20) ? 1 + data[3] % 64 : 0;
    const uint64_t allowance = data[2] % 3 * 8, perByte = data[5] & 1;
    data += 8;
    size -= 8;
    std::u16string pat;
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = ByteAlphabet[data[i] & 31];
        if (i < patLen) {
            pat += c == 0 ? u'a' : c < 0x80 ? char16_t(c) : char16_t(0x4E00 + c);
        } else {
            bytes += char(c);
            if (enc == Encoding::Utf16Le || enc == Encoding::Utf16Be) bytes += char((data[i] & 0xE0) == 0xE0 ? 0x4E : 0);
        }
    }
    if (pat.empty()) return;
    TempFile file(bytes);
    TextDocument doc;
    doc.indexStride = stride;
    if (data[0] & 0x10) doc.maxBlockBytes = 24;
    if (!file.written() || !doc.Open(file.path(), enc)) return;
    BlockPrefilter::Enable(false);
    BlockScan::Enable(false);
    const Results want = Run(doc, pat, o, a, b);
    // The count, line by line by the plain rules (lines read whole).
    if (!(data[0] & 0x10)) {
        uint64_t plain = 0;
        std::vector<uint64_t> lines;
        for (uint64_t i = 0; i < doc.lineCount; ++i) {
            const uint64_t n = RefCount(doc.GetLineText(i), pat, o);
            plain += n;
            if (n) lines.push_back(i);
        }
        if (plain != want.total || lines != want.listed) std::abort();
    }
    BlockPrefilter::Enable(true);
    BlockScan::Enable(true);
    BlockPrefilter::Limits(step, allowance, perByte);
    for (int level = simd_level::Scalar; level <= simd_level::Avx2; ++level) {
        simd_level::Cap(static_cast<simd_level::Level>(level));
        BlockScan::ChunkLimit(level == simd_level::Sse2 ? int64_t(1 + stride * 5) : 0);  // many reads, made ahead
        if (Run(doc, pat, o, a, b) != want) std::abort();
        // The UTF-8 check on the raw bytes, as a plain decoder sees them.
        std::u16string wide(bytes.size() + 1, u'\0');
        size_t k = 0;
        bool plain = true;
        for (size_t i = 0; i < bytes.size() && plain;) {
            size_t w = standin::Utf8CharBytes(reinterpret_cast<const unsigned char*>(bytes.data()) + i, bytes.size() - i);
            plain = w > 0 && bytes[i] != 0 && standin::Utf8ToUtf16(bytes.data() + i, int(w), &wide[k], 2) > 0 &&
                    (wide[k] != 0xFFFD || bytes.compare(i, w, "\xEF\xBF\xBD") == 0);
            i += w;
        }
        if (CleanUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != plain) std::abort();
        // The NUL check of UTF-16 blocks, on the bytes taken as units.
        std::u16string units(bytes.size() / 2, u'\0');
        if (!units.empty()) std::memcpy(&units[0], bytes.data(), units.size() * 2);
        if (HasNul(units.data(), units.size()) != (units.find(char16_t(0)) != std::u16string::npos)) std::abort();
    }
    simd_level::Cap(simd_level::Avx2);
    BlockScan::ChunkLimit(0);
    BlockPrefilter::Limits(0, 0, 0);
}

const char16_t* const RegexTokens[32] = {
    u"a", u"b", u"A", u".", u"*", u"+", u"?", u"|", u"(", u")", u"[", u"]", u"^", u"$", u"\\d", u"\\b",
    u"\\w", u"{2}", u"\u4E2D", u"(?<=a)", u"\\K", u"\u00E9", u"\\s", u"{1,3}", u" ", u"a+", u"(?:", u"\\",
    u"\U0001F600", u"[^a]", u"(?=b)", u"z"};

void RegexCase(const uint8_t* data, size_t size) {
    if (size < 6) return;
    static const Encoding encodings[4] = {Encoding::Utf8, Encoding::Utf16Le, Encoding::Utf16Be, Encoding::Ansi};
    const Encoding enc = encodings[data[1] & 3];
    FindOptions o;
    o.regex = true;
    o.wholeWord = data[0] & 1;
    o.matchCase = data[0] & 2;
    o.wrapAround = data[0] & 8;
    const size_t patLen = 1 + data[2] % 8;
    const TextPosition a{data[3] % 4u, data[4] % 8u}, b{a.line + data[5] % 2, data[5] % 8u};
    data += 6;
    size -= 6;
    std::u16string pat;
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        if (i < patLen) {
            pat += RegexTokens[data[i] & 31];
        } else {
            bytes += char(ByteAlphabet[data[i] & 31]);
            if (enc == Encoding::Utf16Le || enc == Encoding::Utf16Be) bytes += char(data[i] & 0x20 ? 0x4E : 0);
        }
    }
    model::RefRegex ref(pat, o);
    SearchDetail detail;
    if (CheckSearchText(pat, o, detail) != ref.ok()) std::abort();
    TempFile file(bytes);
    TextDocument whole, cut;
    if (!file.written() || !whole.Open(file.path(), enc) || !cut.Open(file.path(), enc)) return;
    cut.maxBlockBytes = 64;
    TextPosition x{1, 1}, y{1, 1};
    if (!ref.ok()) {
        if (SearchForward(whole, a, b, pat, o, x, nullptr, &detail) != SearchResult::Failed ||
            detail.failure != SearchDetail::Failure::BadPattern)
            std::abort();
        return;
    }
    uint64_t length = 0, refLength = 0, total = 0;
    const SearchResult next = ref.Forward(whole, a, b, o.wrapAround, y, refLength);
    const SearchResult previous = ref.Backward(whole, a, o.wrapAround, x, length);
    const TextPosition refPrevious = x;
    const uint64_t refPreviousLength = length, count = ref.Count(whole);
    if (next == SearchResult::Failed || previous == SearchResult::Failed) return;
    for (int k = 0; k < 4; ++k) {
        TextDocument& d = k < 2 ? whole : cut;
        BlockPrefilter::Enable(k % 2 == 0);
        // Failures the model does not have: the engine's limits, or a match
        // longer than the small windows of the cut document.
        SearchResult r = SearchForward(d, a, b, pat, o, x, nullptr, &detail);
        if (r == SearchResult::Failed) continue;
        if (r != next || (r == SearchResult::Found && (!(x == y) || detail.matchLength != refLength))) std::abort();
        r = SearchBackward(d, a, pat, o, x, nullptr, &detail);
        if (r == SearchResult::Failed) continue;
        if (r != previous || (r == SearchResult::Found && (!(x == refPrevious) || detail.matchLength != refPreviousLength)))
            std::abort();
        if (CountAll(d, pat, o, total) != SearchResult::Failed && total != count) std::abort();
    }
    BlockPrefilter::Enable(true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    if (data[0] & 0x40) {
        RegexCase(data, size);
        return 0;
    }
    if (data[0] & 4) {
        DocumentCase(data, size);
        return 0;
    }
    FindOptions o;
    o.wholeWord = data[0] & 1;
    o.matchCase = data[0] & 2;
    o.wrapAround = data[0] & 8;
    const size_t patLen = 1 + data[1] % 24;
    const size_t repeat = 1 + (data[2] % 8) * 64;  // long runs reach the automaton
    const size_t column = data[3];
    const int64_t bound = 16 + data[4] % 128 * 5;
    data += 5;
    size -= 5;
    std::u16string pat, line;
    for (size_t i = 0; i < size; ++i) {
        char16_t u = Alphabet[data[i] & 15];
        if (i < patLen) {
            if (u == 0) u = u'a';
            pat += u;
        } else {
            line.append((data[i] & 0x80) ? repeat : 1, u);
        }
    }
    if (pat.empty()) return 0;
    if (line.size() > 20000) line.resize(20000);
    const size_t limit = column % (line.size() + 2);
    if (MatchForward(line, column % (line.size() + 1), pat, o) != RefForward(line, column % (line.size() + 1), pat, o))
        std::abort();
    if (MatchBackward(line, WholeLine, pat, o) != RefBackward(line, WholeLine, pat, o)) std::abort();
    if (MatchBackward(line, limit, pat, o) != RefBackward(line, limit, pat, o)) std::abort();
    const uint64_t count = RefCount(line, pat, o);
    for (int level = simd_level::Scalar; level <= simd_level::Avx2; ++level) {
        simd_level::Cap(static_cast<simd_level::Level>(level));
        if (CountInLine(line, pat, o) != count) std::abort();
    }
    simd_level::Cap(simd_level::Avx2);
    CompareWithUnbounded(line, pat, o, bound, column * 7919);
    return 0;
}
