// The list of matching lines below the main pane: the listing as a job,
// showing and closing the list, the jump to a listed line, the splitter
// between the panes, the focus between them, and keeping the list in step
// with a reload.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <new>

#include "app/find_run.h"
#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/fill_in.h"
#include "view/window_dpi_win.h"

namespace {

constexpr int SplitterPixels = 6;  // at 96 dpi
constexpr int SmallestPane = 40;    // pixels at 96 dpi a drag leaves each pane at least

}  // namespace

void TextView::ListCommand() {
    if (searchText.empty()) {
        // Nothing to list yet: the Find dialog, to type it.
        SendMessageW(mainWindow, WM_COMMAND, IDM_FIND, 0);
        return;
    }
    if (!StartOrStop(*this, IDM_LIST_LINES) || !document.file.IsOpen()) return;
    if (!PatternUsable(*this, searchText, findOptions)) return;
    listPattern = searchText;
    listOptions = findOptions;
    listInverted = listInverse;
    ShowList();
    RunListing(0);
}

void TextView::RunListing(uint64_t from) {
    uint64_t added = 0, shown = listed.Size();
    SearchDetail detail;
    SearchResult r;
    listComplete = false;
    // Rows found since the list was drawn show at the next progress, the
    // first at once and then at most four times a second (under Wine each
    // update of a scroll bar costs milliseconds); rows below the screen
    // change only the scroll bar. The end draws them whatever the cadence.
    uint64_t drawAt = 0;
    auto showRows = [&](bool end) {
        const uint64_t now = GetTickCount64();
        if (listed.Size() == shown || (!end && now < drawAt)) return;
        drawAt = now + 250;
        const uint64_t before = shown;
        shown = listed.Size();
        listPane.UpdateGrowingScrollBars();
        if (before <= listPane.topLine + listPane.RowsOnScreen()) listPane.Invalidate();
    };
    {
        FindRun run(*this, Job::List);
        FindProgress progress = [&](uint64_t done, uint64_t total) {
            return run.Step(done, total, [&](unsigned pct) {
                showRows(false);
                SetFindStatus(UiText(IDS_LIST_PROGRESS, {DecimalText(pct), DecimalText(listed.Size())}));
            });
        };
        LineRunSink add = [&](uint64_t first, uint64_t count) {
            listed.AddRun(first, count);
            return true;
        };
        try {
            r = ListLines(document, listPattern, listOptions, listInverted, from, add, added, progress, &detail);
        } catch (const std::bad_alloc&) {
            r = SearchResult::Failed;
            detail.failure = SearchDetail::Failure::None;
        }
    }
    showRows(true);
    listPane.UpdateScrollRanges();
    listPane.UpdateScrollPositions();
    if (r == SearchResult::Cancelled) {
        SetFindStatus(UiText(IDS_LIST_CANCELLED, {DecimalText(listed.Size())}));
    } else if (r == SearchResult::Failed) {
        SetFindStatus(detail.failure == SearchDetail::Failure::None ? UiText(IDS_LIST_NO_MEMORY) : FailureText(*this, detail));
    } else {
        listComplete = true;
        SetFindStatus(UiText(IDS_LIST_DONE, {DecimalText(listed.Size())}));
    }
}

void TextView::JumpToListed(uint64_t row) {
    if (row >= listed.Size()) return;
    const uint64_t line = listed.LineAt(row);
    if (line >= document.lineCount) return;
    TextPosition hit{line, 0};
    SearchDetail detail;
    if (listInverted || FirstMatchInLine(document, line, listPattern, listOptions, hit, &detail) != SearchResult::Found) {
        hit = TextPosition{line, 0};
        detail.matchLength = 0;
    }
    pane.ShowLine(line);
    pane.anchor = pane.selStart = hit;
    pane.selEnd = TextPosition{line, hit.column + detail.matchLength};
    pane.EnsureVisible(pane.selStart);
    SetFocus(pane.hwnd);
}

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
    ClearListed();
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
    ClearListed();
    ShowWindow(listPane.hwnd, SW_HIDE);
    LayoutPanes();
    SetFocus(pane.hwnd);
}

void TextView::ClearListed() {
    listed.Clear();
    listedLines.Changed();
    listedLines.Drop();
    listPane.DropWidths();
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
        ShowList();
        RunListing(0);
    }
    listPane.Layout();
    listPane.Invalidate();
}
