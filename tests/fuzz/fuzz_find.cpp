// Fuzzes the line matcher: forward, backward and counting results must equal
// those of a plain position-by-position application of the same rules, for
// any text, search text and options (long repetitive inputs included, which
// drive the matcher onto its automaton).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "search/find_engine.h"
#include "tests/core/find_reference.h"

namespace {

// Few distinct units so that matches, case pairs, letters and NULs are common.
const char16_t Alphabet[16] = {u'a', u'A', u'b', u'B', u'a', u'a', u' ', u'.', u'\r', u'\n',
                               0x4E2D, 0,   u'a', u'z', u'Z', u'_'};

using model::RefBackward;
using model::RefCount;
using model::RefForward;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    FindOptions o;
    o.wholeWord = data[0] & 1;
    o.matchCase = data[0] & 2;
    const size_t patLen = 1 + data[1] % 24;
    const size_t repeat = 1 + (data[2] % 8) * 64;  // long runs reach the automaton
    const size_t column = data[3];
    data += 4;
    size -= 4;
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
    return 0;
}
