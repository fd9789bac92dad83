// A pane's text rectangle, rows per page, gutter width, the two scroll positions and
// the scroll bars, wheel scrolling and Ctrl+wheel zoom.
#include <cmath>

#include "view/scroll_map.h"
#include "view/text_pane.h"
#include "view/window_dpi_win.h"

static bool KeyDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

uint64_t TextPane::GutterReferenceLine() const {
    // The number the last row on screen shows, or would show past the end.
    const uint64_t row = topLine + RowsOnScreen(), last = LineCount() - 1;
    if (!lines.number) return row;
    return row <= last ? lines.number(row) : lines.number(last) + (row - last);
}

int32_t TextPane::LinesPerPage() const {
    if (surface.lineHeight <= 0) return 0;
    return TextHeight() / surface.lineHeight;
}

uint64_t TextPane::RowsOnScreen() const {
    if (surface.lineHeight <= 0 || TextHeight() <= 0) return 0;
    return static_cast<uint64_t>(std::ceil(static_cast<double>(TextHeight()) / surface.lineHeight));
}

int64_t TextPane::TextRangeWidth() const {
    // The estimate: 1.2 x spaceWidth x the longest line's length in code units.
    uint64_t length = lines.longest ? lines.longest() : 0;
    uint64_t product = static_cast<uint64_t>(static_cast<int64_t>(surface.spaceWidth)) * length;
    double estimate = static_cast<double>(product) * 1.2;
    int64_t range = estimate >= 4.0e18 ? int64_t(4) << 60 : static_cast<int64_t>(estimate);
    // Wide characters and tabs make a line wider than the estimate: the
    // range reaches the end of every line measured, with room for a tab.
    if (widestStamp == MetricsStamp() && widestMeasured > 0) {
        int64_t measured = widestMeasured + 4 * static_cast<int64_t>(surface.spaceWidth);
        if (measured > range) range = measured;
    }
    return range;
}

bool TextPane::ScaledHorizontalBar() const { return TextRangeWidth() > 0x7FFFFFFF; }

int32_t TextPane::MaxTextWidth() const {
    return ScaledHorizontalBar() ? scroll_map::ScaledRange - 1 : static_cast<int32_t>(TextRangeWidth());
}

int64_t TextPane::LastXOffset() {
    int64_t limit = TextRangeWidth() - 1 - (TextWidthPx() - EffectiveGutter());
    return limit < 0 ? 0 : limit;
}

int32_t TextPane::GutterWidth(uint64_t line) {
    char16_t units[24];
    int count = LineNumberDigits(line, units);
    int32_t width = surface.TextWidth(units, static_cast<size_t>(count)) + 3 * surface.spaceWidth;
    const int32_t least = ScaledPixels(minGutterWidth, dpi);
    return width > least ? width : least;
}

int32_t TextPane::EffectiveGutter() { return lineNumbersShown ? GutterWidth(GutterReferenceLine()) : 0; }

void TextPane::UpdateTextRect() {
    GetClientRect(hwnd, &clientRect);
    textRect = clientRect;
    textRect.left += marginLeft;
    textRect.top += marginTop;
    textRect.right += marginRight;
    textRect.bottom += marginBottom;
}

bool TextPane::ScaledVerticalBar() const { return scroll_map::IsScaled(LineCount(), extraLines); }

int32_t TextPane::ScaledBarPage() const {
    int32_t page = LinesPerPage();
    uint64_t extra = extraLines > 0 ? static_cast<uint64_t>(extraLines) : 0;
    return scroll_map::ScaledPage(page > 0 ? static_cast<uint64_t>(page) : 0, LineCount() + extra);
}

uint64_t TextPane::LastScrollableLine() const {
    int64_t page = 0;
    if (surface.lineHeight > 0) page = static_cast<int64_t>(static_cast<double>(TextHeight()) / surface.lineHeight);
    int64_t last = static_cast<int64_t>(LineCount()) + extraLines - page;
    return last < 0 ? 0 : static_cast<uint64_t>(last);
}

