// The main window: creation of the text pane, the command table, the Open,
// Reload and Font commands, dropped files and closing.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cwchar>

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

#include "app/resource.h"
#include "app/text_view.h"
#include "core/win_string.h"

namespace {

// View-as and Convert-to items map to encodings in the same order.
Encoding ItemEncoding(UINT first, UINT item) {
    static const Encoding order[] = {Encoding::Ansi, Encoding::Utf8Bom, Encoding::Utf16Le, Encoding::Utf16Be};
    return order[item - first];
}

} // namespace

HWND TextView::CreateMainWindow(HINSTANCE inst) {
    instance = inst;
    LoadStringW(inst, IDS_APP_TITLE, titleBuffer, 100);
    LoadStringW(inst, IDC_TOMEVIEW, classBuffer, 100);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = inst;
    wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(IDI_TOMEVIEW));
    wc.hIconSm = LoadIconW(inst, MAKEINTRESOURCEW(IDI_SMALL));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDC_TOMEVIEW);
    wc.lpszClassName = classBuffer;
    RegisterClassExW(&wc);

    // Every shortcut is in the accelerator table; long jobs translate it in
    // their pump too.
    jobs.accelerators = LoadAcceleratorsW(inst, MAKEINTRESOURCEW(IDC_TOMEVIEW));
    return CreateWindowExW(0, classBuffer, titleBuffer, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                           nullptr, nullptr, inst, this);
}

void TextView::SetPaneDefaults() {
    pane.extraLines = 15;
    pane.backgroundColor = RGB(255, 255, 255);
    pane.textColor = RGB(39, 65, 62);
    pane.gutterLineColor = RGB(165, 165, 165);
    pane.lineNumberColor = RGB(43, 145, 175);
    pane.minGutterWidth = 48;
    pane.scrollBarsEnabled = 1;
    pane.wheelLines = 9;
    pane.font = LOGFONTW{};
    pane.font.lfHeight = 16;
    pane.font.lfWeight = FW_NORMAL;
    pane.font.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(pane.font.lfFaceName, L"Courier New", LF_FACESIZE - 1);
}

void TextView::OnMainCreate(HWND w) {
    mainWindow = w;
    jobs.mainWindow = w;
    RECT rc;
    GetClientRect(w, &rc);
    SetPaneDefaults();
    pane.focused = [this] { listFocused = false; };
    pane.otherKey = [this](WPARAM vk) {
        if (vk == VK_TAB) SwitchPane();
    };
    pane.Create(w, rc);
}

void TextView::OnMainSize() {
    LayoutPanes();
    if (focusPending) {
        SetFocus(pane.hwnd);
        focusPending = false;
    }
}

void TextView::OpenCommand() {
    if (JobRunning()) return;  // a running open or print keeps the menu as it is
    EnableCommands(false, true);
    if (ShowOpenDialog()) {
        RefreshEncodingMenu();
    } else {
        EnableMenuItem(GetMenu(mainWindow), IDM_OPEN, MF_BYCOMMAND | MF_ENABLED);
    }
}

void TextView::ReloadCommand() {
    if (JobRunning()) return;
    if (ReloadDocument()) {
        RefreshEncodingMenu();
    } else if (!document.file.IsOpen()) {
        // The file is gone: as after a failed open, only Open is left.
        EnableCommands(false, false);
    }
}

void TextView::FontCommand() {
    if (JobRunning()) return;  // a job measures and draws with the font it started with
    // The dialog works on a copy: some systems rewrite the record even when
    // the user cancels, and a cancel must leave the font as it was.
    // The dialog shows and gives the font at the screen's dpi; the pane keeps
    // it at 96 dpi, so that it keeps its point size on every monitor.
    LOGFONTW chosen = pane.ScreenFont();
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof(cf);
    cf.hwndOwner = pane.hwnd;
    cf.lpLogFont = &chosen;
    cf.rgbColors = pane.textColor;
    cf.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS;
    if (!ChooseFontW(&cf)) return;
    chosen.lfHeight = MulDiv(chosen.lfHeight, 96, pane.dpi);
    chosen.lfWidth = MulDiv(chosen.lfWidth, 96, pane.dpi);
    pane.textColor = cf.rgbColors;
    pane.SetFont(chosen);
    if (listPane.hwnd) {
        listPane.textColor = cf.rgbColors;
        listPane.SetFont(chosen);
    }
}

