// Opens (indexes) a file with TextDocument and reads random lines.
// Usage: index_bench FILE [opens=3] [samples=2000]
// Prints key=value lines: best open time, throughput, lines, longest line,
// index entries, average GetLineText time, peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "core/text_document.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [opens] [samples]\n", argv[0]);
        return 2;
    }
    std::u16string path = PathFromUtf8(argv[1]);
    int opens = argc > 2 ? std::atoi(argv[2]) : 3;
    int samples = argc > 3 ? std::atoi(argv[3]) : 2000;
    using Clock = std::chrono::steady_clock;

    TextDocument doc;
    double best = 1e30;
    for (int i = 0; i < (opens > 0 ? opens : 1); i++) {
        auto t0 = Clock::now();
        if (!doc.Open(path, Encoding::None)) {
            std::fprintf(stderr, "cannot open %s\n", argv[1]);
            return 1;
        }
        double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s < best) best = s;
    }

    std::mt19937_64 rng(12345);
    size_t chars = 0;
    auto t0 = Clock::now();
    for (int i = 0; i < samples; i++) chars += doc.GetLineText(rng() % doc.lineCount).size();
    double lineSeconds = std::chrono::duration<double>(Clock::now() - t0).count();

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("encoding=%d\n", static_cast<int>(doc.encoding));
    std::printf("file_bytes=%lld\n", static_cast<long long>(doc.fileSize));
    std::printf("lines=%llu\n", static_cast<unsigned long long>(doc.lineCount));
    std::printf("longest_line=%llu\n", static_cast<unsigned long long>(doc.maxLineLength));
    std::printf("index_entries=%zu\n", doc.lineIndex.size());
    std::printf("open_seconds=%.4f\n", best);
    std::printf("open_gb_per_s=%.3f\n", static_cast<double>(doc.fileSize) / best / 1e9);
    std::printf("getlinetext_avg_us=%.1f\n", samples > 0 ? lineSeconds * 1e6 / samples : 0.0);
    std::printf("getlinetext_chars=%zu\n", chars);
    std::printf("peak_rss_mib=%.1f\n", static_cast<double>(ru.ru_maxrss) / 1024.0);
    return 0;
}