void TextPane::SendBar(int bar, const BarRequest& r) {
    const BarRequest needed = barRequests[bar == SB_VERT ? 0 : 1].Needed(r);
    if (!needed.Any()) return;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = (needed.setRange ? SIF_RANGE : 0u) | (needed.setPage ? SIF_PAGE : 0u) | (needed.setPos ? SIF_POS : 0u);
    si.nMin = needed.min;
    si.nMax = needed.max;
    si.nPage = needed.page;
    si.nPos = needed.pos;
    SetScrollInfo(hwnd, bar, &si, TRUE);
}

BarRequest TextPane::VerticalRange() const {
    BarRequest r;
    r.setRange = r.setPage = true;
    if (ScaledVerticalBar()) {
        r.max = scroll_map::ScaledRange - 1;
        r.page = static_cast<uint32_t>(ScaledBarPage());
    } else {
        r.max = static_cast<int32_t>(static_cast<uint32_t>(LineCount())) + extraLines;
        double page = surface.lineHeight > 0 ? static_cast<double>(TextHeight()) / surface.lineHeight : 0.0;
        r.page = page > 0 ? static_cast<uint32_t>(page) : 0;
    }
    return r;
}

BarRequest TextPane::HorizontalRange() {
    BarRequest r;
    r.setRange = r.setPage = true;
    r.max = MaxTextWidth();
    int32_t page = TextWidthPx() - EffectiveGutter() + 1;
    r.page = page > 0 ? static_cast<uint32_t>(page) : 0;
    if (ScaledHorizontalBar()) r.page = static_cast<uint32_t>(ScaledHorizontalPage());
    return r;
}

void TextPane::AddVerticalPosition(BarRequest& r) const {
    r.setPos = true;
    if (ScaledVerticalBar())
        r.pos = scroll_map::LineToBar(topLine, scroll_map::ScaledRange - ScaledBarPage(), LastScrollableLine());
    else
        r.pos = static_cast<int32_t>(static_cast<uint32_t>(topLine));
}

void TextPane::AddHorizontalPosition(BarRequest& r) {
    r.setPos = true;
    if (ScaledHorizontalBar())
        r.pos = scroll_map::LineToBar(static_cast<uint64_t>(xOffset), scroll_map::ScaledRange - ScaledHorizontalPage(),
                                      static_cast<uint64_t>(LastXOffset()));
    else
        r.pos = static_cast<int32_t>(xOffset);
}

void TextPane::UpdateScrollRanges() {
    if (!scrollBarsEnabled) return;
    SendBar(SB_VERT, VerticalRange());
    SendBar(SB_HORZ, HorizontalRange());
}

void TextPane::UpdateScrollBars() {
    if (!scrollBarsEnabled) return;
    BarRequest v = VerticalRange(), h = HorizontalRange();
    AddVerticalPosition(v);
    AddHorizontalPosition(h);
    SendBar(SB_VERT, v);
    SendBar(SB_HORZ, h);
}

int32_t TextPane::ScaledHorizontalPage() {
    int64_t page = TextWidthPx() - EffectiveGutter();
    return scroll_map::ScaledPage(page > 0 ? static_cast<uint64_t>(page) : 0,
                                  static_cast<uint64_t>(TextRangeWidth()));
}

void TextPane::UpdateScrollPositions() {
    if (!scrollBarsEnabled) return;
    BarRequest v, h;
    AddVerticalPosition(v);
    AddHorizontalPosition(h);
    SendBar(SB_VERT, v);
    SendBar(SB_HORZ, h);
}

bool TextPane::ScrollVertical(int32_t delta, bool redraw) { return ScrollVerticalBy(delta, redraw); }

bool TextPane::ScrollVerticalBy(int64_t delta, bool redraw) {
    if (delta == 0) return false;
    uint64_t old = topLine;
    uint64_t magnitude = delta < 0 ? 0 - static_cast<uint64_t>(delta) : static_cast<uint64_t>(delta);
    if (delta < 0 && magnitude > topLine) {
        topLine = 0;
    } else {
        topLine = delta < 0 ? topLine - magnitude : topLine + magnitude;
        uint64_t last = LastScrollableLine();
        if (topLine > last) topLine = last;
    }
    if (topLine != old && redraw) Invalidate();
    return topLine != old;
}

