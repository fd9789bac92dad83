// Running widths of long lines at fixed steps, so that finding the first
// visible code unit of a scrolled line or measuring a long prefix does not
// walk the whole line on every paint. A line is known by its number, its
// length and a stamp that the caller changes whenever the text behind a
// line number may have changed (font, decoding, another file); the units
// come through a fetch function, so a line need not be in memory whole.
// It remembers at least the lines of one screen (KeepLines), and all their
// checkpoints together stay within a budget: past it the lines with most
// are thinned to every other checkpoint, which keeps every width exact.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class LineMetrics {
public:
    static constexpr size_t Step = 1024;      // code units between checkpoints (at least)
    static constexpr size_t MinLength = 4096; // shorter lines are walked directly
    static constexpr size_t MaxLines = 64;    // lines remembered at least
    static constexpr size_t Chunk = 64 * Step; // units fetched at once while measuring
    // Most checkpoints of one line: a longer line has its checkpoints
    // further apart (a power of two times Step), so memory stays bounded.
    size_t maxCheckpoints = size_t(1) << 20;
    // Most checkpoints of all lines together (8 bytes each), but for the
    // growth of the line in use.
    size_t checkpointBudget = size_t(1) << 21;

    struct Start {
        uint64_t index;  // a code unit index
        int64_t width;   // summed width of the units before it
        uint64_t reach;  // the unit looked for lies within this many units from index
    };

    // fetch(from, count) returns the units [from, from + count) of the line
    // (from + count <= n), valid until its next call; width(unit) measures one.

    // A point to walk from when looking for the first code unit whose right
    // edge reaches target: every unit before it ends left of target.
    template <class Fetch, class Width>
    Start Seek(uint64_t line, uint64_t n, uint64_t stamp, int64_t target, Fetch&& fetch, Width&& width);

    // The last checkpoint at or before count (count <= n).
    template <class Fetch, class Width>
    Start Before(uint64_t line, uint64_t n, uint64_t stamp, uint64_t count, Fetch&& fetch, Width&& width);

    // Width of the first count code units.
    template <class Fetch, class Width>
    int64_t PrefixWidth(uint64_t line, uint64_t n, uint64_t stamp, uint64_t count, Fetch&& fetch, Width&& width);

    // Width of the whole line; a long line is walked once per stamp.
    template <class Fetch, class Width>
    int64_t Total(uint64_t line, uint64_t n, uint64_t stamp, Fetch&& fetch, Width&& width);

    void Clear() {
        entries.clear();
        held = 0;
    }
    // Forgets the lines from `line` on (their text may have changed).
    void DropFrom(uint64_t line);
    // Remembers at least `lines` lines (MaxLines at least): what a screen shows.
    void KeepLines(size_t lines) { capacity = lines > MaxLines ? lines : MaxLines; }
    size_t Size() const { return entries.size(); }
    // Code units walked to measure them (watched by tests).
    uint64_t unitsMeasured = 0;
    // Checkpoints held for all lines.
    size_t Checkpoints() const {
        size_t k = 0;
        for (const Entry& e : entries) k += e.sums.size();
        return k;
    }

private:
    struct Entry {
        uint64_t line = 0;
        uint64_t length = 0;
        uint64_t stamp = 0;
        uint64_t step = Step;       // units between checkpoints
        uint64_t lastUse = 0;
        int64_t total = -1;         // width of the whole line, once known
        std::vector<int64_t> sums;  // sums[k]: width of units [0, k * step)
    };

    Entry& Find(uint64_t line, uint64_t n, uint64_t stamp);
    // Units between checkpoints of a line of n units.
    uint64_t StepFor(uint64_t n) const;
    // Thins the lines with most checkpoints until all fit the budget.
    void Trim();
    template <class Fetch, class Width>
    void Extend(Entry& e, uint64_t checkpoints, Fetch& fetch, Width& width);
    // Width of units [from, to), fetched in chunks.
    template <class Fetch, class Width>
    int64_t Walk(uint64_t from, uint64_t to, Fetch& fetch, Width& width);

    std::vector<Entry> entries;
    size_t capacity = MaxLines;
    size_t held = 0;  // checkpoints of all entries
    uint64_t clock = 0;
};

