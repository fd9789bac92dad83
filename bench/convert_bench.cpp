// Save As conversion throughput: converts one file the way Save As does and
// prints the seconds and MB/s of the conversion (the index scan excluded).
//   convert_bench FILE SOURCE TARGET OUT    SOURCE: utf8|ansi  TARGET: utf16le|utf8
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "core/text_document.h"

namespace {
Encoding Parse(const char* s) {
    if (!std::strcmp(s, "utf8")) return Encoding::Utf8;
    if (!std::strcmp(s, "ansi")) return Encoding::Ansi;
    if (!std::strcmp(s, "utf16le")) return Encoding::Utf16Le;
    if (!std::strcmp(s, "utf16be")) return Encoding::Utf16Be;
    return Encoding::None;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: convert_bench FILE utf8|ansi utf16le|utf8 OUT\n");
        return 2;
    }
    TextDocument doc;
    if (!doc.Open(PathFromUtf8(argv[1]), Parse(argv[2]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    auto t0 = std::chrono::steady_clock::now();
    bool ok = doc.ConvertToFile(PathFromUtf8(argv[4]), false, Parse(argv[3]));
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) {
        std::fprintf(stderr, "conversion failed\n");
        return 1;
    }
    std::printf("%.3f s %.1f MB/s\n", s, doc.fileSize / s / 1e6);
    return 0;
}
