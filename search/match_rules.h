// The rules every matcher shares: no match, the letter rule of whole words
// and the one case fold (ASCII letters; every other unit compares exactly).
#pragma once
#include <cstddef>

constexpr size_t NoMatch = static_cast<size_t>(-1);
// Limit of MatchBackward meaning "search the whole line".
constexpr size_t WholeLine = static_cast<size_t>(-1);

inline bool IsLetter(char16_t u) { return (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z'); }
inline char16_t FoldCase(char16_t u) { return (u >= u'A' && u <= u'Z') ? char16_t(u | 0x20) : u; }

// True when the occurrence of length n at s in text[0, len) has no letter on
// either side (only the units inside [0, len) count as neighbours).
inline bool PassesWholeWord(const char16_t* text, size_t len, size_t s, size_t n) {
    if (s > 0 && IsLetter(text[s - 1])) return false;
    if (s + n < len && IsLetter(text[s + n])) return false;
    return true;
}
