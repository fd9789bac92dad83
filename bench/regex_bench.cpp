// Native Count of regular expressions on one file, as bench/bench_regex.sh
// times it beside grep and ripgrep.
//   regex_bench FILE RUNS QUERY...
// A QUERY is "re:PATTERN" (matching case) or "rei:PATTERN" (ignoring case),
// in UTF-8. Prints per query "count index=K matches=N seconds=S" (the
// shortest of RUNS counts, the queries taking turns).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/text_document.h"
#include "search/find_engine.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE RUNS QUERY...\n", argv[0]);
        return 2;
    }
    TextDocument doc;
    if (!doc.Open(PathFromUtf8(argv[1]), Encoding::None)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const int runs = std::max(1, std::atoi(argv[2]));
    std::vector<std::u16string> patterns;
    std::vector<FindOptions> options;
    for (int i = 3; i < argc; ++i) {
        std::string q = argv[i];
        FindOptions o;
        o.regex = true;
        o.matchCase = q.rfind("re:", 0) == 0;
        q = q.substr(q.find(':') + 1);
        patterns.push_back(PathFromUtf8(q.c_str()));
        options.push_back(o);
    }
    std::vector<double> best(patterns.size(), 1e30);
    std::vector<uint64_t> matches(patterns.size(), 0);
    for (int r = 0; r < runs; ++r) {
        for (size_t k = 0; k < patterns.size(); ++k) {
            const auto t0 = std::chrono::steady_clock::now();
            SearchDetail detail;
            if (CountAll(doc, patterns[k], options[k], matches[k], nullptr, &detail) == SearchResult::Failed) {
                std::fprintf(stderr, "pattern %zu failed\n", k);
                return 1;
            }
            best[k] = std::min(best[k], std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
    }
    for (size_t k = 0; k < patterns.size(); ++k)
        std::printf("count index=%zu matches=%llu seconds=%.4f\n", k, static_cast<unsigned long long>(matches[k]),
                    best[k]);
    return 0;
}