bool TextPane::ScrollHorizontal(int64_t delta, bool redraw) {
    if (delta == 0) return false;
    int64_t old = xOffset;
    int64_t offset = xOffset > 0 && delta < -xOffset ? 0 : xOffset + delta;
    if (offset < 0) {
        offset = 0;
    } else {
        int64_t limit = LastXOffset();
        if (offset > limit) offset = limit;
    }
    xOffset = offset;
    if (xOffset != old && redraw) Invalidate();
    return xOffset != old;
}

void TextPane::Invalidate() { InvalidateRect(hwnd, &clientRect, FALSE); }

void TextPane::Layout() {
    // What the pane keeps of lines and their widths stays: it is keyed by the
    // source's stamp and the font, which another file or font changes.
    UpdateTextRect();
    UpdateScrollBars();
    UpdateTextRect();
    RebuildSurface();
}

void TextPane::RebuildSurface() {
    RECT client{};
    GetClientRect(hwnd, &client);
    surface.Create(client);
    surface.SetColours(backgroundColor, gutterLineColor);
    surface.FillBackground(client);
    surface.SetFont(ScreenFont());
}

void TextPane::FitSurface() {
    if (!surface.memoryDc) return;  // not created yet
    RECT client{};
    GetClientRect(hwnd, &client);
    if (EqualRect(&client, &surface.rect)) return;
    UpdateTextRect();
    RebuildSurface();
    Invalidate();
}

static int32_t ClampToInt32(int64_t v) {
    if (v > 2147483647) return 2147483647;
    if (v < -2147483647 - 1) return -2147483647 - 1;
    return static_cast<int32_t>(v);
}

LRESULT TextPane::OnScroll(int bar, int request) {
    barRequests[bar == SB_VERT ? 0 : 1].ForgetPosition();  // set below without it
    SCROLLINFO si{};
    si.cbSize = sizeof(SCROLLINFO);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
    GetScrollInfo(hwnd, bar, &si);
    bool vertical = bar == SB_VERT;

    if (vertical && ScaledVerticalBar()) {
        // Bar units stand for many lines: steps move by lines, the thumb maps.
        uint64_t old = topLine;
        int32_t page = LinesPerPage();
        switch (request) {
        case SB_LINEUP: ScrollVerticalBy(-1, false); break;
        case SB_LINEDOWN: ScrollVerticalBy(1, false); break;
        case SB_PAGEUP: ScrollVerticalBy(-static_cast<int64_t>(page), false); break;
        case SB_PAGEDOWN: ScrollVerticalBy(page, false); break;
        case SB_THUMBTRACK:
            topLine = scroll_map::BarToLine(si.nTrackPos, scroll_map::ScaledRange - ScaledBarPage(),
                                            LastScrollableLine());
            break;
        case SB_TOP: topLine = 0; break;
        case SB_BOTTOM: topLine = LastScrollableLine(); break;
        default: break;
        }
        if (topLine != old) {
            UpdateScrollPositions();  // a tracked position maps back to itself
            Invalidate();
        }
        return 0;
    }

    if (!vertical && ScaledHorizontalBar()) {
        // Bar units stand for many pixels: steps move by pixels, the thumb maps.
        int64_t old = xOffset;
        int64_t page = TextWidthPx() - EffectiveGutter();
        switch (request) {
        case SB_LINELEFT: ScrollHorizontal(-surface.spaceWidth, false); break;
        case SB_LINERIGHT: ScrollHorizontal(surface.spaceWidth, false); break;
        case SB_PAGELEFT: ScrollHorizontal(-page, false); break;
        case SB_PAGERIGHT: ScrollHorizontal(page, false); break;
        case SB_THUMBTRACK:
            xOffset = static_cast<int64_t>(scroll_map::BarToLine(
                si.nTrackPos, scroll_map::ScaledRange - ScaledHorizontalPage(), static_cast<uint64_t>(LastXOffset())));
            break;
        case SB_LEFT: xOffset = 0; break;
        case SB_RIGHT: xOffset = LastXOffset(); break;
        default: break;
        }
        if (xOffset != old) {
            UpdateScrollPositions();
            Invalidate();
        }
        return 0;
    }

    int64_t pos = si.nPos;
    int64_t step = vertical ? 1 : surface.spaceWidth;
    int64_t next = pos;
    switch (request) {
    case SB_LINEUP: next = pos - step; break;
    case SB_LINEDOWN: next = pos + step; break;
    case SB_PAGEUP: next = pos - static_cast<int64_t>(si.nPage); break;
    case SB_PAGEDOWN: next = pos + static_cast<int64_t>(si.nPage); break;
    case SB_THUMBTRACK: next = si.nTrackPos; break;
    case SB_TOP: next = si.nMin; break;
    case SB_BOTTOM: next = si.nMax; break;
    default: break;  // SB_THUMBPOSITION, SB_ENDSCROLL
    }
    SCROLLINFO set{};
    set.cbSize = sizeof(SCROLLINFO);
    set.fMask = SIF_POS;
    set.nPos = ClampToInt32(next);
    SetScrollInfo(hwnd, bar, &set, FALSE);
    SCROLLINFO back{};
    back.cbSize = sizeof(SCROLLINFO);
    back.fMask = SIF_POS;
    GetScrollInfo(hwnd, bar, &back);
    if (back.nPos != si.nPos) {
        int64_t diff = static_cast<int64_t>(back.nPos) - si.nPos;
        if (vertical) {
            // A thumb left behind by a caller cannot take the top line below 0
            // nor past the last scrollable line.
            if (diff < 0 && static_cast<uint64_t>(-diff) > topLine) topLine = 0;
            else topLine += static_cast<uint64_t>(diff);
            if (topLine > LastScrollableLine()) topLine = LastScrollableLine();
            if (static_cast<int32_t>(static_cast<uint32_t>(topLine)) != back.nPos) UpdateScrollPositions();
        } else {
            int64_t offset = xOffset + diff;
            xOffset = offset < 0 ? 0 : offset;
        }
        Invalidate();
    }
    return 0;
}

