// Substring matcher over UTF-16 code units for one search text.
// A vector filter on the first and last unit finds candidates quickly; when
// verifying candidates costs too much for the ground covered (repetitive
// text against a repetitive search text), the scan of that text switches to
// a Knuth-Morris-Pratt automaton, so every scan stays linear.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "search/line_spans.h"
#include "search/simd.h"

// U is U for UTF-16 text, or unsigned char for UTF-8 bytes.
template <class U>
class BasicMatcher {
public:
    using Str = std::basic_string<U>;
    // matchCase false: ASCII letters fold, other units compare exactly.
    BasicMatcher(const Str& pat, bool matchCase);

    size_t size() const { return n_; }
    // Two occurrences can overlap (the search text as compared has a border).
    bool Overlaps() const { return overlaps_; }
    // Whether the occurrence that Last reported equals the search text
    // exactly (valid when matching case).
    bool LastWasExact() const { return lastExact_; }

    // Starts scanning a new text of len units. padded: at least Padding
    // readable units follow the text (their values do not matter).
    void Begin(const U* text, size_t len, bool padded = false);
    static constexpr size_t Padding = 32;
    // First occurrence starting at or after from and ending at or before end.
    // Successive calls for one text must not move back before the previous
    // result + 1, nor change end.
    size_t Next(size_t from, size_t end);
    // Last case-folded occurrence ending at or before end. Successive calls
    // for one text must pass end no larger than the previous result + n - 1.
    size_t Last(size_t end);

    // How Count judges an occurrence besides its units.
    struct CountRule {
        bool wholeWord = false;
        // Bytes of ANSI text: an occurrence counts only where neither of the
        // two bytes before it is above 127; any other one stops the count,
        // or, when unsure is given and the search text cannot overlap
        // itself, is left out of the count with its start added to unsure.
        bool asciiBefore = false;
        std::vector<size_t>* unsure = nullptr;
        // When given, set to whether the text holds a NUL.
        bool* nul = nullptr;
    };
    // Longest search text Count takes.
    static constexpr size_t CountMax = 16;
    // Adds to count the accepted non-overlapping occurrences in the whole
    // text of Begin (as calling Next from 0 and going on after each accepted
    // one, or one unit further after a rejected one, finds them), in one pass
    // that compares every unit of the search text at 16 or 32 bytes of text
    // at a time. seen: any occurrence at all; sure false: one that broke
    // asciiBefore stopped the count (count is then left as it was). False,
    // doing nothing, for a longer search text or without a vector path.
    bool Count(const CountRule& rule, uint64_t& count, bool& seen, bool& sure) const;
    // Adds to lines, ascending, the lines of the text of Begin (numbered
    // from 0 by their ends: LF, and CR not followed by LF) that hold an
    // occurrence accepted by the whole-word rule when asked, in the same
    // one pass as Count, which counts the line ends as it goes. lineEnds:
    // the line ends the text holds when known (SIZE_MAX when not), which
    // lets the pass count LFs alone. nul: the text holds a NUL. The text
    // must be padded. False, doing nothing, where Count would be.
    bool ListLines(bool wholeWord, size_t lineEnds, LineSpans& lines, bool& nul) const;

private:
    size_t NextKmp(size_t from, size_t end);
    // The vector scan of Next with 256-bit vectors: true with result set when
    // it ends the call, false with i moved on when fewer positions are left.
    bool NextAvx2(size_t& i, size_t last, size_t from, size_t end, size_t& result);
    size_t LastKmp(size_t end);
    void BuildForwardTable();
    void BuildBackwardTable();
    bool VerifyKey(const U* at);
    bool VerifyFolded(const U* at);

    Str pattern_;  // search text as given, up to its first NUL
    Str key_;      // search text, folded unless matching case
    Str folded_;   // search text, folded
    size_t n_ = 0;
    bool matchCase_ = false;
    U firstA_ = 0, firstB_ = 0, lastA_ = 0, lastB_ = 0;        // forward filter
    U fFirstA_ = 0, fFirstB_ = 0, fLastA_ = 0, fLastB_ = 0;    // folded filter

#if TV_SSE2
    // the filter units above, broadcast
    __m128i vFirstA_, vFirstB_, vLastA_, vLastB_, vfFirstA_, vfFirstB_, vfLastA_, vfLastB_;
#endif
    std::vector<uint32_t> fwdFail_, bwdFail_, bwdExactFail_;
    // For Count: unit k of key_, and what to or a text unit with before
    // comparing it (0x20 for a folded letter), each filling 32 bytes.
    U laneKey_[CountMax][32 / sizeof(U)] = {};
    U laneOr_[CountMax][32 / sizeof(U)] = {};
    bool overlaps_ = false;  // two occurrences can overlap (key_ has a border)

    const U* text_ = nullptr;
    size_t len_ = 0;
    bool padded_ = false;
    bool avx2_ = false;  // the 256-bit scan, chosen at Begin
    // forward scan state
    bool fwdKmp_ = false;
    size_t fwdPos_ = 0, fwdQ_ = 0;
    uint64_t fwdWork_ = 0;
    size_t fwdReach_ = 0;
    // backward scan state
    bool bwdKmp_ = false;
    size_t bwdPos_ = 0, bwdQ_ = 0, bwdExactQ_ = 0;
    bool lastExact_ = false;
    uint64_t bwdWork_ = 0;
    size_t bwdReach_ = 0;
};

using Matcher = BasicMatcher<char16_t>;
using ByteMatcher = BasicMatcher<unsigned char>;
