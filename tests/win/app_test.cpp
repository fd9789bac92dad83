// The main window in-process: menu states and check marks, opening from the
// command line and by drop, View as, Convert to, Store with BOM, the Font and
// About dialogs, the progress titles, and closing during a scan.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/resource.h"
#include "core/win_string.h"
#include "app/text_view.h"

namespace {

const UINT kDocumentCommands[] = {
    IDM_COPY, IDM_SELECT_ALL, IDM_RELOAD, IDM_SAVE_AS, IDM_PRINT,
    IDM_VIEW_ANSI, IDM_VIEW_UTF8, IDM_VIEW_UTF16LE, IDM_VIEW_UTF16BE,
    IDM_CONVERT_ANSI, IDM_CONVERT_UTF8, IDM_CONVERT_UTF16LE, IDM_CONVERT_UTF16BE,
    IDM_STORE_BOM, IDM_FIND, IDM_GOTO, IDM_FIND_NEXT, IDM_FONT,
};

class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LINK_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
    }
    ULONG_PTR token = 0;
};
const auto* const gdiplusEnvironment = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

std::wstring TempDir() {
    wchar_t buf[MAX_PATH];
    GetTempPathW(MAX_PATH, buf);
    std::wstring dir = std::wstring(buf) + L"tomeview_app_test\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

std::wstring WriteTestFile(const wchar_t* name, const std::string& bytes) {
    std::wstring path = TempDir() + name;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return path;
}

std::wstring WindowText(HWND w) {
    wchar_t buf[1024] = {};
    GetWindowTextW(w, buf, 1024);
    return buf;
}

std::wstring LoadResString(UINT id) {
    wchar_t buf[256] = {};
    LoadStringW(GetModuleHandleW(nullptr), id, buf, 256);
    return buf;
}

// Runs waiting messages for a while (the test thread has no loop of its own).
void RunMessagesFor(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

// Calls `action` on the first dialog box that appears in this thread, from a
// timer that runs inside the dialog's own modal loop.
std::function<void(HWND)> dialogAction;
int dialogsSeen = 0;

BOOL CALLBACK FindDialog(HWND w, LPARAM out) {
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    if (IsWindowVisible(w) && wcscmp(cls, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
    }
    return TRUE;
}

HWND actedOn = nullptr;
int ticksSinceAction = 0;

// Acts on the first dialog; a dialog still open two seconds later is
// cancelled, so that a test fails instead of hanging.
void CALLBACK DialogTimer(HWND, UINT, UINT_PTR, DWORD) {
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dlg));
    if (!dlg) return;
    if (!actedOn) {
        actedOn = dlg;
        ++dialogsSeen;
        if (dialogAction) dialogAction(dlg);
        return;
    }
    if (++ticksSinceAction > 20) {
        ADD_FAILURE() << "a dialog stayed open after the test's action";
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
        ticksSinceAction = 0;
    }
}

UINT_PTR dialogTimer = 0;

void StopWatchingDialogs() {
    if (dialogTimer) KillTimer(nullptr, dialogTimer);
    dialogTimer = 0;
    dialogAction = nullptr;
}

void WhenDialogAppears(std::function<void(HWND)> action) {
    StopWatchingDialogs();
    dialogAction = std::move(action);
    dialogsSeen = 0;
    actedOn = nullptr;
    ticksSinceAction = 0;
    dialogTimer = SetTimer(nullptr, 0, 100, DialogTimer);
}

HGLOBAL MakeDrop(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const auto& p : paths) chars += p.size() + 1;
    HGLOBAL h = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* df = static_cast<DROPFILES*>(GlobalLock(h));
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    auto* dst = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(df) + sizeof(DROPFILES));
    for (const auto& p : paths) {
        memcpy(dst, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
        dst += p.size() + 1;
    }
    GlobalUnlock(h);
    return h;
}

std::wstring FinishedTitle(const std::wstring& path) {
    return path + L" - Tomeview超大文本浏览器-Orvane：" + W(std::u16string(MakerSite));
}

std::wstring IndexingTitle(const std::wstring& path, int p) {
    return L"Tomeview超大文本浏览器-Orvane：" + std::wstring(W(std::u16string(MakerSite))) +
           L"，正在打开文件：" + path + L" - " + std::to_wstring(p) + L"%";
}

// Records every caption the main window is given, with the vertical scroll
// range of the text pane at that moment.
struct TitleRecord {
    std::wstring text;
    int vertMax;
};
std::vector<TitleRecord> titles;
HWND recordedPane = nullptr;
// Runs on each recorded caption, in the middle of the job that set it.
std::function<void(const std::wstring&)> onTitle;

// Posted during a scan; counted when the scan's pump handles it.
constexpr UINT ScanProbe = WM_APP + 11;
int probesHandled = 0;

// The main window's own procedure, under the recording ones.
WNDPROC mainProc = nullptr;
LRESULT CALLBACK RecordingProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == ScanProbe) {
        ++probesHandled;
        return 0;
    }
    if (msg == WM_SETTEXT) {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE;
        GetScrollInfo(recordedPane, SB_VERT, &si);
        titles.push_back({reinterpret_cast<const wchar_t*>(lp), si.nMax});
        if (onTitle) onTitle(titles.back().text);
    }
    return CallWindowProcW(mainProc, w, msg, wp, lp);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = new TextView;
        main = app->CreateMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(main, nullptr);
        mainProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(main, GWLP_WNDPROC));
        ShowWindow(main, SW_SHOWNORMAL);
        UpdateWindow(main);
        app->EnableCommands(false, false);
        RunMessagesFor(50);
    }
    void TearDown() override {
        StopWatchingDialogs();
        onTitle = nullptr;
        if (IsWindow(main)) DestroyWindow(main);
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
        delete app;
    }

    UINT State(UINT id) const { return GetMenuState(GetMenu(main), id, MF_BYCOMMAND); }
    bool Enabled(UINT id) const { return (State(id) & (MF_DISABLED | MF_GRAYED)) == 0; }
    bool Checked(UINT id) const { return (State(id) & MF_CHECKED) != 0; }
    std::vector<UINT> CheckedItems() const {
        std::vector<UINT> out;
        for (UINT id = IDM_VIEW_ANSI; id <= IDM_STORE_BOM; ++id)
            if (Checked(id)) out.push_back(id);
        return out;
    }
    void ExpectDocumentCommands(bool enabled) {
        for (UINT id : kDocumentCommands) {
            EXPECT_EQ(Enabled(id), enabled) << "command " << id;
            // Disabled, never grayed.
            EXPECT_EQ(State(id) & (MF_GRAYED | MF_DISABLED), enabled ? 0u : static_cast<UINT>(MF_DISABLED))
                << "command " << id;
        }
    }
    void Command(UINT id) { SendMessageW(main, WM_COMMAND, id, 0); }
    bool OpenFromCommandLine(const std::wstring& args) {
        std::wstring line = L"tomeview.exe " + args;
        return app->OpenFromCommandLine(line.c_str());
    }
    void RecordTitles() {
        titles.clear();
        recordedPane = app->pane.hwnd;
        SetWindowLongPtrW(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingProc));
    }

    TextView* app = nullptr;
    HWND main = nullptr;
};

