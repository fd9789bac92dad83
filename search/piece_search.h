// Find and count in a line that is read in pieces (a long line of the
// document): windows of the line overlap by the search text's length, so
// the results are those of searching the whole line at once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "search/find_options.h"
#include "search/matcher.h"

// Units [column, column + count) of the line (fewer at its end).
using PieceReader = std::function<std::u16string(uint64_t column, size_t count)>;
// Called before each window is read with the units of the line done so far
// (counted from its start, or from its end when searching backward); false
// cancels (the result is then NoColumn).
using PieceTick = std::function<bool(uint64_t done)>;

constexpr uint64_t NoColumn = UINT64_MAX;

struct PieceLine {
    PieceReader read;
    uint64_t length;  // in units; the line holds no NUL
    size_t window;    // units read at once (widened to four times the search text)
    PieceTick tick;
    bool cancelled = false;
};

// As MatchForward, MatchBackward and CountInLine on the whole line.
uint64_t ForwardInPieces(PieceLine& line, uint64_t c, Matcher& m, bool wholeWord);
uint64_t BackwardInPieces(PieceLine& line, uint64_t limit, Matcher& m, const FindOptions& opt);
// Adds the line's matches to total as they are found.
void CountInPieces(PieceLine& line, Matcher& m, bool wholeWord, uint64_t& total);
