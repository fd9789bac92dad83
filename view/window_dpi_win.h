// The dots per inch of the monitor a window is on, as the system gives them
// to a per-monitor aware program (96 at 100 % scaling), and pixel sizes
// designed at 96 dpi scaled to them.
#pragma once
#include <windows.h>

#include <cstdint>

// GetDpiForWindow where the system has it (Windows 10 1607 on), else the
// screen's LOGPIXELSY.
int32_t WindowDpi(HWND w);

// px pixels at 96 dpi, at dpi (rounded to the nearest).
inline int32_t ScaledPixels(int32_t px, int32_t dpi) { return MulDiv(px, dpi, 96); }