TEST_F(MainWindowTest, StartsWithTitleAndOnlyOpenExitAboutUsable) {
    std::wstring title = LoadResString(IDS_APP_TITLE);
    EXPECT_EQ(title, std::wstring(L"tomeview - 超级文本浏览器-官网：") + W(std::u16string(MakerSite)));
    EXPECT_EQ(WindowText(main), title);
    wchar_t cls[64] = {};
    GetClassNameW(main, cls, 64);
    EXPECT_STREQ(cls, L"TOMEVIEW");

    EXPECT_TRUE(Enabled(IDM_OPEN));
    EXPECT_TRUE(Enabled(IDM_EXIT));
    EXPECT_TRUE(Enabled(IDM_ABOUT));
    ExpectDocumentCommands(false);
    EXPECT_TRUE(CheckedItems().empty());

    // The pane fills the client area and took the focus on the first resize.
    RECT client, pane;
    GetClientRect(main, &client);
    GetClientRect(app->pane.hwnd, &pane);
    EXPECT_EQ(pane.right, client.right);
    EXPECT_EQ(pane.bottom, client.bottom);
    EXPECT_EQ(GetFocus(), app->pane.hwnd);
    EXPECT_TRUE(app->pane.lineNumbersShown);
    EXPECT_EQ(app->pane.wheelPixels, 30 * app->pane.surface.spaceWidth);
    EXPECT_GT(app->pane.surface.spaceWidth, 0);
}

TEST_F(MainWindowTest, LaterResizeKeepsPaneFullSizeAndLeavesFocus) {
    // The main window hands its own focus to the pane, so another child holds it.
    HWND other = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, main, nullptr, nullptr, nullptr);
    SetFocus(other);
    SetWindowPos(main, nullptr, 0, 0, 640, 420, SWP_NOMOVE | SWP_NOZORDER);
    RunMessagesFor(30);
    RECT client, pane;
    GetClientRect(main, &client);
    GetWindowRect(app->pane.hwnd, &pane);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&pane), 2);
    EXPECT_EQ(pane.left, 0);
    EXPECT_EQ(pane.top, 0);
    EXPECT_EQ(pane.right, client.right);
    EXPECT_EQ(pane.bottom, client.bottom);
    EXPECT_EQ(GetFocus(), other);
    // Moved to a monitor at 150 %: the suggested rectangle, the pane at its
    // dpi and full size, the font kept in its 96-dpi size (its point size).
    const LONG height = app->pane.font.lfHeight;
    RECT suggested{30, 40, 30 + 960, 40 + 630};
    SendMessageW(main, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    RunMessagesFor(30);
    RECT placed;
    GetWindowRect(main, &placed);
    EXPECT_TRUE(EqualRect(&placed, &suggested));
    EXPECT_EQ(app->pane.dpi, 144);
    EXPECT_EQ(app->pane.font.lfHeight, height);
    EXPECT_EQ(app->pane.ScreenFont().lfHeight, height * 3 / 2);
    GetClientRect(main, &client);
    GetClientRect(app->pane.hwnd, &pane);
    EXPECT_EQ(pane.bottom, client.bottom);
}

TEST_F(MainWindowTest, CommandLineOpensFirstArgumentAndSetsMarks) {
    std::wstring a = WriteTestFile(L"cmd_first.txt", "first\n\xE6\x96\x87\xE4\xBB\xB6\n");
    std::wstring b = WriteTestFile(L"cmd_second.txt", "second\n");
    EXPECT_TRUE(OpenFromCommandLine(L"\"" + a + L"\" \"" + b + L"\""));
    EXPECT_EQ(W(app->filePath), a);
    EXPECT_EQ(WindowText(main), FinishedTitle(a));
    EXPECT_EQ(app->document.lineCount, 3u);
    ExpectDocumentCommands(true);
    EXPECT_TRUE(Enabled(IDM_OPEN));
    // UTF-8 without a mark: the UTF8 items, no BOM.
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_UTF8}));

    std::wstring le = WriteTestFile(L"cmd_le.txt", std::string("\xFF\xFEh\0i\0\n\0", 8));
    EXPECT_TRUE(OpenFromCommandLine(L"\"" + le + L"\""));
    EXPECT_EQ(app->saveEncoding, Encoding::Utf16Le);
    EXPECT_TRUE(app->writeBom);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF16LE, IDM_CONVERT_UTF16LE, IDM_STORE_BOM}));

    // Without an argument nothing is opened.
    EXPECT_FALSE(app->OpenFromCommandLine(L"tomeview.exe"));
    EXPECT_EQ(W(app->filePath), le);
}

TEST_F(MainWindowTest, FileThatCannotBeOpenedLeavesOnlyOpenUsable) {
    std::wstring missing = TempDir() + L"does_not_exist.txt";
    DeleteFileW(missing.c_str());
    EXPECT_FALSE(OpenFromCommandLine(L"\"" + missing + L"\""));
    EXPECT_EQ(WindowText(main), LoadResString(IDS_APP_TITLE));
    EXPECT_TRUE(Enabled(IDM_OPEN));
    ExpectDocumentCommands(false);

    // After a good file, a failing drop keeps the title and the marks.
    std::wstring good = WriteTestFile(L"fail_good.txt", "one\ntwo\nthree\n");
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + good + L"\""));
    std::vector<UINT> marks = CheckedItems();
    app->pane.topLine = 2;
    SendMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({missing})), 0);
    EXPECT_EQ(WindowText(main), FinishedTitle(good));
    EXPECT_TRUE(Enabled(IDM_OPEN));
    ExpectDocumentCommands(false);
    EXPECT_EQ(CheckedItems(), marks);
    EXPECT_EQ(W(app->filePath), missing);
    EXPECT_EQ(app->pane.topLine, 0u);
    EXPECT_EQ(app->document.lineCount, 1u);
    EXPECT_EQ(app->document.GetLineText(0), u"");
}

TEST_F(MainWindowTest, DropOfSeveralFilesOpensTheFirst) {
    std::wstring a = WriteTestFile(L"drop_a.txt", "alpha\r\nbeta\r\n");
    std::wstring b = WriteTestFile(L"drop_b.txt", "gamma\r\n");
    SendMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({a, b})), 0);
    EXPECT_EQ(W(app->filePath), a);
    EXPECT_EQ(WindowText(main), FinishedTitle(a));
    EXPECT_EQ(app->document.GetLineText(1), u"beta\r\n");
    ExpectDocumentCommands(true);
    EXPECT_TRUE(Enabled(IDM_OPEN));
}

