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
    default: return false;
    }
    return true;
}

static size_t VisibleLength(const std::u16string& text) {
    size_t n = text.size();
    while (n > 0 && (text[n - 1] == u'\r' || text[n - 1] == u'\n')) --n;
    return n;
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

    int64_t rem = static_cast<int64_t>(xOffset) + pt.x - (textRect.left + EffectiveGutter());
    const std::u16string& text = ViewLineText(result.line);
    const char16_t* p = text.data();
    size_t n = text.size();
    // Line texts hold CR and LF only as their terminator, which ends the walk.
    size_t visible = VisibleLength(text);
    auto width = [this](char16_t c) { return surface.CharWidth(c); };
    LineMetrics::Start from = surface.lineMetrics.Seek(result.line, p, n, MetricsStamp(), rem, width);
    if (from.index > visible) from = surface.lineMetrics.Before(result.line, p, n, MetricsStamp(), visible, width);
    size_t i = from.index;
    rem -= from.width;
    for (; i < n; ++i) {
        char16_t c = p[i];
        if (c == u'\r' || c == u'\n') break;
        int32_t w = surface.CharWidth(c);
        if (rem > w) {
            rem -= w;
            continue;
        }
        result.column = rem > w / 2 ? i + 1 : i;
        return result;
    }
    result.column = i;
    return result;
}

static int32_t ClampDelta(int64_t v) {
    if (v > 2147483647) return 2147483647;
    if (v < -2147483647 - 1) return -2147483647 - 1;
    return static_cast<int32_t>(v);
}

void TextView::EnsureVisible(const TextPosition& p) {
    int64_t page = LinesPerPage();
    // The whole 64-bit distance is scrolled, not a 32-bit remainder of it.
    if (topLine != 0 && p.line < topLine) {
        ScrollVerticalBy(-static_cast<int64_t>(topLine - p.line), false);
    } else if (static_cast<int64_t>(topLine) + page < static_cast<int64_t>(p.line)) {
        ScrollVerticalBy(static_cast<int64_t>(p.line - topLine) - page, false);
    }

    const std::u16string& text = ViewLineText(p.line);
    size_t count = p.column < text.size() ? static_cast<size_t>(p.column) : text.size();
    int64_t x = PrefixWidth(p.line, text, count);
    int64_t space = surface.spaceWidth;
    if (x < xOffset) {
        int64_t target = x - space > 0 ? x - space : 0;
        ScrollHorizontal(ClampDelta(target - xOffset), false);
    } else {
        int64_t right = static_cast<int64_t>(textRect.right) - (textRect.left + EffectiveGutter()) + xOffset;
        if (right < x + space) ScrollHorizontal(ClampDelta(x + space - right), false);
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
    uint64_t length = document.IsLongLine(last) ? document.LineLength(last) : ViewLineText(last).size();
    anchor = selStart = TextPosition{0, 0};
    selEnd = TextPosition{last, length};
    Invalidate();
}

TextView::WordSelection TextView::WordAt(const TextPosition& p) {
    WordSelection result{p, p, p};
    WordRange word = ::WordAt(ViewLineText(p.line), p.column);
    if (!word.found) return result;
    result.anchor = result.selStart = TextPosition{p.line, word.lo};
    result.selEnd = TextPosition{p.line, word.hi};
    return result;
}
