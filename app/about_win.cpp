// The About box: centred over its owner; the link opens in the browser.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "app/text_view.h"

INT_PTR CALLBACK AboutDlgProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        RECT own, parent;
        GetWindowRect(w, &own);
        GetWindowRect(GetParent(w), &parent);
        int width = own.right - own.left;
        int height = own.bottom - own.top;
        int left = parent.left + ((parent.right - parent.left) - width) / 2;
        int top = parent.top + ((parent.bottom - parent.top) - height) / 2;
        MoveWindow(w, left, top, width, height, FALSE);
        return TRUE;
    }
    case WM_NOTIFY: {
        const NMHDR* hdr = reinterpret_cast<const NMHDR*>(lp);
        if (hdr->code == NM_CLICK || hdr->code == NM_RETURN) {
            const NMLINK* link = reinterpret_cast<const NMLINK*>(lp);
            ShellExecuteW(nullptr, L"open", link->item.szUrl, nullptr, nullptr, SW_SHOW);
        }
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
            EndDialog(w, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