// A dropped path longer than MAX_PATH is opened whole, not cut short.
TEST_F(MainWindowTest, DropOfALongPathOpensThatFile) {
    std::wstring folder = TempDir() + L"drop_long";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; folder.size() < 300; i++) {
        folder += L"\\" + std::wstring(60, wchar_t(L'a' + i));
        CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    }
    const std::wstring path = folder + L"\\长路径.txt";
    HANDLE h = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, "far\r\naway\r\n", 11, &put, nullptr);
    CloseHandle(h);
    // A file at the path cut to MAX_PATH - 1 units would be opened instead.
    SendMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
    EXPECT_EQ(W(app->filePath), path);
    EXPECT_EQ(WindowText(main), FinishedTitle(path));
    EXPECT_EQ(app->document.GetLineText(1), u"away\r\n");
}

TEST_F(MainWindowTest, ViewAsWithinFamilyRedecodesWithoutReopening) {
    // 你好 in GBK, then an ASCII line.
    std::wstring path = WriteTestFile(L"view_gbk.txt", "\xC4\xE3\xBA\xC3\r\nabc\r\n");
    ASSERT_TRUE(app->OpenDocument(U16(path.c_str()), Encoding::Ansi));
    app->RefreshEncodingMenu();
    EXPECT_EQ(app->document.GetLineText(0), u"你好\r\n");
    EXPECT_EQ(app->lines.Text(0), u"你好\r\n");
    SetWindowTextW(main, L"marker");

    Command(IDM_VIEW_UTF8);
    EXPECT_EQ(app->document.encoding, Encoding::Utf8Bom);
    EXPECT_EQ(WindowText(main), L"marker");  // no re-open
    EXPECT_EQ(app->document.lineCount, 3u);
    std::u16string redecoded = app->document.GetLineText(0);
    EXPECT_NE(redecoded, u"你好\r\n");
    EXPECT_EQ(app->lines.Text(0), redecoded);  // the view does not keep the old decoding
    EXPECT_EQ(redecoded.substr(redecoded.size() - 2), u"\r\n");
    EXPECT_EQ(app->saveEncoding, Encoding::Ansi);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_ANSI}));

    Command(IDM_VIEW_ANSI);
    EXPECT_EQ(app->document.GetLineText(0), u"你好\r\n");
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_ANSI, IDM_CONVERT_ANSI}));
}

TEST_F(MainWindowTest, ViewAsAcrossFamiliesReopensWithTheChosenEncoding) {
    std::wstring path = WriteTestFile(L"view_across.txt", std::string("a\0b\0\n\0c\0", 8));
    ASSERT_TRUE(app->OpenDocument(U16(path.c_str()), Encoding::Ansi));
    app->RefreshEncodingMenu();
    EXPECT_EQ(app->document.lineCount, 2u);  // the byte 0A ends a line
    SetWindowTextW(main, L"marker");

    Command(IDM_VIEW_UTF16LE);
    EXPECT_EQ(app->document.detectedEncoding, Encoding::Utf16Le);
    EXPECT_EQ(app->document.encoding, Encoding::Utf16Le);
    EXPECT_EQ(WindowText(main), FinishedTitle(path));
    EXPECT_EQ(app->document.GetLineText(0), u"ab\n");
    EXPECT_EQ(app->saveEncoding, Encoding::Utf16Le);
    EXPECT_FALSE(app->writeBom);  // the file has no mark: the default save adds none
    // The Save As marks follow the new defaults of the re-open.
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF16LE, IDM_CONVERT_UTF16LE}));
    ExpectDocumentCommands(true);

    Command(IDM_VIEW_ANSI);
    EXPECT_EQ(app->document.detectedEncoding, Encoding::Ansi);
    EXPECT_FALSE(app->writeBom);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_ANSI, IDM_CONVERT_ANSI}));

    // A re-open that fails still moves the View-as mark.
    DeleteFileW(path.c_str());
    Command(IDM_VIEW_UTF16BE);
    EXPECT_TRUE(Checked(IDM_VIEW_UTF16BE));
    EXPECT_FALSE(Checked(IDM_VIEW_ANSI));
    EXPECT_EQ(app->document.lineCount, 1u);
}

TEST_F(MainWindowTest, ViewAsWithoutFileOnlyStoresTheEncoding) {
    std::wstring title = WindowText(main);
    app->EnableCommands(true, true);
    Command(IDM_VIEW_UTF16BE);
    EXPECT_EQ(app->document.encoding, Encoding::Utf16Be);
    EXPECT_TRUE(app->filePath.empty());
    EXPECT_EQ(WindowText(main), title);
    EXPECT_TRUE(Checked(IDM_VIEW_UTF16BE));
}

TEST_F(MainWindowTest, ConvertToAndStoreWithBomChangeOnlyTheirState) {
    std::wstring path = WriteTestFile(L"convert.txt", "\xE6\x96\x87\n");
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    std::u16string line = app->document.GetLineText(0);

    Command(IDM_CONVERT_UTF16BE);
    EXPECT_EQ(app->saveEncoding, Encoding::Utf16Be);
    EXPECT_EQ(app->document.encoding, Encoding::Utf8);
    EXPECT_EQ(app->document.GetLineText(0), line);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_UTF16BE}));

    Command(IDM_CONVERT_ANSI);
    EXPECT_EQ(app->saveEncoding, Encoding::Ansi);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_ANSI}));

    Command(IDM_STORE_BOM);
    EXPECT_TRUE(app->writeBom);
    EXPECT_TRUE(Checked(IDM_STORE_BOM));
    Command(IDM_STORE_BOM);
    EXPECT_FALSE(app->writeBom);
    EXPECT_FALSE(Checked(IDM_STORE_BOM));
}

TEST_F(MainWindowTest, CancelledOpenDialogEnablesEverythingAndKeepsSaveMark) {
    WhenDialogAppears([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
    Command(IDM_OPEN);
    EXPECT_EQ(dialogsSeen, 1);
    // Also with no file open.
    ExpectDocumentCommands(true);
    EXPECT_TRUE(Enabled(IDM_OPEN));
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_ANSI, IDM_CONVERT_ANSI}));

    std::wstring path = WriteTestFile(L"cancel.txt", "\xE6\x96\x87\n");
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    Command(IDM_CONVERT_UTF16LE);
    WhenDialogAppears([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
    Command(IDM_OPEN);
    EXPECT_EQ(dialogsSeen, 1);
    EXPECT_EQ(W(app->filePath), path);
    EXPECT_EQ(WindowText(main), FinishedTitle(path));
    // The Convert-to mark keeps showing what Save As will write.
    EXPECT_EQ(app->saveEncoding, Encoding::Utf16Le);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_UTF16LE}));
}

