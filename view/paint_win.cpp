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

uint64_t TextView::MetricsStamp() const {
    // Bytes appended to the file leave the stamp: the lines they reach are
    // dropped from the width cache by the reload.
    uint64_t stamp = surface.fontGeneration;
    stamp ^= static_cast<uint64_t>(static_cast<uint32_t>(document.encoding)) << 32;
    stamp ^= document.generation * 0xC2B2AE3D27D4EB4Full;
    return stamp;
}

void TextView::DropViewText() {
    viewBlocks.clear();
    viewBlocks.shrink_to_fit();
    viewPiece.clear();
    viewPiece.shrink_to_fit();
    surface.lineMetrics.Clear();
}

void TextView::TrimViewBlocks(uint64_t reading, uint64_t adding) {
    const uint64_t stride = document.indexStride ? document.indexStride : 100;
    const uint64_t firstShown = topLine / stride, lastShown = (topLine + RowsOnScreen()) / stride;
    for (;;) {
        uint64_t total = adding;
        size_t others = 0;
        ViewBlock* oldest = nullptr;
        bool stale = false;  // of another document or encoding: it goes anyway
        for (ViewBlock& b : viewBlocks) {
            total += b.units;
            const bool other = b.generation != document.generation || b.encoding != document.encoding;
            if (!other && (b.block == reading || (b.block >= firstShown && b.block <= lastShown))) continue;
            ++others;
            if (!oldest || (other && !stale) || (other == stale && b.lastUse < oldest->lastUse)) {
                oldest = &b;
                stale = other;
            }
        }
        if (!oldest || (!stale && others <= 1 && total <= viewBlockBudget)) return;
        viewBlocks.erase(viewBlocks.begin() + (oldest - viewBlocks.data()));
    }
}

const std::u16string& TextView::ViewLineText(uint64_t line) {
    static const std::u16string empty;
    const LineIndex& index = document.lineIndex;
    if (line >= document.lineCount || index.empty()) return empty;
    const uint64_t stride = document.indexStride ? document.indexStride : 100;
    const uint64_t j = line / stride;
    if (j >= index.size()) return empty;
    // A line of a long block is read in pieces (ViewLineUnits); its text
    // here is the bounded prefix the document gives.
    if (document.IsLongLine(line)) return document.LineTextRef(line);
    // The same bounds ReadBlock takes: a block whose bytes moved is another block.
    const bool lastBlock = j + 1 >= index.size();
    const int64_t start = index[j];
    const int64_t end = !lastBlock ? index[j + 1] : document.indexing ? index.back() : document.fileSize;
    for (size_t i = 0; i < viewBlocks.size(); ++i) {
        ViewBlock& b = viewBlocks[i];
        if (b.block != j) continue;
        if (b.start == start && b.end == end && b.encoding == document.encoding &&
            b.generation == document.generation) {
            b.lastUse = ++viewBlockClock;
            auto it = b.lines.find(line);
            if (it != b.lines.end()) return it->second;
            if (b.whole) return empty;  // after a NUL or the final line end
        }
        // Other bytes or an incomplete read: free it before reading again.
        viewBlocks.erase(viewBlocks.begin() + i);
        break;
    }
    // Room first, so that the read does not come on top of blocks it drops.
    const uint64_t bytes = static_cast<uint64_t>(end - start);
    TrimViewBlocks(j, IsUtf16(document.encoding) ? bytes / 2 : bytes);
    ViewBlock block;
    block.lines = document.ReadBlock(line);
    ++viewBlockReads;
    for (const auto& entry : block.lines) block.units += entry.second.size();
    block.whole = document.blockComplete && (!lastBlock || !document.indexing);
    block.block = j;
    block.start = start;
    block.end = end;
    block.encoding = document.encoding;
    block.generation = document.generation;
    block.lastUse = ++viewBlockClock;
    viewBlocks.push_back(std::move(block));
    TrimViewBlocks(j, 0);
    for (ViewBlock& b : viewBlocks) {
        if (b.block != j) continue;
        auto it = b.lines.find(line);
        return it != b.lines.end() ? it->second : empty;
    }
    return empty;
}

uint64_t TextView::ViewLineLength(uint64_t line) {
    if (document.IsLongLine(line)) return document.LineLength(line);
    return ViewLineText(line).size();
}

const char16_t* TextView::ViewLineUnits(uint64_t line, uint64_t from, size_t count, size_t* got) {
    if (document.IsLongLine(line)) {
        const uint64_t n = document.LineLength(line);
        if (from > n) from = n;
        if (count > n - from) count = static_cast<size_t>(n - from);
        viewPiece = document.LinePiece(line, from, count);
        // A file changed under the view may give less: measure blanks then.
        if (viewPiece.size() != count) viewPiece.resize(count, u' ');
        if (got) *got = count;
        return viewPiece.data();
    }
    const std::u16string& text = ViewLineText(line);
    if (from > text.size()) from = text.size();
    if (count > text.size() - from) count = static_cast<size_t>(text.size() - from);
    if (got) *got = count;
    return text.data() + from;
}

int64_t TextView::PrefixWidth(uint64_t line, uint64_t count) {
    const uint64_t n = ViewLineLength(line);
    return surface.lineMetrics.PrefixWidth(
        line, n, MetricsStamp(), count,
        [this, line](uint64_t from, size_t k) { return ViewLineUnits(line, from, k); },
        [this](char16_t c) { return surface.CharWidth(c); });
}

int64_t TextView::LineWidth(uint64_t line) {
    const uint64_t n = ViewLineLength(line);
    int64_t width = surface.lineMetrics.Total(
        line, n, MetricsStamp(), [this, line](uint64_t from, size_t k) { return ViewLineUnits(line, from, k); },
        [this](char16_t c) { return surface.CharWidth(c); });
    NoteLineWidth(width);
    return width;
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
