// Save As through the application object: copy-or-convert, saving onto the
// open file, refusals, and the real Save dialog and message box.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "core/platform.h"
#include "core/win_string.h"
#include "output/convert.h"
#include "tests/win/test_host_win.h"
#include "app/text_view.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::string kGbk = "\xD6\xD0\xCE\xC4\r\nlog \xC8\xD5\xD6\xBE\n";  // 中文 / log 日志
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87\r\nlog \xE6\x97\xA5\xE5\xBF\x97\n";

std::string Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}
void Write(const fs::path& p, const std::string& s) {
    std::ofstream f(p, std::ios::binary);
    f.write(s.data(), std::streamsize(s.size()));
}

class SaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        dir = fs::path(tmp) / ("tv_save_" + std::to_string(GetTickCount()) + "_" +
                               std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir);
        main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        view = std::make_unique<TextView>();
        view->mainWindow = main;
        view->instance = GetModuleHandleW(nullptr);
        view->pane.hwnd = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 400, 300, main, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    }
    void TearDown() override {
        view->document.Close();
        DestroyWindow(main);
        view.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::u16string P(const fs::path& p) const { return U16(p.wstring().c_str()); }

    // Opens a file the way the program does.
    void Open(const fs::path& p) {
        ASSERT_TRUE(view->OpenDocument(P(p), Encoding::None));
    }
    size_t Entries() const {
        size_t n = 0;
        for (auto& e : fs::directory_iterator(dir)) { (void)e; ++n; }
        return n;
    }

    fs::path dir;
    HWND main = nullptr;
    std::unique_ptr<TextView> view;
};

TEST_F(SaveTest, CopyOrConvertDecision) {
    fs::path src = dir / "a.txt";
    Write(src, kGbk);
    Open(src);
    EXPECT_EQ(view->saveEncoding, Encoding::Ansi);
    EXPECT_FALSE(view->writeBom);

    // Defaults: a byte-identical copy; onto itself: nothing written.
    EXPECT_TRUE(view->SaveCopy(P(dir / "copy.txt")));
    EXPECT_EQ(Read(dir / "copy.txt"), kGbk);
    Write(src, kGbk + "changed on disk");
    EXPECT_TRUE(view->SaveCopy(view->filePath));
    EXPECT_EQ(Read(src), kGbk + "changed on disk");
    Write(src, kGbk);

    // Another spelling of the open file counts as the file itself, and is
    // never copied onto itself.
    std::u16string upper = view->filePath;
    for (auto& c : upper) c = char16_t(towupper(c));
    EXPECT_TRUE(view->SaveCopy(upper));
    EXPECT_EQ(Read(src), kGbk);

    // Ansi to UTF-16 LE with a mark.
    view->saveEncoding = Encoding::Utf16Le;
    view->writeBom = true;
    EXPECT_TRUE(view->SaveCopy(P(dir / "u16.txt")));
    std::u16string wide = u"\u4E2D\u6587\r\nlog \u65E5\u5FD7\n";
    EXPECT_EQ(Read(dir / "u16.txt"), "\xFF\xFE"s + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));

    // Ansi to Ansi with the mark flag on converts to the same bytes.
    view->saveEncoding = Encoding::Ansi;
    EXPECT_TRUE(view->SaveCopy(P(dir / "ansi.txt")));
    EXPECT_EQ(Read(dir / "ansi.txt"), kGbk);

    // A folder as the target fails and leaves nothing behind.
    fs::create_directory(dir / "folder");
    view->saveEncoding = Encoding::Utf8Bom;
    size_t before = Entries();
    EXPECT_FALSE(view->SaveCopy(P(dir / "folder")));
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_EQ(Entries(), before);
}

