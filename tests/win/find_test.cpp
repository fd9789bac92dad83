// Clipboard, find commands and the Find and Go-to dialogs on real windows.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

#include <atomic>
#include <functional>
#include <iterator>
#include <thread>
#include <memory>
#include <string>

#include "app/resource.h"
#include "core/win_string.h"
#include "app/find_dialogs.h"
#include "tests/core/temp_text_file.h"
#include "tests/win/test_host_win.h"
#include "app/text_view.h"

namespace {

TextPosition P(uint64_t line, uint64_t column) { return TextPosition{line, column}; }

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

struct GdiplusSession {
    GdiplusSession() {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token); }
    ULONG_PTR token = 0;
};

// The program's main window and text pane over a document.
class Harness {
public:
    explicit Harness(const std::string& bytes, Encoding enc = Encoding::Utf8) : file_(bytes) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FindTestFrame";
        RegisterClassW(&wc);
        v = std::make_unique<TextView>();
        HWND main = v->CreateMainWindow(GetModuleHandleW(nullptr));
        if (!main) return;
        SetWindowPos(main, nullptr, 100, 80, 900, 640, SWP_NOZORDER);
        ShowWindow(main, SW_SHOWNORMAL);
        UpdateWindow(main);
        Drain();
        opened = file_.written() && v->OpenDocument(file_.path(), enc);
        Drain();
    }
    ~Harness() {
        if (v->findDialog && IsWindow(v->findDialog)) DestroyWindow(v->findDialog);
        if (v->mainWindow && IsWindow(v->mainWindow)) DestroyWindow(v->mainWindow);
        v->document.Close();
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    static void Drain() {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
    }
    std::u16string Status() const { return Text(GetDlgItem(v->findDialog, IDC_FIND_STATUS)); }
    // Whether the status, wrapped at the width of its line, shows whole.
    bool StatusFits() const {
        HWND st = GetDlgItem(v->findDialog, IDC_FIND_STATUS);
        const std::wstring t = W(Status());
        RECT box, need;
        GetClientRect(st, &box);
        need = RECT{0, 0, box.right, 0};
        HDC dc = GetDC(st);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(st, WM_GETFONT, 0, 0)));
        DrawTextW(dc, t.c_str(), int(t.size()), &need, DT_CALCRECT | DT_WORDBREAK);
        SelectObject(dc, old);
        ReleaseDC(st, dc);
        return need.right <= box.right && need.bottom <= box.bottom;
    }
    static std::u16string Text(HWND w) {
        wchar_t buf[4096];
        int n = GetWindowTextW(w, buf, 4096);
        return U16(buf, n > 0 ? size_t(n) : 0);
    }
    void Click(int id) { SendMessageW(GetDlgItem(v->findDialog, id), BM_CLICK, 0, 0); }
    void Select(TextPosition a, TextPosition b) {
        v->pane.anchor = v->pane.selStart = a;
        v->pane.selEnd = b;
    }

    GdiplusSession gdiplus;
    std::unique_ptr<TextView> v;
    bool opened = false;

private:
    TempFile file_;
};

std::u16string ClipboardText(HWND owner) {
    std::u16string out = u"<none>";
    if (!OpenClipboard(owner)) return u"<closed>";
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        const wchar_t* p = static_cast<const wchar_t*>(GlobalLock(h));
        if (p) {
            out = U16(p);
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return out;
}

void PutClipboardText(HWND owner, const std::u16string& s) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, (s.size() + 1) * 2);
    memcpy(GlobalLock(g), s.c_str(), (s.size() + 1) * 2);
    GlobalUnlock(g);
    SetClipboardData(CF_UNICODETEXT, g);
    CloseClipboard();
}

// Runs body once from inside the next modal loop (a thread timer fires there).
std::function<void()> timerBody;
void CALLBACK TimerThunk(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto body = std::move(timerBody);
    timerBody = nullptr;
    if (body) body();
}
void InModalLoop(std::function<void()> body) {
    timerBody = std::move(body);
    SetTimer(nullptr, 0, 30, TimerThunk);
}

HWND FindDialogWindow(const wchar_t* caption) { return FindWindowW(L"#32770", caption); }

