// Exact fast paths for Save As conversion. ASCII runs, well-formed UTF-8
// and well-formed UTF-16 are converted here; everything else goes to the
// platform calls together with the bytes around it that decide how they
// convert it, so the result is the platform's conversion of the whole input.
#pragma once
#include <cstddef>

namespace fast_convert {

// Each converts n (< 2^31) bytes or units into out and returns the count
// written: the same as Utf8ToWide, AnsiToWide, WideToUtf8 or WideToAnsi of
// the whole input. out holds n units for the decoders and 3 * n bytes for
// the encoders. Returns NoRoom when a platform call needed more room than
// that (the caller then converts the input the plain way).
// more (decoders): the text goes on for four bytes or more after the input,
// which ends where CharBoundaryPrefix cuts; the units are then those that
// converting the whole text gives for these bytes. (Converted alone, a
// sequence cut off by their end would take all the rest as one character.)
constexpr size_t NoRoom = ~size_t(0);
size_t Utf8ToUnits(const char* bytes, size_t n, char16_t* out, bool more = false);
size_t AnsiToUnits(const char* bytes, size_t n, char16_t* out, bool more = false);
size_t UnitsToUtf8(const char16_t* units, size_t n, char* out);
size_t UnitsToAnsi(const char16_t* units, size_t n, char* out);

// True when the ANSI code page maps 0x00-0x7F to U+0000-U+007F and back,
// and none of those bytes is a lead byte (found once per process). The
// ANSI paths above hand everything to the platform calls otherwise.
bool AnsiKeepsAscii();

} // namespace fast_convert
