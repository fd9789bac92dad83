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
    s.length = [this](uint64_t row) { return row < list_.Size() ? lines_.Length(list_.LineAt(row)) : 0; };
    s.units = [this](uint64_t row, uint64_t from, size_t count, size_t* got) -> const char16_t* {
        if (row < list_.Size()) return lines_.Units(list_.LineAt(row), from, count, got);
        if (got) *got = 0;
        return u"";
    };
    s.isLong = [this](uint64_t row) { return row < list_.Size() && document_.IsLongLine(list_.LineAt(row)); };
    s.number = [this](uint64_t row) { return row < list_.Size() ? list_.LineAt(row) : 0; };
    // Widths are kept by row: a new listing shows other lines in the same rows.
    s.stamp = [this] { return lines_.Stamp() * 1000003 + generation_; };
    s.longest = [this] { return lines_.Longest(); };
    return s;
}