// Runs Go-to with the given entry and returns the line then on top.
uint64_t GoTo(Harness& h, const wchar_t* entry) {
    std::wstring text = entry;
    std::u16string seen;
    DWORD selection = 0;
    InModalLoop([&] {
        HWND dlg = FindDialogWindow(L"转跳到");
        if (!dlg) return;
        seen = Harness::Text(GetDlgItem(dlg, IDC_GOTO_LINE));
        selection = DWORD(SendDlgItemMessageW(dlg, IDC_GOTO_LINE, EM_GETSEL, 0, 0));
        SetDlgItemTextW(dlg, IDC_GOTO_LINE, text.c_str());
        SendMessageW(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(h.v->ShowGoToDialog(), 0);
    EXPECT_EQ(seen, u"1");
    EXPECT_EQ(LOWORD(selection), 0);
    EXPECT_EQ(HIWORD(selection), 1);  // the whole "1" is selected
    return h.v->pane.topLine;
}

LRESULT CALLBACK HookedProc(HWND w, UINT m, WPARAM wp, LPARAM lp);
std::function<void()> onAppMessage;
constexpr UINT AppMessage = WM_APP + 7;

LRESULT CALLBACK HookedProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == AppMessage && onAppMessage) {
        auto f = std::move(onAppMessage);
        onAppMessage = nullptr;
        f();
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

// Posts a message whose handler runs f during the next pump.
void DuringNextPump(Harness& h, std::function<void()> f) {
    SetWindowLongPtrW(h.v->mainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HookedProc));
    onAppMessage = std::move(f);
    PostMessageW(h.v->mainWindow, AppMessage, 0, 0);
}

std::string Lines(int count, const std::string& fill) {
    std::string s;
    for (int i = 0; i < count; ++i) s += fill + std::to_string(i) + "\r\n";
    return s;
}

} // namespace

TEST(Clipboard, CopyPutsExactlyTheSelectedText) {
    Harness h("first line\r\nsecond\nthird\rlast \xE4\xB8\xAD");
    ASSERT_TRUE(h.opened);
    h.Select(P(0, 6), P(3, 6));
    h.v->CopySelection();
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), u"line\r\nsecond\nthird\rlast \u4E2D");
    // The block holds the text and one NUL.
    ASSERT_TRUE(OpenClipboard(h.v->pane.hwnd));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_GE(GlobalSize(data), (22 + 1) * sizeof(wchar_t));
    CloseClipboard();
    h.Select(P(1, 2), P(2, 0));
    h.v->CopySelection();
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), u"cond\n");
    EXPECT_EQ(h.v->SelectedText(), u"cond\n");
    // Another program holding the clipboard for a moment delays the copy,
    // it does not lose it.
    // A copy that gives up says so in a box, which is closed here.
    std::atomic<bool> held{false}, copied{false}, sawBox{false};
    std::thread other([&] {
        HWND w = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        if (OpenClipboard(w)) {
            held = true;
            Sleep(150);
            CloseClipboard();
        }
        held = true;
        DestroyWindow(w);
        while (!copied) {
            if (HWND box = FindWindowW(nullptr, L"复制")) {
                sawBox = true;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(20);
        }
    });
    while (!held) Sleep(1);
    h.Select(P(0, 0), P(0, 5));
    h.v->CopySelection();
    copied = true;
    other.join();
    EXPECT_FALSE(sawBox);
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), u"first");
}

// A selection in long lines (read in pieces under a small bound), and Select
// All ending inside a long last line, copy exactly the file's text.
TEST(Clipboard, LongLinesCopyInFull) {
    std::string a, b;
    for (int i = 0; i < 5000; ++i) a += char('a' + i % 26);
    for (int i = 0; i < 3000; ++i) b += i % 10 ? "x" : "\xE4\xB8\xAD";
    Harness h(a + "\r\n" + b);
    ASSERT_TRUE(h.opened);
    h.v->document.maxBlockBytes = 100;
    h.v->document.ClearCache();
    ASSERT_TRUE(h.v->document.IsLongLine(1));
    const std::u16string wa(a.begin(), a.end()), wb = Utf8ToWide(b.data(), int32_t(b.size()));
    h.Select(P(0, 4000), P(1, 2500));
    h.v->CopySelection();
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), wa.substr(4000) + u"\r\n" + wb.substr(0, 2500));
    h.v->pane.SelectAll();
    h.v->CopySelection();
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), wa + u"\r\n" + wb);
}

TEST(Clipboard, EmptySelectionLeavesTheClipboardAlone) {
    Harness h("some text\n");
    ASSERT_TRUE(h.opened);
    PutClipboardText(h.v->pane.hwnd, u"earlier");
    h.Select(P(0, 4), P(0, 4));
    h.v->CopySelection();
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), u"earlier");
}

TEST(Clipboard, SelectionBeyondTheBoundIsRefusedWithAMessage) {
    // One unit more than the bound, in lines of 1024 units.
    const size_t lines = TextView::CopyLimitUnits / 1024 + 1;
    std::string bytes;
    bytes.reserve(lines * 1024);
    const std::string line = std::string(1023, 'x') + "\n";
    for (size_t i = 0; i < lines; ++i) bytes += line;
    Harness h(bytes);
    bytes.clear();
    bytes.shrink_to_fit();
    ASSERT_TRUE(h.opened);
    PutClipboardText(h.v->pane.hwnd, u"kept");
    const uint64_t last = h.v->document.lineCount - 1;
    h.Select(P(0, 0), P(last, 0));
    std::u16string message;
    // The count handles messages too: the timer waits for the box.
    std::function<void()> closeBox = [&] {
        HWND box = FindDialogWindow(L"复制");
        if (!box) return InModalLoop(closeBox);
        EnumChildWindows(
            box,
            [](HWND c, LPARAM out) -> BOOL {
                std::u16string t = Harness::Text(c);
                if (t.find(u"256 MiB") != std::u16string::npos) *reinterpret_cast<std::u16string*>(out) = t;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&message));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    InModalLoop(closeBox);
    // Counting what the bytes allow to be more than the bound handles the
    // waiting messages before the refusal.
    bool beforeTheBox = false;
    DuringNextPump(h, [&] { beforeTheBox = !FindDialogWindow(L"复制"); });
    h.v->CopySelection();
    EXPECT_TRUE(beforeTheBox);
    EXPECT_NE(message, u"");
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), u"kept");
}