TEST_F(MainWindowTest, OpenDialogOpensTheChosenFile) {
    std::wstring path = WriteTestFile(L"dialog_pick.txt", std::string("\xEF\xBB\xBFpicked\r\n", 11));
    static std::wstring chosen, caption;
    static HWND owner;
    chosen = path;
    WhenDialogAppears([](HWND dlg) {
        wchar_t buf[128] = {};
        GetWindowTextW(dlg, buf, 128);
        caption = buf;
        owner = GetWindow(dlg, GW_OWNER);
        // The file name box: edt1 in the classic dialog, cmb13 in the
        // explorer-style one.
        SetDlgItemTextW(dlg, 0x480, chosen.c_str());
        SetDlgItemTextW(dlg, 0x47C, chosen.c_str());
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    });
    Command(IDM_OPEN);
    ASSERT_EQ(dialogsSeen, 1);
    EXPECT_EQ(caption, L"请选择一个文件");
    EXPECT_EQ(owner, main);  // owned through the text pane, its child
    EXPECT_EQ(W(app->filePath), path);
    EXPECT_EQ(WindowText(main), FinishedTitle(path));
    std::u16string first = app->document.GetLineText(0);
    ASSERT_GE(first.size(), 8u);
    EXPECT_EQ(first.substr(first.size() - 8), u"picked\r\n");
    ExpectDocumentCommands(true);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_UTF8, IDM_STORE_BOM}));
}

TEST_F(MainWindowTest, FontDialogCancelChangesNothingAndOkAppliesColour) {
    LOGFONTW before = app->pane.font;
    COLORREF colour = app->pane.textColor;
    int32_t space = app->pane.surface.spaceWidth;
    WhenDialogAppears([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
    Command(IDM_FONT);
    EXPECT_EQ(dialogsSeen, 1);
    EXPECT_EQ(memcmp(&before, &app->pane.font, sizeof(before)), 0)
        << "height " << app->pane.font.lfHeight << " weight " << app->pane.font.lfWeight << " charset "
        << int(app->pane.font.lfCharSet) << " quality " << int(app->pane.font.lfQuality) << " pitch "
        << int(app->pane.font.lfPitchAndFamily) << " out " << int(app->pane.font.lfOutPrecision);
    EXPECT_EQ(app->pane.textColor, colour);
    EXPECT_EQ(app->pane.surface.spaceWidth, space);

    // Pick another colour in the dialog's colour box (cmb4) and confirm.
    static COLORREF picked;
    picked = CLR_INVALID;
    WhenDialogAppears([](HWND dlg) {
        HWND combo = GetDlgItem(dlg, 0x473);
        LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            COLORREF c = static_cast<COLORREF>(SendMessageW(combo, CB_GETITEMDATA, i, 0));
            if (c == RGB(255, 0, 0)) {
                SendMessageW(combo, CB_SETCURSEL, i, 0);
                SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(0x473, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
                picked = c;
            }
        }
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    });
    Command(IDM_FONT);
    EXPECT_EQ(dialogsSeen, 1);
    ASSERT_EQ(picked, RGB(255, 0, 0));
    EXPECT_EQ(app->pane.textColor, RGB(255, 0, 0));
    EXPECT_EQ(app->pane.wheelPixels, 30 * app->pane.surface.spaceWidth);
    // At 150 % the dialog gets and gives the font at that dpi: OK keeps its size.
    const LONG height = app->pane.font.lfHeight;
    app->pane.SetDpi(144);
    WhenDialogAppears([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDOK, 0); });
    Command(IDM_FONT);
    EXPECT_EQ(app->pane.font.lfHeight, height);
}

TEST_F(MainWindowTest, AboutBoxIsCentredWithItsLink) {
    static RECT dialogRect, parentRect;
    static std::wstring linkClass;
    WhenDialogAppears([](HWND dlg) {
        GetWindowRect(dlg, &dialogRect);
        GetWindowRect(GetParent(dlg), &parentRect);
        wchar_t cls[32] = {};
        GetClassNameW(GetDlgItem(dlg, IDC_ABOUT_LINK), cls, 32);
        linkClass = cls;
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    });
    Command(IDM_ABOUT);
    ASSERT_EQ(dialogsSeen, 1);
    EXPECT_EQ(linkClass, L"SysLink");
    int w = dialogRect.right - dialogRect.left, h = dialogRect.bottom - dialogRect.top;
    EXPECT_EQ(dialogRect.left, parentRect.left + (parentRect.right - parentRect.left - w) / 2);
    EXPECT_EQ(dialogRect.top, parentRect.top + (parentRect.bottom - parentRect.top - h) / 2);
}

TEST_F(MainWindowTest, ProgressTitlesTrailTheScanAndWidenTheBar) {
    // 60 MiB in lines of 64 bytes: three scan reads.
    std::string line(63, 'x');
    line += '\n';
    std::string block;
    for (int i = 0; i < 16384; ++i) block += line;  // 1 MiB
    std::wstring path = TempDir() + L"progress_60m.txt";
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 60; ++i) fwrite(block.data(), 1, block.size(), f);
    fclose(f);

    RecordTitles();
    app->jobs.progressMs = 0;  // every percentage, however fast the scan
    // Between the titles too, a message posted during the scan is handled
    // before the next piece of it is read.
    int posted = 0;
    probesHandled = 0;
    onTitle = [&](const std::wstring&) {
        if (posted > 0 || !app->document.scanStep) return;
        auto step = app->document.scanStep;
        app->document.scanStep = [&, step] {
            EXPECT_EQ(probesHandled, posted);
            PostMessageW(main, ScanProbe, 0, 0);
            ++posted;
            step();
        };
    };
    ASSERT_TRUE(app->OpenDocument(U16(path.c_str()), Encoding::None));
    EXPECT_GE(posted, 60 * (1 << 20) / static_cast<int>(ScanPieceSize));
    EXPECT_EQ(probesHandled, posted);
    std::vector<std::wstring> texts;
    for (const auto& t : titles) texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{IndexingTitle(path, 0), IndexingTitle(path, 0),
                                                IndexingTitle(path, 33), IndexingTitle(path, 66),
                                                FinishedTitle(path)}));
    EXPECT_EQ(W(app->titleText), FinishedTitle(path));
    ASSERT_EQ(titles.size(), 5u);
    // Each title is set before that call widens the bar: the bar seen with a
    // title holds the lines of the previous call.
    EXPECT_LT(titles[2].vertMax, titles[3].vertMax);
    EXPECT_LT(titles[3].vertMax, titles[4].vertMax);
    EXPECT_EQ(app->document.lineCount, 60u * 16384u + 1u);
    EXPECT_EQ(static_cast<uint64_t>(titles[4].vertMax), app->document.lineCount + 15);
    DeleteFileW(path.c_str());
}

TEST_F(MainWindowTest, OpenStartsWithAResetView) {
    std::wstring a = WriteTestFile(L"reset_a.txt", "aaaa\nbbbb\ncccc\n");
    ASSERT_TRUE(app->OpenDocument(U16(a.c_str()), Encoding::None));
    app->pane.topLine = 2;
    app->pane.xOffset = 40;
    app->pane.anchor = app->pane.selStart = TextPosition{1, 1};
    app->pane.selEnd = TextPosition{2, 2};
    app->writeBom = true;
    app->document.GetLineText(0);
    std::wstring b = WriteTestFile(L"reset_b.txt", "\xE6\x96\x87\n");
    ASSERT_TRUE(app->OpenDocument(U16(b.c_str()), Encoding::None));
    EXPECT_EQ(app->pane.topLine, 0u);
    EXPECT_EQ(app->pane.xOffset, 0);
    EXPECT_EQ(app->pane.selStart, TextPosition{});
    EXPECT_EQ(app->pane.selEnd, TextPosition{});
    EXPECT_EQ(app->pane.anchor, TextPosition{});
    EXPECT_FALSE(app->writeBom);
    EXPECT_EQ(app->saveEncoding, Encoding::Utf8);
    EXPECT_EQ(app->document.GetLineText(0), u"文\n");
}

