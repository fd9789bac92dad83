// Memory DC, bitmap, font, width cache and clip stack of the text view.
#include "view/draw_surface.h"

#include <cstring>

// GDI+ flat interface, declared here so that no GDI+ C++ header is needed.
extern "C" {
int WINAPI GdipCreateFromHDC(HDC dc, void** graphics);
int WINAPI GdipDeleteGraphics(void* graphics);
int WINAPI GdipSetClipHrgn(void* graphics, HRGN region, int combineMode);
int WINAPI GdipResetClip(void* graphics);
void* WINAPI GdipAlloc(size_t size);
void WINAPI GdipFree(void* p);
}

struct DrawSurfaceGdiplus {
    void* graphics;
    int32_t status;
};
static_assert(sizeof(void*) != 8 || sizeof(DrawSurfaceGdiplus) == 16, "GDI+ holder is 16 bytes");

static void MeasureSpace(DrawSurface& s) {
    SIZE size{};
    GetTextExtentPoint32W(s.memoryDc, L" ", 1, &size);
    s.spaceWidth = size.cx;
    s.lineHeight = size.cy + s.lineSpacing;
}

void DrawSurface::Create(const RECT& r) {
    Release();
    WindowDc windowDc(window);
    rect = r;
    memoryDc = MemoryDc(windowDc);
    bitmap = CreateCompatibleBitmap(windowDc, r.right - r.left + 1, r.bottom - r.top + 1);
    memoryDc.Select(bitmap);
    whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    memoryDc.Select(whiteBrush);
    whitePen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    memoryDc.Select(whitePen);
    SetBkMode(memoryDc, TRANSPARENT);
    if (hasLogFont) {
        // The same font on a DC of the same screen measures the same.
        font = CreateFontIndirectW(&logFont);
        memoryDc.Select(font);
        MeasureSpace(*this);
    } else {
        MeasureSpace(*this);
        // The default font of a fresh DC measures differently from the cached one.
        std::memset(widthCache, 0, sizeof(widthCache));
        ++fontGeneration;
    }
    void* block = GdipAlloc(sizeof(DrawSurfaceGdiplus));
    if (block) {
        gdiplus = static_cast<DrawSurfaceGdiplus*>(block);
        gdiplus->graphics = nullptr;
        gdiplus->status = GdipCreateFromHDC(memoryDc, &gdiplus->graphics);
    }
}

void DrawSurface::Release() {
    if (gdiplus) {
        // The graphics object refers to the DC: delete it before the DC goes.
        if (gdiplus->graphics) GdipDeleteGraphics(gdiplus->graphics);
        GdipFree(gdiplus);
        gdiplus = nullptr;
    }
    // The DC puts back its own objects first: then none of these is selected.
    memoryDc.Reset();
    bitmap.Reset();
    whiteBrush.Reset();
    whitePen.Reset();
    gutterPen.Reset();
    font.Reset();
    backgroundBrush.Reset();
}

void DrawSurface::Destroy() {
    Release();
    regionStack.clear();
    rectStack.clear();
}

void DrawSurface::SetFont(LOGFONTW lf) {
    // The font in use already: its measured widths stay.
    if (font && hasLogFont && std::memcmp(&lf, &logFont, sizeof(lf)) == 0) return;
    memoryDc.Replace(font, CreateFontIndirectW(&lf));
    memoryDc.Select(font);
    MeasureSpace(*this);
    std::memset(widthCache, 0, sizeof(widthCache));
    ++fontGeneration;
    logFont = lf;
    hasLogFont = true;
}

static void MirrorClip(DrawSurfaceGdiplus* g, HRGN region) {
    if (!g || !g->graphics) return;
    int status = region ? GdipSetClipHrgn(g->graphics, region, 0) : GdipResetClip(g->graphics);
    if (status != 0) g->status = status;
}

void DrawSurface::PushClip(const RECT& r) {
    RECT clip = r;
    if (!rectStack.empty()) {
        // Inclusive edges: intersect as half-open rectangles one pixel larger.
        RECT a{r.left, r.top, r.right + 1, r.bottom + 1};
        const RECT& back = rectStack.back();
        RECT b{back.left, back.top, back.right + 1, back.bottom + 1};
        RECT out{};
        if (IntersectRect(&out, &a, &b))
            clip = RECT{out.left, out.top, out.right - 1, out.bottom - 1};
        else
            clip = RECT{0, 0, 0, 0};
    }
    regionStack.emplace_back(CreateRectRgn(clip.left, clip.top, clip.right + 1, clip.bottom + 1));
    HRGN region = regionStack.back();
    if (memoryDc) SelectClipRgn(memoryDc, region);
    MirrorClip(gdiplus, region);
    rectStack.push_back(clip);
}

void DrawSurface::PopClip() {
    if (regionStack.empty()) return;
    regionStack.pop_back();
    if (!rectStack.empty()) rectStack.pop_back();
    HRGN back = regionStack.empty() ? nullptr : regionStack.back().Get();
    if (memoryDc) SelectClipRgn(memoryDc, back);
    MirrorClip(gdiplus, back);
}

int32_t DrawSurface::CharWidth(char16_t c) {
    uint16_t cached = widthCache[c];
    if (cached != 0) return cached - 1;
    int32_t w;
    if (c == u'\t') {
        w = 4 * spaceWidth;
    } else if (c == u'\n') {
        w = spaceWidth;
    } else if (c == u'\r') {
        w = 0;
    } else {
        SIZE size{};
        wchar_t unit = static_cast<wchar_t>(c);
        GetTextExtentPoint32W(memoryDc, &unit, 1, &size);
        ++gdiUnits;
        w = size.cx;
    }
    if (w < 0) w = 0;
    if (w > 0xFFFE) w = 0xFFFE;
    // Zero widths are remembered too (stored as width + 1).
    widthCache[c] = static_cast<uint16_t>(w + 1);
    return w;
}

int32_t DrawSurface::TextWidth(const char16_t* p, size_t n) {
    int64_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += CharWidth(p[i]);
    return static_cast<int32_t>(sum);
}

void DrawSurface::SetColours(COLORREF background, COLORREF gutterLine) {
    // The same colours: the brush and pen made for them stay.
    if (backgroundBrush && gutterPen && background == backgroundColour && gutterLine == gutterLineColour) return;
    backgroundColour = background;
    gutterLineColour = gutterLine;
    if (!memoryDc) return;
    memoryDc.Replace(backgroundBrush, CreateSolidBrush(background));
    memoryDc.Replace(gutterPen, CreatePen(PS_SOLID, 1, gutterLine));
}

void DrawSurface::FillBackground(const RECT& area) {
    if (!memoryDc) return;
    if (!backgroundBrush) SetColours(backgroundColour, gutterLineColour);
    SelectObject(memoryDc, backgroundBrush);
    HGDIOBJ pen = SelectObject(memoryDc, GetStockObject(NULL_PEN));
    Rectangle(memoryDc, area.left, area.top, area.right + 2, area.bottom + 2);
    SelectObject(memoryDc, pen);
}

void DrawSurface::DrawGutterLine(int x, int top, int bottom) {
    if (!memoryDc) return;
    if (!gutterPen) SetColours(backgroundColour, gutterLineColour);
    HGDIOBJ old = SelectObject(memoryDc, gutterPen);
    MoveToEx(memoryDc, x, top, nullptr);
    LineTo(memoryDc, x, bottom + 1);
    SelectObject(memoryDc, old);
}