TEST(FindCommands, StatusTextsAndSelection) {
    Harness h("alpha beta\r\ngamma beta\ndelta");
    ASSERT_TRUE(h.opened);
    h.v->OpenFindDialog();
    ASSERT_NE(h.v->findDialog, nullptr);
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"beta");
    EXPECT_EQ(h.v->searchText, u"beta");
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.v->pane.selStart, P(0, 6));
    EXPECT_EQ(h.v->pane.selEnd, P(0, 10));
    EXPECT_EQ(h.v->pane.anchor, P(0, 6));
    EXPECT_EQ(h.Status(), u"查找结果：1 处地方被查找到.");
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.v->pane.selStart, P(1, 6));
    h.Click(IDC_FIND_PREVIOUS);
    EXPECT_EQ(h.v->pane.selStart, P(0, 6));
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：2 处匹配.");
    EXPECT_EQ(h.v->pane.selStart, P(0, 6));  // counting leaves the selection
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"omega");
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.Status(), u"查找结果：全文查找不到文本 'omega'.");
    EXPECT_EQ(h.v->pane.selStart, P(0, 6));
    EXPECT_EQ(h.v->pane.selEnd, P(0, 10));
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：0 处匹配.");
    // The check boxes drive the options at once.
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"BETA");
    h.Click(IDC_MATCH_CASE);
    EXPECT_TRUE(h.v->findOptions.matchCase);
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：0 处匹配.");
    h.Click(IDC_MATCH_CASE);
    EXPECT_FALSE(h.v->findOptions.matchCase);
    h.Click(IDC_WHOLE_WORD);
    EXPECT_TRUE(h.v->findOptions.wholeWord);
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"bet");
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：0 处匹配.");
    h.Click(IDC_WHOLE_WORD);
    h.Click(IDC_WRAP_AROUND);
    EXPECT_FALSE(h.v->findOptions.wrapAround);
    h.Select(P(1, 6), P(1, 10));
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.Status(), u"查找结果：全文查找不到文本 'bet'.");
    EXPECT_EQ(h.v->pane.selStart, P(1, 6));
}

// With the regular-expression box ticked the text is a pattern: a match of
// any length is selected; a pattern that does not compile and a line the
// engine gives up on are said, and nothing moves; the option stays across
// opening another file.
TEST(FindCommands, RegularExpressions) {
    Harness h("id a12c and b345c\n" + std::string(3000, 'a') + "!\nb7c\n");
    ASSERT_TRUE(h.opened);
    h.v->OpenFindDialog();
    h.Click(IDC_REGEX);
    EXPECT_TRUE(h.v->findOptions.regex);
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"b[0-9]+c");
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.v->pane.selStart, P(0, 12));
    EXPECT_EQ(h.v->pane.selEnd, P(0, 17));
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.v->pane.selStart, P(2, 0));
    EXPECT_EQ(h.v->pane.selEnd, P(2, 3));
    h.Click(IDC_FIND_PREVIOUS);
    EXPECT_EQ(h.v->pane.selStart, P(0, 12));
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：2 处匹配.");
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"a(b");
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.Status(), u"正则表达式有误：missing closing parenthesis（第 4 个字符）");
    EXPECT_EQ(h.v->pane.selStart, P(0, 12));
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"正则表达式有误：missing closing parenthesis（第 4 个字符）");
    // The engine's longest reasons show whole in the status line.
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"b\\g");
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status().rfind(u"正则表达式有误：\\g is not followed by", 0), 0u) << W(h.Status());
    EXPECT_TRUE(h.StatusFits()) << W(h.Status());
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"(a+)+$");
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"正则表达式过于复杂，已在第 2 行停止。");
    h.Click(IDC_FIND_NEXT);
    EXPECT_EQ(h.Status(), u"正则表达式过于复杂，已在第 2 行停止。");
    EXPECT_EQ(h.v->pane.selStart, P(0, 12));
    // A match longer than a long line's window (the bound's, here).
    h.v->document.maxBlockBytes = 1000;
    h.v->document.ClearCache();
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"a+!");
    for (int id : {IDC_FIND_NEXT, IDC_COUNT}) {
        h.Click(id);
        EXPECT_EQ(h.Status(), u"正则表达式的一处匹配超过 1000 个字符（长行按此大小分段查找），已在第 2 行停止。");
        EXPECT_TRUE(h.StatusFits());
    }
    EXPECT_EQ(h.v->pane.selStart, P(0, 12));
    TempFile other("b1c\n");
    ASSERT_TRUE(h.v->OpenDocument(other.path(), Encoding::Utf8));
    h.v->OpenFindDialog();
    EXPECT_TRUE(h.v->findOptions.regex);
    EXPECT_EQ(IsDlgButtonChecked(h.v->findDialog, IDC_REGEX), BST_CHECKED);
    h.Click(IDC_REGEX);
    EXPECT_FALSE(h.v->findOptions.regex);
}