TEST_F(SaveTest, SavingOntoTheOpenFileReindexesIt) {
    fs::path src = dir / "self.log";
    std::string text;
    for (int i = 0; i < 250; ++i) text += kGbk;
    Write(src, text);
    Open(src);
    EXPECT_EQ(view->document.lineCount, 501u);

    // A replacement that fails keeps the file under its name, still readable.
    view->saveEncoding = Encoding::Utf8Bom;
    view->writeBom = true;
    platform::moveFault = [](const std::u16string&, const std::u16string&) { return true; };
    const bool faulted = view->SaveCopy(view->filePath);
    platform::moveFault = nullptr;
    EXPECT_FALSE(faulted);
    EXPECT_EQ(Read(src), text);
    EXPECT_EQ(Entries(), 1u);
    EXPECT_EQ(view->document.GetLineText(499), u"log \u65E5\u5FD7\n");

    ASSERT_TRUE(view->SaveCopy(view->filePath));
    std::string expected;
    for (int i = 0; i < 250; ++i) expected += kUtf8;
    EXPECT_EQ(Read(src), "\xEF\xBB\xBF" + expected);
    EXPECT_EQ(Entries(), 1u);  // no temporary file left

    // The document reads the new file, not bytes that are gone.
    ASSERT_TRUE(view->document.file.IsOpen());
    EXPECT_EQ(view->document.encoding, Encoding::Utf8Bom);
    EXPECT_EQ(view->document.lineCount, 501u);
    EXPECT_EQ(view->document.GetLineText(0), u"\uFEFF\u4E2D\u6587\r\n");
    EXPECT_EQ(view->document.GetLineText(499), u"log \u65E5\u5FD7\n");
    EXPECT_EQ(view->saveEncoding, Encoding::Utf8Bom);
    EXPECT_TRUE(view->writeBom);

    // Back to UTF-16 BE without a mark, onto itself again: forced open keeps it readable.
    view->saveEncoding = Encoding::Utf16Be;
    view->writeBom = false;
    ASSERT_TRUE(view->SaveCopy(view->filePath));
    EXPECT_EQ(Read(src).substr(0, 4), "\x4E\x2D\x65\x87"s);
    EXPECT_EQ(view->document.encoding, Encoding::Utf16Be);
    EXPECT_EQ(view->document.GetLineText(1), u"log \u65E5\u5FD7\n");
    EXPECT_FALSE(view->writeBom);
    // The file has no mark now, whatever its encoding: asking for one writes one.
    view->writeBom = true;
    ASSERT_TRUE(view->SaveCopy(P(dir / "marked.txt")));
    EXPECT_EQ(Read(dir / "marked.txt").substr(0, 6), "\xFE\xFF\x4E\x2D\x65\x87"s);
}