void TextView::DropFiles(HDROP drop) {
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    // The path at its full length: a cut one could name another file.
    std::wstring path;
    if (count > 0) {
        path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
        path.resize(DragQueryFileW(drop, 0, &path[0], static_cast<UINT>(path.size())));
    }
    DragFinish(drop);
    // A drop during a running scan or print is ignored; the job keeps the document.
    if (count == 0 || JobRunning()) return;
    EnableCommands(false, true);
    if (OpenDocument(U16(path.c_str(), path.size()), Encoding::None)) {
        RefreshEncodingMenu();
    } else {
        EnableMenuItem(GetMenu(mainWindow), IDM_OPEN, MF_BYCOMMAND | MF_ENABLED);
    }
}

bool TextView::OpenFromCommandLine(const wchar_t* commandLine) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(commandLine, &argc);
    if (!argv) return false;
    bool opened = false;
    if (argc >= 2) {
        opened = OpenDocument(U16(argv[1]), Encoding::None);
        if (opened) RefreshEncodingMenu();
    }
    LocalFree(argv);
    return opened;
}

void TextView::CloseMainWindow() {
    if (JobRunning()) {
        // Destroying the windows under a running job would leave it drawing
        // into nothing; the close happens when the job is over. A job that
        // can be cancelled is stopped for it, a scan runs to its end.
        jobs.closePending = true;
        CancelJob();
        return;
    }
    DestroyWindow(mainWindow);
}

void TextView::FinishDeferredClose() {
    if (jobs.closePending && !JobRunning()) {
        jobs.closePending = false;
        DestroyWindow(mainWindow);
    }
}

void TextView::OnCommand(HWND w, WPARAM wp, LPARAM lp) {
    UINT id = LOWORD(wp);
    if (jobs.Refuses(id)) return;
    switch (id) {
    case IDM_ABOUT:
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), w, AboutDlgProc, 0);
        break;
    case IDM_EXIT: CloseMainWindow(); break;
    case IDM_COPY:
        if (&FocusedPane() == &listPane) CopyListedSelection();
        else CopySelection();
        break;
    case IDM_SELECT_ALL: FocusedPane().SelectAll(); break;
    case IDM_OPEN: OpenCommand(); break;
    case IDM_RELOAD: ReloadCommand(); break;
    case IDM_SAVE_AS: SaveAs(); break;
    case IDM_PRINT: PrintCommand(); break;
    case IDM_VIEW_ANSI:
    case IDM_VIEW_UTF8:
    case IDM_VIEW_UTF16LE:
    case IDM_VIEW_UTF16BE: ViewAs(ItemEncoding(IDM_VIEW_ANSI, id), id); break;
    case IDM_CONVERT_ANSI:
    case IDM_CONVERT_UTF8:
    case IDM_CONVERT_UTF16LE:
    case IDM_CONVERT_UTF16BE: ConvertTo(ItemEncoding(IDM_CONVERT_ANSI, id), id); break;
    case IDM_STORE_BOM: ToggleStoreWithBom(); break;
    case IDM_FIND: OpenFindDialog(); break;
    case IDM_FIND_NEXT: FindNext(); break;
    case IDM_GOTO: ShowGoToDialog(); break;
    case IDM_FONT: FontCommand(); break;
    case IDM_LIST_LINES: ListCommand(); break;
    case IDM_SAVE_LISTED: SaveListedCommand(); break;
    case IDM_CLOSE_LIST: CloseList(); break;
    case IDM_NEXT_PANE: SwitchPane(); break;
    case IDM_FOLLOW: ToggleFollow(); break;
    default: DefWindowProcW(w, WM_COMMAND, wp, lp); break;
    }
}