TEST_F(MainWindowTest, OpenRequestsDuringAScanAreIgnored) {
    std::wstring a = WriteTestFile(L"scan_a.txt", "first document \xE6\x96\x87\n");
    std::wstring b = WriteTestFile(L"scan_b.txt", "dropped meanwhile\n");
    // Both arrive through the pump of the scan of a.
    PostMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({b})), 0);
    PostMessageW(main, WM_COMMAND, IDM_OPEN, 0);
    PostMessageW(main, WM_COMMAND, IDM_VIEW_UTF16LE, 0);
    WhenDialogAppears([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
    ASSERT_TRUE(app->OpenDocument(U16(a.c_str()), Encoding::None));
    RunMessagesFor(300);
    EXPECT_EQ(dialogsSeen, 0);
    EXPECT_EQ(W(app->filePath), a);
    EXPECT_EQ(WindowText(main), FinishedTitle(a));
    EXPECT_EQ(app->document.encoding, Encoding::Utf8);
    EXPECT_EQ(app->document.GetLineText(0), u"first document 文\n");
    // The menu is as the start-up left it.
    ExpectDocumentCommands(false);
    EXPECT_TRUE(CheckedItems().empty());
    EXPECT_EQ(app->jobs.running, Job::None);
}

TEST_F(MainWindowTest, OpenRequestsDuringAPrintJobAreIgnored) {
    std::wstring a = WriteTestFile(L"print_a.txt", "printed document\n");
    std::wstring b = WriteTestFile(L"print_b.txt", "dropped meanwhile\n");
    ASSERT_TRUE(app->OpenDocument(U16(a.c_str()), Encoding::None));
    // As if these arrived through the pump of a running print job.
    app->jobs.running = Job::Print;
    EXPECT_FALSE(app->OpenDocument(U16(b.c_str()), Encoding::None));
    SendMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({b})), 0);
    SendMessageW(main, WM_COMMAND, IDM_VIEW_UTF16LE, 0);
    app->jobs.running = Job::None;
    EXPECT_EQ(W(app->filePath), a);
    EXPECT_EQ(app->document.encoding, Encoding::Ansi);
    EXPECT_EQ(app->document.GetLineText(0), u"printed document\n");
}

// One table says which commands each job refuses: the document commands
// during every job, Find next (F3) during a scan only.
TEST_F(MainWindowTest, JobsRefuseCommandsByOneTable) {
    for (Job j : {Job::Scan, Job::Find, Job::Count, Job::Save, Job::Print, Job::Copy}) {
        app->jobs.running = j;
        for (UINT id : {IDM_OPEN, IDM_RELOAD, IDM_SAVE_AS, IDM_PRINT, IDM_FONT, IDM_VIEW_UTF8})
            EXPECT_TRUE(app->jobs.Refuses(id)) << static_cast<int>(j) << " " << id;
        for (UINT id : {IDM_GOTO, IDM_FIND, IDM_SELECT_ALL, IDM_ABOUT, IDM_EXIT})
            EXPECT_FALSE(app->jobs.Refuses(id)) << static_cast<int>(j) << " " << id;
        EXPECT_EQ(app->jobs.Refuses(IDM_FIND_NEXT), j == Job::Scan);
        EXPECT_EQ(app->jobs.Refuses(IDM_COPY), j == Job::Copy);
    }
    app->jobs.running = Job::None;
    EXPECT_FALSE(app->jobs.Refuses(IDM_OPEN));

    // F3 pressed while F5 scans: no search over a half-indexed document.
    std::string text;
    for (int i = 0; i < 6000; ++i) text += i == 100 ? "needle\n" : "hay " + std::to_string(i) + "\n";
    const std::wstring path = WriteTestFile(L"f3_scan.txt", text.substr(0, text.size() / 2));
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    WriteTestFile(L"f3_scan.txt", text);
    app->searchText = u"needle";
    app->OpenFindDialog();
    app->jobs.progressMs = 0;
    app->document.scanBufferSize = 4096;
    PostMessageW(app->pane.hwnd, WM_KEYDOWN, VK_F3, 0x003D0001);
    ASSERT_TRUE(app->ReloadDocument());
    EXPECT_EQ(WindowText(GetDlgItem(app->findDialog, IDC_FIND_STATUS)), L"");
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, app->pane.hwnd, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));  // the scan took the key
    // The same key after the scan finds.
    PostMessageW(app->pane.hwnd, WM_KEYDOWN, VK_F3, 0x003D0001);
    app->PumpMessages();
    EXPECT_EQ(app->pane.selStart, (TextPosition{100, 0}));
    DestroyWindow(app->findDialog);
    DeleteFileW(path.c_str());
}

TEST_F(MainWindowTest, CloseDuringAScanEndsAfterTheScan) {
    std::wstring a = WriteTestFile(L"close_scan.txt", "some text\n");
    PostMessageW(main, WM_CLOSE, 0, 0);
    PostMessageW(main, WM_COMMAND, IDM_EXIT, 0);
    ASSERT_TRUE(app->OpenDocument(U16(a.c_str()), Encoding::None));
    EXPECT_TRUE(IsWindow(main));
    EXPECT_EQ(WindowText(main), FinishedTitle(a));
    EXPECT_TRUE(app->jobs.closePending);

    app->FinishDeferredClose();
    EXPECT_FALSE(IsWindow(main));
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 0u);
}

TEST_F(MainWindowTest, PumpKeepsTheQuitRequestForTheOuterLoop) {
    PostQuitMessage(7);
    app->PumpMessages();
    app->PumpMessages();
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 7u);
}

TEST_F(MainWindowTest, AltF4ClosesTheMainWindowWhenItHasTheFocus) {
    SetFocus(main);
    // Alt held: bit 29 of the key data.
    SendMessageW(main, WM_SYSKEYDOWN, VK_F4, 0x20000001);
    RunMessagesFor(100);
    EXPECT_FALSE(IsWindow(main));
}

