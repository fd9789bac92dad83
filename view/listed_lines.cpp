#include "view/listed_lines.h"

#include <algorithm>

ListedLines::ListedLines(TextDocument& doc, const MatchingLines& list) : document_(doc), list_(list), lines_(doc) {
    lines_.screen = [this](uint64_t& first, uint64_t& last) {
        uint64_t top = 0, bottom = 0;
        if (screen) screen(top, bottom);
        const uint64_t size = list_.Size();
        first = size ? list_.LineAt(std::min(top, size - 1)) : 0;
        last = size ? list_.LineAt(std::min(bottom, size - 1)) : 0;
    };
}

PaneLines ListedLines::Source() {
    PaneLines s;
    s.count = [this] { return std::max<uint64_t>(list_.Size(), 1); };
    // A row past the list reads the line past the document's end: empty.
    s.length = [this](uint64_t row) { return lines_.Length(LineOf(row)); };
    s.units = [this](uint64_t row, uint64_t from, size_t count, size_t* got) {
        return lines_.Units(LineOf(row), from, count, got);
    };
    s.isLong = [this](uint64_t row) { return document_.IsLongLine(LineOf(row)); };
    s.number = [this](uint64_t row) { return row < list_.Size() ? list_.LineAt(row) : 0; };
    // Widths are kept by row: a new listing shows other lines in the same rows.
    s.stamp = [this] { return lines_.Stamp() * 1000003 + generation_; };
    s.longest = [this] { return lines_.Longest(); };
    return s;
}