// Running out of memory is reported where the operation reports its results.
TEST(FindCommands, OutOfMemoryIsReported) {
    Harness h(Lines(100000, "some text "));
    ASSERT_TRUE(h.opened);
    h.v->OpenFindDialog();
    SetDlgItemTextW(h.v->findDialog, IDC_FIND_TEXT, L"absent");
    std::u16string find, count, copy;
    h.Select(P(0, 0), P(90000, 0));
    {
        LargeAllocationsFail oom(256 << 10);
        try {
            h.v->FindNext();
            find = h.Status();
            h.v->CountMatches();
            count = h.Status();
            InModalLoop([&] {
                HWND box = FindDialogWindow(L"复制");
                if (!box) return;
                copy = u"box";
                EnumChildWindows(
                    box,
                    [](HWND c, LPARAM out) -> BOOL {
                        std::u16string t = Harness::Text(c);
                        if (t.find(u"内存不足") != std::u16string::npos) *reinterpret_cast<std::u16string*>(out) = t;
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&copy));
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            });
            h.v->CopySelection();
        } catch (const std::bad_alloc&) {
            ADD_FAILURE() << "out of memory escaped";
        }
    }
    EXPECT_EQ(find, u"查找失败：内存不足.");
    EXPECT_EQ(count, u"计数失败：内存不足.");
    // Copy builds no string of the selection: it writes into the clipboard's
    // block, so it still copies.
    EXPECT_EQ(copy, u"");
    EXPECT_EQ(ClipboardText(h.v->pane.hwnd), h.v->SelectedText());
    EXPECT_EQ(h.v->pane.selStart, P(0, 0));
    EXPECT_EQ(h.v->jobs.running, Job::None);
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：0 处匹配.");
}

TEST(FindCommands, EmptySearchTextAndNoDialog) {
    Harness h("abc abc\n");
    ASSERT_TRUE(h.opened);
    h.Select(P(0, 1), P(0, 2));
    h.v->FindNext();  // F3 before anything was searched: nothing happens
    h.v->FindPrevious();
    h.v->CountMatches();
    EXPECT_EQ(h.v->pane.selStart, P(0, 1));
    EXPECT_EQ(h.v->pane.selEnd, P(0, 2));
    EXPECT_EQ(h.v->findDialog, nullptr);
    h.v->searchText = u"abc";
    h.v->FindNext();  // searches without a dialog to report to
    EXPECT_EQ(h.v->pane.selStart, P(0, 4));
    EXPECT_EQ(h.v->pane.selEnd, P(0, 7));
}

TEST(FindDialog, SeededFromTheSelection) {
    Harness h("xx abc yy\r\nnext line\r\n" + std::string(3000, 'q') + "\n");
    ASSERT_TRUE(h.opened);
    h.Select(P(0, 3), P(0, 6));
    h.v->OpenFindDialog();
    HWND dlg = h.v->findDialog;
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(IsWindowVisible(dlg));
    EXPECT_EQ(Harness::Text(GetDlgItem(dlg, IDC_FIND_TEXT)), u"abc");
    EXPECT_EQ(h.v->searchText, u"abc");
    // An empty selection keeps the previous search text.
    h.Select(P(1, 2), P(1, 2));
    h.v->OpenFindDialog();
    EXPECT_EQ(h.v->searchText, u"abc");
    EXPECT_EQ(Harness::Text(GetDlgItem(dlg, IDC_FIND_TEXT)), u"abc");
    // A selection across a line break keeps the terminator.
    h.Select(P(0, 7), P(1, 4));
    h.v->OpenFindDialog();
    EXPECT_EQ(h.v->searchText, u"yy\r\nnext");
    EXPECT_EQ(Harness::Text(GetDlgItem(dlg, IDC_FIND_TEXT)), u"yy\r\nnext");
    // A long selection gives its first 1023 units.
    h.Select(P(2, 0), P(2, 3000));
    h.v->OpenFindDialog();
    EXPECT_EQ(h.v->searchText, std::u16string(1023, u'q'));
    // The check boxes show the options.
    h.v->findOptions.wholeWord = true;
    h.v->findOptions.wrapAround = false;
    h.v->OpenFindDialog();
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_WHOLE_WORD), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_MATCH_CASE), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, IDC_WRAP_AROUND), BST_UNCHECKED);
}

