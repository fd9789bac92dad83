// A log writer as Windows logging services are: it holds LOG open for
// appending, sharing reading, writing and deletion, and writes the lines
// "wN" (N from 1, CR LF) one every INTERVAL ms. Before line ROTATE_AT it
// waits for the file LOG.go (the request), then rotates: renames LOG to
// LOG.1 while holding it, closes it, creates a new LOG and goes on there.
// Prints what it did; exit code 0 when every write and the rotation worked,
// 1 with the Windows error otherwise.
//   log_writer.exe LOG COUNT INTERVAL ROTATE_AT
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HANDLE OpenForAppending(const std::wstring& path) {
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int Failed(const char* what) {
    std::printf("%s failed: error %lu\n", what, GetLastError());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::printf("usage: log_writer.exe LOG COUNT INTERVAL ROTATE_AT\n");
        return 2;
    }
    const std::wstring log = argv[1];
    const int count = _wtoi(argv[2]), interval = _wtoi(argv[3]), rotateAt = _wtoi(argv[4]);
    HANDLE h = OpenForAppending(log);
    if (h == INVALID_HANDLE_VALUE) return Failed("open");
    for (int n = 1; n <= count; ++n) {
        if (n == rotateAt) {
            while (GetFileAttributesW((log + L".go").c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
            if (!MoveFileExW(log.c_str(), (log + L".1").c_str(), MOVEFILE_REPLACE_EXISTING)) return Failed("rotate");
            CloseHandle(h);
            h = OpenForAppending(log);
            if (h == INVALID_HANDLE_VALUE) return Failed("open after the rotation");
            std::printf("rotated before w%d\n", n);
        }
        const std::string line = "w" + std::to_string(n) + "\r\n";
        DWORD put = 0;
        if (!WriteFile(h, line.data(), DWORD(line.size()), &put, nullptr) || put != line.size()) return Failed("write");
        std::fflush(stdout);
        Sleep(DWORD(interval));
    }
    CloseHandle(h);
    std::printf("wrote %d lines\n", count);
    return 0;
}
