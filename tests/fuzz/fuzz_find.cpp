// Fuzzes the line matcher: forward, backward and counting results must equal
// those of a plain position-by-position application of the same rules, for
// any text, search text and options (long repetitive inputs included, which
// drive the matcher onto its automaton). The text is also written as a file
// and searched as a document with a random small read bound (long lines in
// pieces), which must give what the same document read whole gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/text_document.h"
#include "search/find_engine.h"
#include "tests/core/find_reference.h"

namespace {

// Few distinct units so that matches, case pairs, letters and NULs are common.
const char16_t Alphabet[16] = {u'a', u'A', u'b', u'B', u'a', u'a', u' ', u'.', u'\r', u'\n',
                               0x4E2D, 0,   u'a', u'z', u'Z', u'_'};

using model::RefBackward;
using model::RefCount;
using model::RefForward;

// One file per process, removed at exit.
const std::u16string& FilePath() {
    static struct File {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("tv_fuzz_find_" + std::to_string(platform::TickCount()));
        ~File() {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
    } file;
    static const std::u16string path = file.path.u16string();
    return path;
}

void CompareWithUnbounded(const std::u16string& text, const std::u16string& pat, const FindOptions& o,
                          int64_t bound, uint64_t column) {
    {
        FileStream out;
        const size_t bytes = text.size() * 2;
        if (!out.Open(FilePath(), "wb") || out.Write(text.data(), bytes) != bytes) return;
    }
    TextDocument whole, cut;
    if (!whole.Open(FilePath(), Encoding::Utf16Le) || !cut.Open(FilePath(), Encoding::Utf16Le)) return;
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    FindOptions o;
    o.wholeWord = data[0] & 1;
    o.matchCase = data[0] & 2;
    o.wrapAround = data[0] & 4;
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
    if (CountInLine(line, pat, o) != RefCount(line, pat, o)) std::abort();
    CompareWithUnbounded(line, pat, o, bound, column * 7919);
    return 0;
}