TEST(FindDialog, ClosingHidesAndKeepsTheStatus) {
    Harness h("abc\n");
    ASSERT_TRUE(h.opened);
    h.v->searchText = u"abc";
    h.v->OpenFindDialog();
    HWND dlg = h.v->findDialog;
    h.Click(IDC_COUNT);
    EXPECT_EQ(h.Status(), u"计数：1 处匹配.");
    SendMessageW(dlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_FALSE(IsWindowVisible(dlg));
    // Status texts still go to the hidden dialog.
    h.v->searchText = u"zzz";
    h.v->FindNext();
    EXPECT_EQ(h.Status(), u"查找结果：全文查找不到文本 'zzz'.");
    h.v->OpenFindDialog();
    EXPECT_EQ(h.v->findDialog, dlg);
    EXPECT_TRUE(IsWindowVisible(dlg));
    EXPECT_EQ(h.Status(), u"查找结果：全文查找不到文本 'zzz'.");
}

// The dialog manager's keys, in the main loop and in the pump of a job:
// Enter is Find next, Tab moves, Space ticks the focused check box, Esc hides.
TEST(FindDialog, WorksFromTheKeyboard) {
    Harness h("alpha\r\nBeta\r\n");
    ASSERT_TRUE(h.opened);
    h.v->OpenFindDialog();
    HWND dlg = h.v->findDialog;
    HWND edit = GetDlgItem(dlg, IDC_FIND_TEXT);
    SetDlgItemTextW(dlg, IDC_FIND_TEXT, L"beta");
    EXPECT_EQ(GetFocus(), edit);
    auto keys = [&](std::initializer_list<WPARAM> vks) {
        for (WPARAM vk : vks) {
            PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1);
            PostMessageW(GetFocus(), WM_KEYUP, vk, 0xC0000001);
            PostQuitMessage(0);
            EXPECT_EQ(RunMessageLoop(*h.v), 0);
        }
    };
    keys({VK_RETURN});
    EXPECT_EQ(h.Status(), u"查找结果：1 处地方被查找到.");
    EXPECT_EQ(h.v->pane.selStart, P(1, 0));
    EXPECT_EQ(h.v->pane.selEnd, P(1, 4));
    keys({VK_TAB, VK_TAB, VK_SPACE});
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDC_MATCH_CASE));
    EXPECT_TRUE(h.v->findOptions.matchCase);
    keys({VK_TAB, VK_TAB, VK_RETURN});
    EXPECT_EQ(h.Status(), u"查找结果：全文查找不到文本 'beta'.");
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
    EXPECT_TRUE(h.v->PumpMessages());
    EXPECT_FALSE(IsWindowVisible(dlg));
}

TEST(FindDialog, ShowingAgainActivatesItAboveTheMainWindow) {
    Harness h("abc\n");
    ASSERT_TRUE(h.opened);
    h.v->OpenFindDialog();
    HWND dlg = h.v->findDialog;
    ASSERT_NE(dlg, nullptr);
    // The user clicks the main window (its menu, its caption): it becomes active.
    SetActiveWindow(h.v->mainWindow);
    ASSERT_EQ(GetActiveWindow(), h.v->mainWindow);
    h.v->OpenFindDialog();
    EXPECT_EQ(GetActiveWindow(), dlg);
    // The dialog is above the main window again.
    HWND w = dlg;
    while (w && w != h.v->mainWindow) w = GetWindow(w, GW_HWNDNEXT);
    EXPECT_EQ(w, h.v->mainWindow);
}

TEST(FindDialog, TemplateAndCentring) {
    Harness h("abc\n");
    ASSERT_TRUE(h.opened);
    h.v->OpenFindDialog();
    HWND dlg = h.v->findDialog;
    EXPECT_EQ(GetWindow(dlg, GW_OWNER), h.v->mainWindow);
    EXPECT_EQ(Harness::Text(dlg), u"查找");
    struct Item {
        int id;
        const char16_t* text;
        RECT du;  // x, y, width, height in dialog units
    };
    const Item items[] = {
        {IDC_FIND_TEXT, u"", {63, 14, 197, 14}},
        {IDC_WHOLE_WORD, u"全词匹配(W)", {15, 41, 60, 10}},
        {IDC_MATCH_CASE, u"匹配大小写(C)", {15, 59, 66, 10}},
        {IDC_WRAP_AROUND, u"循环查找(D)", {15, 77, 58, 10}},
        {IDC_REGEX, u"正则表达式(R)", {15, 95, 66, 10}},
        {IDC_FIND_NEXT, u"查找下一个", {179, 34, 82, 18}},
        {IDC_FIND_PREVIOUS, u"查找上一个", {179, 55, 82, 17}},
        {IDC_COUNT, u"计数", {179, 75, 82, 16}},
        {IDC_LIST_LINES, u"列出匹配行", {179, 94, 82, 16}},
        {IDC_INVERSE, u"反向(V)", {90, 95, 50, 10}},
        {IDC_FIND_STATUS, u"", {17, 113, 239, 24}},
    };
    RECT client, placed[std::size(items)];
    GetClientRect(dlg, &client);
    for (const Item& it : items) {
        HWND c = GetDlgItem(dlg, it.id);
        ASSERT_NE(c, nullptr) << it.id;
        EXPECT_EQ(Harness::Text(c), it.text) << it.id;
        RECT want = it.du;  // each field converts on its own, as the dialog manager does
        MapDialogRect(dlg, &want);
        RECT got;
        GetWindowRect(c, &got);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&got), 2);
        EXPECT_EQ(got.left, want.left) << it.id;
        EXPECT_EQ(got.top, want.top) << it.id;
        EXPECT_EQ(got.right - got.left, want.right) << it.id;
        EXPECT_EQ(got.bottom - got.top, want.bottom) << it.id;
        // Inside the client area, overlapping no other control.
        RECT inside;
        EXPECT_TRUE(IntersectRect(&inside, &got, &client) && EqualRect(&inside, &got)) << it.id;
        const size_t k = size_t(&it - items);
        for (size_t j = 0; j < k; ++j) EXPECT_FALSE(IntersectRect(&inside, &got, &placed[j])) << it.id << " " << j;
        placed[k] = got;
    }
    EXPECT_TRUE(GetWindowLongW(GetDlgItem(dlg, IDC_FIND_TEXT), GWL_STYLE) & ES_AUTOHSCROLL);
    RECT wantClient{0, 0, 275, 146};  // the template's size is its client area
    MapDialogRect(dlg, &wantClient);
    EXPECT_EQ(client.right, wantClient.right);
    EXPECT_EQ(client.bottom, wantClient.bottom);
    RECT d, o;
    GetWindowRect(dlg, &d);
    GetWindowRect(h.v->mainWindow, &o);
    EXPECT_EQ(d.left, o.left + ((o.right - o.left) - (d.right - d.left)) / 2);
    EXPECT_EQ(d.top, o.top + ((o.bottom - o.top) - (d.bottom - d.top)) / 2);
}