// Records whether the main window entered its menu loop, and leaves it.
int menuLoops = 0;
LRESULT CALLBACK MenuRecordingProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_ENTERMENULOOP) ++menuLoops;
    return CallWindowProcW(mainProc, w, msg, wp, lp);
}
void CALLBACK EndMenuTimer(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

TEST_F(MainWindowTest, SystemKeysInThePaneReachTheMenuAndClose) {
    ASSERT_EQ(GetFocus(), app->pane.hwnd);
    SetWindowLongPtrW(main, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MenuRecordingProc));
    UINT_PTR timer = SetTimer(nullptr, 0, 50, EndMenuTimer);  // ends each menu loop from inside
    menuLoops = 0;
    SendMessageW(app->pane.hwnd, WM_SYSKEYDOWN, VK_F10, 0x00440001);
    SendMessageW(app->pane.hwnd, WM_SYSKEYUP, VK_F10, 0xC0440001);
    RunMessagesFor(50);
    EXPECT_EQ(menuLoops, 1) << "F10";
    SendMessageW(app->pane.hwnd, WM_SYSKEYDOWN, VK_MENU, 0x20380001);
    SendMessageW(app->pane.hwnd, WM_SYSKEYUP, VK_MENU, 0xC0380001);
    RunMessagesFor(50);
    EXPECT_EQ(menuLoops, 2) << "Alt";
    KillTimer(nullptr, timer);
    // Alt+F4 in the pane closes the main window.
    SendMessageW(app->pane.hwnd, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
    RunMessagesFor(100);
    EXPECT_FALSE(IsWindow(main));
}

TEST_F(MainWindowTest, FocusReturnsToThePane) {
    EXPECT_EQ(GetFocus(), app->pane.hwnd);
    SetFocus(main);  // activation after Alt+Tab or a dialog focuses the main window
    EXPECT_EQ(GetFocus(), app->pane.hwnd);
    Command(IDM_FIND);
    RunMessagesFor(50);
    ASSERT_NE(app->findDialog, nullptr);
    SetFocus(GetDlgItem(app->findDialog, IDC_FIND_TEXT));
    ASSERT_NE(GetFocus(), app->pane.hwnd);
    SendMessageW(app->pane.hwnd, WM_LBUTTONDOWN, 0, MAKELPARAM(60, 10));
    SendMessageW(app->pane.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(60, 10));
    EXPECT_EQ(GetFocus(), app->pane.hwnd);
}

TEST_F(MainWindowTest, ExitDestroysTheWindowAndPostsQuit) {
    Command(IDM_EXIT);
    EXPECT_FALSE(IsWindow(main));
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 0u);
}

// A file of `mib` MiB in numbered lines of 64 bytes.
std::wstring WriteLinesFile(const wchar_t* name, int mib) {
    std::string block;
    for (int i = 0; i < 16384; ++i) {
        char line[80];
        snprintf(line, sizeof line, "line %07d %050d\n", i, 0);
        block += line;
    }
    std::wstring path = TempDir() + name;
    FILE* f = _wfopen(path.c_str(), L"wb");
    for (int i = 0; f && i < mib; ++i) fwrite(block.data(), 1, block.size(), f);
    if (f) fclose(f);
    return path;
}

int64_t FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) return -1;
    return static_cast<int64_t>(a.nFileSizeHigh) << 32 | a.nFileSizeLow;
}

std::string FileHead(const std::wstring& path, size_t n) {
    std::string out(n, '\0');
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return "";
    out.resize(fread(&out[0], 1, n, f));
    fclose(f);
    return out;
}

// Temporary files of a save to `target` (its name, digits, ".tmp").
int TemporaryFiles(const std::wstring& target) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((target + L"*.tmp").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int n = 0;
    do ++n; while (FindNextFileW(h, &d));
    FindClose(h);
    return n;
}

bool IsSavingTitle(const std::wstring& t) { return t.find(L" - 正在保存文件：") != std::wstring::npos; }

TEST_F(MainWindowTest, SaveAsShowsItsProgressAndEscCancelsIt) {
    const std::wstring path = WriteLinesFile(L"save_12m.txt", 12);
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    const std::wstring title = FinishedTitle(path);
    RecordTitles();
    app->jobs.progressMs = 0;

    // Converted and copied: the percentages rise, then the title returns.
    const std::wstring target = WriteTestFile(L"save_target.txt", "old");
    for (Encoding e : {Encoding::Utf16Le, Encoding::Utf8}) {
        titles.clear();
        app->saveEncoding = e;
        ASSERT_TRUE(app->SaveCopy(U16(target.c_str())));
        EXPECT_EQ(FileBytes(target), (e == Encoding::Utf8 ? 12 : 24) << 20);
        ASSERT_GE(titles.size(), 4u) << static_cast<int>(e);
        EXPECT_EQ(titles.front().text, title + L" - 正在保存文件：0%");
        int previous = -1;
        for (size_t i = 0; i + 1 < titles.size(); ++i) {
            ASSERT_TRUE(IsSavingTitle(titles[i].text)) << i;
            int pct = _wtoi(titles[i].text.c_str() + titles[i].text.rfind(L'：') + 1);
            EXPECT_GT(pct, previous);
            previous = pct;
        }
        EXPECT_EQ(titles.back().text, title);
        EXPECT_EQ(TemporaryFiles(target), 0);
    }

    // Esc in the middle, in the pane and in the main window: the temporary
    // file goes, the target (a new name, then the open file) stays as it was.
    for (const std::wstring& to : {target, path}) {
        WriteTestFile(L"save_target.txt", "old");
        const std::string head = FileHead(to, 64);
        const HWND escTo = to == path ? main : app->pane.hwnd;
        titles.clear();
        int tempsSeen = -1;
        onTitle = [&](const std::wstring& t) {
            if (tempsSeen >= 0 || !IsSavingTitle(t) || t.find(L"：0%") != std::wstring::npos) return;
            tempsSeen = TemporaryFiles(to);
            PostMessageW(escTo, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        };
        app->saveEncoding = Encoding::Utf16Be;
        EXPECT_FALSE(app->SaveCopy(U16(to.c_str())));
        onTitle = nullptr;
        EXPECT_EQ(tempsSeen, 1);
        EXPECT_TRUE(app->saveCancelled);
        EXPECT_EQ(app->jobs.running, Job::None);
        EXPECT_EQ(TemporaryFiles(to), 0);
        EXPECT_EQ(FileHead(to, 64), head);
        EXPECT_EQ(FileBytes(to), to == path ? 12 << 20 : 3);
        EXPECT_EQ(WindowText(main), title);
        EXPECT_TRUE(app->document.file.IsOpen());
        EXPECT_EQ(app->document.GetLineText(16383), u"line 0016383 " + std::u16string(50, u'0') + u"\n");
    }
    DeleteFileW(target.c_str());
    DeleteFileW(path.c_str());
}

// Commands that arrive while a Save As pumps: those that would disturb it are
// refused, reading the document goes on.
TextView* probedApp = nullptr;
struct DuringSave {
    bool saving = false;
    uint64_t topLine = 0;
    TextPosition found, all;
    std::wstring clipboard;
    std::wstring title;
} during;

LRESULT CALLBACK SaveProbeProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_APP) return DefWindowProcW(w, msg, wp, lp);
    TextView& v = *probedApp;
    if (wp == 3) {  // after Find next
        during.found = v.pane.selStart;
        return 0;
    }
    if (wp == 1) {  // after Select all
        during.all = v.pane.selEnd;
        v.pane.anchor = v.pane.selStart = TextPosition{2, 0};
        v.pane.selEnd = TextPosition{2, 12};
        return 0;
    }
    during.saving = v.jobs.running == Job::Save;
    during.topLine = v.pane.topLine;
    during.title = WindowText(v.mainWindow);
    if (OpenClipboard(nullptr)) {
        if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
            during.clipboard = static_cast<const wchar_t*>(GlobalLock(h));
            GlobalUnlock(h);
        }
        CloseClipboard();
    }
    return 0;
}

