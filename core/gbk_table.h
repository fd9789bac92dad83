// Code page 936 (GBK) tables used by the native conversion stand-in.
#pragma once
#include <cstddef>
#include <cstdint>

// Lead bytes 0x81..0xFE, trail bytes 0x40..0xFE (0x7F is never a trail).
constexpr unsigned GbkLeadCount = 126;
constexpr unsigned GbkTrailCount = 191;
constexpr size_t GbkBestFitCount = 412;

// Single bytes to UTF-16 (lead bytes hold 0).
extern const uint16_t GbkSingleTable[256];
// [(lead - 0x81) * GbkTrailCount + (trail - 0x40)]; 0 where undefined.
extern const uint16_t GbkDoubleTable[GbkLeadCount * GbkTrailCount];
// Extra UTF-16 -> code mappings used only when encoding (code < 0x100 is one byte).
extern const uint16_t GbkBestFit[GbkBestFitCount][2];

inline bool IsGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
