// Counting the code units of text that holds no line end and no NUL, without
// decoding it: the fast pass over a long line's pieces.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/encoding.h"

// True when the n bytes decode to text with no CR, LF or NUL; units is then
// the number of UTF-16 code units the decoder gives for them. False when only
// the decoder can tell (a line end, a NUL, malformed UTF-8, non-ASCII ANSI
// text, an odd UTF-16 byte): the caller decodes.
bool CountPlainUnits(Encoding encoding, const char* bytes, size_t n, uint64_t& units);