template <class Fetch, class Width>
int64_t LineMetrics::Walk(uint64_t from, uint64_t to, Fetch& fetch, Width& width) {
    int64_t sum = 0;
    while (from < to) {
        size_t count = to - from < Chunk ? static_cast<size_t>(to - from) : Chunk;
        const char16_t* p = fetch(from, count);
        for (size_t i = 0; i < count; ++i) sum += width(p[i]);
        from += count;
        unitsMeasured += count;
    }
    return sum;
}

template <class Fetch, class Width>
void LineMetrics::Extend(Entry& e, uint64_t checkpoints, Fetch& fetch, Width& width) {
    uint64_t most = e.length / e.step;
    if (checkpoints > most) checkpoints = most;
    while (e.sums.size() <= checkpoints) {
        // Up to one chunk of units per fetch.
        uint64_t from = (e.sums.size() - 1) * e.step;
        uint64_t steps = checkpoints + 1 - e.sums.size();
        uint64_t perFetch = e.step < Chunk ? Chunk / e.step : 1;
        if (steps > perFetch) steps = perFetch;
        int64_t sum = e.sums.back();
        if (e.step <= Chunk) {
            const char16_t* p = fetch(from, static_cast<size_t>(steps * e.step));
            unitsMeasured += steps * e.step;
            for (uint64_t k = 0; k < steps; ++k) {
                for (uint64_t i = 0; i < e.step; ++i) sum += width(p[k * e.step + i]);
                e.sums.push_back(sum);
            }
            held += static_cast<size_t>(steps);
        } else {
            e.sums.push_back(sum + Walk(from, from + e.step, fetch, width));
            ++held;
        }
    }
}

template <class Fetch, class Width>
LineMetrics::Start LineMetrics::Seek(uint64_t line, uint64_t n, uint64_t stamp, int64_t target, Fetch&& fetch,
                                     Width&& width) {
    if (n < MinLength || target <= 0) return Start{0, 0, n < MinLength ? n : StepFor(n)};
    Entry& e = Find(line, n, stamp);
    uint64_t most = n / e.step;
    while (e.sums.back() < target && e.sums.size() <= most) Extend(e, e.sums.size() + 63, fetch, width);
    // Largest k with sums[k] < target.
    size_t lo = 0, hi = e.sums.size();
    while (hi - lo > 1) {
        size_t mid = lo + (hi - lo) / 2;
        if (e.sums[mid] < target) lo = mid; else hi = mid;
    }
    return Start{lo * e.step, e.sums[lo], e.step};
}

template <class Fetch, class Width>
LineMetrics::Start LineMetrics::Before(uint64_t line, uint64_t n, uint64_t stamp, uint64_t count, Fetch&& fetch,
                                       Width&& width) {
    if (n < MinLength || count < Step) return Start{0, 0, n < MinLength ? n : Step};
    if (count > n) count = n;
    Entry& e = Find(line, n, stamp);
    uint64_t k = count / e.step;
    Extend(e, k, fetch, width);
    return Start{k * e.step, e.sums[k], e.step};
}

template <class Fetch, class Width>
int64_t LineMetrics::PrefixWidth(uint64_t line, uint64_t n, uint64_t stamp, uint64_t count, Fetch&& fetch,
                                 Width&& width) {
    if (count > n) count = n;
    Start s = Before(line, n, stamp, count, fetch, width);
    return s.width + Walk(s.index, count, fetch, width);
}

template <class Fetch, class Width>
int64_t LineMetrics::Total(uint64_t line, uint64_t n, uint64_t stamp, Fetch&& fetch, Width&& width) {
    if (n < MinLength) return Walk(0, n, fetch, width);
    Entry& e = Find(line, n, stamp);
    if (e.total < 0) {
        Extend(e, n / e.step, fetch, width);
        e.total = e.sums.back() + Walk((e.sums.size() - 1) * e.step, n, fetch, width);
    }
    return e.total;
}
