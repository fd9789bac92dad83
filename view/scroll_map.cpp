#include "view/scroll_map.h"

namespace scroll_map {

uint64_t MulDiv(uint64_t a, uint64_t b, uint64_t c, bool roundUp) {
    // 128-bit product from 32-bit halves.
    uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32, bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
    uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
    uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    uint64_t lo = (ll & 0xFFFFFFFFu) | (mid << 32);
    uint64_t hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
    // Long division of hi:lo by c, one bit at a time.
    uint64_t quotient = 0, rem = 0;
    for (int bit = 127; bit >= 0; --bit) {
        uint64_t top = rem >> 63;
        rem = (rem << 1) | ((bit >= 64 ? hi >> (bit - 64) : lo >> bit) & 1u);
        quotient <<= 1;
        if (top || rem >= c) {
            rem -= c;
            quotient |= 1;
        }
    }
    if (roundUp && rem != 0) ++quotient;
    return quotient;
}

bool IsScaled(uint64_t lineCount, int32_t extraLines) {
    uint64_t extra = extraLines > 0 ? static_cast<uint64_t>(extraLines) : 0;
    return lineCount > 0x7FFFFFFFull || lineCount + extra > 0x7FFFFFFFull;
}

int32_t ScaledPage(uint64_t pageLines, uint64_t totalLines) {
    if (totalLines == 0) return ScaledRange - 1;
    if (pageLines >= totalLines) return ScaledRange - 1;
    uint64_t page = MulDiv(pageLines, ScaledRange, totalLines, false);
    if (page < 1) page = 1;
    if (page > static_cast<uint64_t>(ScaledRange - 1)) page = ScaledRange - 1;
    return static_cast<int32_t>(page);
}

uint64_t BarToLine(int32_t pos, int32_t maxPos, uint64_t lastLine) {
    if (pos <= 0 || maxPos <= 0) return 0;
    if (pos >= maxPos) return lastLine;
    return MulDiv(static_cast<uint64_t>(pos), lastLine, static_cast<uint64_t>(maxPos), false);
}

int32_t LineToBar(uint64_t line, int32_t maxPos, uint64_t lastLine) {
    if (maxPos <= 0 || line == 0 || lastLine == 0) return 0;
    if (line >= lastLine) return maxPos;
    return static_cast<int32_t>(MulDiv(line, static_cast<uint64_t>(maxPos), lastLine, true));
}

}  // namespace scroll_map
