// Native stand-in for the Windows code-page conversions with flags 0:
// UTF-8 (65001) and GBK (936, the active code page of the target systems).
// Malformed and unmappable input is replaced the way the Windows calls do.
// Portable, so the Windows tests can compare it with the real calls.
#pragma once
#include <cstddef>
#include <cstdint>

namespace standin {

// Same contract as MultiByteToWideChar / WideCharToMultiByte with flags 0:
// srcLen < 0 means NUL-terminated (the NUL is converted); dst null or
// dstLen 0 returns the output length; too small a dst returns 0.
int Utf8ToUtf16(const char* src, int srcLen, char16_t* dst, int dstLen);
int Utf16ToUtf8(const char16_t* src, int srcLen, char* dst, int dstLen);
int GbkToUtf16(const char* src, int srcLen, char16_t* dst, int dstLen);
int Utf16ToGbk(const char16_t* src, int srcLen, char* dst, int dstLen);

// Bytes the UTF-8 character at s takes in an input that goes on past the
// avail bytes seen (1 to 4, by the rules above); 0 when those bytes do not
// decide it.
size_t Utf8CharBytes(const unsigned char* s, size_t avail);
// Continuation bytes that a byte announces (0 for ASCII and stray bytes).
inline unsigned Utf8AnnouncedTrail(unsigned char ch) {
    return ch < 0xC2 ? 0 : ch < 0xE0 ? 1 : ch < 0xF0 ? 2 : ch < 0xF5 ? 3 : 0;
}

} // namespace standin
