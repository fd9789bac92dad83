#pragma once
#include <cstdint>

struct TextPosition {
    uint64_t line = 0;
    uint64_t column = 0;
};
inline bool operator==(const TextPosition& a, const TextPosition& b) { return a.line == b.line && a.column == b.column; }
inline bool operator!=(const TextPosition& a, const TextPosition& b) { return !(a == b); }
inline bool operator<(const TextPosition& a, const TextPosition& b) {
    return a.line < b.line || (a.line == b.line && a.column < b.column);
}
inline bool operator<=(const TextPosition& a, const TextPosition& b) { return !(b < a); }
inline bool operator>(const TextPosition& a, const TextPosition& b) { return b < a; }
