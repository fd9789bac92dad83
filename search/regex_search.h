// A regular expression (PCRE2) matched line by line. Each line is matched
// without its terminator and up to its first NUL; ^ and $ match at its start
// and end. Matches are PCRE2's leftmost ones, taken without overlap; an empty
// match is never taken (the search goes on one character later), nor one
// that fails the whole-word rule (it goes on one character after its start).
//
// The pattern is compiled twice from the same text: for UTF-16 units (the
// 16-bit library, with invalid UTF allowed, for decoded text) and for UTF-8
// bytes (the 8-bit library, used only on well-formed UTF-8, as the line
// source hands it out). Both libraries work on characters, with the same
// Unicode tables, so a line gives the same matches either way; \C, the one
// item that sees code units, is refused at compile time.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "search/find_engine.h"
#include "search/matcher.h"
#include "search/piece_search.h"

class LineRegex {
public:
    LineRegex();
    ~LineRegex();
    LineRegex(const LineRegex&) = delete;
    LineRegex& operator=(const LineRegex&) = delete;

    // False with detail's BadPattern filled in when the pattern does not
    // compile. bytes: compile for UTF-8 bytes too.
    bool Compile(const std::u16string& pattern, const FindOptions& opt, bool bytes, SearchDetail& detail);
    bool HasBytes() const;
    // Whether literals one of which every match holds are known.
    bool HasLiterals() const { return !unitFinders_.empty(); }
    // What every match contains, for the block prefilter (may be empty).
    const std::u16string& Literal() const { return literal_; }

    enum class Outcome { Found, None, GaveUp, TooLong, Cancelled };

    // The first accepted match [s, e) of the line t[0, len) that starts at
    // or after from (a character boundary). len includes the terminator, if
    // any; padded lines (from the line source's buffers) hold no NUL.
    Outcome Next(const char16_t* t, size_t len, size_t from, size_t& s, size_t& e);
    Outcome Next(const unsigned char* t, size_t len, size_t from, size_t& s, size_t& e);
    // The last of the accepted matches of t[0, limit) taken in order (Find
    // previous: the line as if it ended at limit).
    Outcome Last(const char16_t* t, size_t len, size_t limit, size_t& s, size_t& e);
    Outcome Last(const unsigned char* t, size_t len, size_t limit, size_t& s, size_t& e);
    // Adds the accepted matches of the line to count.
    Outcome Count(const char16_t* t, size_t len, uint64_t& count);
    Outcome Count(const unsigned char* t, size_t len, uint64_t& count);

    // Adds the accepted matches of a block's lines, given as one text
    // t[0, len) whose line k starts at starts[k] (the last entry is len), to
    // count, with one engine call per match instead of one per line. False,
    // adding nothing, when the pattern cannot be matched so or the engine
    // gave up: the lines are then counted one by one.
    bool CountBlock(const char16_t* t, size_t len, const std::vector<size_t>& starts, uint64_t& count);
    bool CountBlock(const unsigned char* t, size_t len, const std::vector<size_t>& starts, uint64_t& count);
    // The same for the raw bytes of a UTF-8 block (no NUL, line 0 past its
    // byte-order mark): lines found by the literals and checked well-formed
    // one by one. False, adding nothing, where that cannot be done.
    bool CountRawUtf8(const unsigned char* t, size_t len, uint64_t& count);
    // The same, giving the block's lines (their indices k, as spans) that
    // hold an accepted match, in ascending order.
    bool ListBlock(const char16_t* t, size_t len, const std::vector<size_t>& starts, LineSpans& lines);
    bool ListBlock(const unsigned char* t, size_t len, const std::vector<size_t>& starts, LineSpans& lines);

    // The same for a long line read in pieces, in windows of line.window
    // units (see SearchDetail::MatchTooLong). Columns are the line's.
    // The line's text starts at column origin (after a byte-order mark).
    Outcome NextInPieces(PieceLine& line, uint64_t from, uint64_t origin, uint64_t& s, uint64_t& e);
    Outcome LastInPieces(PieceLine& line, uint64_t limit, uint64_t origin, uint64_t& s, uint64_t& e);
    Outcome CountInPieces(PieceLine& line, uint64_t origin, uint64_t& count);

private:
    struct Parts;  // the compiled codes and their match data, for both widths
    template <class U>
    Outcome Walk(const U* t, size_t len, size_t limit, size_t from, int mode, size_t& s, size_t& e,
                 uint64_t& count);
    template <class U>
    bool Scout(const U* t, size_t len, const std::vector<size_t>& starts, uint64_t& count,
               LineSpans* lines);
    template <class U>
    bool InBlock(const U* t, size_t len, const std::vector<size_t>& starts, uint64_t& count,
                 LineSpans* lines);
    Outcome WalkPieces(PieceLine& line, uint64_t from, uint64_t limit, uint64_t origin, int mode, uint64_t& s,
                       uint64_t& e, uint64_t& count);

    template <class U, class Text>
    size_t ChooseRun(std::vector<BasicMatcher<U>>& finders, const std::vector<Text>& texts, const U* t, size_t len);
    template <class U>
    bool ByLiterals(std::vector<BasicMatcher<U>>& finders, const U* t, size_t len, const std::vector<size_t>& starts,
                    uint64_t& count, LineSpans* lines);

    Parts* parts_;
    // Finders of the literals one of which every match holds, in units and
    // in UTF-8 bytes (empty when there are none).
    std::vector<Matcher> unitFinders_;
    std::vector<ByteMatcher> byteFinders_;
    // When every match holds all of several runs: the one found least often
    // in the first block counted is kept as the only finder.
    bool chooseRun_ = false, unitChosen_ = false, byteChosen_ = false;
    std::vector<std::u16string> unitTexts_;  // what each finder looks for, while one is chosen
    std::vector<std::basic_string<unsigned char>> byteTexts_;
    bool matchCase_ = false;
    std::vector<size_t> next_;  // each finder's next occurrence in the block matched
    bool wholeWord_ = false;
    size_t behind_ = 0;  // units of context a window keeps before its start
    std::u16string literal_;
};
