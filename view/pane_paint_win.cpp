// Painting of a text pane: background, visible lines with tabs expanded,
// selection by inversion, the line-number gutter, and the copy to the screen.
#include "view/text_pane.h"
#include "view/window_dpi_win.h"

void DrawSurface::DrawRun(int x, int y, const char16_t* p, size_t n) {
    size_t runStart = 0;
    int64_t runWidth = 0;
    int64_t pen = x;
    auto flush = [&](size_t end) {
        if (end > runStart) {
            TextOutW(memoryDc, static_cast<int>(pen), y, reinterpret_cast<const wchar_t*>(p + runStart),
                     static_cast<int>(end - runStart));
            gdiUnits += end - runStart;
            pen += runWidth;
        }
        runWidth = 0;
    };
    for (size_t i = 0; i < n; ++i) {
        char16_t c = p[i];
        if (c == u'\t') {
            flush(i);
            pen += CharWidth(c);
            runStart = i + 1;
        } else if (c == u'\n' || c == u'\r') {
            flush(i);
            runStart = i + 1;
        } else {
            runWidth += CharWidth(c);
        }
    }
    flush(n);
}

void DrawSurface::DrawLine(int x, int y, int offset, int width, const std::u16string& text,
                           const uint64_t* spanStart, const uint64_t* spanEnd, const RECT& row) {
    DrawLineFrom(x, y, offset, width, text.data(), text.size(), 0, 0, spanStart, spanEnd, row);
}

void DrawSurface::DrawLineFrom(int x, int y, int64_t offset, int width, const char16_t* text, size_t n,
                               uint64_t base, int64_t baseWidth, const uint64_t* spanStart, const uint64_t* spanEnd,
                               const RECT& row) {
    // First code unit whose right edge reaches the offset.
    size_t first = 0;
    int64_t acc = baseWidth;
    for (; first < n; ++first) {
        int32_t w = CharWidth(text[first]);
        if (acc + w >= offset) break;
        acc += w;
    }
    if (first >= n) return;

    // Units up to and including the one that reaches the right edge, and no
    // more than a row can show (a run of zero-width marks ends there too).
    size_t end = first;
    int64_t sum = acc;
    int64_t right = static_cast<int64_t>(width) + offset;
    size_t most = n - first < RowUnits(width) ? n : first + RowUnits(width);
    while (end < most && sum < right) sum += CharWidth(text[end++]);

    const int64_t left0 = x - offset + acc;  // within a row's pixels
    DrawRun(static_cast<int>(left0), y, text + first, end - first);

    // Span in the units of this text.
    const uint64_t lineEnd = base + n;
    uint64_t s = spanStart ? *spanStart : base + first;
    uint64_t e = spanEnd ? *spanEnd : lineEnd;
    s = s < base ? 0 : s > lineEnd ? n : s - base;
    e = e < base ? 0 : e > lineEnd ? n : e - base;
    if (s == e || e < first || s > end) return;
    uint64_t clampedStart = s < first ? first : s;
    uint64_t clampedEnd = e > end ? end : e;
    if (clampedEnd <= clampedStart) return;
    int64_t left = left0 + TextWidth(text + first, static_cast<size_t>(clampedStart - first));
    int64_t spanWidth = TextWidth(text + clampedStart, static_cast<size_t>(clampedEnd - clampedStart));
    RECT cells{static_cast<LONG>(left), row.top, static_cast<LONG>(left + spanWidth), row.bottom};
    InvertRect(memoryDc, &cells);
}

static void CopyToScreen(DrawSurface& surface, HDC dc, const RECT& paintRect) {
    RECT r = paintRect;
    if (r.left == r.right || r.top == r.bottom) return;
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    RECT copy{};
    if (!IntersectRect(&copy, &r, &surface.rect)) return;
    BitBlt(dc, copy.left, copy.top, copy.right - copy.left + 1, copy.bottom - copy.top + 1, surface.memoryDc,
           copy.left - surface.rect.left, copy.top - surface.rect.top, SRCCOPY);
}

void TextPane::Paint(HDC dc, const RECT& paintRect) {
    if (!surface.memoryDc) return;
    surface.FillBackground(clientRect);
    SetTextColor(surface.memoryDc, textColor);

    uint64_t first = topLine;
    uint64_t last = topLine + RowsOnScreen();
    if (last > LineCount() - 1) last = LineCount() - 1;

    int32_t x0 = textRect.left + (lineNumbersShown ? GutterWidth(GutterReferenceLine()) : 0);
    RECT row{x0, textRect.top, textRect.right, textRect.top + surface.lineHeight};
    surface.PushClip(RECT{x0, textRect.top, textRect.right, textRect.bottom});
    const int64_t rangeBefore = TextRangeWidth();
    // The width cache holds every line of the screen and as many more.
    surface.lineMetrics.KeepLines(2 * static_cast<size_t>(RowsOnScreen() + 1));
    if (x0 < textRect.right && first <= last) {
        const uint64_t stamp = MetricsStamp();
        const uint64_t none = 0;
        const int width = TextWidthPx();
        auto measure = [this](char16_t c) { return surface.CharWidth(c); };
        for (uint64_t n = first;; ++n) {
            const uint64_t length = ViewLineLength(n);
            auto units = [this, n](uint64_t from, size_t k) { return ViewLineUnits(n, from, k); };
            const uint64_t* spanStart = &none;
            const uint64_t* spanEnd = &none;  // empty span: nothing selected
            if (selStart.line <= n && n <= selEnd.line) {
                spanStart = n == selStart.line ? &selStart.column : nullptr;
                spanEnd = n == selEnd.line ? &selEnd.column : nullptr;
            }
            // A painted line is measured whole once, so that the range reaches its end.
            LineWidth(n);
            LineMetrics::Start from = surface.lineMetrics.Seek(n, length, stamp, xOffset, units, measure);
            // The first visible unit lies within reach of the checkpoint.
            size_t count = 0;
            const char16_t* text =
                ViewLineUnits(n, from.index, static_cast<size_t>(from.reach) + DrawSurface::RowUnits(width), &count);
            surface.DrawLineFrom(x0, row.top + surface.topPad, xOffset, width, text, count, from.index, from.width,
                                 spanStart, spanEnd, row);
            OffsetRect(&row, 0, surface.lineHeight);
            if (n == last) break;
        }
    }
    surface.PopClip();
    DrawGutter(first, last);

    CopyToScreen(surface, dc, paintRect);
    // A wider line than the range covered was painted: let the bar reach it.
    if (TextRangeWidth() != rangeBefore) UpdateScrollRanges();
}

void TextPane::DrawGutter(uint64_t first, uint64_t last) {
    if (!lineNumbersShown) return;
    HDC m = surface.memoryDc;
    surface.PushClip(textRect);
    int32_t x = textRect.left + GutterWidth(GutterReferenceLine()) - ScaledPixels(3, dpi);
    SetTextColor(m, lineNumberColor);
    surface.DrawGutterLine(x, textRect.top, textRect.bottom);
    RECT cell{textRect.left, textRect.top, x, textRect.top + surface.lineHeight};
    if (first <= last) {
        for (uint64_t n = first;; ++n) {
            char16_t digits[24];
            int count = LineNumberDigits(lines.number ? lines.number(n) : n, digits);
            DrawTextW(m, reinterpret_cast<const wchar_t*>(digits), count, &cell, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            OffsetRect(&cell, 0, surface.lineHeight);
            if (n == last) break;
        }
    }
    surface.PopClip();
}
