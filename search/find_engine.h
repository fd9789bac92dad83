// Line-wise text search: forward and backward matching in one line, and
// whole-document search, count and listing over TextDocument (the letter
// rule and the case fold are in search/match_rules.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "search/find_options.h"
#include "search/match_rules.h"
#include "core/text_position.h"

class TextDocument;

// Exact (matchCase) or case-folded equality of n units.
bool UnitsEqual(const char16_t* a, const char16_t* b, size_t n, bool matchCase);

// Column of the first accepted match at or after column c of L, or NoMatch.
size_t MatchForward(const std::u16string& L, uint64_t c, const std::u16string& pat, const FindOptions& opt);
// Column of the last accepted match before limit in L, or NoMatch.
size_t MatchBackward(const std::u16string& L, size_t limit, const std::u16string& pat, const FindOptions& opt);
// Accepted, non-overlapping matches in L as counting sees them.
uint64_t CountInLine(const std::u16string& L, const std::u16string& pat, const FindOptions& opt);

enum class SearchResult { Found, NotFound, Cancelled, Failed };

// What a search reports besides its result. matchLength: the units of the
// match found (the search text's, for literal text). Failed (regular
// expressions only) tells why:
//   BadPattern    the pattern does not compile; message is the engine's,
//                 position the pattern's character (from 1) it names; nothing
//                 was searched
//   TooComplex    the engine gave up on line `line` (its match or depth
//                 limits); the lines before it were searched
//   MatchTooLong  line `line` is long (read in pieces, searched in windows
//                 of the document's PrefixUnits(), 1,048,576 units unless
//                 its block bound is lower) and a match in it would not fit
//                 in one window
struct SearchDetail {
    enum class Failure { None, BadPattern, TooComplex, MatchTooLong };
    uint64_t matchLength = 0;
    Failure failure = Failure::None;
    std::u16string message;
    uint64_t position = 0;
    uint64_t line = 0;
};

// Whether the search text can be searched with these options (a literal
// always can); on false, detail says why as for Failed.
bool CheckSearchText(const std::u16string& pat, const FindOptions& opt, SearchDetail& detail);

// Called between blocks of lines with the lines scanned so far and the
// lines the operation will scan in all; returning false cancels. Inside a
// long line (read in pieces) it is called between pieces and while the
// line's table is built, and inside a large block between the steps in
// which the prefilter reads it, with both counts in 1024ths of a line.
using FindProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Lines scanned between two calls of the progress hook.
constexpr uint64_t ProgressBlockLines = 100;

// Forward search from selEnd (wrapping to the start up to selStart's line).
SearchResult SearchForward(TextDocument& doc, const TextPosition& selStart, const TextPosition& selEnd,
                           const std::u16string& pat, const FindOptions& opt, TextPosition& hit,
                           const FindProgress& progress = nullptr, SearchDetail* detail = nullptr);
// Backward search from selStart (wrapping to the end down to selStart's line).
SearchResult SearchBackward(TextDocument& doc, const TextPosition& selStart,
                            const std::u16string& pat, const FindOptions& opt, TextPosition& hit,
                            const FindProgress& progress = nullptr, SearchDetail* detail = nullptr);
// Counts every accepted match in the document; total holds the running count
// whenever the progress hook is called.
SearchResult CountAll(TextDocument& doc, const std::u16string& pat, const FindOptions& opt,
                      uint64_t& total, const FindProgress& progress = nullptr,
                      SearchDetail* detail = nullptr);

// The first accepted match in line `line` alone (no other line is read):
// Found with its place in hit and its length in detail, NotFound, or Failed.
SearchResult FirstMatchInLine(TextDocument& doc, uint64_t line, const std::u16string& pat, const FindOptions& opt,
                              TextPosition& hit, SearchDetail* detail = nullptr);

// Receives listed lines in ascending order as runs of consecutive lines
// (first, count), merged, except that with a progress hook the run found so
// far is passed on before each call of the hook (the next may go on from
// it); false stops the listing, which then ends Cancelled.
using LineRunSink = std::function<bool(uint64_t first, uint64_t count)>;

// Lists the lines from `from` on that hold an accepted match (inverse: that
// hold none) to add, in ascending order; listed is how many. The empty place
// after a file's final line end (its last line, when empty) is not a line of
// the file and is never listed. Found when any line was listed.
SearchResult ListLines(TextDocument& doc, const std::u16string& pat, const FindOptions& opt, bool inverse,
                       uint64_t from, const LineRunSink& add, uint64_t& listed,
                       const FindProgress& progress = nullptr, SearchDetail* detail = nullptr);
