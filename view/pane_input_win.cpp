// A pane's window: its class, the message handlers, keys, mouse selection,
// hit testing and keeping a position in view.
#include "view/text_pane.h"
#include "view/window_dpi_win.h"
#include "view/word_select.h"

static bool KeyDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

const wchar_t TextPane::ClassName[] = L"Text2";

bool TextPane::Create(HWND parent, const RECT& r) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW tc{};
        tc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
        tc.lpfnWndProc = WindowProc;
        tc.hInstance = GetModuleHandleW(nullptr);
        tc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        tc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        tc.lpszClassName = ClassName;
        registered = RegisterClassW(&tc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
    // The pane's own settings must hold before its first message.
    lineNumbersShown = false;
    for (BarRequests& b : barRequests) b.Forget();
    HWND w = CreateWindowExW(0, ClassName, ClassName, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
                             r.left, r.top, r.right - r.left, r.bottom - r.top, parent, nullptr,
                             GetModuleHandleW(nullptr), this);
    if (!w) return false;
    surface.window = hwnd;
    dpi = WindowDpi(hwnd);
    surface.lineSpacing = ScaledPixels(LineSpacing, dpi);
    UpdateTextRect();
    surface.Create(textRect);
    surface.SetColours(backgroundColor, gutterLineColor);
    surface.SetFont(ScreenFont());
    wheelPixels = 30 * surface.spaceWidth;
    lineNumbersShown = true;
    return true;
}

LRESULT CALLBACK TextPane::WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* pane = static_cast<TextPane*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pane));
        if (pane) pane->hwnd = w;
    }
    TextPane* pane = reinterpret_cast<TextPane*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (!pane) return DefWindowProcW(w, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        pane->hwnd = nullptr;
        return DefWindowProcW(w, msg, wp, lp);
    }
    return pane->OnMessage(msg, wp, lp);
}

LRESULT TextPane::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: OnPaint(); return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return 0;
    case WM_KEYDOWN:
        if (!HandleKey(wp) && otherKey) otherKey(wp);
        return 0;
    case WM_SYSKEYDOWN:
        // System keys the pane does not use keep their default handling:
        // Alt+F4 closes the main window, F10 and Alt open its menus.
        if (HandleKey(wp)) return 0;
        return DefWindowProcW(hwnd, msg, wp, lp);
    case WM_SIZE:
        // A scroll bar shown or hidden after a zoom or a font change resizes
        // the client area without a resize of the main window.
        FitSurface();
        return 0;
    case WM_CAPTURECHANGED:
        dragging = false;
        return 0;
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SETFOCUS:
        if (focused) focused();
        return 0;
    case WM_DESTROY:
    case WM_KILLFOCUS:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_USER:
        return 0;
    case WM_VSCROLL: return OnScroll(SB_VERT, LOWORD(wp));
    case WM_HSCROLL: return OnScroll(SB_HORZ, LOWORD(wp));
    case WM_MOUSEWHEEL: return OnMouseWheel(wp);
    case WM_MOUSEMOVE: OnMouseMove(); return 0;
    case WM_LBUTTONDOWN: OnLeftButtonDown(); return 0;
    case WM_LBUTTONUP:
        dragging = false;
        ReleaseCapture();
        return 0;
    case WM_LBUTTONDBLCLK: OnLeftButtonDoubleClick(); return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void TextPane::OnPaint() {
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(hwnd, &ps);
    Paint(dc, ps.rcPaint);
    EndPaint(hwnd, &ps);
}

void TextPane::OnMouseMove() {
    // Only a drag that began with a press in this pane extends the
    // selection: a button still held from a click elsewhere (the
    // double-click that closed the Open dialog) does not.
    if (!dragging || GetCapture() != hwnd) return;
    TextPosition p = HitTest();
    ExtendTo(p);
    EnsureVisible(p);
}

void TextPane::OnLeftButtonDown() {
    TextPosition p = HitTest();
    if (KeyDown(VK_SHIFT)) {
        ExtendTo(p);
    } else {
        anchor = selStart = selEnd = p;
    }
    Invalidate();
    SetFocus(hwnd);
    SetCapture(hwnd);
    dragging = GetCapture() == hwnd;
}

void TextPane::OnLeftButtonDoubleClick() {
    TextPosition p = HitTest();
    if (activate) {
        activate(p.line);
        return;
    }
    if (KeyDown(VK_SHIFT)) {
        ExtendTo(p);
    } else {
        WordSelection word = WordAt(p);
        anchor = word.anchor;
        selStart = word.selStart;
        selEnd = word.selEnd;
    }
    Invalidate();
}

// Navigation keys only: commands and their shortcuts are the accelerator
// table's.
bool TextPane::HandleKey(WPARAM vk) {
    if (KeyDown(VK_CONTROL)) {
        switch (vk) {
        case VK_END: MoveToEnd(); break;
        case VK_HOME: MoveToStart(); break;
        default: return false;
        }
        return true;
    }
    switch (vk) {
    case VK_PRIOR:
        ScrollVertical(-LinesPerPage(), true);
        UpdateScrollPositions();
        break;
    case VK_NEXT:
        ScrollVertical(LinesPerPage(), true);
        UpdateScrollPositions();
        break;
    case VK_END: MoveToEnd(); break;
    case VK_HOME: MoveToStart(); break;
    case VK_RETURN:
        if (!activate) return false;
        activate(selStart.line);
        break;
    default: return false;
    }
    return true;
}

void TextPane::MeasureLine(uint64_t line) {
    const int64_t before = TextRangeWidth();
    LineWidth(line);
    if (TextRangeWidth() != before) UpdateScrollRanges();
}

