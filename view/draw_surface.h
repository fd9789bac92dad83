// Off-screen canvas of the text view: memory DC and bitmap, font, space width,
// row height, per-code-unit width cache and a nested clip stack (GDI and GDI+).
#pragma once
#include <windows.h>

#include <cstdint>
#include <list>
#include <string>

#include "view/gdi_object.h"
#include "view/line_metrics.h"

struct DrawSurfaceGdiplus;  // 16-byte holder: GpGraphics* and last status

class DrawSurface {
public:
    RECT rect{};
    HWND window = nullptr;
    // Every GDI object is owned by its holder. The objects come before the
    // DC, which puts back its own objects when it goes: none of them is then
    // deleted while selected.
    GdiObject<HBITMAP> bitmap;
    GdiObject<HPEN> gutterPen;
    GdiObject<HFONT> font;
    GdiObject<HBRUSH> backgroundBrush;
    GdiObject<HBRUSH> whiteBrush;
    GdiObject<HPEN> whitePen;
    std::list<GdiObject<HRGN>> regionStack;
    MemoryDc memoryDc;
    COLORREF backgroundColour = RGB(255, 255, 255);
    COLORREF gutterLineColour = RGB(165, 165, 165);
    int32_t lineSpacing = 3;
    int32_t topPad = 2;
    int32_t bottomPad = 1;
    int32_t spaceWidth = 0;
    int32_t lineHeight = 0;
    std::list<RECT> rectStack;
    // Made on memoryDc and deleted before it.
    DrawSurfaceGdiplus* gdiplus = nullptr;
    // Width + 1 of each code unit measured so far; 0: not measured yet.
    uint16_t widthCache[65536] = {};
    // Code units handed to GDI to measure or draw (watched by tests).
    uint64_t gdiUnits = 0;

    uint32_t fontGeneration = 0;  // changes whenever widthCache is cleared
    LineMetrics lineMetrics;      // checkpoints of long lines on screen
    // The font last set: a new canvas (a new size) selects it again and keeps
    // the widths measured with it.
    LOGFONTW logFont{};
    bool hasLogFont = false;

    DrawSurface() = default;
    DrawSurface(const DrawSurface&) = delete;
    DrawSurface& operator=(const DrawSurface&) = delete;
    ~DrawSurface() { Destroy(); }

    void Create(const RECT& r);
    void Release();
    void Destroy();
    void SetFont(LOGFONTW lf);
    void PushClip(const RECT& r);
    void PopClip();
    // The background and gutter-line colours: their brush and pen are made
    // here, once per change, not per paint.
    void SetColours(COLORREF background, COLORREF gutterLine);
    // Fills area (edges included) with the background colour.
    void FillBackground(const RECT& area);
    // The gutter's vertical line at x, from top to bottom inclusive.
    void DrawGutterLine(int x, int top, int bottom);
    int32_t CharWidth(char16_t c);
    int32_t TextWidth(const char16_t* p, size_t n);

    // Painting primitives.
    void DrawLine(int x, int y, int offset, int width, const std::u16string& text,
                  const uint64_t* spanStart, const uint64_t* spanEnd, const RECT& row);
    void DrawRun(int x, int y, const char16_t* p, size_t n);
    // Draws the part of a line between offset and offset + width from n of
    // its code units: text[0] is the line's column base, the units before it
    // measure baseWidth and all end left of offset. Span columns count from
    // the line's start; a null start or end is the line's start or end.
    void DrawLineFrom(int x, int y, int64_t offset, int width, const char16_t* text, size_t n, uint64_t base,
                      int64_t baseWidth, const uint64_t* spanStart, const uint64_t* spanEnd, const RECT& row);
    // Most code units one row of the given width draws: every unit of
    // non-zero width takes a pixel, and zero-width marks are bounded too.
    static size_t RowUnits(int width) { return 8 * static_cast<size_t>(width > 0 ? width : 0) + 64; }
};
