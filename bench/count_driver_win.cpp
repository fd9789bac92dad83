// Count as a user runs it in the program: starts tomeview.exe on a file,
// waits for its finished title, opens the Find dialog, types each text into
// it and clicks Count, timing the click to the final status text
// ("计数：N 处匹配."). With --bare, the same counts through CountAll on a
// TextDocument in this process instead (no window, title or pump).
// Usage: count_driver_win.exe EXE FILE RUNS TEXT...
//        count_driver_win.exe --bare FILE RUNS TEXT...
//        count_driver_win.exe --idle EXE FILE SECONDS
// With --idle: the program on FILE with following turned on (File >
// 跟踪文件末尾) for SECONDS, nothing written; prints "idle following" once it
// follows (its processor time is read from outside: Wine reports none for
// another process).
// A TEXT is counted ignoring case; "re:PATTERN" is a regular expression
// matching case, "rei:PATTERN" one ignoring case (the dialog's boxes are set
// to match). "list:TEXT" lists the matching lines of TEXT instead (the
// dialog's 列出匹配行, timed to "匹配行：N 行."; ListLines into a list of
// line numbers with --bare).
// Prints "open_seconds=S" (start to the finished title; for --bare, the
// Open), per text "count text=T matches=N seconds=S" (the shortest of RUNS
// counts; for a listing N is the lines listed and "first=F" the seconds to
// the first progress that showed listed lines, the longest of the runs), and
// "peak_mib=M", the program's peak working set ("-" unknown).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "app/resource.h"
#include "core/matching_lines.h"
#include "core/text_document.h"
#include "core/win_string.h"
#include "search/find_engine.h"

namespace {

const wchar_t FinishedEnd[] = L" - Tomeview超大文本浏览器-Orvane：https://tomeview.example.org";
const wchar_t CountDone[] = L"计数：";
const wchar_t CountFailed[] = L"计数失败";
const wchar_t PatternFailed[] = L"正则表达式";
const wchar_t CountCancelled[] = L"计数已取消";
const wchar_t ListDone[] = L"匹配行：";
const wchar_t ListProgress[] = L"正在列出匹配行";
const wchar_t ListFailed[] = L"列出匹配行失败";
const wchar_t ListCancelled[] = L"已取消，已列出";
const double Patience = 600;  // seconds for any one wait

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

std::wstring Wide(const char* s) {
    wchar_t buf[MAX_PATH * 4] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, s, -1, buf, MAX_PATH * 4)) return std::wstring();
    return buf;
}

bool StartsWith(const std::wstring& s, const wchar_t* p) { return s.compare(0, wcslen(p), p) == 0; }

// The text to count and its options, from a TEXT argument.
struct Query {
    std::wstring text;
    FindOptions options;
    bool list = false;
};
Query QueryOf(std::wstring arg) {
    const bool list = StartsWith(arg, L"list:");
    if (list) arg = arg.substr(5);
    Query q{arg, FindOptions{}, list};
    for (const wchar_t* prefix : {L"re:", L"rei:"}) {
        if (StartsWith(arg, prefix)) {
            q.text = arg.substr(wcslen(prefix));
            q.options.regex = true;
            q.options.matchCase = wcslen(prefix) == 3;
        }
    }
    return q;
}

bool EndsWith(const std::wstring& s, const wchar_t* p) {
    const size_t n = wcslen(p);
    return s.size() >= n && s.compare(s.size() - n, n, p) == 0;
}

// A started program, ended if it still runs and its handles closed when
// this goes.
class ChildProcess {
public:
    PROCESS_INFORMATION pi{};
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pi.hProcess && Running()) TerminateProcess(pi.hProcess, 1);
        if (pi.hThread) CloseHandle(pi.hThread);
        if (pi.hProcess) CloseHandle(pi.hProcess);
    }
    bool Running() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
};