void TextPane::Zoom(bool up) {
    if (font.lfHeight < 0) {
        // A character height (negative) from the font dialog zooms by its size.
        font.lfHeight += up ? -2 : 2;
        if (font.lfHeight > -8) font.lfHeight = -8;
    } else {
        font.lfHeight += up ? 2 : -2;
        if (font.lfHeight < 8) font.lfHeight = 8;
    }
    wheelPixels = 30 * surface.spaceWidth;
    surface.SetFont(ScreenFont());
    UpdateScrollBars();
    UpdateTextRect();
    Invalidate();
}

LOGFONTW TextPane::ScreenFont() const {
    LOGFONTW f = font;
    f.lfHeight = ScaledPixels(font.lfHeight, dpi);
    f.lfWidth = ScaledPixels(font.lfWidth, dpi);
    return f;
}

void TextPane::SetDpi(int32_t newDpi) {
    if (newDpi <= 0 || newDpi == dpi) return;
    dpi = newDpi;
    surface.lineSpacing = ScaledPixels(LineSpacing, dpi);
    SetFont(font);
}

void TextPane::SetFont(const LOGFONTW& f) {
    font = f;
    surface.SetFont(ScreenFont());
    wheelPixels = 30 * surface.spaceWidth;
    UpdateScrollBars();
    UpdateTextRect();
    Invalidate();
}

void TextPane::UpdateGrowingScrollBars() {
    if (!scrollBarsEnabled) return;
    // While lines are counted the thumb of a scaled bar moves as the count
    // grows (the position goes with the range either way: one request);
    // the horizontal bar keeps its page.
    BarRequest v = VerticalRange();
    AddVerticalPosition(v);
    SendBar(SB_VERT, v);
    BarRequest h;
    h.setRange = true;
    h.max = MaxTextWidth();
    SendBar(SB_HORZ, h);
}

LRESULT TextPane::OnMouseWheel(WPARAM wParam) {
    bool up = static_cast<int32_t>(static_cast<uint32_t>(wParam)) >= 0;
    if (KeyDown(VK_CONTROL)) {
        Zoom(up);
        return 0;
    }
    if (KeyDown(VK_SHIFT))
        ScrollHorizontal(up ? -wheelPixels : wheelPixels, true);
    else
        ScrollVertical(up ? -wheelLines : wheelLines, true);
    UpdateScrollPositions();
    return 0;
}
