#include "view/window_dpi_win.h"

int32_t WindowDpi(HWND w) {
    using ForWindow = UINT(WINAPI*)(HWND);
    static const ForWindow forWindow = reinterpret_cast<ForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (forWindow && w) {
        const UINT dpi = forWindow(w);
        if (dpi > 0) return static_cast<int32_t>(dpi);
    }
    HDC dc = GetDC(w);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(w, dc);
    return dpi > 0 ? dpi : 96;
}
