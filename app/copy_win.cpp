// Selected text and the clipboard.
#include <cstring>
#include <functional>
#include <new>

#include "app/resource.h"
#include "app/text_view.h"
#include "app/ui_text.h"
#include "core/win_string.h"
#include "view/selection_text.h"

namespace {

// Puts length units on the clipboard, written by fill into its block (fill
// returns how many it wrote, at most length). Another program (a clipboard
// manager taking in what it just saw) may hold the clipboard for a moment:
// it is tried again for about half a second.
void PutOnClipboard(TextView& v, uint64_t length, const std::function<size_t(char16_t*)>& fill) {
    HWND owner = v.mainWindow ? v.mainWindow : v.pane.hwnd;
    HGLOBAL block = GlobalAlloc(GMEM_DDESHARE, static_cast<SIZE_T>((length + 1) * sizeof(char16_t)));
    char16_t* p = block ? static_cast<char16_t*>(GlobalLock(block)) : nullptr;
    bool memory = p != nullptr;
    if (p) {
        size_t written = 0;
        try {
            written = fill(p);
        } catch (const std::bad_alloc&) {
            memory = false;
        }
        p[written] = 0;
        GlobalUnlock(block);
    }
    if (!memory) {
        if (block) GlobalFree(block);
        MessageBoxW(owner, W(UiText(IDS_COPY_NO_MEMORY)), W(UiText(IDS_COPY_CAPTION)), MB_OK | MB_ICONWARNING);
        return;
    }
    bool open = OpenClipboard(v.pane.hwnd) != FALSE;
    for (int tries = 0; !open && tries < 25; ++tries) {
        Sleep(20);
        open = OpenClipboard(v.pane.hwnd) != FALSE;
    }
    if (!open) {
        GlobalFree(block);
        MessageBoxW(owner, W(UiText(IDS_COPY_BUSY)), W(UiText(IDS_COPY_CAPTION)), MB_OK | MB_ICONWARNING);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
    CloseClipboard();
}

}  // namespace

std::u16string TextView::SelectedText() { return ::SelectedText(document, pane.selStart, pane.selEnd); }

// The text is measured first and then written straight into the clipboard's
// block, piece by piece, so it is held in memory once. When its bytes allow
// more units than the limit, the count may take long: it handles the waiting
// messages as a job (first at once, then every 40 ms), and stops when the
// window closes or the document changes meanwhile.
void TextView::CopySelection() {
    const TextPosition from = pane.selStart, to = pane.selEnd;
    if (from == to || jobs.Refuses(IDM_COPY)) return;
    HWND owner = mainWindow ? mainWindow : pane.hwnd;
    uint64_t length;
    if (SelectedUnitsAtMost(document, from, to) <= CopyLimitUnits) {
        length = SelectedLength(document, from, to, CopyLimitUnits);
    } else {
        const std::u16string path = filePath;
        const Encoding encoding = document.encoding;
        const uint64_t lineCount = document.lineCount;
        const int64_t size = document.fileSize;
        JobRunner::Scope counting(jobs, Job::Copy);
        bool first = true;
        auto step = [&] {
            // The first step handles the waiting messages at once.
            if (first) {
                first = false;
                if (!jobs.Nested() && !jobs.Pump()) return false;
            } else if (!jobs.Step()) {
                return false;
            }
            return (!mainWindow || IsWindow(mainWindow)) && filePath == path && document.encoding == encoding &&
                   document.lineCount == lineCount && document.fileSize == size;
        };
        length = SelectedLength(document, from, to, CopyLimitUnits, step);
        counting.End();
        if (length == UINT64_MAX) return;
    }
    if (length > CopyLimitUnits) {
        MessageBoxW(owner, W(UiText(IDS_COPY_TOO_LARGE)), W(UiText(IDS_COPY_CAPTION)), MB_OK | MB_ICONWARNING);
        return;
    }
    PutOnClipboard(*this, length, [&](char16_t* p) {
        size_t written = 0;
        // At most length units: a file that changed meanwhile cannot overrun the block.
        WalkSelectedText(document, from, to, static_cast<size_t>(length), [&](const char16_t* units, size_t count) {
            std::memcpy(p + written, units, count * sizeof(char16_t));
            written += count;
        });
        return written;
    });
}

// The selected rows of the list, each from its line in the document: the
// first from the selection's column, the last to it, the others whole with
// their own line ends. It runs as a copy job, handling the waiting messages
// between rows, and stops when the window closes or the list changes.
void TextView::CopyListedSelection() {
    TextPosition from = listPane.selStart, to = listPane.selEnd;
    if (from == to || listed.Empty() || from.line >= listed.Size() || jobs.Refuses(IDM_COPY)) return;
    HWND owner = mainWindow ? mainWindow : listPane.hwnd;
    if (to.line >= listed.Size()) to = TextPosition{listed.Size() - 1, UINT64_MAX};
    std::u16string text;
    bool fits = to.line - from.line < CopyLimitUnits;  // every row but the last ends a line
    try {
        JobRunner::Scope copying(jobs, Job::Copy);
        const uint64_t rows = listed.Size();
        for (uint64_t r = from.line; fits && r <= to.line; ++r) {
            if (r % 4096 == 4095 && (!jobs.Step() || listed.Size() != rows)) return;
            const uint64_t line = listed.LineAt(r);
            const TextPosition a{line, r == from.line ? from.column : 0};
            const TextPosition b{line, r == to.line ? to.column : UINT64_MAX};
            fits = AppendSelectedText(document, a, b, CopyLimitUnits - text.size(), text);
        }
    } catch (const std::bad_alloc&) {
        MessageBoxW(owner, W(UiText(IDS_COPY_NO_MEMORY)), W(UiText(IDS_COPY_CAPTION)), MB_OK | MB_ICONWARNING);
        return;
    }
    if (!fits) {
        MessageBoxW(owner, W(UiText(IDS_COPY_TOO_LARGE)), W(UiText(IDS_COPY_CAPTION)), MB_OK | MB_ICONWARNING);
        return;
    }
    PutOnClipboard(*this, text.size(), [&](char16_t* p) {
        std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
        return text.size();
    });
}
