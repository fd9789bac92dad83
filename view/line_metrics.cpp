#include "view/line_metrics.h"

uint64_t LineMetrics::Fingerprint(const char16_t* p, size_t n) {
    uint64_t h = 1469598103934665603ull ^ n;
    auto mix = [&h](uint64_t v) {
        h ^= v;
        h *= 1099511628211ull;
    };
    if (n == 0) return h;
    const size_t samples = 64;
    for (size_t k = 0; k < samples; ++k) mix(p[static_cast<size_t>((static_cast<double>(n) * k) / samples)]);
    size_t tail = n < 16 ? n : 16;
    for (size_t i = n - tail; i < n; ++i) mix(p[i]);
    return h;
}

LineMetrics::Entry& LineMetrics::Find(uint64_t line, const char16_t* p, size_t n, uint64_t stamp) {
    ++clock;
    uint64_t print = Fingerprint(p, n);
    Entry* oldest = nullptr;
    for (Entry& e : entries) {
        if (e.line == line) {
            if (e.data != p || e.length != n || e.stamp != stamp || e.fingerprint != print) {
                // Same line number, other text (new font, encoding, file): start over.
                e.data = p;
                e.length = n;
                e.stamp = stamp;
                e.fingerprint = print;
                e.sums.assign(1, 0);
            }
            e.lastUse = clock;
            return e;
        }
        if (!oldest || e.lastUse < oldest->lastUse) oldest = &e;
    }
    if (entries.size() < MaxLines) {
        entries.emplace_back();
        oldest = &entries.back();
    }
    Entry& e = *oldest;
    e.line = line;
    e.data = p;
    e.length = n;
    e.stamp = stamp;
    e.fingerprint = print;
    e.lastUse = clock;
    e.sums.assign(1, 0);
    return e;
}
