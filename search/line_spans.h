// The lines of a block that a listing found, ascending, as spans of
// consecutive lines [first, end): a block where most lines match is a few
// spans, not a number per line.
#pragma once
#include <cstddef>
#include <vector>

struct LineSpan {
    size_t first, end;
};
using LineSpans = std::vector<LineSpan>;

// Adds line k, at or after the last line added (that line again adds nothing).
inline void AddLine(LineSpans& spans, size_t k) {
    if (!spans.empty() && spans.back().end >= k) {
        if (spans.back().end == k) ++spans.back().end;
        return;
    }
    spans.push_back(LineSpan{k, k + 1});
}