TEST(GoToDialog, ParsingAndClamping) {
    EXPECT_EQ(GoToTargetLine(L"1", 50), 0u);
    EXPECT_EQ(GoToTargetLine(L"  +17xyz", 50), 16u);
    EXPECT_EQ(GoToTargetLine(L"50", 50), 49u);
    EXPECT_EQ(GoToTargetLine(L"51", 50), 49u);
    for (const wchar_t* last : {L"", L"0", L"-5", L"abc", L"99999999999999999999999", L"-99999999999999999999"})
        EXPECT_EQ(GoToTargetLine(last, 50), 49u) << last;
    EXPECT_EQ(GoToTargetLine(L"4000000001", 5000000000ull), 4000000000ull);
}

TEST(GoToDialog, MovesTheViewOnly) {
    Harness h(Lines(3000, "line "));
    ASSERT_TRUE(h.opened);
    h.Select(P(2, 1), P(2, 3));
    EXPECT_EQ(GoTo(h, L"1"), 0u);  // already on top: nothing moves
    EXPECT_EQ(GoTo(h, L"1000"), 999u);
    SCROLLINFO bar{};
    bar.cbSize = sizeof(bar);
    bar.fMask = SIF_POS;
    GetScrollInfo(h.v->pane.hwnd, SB_VERT, &bar);
    EXPECT_EQ(bar.nPos, 999);  // the thumb follows the jump
    EXPECT_EQ(h.v->pane.selStart, P(2, 1));  // selection untouched
    EXPECT_EQ(h.v->pane.selEnd, P(2, 3));
    // A target from the top line down to one row past the screen counts as visible.
    const uint64_t rows = h.v->pane.RowsOnScreen();
    EXPECT_EQ(GoTo(h, std::to_wstring(999 + rows + 1).c_str()), 999u);
    EXPECT_EQ(GoTo(h, std::to_wstring(999 + rows + 2).c_str()), 999u + rows + 1);
    EXPECT_EQ(GoTo(h, L"10"), 9u);
    // Entries that are not a line number go to the last line (the view clamps near the end).
    for (const wchar_t* e : {L"0", L"", L"-5", L"abc", L"123456789"}) {
        h.v->pane.topLine = 0;
        uint64_t top = GoTo(h, e);
        EXPECT_GT(top, 2000u) << e;
        EXPECT_LE(top, h.v->document.lineCount - 1) << e;
    }
}

TEST(GoToDialog, EscapeClosesWithoutMoving) {
    Harness h(Lines(100, "x"));
    ASSERT_TRUE(h.opened);
    h.v->pane.topLine = 0;
    InModalLoop([&] {
        HWND dlg = FindDialogWindow(L"转跳到");
        if (dlg) {
            SetDlgItemTextW(dlg, IDC_GOTO_LINE, L"50");
            SendMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
        }
    });
    EXPECT_EQ(h.v->ShowGoToDialog(), 0);
    EXPECT_EQ(h.v->pane.topLine, 0u);
}

TEST(GoToDialog, JumpsFartherThanThirtyTwoBits) {
    Harness h("only\n");
    ASSERT_TRUE(h.opened);
    // Line count as a huge file would have it; lines past the file read as empty.
    h.v->document.lineCount = 6000000000ull;
    h.v->pane.topLine = 0;
    EXPECT_EQ(GoTo(h, L"5000000001"), 5000000000ull);
    EXPECT_EQ(GoTo(h, L"2"), 1u);
}

// ---- long runs: pumping, progress and cancelling ----