// A symbolic link named `link` to `name`: by the system call, or, under Wine,
// which does not make them, by the host's ln. False when there is none.
bool MakeSymlink(const fs::path& link, const std::wstring& name) {
    if (CreateSymbolicLinkW(link.c_str(), name.c_str(), 0x2 /* unprivileged */) && fs::exists(link)) return true;
    using UnixName = char*(CDECL*)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* where = unixName ? unixName(link.c_str()) : nullptr;
    if (!where) return false;
    std::wstring command = L"ln -s \"" + name + L"\" \"" + fs::u8path(where).wstring() + L"\"";
    HeapFree(GetProcessHeap(), 0, where);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(L"Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // Wine does not wait for a host program: wait for the link itself.
    for (int i = 0; i < 200 && !fs::is_symlink(link); i++) Sleep(50);
    return fs::exists(link);
}

// Another name of the open file: the converted text is written under the
// name chosen, links resolved, and a symbolic link stays a link.
TEST_F(SaveTest, ALinkToTheOpenFileIsWrittenUnderItsName) {
    fs::path src = dir / "a.txt", hard = dir / "hard.txt", soft = dir / "soft.txt";
    Write(src, kGbk);
    Open(src);
    std::error_code ec;
    fs::create_hard_link(src, hard, ec);
    if (ec) GTEST_SKIP() << "no hard links here";
    view->saveEncoding = Encoding::Utf16Le;
    view->writeBom = true;
    ASSERT_TRUE(view->SaveCopy(P(hard)));
    std::u16string wide = u"\u4E2D\u6587\r\nlog \u65E5\u5FD7\n";
    const std::string utf16 = "\xFF\xFE"s + std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    EXPECT_EQ(Read(hard), utf16);
    // One rename replaces one name: the other name of a hard link, the open
    // file, keeps the old bytes and is still read as they are.
    EXPECT_EQ(Read(src), kGbk);
    EXPECT_EQ(view->document.encoding, Encoding::Ansi);
    EXPECT_EQ(view->document.GetLineText(1), u"log \u65E5\u5FD7\n");

    // The folder's removal does not end under Wine while the link is in it.
    struct Unlink {
        fs::path link;
        ~Unlink() { DeleteFileW(link.c_str()); }
    } gone{soft};
    if (!MakeSymlink(soft, L"a.txt")) return;  // no symbolic links here
    view->saveEncoding = Encoding::Utf8Bom;
    ASSERT_TRUE(view->SaveCopy(P(soft)));
    EXPECT_EQ(Read(src), "\xEF\xBB\xBF" + kUtf8);
    EXPECT_EQ(view->document.GetLineText(1), u"log \u65E5\u5FD7\n");
    // Opened through the link: saved onto the file it names, or onto the link.
    Open(soft);
    view->saveEncoding = Encoding::Utf16Le;
    ASSERT_TRUE(view->SaveCopy(P(src)));
    EXPECT_EQ(Read(src), utf16);
    EXPECT_EQ(view->document.encoding, Encoding::Utf16Le);
    EXPECT_EQ(view->document.GetLineText(1), u"log \u65E5\u5FD7\n");
    view->saveEncoding = Encoding::Ansi;
    view->writeBom = false;
    ASSERT_TRUE(view->SaveCopy(P(soft)));
    EXPECT_EQ(Read(src), kGbk);
    EXPECT_EQ(view->document.GetLineText(1), u"log \u65E5\u5FD7\n");
    view->document.Close();
    Write(src, "still a link");
    EXPECT_EQ(Read(soft), "still a link");
    EXPECT_EQ(Entries(), 3u);
}

// The path is made absolute when it arrives: a later change of the current
// folder (the Save dialog makes one) cannot make it name another file.
TEST_F(SaveTest, ARelativePathKeepsNamingTheSameFile) {
    Write(dir / "rel.txt", kGbk);
    fs::create_directory(dir / "elsewhere");
    Write(dir / "elsewhere" / "rel.txt", "another file\n");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(dir.wstring().c_str());
    const bool opened = view->OpenDocument(u"rel.txt", Encoding::None);
    SetCurrentDirectoryW((dir / "elsewhere").wstring().c_str());
    const bool copied = view->SaveCopy(P(dir / "copy.txt"));
    view->ViewAs(Encoding::Utf16Le, 0);
    SetCurrentDirectoryW(previous);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(SameFile(view->filePath, P(dir / "rel.txt")));
    EXPECT_EQ(view->filePath.find(u':'), 1u);
    EXPECT_TRUE(copied);
    EXPECT_EQ(Read(dir / "copy.txt"), kGbk);
    EXPECT_EQ(view->document.fileSize, int64_t(kGbk.size()));
}

// Running out of memory fails the save; nothing is left half done.
TEST_F(SaveTest, OutOfMemoryFailsTheSave) {
    fs::path src = dir / "m.txt";
    Write(src, kGbk);
    Write(dir / "target.txt", "old");
    Open(src);
    view->saveEncoding = Encoding::Utf16Le;
    bool other = true, self = true;
    {
        LargeAllocationsFail oom(1 << 20);
        try {
            other = view->SaveCopy(P(dir / "target.txt"));
            self = view->SaveCopy(view->filePath);
        } catch (const std::bad_alloc&) {
            ADD_FAILURE() << "out of memory escaped Save As";
        }
    }
    {
        // A scan that cannot get its buffer fails the open, rather than index one line.
        LargeAllocationsFail oom(1024);
        EXPECT_FALSE(view->OpenDocument(P(dir / "target.txt"), Encoding::Ansi));
        EXPECT_FALSE(view->document.file.IsOpen());
        EXPECT_EQ(view->document.lineCount, 1u);
    }
    Open(src);
    EXPECT_FALSE(other);
    EXPECT_FALSE(self);
    EXPECT_EQ(Read(dir / "target.txt"), "old");
    EXPECT_EQ(Read(src), kGbk);
    EXPECT_EQ(Entries(), 2u);
    EXPECT_EQ(view->document.GetLineText(0), u"\u4E2D\u6587\r\n");
}

TEST_F(SaveTest, RefusedOntoTheOpenFileWhileAPrintRuns) {
    fs::path src = dir / "busy.txt";
    Write(src, kGbk);
    Open(src);
    view->saveEncoding = Encoding::Utf16Le;
    view->jobs.running = Job::Print;
    EXPECT_FALSE(view->SaveCopy(view->filePath));
    EXPECT_EQ(Read(src), kGbk);
    EXPECT_TRUE(view->document.file.IsOpen());
    EXPECT_EQ(view->document.GetLineText(0), u"\u4E2D\u6587\r\n");
    // Another target is fine during a print.
    EXPECT_TRUE(view->SaveCopy(P(dir / "other.txt")));
    view->jobs.running = Job::None;
    EXPECT_EQ(Entries(), 2u);
}

// Children's texts of a window, by class name.
std::vector<std::wstring> ChildTexts(HWND parent, const wchar_t* cls) {
    struct Ctx { const wchar_t* cls; std::vector<std::wstring> out; } ctx{cls, {}};
    EnumChildWindows(parent, [](HWND w, LPARAM lp) -> BOOL {
        auto* c = reinterpret_cast<Ctx*>(lp);
        wchar_t name[64], text[512];
        GetClassNameW(w, name, 64);
        if (lstrcmpiW(name, c->cls) == 0) {
            GetWindowTextW(w, text, 512);
            c->out.push_back(text);
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&ctx));
    return ctx.out;
}

HWND WaitForWindow(const wchar_t* title, int ms) {
    for (int t = 0; t < ms; t += 50) {
        if (HWND w = FindWindowW(nullptr, title)) return w;
        Sleep(50);
    }
    return nullptr;
}

TEST_F(SaveTest, DialogProposalAndMessageBox) {
    fs::create_directory(dir / "v1.2");
    fs::path src = dir / "v1.2" / "noext";
    Write(src, kGbk);
    Open(src);
    view->saveEncoding = Encoding::Utf8Bom;
    view->writeBom = false;
    const fs::path target = dir / "saved.txt";

    std::wstring proposal, boxText;
    std::vector<std::wstring> combos;
    std::atomic<bool> sawDialog{false}, sawBox{false};
    std::thread driver([&] {
        HWND dlg = WaitForWindow(L"保存到", 15000);
        if (!dlg) return;
        sawDialog = true;
        Sleep(300);
        for (auto& t : ChildTexts(dlg, L"Edit"))
            if (!t.empty()) proposal = t;
        combos = ChildTexts(dlg, L"ComboBox");
        // Type the target into the name field and confirm.
        EnumChildWindows(dlg, [](HWND w, LPARAM lp) -> BOOL {
            wchar_t name[64];
            GetClassNameW(w, name, 64);
            if (lstrcmpiW(name, L"Edit") == 0 && IsWindowVisible(w))
                SendMessageW(w, WM_SETTEXT, 0, lp);
            return TRUE;
        }, reinterpret_cast<LPARAM>(target.wstring().c_str()));
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
        HWND box = WaitForWindow(L"文件另存", 15000);
        if (!box) return;
        sawBox = true;
        Sleep(200);
        for (auto& t : ChildTexts(box, L"Static"))
            if (!t.empty()) boxText = t;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    view->SaveAs();
    driver.join();
    ASSERT_TRUE(sawDialog);
    ASSERT_TRUE(sawBox);
    // Cut at the last dot, which here lies in the folder name: the dialog
    // opens in the folder and proposes "v1"; the first filter is selected.
    EXPECT_EQ(proposal, L"v1");
    EXPECT_NE(std::find(combos.begin(), combos.end(), L"txt文件"), combos.end());
    EXPECT_EQ(boxText, L"保存成功！");
    EXPECT_EQ(Read(target), kUtf8);
}

TextView* timerView = nullptr;
bool savedDuringScan = false;

// No dialog may open without a file, after a failed open, or while a file
// is still being indexed (Ctrl+S arrives through the scan's message pump).
TEST_F(SaveTest, NothingWithoutAFileOrWhileOneOpens) {
    std::atomic<int> dialogs{0};
    std::atomic<bool> stop{false};
    std::thread watch([&] {
        while (!stop) {
            if (HWND w = WaitForWindow(L"保存到", 100)) {
                ++dialogs;
                PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
                Sleep(300);
            }
        }
    });
    view->SaveAs();
    EXPECT_FALSE(view->OpenDocument(P(dir / "missing.txt"), Encoding::None));
    view->SaveAs();
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
    Write(dir / "slow.txt", text);
    view->document.scanBufferSize = 64;  // a hundred pumps
    timerView = view.get();
    savedDuringScan = false;
    // A message waiting before the open is handled by the scan's first pump.
    WNDCLASSW probeClass{};
    probeClass.lpfnWndProc = [](HWND w, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg != WM_APP) return DefWindowProcW(w, msg, wp, lp);
        savedDuringScan = timerView->jobs.running == Job::Scan;
        timerView->SaveAs();
        return 0;
    };
    probeClass.hInstance = GetModuleHandleW(nullptr);
    probeClass.lpszClassName = L"SaveDuringScanProbe";
    RegisterClassW(&probeClass);
    HWND probe = CreateWindowExW(0, probeClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, probeClass.hInstance, nullptr);
    ASSERT_NE(probe, nullptr);
    PostMessageW(probe, WM_APP, 0, 0);
    Open(dir / "slow.txt");
    DestroyWindow(probe);
    stop = true;
    watch.join();
    EXPECT_TRUE(savedDuringScan);
    EXPECT_EQ(dialogs, 0);
}

}  // namespace
