// A text pane: one child window showing the lines of a line source, with its
// geometry, scroll state, selection, painting and mouse and key input. It
// knows nothing of files, commands or other windows: its lines come through
// PaneLines, and commands reach the main window through the accelerator
// table, never through the pane.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "core/text_position.h"
#include "view/bar_requests.h"
#include "view/draw_surface.h"
#include "view/pane_lines.h"

class TextPane {
public:
    PaneLines lines;
    // Set by the owner when a row means something more: double-click or
    // Enter on a row.
    std::function<void(uint64_t line)> activate;
    // A key the pane has no use for (Tab, Esc): the owner's.
    std::function<void(WPARAM vk)> otherKey;
    // The pane got the keyboard focus.
    std::function<void()> focused;

    // Registers the window class once and creates the pane as a child of
    // parent; the window gets this object at WM_NCCREATE.
    bool Create(HWND parent, const RECT& r);
    static const wchar_t ClassName[];

    // --- geometry and scrolling (view/pane_geometry_win.cpp) ---
    HWND hwnd = nullptr;
    RECT clientRect{};
    int32_t marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
    RECT textRect{};
    uint64_t topLine = 0;
    int64_t xOffset = 0;           // 64-bit: a line may be wider than 2^31 pixels
    int32_t extraLines = 15;
    bool lineNumbersShown = true;
    int32_t scrollBarsEnabled = 1;
    int32_t wheelLines = 9;
    int32_t wheelPixels = 0;
    int32_t minGutterWidth = 48;   // pixels at 96 dpi
    // The font as designed at 96 dpi (its height in 96-dpi pixels, so a
    // point size): the screen gets it scaled to the monitor's dpi, a printer
    // to its own.
    LOGFONTW font{};
    // Dots per inch of the monitor the pane is on (96 at 100 %).
    int32_t dpi = 96;
    // Pixels between rows at 96 dpi.
    static constexpr int32_t LineSpacing = 3;
    DrawSurface surface;
    // font at dpi.
    LOGFONTW ScreenFont() const;
    // The monitor's dpi changed (or was first read): font, widths and ranges follow.
    void SetDpi(int32_t newDpi);

    uint64_t LineCount() const { return lines.count ? lines.count() : 1; }
    int32_t TextHeight() const { return textRect.bottom - textRect.top; }
    int32_t TextWidthPx() const { return textRect.right - textRect.left; }
    int32_t LinesPerPage() const;
    uint64_t RowsOnScreen() const;
    uint64_t GutterReferenceLine() const;
    // Pixel width the horizontal range covers: the estimate from the longest
    // line, and at least the widest line measured so far plus some room.
    int64_t TextRangeWidth() const;
    // The horizontal bar's maximum: TextRangeWidth when it fits the bar,
    // else the bar is scaled (ScaledHorizontalBar).
    int32_t MaxTextWidth() const;
    bool ScaledHorizontalBar() const;
    // Largest xOffset scrolling may reach.
    int64_t LastXOffset();
    // Thumb size of the scaled horizontal bar.
    int32_t ScaledHorizontalPage();
    // The widest line measured under the current metrics stamp.
    int64_t widestMeasured = 0;
    uint64_t widestStamp = 0;
    // Takes the width of a measured line into the range; true when it grew.
    bool NoteLineWidth(int64_t width);
    int32_t EffectiveGutter();
    int32_t GutterWidth(uint64_t line);
    void UpdateTextRect();
    void UpdateScrollRanges();
    void UpdateScrollPositions();
    // Ranges, pages and positions, one request per bar.
    void UpdateScrollBars();
    // What the bars were last asked (vertical, horizontal): a request that
    // changes nothing is not sent.
    BarRequests barRequests[2];
    void SendBar(int bar, const BarRequest& r);
    BarRequest VerticalRange() const;
    BarRequest HorizontalRange();
    void AddVerticalPosition(BarRequest& r) const;
    void AddHorizontalPosition(BarRequest& r);
    // The bars while lines are still being counted: ranges only, as often as
    // progress is drawn.
    void UpdateGrowingScrollBars();
    bool ScrollVertical(int32_t delta, bool redraw);
    // 64-bit jump used where a distance may exceed 32 bits.
    bool ScrollVerticalBy(int64_t delta, bool redraw);
    bool ScrollHorizontal(int64_t delta, bool redraw);
    void Layout();
    // Rebuilds the drawing surface when the client area no longer matches it.
    void FitSurface();
    // The drawing surface for the current client area, with background and font.
    void RebuildSurface();
    LRESULT OnScroll(int bar, int request);
    LRESULT OnMouseWheel(WPARAM wParam);
    void Invalidate();
    // Zoom step of Ctrl+wheel; up is away from the user.
    void Zoom(bool up);
    // A new font (the Font dialog; its height at 96 dpi): measured, ranges
    // and bars follow.
    void SetFont(const LOGFONTW& f);
    // Last top line that scrolling may reach (lineCount + extraLines - page).
    uint64_t LastScrollableLine() const;
    // The vertical bar maps bar units onto lines when lineCount does not fit it.
    bool ScaledVerticalBar() const;
    int32_t ScaledBarPage() const;
    // The 1-based decimal number of a 0-based line; returns the digit count.
    static int LineNumberDigits(uint64_t line, char16_t* out);

    // --- painting (view/pane_paint_win.cpp), measuring (view/pane_measure_win.cpp) ---
    COLORREF backgroundColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(39, 65, 62);
    COLORREF gutterLineColor = RGB(165, 165, 165);
    COLORREF lineNumberColor = RGB(43, 145, 175);
    void Paint(HDC dc, const RECT& paintRect);
    void DrawGutter(uint64_t first, uint64_t last);
    // Identity of the current font and of the source's text, for the
    // per-line width cache.
    uint64_t MetricsStamp() const;
    // Length of a line in code units, its line end included.
    uint64_t ViewLineLength(uint64_t line);
    // The code units [from, from + count) of a line (count clamped to its
    // end); valid until the next call.
    const char16_t* ViewLineUnits(uint64_t line, uint64_t from, size_t count, size_t* got = nullptr);
    // Width of the first count code units of a line.
    int64_t PrefixWidth(uint64_t line, uint64_t count);
    // Width of a whole line (its line end included), taken into the range.
    int64_t LineWidth(uint64_t line);
    // Forgets the widths measured: the lines may read otherwise.
    void DropWidths();

    // --- input and selection (view/pane_input_win.cpp) ---
    TextPosition anchor;
    TextPosition selStart;
    TextPosition selEnd;
    bool dragging = false;         // the pane holds the capture from its own button press
    // Carries out a navigation key; false when the key has no use here.
    bool HandleKey(WPARAM vk);
    TextPosition HitTest();
    // Measures a line whole and widens the horizontal range to it if needed.
    void MeasureLine(uint64_t line);
    void EnsureVisible(const TextPosition& p);
    // A line brought on screen (Go to) when it is not shown: scrolled by the
    // whole distance, the bar's thumb following.
    void ShowLine(uint64_t line);
    void ExtendTo(const TextPosition& p);
    void MoveToStart();
    void MoveToEnd();
    void SelectAll();
    // Puts the place and the selection back to the start (a new source).
    void Reset();
    struct WordSelection {
        TextPosition anchor, selStart, selEnd;
    };
    WordSelection WordAt(const TextPosition& p);

    // One handler per message.
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void OnPaint();
    void OnLeftButtonDown();
    void OnLeftButtonDoubleClick();
    void OnMouseMove();

private:
    static LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
};
