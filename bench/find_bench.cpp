// Times the find engine over one file: counts (ignoring and matching case),
// the listing of the lines that hold the count's text,
// a forward and a backward search that cross the whole file, and a plain
// walk over every line for reference. Prints "name seconds result" lines.
//   find_bench FILE COUNT_TEXT END_TEXT START_TEXT [RUNS [OPS]]
// The compared operations run RUNS times (default 5) and print the shortest
// time; the walk, whole-word and progress-hook figures, for reference only,
// run once. OPS, a comma-separated list of the names printed, runs only those.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "core/matching_lines.h"
#include "core/platform.h"
#include "core/text_document.h"
#include "search/find_engine.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::u16string Text(const char* ascii) { return PathFromUtf8(ascii); }

int runs = 5;
std::string ops;

bool Wanted(const char* name) {
    if (ops.empty()) return true;
    const std::string list = "," + ops + ",";
    return list.find("," + std::string(name) + ",") != std::string::npos;
}

// Shortest of n timings of f.
double Best(const std::function<void()>& f, int n = runs) {
    double best = 1e30;
    for (int i = 0; i < n; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, Seconds(t0));
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE COUNT_TEXT END_TEXT START_TEXT\n", argv[0]);
        return 2;
    }
    if (argc > 5) runs = std::max(1, std::atoi(argv[5]));
    if (argc > 6) ops = argv[6];
    TextDocument doc;
    auto t0 = std::chrono::steady_clock::now();
    if (!doc.Open(PathFromUtf8(argv[1]), Encoding::None)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::printf("open %.3f %llu\n", Seconds(t0), static_cast<unsigned long long>(doc.lineCount));

    uint64_t units = 0;
    double t = 0;
    if (Wanted("walk")) {
        t = Best([&] {
            units = 0;
            for (uint64_t i = 0; i < doc.lineCount; ++i) units += doc.LineTextRef(i).size();
        }, 1);
        std::printf("walk %.3f %llu\n", t, static_cast<unsigned long long>(units));
    }

    const std::u16string needle = Text(argv[2]);
    FindOptions ignoreCase;
    FindOptions matchCase;
    matchCase.matchCase = true;
    FindOptions whole;
    whole.wholeWord = true;
    FindOptions noWrap;
    noWrap.wrapAround = false;
    uint64_t total = 0;

    if (Wanted("count_ignore_case")) {
        t = Best([&] { CountAll(doc, needle, ignoreCase, total); });
        std::printf("count_ignore_case %.3f %llu\n", t, static_cast<unsigned long long>(total));
    }
    if (Wanted("count_match_case")) {
        t = Best([&] { CountAll(doc, needle, matchCase, total); });
        std::printf("count_match_case %.3f %llu\n", t, static_cast<unsigned long long>(total));
    }
    if (Wanted("count_whole_word")) {
        t = Best([&] { CountAll(doc, needle, whole, total); }, 1);
        std::printf("count_whole_word %.3f %llu\n", t, static_cast<unsigned long long>(total));
    }
    // The lines holding a match, into the list the program keeps.
    if (Wanted("list_ignore_case")) {
        t = Best([&] {
            MatchingLines lines;
            ListLines(doc, needle, ignoreCase, false, 0, [&](uint64_t first, uint64_t count) {
                lines.AddRun(first, count);
                return true;
            }, total);
        });
        std::printf("list_ignore_case %.3f %llu\n", t, static_cast<unsigned long long>(total));
    }
    // A progress hook as the program installs it costs one call per block.
    if (Wanted("count_with_hook")) {
        t = Best([&] { CountAll(doc, needle, ignoreCase, total, [](uint64_t, uint64_t) { return true; }); }, 1);
        std::printf("count_with_hook %.3f %llu\n", t, static_cast<unsigned long long>(total));
    }

    TextPosition hit{};
    SearchResult r = SearchResult::NotFound;
    const std::u16string endText = Text(argv[3]), startText = Text(argv[4]);
    if (Wanted("find_next_across")) {
        t = Best([&] { r = SearchForward(doc, TextPosition{}, TextPosition{}, endText, noWrap, hit); });
        std::printf("find_next_across %.3f %s:%llu\n", t, r == SearchResult::Found ? "line" : "none",
                    static_cast<unsigned long long>(hit.line + 1));
    }
    const TextPosition end{doc.lineCount, 0};
    if (Wanted("find_previous_across")) {
        t = Best([&] { r = SearchBackward(doc, end, startText, noWrap, hit); });
        std::printf("find_previous_across %.3f %s:%llu\n", t, r == SearchResult::Found ? "line" : "none",
                    static_cast<unsigned long long>(hit.line + 1));
    }
    return 0;
}
