// Maps the 32-bit vertical scroll bar onto 64-bit line numbers for documents
// whose line count does not fit the bar; smaller documents use lines directly.
#pragma once
#include <cstdint>

namespace scroll_map {

// Bar range used when a document is too long for line units.
constexpr int32_t ScaledRange = 1 << 30;

// floor (or ceiling when roundUp) of a * b / c without overflow; c > 0 and
// the result must fit 64 bits.
uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c, bool roundUp);

// True when lineCount + extraLines exceeds the signed 32-bit bar maximum.
bool IsScaled(uint64_t lineCount, int32_t extraLines);

// Thumb size in bar units for a page of pageLines out of totalLines,
// at least 1 and below ScaledRange.
int32_t ScaledPage(uint64_t pageLines, uint64_t totalLines);

// Bar position 0..maxPos to a top line 0..lastLine, both ends exact.
uint64_t BarToLine(int32_t pos, int32_t maxPos, uint64_t lastLine);
// The inverse: the bar position whose line is the smallest at or above line.
int32_t LineToBar(uint64_t line, int32_t maxPos, uint64_t lastLine);

}  // namespace scroll_map
