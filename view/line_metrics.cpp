#include "view/line_metrics.h"

#include <algorithm>

LineMetrics::Entry& LineMetrics::Find(uint64_t line, uint64_t n, uint64_t stamp) {
    ++clock;
    Trim();
    Entry* oldest = nullptr;
    for (Entry& e : entries) {
        if (e.line == line) {
            if (e.length != n || e.stamp != stamp) {
                // Same line number, other text (new font, decoding, file): start over.
                e.length = n;
                e.step = StepFor(n);
                e.stamp = stamp;
                e.total = -1;
                held = held - e.sums.size() + 1;
                e.sums.assign(1, 0);
            }
            e.lastUse = clock;
            return e;
        }
        if (!oldest || e.lastUse < oldest->lastUse) oldest = &e;
    }
    if (entries.size() < capacity) {
        entries.emplace_back();
        oldest = &entries.back();
    }
    Entry& e = *oldest;
    held = held - e.sums.size() + 1;
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

void LineMetrics::DropFrom(uint64_t line) {
    for (const Entry& e : entries)
        if (e.line >= line) held -= e.sums.size();
    entries.erase(std::remove_if(entries.begin(), entries.end(), [line](const Entry& e) { return e.line >= line; }),
                  entries.end());
}

void LineMetrics::Trim() {
    while (held > checkpointBudget) {
        Entry* most = nullptr;
        for (Entry& e : entries)
            if (!most || e.sums.size() > most->sums.size()) most = &e;
        if (!most || most->sums.size() < 2) return;
        // sums[k] at twice the step is sums[2k] at the step.
        const size_t n = (most->sums.size() + 1) / 2;
        for (size_t k = 1; k < n; ++k) most->sums[k] = most->sums[2 * k];
        held -= most->sums.size() - n;
        most->sums.resize(n);
        most->sums.shrink_to_fit();
        most->step *= 2;
    }
}