TEST(FindLongRun, ProgressAndCompletion) {
    Harness h(Lines(5000, "needle hay "));
    ASSERT_TRUE(h.opened);
    h.v->jobs.progressMs = 0;  // pump at every block
    h.v->searchText = u"needle";
    h.v->OpenFindDialog();
    Harness::Drain();
    std::u16string during;
    bool runningSeen = false;
    DuringNextPump(h, [&] {
        during = h.Status();
        runningSeen = h.v->jobs.running == Job::Count;
    });
    h.v->CountMatches();
    EXPECT_TRUE(runningSeen);
    EXPECT_EQ(during.rfind(u"正在计数 ", 0), 0u) << W(during);
    EXPECT_NE(during.find(u"已找到 100 处"), std::u16string::npos);
    EXPECT_EQ(h.Status(), u"计数：5000 处匹配.");
    EXPECT_EQ(h.v->jobs.running, Job::None);
    // A forward search that has to wrap still lands on the first match.
    h.Select(P(1, 3), P(1, 3));
    h.v->searchText = u"hay 0\r";
    DuringNextPump(h, [&] { during = h.Status(); });
    h.v->FindNext();
    EXPECT_EQ(during.rfind(u"正在查找 ", 0), 0u) << W(during);
    EXPECT_EQ(h.v->pane.selStart, P(0, 7));
    EXPECT_EQ(h.v->pane.selEnd, P(0, 13));
    EXPECT_EQ(h.Status(), u"查找结果：1 处地方被查找到.");
}

