#include "view/line_metrics.h"

LineMetrics::Entry& LineMetrics::Find(uint64_t line, uint64_t n, uint64_t stamp) {
    ++clock;
    Entry* oldest = nullptr;
    for (Entry& e : entries) {
        if (e.line == line) {
            if (e.length != n || e.stamp != stamp) {
                // Same line number, other text (new font, decoding, file): start over.
                e.length = n;
                e.step = StepFor(n);
                e.stamp = stamp;
                e.total = -1;
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
    e.length = n;
    e.step = StepFor(n);
    e.stamp = stamp;
    e.lastUse = clock;
    e.total = -1;
    e.sums.assign(1, 0);
    e.sums.shrink_to_fit();
    return e;
}

uint64_t LineMetrics::StepFor(uint64_t n) const {
    uint64_t step = Step;
    const uint64_t most = maxCheckpoints > 0 ? maxCheckpoints : 1;
    while (n / step >= most) step *= 2;
    return step;
}
