// The line source of a text pane: stored callables, so that a pane can show
// the document, a list of its lines or anything else that has lines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

// Where a pane's lines come from.
struct PaneLines {
    // Lines the pane shows (at least 1).
    std::function<uint64_t()> count;
    // Length of a line in code units, its line end included; 0 past the end.
    std::function<uint64_t(uint64_t line)> length;
    // The code units [from, from + count) of a line, clamped to its end, in
    // *got; valid until the next call.
    std::function<const char16_t*(uint64_t line, uint64_t from, size_t count, size_t* got)> units;
    // The line is read in pieces, never whole (a word is looked for around a column).
    std::function<bool(uint64_t line)> isLong;
    // The 0-based number the gutter shows for a line.
    std::function<uint64_t(uint64_t line)> number;
    // Changes whenever a line read before may read otherwise: what the pane
    // keeps of widths is keyed by it.
    std::function<uint64_t()> stamp;
    // Units of the longest line, as far as the estimate of the horizontal
    // range is to take it.
    std::function<uint64_t()> longest;
};