// One block of several steps without the text: the prefilter's steps show
// the progress and take Esc.
TEST(FindLongRun, ProgressWhileNoBlockHoldsTheText) {
    Harness h(std::string(3 << 20, 'y') + "\n");
    ASSERT_TRUE(h.opened);
    h.v->jobs.progressMs = 0;
    h.v->findOptions.wrapAround = false;
    h.v->searchText = u"needle";
    h.v->OpenFindDialog();
    Harness::Drain();
    std::u16string during;
    DuringNextPump(h, [&] { during = h.Status(); });
    h.v->FindNext();
    EXPECT_EQ(during.rfind(u"正在查找 ", 0), 0u) << W(during);
    EXPECT_EQ(h.Status(), u"查找结果：全文查找不到文本 'needle'.");
    PostMessageW(h.v->pane.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    h.v->FindPrevious();
    EXPECT_EQ(h.Status(), u"查找已取消.");
}

TEST(FindLongRun, CancelledByEscapeAButtonOrADocumentChange) {
    Harness h(Lines(5000, "needle hay "));
    ASSERT_TRUE(h.opened);
    h.v->jobs.progressMs = 0;
    h.v->searchText = u"needle";
    h.v->OpenFindDialog();
    Harness::Drain();
    PostMessageW(GetDlgItem(h.v->findDialog, IDC_FIND_TEXT), WM_KEYDOWN, VK_ESCAPE, 0);
    h.v->CountMatches();
    EXPECT_EQ(h.Status(), u"计数已取消.");
    EXPECT_FALSE(IsWindowVisible(h.v->findDialog));  // and the dialog is hidden
    h.v->OpenFindDialog();
    // So does F3, in the dialog or in the text pane.
    for (HWND w : {GetDlgItem(h.v->findDialog, IDC_FIND_TEXT), h.v->pane.hwnd}) {
        PostMessageW(w, WM_KEYDOWN, VK_F3, 0x003D0001);
        h.v->CountMatches();
        EXPECT_EQ(h.Status(), u"计数已取消.");
    }
    // Clicking a button again while a search runs stops it.
    h.Select(P(2, 0), P(2, 0));
    h.v->searchText = u"not there";
    PostMessageW(GetDlgItem(h.v->findDialog, IDC_COUNT), BM_CLICK, 0, 0);
    h.v->FindNext();
    EXPECT_EQ(h.Status(), u"查找已取消.");
    EXPECT_EQ(h.v->pane.selStart, P(2, 0));
    h.v->searchText = u"not there";  // the click moved the focus, so the edit was read again
    PostMessageW(h.v->pane.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    h.v->FindPrevious();
    EXPECT_EQ(h.Status(), u"查找已取消.");
    // The document viewed in another encoding from within the pump.
    DuringNextPump(h, [&] {
        h.v->document.encoding = Encoding::Ansi;
        h.v->document.ClearCache();
    });
    h.v->CountMatches();
    EXPECT_EQ(h.Status(), u"计数已取消.");
    h.v->document.encoding = Encoding::Utf8;
    // A second count started from the pump does not run inside the first.
    int nested = 0;
    DuringNextPump(h, [&] {
        h.v->CountMatches();
        ++nested;
    });
    h.v->searchText = u"needle";
    h.v->CountMatches();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(h.Status(), u"计数已取消.");
    // A regular expression runs as the same job.
    h.v->findOptions.regex = true;
    h.v->searchText = u"ne+dle";
    PostMessageW(h.v->pane.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    h.v->CountMatches();
    EXPECT_EQ(h.Status(), u"计数已取消.");
    h.v->searchText = u"not the+re";
    PostMessageW(GetDlgItem(h.v->findDialog, IDC_FIND_PREVIOUS), BM_CLICK, 0, 0);
    h.v->FindNext();
    EXPECT_EQ(h.Status(), u"查找已取消.");
    h.v->findOptions.regex = false;
    h.v->searchText = u"needle";
    // A listing stops the same ways and keeps what it listed; Esc in the
    // list pane stops it without closing the list.
    for (int way = 0; way < 2; ++way) {
        if (way == 0) PostMessageW(GetDlgItem(h.v->findDialog, IDC_LIST_LINES), BM_CLICK, 0, 0);
        else PostMessageW(h.v->listPane.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
        h.v->ListCommand();
        EXPECT_TRUE(h.v->listShown);
        EXPECT_GT(h.v->listed.Size(), 0u);
        EXPECT_EQ(h.Status(), u"已取消，已列出 " + PathFromUtf8(std::to_string(h.v->listed.Size())) + u" 行.");
    }
    // Esc pressed in another window of the thread is not ours to take.
    HWND other = CreateWindowExW(0, L"FindTestFrame", L"other", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    PostMessageW(other, WM_KEYDOWN, VK_ESCAPE, 0);
    h.v->CountMatches();
    EXPECT_EQ(h.Status(), u"计数：5000 处匹配.");
    DestroyWindow(other);
}

// The list of matching lines: filled from the dialog's button, below the
// main pane with the file's line numbers; Enter and a double-click bring a
// line into the main pane with its match selected; Copy takes the selected
// rows; the inverse; Tab and F6; a reload lists appended lines; Esc closes.
TEST(MatchList, ListJumpCopyReloadAndClose) {
    Harness h("alpha beta\nzeta\ngamma beta\r\ndelta\nbeta end\n");
    ASSERT_TRUE(h.opened);
    TextView& v = *h.v;
    v.OpenFindDialog();
    SetDlgItemTextW(v.findDialog, IDC_FIND_TEXT, L"beta");
    h.Click(IDC_LIST_LINES);
    EXPECT_EQ(h.Status(), u"匹配行：3 行.");
    ASSERT_TRUE(v.listShown && IsWindowVisible(v.listPane.hwnd));
    ASSERT_EQ(v.listed.Size(), 3u);
    RECT top, bottom;
    GetWindowRect(v.pane.hwnd, &top);
    GetWindowRect(v.listPane.hwnd, &bottom);
    EXPECT_GT(bottom.top, top.bottom);  // below, with the splitter between
    size_t got = 0;
    const char16_t* units = v.listPane.lines.units(1, 0, 100, &got);
    EXPECT_EQ(std::u16string(units, got), u"gamma beta\r\n");
    EXPECT_EQ(v.listPane.lines.number(2), 4u);
    // Enter on a row, then a double-click on another.
    v.listPane.anchor = v.listPane.selStart = v.listPane.selEnd = P(1, 0);
    SendMessageW(v.listPane.hwnd, WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(v.pane.selStart, P(2, 6));
    EXPECT_EQ(v.pane.selEnd, P(2, 10));
    EXPECT_EQ(GetFocus(), v.pane.hwnd);
    POINT row2{v.listPane.textRect.left + v.listPane.EffectiveGutter() + 2,
               v.listPane.textRect.top + 2 * v.listPane.surface.lineHeight + 2};
    ClientToScreen(v.listPane.hwnd, &row2);
    SetCursorPos(row2.x, row2.y);
    SendMessageW(v.listPane.hwnd, WM_LBUTTONDBLCLK, 0, 0);
    EXPECT_EQ(v.pane.selStart, P(4, 0));
    EXPECT_EQ(v.pane.selEnd, P(4, 4));
    // Copy in the list pane: from row 0 column 6 to row 1 column 5.
    SetFocus(v.listPane.hwnd);
    v.listPane.anchor = v.listPane.selStart = P(0, 6);
    v.listPane.selEnd = P(1, 5);
    SendMessageW(v.mainWindow, WM_COMMAND, IDM_COPY, 0);
    EXPECT_EQ(ClipboardText(v.listPane.hwnd), u"beta\ngamma");
    // Tab and F6 move the focus between the panes.
    SendMessageW(v.listPane.hwnd, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(GetFocus(), v.pane.hwnd);
    SendMessageW(v.mainWindow, WM_COMMAND, IDM_NEXT_PANE, 0);
    EXPECT_EQ(GetFocus(), v.listPane.hwnd);
    // The inverse, then again the matches, which a reload extends.
    h.Click(IDC_INVERSE);
    h.Click(IDC_LIST_LINES);
    EXPECT_EQ(h.Status(), u"匹配行：2 行.");
    EXPECT_EQ(v.listed.LineAt(1), 3u);
    h.Click(IDC_INVERSE);
    h.Click(IDC_LIST_LINES);
    FILE* f = _wfopen(W(v.filePath), L"ab");
    ASSERT_NE(f, nullptr);
    fputs("no\nlast beta\n", f);
    fclose(f);
    ASSERT_TRUE(v.ReloadDocument());
    EXPECT_EQ(h.Status(), u"匹配行：4 行.");
    EXPECT_EQ(v.listed.LineAt(3), 6u);
    // Esc in the list pane closes it; the main pane takes the whole window.
    SendMessageW(v.listPane.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(v.listShown || IsWindowVisible(v.listPane.hwnd));
    EXPECT_EQ(v.listed.Size(), 0u);
    RECT client;
    GetClientRect(v.mainWindow, &client);
    GetClientRect(v.pane.hwnd, &top);
    EXPECT_EQ(top.bottom, client.bottom);
}
