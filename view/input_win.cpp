// The Text2 window procedure: keys, mouse selection, hit testing and keeping
// a position in view.
#include "app/resource.h"
#include "view/text_view.h"
#include "view/word_select.h"

static bool KeyDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// Commands of other parts go through the main window's command table, so
// that a shortcut does exactly what its menu item does.
static void SendCommand(HWND mainWindow, int id) {
    if (mainWindow) SendMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

LRESULT CALLBACK TextView::WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    TextView* view = reinterpret_cast<TextView*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (!view) return DefWindowProcW(w, msg, wp, lp);
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(w, &ps);
        view->Paint(dc, ps.rcPaint);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        return 0;
    case WM_KEYDOWN:
        view->HandleKey(wp);
        return 0;
    case WM_SYSKEYDOWN:
        // System keys the view does not use keep their default handling:
        // Alt+F4 closes the main window, F10 and Alt open its menus.
        if (view->HandleKey(wp)) return 0;
        return DefWindowProcW(w, msg, wp, lp);
    case WM_SIZE:
        // A scroll bar shown or hidden after a zoom or a font change resizes
        // the client area without a resize of the main window.
        view->FitSurface();
        return 0;
    case WM_CAPTURECHANGED:
        view->dragging = false;
        return 0;
    case WM_KEYUP:
    case WM_CHAR:
    case WM_DESTROY:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_USER:
        return 0;
    case WM_VSCROLL:
        return view->OnScroll(SB_VERT, LOWORD(wp));
    case WM_HSCROLL:
        return view->OnScroll(SB_HORZ, LOWORD(wp));
    case WM_MOUSEWHEEL:
        return view->OnMouseWheel(wp);
    case WM_MOUSEMOVE:
        // Only a drag that began with a press in this pane extends the
        // selection: a button still held from a click elsewhere (the
        // double-click that closed the Open dialog) does not.
        if (view->dragging && GetCapture() == w) {
            TextPosition p = view->HitTest();
            view->ExtendTo(p);
            view->EnsureVisible(p);
        }
        return 0;
    case WM_LBUTTONDOWN: {
        TextPosition p = view->HitTest();
        if (KeyDown(VK_SHIFT)) {
            view->ExtendTo(p);
        } else {
            view->anchor = view->selStart = view->selEnd = p;
        }
        view->Invalidate();
        SetFocus(w);
        SetCapture(w);
        view->dragging = GetCapture() == w;
        return 0;
    }
    case WM_LBUTTONUP:
        view->dragging = false;
        ReleaseCapture();
        return 0;
    case WM_LBUTTONDBLCLK: {
        TextPosition p = view->HitTest();
        if (KeyDown(VK_SHIFT)) {
            view->ExtendTo(p);
        } else {
            WordSelection word = view->WordAt(p);
            view->anchor = word.anchor;
            view->selStart = word.selStart;
            view->selEnd = word.selEnd;
        }
        view->Invalidate();
        return 0;
    }
    default:
        return DefWindowProcW(w, msg, wp, lp);
    }
}

bool TextView::HandleKey(WPARAM vk) {
    if (KeyDown(VK_CONTROL)) {
        switch (vk) {
        case VK_END: MoveToEnd(); break;
        case VK_HOME: MoveToStart(); break;
        case 'A': SelectAll(); break;
        case 'C': SendCommand(mainWindow, IDM_COPY); break;
        case 'F': SendCommand(mainWindow, IDM_FIND); break;
        case 'G': SendCommand(mainWindow, IDM_GOTO); break;
        case 'O': SendCommand(mainWindow, IDM_OPEN); break;
        case 'P': SendCommand(mainWindow, IDM_PRINT); break;
        case 'S': SendCommand(mainWindow, IDM_SAVE_AS); break;
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
    case VK_F5: SendCommand(mainWindow, IDM_RELOAD); break;
    default: return false;
    }
    return true;
}

void TextView::MeasureLine(uint64_t line) {
    const int64_t before = TextRangeWidth();
    LineWidth(line);
    if (TextRangeWidth() != before) UpdateScrollRanges();
}

TextPosition TextView::HitTest() {
    POINT pt{};
    GetCursorPos(&pt);
    ScreenToClient(hwnd, &pt);
    TextPosition result;
    int32_t row = surface.lineHeight > 0 ? (pt.y - textRect.top) / surface.lineHeight : 0;
    int64_t line = static_cast<int64_t>(topLine) + row;
    if (line < 0) line = 0;
    else if (static_cast<uint64_t>(line) > document.lineCount - 1) line = static_cast<int64_t>(document.lineCount - 1);
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

void TextView::EnsureVisible(const TextPosition& p) {
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

void TextView::ExtendTo(const TextPosition& p) {
    if (anchor < p) {
        selStart = anchor;
        selEnd = p;
    } else {
        selStart = p;
        selEnd = anchor;
    }
}

void TextView::MoveToStart() {
    anchor = selStart = selEnd = TextPosition{0, 0};
    EnsureVisible(selStart);
}

void TextView::MoveToEnd() {
    anchor = selStart = selEnd = TextPosition{document.lineCount, 0};
    EnsureVisible(selStart);
}

void TextView::SelectAll() {
    uint64_t last = document.lineCount - 1;
    uint64_t length = ViewLineLength(last);
    anchor = selStart = TextPosition{0, 0};
    selEnd = TextPosition{last, length};
    Invalidate();
}

TextView::WordSelection TextView::WordAt(const TextPosition& p) {
    WordSelection result{p, p, p};
    uint64_t base = 0;
    WordRange word;
    if (document.IsLongLine(p.line)) {
        // A word of a long line is looked for in the piece around the column.
        const uint64_t reach = 4096;
        base = p.column > reach ? p.column - reach : 0;
        size_t count = 0;
        const char16_t* units = ViewLineUnits(p.line, base, static_cast<size_t>(p.column - base + reach), &count);
        word = ::WordAt(std::u16string(units, count), p.column - base);
    } else {
        word = ::WordAt(ViewLineText(p.line), p.column);
    }
    if (!word.found) return result;
    result.anchor = result.selStart = TextPosition{p.line, base + word.lo};
    result.selEnd = TextPosition{p.line, base + word.hi};
    return result;
}
