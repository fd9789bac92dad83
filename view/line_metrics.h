// Running widths of long lines at fixed steps, so that finding the first
// visible code unit of a scrolled line or measuring a long prefix does not
// walk the whole line on every paint.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class LineMetrics {
public:
    static constexpr size_t Step = 1024;      // code units between checkpoints
    static constexpr size_t MinLength = 4096; // shorter lines are walked directly
    static constexpr size_t MaxLines = 64;    // lines remembered at once

    struct Start {
        size_t index;   // a code unit index
        int64_t width;  // summed width of the units before it
    };

    // A point to walk from when looking for the first code unit whose right
    // edge reaches target: every unit before it ends left of target.
    template <class Width>
    Start Seek(uint64_t line, const char16_t* p, size_t n, uint64_t stamp, int64_t target, Width&& width);

    // The last checkpoint at or before count (count <= n).
    template <class Width>
    Start Before(uint64_t line, const char16_t* p, size_t n, uint64_t stamp, size_t count, Width&& width);

    // Width of the first count code units.
    template <class Width>
    int64_t PrefixWidth(uint64_t line, const char16_t* p, size_t n, uint64_t stamp, size_t count, Width&& width);

    void Clear() { entries.clear(); }
    size_t Size() const { return entries.size(); }

    // Cheap identity of a line's text: its length and a spread of samples.
    static uint64_t Fingerprint(const char16_t* p, size_t n);

private:
    struct Entry {
        uint64_t line = 0;
        const char16_t* data = nullptr;
        size_t length = 0;
        uint64_t stamp = 0;
        uint64_t fingerprint = 0;
        uint64_t lastUse = 0;
        std::vector<int64_t> sums;  // sums[k]: width of units [0, k * Step)
    };

    Entry& Find(uint64_t line, const char16_t* p, size_t n, uint64_t stamp);
    template <class Width>
    static void Extend(Entry& e, const char16_t* p, size_t checkpoints, Width& width);

    std::vector<Entry> entries;
    uint64_t clock = 0;
};

template <class Width>
void LineMetrics::Extend(Entry& e, const char16_t* p, size_t checkpoints, Width& width) {
    size_t most = e.length / Step;
    if (checkpoints > most) checkpoints = most;
    while (e.sums.size() <= checkpoints) {
        size_t from = (e.sums.size() - 1) * Step;
        int64_t sum = e.sums.back();
        for (size_t i = from; i < from + Step; ++i) sum += width(p[i]);
        e.sums.push_back(sum);
    }
}

template <class Width>
LineMetrics::Start LineMetrics::Seek(uint64_t line, const char16_t* p, size_t n, uint64_t stamp,
                                     int64_t target, Width&& width) {
    if (n < MinLength || target <= 0) return Start{0, 0};
    Entry& e = Find(line, p, n, stamp);
    size_t most = n / Step;
    while (e.sums.back() < target && e.sums.size() <= most)
        Extend(e, p, e.sums.size() + 63, width);
    // Largest k with sums[k] < target.
    size_t lo = 0, hi = e.sums.size();
    while (hi - lo > 1) {
        size_t mid = lo + (hi - lo) / 2;
        if (e.sums[mid] < target) lo = mid; else hi = mid;
    }
    return Start{lo * Step, e.sums[lo]};
}

template <class Width>
LineMetrics::Start LineMetrics::Before(uint64_t line, const char16_t* p, size_t n, uint64_t stamp,
                                       size_t count, Width&& width) {
    if (n < MinLength || count < Step) return Start{0, 0};
    if (count > n) count = n;
    Entry& e = Find(line, p, n, stamp);
    size_t k = count / Step;
    Extend(e, p, k, width);
    return Start{k * Step, e.sums[k]};
}

template <class Width>
int64_t LineMetrics::PrefixWidth(uint64_t line, const char16_t* p, size_t n, uint64_t stamp, size_t count,
                                 Width&& width) {
    if (count > n) count = n;
    Start s = Before(line, p, n, stamp, count, width);
    int64_t sum = s.width;
    for (size_t i = s.index; i < count; ++i) sum += width(p[i]);
    return sum;
}