void TextView::OnInitMenuPopup() {
    // Reload is there for an open document while no job runs; the other
    // commands refuse themselves during a job.
    if (document.file.IsOpen() && jobs.running != Job::Scan)
        EnableMenuItem(GetMenu(mainWindow), IDM_RELOAD,
                       MF_BYCOMMAND | (jobs.Refuses(IDM_RELOAD) ? MF_DISABLED : MF_ENABLED));
    // The list's commands while a list exists.
    const UINT saveListed = listShown && !jobs.Refuses(IDM_SAVE_LISTED) ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(GetMenu(mainWindow), IDM_SAVE_LISTED, MF_BYCOMMAND | saveListed);
    EnableMenuItem(GetMenu(mainWindow), IDM_CLOSE_LIST, MF_BYCOMMAND | (listShown ? MF_ENABLED : MF_GRAYED));
}

void TextView::OnDpiChanged(int32_t dpi, const RECT* suggested) {
    // The panes first: the move below lays them out at the new size.
    pane.SetDpi(dpi);
    if (listPane.hwnd) listPane.SetDpi(dpi);
    if (suggested)
        SetWindowPos(mainWindow, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutPanes();
}

void TextView::PaintSplitter(HDC dc) {
    if (!listShown) return;
    const RECT bar = SplitterRect();
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK TextView::MainWndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* created = static_cast<TextView*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    TextView* app = reinterpret_cast<TextView*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    if (!app) return DefWindowProcW(w, msg, wp, lp);
    switch (msg) {
    case WM_CREATE: app->OnMainCreate(w); return 0;
    case WM_SIZE: app->OnMainSize(); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        app->PaintSplitter(dc);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_SETCURSOR: {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(w, &pt);
        const RECT bar = app->SplitterRect();
        if (reinterpret_cast<HWND>(wp) != w || !app->listShown || !PtInRect(&bar, pt))
            return DefWindowProcW(w, msg, wp, lp);
        SetCursor(LoadCursorW(nullptr, IDC_SIZENS));
        return TRUE;
    }
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
        if (!app->OnSplitterMouse(msg, lp)) return DefWindowProcW(w, msg, wp, lp);
        return 0;
    case WM_CAPTURECHANGED: app->splitterDragging = false; return 0;
    case WM_TIMER: app->FollowTick(); return 0;
    case WM_DPICHANGED: app->OnDpiChanged(LOWORD(wp), reinterpret_cast<const RECT*>(lp)); return 0;
    case WM_KEYDOWN: app->pane.HandleKey(wp); return 0;
    case WM_SYSKEYDOWN:
        // System keys also get their default handling: Alt+F4, F10 and Alt
        // with a menu letter keep working while this window has the focus.
        app->pane.HandleKey(wp);
        return DefWindowProcW(w, msg, wp, lp);
    case WM_SETFOCUS:
        // Back from another program or a dialog: the keys and the wheel go
        // to the text pane again.
        if (app->FocusedPane().hwnd) SetFocus(app->FocusedPane().hwnd);
        return 0;
    case WM_CLOSE: app->CloseMainWindow(); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(w, GWLP_USERDATA, 0);
        return DefWindowProcW(w, msg, wp, lp);
    case WM_COMMAND: app->OnCommand(w, wp, lp); return 0;
    case WM_INITMENUPOPUP: app->OnInitMenuPopup(); return 0;
    case WM_DROPFILES: app->DropFiles(reinterpret_cast<HDROP>(wp)); return 0;
    default: return DefWindowProcW(w, msg, wp, lp);
    }
}

int RunMessageLoop(TextView& app) {
    MSG msg{};
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
        // F3 works in the Find dialog too; its other keys are the dialog manager's.
        if (!TranslateAcceleratorW(app.mainWindow, app.jobs.accelerators, &msg) && !DialogMessage(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        app.FinishDeferredClose();
    }
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
}
