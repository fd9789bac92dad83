#include "core/matching_lines.h"

#include <algorithm>

void MatchingLines::Clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    size_ = 0;
    end_ = 0;
}

uint64_t MatchingLines::RunEndRow(size_t c, size_t j) const {
    if (j + 1 < chunks_[c].runs.size()) return RunStartRow(c, j + 1);
    return c + 1 < chunks_.size() ? chunks_[c + 1].row : size_;
}

void MatchingLines::AddRunElsewhere(uint64_t first, uint64_t count) {
    if (count == 0) return;
    end_ = first + count;
    if (!chunks_.empty()) {
        Chunk& last = chunks_.back();
        const uint64_t dl = first - last.line, dr = size_ - last.row;
        if (last.runs.size() < chunkRuns_ && dl <= UINT32_MAX && dr <= UINT32_MAX) {
            if (last.runs.capacity() == last.runs.size())
                last.runs.reserve(std::min<size_t>(chunkRuns_, last.runs.size() * 2));
            last.runs.push_back(Run::Of(dl, dr));
            size_ += count;
            return;
        }
    }
    // A closed chunk keeps no room. The first chunk grows by doubling; one
    // after a full chunk takes its whole room at once.
    const bool full = !chunks_.empty() && chunks_.back().runs.size() == chunkRuns_;
    if (!chunks_.empty()) chunks_.back().runs.shrink_to_fit();
    Chunk chunk;
    chunk.line = first;
    chunk.row = size_;
    chunk.runs.reserve(full ? chunkRuns_ : std::min<size_t>(16, chunkRuns_));
    chunk.runs.push_back(Run::Of(0, 0));
    chunks_.push_back(std::move(chunk));
    size_ += count;
}

void MatchingLines::Locate(uint64_t row, size_t& c, size_t& j) const {
    // The last chunk, then the last run, that starts at or before row.
    auto ci = std::upper_bound(chunks_.begin(), chunks_.end(), row,
                               [](uint64_t r, const Chunk& k) { return r < k.row; });
    c = size_t(ci - chunks_.begin()) - 1;
    const Chunk& k = chunks_[c];
    const uint64_t rel = row - k.row;
    auto ri = std::upper_bound(k.runs.begin(), k.runs.end(), rel, [](uint64_t r, const Run& u) { return r < u.row(); });
    j = size_t(ri - k.runs.begin()) - 1;
}

uint64_t MatchingLines::LineAt(uint64_t row) const {
    size_t c, j;
    Locate(row, c, j);
    return RunStartLine(c, j) + (row - RunStartRow(c, j));
}

uint64_t MatchingLines::RowAtOrAfter(uint64_t line) const {
    if (size_ == 0 || line <= chunks_[0].line) return 0;
    auto ci = std::upper_bound(chunks_.begin(), chunks_.end(), line,
                               [](uint64_t l, const Chunk& k) { return l < k.line; });
    const size_t c = size_t(ci - chunks_.begin()) - 1;
    const Chunk& k = chunks_[c];
    const uint64_t rel = line - k.line;
    // rel may not fit 32 bits: then it lies past every run of the chunk.
    auto ri = std::upper_bound(k.runs.begin(), k.runs.end(), rel, [](uint64_t l, const Run& u) { return l < u.line(); });
    const size_t j = size_t(ri - k.runs.begin()) - 1;
    const uint64_t start = RunStartLine(c, j), end = RunEndRow(c, j), row = RunStartRow(c, j);
    return line - start < end - row ? row + (line - start) : end;
}

bool MatchingLines::Contains(uint64_t line) const {
    const uint64_t row = RowAtOrAfter(line);
    return row < size_ && LineAt(row) == line;
}

uint64_t MatchingLines::LastLineOfRuns() const {
    const size_t c = chunks_.size() - 1, j = chunks_[c].runs.size() - 1;
    return RunStartLine(c, j) + (size_ - 1 - RunStartRow(c, j));
}

void MatchingLines::DropFrom(uint64_t line) {
    const uint64_t row = RowAtOrAfter(line);
    if (row >= size_) return;
    size_t c, j;
    Locate(row, c, j);
    if (row == RunStartRow(c, j)) {
        if (j == 0) {
            chunks_.resize(c);
        } else {
            chunks_[c].runs.resize(j);
            chunks_.resize(c + 1);
        }
    } else {
        chunks_[c].runs.resize(j + 1);
        chunks_.resize(c + 1);
    }
    size_ = row;
    if (size_ > 0) end_ = LastLineOfRuns() + 1;
}

size_t MatchingLines::MemoryBytes() const {
    size_t bytes = chunks_.capacity() * sizeof(Chunk);
    for (const Chunk& k : chunks_) bytes += k.runs.capacity() * sizeof(Run);
    return bytes;
}
