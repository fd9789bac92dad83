// The list of matching lines below the main pane: showing and closing it,
// the splitter between the panes, the focus between them, and keeping the
// list in step with a reload.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>

#include "app/text_view.h"
#include "view/window_dpi_win.h"

namespace {

constexpr int SplitterPixels = 6;  // at 96 dpi
constexpr int SmallestPane = 40;    // pixels at 96 dpi a drag leaves each pane at least

}  // namespace

void TextView::ShowList() {
    if (!listPane.hwnd) {
        // Drawn like the main pane; its rows are the listed lines.
        listPane.extraLines = 0;
        listPane.backgroundColor = pane.backgroundColor;
        listPane.textColor = pane.textColor;
        listPane.gutterLineColor = pane.gutterLineColor;
        listPane.lineNumberColor = pane.lineNumberColor;
        listPane.minGutterWidth = pane.minGutterWidth;
        listPane.scrollBarsEnabled = pane.scrollBarsEnabled;
        listPane.wheelLines = pane.wheelLines;
        listPane.font = pane.font;
        listPane.lines = listedLines.Source();
        listedLines.screen = [this](uint64_t& first, uint64_t& last) {
            first = listPane.topLine;
            last = listPane.topLine + listPane.RowsOnScreen();
        };
        listPane.activate = [this](uint64_t row) { JumpToListed(row); };
        listPane.otherKey = [this](WPARAM vk) {
            if (vk == VK_TAB) SwitchPane();
            // During a listing Esc stops it (the job's pump) and the list stays.
            if (vk == VK_ESCAPE && !JobRunning()) CloseList();
        };
        listPane.focused = [this] { listFocused = true; };
        if (!listPane.Create(mainWindow, RECT{0, 0, 0, 0})) return;
    }
    listed.Clear();
    listedLines.Changed();
    listedLines.Drop();
    listPane.DropWidths();
    listPane.Reset();
    listShown = true;
    ShowWindow(listPane.hwnd, SW_SHOW);
    LayoutPanes();
    listPane.Invalidate();
}

void TextView::CloseList() {
    if (!listShown) return;
    listShown = false;
    listFocused = false;
    listComplete = false;
    listed.Clear();
    listedLines.Changed();
    listedLines.Drop();
    listPane.DropWidths();
    ShowWindow(listPane.hwnd, SW_HIDE);
    LayoutPanes();
    SetFocus(pane.hwnd);
}

void TextView::SwitchPane() {
    if (!listShown) return;
    SetFocus(GetFocus() == listPane.hwnd ? pane.hwnd : listPane.hwnd);
}

RECT TextView::SplitterRect() const {
    RECT rc{};
    GetClientRect(mainWindow, &rc);
    const int h = rc.bottom - rc.top, bar = ScaledPixels(SplitterPixels, pane.dpi);
    int list = listHeight > 0 ? listHeight : h / 3;
    list = std::max(0, std::min(list, h - bar));
    const int top = std::max(0, h - list - bar);
    return RECT{0, top, rc.right, std::min(h, top + bar)};
}

void TextView::LayoutPanes() {
    RECT rc{};
    GetClientRect(mainWindow, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (!listShown) {
        MoveWindow(pane.hwnd, 0, 0, w, h, TRUE);
        pane.Layout();
        return;
    }
    const RECT bar = SplitterRect();
    MoveWindow(pane.hwnd, 0, 0, w, bar.top, TRUE);
    MoveWindow(listPane.hwnd, 0, bar.bottom, w, h - bar.bottom, TRUE);
    pane.Layout();
    listPane.Layout();
    InvalidateRect(mainWindow, &bar, TRUE);
}

bool TextView::OnSplitterMouse(UINT msg, LPARAM lp) {
    const POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    switch (msg) {
    case WM_LBUTTONDOWN: {
        const RECT bar = SplitterRect();
        if (!listShown || !PtInRect(&bar, pt)) return false;
        SetCapture(mainWindow);
        splitterDragging = GetCapture() == mainWindow;
        return true;
    }
    case WM_MOUSEMOVE: {
        if (!splitterDragging) return false;
        RECT rc{};
        GetClientRect(mainWindow, &rc);
        const int h = rc.bottom - rc.top, bar = ScaledPixels(SplitterPixels, pane.dpi);
        const int least = ScaledPixels(SmallestPane, pane.dpi);
        listHeight = std::max(std::min(h - int(pt.y) - bar / 2, h - bar - least), std::min(least, h));
        LayoutPanes();
        return true;
    }
    case WM_LBUTTONUP:
        if (!splitterDragging) return false;
        splitterDragging = false;
        ReleaseCapture();
        return true;
    default:
        return false;
    }
}

void TextView::KeepListAfterReload(bool reloaded) {
    if (!listShown) return;
    if (!reloaded) {
        CloseList();  // the file is gone: nothing is listed any more
        return;
    }
    if (document.reloadAppended) {
        // A listing the user stopped stays as it was.
        if (!listComplete) return;
        // The lines from the first one the append may have changed are listed anew.
        listed.DropFrom(document.unchangedLines);
        listedLines.Changed();
        listPane.DropWidths();
        RunListing(document.unchangedLines);
    } else {
        listed.Clear();
        listedLines.Changed();
        listedLines.Drop();
        listPane.DropWidths();
        listPane.Reset();
        RunListing(0);
    }
    listPane.Layout();
    listPane.Invalidate();
}