TEST_F(MainWindowTest, CommandsDuringASaveAreRefusedAndReadingGoesOn) {
    const std::wstring path = WriteLinesFile(L"save_busy.txt", 12);
    const std::wstring other = WriteTestFile(L"save_busy_other.txt", "dropped\n");
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    RecordTitles();
    app->jobs.progressMs = 0;
    app->searchText = u"line 0000150";
    probedApp = app;
    during = DuringSave{};
    WNDCLASSW pc{};
    pc.lpfnWndProc = SaveProbeProc;
    pc.hInstance = GetModuleHandleW(nullptr);
    pc.lpszClassName = L"SaveProbe";
    RegisterClassW(&pc);
    HWND probe = CreateWindowExW(0, pc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, pc.hInstance, nullptr);
    bool posted = false;
    onTitle = [&](const std::wstring& t) {
        if (posted || !IsSavingTitle(t)) return;
        posted = true;
        for (UINT id : {IDM_OPEN, IDM_RELOAD, IDM_SAVE_AS, IDM_PRINT, IDM_FONT, IDM_VIEW_UTF16LE})
            PostMessageW(main, WM_COMMAND, id, 0);
        PostMessageW(main, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({other})), 0);
        PostMessageW(app->pane.hwnd, WM_VSCROLL, SB_PAGEDOWN, 0);
        PostMessageW(main, WM_COMMAND, IDM_FIND_NEXT, 0);
        PostMessageW(probe, WM_APP, 3, 0);
        PostMessageW(main, WM_COMMAND, IDM_SELECT_ALL, 0);
        PostMessageW(probe, WM_APP, 1, 0);
        PostMessageW(main, WM_COMMAND, IDM_COPY, 0);
        PostMessageW(probe, WM_APP, 2, 0);
    };
    WhenDialogAppears([](HWND dlg) { PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0); });
    app->saveEncoding = Encoding::Utf16Le;
    const std::wstring target = TempDir() + L"save_busy_copy.txt";
    EXPECT_TRUE(app->SaveCopy(U16(target.c_str())));
    onTitle = nullptr;
    RunMessagesFor(300);
    DestroyWindow(probe);
    EXPECT_EQ(dialogsSeen, 0);
    EXPECT_TRUE(during.saving);
    EXPECT_TRUE(IsSavingTitle(during.title));
    EXPECT_GT(during.topLine, 0u);
    EXPECT_EQ(during.all, (TextPosition{12 * 16384, 0}));
    EXPECT_EQ(during.found, (TextPosition{150, 0}));
    EXPECT_EQ(during.clipboard, L"line 0000002");
    EXPECT_EQ(W(app->filePath), path);
    EXPECT_EQ(app->document.encoding, Encoding::Ansi);
    EXPECT_EQ(FileBytes(target), 24 << 20);
    DeleteFileW(target.c_str());
    DeleteFileW(path.c_str());
}

// Closing the window during Save As cancels it, reports the cancel, then closes.
TEST_F(MainWindowTest, ClosingDuringASaveCancelsItThenCloses) {
    const std::wstring path = WriteLinesFile(L"save_close.txt", 12);
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    RecordTitles();
    app->jobs.progressMs = 0;
    app->saveEncoding = Encoding::Utf16Le;
    const std::wstring target = TempDir() + L"save_close_copy.txt";
    DeleteFileW(target.c_str());
    static std::wstring boxText;
    static std::wstring saveTo;
    boxText.clear();
    saveTo = target;
    // The Save dialog gets the name, the message box is read and confirmed.
    WhenDialogAppears([](HWND dlg) {
        EnumChildWindows(dlg, [](HWND c, LPARAM) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(c, cls, 16);
            if (lstrcmpiW(cls, L"Edit") == 0 && IsWindowVisible(c)) SendMessageW(c, WM_SETTEXT, 0, (LPARAM)saveTo.c_str());
            return TRUE;
        }, 0);
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
        actedOn = nullptr;  // the message box comes next
        dialogAction = [](HWND box) {
            if (WindowText(box) != L"文件另存") return;
            wchar_t text[64] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 64);
            boxText = text;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        };
    });
    bool closed = false;
    onTitle = [&](const std::wstring& t) {
        if (closed || !IsSavingTitle(t) || t.find(L"：0%") != std::wstring::npos) return;
        closed = true;
        PostMessageW(main, WM_CLOSE, 0, 0);
    };
    app->SaveAs();
    onTitle = nullptr;
    StopWatchingDialogs();
    EXPECT_TRUE(closed);
    EXPECT_EQ(boxText, L"已取消保存。");
    EXPECT_EQ(FileBytes(target), -1);
    EXPECT_EQ(TemporaryFiles(target), 0);
    ASSERT_TRUE(IsWindow(main));
    EXPECT_EQ(WindowText(main), FinishedTitle(path));
    app->FinishDeferredClose();
    EXPECT_FALSE(IsWindow(main));
    DeleteFileW(path.c_str());
}

void AppendToFile(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"ab");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string Lines(int from, int to) {
    std::string s;
    for (int i = from; i < to; ++i) s += "row " + std::to_string(i) + "\t" + std::string(i == 5 ? 900 : i % 50, '-') + "\n";
    return s;
}