// The first top-level window of the process that want() accepts.
template <class Want>
HWND FindTopWindow(DWORD pid, Want want) {
    struct Search {
        DWORD pid;
        Want* want;
        HWND found;
    } s{pid, &want, nullptr};
    EnumWindows(
        [](HWND w, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner != s->pid || !(*s->want)(w)) return TRUE;
            s->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// A top-level window's title; the system keeps it, so a busy program need
// not answer.
std::wstring Title(HWND w) {
    wchar_t buf[1024] = {};
    GetWindowTextW(w, buf, 1024);
    return buf;
}

std::wstring ControlText(HWND w) {
    wchar_t buf[512] = {};
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL,
                             static_cast<UINT>(Patience * 1000), &n))
        return std::wstring();
    return std::wstring(buf, std::min<size_t>(n, 511));
}

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 128 ? static_cast<char>(c) : '?';
    return s;
}

unsigned long long Digits(const std::wstring& s) {
    unsigned long long n = 0;
    for (wchar_t c : s)
        if (c >= L'0' && c <= L'9') n = n * 10 + static_cast<unsigned>(c - L'0');
    return n;
}

void PrintPeak(HANDLE process) {
    using Info = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
    auto info = reinterpret_cast<Info>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    if (info && info(process, &pmc, sizeof(pmc)) && pmc.PeakWorkingSetSize)
        std::printf("peak_mib=%.1f\n", static_cast<double>(pmc.PeakWorkingSetSize) / 1048576.0);
    else
        std::printf("peak_mib=-\n");
}

int Bare(const std::wstring& file, int runs, const std::vector<std::wstring>& texts) {
    TextDocument doc;
    const double t0 = Now();
    if (!doc.Open(U16(file.c_str()), Encoding::None)) {
        std::fprintf(stderr, "count_driver: cannot open the file\n");
        return 1;
    }
    std::printf("open_seconds=%.4f\n", Now() - t0);
    std::vector<double> best(texts.size(), 1e30);
    std::vector<uint64_t> matches(texts.size(), 0);
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < texts.size(); ++k) {
            const Query q = QueryOf(texts[k]);
            const double t = Now();
            if (q.list) {
                MatchingLines lines;
                ListLines(doc, U16(q.text.c_str()), q.options, false, 0, [&](uint64_t first, uint64_t count) {
                    lines.AddRun(first, count);
                    return true;
                }, matches[k]);
            } else {
                CountAll(doc, U16(q.text.c_str()), q.options, matches[k]);
            }
            best[k] = std::min(best[k], Now() - t);
        }
    }
    for (size_t k = 0; k < texts.size(); ++k)
        std::printf("count text=%s matches=%llu seconds=%.4f index=%zu\n", Narrow(texts[k]).c_str(),
                    static_cast<unsigned long long>(matches[k]), best[k], k);
    PrintPeak(GetCurrentProcess());
    return 0;
}

// Starts the program on file and waits for its finished title; its main
// window, or null.
HWND StartProgram(ChildProcess& app, const std::wstring& exe, const std::wstring& file) {
    std::wstring cmd = L"\"" + exe + L"\" \"" + file + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    const double t0 = Now();
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &app.pi)) {
        std::fprintf(stderr, "count_driver: cannot start the program (error %lu)\n", GetLastError());
        return nullptr;
    }
    const DWORD pid = app.pi.dwProcessId;
    HWND main = nullptr;
    while (!main) {
        main = FindTopWindow(pid, [](HWND w) { return EndsWith(Title(w), FinishedEnd); });
        if (main) break;
        if (!app.Running() || Now() - t0 > Patience) {
            std::fprintf(stderr, "count_driver: no finished title\n");
            return nullptr;
        }
        Sleep(5);
    }
    std::printf("open_seconds=%.4f\n", Now() - t0);
    std::fflush(stdout);
    return main;
}

// Closes the program and waits for its end.
int Close(ChildProcess& app, HWND main) {
    PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(app.pi.hProcess, 30000) == WAIT_OBJECT_0) return 0;
    std::fprintf(stderr, "count_driver: the program did not close\n");
    return 1;
}

int Idle(const std::wstring& exe, const std::wstring& file, int seconds) {
    ChildProcess app;
    const HWND main = StartProgram(app, exe, file);
    if (!main) return 1;
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_FOLLOW, 0), 0);
    std::printf("idle following\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return Close(app, main);
}

