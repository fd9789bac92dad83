// Selected text and the clipboard.
#include <cstring>
#include <new>

#include "core/win_string.h"
#include "view/selection_text.h"
#include "view/text_view.h"

std::u16string TextView::SelectedText() { return ::SelectedText(document, selStart, selEnd); }

void TextView::CopySelection() {
    if (selStart == selEnd) return;
    std::u16string text;
    bool fits = false, memory = true;
    try {
        fits = AppendSelectedText(document, selStart, selEnd, CopyLimitUnits, text);
    } catch (const std::bad_alloc&) {
        memory = false;
    }
    if (!fits || !memory) {
        text.clear();
        text.shrink_to_fit();
        MessageBoxW(mainWindow ? mainWindow : hwnd,
                    memory ? L"选中的文本超过 256 MiB，无法复制到剪贴板。请选择较少的文本后再复制。"
                           : L"内存不足，无法复制选中的文本。请选择较少的文本后再复制。",
                    L"复制", MB_OK | MB_ICONWARNING);
        return;
    }
    if (!OpenClipboard(hwnd)) return;
    EmptyClipboard();
    const size_t bytes = (text.size() + 1) * sizeof(char16_t);
    HGLOBAL block = GlobalAlloc(GMEM_DDESHARE, bytes);
    if (block) {
        void* p = GlobalLock(block);
        if (p) {
            std::memcpy(p, text.c_str(), bytes);
            GlobalUnlock(block);
            if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);
        } else {
            GlobalFree(block);
        }
    }
    CloseClipboard();
}