TextPosition TextPane::HitTest() {
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(hwnd, &pt);
    TextPosition result;
    int32_t row = surface.lineHeight > 0 ? (pt.y - textRect.top) / surface.lineHeight : 0;
    int64_t line = static_cast<int64_t>(topLine) + row;
    if (line < 0) line = 0;
    else if (static_cast<uint64_t>(line) > LineCount() - 1) line = static_cast<int64_t>(LineCount() - 1);
    result.line = static_cast<uint64_t>(line);

    int64_t rem = xOffset + pt.x - (textRect.left + EffectiveGutter());
    MeasureLine(result.line);
    const uint64_t n = ViewLineLength(result.line);
    // Line texts hold CR and LF only as their terminator, which ends the walk.
    uint64_t visible = n;
    size_t tailCount = 0;
    const char16_t* tail = ViewLineUnits(result.line, n >= 2 ? n - 2 : 0, 2, &tailCount);
    while (tailCount > 0 && (tail[tailCount - 1] == u'\r' || tail[tailCount - 1] == u'\n')) {
        --tailCount;
        --visible;
    }
    auto units = [this, &result](uint64_t from, size_t k) { return ViewLineUnits(result.line, from, k); };
    auto width = [this](char16_t c) { return surface.CharWidth(c); };
    const uint64_t stamp = MetricsStamp();
    LineMetrics::Start from = surface.lineMetrics.Seek(result.line, n, stamp, rem, units, width);
    if (from.index > visible) from = surface.lineMetrics.Before(result.line, n, stamp, visible, units, width);
    rem -= from.width;
    // The hit, or the line's end, lies within reach of the checkpoint.
    size_t count = 0;
    const char16_t* p = ViewLineUnits(result.line, from.index, static_cast<size_t>(from.reach) + 2, &count);
    size_t i = 0;
    for (; i < count; ++i) {
        char16_t c = p[i];
        if (c == u'\r' || c == u'\n') break;
        int32_t w = surface.CharWidth(c);
        if (rem > w) {
            rem -= w;
            continue;
        }
        result.column = from.index + (rem > w / 2 ? i + 1 : i);
        return result;
    }
    result.column = from.index + i;
    return result;
}

void TextPane::EnsureVisible(const TextPosition& p) {
    int64_t page = LinesPerPage();
    // The whole 64-bit distance is scrolled, not a 32-bit remainder of it.
    if (topLine != 0 && p.line < topLine) {
        ScrollVerticalBy(-static_cast<int64_t>(topLine - p.line), false);
    } else if (static_cast<int64_t>(topLine) + page < static_cast<int64_t>(p.line)) {
        ScrollVerticalBy(static_cast<int64_t>(p.line - topLine) - page, false);
    }

    // The line is measured first, so that the range reaches the position.
    MeasureLine(p.line);
    int64_t x = PrefixWidth(p.line, p.column);
    int64_t space = surface.spaceWidth;
    if (x < xOffset) {
        int64_t target = x - space > 0 ? x - space : 0;
        ScrollHorizontal(target - xOffset, false);
    } else {
        int64_t right = static_cast<int64_t>(textRect.right) - (textRect.left + EffectiveGutter()) + xOffset;
        if (right < x + space) ScrollHorizontal(x + space - right, false);
    }
    UpdateScrollPositions();
    Invalidate();
}

void TextPane::ShowLine(uint64_t line) {
    const uint64_t top = topLine;
    if (top <= line && line <= top + RowsOnScreen()) return;
    ScrollVerticalBy(static_cast<int64_t>(line - top), true);
    UpdateScrollPositions();
    Invalidate();
}

void TextPane::ExtendTo(const TextPosition& p) {
    if (anchor < p) {
        selStart = anchor;
        selEnd = p;
    } else {
        selStart = p;
        selEnd = anchor;
    }
}

void TextPane::MoveToStart() {
    anchor = selStart = selEnd = TextPosition{0, 0};
    EnsureVisible(selStart);
}

void TextPane::MoveToEnd() {
    anchor = selStart = selEnd = TextPosition{LineCount(), 0};
    EnsureVisible(selStart);
}

void TextPane::SelectAll() {
    uint64_t last = LineCount() - 1;
    uint64_t length = ViewLineLength(last);
    anchor = selStart = TextPosition{0, 0};
    selEnd = TextPosition{last, length};
    Invalidate();
}

TextPane::WordSelection TextPane::WordAt(const TextPosition& p) {
    WordSelection result{p, p, p};
    uint64_t base = 0;
    WordRange word;
    if (lines.isLong && lines.isLong(p.line)) {
        // A word of a long line is looked for in the piece around the column.
        const uint64_t reach = 4096;
        base = p.column > reach ? p.column - reach : 0;
        size_t count = 0;
        const char16_t* units = ViewLineUnits(p.line, base, static_cast<size_t>(p.column - base + reach), &count);
        word = ::WordAt(std::u16string(units, count), p.column - base);
    } else {
        size_t count = 0;
        const char16_t* units = ViewLineUnits(p.line, 0, static_cast<size_t>(ViewLineLength(p.line)), &count);
        word = ::WordAt(std::u16string(units, count), p.column);
    }
    if (!word.found) return result;
    result.anchor = result.selStart = TextPosition{p.line, base + word.lo};
    result.selEnd = TextPosition{p.line, base + word.hi};
    return result;
}

void TextPane::Reset() {
    topLine = 0;
    xOffset = 0;
    anchor = selStart = selEnd = TextPosition{};
}
