// The modeless Find dialog and the modal Go-to dialog.
#include "app/find_dialogs.h"

#include <cstdlib>

#include "app/resource.h"
#include "app/text_view.h"
#include "core/win_string.h"
#include "view/selection_text.h"

namespace {

TextView* ViewOf(HWND dlg) { return reinterpret_cast<TextView*>(GetWindowLongPtrW(dlg, GWLP_USERDATA)); }

HINSTANCE InstanceOf(const TextView& v) { return v.instance ? v.instance : GetModuleHandleW(nullptr); }

void ReadSearchText(HWND dlg, TextView& v) {
    wchar_t buf[FindTextMax + 1];
    int n = GetDlgItemTextW(dlg, IDC_FIND_TEXT, buf, FindTextMax + 1);
    v.searchText = U16(buf, n > 0 ? size_t(n) : 0);
}

bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

} // namespace

void CentreOverOwner(HWND dlg) {
    HWND owner = GetWindow(dlg, GW_OWNER);
    if (!owner) return;
    RECT d{}, o{};
    GetWindowRect(dlg, &d);
    GetWindowRect(owner, &o);
    const int w = d.right - d.left, h = d.bottom - d.top;
    const int x = o.left + ((o.right - o.left) - w) / 2;
    const int y = o.top + ((o.bottom - o.top) - h) / 2;
    MoveWindow(dlg, x, y, w, h, FALSE);
}

uint64_t GoToTargetLine(const wchar_t* text, uint64_t lineCount) {
    const int64_t n = _wcstoi64(text, nullptr, 10);
    uint64_t t = static_cast<uint64_t>(n) - 1;  // 0, negatives and non-numbers wrap past the end
    if (lineCount == 0) return 0;
    if (t >= lineCount) t = lineCount - 1;
    return t;
}

INT_PTR CALLBACK FindDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, GWLP_USERDATA, lp);
        CentreOverOwner(dlg);
        return TRUE;
    case WM_CLOSE:
        ShowWindow(dlg, SW_HIDE);
        return FALSE;
    case WM_COMMAND: {
        TextView* v = ViewOf(dlg);
        switch (LOWORD(wp)) {
        case IDC_FIND_TEXT:
            if (v) ReadSearchText(dlg, *v);
            return TRUE;
        case IDC_WHOLE_WORD:
            if (v) v->findOptions.wholeWord = Checked(dlg, IDC_WHOLE_WORD);
            return TRUE;
        case IDC_MATCH_CASE:
            if (v) v->findOptions.matchCase = Checked(dlg, IDC_MATCH_CASE);
            return TRUE;
        case IDC_WRAP_AROUND:
            if (v) v->findOptions.wrapAround = Checked(dlg, IDC_WRAP_AROUND);
            return TRUE;
        case IDC_REGEX:
            if (v) v->findOptions.regex = Checked(dlg, IDC_REGEX);
            return TRUE;
        case IDC_FIND_NEXT:
            if (v) v->FindNext();
            return TRUE;
        case IDC_FIND_PREVIOUS:
            if (v) v->FindPrevious();
            return TRUE;
        case IDC_COUNT:
            if (v) v->CountMatches();
            return TRUE;
        case IDC_LIST_LINES:
            if (v) v->ListCommand();
            return TRUE;
        case IDC_INVERSE:
            if (v) v->listInverse = Checked(dlg, IDC_INVERSE);
            return TRUE;
        case IDCANCEL:
            // Esc: a running search stops, the dialog goes.
            if (v && (v->jobs.Searching())) v->jobs.cancel = true;
            ShowWindow(dlg, SW_HIDE);
            return TRUE;
        default:
            return FALSE;
        }
    }
    default:
        return FALSE;
    }
}

void TextView::OpenFindDialog() {
    if (!findDialog) {
        // The edit's notifications while the dialog is made would read its
        // empty text into searchText.
        const std::u16string text = searchText;
        HWND d = CreateDialogParamW(InstanceOf(*this), MAKEINTRESOURCEW(IDD_FIND), pane.hwnd, FindDialogProc,
                                    reinterpret_cast<LPARAM>(this));
        if (!d) return;
        findDialog = d;
        jobs.ownedDialog = d;
        searchText = text;
    }
    // Only the first FindTextMax units can become the search text, so a huge
    // selection is not assembled whole.
    std::u16string seed;
    if (&FocusedPane() != &listPane) {
        AppendSelectedText(document, pane.selStart, pane.selEnd, FindTextMax, seed);
    } else if (listPane.selStart.line == listPane.selEnd.line && listPane.selStart.line < listed.Size()) {
        const uint64_t line = listed.LineAt(listPane.selStart.line);
        AppendSelectedText(document, TextPosition{line, listPane.selStart.column},
                           TextPosition{line, listPane.selEnd.column}, FindTextMax, seed);
    }
    if (!seed.empty()) searchText = seed;
    CheckDlgButton(findDialog, IDC_WHOLE_WORD, findOptions.wholeWord ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(findDialog, IDC_MATCH_CASE, findOptions.matchCase ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(findDialog, IDC_WRAP_AROUND, findOptions.wrapAround ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(findDialog, IDC_REGEX, findOptions.regex ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(findDialog, IDC_INVERSE, listInverse ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(findDialog, IDC_FIND_TEXT, W(searchText));
    ReadSearchText(findDialog, *this);  // the edit's change notification does the same
    ShowWindow(findDialog, SW_SHOWNORMAL);
    // Showing a dialog that is already visible does not activate it everywhere
    // (Wine leaves it behind the main window after a click there).
    SetActiveWindow(findDialog);
    // Typing replaces the search text.
    SendMessageW(findDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(findDialog, IDC_FIND_TEXT)), TRUE);
}

INT_PTR CALLBACK GoToDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        CentreOverOwner(dlg);
        SetWindowLongPtrW(dlg, GWLP_USERDATA, lp);
        SetDlgItemTextW(dlg, IDC_GOTO_LINE, L"1");
        HWND edit = GetDlgItem(dlg, IDC_GOTO_LINE);
        PostMessageW(edit, EM_SETSEL, 0, -1);
        SetFocus(edit);
        return FALSE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            if (TextView* v = ViewOf(dlg)) {
                wchar_t buf[255];
                if (GetDlgItemTextW(dlg, IDC_GOTO_LINE, buf, 255) <= 0) buf[0] = 0;
                v->pane.ShowLine(GoToTargetLine(buf, v->document.lineCount));
            }
            EndDialog(dlg, 0);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, 0);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR TextView::ShowGoToDialog() {
    return DialogBoxParamW(InstanceOf(*this), MAKEINTRESOURCEW(IDD_GOTO), pane.hwnd, GoToDialogProc,
                           reinterpret_cast<LPARAM>(this));
}
