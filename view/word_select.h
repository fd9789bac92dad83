// Word classes and the word under a position, for double-click selection.
#pragma once
#include <cstdint>
#include <string>

// 0 blanks and controls, 1 ASCII letters, digits and underscore,
// 2 other printable ASCII, 3 everything from U+0081 on.
int CharClass(char16_t c);

struct WordRange {
    bool found = false;  // false: the line has no visible text
    uint64_t lo = 0;     // first column of the word
    uint64_t hi = 0;     // column after the word
};

// The run of one class around column, in the line text without its CR and
// LF units (columns count in that text).
WordRange WordAt(const std::u16string& lineText, uint64_t column);
