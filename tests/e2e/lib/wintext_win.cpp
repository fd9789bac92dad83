// Reads window and control texts of other processes for the end-to-end
// scripts. Output is UTF-8, one record per line, fields split by tabs; line
// breaks and tabs inside a text are written as \n, \r and \t.
//
//   wintext windows
//       every visible top-level window: hwnd pid class x y w h title
//   wintext controls TARGET
//       the window, then every descendant: hwnd id class check x y w h text
//       (check: 0/1/2 for buttons, - otherwise; rectangles in screen pixels)
//   wintext menu TARGET
//       the menu bar: popup index, item position, id, flags, text
//       (flags: C checked, D disabled or grayed, S separator, P popup, - none)
//   wintext version FILE
//       the file's version resource as Explorer reads it: the fixed file and
//       product versions, the first translation, then name and text of the
//       usual strings of that translation
//
// TARGET is a window handle in hex (0x...) or the exact title of a visible
// top-level window. Exit code 0 on success, 2 when the target is not found,
// 3 when its menu cannot be read.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Out(const std::wstring& s) {
    int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
    std::string u(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), &u[0], n, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), u.data(), DWORD(u.size()), &written, nullptr);
}

std::wstring Escaped(const std::wstring& s) {
    std::wstring r;
    for (wchar_t c : s) {
        if (c == L'\n') r += L"\\n";
        else if (c == L'\r') r += L"\\r";
        else if (c == L'\t') r += L"\\t";
        else r += c;
    }
    return r;
}

std::wstring Hex(UINT_PTR v) {
    wchar_t b[32];
    swprintf(b, 32, L"0x%llx", static_cast<unsigned long long>(v));
    return b;
}

std::wstring Num(long long v) { return std::to_wstring(v); }

// WM_GETTEXT through the target's own window procedure (edits, combo boxes).
std::wstring TextOf(HWND w) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000, &len)) return L"";
    std::vector<wchar_t> buf(len + 2, 0);
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                             3000, &got))
        return L"";
    return std::wstring(buf.data(), got < buf.size() ? got : 0);
}

std::wstring ClassOf(HWND w) {
    wchar_t b[256] = {};
    GetClassNameW(w, b, 256);
    return b;
}

std::wstring RectOf(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return Num(r.left) + L"\t" + Num(r.top) + L"\t" + Num(r.right - r.left) + L"\t" + Num(r.bottom - r.top);
}

struct TitleSearch {
    std::wstring title;
    HWND found = nullptr;
};

