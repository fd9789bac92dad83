// Painting of the text view: background, visible lines with tabs expanded,
// selection by inversion, the line-number gutter, and the copy to the screen.
#include "view/text_view.h"

void DrawSurface::DrawRun(int x, int y, const char16_t* p, size_t n) {
    size_t runStart = 0;
    int64_t runWidth = 0;
    int64_t pen = x;
    auto flush = [&](size_t end) {
        if (end > runStart) {
            TextOutW(memoryDc, static_cast<int>(pen), y, reinterpret_cast<const wchar_t*>(p + runStart),
                     static_cast<int>(end - runStart));
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

void DrawSurface::DrawLineFrom(int x, int y, int offset, int width, const char16_t* text, size_t n, size_t start,
                               int64_t startWidth, const uint64_t* spanStart, const uint64_t* spanEnd,
                               const RECT& row) {
    // First code unit whose right edge reaches the offset.
    size_t first = start;
    int64_t acc = startWidth;
    for (; first < n; ++first) {
        int32_t w = CharWidth(text[first]);
        if (acc + w >= offset) break;
        acc += w;
    }
    if (first >= n) return;

    // Units up to and including the one that reaches the right edge.
    size_t end = first;
    int64_t sum = acc;
    int64_t right = static_cast<int64_t>(width) + offset;
    while (end < n && sum < right) sum += CharWidth(text[end++]);

    DrawRun(static_cast<int>(x - offset + acc), y, text + first, end - first);

    uint64_t s = spanStart ? *spanStart : first;
    uint64_t e = spanEnd ? *spanEnd : n;
    if (s > n) s = n;
    if (e > n) e = n;
    if (s == e || e < first || s > end) return;
    uint64_t clampedStart = s < first ? first : s;
    uint64_t clampedEnd = e > end ? end : e;
    if (clampedEnd <= clampedStart) return;
    int64_t left = x + acc + TextWidth(text + first, static_cast<size_t>(clampedStart - first)) - offset;
    int64_t spanWidth = TextWidth(text + clampedStart, static_cast<size_t>(clampedEnd - clampedStart));
    RECT cells{static_cast<LONG>(left), row.top, static_cast<LONG>(left + spanWidth), row.bottom};
    InvertRect(memoryDc, &cells);
}

uint64_t TextView::MetricsStamp() const {
    uint64_t stamp = surface.fontGeneration;
    stamp ^= static_cast<uint64_t>(static_cast<uint32_t>(document.encoding)) << 32;
    stamp ^= static_cast<uint64_t>(document.fileSize) * 0x9E3779B97F4A7C15ull;
    return stamp;
}

int64_t TextView::PrefixWidth(uint64_t line, const std::u16string& text, size_t count) {
    return surface.lineMetrics.PrefixWidth(line, text.data(), text.size(), MetricsStamp(), count,
                                           [this](char16_t c) { return surface.CharWidth(c); });
}

const std::u16string& TextView::ViewLineText(uint64_t line) {
    static const std::u16string empty;
    if (line >= document.lineCount) return empty;
    if (document.indexing) emptyLastLine.lineCount = 0;  // a new index: forget
    const bool last = line == document.lineCount - 1 && !document.indexing;
    const bool cached = document.blockCache.find(line) != document.blockCache.end();
    if (last && !cached && emptyLastLine.lineCount == document.lineCount &&
        emptyLastLine.fileSize == document.fileSize && emptyLastLine.encoding == document.encoding &&
        emptyLastLine.path == filePath)
        return empty;
    const std::u16string& text = document.LineTextRef(line);
    if (last && !cached && text.empty())
        emptyLastLine = EmptyLastLine{document.lineCount, document.fileSize, document.encoding, filePath};
    return text;
}

static void FillBackground(DrawSurface& s, COLORREF color, const RECT& area) {
    // Select the new brush before freeing the old one: a selected object cannot be deleted.
    HBRUSH brush = CreateSolidBrush(color);
    SelectObject(s.memoryDc, brush);
    if (s.backgroundBrush) DeleteObject(s.backgroundBrush);
    s.backgroundBrush = brush;
    HGDIOBJ pen = SelectObject(s.memoryDc, GetStockObject(NULL_PEN));
    Rectangle(s.memoryDc, area.left, area.top, area.right + 2, area.bottom + 2);
    SelectObject(s.memoryDc, pen);
}

void TextView::Paint(HDC dc, const RECT& paintRect) {
    if (!surface.memoryDc) return;
    FillBackground(surface, backgroundColor, clientRect);
    SetTextColor(surface.memoryDc, textColor);

    uint64_t first = topLine;
    uint64_t last = topLine + RowsOnScreen();
    if (last > document.lineCount - 1) last = document.lineCount - 1;

    int32_t x0 = textRect.left + (lineNumbersShown ? GutterWidth(GutterReferenceLine()) : 0);
    RECT row{x0, textRect.top, textRect.right, textRect.top + surface.lineHeight};
    surface.PushClip(RECT{x0, textRect.top, textRect.right, textRect.bottom});
    if (x0 < textRect.right && first <= last) {
        const uint64_t stamp = MetricsStamp();
        const uint64_t none = 0;
        auto width = [this](char16_t c) { return surface.CharWidth(c); };
        for (uint64_t n = first;; ++n) {
            const std::u16string& text = ViewLineText(n);
            const uint64_t* spanStart = &none;
            const uint64_t* spanEnd = &none;  // empty span: nothing selected
            if (selStart.line <= n && n <= selEnd.line) {
                spanStart = n == selStart.line ? &selStart.column : nullptr;
                spanEnd = n == selEnd.line ? &selEnd.column : nullptr;
            }
            LineMetrics::Start from =
                surface.lineMetrics.Seek(n, text.data(), text.size(), stamp, xOffset, width);
            surface.DrawLineFrom(x0, row.top + surface.topPad, xOffset, TextWidthPx(), text.data(), text.size(),
                                 from.index, from.width, spanStart, spanEnd, row);
            OffsetRect(&row, 0, surface.lineHeight);
            if (n == last) break;
        }
    }
    surface.PopClip();
    DrawGutter(first, last);

    RECT r = paintRect;
    if (r.left == r.right || r.top == r.bottom) return;
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    RECT copy{};
    if (!IntersectRect(&copy, &r, &surface.rect)) return;
    BitBlt(dc, copy.left, copy.top, copy.right - copy.left + 1, copy.bottom - copy.top + 1, surface.memoryDc,
           copy.left - surface.rect.left, copy.top - surface.rect.top, SRCCOPY);
}

void TextView::DrawGutter(uint64_t first, uint64_t last) {
    if (!lineNumbersShown) return;
    HDC m = surface.memoryDc;
    surface.PushClip(textRect);
    int32_t x = textRect.left + GutterWidth(GutterReferenceLine()) - 3;
    SetTextColor(m, lineNumberColor);
    HPEN pen = CreatePen(PS_SOLID, 1, gutterLineColor);
    SelectObject(m, pen);
    if (surface.gutterPen) DeleteObject(surface.gutterPen);
    surface.gutterPen = pen;
    MoveToEx(m, x, textRect.top, nullptr);
    LineTo(m, x, textRect.bottom + 1);
    RECT cell{textRect.left, textRect.top, x, textRect.top + surface.lineHeight};
    if (first <= last) {
        for (uint64_t n = first;; ++n) {
            char16_t digits[24];
            int count = LineNumberDigits(n, digits);
            DrawTextW(m, reinterpret_cast<const wchar_t*>(digits), count, &cell, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
            OffsetRect(&cell, 0, surface.lineHeight);
            if (n == last) break;
        }
    }
    surface.PopClip();
}
