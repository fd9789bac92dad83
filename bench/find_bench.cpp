// Times the find engine over one file: counts (ignoring and matching case),
// a forward and a backward search that cross the whole file, and a plain
// walk over every line for reference. Prints "name seconds result" lines.
//   find_bench FILE COUNT_TEXT END_TEXT START_TEXT
#include <chrono>
#include <cstdio>
#include <string>

#include "core/platform.h"
#include "core/text_document.h"
#include "search/find_engine.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::u16string Text(const char* ascii) { return PathFromUtf8(ascii); }

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE COUNT_TEXT END_TEXT START_TEXT\n", argv[0]);
        return 2;
    }
    TextDocument doc;
    auto t0 = std::chrono::steady_clock::now();
    if (!doc.Open(PathFromUtf8(argv[1]), Encoding::None)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::printf("open %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(doc.lineCount));

    t0 = std::chrono::steady_clock::now();
    uint64_t units = 0;
    for (uint64_t i = 0; i < doc.lineCount; ++i) units += doc.LineTextRef(i).size();
    std::printf("walk %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(units));

    const std::u16string needle = Text(argv[2]);
    FindOptions ignoreCase;
    FindOptions matchCase;
    matchCase.matchCase = true;
    FindOptions noWrap;
    noWrap.wrapAround = false;
    uint64_t total = 0;

    t0 = std::chrono::steady_clock::now();
    CountAll(doc, needle, ignoreCase, total);
    std::printf("count_ignore_case %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(total));

    t0 = std::chrono::steady_clock::now();
    CountAll(doc, needle, matchCase, total);
    std::printf("count_match_case %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(total));

    FindOptions whole;
    whole.wholeWord = true;
    t0 = std::chrono::steady_clock::now();
    CountAll(doc, needle, whole, total);
    std::printf("count_whole_word %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(total));

    // A progress hook as the program installs it costs one call per block.
    uint64_t calls = 0;
    t0 = std::chrono::steady_clock::now();
    CountAll(doc, needle, ignoreCase, total, [&](uint64_t, uint64_t) {
        ++calls;
        return true;
    });
    std::printf("count_with_hook %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(total));

    TextPosition hit{};
    t0 = std::chrono::steady_clock::now();
    SearchResult r = SearchForward(doc, TextPosition{}, TextPosition{}, Text(argv[3]), noWrap, hit);
    std::printf("find_next_across %.3f %s:%llu\n", Seconds(t0), r == SearchResult::Found ? "line" : "none",
                static_cast<unsigned long long>(hit.line + 1));

    const TextPosition end{doc.lineCount, 0};
    t0 = std::chrono::steady_clock::now();
    r = SearchBackward(doc, end, Text(argv[4]), noWrap, hit);
    std::printf("find_previous_across %.3f %s:%llu\n", Seconds(t0), r == SearchResult::Found ? "line" : "none",
                static_cast<unsigned long long>(hit.line + 1));
    return 0;
}