int Drive(const std::wstring& exe, const std::wstring& file, int runs, const std::vector<std::wstring>& texts) {
    ChildProcess app;
    const HWND main = StartProgram(app, exe, file);
    if (!main) return 1;
    const DWORD pid = app.pi.dwProcessId;

    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDM_FIND, 0), 0);
    const HWND dlg = FindTopWindow(pid, [](HWND w) { return GetDlgItem(w, IDC_FIND_STATUS) != nullptr; });
    const HWND edit = dlg ? GetDlgItem(dlg, IDC_FIND_TEXT) : nullptr;
    const HWND countButton = dlg ? GetDlgItem(dlg, IDC_COUNT) : nullptr;
    const HWND listButton = dlg ? GetDlgItem(dlg, IDC_LIST_LINES) : nullptr;
    const HWND status = dlg ? GetDlgItem(dlg, IDC_FIND_STATUS) : nullptr;
    int rc = 0;
    if (!edit || !countButton || !listButton || !status) {
        std::fprintf(stderr, "count_driver: no Find dialog\n");
        rc = 1;
    }
    // The texts take turns, so that the load of the machine weighs on each alike.
    std::vector<double> best(texts.size(), 1e30);
    std::vector<unsigned long long> matches(texts.size(), 0);
    std::vector<double> first(texts.size(), 0);
    for (int i = 0; rc == 0 && i < runs; ++i) {
        for (size_t k = 0; rc == 0 && k < texts.size(); ++k) {
            const Query q = QueryOf(texts[k]);
            // A box is clicked when it does not show the option wanted.
            auto set = [&](int id, bool on) {
                HWND box = GetDlgItem(dlg, id);
                if ((SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != on) SendMessageW(box, BM_CLICK, 0, 0);
            };
            set(IDC_REGEX, q.options.regex);
            set(IDC_MATCH_CASE, q.options.matchCase);
            // The edit's change notification makes the text the search text.
            SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(q.text.c_str()));
            SendMessageW(status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            const double t = Now();
            // Posted: the count runs inside the click's handling.
            PostMessageW(q.list ? listButton : countButton, BM_CLICK, 0, 0);
            bool shown = false;
            for (;;) {
                const std::wstring s = ControlText(status);
                if (StartsWith(s, q.list ? ListDone : CountDone)) {
                    best[k] = std::min(best[k], Now() - t);
                    matches[k] = Digits(s);
                    if (!shown) first[k] = std::max(first[k], Now() - t);
                    break;
                }
                // "正在列出匹配行 P%，已列出 N 行": the rows shown with it.
                const size_t listed = s.find(L"已列出 ");
                if (!shown && StartsWith(s, ListProgress) && listed != std::wstring::npos &&
                    Digits(s.substr(listed)) > 0) {
                    shown = true;
                    first[k] = std::max(first[k], Now() - t);
                }
                if (StartsWith(s, CountFailed) || StartsWith(s, CountCancelled) || StartsWith(s, PatternFailed) ||
                    StartsWith(s, ListFailed) || StartsWith(s, ListCancelled) ||
                    !app.Running() ||
                    Now() - t > Patience) {
                    std::fprintf(stderr, "count_driver: the count did not finish\n");
                    rc = 1;
                    break;
                }
                Sleep(1);
            }
        }
    }
    for (size_t k = 0; rc == 0 && k < texts.size(); ++k)
        std::printf("count text=%s matches=%llu seconds=%.4f index=%zu first=%.4f\n", Narrow(texts[k]).c_str(),
                    matches[k], best[k], k, first[k]);
    PrintPeak(app.pi.hProcess);
    return Close(app, main) ? 1 : rc;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: count_driver_win.exe EXE|--bare FILE RUNS TEXT...\n");
        return 2;
    }
    if (std::string(argv[1]) == "--idle") return Idle(Wide(argv[2]), Wide(argv[3]), std::max(1, std::atoi(argv[4])));
    const int runs = std::max(1, std::atoi(argv[3]));
    std::vector<std::wstring> texts;
    for (int i = 4; i < argc; ++i) texts.push_back(Wide(argv[i]));
    const std::wstring file = Wide(argv[2]);
    if (std::string(argv[1]) == "--bare") return Bare(file, runs, texts);
    return Drive(Wide(argv[1]), file, runs, texts);
}