BOOL CALLBACK ByTitle(HWND w, LPARAM lp) {
    auto* s = reinterpret_cast<TitleSearch*>(lp);
    if (!IsWindowVisible(w)) return TRUE;
    wchar_t b[1024] = {};
    GetWindowTextW(w, b, 1024);
    if (s->title == b) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND Target(const wchar_t* arg) {
    if (arg[0] == L'0' && (arg[1] == L'x' || arg[1] == L'X')) {
        HWND w = reinterpret_cast<HWND>(static_cast<UINT_PTR>(wcstoull(arg + 2, nullptr, 16)));
        return IsWindow(w) ? w : nullptr;
    }
    TitleSearch s;
    s.title = arg;
    EnumWindows(ByTitle, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK ListTop(HWND w, LPARAM) {
    if (!IsWindowVisible(w)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t b[1024] = {};
    GetWindowTextW(w, b, 1024);
    Out(Hex(reinterpret_cast<UINT_PTR>(w)) + L"\t" + Num(pid) + L"\t" + ClassOf(w) + L"\t" + RectOf(w) + L"\t" +
        Escaped(b) + L"\n");
    return TRUE;
}

void ControlLine(HWND w) {
    std::wstring cls = ClassOf(w);
    std::wstring check = L"-";
    if (_wcsicmp(cls.c_str(), L"Button") == 0) {
        DWORD_PTR st = 0;
        if (SendMessageTimeoutW(w, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 3000, &st)) check = Num(static_cast<long long>(st));
    }
    Out(Hex(reinterpret_cast<UINT_PTR>(w)) + L"\t" + Num(GetDlgCtrlID(w)) + L"\t" + cls + L"\t" + check + L"\t" +
        RectOf(w) + L"\t" + Escaped(TextOf(w)) + L"\n");
}

BOOL CALLBACK ListChild(HWND w, LPARAM) {
    ControlLine(w);
    return TRUE;
}

int Menu(HWND w) {
    HMENU bar = GetMenu(w);
    if (!bar) return 3;
    int n = GetMenuItemCount(bar);
    if (n < 0) return 3;
    for (int i = 0; i < n; ++i) {
        wchar_t b[512] = {};
        GetMenuStringW(bar, UINT(i), b, 512, MF_BYPOSITION);
        Out(Num(i) + L"\t-\t-\tP\t" + Escaped(b) + L"\n");
        HMENU sub = GetSubMenu(bar, i);
        int m = sub ? GetMenuItemCount(sub) : 0;
        for (int j = 0; j < m; ++j) {
            UINT st = GetMenuState(sub, UINT(j), MF_BYPOSITION);
            std::wstring flags;
            if (st & MF_SEPARATOR) flags += L"S";
            if (st & MF_CHECKED) flags += L"C";
            if (st & (MF_DISABLED | MF_GRAYED)) flags += L"D";
            if (flags.empty()) flags = L"-";
            wchar_t t[512] = {};
            GetMenuStringW(sub, UINT(j), t, 512, MF_BYPOSITION);
            Out(Num(i) + L"\t" + Num(j) + L"\t" + Num(static_cast<long long>(static_cast<int>(GetMenuItemID(sub, j)))) + L"\t" + flags + L"\t" +
                Escaped(t) + L"\n");
        }
    }
    return 0;
}

// version.dll is loaded when asked for, so the tool links as before.
int Version(const wchar_t* file) {
    HMODULE dll = LoadLibraryW(L"version.dll");
    if (!dll) return 3;
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    auto size = reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoSizeW")));
    auto info = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GetFileVersionInfoW")));
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(dll, "VerQueryValueW")));
    if (!size || !info || !query) return 3;
    DWORD n = size(file, nullptr);
    if (n == 0) return 2;
    std::vector<unsigned char> data(n);
    if (!info(file, 0, n, data.data())) return 2;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!query(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) || len < sizeof *fixed) return 2;
    auto quad = [](DWORD ms, DWORD ls) {
        return Num(HIWORD(ms)) + L"." + Num(LOWORD(ms)) + L"." + Num(HIWORD(ls)) + L"." + Num(LOWORD(ls));
    };
    Out(L"FixedFileVersion\t" + quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS) + L"\n");
    Out(L"FixedProductVersion\t" + quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS) + L"\n");
    WORD* lang = nullptr;
    if (!query(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&lang), &len) || len < 4) return 2;
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", lang[0], lang[1]);
    Out(L"Translation\t" + std::wstring(block + 16, 8) + L"\n");
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                L"LegalCopyright", L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        wchar_t* text = nullptr;
        if (query(data.data(), (std::wstring(block) + name).c_str(), reinterpret_cast<void**>(&text), &len) && text)
            Out(std::wstring(name) + L"\t" + Escaped(text) + L"\n");
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && wcscmp(argv[1], L"windows") == 0) {
        EnumWindows(ListTop, 0);
        return 0;
    }
    if (argc >= 3 && (wcscmp(argv[1], L"controls") == 0 || wcscmp(argv[1], L"menu") == 0)) {
        HWND w = Target(argv[2]);
        if (!w) return 2;
        if (wcscmp(argv[1], L"menu") == 0) return Menu(w);
        ControlLine(w);
        EnumChildWindows(w, ListChild, 0);
        return 0;
    }
    if (argc >= 3 && wcscmp(argv[1], L"version") == 0) return Version(argv[2]);
    fwprintf(stderr, L"usage: wintext windows | controls TARGET | menu TARGET | version FILE\n");
    return 1;
}
