// The run-length list of listed lines against a plain list of runs: random
// additions (gaps and runs of every size, beyond 32 bits too) and cuts, and
// after each step its size, lookups both ways at run edges and at random,
// and its memory (at most 8 bytes a run plus the last chunk's room).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "core/matching_lines.h"

namespace {

struct Model {
    std::vector<std::pair<uint64_t, uint64_t>> runs;  // first line, count
    uint64_t size = 0;
    uint64_t LineAt(uint64_t row) const {
        for (auto& r : runs) {
            if (row < r.second) return r.first + row;
            row -= r.second;
        }
        return UINT64_MAX;
    }
    uint64_t RowAtOrAfter(uint64_t line) const {
        uint64_t row = 0;
        for (auto& r : runs) {
            if (line < r.first + r.second) return line <= r.first ? row : row + (line - r.first);
            row += r.second;
        }
        return row;
    }
};

uint64_t Take(const uint8_t*& p, const uint8_t* end, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes && p < end; ++i) v = v << 8 | *p++;
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t* p = data + 1;
    const uint8_t* end = data + size;
    // Chunks of a few runs, so that lookups and cuts cross their edges.
    MatchingLines list(data[0] & 0x80 ? MatchingLines::ChunkRuns : 1 + data[0] % 6);
    Model model;
    uint64_t next = 0;  // the first line a new run may start at
    while (p < end) {
        const uint8_t op = *p++;
        // Gaps and counts: small, around 2^32, or huge.
        auto amount = [&](uint8_t kind) -> uint64_t {
            switch (kind % 4) {
            case 0: return Take(p, end, 1);
            case 1: return Take(p, end, 2);
            case 2: return (uint64_t(1) << 32) - 2 + Take(p, end, 1) % 5;
            default: return Take(p, end, 5);
            }
        };
        if (op % 8 < 6) {
            const uint64_t gap = amount(op >> 3), count = 1 + amount(op >> 5) % (op & 1 ? 3 : UINT64_MAX);
            const uint64_t first = next + gap;
            if (first > (uint64_t(1) << 50) || count > (uint64_t(1) << 50)) continue;
            list.AddRun(first, count);
            if (!model.runs.empty() && model.runs.back().first + model.runs.back().second == first)
                model.runs.back().second += count;
            else
                model.runs.push_back({first, count});
            model.size += count;
            next = first + count;
        } else if (!model.runs.empty()) {
            // Cut at a line near a run's edge.
            const auto& r = model.runs[Take(p, end, 1) % model.runs.size()];
            uint64_t at = r.first + (op & 16 ? r.second : 0) + (op & 64 ? 1 : 0);
            if (op & 32 && at > 0) --at;
            list.DropFrom(at);
            const uint64_t keep = model.RowAtOrAfter(at);
            uint64_t row = 0;
            std::vector<std::pair<uint64_t, uint64_t>> kept;
            for (auto& run : model.runs) {
                if (row >= keep) break;
                kept.push_back({run.first, std::min(run.second, keep - row)});
                row += run.second;
            }
            model.runs = kept;
            model.size = keep;
            next = model.runs.empty() ? 0 : model.runs.back().first + model.runs.back().second;
            next = std::max(next, at);
        }
        if (list.Size() != model.size || list.Empty() != (model.size == 0)) std::abort();
        if (model.size) {
            if (list.LastLine() != model.runs.back().first + model.runs.back().second - 1) std::abort();
            uint64_t row = 0;
            for (auto& r : model.runs) {
                for (uint64_t line : {r.first, r.first + r.second - 1}) {
                    const uint64_t at = row + (line - r.first);
                    if (list.LineAt(at) != line || list.RowAtOrAfter(line) != at || !list.Contains(line)) std::abort();
                }
                if (r.first > 0 && list.RowAtOrAfter(r.first - 1) != model.RowAtOrAfter(r.first - 1)) std::abort();
                if (list.Contains(r.first + r.second) != (model.LineAt(model.RowAtOrAfter(r.first + r.second)) ==
                                                          r.first + r.second))
                    std::abort();
                row += r.second;
            }
        }
        if (list.RowAtOrAfter(next + 1) != model.size) std::abort();
        if (list.MemoryBytes() > 8 * model.runs.size() + 8 * MatchingLines::ChunkRuns + 64 * (model.runs.size() + 1))
            std::abort();
    }
    return 0;
}
