// Following a log as it is written: the time from a line's write to the
// paint that shows it. In this process, the program's main window and text
// pane on LOG (made here with one line), the view at the end and following
// on, as File > 跟踪文件末尾 turns it on; a writer thread appends RATE lines a
// second for SECONDS seconds, in pieces every millisecond, each line
// "seq=N t=T" (T: the time of its write, 100 ns since 1601 by the system
// clock, so that a reader in another process can time it too). After each
// message the window handles, the lines the view took in since are painted
// and timed from their write.
//   follow_bench_win.exe LOG SECONDS RATE
// Prints "latency lines=N p50=S p95=S max=S" (seconds) and
// "cpu_seconds=S" (this process while the writer ran).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/text_view.h"
#include "core/win_string.h"

namespace {

int64_t SystemTime() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    return static_cast<int64_t>(static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime);
}

double CpuSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto s = [](const FILETIME& f) {
        return static_cast<double>(static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) / 1e7;
    };
    return s(kernel) + s(user);
}

double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4) {
        std::fprintf(stderr, "usage: follow_bench_win.exe LOG SECONDS RATE\n");
        return 2;
    }
    const std::wstring log = argv[1];
    const int seconds = _wtoi(argv[2]), rate = _wtoi(argv[3]);
    const size_t total = static_cast<size_t>(seconds) * static_cast<size_t>(rate);
    HANDLE out = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD put = 0;
    if (out == INVALID_HANDLE_VALUE || !WriteFile(out, "start\r\n", 7, &put, nullptr)) {
        std::fprintf(stderr, "follow_bench: cannot write %ls\n", log.c_str());
        return 1;
    }

    TextView v;
    HWND main = v.CreateMainWindow(GetModuleHandleW(nullptr));
    if (!main) return 1;
    SetWindowPos(main, nullptr, 0, 0, 900, 640, SWP_NOZORDER);
    ShowWindow(main, SW_SHOWNORMAL);
    if (!v.OpenDocument(U16(log.c_str()), Encoding::None)) return 1;
    v.pane.MoveToEnd();
    v.ToggleFollow();

    // Line k (from 1) was written at written[k]; `done` lines are written.
    std::vector<int64_t> written(total + 2, 0);
    std::atomic<size_t> done{0};
    std::atomic<bool> failed{false};
    const double cpu0 = CpuSeconds();
    std::thread writer([&] {
        const int64_t start = SystemTime();
        std::string piece;
        size_t n = 0;
        while (n < total) {
            const int64_t now = SystemTime();
            const size_t due = std::min(total, static_cast<size_t>(static_cast<double>(now - start) / 1e7 * rate));
            piece.clear();
            for (size_t k = n + 1; k <= due; ++k) {
                written[k] = now;
                piece += "seq=" + std::to_string(k) + " t=" + std::to_string(now) + "\r\n";
            }
            if (!piece.empty()) {
                DWORD put = 0;
                if (!WriteFile(out, piece.data(), DWORD(piece.size()), &put, nullptr) || put != piece.size()) {
                    failed = true;
                    return;
                }
                n = due;
                done = n;
            }
            Sleep(1);
        }
    });

    // The lines before the last (the empty place after the final line end,
    // or a line still being written) are taken in.
    std::vector<double> latency;
    size_t seen = 0;
    const ULONGLONG patience = GetTickCount64() + (static_cast<ULONGLONG>(seconds) + 30) * 1000;
    MSG msg;
    while (seen < total && !failed && GetTickCount64() < patience) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        const size_t taken = v.document.lineCount >= 2 ? static_cast<size_t>(v.document.lineCount - 2) : 0;
        if (taken <= seen) continue;
        UpdateWindow(v.pane.hwnd);  // the paint that shows them
        const int64_t now = SystemTime();
        for (size_t k = seen + 1; k <= std::min(taken, total); ++k) latency.push_back(static_cast<double>(now - written[k]) / 1e7);
        seen = taken;
    }
    writer.join();
    const double cpu = CpuSeconds() - cpu0;
    CloseHandle(out);
    if (failed || seen < total) {
        std::fprintf(stderr, "follow_bench: the view took in %zu of %zu lines\n", seen, total);
        return 1;
    }
    std::printf("latency lines=%zu p50=%.4f p95=%.4f max=%.4f\n", latency.size(), Quantile(latency, 0.5),
                Quantile(latency, 0.95), Quantile(latency, 1.0));
    std::printf("cpu_seconds=%.3f\n", cpu);
    DestroyWindow(main);
    return 0;
}
