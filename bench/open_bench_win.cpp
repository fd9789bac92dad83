// The bare open of the Windows build: TextDocument::Open on one file, with no
// window, title or pump, as the peer of the program's own open under Wine.
// Usage: open_bench_win.exe <file> [opens]
// Prints "open_seconds=S" (the shortest of the opens) and the line count.
#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "core/text_document.h"
#include "core/win_string.h"

namespace {

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: open_bench_win.exe FILE [opens]\n");
        return 2;
    }
    const int opens = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    wchar_t wide[MAX_PATH * 4] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, argv[1], -1, wide, MAX_PATH * 4)) return 2;
    const std::u16string path = U16(wide);
    TextDocument doc;
    double best = 1e30;
    for (int i = 0; i < opens; ++i) {
        const double t0 = Now();
        if (!doc.Open(path, Encoding::None)) {
            std::fprintf(stderr, "cannot open the file\n");
            return 1;
        }
        best = std::min(best, Now() - t0);
    }
    std::printf("open_seconds=%.4f\nlines=%llu\n", best, static_cast<unsigned long long>(doc.lineCount));
    return 0;
}
