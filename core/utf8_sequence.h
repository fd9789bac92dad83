// Length of a well-formed UTF-8 sequence, for the paths that skip the decoder.
#pragma once
#include <cstddef>

// Length of the well-formed sequence at s[0] (a byte above 127) within n
// bytes, or 0 when it is malformed or cut.
inline size_t Utf8SequenceLength(const unsigned char* s, size_t n) {
    auto cont = [](unsigned char b) { return (b & 0xC0) == 0x80; };
    const unsigned char c = s[0];
    if (c >= 0xC2 && c <= 0xDF) return n >= 2 && cont(s[1]) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (n < 3 || !cont(s[1]) || !cont(s[2])) return 0;
        if ((c == 0xE0 && s[1] < 0xA0) || (c == 0xED && s[1] > 0x9F)) return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (n < 4 || !cont(s[1]) || !cont(s[2]) || !cont(s[3])) return 0;
        if ((c == 0xF0 && s[1] < 0x90) || (c == 0xF4 && s[1] > 0x8F)) return 0;
        return 4;
    }
    return 0;
}
