// The menu's states: the document commands enabled or not, and the marks of
// the encoding items (View as, Convert to, the byte-order mark), with the
// commands that set them.
#include <windows.h>

#include "app/resource.h"
#include "app/text_view.h"

namespace {

const UINT documentCommands[] = {
    IDM_COPY, IDM_SELECT_ALL, IDM_RELOAD, IDM_SAVE_AS, IDM_PRINT,
    IDM_VIEW_ANSI, IDM_VIEW_UTF8, IDM_VIEW_UTF16LE, IDM_VIEW_UTF16BE,
    IDM_CONVERT_ANSI, IDM_CONVERT_UTF8, IDM_CONVERT_UTF16LE, IDM_CONVERT_UTF16BE,
    IDM_STORE_BOM, IDM_FIND, IDM_GOTO, IDM_FIND_NEXT, IDM_FONT, IDM_LIST_LINES,
};

// Offset of the item that shows encoding e within its group of four.
UINT EncodingSlot(Encoding e) {
    switch (e) {
    case Encoding::Utf8Bom:
    case Encoding::Utf8: return 1;
    case Encoding::Utf16Le: return 2;
    case Encoding::Utf16Be: return 3;
    default: return 0;  // None, Ansi
    }
}

void CheckOneOf(HMENU menu, UINT first, UINT chosen) {
    for (UINT id = first; id < first + 4; ++id) CheckMenuItem(menu, id, MF_BYCOMMAND | MF_UNCHECKED);
    CheckMenuItem(menu, chosen, MF_BYCOMMAND | MF_CHECKED);
}

void CheckBom(HMENU menu, bool on) {
    CheckMenuItem(menu, IDM_STORE_BOM, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

} // namespace

void TextView::EnableCommands(bool enable, bool includeOpen) {
    HMENU menu = GetMenu(mainWindow);
    UINT state = MF_BYCOMMAND | (enable ? MF_ENABLED : MF_DISABLED);
    if (includeOpen) EnableMenuItem(menu, IDM_OPEN, state);
    for (UINT id : documentCommands) EnableMenuItem(menu, id, state);
}

void TextView::RefreshEncodingMenu() {
    EnableCommands(true, true);
    HMENU menu = GetMenu(mainWindow);
    CheckBom(menu, writeBom);
    CheckOneOf(menu, IDM_VIEW_ANSI, IDM_VIEW_ANSI + EncodingSlot(document.encoding));
    // The Convert-to mark shows what Save As will write; right after an open
    // that is the document's encoding.
    CheckOneOf(menu, IDM_CONVERT_ANSI, IDM_CONVERT_ANSI + EncodingSlot(saveEncoding));
}

void TextView::ViewAs(Encoding a, UINT item) {
    if (JobRunning()) return;
    Encoding e = document.encoding;
    HMENU menu = GetMenu(mainWindow);
    // The lines read otherwise now: a list shown is made again.
    const bool relist = listShown;
    if (e != Encoding::None && IsUtf16(a) != IsUtf16(e)) {
        std::u16string path = filePath;
        OpenDocument(path, a);
        // The open set new Save As defaults; keep their marks truthful.
        CheckOneOf(menu, IDM_CONVERT_ANSI, IDM_CONVERT_ANSI + EncodingSlot(saveEncoding));
        CheckBom(menu, writeBom);
    } else {
        document.encoding = a;
        document.redetect = false;  // chosen: a reload keeps it
        document.ClearCache();
        pane.Invalidate();
    }
    CheckOneOf(menu, IDM_VIEW_ANSI, item);
    if (relist && document.file.IsOpen()) {
        ShowList();
        RunListing(0);
    }
}

void TextView::ConvertTo(Encoding e, UINT item) {
    saveEncoding = e;
    CheckOneOf(GetMenu(mainWindow), IDM_CONVERT_ANSI, item);
}

void TextView::ToggleStoreWithBom() {
    writeBom = !writeBom;
    CheckBom(GetMenu(mainWindow), writeBom);
}