TEST_F(MainWindowTest, ReloadKeepsThePlaceAndTakesInWhatWasAppended) {
    // The command: after Open in the File menu, F5 in the table, there for an
    // open document while no job runs.
    HMENU file = GetSubMenu(GetMenu(main), 0);
    wchar_t text[64] = {};
    GetMenuStringW(file, 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"重新载入(&R)\tF5");
    EXPECT_EQ(GetMenuItemID(file, 1), static_cast<UINT>(IDM_RELOAD));
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_TOMEVIEW));
    ACCEL keys[16];
    int n = CopyAcceleratorTableW(table, keys, 16);
    EXPECT_TRUE(std::any_of(keys, keys + n, [](const ACCEL& k) {
        return k.key == VK_F5 && k.cmd == IDM_RELOAD && (k.fVirt & FVIRTKEY);
    }));
    EXPECT_FALSE(Enabled(IDM_RELOAD));

    const std::wstring path = WriteTestFile(L"reload.log", Lines(0, 1000));
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    EXPECT_TRUE(Enabled(IDM_RELOAD));
    app->jobs.running = Job::Save;
    SendMessageW(main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_FALSE(Enabled(IDM_RELOAD));
    app->jobs.running = Job::None;
    SendMessageW(main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_TRUE(Enabled(IDM_RELOAD));
    app->writeBom = true;
    app->saveEncoding = Encoding::Utf16Be;

    // In the middle: the place stays. F5 in the pane reloads.
    app->pane.topLine = 300;
    app->pane.xOffset = 16;
    app->pane.anchor = app->pane.selStart = TextPosition{310, 2};
    app->pane.selEnd = TextPosition{320, 5};
    AppendToFile(path, Lines(1000, 1500));
    PostMessageW(app->pane.hwnd, WM_KEYDOWN, VK_F5, 0);
    app->PumpMessages();
    EXPECT_TRUE(app->document.reloadAppended);
    EXPECT_EQ(app->document.lineCount, 1501u);
    EXPECT_EQ(app->document.GetLineText(1499), u"row 1499\t" + std::u16string(49, u'-') + u"\n");
    EXPECT_EQ(app->pane.topLine, 300u);
    EXPECT_EQ(app->pane.xOffset, 16);
    EXPECT_EQ(app->pane.selStart, (TextPosition{310, 2}));
    EXPECT_EQ(app->pane.selEnd, (TextPosition{320, 5}));
    EXPECT_EQ(WindowText(main), FinishedTitle(path));
    EXPECT_EQ(app->saveEncoding, Encoding::Utf16Be);
    EXPECT_TRUE(app->writeBom);

    // At the end: the end stays in view, also across a CR LF split by the old end.
    app->pane.MoveToEnd();
    const uint64_t page = static_cast<uint64_t>(app->pane.LinesPerPage());
    AppendToFile(path, Lines(1500, 1800) + "tail\r");
    Command(IDM_RELOAD);
    EXPECT_EQ(app->document.lineCount, 1802u);
    AppendToFile(path, "\nafter");
    Command(IDM_RELOAD);
    EXPECT_TRUE(app->document.reloadAppended);
    const uint64_t last = app->document.lineCount - 1;
    EXPECT_EQ(last, 1801u);
    EXPECT_EQ(app->document.GetLineText(1800), u"tail\r\n");
    EXPECT_EQ(app->document.GetLineText(1801), u"after");
    EXPECT_GE(last, app->pane.topLine);
    EXPECT_LT(last, app->pane.topLine + page);
    TextDocument fresh;
    ASSERT_TRUE(fresh.Open(U16(path.c_str()), Encoding::None));
    EXPECT_EQ(app->document.lineCount, fresh.lineCount);
    EXPECT_EQ(app->document.maxLineLength, fresh.maxLineLength);
    ASSERT_EQ(app->document.lineIndex.size(), fresh.lineIndex.size());
    EXPECT_EQ(app->document.lineIndex.back(), fresh.lineIndex.back());
    fresh.Close();

    // Replaced by a shorter file: indexed afresh, the place clamped to it.
    app->pane.topLine = 1200;
    app->pane.anchor = app->pane.selStart = TextPosition{1, 3};
    app->pane.selEnd = TextPosition{1500, 2};
    WriteTestFile(L"reload.log", "short\nfile\n");
    Command(IDM_RELOAD);
    EXPECT_FALSE(app->document.reloadAppended);
    EXPECT_EQ(app->document.lineCount, 3u);
    EXPECT_EQ(app->document.GetLineText(1), u"file\n");
    EXPECT_LE(app->pane.topLine, app->pane.LastScrollableLine());
    EXPECT_EQ(app->pane.selStart, (TextPosition{1, 3}));
    EXPECT_EQ(app->pane.selEnd, (TextPosition{2, 0}));
    EXPECT_EQ(app->pane.xOffset, 0);
    ExpectDocumentCommands(true);

    DeleteFileW(path.c_str());
}

TEST_F(MainWindowTest, ReloadKeepsTheHorizontalPlaceAndPlacesInLongLines) {
    // 400 tabs are far wider than the estimate from the longest line's length.
    const std::string tabs = "first\n" + std::string(400, '\t') + "\nshort\n";
    const std::wstring path = WriteTestFile(L"reload_wide.log", tabs);
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    app->pane.EnsureVisible(TextPosition{1, 400});
    const int64_t end = app->pane.xOffset;
    EXPECT_GT(end, 2 * 401 * app->pane.surface.spaceWidth);
    AppendToFile(path, "appended\n");
    Command(IDM_RELOAD);
    EXPECT_TRUE(app->document.reloadAppended);
    EXPECT_EQ(app->pane.xOffset, end);
    WriteTestFile(L"reload_wide.log", "First" + tabs.substr(5));  // indexed afresh, the line is the same
    Command(IDM_RELOAD);
    EXPECT_FALSE(app->document.reloadAppended);
    EXPECT_EQ(app->pane.xOffset, end);
    // An offset past 32 bits, in a line measured that wide.
    app->pane.NoteLineWidth(int64_t(5) << 30);
    app->pane.xOffset = 3000000000;
    AppendToFile(path, "more\n");
    Command(IDM_RELOAD);
    EXPECT_EQ(app->pane.xOffset, 3000000000);

    // A caret and a selection in a line read in pieces stay where they were.
    app->document.maxBlockBytes = 4096;
    WriteTestFile(L"reload_wide.log", "first\n" + std::string(20000, 'x') + "\n");
    Command(IDM_RELOAD);
    app->pane.anchor = app->pane.selStart = TextPosition{1, 15000};
    app->pane.selEnd = TextPosition{1, 30000};
    AppendToFile(path, "more\n");
    Command(IDM_RELOAD);
    EXPECT_TRUE(app->document.IsLongLine(1));
    EXPECT_EQ(app->pane.selStart, (TextPosition{1, 15000}));
    EXPECT_EQ(app->pane.selEnd, (TextPosition{1, 20001}));
    DeleteFileW(path.c_str());
}

TEST_F(MainWindowTest, ReloadDetectsAnUndecidedEncodingAgain) {
    const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87\n";
    const std::wstring path = WriteTestFile(L"reload_detect.log", "ascii\n");
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_ANSI, IDM_CONVERT_ANSI}));
    AppendToFile(path, chinese);
    Command(IDM_RELOAD);
    EXPECT_EQ(app->document.encoding, Encoding::Utf8);
    EXPECT_EQ(app->document.GetLineText(1), u"\u4E2D\u6587\n");
    // The Save As defaults follow the encoding, as after an open.
    EXPECT_EQ(app->saveEncoding, Encoding::Utf8);
    EXPECT_EQ(CheckedItems(), (std::vector<UINT>{IDM_VIEW_UTF8, IDM_CONVERT_UTF8}));

    // Viewed as ANSI by choice: the choice stays.
    WriteTestFile(L"reload_detect.log", "ascii\n");
    ASSERT_TRUE(OpenFromCommandLine(L"\"" + path + L"\""));
    Command(IDM_VIEW_ANSI);
    AppendToFile(path, chinese);
    Command(IDM_RELOAD);
    EXPECT_EQ(app->document.encoding, Encoding::Ansi);
    DeleteFileW(path.c_str());
}

} // namespace
